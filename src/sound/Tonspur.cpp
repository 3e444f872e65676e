// SPDX-License-Identifier: GPL-3.0-or-later
#include "Tonspur.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <utility>

namespace {

using namespace std::chrono_literals;

// Kept free ahead of the server's read position: a sound is never written
// where the server may be reading right now, and one placed before it has begun.
constexpr auto kReserve = 2ms;
// How far two reports of the position may disagree by the rounding of
// positions and times to whole frames alone.
constexpr int64_t kRundung = 2;
// Snapshots that tell the position to within this place a sound well enough;
// waiting for a fresher one is not worth it.
constexpr auto kSpiel = 1ms;

}  // namespace

Tonspur::Tonspur(int abtastrate, std::chrono::milliseconds anlauf)
    : rate_(abtastrate), anlauf_(Frames(anlauf)), klick_(KlickKlang(abtastrate)) {}

int64_t Tonspur::Frames(Wanduhr::duration d) const {
    return std::llround(std::chrono::duration<double>(d).count() * rate_);
}

Wanduhr::duration Tonspur::Dauer(int64_t frames) const {
    return std::chrono::duration_cast<Wanduhr::duration>(
        std::chrono::duration<double>(double(frames) / rate_));
}

void Tonspur::Klick(std::optional<Wanduhr::time_point> um, Wanduhr::time_point jetzt,
                    ErledigungPtr erledigt) {
    Anfordern({um, jetzt, klick_, std::move(erledigt), false});
}

void Tonspur::Phrase(std::optional<Wanduhr::time_point> um, Wanduhr::time_point jetzt,
                     Abtastwerte pcm, ErledigungPtr erledigt) {
    Anfordern({um, jetzt, std::move(pcm), std::move(erledigt), true});
}

void Tonspur::Anfordern(Klang k) {
    if (!laeuft_) {
        // The read position stood still while the stream was stopped: what
        // the old snapshots tell of it no longer holds.
        laeuft_ = true;
        anlaufNoetig_ = true;
        staende_.clear();
        letzter_.reset();
        davor_.reset();
    }
    klaenge_.push_back(std::move(k));
    Anordnen(klaenge_.back().gekommen);
}

void Tonspur::WachHalten(bool an) {
    wach_ = an;
    if (an && !laeuft_) {
        // Silence from now on wakes the device; nothing waits for it, so the
        // first second of a countdown is heard on its boundary where it can be.
        laeuft_ = true;
        staende_.clear();
        letzter_.reset();
        davor_.reset();
    }
}

void Tonspur::Absagen(const Erledigung* erledigt, Wanduhr::time_point jetzt) {
    const auto k = std::find_if(klaenge_.begin(), klaenge_.end(),
                                [&](const Klang& x) { return x.erledigt.get() == erledigt; });
    if (k == klaenge_.end()) return;
    if (k->beginn >= 0) {
        if (k->beginn < Frueheste(jetzt)) return;  // begun: it sounds to its end
        umschreibenAb_ = umschreibenAb_ < 0 ? k->beginn : std::min(umschreibenAb_, k->beginn);
    }
    const ErledigungPtr e = std::move(k->erledigt);
    klaenge_.erase(k);
    Anordnen(jetzt);  // a phrase that waited behind it moves up
    if (e) e->Melden();
}

int64_t Tonspur::Vorn(const StromStand& x) const { return x.gelesen - x.imGeraet; }

const StromStand& Tonspur::Bester() const {
    // The first report of the newest read position is at most as stale as
    // the time since the last report of the one before. A snapshot further
    // ahead of it than that was overtaken by a loss and is passed over; of
    // the others the one furthest ahead is the least stale. Positions are
    // compared at one instant: each is carried on from its own time.
    const StromStand& n = staende_.back();
    const int64_t schranke =
        davor_ ? Frames(n.wann - *davor_) : std::numeric_limits<int64_t>::max() / 2;
    const auto bei = [&](const StromStand& x) { return Vorn(x) + Frames(n.wann - x.wann); };
    const StromStand* b = &n;
    for (const auto& x : staende_) {
        if (bei(x) - bei(n) > schranke + kRundung) continue;
        if (bei(x) > bei(*b)) b = &x;
    }
    return *b;
}

