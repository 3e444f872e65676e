// SPDX-License-Identifier: GPL-3.0-or-later
#include "speech/PulseAusgabe.h"

#include <thread>

namespace {

// Target fill of the server-side buffer and the step it is refilled in. The
// stream runs through a whole countdown, so each refill wakes the program
// (and the server) tens of times a second for hours: 20 ms steps keep that to
// some fifty wake-ups a second. A sound never waits for them: one that comes
// over queued silence is written at the server's read position, a beat over
// speech is appended at once, behind at most the 50 ms queued.
constexpr int kZielPufferMs = 50;
constexpr int kNachfuellMs = 20;
// Silence written after the last sound before the stream is corked, unless
// it is kept awake. Long enough that a second announcement right after the
// first needs no lead-in, short enough that the device may sleep soon.
constexpr size_t kStilleVorKorken = kAbtastrate;

uint32_t bytesFuer(int ms) { return uint32_t(kAbtastrate * ms / 1000) * sizeof(int16_t); }

class Sperre {
public:
    explicit Sperre(pa_threaded_mainloop* s) : s_(s) { pa_threaded_mainloop_lock(s_); }
    ~Sperre() { pa_threaded_mainloop_unlock(s_); }
    Sperre(const Sperre&) = delete;
    Sperre& operator=(const Sperre&) = delete;

private:
    pa_threaded_mainloop* s_;
};

}  // namespace

PulseAusgabe::PulseAusgabe(std::string server) : server_(std::move(server)) {
    setzeAnlauf(kAnlauf);
    schleife_ = pa_threaded_mainloop_new();
    if (!schleife_) return;  // zustand_ stays Getrennt; nothing is ever taken
    pa_threaded_mainloop_set_name(schleife_, "tempiro-audio");
    if (pa_threaded_mainloop_start(schleife_) < 0) {
        pa_threaded_mainloop_free(schleife_);
        schleife_ = nullptr;
        return;
    }
    Sperre sperre(schleife_);
    verbindenLassen();
}

PulseAusgabe::~PulseAusgabe() {
    if (!schleife_) {
        mischer_.allesVerwerfen();
        return;
    }
    {
        Sperre sperre(schleife_);
        ende_ = true;
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(schleife_);
        if (verbindenSoll_) {
            api->defer_free(verbindenSoll_);
            verbindenSoll_ = nullptr;
        }
        if (wiederholung_) {
            api->time_free(wiederholung_);
            wiederholung_ = nullptr;
        }
        abbauen();
        mischer_.allesVerwerfen();
    }
    pa_threaded_mainloop_stop(schleife_);
    pa_threaded_mainloop_free(schleife_);
}

PulseAusgabe::Zustand PulseAusgabe::zustand() const {
    if (!schleife_) return Zustand::Getrennt;
    Sperre sperre(schleife_);
    return zustand_;
}

