// SPDX-License-Identifier: GPL-3.0-or-later
// An audio output without a sound device: a thread of its own consumes the mix
// in real time, block by block, and records every block that carried sound
// with the time it was played. Tests and benchmarks listen through it. Like a
// device it sleeps while nothing is queued, unless it is kept awake, and a
// sound that wakes it gets the lead-in (none unless set).
#pragma once

#include <condition_variable>
#include <thread>

#include "speech/AudioAusgabe.h"

class CaptureAusgabe : public MischendeAusgabe {
public:
    struct Block {
        AudioZeit zeit;  // when the block was played
        PcmPuffer pcm;
        MischInfo info;
    };

    enum class Takt { Echtzeit, SoSchnellWieMoeglich };

    // Block length in samples; 110 samples are 5 ms. Echtzeit plays like a
    // device; SoSchnellWieMoeglich consumes whatever is there at once (for
    // tests that only look at the samples).
    explicit CaptureAusgabe(Takt takt = Takt::Echtzeit, size_t blockLaenge = 110);
    ~CaptureAusgabe() override;

    // Simulates a lost or returning device. Losing it drops every phrase and
    // overlay; while it is gone nothing is taken.
    void setzeVerfuegbar(bool verfuegbar);

    void wachHalten(bool an) override;

    std::vector<Block> aufnahme() const;
    // All recorded samples in order, without timing.
    PcmPuffer samples() const;
    void aufnahmeLeeren();
    // Waits until nothing is left to play; false after `grenze`.
    bool warteBisStill(std::chrono::milliseconds grenze) const;

protected:
    bool annehmen(Art art, const std::function<void()>& eintragen) override;
    void anstossen(Art art) override;

private:
    void laufen();

    const Takt takt_;
    const size_t blockLaenge_;
    mutable std::mutex mutex_;
    mutable std::condition_variable wecker_;
    bool verfuegbar_ = true;
    bool ende_ = false;
    bool wach_ = false;
    std::vector<Block> aufnahme_;
    std::thread faden_;
};