bool Tonspur::Gewiss() const {
    if (staende_.empty()) return false;
    const StromStand& n = staende_.back();
    // The newest position's first report, bounded in staleness by the one before it.
    if (davor_ && n.wann - *davor_ <= kNachfrage + kSpiel) return true;
    // Or a later report of the same position that agrees with it: the server
    // tells the position as it is at the time of its answer.
    const StromStand& l = *letzter_;
    return l.wann - n.wann >= kSpiel &&
           std::abs(Vorn(l) + Frames(n.wann - l.wann) - Vorn(n)) <= kRundung;
}

int64_t Tonspur::Frueheste(Wanduhr::time_point jetzt) const {
    if (staende_.empty()) return std::max(geschrieben_, anlaufBis_);
    const StromStand& b = Bester();
    const int64_t lesen = std::max(letzter_->gelesen + Frames(jetzt - letzter_->wann),
                                   b.gelesen + Frames(jetzt - b.wann));
    return std::max(lesen + Frames(kReserve), anlaufBis_);
}

void Tonspur::Stand(const StromStand& s, Wanduhr::time_point jetzt) {
    // A stream that starts or ran dry has no steady position to keep.
    if (!s.spielt) {
        staende_.clear();
        letzter_.reset();
        davor_.reset();
    }
    // A report of the read position the one before had adds nothing: it is
    // only staler.
    if (!letzter_ || s.gelesen != letzter_->gelesen) {
        davor_ = letzter_ ? std::optional(letzter_->wann) : std::nullopt;
        while (!staende_.empty() && staende_.front().wann < s.wann - kFrische) staende_.pop_front();
        staende_.push_back(s);
    }
    letzter_ = s;
    // A stream that ran dry has been read past what was written.
    geschrieben_ = std::max(geschrieben_, s.gelesen);
    if (anlaufNoetig_) {
        anlaufBis_ = Frueheste(jetzt) + anlauf_;
        anlaufNoetig_ = false;
    }
    Anordnen(jetzt);
    Erledigen(s.gelesen);
    StilleSehen(jetzt);
}

void Tonspur::Anordnen(Wanduhr::time_point jetzt) {
    if (staende_.empty()) return;  // nothing can be placed without a snapshot
    const StromStand& b = Bester();
    const int64_t frueheste = Frueheste(jetzt);
    int64_t neuAb = umschreibenAb_ < 0 ? std::numeric_limits<int64_t>::max() : umschreibenAb_;
    const auto setzen = [&](Klang& k, int64_t beginn) {
        if (k.beginn == beginn) return;
        neuAb = std::min(neuAb, k.beginn >= 0 ? std::min(k.beginn, beginn) : beginn);
        k.beginn = beginn;
    };
    std::map<Wanduhr::time_point, int64_t> rahmen;
    const auto rahmen_um = [&](Wanduhr::time_point um) {
        auto [r, neu] = rahmen.try_emplace(um, b.gelesen - b.imGeraet + Frames(um - b.wann));
        if (neu) {
            const auto alt = rahmen_.find(um);
            if (alt != rahmen_.end() && std::abs(alt->second - r->second) <= kRundung)
                r->second = alt->second;
        }
        return r->second;
    };
    // Sounds begun stay where they are; the others take the frame of their
    // instant, or the one given when they came, and no earlier one than now.
    int64_t sprachEnde = 0;
    std::vector<std::pair<int64_t, Klang*>> phrasen;  // wished frame, in order of coming
    for (auto& k : klaenge_) {
        if (k.beginn >= 0 && k.beginn < frueheste) {
            if (k.phrase) sprachEnde = std::max(sprachEnde, k.Ende());
            if (k.um) {
                const auto alt = rahmen_.find(*k.um);
                rahmen.try_emplace(*k.um, alt != rahmen_.end() ? alt->second : k.beginn);
            }
            continue;
        }
        if (letzter_->wann < k.Ab()) continue;  // waits for a snapshot from then on
        int64_t ziel;
        if (k.um) {
            ziel = rahmen_um(*k.um);
        } else {
            if (k.wunsch < 0) k.wunsch = frueheste;
            ziel = k.wunsch;
        }
        ziel = std::max(ziel, frueheste);
        if (k.phrase) {
            phrasen.emplace_back(ziel, &k);
        } else {
            setzen(k, ziel);
        }
    }
    std::stable_sort(phrasen.begin(), phrasen.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& [ziel, k] : phrasen) {
        setzen(*k, std::max(ziel, sprachEnde));
        sprachEnde = k->Ende();
    }
    rahmen_.swap(rahmen);
    for (const auto& k : klaenge_) {
        if (k.beginn >= 0) stilleAb_ = std::max(stilleAb_, k.Ende());
    }
    umschreibenAb_ = neuAb < geschrieben_ ? neuAb : -1;
}

