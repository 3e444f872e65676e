#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The real binary as a blind user runs it: with the screen reader Orca, in
German, keyboard only.

Each run starts, beside the program's own display, sound server and buses,
Debian's Orca with speech-dispatcher and a window manager (metacity), all
private: Orca's settings in a private home (German, punctuation not spoken,
no key echo), a German locale generated into the run's directory, and
speech-dispatcher with its generic output module writing what it would say,
with the time, into a file. That file is what the user hears; Orca's debug
log is kept beside it as a second record. Keys go in with xdotool, as typed.

Usage: e2e_orca.py --binary PATH SCENARIO     (--list shows the scenarios)
"""

import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import dbus  # noqa: E402
from tempiro_e2e import Sitzung, laute_strecken, main, pruefe, warte_bis, zeilen  # noqa: E402

# Every stop of Tab from "start", in the order of the window definition's tab
# indexes, with the words Orca says for it.
TABFOLGE = [
    "start Druckknopf", "stop Druckknopf", "Sprecher Liste mit 102 Einträgen 0 Deutsch",
    "Sprachausgabe Babbelina Kontrollkästchen ausgewählt",
    "Sekunden Bearbeitbares Auswahlfeld 00", "Minuten Bearbeitbares Auswahlfeld 00",
    "Stunden Bearbeitbares Auswahlfeld 00", "CountDown Kontrollkästchen ausgewählt",
    "Timer Start Druckknopf", "Tag (Heute oder Morgen) Bearbeitbares Auswahlfeld Heute",
    "BelichtungsUhr Kontrollkästchen nicht ausgewählt", "Ansage Zeit Druckknopf",
    "Ansage Datum Druckknopf", "Zeit speichern Druckknopf",
    "Msgbox Vorbei Kontrollkästchen nicht ausgewählt",
]
PROGRAMME = ["orca", "speech-dispatcher", "metacity", "localedef", "dbus-daemon", "Xvfb",
             "xdotool", "pulseaudio", "parec", "pactl"]
BUS_STARTER = "/usr/libexec/at-spi-bus-launcher"
ZUGANG = "org.a11y.atspi.Accessible"


def einfach(text):
    """A spoken text without quotes, closing full stop and double blanks."""
    return " ".join(text.replace('"', " ").split()).rstrip(".")


class OrcaSitzung(Sitzung):
    def __init__(self, binaer, **kw):
        super().__init__(binaer, **kw)
        u = self.umgebung
        # Qt switches its bridge on by itself once a screen reader runs.
        u.pop("NO_AT_BRIDGE")
        self._bus_starten()
        self._starten([BUS_STARTER, "--launch-immediately"])
        sitzungsbus = dbus.bus.BusConnection(u["DBUS_SESSION_BUS_ADDRESS"])
        if not warte_bis(lambda: sitzungsbus.name_has_owner("org.a11y.Bus"), 15, 0.1):
            raise RuntimeError("the accessibility bus did not come up")
        # The bus as a screen reader reads it, with plain calls: no library
        # that caches or answers events on the side.
        self.zugang = dbus.bus.BusConnection(sitzungsbus.get_object(
            "org.a11y.Bus", "/org/a11y/bus").GetAddress(dbus_interface="org.a11y.Bus"))
        sprachen = os.path.join(self.basis, "locale")
        os.makedirs(sprachen)
        subprocess.run(["localedef", "-i", "de_DE", "-f", "UTF-8",
                        os.path.join(sprachen, "de_DE.UTF-8")], check=True)
        u.update(LOCPATH=sprachen, LANG="de_DE.UTF-8", LANGUAGE="de", GSETTINGS_BACKEND="memory",
                 XDG_DATA_HOME=os.path.join(self.heim, ".local", "share"))
        self.gesagt_pfad = os.path.join(self.basis, "gesagt.txt")
        sd = os.path.join(u["XDG_CONFIG_HOME"], "speech-dispatcher")
        os.makedirs(os.path.join(sd, "modules"))
        with open(os.path.join(sd, "speechd.conf"), "w") as f:
            f.write('AddModule "protokoll" "sd_generic" "protokoll.conf"\n'
                    'DefaultModule protokoll\nDefaultLanguage "de"\n'
                    'LogDir "%s"\n' % self.basis)
        with open(os.path.join(sd, "modules", "protokoll.conf"), "w") as f:
            f.write('GenericExecuteSynth "printf \'%%s %%s\\\\n\' $(date +%%s.%%N) '
                    '\\\'$DATA\\\' >> %s"\nGenericLanguage "de" "de" "utf-8"\n'
                    'AddVoice "de" "MALE1" "de"\n' % self.gesagt_pfad)
        orca = os.path.join(u["XDG_DATA_HOME"], "orca")
        os.makedirs(orca)
        with open(os.path.join(orca, "user-settings.conf"), "w") as f:
            json.dump({"general": {"speechServerFactory": "orca.speechdispatcherfactory",
                                   "enableSpeech": True, "enableBraille": False,
                                   "firstStart": False, "enableTutorialMessages": False,
                                   "verbalizePunctuationStyle": 3, "enableKeyEcho": False,
                                   "enableEchoByCharacter": False},
                       "profiles": {"default": {"profile": ["Default", "default"]}},
                       "keybindings": {}, "pronunciations": {}}, f)
        self._starten(["metacity", "--replace"], ausgabe=os.path.join(self.basis, "metacity.log"))
        self.orca_log = os.path.join(self.basis, "orca-debug.txt")
        # Orca refuses to start beside another Orca of the same user (and
        # --replace would end the user's own): it runs in a process
        # namespace of its own, where it sees only itself.
        eigen = [] if os.getuid() == 0 else ["--map-root-user"]
        self._starten(["unshare"] + eigen + ["--pid", "--fork", "--mount-proc", "--kill-child",
                                             "orca", "--debug-file=" + self.orca_log],
                      ausgabe=os.path.join(self.basis, "orca.log"))
        if not self.hoert("Bildschirmleser an", 0, 30):
            raise RuntimeError("Orca did not start speaking")

    def gesagt(self, seit=0.0):
        """What Orca said since the time seit (the clock of time.time())."""
        try:
            with open(self.gesagt_pfad, encoding="utf-8", errors="replace") as f:
                zeilen_ = f.read().splitlines()
        except FileNotFoundError:
            return []
        alles = []
        for z in zeilen_:
            zeit, _, text = z.partition(" ")
            if float(zeit) >= seit:
                alles.append((float(zeit), einfach(text)))
        return alles

    def hoert(self, text, seit, sekunden=4.0):
        """The time Orca says what contains text, or None."""
        def gefunden():
            for zeit, gesagt in self.gesagt(seit):
                if text in gesagt:
                    return zeit
        return warte_bis(gefunden, sekunden, 0.05)

    def taste(self, *tasten):
        """Presses keys; returns when, and then what Orca says until it falls
        silent for half a second (at most four seconds)."""
        t = time.time()
        self.xdo("key", "--delay", 60, *tasten)
        ende = time.monotonic() + 4
        anzahl, still = -1, time.monotonic()
        while time.monotonic() < ende and time.monotonic() - still < 0.5:
            neu = len(self.gesagt(t))
            if neu != anzahl:
                anzahl, still = neu, time.monotonic()
            time.sleep(0.05)
        return t, " ".join(text for _, text in self.gesagt(t))

    def kinder(self, objekt):
        """The children of an accessible (bus name, path) on the bus."""
        return [tuple(k) for k in self.zugang.get_object(*objekt).GetChildren(
            dbus_interface=ZUGANG, timeout=5)]

    def name(self, objekt):
        return str(self.zugang.get_object(*objekt).Get(
            ZUGANG, "Name", dbus_interface="org.freedesktop.DBus.Properties", timeout=5))

    def fenster_auf_dem_bus(self):
        """The program's main window on the accessibility bus."""
        for anwendung in self.kinder(("org.a11y.atspi.Registry",
                                      "/org/a11y/atspi/accessible/root")):
            if self.name(anwendung) == "tempiro":
                return [k for k in self.kinder(anwendung)
                        if self.name(k) == "Tempiro Zeitansage"][0]

    def programm_mit_orca(self):
        self.programm_starten()
        pruefe(self.hoert("Tempiro Zeitansage", 0, 20) and self.hoert("start Druckknopf", 0),
               'Orca says the window "Tempiro Zeitansage" and the focus "start"')


