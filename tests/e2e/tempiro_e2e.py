#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""End-to-end scenarios for the real tempiro binary.

Each run starts its own virtual display (Xvfb), its own PulseAudio server with a
null sink whose monitor can be recorded, and the binary in a fresh working
directory, then drives the window as a person would: xdotool moves the pointer
to a control's place, clicks and types. What happened is read back from the two
files the program writes, from the windows that appear (message boxes are found
by their title "Tempiro" and their text is read by selecting it with the mouse),
from pixels of the window, and from the recording of the sound server.

Usage: tempiro_e2e.py --binary PATH [--server pulseaudio|pipewire] SCENARIO
       (--list shows the scenarios)

Sound servers: PulseAudio, suspending its idle sinks after one second, or
PipeWire with its pulse server and WirePlumber on a private session bus, with
WirePlumber's device monitors switched off so that no test touches the
machine's own sound, video or Bluetooth hardware, and a null sink (suspended
after one idle second as well) as the default sink.

Exit status: 0 passed, 1 failed, 77 skipped (the whole scenario could not run).

Speech: a binary that links the speech engine (libespeak-ng among its shared
libraries, read with readelf) must speak; its speech checks are strict, and the
speech failure message at start-up fails the run. A binary without the engine
shows that message at every start; its speech checks are reported as skipped
and do not fail the run. TEMPIRO_E2E_SPRACHE=1 or =0 overrides the detection.
The beat is only looked for in the recording when the binary has a sound
output of its own (libpulse or the engine).

Only the Python standard library is used; the external tools are Xvfb, xdotool,
pulseaudio or pipewire, wireplumber, pipewire-pulse and dbus-daemon, parec and
pactl, readelf, and setpriv for the read-only scenario.
"""

import argparse
import ctypes
import os
import re
import select
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time

SPRACH_MELDUNG = "Problem mit Initialisierung der Sprachausgabe, Installation überprüfen"
LOG_MELDUNG = "zeitnehmung.txt lässt sich nicht öffnen"
VORBEI_MELDUNG = "Zeitpunkt vorbei"
HAUPTFENSTER = "Tempiro Zeitansage"
FAKETIME_LIB = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"
# Central European time with its summer rule, written out so that no time-zone
# database is needed.
MEZ = "CET-1CEST,M3.5.0,M10.5.0/3"
STEMPEL_ZEILE = re.compile(
    rb"^(\d{2,5}) (\d{2})\.(\d{2})\.(\d{4}) (\d{2}):(\d{2}):(\d{2}),(\d{2})$")
RATE = 16000  # recording: mono, 16 bit, 16 kHz

# Control centres in window pixels. The window is laid out in twips and 15
# twips are one pixel: left, top, width, height from the window definition,
# divided by 15.
def _mitte(links, oben, breite, hoehe):
    return ((links + breite // 2) // 15, (oben + hoehe // 2) // 15)

def _rechteck(links, oben, breite, hoehe):
    return (links // 15, oben // 15, breite // 15, hoehe // 15)

ZEIT_SPEICHERN = _mitte(240, 2880, 1575, 375)
ANSAGE_DATUM = _mitte(120, 600, 1215, 255)
ANSAGE_ZEIT = _mitte(1440, 600, 1215, 255)
TIMER_START = _mitte(1560, 1680, 1215, 495)
BEAT_START = _mitte(360, 2400, 615, 255)
# Check boxes are clicked on their indicator, a few pixels in from the left.
BELICHTUNGSUHR = (1920 // 15 + 7, (2520 + 127) // 15)
MSGBOX_VORBEI = (1920 // 15 + 7, (3000 + 127) // 15)
COUNTDOWN = (1920 // 15 + 7, (2760 + 127) // 15)
# The editable text part of the seconds box, left of its drop-down arrow.
SEKUNDEN_TEXT = ((2400 + 200) // 15, (1200 + 157) // 15)
SPRECHER_LISTE = _mitte(3360, 2760, 495, 255)
SPRECHER_RECHTECK = _rechteck(3360, 2760, 495, 255)
ZEITZEILE = _rechteck(240, 360, 2535, 255)
# The caption of "Timer Start" without the button's frame, where the focus
# mark is drawn.
START_BESCHRIFTUNG = (1560 // 15 + 12, 1680 // 15 + 9, 1215 // 15 - 24, 495 // 15 - 18)


class Fehlschlag(Exception):
    """A check failed."""


class Uebersprungen(Exception):
    """The whole scenario cannot run here."""


class AufnahmeLuecke(Exception):
    """The recording holds less sound than the time it ran: the sound server
    dropped part of what it recorded (seen on PipeWire on a loaded machine), so
    the times in it are not the program's. The scenario is run once more."""


def pruefe(bedingung, text):
    if not bedingung:
        raise Fehlschlag(text)
    print("  ok: " + text, flush=True)


def warte_bis(bedingung, sekunden, intervall=0.05):
    """Polls until bedingung() gives a true value, which is returned; None on timeout."""
    ende = time.monotonic() + sekunden
    while True:
        wert = bedingung()
        if wert:
            return wert
        if time.monotonic() >= ende:
            return None
        time.sleep(intervall)


