// SPDX-License-Identifier: GPL-3.0-or-later
// Audio output of the speech engine: one mono 16-bit stream that mixes the
// spoken phrases (strictly one after the other) with short overlay sounds such
// as the seconds beat, which start at once on top of whatever is playing.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

using AudioUhr = std::chrono::steady_clock;
using AudioZeit = AudioUhr::time_point;
using PcmPuffer = std::vector<int16_t>;

// Sample rate of the whole audio path; espeak-ng's own voices synthesise at it.
constexpr int kAbtastrate = 22050;

// What became of one phrase of the speech stream.
struct PhrasenErgebnis {
    bool gespielt = false;  // false: dropped (no output, output lost, shut down)
    AudioZeit beginn{};     // first sample handed to the device (when gespielt and not empty)
    AudioZeit ende{};       // last sample heard (estimated from the device's buffering)
};

// Called exactly once per phrase, from an audio or worker thread, never with a
// lock of the output held. Must be short and must not call back into the output.
using PhraseFertig = std::function<void(const PhrasenErgebnis&)>;

// Facts about one mixed buffer, for measurements.
struct MischInfo {
    bool aktiv = false;      // speech or an overlay took part (else pure silence)
    int klangBeginn = -1;    // sample offset at which an overlay started, or -1
    int phrasenBeginn = -1;  // sample offset at which a phrase started, or -1
    int anlauf = 0;          // samples of lead-in silence at the start of the buffer
};

// Sees every buffer handed to the device. Runs on the audio thread.
using Mithoerer =
    std::function<void(AudioZeit uebergabe, const int16_t* pcm, size_t anzahl, const MischInfo&)>;

class IAudioAusgabe {
public:
    virtual ~IAudioAusgabe() = default;
    virtual int abtastrate() const { return kAbtastrate; }

    // Opens the next phrase of the speech stream. Returns its number, or 0 when
    // the output cannot take it; then `fertig` has already been called with
    // gespielt = false. A phrase starts playing once the phrases before it have
    // finished and it has enough samples (or has been ended).
    virtual uint64_t phraseBeginnen(PhraseFertig fertig) = 0;
    virtual void phraseDaten(uint64_t nr, const int16_t* pcm, size_t anzahl) = 0;
    // No more samples follow. An empty phrase completes when its turn comes.
    virtual void phraseBeenden(uint64_t nr) = 0;

    // Plays the sound at once, mixed over the speech. False when there is no
    // working output; the caller may then fall back to something else.
    virtual bool ueberlagern(std::shared_ptr<const PcmPuffer> klang) = 0;

    // Grows while the output makes headway; a waiter that sees it stand still
    // for a long time knows that the output is stuck.
    virtual uint64_t fortschritt() const = 0;

    // While on, the device keeps playing (silence between sounds), so that it
    // never goes to sleep and nothing has to wake it: a countdown's sounds must
    // be heard whole and on time. Off again, it lets go once nothing is queued.
    virtual void wachHalten(bool an) = 0;

    virtual void setzeMithoerer(Mithoerer m) = 0;
};

// The mixer both outputs share. Thread-safe; never calls a PhraseFertig while
// holding its lock.
class AudioMischer {
public:
    // Samples a phrase must have before it starts, unless it is already ended,
    // so that a phrase still being synthesised does not stutter at its start.
    static constexpr size_t kVorlauf = kAbtastrate / 20;  // 50 ms

    uint64_t phraseBeginnen(PhraseFertig fertig);
    void phraseDaten(uint64_t nr, const int16_t* pcm, size_t anzahl);
    void phraseBeenden(uint64_t nr);
    void ueberlagern(std::shared_ptr<const PcmPuffer> klang);

    // The next mix starts with this many samples of silence before any phrase
    // or overlay: the lead-in a sleeping device needs to wake up.
    void anlaufSetzen(size_t anzahl);

    // Drops every phrase and overlay, reports the phrases as not played.
    void allesVerwerfen();
    // Reports phrases that have finished but wait for their last sample to be
    // heard as finished now (the device has been stopped or drained).
    void ausstehendeAbschliessen();

    // Fills pcm[0..anzahl) with the next samples. `uebergabe` is the time the
    // buffer is handed to the device, `verzoegerung` how long the device takes
    // to play what it holds before this buffer.
    MischInfo mischen(int16_t* pcm, size_t anzahl, AudioZeit uebergabe,
                      AudioUhr::duration verzoegerung);

    // True when the next `anzahl` samples can be mixed without a gap inside the
    // current phrase (it has them, or it is ended, or none is queued).
    bool ohneLueckeMoeglich(size_t anzahl) const;
    // True when phrases, overlays or unreported completions are left.
    bool hatArbeit() const;
    // True when the next mix would sound at once: an overlay waits, or the
    // next phrase may begin.
    bool kannErklingen() const;
    uint64_t fortschritt() const { return fortschritt_.load(); }

private:
    struct Phrase {
        uint64_t nr = 0;
        PcmPuffer pcm;
        size_t pos = 0;
        bool beendet = false;
        bool begonnen = false;
        PhraseFertig fertig;
        PhrasenErgebnis ergebnis;
    };
    struct Klang {
        std::shared_ptr<const PcmPuffer> pcm;
        size_t pos = 0;
        bool begonnen = false;
    };
    struct Ausstehend {
        AudioZeit faellig;
        PhraseFertig fertig;
        PhrasenErgebnis ergebnis;
    };
    Phrase* finden(uint64_t nr);

    mutable std::mutex mutex_;
    uint64_t naechsteNr_ = 1;
    std::deque<Phrase> phrasen_;
    std::vector<Klang> klaenge_;
    std::vector<Ausstehend> ausstehend_;
    size_t anlauf_ = 0;
    std::atomic<uint64_t> fortschritt_{0};
};

// An output that mixes with an AudioMischer; a device only supplies `annehmen`
// (may it take work now?) and `anstossen` (work has arrived, start playing).
class MischendeAusgabe : public IAudioAusgabe {
public:
    uint64_t phraseBeginnen(PhraseFertig fertig) override;
    void phraseDaten(uint64_t nr, const int16_t* pcm, size_t anzahl) override;
    void phraseBeenden(uint64_t nr) override;
    bool ueberlagern(std::shared_ptr<const PcmPuffer> klang) override;
    uint64_t fortschritt() const override { return mischer_.fortschritt(); }
    void setzeMithoerer(Mithoerer m) override;

    // Length of the lead-in of silence before a sound that starts the device
    // from idle; none unless set.
    void setzeAnlauf(std::chrono::milliseconds dauer);
    size_t anlaufSamples() const { return anlaufSamples_.load(); }

protected:
    enum class Art { Phrase, Klang };
    // Whether the device can take this kind of work now; if so it runs
    // `eintragen` before anything can drop the mixer's work, so nothing slips in
    // after a drop. May start a reconnect.
    virtual bool annehmen(Art art, const std::function<void()>& eintragen) = 0;
    // Work of this kind has arrived: make sure the device is playing.
    virtual void anstossen(Art art) = 0;

    // Mixes one buffer and shows it to the listener.
    MischInfo mischenUndMelden(int16_t* pcm, size_t anzahl, AudioZeit uebergabe,
                               AudioUhr::duration verzoegerung);

    AudioMischer mischer_;

private:
    std::mutex mithoererMutex_;
    std::shared_ptr<Mithoerer> mithoerer_;
    std::atomic<size_t> anlaufSamples_{0};
};
