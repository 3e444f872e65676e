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

import dbus

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from sitzung import (HAUPTFENSTER, Fehlt, Sitzung, laute_strecken, main, pruefe,  # noqa: E402
                     warte_bis, zeilen)

# Every stop of Tab from "start", in the order of Tab, with the words Orca says for it.
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
ZUGANG = "org.a11y.atspi.Accessible"


def einfach(text):
    """A spoken text without quotes, closing full stop and double blanks."""
    return " ".join(text.replace('"', " ").split()).rstrip(".")


class OrcaSitzung(Sitzung):
    """A session with Orca speaking German into a file, and metacity."""

    def einrichten(self, **optionen):
        super().einrichten(**optionen)
        u = self.umgebung
        # Qt switches its bridge on by itself once a screen reader runs.
        del u["NO_AT_BRIDGE"], u["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"]
        sprachen = os.path.join(self.basis, "locale")
        os.makedirs(sprachen)
        subprocess.run(["localedef", "-i", "de_DE", "-f", "UTF-8",
                        os.path.join(sprachen, "de_DE.UTF-8")], check=True)
        u.update(LOCPATH=sprachen, LANG="de_DE.UTF-8", LANGUAGE="de", GSETTINGS_BACKEND="memory",
                 XDG_DATA_HOME=os.path.join(self.heim, ".local", "share"))
        self.gesagt_pfad = os.path.join(self.basis, "gesagt.txt")
        sd = os.path.join(u["XDG_CONFIG_HOME"], "speech-dispatcher")
        self.schreibe(os.path.join(sd, "speechd.conf"),
                      'AddModule "protokoll" "sd_generic" "protokoll.conf"\n'
                      'DefaultModule protokoll\nDefaultLanguage "de"\nLogDir "%s"\n' % self.basis)
        self.schreibe(os.path.join(sd, "modules", "protokoll.conf"),
                      'GenericExecuteSynth "printf \'%%s %%s\\\\n\' $(date +%%s.%%N) '
                      '\\\'$DATA\\\' >> %s"\nGenericLanguage "de" "de" "utf-8"\n'
                      'AddVoice "de" "MALE1" "de"\n' % self.gesagt_pfad)
        self.schreibe(os.path.join(u["XDG_DATA_HOME"], "orca", "user-settings.conf"), json.dumps(
            {"general": {"speechServerFactory": "orca.speechdispatcherfactory",
                         "enableSpeech": True, "enableBraille": False, "firstStart": False,
                         "enableTutorialMessages": False, "verbalizePunctuationStyle": 3,
                         "enableKeyEcho": False, "enableEchoByCharacter": False},
             "profiles": {"default": {"profile": ["Default", "default"]}},
             "keybindings": {}, "pronunciations": {}}))
        self._starten(["metacity", "--replace"], "metacity")
        self.orca_log = os.path.join(self.basis, "orca-debug.txt")
        # Orca refuses to start beside another Orca of the same user (and
        # --replace would end the user's own): it runs in a process
        # namespace of its own, where it sees only itself.
        eigen = [] if os.getuid() == 0 else ["--map-root-user"]
        for programm in ("orca", "speech-dispatcher"):
            if not shutil.which(programm):
                raise Fehlt(programm)
        self._starten(["unshare"] + eigen + ["--pid", "--fork", "--mount-proc", "--kill-child",
                                             "orca", "--debug-file=" + self.orca_log], "orca")
        if not self.hoert("Bildschirmleser an", 0, 30):
            raise RuntimeError("Orca did not start speaking")

    def gesagt(self, seit=0.0):
        """What Orca said since the time seit (the clock of time.time())."""
        if not os.path.exists(self.gesagt_pfad):
            return []
        with open(self.gesagt_pfad, encoding="utf-8", errors="replace") as f:
            gesagt = [z.partition(" ") for z in f.read().splitlines()]
        return [(float(t), einfach(text)) for t, _, text in gesagt if float(t) >= seit]

    def hoert(self, text, seit, sekunden=4.0):
        """The time Orca says what contains text, or None."""
        def gefunden():
            for zeit, gesagt in self.gesagt(seit):
                if text in gesagt:
                    return zeit
        return warte_bis(gefunden, sekunden, 0.05)

    def taste(self, *tasten, erwartet=""):
        """Presses keys; returns when, and what Orca says from then on: once it
        has said something (holding erwartet) and then fallen silent for half
        a second, or after four seconds."""
        t = time.time()
        self.xdo("key", "--delay", 60, *tasten)
        ende, anzahl, still, gesagt = time.monotonic() + 4, 0, time.monotonic(), ""
        while time.monotonic() < ende:
            gesagt = " ".join(text for _, text in self.gesagt(t))
            if len(gesagt) != anzahl:
                anzahl, still = len(gesagt), time.monotonic()
            elif anzahl and erwartet in gesagt and time.monotonic() - still >= 0.5:
                break
            time.sleep(0.05)
        return t, gesagt

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
                        if self.name(k) == HAUPTFENSTER][0]

    def programm_mit_orca(self):
        self.programm_starten()
        pruefe(self.hoert(HAUPTFENSTER, 0, 20) and self.hoert("start Druckknopf", 0),
               'Orca says the window "Tempiro Zeitansage" and the focus "start"')


def tab_pruefen(s, taste, folge):
    for erwartet in folge:
        _, gesagt = s.taste(taste, erwartet=erwartet)
        pruefe(erwartet in gesagt, "%s: Orca says %r (%r)" % (taste, erwartet, gesagt))


def szenario_orca_tab(s):
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


def szenario_orca_ablauf(s):
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
    # Orca names the role as well when the window's focus comes back to the button.
    pruefe(re.search(r"Timer Start( Druckknopf)?$", gesagt),
           'Enter closes it; Orca says "Timer Start" (%r)' % gesagt)
    s.taste("Tab")
    _, gesagt = s.taste("Tab")
    pruefe(gesagt == "Ansage Zeit Druckknopf", 'Tab on to "Ansage Zeit" (%r)' % gesagt)

    # "Ansage Zeit": meanwhile, queries to the window, a Tab, the action of
    # "Zeit speichern" through the bus.
    fenster = s.fenster_auf_dem_bus()
    knopf = [k for k in s.kinder(fenster) if s.name(k) == "Zeit speichern"][0]
    s.aufnahme_starten()
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
    pruefe(len(namen) > 10 and max(dauer) <= 1.0 and druck + 0.5 + sum(dauer) < ende,
           "while the phrase plays, the window answers every query, each within a second")
    pruefe(waehrend == 1 and len(zeilen(s.datei("zeitnehmung.txt"))) == 2,
           "the action of \"Zeit speichern\" runs after the phrase")
    pruefe(fokus and ende < fokus <= ende + 1.0,
           "the Tab moves the focus after the phrase, and Orca says it within 1 s")

    # SIGTERM during the phrase: the program ends after it, with status 0.
    s.taste("shift+Tab")
    s.aufnahme_starten()
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

if __name__ == "__main__":
    sys.exit(main(SZENARIEN, klasse=OrcaSitzung, zugang=True))
