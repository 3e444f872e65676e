// SPDX-License-Identifier: GPL-3.0-or-later
#include "speech/SprachSystem.h"

#include <QApplication>

#include "speech/EspeakStimme.h"

KlickSignalton::KlickSignalton(ITonausgabe* ausgabe, std::function<void()> ersatz)
    : ausgabe_(ausgabe), ersatz_(ersatz ? std::move(ersatz) : [] { QApplication::beep(); }) {}

void KlickSignalton::Abspielen() {
    if (!ausgabe_ || !ausgabe_->klick(Wanduhr::now())) ersatz_();
}

SprachSystem::SprachSystem()
    : dienst_(std::make_unique<EspeakSprachDienst>(ausgabe_)), klick_(&ausgabe_) {}

SprachSystem::~SprachSystem() = default;

ISprachDienst* SprachSystem::dienst() { return dienst_.get(); }
