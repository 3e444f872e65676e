// SPDX-License-Identifier: GPL-3.0-or-later
#include "speech/SprachSystem.h"

#include "speech/EspeakStimme.h"
#include "speech/KlickSignalton.h"
#include "speech/PulseAusgabe.h"

SprachSystem::SprachSystem()
    : ausgabe_(std::make_unique<PulseAusgabe>()),
      dienst_(std::make_unique<EspeakSprachDienst>(*ausgabe_)),
      klick_(std::make_unique<KlickSignalton>(ausgabe_.get())) {}

SprachSystem::~SprachSystem() {
    // The engine and the beat use the output, so they go first.
    klick_.reset();
    dienst_.reset();
    ausgabe_.reset();
}

ISprachDienst* SprachSystem::dienst() { return dienst_.get(); }

ISignalton* SprachSystem::signalton() { return klick_.get(); }

void SprachSystem::CountdownLaeuft(bool laeuft) { ausgabe_->wachHalten(laeuft); }
