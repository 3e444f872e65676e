#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Stand-ins for the desktop services that keep a session awake, on a private
session bus.

  --bus                     starts a private bus of its own (no service is ever
                            started on demand on it) and prints {"adresse": ...};
                            without it the bus of DBUS_SESSION_BUS_ADDRESS is used
  --portal antwortet        the desktop portal's Inhibit, answering at once
  --portal spaet=SEKUNDEN   the same, answering each Inhibit after a delay
  --portal fehler           a portal that refuses every Inhibit with an error
  --portal stumm            a hung portal: it takes every call and answers none
  --bildschirmschoner       the screen saver service

Every call that reaches a stand-in is written to stdout as one JSON line with
the time (time.monotonic) it arrived, before it is answered; so is a delayed
answer. {"bereit": true} comes once the names are owned. Runs until it is
terminated; the private bus ends with it.

Debian's own interpreter: the bus bindings come from the packages python3-dbus
and python3-gi.
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
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

PORTAL = "org.freedesktop.portal.Desktop"
PORTAL_PFAD = "/org/freedesktop/portal/desktop"
ANFRAGEN = PORTAL_PFAD + "/request"
SCHONER = "org.freedesktop.ScreenSaver"

BUS_KONFIGURATION = """\
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=%s</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
"""


def melden(**eintrag):
    eintrag["t"] = time.monotonic()
    print(json.dumps(eintrag, ensure_ascii=False), flush=True)


def klar(wert):
    """Bus values as plain Python values."""
    if isinstance(wert, dict):
        return {str(k): klar(v) for k, v in wert.items()}
    if isinstance(wert, (list, tuple)):
        return [klar(v) for v in wert]
    if isinstance(wert, str):
        return str(wert)
    if isinstance(wert, int):
        return int(wert)
    return repr(wert)


class Portal(dbus.service.Object):
    def __init__(self, bus, art):
        super().__init__(bus, PORTAL_PFAD)
        self.art = art
        self.verzoegerung = float(art.split("=")[1]) if art.startswith("spaet=") else 0.0
        self.offen = set()
        self.zaehler = 0

    @dbus.service.method("org.freedesktop.portal.Inhibit", in_signature="sua{sv}",
                         out_signature="o", sender_keyword="sender",
                         async_callbacks=("antworten", "fehler"))
    def Inhibit(self, fenster, flags, optionen, sender, antworten, fehler):
        optionen = klar(optionen)
        self.zaehler += 1
        token = optionen.get("handle_token", "anfrage%d" % self.zaehler)
        pfad = "%s/%s/%s" % (ANFRAGEN, sender[1:].replace(".", "_"), token)
        melden(dienst="portal", aufruf="Inhibit", fenster=str(fenster), flags=int(flags),
               optionen=optionen, pfad=pfad)
        if self.art == "stumm":
            return
        if self.art == "fehler":
            fehler(dbus.exceptions.DBusException(
                "inhibiting is not supported here",
                name="org.freedesktop.portal.Error.NotAllowed"))
            return
        # As with the real portal, the request exists before its answer leaves.
        self.offen.add(pfad)

        def antwort():
            if self.verzoegerung:
                melden(dienst="portal", aufruf="Antwort", pfad=pfad)
            antworten(dbus.ObjectPath(pfad))
            return False
        if self.verzoegerung:
            GLib.timeout_add(int(self.verzoegerung * 1000), antwort)
        else:
            antwort()


class Anfragen(dbus.service.FallbackObject):
    """Every request object below .../request, the ones never created too."""

    def __init__(self, bus, portal):
        super().__init__(bus, ANFRAGEN)
        self.portal = portal

    @dbus.service.method("org.freedesktop.portal.Request", in_signature="", out_signature="",
                         rel_path_keyword="teilpfad", async_callbacks=("antworten", "fehler"))
    def Close(self, teilpfad, antworten, fehler):
        pfad = ANFRAGEN + teilpfad
        offen = pfad in self.portal.offen
        self.portal.offen.discard(pfad)
        melden(dienst="portal", aufruf="Close", pfad=pfad, offen=offen)
        if self.portal.art == "stumm":
            return
        if offen:
            antworten()
        else:
            fehler(dbus.exceptions.DBusException(
                "no such request", name="org.freedesktop.DBus.Error.UnknownObject"))


class Bildschirmschoner(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/org/freedesktop/ScreenSaver")
        self.naechster = 40
        self.offen = set()

    @dbus.service.method(SCHONER, in_signature="ss", out_signature="u")
    def Inhibit(self, programm, grund):
        self.naechster += 1
        self.offen.add(self.naechster)
        melden(dienst="bildschirmschoner", aufruf="Inhibit", programm=str(programm),
               grund=str(grund), cookie=self.naechster)
        return dbus.UInt32(self.naechster)

    @dbus.service.method(SCHONER, in_signature="u", out_signature="")
    def UnInhibit(self, cookie):
        melden(dienst="bildschirmschoner", aufruf="UnInhibit", cookie=int(cookie),
               offen=int(cookie) in self.offen)
        self.offen.discard(int(cookie))


def _sterben_mit_eltern():
    ctypes.CDLL("libc.so.6", use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


def bus_starten(ordner):
    konfiguration = os.path.join(ordner, "bus.conf")
    with open(konfiguration, "w") as f:
        f.write(BUS_KONFIGURATION % ordner)
    daemon = subprocess.Popen(["dbus-daemon", "--config-file=" + konfiguration, "--nofork",
                               "--print-address=1"], stdout=subprocess.PIPE,
                              preexec_fn=_sterben_mit_eltern)
    adresse = daemon.stdout.readline().decode().strip()
    if not adresse:
        sys.exit("dbus-daemon gave no address")
    os.environ["DBUS_SESSION_BUS_ADDRESS"] = adresse
    return daemon


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--bus", action="store_true")
    ap.add_argument("--portal", nargs="?", const="antwortet")
    ap.add_argument("--bildschirmschoner", action="store_true")
    a = ap.parse_args()
    # Terminated: end normally, so the private bus is stopped with us.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    with tempfile.TemporaryDirectory(prefix="tempiro-bus-") as ordner:
        daemon = bus_starten(ordner) if a.bus else None
        try:
            if daemon:
                melden(adresse=os.environ["DBUS_SESSION_BUS_ADDRESS"])
            dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
            bus = dbus.SessionBus()
            namen = []
            if a.portal:
                portal = Portal(bus, a.portal)
                Anfragen(bus, portal)
                namen.append(dbus.service.BusName(PORTAL, bus, do_not_queue=True))
            if a.bildschirmschoner:
                Bildschirmschoner(bus)
                namen.append(dbus.service.BusName(SCHONER, bus, do_not_queue=True))
            melden(bereit=True)
            GLib.MainLoop().run()
        finally:
            if daemon:
                daemon.terminate()
                daemon.wait()


if __name__ == "__main__":
    main()
