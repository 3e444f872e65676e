#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""End-to-end scenarios of the session hold: a running countdown keeps the
desktop from going idle and suspending.

The program runs on a private session bus of its own, with stand-ins of the
desktop portal and of the screen saver service on it (wachhalte_dienste.py),
which record every call; or on a bus with nothing on it; or with no bus at all.
The window is driven as in tempiro_e2e.py, whose session and helpers are used.

Usage: e2e_wachhalten.py --binary PATH SCENARIO     (--list shows the scenarios)
"""

import json
import os
import shutil
import subprocess
import sys
import threading
import time

sys.dont_write_bytecode = True  # no compiled copy of the driver in the source tree
from tempiro_e2e import (BELICHTUNGSUHR, MSGBOX_VORBEI, SEKUNDEN_TEXT, TIMER_START, ZEITZEILE,
                         Fehlschlag, Sitzung, Uebersprungen, main, pruefe, warte_bis)

DIENSTE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "wachhalte_dienste.py")
GRUND = "Countdown läuft"


class BusSitzung(Sitzung):
    """A session whose program gets a private session bus, with the stand-ins a
    scenario asks for; their calls are read back as they come."""

    aufrufe = ()

    def bus_starten(self, *dienste):
        """Starts the bus with the stand-ins (wachhalte_dienste.py options)."""
        if shutil.which("dbus-daemon") is None:
            text = "dbus-daemon is missing (installed by ./test.sh)"
            raise Fehlschlag(text) if os.environ.get("CI") else Uebersprungen(text)
        self.aufrufe = []
        kopf = {}
        with open(os.path.join(self.basis, "dienste.log"), "wb") as log:
            p = self._starten([DIENSTE, "--bus"] + list(dienste), stdout=subprocess.PIPE,
                              stderr=log)

        def lesen():
            for zeile in p.stdout:
                eintrag = json.loads(zeile)
                if "adresse" in eintrag or "bereit" in eintrag:
                    kopf.update(eintrag)
                else:
                    self.aufrufe.append(eintrag)
        threading.Thread(target=lesen, daemon=True).start()
        if not warte_bis(lambda: "bereit" in kopf, 15):
            raise RuntimeError("the private session bus with its stand-ins did not come up")
        self.umgebung["DBUS_SESSION_BUS_ADDRESS"] = kopf["adresse"]

    def ohne_bus(self):
        """The program is pointed at a bus socket that does not exist."""
        self.umgebung["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + os.path.join(self.basis,
                                                                                "kein-bus")

    def gerufen(self, aufruf, anzahl=1, sekunden=5):
        """The calls of one kind, once there are at least anzahl of them; Fehlschlag
        when they do not come in time."""
        def liste():
            return [a for a in self.aufrufe if a["aufruf"] == aufruf]
        if not warte_bis(lambda: len(liste()) >= anzahl, sekunden):
            raise Fehlschlag("%d %s call(s) expected within %d s, got: %s"
                             % (anzahl, aufruf, sekunden, self.verlauf()))
        return liste()

    def verlauf(self):
        """The calls so far in short, for messages."""
        teile = []
        for a in self.aufrufe:
            kennung = a["pfad"].rsplit("/", 1)[-1] if "pfad" in a else a.get("cookie", "")
            teile.append("%s(%s)" % (a["aufruf"], kennung))
        return " ".join(teile)


def einstellen(s, sekunden):
    """Starts the program and sets up an exposure countdown of the given
    seconds with the end message wanted; returns the window."""
    s.programm_starten()
    fenster, _ = s.start_abwarten()
    s.klick(fenster, SEKUNDEN_TEXT)
    s.xdo("key", "ctrl+a")
    s.tippen(sekunden)
    s.umschalten(fenster, BELICHTUNGSUHR)
    s.umschalten(fenster, MSGBOX_VORBEI)
    return fenster


def start_druecken(s, fenster):
    """Presses "Timer Start" (or "Timer Stop"); returns the moment of the click."""
    s.xdo("mousemove", "--window", fenster, TIMER_START[0], TIMER_START[1])
    t = time.monotonic()
    s.xdo("click", 1)
    return t


def takt_messen(s, fenster, sekunden):
    """Moments at which the clock line changed, watched for the given seconds."""
    zeiten = []
    vorher = s.x.bild(fenster, ZEITZEILE)
    ende = time.monotonic() + sekunden
    while time.monotonic() < ende:
        time.sleep(0.05)
        jetzt = s.x.bild(fenster, ZEITZEILE)
        if jetzt != vorher:
            zeiten.append(time.monotonic())
            vorher = jetzt
    return zeiten


def laeuft_ohne_halt(s):
    """A countdown of 1 s where nothing grants a hold: it ends on time and the
    clock line keeps its rhythm meanwhile. Returns the window."""
    fenster = einstellen(s, "01")
    t0 = start_druecken(s, fenster)
    zeiten = takt_messen(s, fenster, 6.0)
    luecken = [b - a for a, b in zip(zeiten, zeiten[1:])]
    print("  measured: %d changes of the clock line in 6 s, longest gap %.2f s"
          % (len(zeiten), max(luecken, default=0.0)))
    pruefe(len(zeiten) >= 5 and max(luecken, default=9.0) <= 1.6,
           "the clock line changes every second while the countdown runs")
    box = warte_bis(s.meldung, 30, 0.05)
    t1 = time.monotonic()
    pruefe(box is not None, "the countdown ends by itself")
    print("  measured: the countdown ended %.2f s after the press of \"Timer Start\"" % (t1 - t0))
    pruefe(10.5 <= t1 - t0 <= 15.0, "the countdown of 1 s ends on time, 11 to 15 s after the "
           "start (ten seconds of overrun)")
    s.meldung_schliessen(box)
    return fenster


def beenden_gemessen(s, fenster):
    t = time.monotonic()
    status = s.beenden(fenster)
    dauer = time.monotonic() - t
    print("  measured: the process ended %.2f s after the close request" % dauer)
    pruefe(status == 0, "closing ends the program with status 0 (%d)" % status)
    pruefe(dauer < 5.0, "and promptly")


def portal_anfrage_pruefen(a):
    pruefe(a["flags"] == 12, "the portal is asked to hold off suspend and idle (flags %d)"
           % a["flags"])
    pruefe(a["optionen"].get("reason") == GRUND, "with the reason %r (%r)"
           % (GRUND, a["optionen"].get("reason")))
    pruefe(a["fenster"] == "", "for no particular window")


def szenario_portal(s, sprache):
    """Desktop portal: one request from "Timer Start" to the expiry, to a stop, to
    a halt by the entry, and to the window's close; none while idle."""
    s.bus_starten("--portal")
    fenster = einstellen(s, "01")
    pruefe(s.aufrufe == [], "an idle clock asks for nothing")

    t0 = start_druecken(s, fenster)
    erste = s.gerufen("Inhibit")[0]
    print("  measured: Inhibit reached the portal %.3f s after the click" % (erste["t"] - t0))
    portal_anfrage_pruefen(erste)
    box = warte_bis(s.meldung, 30, 0.05)
    t_box = time.monotonic()
    pruefe(box is not None, "the countdown ends by itself")
    geschlossen = s.gerufen("Close")[0]
    print("  measured: the request was closed %.2f s after the start, the end message seen "
          "%.2f s after the start" % (geschlossen["t"] - t0, t_box - t0))
    pruefe(geschlossen["pfad"] == erste["pfad"] and geschlossen["offen"]
           and abs(geschlossen["t"] - t_box) < 1.0, "the expiry closes the request at once")
    s.meldung_schliessen(box)

    start_druecken(s, fenster)
    s.gerufen("Inhibit", 2)
    start_druecken(s, fenster)
    s.gerufen("Close", 2)
    print("  ok: \"Timer Stop\" closes the second request")

    start_druecken(s, fenster)
    s.gerufen("Inhibit", 3)
    s.klick(fenster, SEKUNDEN_TEXT)
    s.tippen("2")
    s.gerufen("Close", 3)
    print("  ok: a change of the entry, which halts the countdown, closes the third request")
    start_druecken(s, fenster)  # halted -> idle: nothing to ask or release
    time.sleep(1.0)
    pruefe(len(s.aufrufe) == 6, "the press after the halt asks for nothing (%s)" % s.verlauf())

    start_druecken(s, fenster)
    s.gerufen("Inhibit", 4)
    beenden_gemessen(s, fenster)
    s.gerufen("Close", 4, sekunden=2)

    anfragen = [a for a in s.aufrufe if a["aufruf"] == "Inhibit"]
    pruefe(len({a["pfad"] for a in anfragen}) == 4, "every countdown made its own request")
    pruefe([a["aufruf"] for a in s.aufrufe] == ["Inhibit", "Close"] * 4
           and all(c["pfad"] == i["pfad"] and c["offen"]
                   for i, c in zip(s.aufrufe[::2], s.aufrufe[1::2])),
           "each request was closed before the next was made, and nothing else was called (%s)"
           % s.verlauf())


