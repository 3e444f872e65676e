#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The real binary through the accessibility bus alone, as a screen reader sees it.

Each scenario runs its session (sitzung.py) with a session bus and the
accessibility bus, starts the program with Qt's bridge switched on, and finds,
reads and operates the controls over the bus (python3-pyatspi, nothing
cached), under X11 (Xvfb) and under Wayland (weston's headless backend, no X
server at all). Qt 6.4 puts no object names on the bus, so each control is
found by its rectangle in the window and its kind.

Usage: e2e_zugang.py --binary PATH SCENARIO
"""

import os
import re
import signal
import subprocess
import sys
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from sitzung import (CONTROLS, HAUPTFENSTER, Fehlschlag, Sitzung,  # noqa: E402
                     laute_strecken, lies_aufnahme, main, pruefe, rechteck, warte_bis, zeilen)
from e2e_erreichbar import zweiter_start  # noqa: E402

RESTZEIT = re.compile(r"^ in 00:00:(\d\d)$")
COUNTDOWN_SEKUNDEN = 6
pyatspi = None  # imported once the private session bus is known


def kinder(o):
    return [o.getChildAtIndex(i) for i in range(o.childCount)]


def zustaende(o):
    return o.getState().getStates()


def text(o):
    return o.queryText().getText(0, -1)


def handeln(o, aktion):
    """Runs the named action (Press, Toggle, ...) of an accessible."""
    a = o.queryAction()
    namen = [a.getName(i) for i in range(a.nActions)]
    if aktion not in namen:
        raise Fehlschlag("%r offers no action %r (%r)" % (o.name, aktion, namen))
    a.doAction(namen.index(aktion))


class BusSitzung(Sitzung):
    """A session whose program's window and message boxes are found and
    read on the bus."""

    def zugang_starten(self):
        super().zugang_starten()
        # This process reads the bus as a screen reader would: through the
        # same session bus, and never through another display's.
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = self.umgebung["DBUS_SESSION_BUS_ADDRESS"]
        os.environ.pop("DISPLAY", None)
        os.environ.pop("AT_SPI_BUS_ADDRESS", None)
        global pyatspi
        import pyatspi
        pyatspi.Registry.getDesktop(0).set_cache_mask(pyatspi.Atspi.Cache.NONE)

    def oberste(self, rolle):
        """The program's top-level windows of a kind."""
        for a in kinder(pyatspi.Registry.getDesktop(0)):
            if a is not None and a.name == "tempiro":
                return [k for k in kinder(a) if k is not None and k.getRoleName() == rolle]
        return []

    def hauptfenster(self):
        return next((f for f in self.oberste("filler") + self.oberste("frame") if f.name ==
                     HAUPTFENSTER and pyatspi.STATE_SHOWING in zustaende(f)), None)

    def meldung(self):
        return next(iter(self.oberste("alert")), None)

    def meldung_lesen(self, box):
        return " ".join(k.name for k in kinder(box) if k.getRoleName() == "label" and k.name)


def controls_finden(fenster):
    """Every control of the window, found among the window's children by its
    kind and place, and its accessible name: {name in the window definition:
    accessible}. A check box reports the part that takes clicks, box and
    caption, which begins at the control's corner and may end short of its
    right edge."""
    kandidaten = []
    for k in kinder(fenster):
        e = k.queryComponent().getExtents(pyatspi.WINDOW_COORDS)
        kandidaten.append(((e.x, e.y, e.width, e.height), k.getRoleName(), k))
    gefunden = {}
    for name, (_, rolle, erwartet) in CONTROLS.items():
        soll = rechteck(name)
        treffer = [k for r, ro, k in kandidaten if ro == rolle and r[:2] == soll[:2]
                   and 0 < r[2] <= soll[2] and 0 < r[3] <= soll[3]]
        pruefe(len(treffer) == 1 and treffer[0].name == erwartet, "%s is on the bus as one %s "
               "at %r named %r (%r)" % (name, rolle, soll, erwartet, [k.name for k in treffer]))
        gefunden[name] = treffer[0]
    return gefunden


