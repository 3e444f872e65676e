# SPDX-License-Identifier: GPL-3.0-or-later
"""The clock reached from outside its window, under metacity: one instance per
session, its actions from a command and from the bus (called with gdbus, as a
desktop's launcher calls them), the end of a countdown seen while the window
is hidden. (Under Wayland: test_zugang.)"""

import pathlib
import re
import signal

import pytest
from sitzung import HAUPTFENSTER, laute_strecken, warte_bis

AKTIONEN = ("ansage-zeit", "ansage-datum", "zeit-speichern", "timer")
# A call with wrong arguments, and what its answer holds.
FALSCH = [
    (["bogus", "[]", "{}"], "Unbekannte Aktion"),
    (["timer", "[<1>]", "{}"], "nimmt keinen Parameter"),
    (["timer", "[]"], "InvalidArgs"),
    (["ansage-datum", "[]", "{'zeit': <'gestern'>}"], "()"),
]
# What a notification of the end holds: the name, the icon, summary and body,
# the default action, urgency 2 (critical) and the desktop entry.
NOTIFY = ['"Tempiro"', '"tempiro"', '"Countdown abgelaufen"', '"Dauer 00:00:02"', '"default"']
NOTIFY += ["byte 2", '"de.tempiro.Tempiro"']


def aktion(s, name, *argumente):
    """ActivateAction of the running clock; its answer or error."""
    ziel = ["--dest", "de.tempiro.Tempiro", "--object-path", "/de/tempiro/Tempiro", "--method"]
    aufruf = ["call", "--session", *ziel, "org.freedesktop.Application.ActivateAction", name]
    return s.aufrufen(*aufruf, *(argumente or ("[]", "{}")), programm="gdbus")[1].strip()


def test_aktionen(sitzung, ton):
    """The window minimised: a second start shows and activates it. Each of
    the four actions does what its button does ("timer" a countdown to a
    time long past, which ends at once); an unknown action or wrong
    arguments get an error and the program runs on; a wrong option gets the
    usage and status 2. Closed while it speaks, it ends with status 0 and
    keeps its stamp."""
    s = sitzung
    s.metacity()
    fenster = s.starten()
    s.xdo("windowminimize", fenster)
    assert warte_bis(lambda: not s.x_fenster(HAUPTFENSTER), 5)
    s.zweiter_start()
    assert warte_bis(lambda: s.xdo("getactivewindow").strip() == str(fenster), 5)
    s.umschalten(fenster, "Check_MldVorbei")
    s.aufnahme_starten()
    assert [aktion(s, name) for name in AKTIONEN] == ["()"] * 4
    s.stempel(1, 15)  # held behind "Ansage Zeit"
    s.meldung_bestaetigen(warte_bis(s.meldung, 20))
    assert laute_strecken(s.aufnahme_pfad)  # the time and the date heard
    for argumente, antwort in FALSCH:
        assert antwort in aktion(s, *argumente)
    status, ausgabe, _ = s.aufrufen("--zeit-speichern", "--bogus")
    assert status == 2 and "„--bogus“" in ausgabe and "Aufruf: tempiro" in ausgabe
    s.beenden(fenster)  # while the date is spoken
    s.stempel(1, 0)


@pytest.fixture
def benachrichtigung(sitzung, bus):
    """Debian's notification-daemon on the session bus, under metacity; what
    passes on its interface is written to monitor.log by dbus-monitor."""
    sitzung.metacity()
    sitzung.starte(["dbus-monitor", "interface='org.freedesktop.Notifications'"], "monitor")
    sitzung.starte(["/usr/lib/notification-daemon/notification-daemon"], "notification-daemon")
    dienst = "org.freedesktop.Notifications"
    assert warte_bis(lambda: sitzung.sitzungsbus.name_has_owner(dienst), 10)
    return pathlib.Path(sitzung.basis, "monitor.log")


def test_benachrichtigung(sitzung, benachrichtigung):
    """Without a sound server the clock runs, and "ansage-zeit" gives up at
    once: a stamp asked for after it is written. A countdown ends with the
    window minimised: the box, a notification, the window asking for
    attention. A click on the notification brings the window forward from
    behind another; unclicked, the notification is withdrawn when the box is
    closed. SIGINT ends the program as a close would."""
    s, gesehen = sitzung, benachrichtigung.read_text
    fenster = s.starten()
    assert s.zeitzeile_laeuft(fenster)
    assert aktion(s, "ansage-zeit") == aktion(s, "zeit-speichern") == "()"
    s.stempel(1)
    s.countdown_einstellen(fenster, 2, sprache=False)
    zustand = s.x.create_resource_object("window", fenster).get_full_property
    achtung, wm = s.x.intern_atom("_NET_WM_STATE_DEMANDS_ATTENTION"), s.x.intern_atom(
        "_NET_WM_STATE"
    )
    for klick in (True, False):
        benachrichtigung.write_text("")  # the monitor appends: this round's calls from here
        s.klick(fenster)
        s.xdo("windowminimize", fenster)
        assert warte_bis(lambda: "member=Notify" in gesehen(), 20)
        assert all(teil in gesehen() for teil in NOTIFY), gesehen()
        assert warte_bis(lambda: achtung in zustand(wm, 0).value, 5)
        if klick:
            # The box goes with its minimised window: searched among the hidden too.
            box = warte_bis(lambda: s.xdo("search", "--name", "^Tempiro$").split(), 5)[-1]
            s.starte(["xmessage", "-name", "anderes", "anderes Fenster"])
            s.xdo("windowactivate", "--sync", warte_bis(lambda: s.x_fenster("anderes"), 5)[0])
            popup = warte_bis(lambda: s.x_fenster("Notification"), 5)[0]
            s.xdo("mousemove", "--window", popup, 200, 50, "click", 1)
            assert warte_bis(lambda: s.xdo("getactivewindow").strip() in (box, str(fenster)), 5)
        s.meldung_bestaetigen(s.meldung())
        zurueck = r"member=CloseNotification.*member=NotificationClosed\s+uint32 \d+\s+uint32 3"
        assert klick or warte_bis(lambda: re.search(zurueck, gesehen(), re.S), 5)
        s.xdo("windowactivate", "--sync", fenster)
    s.signal_beenden(signal.SIGINT)
