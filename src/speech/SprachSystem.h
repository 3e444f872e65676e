// SPDX-License-Identifier: GPL-3.0-or-later
// The program's sound: the desktop audio output, the German speech engine on
// it and the seconds beat. Created once by main() and handed to the window as
// its speech service and beat.
#pragma once

#include <memory>

#include "app/Dienste.h"

class PulseAusgabe;
class EspeakSprachDienst;
class KlickSignalton;

class SprachSystem {
public:
    // Does not wait for the sound server: the connection is made in the
    // background, and phrases requested meanwhile wait for it.
    SprachSystem();
    // Stops the engine and closes the output; a phrase still playing is cut.
    ~SprachSystem();
    SprachSystem(const SprachSystem&) = delete;
    SprachSystem& operator=(const SprachSystem&) = delete;

    ISprachDienst* dienst();
    ISignalton* signalton();

private:
    std::unique_ptr<PulseAusgabe> ausgabe_;
    std::unique_ptr<EspeakSprachDienst> dienst_;
    std::unique_ptr<KlickSignalton> klick_;
};
