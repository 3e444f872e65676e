#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Figures of the sound as heard, from bench_klang's onset lines.

    klang_auswerten.py beat.txt speech.txt

beat.txt: a countdown recorded with the beat on (every onset a click, the
spoken numbers starting with theirs); speech.txt: the same countdown with the
beat off (every onset a spoken number). Prints one line of key=value figures:

    beats=N onset_median=MS onset_min=MS onset_max=MS interval_sd=MS
    interval_dev_max=MS speech=N onset_spread=MS (largest distance from the median)
    speech=N speech_after_click_median=MS speech_after_click_max=MS

Onsets are taken against the wall-clock second they fall in; one heard
before its boundary counts as negative.
"""
import statistics
import sys


def onsets(pfad):
    with open(pfad) as f:
        return [float(z.split()[1]) for z in f if z.startswith("onset ")]


def nach_der_sekunde(t):
    versatz = t - int(t)
    return (versatz - 1 if versatz > 0.8 else versatz) * 1000


def main():
    schlaege, sprache = onsets(sys.argv[1]), onsets(sys.argv[2])
    versatz = [nach_der_sekunde(t) for t in schlaege]
    # Intervals between onsets of consecutive seconds.
    abstaende = [(b - a) * 1000 for a, b in zip(schlaege, schlaege[1:]) if 0.9 < b - a < 1.1]
    zahl = {
        "beats": len(schlaege),
        "onset_median": statistics.median(versatz) if versatz else None,
        "onset_min": min(versatz, default=None),
        "onset_max": max(versatz, default=None),
        "interval_sd": statistics.pstdev(abstaende) if len(abstaende) > 1 else None,
        "interval_dev_max": max((abs(a - 1000) for a in abstaende), default=None),
        "speech": len(sprache),
    }
    if versatz:
        zahl["onset_spread"] = max(abs(v - zahl["onset_median"]) for v in versatz)
    if versatz and sprache:
        nach = [nach_der_sekunde(t) - zahl["onset_median"] for t in sprache]
        zahl["speech_after_click_median"] = statistics.median(nach)
        zahl["speech_after_click_max"] = max(nach)
    print(" ".join(f"{k}={'-' if v is None else (f'{v:.2f}' if isinstance(v, float) else v)}"
                   for k, v in zahl.items()))


if __name__ == "__main__":
    main()
