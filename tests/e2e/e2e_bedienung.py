#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The real binary operated as a person would, heard on a real sound server.

Each scenario starts its own session (sitzung.py): a virtual display, a
private PulseAudio, or with --server pipewire a private PipeWire with its
pulse server, or no sound server at all, and drives the window with the
pointer and the keyboard. What happened is read back from zeitnehmung.txt and
SprecherNr.txt, from the message boxes, from pixels of the window and from the
recording of the sound server's null sink.

Usage: e2e_bedienung.py --binary PATH [--server pulseaudio|pipewire] SCENARIO
"""

import os
import signal
import sys
import time

sys.dont_write_bytecode = True  # no compiled copy of the session module in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from sitzung import (einsaetze, laute_strecken, main, pruefe, punkt, rechteck,  # noqa: E402
                     stempel_zeit, warte_bis)

# The caption of "Timer Start" without the button's frame and focus mark.
START_BESCHRIFTUNG = tuple(a + b for a, b in zip(rechteck("Command_Start"), (12, 9, -24, -18)))


def szenario_zeit_speichern(s):
    """Presses of "Zeit speichern" (by XTest, their times logged) stamp the
    moment of the press, and `tempiro --zeit-speichern` from a process of its
    own the moment that process started: idle, during "Ansage Zeit", with both
    cores busy."""
    fenster = s.starten()
    gedrueckt = []

    def druecken():
        s.xdo("mousemove", "--window", fenster, *punkt("btn_ZeitSpeichern"))
        time.sleep(0.2)
        gedrueckt.append(s.druck())

    def befehl():  # as a key's command: its start is its press
        gedrueckt.append(time.time())
        pruefe(s.aufrufen(["--zeit-speichern"])[0] == 0, "tempiro --zeit-speichern")
    druecken()
    befehl()
    s.klick(fenster, "Command_Zeitansage")
    time.sleep(1.0)
    druecken()  # handled after the phrase
    befehl()
    last = s._starten(["stress-ng", "--cpu", "2", "--timeout", "30"])
    time.sleep(1.0)
    for _ in range(3):
        druecken()
    neu = s.stempel(len(gedrueckt), 15)
    last.terminate()
    abstaende = [stempel_zeit(z) - t for z, t in zip(neu, gedrueckt)]
    print("  measured: stamp minus press, ms: %s"
          % " ".join("%+.0f" % (1000 * a) for a in abstaende), flush=True)
    pruefe(all(-0.05 <= a <= 0.05 for a in abstaende),
           "every stamp lies within 50 ms of its press (idle, after \"Ansage Zeit\", loaded)")
    pruefe(-0.010 < abstaende[1] <= 0.020, "the idle command's start lies in the hundredth its "
           "stamp names, or at most 20 ms before it")
    s.beenden(fenster)


def szenario_countdown(s):
    """A 15-second exposure countdown with the beat on, ending by itself: the
    beat alone first, a click on each full second of the wall clock, then the
    spoken numbers, each starting on its second."""
    fenster = s.starten()
    # The spoken countdown is off for the first eight seconds, so the beat can
    # be heard alone; it is switched on again further down.
    s.countdown_einstellen(fenster, 15, takt=True, sprache=False)
    ruhe = s.bild(fenster, START_BESCHRIFTUNG)
    s.aufnahme_starten()
    t0 = s.druecken(fenster)
    time.sleep(1.0)
    pruefe(s.bild(fenster, START_BESCHRIFTUNG) != ruhe, "the start button changes its caption")
    time.sleep(max(0.0, t0 + 8.0 - time.monotonic()))
    s.umschalten(fenster, "Check_CountDown")
    t_sprache = time.monotonic() - t0
    t1 = s.ende_abwarten(t0, 24.0, 30.0)  # ten seconds of overrun
    proben = s.aufnahme_beenden()
    time.sleep(0.5)
    pruefe(s.bild(fenster, START_BESCHRIFTUNG) == ruhe, 'the caption is "Timer Start" again')

    # The recording on the clock of t0: the press at 0, the end at t1 - t0.
    # Where each onset falls in its wall-clock second, in ms: the recording's
    # start is taken from its length when it was first seen, so a sound comes
    # out up to a recording fragment (20 ms) and its hand-over late.
    versatz = s.aufnahme_beginn - t0
    strecken = [(a + versatz, b + versatz) for a, b in laute_strecken(proben)]

    def lage(t):
        return ((s.aufnahme_beginn_wand + t - versatz + 0.5) % 1.0 - 0.5) * 1000
    beats = [t + versatz for t in einsaetze(proben) if 1.0 < t + versatz < t_sprache - 0.3]
    laengste = max((min(b, t_sprache - 0.3) - a for a, b in strecken if 0.0 < a < t_sprache - 0.3),
                   default=0.0)
    print("  measured: %d sound onsets in the first %.1f s, at ms of their second: %s; "
          "longest sound %.2f s" % (len(beats), t_sprache - 0.3,
                                    " ".join("%+.0f" % lage(t) for t in beats), laengste))
    pruefe(len(beats) >= int(t_sprache - 0.3) - 2 and all(-15 <= lage(t) <= 25 for t in beats),
           "a beat click on each full second of the wall clock")
    pruefe(laengste < 0.3, "the beat clicks are short and nothing else sounds "
           "while the spoken countdown is off")
    # From here every second down to 0 and up to 10 is spoken: each number a
    # stretch of sound far longer than a click, starting on its second.
    spaet = [(max(a, t_sprache), b) for a, b in strecken if b > t_sprache]
    laut = sum(b - a for a, b in spaet)
    woerter = [a for a, b in spaet if b - a >= 0.25 and a > t_sprache + 0.5]
    print("  measured: after the spoken countdown was switched on again: %.1f s of sound, "
          "%d words, at ms of their second: %s" % (laut, len(woerter),
                                                   " ".join("%+.0f" % lage(t) for t in woerter)))
    pruefe(laut >= 4.0 and len(woerter) >= int(t1 - t0 - t_sprache) - 4, "the last seconds are spoken")
    pruefe(all(-15 <= lage(t) <= 25 for t in woerter), "each spoken number starts on its second")
    s.beenden(fenster)


def szenario_tonserver_stirbt(s):
    """The sound server dies in the middle of a spoken countdown with the beat
    on: the countdown goes on and ends on time, a press meanwhile is stamped."""
    fenster = s.starten()
    s.countdown_einstellen(fenster, 15, takt=True)
    t0 = s.druecken(fenster)
    time.sleep(max(0.0, t0 + 10.0 - time.monotonic()))
    s.tonserver.kill()
    s.tonserver.wait()
    # A press in the last seconds, while speech and beat find no server.
    time.sleep(3.0)
    s.klick(fenster, "btn_ZeitSpeichern")
    s.ende_abwarten(t0, 24.0, 30.0)
    s.stempel(1)
    s.beenden(fenster)


def szenario_senke_wach(s):
    """A spoken 35-second exposure countdown: the sink never sleeps while it
    runs, though "Noch 30 Sekunden" and "Noch 20 Sekunden" are ten seconds
    apart, and sleeps again soon after it; the idle clock lets it sleep."""
    fenster = s.starten()
    t = time.monotonic()
    pruefe(warte_bis(lambda: s.senke() == "SUSPENDED", 10, 0.25),
           "the idle clock lets the sink sleep within 10 s of its start")
    print("  measured: the sink slept %.1f s after the window appeared" % (time.monotonic() - t))
    s.countdown_einstellen(fenster, 35)
    t0 = s.druecken(fenster)
    # No recording runs: a monitor being recorded would itself keep the sink awake.
    zustaende = []
    time.sleep(0.3)
    while not s.meldung() and time.monotonic() - t0 < 60:
        zustaende.append((time.monotonic() - t0, s.senke()))
        time.sleep(0.25)
    t1 = s.ende_abwarten(t0, 44.0, 50.0)
    schlafend = ["%.1f s" % t for t, z in zustaende if z != "RUNNING"]
    print("  measured: %d polls, not running at %s" % (len(zustaende), ", ".join(schlafend) or "none"))
    pruefe(len(zustaende) >= 80, "the sink was polled all through the countdown")
    pruefe(not schlafend, "the sink runs all through the countdown, never suspended")
    t2 = warte_bis(lambda: s.senke() == "SUSPENDED" and time.monotonic(), 10, 0.25)
    pruefe(t2, "within 10 s after the countdown has ended the sink sleeps again")
    print("  measured: the sink slept %.1f s after the end" % (t2 - t1))
    s.beenden(fenster)


SZENARIEN = {
    "zeit_speichern": (szenario_zeit_speichern, {"bus": True}),
    "countdown": (szenario_countdown, {}),
    "tonserver_stirbt": (szenario_tonserver_stirbt, {}),
    "senke_wach": (szenario_senke_wach, {}),
}

if __name__ == "__main__":
    sys.exit(main(SZENARIEN))
