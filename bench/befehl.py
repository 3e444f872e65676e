#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Measures the two commands a key or a foot switch runs, on the real binary in
a private session (display, session bus, PulseAudio with a null sink), the
clock already running:

- tempiro --zeit-speichern, 10 times: from the command's start (the wall clock
  just before it is started) to its line on disk, and how far that start lies
  outside the hundredth its stamp names (0 inside it); goal 5 ms;
- tempiro --ansage-zeit, 5 times, each after more than a second of quiet, when
  the program's output has stopped: from the command's start to the first
  sound at the sink (bench_klang's onsets, mapped to the wall clock), and the
  command's own part (to its exit, once the clock has taken the request).

Prints one line per measurement, key=value, in milliseconds; bench.sh reads
them. Usage: befehl.py BINARY BENCH_KLANG
"""

import os
import statistics
import subprocess
import sys
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from sitzung import Sitzung, stempel_zeit  # noqa: E402


def zahlen(werte):
    werte = [1000.0 * w for w in werte]
    return "n=%d median=%.1f max=%.1f" % (len(werte), statistics.median(werte), max(werte))


def stempel(s):
    dauer, aussen = [], []
    for _ in range(10):
        vorher = len(s.datei("zeitnehmung.txt") or b"")
        t0 = time.time()
        befehl = subprocess.Popen([s.binaer, "--zeit-speichern"], cwd=s.arbeit, env=s.umgebung)
        ende = time.monotonic() + 5
        while len(s.datei("zeitnehmung.txt") or b"") == vorher and time.monotonic() < ende:
            time.sleep(0.0002)
        dauer.append(time.time() - t0)
        befehl.wait()
        genannt = stempel_zeit(s.datei("zeitnehmung.txt")[vorher:].strip())
        aussen.append(max(0.0, genannt - t0, t0 - (genannt + 0.01)))
        time.sleep(0.3)
    print("stempel bis_zur_platte %s aussen=%.1f" % (zahlen(dauer), 1000 * max(aussen)), flush=True)


def ansage(s, klang):
    erster, befehl = [], []
    for _ in range(5):
        time.sleep(2.5)  # more than a second of quiet: the output has stopped
        aufnahme = subprocess.Popen(
            [klang, "aufnahme", "7", "--server", s.umgebung["PULSE_SERVER"]],
            stdout=subprocess.PIPE,
            stderr=subprocess.DEVNULL,
            text=True,
        )
        time.sleep(1.0)
        t0 = time.time()
        subprocess.run([s.binaer, "--ansage-zeit"], cwd=s.arbeit, env=s.umgebung)
        befehl.append(time.time() - t0)
        einsaetze = [
            float(z.split()[1])
            for z in aufnahme.communicate()[0].splitlines()
            if z.startswith("onset ")
        ]
        if any(t > t0 for t in einsaetze):
            erster.append(min(t for t in einsaetze if t > t0) - t0)
    print("ansage erster_klang %s befehl %s" % (zahlen(erster), zahlen(befehl)), flush=True)


def main():
    s = Sitzung(sys.argv[1])
    try:
        s.xvfb()
        s.bus()
        s.ton("pulseaudio")
        s.starten()
        time.sleep(1)
        stempel(s)
        ansage(s, sys.argv[2])
    finally:
        s.aufraeumen()


if __name__ == "__main__":
    main()
