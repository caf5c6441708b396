#!/usr/bin/env python3
"""The program's command line as a shell user meets it: --help (or -h) and
--version print on the standard output and end with status 0, without a
display and without opening a window; any other word goes on to the window,
which here, with no display, ends in the one French line saying so.

Usage: check_command_line.py --program PATH --version VERSION
"""

import argparse
import os
import subprocess
import sys
import tempfile

from checks import check, summary

USAGE = "usage"
VERSION = "version"
NO_DISPLAY = "no display"

# (arguments, what is expected)
CASES = [
    (["--help"], USAGE),
    (["-h"], USAGE),
    (["-platform", "offscreen", "--help"], USAGE),
    (["dest=JN08WV", "-h", "--version"], USAGE),
    (["--version"], VERSION),
    (["local=JN18AP", "--version", "--help"], VERSION),
    (["--verbose"], NO_DISPLAY),
    (["--HELP"], NO_DISPLAY),
    (["-help"], NO_DISPLAY),
    (["local=JN18AP"], NO_DISPLAY),
]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--version", required=True)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="quarbe-cli-") as home:
        config = os.path.join(home, "config")
        # No display of any kind: a window the program tried to open would
        # end in the no-display line and status 1.
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": home, "XDG_CONFIG_HOME": config,
               "LANG": "C.UTF-8"}
        for arguments, expected in CASES:
            run = subprocess.run([args.program] + arguments, cwd=home, env=env, capture_output=True, timeout=30)
            out = run.stdout.decode("utf-8", "replace")
            err = run.stderr.decode("utf-8", "replace")
            label = " ".join(arguments)
            if expected == USAGE:
                ok = (run.returncode == 0 and err == "" and out.startswith("Usage : quarbe [local=QRA] [dest=QRA]")
                      and "--version" in out and "-platform" in out
                      and "Fichier de réglages : %s/quarbe.ini\n" % config in out)
            elif expected == VERSION:
                ok = run.returncode == 0 and err == "" and out == "quarbe %s\n" % args.version
            else:
                ok = run.returncode == 1 and out == "" and "aucun affichage graphique" in err
            if not check(ok, "%s: %s (status %d)" % (label, expected, run.returncode)):
                print(out + err)
        # The settings file is neither read nor made by --help.
        check(not os.path.exists(config), "--help leaves the settings alone")
    return summary()


if __name__ == "__main__":
    sys.exit(main())
