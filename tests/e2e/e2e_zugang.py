#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""End-to-end scenarios of the real tempiro binary through the accessibility bus.

A screen reader sees the program only through AT-SPI. These scenarios do the
same: each runs its own session bus with the accessibility bus launcher on it,
starts the program with Qt's accessibility bridge switched on, and finds,
reads and operates the controls over the bus alone (python3-pyatspi), under
X11 (Xvfb) and under Wayland (weston's headless backend, no X server at all).
A third scenario takes the window at a scale factor of 2 and compares the
picture with its large version.

Qt 6.4 puts no object names on the bus, so each control is found by what the
window definition gives for it: its rectangle in the window and its kind.

Usage: e2e_zugang.py --binary PATH SCENARIO     (--list shows the scenarios)

Exit status: 0 passed, 1 failed, 77 skipped (a tool is missing outside CI).

Runs with Debian's /usr/bin/python3, which has python3-pyatspi; the session
helpers come from tempiro_e2e.py beside it.
"""

import os
import re
import shutil
import signal
import subprocess
import sys
import time

# The helpers beside this file, imported without leaving compiled files in
# the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from tempiro_e2e import (  # noqa: E402
    Fehlschlag, HAUPTFENSTER, Sitzung, VORBEI_MELDUNG, _rechteck, lies_aufnahme,
    laute_strecken, main, pruefe, stempel_pruefen, warte_bis, zeilen)

BUS_STARTER = "/usr/libexec/at-spi-bus-launcher"
GROSSES_BILD = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "src",
                            "app", "bild@2x.jpg")

# The controls a user operates, by their names in the window definition: the
# rectangle there (twips: left, top, width, height), the kind the bus reports,
# and the accessible name a screen reader reads.
CONTROLS = [
    ("Check_MldVorbei", (1920, 3000, 1455, 255), "check box", "Msgbox Vorbei"),
    ("btn_ZeitSpeichern", (240, 2880, 1575, 375), "push button", "Zeit speichern"),
    ("Command_Datumsansage", (120, 600, 1215, 255), "push button", "Ansage Datum"),
    ("Command_Zeitansage", (1440, 600, 1215, 255), "push button", "Ansage Zeit"),
    ("Check_Dauer", (1920, 2520, 1455, 255), "check box", "BelichtungsUhr"),
    ("Combo_Morgen", (120, 1200, 975, 315), "combo box", "Tag (Heute oder Morgen)"),
    ("Command_Start", (1560, 1680, 1215, 495), "push button", "Timer Start"),
    ("Check_CountDown", (1920, 2760, 1215, 255), "check box", "CountDown"),
    ("Text_RestZeit", (120, 1800, 1335, 285), "text", "Restzeit"),
    ("Combo_H", (1200, 1200, 615, 315), "combo box", "Stunden"),
    ("Combo_M", (1800, 1200, 615, 315), "combo box", "Minuten"),
    ("Combo_S", (2400, 1200, 615, 315), "combo box", "Sekunden"),
    ("Check_SprachAusgabe", (1920, 2280, 2655, 255), "check box", 'Sprachausgabe "Babbelina"'),
    ("List_Sprecher", (3360, 2760, 495, 255), "list", "Sprecher"),
    ("Command2", (1080, 2400, 615, 255), "push button", "stop"),
    ("Command1", (360, 2400, 615, 255), "push button", "start"),
]
# What the window shows without being operated.
ANZEIGEN = [
    ("Image1", (2880, 120, 1725, 2160), "image", "Sanduhr"),
    ("Label_Zeitanzeige", (240, 360, 2535, 255), "label", "Aktuelle Zeit"),
]
ZEITZEILE = re.compile(r"^\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d MES?Z$")
RESTZEIT = re.compile(r"^ in 00:00:(\d\d)$")
COUNTDOWN_SEKUNDEN = 6

pyatspi = None  # imported once the private session bus is known


class ZugangsSitzung(Sitzung):
    """A session with its own session bus and accessibility bus, on Xvfb or,
    with wayland=True, on a headless weston instead of any X server."""

    def __init__(self, binaer, wayland=False, **kw):
        self.wayland = wayland
        super().__init__(binaer, **kw)
        self._busse_starten()
        self.umgebung["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"

    def _xvfb_starten(self):
        if not self.wayland:
            super()._xvfb_starten()
            return
        name = "tempiro-e2e-wayland"
        self._starten(["weston", "--backend=headless-backend.so", "--socket=" + name,
                       "--idle-time=0", "--no-config"],
                      ausgabe=os.path.join(self.basis, "weston.log"))
        if not warte_bis(lambda: os.path.exists(os.path.join(self.laufzeit, name)), 15, 0.1):
            raise RuntimeError("weston did not open its socket")
        self.umgebung["WAYLAND_DISPLAY"] = name
        self.umgebung["QT_QPA_PLATFORM"] = "wayland"
        # What the program tells the compositor, in the program's output.
        self.umgebung["WAYLAND_DEBUG"] = "1"

    def _busse_starten(self):
        if "DBUS_SESSION_BUS_ADDRESS" not in self.umgebung:
            self._bus_starten()
        adresse = self.umgebung["DBUS_SESSION_BUS_ADDRESS"]
        self._starten([BUS_STARTER, "--launch-immediately"])
        # This process reads the bus as a screen reader would: through the
        # same session bus, and never through another display's.
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = adresse
        os.environ.pop("DISPLAY", None)
        os.environ.pop("AT_SPI_BUS_ADDRESS", None)
        global pyatspi
        if pyatspi is None:
            import pyatspi as modul
            pyatspi = modul

        def bereit():
            try:
                desktop = pyatspi.Registry.getDesktop(0)
                return desktop is not None and desktop.childCount >= 0
            except Exception:
                return False
        if not warte_bis(bereit, 15, 0.1):
            raise RuntimeError("the accessibility bus did not come up")
        # Nothing cached: every read asks the program.
        pyatspi.Registry.getDesktop(0).set_cache_mask(pyatspi.Atspi.Cache.NONE)

    # ---- the program on the bus

    def anwendung(self):
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            a = desktop.getChildAtIndex(i)
            if a is not None and a.name == "tempiro":
                return a
        return None

    def oberste(self, rolle, name=None):
        """The program's top-level windows of a kind (and name)."""
        a = self.anwendung()
        if a is None:
            return []
        gefunden = []
        for i in range(a.childCount):
            k = a.getChildAtIndex(i)
            if k is not None and k.getRoleName() == rolle and (name is None or k.name == name):
                gefunden.append(k)
        return gefunden

    def meldung_ueber_bus(self):
        """An open message box: (the alert, its text), or (None, None)."""
        for box in self.oberste("alert"):
            texte = [k.name for k in kinder(box) if k.getRoleName() == "label" and k.name]
            return box, " ".join(texte)
        return None, None

    def start_ueber_bus(self, sekunden=20):
        """Waits for the main window on the bus; message boxes that come first
        are read and closed with their OK, over the bus. Returns (window, texts)."""
        texte = []
        ende = time.monotonic() + sekunden
        while time.monotonic() < ende:
            if self.app.poll() is not None:
                raise Fehlschlag("the program ended during start-up (status %d)"
                                 % self.app.returncode)
            box, meldung = self.meldung_ueber_bus()
            if box is not None:
                print("  start-up message: %r" % meldung, flush=True)
                texte.append(meldung)
                ok_druecken(box)
                warte_bis(lambda: self.meldung_ueber_bus()[0] is None, 5)
                continue
            fenster = [f for f in self.oberste("filler", HAUPTFENSTER) + self.oberste(
                "frame", HAUPTFENSTER) if pyatspi.STATE_SHOWING in zustaende(f)]
            if fenster:
                return fenster[0], texte
            time.sleep(0.1)
        raise Fehlschlag("no main window %r on the accessibility bus within %d s"
                         % (HAUPTFENSTER, sekunden))


# --------------------------------------------------------------------------- reading the bus

def kinder(o):
    return [o.getChildAtIndex(i) for i in range(o.childCount)]


def zustaende(o):
    return o.getState().getStates()


def rechteck(o):
    e = o.queryComponent().getExtents(pyatspi.WINDOW_COORDS)
    return (e.x, e.y, e.width, e.height)


def text(o):
    return o.queryText().getText(0, -1)


def handeln(o, aktion):
    """Runs the named action (Press, Toggle, ...) of an accessible."""
    a = o.queryAction()
    namen = [a.getName(i) for i in range(a.nActions)]
    if aktion not in namen:
        raise Fehlschlag("%r offers no action %r (%r)" % (o.name, aktion, namen))
    a.doAction(namen.index(aktion))


def ok_druecken(box):
    knoepfe = [k for k in alle(box) if k.getRoleName() == "push button" and k.name == "OK"]
    if not knoepfe:
        raise Fehlschlag("the message box has no OK button on the bus")
    handeln(knoepfe[0], "Press")


def alle(o):
    for k in kinder(o):
        yield k
        yield from alle(k)


def controls_finden(fenster):
    """Every control of the window definition, found by its kind and place
    among the window's children: {name in the definition: accessible}. A check
    box reports the part that takes clicks, box and caption, which begins at
    the control's corner and may end short of its right edge."""
    kandidaten = [(rechteck(k), k.getRoleName(), k) for k in kinder(fenster)]

    def an_der_stelle(r, soll):
        return r[:2] == soll[:2] and 0 < r[2] <= soll[2] and 0 < r[3] <= soll[3]
    gefunden = {}
    for name, twips, rolle, _ in CONTROLS + ANZEIGEN:
        treffer = [k for r, ro, k in kandidaten
                   if ro == rolle and an_der_stelle(r, _rechteck(*twips))]
        pruefe(len(treffer) == 1, "%s is on the bus as one %s at %r" % (name, rolle,
                                                                          _rechteck(*twips)))
        gefunden[name] = treffer[0]
    return gefunden


def namen_pruefen(c):
    """The accessible name of each control, and of picture and clock line."""
    for name, _, _, erwartet in CONTROLS + ANZEIGEN:
        pruefe(c[name].name == erwartet, "%s is named %r (%r)" % (name, erwartet, c[name].name))
    namen = [c[n].name for n, _, _, _ in CONTROLS]
    pruefe(len(set(namen)) == len(namen), "no two of the %d controls share a name" % len(namen))


def stempel_ueber_bus(s, c, anzahl):
    """Presses "Zeit speichern" through its action; returns the new lines."""
    vorher = len(zeilen(s.datei("zeitnehmung.txt"))) if s.datei("zeitnehmung.txt") else 0
    for _ in range(anzahl):
        handeln(c["btn_ZeitSpeichern"], "Press")
        time.sleep(0.3)
    def geschrieben():
        inhalt = s.datei("zeitnehmung.txt")
        return inhalt and inhalt.endswith(b"\r\n") and inhalt.count(b"\r\n") >= vorher + anzahl
    pruefe(warte_bis(geschrieben, 5), "%d press(es) of \"Zeit speichern\" through its action "
           "wrote %d line(s)" % (anzahl, anzahl))
    return zeilen(s.datei("zeitnehmung.txt"))


def countdown_starten(c):
    """Sets an exposure countdown over the bus and starts it: the seconds
    list's text through its text field, "BelichtungsUhr" ticked, "Timer Start"
    pressed."""
    liste = c["Combo_S"]
    felder = [k for k in kinder(liste) if k.getRoleName() == "text"]
    pruefe(len(felder) == 1, "the seconds list has one text field on the bus")
    felder[0].queryEditableText().setTextContents(str(COUNTDOWN_SEKUNDEN))
    wert = "%d" % COUNTDOWN_SEKUNDEN
    pruefe(warte_bis(lambda: text(felder[0]) == wert, 3),
           "the seconds list shows %r (%r)" % (wert, text(felder[0])))
    pruefe(c["Combo_S"].name == "Sekunden", "the seconds list keeps its name")
    handeln(c["Check_Dauer"], "Toggle")
    pruefe(warte_bis(lambda: pyatspi.STATE_CHECKED in zustaende(c["Check_Dauer"]), 3),
           '"BelichtungsUhr" is ticked')
    handeln(c["Command_Start"], "Press")
    pruefe(warte_bis(lambda: c["Command_Start"].name == "Timer Stop", 3),
           'the start button is now named "Timer Stop"')


def restzeit_lesen(c, sekunden):
    """The remaining-time box read through its text interface for a while:
    the distinct texts in order."""
    gesehen = []
    ende = time.monotonic() + sekunden
    while time.monotonic() < ende:
        t = text(c["Text_RestZeit"])
        if t and (not gesehen or gesehen[-1] != t):
            gesehen.append(t)
        time.sleep(0.1)
    print("  measured: the remaining-time box read %r" % gesehen)
    werte = []
    for t in gesehen:
        m = RESTZEIT.match(t)
        pruefe(m is not None, 'the remaining-time box reads " in 00:00:0N" (%r)' % t)
        werte.append(int(m.group(1)))
    pruefe(len(werte) >= 2 and all(b < a for a, b in zip(werte, werte[1:]))
           and werte[0] <= COUNTDOWN_SEKUNDEN,
           "it counts down from at most %d (%r)" % (COUNTDOWN_SEKUNDEN, werte))


# --------------------------------------------------------------------------- scenarios

def signal_beenden(s, signum):
    """Ends the program as a session does, by a signal: it closes as if its
    window were closed, with status 0."""
    name = signal.Signals(signum).name
    s.app.send_signal(signum)
    try:
        status = s.app.wait(10)
    except subprocess.TimeoutExpired:
        raise Fehlschlag("the program did not end within 10 s of %s" % name)
    pruefe(status == 0, "%s ends the program with status 0 (%d)" % (name, status))


# The controls that take the focus, in the order of Tab.
TABFOLGE = ["Command1", "Command2", "List_Sprecher", "Check_SprachAusgabe", "Combo_S", "Combo_M",
            "Combo_H", "Check_CountDown", "Command_Start", "Combo_Morgen", "Check_Dauer",
            "Command_Zeitansage", "Command_Datumsansage", "btn_ZeitSpeichern", "Check_MldVorbei"]


def szenario_zugang_x11(s, sprache):
    """Under X11, over the bus: every control's name, and Tab through the
    window in the order of the window definition (the rest of what a screen
    reader does is the Orca scenarios'), then SIGINT."""
    s.programm_starten()
    fenster, meldungen = s.start_ueber_bus()
    sprache.nach_start(meldungen)
    c = controls_finden(fenster)
    namen_pruefen(c)

    def fokus():
        for name, o in c.items():
            if pyatspi.STATE_FOCUSED in zustaende(o) or any(
                    pyatspi.STATE_FOCUSED in zustaende(k) for k in kinder(o)):
                return name
    s.xdo("windowfocus", s.hauptfenster())
    gesehen = [warte_bis(fokus, 3)]
    for _ in TABFOLGE:
        s.xdo("key", "Tab")
        time.sleep(0.3)
        gesehen.append(fokus())
    pruefe(gesehen == TABFOLGE + TABFOLGE[:1], "Tab goes round in the order of the window "
           "definition (%r)" % gesehen)
    signal_beenden(s, signal.SIGINT)


def szenario_zugang_wayland(s, sprache):
    """Under Wayland, without any X server, through the bus alone: names,
    stamps, speech, a running countdown, then SIGTERM."""
    s.programm_starten()
    fenster, meldungen = s.start_ueber_bus()
    sprache.nach_start(meldungen)
    pruefe(rechteck(fenster)[2:] == (312, 221), "the window is 312 x 221")
    c = controls_finden(fenster)
    namen_pruefen(c)
    neu = stempel_ueber_bus(s, c, 2)
    stempel_pruefen(neu)
    if sprache.verfuegbar:
        s.aufnahme_starten()
        handeln(c["Command_Datumsansage"], "Press")
        gehoert = warte_bis(lambda: laute_strecken(lies_aufnahme(s.aufnahme_pfad)), 5, 0.2)
        s.aufnahme_beenden()
        pruefe(gehoert, '"Ansage Datum" is heard on the sound server')
    else:
        sprache.ueberspringen('"Ansage Datum" heard under Wayland')
    countdown_starten(c)
    restzeit_lesen(c, 2.5)
    # The session ends in the middle of the countdown.
    signal_beenden(s, signal.SIGTERM)
    pruefe(zeilen(s.datei("zeitnehmung.txt")) == neu, "both stamps are on disk")
    with open(s.app_log_pfad, errors="replace") as f:
        protokoll = f.read()
    pruefe('set_app_id("de.tempiro.Tempiro")' in protokoll,
           'the window tells the compositor its desktop file "de.tempiro.Tempiro"')
    groessen = {art: re.findall(r"xdg_toplevel@\d+\.set_%s_size\((\d+), (\d+)\)" % art, protokoll)
                for art in ("min", "max")}
    pruefe(groessen["min"] and groessen["min"][-1] == groessen["max"][-1] != ("0", "0"),
           "its smallest and largest size are the same: not resizable (%r)" % groessen)


def ppm_lesen(daten):
    """Width, height and RGB bytes of a binary PPM (P6, 8 bit)."""
    felder = daten.split(maxsplit=4)
    if felder[0] != b"P6" or felder[3] != b"255":
        raise RuntimeError("not an 8-bit PPM")
    return int(felder[1]), int(felder[2]), felder[4]


def szenario_hochaufloesung(s, sprache):
    """At QT_SCALE_FACTOR=2 (X11): the window is 624 x 442 and the picture is
    the large version, pixel for pixel."""
    s.umgebung["QT_SCALE_FACTOR"] = "2"
    s.programm_starten()
    fenster, _ = s.start_abwarten()
    geo = subprocess.run(["xdotool", "getwindowgeometry", str(fenster)], env=s.umgebung,
                         capture_output=True, text=True).stdout
    pruefe("Geometry: 624x442" in geo, "the window is 624 x 442 (%s)"
           % " ".join(geo.split("Geometry:")[-1].split()))
    gross = ppm_lesen(subprocess.run(["djpeg", "-pnm", GROSSES_BILD], capture_output=True,
                                     check=True).stdout)
    pruefe(gross[:2] == (230, 288), "the large picture is 230 x 288")
    # The picture's place at scale 2, right of the seconds list, which lies
    # in front of its left edge.
    links = 2 * ((2400 + 615) // 15 - 2880 // 15)
    x0, y0, b, h = 2 * (2880 // 15) + links, 2 * (120 // 15), 230 - links, 288
    time.sleep(0.5)
    roh = s.x.bild(fenster, (x0, y0, b, h))
    abweichung = 0
    klein_abweichung = 0
    klein = ppm_lesen(subprocess.run(["djpeg", "-pnm", os.path.join(
        os.path.dirname(GROSSES_BILD), "bild.jpg")], capture_output=True, check=True).stdout)
    for y in range(h):
        for x in range(b):
            p = roh[(y * b + x) * 4:(y * b + x) * 4 + 3]  # B, G, R
            q = gross[2][((y * 230) + x + links) * 3:((y * 230) + x + links) * 3 + 3]
            kx, ky = (x + links) // 2, y // 2
            k = klein[2][(ky * 115 + kx) * 3:(ky * 115 + kx) * 3 + 3]
            abweichung += sum(abs(p[2 - i] - q[i]) for i in range(3))
            klein_abweichung += sum(abs(p[2 - i] - k[i]) for i in range(3))
    mittel = abweichung / (3.0 * b * h)
    mittel_klein = klein_abweichung / (3.0 * b * h)
    print("  measured: mean difference per channel from the large picture %.2f, from the "
          "small one doubled %.2f" % (mittel, mittel_klein))
    pruefe(mittel < 1.0 and mittel_klein > 2.0,
           "the picture shown is the large version, not the small one enlarged")
    pruefe(s.beenden(fenster) == 0, "closing ends the program with status 0")


SZENARIEN = {
    "zugang_x11": (szenario_zugang_x11, {}),
    "zugang_wayland": (szenario_zugang_wayland, {"wayland": True}),
    "hochaufloesung": (szenario_hochaufloesung, None),
}


# Tools each scenario runs, besides the accessibility bus and python3-pyatspi
# for the two on the bus.
WERKZEUGE = {
    "zugang_x11": ["Xvfb", "xdotool", "xprop", "pulseaudio", "parec", "pactl", "dbus-daemon"],
    "zugang_wayland": ["weston", "pulseaudio", "parec", "pactl", "dbus-daemon"],
    "hochaufloesung": ["Xvfb", "xdotool", "pulseaudio", "pactl", "djpeg"],
}


def fehlende_werkzeuge(szenario):
    fehlt = [n for n in WERKZEUGE[szenario] if shutil.which(n) is None]
    if SZENARIEN[szenario][1] is not None:
        if not os.access(BUS_STARTER, os.X_OK):
            fehlt.append(BUS_STARTER)
        try:
            import gi
            gi.require_version("Atspi", "2.0")
        except (ImportError, ValueError):
            fehlt.append("python3-pyatspi")
    return fehlt


def sitzung_fuer(a, bus):
    if bus is None:
        return Sitzung(a.binary, behalten=a.keep)
    return ZugangsSitzung(a.binary, behalten=a.keep, **bus)


if __name__ == "__main__":
    sys.exit(main(SZENARIEN, sitzung_fuer, lambda a, name, bus: fehlende_werkzeuge(name)))
