// SPDX-License-Identifier: GPL-3.0-or-later
// A private PulseAudio of one test or benchmark: a null sink ("null"),
// suspended after a second without a playing stream, in a directory of its
// own, apart from the session's own sound set-up; it dies with the process,
// also when that is killed.
#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class PrivaterTonserver {
public:
    PrivaterTonserver() { qputenv("PULSE_COOKIE", (dir_.path() + "/cookie").toLocal8Bit()); }
    ~PrivaterTonserver() { Stoppen(); }
    // False when pulseaudio is missing or the server does not come up.
    bool Starten();
    void Stoppen();
    // SIGSTOP or SIGCONT: a server that stops answering, or answers again.
    void Anhalten(bool an);
    QString Adresse() const { return "unix:" + dir_.path() + "/pulse/native"; }

private:
    QTemporaryDir dir_;
    QProcess server_;
};
