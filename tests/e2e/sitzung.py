# SPDX-License-Identifier: GPL-3.0-or-later
"""The private session every end-to-end scenario runs in, and the runner.

A session has its own virtual display (Xvfb, or weston's headless backend for
Wayland), its own sound server (PulseAudio, or PipeWire with its pulse server
and WirePlumber, each with a null sink that sleeps after one idle second; or
none at all), a session bus and the accessibility bus where asked for, its own
home, runtime and working directories, and the real binary in them. The window
is driven as a person would: xdotool moves the pointer, clicks and types;
python3-xlib reads pixels and the primary selection (the text of a message box
is selected with a triple click) and asks the window to close as a window
manager does. The ear is a recording of the null sink's monitor.

A scenario file holds a table SZENARIEN, {name: (function, session options,
further arguments of the function...)}, and calls main(SZENARIEN, default
options). The options are those of Sitzung.einrichten.

Usage: SCRIPT --binary PATH [--server pulseaudio|pipewire] [--keep] SCENARIO
       (--list shows the scenarios)
Exit status: 0 passed, 1 failed, 77 skipped (a tool is missing, outside CI).
"""

import argparse
import ctypes
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

HAUPTFENSTER = "Tempiro Zeitansage"
VORBEI_MELDUNG = "Zeitpunkt vorbei"
# Central European time with its summer rule, written out so that no time-zone
# database is needed.
MEZ = "CET-1CEST,M3.5.0,M10.5.0/3"
STEMPEL_ZEILE = re.compile(
    rb"^(\d{2,5}) (\d{2})\.(\d{2})\.(\d{4}) (\d{2}):(\d{2}):(\d{2}),(\d{2})$")
RATE = 16000  # recording: mono, 16 bit
SCHWELLE = 150.0  # RMS; the null sink gives exact zeros while nothing plays
BUS_STARTER = "/usr/libexec/at-spi-bus-launcher"

# The window's controls as the window definition places them: left, top, width
# and height in twips (15 to a pixel), the kind the accessibility bus reports
# and the accessible name.
CONTROLS = {
    "Command1": ((360, 2400, 615, 255), "push button", "start"),
    "Command2": ((1080, 2400, 615, 255), "push button", "stop"),
    "List_Sprecher": ((3360, 2760, 495, 255), "list", "Sprecher"),
    "Check_SprachAusgabe": ((1920, 2280, 2655, 255), "check box", 'Sprachausgabe "Babbelina"'),
    "Combo_S": ((2400, 1200, 615, 315), "combo box", "Sekunden"),
    "Combo_M": ((1800, 1200, 615, 315), "combo box", "Minuten"),
    "Combo_H": ((1200, 1200, 615, 315), "combo box", "Stunden"),
    "Check_CountDown": ((1920, 2760, 1215, 255), "check box", "CountDown"),
    "Command_Start": ((1560, 1680, 1215, 495), "push button", "Timer Start"),
    "Combo_Morgen": ((120, 1200, 975, 315), "combo box", "Tag (Heute oder Morgen)"),
    "Check_Dauer": ((1920, 2520, 1455, 255), "check box", "BelichtungsUhr"),
    "Command_Zeitansage": ((1440, 600, 1215, 255), "push button", "Ansage Zeit"),
    "Command_Datumsansage": ((120, 600, 1215, 255), "push button", "Ansage Datum"),
    "btn_ZeitSpeichern": ((240, 2880, 1575, 375), "push button", "Zeit speichern"),
    "Check_MldVorbei": ((1920, 3000, 1455, 255), "check box", "Msgbox Vorbei"),
    "Text_RestZeit": ((120, 1800, 1335, 285), "text", "Restzeit"),
    "Image1": ((2880, 120, 1725, 2160), "image", "Sanduhr"),
    "Label_Zeitanzeige": ((240, 360, 2535, 255), "label", "Aktuelle Zeit"),
}