def tab_pruefen(s, taste, folge):
    for erwartet in folge:
        _, gesagt = s.taste(taste)
        pruefe(erwartet in gesagt, "%s: Orca says %r (%r)" % (taste, erwartet, gesagt))


def szenario_orca_tab(s, sprache):
    """Tab and Shift+Tab through every control, the values of the lists, the
    chosen voice, ten quiet seconds."""
    s.programm_mit_orca()
    tab_pruefen(s, "Tab", TABFOLGE[1:] + TABFOLGE[:1])
    tab_pruefen(s, "shift+Tab", TABFOLGE[::-1])
    for taste in ("Tab", "Tab", "Tab", "Tab"):
        s.taste(taste)
    for taste, erwartet, wo in (("Down", "01", "seconds list"), ("Down", "02", "seconds list"),
                                ("Up", "01", "seconds list"), ("shift+Tab shift+Tab", None, ""),
                                ("Down", r"1 Deutsch, Variante \w+", "voice list"),
                                ("Up", "0 Deutsch", "voice list")):
        _, gesagt = s.taste(*taste.split())
        if erwartet:
            pruefe(re.search("(^| )%s$" % erwartet, gesagt),
                   "%s in the %s: Orca says %r (%r)" % (taste, wo, erwartet, gesagt))
    ruhe = time.time()
    time.sleep(10)
    pruefe(s.gesagt(ruhe) == [], "ten idle seconds, Orca says nothing (%r)" % s.gesagt(ruhe))
    with open(s.app_log_pfad, errors="replace") as f:
        warnungen = [z for z in f if "ccessib" in z]
    pruefe(not warnungen, "Qt prints no accessibility warning (%r)" % warnungen[:3])