Abschnitt Tonspur::Umschreiben() {
    if (umschreibenAb_ < 0) return {};
    const int64_t ab = std::exchange(umschreibenAb_, -1);
    return {ab, Mischen(ab, geschrieben_)};
}

void Tonspur::Erledigen(int64_t gelesen) {
    // Sounds read completely are done; no sound before the read position
    // will be written again.
    std::vector<ErledigungPtr> fertig;
    std::erase_if(klaenge_, [&](Klang& k) {
        if (k.beginn < 0 || k.Ende() > gelesen) return false;
        if (k.erledigt) fertig.push_back(std::move(k.erledigt));
        return true;
    });
    for (auto& e : fertig) e->Melden();
}

void Tonspur::StilleSehen(Wanduhr::time_point jetzt) {
    // Not kept awake, the stream stops after a second of silence heard with
    // nothing left to do.
    if (wach_ || !klaenge_.empty() || !letzter_) return;
    if (letzter_->gelesen + Frames(jetzt - letzter_->wann) - stilleAb_ >= rate_) laeuft_ = false;
}

Abschnitt Tonspur::Weiter(size_t anzahl, Wanduhr::time_point jetzt) {
    Abschnitt a{geschrieben_, Mischen(geschrieben_, geschrieben_ + int64_t(anzahl))};
    geschrieben_ += int64_t(anzahl);
    // Between snapshots, the sounds the server must have read by now are
    // done, give or take a stale snapshot.
    if (letzter_) Erledigen(letzter_->gelesen + Frames(jetzt - letzter_->wann - kFrische));
    StilleSehen(jetzt);
    return a;
}

std::optional<Wanduhr::time_point> Tonspur::NaechsterStand(Wanduhr::time_point jetzt) const {
    if (!laeuft_) return std::nullopt;
    std::optional<Wanduhr::time_point> n;
    const auto frueher = [&](Wanduhr::time_point t) {
        if (!n || t < *n) n = t;
    };
    if (anlaufNoetig_) frueher(jetzt);  // the lead-in runs from the stream's start
    for (const auto& k : klaenge_) {
        if (!letzter_ || letzter_->wann < k.Ab()) {
            // Its placement's first snapshot.
            frueher(std::max(k.Ab(), jetzt));
        } else if (k.um && !Gewiss() && letzter_->wann + kNachfrage < *k.um - kBedenkzeit) {
            frueher(letzter_->wann + kNachfrage);
        } else if (!k.um && k.phrase && k.beginn >= 0) {
            // Whoever asked for a phrase at once may wait for it.
            frueher(staende_.back().wann + Dauer(k.Ende() - staende_.back().gelesen) + 2ms);
        }
    }
    return n;
}

void Tonspur::Verwerfen() {
    std::vector<ErledigungPtr> fertig;
    for (auto& k : klaenge_) {
        if (k.erledigt) fertig.push_back(std::move(k.erledigt));
    }
    klaenge_.clear();
    rahmen_.clear();
    geschrieben_ = stilleAb_ = anlaufBis_ = 0;
    umschreibenAb_ = -1;
    laeuft_ = wach_;
    anlaufNoetig_ = false;
    staende_.clear();
    letzter_.reset();
    davor_.reset();
    for (auto& e : fertig) e->Melden();
}

Abtastwerte Tonspur::Mischen(int64_t von, int64_t bis) const {
    Abtastwerte pcm(size_t(std::max<int64_t>(bis - von, 0)), 0);
    for (const auto& k : klaenge_) {
        if (k.beginn < 0) continue;
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
