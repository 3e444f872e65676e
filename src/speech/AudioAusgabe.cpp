// SPDX-License-Identifier: GPL-3.0-or-later
#include "speech/AudioAusgabe.h"

#include <algorithm>
#include <utility>

namespace {

AudioUhr::duration dauer(size_t samples) {
    return std::chrono::duration_cast<AudioUhr::duration>(
        std::chrono::duration<double>(double(samples) / kAbtastrate));
}

struct Meldung {
    PhraseFertig fertig;
    PhrasenErgebnis ergebnis;
};

void melden(std::vector<Meldung>& meldungen) {
    for (auto& m : meldungen) {
        if (m.fertig) m.fertig(m.ergebnis);
    }
    meldungen.clear();
}

}  // namespace

// ---------------------------------------------------------------- AudioMischer

uint64_t AudioMischer::phraseBeginnen(PhraseFertig fertig) {
    std::lock_guard lock(mutex_);
    Phrase p;
    p.nr = naechsteNr_++;
    p.fertig = std::move(fertig);
    phrasen_.push_back(std::move(p));
    return phrasen_.back().nr;
}

AudioMischer::Phrase* AudioMischer::finden(uint64_t nr) {
    for (auto& p : phrasen_) {
        if (p.nr == nr) return &p;
    }
    return nullptr;
}

void AudioMischer::phraseDaten(uint64_t nr, const int16_t* pcm, size_t anzahl) {
    std::lock_guard lock(mutex_);
    if (Phrase* p = finden(nr); p && !p->beendet) p->pcm.insert(p->pcm.end(), pcm, pcm + anzahl);
}

void AudioMischer::phraseBeenden(uint64_t nr) {
    std::lock_guard lock(mutex_);
    if (Phrase* p = finden(nr)) p->beendet = true;
}

void AudioMischer::ueberlagern(std::shared_ptr<const PcmPuffer> klang) {
    if (!klang || klang->empty()) return;
    std::lock_guard lock(mutex_);
    klaenge_.push_back({std::move(klang), 0, false});
}

void AudioMischer::anlaufSetzen(size_t anzahl) {
    std::lock_guard lock(mutex_);
    anlauf_ = anzahl;
}

void AudioMischer::allesVerwerfen() {
    std::vector<Meldung> meldungen;
    {
        std::lock_guard lock(mutex_);
        // Whatever has been handed over completely counts as played.
        for (auto& a : ausstehend_) meldungen.push_back({std::move(a.fertig), a.ergebnis});
        ausstehend_.clear();
        for (auto& p : phrasen_) meldungen.push_back({std::move(p.fertig), PhrasenErgebnis{}});
        phrasen_.clear();
        klaenge_.clear();
        anlauf_ = 0;
    }
    melden(meldungen);
}

void AudioMischer::ausstehendeAbschliessen() {
    std::vector<Meldung> meldungen;
    {
        std::lock_guard lock(mutex_);
        for (auto& a : ausstehend_) meldungen.push_back({std::move(a.fertig), a.ergebnis});
        ausstehend_.clear();
    }
    melden(meldungen);
}

bool AudioMischer::ohneLueckeMoeglich(size_t anzahl) const {
    std::lock_guard lock(mutex_);
    if (phrasen_.empty()) return true;
    const Phrase& p = phrasen_.front();
    return p.beendet || p.pcm.size() - p.pos >= anzahl;
}

bool AudioMischer::hatArbeit() const {
    std::lock_guard lock(mutex_);
    return !phrasen_.empty() || !klaenge_.empty() || !ausstehend_.empty();
}

bool AudioMischer::kannErklingen() const {
    std::lock_guard lock(mutex_);
    if (!klaenge_.empty()) return true;
    if (phrasen_.empty()) return false;
    const Phrase& p = phrasen_.front();
    return p.begonnen || p.beendet || p.pcm.size() >= kVorlauf;
}

