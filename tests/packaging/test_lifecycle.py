#!/usr/bin/env python3
"""The package's whole life on a clean Debian 12: installed with apt from the
.deb, upgraded by the installed updater through the real sudo and gdebi from a
local update server, then removed and purged. On a second clean root an
administrator takes it from the signed apt repository instead: apt installs
it, refuses every publication whose signature does not check, and upgrades
it from the next good one. Nothing is faked but the servers' addresses (and,
for the desktop installer alone, the privileged step that needs a desktop's
authentication agent). The same package, built on Debian 12, also installs,
answers, checks for updates and is removed on a clean Debian 13, whose
libraries apt must find from the package's own dependencies.

Needs root (mounts, chroot) and the Debian mirror. Runs in a private mount
namespace of its own, so that every mount ends with the process whatever
happens to it."""

import gzip
import hashlib
import json
import lzma
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

from nativeframes import frame, read_frames

SKIPPED = 77
if os.geteuid() != 0:
    print("package_lifecycle: needs root for chroot and mounts, skipped")
    sys.exit(SKIPPED)
if os.environ.get("QUILLMARK_PRIVATE_MOUNTS") != "1":
    os.environ["QUILLMARK_PRIVATE_MOUNTS"] = "1"
    os.execvp("unshare", ["unshare", "--mount", "--propagation", "private",
                          sys.executable, os.path.abspath(__file__), *sys.argv[1:]])

SOURCE_DIR = os.environ["QUILLMARK_SOURCE_DIR"]
BUILD_DIR = os.environ["QUILLMARK_BINARY_DIR"]
UPDATE_SERVER = os.environ["QUILLMARK_UPDATE_SERVER"]
SIGN_RELEASE = os.environ["QUILLMARK_SIGN_RELEASE"]
PUBLISH_APT_REPOSITORY = os.path.join(SOURCE_DIR, "tools", "releasekey", "publish-apt-repository")
# Kept between runs: the root tarballs, the downloaded dependencies and the
# build of the newer package version.
CACHE = os.path.join(BUILD_DIR, "package-lifecycle")
NEWER_BUILD = os.path.join(CACHE, "build-1.0.8")

PREFIX = "/opt/varnek/quillmark"
HOST_NAME = "eu.varnek.quillmark"
SYSTEM_CONFIG = "/etc/opt/varnek/quillmark/QuillmarkUpdater.conf"
USER = "quill"
HOME = f"/home/{USER}"
DOWNLOADS = f"{HOME}/.cache/quillmark-updater"
LOGS = f"{HOME}/Documents/QuillmarkLogs"
MARKER = f"{HOME}/.local/share/varnek/quillmark/updated.txt"
INSTALLER_RECORD = "/tmp/desktop-installer-called"
COMMAND_TIMEOUT = 600


def log(text):
    print(f"[{time.strftime('%H:%M:%S')}] {text}", flush=True)


def run(command, **options):
    options.setdefault("timeout", COMMAND_TIMEOUT)
    result = subprocess.run(command, capture_output=True, text=True, **options)
    if result.returncode != 0:
        raise RuntimeError(f"{command} ended with {result.returncode}:\n{result.stdout}\n{result.stderr}")
    return result.stdout


def build_package(build_dir, output_dir):
    run(["cpack", "-G", "DEB", "-B", output_dir, "--config", os.path.join(build_dir, "CPackConfig.cmake")],
        cwd=build_dir)
    debs = [name for name in os.listdir(output_dir) if name.endswith(".deb")]
    if len(debs) != 1:
        raise RuntimeError(f"expected one package in {output_dir}, found {debs}")
    return os.path.join(output_dir, debs[0])


def build_newer_release():
    """The same tree as package version 1.0.8. The objects come from ccache,
    so this costs little more than moc, linking and packing."""
    environment = dict(os.environ, CCACHE_BASEDIR=SOURCE_DIR, CCACHE_NOHASHDIR="1")
    if not os.path.isfile(os.path.join(NEWER_BUILD, "CMakeCache.txt")):
        run(["cmake", "-S", SOURCE_DIR, "-B", NEWER_BUILD, "-G", os.environ["QUILLMARK_GENERATOR"],
             f"-DCMAKE_BUILD_TYPE={os.environ['QUILLMARK_BUILD_TYPE']}",
             "-DQUILLMARK_TESTS=OFF", "-DQUILLMARK_PACKAGE_VERSION=1.0.8"], env=environment)
    run(["cmake", "--build", NEWER_BUILD, "--parallel", str(os.cpu_count() or 1)], env=environment,
        timeout=1200)


