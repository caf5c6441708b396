#!/usr/bin/env python3
"""Tests of tools/nmea-replay: what reaches the reader, the pacing, the
symlink and the clean ending on SIGTERM."""

import os
import select
import signal
import subprocess
import sys
import tempfile
import time
import tty
import unittest

REPLAY = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "nmea-replay")

RMC = "$GPRMC,074201,A,4838.751,N,00202.501,E,002.2,045.0,140626,,*1B"
GGA = "$GPGGA,074201,4838.751,N,00202.501,E,1,08,0.9,094.5,M,46.9,M,,*40"


def sentence_at(second, template):
    return template.replace("074201", "0742%02d" % second)


class ReplayRun:
    """Starts the replay on a log and reads the device like a GPS reader."""

    def __init__(self, lines, *options):
        self.dir = tempfile.TemporaryDirectory()
        self.log = os.path.join(self.dir.name, "drive.nmea")
        with open(self.log, "w", encoding="ascii", newline="\n") as out:
            out.write("\n".join(lines) + "\n")
        self.proc = subprocess.Popen([sys.executable, REPLAY, self.log, "--wait-reader", "--settle", "0.2",
                                      "--quiet"] + list(options),
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.device = self.proc.stdout.readline().strip()

    def read(self, until_bytes, timeout=10.0):
        fd = os.open(self.device, os.O_RDWR | os.O_NOCTTY)
        tty.setraw(fd)
        data = bytearray()
        started = time.monotonic()
        first_at = None
        while len(data) < until_bytes and time.monotonic() - started < timeout:
            ready, _, _ = select.select([fd], [], [], 0.1)
            if ready:
                try:
                    chunk = os.read(fd, 4096)
                except OSError:
                    break
                if first_at is None:
                    first_at = time.monotonic()
                data.extend(chunk)
        os.close(fd)
        return bytes(data), (time.monotonic() - first_at if first_at else 0.0)

    def finish(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
        self.proc.wait(timeout=10)
        self.proc.stdout.close()
        self.proc.stderr.close()
        self.dir.cleanup()
        return self.proc.returncode


class NmeaReplayTest(unittest.TestCase):
    def test_sentences_arrive_whole_with_crlf_and_comments_skipped(self):
        run = ReplayRun(["# made by hand", RMC, "", GGA], "--no-pace", "--hold")
        expected = (RMC + "\r\n" + GGA + "\r\n").encode()
        data, _ = run.read(len(expected))
        self.assertEqual(data, expected)
        self.assertEqual(run.finish(), 0)

    def test_comments_sent_on_request(self):
        run = ReplayRun(["# made by hand", RMC], "--no-pace", "--send-comments", "--hold")
        expected = ("# made by hand\r\n" + RMC + "\r\n").encode()
        data, _ = run.read(len(expected))
        self.assertEqual(data, expected)
        self.assertEqual(run.finish(), 0)

    def test_bytes_paced_at_the_line_speed(self):
        # Ten sentences with the same time: only the line speed paces them.
        lines = [RMC] * 10
        total = sum(len(line) + 2 for line in lines)
        run = ReplayRun(lines, "--baud", "9600", "--hold")
        data, elapsed = run.read(total)
        self.assertEqual(len(data), total)
        # 10 bits a byte; the first sentence is already on its way when timing starts.
        line_seconds = (total - len(RMC) - 2) * 10 / 9600
        self.assertGreater(elapsed, 0.8 * line_seconds)
        self.assertLess(elapsed, line_seconds + 1.0)
        self.assertEqual(run.finish(), 0)

    def test_sentences_keep_their_seconds_scaled_by_speed(self):
        lines = []
        for second in (1, 2, 3, 4, 5):
            lines += [sentence_at(second, RMC), sentence_at(second, GGA)]
        total = sum(len(line) + 2 for line in lines)
        run = ReplayRun(lines, "--speed", "4", "--hold")
        data, elapsed = run.read(total)
        self.assertEqual(len(data), total)
        # Four seconds of log at four times real time.
        self.assertGreater(elapsed, 0.9)
        self.assertLess(elapsed, 2.5)
        self.assertEqual(run.finish(), 0)

    def test_link_made_and_removed_and_sigterm_ends_cleanly(self):
        with tempfile.TemporaryDirectory() as tmp:
            link = os.path.join(tmp, "gps")
            run = ReplayRun([RMC], "--link", link, "--no-pace", "--hold")
            self.assertEqual(os.path.realpath(link), os.path.realpath(run.device))
            run.read(len(RMC) + 2)
            self.assertEqual(run.finish(), 0)
            self.assertFalse(os.path.lexists(link))


if __name__ == "__main__":
    unittest.main()
