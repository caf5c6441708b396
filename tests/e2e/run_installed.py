#!/usr/bin/env python3
"""End-to-end test of the installed program.

Installs the build into a temporary prefix and runs the installed binary on
Qt's offscreen platform with a temporary HOME and XDG_CONFIG_HOME. A settings
file maps COM1 to a pseudo-terminal on which tools/nmea-replay plays a
recorded drive, and LPT1 to a FIFO the test reads. Checked:
  - the installed tree holds the program, its picture converter, desktop
    entry, metadata, icons, compass picture and README;
  - the rotator bytes on the FIFO are those expected for the drive, as
    computed by expected_rotator_bytes from the log with the project's
    geodesy, decoder and rotator byte: the start-up bytes, then one per fix
    applied, in order, ending with the drive's last fix (the reader never
    waits for the window, which takes the latest fix each time it can, so a
    replay faster than the window applies fixes leaves some out);
  - the compass needle picture changes while the drive goes on and follows
    the relative azimuth (the program saves its compass view into
    QUARBE_SNAPSHOT_DIR after each fix applied, the azimuth in its name);
  - after SIGTERM the program exits 0 and the settings file holds the seven
    keys, with the command-line correspondent and the vehicle's last locator,
    and keeps the sections the program does not own;
  - a settings file naming a GPS device that does not exist, and one naming a
    device another program holds exclusively: the program starts, computes,
    reports the failed open in a message box captioned "Ouverture port GPS"
    (these two run on a private Xvfb server, where the box can be seen as a
    window, when Xvfb and xwininfo are installed), applies no fix, and exits
    0 on SIGTERM while the box is open;
  - the drive through gpsfake and gpsd, and the rotator through rotctld
    (Hamlib's dummy rotator), both named in [Ports]: the azimuths rotctld is
    commanded follow the drive's relative azimuths in order, folded into the
    dummy's -180..450 range nearest the command before, and end on the
    drive's last one (where a heading sensor holds the heading while the
    vehicle reverses);
  - a receiver standing still with its course swinging at random, through a
    pseudo-terminal and through gpsfake/gpsd with rotctld: after the first
    fix the rotator is commanded at most once.

Usage: run_installed.py --build DIR --source DIR --expected PATH [--speed F]
       [--cmake PATH] [--keep]
"""

import argparse
import configparser
import errno
import fcntl
import hashlib
import os
import re
import pwd
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import termios
import time
import zlib

from checks import check, info, summary


def qt_ini_key(key):
    """A key as the program writes a new one in its INI file: non-ASCII characters
    percent-escaped as Latin-1 (%E9) or, above Latin-1, as %UXXXX."""
    out = []
    for ch in key:
        code = ord(ch)
        if code < 0x80 and (ch.isalnum() or ch in "-_.~ "):
            out.append(ch)
        elif code < 0x100:
            out.append("%%%02X" % code)
        else:
            out.append("%%U%04X" % code)
    return "".join(out)


def write_settings(path, ports, local="JN18AP", corres="IO91WM", image="mobile.emf"):
    text = (
        "[Contexte]\n"
        "Local=%s\n"
        "Corres=%s\n"
        "\n[GPS]\nPort=1\n"
        "\n[Moteur]\nPort=1\nRotation=1\n%s=180\n"
        "\n[Compas]\nImage=%s\n"
        "\n[Ports]\n%s"
        "\n[Notes]\nvoiture=break bleu\n"
    ) % (local, corres, qt_ini_key("Butée"), image,
         "".join("%s=%s\n" % (k, v) for k, v in ports.items()))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as out:
        out.write(text)


def read_settings(path):
    parser = configparser.RawConfigParser(strict=False, interpolation=None)
    parser.optionxform = str  # keys are case-sensitive
    with open(path, encoding="utf-8", errors="replace") as f:
        parser.read_file(f)
    return parser