def debian_sources(release):
    """The host's own package source for its release (Debian 12); the
    Debian mirror with its updates and security suites for another one."""
    host_sources = "/etc/apt/sources.list.d/debian.sources"
    if release == "bookworm":
        return [host_sources] if os.path.isfile(host_sources) else []
    return [f"deb http://deb.debian.org/debian {release} main",
            f"deb http://deb.debian.org/debian {release}-updates main",
            f"deb http://deb.debian.org/debian-security {release}-security main"]


class CleanRoot:
    """A Debian root of the given release made by mmdebstrap, entered with
    chroot."""

    def __init__(self, path, release):
        self.path = path
        self.release = release
        self.tarball = os.path.join(CACHE, f"{release}-apt.tar")
        # Each release downloads into a cache of its own: apt would take a
        # package of the same name and version from the other release.
        self.apt_archives = os.path.join(CACHE,
                                         "apt-archives" if release == "bookworm" else f"apt-archives-{release}")
        self.mounts = []

    def host_path(self, path):
        return os.path.join(self.path, path.lstrip("/"))

    def create(self):
        if not os.path.isfile(self.tarball):
            log(f"making the {self.release} root tarball with mmdebstrap")
            # The lists stay in the tarball so that each run only refreshes
            # them.
            partial = self.tarball + ".partial"
            run(["mmdebstrap", "--quiet", "--variant=apt", "--format=tar", "--include=passwd",
                 "--skip=cleanup/apt/lists", self.release, partial, *debian_sources(self.release)],
                timeout=1200)
            os.rename(partial, self.tarball)
        os.makedirs(self.path)
        run(["tar", "-C", self.path, "-xf", self.tarball])
        shutil.copyfile("/etc/resolv.conf", self.host_path("/etc/resolv.conf"))
        # The root is thrown away after the test: dpkg need not wait for
        # every file to reach the disk.
        with open(self.host_path("/etc/dpkg/dpkg.cfg.d/unsafe-io"), "w") as dpkg_options:
            dpkg_options.write("force-unsafe-io\n")
        os.makedirs(self.apt_archives, exist_ok=True)
        self.mount(["-t", "proc", "proc"], "/proc")
        # The host's terminals, so that a program in the root that is given
        # one (and sudo, which opens its own) finds it by name.
        self.mount(["--bind", "/dev/pts"], "/dev/pts")
        self.mount(["--bind", self.apt_archives], "/var/cache/apt/archives")

    def mount(self, arguments, target):
        run(["mount", *arguments, self.host_path(target)])
        self.mounts.append(self.host_path(target))

    def destroy(self):
        """Unmounts everything and removes the root; leaves it in place
        (False) while anything is still mounted below it, because removing
        it would reach into what is mounted there."""
        for target in reversed(self.mounts):
            if subprocess.run(["umount", target]).returncode != 0:
                subprocess.run(["umount", "--lazy", target])
        with open("/proc/self/mountinfo") as mountinfo:
            left = [line.split()[4] for line in mountinfo if line.split()[4].startswith(self.path + "/")]
        if left:
            log(f"still mounted, root kept: {left}")
            return False
        self.mounts = []
        shutil.rmtree(self.path, ignore_errors=True)
        return True

    def root_command(self, *command, cwd="/"):
        return ["chroot", self.path, "/usr/bin/env", "-i", "PATH=/usr/sbin:/usr/bin:/sbin:/bin",
                "HOME=/root", "LANG=C.UTF-8", "DEBIAN_FRONTEND=noninteractive",
                "/bin/sh", "-c", 'cd "$1" && shift && exec "$@"', "sh", cwd, *command]

    def as_root(self, *command, cwd="/"):
        return run(self.root_command(*command, cwd=cwd))

    def user_command(self, *command, environment=()):
        ids = self.user_ids()
        return ["chroot", f"--userspec={ids[0]}:{ids[1]}", self.path, "/usr/bin/env", "-i",
                f"HOME={HOME}", f"USER={USER}", f"LOGNAME={USER}", "LANG=C.UTF-8",
                "PATH=/usr/local/bin:/usr/bin:/bin", *environment, *command]

    def user_ids(self):
        with open(self.host_path("/etc/passwd")) as passwd:
            for line in passwd:
                fields = line.split(":")
                if fields[0] == USER:
                    return fields[2], fields[3]
        raise RuntimeError(f"no user {USER}")

    def write(self, path, text, mode=0o644, owner=None):
        with open(self.host_path(path), "w") as file:
            file.write(text)
        os.chmod(self.host_path(path), mode)
        if owner:
            os.chown(self.host_path(path), int(owner[0]), int(owner[1]))

    def read(self, path):
        with open(self.host_path(path)) as file:
            return file.read()

    def installed_version(self):
        return run(self.root_command("dpkg-query", "-W", "-f=${Status} ${Version}", "quillmark")).strip()

    def files_below(self, path):
        found = []
        for directory, _, names in os.walk(self.host_path(path)):
            found += [os.path.join(directory, name) for name in names]
        return found


