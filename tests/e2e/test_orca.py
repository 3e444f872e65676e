# SPDX-License-Identifier: GPL-3.0-or-later
"""The real binary as a blind user runs it: with the screen reader Orca, in
German, keyboard only. What Orca says is what speech-dispatcher's module
wrote into gesagt.txt; keys go in with xdotool, as typed."""

import pathlib
import re
import time

from sitzung import HAUPTFENSTER, warte_bis, zeilen

# Every stop of Tab from "start", in the order of Tab, with the words Orca says for it.
TABFOLGE = [
    "start Druckknopf",
    "stop Druckknopf",
    "Sprecher Liste mit 102 Einträgen 0 Deutsch",
    "Sprachausgabe Babbelina Kontrollkästchen ausgewählt",
    "Sekunden Bearbeitbares Auswahlfeld 00",
    "Minuten Bearbeitbares Auswahlfeld 00",
    "Stunden Bearbeitbares Auswahlfeld 00",
    "CountDown Kontrollkästchen ausgewählt",
    "Timer Start Druckknopf",
    "Tag (Heute oder Morgen) Bearbeitbares Auswahlfeld Heute",
    "BelichtungsUhr Kontrollkästchen nicht ausgewählt",
    "Ansage Zeit Druckknopf",
    "Ansage Datum Druckknopf",
    "Zeit speichern Druckknopf",
    "Msgbox Vorbei Kontrollkästchen nicht ausgewählt",
]


def gesagt(s, seit):
    """What Orca said since the time seit (time.time()): (time, text) without
    quotes, closing full stop and double blanks."""
    pfad = pathlib.Path(s.heim, "gesagt.txt")
    text = pfad.read_text("utf-8") if pfad.exists() else ""
    zeilen = [z.partition(" ") for z in text.splitlines()]
    sauber = [(float(t), " ".join(g.replace('"', " ").split()).rstrip(".")) for t, _, g in zeilen]
    return [(t, g) for t, g in sauber if t >= seit]


def hoert(s, text, seit, sekunden=4.0):
    """The time Orca says what contains text, or None."""
    return warte_bis(lambda: next((t for t, g in gesagt(s, seit) if text in g), None), sekunden)


def taste(s, *tasten, erwartet=""):
    """Presses keys; returns what Orca says from then on: once it has said
    something (holding erwartet) and then fallen silent for half a second, or
    after four seconds."""
    t = time.time()
    s.xdo("key", "--delay", 60, *tasten)
    ende, vorher, still = time.monotonic() + 4, "", time.monotonic()
    while time.monotonic() < ende:
        jetzt = " ".join(g for _, g in gesagt(s, t))
        if jetzt != vorher:
            vorher, still = jetzt, time.monotonic()
        elif jetzt and erwartet in jetzt and time.monotonic() - still >= 0.5:
            break
        time.sleep(0.05)
    return vorher


def starten(s):
    """Starts the program once Orca speaks: Orca says its window and the focus."""
    assert hoert(s, "Bildschirmleser an", 0, 30)
    s.starten()
    assert hoert(s, HAUPTFENSTER, 0, 20) and hoert(s, "start Druckknopf", 0)


def test_orca_tab(sitzung, orca):
    """Tab through every control and round to the first, the values of the
    lists, the chosen voice, ten quiet seconds, no accessibility warning of
    Qt. (Shift+Tab goes the same chain backwards: Qt's own.)"""
    s = sitzung
    starten(s)
    for erwartet in TABFOLGE[1:] + TABFOLGE[:1]:
        assert erwartet in taste(s, "Tab", erwartet=erwartet)
    taste(s, "Tab", "Tab", "Tab", "Tab")
    # Up and Down in the seconds' list, then in the voice list two stops before.
    for tasten, erwartet in [("Down", "01"), ("Down", "02"), ("Up", "01")]:
        assert re.search("(^| )%s$" % erwartet, taste(s, tasten))
    taste(s, "shift+Tab", "shift+Tab")
    assert re.search(r"(^| )1 Deutsch, Variante \w+$", taste(s, "Down"))
    assert re.search("(^| )0 Deutsch$", taste(s, "Up"))
    ruhe = time.time()
    time.sleep(10)
    assert gesagt(s, ruhe) == []
    with open(s.app_log_pfad, errors="replace") as f:
        assert "ccessib" not in f.read()


def test_orca_ablauf(sitzung, orca):
    """An exposure countdown set and started with the keyboard ("Timer Stop"
    is said), Enter on "Zeit speichern", the time left read by flat review,
    the end message read as it comes and closed with Enter. (What "Ansage
    Zeit" holds back while its phrase plays is test_fenster's.)"""
    s = sitzung
    starten(s)
    taste(s, "Tab", "Tab", "Tab", "Tab")
    s.xdo("type", "5")
    for _ in range(6):
        taste(s, "Tab")
    assert taste(s, "space") == "ausgewählt"  # "BelichtungsUhr" ticked
    for _ in range(4):
        zuletzt = taste(s, "Tab")
    assert zuletzt.startswith("Msgbox Vorbei") and taste(s, "space") == "ausgewählt"
    taste(s, "shift+Tab", "Return")
    assert warte_bis(lambda: len(zeilen(s.datei("zeitnehmung.txt"))) == 1, 3)
    for _ in range(4):
        zuletzt = taste(s, "shift+Tab")
    assert zuletzt == "Timer Start Druckknopf"  # the disabled day list skipped
    start = time.time()
    assert taste(s, "space") == "Timer Stop"
    assert re.search(r"in 00\W+00\W+0[1-5] Timer Stop", taste(s, "KP_Up"))  # flat review
    assert hoert(s, "Alarm Tempiro", start, 25) and hoert(s, "Zeitpunkt vorbei", start)
    # Orca names the role as well when the window's focus comes back to the button.
    assert re.search(r"Timer Start( Druckknopf)?$", taste(s, "Return"))
    taste(s, "Tab")
    assert taste(s, "Tab") == "Ansage Zeit Druckknopf"
