#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Stand-ins for the desktop services that keep a session awake, on a private
session bus, for the holder's unit test: what Debian's real services cannot be
made to do on purpose (refuse, answer late, never answer), in any mix.

  --bus            starts a private bus of its own (no service is ever started
                   on demand on it) and prints {"adresse": ...}; without it the
                   bus of DBUS_SESSION_BUS_ADDRESS is used
  --sitzung ART    GNOME's session manager
  --portal ART     the desktop portal's Inhibit and its requests
  --schoner ART    the screen saver service
  --energie ART    the power management service
ART: antwortet (at once, the default), spaet=SEKUNDEN, fehler (refuses every
Inhibit), stumm (answers nothing at all), falsch (answers of the wrong kind: a
text for a cookie, a portal Response without its arguments).

Every call is written to stdout as one JSON line with the time it arrived,
before it is answered; so is a late answer ("Antwort"). {"bereit": true} comes
once the names are owned. As the real portal frontend, the portal makes a
request only when it answers, then sends its Response: a Close that comes
earlier fails. Runs until it is terminated; the private bus ends with it.

Debian's own interpreter: the bus bindings come from python3-dbus and python3-gi.
"""

import argparse
import ctypes
import json
import os
import signal
import subprocess
import sys
import tempfile
import time

import dbus
import dbus.lowlevel
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

ANFRAGEN = "/org/freedesktop/portal/desktop/request"
# name on the bus, object, interface, Inhibit's arguments, the release's name
COOKIE_DIENSTE = {
    "sitzung": ("org.gnome.SessionManager", "/org/gnome/SessionManager",
                "org.gnome.SessionManager", "susu", "Uninhibit"),
    "schoner": ("org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                "org.freedesktop.ScreenSaver", "ss", "UnInhibit"),
    "energie": ("org.freedesktop.PowerManagement", "/org/freedesktop/PowerManagement/Inhibit",
                "org.freedesktop.PowerManagement.Inhibit", "ss", "UnInhibit"),
}
BUS_KONFIGURATION = """<busconfig><listen>unix:tmpdir=%s</listen><auth>EXTERNAL</auth>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>
<allow own="*"/></policy></busconfig>"""


def melden(**eintrag):
    eintrag["t"] = time.monotonic()
    print(json.dumps(eintrag, ensure_ascii=False), flush=True)


def beantworten(dienst, art, antworten, fehler, wert):
    """Answers an Inhibit as the stand-in's kind says; gewaehrt() runs when granted."""
    if art == "fehler":
        fehler(dbus.exceptions.DBusException("not allowed here",
                                             name="org.freedesktop.DBus.Error.AccessDenied"))
    elif art.startswith("spaet="):
        GLib.timeout_add(int(float(art[6:]) * 1000), lambda: (
            melden(dienst=dienst, aufruf="Antwort", wert=str(wert)), antworten()) and False)
    elif art != "stumm":
        antworten()


def cookie_dienst(dienst, art, bus):
    """A service that hands out a cookie for a hold and takes it back."""
    name, pfad, schnittstelle, signatur, freigabe = COOKIE_DIENSTE[dienst]
    offen, zaehler = set(), [40]

    def inhibit(argumente, antworten, fehler):
        zaehler[0] += 1
        cookie = zaehler[0]
        melden(dienst=dienst, aufruf="Inhibit", argumente=argumente, wert=str(cookie))
        if art == "falsch":
            antworten("kein Cookie")
            return
        beantworten(dienst, art, lambda: (offen.add(cookie), antworten(dbus.UInt32(cookie))),
                    fehler, cookie)
    # The bus bindings read the arguments from the function's own parameters.
    if len(signatur) == 4:
        def Inhibit(self, a, b, c, d, antworten, fehler):
            inhibit((a, b, c, d), antworten, fehler)
    else:
        def Inhibit(self, a, b, antworten, fehler):
            inhibit((a, b), antworten, fehler)

    def frei(self, cookie):
        melden(dienst=dienst, aufruf="frei", wert=str(int(cookie)), offen=int(cookie) in offen)
        offen.discard(int(cookie))
    frei.__name__ = freigabe
    klasse = type(dienst, (dbus.service.Object,), {
        "Inhibit": dbus.service.method(schnittstelle, in_signature=signatur,
                                       out_signature="s" if art == "falsch" else "u",
                                       async_callbacks=("antworten", "fehler"))(Inhibit),
        freigabe: dbus.service.method(schnittstelle, in_signature="u")(frei)})
    return klasse(bus, pfad), name


