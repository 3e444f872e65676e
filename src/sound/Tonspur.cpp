// SPDX-License-Identifier: GPL-3.0-or-later
#include "Tonspur.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace {

using namespace std::chrono_literals;

// Kept free ahead of the server's read position: a sound is never written
// where the server may be reading right now.
constexpr auto kReserve = 2ms;
// How far two reports of the position may disagree by the rounding of
// positions and times to whole frames alone.
constexpr int64_t kRundung = 2;
// Snapshots that agree to within this place a sound well enough; waiting for
// a fresher one is not worth it.
constexpr auto kSpiel = 1ms;

}  // namespace

Tonspur::Tonspur(int abtastrate, std::chrono::milliseconds versatz,
                 std::chrono::milliseconds anlauf)
    : rate_(abtastrate),
      versatz_(versatz),
      anlauf_(Frames(anlauf)),
      klick_(KlickKlang(abtastrate)) {}

int64_t Tonspur::Frames(Wanduhr::duration d) const {
    return std::llround(std::chrono::duration<double>(d).count() * rate_);
}

Wanduhr::duration Tonspur::Dauer(int64_t frames) const {
    return std::chrono::duration_cast<Wanduhr::duration>(
        std::chrono::duration<double>(double(frames) / rate_));
}

void Tonspur::Klick(Wanduhr::time_point angefordert) {
    Anfordern({angefordert, klick_, {}, false});
}

void Tonspur::Phrase(Wanduhr::time_point angefordert, Abtastwerte pcm,
                     std::function<void()> fertig) {
    Anfordern({angefordert, std::move(pcm), std::move(fertig), true});
}

void Tonspur::Anfordern(Anforderung a) {
    // Due at the boundary of the second it was requested in, plus the offset.
    a.takt = std::chrono::floor<std::chrono::seconds>(a.takt) + versatz_;
    if (!laeuft_) {
        laeuft_ = true;
        anlaufNoetig_ = true;
    }
    wartend_.push_back(std::move(a));
}

void Tonspur::WachHalten(bool an) {
    wach_ = an;
    // Silence from now on wakes the device; nothing waits for it.
    if (an) laeuft_ = true;
}

Abschnitt Tonspur::Stand(const StromStand& s, Wanduhr::time_point jetzt) {
    // A stream that starts or ran dry has no steady position to keep.
    if (!s.spielt) {
        staende_.clear();
        letzter_.reset();
    }
    // A report of the read position the one before had adds nothing: it is
    // only staler.
    if (!letzter_ || s.gelesen != letzter_->gelesen) {
        davor_ = letzter_ ? std::optional(letzter_->wann) : std::nullopt;
        while (!staende_.empty() && staende_.front().wann < s.wann - kFrische) staende_.pop_front();
        staende_.push_back(s);
    }
    letzter_ = s;
    const auto vorn = [&](const StromStand& x) {
        return x.gelesen - x.imGeraet + Frames(jetzt - x.wann);
    };
    // The first report of the newest read position is at most as stale as
    // the time since the last report of the one before. A snapshot further
    // ahead of it than that was overtaken by a loss and is passed over; of
    // the others the one furthest ahead is the least stale. Reports that
    // disagree leave the position in doubt by up to that bound: while a
    // request can narrow it and there is time, the sounds wait.
    const StromStand& n = staende_.back();
    const int64_t schranke =
        davor_ ? Frames(n.wann - *davor_) : std::numeric_limits<int64_t>::max() / 2;
    StromStand b = n;
    int64_t hinten = vorn(n);
    for (const auto& x : staende_) {
        if (vorn(x) - vorn(n) > schranke + kRundung) continue;
        if (vorn(x) > vorn(b)) b = x;
        hinten = std::min(hinten, vorn(x));
    }
    const bool zweifel = vorn(b) - hinten > Frames(kSpiel) && schranke > Frames(kNachfrage) + Frames(kSpiel);
    const bool warten =
        zweifel && std::all_of(wartend_.begin(), wartend_.end(),
                               [&](const auto& a) { return jetzt < a.takt - kBedenkzeit; });
    // A stream that ran dry has been read past what was written.
    geschrieben_ = std::max(geschrieben_, s.gelesen);
    int64_t frueheste =
        std::max(s.gelesen + Frames(jetzt - s.wann), b.gelesen + Frames(jetzt - b.wann)) + Frames(kReserve);
    if (anlaufNoetig_) {
        anlaufBis_ = frueheste + anlauf_;
        anlaufNoetig_ = false;
    }
    frueheste = std::max(frueheste, anlaufBis_);

    int64_t neuAb = geschrieben_;
    std::vector<Anforderung> platzieren;
    if (!warten) platzieren.swap(wartend_);
    for (auto& a : platzieren) {
        int64_t beginn = b.gelesen - b.imGeraet + Frames(a.takt - b.wann);
        if (a.takt == merkTakt_ && merkBeginn_ >= 0) beginn = merkBeginn_;
        beginn = std::max(beginn, frueheste);
        if (a.phrase) beginn = std::max(beginn, sprachEnde_);
        if (a.takt != merkTakt_ || merkBeginn_ < frueheste) {
            merkTakt_ = a.takt;
            merkBeginn_ = beginn;
        }
        Klang k{beginn, std::move(a.pcm), std::move(a.fertig)};
        if (a.phrase) sprachEnde_ = k.Ende();
        stilleAb_ = std::max(stilleAb_, k.Ende());
        neuAb = std::min(neuAb, beginn);
        klaenge_.push_back(std::move(k));
    }

    // Phrases read completely are done; no sound before the read position
    // will be written again.
    std::erase_if(klaenge_, [&](Klang& k) {
        if (k.Ende() > s.gelesen) return false;
        if (k.fertig) k.fertig();
        return true;
    });
    if (neuAb >= geschrieben_) return {};
    return {neuAb, Mischen(neuAb, geschrieben_)};
}

