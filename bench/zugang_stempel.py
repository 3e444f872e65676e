#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Measures, on the real binary in a private session, two things a user feels:

- how long a screen reader's query to the window takes while "Ansage Zeit"
  speaks (a read of the window's children and of one child's name, with plain
  calls on the accessibility bus), beside the same query while the window
  idles; goal 100 ms;
- how far the stamp of "Zeit speichern" lies from the moment of the press
  (XTest presses, their times taken around the request and its round trip):
  idle, pressed while "Ansage Zeit" speaks, and with stress-ng hogging both
  cores; goal 10 ms. The stamp's hundredths are cut off, so a stamp that
  names the press's own hundredth lies 0 to 10 ms before it.

Prints one line per measurement, key=value, in milliseconds; bench.sh reads
them. Usage: zugang_stempel.py BINARY
"""

import os
import statistics
import subprocess
import sys
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from sitzung import Sitzung, punkt, stempel_zeit, warte_bis  # noqa: E402
from Xlib import X  # noqa: E402
from Xlib.ext import xtest  # noqa: E402


def zahlen(werte):
    werte = [1000.0 * w for w in werte]
    return "n=%d median=%.1f max=%.1f" % (len(werte), statistics.median(werte), max(werte))


def abfragen(fenster, sekunden):
    """Queries the window for a while, its children and one child's name; the time each took."""
    dauer, ende = [], time.monotonic() + sekunden
    while time.monotonic() < ende:
        vorher = time.monotonic()
        kinder = fenster.kinder()
        kinder[len(dauer) % len(kinder)].name()
        dauer.append(time.monotonic() - vorher)
        time.sleep(0.02)
    return dauer


def druck(x):
    """Presses and releases the first mouse button where the pointer is, by
    XTest; returns the wall time of the press: the middle of the request and
    its round trip."""
    vorher = time.time()
    xtest.fake_input(x, X.ButtonPress, 1)
    x.sync()
    gedrueckt = (vorher + time.time()) / 2
    xtest.fake_input(x, X.ButtonRelease, 1)
    x.sync()
    return gedrueckt


def main():
    s = Sitzung(sys.argv[1])
    try:
        s.xvfb()
        s.bus()
        s.zugang()
        fenster_x = s.starten()
        # The program joins the accessibility bus a moment after its window shows.
        fenster = warte_bis(s.fenster_zugang, 10)
        ruhig = abfragen(fenster, 3)
        waehrend = []
        for _ in range(3):
            s.klick(fenster_x, "Command_Zeitansage")
            time.sleep(0.3)
            waehrend += abfragen(fenster, 3)
            time.sleep(3)
        print("zugang ruhig %s" % zahlen(ruhig))
        print("zugang ansage %s" % zahlen(waehrend))

        gedrueckt, art = [], []
        s.xdo("mousemove", "--window", fenster_x, *punkt("btn_ZeitSpeichern"))

        def druecken(wie):
            time.sleep(0.3)  # no double clicks
            gedrueckt.append(druck(s.x))
            art.append(wie)

        for _ in range(10):
            druecken("ruhig")
        for _ in range(2):
            s.klick(fenster_x, "Command_Zeitansage")
            s.xdo("mousemove", "--window", fenster_x, *punkt("btn_ZeitSpeichern"))
            for _ in range(5):
                druecken("ansage")
            time.sleep(5)
        last = subprocess.Popen(
            ["stress-ng", "--cpu", "2", "--timeout", "30"],
            stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL,
        )
        time.sleep(1)
        for _ in range(10):
            druecken("last")
        warte_bis(lambda: (s.datei("zeitnehmung.txt") or b"").count(b"\r\n") == len(gedrueckt), 20)
        last.terminate()
        zeilen = s.datei("zeitnehmung.txt").split(b"\r\n")[:-1]
        abstand = {}
        for z, t, wie in zip(zeilen, gedrueckt, art):
            abstand.setdefault(wie, []).append(stempel_zeit(z) - t)
        # A stamp names the hundredth the press fell in, cut off, not rounded:
        # a perfect one lies 0 to 10 ms before the press. Its error is how far
        # the press lies outside the hundredth the stamp names.
        for wie in ("ruhig", "ansage", "last"):
            werte = [1000.0 * a for a in abstand[wie]]
            aussen = max(max(w, -10.0 - w, 0.0) for w in werte)
            print(
                "stempel %s n=%d min=%+.1f median=%+.1f max=%+.1f aussen=%.1f"
                % (wie, len(werte), min(werte), statistics.median(werte), max(werte), aussen)
            )
    finally:
        s.aufraeumen()


if __name__ == "__main__":
    main()
