#!/usr/bin/env python3
"""Builds the Debian package from a finished build, checks it with lintian,
unpacks it into a scratch root and runs what it installed from there."""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

from nativeframes import frame, read_frames

BUILD_DIR = os.environ["QUILLMARK_BINARY_DIR"]
PREFIX = "opt/varnek/quillmark"
HOST_NAME = "eu.varnek.quillmark"


def build_package(output_dir):
    subprocess.run(["cpack", "-G", "DEB", "-B", output_dir,
                    "--config", os.path.join(BUILD_DIR, "CPackConfig.cmake")],
                   check=True, stdout=subprocess.DEVNULL, cwd=BUILD_DIR)
    debs = [name for name in os.listdir(output_dir) if name.endswith(".deb")]
    if len(debs) != 1:
        raise RuntimeError(f"expected one package in {output_dir}, found {debs}")
    return os.path.join(output_dir, debs[0])


def qualified(name):
    return f"Quillmark.1.0.7.qt.QES.{name}"


class Unpacked:
    scratch = deb = root = None


def setUpModule():
    Unpacked.scratch = tempfile.mkdtemp(prefix="quillmark-package-")
    Unpacked.deb = build_package(os.path.join(Unpacked.scratch, "out"))
    Unpacked.root = os.path.join(Unpacked.scratch, "root")
    subprocess.run(["dpkg-deb", "-x", Unpacked.deb, Unpacked.root], check=True)


def tearDownModule():
    shutil.rmtree(Unpacked.scratch, ignore_errors=True)


class InstalledPackage(unittest.TestCase):
    scratch = property(lambda self: Unpacked.scratch)
    deb = property(lambda self: Unpacked.deb)
    root = property(lambda self: Unpacked.root)

    def installed(self, path):
        return os.path.join(self.root, path.lstrip("/"))

    def test_lintian_finds_no_errors(self):
        result = subprocess.run(["lintian", "--allow-root", "--fail-on", "error", self.deb],
                                capture_output=True, text=True)
        sys.stderr.write(result.stdout)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    def test_control_names_the_package_and_keeps_etc_edits(self):
        fields = subprocess.run(["dpkg-deb", "-f", self.deb, "Package", "Version", "Depends"],
                                check=True, capture_output=True, text=True).stdout
        self.assertIn("Package: quillmark", fields)
        self.assertIn("Version: 1.0.7", fields)
        self.assertIn("libqt5widgets5", fields)
        control = os.path.join(self.scratch, "control")
        subprocess.run(["dpkg-deb", "-e", self.deb, control], check=True)
        with open(os.path.join(control, "conffiles")) as conffiles:
            listed = conffiles.read().split()
        self.assertEqual(sorted(listed), sorted([
            f"/etc/chromium/native-messaging-hosts/{HOST_NAME}.json",
            f"/etc/opt/chrome/native-messaging-hosts/{HOST_NAME}.json",
            "/etc/xdg/autostart/quillmark-tray.desktop",
            "/etc/opt/varnek/quillmark/QuillmarkUpdater.conf",
        ]))
        for path in listed:
            self.assertTrue(os.path.isfile(self.installed(path)), path)

    def test_programs_keep_their_relative_layout(self):
        for program in ("quillmark", "QuillmarkUpdater", "QuillmarkTray", "QuillmarkUpdater.sh", "gdebi-gtk.sh"):
            path = self.installed(f"{PREFIX}/bin/{program}")
            self.assertTrue(os.access(path, os.X_OK), program)
        for catalogue in ("Quillmark_en.qm", "Quillmark_sk.qm", "QuillmarkUpdater_en.qm", "QuillmarkTray_sk.qm"):
            self.assertTrue(os.path.isfile(self.installed(f"{PREFIX}/share/translations/{catalogue}")), catalogue)
        self.assertTrue(os.path.isfile(self.installed(f"{PREFIX}/etc/QuillmarkUpdater.conf")))

    def test_browsers_find_the_host(self):
        locations = {
            "/etc/chromium/native-messaging-hosts": "allowed_origins",
            "/etc/opt/chrome/native-messaging-hosts": "allowed_origins",
            "/usr/lib/mozilla/native-messaging-hosts": "allowed_extensions",
        }
        for directory, allowed in locations.items():
            with open(self.installed(f"{directory}/{HOST_NAME}.json")) as file:
                manifest = json.load(file)
            self.assertEqual(manifest["name"], HOST_NAME)
            self.assertEqual(manifest["type"], "stdio")
            self.assertEqual(manifest["path"], f"/{PREFIX}/bin/quillmark")
            self.assertTrue(os.access(self.installed(manifest["path"]), os.X_OK))
            self.assertEqual(len(manifest[allowed]), 1, directory)

    def test_tray_starts_with_the_desktop(self):
        with open(self.installed("/etc/xdg/autostart/quillmark-tray.desktop")) as file:
            entry = dict(line.strip().split("=", 1) for line in file if "=" in line)
        self.assertEqual(entry["Exec"], f"/{PREFIX}/bin/QuillmarkTray")
        self.assertTrue(os.access(self.installed(entry["Exec"]), os.X_OK))
        self.assertEqual(entry["Type"], "Application")

    def test_unpacked_quillmark_answers_from_its_own_tree(self):
        home = tempfile.mkdtemp(dir=self.scratch)
        environment = dict(os.environ, QT_QPA_PLATFORM="offscreen", HOME=home)
        messages = frame({"method": qualified("CreateInstance"), "args": []}) + \
            frame({"method": qualified("GetVersion"), "args": []})
        # Started from elsewhere: the program must find its translations
        # relative to itself.
        result = subprocess.run([self.installed(f"{PREFIX}/bin/quillmark")], input=messages,
                                capture_output=True, env=environment, cwd="/", timeout=30)
        self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
        self.assertEqual(read_frames(result.stdout), [
            {"error": None, "method": qualified("CreateInstance"), "result": None},
            {"error": None, "method": qualified("GetVersion"), "result": "1.0.7 (qt)"},
        ])