class Portal(dbus.service.Object):
    def __init__(self, bus, art):
        super().__init__(bus, "/org/freedesktop/portal/desktop")
        self.bus = bus
        self.art = art
        self.anfragen = Anfragen(bus, art)

    @dbus.service.method("org.freedesktop.portal.Inhibit", in_signature="sua{sv}",
                         out_signature="o", sender_keyword="sender",
                         async_callbacks=("antworten", "fehler"))
    def Inhibit(self, fenster, flags, optionen, sender, antworten, fehler):
        teil = "/%s/%s" % (sender[1:].replace(".", "_"), optionen.get("handle_token", "x"))
        melden(dienst="portal", aufruf="Inhibit", argumente=[fenster, flags, optionen],
               wert=ANFRAGEN + teil)

        def gewaehrt():
            self.anfragen.offen.add(teil)
            antworten(dbus.ObjectPath(ANFRAGEN + teil))
            if self.art == "falsch":
                self.bus.send_message(dbus.lowlevel.SignalMessage(
                    ANFRAGEN + teil, "org.freedesktop.portal.Request", "Response"))
            else:
                self.anfragen.Response(dbus.UInt32(0), {}, teil=teil)
        beantworten("portal", "antwortet" if self.art == "falsch" else self.art, gewaehrt, fehler,
                    ANFRAGEN + teil)


class Anfragen(dbus.service.FallbackObject):
    """Every request object below .../request, the ones never made too."""

    def __init__(self, bus, art):
        super().__init__(bus, ANFRAGEN)
        self.art = art
        self.offen = set()

    @dbus.service.signal("org.freedesktop.portal.Request", signature="ua{sv}",
                         rel_path_keyword="teil")
    def Response(self, antwort, ergebnisse, teil=None):
        pass

    @dbus.service.method("org.freedesktop.portal.Request", in_signature="", out_signature="",
                         rel_path_keyword="teil", async_callbacks=("antworten", "fehler"))
    def Close(self, teil, antworten, fehler):
        melden(dienst="portal", aufruf="frei", wert=ANFRAGEN + teil, offen=teil in self.offen)
        if self.art == "stumm":
            return
        if teil in self.offen:
            self.offen.discard(teil)
            antworten()
        else:
            fehler(dbus.exceptions.DBusException(
                "Object does not exist", name="org.freedesktop.DBus.Error.UnknownMethod"))


def _sterben_mit_eltern():
    ctypes.CDLL("libc.so.6", use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--bus", action="store_true")
    for dienst in ("sitzung", "portal", "schoner", "energie"):
        ap.add_argument("--" + dienst, nargs="?", const="antwortet")
    a = ap.parse_args()
    # Terminated: end normally, so the private bus is stopped with us.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    with tempfile.TemporaryDirectory(prefix="tempiro-bus-") as ordner:
        daemon = None
        if a.bus:
            with open(os.path.join(ordner, "bus.conf"), "w") as f:
                f.write(BUS_KONFIGURATION % ordner)
            daemon = subprocess.Popen(["dbus-daemon", "--config-file=" + f.name, "--nofork",
                                       "--print-address=1"], stdout=subprocess.PIPE,
                                      preexec_fn=_sterben_mit_eltern)
            os.environ["DBUS_SESSION_BUS_ADDRESS"] = daemon.stdout.readline().decode().strip()
            melden(adresse=os.environ["DBUS_SESSION_BUS_ADDRESS"])
        try:
            dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
            bus = dbus.SessionBus()
            dienste = [cookie_dienst(d, getattr(a, d), bus) for d in COOKIE_DIENSTE
                       if getattr(a, d)]
            if a.portal:
                dienste.append((Portal(bus, a.portal), "org.freedesktop.portal.Desktop"))
            namen = [dbus.service.BusName(n, bus, do_not_queue=True) for _, n in dienste]
            melden(bereit=len(namen))
            GLib.MainLoop().run()
        finally:
            if daemon:
                daemon.terminate()
                daemon.wait()


if __name__ == "__main__":
    main()
