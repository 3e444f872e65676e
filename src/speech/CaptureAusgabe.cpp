// SPDX-License-Identifier: GPL-3.0-or-later
#include "speech/CaptureAusgabe.h"

CaptureAusgabe::CaptureAusgabe(Takt takt, size_t blockLaenge)
    : takt_(takt), blockLaenge_(std::max<size_t>(blockLaenge, 1)), faden_([this] { laufen(); }) {}

CaptureAusgabe::~CaptureAusgabe() {
    {
        std::lock_guard lock(mutex_);
        ende_ = true;
    }
    wecker_.notify_all();
    faden_.join();
    mischer_.allesVerwerfen();
}

bool CaptureAusgabe::annehmen(Art, const std::function<void()>& eintragen) {
    std::lock_guard lock(mutex_);
    if (!verfuegbar_ || ende_) return false;
    eintragen();
    return true;
}

void CaptureAusgabe::anstossen(Art) {
    // The player checks for work and goes to sleep under this lock, so taking it
    // here means the wake-up cannot fall between its check and its sleep.
    { std::lock_guard lock(mutex_); }
    wecker_.notify_all();
}

void CaptureAusgabe::setzeVerfuegbar(bool verfuegbar) {
    {
        std::lock_guard lock(mutex_);
        verfuegbar_ = verfuegbar;
        if (!verfuegbar) mischer_.allesVerwerfen();
    }
    wecker_.notify_all();
}

void CaptureAusgabe::wachHalten(bool an) {
    {
        std::lock_guard lock(mutex_);
        wach_ = an;
    }
    wecker_.notify_all();
}

void CaptureAusgabe::laufen() {
    const auto blockDauer = std::chrono::duration_cast<AudioUhr::duration>(
        std::chrono::duration<double>(double(blockLaenge_) / kAbtastrate));
    std::unique_lock lock(mutex_);
    AudioZeit naechster = AudioUhr::now();
    bool schlaeft = true;
    while (!ende_) {
        const bool arbeit = mischer_.hatArbeit();
        // Kept awake, a real-time device goes on playing silence.
        if (!arbeit && !(wach_ && takt_ == Takt::Echtzeit)) {
            // Idle: sleep until work arrives, then play from now on.
            schlaeft = !wach_;
            wecker_.wait_for(lock, std::chrono::milliseconds(200));
            naechster = AudioUhr::now();
            continue;
        }
        if (schlaeft) {
            schlaeft = false;
            if (arbeit && !wach_) mischer_.anlaufSetzen(anlaufSamples());
        }
        if (takt_ == Takt::Echtzeit && AudioUhr::now() < naechster) {
            wecker_.wait_until(lock, naechster);
            continue;
        }
        // A device consumes at its own pace; after a long stall (a loaded
        // machine) it starts afresh instead of racing to catch up.
        if (AudioUhr::now() - naechster > std::chrono::milliseconds(100)) {
            naechster = AudioUhr::now();
        }
        if (takt_ == Takt::SoSchnellWieMoeglich) {
            naechster = AudioUhr::now();
            // Never overtake the synthesiser: that would put gaps into a phrase.
            if (!mischer_.ohneLueckeMoeglich(blockLaenge_)) {
                wecker_.wait_for(lock, std::chrono::milliseconds(1));
                continue;
            }
        }
        Block b;
        b.zeit = naechster;
        b.pcm.resize(blockLaenge_);
        lock.unlock();
        b.info = mischenUndMelden(b.pcm.data(), b.pcm.size(), b.zeit, AudioUhr::duration::zero());
        lock.lock();
        if (b.info.aktiv) aufnahme_.push_back(std::move(b));
        naechster += blockDauer;
    }
}

std::vector<CaptureAusgabe::Block> CaptureAusgabe::aufnahme() const {
    std::lock_guard lock(mutex_);
    return aufnahme_;
}

PcmPuffer CaptureAusgabe::samples() const {
    std::lock_guard lock(mutex_);
    PcmPuffer alle;
    for (const auto& b : aufnahme_) alle.insert(alle.end(), b.pcm.begin(), b.pcm.end());
    return alle;
}

void CaptureAusgabe::aufnahmeLeeren() {
    std::lock_guard lock(mutex_);
    aufnahme_.clear();
}

bool CaptureAusgabe::warteBisStill(std::chrono::milliseconds grenze) const {
    const auto ende = AudioUhr::now() + grenze;
    while (mischer_.hatArbeit()) {
        if (AudioUhr::now() > ende) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}
