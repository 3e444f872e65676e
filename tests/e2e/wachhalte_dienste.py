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

The services are python3-dbusmock's mock objects, which answer every call at
once. A late or missing answer, and the portal's requests, are a message filter
of the connection: it sees each call before the mock objects do. As the real
portal frontend, the portal makes a request only when it answers, then sends
its Response: a Close that comes earlier fails; a release of a cookie the
service never handed out fails as well.

Every call is written to stdout as a line, before it is answered, in short,
with the time it arrived: G the session manager, P the portal, S the screen
saver, E the power management; +n its n-th Inhibit, !n the late answer to it,
-n its release, with "?" where the service held nothing for it. "bereit n"
comes once the names are owned. Runs until it is terminated; the private bus
ends with it.
"""

import argparse
import itertools
import os
import signal
import subprocess
import sys
import time

import dbus
import dbus.lowlevel as ll
import dbus.mainloop.glib
import dbus.service
import dbusmock
from gi.repository import GLib
from sitzung import sterben_mit_eltern

FD, P = "org.freedesktop.", "/org/freedesktop/"
ANFRAGEN = P + "portal/desktop/request/"
# name on the bus, object, interface (if not the name), Inhibit's arguments, the release
DIENSTE = {
    "sitzung": ("org.gnome.SessionManager", "/org/gnome/SessionManager", "", "susu", "Uninhibit"),
    "portal": (FD + "portal.Desktop", P + "portal/desktop", FD + "portal.Inhibit", "sua{sv}", None),
    "schoner": (FD + "ScreenSaver", P + "ScreenSaver", "", "ss", "UnInhibit"),
    "energie": (FD + "PowerManagement", P + "PowerManagement/Inhibit", "", "ss", "UnInhibit"),
}


BUCHSTABE = {"sitzung": "G", "portal": "P", "schoner": "S", "energie": "E"}


def fehler(text, name):
    return dbus.exceptions.DBusException(text, name="org.freedesktop.DBus.Error." + name)


class Dienst:
    """One service: a mock object with its Inhibit and release, and how it answers."""

    def __init__(self, bus, dienst, art):
        self.bus, self.dienst, self.art = bus, dienst, art
        name, self.pfad, schnittstelle, signatur, freigabe = DIENSTE[dienst]
        if not schnittstelle:
            schnittstelle = name + ".Inhibit" if dienst == "energie" else name
        self.ausgabe = "o" if dienst == "portal" else "s" if art == "falsch" else "u"
        self.offen, self.werte, self.zaehler, self.absender = set(), [], itertools.count(41), None
        mock = dbusmock.DBusMockObject(
            dbus.service.BusName(name, bus), self.pfad, schnittstelle, {}, os.devnull
        )
        mock.AddMethod("", "Inhibit", signatur, self.ausgabe, lambda _, *a: self.sofort(a))
        if freigabe:
            mock.AddMethod("", freigabe, "u", "", lambda _, wert: self.frei(wert))

    def melden(self, zeichen, wert, nach=""):
        n = self.werte.index(str(wert)) + 1 if str(wert) in self.werte else 0
        print(BUCHSTABE[self.dienst] + zeichen + str(n) + nach, time.monotonic(), flush=True)

    def anfrage(self, argumente):
        """Takes an Inhibit down; the cookie or the request's path it answers with."""
        if self.dienst == "portal":
            token = argumente[2].get("handle_token", "x")
            wert = dbus.ObjectPath(ANFRAGEN + self.absender[1:].replace(".", "_") + "/" + token)
        else:
            wert = dbus.UInt32(next(self.zaehler))
        self.werte.append(str(wert))
        self.melden("+", wert)
        return wert

    def gewaehren(self, wert):
        """The hold exists from now on; the portal then sends its Response."""
        self.offen.add(str(wert))
        if self.dienst == "portal":
            nachricht = ll.SignalMessage(wert, FD + "portal.Request", "Response")
            if self.art != "falsch":
                nachricht.append(dbus.UInt32(0), dbus.Dictionary({}, signature="sv"))
            GLib.idle_add(lambda: self.bus.send_message(nachricht) and False)

    def sofort(self, argumente):
        wert = self.anfrage(argumente)
        if self.art == "fehler":
            raise fehler("not allowed here", "AccessDenied")
        if self.art == "falsch" and self.dienst != "portal":
            return "kein Cookie"
        self.gewaehren(wert)
        return wert

    def spaet(self, aufruf):
        """An Inhibit answered after a while, or never."""
        wert = self.anfrage(aufruf.get_args_list())
        if self.art == "stumm":
            return

        def antworten():
            self.melden("!", wert)
            antwort = ll.MethodReturnMessage(aufruf)
            antwort.append(wert, signature=self.ausgabe)
            self.bus.send_message(antwort)
            self.gewaehren(wert)

        GLib.timeout_add(int(float(self.art[6:]) * 1000), lambda: antworten() and False)

    def frei(self, wert, aufruf=None):
        """A release: of a cookie, or a portal request's Close."""
        offen = str(wert) in self.offen
        self.melden("-", wert, "" if offen else "?")
        self.offen.discard(str(wert))
        if aufruf is None and not offen:
            raise fehler("no such cookie", "InvalidArgs")
        if aufruf and offen and self.art != "stumm":
            self.bus.send_message(ll.MethodReturnMessage(aufruf))
        elif aufruf and self.art != "stumm":
            self.bus.send_message(ll.ErrorMessage(aufruf, FD + "DBus.Error.UnknownMethod", "none"))

    def filter(self, _bus, aufruf):
        """Sees each call first: who asks the portal, a late Inhibit, a request's Close."""
        if not isinstance(aufruf, ll.MethodCallMessage):
            return ll.HANDLER_RESULT_NOT_YET_HANDLED
        if self.dienst == "portal" and aufruf.get_path().startswith(ANFRAGEN):
            self.frei(aufruf.get_path(), aufruf)
            return ll.HANDLER_RESULT_HANDLED
        if aufruf.get_path() == self.pfad and aufruf.get_member() == "Inhibit":
            self.absender = aufruf.get_sender()
            if self.art.startswith("spaet=") or self.art == "stumm":
                self.spaet(aufruf)
                return ll.HANDLER_RESULT_HANDLED
        return ll.HANDLER_RESULT_NOT_YET_HANDLED


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--bus", action="store_true")
    for dienst in DIENSTE:
        ap.add_argument("--" + dienst, nargs="?", const="antwortet")
    a = ap.parse_args()
    # Terminated: end normally, so the private bus is stopped with us.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    if a.bus:
        konfiguration = "--config-file=" + os.path.join(os.path.dirname(__file__), "bus.conf")
        befehl = ["dbus-daemon", konfiguration, "--nofork", "--print-address=1"]
        daemon = subprocess.Popen(befehl, stdout=subprocess.PIPE, preexec_fn=sterben_mit_eltern)
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = daemon.stdout.readline().decode().strip()
        print("adresse", os.environ["DBUS_SESSION_BUS_ADDRESS"], flush=True)
    try:
        dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
        bus = dbus.SessionBus()
        dienste = [Dienst(bus, d, getattr(a, d)) for d in DIENSTE if getattr(a, d)]
        for d in dienste:
            bus.add_message_filter(d.filter)
        print("bereit", len(dienste), flush=True)
        GLib.MainLoop().run()
    finally:
        if a.bus:
            daemon.terminate()


if __name__ == "__main__":
    main()
