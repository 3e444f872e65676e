# SPDX-License-Identifier: GPL-3.0-or-later
"""The real binary operated as a person would, heard on a real sound server:
PulseAudio and PipeWire where a scenario is about sound, or none at all.

What happened is read back from zeitnehmung.txt and SprecherNr.txt, from the
message boxes, from pixels of the window and from the recording of the sound
server's null sink."""

import os
import pathlib
import signal
import time

import pytest
from sitzung import MEZ, AufnahmeLuecke, punkt, warte_bis

FRUEHER = b"01 04.12.2026 09:15:00,25\r\n02 04.12.2026 09:16:41,07\r\n"


def laengste_sekundenkette(zeiten, toleranz=0.2):
    """The longest chain of times each about one second after the one before."""
    beste = [1] * len(zeiten)
    for i, t in enumerate(zeiten):
        for j in range(i):
            if abs(t - zeiten[j] - 1.0) <= toleranz:
                beste[i] = max(beste[i], beste[j] + 1)
    return max(beste, default=0)


def speichern(s, fenster):
    """Clicks "Zeit speichern"; returns the wall clock before and after the click."""
    s.xdo("mousemove", "--window", fenster, *punkt("btn_ZeitSpeichern"), "sleep", 0.2)
    vorher = time.time()
    s.xdo("click", 1)
    return vorher, time.time()


def stempel_zeit(zeile):
    """The instant a stamp names, read in the program's time zone."""
    os.environ["TZ"] = MEZ
    time.tzset()
    sekunde = time.mktime(time.strptime(zeile[3:22].decode(), "%d.%m.%Y %H:%M:%S"))
    return sekunde + int(zeile[23:]) / 100


def test_zeit_speichern(sitzung, ton):
    """Presses of "Zeit speichern" with the pointer, each stamped with its own
    moment within 50 ms: idle, and during "Ansage Zeit", whose phrase holds
    back its handling; after the earlier lines of the log. A close in the
    middle of "Ansage Datum" ends the program with status 0."""
    s = sitzung
    pathlib.Path(s.arbeit, "zeitnehmung.txt").write_bytes(FRUEHER)
    fenster = s.starten()
    assert s.xdo("getwindowgeometry", fenster).split()[-1] == "312x221"
    gedrueckt = [speichern(s, fenster), speichern(s, fenster)]
    s.klick(fenster, "Command_Zeitansage")
    time.sleep(1.0)
    gedrueckt.append(speichern(s, fenster))
    for zeile, (vorher, nachher) in zip(s.stempel(3, 15, FRUEHER), gedrueckt):
        assert vorher - 0.05 <= stempel_zeit(zeile) <= nachher + 0.05, zeile
    s.klick(fenster, "Command_Datumsansage")
    time.sleep(0.5)
    s.beenden(fenster)


def test_countdown(sitzung, ton, fenster):
    """A 15-second exposure countdown with the beat on, ending by itself: the
    start button's caption changes and comes back; the beat alone first, a
    short click a second, then the spoken numbers a second apart."""
    try:
        countdown(sitzung, fenster)
    except AufnahmeLuecke:  # the server dropped part of the recording: once more
        sitzung.beenden(fenster)
        countdown(sitzung, sitzung.starten())


def countdown(s, fenster):
    # The spoken countdown is off for the first eight seconds, so the beat can
    # be heard alone; it is switched on again then.
    s.countdown_einstellen(fenster, 15, takt=True, sprache=False)
    (start,) = [k for k in s.fenster_zugang().kinder() if k.name() == "Timer Start"]
    s.aufnahme_starten()
    t0 = s.klick(fenster)
    assert warte_bis(lambda: start.name() == "Timer Stop", 2)
    time.sleep(max(0.0, t0 + 8.0 - time.monotonic()))
    s.umschalten(fenster, "Check_CountDown")
    sprache = time.monotonic() - t0 - 0.3
    t1 = s.ende_abwarten(t0, 24.0, 30.0)  # ten seconds of overrun
    strecken = [
        (a + s.aufnahme_beginn - t0, b + s.aufnahme_beginn - t0) for a, b in s.aufnahme_beenden()
    ]
    assert warte_bis(lambda: start.name() == "Timer Start", 1)
    allein = [(a, min(b, sprache)) for a, b in strecken if 0.0 < a < sprache]
    assert max(b - a for a, b in allein) < 0.3
    assert laengste_sekundenkette([a for a, _ in allein]) >= int(sprache) - 2
    # From here every second down to 0 and up to 10 is spoken: each number a
    # stretch of sound far longer than a click, one a second.
    assert sum(b - max(a, sprache) for a, b in strecken if b > sprache) >= 4.0
    woerter = [a for a, b in strecken if b - a >= 0.25 and a > sprache + 0.8]
    assert laengste_sekundenkette(woerter) >= int(t1 - t0 - sprache) - 4
    s.beenden(fenster)


@pytest.mark.parametrize("fall", ["fehlt", "steht"])
def test_tonserver(sitzung, bus, fall):
    """No sound server at all, or one that stopped answering before start-up:
    start-up does not hang, and the clock runs; speech gives up within
    seconds, and a press after it is stamped; no message. SIGINT ends the
    program as a close would; with the server stopped, a close within 3 s."""
    s = sitzung
    if fall == "steht":
        s.ton("pulseaudio")
        s.tonserver.send_signal(signal.SIGSTOP)
    fenster = s.starten()
    assert s.zeitzeile_laeuft(fenster)
    for name in ("Command_Zeitansage", "Command_Datumsansage", "btn_ZeitSpeichern"):
        s.klick(fenster, name)
    s.stempel(1, 15)
    assert s.meldung() is None
    if fall == "steht":
        s.beenden(fenster, 3)
        s.tonserver.send_signal(signal.SIGCONT)
    else:
        s.signal_beenden(signal.SIGINT)


def test_tonserver_stirbt(sitzung, ton, fenster):
    """The sound server dies in the middle of a spoken countdown with the beat
    on: the countdown goes on and ends on time, a press meanwhile is stamped."""
    s = sitzung
    s.countdown_einstellen(fenster, 15, takt=True)
    t0 = s.klick(fenster)
    time.sleep(max(0.0, t0 + 10.0 - time.monotonic()))
    s.tonserver.kill()
    time.sleep(3.0)
    s.klick(fenster, "btn_ZeitSpeichern")
    s.ende_abwarten(t0, 24.0, 30.0)
    s.stempel(1)
    s.beenden(fenster)


def test_senke_wach(sitzung, ton, fenster):
    """A spoken 35-second exposure countdown: the sink never sleeps while it
    runs, though "Noch 30 Sekunden" and "Noch 20 Sekunden" are ten seconds
    apart, and sleeps again within 10 s after it; the idle clock lets it sleep.
    No recording runs: a monitor being recorded would itself keep the sink
    awake. A run without a press of "Zeit speichern" writes no stamp."""
    s = sitzung
    assert warte_bis(lambda: s.senke() == "SUSPENDED", 10, 0.25)
    s.countdown_einstellen(fenster, 35)
    t0 = s.klick(fenster)
    time.sleep(0.3)
    zustaende = []
    while not s.meldung() and time.monotonic() - t0 < 60:
        zustaende.append(s.senke())
        time.sleep(0.25)
    s.ende_abwarten(t0, 44.0, 50.0)
    assert len(zustaende) >= 80 and set(zustaende) == {"RUNNING"}
    assert warte_bis(lambda: s.senke() == "SUSPENDED", 10, 0.25)
    s.beenden(fenster)
    assert not s.datei("zeitnehmung.txt")
