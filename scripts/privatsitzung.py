#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The end-to-end tests' private session (tests/e2e/sitzung.py) from a shell,
for the benchmark and the guide's pictures.

  privatsitzung.py start [--anzeige BxH] [--ton SERVER]... DATEI
      starts a session with a display, a session bus and the sound servers
      named, and, once it is up, writes its environment to DATEI as shell
      assignments (TEMPIRO_PULSEAUDIO and TEMPIRO_PIPEWIRE: the servers'
      addresses); runs until it is terminated, then stops it all
  privatsitzung.py punkt NAME...
      where a control of the window is clicked: "x y" in window pixels
"""

import argparse
import os
import shlex
import signal
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from sitzung import Sitzung, punkt  # noqa: E402


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("befehl", choices=("start", "punkt"))
    ap.add_argument("namen", nargs="+", help="start: the file for the environment; punkt: controls")
    ap.add_argument("--anzeige", default="800x600", help="start: the display's size")
    ap.add_argument("--ton", action="append", default=[], choices=("pulseaudio", "pipewire"))
    a = ap.parse_args()
    if a.befehl == "punkt":
        print("\n".join("%d %d" % punkt(name) for name in a.namen))
        return
    s, enden = Sitzung(), (signal.SIGTERM, signal.SIGINT, signal.SIGHUP)
    for signum in enden:
        signal.signal(signum, lambda *_: sys.exit(0))
    try:
        s.xvfb(a.anzeige)
        s.bus()
        for server in a.ton:
            s.ton(server)
        s.umgebung.update({"TEMPIRO_" + k.upper(): v for k, v in s.server.items()})
        with open(a.namen[0] + ".neu", "w") as f:
            f.writelines("export %s=%s\n" % (k, shlex.quote(v)) for k, v in s.umgebung.items())
        os.rename(a.namen[0] + ".neu", a.namen[0])
        while True:
            signal.pause()
    finally:
        for signum in enden:  # a second request to end does not cut the cleaning short
            signal.signal(signum, signal.SIG_IGN)
        s.aufraeumen()


if __name__ == "__main__":
    main()