bool PulseAusgabe::warteAufVerbindung(std::chrono::milliseconds grenze) const {
    const auto ende = AudioUhr::now() + grenze;
    for (;;) {
        const Zustand z = zustand();
        if (z != Zustand::Verbinde) return z == Zustand::Bereit;
        if (AudioUhr::now() >= ende) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// ---------------------------------------------------------------- connection

void PulseAusgabe::verbindenLassen() {
    // Connecting (which may resolve a host name) is left to the mainloop
    // thread, so that neither start-up nor a beat ever waits for it. From now
    // on the output counts as connecting, and phrases wait for it.
    letzterVersuch_ = AudioUhr::now();
    zustand_ = Zustand::Verbinde;
    if (!verbindenSoll_) {
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(schleife_);
        verbindenSoll_ = api->defer_new(api, &PulseAusgabe::verbindenAufruf, this);
    }
}

void PulseAusgabe::verbindenAufruf(pa_mainloop_api* api, pa_defer_event* e, void* selbst) {
    auto* a = static_cast<PulseAusgabe*>(selbst);
    api->defer_free(e);
    a->verbindenSoll_ = nullptr;
    if (!a->ende_) a->verbinden();
}

void PulseAusgabe::wiederverbindenPlanen() {
    // Kept awake, the output does not wait for the next sound to look for its
    // server again: it tries as soon as the pause since the last attempt is over.
    if (ende_ || zustand_ != Zustand::Getrennt) return;
    const auto rest = kWiederholPause - (AudioUhr::now() - letzterVersuch_);
    if (rest <= AudioUhr::duration::zero()) {
        verbindenLassen();
        return;
    }
    if (wiederholung_) return;
    timeval wann;
    pa_gettimeofday(&wann);
    pa_timeval_add(&wann,
                   pa_usec_t(std::chrono::duration_cast<std::chrono::microseconds>(rest).count()));
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(schleife_);
    wiederholung_ = api->time_new(api, &wann, &PulseAusgabe::wiederholen, this);
}

void PulseAusgabe::wiederholen(pa_mainloop_api* api, pa_time_event* e, const struct timeval*,
                               void* selbst) {
    auto* a = static_cast<PulseAusgabe*>(selbst);
    api->time_free(e);
    a->wiederholung_ = nullptr;
    if (a->wach_) a->wiederverbindenPlanen();
}

void PulseAusgabe::verbinden() {
    abbauen();
    letzterVersuch_ = AudioUhr::now();
    zustand_ = Zustand::Verbinde;
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(schleife_);
    kontext_ = pa_context_new(api, "Tempiro");
    if (!kontext_) {
        fehlschlag();
        return;
    }
    pa_context_set_state_callback(kontext_, &PulseAusgabe::kontextGeaendert, this);
    // No autospawn: a desktop without a sound server stays without one.
    if (pa_context_connect(kontext_, server_.empty() ? nullptr : server_.c_str(),
                           PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        fehlschlag();
        return;
    }
    const auto frist = std::chrono::duration_cast<std::chrono::microseconds>(kVerbindeFrist);
    frist_ = pa_context_rttime_new(kontext_, pa_rtclock_now() + pa_usec_t(frist.count()),
                                   &PulseAusgabe::fristAbgelaufen, this);
}

void PulseAusgabe::stromAnlegen() {
    pa_sample_spec format{};
    format.format = PA_SAMPLE_S16LE;
    format.rate = kAbtastrate;
    format.channels = 1;
    strom_ = pa_stream_new(kontext_, "Sprache", &format, nullptr);
    if (!strom_) {
        fehlschlag();
        return;
    }
    pa_stream_set_state_callback(strom_, &PulseAusgabe::stromGeaendert, this);
    pa_stream_set_write_callback(strom_, &PulseAusgabe::schreibBedarf, this);
    pa_buffer_attr puffer{};
    puffer.maxlength = uint32_t(-1);
    puffer.tlength = bytesFuer(kZielPufferMs);
    puffer.prebuf = uint32_t(-1);
    puffer.minreq = bytesFuer(kNachfuellMs);
    puffer.fragsize = uint32_t(-1);
    const auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_START_CORKED);
    korkt_ = true;
    laeuft_ = false;
    if (pa_stream_connect_playback(strom_, nullptr, &puffer, flags, nullptr, nullptr) < 0) {
        fehlschlag();
    }
}

void PulseAusgabe::abbauen() {
    if (frist_) {
        pa_threaded_mainloop_get_api(schleife_)->time_free(frist_);
        frist_ = nullptr;
    }
    if (strom_) {
        pa_stream_set_state_callback(strom_, nullptr, nullptr);
        pa_stream_set_write_callback(strom_, nullptr, nullptr);
        pa_stream_disconnect(strom_);
        pa_stream_unref(strom_);
        strom_ = nullptr;
    }
    if (kontext_) {
        pa_context_set_state_callback(kontext_, nullptr, nullptr);
        pa_context_disconnect(kontext_);
        pa_context_unref(kontext_);
        kontext_ = nullptr;
    }
    korkt_ = true;
    laeuft_ = false;
    nurStille_ = false;
    zustand_ = Zustand::Getrennt;
}

void PulseAusgabe::fehlschlag() {
    // libpulse holds its own reference while it runs a state callback, so the
    // objects can be released from inside one.
    abbauen();
    mischer_.allesVerwerfen();
    if (wach_) wiederverbindenPlanen();
}

void PulseAusgabe::kontextGeaendert(pa_context* c, void* selbst) {
    auto* a = static_cast<PulseAusgabe*>(selbst);
    if (c != a->kontext_) return;
    switch (pa_context_get_state(c)) {
        case PA_CONTEXT_READY:
            if (!a->strom_) a->stromAnlegen();
            break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            a->fehlschlag();
            break;
        default:
            break;
    }
}

void PulseAusgabe::stromGeaendert(pa_stream* s, void* selbst) {
    auto* a = static_cast<PulseAusgabe*>(selbst);
    if (s != a->strom_) return;
    switch (pa_stream_get_state(s)) {
        case PA_STREAM_READY: {
            if (a->frist_) {
                pa_threaded_mainloop_get_api(a->schleife_)->time_free(a->frist_);
                a->frist_ = nullptr;
            }
            a->zustand_ = Zustand::Bereit;
            const pa_buffer_attr* puffer = pa_stream_get_buffer_attr(s);
            const uint32_t bytes = puffer ? puffer->tlength : bytesFuer(kZielPufferMs);
            a->pufferSamples_ = bytes / sizeof(int16_t);
            a->latenz_ = std::chrono::duration_cast<AudioUhr::duration>(
                std::chrono::duration<double>(double(a->pufferSamples_) / kAbtastrate));
            // Play (silence, unless work is waiting) at once. A sink that has
            // been idle may render in long blocks and take up to its idle
            // period to adopt this stream's short latency; better that this
            // happens now than on the first phrase. The stream corks again
            // once it has been silent for a while, unless it is kept awake.
            // Sounds that waited for the connection get the lead-in.
            a->starten(a->mischer_.hatArbeit());
            break;
        }
        case PA_STREAM_FAILED:
        case PA_STREAM_TERMINATED:
            a->fehlschlag();
            break;
        default:
            break;
    }
}

void PulseAusgabe::fristAbgelaufen(pa_mainloop_api* api, pa_time_event* e, const struct timeval*,
                                   void* selbst) {
    auto* a = static_cast<PulseAusgabe*>(selbst);
    if (e != a->frist_) return;
    api->time_free(e);
    a->frist_ = nullptr;
    if (a->zustand_ != Zustand::Bereit) a->fehlschlag();
}

// ---------------------------------------------------------------- playing

bool PulseAusgabe::annehmen(Art art, const std::function<void()>& eintragen) {
    if (!schleife_) return false;
    Sperre sperre(schleife_);
    if (ende_) return false;
    if (zustand_ == Zustand::Getrennt && AudioUhr::now() - letzterVersuch_ >= kWiederholPause) {
        verbindenLassen();
    }
    // A phrase may wait for a connection under way; a beat is only worth
    // playing now, otherwise the caller falls back to the platform beep.
    const bool nimmt =
        zustand_ == Zustand::Bereit || (art == Art::Phrase && zustand_ == Zustand::Verbinde);
    if (nimmt) eintragen();
    return nimmt;
}

void PulseAusgabe::wachHalten(bool an) {
    if (!schleife_) return;
    Sperre sperre(schleife_);
    wach_ = an;
    // Off: the stream corks by itself once what is queued has played.
    if (!an || ende_) return;
    if (zustand_ == Zustand::Getrennt) {
        wiederverbindenPlanen();
    } else if (zustand_ == Zustand::Bereit && korkt_) {
        // Silence from now on wakes the device; nothing waits for it, so no lead-in.
        starten(false);
    }
}

void PulseAusgabe::anstossen(Art art) {
    // While sound is queued, the regular refill takes more speech; a corked
    // stream, queued silence or a beat needs a hand.
    if (!schleife_ || (art == Art::Phrase && laeuft_.load() && !nurStille_.load())) return;
    Sperre sperre(schleife_);
    if (zustand_ != Zustand::Bereit || !mischer_.hatArbeit()) return;
    if (korkt_) {
        starten(true);
    } else if (nurStille_) {
        // Written at the server's read position: what it had queued was
        // silence, and the new sound is heard after the sink's own latency
        // instead of after the whole buffer.
        if (mischer_.kannErklingen()) {
            schreiben(pufferSamples_, PA_SEEK_RELATIVE_ON_READ, AudioUhr::duration::zero());
        }
    } else if (art == Art::Klang) {
        // Over speech: appended now rather than at the next request.
        schreiben(size_t(kAbtastrate * kNachfuellMs / 1000), PA_SEEK_RELATIVE, latenz_);
    }
}

void PulseAusgabe::starten(bool mitAnlauf) {
    korkt_ = false;
    laeuft_ = true;
    stilleSamples_ = 0;
    nurStille_ = false;
    if (mitAnlauf) mischer_.anlaufSetzen(anlaufSamples());
    // Fill the (flushed) buffer first, so the server starts with sound at once.
    fuellen();
    if (strom_ && !korkt_) {
        if (pa_operation* o = pa_stream_cork(strom_, 0, nullptr, nullptr)) pa_operation_unref(o);
        // What could be written may be less than the prebuffer; start anyway.
        if (pa_operation* o = pa_stream_trigger(strom_, nullptr, nullptr)) pa_operation_unref(o);
    }
}

void PulseAusgabe::schreibBedarf(pa_stream* s, size_t, void* selbst) {
    auto* a = static_cast<PulseAusgabe*>(selbst);
    if (s != a->strom_ || a->korkt_) return;
    a->fuellen();
}

void PulseAusgabe::fuellen() {
    if (!strom_ || zustand_ != Zustand::Bereit) return;
    const size_t bytes = pa_stream_writable_size(strom_);
    if (bytes == size_t(-1)) {
        fehlschlag();
        return;
    }
    const size_t anzahl = bytes / sizeof(int16_t);
    if (anzahl == 0) return;
    if (!schreiben(anzahl, PA_SEEK_RELATIVE, latenz_)) return;
    korkenWennStill();
}

bool PulseAusgabe::schreiben(size_t anzahl, pa_seek_mode_t art, AudioUhr::duration verzoegerung) {
    puffer_.resize(anzahl);
    const MischInfo info = mischenUndMelden(puffer_.data(), anzahl, AudioUhr::now(), verzoegerung);
    if (pa_stream_write(strom_, puffer_.data(), anzahl * sizeof(int16_t), nullptr, 0, art) < 0) {
        fehlschlag();
        return false;
    }
    // Written at the read position, this is all the server now holds.
    const size_t davor = art == PA_SEEK_RELATIVE ? stilleSamples_ : 0;
    stilleSamples_ = info.aktiv ? 0 : davor + anzahl;
    nurStille_ = stilleSamples_ >= pufferSamples_;
    return true;
}

void PulseAusgabe::korkenWennStill() {
    if (wach_ || stilleSamples_ < kStilleVorKorken || mischer_.hatArbeit()) return;
    laeuft_ = false;
    // Work that arrived while laeuft_ was still true has not woken us: look again.
    if (mischer_.hatArbeit()) {
        laeuft_ = true;
        return;
    }
    korkt_ = true;
    nurStille_ = false;
    if (pa_operation* o = pa_stream_cork(strom_, 1, nullptr, nullptr)) pa_operation_unref(o);
    // Only silence is left in the buffer; dropping it lets the next sound start at once.
    if (pa_operation* o = pa_stream_flush(strom_, nullptr, nullptr)) pa_operation_unref(o);
    mischer_.ausstehendeAbschliessen();
}
