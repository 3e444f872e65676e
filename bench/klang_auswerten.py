#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Figures of the sound as heard, from bench_klang's onset lines.

    klang_auswerten.py beat.txt speech.txt

beat.txt: a countdown recorded with the beat on (every onset a click, the
spoken numbers starting with theirs); speech.txt: the same countdown with the
beat off (every onset a spoken number). Prints one line of key=value figures:

    beats=N onset_median=MS onset_min=MS onset_max=MS interval_sd=MS
    interval_dev_max=MS speech=N onset_spread=MS (largest distance from the median)
    speech_after_click_median=MS speech_after_click_max=MS
    lost=N lost_ms=MS,MS,... (sounds heard after the sink lost time just before them)
    kept_beats=N kept_spread=MS kept_sd=MS kept_speech=N kept_speech_max=MS

Onsets are taken against the wall-clock second they fall in; one heard
before its boundary counts as negative. The kept_ figures leave out the sounds
heard after the sink lost VERLUST_MS or more in the 35 ms before them (its graph
did not run for that long after they had been written): no player can place a
sound against a loss that comes after it.
"""
import statistics
import sys

VERLUST_MS = 1.0


def onsets(pfad):
    with open(pfad) as f:
        return [
            (float(z.split()[1]), float((z.split() + ["0", "0"])[3]))
            for z in f
            if z.startswith("onset ")
        ]


def nach_der_sekunde(t):
    versatz = t - int(t)
    return (versatz - 1 if versatz > 0.8 else versatz) * 1000


def main():
    schlaege, sprache = onsets(sys.argv[1]), onsets(sys.argv[2])
    versatz = [nach_der_sekunde(t) for t, _ in schlaege]
    z = {"beats": len(schlaege), "speech": len(sprache)}
    if versatz:
        z["onset_median"] = statistics.median(versatz)
        z["onset_min"], z["onset_max"] = min(versatz), max(versatz)
        z["onset_spread"] = max(abs(v - z["onset_median"]) for v in versatz)

    # Intervals between onsets of consecutive seconds; kept: between two beats
    # the sink did not delay.
    def abstaende(nur_behaltene):
        return [
            (b - a) * 1000
            for (a, va), (b, vb) in zip(schlaege, schlaege[1:])
            if 0.9 < b - a < 1.1 and not (nur_behaltene and max(va, vb) >= VERLUST_MS)
        ]

    alle = abstaende(False)
    z["interval_sd"] = statistics.pstdev(alle) if len(alle) > 1 else None
    z["interval_dev_max"] = max((abs(a - 1000) for a in alle), default=None)
    median = z.get("onset_median")
    nach = [(nach_der_sekunde(t) - median, v) for t, v in sprache] if median is not None else []
    if nach:
        z["speech_after_click_median"] = statistics.median(n for n, _ in nach)
        z["speech_after_click_max"] = max(n for n, _ in nach)
    verloren = [v for _, v in schlaege + sprache if v >= VERLUST_MS]
    z["lost"] = len(verloren)
    kept = [nach_der_sekunde(t) for t, v in schlaege if v < VERLUST_MS]
    z["kept_beats"] = len(kept)
    if kept:
        z["kept_spread"] = max(abs(v - median) for v in kept)
    behalten = abstaende(True)
    z["kept_sd"] = statistics.pstdev(behalten) if len(behalten) > 1 else None
    gute = [n for n, v in nach if v < VERLUST_MS]
    z["kept_speech"] = len(gute)
    z["kept_speech_max"] = max(gute, default=None)
    text = " ".join(
        f"{k}={'-' if v is None else (f'{v:.2f}' if isinstance(v, float) else v)}"
        for k, v in z.items()
    )
    print(
        text + " lost_ms=" + (",".join(f"{v:.1f}" for v in sorted(verloren, reverse=True)) or "-")
    )


if __name__ == "__main__":
    main()
