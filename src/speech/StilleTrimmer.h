// SPDX-License-Identifier: GPL-3.0-or-later
// Cuts the silence that the synthesiser puts before and after a phrase while
// the samples stream through, so that a one-word phrase lasts no longer than
// the word. Pauses inside the phrase stay. A few milliseconds before the first
// and after the last audible sample are kept and faded, so the cut never clicks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "speech/AudioAusgabe.h"

class StilleTrimmer {
public:
    using Ausgang = std::function<void(const int16_t*, size_t)>;

    // Samples whose magnitude reaches `schwelle` count as sound (about -40 dBFS).
    explicit StilleTrimmer(Ausgang ausgang, int schwelle = 320,
                           size_t randVorne = kAbtastrate * 5 / 1000,
                           size_t randHinten = kAbtastrate * 15 / 1000);

    void hinein(const int16_t* pcm, size_t anzahl);
    // The phrase is complete: hands on the faded end and resets for the next one.
    void ende();

private:
    void ausgeben();

    Ausgang ausgang_;
    const int schwelle_;
    const size_t randVorne_;
    const size_t randHinten_;
    bool begonnen_ = false;
    PcmPuffer vorne_;  // quiet samples before the first sound (the last randVorne_ of them)
    PcmPuffer leise_;  // quiet samples since the last sound
    PcmPuffer raus_;   // samples ready to hand on
};
