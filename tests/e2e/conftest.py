# SPDX-License-Identifier: GPL-3.0-or-later
"""The parts of the private session (sitzung.py) as fixtures. A scenario asks
for what it needs, in the order they start, the program last:

  sitzung     the session: its directories, nothing running yet
  anzeige     Xvfb; weston's headless backend for a scenario marked wayland
  bus         the session bus, with the accessibility bus beside it
  ton         the sound server: once PulseAudio, once PipeWire (marked pipewire)
  pulseaudio  PulseAudio alone
  orca        Orca with speech-dispatcher, on PulseAudio (marked orca)
  gnome       GNOME's session manager with the desktop portal (marked gnome)
  fenster     the program started; its main window

The optional stacks are markers: where a program of theirs is missing, the
scenario is skipped with the reason, and fails under CI, which installs them.
A run in which every scenario was skipped ends with status 77, CTest's skip.
"""

import os
import shutil
import sys

import pytest

sys.dont_write_bytecode = True  # no compiled copies in the source tree
pytest.register_assert_rewrite("sitzung")
from sitzung import Sitzung  # noqa: E402

# The programs of each optional stack; TEMPIRO_<NAME>=1 has ./test.sh install it.
STAPEL = {
    "pipewire": ["pipewire", "wireplumber", "pipewire-pulse"],
    "orca": ["orca", "speech-dispatcher"],
    "gnome": ["gnome-session", "/usr/libexec/xdg-desktop-portal-gtk"],
    "benachrichtigung": ["/usr/lib/notification-daemon/notification-daemon"],
}


def pytest_addoption(parser):
    programm = os.path.join(os.path.dirname(__file__), "..", "..", "build", "tempiro")
    parser.addoption("--binary", default=programm, help="the program, build/tempiro unless given")


def pytest_collection_modifyitems(items):
    for item in items:
        for name in set(STAPEL) & set(item.fixturenames):
            item.add_marker(name)


def pytest_runtest_setup(item):
    for marke in item.iter_markers():
        fehlt = ", ".join(p for p in STAPEL.get(marke.name, []) if not shutil.which(p))
        if fehlt and os.environ.get("CI") == "true":
            pytest.fail("%s not installed, though CI installs it" % fehlt)
        if fehlt:
            pytest.skip("%s not installed; TEMPIRO_%s=1 installs it" % (fehlt, marke.name.upper()))


def pytest_sessionfinish(session, exitstatus):
    stand = session.config.pluginmanager.get_plugin("terminalreporter").stats
    if exitstatus == 0 and "skipped" in stand and "passed" not in stand:
        session.exitstatus = 77


@pytest.fixture
def sitzung(request):
    s = Sitzung(request.config.getoption("binary"))
    yield s
    s.aufraeumen(protokolle=True)  # shown when the scenario failed


@pytest.fixture
def anzeige(sitzung, request):
    if request.node.get_closest_marker("wayland"):
        sitzung.weston()
    else:
        sitzung.xvfb()


@pytest.fixture
def bus(sitzung, anzeige):
    sitzung.bus()
    sitzung.zugang()


@pytest.fixture(params=["pulseaudio", pytest.param("pipewire", marks=pytest.mark.pipewire)])
def ton(sitzung, bus, request):
    sitzung.ton(request.param)


@pytest.fixture
def pulseaudio(sitzung, bus):
    sitzung.ton("pulseaudio")


@pytest.fixture
def orca(sitzung, pulseaudio):
    sitzung.orca()


@pytest.fixture
def gnome(sitzung, bus):
    sitzung.gnome()


@pytest.fixture
def fenster(sitzung, bus):
    return sitzung.starten()
