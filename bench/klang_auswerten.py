#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Figures of the sound as heard, from bench_klang's onset lines.

    klang_auswerten.py beat.txt speech.txt

beat.txt: a countdown recorded with the beat on (every onset a click, the
spoken numbers starting with theirs); speech.txt: the same countdown with the
beat off (every onset a spoken number). Prints one line of key=value figures,
in ms after the wall clock's full second (one heard before it is negative):

    first=MS (the first beat, of the second the start came in: left out below,
              since a boundary too close to the start is not met but heard at once)
    beats=N onset_median=MS onset_min=MS onset_max=MS
    interval_sd=MS interval_dev_max=MS (between beats of consecutive seconds)
    speech=N speech_median=MS speech_min=MS speech_max=MS (a number's first sound)
    lost=N lost_ms=MS,MS,... (sounds heard after the sink lost time just before them)
    kept_beats=N kept_min=MS kept_max=MS kept_sd=MS kept_speech=N kept_speech_max=MS

The kept_ figures leave out the sounds heard after the sink lost VERLUST_MS or
more in the 50 ms before them (its graph did not run for that long after they
had been written): no player can place a sound against a loss that comes after it.
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
    return (versatz - 1 if versatz > 0.5 else versatz) * 1000


def lage(z, name, werte):
    """Count, median, min and max of `werte` under name_..."""
    if werte:
        z[name + "_median"] = statistics.median(werte)
        z[name + "_min"], z[name + "_max"] = min(werte), max(werte)


def main():
    schlaege, sprache = onsets(sys.argv[1]), onsets(sys.argv[2])
    z = {"first": nach_der_sekunde(schlaege[0][0]) if schlaege else None}
    schlaege = schlaege[1:]
    z["beats"] = len(schlaege)
    lage(z, "onset", [nach_der_sekunde(t) for t, _ in schlaege])

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
    z["speech"] = len(sprache)
    lage(z, "speech", [nach_der_sekunde(t) for t, _ in sprache])
    verloren = [v for _, v in schlaege + sprache if v >= VERLUST_MS]
    z["lost"] = len(verloren)
    kept = [nach_der_sekunde(t) for t, v in schlaege if v < VERLUST_MS]
    z["kept_beats"] = len(kept)
    if kept:
        z["kept_min"], z["kept_max"] = min(kept), max(kept)
    behalten = abstaende(True)
    z["kept_sd"] = statistics.pstdev(behalten) if len(behalten) > 1 else None
    gute = [nach_der_sekunde(t) for t, v in sprache if v < VERLUST_MS]
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
