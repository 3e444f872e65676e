// SPDX-License-Identifier: GPL-3.0-or-later
#include "speech/StilleTrimmer.h"

#include <cmath>
#include <cstdlib>
#include <numbers>

namespace {

// Raised-cosine gain from 0 (i = 0) towards 1 (i = n).
double anstieg(size_t i, size_t n) {
    return 0.5 - 0.5 * std::cos(std::numbers::pi * double(i) / double(n));
}

}  // namespace

StilleTrimmer::StilleTrimmer(Ausgang ausgang, int schwelle, size_t randVorne, size_t randHinten)
    : ausgang_(std::move(ausgang)),
      schwelle_(schwelle),
      randVorne_(randVorne),
      randHinten_(randHinten) {}

void StilleTrimmer::hinein(const int16_t* pcm, size_t anzahl) {
    for (size_t i = 0; i < anzahl; ++i) {
        const int16_t s = pcm[i];
        const bool laut = std::abs(int(s)) >= schwelle_;
        if (!begonnen_) {
            if (!laut) {
                vorne_.push_back(s);
                // Keep only the last randVorne_ samples; trim in batches.
                if (vorne_.size() > 4 * randVorne_ + 64) {
                    vorne_.erase(vorne_.begin(), vorne_.end() - long(randVorne_));
                }
                continue;
            }
            begonnen_ = true;
            const size_t n = std::min(vorne_.size(), randVorne_);
            const size_t start = vorne_.size() - n;
            for (size_t j = 0; j < n; ++j) {
                raus_.push_back(int16_t(std::lround(vorne_[start + j] * anstieg(j, n))));
            }
            vorne_.clear();
            raus_.push_back(s);
            continue;
        }
        if (laut) {
            raus_.insert(raus_.end(), leise_.begin(), leise_.end());
            leise_.clear();
            raus_.push_back(s);
        } else {
            leise_.push_back(s);
        }
    }
    ausgeben();
}

void StilleTrimmer::ende() {
    const size_t n = std::min(leise_.size(), randHinten_);
    for (size_t j = 0; j < n; ++j) {
        raus_.push_back(int16_t(std::lround(leise_[j] * anstieg(n - j, n))));
    }
    ausgeben();
    begonnen_ = false;
    vorne_.clear();
    leise_.clear();
}

void StilleTrimmer::ausgeben() {
    if (raus_.empty()) return;
    ausgang_(raus_.data(), raus_.size());
    raus_.clear();
}
