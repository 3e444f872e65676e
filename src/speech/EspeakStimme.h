// SPDX-License-Identifier: GPL-3.0-or-later
// The speech engine: German voices of libespeak-ng. One worker thread takes
// the phrases in request order, synthesises each whole, trims its silence and
// hands it to the sound output with the time it was requested, so that a
// number said in a countdown's tick is heard on that tick's beat.
#pragma once

#include <QString>
#include <memory>

#include "app/Dienste.h"
#include "speech/Tonausgabe.h"

class EspeakMaschine;

// A voice of the engine; used on the window's thread only.
class EspeakStimme : public IStimme {
public:
    explicit EspeakStimme(std::shared_ptr<EspeakMaschine> maschine);

    bool GetVoices(SprachTokens& stimmen) override;
    // Accepts a token of GetVoices (by its index); false for any other.
    bool SetVoice(const SprachToken& token) override;
    // False outside -10 ... 10; the rate in use then stays.
    bool SetRate(int rate) override;
    // Flags 1 queues and returns at once. Flags 0 returns once this phrase and
    // every earlier one has been heard, or dropped: at once without a sound
    // output, within two seconds past its end when the output stops
    // answering; it waits in the window's event loop (Warten::Bis), so it is
    // called on the window's thread. False only when the engine has been shut down.
    bool Speak(const QString& text, int flags) override;

private:
    std::shared_ptr<EspeakMaschine> maschine_;
    int stimme_ = 0;
    int rate_ = 0;
};

class EspeakSprachDienst : public ISprachDienst {
public:
    // `datenPfad`: espeak-ng's data directory; empty for the installed data.
    // The data first loaded stay for the whole process; an engine asked for
    // with other data is refused.
    // The output must outlive this object.
    explicit EspeakSprachDienst(ITonausgabe& ausgabe, QString datenPfad = {});
    // Stops the engine and waits for its worker; voices made here then refuse
    // every request, and phrases still queued are dropped.
    ~EspeakSprachDienst() override;

    // Starts the engine on first use and waits only until its data and voices
    // are known (some tens of milliseconds). Null when espeak-ng cannot start
    // here (data missing, no German voice) or another engine is running in
    // this process; fehler() then tells why.
    std::unique_ptr<IStimme> ErzeugeStimme() override;
    QString fehler() const { return fehler_; }

private:
    ITonausgabe& ausgabe_;
    const QString datenPfad_;
    std::shared_ptr<EspeakMaschine> maschine_;
    QString fehler_;
};