def check_saved_settings(path, expected_local, expected_corres, image, label):
    if not check(os.path.exists(path), "%s: settings file exists after exit" % label):
        return
    settings = read_settings(path)
    endstop_key = qt_ini_key("Butée")
    wanted = {
        ("Contexte", "Local"): expected_local,
        ("Contexte", "Corres"): expected_corres,
        ("GPS", "Port"): "1",
        ("Moteur", "Port"): "1",
        ("Moteur", "Rotation"): "1",
        ("Moteur", endstop_key): "180",
        ("Compas", "Image"): image,
    }
    for (section, key), value in wanted.items():
        got = settings.get(section, key, fallback=None)
        if got is None and section == "Moteur" and key == endstop_key:
            got = settings.get(section, "Butée", fallback=None)
        check(got == value, "%s: [%s] %s = %r (found %r)" % (label, section, key, value, got))
    check(settings.has_section("Ports") and settings.has_option("Ports", "COM1"),
          "%s: the [Ports] section survives the write" % label)
    check(settings.get("Notes", "voiture", fallback=None) == "break bleu",
          "%s: a section the program does not own survives the write" % label)


# --- processes -------------------------------------------------------------

class Replay:
    def __init__(self, source, log, speed, extra=()):
        cmd = [sys.executable, os.path.join(source, "tools", "nmea-replay"), log, "--send-comments", "--hold",
               "--quiet"]
        cmd += ["--speed", str(speed)] if speed else ["--no-pace"]
        cmd += list(extra)
        self.proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.device = self.proc.stdout.readline().strip()
        if not self.device.startswith("/dev/"):
            raise RuntimeError("nmea-replay gave no device: %r %s" % (self.device, self.proc.stderr.read()))

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        return self.proc.returncode


class FifoReader:
    """Reads the rotator bytes. Opened for reading before the program starts,
    so the program's non-blocking open for writing finds a reader."""

    def __init__(self, path):
        os.mkfifo(path, 0o666)
        os.chmod(path, 0o666)
        self.fd = os.open(path, os.O_RDONLY | os.O_NONBLOCK)
        self.data = bytearray()

    def read_for(self, seconds, until_count=None, alive=None, idle=None, idle_after=0):
        """Reads until `seconds` have passed, `until_count` bytes are in, the
        program is gone, or (with `idle`) no byte came for `idle` seconds
        once more than `idle_after` bytes are in."""
        deadline = time.monotonic() + seconds
        last_byte = None
        while time.monotonic() < deadline:
            if until_count is not None and len(self.data) >= until_count:
                break
            if alive is not None and not alive():
                break
            if (idle is not None and last_byte is not None and len(self.data) > idle_after
                    and time.monotonic() - last_byte > idle):
                break
            ready, _, _ = select.select([self.fd], [], [], 0.1)
            if ready:
                try:
                    chunk = os.read(self.fd, 4096)
                except BlockingIOError:
                    chunk = b""
                if chunk:
                    self.data.extend(chunk)
                    last_byte = time.monotonic()
                else:
                    time.sleep(0.05)  # no writer at the moment
        return bytes(self.data)

    def close(self):
        os.close(self.fd)