class InstallerScript(unittest.TestCase):
    """gdebi-gtk.sh as the package installs it, with stand-in installers."""

    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(dir=Unpacked.scratch)
        cls.script = os.path.join(Unpacked.root, PREFIX, "bin", "gdebi-gtk.sh")
        cls.package = os.path.join(cls.scratch, "quillmark_1.0.8_amd64.deb")

    def setUp(self):
        open(self.package, "w").close()

    def run_with_installers(self, installers, *arguments):
        bin_dir = tempfile.mkdtemp(dir=self.scratch)
        for tool in ("readlink", "rm"):
            os.symlink(shutil.which(tool), os.path.join(bin_dir, tool))
        record = os.path.join(bin_dir, "called")
        for name in installers:
            with open(os.path.join(bin_dir, name), "w") as stand_in:
                stand_in.write(f'#!/bin/sh\necho "{name} $*" > "{record}"\n')
            os.chmod(os.path.join(bin_dir, name), 0o755)
        result = subprocess.run(["/bin/sh", self.script, *arguments], capture_output=True, text=True,
                                env={"PATH": bin_dir}, cwd=self.scratch)
        if not os.path.exists(record):
            return result.returncode, None
        with open(record) as file:
            return result.returncode, file.read().strip()

    def test_prefers_the_desktop_installer_with_an_absolute_path(self):
        code, called = self.run_with_installers(["gdebi-gtk", "pkexec"], os.path.basename(self.package))
        self.assertEqual((code, called), (0, f"gdebi-gtk {self.package}"))

    def test_package_goes_once_the_installer_has_read_it(self):
        for installers, stays in ((["gdebi-gtk"], False), (["pkexec"], False), (["gnome-software"], True)):
            self.setUp()
            self.run_with_installers(installers, self.package)
            self.assertEqual(os.path.exists(self.package), stays, installers)

    def test_gnome_software_before_apt(self):
        code, called = self.run_with_installers(["gnome-software", "pkexec"], self.package)
        self.assertEqual((code, called), (0, f"gnome-software --local-filename={self.package}"))

    def test_falls_back_to_apt_get_with_authentication(self):
        code, called = self.run_with_installers(["pkexec"], self.package)
        self.assertEqual((code, called), (0, f"pkexec apt-get install --yes {self.package}"))

    def test_refuses_anything_but_one_existing_package(self):
        for arguments in ([], [self.package, self.package], [os.path.join(self.scratch, "missing.deb")],
                          [self.script]):
            code, called = self.run_with_installers(["gdebi-gtk", "pkexec"], *arguments)
            self.assertEqual((code, called), (2, None), arguments)


if __name__ == "__main__":
    unittest.main(verbosity=2)
