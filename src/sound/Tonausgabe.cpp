// SPDX-License-Identifier: GPL-3.0-or-later
#include "Tonausgabe.h"

#include <pulse/timeval.h>

namespace {

using namespace std::chrono_literals;

// The step the server's buffer is refilled in, and the latency left to the
// sink. The stream runs through a whole countdown, and each refill wakes the
// program; the sounds are known a second ahead and written into what is
// queued, so nothing needs a short step: a second's step wakes it once a
// second. The server gives the sink (buffer - 2 x step) / 2 (PulseAudio, and
// pipewire-pulse asks its graph for the same), so the buffer holds two steps
// and twice the sink's latency. A sink latency of 5 ms keeps the time from the
// last write of a sound, or of the silence over one taken back, to its being
// heard short.
constexpr auto kNachfuellen = 1000ms;
constexpr auto kSenke = 5ms;
constexpr auto kZielPuffer = 2 * kNachfuellen + 2 * kSenke;

uint32_t Bytes(int rate, std::chrono::milliseconds d) {
    return uint32_t(int64_t(rate) * d.count() / 1000 * int64_t(sizeof(int16_t)));
}
constexpr auto kWiederholPause = 3s;
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
void Tonausgabe::Wecken(pa_mainloop_api*, pa_time_event*, const timeval*, void* selbst) {
    auto* a = static_cast<Tonausgabe*>(selbst);
    if (!a->ende_) (a->*Tun)();
}

Tonausgabe::Tonausgabe(std::string server, std::function<void()> ersatz,
                       std::function<Wanduhr::time_point()> uhr)
    : server_(std::move(server)),
      ersatz_(std::move(ersatz)),
      uhr_(uhr ? std::move(uhr) : [] { return Wanduhr::now(); }) {
    schleife_ = pa_threaded_mainloop_new();
    if (!schleife_) return;  // stays Getrennt: nothing is ever taken
    pa_threaded_mainloop_set_name(schleife_, "tempiro-ton");
    // Three alarms, made once and set or cleared as needed; the loop frees them.
    api_ = pa_threaded_mainloop_get_api(schleife_);
    frist_ = api_->time_new(api_, nullptr, &Wecken<&Tonausgabe::Fehlschlag>, this);
    wiederholung_ = api_->time_new(api_, nullptr, &Wecken<&Tonausgabe::Verbinden>, this);
    standUhr_ = api_->time_new(api_, nullptr, &Wecken<&Tonausgabe::StandUhr>, this);
    if (pa_threaded_mainloop_start(schleife_) < 0) {
        pa_threaded_mainloop_free(schleife_);
        schleife_ = nullptr;
        return;
    }
    Sperre s(schleife_);
    Nachsehen();
}

Tonausgabe::~Tonausgabe() {
    if (!schleife_) return;
    {
        Sperre s(schleife_);
        ende_ = true;
        Abbauen();
        spur_->Verwerfen();
    }
    pa_threaded_mainloop_stop(schleife_);
    pa_threaded_mainloop_free(schleife_);
}

Tonausgabe::Verbindung Tonausgabe::Zustand() const {
    if (!schleife_) return Verbindung::Getrennt;
    Sperre s(schleife_);
    return zustand_;
}

bool Tonausgabe::Spielt() const {
    if (!schleife_) return false;
    Sperre s(schleife_);
    // libpulse keeps the stream's corked state: set when it is connected
    // corked and with every cork request, and readable once it is ready.
    return zustand_ == Verbindung::Bereit && !pa_stream_is_corked(strom_);
}

// ---------------------------------------------------------------- requests

void Tonausgabe::Phrase(std::optional<Wanduhr::time_point> um, Abtastwerte pcm,
                        ErledigungPtr erledigt) {
    if (schleife_) {
        Sperre s(schleife_);
        Nachsehen();
        // A phrase waits for a connection under way.
        if (!ende_ && zustand_ != Verbindung::Getrennt) {
            if (Halten(erledigt)) {
                spur_->Phrase(um, uhr_(), std::move(pcm), erledigt);
                Nachziehen();
                return;
            }
        }
    }
    erledigt->Melden();  // no output, or taken back: dropped
}

bool Tonausgabe::Klick(std::optional<Wanduhr::time_point> um, ErledigungPtr erledigt) {
    if (!schleife_) return false;
    Sperre s(schleife_);
    Nachsehen();
    // A beat is worth playing in its second or not at all.
    if (ende_ || zustand_ != Verbindung::Bereit) return false;
    if (!erledigt || Halten(erledigt)) {
        spur_->Klick(um, uhr_(), std::move(erledigt));
        Nachziehen();
    }
    return true;
}

ErledigungPtr Tonausgabe::AbspielenUm(Zeitpunkt um) {
    auto erledigt = std::make_shared<Erledigung>();
    return Klick(um, erledigt) ? erledigt : nullptr;
}

bool Tonausgabe::Halten(const ErledigungPtr& erledigt) {
    // The timeline holds the sound until it is done, which clears this step;
    // the output outlives everyone who can take a sound back.
    return erledigt->BeiAbsage([this, e = erledigt.get()] {
        Sperre s(schleife_);
        if (ende_) return;
        spur_->Absagen(e, uhr_());
        Nachziehen();
    });
}

void Tonausgabe::Abtastrate(int hz) {
    if (!schleife_ || hz <= 0) return;
    Sperre s(schleife_);
    if (ende_ || hz == spur_->Abtastrate()) return;
    // Everything placed so far is at the old rate: a new timeline, and a new
    // stream at the new rate at once. Phrases still waiting are reported.
    const bool verbunden = zustand_ != Verbindung::Getrennt;
    Abbauen();
    spur_->Verwerfen();
    spur_.emplace(hz);
    spur_->WachHalten(wachHalten_);
    standGestellt_.reset();
    if (verbunden) {
        zustand_ = Verbindung::Verbinde;
        Stellen(wiederholung_, uhr_());
    }
}

void Tonausgabe::CountdownGeschaltet(bool an) {
    if (!schleife_) return;
    Sperre s(schleife_);
    if (ende_) return;
    wachHalten_ = an;
    spur_->WachHalten(an);
    if (an) WiederholenPlanen();
    // Let go, the stream stops after a second of silence heard; a fresh
    // snapshot tells when that is, also when nothing sounded since the
    // stream (re)started and no snapshot was asked for.
    if (!an) StandAnfordern();
    Nachziehen();
}

// ---------------------------------------------------------------- connection

void Tonausgabe::Stellen(pa_time_event* e, std::optional<Wanduhr::time_point> wann) {
    // Each setting wakes libpulse's thread; the snapshot alarm is set only
    // when its time changes.
    if (e == standUhr_) {
        if (wann == standGestellt_) return;
        standGestellt_ = wann;
    }
    if (!wann) return api_->time_restart(e, nullptr);
    // Set as the time from now; libpulse keeps it on the monotonic clock, so
    // a step of the wall clock after this moves no alarm.
    const auto bis = std::chrono::duration_cast<std::chrono::microseconds>(*wann - uhr_());
    timeval tv{};
    pa_gettimeofday(&tv);
    pa_timeval_add(&tv, pa_usec_t(std::max<int64_t>(bis.count(), 0)));
    api_->time_restart(e, &tv);
}

void Tonausgabe::FristStellen(bool an) {
    // The deadline runs from the first request still unanswered.
    if (an == fristLaeuft_) return;
    fristLaeuft_ = an;
    Stellen(frist_, an ? std::optional(uhr_() + kAntwortFrist) : std::nullopt);
}

void Tonausgabe::Nachsehen() {
    // Without a server, a request tries a new connection, at most every
    // kWiederholPause. Connecting (which may resolve a host name) is left to
    // libpulse's thread, so that no request ever waits for it; phrases wait
    // meanwhile.
    if (ende_ || zustand_ != Verbindung::Getrennt ||
        std::chrono::steady_clock::now() - letzterVersuch_ < kWiederholPause) {
        return;
    }
    zustand_ = Verbindung::Verbinde;
    Stellen(wiederholung_, uhr_());
}

void Tonausgabe::WiederholenPlanen() {
    // Kept awake, the output looks for its server again by itself.
    if (ende_ || zustand_ != Verbindung::Getrennt || !spur_->Laeuft()) return;
    Stellen(wiederholung_,
            uhr_() + (letzterVersuch_ + kWiederholPause - std::chrono::steady_clock::now()));
}

void Tonausgabe::Verbinden() {
    Abbauen();
    letzterVersuch_ = std::chrono::steady_clock::now();
    zustand_ = Verbindung::Verbinde;
    kontext_ = pa_context_new(api_, "Tempiro");
    if (!kontext_) return Fehlschlag();
    pa_context_set_state_callback(
        kontext_,
        [](pa_context* c, void* selbst) {
            auto* a = static_cast<Tonausgabe*>(selbst);
            if (c != a->kontext_) return;
            const pa_context_state_t z = pa_context_get_state(c);
            if (z == PA_CONTEXT_READY && !a->strom_) a->StromAnlegen();
            if (z == PA_CONTEXT_FAILED || z == PA_CONTEXT_TERMINATED) a->Fehlschlag();
        },
        this);
    // No autospawn: a desktop without a sound server stays without one.
    if (pa_context_connect(kontext_, server_.empty() ? nullptr : server_.c_str(),
                           PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        return Fehlschlag();
    }
    FristStellen(true);
}

void Tonausgabe::StromAnlegen() {
    const int rate = spur_->Abtastrate();
    const pa_sample_spec format{PA_SAMPLE_S16LE, uint32_t(rate), 1};
    strom_ = pa_stream_new(kontext_, "Sprache", &format, nullptr);
    if (!strom_) return Fehlschlag();
    pa_stream_set_state_callback(
        strom_,
        [](pa_stream* st, void* selbst) {
            auto* a = static_cast<Tonausgabe*>(selbst);
            if (st != a->strom_) return;
            const pa_stream_state_t z = pa_stream_get_state(st);
            if (z == PA_STREAM_READY) {
                a->FristStellen(false);
                a->zustand_ = Verbindung::Bereit;
                // Plays when it should, and asks for the snapshots its sounds wait for.
                a->Nachziehen();
            }
            if (z == PA_STREAM_FAILED || z == PA_STREAM_TERMINATED) a->Fehlschlag();
        },
        this);
    pa_stream_set_write_callback(
        strom_,
        [](pa_stream* st, size_t bytes, void* selbst) {
            auto* a = static_cast<Tonausgabe*>(selbst);
            if (st != a->strom_) return;
            a->Schreiben(a->spur_->Weiter(bytes / sizeof(int16_t), a->uhr_()));
            a->Abgleichen();
        },
        this);
    // No prebuffering: the stream reads on like a sound card's ring buffer,
    // also when a write comes late, so every frame keeps its time.
    pa_buffer_attr puffer{uint32_t(-1), Bytes(rate, kZielPuffer), 0, Bytes(rate, kNachfuellen),
                          uint32_t(-1)};
    const auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_START_CORKED);
    if (pa_stream_connect_playback(strom_, nullptr, &puffer, flags, nullptr, nullptr) < 0) {
        Fehlschlag();
    }
}

void Tonausgabe::Abbauen() {
    FristStellen(false);
    Stellen(standUhr_, std::nullopt);
    standOffen_ = false;
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
    zustand_ = Verbindung::Getrennt;
}

void Tonausgabe::Fehlschlag() {
    // libpulse holds its own reference while it runs a callback, so the
    // objects can be released from inside one.
    Abbauen();
    spur_->Verwerfen();
    WiederholenPlanen();
}

// ---------------------------------------------------------------- writing

void Tonausgabe::StandAnfordern() {
    Abgleichen();
    if (zustand_ != Verbindung::Bereit || standOffen_) return;
    pa_operation* o = pa_stream_update_timing_info(
        strom_,
        [](pa_stream* st, int erfolg, void* selbst) {
            auto* a = static_cast<Tonausgabe*>(selbst);
            if (st != a->strom_) return;
            a->FristStellen(false);
            a->standOffen_ = false;
            const pa_timing_info* t = erfolg ? pa_stream_get_timing_info(st) : nullptr;
            if (t && !t->read_index_corrupt) {
                const StromStand s{
                    t->read_index / int64_t(sizeof(int16_t)),
                    int64_t(t->sink_usec) * a->spur_->Abtastrate() / 1000000,
                    Wanduhr::time_point(std::chrono::seconds(t->timestamp.tv_sec) +
                                        std::chrono::microseconds(t->timestamp.tv_usec)),
                    t->playing != 0};
                a->spur_->Stand(s, a->uhr_());
            }
            a->Nachziehen();
        },
        this);
    if (!o) return Fehlschlag();
    pa_operation_unref(o);
    standOffen_ = true;
    FristStellen(true);
}

void Tonausgabe::StandUhr() {
    standGestellt_.reset();  // an alarm that went off is off
    StandAnfordern();
}

void Tonausgabe::Nachziehen() {
    Schreiben(spur_->Umschreiben());
    Abgleichen();
    if (zustand_ != Verbindung::Bereit) return;
    const auto jetzt = uhr_();
    const auto wann = spur_->NaechsterStand(jetzt);
    if (wann && *wann <= jetzt) {
        // The answer to a snapshot under way asks again.
        Stellen(standUhr_, std::nullopt);
        StandAnfordern();
    } else {
        Stellen(standUhr_, wann);
    }
}

void Tonausgabe::Schreiben(const Abschnitt& a) {
    if (a.pcm.empty() || !strom_) return;
    if (pa_stream_write(strom_, a.pcm.data(), a.pcm.size() * sizeof(int16_t), nullptr,
                        a.ab * int64_t(sizeof(int16_t)), PA_SEEK_ABSOLUTE) < 0) {
        Fehlschlag();
    }
}

void Tonausgabe::Abgleichen() {
    // The stream plays while the timeline wants it to.
    if (zustand_ != Verbindung::Bereit || spur_->Laeuft() == !pa_stream_is_corked(strom_)) return;
    if (pa_operation* o = pa_stream_cork(strom_, !spur_->Laeuft(), nullptr, nullptr)) {
        pa_operation_unref(o);
    }
}