class Releases:
    """The two packages every root gets, made once: 1.0.7 and 1.0.8."""
    scratch = None
    debs = {}
    started = time.monotonic()


def setUpModule():
    os.makedirs(CACHE, exist_ok=True)
    # A run that was killed left its roots behind (their mounts ended with
    # its mount namespace). Nothing runs longer than an hour.
    for name in os.listdir(CACHE):
        path = os.path.join(CACHE, name)
        if name.startswith("run-") and time.time() - os.path.getmtime(path) > 3600:
            shutil.rmtree(path, ignore_errors=True)
    Releases.scratch = tempfile.mkdtemp(prefix="run-", dir=CACHE)
    try:
        log("packing 1.0.7 from the build and building 1.0.8 from the same tree")
        Releases.debs["1.0.7"] = build_package(BUILD_DIR, os.path.join(Releases.scratch, "1.0.7"))
        build_newer_release()
        Releases.debs["1.0.8"] = build_package(NEWER_BUILD, os.path.join(Releases.scratch, "1.0.8"))
    except BaseException:
        shutil.rmtree(Releases.scratch, ignore_errors=True)
        raise


def tearDownModule():
    # A root still mounted was kept by its class, and with it the scratch.
    if not any(name.endswith("root") for name in os.listdir(Releases.scratch)):
        shutil.rmtree(Releases.scratch, ignore_errors=True)
    log(f"life cycle took {time.monotonic() - Releases.started:.0f} s")


def stop(process):
    if process and process.poll() is None:
        if process.stdin:
            process.stdin.close()
        else:
            process.terminate()
        process.wait(timeout=30)