def rechteck(name):
    """A control's rectangle in window pixels."""
    return tuple(v // 15 for v in CONTROLS[name][0])


def punkt(name):
    """Where a control is clicked: a check box on its box, a combo box on its
    text left of the arrow, anything else in its middle."""
    (links, oben, breite, hoehe), art, _ = CONTROLS[name]
    x = links // 15 + {"check box": 7, "combo box": 13}.get(art, breite // 30)
    return x, (oben + hoehe // 2) // 15


class Fehlschlag(Exception):
    """A check failed."""


class Uebersprungen(Exception):
    """The whole scenario cannot run here."""


class Fehlt(Exception):
    """A program the scenario runs is not installed."""


class AufnahmeLuecke(Exception):
    """The recording holds less sound than the time it ran: the sound server
    dropped part of it (seen on PipeWire on a loaded machine), so the times in
    it are not the program's. The scenario is run once more."""


def pruefe(bedingung, text):
    if not bedingung:
        raise Fehlschlag(text)
    print("  ok: " + text, flush=True)


def warte_bis(bedingung, sekunden, intervall=0.05):
    """Polls until bedingung() gives a true value, which is returned; None on timeout."""
    ende = time.monotonic() + sekunden
    while True:
        wert = bedingung()
        if wert or time.monotonic() >= ende:
            return wert or None
        time.sleep(intervall)


def stempel_zeit(zeile):
    """The instant (time.time()) a stamp line names, read in the program's time zone."""
    os.environ["TZ"] = MEZ
    time.tzset()
    tag, monat, jahr, h, mi, se, hu = (int(x) for x in STEMPEL_ZEILE.match(zeile).groups()[1:])
    return time.mktime((jahr, monat, tag, h, mi, se, 0, 0, -1)) + hu / 100.0


def zeilen(inhalt):
    """The lines of a file that must end every line with CR LF."""
    teile = inhalt.split(b"\r\n")
    pruefe(teile[-1] == b"" and not any(b"\n" in t or b"\r" in t for t in teile),
           "every line ends with CR LF")
    return teile[:-1]


# --------------------------------------------------------------------------- sound

def lies_aufnahme(pfad):
    with open(pfad, "rb") as f:
        daten = f.read()
    return struct.unpack("<%dh" % (len(daten) // 2), daten[:len(daten) // 2 * 2])


def pegel(proben, fenster_ms):
    """RMS of consecutive windows."""
    n = RATE * fenster_ms // 1000
    return [(sum(p * p for p in proben[i:i + n]) / n) ** 0.5
            for i in range(0, len(proben) - n + 1, n)]


def laute_strecken(proben, luecke=0.06):
    """Stretches of sound in seconds from the start, [begin, end], with gaps up
    to luecke seconds bridged."""
    strecken = []
    for i, w in enumerate(pegel(proben, 10)):
        t = i / 100.0
        if w < SCHWELLE:
            continue
        if strecken and t - strecken[-1][1] <= luecke:
            strecken[-1][1] = t + 0.01
        else:
            strecken.append([t, t + 0.01])
    return strecken


def einsaetze(proben):
    """Times (s) where sound starts or jumps up sharply: clicks and word starts."""
    werte, zeiten = pegel(proben, 5), [-1.0]
    for i in range(8, len(werte)):
        if werte[i] >= SCHWELLE and werte[i] > 4.0 * sum(werte[i - 8:i]) / 8.0 + 20.0 \
                and i * 0.005 - zeiten[-1] >= 0.15:
            zeiten.append(i * 0.005)
    return zeiten[1:]


# --------------------------------------------------------------------------- session

def _sterben_mit_eltern():
    # Children die with the driver, even when it is killed without cleaning up.
    ctypes.CDLL("libc.so.6", use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


class Sitzung:
    """One session and the program run in it. Everything started here is
    stopped in aufraeumen()."""

    def __init__(self, binaer, server="pulseaudio", behalten=False):
        self.binaer, self.server, self.behalten = os.path.abspath(binaer), server, behalten
        self.prozesse = []
        self.app = self.tonserver = self.bus = self._x = None
        self.basis = tempfile.mkdtemp(prefix="tempiro-e2e-")
        self.arbeit, self.heim, self.laufzeit = (os.path.join(self.basis, d)
                                                 for d in ("arbeit", "heim", "laufzeit"))
        for d in (self.arbeit, self.heim, self.laufzeit):
            os.makedirs(d, 0o700)
        # Private places for everything the tools look up, so nothing of the
        # machine's own desktop or sound set-up is used.
        self.umgebung = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": self.heim,
            "XDG_RUNTIME_DIR": self.laufzeit, "XDG_CONFIG_HOME": os.path.join(self.heim, ".config"),
            "PULSE_RUNTIME_PATH": os.path.join(self.laufzeit, "pulse"), "LANG": "C.UTF-8",
            "TZ": MEZ, "QT_QPA_PLATFORM": "xcb", "NO_AT_BRIDGE": "1",
            # No bus unless one is started: never the machine's, nor one
            # started for the display by dbus-launch.
            "DBUS_SESSION_BUS_ADDRESS": "unix:path=" + os.path.join(self.basis, "kein-bus")}
        self.schreibe(os.path.join(self.heim, ".config", "pulse", "client.conf"), "autospawn = no\n")

    def einrichten(self, ton=True, wayland=False, bus=False, zugang=False):
        """Starts the display, with ton the sound server (else the program finds
        none), with bus or zugang a session bus, with zugang the accessibility
        bus, whose connection is self.zugang."""
        self.weston_starten() if wayland else self.xvfb_starten()
        self.server = self.server if ton else None
        if bus or zugang or self.server == "pipewire":
            self.bus = self.bus_starten()
        if self.server == "pipewire":
            self.pipewire_starten()
        elif self.server:
            self.tonserver = self._starten(
                ["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                 "--load=module-null-sink sink_name=null", "--load=module-suspend-on-idle timeout=1",
                 "--load=module-native-protocol-unix"], "pulseaudio")
            self.umgebung["PULSE_SERVER"] = "unix:" + os.path.join(self.laufzeit, "pulse", "native")
            if not warte_bis(lambda: self.senke() is not None, 15, 0.1):
                raise RuntimeError("the private sound server did not come up")
        else:  # a socket that does not exist
            self.umgebung["PULSE_SERVER"] = "unix:" + os.path.join(self.basis, "kein-server")
        if zugang:
            self.zugang_starten()

    def _starten(self, befehl, log=None, **kw):
        """Starts a process; its output goes to log.log in the session's
        directory, or nowhere."""
        datei = open(os.path.join(self.basis, log + ".log"), "ab") if log else None
        kw.setdefault("stdout", datei or subprocess.DEVNULL)
        kw.setdefault("stderr", subprocess.STDOUT if datei else subprocess.DEVNULL)
        try:
            p = subprocess.Popen(befehl, env=kw.pop("env", self.umgebung),
                                 preexec_fn=_sterben_mit_eltern, **kw)
        except FileNotFoundError:
            raise Fehlt(befehl[0])
        finally:
            if datei:
                datei.close()
        self.prozesse.append(p)
        return p

    def _gemeldet(self, befehl, log=None):
        """Starts a server that writes its address to the file descriptor put
        in for {fd}; returns that line."""
        lesen, schreiben = os.pipe()
        self._starten([a.format(fd=schreiben) for a in befehl], log, pass_fds=(schreiben,))
        os.close(schreiben)
        with os.fdopen(lesen) as f:
            zeile = f.readline().strip()
        if not zeile:
            raise RuntimeError("%s did not start" % befehl[0])
        return zeile

    def xvfb_starten(self):
        self.umgebung["DISPLAY"] = ":" + self._gemeldet(
            ["Xvfb", "-displayfd", "{fd}", "-screen", "0", "800x600x24", "-nolisten", "tcp",
             "-noreset"], "xvfb")

    def weston_starten(self):
        name = "tempiro-e2e-wayland"
        self._starten(["weston", "--backend=headless-backend.so", "--socket=" + name,
                       "--idle-time=0", "--no-config"], "weston")
        if not warte_bis(lambda: os.path.exists(os.path.join(self.laufzeit, name)), 15, 0.1):
            raise RuntimeError("weston did not open its socket")
        # WAYLAND_DEBUG: what the program tells the compositor, in its output.
        self.umgebung.update(WAYLAND_DISPLAY=name, QT_QPA_PLATFORM="wayland", WAYLAND_DEBUG="1")

    def bus_starten(self, art="SESSION"):
        """A private bus, the session bus or (art SYSTEM) the system bus; its
        process. The machine's desktop portal cannot be started on it: a
        service file in the runtime directory, which comes first, shadows it."""
        self.schreibe(os.path.join(self.laufzeit, "dbus-1", "services",
                                   "org.freedesktop.portal.Desktop.service"),
                      "[D-BUS Service]\nName=org.freedesktop.portal.Desktop\nExec=/bin/false\n")
        self.umgebung["DBUS_%s_BUS_ADDRESS" % art] = self._gemeldet(
            ["dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address={fd}"])
        return self.prozesse[-1]

    def pipewire_starten(self):
        # WirePlumber without its device monitors: only the null sink exists,
        # and no test touches the machine's sound, video or Bluetooth hardware.
        konfig = os.path.join(self.heim, ".config", "wireplumber")
        self.schreibe(os.path.join(konfig, "main.lua.d", "51-nur-nullsenke.lua"),
                      "alsa_monitor.enabled = false\nv4l2_monitor.enabled = false\n"
                      "libcamera_monitor.enabled = false\n")
        self.schreibe(os.path.join(konfig, "bluetooth.lua.d", "51-nur-nullsenke.lua"),
                      "bluez_monitor.enabled = false\n")
        self._starten(["pipewire"], "pipewire")
        if not warte_bis(lambda: os.path.exists(os.path.join(self.laufzeit, "pipewire-0")), 15):
            raise RuntimeError("pipewire did not come up")
        self._starten(["wireplumber"], "wireplumber")
        self.tonserver = self._starten(["pipewire-pulse"], "pipewire-pulse")
        self.umgebung["PULSE_SERVER"] = "unix:" + os.path.join(self.laufzeit, "pulse", "native")
        if not warte_bis(lambda: self.pactl("info"), 15, 0.1):
            raise RuntimeError("pipewire-pulse did not come up")
        # WirePlumber suspends an idle node after this many seconds (5 unless set).
        if not (self.pactl("load-module", "module-null-sink", "sink_name=null",
                           "sink_properties=session.suspend-timeout-seconds=1") and
                warte_bis(lambda: self.senke() and self.pactl("set-default-sink", "null"), 15, 0.1)):
            raise RuntimeError("the null sink did not appear")

    def zugang_starten(self):
        """The accessibility bus beside the session bus, and Qt's bridge on."""
        import dbus
        self._starten([BUS_STARTER, "--launch-immediately"])
        sitzungsbus = dbus.bus.BusConnection(self.umgebung["DBUS_SESSION_BUS_ADDRESS"])
        if not warte_bis(lambda: sitzungsbus.name_has_owner("org.a11y.Bus"), 15, 0.1):
            raise RuntimeError("the accessibility bus did not come up")
        # Read with plain calls, as a screen reader does: nothing cached.
        self.zugang = dbus.bus.BusConnection(sitzungsbus.get_object(
            "org.a11y.Bus", "/org/a11y/bus").GetAddress(dbus_interface="org.a11y.Bus"))
        self.umgebung["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"

    # ---- sound

    def pactl(self, *args):
        """Runs pactl; its output, or None when it failed."""
        try:
            r = subprocess.run(["pactl"] + list(args), env=self.umgebung, capture_output=True,
                               text=True, timeout=10)
        except subprocess.TimeoutExpired:
            return None
        return (r.stdout or "ok") if r.returncode == 0 else None

    def senke(self):
        """State of the null sink (RUNNING, IDLE or SUSPENDED), None without one."""
        for zeile in (self.pactl("list", "short", "sinks") or "").splitlines():
            felder = zeile.split("\t")
            if len(felder) >= 2 and felder[1] == "null":
                return felder[-1].strip()
        return None

    def aufnahme_starten(self):
        """Records the null sink from now on, mono 16 bit at RATE; the start of
        the recording on the monotonic clock is aufnahme_beginn, on the wall
        clock aufnahme_beginn_wand."""
        roh = ["--raw", "--format=s16le", "--rate=%d" % RATE, "--channels=1"]
        # PulseAudio keeps a sink whose monitor is recorded running; PipeWire
        # suspends it all the same, and the recording then has gaps. A silent
        # stream keeps it running while the recording lasts.
        self.wachhalter = self.server == "pipewire" and self._starten(
            ["pacat", "--playback", "-d", "null"] + roh + ["/dev/zero"])
        self.aufnahme_pfad = os.path.join(self.basis, "aufnahme.raw")
        with open(self.aufnahme_pfad, "wb") as f:
            self.aufnahme = self._starten(["parec", "-d", "null.monitor", "--latency-msec=20"]
                                          + roh, stdout=f)
        if not warte_bis(lambda: os.path.getsize(self.aufnahme_pfad) > 0, 10):
            raise RuntimeError("parec delivers nothing")
        vorher = os.path.getsize(self.aufnahme_pfad) / (2.0 * RATE)
        self.aufnahme_beginn = time.monotonic() - vorher
        self.aufnahme_beginn_wand = time.time() - vorher

    def aufnahme_beenden(self):
        """Stops the recording; returns its samples."""
        gelaufen = time.monotonic() - self.aufnahme_beginn
        self.aufnahme.send_signal(signal.SIGINT)
        self.aufnahme.wait(5)
        if self.wachhalter:
            self.wachhalter.terminate()
        proben = lies_aufnahme(self.aufnahme_pfad)
        if gelaufen - len(proben) / RATE > 0.3:
            raise AufnahmeLuecke("the recording lacks %.2f s of the %.1f s it ran"
                                 % (gelaufen - len(proben) / RATE, gelaufen))
        return proben

    # ---- the program and its window

    def programm_starten(self):
        self.app_log_pfad = os.path.join(self.basis, "tempiro.log")
        self.app = self._starten([self.binaer], "tempiro", cwd=self.arbeit)
        self.app_start = time.monotonic()
        return self.app

    def starten(self, sekunden=20):
        """Starts the program; returns its window once it is there. A message
        box at start-up fails the scenario."""
        self.programm_starten()
        ende = time.monotonic() + sekunden
        while time.monotonic() < ende:
            if self.app.poll() is not None:
                raise Fehlschlag("the program ended during start-up (status %d)"
                                 % self.app.returncode)
            box = self.meldung()
            if box:
                raise Fehlschlag("start-up shows a message: %r" % self.meldung_lesen(box))
            if self.hauptfenster():
                self.fenster_bereit = time.monotonic()
                print("  measured: window there %.2f s after the process start, no message "
                      "before it" % (self.fenster_bereit - self.app_start), flush=True)
                return self.hauptfenster()
            time.sleep(0.05)
        raise Fehlschlag("no main window %r within %d s" % (HAUPTFENSTER, sekunden))

    def beenden(self, fenster, sekunden=10):
        """Closes the window as a window manager would; checks the exit status is 0."""
        if self.app.poll() is not None:
            raise Fehlschlag("the program had already ended (status %d)" % self.app.returncode)
        t = time.monotonic()
        self.fenster_schliessen(fenster)
        try:
            status = self.app.wait(sekunden)
        except subprocess.TimeoutExpired:
            raise Fehlschlag("the program did not end within %d s of closing its window"
                             % sekunden)
        print("  measured: the process ended %.2f s after the close request"
              % (time.monotonic() - t))
        pruefe(status == 0, "closing the window ends the program with status 0 (%d)" % status)

    def countdown_einstellen(self, fenster, sekunden, takt=False, sprache=True):
        """Sets an exposure countdown of the given seconds with the end message
        wanted, the beat on if asked and the spoken countdown off unless
        asked: the seconds typed into their list, the boxes ticked."""
        self.klick(fenster, "Combo_S")
        self.xdo("key", "ctrl+a")
        self.xdo("type", "--delay", 40, "%02d" % sekunden)
        self.umschalten(fenster, "Check_Dauer")
        self.umschalten(fenster, "Check_MldVorbei")
        if takt:
            self.klick(fenster, "Command1")
        if not sprache:
            self.umschalten(fenster, "Check_CountDown")

    def druecken(self, fenster, name="Command_Start"):
        """Clicks a button; returns the moment of the click (the pointer is
        there first, so the click is all that lies between)."""
        self.xdo("mousemove", "--window", fenster, *punkt(name))
        t = time.monotonic()
        self.xdo("click", 1)
        return t

    def ende_abwarten(self, t0, von, bis):
        """Waits for the message that ends a countdown started at t0, which
        must come von to bis seconds after it; reads and closes it. Returns
        the moment it came."""
        box = warte_bis(self.meldung, bis - (time.monotonic() - t0) + 5)
        t1 = time.monotonic()
        pruefe(box is not None, "the countdown ends by itself with a message box")
        print("  measured: the countdown ended %.2f s after its start" % (t1 - t0), flush=True)
        pruefe(von <= t1 - t0 <= bis, "%.0f to %.0f s after the start" % (von, bis))
        text = self.meldung_lesen(box)
        pruefe(text == VORBEI_MELDUNG, "it says %r (%r)" % (VORBEI_MELDUNG, text))
        self.meldung_schliessen(box)
        return t1

    def aufrufen(self, argumente, ordner=None, programm=None, **umgebung):
        """Runs the binary once more, or another program, to its end, in the
        working directory or another; returns its status, its output and
        error output, and its seconds."""
        t = time.monotonic()
        r = subprocess.run([programm or self.binaer] + argumente, cwd=ordner or self.arbeit,
                           env=dict(self.umgebung, **umgebung), capture_output=True, text=True,
                           timeout=30)
        return r.returncode, r.stdout + r.stderr, time.monotonic() - t

    def programme(self):
        """The program's processes in this session."""
        eigen = ("XDG_RUNTIME_DIR=" + self.laufzeit).encode()

        def unser(pid):
            try:
                with open("/proc/%s/environ" % pid, "rb") as f:
                    umgebung = f.read().split(b"\0")
                return os.readlink("/proc/%s/exe" % pid) == self.binaer and eigen in umgebung
            except OSError:
                return False
        return [p for p in os.listdir("/proc") if p.isdigit() and unser(p)]

    def wm_starten(self):
        """metacity as the window manager."""
        self._starten(["metacity", "--replace"], "metacity")
        atom = self.x.intern_atom("_NET_SUPPORTING_WM_CHECK")
        if not warte_bis(lambda: self.x.screen().root.get_full_property(atom, 0), 10):
            raise RuntimeError("metacity did not come up")

    # ---- X11: xdotool and python3-xlib

    @property
    def x(self):
        if self._x is None:
            from Xlib import display
            self._x = display.Display(self.umgebung["DISPLAY"])
        return self._x

    def xdo(self, *args):
        return subprocess.run(["xdotool"] + [str(a) for a in args], env=self.umgebung,
                              capture_output=True, text=True).stdout

    def druck(self):
        """Presses and releases the first mouse button where the pointer is, by
        XTest; returns the wall time of the press: the middle of the request
        and its round trip."""
        from Xlib import X
        from Xlib.ext import xtest
        x = self.x  # opened before the press is timed
        vorher = time.time()
        xtest.fake_input(x, X.ButtonPress, 1)
        x.sync()
        gedrueckt = (vorher + time.time()) / 2
        xtest.fake_input(x, X.ButtonRelease, 1)
        x.sync()
        return gedrueckt

    def fenster(self, name):
        return [int(z) for z in self.xdo("search", "--onlyvisible", "--name", "^%s$" % name).split()]

    def meldung(self):
        return (self.fenster("Tempiro") or [None])[0]

    def hauptfenster(self):
        return (self.fenster(HAUPTFENSTER) or [None])[0]

    def bild(self, fenster, rechteck):
        """The raw pixels of a rectangle (x, y, width, height) of a window."""
        from Xlib import X
        return self.x.create_resource_object("window", fenster).get_image(
            *rechteck, X.ZPixmap, 0xFFFFFFFF).data

    def fenster_schliessen(self, fenster):
        """Sends WM_DELETE_WINDOW, as a window manager's close button does."""
        from Xlib import X
        from Xlib.protocol import event
        atom = self.x.intern_atom
        self.x.create_resource_object("window", fenster).send_event(event.ClientMessage(
            window=fenster, client_type=atom("WM_PROTOCOLS"),
            data=(32, [atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0])))
        self.x.sync()

    def auswahl(self, aktion):
        """The primary selection's text after aktion(), or None: it is first
        taken by a window of our own, so an old selection never counts."""
        from Xlib import X
        d = self.x
        if not hasattr(self, "eigen"):
            self.eigen = d.screen().root.create_window(0, 0, 1, 1, 0, X.CopyFromParent)
        primaer, ziel = d.intern_atom("PRIMARY"), d.intern_atom("TEMPIRO_E2E")
        self.eigen.set_selection_owner(primaer, X.CurrentTime)
        d.sync()
        aktion()
        if not warte_bis(lambda: getattr(d.get_selection_owner(primaer), "id", 0)
                         not in (0, self.eigen.id), 1.5, 0.1):
            return None
        self.eigen.convert_selection(primaer, d.intern_atom("UTF8_STRING"), ziel, X.CurrentTime)
        ende = time.monotonic() + 3
        while time.monotonic() < ende:
            while d.pending_events():
                e = d.next_event()
                if e.type == X.SelectionNotify and e.property != X.NONE:
                    return self.eigen.get_full_property(ziel, X.AnyPropertyType).value.decode()
            time.sleep(0.05)
        return None

    def klick(self, fenster, wo, anzahl=1):
        """Clicks a control by its name, or a point (x, y) of the window."""
        x, y = punkt(wo) if isinstance(wo, str) else wo
        self.xdo("mousemove", "--window", fenster, x, y, "click", "--repeat", anzahl,
                 "--delay", 80, 1)

    def umschalten(self, fenster, name):
        """Clicks a check box and waits until its box is drawn anew; a click
        lost on a loaded machine is given once more."""
        x, y = punkt(name)
        kaestchen = (x - 6, y - 6, 13, 13)
        # The pointer first, so that its hover highlight is in the picture before.
        self.xdo("mousemove", "--window", fenster, x, y)
        time.sleep(0.15)
        vorher = self.bild(fenster, kaestchen)
        for _ in range(2):
            self.xdo("click", 1)
            if warte_bis(lambda: self.bild(fenster, kaestchen) != vorher, 2):
                return
        raise Fehlschlag("the check box %s does not change when clicked" % name)

    def meldung_lesen(self, box):
        """The text of a message box, selected with a triple click."""
        for y in (17, 14, 20, 24):
            text = self.auswahl(lambda: self.klick(box, (40, y), 3))
            if text:
                return text.strip()
        return None

    def meldung_schliessen(self, box):
        self.xdo("mousemove", "--window", box, 10, 10)
        self.xdo("key", "Return")
        if not warte_bis(lambda: box not in self.fenster("Tempiro"), 10):
            raise Fehlschlag("the message box did not close on Return")

    def zeitzeile_laeuft(self, fenster, sekunden=1.5):
        """True when the clock line shows something else within the time given."""
        vorher = self.bild(fenster, rechteck("Label_Zeitanzeige"))
        return warte_bis(lambda: self.bild(fenster, rechteck("Label_Zeitanzeige")) != vorher,
                         sekunden)

    # ---- files

    def stempel(self, anzahl, sekunden=5):
        """Waits until zeitnehmung.txt holds anzahl lines, and checks that they
        are stamps numbered from 01; returns them."""
        pruefe(warte_bis(lambda: (self.datei("zeitnehmung.txt") or b"").count(b"\r\n") >= anzahl,
                         sekunden), "zeitnehmung.txt has %d line(s)" % anzahl)
        neu = zeilen(self.datei("zeitnehmung.txt"))
        pruefe(len(neu) == anzahl and all(STEMPEL_ZEILE.match(z) and z[:3] == b"%02d " % (i + 1)
                                          for i, z in enumerate(neu)),
               "and only those, each NN DD.MM.YYYY HH:MM:SS,hh numbered from 01 (%r)" % neu)
        return neu

    def datei(self, name):
        """The bytes of a file of the working directory, None if it is missing."""
        pfad = os.path.join(self.arbeit, name)
        if os.path.exists(pfad):
            with open(pfad, "rb") as f:
                return f.read()

    def schreibe(self, pfad, inhalt):
        """Writes a file, relative to the working directory, making its folders."""
        pfad = os.path.join(self.arbeit, pfad)
        os.makedirs(os.path.dirname(pfad), exist_ok=True)
        with open(pfad, "wb" if isinstance(inhalt, bytes) else "w") as f:
            f.write(inhalt)

    def aufraeumen(self, gescheitert):
        for p in reversed(self.prozesse):
            if p.poll() is None:
                p.terminate()
        for p in reversed(self.prozesse):
            try:
                p.wait(5)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
        if gescheitert:
            # What the program and the servers said, the last of it.
            for name in sorted(os.listdir(self.basis)):
                if name.endswith(".log"):
                    with open(os.path.join(self.basis, name), errors="replace") as f:
                        inhalt = f.read().strip()
                    if inhalt:
                        print("--- %s:\n%s" % (name, inhalt[-3000:]))
        if self.behalten or (gescheitert and os.environ.get("TEMPIRO_E2E_BEHALTEN") == "1"):
            print("kept: " + self.basis)
        else:
            shutil.rmtree(self.basis, ignore_errors=True)


# --------------------------------------------------------------------------- runner

def main(szenarien, klasse=Sitzung, **standard):
    """Runs the scenario named on the command line in a session of the given
    class, with the options given here as defaults for the table's."""
    ap = argparse.ArgumentParser(description=sys.modules["__main__"].__doc__.split("\n")[0])
    ap.add_argument("--binary", help="the tempiro executable")
    ap.add_argument("--keep", action="store_true", help="keep the temporary directory")
    ap.add_argument("--limit", type=int, default=100, help="seconds before the run is given up")
    ap.add_argument("--server", choices=("pulseaudio", "pipewire"), default="pulseaudio",
                    help="the sound server the program plays to")
    ap.add_argument("--list", action="store_true")
    ap.add_argument("szenario", nargs="?", choices=sorted(szenarien))
    a = ap.parse_args()
    if a.list:
        for name, (f, *_) in szenarien.items():
            print("%-24s %s" % (name, " ".join(f.__doc__.split())))
        return 0
    if not a.binary or not a.szenario:
        ap.error("--binary and a scenario are needed")
    funktion, optionen, *argumente = szenarien[a.szenario]
    print("scenario %s on %s: %s" % (a.szenario, a.server, funktion.__doc__), flush=True)
    def abgelaufen(*_):
        raise Fehlschlag("the scenario did not finish within %d s, or was stopped" % a.limit)
    signal.signal(signal.SIGALRM, abgelaufen)
    signal.signal(signal.SIGTERM, abgelaufen)
    signal.alarm(a.limit)
    gescheitert, s = True, None
    try:
        for versuch in (1, 2):
            s = klasse(a.binary, a.server, a.keep)
            try:
                s.einrichten(**dict(standard, **optionen))
                funktion(s, *argumente)
                break
            except AufnahmeLuecke as e:
                if versuch == 2:
                    raise Fehlschlag("twice: %s" % e)
                print("  %s: the scenario runs once more" % e, flush=True)
                s.aufraeumen(False)
        gescheitert = False
        print("passed")
        return 0
    except Fehlt as e:
        gescheitert = False
        print("%s: %s is not installed here; ./test.sh installs it (the optional stacks of "
              "scripts/setup.sh under CI or when asked)"
              % ("FAILED" if os.environ.get("CI") else "SKIPPED", e))
        return 1 if os.environ.get("CI") else 77
    except Uebersprungen as e:
        gescheitert = False
        print("SKIPPED: %s" % e)
        return 77
    except Fehlschlag as e:
        print("FAILED: %s" % e)
        return 1
    finally:
        signal.alarm(0)
        if s:
            s.aufraeumen(gescheitert)