class PrivateDisplay:
    """An Xvfb server of the test's own, so the message boxes the program
    raises can be seen as windows (offscreen they cannot). No access control:
    the server listens on no network and lives only for one scenario."""

    def __init__(self):
        self.proc = None
        self.name = None
        self.pipe = None
        if not (shutil.which("Xvfb") and shutil.which("xwininfo")):
            return
        read_end, write_end = os.pipe()
        self.proc = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                                      "-nolisten", "tcp", "-ac"], pass_fds=(write_end,),
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        # The server writes the number and a line feed, possibly in two
        # writes; the pipe stays open for its life (it treats a closed pipe as
        # a fatal error).
        self.pipe = read_end
        number = b""
        deadline = time.monotonic() + 15
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([read_end], [], [], 0.5)
            if ready:
                chunk = os.read(read_end, 32)
                if not chunk:
                    break
                number += chunk
        number = number.decode().strip()
        if number.isdigit():
            self.name = ":" + number
        else:
            self.stop()

    def window_names(self):
        tree = subprocess.run(["xwininfo", "-root", "-tree", "-display", self.name], capture_output=True,
                              text=True).stdout
        names = []
        for line in tree.splitlines():
            start = line.find('"')
            end = line.find('"', start + 1)
            if start >= 0 and end > start:
                names.append(line[start + 1:end])
        return names

    def wait_for_window(self, name, seconds):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if name in self.window_names():
                return True
            time.sleep(0.2)
        return False

    def stop(self):
        if self.proc is not None and self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait()
        if self.pipe is not None:
            os.close(self.pipe)
            self.pipe = None


def start_program(prefix, home, args, user=None, snapshots=None, display=None):
    config = os.path.join(home, ".config")
    env = {
        "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
        "HOME": home,
        "XDG_CONFIG_HOME": config,
        "XDG_RUNTIME_DIR": os.path.join(home, "run"),
        "QT_QPA_PLATFORM": "offscreen",
        "LANG": "C.UTF-8",
    }
    if display is not None:
        env["QT_QPA_PLATFORM"] = "xcb"
        env["DISPLAY"] = display
    for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LD_LIBRARY_PATH"):
        if name in os.environ:
            env[name] = os.environ[name]
    if snapshots:
        env["QUARBE_SNAPSHOT_DIR"] = snapshots
    preexec = None
    if user is not None:
        def preexec():
            os.setgid(user.pw_gid)
            os.setgroups([])
            os.setuid(user.pw_uid)
    return subprocess.Popen([os.path.join(prefix, "bin", "quarbe")] + args, cwd=home, env=env,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                            preexec_fn=preexec)


def terminate(proc, label, timeout=15):
    """SIGTERM, then wait; checks the program ends by itself with status 0."""
    if not check(proc.poll() is None, "%s: the program is still running before SIGTERM" % label):
        info("exit status %s, output:\n%s" % (proc.returncode, proc.stdout.read()))
        return
    started = time.monotonic()
    proc.send_signal(signal.SIGTERM)
    try:
        proc.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
        check(False, "%s: the program ends within %d s of SIGTERM" % (label, timeout))
        return
    output = proc.stdout.read()
    check(proc.returncode == 0, "%s: exit status 0 after SIGTERM (got %s, %.1f s)"
          % (label, proc.returncode, time.monotonic() - started))
    if proc.returncode != 0 and output:
        info("program output:\n" + output)


def make_home(tmp, name, user=None):
    home = os.path.join(tmp, name)
    os.makedirs(os.path.join(home, ".config"))
    os.makedirs(os.path.join(home, "run"), mode=0o700)
    if user is not None:
        for path in (home, os.path.join(home, ".config"), os.path.join(home, "run")):
            os.chown(path, user.pw_uid, user.pw_gid)
    return home


# --- expected bytes ----------------------------------------------------------

def expected_for(expected_tool, log, local, dest):
    out = subprocess.run([expected_tool, "--local", local, "--dest", dest, "--end-stop", "180", "--sense", "1", log],
                         check=True, capture_output=True, text=True).stdout
    startup, fixes, last = [], [], None
    for line in out.splitlines():
        parts = line.split()
        if parts[0] == "S":
            startup.append((int(parts[1]), int(parts[2])))
        elif parts[0] == "F":
            fixes.append((int(parts[1]), int(parts[2]), int(parts[3]), parts[4]))
        elif parts[0] == "L":
            last = parts[1]
    return startup, fixes, last


def describe_mismatch(got, want):
    for i, (g, w) in enumerate(zip(got, want)):
        if g != w:
            return "first difference at byte %d: got %d, expected %d" % (i, g, w)
    return "got %d bytes, expected %d" % (len(got), len(want))


