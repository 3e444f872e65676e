// SPDX-License-Identifier: GPL-3.0-or-later
#include "speech/KlickSignalton.h"

#include <QApplication>
#include <cmath>
#include <numbers>

KlickSignalton::KlickSignalton(IAudioAusgabe* ausgabe, std::function<void()> ersatz)
    : ausgabe_(ausgabe),
      ersatz_(ersatz ? std::move(ersatz) : [] { QApplication::beep(); }),
      klang_(std::make_shared<const PcmPuffer>(klangErzeugen())) {}

void KlickSignalton::Beep() {
    if (ausgabe_ && ausgabe_->ueberlagern(klang_)) return;
    ersatz_();
}

PcmPuffer KlickSignalton::klangErzeugen() {
    constexpr double kFrequenz = 1500.0;
    constexpr double kDauer = 0.030;
    constexpr double kRand = 0.005;  // rise and fall
    constexpr double kPegel = 0.35 * 32767.0;
    const size_t n = size_t(kDauer * kAbtastrate);
    const size_t rand = size_t(kRand * kAbtastrate);
    PcmPuffer klang(n);
    for (size_t i = 0; i < n; ++i) {
        double huelle = 1.0;
        const size_t vomEnde = n - 1 - i;
        if (i < rand) huelle = 0.5 - 0.5 * std::cos(std::numbers::pi * double(i) / double(rand));
        if (vomEnde < rand) {
            huelle = 0.5 - 0.5 * std::cos(std::numbers::pi * double(vomEnde) / double(rand));
        }
        // After the rise the click decays, so it sounds like a tick, not a tone.
        huelle *= std::exp(-double(i) / (0.012 * kAbtastrate));
        const double welle = std::sin(2.0 * std::numbers::pi * kFrequenz * double(i) / kAbtastrate);
        klang[i] = int16_t(std::lround(kPegel * huelle * welle));
    }
    return klang;
}