def _sterben_mit_eltern():
    # Children die with the driver, even when it is killed without cleaning up.
    try:
        ctypes.CDLL("libc.so.6", use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG
    except OSError:
        pass


# --------------------------------------------------------------------------- X11

def _auf4(n):
    return (n + 3) & ~3


class X11:
    """A minimal X11 client over the display's Unix socket.

    It does the three things xdotool cannot: asks a window to close the way a
    window manager does (WM_DELETE_WINDOW), reads pixels, and reads the primary
    selection after it has cleared it, so an old selection is never mistaken
    for a new one.
    """

    def __init__(self, anzeige):
        self.s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.s.connect("/tmp/.X11-unix/X%d" % anzeige)
        self.s.sendall(struct.pack("<BxHHHHxx", 0x6C, 11, 0, 0, 0))
        kopf = self._lies(8)
        rumpf = self._lies(struct.unpack_from("<H", kopf, 6)[0] * 4)
        if kopf[0] != 1:
            raise RuntimeError("X server refused the connection")
        self.id_basis, self.id_maske = struct.unpack_from("<II", rumpf, 4)
        hersteller = struct.unpack_from("<H", rumpf, 16)[0]
        formate = rumpf[21]
        self.wurzel = struct.unpack_from("<I", rumpf, 32 + _auf4(hersteller) + 8 * formate)[0]
        self.naechste_id = 1
        self.ereignisse = []
        self.fenster = self._neue_id()
        # A 1x1 window of our own, never mapped: it owns and receives selections.
        self._sende(struct.pack("<BBHIIhhHHHHII", 1, 0, 8, self.fenster, self.wurzel,
                                0, 0, 1, 1, 0, 1, 0, 0))
        self.atome = {}

    def _neue_id(self):
        i = self.id_basis | (self.naechste_id & self.id_maske)
        self.naechste_id += 1
        return i

    def _lies(self, n):
        daten = b""
        while len(daten) < n:
            stueck = self.s.recv(n - len(daten))
            if not stueck:
                raise RuntimeError("X server closed the connection")
            daten += stueck
        return daten

    def _sende(self, anfrage):
        self.s.sendall(anfrage)

    def _paket(self, frist):
        bereit, _, _ = select.select([self.s], [], [], frist)
        if not bereit:
            return None
        p = self._lies(32)
        if p[0] == 1:
            p += self._lies(struct.unpack_from("<I", p, 4)[0] * 4)
        return p

    def _antwort(self):
        while True:
            p = self._paket(10.0)
            if p is None:
                raise RuntimeError("X server did not answer")
            if p[0] == 0:
                raise RuntimeError("X error %d (request %d)" % (p[1], p[10]))
            if p[0] == 1:
                return p
            self.ereignisse.append(p)

    def sync(self):
        self._sende(struct.pack("<BxH", 43, 1))  # GetInputFocus, answered in order
        self._antwort()

    def atom(self, name):
        if name not in self.atome:
            n = name.encode()
            self._sende(struct.pack("<BBHHxx", 16, 0, 2 + _auf4(len(n)) // 4, len(n))
                        + n.ljust(_auf4(len(n)), b"\0"))
            self.atome[name] = struct.unpack_from("<I", self._antwort(), 8)[0]
        return self.atome[name]

    def schliessen_bitten(self, fenster):
        """Sends WM_DELETE_WINDOW, as a window manager's close button does."""
        ereignis = struct.pack("<BBHII5I", 33, 32, 0, fenster, self.atom("WM_PROTOCOLS"),
                               self.atom("WM_DELETE_WINDOW"), 0, 0, 0, 0)
        self._sende(struct.pack("<BBHII", 25, 0, 11, fenster, 0) + ereignis)
        self.sync()

    def bild(self, fenster, rechteck):
        """Raw pixels of a rectangle of a window (ZPixmap)."""
        x, y, b, h = rechteck
        self._sende(struct.pack("<BBHIhhHHI", 73, 2, 5, fenster, x, y, b, h, 0xFFFFFFFF))
        p = self._antwort()
        return p[32:]

    def auswahl_leeren(self):
        self._sende(struct.pack("<BxHIII", 22, 4, self.fenster, self.atom("PRIMARY"), 0))
        self.sync()

    def auswahl_lesen(self):
        """Text of the primary selection, or None while we still own it ourselves."""
        self._sende(struct.pack("<BxHI", 23, 2, self.atom("PRIMARY")))
        besitzer = struct.unpack_from("<I", self._antwort(), 8)[0]
        if besitzer in (0, self.fenster):
            return None
        ziel = self.atom("TEMPIRO_E2E_AUSWAHL")
        self._sende(struct.pack("<BxHIIIII", 24, 6, self.fenster, self.atom("PRIMARY"),
                                self.atom("UTF8_STRING"), ziel, 0))
        ende = time.monotonic() + 3.0
        while True:
            gemeldet = [p for p in self.ereignisse if p[0] & 0x7F == 31]
            if gemeldet:
                self.ereignisse = [p for p in self.ereignisse if p[0] & 0x7F != 31]
                break
            p = self._paket(max(0.0, ende - time.monotonic()))
            if p is None:
                return None
            if p[0] == 0:
                raise RuntimeError("X error %d" % p[1])
            self.ereignisse.append(p)
        if struct.unpack_from("<I", gemeldet[0], 20)[0] == 0:
            return None  # the owner could not convert
        self._sende(struct.pack("<BBHIIIII", 20, 1, 6, self.fenster, ziel, 0, 0, 1 << 20))
        p = self._antwort()
        laenge = struct.unpack_from("<I", p, 16)[0] * (p[1] // 8)
        return p[32:32 + laenge].decode("utf-8", "replace")

    def close(self):
        self.s.close()


# --------------------------------------------------------------------------- sound

def lies_aufnahme(pfad):
    with open(pfad, "rb") as f:
        daten = f.read()
    daten = daten[:len(daten) // 2 * 2]
    return struct.unpack("<%dh" % (len(daten) // 2), daten)


def pegel(proben, fenster_ms):
    """RMS of consecutive windows."""
    n = RATE * fenster_ms // 1000
    werte = []
    for i in range(0, len(proben) - n + 1, n):
        summe = 0
        for p in proben[i:i + n]:
            summe += p * p
        werte.append((summe / n) ** 0.5)
    return werte


SCHWELLE = 150.0  # RMS; the null sink gives exact zeros while nothing plays


def laute_strecken(proben, luecke_ms=60):
    """Stretches of sound in seconds from the start, (begin, end), with gaps up
    to luecke_ms bridged."""
    werte = pegel(proben, 10)
    strecken = []
    for i, w in enumerate(werte):
        if w < SCHWELLE:
            continue
        t = i / 100.0
        if strecken and t - strecken[-1][1] <= luecke_ms / 1000.0:
            strecken[-1][1] = t + 0.01
        else:
            strecken.append([t, t + 0.01])
    return [tuple(s) for s in strecken]


def einsaetze(proben):
    """Times (s) where sound starts or jumps up sharply: clicks and word starts."""
    werte = pegel(proben, 5)
    zeiten = []
    letzter = -1.0
    for i in range(8, len(werte)):
        vorher = sum(werte[i - 8:i]) / 8.0
        if werte[i] >= SCHWELLE and werte[i] > 4.0 * vorher + 20.0:
            t = i * 0.005
            if t - letzter >= 0.15:
                zeiten.append(t)
                letzter = t
    return zeiten


def laengste_sekundenkette(zeiten, toleranz=0.2):
    """Longest chain of times each about one second after the one before."""
    beste = [1] * len(zeiten)
    for i, t in enumerate(zeiten):
        for j in range(i):
            if abs((t - zeiten[j]) - 1.0) <= toleranz:
                beste[i] = max(beste[i], beste[j] + 1)
    return max(beste, default=0)


# --------------------------------------------------------------------------- session

TONSERVER = {
    "pulseaudio": ["pulseaudio"],
    "pipewire": ["pipewire", "wireplumber", "pipewire-pulse", "dbus-daemon"],
}


def benoetigte_werkzeuge(mit_ton, server):
    namen = ["Xvfb", "xdotool"]
    if mit_ton:
        namen += TONSERVER[server] + ["parec", "pactl"]
    return [n for n in namen if shutil.which(n) is None]


def bibliotheken(binaer):
    """Shared libraries the binary names (DT_NEEDED), or None when unknown."""
    if shutil.which("readelf") is None:
        return None
    aus = subprocess.run(["readelf", "-d", binaer], capture_output=True, text=True).stdout
    return re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", aus)


class Sitzung:
    """One display, optionally one sound server, one working directory, and the
    program runs in them. Everything started here is stopped in aufraeumen()."""

    def __init__(self, binaer, mit_ton=True, behalten=False, server="pulseaudio"):
        self.binaer = os.path.abspath(binaer)
        self.tonserver = None  # the process the program talks to for sound
        self.server = server
        self.behalten = behalten
        self.prozesse = []
        self.app = None
        self.aufnahme = None
        self.x = None
        self.basis = tempfile.mkdtemp(prefix="tempiro-e2e-")
        self.arbeit = os.path.join(self.basis, "arbeit")
        self.heim = os.path.join(self.basis, "heim")
        self.laufzeit = os.path.join(self.basis, "laufzeit")
        for d in (self.arbeit, self.heim, self.laufzeit):
            os.makedirs(d)
        os.chmod(self.laufzeit, 0o700)
        # Private places for everything the tools look up, so nothing of the
        # machine's own desktop or sound set-up is used.
        self.umgebung = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": self.heim,
            "XDG_RUNTIME_DIR": self.laufzeit,
            "XDG_CONFIG_HOME": os.path.join(self.heim, ".config"),
            "PULSE_RUNTIME_PATH": os.path.join(self.laufzeit, "pulse"),
            "LANG": "C.UTF-8",
            "TZ": MEZ,
            "QT_QPA_PLATFORM": "xcb",
            "NO_AT_BRIDGE": "1",
        }
        pulse_conf = os.path.join(self.heim, ".config", "pulse")
        os.makedirs(pulse_conf)
        with open(os.path.join(pulse_conf, "client.conf"), "w") as f:
            f.write("autospawn = no\n")
        self._xvfb_starten()
        if mit_ton and server == "pipewire":
            self._pipewire_starten()
        elif mit_ton:
            self._pulse_starten()
        else:
            # No server anywhere: a socket path that does not exist.
            self.umgebung["PULSE_SERVER"] = "unix:" + os.path.join(self.basis, "kein-server")

    # ---- processes

    def _starten(self, befehl, ausgabe=None, modus="w", **kw):
        """Starts a process; its output goes to the file ausgabe (stderr too
        unless given), or nowhere."""
        datei = open(ausgabe, modus + "b") if ausgabe else None
        kw.setdefault("stdout", datei or subprocess.DEVNULL)
        kw.setdefault("stderr", subprocess.STDOUT if datei else subprocess.DEVNULL)
        try:
            p = subprocess.Popen(befehl, env=kw.pop("env", self.umgebung),
                                 preexec_fn=_sterben_mit_eltern, **kw)
        finally:
            if datei:
                datei.close()
        self.prozesse.append(p)
        return p

    def _xvfb_starten(self):
        lesen, schreiben = os.pipe()
        self._starten(["Xvfb", "-displayfd", str(schreiben), "-screen", "0", "800x600x24",
                       "-nolisten", "tcp"], pass_fds=(schreiben,))
        os.close(schreiben)
        text = b""
        ende = time.monotonic() + 20
        while not text.endswith(b"\n") and time.monotonic() < ende:
            bereit, _, _ = select.select([lesen], [], [], 1.0)
            if bereit:
                stueck = os.read(lesen, 64)
                if not stueck:
                    break
                text += stueck
        os.close(lesen)
        if not text.strip().isdigit():
            raise RuntimeError("Xvfb did not report a display number")
        self.anzeige = int(text)
        self.umgebung["DISPLAY"] = ":%d" % self.anzeige
        self.x = X11(self.anzeige)

    def _pulse_starten(self):
        # Idle sinks are suspended after one second, as desktops do after five.
        self.tonserver = self._starten(
            ["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
             "--load=module-null-sink sink_name=null",
             "--load=module-suspend-on-idle timeout=1",
             "--load=module-native-protocol-unix"],
            ausgabe=os.path.join(self.basis, "pulseaudio.log"))
        self.umgebung["PULSE_SERVER"] = "unix:" + os.path.join(self.laufzeit, "pulse", "native")
        if not warte_bis(lambda: self.senke() is not None, 15, 0.1):
            raise RuntimeError("the private sound server did not come up")

    def _bus_starten(self):
        """A private session bus; its address goes into the environment and is
        returned. The machine's desktop portal cannot be started on it: a
        service file in the runtime directory, which comes first, shadows it."""
        dienste = os.path.join(self.laufzeit, "dbus-1", "services")
        os.makedirs(dienste, exist_ok=True)
        with open(os.path.join(dienste, "org.freedesktop.portal.Desktop.service"), "w") as f:
            f.write("[D-BUS Service]\nName=org.freedesktop.portal.Desktop\nExec=/bin/false\n")
        lesen, schreiben = os.pipe()
        self._starten(["dbus-daemon", "--session", "--nofork", "--nopidfile",
                       "--print-address=%d" % schreiben], pass_fds=(schreiben,))
        os.close(schreiben)
        with os.fdopen(lesen) as f:
            adresse = f.readline().strip()
        if not adresse:
            raise RuntimeError("the private session bus did not start")
        self.umgebung["DBUS_SESSION_BUS_ADDRESS"] = adresse
        return adresse

    def _pipewire_starten(self):
        # WirePlumber without its device monitors: only the null sink exists.
        konfig = os.path.join(self.heim, ".config", "wireplumber")
        for teil, text in (("main.lua.d", "alsa_monitor.enabled = false\n"
                                          "v4l2_monitor.enabled = false\n"
                                          "libcamera_monitor.enabled = false\n"),
                           ("bluetooth.lua.d", "bluez_monitor.enabled = false\n")):
            os.makedirs(os.path.join(konfig, teil))
            with open(os.path.join(konfig, teil, "51-nur-nullsenke.lua"), "w") as f:
                f.write(text)
        self._bus_starten()
        self._starten(["pipewire"], ausgabe=os.path.join(self.basis, "pipewire.log"))
        if not warte_bis(lambda: os.path.exists(os.path.join(self.laufzeit, "pipewire-0")), 15):
            raise RuntimeError("pipewire did not come up")
        self._starten(["wireplumber"], ausgabe=os.path.join(self.basis, "wireplumber.log"))
        self.tonserver = self._starten(["pipewire-pulse"],
                                       ausgabe=os.path.join(self.basis, "pipewire-pulse.log"))
        self.umgebung["PULSE_SERVER"] = "unix:" + os.path.join(self.laufzeit, "pulse", "native")

        def pactl(*args):
            return subprocess.run(["pactl"] + list(args), env=self.umgebung, capture_output=True,
                                  text=True, timeout=10).returncode == 0
        if not warte_bis(lambda: pactl("info"), 15, 0.1):
            raise RuntimeError("pipewire-pulse did not come up")
        # WirePlumber suspends an idle node after this many seconds (5 unless set).
        if not pactl("load-module", "module-null-sink", "sink_name=null",
                     "sink_properties=session.suspend-timeout-seconds=1"):
            raise RuntimeError("pipewire-pulse did not create the null sink")
        if not warte_bis(lambda: self.senke() is not None and pactl("set-default-sink", "null"),
                         15, 0.1):
            raise RuntimeError("the null sink did not appear")

    def senke(self):
        """State of the null sink (RUNNING, IDLE or SUSPENDED), None without one."""
        try:
            aus = subprocess.run(["pactl", "list", "short", "sinks"], env=self.umgebung,
                                 capture_output=True, text=True, timeout=10).stdout
        except subprocess.TimeoutExpired:
            return None
        for zeile in aus.splitlines():
            felder = zeile.split("\t")
            if len(felder) >= 2 and felder[1] == "null":
                return felder[-1].strip()
        return None

    def aufnahme_starten(self):
        """Records the null sink from now on, mono 16 bit at RATE."""
        self.wachhalter = None
        if self.server == "pipewire":
            # PulseAudio keeps a sink whose monitor is recorded running; PipeWire
            # suspends it all the same, and the recording then has gaps. A silent
            # stream keeps it running while the recording lasts.
            self.wachhalter = self._starten(
                ["pacat", "--playback", "-d", "null", "--raw", "--format=s16le",
                 "--rate=%d" % RATE, "--channels=1", "/dev/zero"])
        self.aufnahme_pfad = os.path.join(self.basis, "aufnahme.raw")
        self.aufnahme = self._starten(
            ["parec", "-d", "null.monitor", "--raw", "--format=s16le", "--rate=%d" % RATE,
             "--channels=1", "--latency-msec=20"],
            ausgabe=self.aufnahme_pfad, stderr=subprocess.DEVNULL)
        if not warte_bis(lambda: os.path.getsize(self.aufnahme_pfad) > 0, 10):
            raise RuntimeError("parec delivers nothing")
        self.aufnahme_beginn = time.monotonic() - os.path.getsize(self.aufnahme_pfad) / (2.0 * RATE)

    def aufnahme_beenden(self):
        """Stops the recording; returns its samples."""
        gelaufen = time.monotonic() - self.aufnahme_beginn
        self.aufnahme.send_signal(signal.SIGINT)
        try:
            self.aufnahme.wait(5)
        except subprocess.TimeoutExpired:
            self.aufnahme.kill()
        if self.wachhalter:
            self.wachhalter.terminate()
            self.wachhalter.wait()
        proben = lies_aufnahme(self.aufnahme_pfad)
        fehlt = gelaufen - len(proben) / float(RATE)
        if fehlt > 0.3:
            raise AufnahmeLuecke("the recording lacks %.2f s of the %.1f s it ran"
                                 % (fehlt, gelaufen))
        return proben

    def programm_starten(self, faketime=None, als_nobody=False):
        umgebung = dict(self.umgebung)
        befehl = [self.binaer]
        if faketime:
            umgebung["LD_PRELOAD"] = FAKETIME_LIB
            umgebung["FAKETIME"] = faketime
            umgebung["FAKETIME_NO_CACHE"] = "1"
        if als_nobody:
            # A copy of the binary in a place the unprivileged user can reach.
            kopie = os.path.join(self.basis, "tempiro")
            shutil.copy2(self.binaer, kopie)
            os.chmod(self.basis, 0o755)
            befehl = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", kopie]
        self.app_log_pfad = os.path.join(self.basis, "tempiro.log")
        self.app = self._starten(befehl, ausgabe=self.app_log_pfad, modus="a", cwd=self.arbeit,
                                 env=umgebung)
        self.app_start = time.monotonic()
        return self.app

    # ---- windows

    def fenster(self, name):
        r = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % name],
                           env=self.umgebung, capture_output=True, text=True)
        return [int(z) for z in r.stdout.split()]

    def meldung(self):
        f = self.fenster("Tempiro")
        return f[0] if f else None

    def hauptfenster(self):
        f = self.fenster(HAUPTFENSTER)
        return f[0] if f else None

    def xdo(self, *args):
        subprocess.run(["xdotool"] + [str(a) for a in args], env=self.umgebung, check=True)

    def klick(self, fenster, punkt, anzahl=1):
        self.xdo("mousemove", "--window", fenster, punkt[0], punkt[1],
                 "click", "--repeat", anzahl, "--delay", 80, 1)

    def umschalten(self, fenster, punkt):
        """Clicks a check box and waits until its box is drawn anew; a click
        lost on a loaded machine is given once more."""
        kaestchen = (punkt[0] - 6, punkt[1] - 6, 13, 13)
        # The pointer first, so that its hover highlight is in the picture before.
        self.xdo("mousemove", "--window", fenster, punkt[0], punkt[1])
        time.sleep(0.15)
        vorher = self.x.bild(fenster, kaestchen)
        for _ in range(2):
            self.xdo("click", 1)
            if warte_bis(lambda: self.x.bild(fenster, kaestchen) != vorher, 2, 0.05):
                return
        raise Fehlschlag("the check box at %r does not change when clicked" % (punkt,))

    def tippen(self, text):
        self.xdo("type", "--delay", 40, text)

    def meldung_lesen(self, box):
        """Text of a message box: its text is selected with a triple click and
        read from the primary selection."""
        for y in (17, 14, 20, 24):
            self.x.auswahl_leeren()
            self.klick(box, (40, y), 3)
            text = warte_bis(self.x.auswahl_lesen, 1.5, 0.1)
            if text:
                return text.strip()
        return None

    def meldung_schliessen(self, box):
        self.xdo("mousemove", "--window", box, 10, 10)
        self.xdo("key", "Return")
        if not warte_bis(lambda: box not in self.fenster("Tempiro"), 10):
            raise Fehlschlag("the message box did not close on Return")

    def warte_auf_meldung(self, sekunden):
        box = warte_bis(self.meldung, sekunden)
        if not box:
            return None, None
        return box, self.meldung_lesen(box)

    def start_abwarten(self, sekunden=20):
        """Waits for the main window; message boxes that come first are read and
        closed with OK. Returns (window, texts of the boxes)."""
        texte = []
        ende = time.monotonic() + sekunden
        while time.monotonic() < ende:
            if self.app.poll() is not None:
                raise Fehlschlag("the program ended during start-up (status %d)"
                                 % self.app.returncode)
            haupt = self.hauptfenster()
            box = self.meldung()
            if box:
                text = self.meldung_lesen(box)
                print("  start-up message: %r" % text, flush=True)
                texte.append(text)
                self.meldung_schliessen(box)
                continue
            if haupt:
                self.fenster_bereit = time.monotonic()
                return haupt, texte
            time.sleep(0.05)
        raise Fehlschlag("no main window %r within %d s" % (HAUPTFENSTER, sekunden))

    def beenden(self, fenster, sekunden=10):
        """Closes the window as a window manager would; returns the exit status."""
        if self.app.poll() is not None:
            raise Fehlschlag("the program had already ended (status %d)" % self.app.returncode)
        self.x.schliessen_bitten(fenster)
        try:
            return self.app.wait(sekunden)
        except subprocess.TimeoutExpired:
            raise Fehlschlag("the program did not end within %d s of closing its window"
                             % sekunden)

    def zeitzeile_laeuft(self, fenster):
        """True when the clock line shows something else after a second and a half."""
        vorher = self.x.bild(fenster, ZEITZEILE)
        time.sleep(1.5)
        return self.x.bild(fenster, ZEITZEILE) != vorher

    def datei(self, name):
        pfad = os.path.join(self.arbeit, name)
        if not os.path.exists(pfad):
            return None
        with open(pfad, "rb") as f:
            return f.read()

    def schreibe(self, name, inhalt):
        with open(os.path.join(self.arbeit, name), "wb") as f:
            f.write(inhalt)

    def aufraeumen(self, gescheitert):
        if self.app and self.app.poll() is None:
            self.app.terminate()
        for p in reversed(self.prozesse):
            if p.poll() is None:
                p.terminate()
        for p in reversed(self.prozesse):
            try:
                p.wait(5)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
        if self.x:
            self.x.close()
        if gescheitert:
            # What the program and the servers said, the last of it.
            for name in sorted(os.listdir(self.basis)):
                if not name.endswith(".log"):
                    continue
                with open(os.path.join(self.basis, name), errors="replace") as f:
                    inhalt = f.read().strip()
                if inhalt:
                    print("--- %s:\n%s" % (name, inhalt[-3000:]))
        # Kept on request, or after a failure when TEMPIRO_E2E_BEHALTEN=1.
        if self.behalten or (gescheitert and os.environ.get("TEMPIRO_E2E_BEHALTEN") == "1"):
            print("kept: " + self.basis)
        else:
            shutil.rmtree(self.basis, ignore_errors=True)


# --------------------------------------------------------------------------- speech state

class Sprache:
    """Whether speech can be expected of this binary, and what to do without it."""

    def __init__(self, binaer):
        wahl = os.environ.get("TEMPIRO_E2E_SPRACHE")
        libs = bibliotheken(binaer) or []
        self.engine = any("espeak" in l for l in libs) if wahl is None else wahl == "1"
        self.tonausgabe = self.engine or any("pulse" in l for l in libs)
        self.verfuegbar = None
        self.uebersprungen = []

    def nach_start(self, meldungen):
        """Evaluates the start-up messages of a run with a working sound server."""
        gescheitert = SPRACH_MELDUNG in meldungen
        if gescheitert and self.engine:
            raise Fehlschlag("the binary carries a speech engine, a sound server runs, yet "
                             "start-up reports %r" % SPRACH_MELDUNG)
        self.verfuegbar = not gescheitert
        return self.verfuegbar

    def ueberspringen(self, was):
        text = "%s (the program reports no speech: the binary has no speech engine yet)" % was
        print("  SKIPPED: " + text, flush=True)
        self.uebersprungen.append(text)


def stempel_pruefen(zeilen, erste_nummer=1):
    for i, zeile in enumerate(zeilen):
        m = STEMPEL_ZEILE.match(zeile)
        pruefe(m is not None, "line %r has the form NN DD.MM.YYYY HH:MM:SS,hh" % zeile)
        pruefe(int(m.group(1)) == erste_nummer + i and len(m.group(1)) == 2,
               "line %d is numbered %02d" % (i + 1, erste_nummer + i))


def zeilen(inhalt):
    """Lines of a file that must end every line with CR LF."""
    pruefe(inhalt.endswith(b"\r\n"), "the file ends with CR LF")
    teile = inhalt[:-2].split(b"\r\n")
    pruefe(all(b"\n" not in t and b"\r" not in t for t in teile), "every line ends with CR LF")
    return teile


# --------------------------------------------------------------------------- scenarios

FRUEHER = b"01 04.12.2026 09:15:00,25\r\n02 04.12.2026 09:16:41,07\r\n"


def szenario_start(s, sprache):
    """Start-up: window, client area, log file kept, voice number written."""
    s.schreibe("zeitnehmung.txt", FRUEHER)
    s.programm_starten()
    fenster, meldungen = s.start_abwarten()
    if not meldungen:
        print("  measured: window mapped %.2f s after the process start"
              % (s.fenster_bereit - s.app_start))
    sprache.nach_start(meldungen)
    geo = subprocess.run(["xdotool", "getwindowgeometry", str(fenster)], env=s.umgebung,
                         capture_output=True, text=True).stdout
    pruefe("Geometry: 312x221" in geo, "client area is 312 x 221 (%s)"
           % " ".join(geo.split("Geometry:")[-1].split()))
    pruefe(s.zeitzeile_laeuft(fenster), "the clock line changes every second")
    pruefe(s.datei("zeitnehmung.txt") == FRUEHER, "zeitnehmung.txt keeps its earlier lines")
    if sprache.verfuegbar:
        pruefe(s.datei("SprecherNr.txt") == b"0\r\n", 'SprecherNr.txt holds exactly "0" CR LF')
    else:
        sprache.ueberspringen('SprecherNr.txt holds "0" CR LF after start-up')
    pruefe(s.beenden(fenster) == 0, "closing ends the program with status 0")
    pruefe(s.datei("zeitnehmung.txt") == FRUEHER, "an empty run adds nothing to the log")


def stempel_zeit(zeile):
    """The instant a stamp line names (time.time() clock), read in the
    program's time zone."""
    m = STEMPEL_ZEILE.match(zeile)
    tag, monat, jahr, h, mi, se, hu = (int(m.group(i)) for i in range(2, 9))
    alt = os.environ.get("TZ")
    os.environ["TZ"] = MEZ
    time.tzset()
    t = time.mktime((jahr, monat, tag, h, mi, se, 0, 0, -1)) + hu / 100.0
    os.environ["TZ"] = alt if alt is not None else "UTC"
    time.tzset()
    return t


def szenario_zeit_speichern(s, sprache):
    """Presses of "Zeit speichern" (by XTest, their times logged) stamp the
    moment of the press: idle, during "Ansage Zeit", with both cores busy."""
    from Xlib import X, display
    from Xlib.ext import xtest
    x = display.Display(s.umgebung["DISPLAY"])
    s.programm_starten()
    fenster, meldungen = s.start_abwarten()
    sprache.nach_start(meldungen)
    gedrueckt = []

    def druecken():
        s.xdo("mousemove", "--window", fenster, *ZEIT_SPEICHERN)
        time.sleep(0.2)
        vorher = time.time()
        xtest.fake_input(x, X.ButtonPress, 1)
        x.sync()
        gedrueckt.append((vorher + time.time()) / 2)
        xtest.fake_input(x, X.ButtonRelease, 1)
        x.sync()
    druecken()
    druecken()
    if sprache.verfuegbar:
        s.klick(fenster, ANSAGE_ZEIT)
        time.sleep(1.0)
        druecken()  # handled after the phrase
    last = s._starten(["stress-ng", "--cpu", "2", "--timeout", "30"])
    time.sleep(1.0)
    for _ in range(3):
        druecken()
    pruefe(warte_bis(lambda: (s.datei("zeitnehmung.txt") or b"").count(b"\r\n") ==
                     len(gedrueckt), 15), "%d presses wrote %d lines" % ((len(gedrueckt),) * 2))
    last.terminate()
    neu = zeilen(s.datei("zeitnehmung.txt"))
    stempel_pruefen(neu)
    abstaende = [stempel_zeit(z) - t for z, t in zip(neu, gedrueckt)]
    print("  measured: stamp minus press, ms: %s" % " ".join("%+.0f" % (1000 * a)
                                                             for a in abstaende), flush=True)
    pruefe(all(-0.05 <= a <= 0.05 for a in abstaende),
           "every stamp lies within 50 ms of its press (idle, after \"Ansage Zeit\", loaded)")
    pruefe(s.beenden(fenster) == 0, "closing ends the program with status 0")


def mit_sprache_starten(s, sprache, was):
    """Starts the program for a check that needs speech; skips the scenario,
    naming the check, when the program has no speech here."""
    s.programm_starten()
    fenster, meldungen = s.start_abwarten()
    if not sprache.nach_start(meldungen):
        sprache.ueberspringen(was)
        raise Uebersprungen("needs speech")
    return fenster


def szenario_ansage_datum(s, sprache):
    """'Ansage Datum': German speech reaches the sound server."""
    fenster = mit_sprache_starten(s, sprache, '"Ansage Datum" is heard on the sound server')
    s.aufnahme_starten()
    t0 = time.monotonic()
    s.klick(fenster, ANSAGE_DATUM)
    # The date is spoken in a few seconds; wait until the sound has been quiet
    # for a while after it began (or give up after 20 s).
    def ruhig():
        proben = lies_aufnahme(s.aufnahme_pfad)
        strecken = laute_strecken(proben)
        ende = len(proben) / RATE
        return strecken and ende - strecken[-1][1] > 1.5
    warte_bis(ruhig, 20, 0.3)
    proben = s.aufnahme_beenden()
    strecken = laute_strecken(proben)
    pruefe(strecken, "the recording is not silent")
    versatz = s.aufnahme_beginn - t0
    beginn = strecken[0][0] + versatz
    dauer = strecken[-1][1] - strecken[0][0]
    laut = sum(b - a for a, b in strecken)
    print("  measured: speech begins %.2f s after the click, lasts %.2f s, %.2f s of it sound"
          % (beginn, dauer, laut))
    pruefe(beginn < 3.0, "speech begins within 3 s of the click")
    # Weekday, day, month and year at a slowed rate: a few seconds of speech,
    # far more than a click and far less than a stuck stream.
    pruefe(1.0 <= dauer <= 15.0, "the spoken date lasts a plausible 1 to 15 s")
    pruefe(s.beenden(fenster) == 0, "closing ends the program with status 0")


def belichtung_15s_einstellen(s, sprache):
    """Starts the program and sets up an exposure countdown of 15 s with the
    beat on and the end message wanted; returns the window."""
    s.programm_starten()
    fenster, meldungen = s.start_abwarten()
    sprache.nach_start(meldungen)
    s.klick(fenster, SEKUNDEN_TEXT)
    s.xdo("key", "ctrl+a")
    s.tippen("15")
    s.umschalten(fenster, BELICHTUNGSUHR)
    s.klick(fenster, BEAT_START)
    s.umschalten(fenster, MSGBOX_VORBEI)
    return fenster


def szenario_countdown(s, sprache):
    """A 15-second exposure countdown with the beat on, ending by itself."""
    fenster = belichtung_15s_einstellen(s, sprache)
    if sprache.verfuegbar:
        # The spoken countdown is switched off for the first seconds, so the
        # beat can be heard alone; it is switched on again further down.
        s.umschalten(fenster, COUNTDOWN)
    ruhe = s.x.bild(fenster, START_BESCHRIFTUNG)
    s.aufnahme_starten()
    # The pointer is moved first, so the click itself is all that lies between
    # t0 and the start.
    s.xdo("mousemove", "--window", fenster, TIMER_START[0], TIMER_START[1])
    t0 = time.monotonic()
    s.xdo("click", 1)
    time.sleep(1.0)
    pruefe(s.x.bild(fenster, START_BESCHRIFTUNG) != ruhe, "the start button changes its caption")
    t_sprache = None
    if sprache.verfuegbar:
        time.sleep(max(0.0, t0 + 8.0 - time.monotonic()))
        s.umschalten(fenster, COUNTDOWN)
        t_sprache = time.monotonic() - t0
    box = warte_bis(s.meldung, 40, 0.05)
    t1 = time.monotonic()
    pruefe(box is not None, "a message box appears by itself")
    proben = s.aufnahme_beenden()
    text = s.meldung_lesen(box)
    pruefe(text == VORBEI_MELDUNG, "it says %r (%r)" % (VORBEI_MELDUNG, text))
    print("  measured: the countdown ended %.2f s after the press of \"Timer Start\"" % (t1 - t0))
    pruefe(24.0 <= t1 - t0 <= 30.0, "the countdown of 15 s ends 24 to 30 s after the start "
           "(ten seconds of overrun)")
    s.meldung_schliessen(box)
    time.sleep(0.5)
    pruefe(s.x.bild(fenster, START_BESCHRIFTUNG) == ruhe, 'the caption is "Timer Start" again')

    # The recording on the clock of t0: the press at 0, the end at t1 - t0.
    versatz = s.aufnahme_beginn - t0
    strecken = [(a + versatz, b + versatz) for a, b in laute_strecken(proben)]
    zeiten = [t + versatz for t in einsaetze(proben)]
    # The beat alone: before the spoken countdown is switched on again, or the
    # whole run when there is no speech.
    ende_a = (t_sprache - 0.3) if t_sprache else (t1 - t0)
    beats = [t for t in zeiten if 0.0 < t < ende_a]
    kette = laengste_sekundenkette(beats)
    erwartet = int(ende_a) - 2
    laengste_a = max((min(b, ende_a) - a for a, b in strecken if 0.0 < a < ende_a), default=0.0)
    print("  measured: %d sound onsets in the first %.1f s, %d of them a second apart in a row, "
          "longest sound %.2f s" % (len(beats), ende_a, kette, laengste_a))
    if sprache.tonausgabe:
        pruefe(kette >= erwartet, "the recording holds beat clicks a second apart "
               "(%d in a row, at least %d)" % (kette, erwartet))
        pruefe(laengste_a < 0.3, "the beat clicks are short and nothing else sounds "
               "while the spoken countdown is off")
    else:
        text = ("beat clicks in the recording (the binary has no sound output of its own: "
                "its beat goes to the display's bell, which no sound server hears)")
        print("  SKIPPED: " + text)
        sprache.uebersprungen.append(text)
    if sprache.verfuegbar:
        # From here every second down to 0 and up to 10 is spoken: words are
        # longer than beat clicks and fill much of the time.
        spaet = [(max(a, t_sprache), b) for a, b in strecken if b > t_sprache]
        laut = sum(b - a for a, b in spaet)
        laengste = max((b - a for a, b in spaet), default=0.0)
        # Each number is a stretch of sound far longer than a click, one a second.
        woerter = [a for a, b in spaet if b - a >= 0.25 and a > t_sprache + 0.5]
        wortkette = laengste_sekundenkette(woerter)
        print("  measured: after the spoken countdown was switched on again: %.1f s of sound, "
              "longest %.2f s, %d words, %d of them a second apart in a row"
              % (laut, laengste, len(woerter), wortkette))
        pruefe(laengste >= 0.3 and laut >= 4.0,
               "the last seconds are spoken (%.1f s of sound, longest %.2f s)" % (laut, laengste))
        erwartet_woerter = int(t1 - t0 - t_sprache) - 4
        pruefe(wortkette >= erwartet_woerter, "the spoken numbers come a second apart "
               "(%d in a row, at least %d)" % (wortkette, erwartet_woerter))
    else:
        sprache.ueberspringen("the spoken last seconds in the recording")
    pruefe(s.beenden(fenster) == 0, "closing ends the program with status 0")


def szenario_sprecherwahl(s, sprache):
    """Voice '1' picked in the list is written and chosen again after a restart."""
    fenster = mit_sprache_starten(s, sprache, 'picking voice "1" rewrites SprecherNr.txt')
    pruefe(s.datei("SprecherNr.txt") == b"0\r\n", 'SprecherNr.txt holds "0" CR LF at first')
    time.sleep(0.3)
    liste_0 = s.x.bild(fenster, SPRECHER_RECHTECK)
    # The list shows one row; a click takes the focus, the arrow key moves on
    # to the next voice, as a person would do it.
    s.klick(fenster, SPRECHER_LISTE)
    s.xdo("key", "Down")
    geschrieben = warte_bis(lambda: s.datei("SprecherNr.txt") == b"1\r\n", 5)
    if not geschrieben and s.datei("SprecherNr.txt") == b"0\r\n":
        raise Uebersprungen("only one voice is installed, there is no voice 1 to pick")
    pruefe(geschrieben, 'SprecherNr.txt holds "1" CR LF after picking voice 1 (%r)'
           % s.datei("SprecherNr.txt"))
    # The focus leaves the list, so it looks as it will after a restart.
    s.klick(fenster, SEKUNDEN_TEXT)
    time.sleep(0.3)
    liste_1 = s.x.bild(fenster, SPRECHER_RECHTECK)
    pruefe(liste_1 != liste_0, "the list shows another entry")
    pruefe(s.beenden(fenster) == 0, "closing ends the program with status 0")
    s.programm_starten()
    fenster, meldungen = s.start_abwarten()
    pruefe(meldungen == [], "the restart shows no message (%r)" % meldungen)
    time.sleep(0.3)
    pruefe(s.x.bild(fenster, SPRECHER_RECHTECK) == liste_1,
           "after the restart the list shows voice 1 selected, as before the restart")
    pruefe(s.datei("SprecherNr.txt") == b"1\r\n", 'SprecherNr.txt still holds "1" CR LF')
    pruefe(s.beenden(fenster) == 0, "closing ends the program with status 0")


def szenario_schliessen(s, sprache):
    """Closing mid-countdown (and mid-speech) ends with status 0 and keeps every stamp."""
    s.programm_starten()
    fenster, meldungen = s.start_abwarten()
    sprache.nach_start(meldungen)
    s.klick(fenster, SEKUNDEN_TEXT)
    s.xdo("key", "ctrl+a")
    s.tippen("40")
    s.umschalten(fenster, BELICHTUNGSUHR)
    s.klick(fenster, BEAT_START)
    s.klick(fenster, TIMER_START)
    time.sleep(1.2)
    s.klick(fenster, ZEIT_SPEICHERN)
    s.klick(fenster, ZEIT_SPEICHERN)
    if sprache.verfuegbar:
        # The date takes seconds to say: the close comes in the middle of it.
        s.klick(fenster, ANSAGE_DATUM)
        time.sleep(0.5)
    t = time.monotonic()
    status = s.beenden(fenster)
    print("  measured: the process ended %.2f s after the close request" % (time.monotonic() - t))
    pruefe(status == 0, "the window's close ends the program with status 0 (%d)" % status)
    inhalt = s.datei("zeitnehmung.txt")
    pruefe(inhalt is not None, "zeitnehmung.txt exists")
    neu = zeilen(inhalt)
    pruefe(len(neu) == 2, "both stamps are in the file (%d lines)" % len(neu))
    stempel_pruefen(neu)


def szenario_ohne_tonserver(s, sprache):
    """No sound server at all: start-up does not hang and the window works."""
    s.programm_starten()
    fenster, meldungen = s.start_abwarten(sekunden=20)
    print("  measured: window mapped %.2f s after the process start, messages %r"
          % (s.fenster_bereit - s.app_start, meldungen))
    pruefe(s.fenster_bereit - s.app_start < 10.0, "the window appears within 10 s")
    pruefe(all(m in (SPRACH_MELDUNG,) for m in meldungen),
           "start-up shows at most the speech message (%r)" % meldungen)
    pruefe(s.zeitzeile_laeuft(fenster), "the clock line runs")
    # Asking for speech must not block the window: a stamp right after it is
    # written at once.
    s.klick(fenster, ANSAGE_ZEIT)
    s.klick(fenster, ANSAGE_DATUM)
    s.klick(fenster, ZEIT_SPEICHERN)
    pruefe(warte_bis(lambda: s.datei("zeitnehmung.txt"), 5),
           "a stamp right after the speech buttons is written")
    stempel_pruefen(zeilen(s.datei("zeitnehmung.txt")))
    pruefe(s.meldung() is None, "no message box is open")
    pruefe(s.beenden(fenster) == 0, "closing ends the program with status 0")


def szenario_log_schreibgeschuetzt(s, sprache):
    """A read-only zeitnehmung.txt: the message at start and at a press; the window works."""
    s.schreibe("zeitnehmung.txt", FRUEHER)
    pfad = os.path.join(s.arbeit, "zeitnehmung.txt")
    os.chmod(pfad, 0o444)
    als_nobody = os.geteuid() == 0
    if als_nobody:
        # For root nothing is read-only: the program runs as an unprivileged
        # user in a directory it owns, and the log file alone belongs to root.
        if shutil.which("setpriv") is None:
            raise Uebersprungen("setpriv is missing: a read-only file cannot be made real for root")
        try:
            for d in (s.arbeit, s.heim, s.laufzeit):
                os.chown(d, 65534, 65534)
        except OSError as e:
            raise Uebersprungen("cannot hand the directory to an unprivileged user: %s" % e)
        probe = subprocess.run(
            ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "sh", "-c",
             "test -w . && ! test -w zeitnehmung.txt"], cwd=s.arbeit, capture_output=True)
        if probe.returncode != 0:
            raise Uebersprungen("running as an unprivileged user does not give a read-only "
                                "file here: %s" % probe.stderr.decode(errors="replace").strip())
    s.programm_starten(als_nobody=als_nobody)
    fenster, meldungen = s.start_abwarten()
    pruefe(LOG_MELDUNG in meldungen, "start-up says %r (%r)" % (LOG_MELDUNG, meldungen))
    pruefe(s.zeitzeile_laeuft(fenster), "after OK the clock line runs")
    s.klick(fenster, ZEIT_SPEICHERN)
    box, text = s.warte_auf_meldung(5)
    pruefe(box is not None and text == LOG_MELDUNG,
           "a press of \"Zeit speichern\" says so again (%r)" % text)
    s.meldung_schliessen(box)
    pruefe(s.datei("zeitnehmung.txt") == FRUEHER, "the read-only file is unchanged")
    pruefe(s.zeitzeile_laeuft(fenster), "the window still works")
    pruefe(s.beenden(fenster) == 0, "closing ends the program with status 0")


def szenario_sprecher_999(s, sprache):
    """A voice number past the last voice: the speech message, the log still works."""
    s.schreibe("SprecherNr.txt", b"999\r\n")
    s.programm_starten()
    fenster, meldungen = s.start_abwarten()
    pruefe(meldungen == [SPRACH_MELDUNG], "start-up says only %r (%r)"
           % (SPRACH_MELDUNG, meldungen))
    pruefe(s.datei("SprecherNr.txt") == b"999\r\n", "SprecherNr.txt is left as it was")
    s.klick(fenster, ANSAGE_DATUM)  # disabled: nothing happens, nothing hangs
    s.klick(fenster, ZEIT_SPEICHERN)
    pruefe(warte_bis(lambda: s.datei("zeitnehmung.txt"), 5), "a press writes a line")
    stempel_pruefen(zeilen(s.datei("zeitnehmung.txt")))
    pruefe(s.meldung() is None, "no message box is open")
    pruefe(s.beenden(fenster) == 0, "closing ends the program with status 0")


def szenario_tonserver_stirbt(s, sprache):
    """The sound server dies in the middle of a spoken countdown with the beat on:
    the countdown goes on and ends on time, and the window keeps answering."""
    fenster = belichtung_15s_einstellen(s, sprache)
    s.xdo("mousemove", "--window", fenster, TIMER_START[0], TIMER_START[1])
    t0 = time.monotonic()
    s.xdo("click", 1)
    time.sleep(max(0.0, t0 + 10.0 - time.monotonic()))
    pruefe(s.tonserver is not None, "a sound server runs for this scenario")
    s.tonserver.kill()
    s.tonserver.wait()
    # A press in the last seconds, while speech and beat find no server.
    time.sleep(3.0)
    s.klick(fenster, ZEIT_SPEICHERN)
    box = warte_bis(s.meldung, 40, 0.05)
    t1 = time.monotonic()
    pruefe(box is not None, "the countdown still ends by itself")
    pruefe(s.meldung_lesen(box) == VORBEI_MELDUNG, "with its message")
    print("  measured: the countdown ended %.2f s after the start" % (t1 - t0))
    pruefe(24.0 <= t1 - t0 <= 30.0, "it ends on time, 24 to 30 s after the start")
    s.meldung_schliessen(box)
    stempel_pruefen(zeilen(s.datei("zeitnehmung.txt")))
    pruefe(len(zeilen(s.datei("zeitnehmung.txt"))) == 1, "the press during the outage is on disk")
    pruefe(s.beenden(fenster) == 0, "closing ends the program with status 0")


def szenario_senke_wach(s, sprache):
    """A spoken 35-second exposure countdown: the sink never sleeps while it
    runs, though "Noch 30 Sekunden" and "Noch 20 Sekunden" are ten seconds
    apart, and sleeps again soon after it; the idle clock lets it sleep."""
    fenster = mit_sprache_starten(s, sprache, "the sink stays awake during a spoken countdown")
    t = time.monotonic()
    pruefe(warte_bis(lambda: s.senke() == "SUSPENDED", 10, 0.25),
           "the idle clock lets the sink sleep within 10 s of its start")
    print("  measured: the sink slept %.1f s after the window appeared" % (time.monotonic() - t))
    s.klick(fenster, SEKUNDEN_TEXT)
    s.xdo("key", "ctrl+a")
    s.tippen("35")
    s.umschalten(fenster, BELICHTUNGSUHR)
    s.umschalten(fenster, MSGBOX_VORBEI)
    s.xdo("mousemove", "--window", fenster, TIMER_START[0], TIMER_START[1])
    t0 = time.monotonic()
    s.xdo("click", 1)
    # No recording runs: a monitor being recorded would itself keep the sink awake.
    zustaende = []
    time.sleep(0.3)
    while True:
        box = s.meldung()
        if box or time.monotonic() - t0 > 60:
            break
        zustaende.append((time.monotonic() - t0, s.senke()))
        time.sleep(0.25)
    t1 = time.monotonic()
    pruefe(box is not None, "the countdown ends with its message")
    schlafend = ["%.1f s" % t for t, z in zustaende if z != "RUNNING"]
    print("  measured: %d polls over %.1f s, not running at %s"
          % (len(zustaende), t1 - t0, ", ".join(schlafend) or "none"))
    pruefe(len(zustaende) >= 80, "the sink was polled all through the countdown")
    pruefe(not schlafend, "the sink runs all through the countdown, never suspended")
    pruefe(44.0 <= t1 - t0 <= 50.0, "the countdown of 35 s ends 44 to 50 s after the start")
    t2 = warte_bis(lambda: s.senke() == "SUSPENDED" and time.monotonic(), 10, 0.25)
    pruefe(t2, "within 10 s after the countdown has ended the sink sleeps again")
    print("  measured: the sink slept %.1f s after the end" % (t2 - t1))
    s.meldung_schliessen(box)
    pruefe(s.beenden(fenster) == 0, "closing ends the program with status 0")


SZENARIEN = {
    "start": (szenario_start, True),
    "zeit_speichern": (szenario_zeit_speichern, True),
    "ansage_datum": (szenario_ansage_datum, True),
    "countdown": (szenario_countdown, True),
    "sprecherwahl": (szenario_sprecherwahl, True),
    "schliessen": (szenario_schliessen, True),
    "ohne_tonserver": (szenario_ohne_tonserver, False),
    "log_schreibgeschuetzt": (szenario_log_schreibgeschuetzt, True),
    "sprecher_999": (szenario_sprecher_999, True),
    "tonserver_stirbt": (szenario_tonserver_stirbt, True),
    "senke_wach": (szenario_senke_wach, True),
}


class Zeitablauf(Exception):
    pass


def _zeit_abgelaufen(*_):
    raise Zeitablauf()


def main(szenarien=SZENARIEN, neue_sitzung=None, werkzeuge=None):
    """Runs one scenario of szenarien (name -> (function, option)). Here the
    option says whether the scenario needs a sound server. Other scenario files
    pass their own table and, for their own option, how to make the session,
    neue_sitzung(args, option), and which tools are missing, werkzeuge(args,
    name, option)."""
    if neue_sitzung is None:
        def neue_sitzung(a, mit_ton):
            return Sitzung(a.binary, mit_ton=mit_ton, behalten=a.keep, server=a.server)
    if werkzeuge is None:
        def werkzeuge(a, name, mit_ton):
            return benoetigte_werkzeuge(mit_ton, a.server)
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--binary", help="the tempiro executable")
    ap.add_argument("--keep", action="store_true", help="keep the temporary directory")
    ap.add_argument("--limit", type=int, default=100, help="seconds before the run is given up")
    ap.add_argument("--server", choices=sorted(TONSERVER), default="pulseaudio",
                    help="the sound server the program plays to")
    ap.add_argument("--list", action="store_true")
    ap.add_argument("szenario", nargs="?", choices=sorted(szenarien))
    a = ap.parse_args()
    if a.list:
        for name, (f, _) in szenarien.items():
            print("%-22s %s" % (name, f.__doc__))
        return 0
    if not a.binary or not a.szenario:
        ap.error("--binary and a scenario are needed")
    funktion, option = szenarien[a.szenario]
    print("scenario %s on %s: %s" % (a.szenario, a.server, funktion.__doc__), flush=True)
    fehlt = werkzeuge(a, a.szenario, option)
    if fehlt:
        if a.server == "pipewire":
            print("SKIPPED: PipeWire is not installed here (missing %s); ./test.sh installs "
                  "pipewire, wireplumber and pipewire-pulse under CI or with TEMPIRO_PIPEWIRE=1"
                  % " ".join(fehlt))
        else:
            print("missing tools: %s (installed by ./test.sh)" % " ".join(fehlt))
        return 1 if os.environ.get("CI") else 77
    if not os.access(a.binary, os.X_OK):
        print("no executable at %s" % a.binary)
        return 1
    signal.signal(signal.SIGALRM, _zeit_abgelaufen)
    signal.signal(signal.SIGTERM, _zeit_abgelaufen)
    signal.alarm(a.limit)
    sitzung = None
    gescheitert = True
    try:
        for versuch in (1, 2):
            sprache = Sprache(a.binary)
            sitzung = neue_sitzung(a, option)
            try:
                funktion(sitzung, sprache)
                break
            except AufnahmeLuecke as e:
                if versuch == 2:
                    raise Fehlschlag("twice: %s" % e)
                print("  %s: the scenario runs once more" % e, flush=True)
                sitzung.aufraeumen(False)
                sitzung = None
        gescheitert = False
        if sprache.uebersprungen:
            print("passed; skipped: " + "; ".join(sprache.uebersprungen))
        else:
            print("passed")
        return 0
    except Uebersprungen as e:
        gescheitert = False
        print("SKIPPED: %s" % e)
        return 77
    except Fehlschlag as e:
        print("FAILED: %s" % e)
        return 1
    except Zeitablauf:
        print("FAILED: the scenario did not finish within %d s" % a.limit)
        return 1
    finally:
        signal.alarm(0)
        if sitzung:
            sitzung.aufraeumen(gescheitert)


if __name__ == "__main__":
    sys.exit(main())