class LifeCycle:
    """What every release goes through: install, the registrations, an
    answer from /opt, the updater's silent check, remove and purge. The
    test classes below name the release."""
    RELEASE = None
    root = scratch = server = server_base = display = None
    debs = Releases.debs

    @classmethod
    def setUpClass(cls):
        cls.started = time.monotonic()
        cls.scratch = tempfile.mkdtemp(prefix=f"{cls.RELEASE}-", dir=Releases.scratch)
        try:
            log(f"unpacking the clean {cls.RELEASE} root")
            cls.root = CleanRoot(os.path.join(Releases.scratch, f"{cls.RELEASE}-root"), cls.RELEASE)
            cls.root.create()
            cls.publish_release()
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def publish_release(cls):
        """The update site: the signed version document and two copies of
        the 1.0.8 package, one signed and one with the signature of another
        file."""
        site = os.path.join(cls.scratch, "site")
        for directory in ("good", "bad"):
            os.makedirs(os.path.join(site, directory))
            shutil.copyfile(cls.debs["1.0.8"], os.path.join(site, directory, "quillmark_amd64.deb"))
        with open(os.path.join(site, "version.xml"), "w") as document:
            document.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Quillmark>\n"
                           "  <version>1.0.8</version>\n  <url>https://quillmark.invalid/news</url>\n"
                           "</Quillmark>\n")
        unrelated = os.path.join(cls.scratch, "quillmark_1.0.7_amd64.deb")
        shutil.copyfile(cls.debs["1.0.7"], unrelated)
        run([SIGN_RELEASE, os.path.join(site, "version.xml"), os.path.join(site, "good", "quillmark_amd64.deb"),
             unrelated])
        shutil.copyfile(unrelated + ".sig", os.path.join(site, "bad", "quillmark_amd64.deb.sig"))
        with open(os.path.join(site, "version.xml")) as document:
            if "<expires>" not in document.read():
                raise RuntimeError("sign-release wrote no expiry into the version document")
        cls.server = subprocess.Popen([UPDATE_SERVER, site], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                      text=True)
        cls.server_base = cls.server.stdout.readline().strip()
        if not cls.server_base.startswith("http://127.0.0.1:"):
            raise RuntimeError(f"update server did not start: {cls.server_base!r}")

    @classmethod
    def tearDownClass(cls):
        for process in (cls.server, cls.display):
            stop(process)
        if cls.root:
            cls.root.destroy()
        log(f"life cycle on {cls.RELEASE} took {time.monotonic() - cls.started:.0f} s")

    # --- what a user and an administrator do ---------------------------------

    def updater(self, *arguments, environment=()):
        return self.root.user_command(f"{PREFIX}/bin/QuillmarkUpdater", *arguments, environment=environment)

    def run_updater(self, *arguments):
        return subprocess.run(self.updater(*arguments), capture_output=True, text=True, timeout=120)

    def answer_on_terminal(self, answer):
        """Console mode on a pseudo-terminal, answering the question."""
        steps = json.dumps([{"expect": "[y/n] ", "send": answer}])
        result = subprocess.run([sys.executable, os.environ["QUILLMARK_PTY_DRIVER"], steps,
                                 *self.updater("-c")], capture_output=True, text=True, timeout=300)
        outcome = json.loads(result.stdout)
        return outcome["exit"], outcome["transcript"]

    def point_updater_at(self, package_path):
        self.admin_config = (
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- our own update mirror -->\n<Quillmark>\n"
            f"    <url>{self.server_base}/version.xml</url>\n"
            f"    <downloadUrl>{self.server_base}/{package_path}</downloadUrl>\n</Quillmark>\n")
        self.root.write(SYSTEM_CONFIG, self.admin_config)

    def get_version(self):
        name = lambda method: f"Quillmark.1.0.7.qt.QES.{method}"
        messages = frame({"method": name("CreateInstance"), "args": []}) + \
            frame({"method": name("GetVersion"), "args": []})
        # Started from elsewhere, as a browser starts it.
        result = subprocess.run(self.root.user_command(f"{PREFIX}/bin/quillmark",
                                                       environment=["QT_QPA_PLATFORM=offscreen"]),
                                input=messages, capture_output=True, timeout=60, cwd="/")
        self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
        return read_frames(result.stdout)[-1]["result"]

    def updater_log(self):
        return self.root.read(f"{LOGS}/quillmarkupdaterlog.txt")

    def requested(self, since):
        # "<time> - <thread> - D - Ready to download <address> - at <function> ..."
        return [line.split("Ready to download ", 1)[1].split(" - at ", 1)[0]
                for line in self.updater_log()[since:].splitlines() if "Ready to download " in line]

    # --- the life cycle -------------------------------------------------------

    def test_1_install_and_answer(self):
        self.install_from_the_file()
        self.check_what_the_browsers_and_desktop_find()
        self.prepare_the_user()
        self.point_updater_at("bad/quillmark_amd64.deb")
        self.silent_run_reports_the_newer_version()

    def test_3_remove_and_purge_leave_nothing(self):
        listed = [path for path in self.root.as_root("dpkg", "-L", "quillmark").splitlines()
                  if path not in ("", "/.")]
        self.assertIn(f"{PREFIX}/bin/quillmark", listed)
        self.root.as_root("apt-get", "remove", "--yes", "--quiet", "quillmark")
        self.assertTrue(os.path.isfile(self.root.host_path(SYSTEM_CONFIG)), "remove keeps the configuration")
        self.assertFalse(os.path.exists(self.root.host_path(f"{PREFIX}/bin/quillmark")))
        self.root.as_root("apt-get", "purge", "--yes", "--quiet", "quillmark")
        for path in listed:
            if os.path.lexists(self.root.host_path(path)):
                self.assertTrue(os.path.isdir(self.root.host_path(path)), path)
                owners = subprocess.run(self.root.root_command("dpkg-query", "-S", path),
                                        capture_output=True, text=True)
                self.assertEqual(owners.returncode, 0, f"{path} is left and belongs to no other package")
        left = []
        for directory, subdirectories, names in os.walk(self.root.path):
            inside = "/" + os.path.relpath(directory, self.root.path)
            # The user's own files and temporary directory stay theirs; apt
            # keeps its download cache and logs.
            if inside in ("/proc", "/dev", HOME, "/tmp", "/var/cache/apt/archives", "/var/log"):
                subdirectories[:] = []
                continue
            left += [os.path.join(inside, name) for name in subdirectories + names
                     if "quillmark" in name.lower() or "varnek" in name.lower()]
        self.assertEqual(left, [])
        self.assertTrue(os.path.isfile(self.root.host_path(f"{LOGS}/quillmarkupdaterlog.txt")))

    # --- the steps ------------------------------------------------------------

    def install_from_the_file(self):
        log("installing 1.0.7 with apt from the .deb")
        shutil.copyfile(self.debs["1.0.7"], self.root.host_path("/root/quillmark_1.0.7_amd64.deb"))
        self.root.as_root("apt-get", "update", "--quiet", "--quiet")
        self.root.as_root("apt-get", "install", "--yes", "--quiet", "./quillmark_1.0.7_amd64.deb", cwd="/root")
        os.remove(self.root.host_path("/root/quillmark_1.0.7_amd64.deb"))
        self.assertEqual(self.root.installed_version(), "install ok installed 1.0.7")
        # What the console update needs came with the package's own
        # recommendations, not from us.
        for program in ("/usr/bin/sudo", "/usr/bin/gdebi"):
            self.assertTrue(os.path.isfile(self.root.host_path(program)), program)

    def check_what_the_browsers_and_desktop_find(self):
        for directory, allowed in (("/etc/chromium/native-messaging-hosts", "allowed_origins"),
                                   ("/etc/opt/chrome/native-messaging-hosts", "allowed_origins"),
                                   ("/usr/lib/mozilla/native-messaging-hosts", "allowed_extensions")):
            manifest = json.loads(self.root.read(f"{directory}/{HOST_NAME}.json"))
            self.assertEqual((manifest["name"], manifest["type"], manifest["path"]),
                             (HOST_NAME, "stdio", f"{PREFIX}/bin/quillmark"), directory)
            self.assertEqual(len(manifest[allowed]), 1, directory)
        autostart = self.root.host_path("/etc/xdg/autostart/quillmark-tray.desktop")
        validation = subprocess.run(["desktop-file-validate", autostart], capture_output=True, text=True)
        self.assertEqual((validation.returncode, validation.stdout), (0, ""), validation.stderr)

    def prepare_the_user(self):
        self.root.as_root("useradd", "--create-home", "--shell", "/bin/sh", USER)
        # An administrator lets the user install packages with gdebi alone.
        self.root.write(f"/etc/sudoers.d/{USER}-gdebi", f"{USER} ALL=(root) NOPASSWD: /usr/bin/gdebi\n", 0o440)
        self.root.as_root("visudo", "--check", "--quiet")
        owner = self.root.user_ids()
        for directory in (LOGS, os.path.dirname(MARKER)):
            self.root.as_root("runuser", "-u", USER, "--", "mkdir", "-p", directory)
        # Logging switched on (the log files exist) and the tray's marker:
        # the user's files that no upgrade may touch.
        for path in (f"{LOGS}/quillmarkupdaterlog.txt", f"{LOGS}/quillmarklog.txt", MARKER):
            self.root.write(path, "", owner=owner)
        self.assertEqual(self.get_version(), "1.0.7 (qt)")

    def silent_run_reports_the_newer_version(self):
        log("silent run")
        before = len(self.updater_log())
        result = self.run_updater("-s")
        self.assertEqual(result.returncode, 2, result.stdout + result.stderr + self.updater_log()[before:][-3000:])
        self.assertIn("1.0.8.0.0.0", result.stdout)
        self.assertEqual(self.requested(before), [f"{self.server_base}/version.xml",
                                                  f"{self.server_base}/version.xml.sig"])
        self.assertEqual(self.root.files_below(DOWNLOADS), [])

    def lintian_accepts_the_upgrade_package(self):
        log("lintian on the upgrade package")
        lint = subprocess.run(["lintian", "--allow-root", "--fail-on", "error,warning", self.debs["1.0.8"]],
                              capture_output=True, text=True, timeout=COMMAND_TIMEOUT)
        self.assertEqual(lint.returncode, 0, lint.stdout + lint.stderr)

    def mismatched_signature_installs_nothing(self):
        log("console run, package with a mismatched signature")
        code, transcript = self.answer_on_terminal("y\n")
        self.assertEqual(code, 1, transcript)
        self.assertIn("could not be verified", transcript)
        self.assertEqual(self.root.installed_version(), "install ok installed 1.0.7")
        self.assertEqual(self.get_version(), "1.0.7 (qt)")
        self.assertEqual(self.root.files_below(DOWNLOADS), [])

    def desktop_installer_gets_the_verified_package(self):
        log("graphical run under Xvfb")
        # The desktop installer needs the desktop's authentication agent to
        # become root; a stand-in records what gdebi-gtk.sh hands it.
        stand_in = "/usr/local/bin/gdebi-gtk"
        self.root.write(stand_in, f"#!/bin/sh\nsha256sum \"$@\" > {INSTALLER_RECORD}\n", 0o755)
        read_end, write_end = os.pipe()
        type(self).display = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp",
                                               "-screen", "0", "1024x768x24"], pass_fds=[write_end],
                                              stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as display_number:
            display = ":" + display_number.readline().strip()
        result = subprocess.run([os.environ["QUILLMARK_GUI_DRIVER"],
                                 *self.updater("-g", environment=[f"DISPLAY={display}"])],
                                env=dict(os.environ, DISPLAY=display), capture_output=True, text=True,
                                timeout=120)
        self.assertEqual(result.returncode, 4, result.stdout + result.stderr + self.updater_log()[-3000:])
        record = self.root.host_path(INSTALLER_RECORD)
        deadline = time.monotonic() + 30
        while not os.path.isfile(record) and time.monotonic() < deadline:
            time.sleep(0.2)
        with open(self.debs["1.0.8"], "rb") as package:
            digest = hashlib.sha256(package.read()).hexdigest()
        self.assertEqual(self.root.read(INSTALLER_RECORD).split(), [digest, f"{DOWNLOADS}/quillmark_amd64.deb"])
        os.remove(self.root.host_path(stand_in))
        os.remove(record)
        self.assertEqual(self.root.installed_version(), "install ok installed 1.0.7")

    def console_run_upgrades_through_sudo_and_gdebi(self):
        log("console run, real sudo and gdebi")
        code, transcript = self.answer_on_terminal("y\n")
        self.assertEqual(code, 0, transcript + self.updater_log()[-3000:])
        self.assertEqual(self.root.installed_version(), "install ok installed 1.0.8")
        self.assertEqual(self.get_version(), "1.0.7 (qt)")
        self.assertIn("<version>1.0.8</version>", self.root.read(f"{PREFIX}/etc/QuillmarkUpdater.conf"))
        self.assertIn("ConsoleUpdater: Installation ended correctly", self.updater_log())
        self.assertTrue(os.path.isfile(self.root.host_path(f"{LOGS}/quillmarklog.txt")))
        self.assertTrue(os.path.isfile(self.root.host_path(MARKER)))
        self.assertEqual(self.root.files_below(DOWNLOADS), [])
        verify = subprocess.run(self.root.root_command("dpkg", "--verify", "quillmark"), capture_output=True,
                                text=True)
        # Only the administrator's edited configuration differs from what
        # 1.0.8 ships.
        self.assertEqual(verify.stdout.split(), ["??5??????", "c", SYSTEM_CONFIG], verify.stdout)

    def upgraded_updater_keeps_the_addresses_and_is_current(self):
        log("silent run after the upgrade")
        self.assertEqual(self.root.read(SYSTEM_CONFIG), self.admin_config)
        before = len(self.updater_log())
        result = self.run_updater("-s")
        self.assertEqual(result.returncode, 3, result.stdout + result.stderr)
        self.assertEqual(self.requested(before), [f"{self.server_base}/version.xml",
                                                  f"{self.server_base}/version.xml.sig"])


