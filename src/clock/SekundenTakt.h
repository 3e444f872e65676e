// SPDX-License-Identifier: GPL-3.0-or-later
// A one-second timer that ticks once per wall-clock second.
//
// A plain 1000 ms timer runs at an arbitrary phase and drifts against the wall
// clock, so now and then one clock second gets two ticks and another none. This
// timer instead aims every tick a few milliseconds after the next second
// boundary of the local clock and re-aims after each tick, so every clock second
// gets exactly one tick. The handler still reads the clock itself.
//
// The next tick is armed only after the handler has returned. A handler that
// waits (a modal box, a spoken phrase) therefore never gets a second tick nested
// inside it; the first tick after the wait lands just after the next boundary.
// A tick that falls due while its owner holds everything back (the window's
// wait for a spoken phrase) is put off through the owner's deferral, and
// comes once, afterwards.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

#include "Dienste.h"

// Milliseconds after the boundary at which a tick is aimed.
constexpr int TaktVorhaltMs = 5;

// Delay in milliseconds from a clock reading (seconds since midnight) to the
// aimed point just after the next second boundary.
int MsBisZumNaechstenTakt(double sekundenSeitMitternacht);

class SekundenTakt : public QObject {
    Q_OBJECT
public:
    SekundenTakt(IUhr& uhr, QObject* parent = nullptr);

    // Switching on arms the first tick for just after the next boundary; at
    // least one full interval passes as designed only when the boundary is
    // close, so the first tick comes within one second.
    void Schalten(bool an);
    bool IstAn() const { return an_; }

    // Runs a step now, or later when now is no time for it. Without one, a
    // tick runs when it falls due.
    using Aufschub = std::function<void(std::function<void()>)>;
    void AufschubSetzen(Aufschub aufschub) { aufschub_ = std::move(aufschub); }

signals:
    void Timer();
    // Switched on or off; only changes, never the same state twice.
    void Geschaltet(bool an);

private:
    void Ausloesen();
    void Faellig();
    void Armieren();

    IUhr& uhr_;
    Aufschub aufschub_;
    QTimer timer_;
    bool an_ = false;
    bool imHandler_ = false;
};
