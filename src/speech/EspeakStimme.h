// SPDX-License-Identifier: GPL-3.0-or-later
// The speech engine: German voices of libespeak-ng, synthesised on one worker
// thread that owns every call into the library, and played through an
// IAudioAusgabe. Phrases queue in request order and are never purged.
#pragma once

#include <QString>
#include <memory>
#include <mutex>

#include "app/Dienste.h"
#include "speech/AudioAusgabe.h"

class EspeakMaschine;

// Designed rate scale -10 ... 10 to espeak-ng's words per minute: 0 is its
// normal 175, each step a factor of 3^(1/10), clamped to 80 ... 450.
int EspeakWorteProMinute(int rate);

class EspeakStimme : public IStimme {
public:
    explicit EspeakStimme(std::shared_ptr<EspeakMaschine> maschine);

    bool GetVoices(SprachTokens& stimmen) override;
    // Accepts a token of GetVoices (by its index); false for any other.
    bool SetVoice(const SprachToken& token) override;
    // False outside -10 ... 10; the rate in use then stays.
    bool SetRate(int rate) override;
    // Flags 1 queues and returns at once. Flags 0 returns once this phrase and
    // every earlier one has been played, or at once when there is no sound
    // output (the phrase is then dropped quietly, and the result is still
    // true), or when the output has made no headway for a few seconds. False
    // only when the engine has been shut down.
    bool Speak(const QString& text, int flags) override;

private:
    std::shared_ptr<EspeakMaschine> maschine_;
    std::mutex mutex_;
    int stimme_ = 0;
    int rate_ = 0;
};

class EspeakSprachDienst : public ISprachDienst {
public:
    // `datenPfad`: espeak-ng's data directory; empty for the installed data.
    // The output must outlive this object.
    explicit EspeakSprachDienst(IAudioAusgabe& ausgabe, QString datenPfad = {});
    // Stops the engine; voices made here then refuse every request.
    ~EspeakSprachDienst() override;

    // Starts the engine on first use and waits only until its data and voices
    // are known (some tens of milliseconds); the rest of the start-up goes on
    // in the background, and phrases requested meanwhile wait for it. Null
    // when espeak-ng cannot start here (data missing, no German voice) or
    // another engine is running in this process; fehler() then tells why.
    std::unique_ptr<IStimme> ErzeugeStimme() override;
    QString fehler() const { return fehler_; }

private:
    IAudioAusgabe& ausgabe_;
    const QString datenPfad_;
    std::shared_ptr<EspeakMaschine> maschine_;
    QString fehler_;
};