class Debian12LifeCycle(LifeCycle, unittest.TestCase):
    """The release the package is built on, and its self-update."""
    RELEASE = "bookworm"

    def test_2_self_update(self):
        self.lintian_accepts_the_upgrade_package()
        self.mismatched_signature_installs_nothing()
        self.point_updater_at("good/quillmark_amd64.deb")
        self.desktop_installer_gets_the_verified_package()
        self.console_run_upgrades_through_sudo_and_gdebi()
        self.upgraded_updater_keeps_the_addresses_and_is_current()


class Debian13LifeCycle(LifeCycle, unittest.TestCase):
    """The Debian 12 package on Debian 13, whose libraries carry other
    names since the 64-bit time transition."""
    RELEASE = "trixie"


class AptRepository(unittest.TestCase):
    """An administrator's machine that takes Quillmark from the signed apt
    repository, as publish-apt-repository makes it, served over http."""
    root = scratch = server = None
    debs = Releases.debs
    SOURCES = "/etc/apt/sources.list.d/quillmark.sources"
    KEYRING = "/usr/share/keyrings/quillmark-archive-keyring.gpg"
    DEVELOPMENT_KEYRING = os.path.join(SOURCE_DIR, "tools", "releasekey", "development-apt-repository-keyring.gpg")

    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="apt-", dir=Releases.scratch)
        cls.repository = os.path.join(cls.scratch, "repository")
        cls.site = os.path.join(cls.scratch, "site")
        try:
            log("unpacking a second clean root")
            cls.root = CleanRoot(os.path.join(Releases.scratch, "apt-root"), "bookworm")
            cls.root.create()
            os.makedirs(cls.site)
            cls.server = subprocess.Popen([UPDATE_SERVER, cls.site], stdin=subprocess.PIPE,
                                          stdout=subprocess.PIPE, text=True)
            cls.server_base = cls.server.stdout.readline().strip()
            if not cls.server_base.startswith("http://127.0.0.1:"):
                raise RuntimeError(f"repository server did not start: {cls.server_base!r}")
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        stop(cls.server)
        if cls.root:
            cls.root.destroy()

    def publish(self, repository, version, *key):
        run([PUBLISH_APT_REPOSITORY, *key, repository, self.debs[version]])

    def serve(self, repository, tamper=lambda site: None):
        """What the web server offers from now on: the repository, changed
        on its way by tamper."""
        shutil.rmtree(self.site)
        shutil.copytree(repository, self.site)
        tamper(self.site)
        self.server.stdin.write("\n")
        self.server.stdin.flush()
        self.assertEqual(self.server.stdout.readline().strip(), "served")

    def refresh_quillmark_lists(self):
        """apt-get update of the Quillmark source alone (Debian's lists were
        refreshed once before the installation)."""
        # apt keeps a refused download in partial/ and asks only for the
        # bytes beyond it next time; the local server ignores If-Range, so
        # a new file of the same size would never reach apt.
        for name in os.listdir(self.root.host_path("/var/lib/apt/lists/partial")):
            os.remove(os.path.join(self.root.host_path("/var/lib/apt/lists/partial"), name))
        return subprocess.run(self.root.root_command(
            "apt-get", "update", "-o", "Dir::Etc::SourceList=" + self.SOURCES, "-o", "Dir::Etc::SourceParts=-",
            "-o", "APT::Get::List-Cleanup=0"), capture_output=True, text=True, timeout=COMMAND_TIMEOUT)

    def candidate(self):
        policy = self.root.as_root("apt-cache", "policy", "quillmark")
        return policy.split("Candidate:", 1)[1].split()[0]

    def test_install_refuse_forgeries_upgrade(self):
        log("publishing 1.0.7 in a signed repository")
        self.publish(self.repository, "1.0.7")
        self.serve(self.repository)
        # What the administrator does: the key, checked by its fingerprint,
        # and a source that trusts it for this repository alone.
        shutil.copyfile(self.DEVELOPMENT_KEYRING, self.root.host_path(self.KEYRING))
        self.root.write(self.SOURCES, f"Types: deb\nURIs: {self.server_base}/\nSuites: bookworm\n"
                                      f"Components: main\nSigned-By: {self.KEYRING}\n")
        self.root.as_root("apt-get", "update", "--quiet", "--quiet")
        self.root.as_root("apt", "install", "--yes", "--quiet", "quillmark")
        self.assertEqual(self.root.installed_version(), "install ok installed 1.0.7")
        admin_config = self.root.read(SYSTEM_CONFIG).replace("updates.quillmark.invalid", "mirror.example.org")
        self.root.write(SYSTEM_CONFIG, admin_config)

        self.publish(self.repository, "1.0.8")
        impostor = self.impostor_key()
        forged = os.path.join(self.scratch, "forged")
        shutil.copytree(self.repository, forged)
        self.publish(forged, "1.0.8", "--key", impostor)
        packages = "dists/bookworm/main/binary-amd64/Packages"
        for name, repository, tamper, refusal in (
                ("signed with another key", forged, lambda site: None, "NO_PUBKEY"),
                # In both forms, lest apt fall back from one to the other.
                ("signed index changed", self.repository,
                 lambda site: [replace_in(os.path.join(site, "dists/bookworm", name), "Label: Quillmark",
                                          "Label: Quillmork") for name in ("InRelease", "Release")], "BADSIG"),
                ("package list changed under the signed index", self.repository,
                 lambda site: [replace_in(os.path.join(site, packages + suffix), "Version: 1.0.8", "Version: 1.0.9")
                               for suffix in ("", ".gz", ".xz")], "Hash Sum mismatch|unexpected size")):
            with self.subTest(name):
                log(f"publication refused: {name}")
                self.serve(repository, tamper)
                # apt says why and keeps the index it verified before (its
                # exit status is 0 for a bad signature, a warning only).
                update = self.refresh_quillmark_lists()
                self.assertRegex(update.stdout + update.stderr, refusal)
                self.assertEqual(self.candidate(), "1.0.7")

        log("publishing 1.0.8: apt upgrade")
        self.serve(self.repository)
        update = self.refresh_quillmark_lists()
        self.assertEqual(update.returncode, 0, update.stdout + update.stderr)
        self.root.as_root("apt", "upgrade", "--yes", "--quiet")
        self.assertEqual(self.root.installed_version(), "install ok installed 1.0.8")
        self.assertEqual(self.root.read(SYSTEM_CONFIG), admin_config)
        verify = subprocess.run(self.root.root_command("dpkg", "--verify", "quillmark"), capture_output=True,
                                text=True)
        self.assertEqual(verify.stdout.split(), ["??5??????", "c", SYSTEM_CONFIG], verify.stdout)
        # Debian 13's apt verifies with sqv instead of gpgv: the key and
        # signature must satisfy both.
        dists = os.path.join(self.repository, "dists", "bookworm")
        run(["sqv", "--keyring", self.DEVELOPMENT_KEYRING, os.path.join(dists, "Release.gpg"),
             os.path.join(dists, "Release")])

    def impostor_key(self):
        """A key of the right kind that the administrator never trusted."""
        home = tempfile.mkdtemp(dir=self.scratch)
        environment = dict(os.environ, GNUPGHOME=home)
        run(["gpg", "--batch", "--quiet", "--passphrase", "", "--quick-generate-key",
             "Quillmark apt repository <quillmark@varnek.eu>", "ed25519", "sign", "never"], env=environment)
        key = os.path.join(self.scratch, "impostor.asc")
        with open(key, "w") as file:
            file.write(run(["gpg", "--batch", "--armor", "--export-secret-keys"], env=environment))
        subprocess.run(["gpgconf", "--kill", "all"], env=environment)
        return key


def replace_in(path, old, new):
    """Changes a text, compressed like the file if it is."""
    opener = gzip.open if path.endswith(".gz") else lzma.open if path.endswith(".xz") else open
    with opener(path, "rt") as file:
        text = file.read()
    if old not in text:
        raise RuntimeError(f"{old!r} not in {path}")
    with opener(path, "wt") as file:
        file.write(text.replace(old, new))


if __name__ == "__main__":
    unittest.main(verbosity=2, failfast=True)
