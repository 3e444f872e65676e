#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""End-to-end scenarios of the session hold: a running countdown keeps the
desktop from going idle and suspending, and nothing is held after it.

The GNOME scenarios run Debian's own components on a private session bus:
gnome-session in its built-in mode with an empty session (and a system bus
with nothing on it, which it needs), xdg-desktop-portal with its gtk backend,
gsd-screensaver-proxy, and a few lines of gjs that own org.gnome.ScreenSaver,
the name the gtk backend waits for before it hands holds to the session
manager (GNOME Shell owns it on a desktop). Outcomes are read from the session
manager itself: IsInhibited and each inhibitor's app id, reason and flags.
The other scenarios point the program at no bus, or at a bus that never
answers. Every scenario runs without a sound server, in a session of
sitzung.py.

Usage: e2e_wachhalten.py --binary PATH SCENARIO     (--list shows the scenarios)
"""

import contextlib
import os
import signal
import sys
import time

import dbus

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from sitzung import Sitzung, Uebersprungen, main, pruefe, warte_bis  # noqa: E402

SM = "org.gnome.SessionManager"
APP_ID = "de.tempiro.Tempiro"
GRUND = "Countdown läuft"
# What GNOME Shell offers the gtk backend: the name and whether the screen is locked.
BILDSCHIRMSPERRE = """const {Gio, GLib} = imports.gi;
Gio.DBusExportedObject.wrapJSObject('<node><interface name="org.gnome.ScreenSaver">'
  + '<method name="GetActive"><arg type="b" direction="out"/></method></interface></node>',
  {GetActive: () => false}).export(Gio.DBus.session, '/org/gnome/ScreenSaver');