def szenario_bildschirmschoner(s, sprache):
    """Only a screen saver service: Inhibit at the start, UnInhibit with the same
    cookie at the stop and at the window's close."""
    s.bus_starten("--bildschirmschoner")
    fenster = einstellen(s, "30")
    start_druecken(s, fenster)
    erste = s.gerufen("Inhibit")[0]
    pruefe(erste["programm"] == "Tempiro" and erste["grund"] == GRUND,
           "the screen saver is asked by \"Tempiro\" with the reason %r (%r, %r)"
           % (GRUND, erste["programm"], erste["grund"]))
    start_druecken(s, fenster)
    frei = s.gerufen("UnInhibit")[0]
    pruefe(frei["cookie"] == erste["cookie"] and frei["offen"],
           "\"Timer Stop\" releases it with its cookie")
    start_druecken(s, fenster)
    zweite = s.gerufen("Inhibit", 2)[1]
    beenden_gemessen(s, fenster)
    frei = s.gerufen("UnInhibit", 2, sekunden=2)[1]
    pruefe(frei["cookie"] == zweite["cookie"] and frei["cookie"] != erste["cookie"],
           "the window's close releases the second hold with its own cookie")
    pruefe(len(s.aufrufe) == 4, "and nothing else was called (%s)" % s.verlauf())


