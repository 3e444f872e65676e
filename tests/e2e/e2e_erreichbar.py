#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The clock reached from outside its window: one instance per session, its
actions from a command and from the bus, the end of a countdown seen while the
window is hidden. (Under Wayland: e2e_zugang.py's zugang_wayland.)

Each scenario runs in a private session (sitzung.py) with a session bus; the
second start and the commands are the real binary started once more, the bus
calls are made with gdbus, as a desktop's launcher makes them. Under X11 with
metacity as the window manager; the notification server is Debian's notification-daemon, started on
the private bus, and what passes between it and the program is read with
dbus-monitor.

Usage: e2e_erreichbar.py --binary PATH SCENARIO     (--list shows the scenarios)
"""

import os
import re
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from sitzung import (VORBEI_MELDUNG, laute_strecken, lies_aufnahme, main,  # noqa: E402
                     pruefe, warte_bis)

BENACHRICHTIGUNGEN = "/usr/lib/notification-daemon/notification-daemon"
AKTIONEN = ("ansage-zeit", "ansage-datum", "zeit-speichern", "timer")


def zweiter_start(s):
    """A second start from another folder: exits 0 within a second (with a
    little slack for a loaded machine), says where the first keeps its files,
    opens none of its own; one process remains."""
    anderer, log = os.path.join(s.basis, "anderer"), s.datei("zeitnehmung.txt")
    os.makedirs(anderer)
    status, fehler, dauer = s.aufrufen([], anderer)
    print("  measured: the second start ended after %.3f s: %s" % (
        dauer, " ".join(z for z in fehler.splitlines() if "Tempiro" in z)))
    pruefe(status == 0 and dauer <= 1.2, "it exits 0 within a second (%d)" % status)
    pruefe("läuft bereits" in fehler and s.arbeit in fehler, "it names the first one's folder")
    pruefe(os.listdir(anderer) == [] and s.datei("zeitnehmung.txt") == log,
           "it opens no file, and writes nothing in the first one's")
    pruefe(len(s.programme()) == 1, "one process remains")


def aktion(s, name, *argumente):
    """ActivateAction with gdbus, as a desktop calls it; its answer or error."""
    return s.aufrufen(["call", "--session", "--dest", "de.tempiro.Tempiro", "--object-path",
                       "/de/tempiro/Tempiro", "--method",
                       "org.freedesktop.Application.ActivateAction", name]
                      + list(argumente or ("[]", "{}")), programm="gdbus")[1].strip()


def szenario_aktionen(s):
    """Under metacity, the window minimised: a second start raises and
    activates it. gdbus's ActivateAction of each of the four actions does what
    the button does (the command's stamp: e2e_bedienung's zeit_speichern); an
    unknown action or wrong arguments get an error and the program runs on; a
    wrong option gets the usage. Closed while it speaks, it ends with status 0
    and keeps its stamp."""
    s.wm_starten()
    fenster = s.starten()
    s.xdo("windowminimize", fenster)
    pruefe(warte_bis(lambda: s.hauptfenster() is None, 5), "the window is minimised")
    zweiter_start(s)
    pruefe(warte_bis(lambda: s.hauptfenster() and s.xdo("getactivewindow").strip() == str(fenster),
                     5), "the first window is shown again and active")
    s.umschalten(fenster, "Check_MldVorbei")
    s.aufnahme_starten()
    pruefe([aktion(s, name) for name in AKTIONEN] == ["()"] * 4, "each is answered at once")
    s.stempel(1, 15)  # held behind "Ansage Zeit"
    # "timer" pressed "Timer Start" after the spoken time: a countdown to
    # today's 00:00:00, long past, which ends on its first tick with its box.
    box = warte_bis(s.meldung, 20)
    pruefe(box and s.meldung_lesen(box) == VORBEI_MELDUNG, "timer started a countdown")
    pruefe(laute_strecken(lies_aufnahme(s.aufnahme_pfad)), "the time and the date are heard")
    s.aufnahme_beenden()
    s.meldung_schliessen(box)
    for argumente, fehler in ((["bogus", "[]", "{}"], "Unbekannte Aktion"),
                              (["timer", "[<1>]", "{}"], "nimmt keinen Parameter"),
                              (["timer", "[]"], "InvalidArgs"),
                              (["ansage-datum", "[]", "{'zeit': <'gestern'>}"], "()")):
        antwort = aktion(s, *argumente)
        pruefe(fehler in antwort, "%s: %s" % (" ".join(argumente), antwort.splitlines()[0]))
    status, fehler, _ = s.aufrufen(["--zeit-speichern", "--bogus"])
    pruefe(status == 2 and "„--bogus“" in fehler and "Aufruf: tempiro" in fehler,
           "a wrong option gets the usage and status 2 (%d)" % status)
    s.beenden(fenster)  # while the date is spoken
    s.stempel(1, 0)


def szenario_benachrichtigung(s):
    """A countdown ending with the window minimised under metacity: the box,
    a notification on Debian's notification-daemon, and the window asking for
    attention. A click on the notification brings the window forward from
    behind another; unclicked, it is closed when the box is closed."""
    s.wm_starten()
    pfad = os.path.join(s.basis, "monitor.log")
    with open(pfad, "w") as f:
        s._starten(["dbus-monitor", "interface='org.freedesktop.Notifications'"], stdout=f)
    s._starten([BENACHRICHTIGUNGEN], "notification-daemon")
    fenster = s.starten()
    # Without a sound server, the time asked for does not hold up a stamp.
    pruefe(aktion(s, "ansage-zeit") == aktion(s, "zeit-speichern") == "()", "two actions")
    s.stempel(1)
    s.countdown_einstellen(fenster, 2, sprache=False)
    zustand = s.x.create_resource_object("window", fenster).get_full_property
    for klick in (True, False):
        schon = len(open(pfad).read())

        def gesehen():  # on the bus since this round's start
            return open(pfad).read()[schon:]
        s.druecken(fenster)
        s.xdo("windowminimize", fenster)
        pruefe(warte_bis(lambda: "member=Notify" in gesehen(), 20) and all(
            t in gesehen() for t in ('"Tempiro"', '"tempiro"', '"Countdown abgelaufen"',
                                     '"Dauer 00:00:02"', '"default"', 'byte 2',
                                     '"de.tempiro.Tempiro"')),
               "a notification from Tempiro with its icon, summary and duration, urgency 2, a "
               "default action and the desktop entry")
        achtung = s.x.intern_atom("_NET_WM_STATE_DEMANDS_ATTENTION")
        pruefe(warte_bis(lambda: achtung in zustand(s.x.intern_atom("_NET_WM_STATE"), 0).value, 5),
               "the window asks for attention")
        box = warte_bis(lambda: s.xdo("search", "--name", "^Tempiro$").split(), 5)[-1]
        if klick:
            s._starten(["xmessage", "-name", "anderes", "anderes Fenster"])
            s.xdo("windowactivate", "--sync", warte_bis(lambda: s.fenster("anderes"), 5)[0])
            popup = warte_bis(lambda: s.fenster("Notification"), 5)[0]
            s.xdo("mousemove", "--window", popup, 200, 50, "click", 1)
            pruefe(warte_bis(lambda: s.xdo("getactivewindow").strip() in (box, str(fenster)), 5),
                   "a click on it brings the clock's window forward")
        s.xdo("windowactivate", "--sync", box)
        s.meldung_schliessen(int(box))
        if not klick:
            pruefe(warte_bis(lambda: re.search(r"member=CloseNotification.*member=NotificationClo"
                                               r"sed\s+uint32 \d+\s+uint32 3", gesehen(), re.S), 5),
                   "it is closed on the server when the box is closed")
        s.xdo("windowactivate", "--sync", fenster)
    s.beenden(fenster)


SZENARIEN = {
    "aktionen": (szenario_aktionen, {}),
    "benachrichtigung": (szenario_benachrichtigung, {"ton": False}),
}

if __name__ == "__main__":
    sys.exit(main(SZENARIEN, bus=True))