MischInfo AudioMischer::mischen(int16_t* pcm, size_t anzahl, AudioZeit uebergabe,
                                AudioUhr::duration verzoegerung) {
    std::fill(pcm, pcm + anzahl, int16_t(0));
    MischInfo info;
    std::vector<Meldung> meldungen;
    {
        std::lock_guard lock(mutex_);
        info.aktiv = !phrasen_.empty() || !klaenge_.empty();

        // A lead-in holds everything back while the device wakes up.
        const size_t anlauf = std::min(anlauf_, anzahl);
        anlauf_ -= anlauf;
        info.anlauf = int(anlauf);

        // Speech: phrases strictly one after the other.
        size_t i = anlauf;
        while (i < anzahl && !phrasen_.empty()) {
            Phrase& p = phrasen_.front();
            if (!p.begonnen && !p.beendet && p.pcm.size() < kVorlauf) break;
            const size_t k = std::min(p.pcm.size() - p.pos, anzahl - i);
            if (k > 0) {
                if (!p.begonnen) {
                    p.begonnen = true;
                    p.ergebnis.beginn = uebergabe + dauer(i);
                    if (info.phrasenBeginn < 0) info.phrasenBeginn = int(i);
                }
                std::copy_n(p.pcm.begin() + long(p.pos), k, pcm + i);
                p.pos += k;
                i += k;
            }
            if (p.beendet && p.pos == p.pcm.size()) {
                p.ergebnis.gespielt = true;
                if (!p.begonnen) p.ergebnis.beginn = uebergabe + dauer(i);
                p.ergebnis.ende = uebergabe + verzoegerung + dauer(i);
                ausstehend_.push_back({p.ergebnis.ende, std::move(p.fertig), p.ergebnis});
                phrasen_.pop_front();
                continue;
            }
            if (k == 0) break;  // the phrase is still being synthesised
        }

        // Overlays start at once (after a lead-in), on top of the speech.
        for (auto& k : klaenge_) {
            if (anlauf == anzahl) break;
            if (!k.begonnen) {
                k.begonnen = true;
                if (info.klangBeginn < 0) info.klangBeginn = int(anlauf);
            }
            const size_t n = std::min(k.pcm->size() - k.pos, anzahl - anlauf);
            for (size_t j = 0; j < n; ++j) {
                int16_t& ziel = pcm[anlauf + j];
                ziel = int16_t(std::clamp(int(ziel) + int((*k.pcm)[k.pos + j]), -32768, 32767));
            }
            k.pos += n;
        }
        std::erase_if(klaenge_, [](const Klang& k) { return k.pos >= k.pcm->size(); });

        // Report phrases whose last sample has been heard by the end of this buffer.
        const AudioZeit bisEnde = uebergabe + dauer(anzahl);
        for (auto it = ausstehend_.begin(); it != ausstehend_.end();) {
            if (it->faellig <= bisEnde) {
                meldungen.push_back({std::move(it->fertig), it->ergebnis});
                it = ausstehend_.erase(it);
            } else {
                ++it;
            }
        }
        info.aktiv = info.aktiv || !ausstehend_.empty();
    }
    if (info.aktiv) fortschritt_ += anzahl;
    melden(meldungen);
    return info;
}

// ---------------------------------------------------------------- MischendeAusgabe

uint64_t MischendeAusgabe::phraseBeginnen(PhraseFertig fertig) {
    uint64_t nr = 0;
    // The callback is moved only when the device takes the phrase.
    const bool angenommen =
        annehmen(Art::Phrase, [&] { nr = mischer_.phraseBeginnen(std::move(fertig)); });
    if (!angenommen) {
        if (fertig) fertig(PhrasenErgebnis{});
        return 0;
    }
    return nr;
}

void MischendeAusgabe::phraseDaten(uint64_t nr, const int16_t* pcm, size_t anzahl) {
    if (nr == 0 || anzahl == 0) return;
    mischer_.phraseDaten(nr, pcm, anzahl);
    anstossen(Art::Phrase);
}

void MischendeAusgabe::phraseBeenden(uint64_t nr) {
    if (nr == 0) return;
    mischer_.phraseBeenden(nr);
    anstossen(Art::Phrase);
}

bool MischendeAusgabe::ueberlagern(std::shared_ptr<const PcmPuffer> klang) {
    if (!klang || klang->empty()) return true;
    if (!annehmen(Art::Klang, [&] { mischer_.ueberlagern(std::move(klang)); })) return false;
    anstossen(Art::Klang);
    return true;
}

void MischendeAusgabe::setzeAnlauf(std::chrono::milliseconds dauer) {
    anlaufSamples_ = size_t(std::max<int64_t>(dauer.count(), 0) * kAbtastrate / 1000);
}

void MischendeAusgabe::setzeMithoerer(Mithoerer m) {
    std::lock_guard lock(mithoererMutex_);
    mithoerer_ = m ? std::make_shared<Mithoerer>(std::move(m)) : nullptr;
}

MischInfo MischendeAusgabe::mischenUndMelden(int16_t* pcm, size_t anzahl, AudioZeit uebergabe,
                                             AudioUhr::duration verzoegerung) {
    const MischInfo info = mischer_.mischen(pcm, anzahl, uebergabe, verzoegerung);
    std::shared_ptr<Mithoerer> m;
    {
        std::lock_guard lock(mithoererMutex_);
        m = mithoerer_;
    }
    if (m) (*m)(uebergabe, pcm, anzahl, info);
    return info;
}
