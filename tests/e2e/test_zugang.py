# SPDX-License-Identifier: GPL-3.0-or-later
"""The real binary under Wayland (weston's headless backend, no X server at
all), found, read and operated through the accessibility bus alone, as a
screen reader sees it."""

import re
import signal
import time

import pytest
from sitzung import ATSPI, CHECKED, warte_bis, zeilen


@pytest.mark.wayland
def test_zugang_wayland(sitzung, pulseaudio, fenster):
    """Stamps by their action on the bus, a second start and a stamp by the
    command meanwhile (weston has no xdg-activation: nothing is
    raised); a countdown set and started on the bus, the start button's new
    name read; the session ends by SIGTERM in the middle of it, the stamps are
    on disk. The window tells the compositor its desktop file and a fixed
    size of 312 x 221."""
    s = sitzung
    c = {k.name(): k for k in fenster.kinder() if k.rolle() != "label"}
    for _ in range(2):
        c["Zeit speichern"].handeln("Press")
        time.sleep(0.3)
    s.zweiter_start()
    assert s.aufrufen("--zeit-speichern")[0] == 0
    neu = s.stempel(3)
    # An exposure countdown: the seconds through the list's text field,
    # "BelichtungsUhr" ticked, "Timer Start" pressed.
    (feld,) = [k for k in c["Sekunden"].kinder() if k.rolle() == "text"]
    feld.rufe("SetTextContents", "6", schnittstelle=ATSPI + "EditableText")
    assert warte_bis(lambda: feld.rufe("GetText", 0, -1, schnittstelle=ATSPI + "Text") == "6", 3)
    c["BelichtungsUhr"].handeln("Toggle")
    assert warte_bis(lambda: c["BelichtungsUhr"].zustand(CHECKED), 3)
    c["Timer Start"].handeln("Press")
    assert warte_bis(lambda: c["Timer Start"].name() == "Timer Stop", 3)

    s.signal_beenden(signal.SIGTERM)
    assert zeilen(s.datei("zeitnehmung.txt")) == neu
    with open(s.app_log_pfad, errors="replace") as f:
        protokoll = f.read()
    assert "Barrierefreiheitsbus" not in protokoll  # the program's complaint that it has none
    assert 'set_app_id("de.tempiro.Tempiro")' in protokoll
    groesse = r"xdg_toplevel@\d+\.set_%s_size\((\d+), (\d+)\)"
    assert {re.findall(groesse % art, protokoll)[-1] for art in ("min", "max")} == {("312", "221")}