Gio.bus_own_name(Gio.BusType.SESSION, 'org.gnome.ScreenSaver', 0, null, null, null);
new GLib.MainLoop(null, false).run();"""


class GnomeSitzung(Sitzung):
    """A session whose bus may have GNOME's own services on it, and whose
    program may be started as from the menu."""

    menue = False  # the program is put in the cgroup GNOME Shell gives a menu start
    angelegt = ()

    def gnome_starten(self, portal=True):
        """The session manager and the screen saver proxy; with the portal and
        its gtk backend, unless told otherwise."""
        self.bus_starten("SYSTEM")  # with nothing on it
        self.umgebung["XDG_CURRENT_DESKTOP"] = "GNOME"
        sitzungen = os.path.join(self.heim, ".config", "gnome-session", "sessions")
        self.schreibe(os.path.join(sitzungen, "tempiro.session"),
                      "[GNOME Session]\nName=Tempiro\nRequiredComponents=\n")
        self.dbus = dbus.bus.BusConnection(self.umgebung["DBUS_SESSION_BUS_ADDRESS"])
        dienste = [(["gnome-session", "--builtin", "--session=tempiro", "--autostart=" + sitzungen,
                     "--disable-acceleration-check"], SM),
                   (["/usr/libexec/gsd-screensaver-proxy"], "org.freedesktop.ScreenSaver")]
        if portal:
            dienste += [(["gjs", "-c", BILDSCHIRMSPERRE], "org.gnome.ScreenSaver"),
                        (["/usr/libexec/xdg-desktop-portal-gtk"],
                         "org.freedesktop.impl.portal.desktop.gtk"),
                        (["/usr/libexec/xdg-desktop-portal"], "org.freedesktop.portal.Desktop")]
        for befehl, name in dienste:
            p = self._starten(befehl, name)
            if not warte_bis(lambda: self.dbus.name_has_owner(name), 20):
                raise RuntimeError("%s did not come onto the bus" % name)
        self.portal = p if portal else None
        self.sm = self.dbus.get_object(SM, "/org/gnome/SessionManager")

    def im_menue(self):
        """A menu start: the program goes in the systemd scope GNOME Shell
        makes for it, whose name the portal reads the app id from."""
        with open("/proc/mounts") as f:
            wurzel = [z.split()[1] for z in f if z.split()[2] == "cgroup2"]
        self.scope, self.angelegt = (wurzel or ["(no cgroup2 file system)"])[0], []
        for teil in ("user.slice", "user-%d.slice", "user@%d.service", "app.slice"):
            self.scope = os.path.join(self.scope, teil.replace("%d", str(os.getuid())))
            if not os.path.isdir(self.scope):
                self.anlegen(self.scope)
        self.menue = True

    def anlegen(self, pfad, prozess=None):
        """Makes a cgroup, and puts a process in it."""
        try:
            os.mkdir(pfad)
            self.angelegt.append(pfad)
            if prozess:
                with open(os.path.join(pfad, "cgroup.procs"), "w") as f:
                    f.write(str(prozess))
        except OSError as e:
            raise Uebersprungen("the cgroup of a menu start cannot be made here (%s)" % e)

    def programm_starten(self):
        p = super().programm_starten()
        if self.menue:
            self.anlegen(os.path.join(self.scope, "app-gnome-%s-%d.scope" % (APP_ID, p.pid)), p.pid)
        return p

    def aufraeumen(self, gescheitert):
        super().aufraeumen(gescheitert)
        for pfad in reversed(self.angelegt):
            with contextlib.suppress(OSError):
                os.rmdir(pfad)

    def stand(self, wann):
        """What the session manager holds: (suspend held, idle held, inhibitors)."""
        def lesen(pfad):
            i = self.dbus.get_object(SM, pfad, introspect=False).get_dbus_method
            return tuple(art(i("Get" + m, SM + ".Inhibitor")()) for art, m in (
                (str, "AppId"), (str, "Reason"), (int, "Flags"), (int, "ToplevelXid")))
        while True:
            try:  # an inhibitor may go between the list and its reading
                stand = (bool(self.sm.IsInhibited(4, dbus_interface=SM)),
                         bool(self.sm.IsInhibited(8, dbus_interface=SM)),
                         [lesen(p) for p in self.sm.GetInhibitors(dbus_interface=SM)])
                break
            except dbus.DBusException:
                time.sleep(0.1)
        print("  measured: %s: IsInhibited(4) %s, IsInhibited(8) %s, inhibitors %s"
              % ((wann,) + stand), flush=True)
        return stand

    def haelt(self, wann, flags, sekunden=10):
        """Waits until exactly one inhibitor of the program with these flags is
        there; its toplevel X id."""
        stand = warte_bis(lambda: (lambda st: len(st[2]) == 1 and st[2][0][2] == flags and st)(
            self.stand(wann)), sekunden, 0.25)
        pruefe(stand, "%s: the session manager holds one inhibitor with flags %d" % (wann, flags))
        pruefe(stand[:2] == (bool(flags & 4), bool(flags & 8)) and
               stand[2][0][:2] == (APP_ID, GRUND), "of %s, reason %r, suspend %s, idle %s"
               % (APP_ID, GRUND, bool(flags & 4), bool(flags & 8)))
        return stand[2][0][3]

    def frei(self, wann, sekunden=10, danach=0.0):
        """Waits until nothing is held, and sees that it stays so for a while."""
        pruefe(warte_bis(lambda: self.stand(wann) == (False, False, []), sekunden, 0.5),
               "%s: nothing is held" % wann)
        if danach:
            time.sleep(danach)
            pruefe(self.stand(wann + ", %.0f s on" % danach) == (False, False, []),
                   "and nothing comes back %.0f s on" % danach)


def einstellen(s, sekunden):
    """Starts the program and sets up an exposure countdown; returns the window."""
    fenster = s.starten()
    s.countdown_einstellen(fenster, sekunden)
    return fenster


def portal_anhalten(s, weiter_nach):
    """Stops the portal frontend now and lets it go on after the given seconds."""
    s.portal.send_signal(signal.SIGSTOP)
    t = time.monotonic()
    return lambda: (time.sleep(max(0.0, t + weiter_nach - time.monotonic())),
                    s.portal.send_signal(signal.SIGCONT))


def szenario_gnome(s, menue):
    """From "Timer Start" to "Timer Stop", to the expiry and to the window's
    close, the session manager holds one inhibitor with idle and suspend."""
    s.gnome_starten()
    if menue:
        s.im_menue()
    fenster = einstellen(s, 1)
    s.frei("idle clock")
    s.druecken(fenster)
    pruefe(s.haelt("countdown", 12) == fenster, "for the program's window (X id %d)" % fenster)
    s.druecken(fenster)
    s.frei("after \"Timer Stop\"")
    t0 = s.druecken(fenster)
    s.haelt("second countdown", 12)
    box = warte_bis(s.meldung, 30, 0.05)
    print("  measured: the countdown ended %.2f s after its start" % (time.monotonic() - t0))
    pruefe(box is not None, "the countdown expires")
    s.frei("after the expiry", sekunden=2)
    s.meldung_schliessen(box)
    s.druecken(fenster)
    s.haelt("third countdown", 12)
    s.beenden(fenster, 5)
    s.frei("after the window's close", sekunden=3)


def portal_einstellen(s):
    """Inside a snap, from a menu start: the program asks the portal, whose
    hold for it comes and goes with the countdown. Returns the window."""
    s.gnome_starten()
    s.im_menue()
    s.umgebung["SNAP"] = s.basis
    fenster = einstellen(s, 30)
    s.druecken(fenster)
    s.haelt("countdown through the portal", 12)
    s.druecken(fenster)
    s.frei("after \"Timer Stop\"")
    return fenster


def szenario_portal_spaet(s):
    """The portal frontend stopped from "Timer Start" for 6.5 s: the screen
    saver holds from the fifth second, the portal's late hold replaces it, and
    nothing is held after "Timer Stop"."""
    fenster = portal_einstellen(s)
    weiter = portal_anhalten(s, 6.5)
    t0 = s.druecken(fenster)
    time.sleep(max(0.0, t0 + 5.1 - time.monotonic()))
    s.haelt("5.1 s after \"Timer Start\" on, the portal stopped", 8, sekunden=1.2)
    weiter()
    s.haelt("after the portal went on", 12, sekunden=3)
    s.druecken(fenster)
    s.frei("after \"Timer Stop\"", danach=6.0)
    s.beenden(fenster, 5)


def szenario_portal_stopp(s, weiter_nach):
    """"Timer Stop" while the portal frontend is stopped, which goes on later:
    nothing is held afterwards."""
    fenster = portal_einstellen(s)
    weiter = portal_anhalten(s, weiter_nach)
    s.druecken(fenster)
    time.sleep(1.0)
    s.druecken(fenster)
    weiter()
    s.frei("after the portal went on", danach=6.0)
    s.beenden(fenster, 5)


def szenario_bildschirmschoner(s):
    """Inside a snap on a desktop without a portal: the screen saver service,
    here GNOME's, holds idle only; nothing after "Timer Stop"."""
    s.gnome_starten(portal=False)
    s.umgebung["SNAP"] = s.basis
    fenster = einstellen(s, 30)
    s.druecken(fenster)
    s.haelt("countdown", 8)
    s.druecken(fenster)
    s.frei("after \"Timer Stop\"")
    s.beenden(fenster, 5)


