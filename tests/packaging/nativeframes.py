"""The native-messaging framing, for tests that talk to an installed quillmark."""
import json
import struct


def frame(message):
    payload = json.dumps(message).encode()
    return struct.pack("<I", len(payload)) + payload


def read_frames(data):
    frames = []
    while len(data) >= 4:
        (length,) = struct.unpack("<I", data[:4])
        frames.append(json.loads(data[4:4 + length]))
        data = data[4 + length:]
    return frames