def signal_beenden(s, signum):
    """Ends the program as a session does, by a signal: it closes as if its
    window were closed, with status 0."""
    s.app.send_signal(signum)
    try:
        status = s.app.wait(10)
    except subprocess.TimeoutExpired:
        raise Fehlschlag("the program did not end within 10 s of %s" % signum.name)
    pruefe(status == 0, "%s ends the program with status 0 (%d)" % (signum.name, status))


def szenario_zugang_wayland(s):
    """Under Wayland, without any X server, through the bus alone: names,
    stamps, speech, a running countdown read, then SIGTERM. A second start and
    a stamp by the command meanwhile (weston has no xdg-activation: nothing is
    raised)."""
    fenster = s.starten()
    e = fenster.queryComponent().getExtents(pyatspi.WINDOW_COORDS)
    pruefe((e.width, e.height) == (312, 221), "the window is 312 x 221")
    c = controls_finden(fenster)
    for _ in range(2):
        handeln(c["btn_ZeitSpeichern"], "Press")
        time.sleep(0.3)
    zweiter_start(s)
    pruefe(s.aufrufen(["--zeit-speichern"])[0] == 0, "tempiro --zeit-speichern")
    neu = s.stempel(3)
    s.aufnahme_starten()
    handeln(c["Command_Datumsansage"], "Press")
    gehoert = warte_bis(lambda: laute_strecken(lies_aufnahme(s.aufnahme_pfad)), 5, 0.2)
    s.aufnahme_beenden()
    pruefe(gehoert, '"Ansage Datum" is heard on the sound server')

    # An exposure countdown set and started over the bus: the seconds through
    # the list's text field, "BelichtungsUhr" ticked, "Timer Start" pressed.
    felder = [k for k in kinder(c["Combo_S"]) if k.getRoleName() == "text"]
    pruefe(len(felder) == 1, "the seconds list has one text field on the bus")
    felder[0].queryEditableText().setTextContents(str(COUNTDOWN_SEKUNDEN))
    pruefe(warte_bis(lambda: text(felder[0]) == str(COUNTDOWN_SEKUNDEN), 3),
           "the seconds list shows %d (%r)" % (COUNTDOWN_SEKUNDEN, text(felder[0])))
    pruefe(c["Combo_S"].name == "Sekunden", "the seconds list keeps its name")
    handeln(c["Check_Dauer"], "Toggle")
    pruefe(warte_bis(lambda: pyatspi.STATE_CHECKED in zustaende(c["Check_Dauer"]), 3),
           '"BelichtungsUhr" is ticked')
    handeln(c["Command_Start"], "Press")
    pruefe(warte_bis(lambda: c["Command_Start"].name == "Timer Stop", 3),
           'the start button is now named "Timer Stop"')
    # The remaining-time box read through its text interface for a while.
    gesehen, ende = [], time.monotonic() + 2.5
    while time.monotonic() < ende:
        t = text(c["Text_RestZeit"])
        if t and gesehen[-1:] != [t]:
            gesehen.append(t)
        time.sleep(0.1)
    werte = [int(m.group(1)) for m in map(RESTZEIT.match, gesehen) if m]
    pruefe(len(werte) == len(gesehen) >= 2 and werte[0] <= COUNTDOWN_SEKUNDEN and
           all(b < a for a, b in zip(werte, werte[1:])), 'the remaining-time box reads " in '
           '00:00:0N", counting down from at most %d (%r)' % (COUNTDOWN_SEKUNDEN, gesehen))

    # The session ends in the middle of the countdown.
    signal_beenden(s, signal.SIGTERM)
    pruefe(zeilen(s.datei("zeitnehmung.txt")) == neu, "the stamps are on disk")
    with open(s.app_log_pfad, errors="replace") as f:
        protokoll = f.read()
    pruefe("Barrierefreiheitsbus" not in protokoll,
           "the caption change is sent on Qt's own accessibility connection, which exists")
    pruefe('set_app_id("de.tempiro.Tempiro")' in protokoll,
           'the window tells the compositor its desktop file "de.tempiro.Tempiro"')



SZENARIEN = {
    "zugang_wayland": (szenario_zugang_wayland, {"wayland": True}),
}

if __name__ == "__main__":
    sys.exit(main(SZENARIEN, klasse=BusSitzung, zugang=True))
