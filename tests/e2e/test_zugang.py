# SPDX-License-Identifier: GPL-3.0-or-later
"""The real binary under Wayland (weston's headless backend, no X server at
all), found, read and operated through the accessibility bus alone, as a
screen reader sees it."""

import re
import signal
import time

import pytest
from sitzung import CHECKED, FORM, laute_strecken, warte_bis, zeilen


@pytest.mark.wayland
def test_zugang_wayland(sitzung, pulseaudio, fenster):
    """Every control of the form on the bus by its name; stamps and speech by
    their actions; a countdown set, started and read on the bus; the session
    ends by SIGTERM in the middle of it, the stamps are on disk. The window
    tells the compositor its desktop file and a fixed size of 312 x 221."""
    s = sitzung
    c = {k.name(): k for k in fenster.kinder() if k.rolle() != "label"}
    for w in FORM.iter("widget"):
        if w.get("class") not in ("QWidget", "QGroupBox", "QLabel"):
            name = w.findtext("property[@name='accessibleName']/string")
            assert (name or w.findtext("property[@name='text']/string")) in c
    for _ in range(2):
        c["Zeit speichern"].handeln("Press")
        time.sleep(0.3)
    neu = s.stempel(2)
    s.aufnahme_starten()
    c["Ansage Datum"].handeln("Press")
    assert warte_bis(lambda: laute_strecken(s.aufnahme_pfad), 5, 0.2)
    s.aufnahme_beenden()
    # An exposure countdown: the seconds through the list's text field,
    # "BelichtungsUhr" ticked, "Timer Start" pressed.
    (feld,) = [k for k in c["Sekunden"].kinder() if k.rolle() == "text"]
    feld.rufe("SetTextContents", "6", schnittstelle="org.a11y.atspi.EditableText")
    assert warte_bis(lambda: feld.text() == "6", 3) and c["Sekunden"].name() == "Sekunden"
    c["BelichtungsUhr"].handeln("Toggle")
    assert warte_bis(lambda: c["BelichtungsUhr"].zustand(CHECKED), 3)
    c["Timer Start"].handeln("Press")
    assert warte_bis(lambda: c["Timer Start"].name() == "Timer Stop", 3)
    # The remaining time read through its text interface for a while, counting down.
    gelesen = []
    for _ in range(25):
        text = c["Restzeit"].text()
        if text and gelesen[-1:] != [text]:
            gelesen.append(text)
        time.sleep(0.1)
    assert all(re.fullmatch(r" in 00:00:0[0-6]", t) for t in gelesen), gelesen
    assert len(gelesen) >= 2 and gelesen == sorted(gelesen, reverse=True)

    s.signal_beenden(signal.SIGTERM)
    assert zeilen(s.datei("zeitnehmung.txt")) == neu
    with open(s.app_log_pfad, errors="replace") as f:
        protokoll = f.read()
    assert "Barrierefreiheitsbus" not in protokoll  # the program's complaint that it has none
    assert 'set_app_id("de.tempiro.Tempiro")' in protokoll
    groesse = r"xdg_toplevel@\d+\.set_%s_size\((\d+), (\d+)\)"
    assert {re.findall(groesse % art, protokoll)[-1] for art in ("min", "max")} == {("312", "221")}