def phrase_ende(s, proben):
    """The time (time.time()) the last sound of a recording ends."""
    strecken = laute_strecken(proben)
    pruefe(strecken, "the phrase is heard on the sound server")
    return s.aufnahme_beginn_wand + strecken[-1][1]


def szenario_orca_ablauf(s, sprache):
    """An exposure countdown set and started with the keyboard ("Timer Stop"
    is said), Enter on "Zeit speichern", the time left read by flat review,
    the end message read and closed; then "Ansage Zeit": Orca keeps working
    while the phrase plays, and what comes meanwhile is handled after it."""
    s.programm_mit_orca()
    s.taste("Tab", "Tab", "Tab", "Tab")
    s.xdo("type", "5")
    for _ in range(6):
        s.taste("Tab")
    _, gesagt = s.taste("space")
    pruefe(gesagt == "ausgewählt", '"BelichtungsUhr" ticked (%r)' % gesagt)
    for _ in range(4):
        _, gesagt = s.taste("Tab")
    pruefe(gesagt.startswith("Msgbox Vorbei"), 'Tab on to "Msgbox Vorbei" (%r)' % gesagt)
    _, gesagt = s.taste("space")
    pruefe(gesagt == "ausgewählt", '"Msgbox Vorbei" ticked (%r)' % gesagt)
    s.taste("shift+Tab", "Return")
    pruefe(warte_bis(lambda: len(zeilen(s.datei("zeitnehmung.txt") or b"")) == 1, 3),
           'Enter on "Zeit speichern" writes a stamp')
    for _ in range(4):
        _, gesagt = s.taste("shift+Tab")
    pruefe(gesagt == "Timer Start Druckknopf",
           "Shift+Tab skips the disabled day list (%r)" % gesagt)
    start, gesagt = s.taste("space")
    pruefe(gesagt == "Timer Stop", 'Space on "Timer Start": Orca says "Timer Stop" (%r)' % gesagt)

    def im_protokoll():
        with open(s.orca_log, errors="replace") as f:
            return "SPEECH OUTPUT: 'Timer Stop'" in f.read()
    pruefe(warte_bis(im_protokoll, 5), "Orca's own log agrees")
    _, gesagt = s.taste("KP_Up")
    pruefe(re.search(r"in 00\W+00\W+0[1-5] Timer Stop", gesagt),
           "Orca's flat review reads the time left (%r)" % gesagt)
    pruefe(s.hoert("Alarm Tempiro", start, 25) and s.hoert("Zeitpunkt vorbei", start),
           'the end message is read as it comes: "Alarm Tempiro. Zeitpunkt vorbei"')
    _, gesagt = s.taste("Return")
    pruefe(gesagt.endswith("Timer Start"), 'Enter closes it; Orca says "Timer Start" (%r)'
           % gesagt)
    s.taste("Tab")
    _, gesagt = s.taste("Tab")
    pruefe(gesagt == "Ansage Zeit Druckknopf", 'Tab on to "Ansage Zeit" (%r)' % gesagt)

    # "Ansage Zeit": meanwhile, queries to the window, a Tab, the action of
    # "Zeit speichern" through the bus.
    fenster = s.fenster_auf_dem_bus()
    knopf = [k for k in s.kinder(fenster) if s.name(k) == "Zeit speichern"][0]
    s.aufnahme_starten()
    s.aufnahme_beginn_wand = time.time() - (time.monotonic() - s.aufnahme_beginn)
    druck = time.time()
    s.xdo("key", "space")
    time.sleep(0.5)
    dauer = []
    for _ in range(10):
        vorher = time.monotonic()
        namen = [s.name(k) for k in s.kinder(fenster)]
        dauer.append(time.monotonic() - vorher)
        time.sleep(0.05)
    s.xdo("key", "Tab")
    aktionen = dbus.Interface(s.zugang.get_object(*knopf), "org.a11y.atspi.Action")
    aktionen.DoAction([a[0] for a in aktionen.GetActions(timeout=5)].index("Press"), timeout=5)
    waehrend = len(zeilen(s.datei("zeitnehmung.txt")))
    fokus = s.hoert("Ansage Datum Druckknopf", druck, 12)
    time.sleep(0.5)
    ende = phrase_ende(s, s.aufnahme_beenden())
    print("  measured: the phrase ends %.2f s after the press; queries took %.0f ms at most; "
          "Orca said the new focus %.2f s after the phrase" % (
              ende - druck, 1000 * max(dauer), (fokus or 0) - ende), flush=True)
    pruefe(len(namen) > 10 and max(dauer) <= 0.1 and druck + 0.5 + sum(dauer) < ende,
           "while the phrase plays, the window answers every query within 100 ms")
    pruefe(waehrend == 1 and len(zeilen(s.datei("zeitnehmung.txt"))) == 2,
           "the action of \"Zeit speichern\" runs after the phrase")
    pruefe(fokus and ende < fokus <= ende + 1.0,
           "the Tab moves the focus after the phrase, and Orca says it within 1 s")

    # SIGTERM during the phrase: the program ends after it, with status 0.
    s.taste("shift+Tab")
    s.aufnahme_starten()
    s.aufnahme_beginn_wand = time.time() - (time.monotonic() - s.aufnahme_beginn)
    s.xdo("key", "space")
    time.sleep(1.0)
    s.app.send_signal(signal.SIGTERM)
    time.sleep(0.3)
    pruefe(s.app.poll() is None, "SIGTERM during the phrase does not cut it off")
    status = s.app.wait(15)
    beendet = time.time()
    ende = phrase_ende(s, s.aufnahme_beenden())
    pruefe(status == 0 and ende < beendet <= ende + 2.0,
           "the program ends after the phrase (%.2f s after), with status %d"
           % (beendet - ende, status))


SZENARIEN = {
    "orca_tab": (szenario_orca_tab, {}),
    "orca_ablauf": (szenario_orca_ablauf, {}),
}


def fehlende_werkzeuge(a, name, option):
    fehlt = [p for p in PROGRAMME + [BUS_STARTER] if shutil.which(p) is None]
    if fehlt:
        print("Orca is not installed here (missing %s); ./test.sh installs Orca, "
              "speech-dispatcher and metacity under CI or with TEMPIRO_ORCA=1" % " ".join(fehlt))
    return fehlt


if __name__ == "__main__":
    sys.exit(main(SZENARIEN, lambda a, bus: OrcaSitzung(a.binary, behalten=a.keep),
                  fehlende_werkzeuge))