def szenario_ohne_antwort(s):
    """No session bus, or one that stops answering before the start: the
    window comes within a second more, an action from the command line is
    refused, the countdown runs and ends on time, and the program ends
    promptly."""
    if s.bus:
        s.bus.send_signal(signal.SIGSTOP)
    fenster = einstellen(s, 1)
    pruefe(s.fenster_bereit - s.app_start < 3.0, "the window comes within a second more")
    status, fehler, dauer = s.aufrufen(["--timer"])
    print("  measured: the command ended after %.2f s" % dauer)
    pruefe(status == 1 and fehler == "Keine Sitzungsverbindung: Aktion nicht ausgeführt\n" and
           dauer < 2.0, "tempiro --timer says there is no session bus and exits 1")
    t0 = s.druecken(fenster)
    pruefe(s.zeitzeile_laeuft(fenster, 2.5), "the clock line goes on while the countdown starts")
    s.ende_abwarten(t0, 10.5, 15.0)
    s.beenden(fenster, 5)


SZENARIEN = {
    "gnome_terminal": (szenario_gnome, {}, False),
    "gnome_menue": (szenario_gnome, {}, True),
    "gnome_portal_spaet": (szenario_portal_spaet, {}),
    "gnome_portal_stopp_3s": (szenario_portal_stopp, {}, 3.0),
    "gnome_portal_stopp_8s": (szenario_portal_stopp, {}, 8.0),
    "gnome_bildschirmschoner": (szenario_bildschirmschoner, {}),
    "ohne_bus": (szenario_ohne_antwort, {"bus": False}),
    "haengender_bus": (szenario_ohne_antwort, {}),
}

if __name__ == "__main__":
    sys.exit(main(SZENARIEN, klasse=GnomeSitzung, ton=False, bus=True))
