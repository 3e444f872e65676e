// SPDX-License-Identifier: GPL-3.0-or-later
#include "Produktion.h"

#include <QApplication>

#include "EspeakStimme.h"

// The sound output does not wait for the sound server: it connects in the
// background, and phrases requested meanwhile wait for it.
ProduktionsDienste::ProduktionsDienste()
    // Without a working output the beat falls back to the platform's beep.
    : ton_(std::make_unique<Tonausgabe>(std::string(), [] { QApplication::beep(); })),
      sprache_(std::make_unique<EspeakSprachDienst>(*ton_)) {
    // While a countdown runs the sound output stays awake.
    countdown_.Hinzufuegen(ton_.get());
    // While a countdown runs, the session neither goes idle nor suspends.
    countdown_.Hinzufuegen(&wachHalter_);
}

ProduktionsDienste::~ProduktionsDienste() = default;

Dienste ProduktionsDienste::Alle() {
    Dienste d;
    d.uhr = &uhr_;
    d.dateisystem = &dateien_;
    d.meldung = &meldung_;
    // The engine reports itself unusable (no data, no German voice) by
    // handing out no voice; start-up then switches speech off for the run.
    d.sprache = sprache_.get();
    // The beat plays through the program's own audio output, and falls back to
    // the platform beep where there is none.
    d.signalton = ton_.get();
    d.countdown = &countdown_;
    d.benachrichtigung = &benachrichtigung_;
    return d;
}
