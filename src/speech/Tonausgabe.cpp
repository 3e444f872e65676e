// SPDX-License-Identifier: GPL-3.0-or-later
#include "speech/Tonausgabe.h"

#include <QApplication>

namespace {

using namespace std::chrono_literals;

// Target fill of the server's buffer and the step it is refilled in. The
// stream runs through a whole countdown, so each refill wakes the program
// tens of times a second for hours: 20 ms steps keep that to some fifty
// wake-ups a second. With these the server gives the sink about 5 ms of
// latency, and no sound waits for a refill: it is written into what is queued.
constexpr uint32_t kZielPuffer = kAbtastrate * 50 / 1000 * sizeof(int16_t);
constexpr uint32_t kNachfuellen = kAbtastrate * 20 / 1000 * sizeof(int16_t);
constexpr auto kWiederholPause = 3s;
// Within this before each second boundary every request for data also asks
// for a timing snapshot (see Tonspur): with the 20 ms refill step, three.
constexpr auto kFrischVorher = 60ms;
// A connection not ready, or a timing request not answered, after this long
// means a server that is gone or has stopped answering.
constexpr auto kAntwortFrist = 2s;

}  // namespace

struct Tonausgabe::Sperre {
    explicit Sperre(pa_threaded_mainloop* s) : s_(s) { pa_threaded_mainloop_lock(s_); }
    ~Sperre() { pa_threaded_mainloop_unlock(s_); }
    pa_threaded_mainloop* s_;
};

template <void (Tonausgabe::*Tun)()>
void Tonausgabe::wecken(pa_mainloop_api*, pa_time_event*, const timeval*, void* selbst) {
    auto* a = static_cast<Tonausgabe*>(selbst);
    if (!a->ende_) (a->*Tun)();
}

Tonausgabe::Tonausgabe(std::string server, std::function<void()> ersatz)
    : server_(std::move(server)),
      ersatz_(ersatz ? std::move(ersatz) : [] { QApplication::beep(); }) {
    schleife_ = pa_threaded_mainloop_new();
    if (!schleife_) return;  // stays Getrennt: nothing is ever taken
    pa_threaded_mainloop_set_name(schleife_, "tempiro-ton");
    // Three alarms, made once and set or cleared as needed; the loop frees them.
    api_ = pa_threaded_mainloop_get_api(schleife_);
    frist_ = api_->time_new(api_, nullptr, &wecken<&Tonausgabe::fehlschlag>, this);
    wiederholung_ = api_->time_new(api_, nullptr, &wecken<&Tonausgabe::verbinden>, this);
    standUhr_ = api_->time_new(api_, nullptr, &wecken<&Tonausgabe::standAnfordern>, this);
    if (pa_threaded_mainloop_start(schleife_) < 0) {
        pa_threaded_mainloop_free(schleife_);
        schleife_ = nullptr;
        return;
    }
    Sperre s(schleife_);
    nachsehen();
}

Tonausgabe::~Tonausgabe() {
    if (!schleife_) return;
    {
        Sperre s(schleife_);
        ende_ = true;
        abbauen();
        spur_.verwerfen();
    }
    pa_threaded_mainloop_stop(schleife_);
    pa_threaded_mainloop_free(schleife_);
}

Tonausgabe::Zustand Tonausgabe::zustand() const {
    if (!schleife_) return Zustand::Getrennt;
    Sperre s(schleife_);
    return zustand_;
}

bool Tonausgabe::spielt() const {
    if (!schleife_) return false;
    Sperre s(schleife_);
    // libpulse keeps the stream's corked state: set when it is connected
    // corked and with every cork request, and readable once it is ready.
    return zustand_ == Zustand::Bereit && !pa_stream_is_corked(strom_);
}

// ---------------------------------------------------------------- requests