# --- scenarios ---------------------------------------------------------------

def check_installed_tree(prefix, source):
    files = [
        "bin/quarbe",
        "libexec/quarbe/quarbe-emf2svg",
        "libexec/quarbe/quarbe-rotator",
        "share/applications/quarbe.desktop",
        "share/metainfo/io.github.quarbe.Quarbe.metainfo.xml",
        "share/doc/quarbe/README.md",
    ]
    if os.path.exists(os.path.join(source, "data", "mobile.emf")):
        files.append("share/quarbe/mobile.emf")
    if os.path.exists(os.path.join(source, "data", "icons", "quarbe.svg")):
        files.append("share/icons/hicolor/scalable/apps/quarbe.svg")
    if os.path.exists(os.path.join(source, "data", "icons", "quarbe-32.png")):
        files.append("share/icons/hicolor/32x32/apps/quarbe.png")
    for name in files:
        check(os.path.isfile(os.path.join(prefix, name)), "installed: " + name)
    for name in ("bin/quarbe", "libexec/quarbe/quarbe-emf2svg", "libexec/quarbe/quarbe-rotator"):
        check(os.access(os.path.join(prefix, name), os.X_OK), "installed %s is executable" % name)


def png_pixels(path):
    """The RGB pixels of an 8-bit, non-interlaced RGB or RGBA PNG file, as a
    list of (r, g, b); None for any other kind of PNG."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        return None
    pos, idat, header = 8, bytearray(), None
    while pos + 8 <= len(data):
        length = int.from_bytes(data[pos:pos + 4], "big")
        kind = data[pos + 4:pos + 8]
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = body
        elif kind == b"IDAT":
            idat.extend(body)
        pos += 12 + length
    if header is None:
        return None
    width, height = int.from_bytes(header[0:4], "big"), int.from_bytes(header[4:8], "big")
    depth, colour, interlace = header[8], header[9], header[12]
    if depth != 8 or colour not in (2, 6) or interlace != 0:
        return None
    channels = 3 if colour == 2 else 4
    raw = zlib.decompress(bytes(idat))
    stride = width * channels
    previous = bytearray(stride)
    pixels = []
    for row in range(height):
        kind = raw[row * (stride + 1)]
        line = bytearray(raw[row * (stride + 1) + 1:(row + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + up) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 0xFF
            elif kind == 4:
                estimate = left + up - corner
                pa, pb, pc = abs(estimate - left), abs(estimate - up), abs(estimate - corner)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 0xFF
        pixels.extend(tuple(line[i:i + 3]) for i in range(0, stride, channels))
        previous = line
    return pixels


def coloured_share(pixels):
    """Share of clearly coloured pixels (not black, white or grey)."""
    coloured = sum(1 for r, g, b in pixels if max(r, g, b) - min(r, g, b) > 60)
    return coloured / max(1, len(pixels))


def snapshot_digests(directory):
    digests = []
    if not directory or not os.path.isdir(directory):
        return digests
    for name in sorted(os.listdir(directory)):
        path = os.path.join(directory, name)
        if os.path.isfile(path):
            with open(path, "rb") as f:
                digests.append(hashlib.sha256(f.read()).hexdigest())
    return digests


def changes(values):
    return sum(1 for a, b in zip(values, values[1:]) if a != b)


def scenario_drive(tmp, prefix, source, expected_tool, drive, speed, label="drive", parked=False):
    log = os.path.join(source, "data", "drives", drive)
    startup, fixes, last_locator = expected_for(expected_tool, log, "JN18AP", "JN08WV")
    want = bytes([b for b, _ in startup] + [f[0] for f in fixes])
    info("%s: %d start-up bytes and %d fix bytes expected" % (drive, len(startup), len(fixes)))

    name = label.replace(" ", "-")
    home = make_home(tmp, "home-" + name)
    fifo_path = os.path.join(tmp, "lpt1-" + name)
    fifo = FifoReader(fifo_path)
    # Wait for the program to open the device, then give its reader time to
    # set the line up before the first sentence.
    replay = Replay(source, log, speed, ["--wait-reader", "--settle", "1.0"])
    # The default picture, a relative path: not in the working directory, so
    # the installed program must find the one it installed.
    image = "mobile.emf"
    settings_path = os.path.join(home, ".config", "quarbe.ini")
    write_settings(settings_path, {"COM1": replay.device, "LPT1": fifo_path}, image=image)
    snapshots = os.path.join(tmp, "snapshots-" + name)
    os.makedirs(snapshots)

    program = start_program(prefix, home, ["dest=JN08WV"], snapshots=snapshots)
    seconds = 30 + 1.5 * (len(fixes) / speed if speed else 10)
    # Fixes left out by the window (see above) leave fewer bytes: the drive
    # is over once none has come for a while.
    got = fifo.read_for(seconds, until_count=len(want), alive=lambda: program.poll() is None, idle=5.0,
                        idle_after=len(startup))
    # Anything more than expected would show up now.
    got = fifo.read_for(1.0, alive=lambda: program.poll() is None)
    check(got[:len(startup)] == want[:len(startup)],
          "%s: start-up bytes %s (got %s)" % (label, list(want[:len(startup)]), list(got[:len(startup)])))
    applied = list(got[len(startup):])
    wanted = [f[0] for f in fixes]
    info("%s: %d of %d fixes applied" % (label, len(applied), len(fixes)))
    check(applied and is_subsequence(applied, wanted) and applied[-1] == wanted[-1],
          "%s: the rotator bytes are those of fixes of the drive, in order, ending with its last (%s)"
          % (label, "all %d equal" % len(want) if got == want else describe_mismatch(got, want)))
    if speed:
        # Paced, the window keeps up with the receiver but for a fix now and then.
        check(len(applied) >= 0.9 * len(fixes), "%s: nearly every fix is applied (%d of %d)"
              % (label, len(applied), len(fixes)))
    if parked:
        check(changes(applied) <= 1, "%s: after the first fix the rotator byte changes at most once (%d changes "
              "in %d bytes)" % (label, changes(applied), len(applied)))

    # The program saves its compass view after each applied fix, named with
    # the relative azimuth it shows; the drive turns the relative azimuth
    # through a good part of the circle.
    names = sorted(os.listdir(snapshots))
    digests = snapshot_digests(snapshots)
    azimuths = [int(re.search(r"-az(-?\d+)\.png$", n).group(1)) if re.search(r"-az(-?\d+)\.png$", n) else None
                for n in names]
    check(len(set(digests)) >= min(10, len(set(azimuths))),
          "%s: the compass picture changes while the drive goes on (%d images, %d different)"
          % (label, len(digests), len(set(digests))))
    first = names[0] if digests else None
    pixels = png_pixels(os.path.join(snapshots, first)) if first else None
    check(pixels is not None and coloured_share(pixels) > 0.01,
          "%s: the compass shows the installed default picture (%.1f %% coloured pixels)"
          % (label, 100 * coloured_share(pixels) if pixels else 0))
    if check(len(digests) == len(applied) and None not in azimuths,
             "%s: one compass picture, named with its azimuth, per fix applied (%d for %d)"
             % (label, len(digests), len(applied))):
        # The needle shows the relative azimuth: a given azimuth always gives
        # the same picture, and different azimuths different pictures.
        picture_for = {}
        consistent = all(picture_for.setdefault(a, d) == d for a, d in zip(azimuths, digests))
        check(consistent and len(set(picture_for.values())) == len(picture_for),
              "%s: the compass picture follows the relative azimuth fix by fix" % label)

    terminate(program, label)
    replay.stop()
    fifo.close()
    check_saved_settings(settings_path, last_locator, "JN08WV", image, label)


GPS_OPEN_CAPTION = "Ouverture port GPS"


def check_gps_report(display, label):
    """The failed open is reported in a message box with its caption."""
    if display.name is None:
        info("%s: no Xvfb or xwininfo here: the message box is not looked for (offscreen)" % label)
        return
    check(display.wait_for_window(GPS_OPEN_CAPTION, 20),
          "%s: a window captioned %r appears (windows: %s)"
          % (label, GPS_OPEN_CAPTION, ", ".join(sorted(set(display.window_names()) - {"has no name"}))))


def scenario_missing_device(tmp, prefix, source, expected_tool):
    label = "missing GPS device"
    startup, _, _ = expected_for(expected_tool, os.devnull, "JN18AP", "JN08WV")
    want = bytes(b for b, _ in startup)
    home = make_home(tmp, "home-missing")
    fifo = FifoReader(os.path.join(tmp, "lpt1-missing"))
    settings_path = os.path.join(home, ".config", "quarbe.ini")
    write_settings(settings_path, {"COM1": os.path.join(tmp, "no-such-dir", "ttyGPS"),
                                   "LPT1": os.path.join(tmp, "lpt1-missing")})
    display = PrivateDisplay()
    program = start_program(prefix, home, ["dest=JN08WV"], display=display.name)
    got = fifo.read_for(20, until_count=len(want), alive=lambda: program.poll() is None)
    check_gps_report(display, label)
    got = fifo.read_for(1.0, alive=lambda: program.poll() is None)
    check(got == want, "%s: start-up bytes only (expected %s, got %s)" % (label, list(want), list(got)))
    terminate(program, label)
    display.stop()
    fifo.close()
    check_saved_settings(settings_path, "JN18AP", "JN08WV", "mobile.emf", label)


def scenario_busy_device(tmp, prefix, source, expected_tool, drive):
    label = "busy GPS device"
    # An exclusive hold (TIOCEXCL) does not stop root: run the program as an
    # ordinary user when the test runs as root.
    user = None
    if os.geteuid() == 0:
        try:
            user = pwd.getpwnam("nobody")
        except KeyError:
            check(False, "%s: a 'nobody' user to run the program as" % label)
            return
        os.chmod(tmp, 0o755)
    startup, _, _ = expected_for(expected_tool, os.devnull, "JN18AP", "JN08WV")
    want = bytes(b for b, _ in startup)
    home = make_home(tmp, "home-busy", user)
    fifo = FifoReader(os.path.join(tmp, "lpt1-busy"))
    replay = Replay(source, os.path.join(source, "data", "drives", drive), 20)
    if user is not None:
        os.chown(replay.device, user.pw_uid, user.pw_gid)
    holder = os.open(replay.device, os.O_RDWR | os.O_NOCTTY)
    fcntl.ioctl(holder, termios.TIOCEXCL)

    # The device must really be refused to the program's user, or this case
    # would test nothing.
    child = os.fork()
    if child == 0:
        code = 0
        try:
            if user is not None:
                os.setgid(user.pw_gid)
                os.setgroups([])
                os.setuid(user.pw_uid)
            os.close(os.open(replay.device, os.O_RDWR | os.O_NOCTTY))
        except OSError as error:
            code = error.errno
        os._exit(code)
    _, status = os.waitpid(child, 0)
    probed = os.waitstatus_to_exitcode(status)
    check(probed == errno.EBUSY, "%s: opening the held device fails with EBUSY (errno %s)" % (label, probed))

    settings_path = os.path.join(home, ".config", "quarbe.ini")
    write_settings(settings_path, {"COM1": replay.device, "LPT1": os.path.join(tmp, "lpt1-busy")})
    if user is not None:
        os.chown(settings_path, user.pw_uid, user.pw_gid)
    display = PrivateDisplay()
    program = start_program(prefix, home, ["dest=JN08WV"], user=user, display=display.name)
    got = fifo.read_for(20, until_count=len(want), alive=lambda: program.poll() is None)
    check_gps_report(display, label)
    # The replay keeps sending fixes; none may reach the rotator.
    got = fifo.read_for(2.0, alive=lambda: program.poll() is None)
    check(got == want, "%s: start-up bytes only, no fix applied (expected %s, got %s)"
          % (label, list(want), list(got)))
    terminate(program, label)
    display.stop()
    os.close(holder)
    replay.stop()
    fifo.close()
    check_saved_settings(settings_path, "JN18AP", "JN08WV", "mobile.emf", label)


class Daemon:
    """A daemon of the test's own, in a process group of its own, stopped by
    that group's id."""

    def __init__(self, argv, log_path, port):
        self.log = open(log_path, "w")
        self.proc = subprocess.Popen(argv, stdout=self.log, stderr=subprocess.STDOUT, start_new_session=True)
        self.listening = wait_for_listener(port, 10)

    def stop(self):
        if self.proc.poll() is None:
            os.killpg(self.proc.pid, signal.SIGTERM)
            try:
                self.proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                pass
        try:
            os.killpg(self.proc.pid, signal.SIGKILL)  # gpsfake's gpsd, if left behind
        except ProcessLookupError:
            pass
        self.proc.wait()
        self.log.close()


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_listener(port, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return True
        except OSError:
            time.sleep(0.05)
    return False


def commanded_azimuths(log_path):
    marker = "dummy_rot_set_position called: "
    azimuths = []
    with open(log_path, errors="replace") as f:
        for line in f:
            at = line.find(marker)
            if at >= 0:
                azimuths.append(float(line[at + len(marker):].split()[0]))
    return azimuths


def is_subsequence(items, sequence):
    it = iter(sequence)
    return all(any(x == y for y in it) for x in items)


def scenario_daemons(tmp, prefix, source, expected_tool, drive, label="gpsd and rotctld", parked=False):
    if not (shutil.which("gpsfake") and shutil.which("rotctld")):
        check(False, "%s: gpsfake and rotctld are installed" % label)
        return
    log = os.path.join(source, "data", "drives", drive)
    startup, fixes, last_locator = expected_for(expected_tool, log, "JN18AP", "JN08WV")
    relative = [a for _, a in startup] + [f[1] for f in fixes]
    gps_port, rot_port = free_port(), free_port()
    name = label.replace(" ", "-")
    home = make_home(tmp, "home-" + name)
    rotctld_log = os.path.join(tmp, name + "-rotctld.log")
    rotctld = Daemon(["rotctld", "-m", "1", "-T", "127.0.0.1", "-t", str(rot_port), "-vvvv"], rotctld_log, rot_port)
    # Fifty sentences a second: the drive of almost eight minutes in 19 s.
    cycle = 0.02
    gpsfake = Daemon(["gpsfake", "-q", "-1", "-c", str(cycle), "-P", str(gps_port), log],
                     os.path.join(tmp, name + "-gpsfake.log"), gps_port)
    check(rotctld.listening and gpsfake.listening, "%s: both daemons listen" % label)
    settings_path = os.path.join(home, ".config", "quarbe.ini")
    write_settings(settings_path, {"COM1": "gpsd:127.0.0.1:%d" % gps_port,
                                   "LPT1": "hamlib:2:127.0.0.1:%d" % rot_port})
    program = start_program(prefix, home, ["dest=JN08WV"])
    with open(log) as f:
        sentences = sum(1 for line in f if line.startswith("$"))
    # The whole replay, and time for gpsd to take the device at the start.
    deadline = time.monotonic() + sentences * cycle + 10
    while time.monotonic() < deadline and program.poll() is None:
        time.sleep(0.5)
    got = commanded_azimuths(rotctld_log)
    info("%s: %d azimuths commanded for %d computations" % (label, len(got), len(relative)))
    folded = [int(round(a)) % 360 for a in got]
    wanted = [a % 360 for a in relative]
    if parked:
        # The start-up command, and at most the first fix's and one more.
        check(1 <= len(got) <= 3, "%s: after the first fix the rotator is commanded at most once (%d commands "
              "in all: %s)" % (label, len(got), got))
    else:
        # At most two commands a second reach the rotator, each the latest target.
        check(len(got) >= 10, "%s: the rotator follows the drive (%d commands)" % (label, len(got)))
    # The dummy reports -180..450, a range holding a whole turn from 0: only
    # 0..450 is used, and no negative angle is sent.
    check(all(0 <= a <= 450 for a in got), "%s: every command within 0..450 of the dummy's -180..450" % label)
    check(is_subsequence(folded, wanted),
          "%s: the commands are the drive's relative azimuths, in order" % label)
    # Each command is the equivalent within range nearest the one before, so
    # the antenna turns the short way unless the range's end stands there.
    def nearest(previous, command):
        return all(abs(command - previous) <= abs(other - previous)
                   for other in (command - 360, command + 360) if 0 <= other <= 450)
    check(all(nearest(a, b) for a, b in zip(got, got[1:])),
          "%s: each command is the reachable angle nearest the one before" % label)
    last_gap = min((folded[-1] - wanted[-1]) % 360, (wanted[-1] - folded[-1]) % 360) if got else 360
    check(last_gap < 2, "%s: the last command is the drive's last relative azimuth %d within the dead band (got %s)"
          % (label, wanted[-1], got[-1] if got else None))
    terminate(program, label)
    gpsfake.stop()
    rotctld.stop()
    check_saved_settings(settings_path, last_locator, "JN08WV", "mobile.emf", label)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--source", required=True)
    parser.add_argument("--expected", required=True, help="path of expected_rotator_bytes")
    parser.add_argument("--speed", type=float, default=25.0,
                        help="replay speed factor of the paced drive (0: as fast as read)")
    parser.add_argument("--cmake", default="cmake", help="the cmake program to install with")
    parser.add_argument("--keep", action="store_true", help="keep the temporary directory")
    args = parser.parse_args()

    tmp = tempfile.mkdtemp(prefix="quarbe-e2e-")
    try:
        prefix = os.path.join(tmp, "prefix")
        install = subprocess.run([args.cmake, "--install", args.build, "--prefix", prefix],
                                 capture_output=True, text=True)
        if not check(install.returncode == 0, "cmake --install into a temporary prefix"):
            info(install.stdout + install.stderr)
            return 1
        check_installed_tree(prefix, args.source)
        # A current receiver's log at receiver pace (sped up), then an older
        # receiver's log as fast as the program reads it, many sentences a read.
        scenario_drive(tmp, prefix, args.source, args.expected, "drive-jn18ap-gn.nmea", args.speed, "paced drive")
        scenario_drive(tmp, prefix, args.source, args.expected, "drive-jn18ap-gp.nmea", 0, "unpaced drive")
        scenario_missing_device(tmp, prefix, args.source, args.expected)
        scenario_busy_device(tmp, prefix, args.source, args.expected, "drive-jn18ap-gn.nmea")
        scenario_daemons(tmp, prefix, args.source, args.expected, "drive-jn18ap-gn.nmea")
        # A receiver standing still, its course swinging at random, through
        # either path: the antenna holds still.
        scenario_drive(tmp, prefix, args.source, args.expected, "parked-jn18ap.nmea", args.speed, "parked receiver",
                       parked=True)
        scenario_daemons(tmp, prefix, args.source, args.expected, "parked-jn18ap.nmea",
                         "parked receiver through gpsd", parked=True)
    finally:
        if args.keep:
            info("kept " + tmp)
        else:
            shutil.rmtree(tmp, ignore_errors=True)
    return summary()


if __name__ == "__main__":
    sys.exit(main())
