#!/usr/bin/env python3
"""Builds the Debian package into a temporary directory and checks it: its
control fields (name, version, section, runtime dependencies found by
dpkg-shlibdeps), the files it installs, lintian's verdict (hardening
included), and that the program it carries starts from the unpacked tree and
ends with status 0 on SIGTERM, writing its settings file, that without a
display it explains so in one line, and that it answers --version without
one.

Usage: check_package.py --build DIR
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from checks import check, summary


def field(deb, name):
    return subprocess.run(["dpkg-deb", "-f", deb, name], capture_output=True, text=True).stdout.strip()


def check_without_display(program, home, env):
    """Without a display to open the program says so in one French line and
    ends with a non-zero status, never with Qt's advice to reinstall."""
    for label, extra in (("no display", {}), ("a display that does not answer", {"DISPLAY": "unix:/nonexistent"}),
                         ("xcb asked for, no display", {"QT_QPA_PLATFORM": "xcb"})):
        run = subprocess.run([program], cwd=home, env=dict(env, **extra), capture_output=True, text=True,
                             timeout=30)
        lines = (run.stdout + run.stderr).splitlines()
        if not check(run.returncode != 0 and len(lines) == 1 and "affichage graphique" in lines[0],
                     "%s: one French line and status %d" % (label, run.returncode)):
            print(run.stdout + run.stderr)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    args = parser.parse_args()
    tmp = tempfile.mkdtemp(prefix="quarbe-package-")
    try:
        made = subprocess.run(["cpack", "-G", "DEB", "-B", tmp, "--config",
                               os.path.join(args.build, "CPackConfig.cmake")], capture_output=True, text=True)
        debs = [name for name in os.listdir(tmp) if name.endswith(".deb")]
        if not check(made.returncode == 0 and len(debs) == 1, "cpack -G DEB makes one package"):
            print(made.stdout + made.stderr)
            return 1
        deb = os.path.join(tmp, debs[0])
        check(debs[0].startswith("quarbe_1.1.0.1_"), "package file name %s" % debs[0])
        check(field(deb, "Package") == "quarbe", "Package: quarbe")
        check(field(deb, "Version") == "1.1.0.1", "Version: 1.1.0.1")
        check(field(deb, "Section") == "hamradio", "Section: hamradio")
        check(field(deb, "Maintainer") != "", "a Maintainer field")
        depends = field(deb, "Depends")
        for needed in ("libqt6widgets6", "libqt6svg6", "libc6", "qt6-qpa-plugins",
                       "qt6-translations-l10n", "libgps28", "libhamlib4"):
            check(needed in depends, "Depends names %s" % needed)

        root = os.path.join(tmp, "root")
        subprocess.run(["dpkg-deb", "-x", deb, root], check=True)
        listing = subprocess.run(["dpkg-deb", "-c", deb], capture_output=True, text=True).stdout
        prefix = None
        for line in listing.splitlines():
            if line.endswith("/bin/quarbe"):
                prefix = line.split()[-1][1:-len("/bin/quarbe")]
        if not check(prefix is not None, "the package holds bin/quarbe"):
            return 1
        check(prefix == "/usr", "the package installs under /usr (found %s)" % prefix)
        for name in ("libexec/quarbe/quarbe-emf2svg", "libexec/quarbe/quarbe-rotator",
                     "share/applications/quarbe.desktop", "share/metainfo/io.github.quarbe.Quarbe.metainfo.xml",
                     "share/quarbe/mobile.emf", "share/doc/quarbe/README.md",
                     "share/icons/hicolor/scalable/apps/quarbe.svg", "share/icons/hicolor/32x32/apps/quarbe.png"):
            check(os.path.isfile(os.path.join(root + prefix, name)), "the package holds %s/%s" % (prefix, name))

        # Debian's own checks: no error and no warning (the copyright file,
        # the changelog, the manual page, the description's line lengths),
        # and none of the hardening Debian builds with missing from the
        # binaries (lintian tells that at its information level).
        lintian_tool = shutil.which("lintian")
        if check(lintian_tool is not None, "lintian is installed (tools/install-deps)"):
            lint = subprocess.run([lintian_tool, "--allow-root", "--display-info", deb], capture_output=True,
                                  text=True)
            lines = lint.stdout.splitlines()
            tags = [line for line in lines if line[:2] in ("E:", "W:")]
            if not check(not tags and lint.returncode == 0, "lintian reports no error and no warning"):
                print(lint.stdout + lint.stderr)
            unhardened = [line for line in lines if "hardening-no-" in line]
            if not check(not unhardened, "lintian finds the binaries hardened (bindnow, fortify, PIE, relro)"):
                print("\n".join(unhardened))

        # The metadata, desktop entry and icon as a software centre sees them.
        if shutil.which("appstreamcli"):
            tree = subprocess.run(["appstreamcli", "validate-tree", "--no-net", root], capture_output=True,
                                  text=True)
            if not check(tree.returncode == 0, "appstreamcli validate-tree on the unpacked package"):
                print(tree.stdout + tree.stderr)

        # The unpacked program starts (no GPS, no rotator) and ends cleanly.
        # There is no display here: Qt's own -platform option picks one.
        home = os.path.join(tmp, "home")
        config = os.path.join(home, ".config")
        os.makedirs(config)
        with open(os.path.join(config, "quarbe.ini"), "w", encoding="utf-8") as out:
            out.write("[GPS]\nPort=0\n[Moteur]\nPort=0\n")
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": home, "XDG_CONFIG_HOME": config,
               "XDG_RUNTIME_DIR": tmp}
        os.chmod(tmp, 0o700)
        program_path = root + prefix + "/bin/quarbe"
        check_without_display(program_path, home, env)
        version = subprocess.run([program_path, "--version"], cwd=home, env=env, capture_output=True, text=True,
                                 timeout=30)
        check(version.returncode == 0 and version.stdout == "quarbe 1.1.0.1\n",
              "the packaged program answers --version without a display")
        program = subprocess.Popen([program_path, "-platform", "offscreen", "dest=IO91WM"], cwd=home, env=env,
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        time.sleep(2.0)
        if check(program.poll() is None, "the packaged program is running after 2 s"):
            program.send_signal(signal.SIGTERM)
            try:
                program.wait(timeout=15)
            except subprocess.TimeoutExpired:
                program.kill()
                program.wait()
        output = program.stdout.read()
        if not check(program.returncode == 0, "the packaged program ends with status 0 on SIGTERM (got %s)"
                     % program.returncode):
            print(output)
        with open(os.path.join(config, "quarbe.ini"), encoding="utf-8") as f:
            check("Corres=IO91WM" in f.read(), "the packaged program wrote the command-line correspondent")
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    return summary()


if __name__ == "__main__":
    sys.exit(main())
