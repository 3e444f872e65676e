// SPDX-License-Identifier: GPL-3.0-or-later
// The program's sound, assembled: the output on the desktop's sound server,
// the German speech engine on it and the seconds beat. Created once by
// start-up and handed to the window as its speech service and beat; it also
// listens to the countdown's state and keeps the output awake while one runs.
//
// The path of every sound: EspeakStimme synthesises and trims a phrase,
// Tonausgabe places it (or a click) in Tonspur, the stream's timeline, and
// writes that timeline to libpulse.
#pragma once

#include <functional>
#include <memory>

#include "app/Dienste.h"
#include "speech/Tonausgabe.h"

class EspeakSprachDienst;

// The seconds beat: a short soft click on the output, on the second it was
// asked for. The platform beep is silent on most Linux desktops, so it is
// only the fallback for when there is no working output.
class KlickSignalton : public ISignalton {
public:
    // `ausgabe` may be null; `ersatz` defaults to QApplication::beep.
    explicit KlickSignalton(ITonausgabe* ausgabe, std::function<void()> ersatz = {});
    // Never blocks.
    void Abspielen() override;

private:
    ITonausgabe* ausgabe_;
    std::function<void()> ersatz_;
};

class SprachSystem : public ICountdownStatus {
public:
    // Does not wait for the sound server: the connection is made in the
    // background, and phrases requested meanwhile wait for it.
    SprachSystem();
    // Stops the engine (waiting for its worker), then closes the output; a
    // phrase still playing is cut.
    ~SprachSystem() override;
    SprachSystem(const SprachSystem&) = delete;
    SprachSystem& operator=(const SprachSystem&) = delete;

    ISprachDienst* dienst();
    ISignalton* signalton() { return &klick_; }
    void CountdownLaeuft(bool laeuft) override { ausgabe_.wachHalten(laeuft); }

private:
    Tonausgabe ausgabe_;  // first made, last gone: everything else writes to it
    std::unique_ptr<EspeakSprachDienst> dienst_;
    KlickSignalton klick_;
};