void Tonausgabe::phrase(Wanduhr::time_point angefordert, Abtastwerte pcm,
                        std::function<void()> fertig) {
    if (schleife_) {
        Sperre s(schleife_);
        nachsehen();
        // A phrase waits for a connection under way.
        if (!ende_ && zustand_ != Zustand::Getrennt) {
            spur_.phrase(angefordert, std::move(pcm), std::move(fertig));
            standAnfordern();
            return;
        }
    }
    fertig();  // no output: dropped
}

bool Tonausgabe::klick(Wanduhr::time_point angefordert) {
    if (!schleife_) return false;
    Sperre s(schleife_);
    nachsehen();
    // A beat is worth playing now or not at all.
    if (ende_ || zustand_ != Zustand::Bereit) return false;
    spur_.klick(angefordert);
    standAnfordern();
    return true;
}

void Tonausgabe::CountdownLaeuft(bool an) {
    if (!schleife_) return;
    Sperre s(schleife_);
    if (ende_) return;
    spur_.wachHalten(an);
    if (an) wiederholenPlanen();
    abgleichen();
}

// ---------------------------------------------------------------- connection

void Tonausgabe::stellen(pa_time_event* e, std::optional<Wanduhr::time_point> wann) {
    if (!wann) return api_->time_restart(e, nullptr);
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(wann->time_since_epoch());
    const timeval tv{time_t(us.count() / 1000000), suseconds_t(us.count() % 1000000)};
    api_->time_restart(e, &tv);
}

void Tonausgabe::fristStellen(bool an) {
    // The deadline runs from the first request still unanswered.
    if (an == fristLaeuft_) return;
    fristLaeuft_ = an;
    stellen(frist_, an ? std::optional(Wanduhr::now() + kAntwortFrist) : std::nullopt);
}

void Tonausgabe::nachsehen() {
    // Without a server, a request tries a new connection, at most every
    // kWiederholPause. Connecting (which may resolve a host name) is left to
    // libpulse's thread, so that no request ever waits for it; phrases wait
    // meanwhile.
    if (ende_ || zustand_ != Zustand::Getrennt ||
        Wanduhr::now() - letzterVersuch_ < kWiederholPause) {
        return;
    }
    zustand_ = Zustand::Verbinde;
    stellen(wiederholung_, Wanduhr::now());
}

void Tonausgabe::wiederholenPlanen() {
    // Kept awake, the output looks for its server again by itself.
    if (ende_ || zustand_ != Zustand::Getrennt || !spur_.laeuft()) return;
    stellen(wiederholung_, letzterVersuch_ + kWiederholPause);
}

void Tonausgabe::verbinden() {
    abbauen();
    letzterVersuch_ = Wanduhr::now();
    zustand_ = Zustand::Verbinde;
    kontext_ = pa_context_new(api_, "Tempiro");
    if (!kontext_) return fehlschlag();
    pa_context_set_state_callback(
        kontext_,
        [](pa_context* c, void* selbst) {
            auto* a = static_cast<Tonausgabe*>(selbst);
            if (c != a->kontext_) return;
            const pa_context_state_t z = pa_context_get_state(c);
            if (z == PA_CONTEXT_READY && !a->strom_) a->stromAnlegen();
            if (z == PA_CONTEXT_FAILED || z == PA_CONTEXT_TERMINATED) a->fehlschlag();
        },
        this);
    // No autospawn: a desktop without a sound server stays without one.
    if (pa_context_connect(kontext_, server_.empty() ? nullptr : server_.c_str(),
                           PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        return fehlschlag();
    }
    fristStellen(true);
}

void Tonausgabe::stromAnlegen() {
    const pa_sample_spec format{PA_SAMPLE_S16LE, kAbtastrate, 1};
    strom_ = pa_stream_new(kontext_, "Sprache", &format, nullptr);
    if (!strom_) return fehlschlag();
    pa_stream_set_state_callback(
        strom_,
        [](pa_stream* st, void* selbst) {
            auto* a = static_cast<Tonausgabe*>(selbst);
            if (st != a->strom_) return;
            const pa_stream_state_t z = pa_stream_get_state(st);
            if (z == PA_STREAM_READY) {
                a->fristStellen(false);
                a->zustand_ = Zustand::Bereit;
                // A timing request also starts the stream when it should play.
                a->spur_.wartet() ? a->standAnfordern() : a->abgleichen();
            }
            if (z == PA_STREAM_FAILED || z == PA_STREAM_TERMINATED) a->fehlschlag();
        },
        this);
    pa_stream_set_write_callback(
        strom_,
        [](pa_stream* st, size_t bytes, void* selbst) {
            auto* a = static_cast<Tonausgabe*>(selbst);
            if (st != a->strom_) return;
            a->schreiben(a->spur_.weiter(bytes / sizeof(int16_t)));
            a->abgleichen();
            // A few snapshots just before each second boundary, where a
            // countdown's tick places its sounds (see Tonspur); asked for as
            // the server asks for data, after its cycle, they are the least stale.
            const auto jetzt = Wanduhr::now();
            if (std::chrono::ceil<std::chrono::seconds>(jetzt) - jetzt <= kFrischVorher) {
                a->standAnfordern();
            }
        },
        this);
    // No prebuffering: the stream reads on like a sound card's ring buffer,
    // also when a write comes late, so every frame keeps its time.
    pa_buffer_attr puffer{uint32_t(-1), kZielPuffer, 0, kNachfuellen, uint32_t(-1)};
    const auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_START_CORKED);
    if (pa_stream_connect_playback(strom_, nullptr, &puffer, flags, nullptr, nullptr) < 0) {
        fehlschlag();
    }
}

