// SPDX-License-Identifier: GPL-3.0-or-later
// The program's sound: the desktop audio output, the German speech engine on
// it and the seconds beat. Created once by main() and handed to the window as
// its speech service and beat; it also listens to the countdown's state and
// keeps the output awake while a countdown runs.
#pragma once

#include <memory>

#include "app/Dienste.h"

class PulseAusgabe;
class EspeakSprachDienst;
class KlickSignalton;

class SprachSystem : public ICountdownStatus {
public:
    // Does not wait for the sound server: the connection is made in the
    // background, and phrases requested meanwhile wait for it.
    SprachSystem();
    // Stops the engine and closes the output; a phrase still playing is cut.
    ~SprachSystem() override;
    SprachSystem(const SprachSystem&) = delete;
    SprachSystem& operator=(const SprachSystem&) = delete;

    ISprachDienst* dienst();
    ISignalton* signalton();
    // A running countdown keeps the output awake.
    void CountdownLaeuft(bool laeuft) override;

private:
    std::unique_ptr<PulseAusgabe> ausgabe_;
    std::unique_ptr<EspeakSprachDienst> dienst_;
    std::unique_ptr<KlickSignalton> klick_;
};
