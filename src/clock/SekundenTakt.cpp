// SPDX-License-Identifier: GPL-3.0-or-later
#include "SekundenTakt.h"

#include <QPointer>
#include <cmath>
#include <utility>

int MsBisZumNaechstenTakt(double sekundenSeitMitternacht) {
    double bruch = sekundenSeitMitternacht - std::floor(sekundenSeitMitternacht);
    int msImSekunde = int(std::floor(bruch * 1000.0 + 1e-6));
    if (msImSekunde > 999) msImSekunde = 999;
    return 1000 - msImSekunde + TaktVorhaltMs;
}

SekundenTakt::SekundenTakt(IUhr& uhr, QObject* parent) : QObject(parent), uhr_(uhr) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &SekundenTakt::Ausloesen);
}

void SekundenTakt::Schalten(bool an) {
    const bool vorher = std::exchange(an_, an);
    if (!an) {
        timer_.stop();
    } else if (!imHandler_) {
        Armieren();
    }
    // Switched on from inside its own handler: armed when the handler returns.
    if (an != vorher) emit Geschaltet(an);
}

void SekundenTakt::Armieren() { timer_.start(MsBisZumNaechstenTakt(uhr_.Lesen().sekunden)); }

void SekundenTakt::Ausloesen() {
    if (!an_) return;
    // Held back, the tick comes once afterwards: a clock second that no tick
    // falls into is simply not shown.
    if (!aufschub_) return Faellig();
    aufschub_([takt = QPointer<SekundenTakt>(this)] {
        if (takt && takt->an_) takt->Faellig();
    });
}

void SekundenTakt::Faellig() {
    // A timer that fires a little early, still before the boundary, would give
    // the old second a second tick: wait for the boundary instead.
    double s = uhr_.Lesen().sekunden;
    double bruch = s - std::floor(s);
    if (bruch > 0.9) {
        timer_.start(MsBisZumNaechstenTakt(s));
        return;
    }
    imHandler_ = true;
    emit Timer();
    imHandler_ = false;
    if (an_) Armieren();
}