def szenario_ohne_dienst(s, sprache):
    """A session bus with nothing on it: the countdown runs and ends on time."""
    s.bus_starten()
    fenster = laeuft_ohne_halt(s)
    beenden_gemessen(s, fenster)


def szenario_ohne_bus(s, sprache):
    """No session bus at all: the countdown runs and ends on time."""
    s.ohne_bus()
    fenster = laeuft_ohne_halt(s)
    beenden_gemessen(s, fenster)


def szenario_stumm(s, sprache):
    """A portal that never answers: the countdown runs and ends on time, the
    request it would have made is closed after the wait, and a close of the
    window while it is being asked ends the program promptly."""
    s.bus_starten("--portal", "stumm")
    fenster = laeuft_ohne_halt(s)
    anfrage = s.gerufen("Inhibit")[0]
    geschlossen = s.gerufen("Close")[0]
    gewartet = geschlossen["t"] - anfrage["t"]
    print("  measured: the unanswered request was closed %.2f s after it was made" % gewartet)
    pruefe(geschlossen["pfad"] == anfrage["pfad"] and 4.0 <= gewartet <= 8.0,
           "after about five seconds without an answer its request is closed by its path")
    start_druecken(s, fenster)
    zweite = s.gerufen("Inhibit", 2)[1]
    beenden_gemessen(s, fenster)
    pruefe(s.gerufen("Close", 2, sekunden=2)[1]["pfad"] == zweite["pfad"],
           "the close of the window closes the unanswered request too")


def szenario_spaete_antwort(s, sprache):
    """Stopped before the portal's answer: the late request is closed as soon as
    the answer comes."""
    s.bus_starten("--portal", "spaet=2")
    fenster = einstellen(s, "30")
    start_druecken(s, fenster)
    anfrage = s.gerufen("Inhibit")[0]
    t_stopp = start_druecken(s, fenster)
    antwort = s.gerufen("Antwort", sekunden=5)[0]
    pruefe(t_stopp < antwort["t"], "the countdown was stopped before the answer came")
    geschlossen = s.gerufen("Close", sekunden=3)[0]
    print("  measured: the late request was closed %.3f s after its answer"
          % (geschlossen["t"] - antwort["t"]))
    pruefe(geschlossen["pfad"] == anfrage["pfad"] and geschlossen["offen"]
           and 0.0 <= geschlossen["t"] - antwort["t"] < 1.0,
           "the late request is closed at once when its answer comes")
    beenden_gemessen(s, fenster)
    pruefe(len(s.aufrufe) == 3, "nothing else was called (%s)" % s.verlauf())


SZENARIEN = {
    "portal": (szenario_portal, False),
    "bildschirmschoner": (szenario_bildschirmschoner, False),
    "ohne_dienst": (szenario_ohne_dienst, False),
    "ohne_bus": (szenario_ohne_bus, False),
    "stumm": (szenario_stumm, False),
    "spaete_antwort": (szenario_spaete_antwort, False),
}


if __name__ == "__main__":
    sys.exit(main(SZENARIEN, lambda a, mit_ton: BusSitzung(a.binary, mit_ton=mit_ton,
                                                            behalten=a.keep, server=a.server)))