void Tonausgabe::abbauen() {
    fristStellen(false);
    stellen(standUhr_, std::nullopt);
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
    zustand_ = Zustand::Getrennt;
}

void Tonausgabe::fehlschlag() {
    // libpulse holds its own reference while it runs a callback, so the
    // objects can be released from inside one.
    abbauen();
    spur_.verwerfen();
    wiederholenPlanen();
}

// ---------------------------------------------------------------- writing

void Tonausgabe::standAnfordern() {
    abgleichen();
    if (zustand_ != Zustand::Bereit) return;
    pa_operation* o = pa_stream_update_timing_info(
        strom_,
        [](pa_stream* st, int erfolg, void* selbst) {
            auto* a = static_cast<Tonausgabe*>(selbst);
            if (st != a->strom_) return;
            a->fristStellen(false);
            const pa_timing_info* t = erfolg ? pa_stream_get_timing_info(st) : nullptr;
            if (!t || t->read_index_corrupt) return;
            const StromStand s{t->read_index / int64_t(sizeof(int16_t)),
                               int64_t(t->sink_usec) * kAbtastrate / 1000000,
                               Wanduhr::time_point(std::chrono::seconds(t->timestamp.tv_sec) +
                                                   std::chrono::microseconds(t->timestamp.tv_usec)),
                               t->playing != 0};
            a->schreiben(a->spur_.stand(s, Wanduhr::now()));
            if (const auto wann = a->spur_.naechsterStand()) a->stellen(a->standUhr_, *wann);
            a->abgleichen();
        },
        this);
    if (!o) return fehlschlag();
    pa_operation_unref(o);
    fristStellen(true);
}

void Tonausgabe::schreiben(const Abschnitt& a) {
    if (a.pcm.empty() || !strom_) return;
    if (pa_stream_write(strom_, a.pcm.data(), a.pcm.size() * sizeof(int16_t), nullptr,
                        a.ab * int64_t(sizeof(int16_t)), PA_SEEK_ABSOLUTE) < 0) {
        fehlschlag();
    }
}

void Tonausgabe::abgleichen() {
    // The stream plays while the timeline wants it to.
    if (zustand_ != Zustand::Bereit || spur_.laeuft() == !pa_stream_is_corked(strom_)) return;
    if (pa_operation* o = pa_stream_cork(strom_, !spur_.laeuft(), nullptr, nullptr)) {
        pa_operation_unref(o);
    }
}
