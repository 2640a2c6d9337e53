#!/usr/bin/env python3
"""Runs a program on a real pseudo-terminal and answers it like a person.

usage: ptydriver.py STEPS_JSON PROGRAM [ARGS...]
STEPS_JSON is a list of {"expect": text, "send": text}: wait until text has
appeared in the output (after the previous match), then type send. Prints
one JSON object: {"exit": code, "transcript": output, "echo": [terminal echo
flag at each send]}. Gives up (exit null) after 60 seconds.
"""
import json
import os
import select
import subprocess
import sys
import termios
import time

TIMEOUT = 60.0


def read_available(master, transcript, wait):
    ready, _, _ = select.select([master], [], [], wait)
    if not ready:
        return transcript
    try:
        chunk = os.read(master, 65536)
    except OSError:
        return transcript
    return transcript + chunk.decode("utf-8", "replace")


def main():
    steps = json.loads(sys.argv[1])
    command = sys.argv[2:]
    master, slave = os.openpty()
    child = subprocess.Popen(command, stdin=slave, stdout=slave, stderr=slave,
                             start_new_session=True,
                             preexec_fn=lambda: __import__("fcntl").ioctl(0, termios.TIOCSCTTY, 0))
    deadline = time.monotonic() + TIMEOUT
    transcript, position, echo = "", 0, []
    for step in steps:
        while step["expect"] not in transcript[position:]:
            if time.monotonic() > deadline or child.poll() is not None:
                transcript = read_available(master, transcript, 0.2)
                if step["expect"] not in transcript[position:]:
                    break
            transcript = read_available(master, transcript, 0.1)
        else:
            position = transcript.index(step["expect"], position) + len(step["expect"])
            echo.append(bool(termios.tcgetattr(slave)[3] & termios.ECHO))
            os.write(master, step["send"].encode())
            continue
        break
    code = None
    while time.monotonic() < deadline:
        transcript = read_available(master, transcript, 0.1)
        code = child.poll()
        if code is not None:
            break
    if code is None:
        child.kill()
        child.wait()
    transcript = read_available(master, transcript, 0.2)
    os.close(slave)
    while True:
        before = transcript
        transcript = read_available(master, transcript, 0.05)
        if before == transcript:
            break
    print(json.dumps({"exit": code, "transcript": transcript, "echo": echo}))


if __name__ == "__main__":
    main()
