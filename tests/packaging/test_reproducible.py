#!/usr/bin/env python3
"""Two release builds of the current commit, from two fresh clones at
different places and depths, made at different times under different umasks,
give the same package bytes. On a difference diffoscope says what differs.

Only committed work is cloned: the check is about a commit, as a published
package is."""

import hashlib
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

SOURCE_DIR = os.environ["QUILLMARK_SOURCE_DIR"]
# Only the first few hundred lines of diffoscope's report are shown; the
# rest is seldom more than the same difference again.
REPORT_LINES = 300


def log(text):
    print(f"[{time.strftime('%H:%M:%S')}] {text}", flush=True)


# CTest's TIMEOUT bounds the whole test; this bounds a single command that
# hangs when the test is run by hand.
def run(command, umask, environment, timeout=3600, cwd=None):
    result = subprocess.run(command, capture_output=True, text=True, timeout=timeout, env=environment,
                            cwd=cwd, preexec_fn=lambda: os.umask(umask))
    if result.returncode != 0:
        raise RuntimeError(f"{command} ended with {result.returncode}:\n{result.stdout}\n{result.stderr}")


def release_package(checkout, umask, compile_fresh):
    """Clones the commit, builds it as the release preset does and packs it.

    The first build goes through ccache, so its objects are mostly those the
    normal build compiled in another directory, earlier. The second bypasses
    ccache and compiles every object here and now, with absolute paths (ccache
    would have made them relative). Were ccache used for both, the second
    build would be handed the first build's objects and a build directory
    written into them could never show; this way every object of the second
    package comes straight from the compiler, elsewhere and later than its
    counterpart."""
    environment = {name: value for name, value in os.environ.items()
                   if name not in ("SOURCE_DATE_EPOCH", "CCACHE_BASEDIR", "CCACHE_DISABLE")}
    if compile_fresh:
        environment["CCACHE_DISABLE"] = "1"
    else:
        environment.update(CCACHE_BASEDIR=checkout, CCACHE_NOHASHDIR="1")
    commit = subprocess.run(["git", "-C", SOURCE_DIR, "rev-parse", "HEAD"], check=True, capture_output=True,
                            text=True).stdout.strip()
    run(["git", "clone", "--quiet", "--no-checkout", SOURCE_DIR, checkout], umask, environment)
    run(["git", "-C", checkout, "checkout", "--quiet", "--detach", commit], umask, environment)
    build = os.path.join(checkout, "build-release")
    run(["cmake", "--preset", "release"], umask, environment, timeout=300, cwd=checkout)
    run(["cmake", "--build", build, "--parallel", str(os.cpu_count() or 1)], umask, environment)
    output = os.path.join(checkout, "packages")
    run(["cpack", "-G", "DEB", "-B", output, "--config", os.path.join(build, "CPackConfig.cmake")], umask,
        environment, timeout=300)
    debs = [name for name in os.listdir(output) if name.endswith(".deb")]
    if len(debs) != 1:
        raise RuntimeError(f"expected one package in {output}, found {debs}")
    return os.path.join(output, debs[0])


def sha256(path):
    with open(path, "rb") as file:
        return hashlib.sha256(file.read()).hexdigest()


class ReproduciblePackage(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.mkdtemp(prefix="quillmark-reproducible-")

    def tearDown(self):
        shutil.rmtree(self.scratch, ignore_errors=True)

    def test_two_clones_build_the_same_package(self):
        started = time.monotonic()
        log("first clone: umask 022, through ccache")
        first = release_package(os.path.join(self.scratch, "a", "quillmark"), 0o022, compile_fresh=False)
        log("second clone: umask 077, deeper, every object compiled afresh")
        second = release_package(os.path.join(self.scratch, "elsewhere", "b", "src"), 0o077,
                                 compile_fresh=True)
        used = resource.getrusage(resource.RUSAGE_CHILDREN)
        log(f"both built in {time.monotonic() - started:.0f} s, {used.ru_utime + used.ru_stime:.0f} s of processor time")
        if sha256(first) != sha256(second):
            report = subprocess.run(["diffoscope", "--text", "-", "--no-progress", first, second],
                                    capture_output=True, text=True, timeout=600)
            lines = report.stdout.splitlines()
            sys.stdout.write("\n".join(lines[:REPORT_LINES]) + "\n" + report.stderr)
            if len(lines) > REPORT_LINES:
                print(f"... {len(lines) - REPORT_LINES} more lines of diffoscope's report")
        self.assertEqual(sha256(first), sha256(second), "the two packages differ, see diffoscope above")


if __name__ == "__main__":
    unittest.main(verbosity=2)