Abschnitt Tonspur::Weiter(size_t anzahl) {
    Abschnitt a{geschrieben_, Mischen(geschrieben_, geschrieben_ + int64_t(anzahl))};
    geschrieben_ += int64_t(anzahl);
    // Not kept awake, the stream stops after a second of silence with
    // nothing left to do.
    const bool phrasen = std::any_of(klaenge_.begin(), klaenge_.end(),
                                     [](const Klang& k) { return bool(k.fertig); });
    if (!wach_ && wartend_.empty() && !phrasen && geschrieben_ - stilleAb_ >= rate_) {
        laeuft_ = false;
    }
    return a;
}

std::optional<Wanduhr::time_point> Tonspur::NaechsterStand() const {
    if (staende_.empty()) return std::nullopt;
    if (!wartend_.empty()) return letzter_->wann + kNachfrage;
    std::optional<int64_t> ende;
    for (const auto& k : klaenge_) {
        if (k.fertig && (!ende || k.Ende() < *ende)) ende = k.Ende();
    }
    if (!ende) return std::nullopt;
    return staende_.back().wann + Dauer(*ende - staende_.back().gelesen) + 2ms;
}

void Tonspur::Verwerfen() {
    std::vector<std::function<void()>> fertig;
    for (auto& a : wartend_) fertig.push_back(std::move(a.fertig));
    for (auto& k : klaenge_) fertig.push_back(std::move(k.fertig));
    wartend_.clear();
    klaenge_.clear();
    geschrieben_ = sprachEnde_ = stilleAb_ = anlaufBis_ = 0;
    merkBeginn_ = -1;
    laeuft_ = wach_;
    anlaufNoetig_ = false;
    staende_.clear();
    letzter_.reset();
    for (auto& f : fertig) {
        if (f) f();
    }
}

Abtastwerte Tonspur::Mischen(int64_t von, int64_t bis) const {
    Abtastwerte pcm(size_t(std::max<int64_t>(bis - von, 0)), 0);
    for (const auto& k : klaenge_) {
        const int64_t a = std::max(von, k.beginn), b = std::min(bis, k.Ende());
        for (int64_t i = a; i < b; ++i) {
            int16_t& ziel = pcm[size_t(i - von)];
            ziel = int16_t(std::clamp(int(ziel) + k.pcm[size_t(i - k.beginn)], -32768, 32767));
        }
    }
    return pcm;
}

// A 1.5 kHz tone burst of 30 ms under a raised-cosine rise and fall of 5 ms,
// decaying after the rise, so it sounds like a tick, not a tone.
Abtastwerte Tonspur::KlickKlang(int abtastrate) {
    constexpr double kFrequenz = 1500.0, kPegel = 0.35 * 32767.0;
    const size_t n = size_t(abtastrate) * 30 / 1000, rand = size_t(abtastrate) * 5 / 1000;
    Abtastwerte klang(n);
    for (size_t i = 0; i < n; ++i) {
        const size_t kante = std::min(i, n - 1 - i);
        double huelle =
            kante < rand ? 0.5 - 0.5 * std::cos(std::numbers::pi * double(kante) / rand) : 1.0;
        huelle *= std::exp(-double(i) / (0.012 * abtastrate));
        const double welle = std::sin(2.0 * std::numbers::pi * kFrequenz * double(i) / abtastrate);
        klang[i] = int16_t(std::lround(kPegel * huelle * welle));
    }
    return klang;
}
