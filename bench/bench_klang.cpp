// SPDX-License-Identifier: GPL-3.0-or-later
// The sound as a listener hears it: records the null sink's monitor in 5 ms
// fragments and maps every frame to the wall clock through the server's own
// timing snapshots of the recording stream (the frame last captured, the
// source's latency, and the sink's latency before a rendered frame is heard).
// Prints one line per onset: a loud frame after at least 150 ms of quiet,
//
//   onset <seconds since the epoch, heard> <peak of the next 30 ms> <ms lost>
//
// and at the end "frames <n> seconds <s>" (what was recorded, to catch gaps).
// <ms lost> is the time the sink's graph lost (cycles it did not run) from
// 50 ms before the onset was heard, when a player had to have written it (the
// program places its sounds from 50 ms before their instant), to the onset: a
// sound written before such a loss is heard late by as much, and no player can
// know of it.
// For the reference clicks it runs from the player's first snapshot for them.
//
//   bench_klang aufnahme SECONDS --server ADDR
//   bench_klang referenz SECONDS --server ADDR
//
// referenz also runs a small player of its own that places a click (a 1 ms
// step) on every second boundary by the playback stream's timing, and
// prints each onset's error against its boundary (the recorder's error) and
// the time the sink lost before it.
// ADDR is a sound server with a null sink, as the benchmark's private session has.
#include <pulse/pulseaudio.h>

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Wand = std::chrono::system_clock;
constexpr int kSpielRate = 22050;  // the player's rate, as the program's
// How long before each boundary the reference player begins to place its click.
constexpr double kSpielerVorlauf = 0.06;
constexpr int kLaut = 320;  // -40 dBFS

double sekunden(const timeval& tv) { return double(tv.tv_sec) + double(tv.tv_usec) * 1e-6; }
double jetzt() { return std::chrono::duration<double>(Wand::now().time_since_epoch()).count(); }

struct Schleife {
    pa_threaded_mainloop* m = pa_threaded_mainloop_new();
    pa_context* c = nullptr;
    explicit Schleife(const char* server) {
        pa_threaded_mainloop_start(m);
        pa_threaded_mainloop_lock(m);
        c = pa_context_new(pa_threaded_mainloop_get_api(m), "bench_klang");
        pa_context_set_state_callback(
            c,
            [](pa_context*, void* s) {
                pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(s), 0);
            },
            m);
        pa_context_connect(c, server, PA_CONTEXT_NOAUTOSPAWN, nullptr);
        while (pa_context_get_state(c) != PA_CONTEXT_READY) {
            if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(c))) {
                std::fprintf(stderr, "no sound server\n");
                std::exit(1);
            }
            pa_threaded_mainloop_wait(m);
        }
        pa_threaded_mainloop_unlock(m);
    }
    ~Schleife() {
        pa_threaded_mainloop_lock(m);
        pa_context_disconnect(c);
        pa_context_unref(c);
        pa_threaded_mainloop_unlock(m);
        pa_threaded_mainloop_stop(m);
        pa_threaded_mainloop_free(m);
    }
    void warte(pa_operation* o) {
        while (o && pa_operation_get_state(o) == PA_OPERATION_RUNNING) pa_threaded_mainloop_wait(m);
        if (o) pa_operation_unref(o);
    }
};

void signal(pa_stream*, int, void* m) {
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(m), 0);
}

// ---------------------------------------------------------------- recorder

struct Rekorder {
    Schleife& s;
    int rate = 48000;
    pa_stream* st = nullptr;
    int64_t frames = 0;     // frames read
    int64_t leiseSeit = 0;  // frames of quiet before the current one
    // Wall time heard of frame 0 by each snapshot of the last 30 ms. A server
    // may report the frame of its last cycle with the time of its answer
    // (PipeWire's pulse server does): the earliest of them is the least stale.
    // A snapshot follows every fragment, so the window holds several, and a
    // graph that lost time is followed within it.
    std::deque<std::pair<double, double>> basen;
    // Every snapshot's own base over the last 300 ms: the least stale of those
    // around an instant is the base then, and where it moves later the sink
    // lost that much time.
    std::deque<std::pair<double, double>> verlauf;
    bool abbildDa = false;
    std::vector<std::pair<double, double>> onsets;  // heard, ms lost before
    int64_t offen = -1;  // frame of an onset whose peak is still being measured
    int spitze = 0;

    // How long before an onset was heard its player began to place it: the
    // program from 50 ms before its instant; the reference player takes its
    // first snapshot 60 ms before the boundary.
    const double vorlauf;

    Rekorder(Schleife& sch, double vorlaufS) : s(sch), vorlauf(vorlaufS) {
        pa_threaded_mainloop_lock(s.m);
        // Record at the sink's own rate, so no resampler sits in the way.
        s.warte(pa_context_get_sink_info_by_name(
            s.c, "null",
            [](pa_context*, const pa_sink_info* i, int, void* r) {
                auto* self = static_cast<Rekorder*>(r);
                if (i) self->rate = int(i->sample_spec.rate);
                pa_threaded_mainloop_signal(self->s.m, 0);
            },
            this));
        const pa_sample_spec ss{PA_SAMPLE_S16LE, uint32_t(rate), 1};
        st = pa_stream_new(s.c, "Messung", &ss, nullptr);
        pa_buffer_attr a{uint32_t(-1), uint32_t(-1), uint32_t(-1), uint32_t(-1),
                         uint32_t(rate * 5 / 1000 * 2)};
        pa_stream_set_read_callback(
            st, [](pa_stream*, size_t, void* r) { static_cast<Rekorder*>(r)->lesen(); }, this);
        pa_stream_connect_record(st, "null.monitor", &a, PA_STREAM_ADJUST_LATENCY);
        pa_threaded_mainloop_unlock(s.m);
    }
    ~Rekorder() {
        pa_threaded_mainloop_lock(s.m);
        pa_stream_disconnect(st);
        pa_stream_unref(st);
        pa_threaded_mainloop_unlock(s.m);
    }

    // A fresh snapshot after every fragment: the frame at the write index was
    // captured source_usec ago and is heard sink_usec after its capture.
    void abbilden() {
        pa_operation* o = pa_stream_update_timing_info(
            st,
            [](pa_stream* st, int ok, void* r) {
                auto* self = static_cast<Rekorder*>(r);
                const pa_timing_info* t = ok ? pa_stream_get_timing_info(st) : nullptr;
                if (!t || t->write_index_corrupt) return;
                const double wann = sekunden(t->timestamp);
                self->basen.emplace_back(wann, wann - double(t->source_usec) * 1e-6 +
                                                   double(t->sink_usec) * 1e-6 -
                                                   double(t->write_index) / 2 / self->rate);
                while (self->basen.front().first < wann - 0.03) self->basen.pop_front();
                self->verlauf.push_back(self->basen.back());
                while (self->verlauf.front().first < wann - 0.3) self->verlauf.pop_front();
                self->abbildDa = true;
            },
            this);
        if (o) pa_operation_unref(o);
    }
    double gehoert(int64_t frame) const {
        double basis = basen.front().second;
        for (const auto& b : basen) basis = std::min(basis, b.second);
        return basis + double(frame) / rate;
    }

    void lesen() {
        const void* daten;
        size_t n;
        while (pa_stream_readable_size(st) > 0 && pa_stream_peek(st, &daten, &n) == 0 && n > 0) {
            const auto* p = static_cast<const int16_t*>(daten);
            for (size_t i = 0; i < n / 2; ++i, ++frames) {
                const int x = p ? std::abs(int(p[i])) : 0;
                if (offen >= 0) {
                    spitze = std::max(spitze, x);
                    if (frames - offen >= rate * 30 / 1000) abschliessen();
                }
                if (x < kLaut) {
                    ++leiseSeit;
                    continue;
                }
                if (leiseSeit >= rate * 150 / 1000 && offen < 0 && abbildDa) {
                    offen = frames;
                    spitze = x;
                }
                leiseSeit = 0;
            }
            pa_stream_drop(st);
            abbilden();
        }
    }
    double basisZwischen(double von, double bis) const {
        double b = INFINITY;
        for (const auto& [wann, x] : verlauf) {
            if (wann >= von && wann <= bis) b = std::min(b, x);
        }
        return b;
    }
    void abschliessen() {
        const double t = gehoert(offen);
        // The base of the snapshots just after the onset: one taken around
        // it may still be from before a loss the onset itself was heard after.
        const double vorher = basisZwischen(t - vorlauf - 0.015, t - vorlauf),
                     dann = basisZwischen(t, t + 0.015);
        const double verlust =
            std::isfinite(vorher) && std::isfinite(dann) ? (dann - vorher) * 1000 : 0;
        onsets.emplace_back(t, verlust);
        std::printf("onset %.6f %d %.2f\n", t, spitze, verlust);
        std::fflush(stdout);
        offen = -1;
    }
};

// ---------------------------------------------------------------- reference player

// Writes silence; shortly before each second boundary it asks for the
// stream's timing ten times and writes a 1 ms step at the frame heard at the
// boundary by the least stale answer (the one putting the position furthest on).
struct Spieler {
    Schleife& s;
    pa_stream* st = nullptr;
    int64_t geschrieben = 0;
    std::atomic<bool> ende{false};
    std::thread faden;

    explicit Spieler(Schleife& sch) : s(sch) {
        pa_threaded_mainloop_lock(s.m);
        const pa_sample_spec ss{PA_SAMPLE_S16LE, kSpielRate, 1};
        st = pa_stream_new(s.c, "Referenz", &ss, nullptr);
        pa_buffer_attr a{uint32_t(-1), kSpielRate * 50 / 1000 * 2, 0, kSpielRate * 20 / 1000 * 2,
                         uint32_t(-1)};
        pa_stream_set_write_callback(
            st,
            [](pa_stream* st, size_t n, void* r) {
                auto* self = static_cast<Spieler*>(r);
                std::vector<int16_t> stille(n / 2, 0);
                pa_stream_write(st, stille.data(), n, nullptr, self->geschrieben * 2,
                                PA_SEEK_ABSOLUTE);
                self->geschrieben += int64_t(n / 2);
            },
            this);
        pa_stream_connect_playback(st, "null", &a, PA_STREAM_ADJUST_LATENCY, nullptr, nullptr);
        pa_threaded_mainloop_unlock(s.m);
        faden = std::thread([this] { laufen(); });
    }
    ~Spieler() {
        ende = true;
        faden.join();
        pa_threaded_mainloop_lock(s.m);
        pa_stream_disconnect(st);
        pa_stream_unref(st);
        pa_threaded_mainloop_unlock(s.m);
    }
    void laufen() {
        while (!ende) {
            const double grenze = std::floor(jetzt()) + 1;
            std::this_thread::sleep_for(
                std::chrono::duration<double>(grenze - kSpielerVorlauf - jetzt()));
            pa_threaded_mainloop_lock(s.m);
            double basis = 1e300;  // wall time heard of frame 0
            for (int i = 0; i < 10; ++i) {
                s.warte(pa_stream_update_timing_info(st, signal, s.m));
                if (const pa_timing_info* t = pa_stream_get_timing_info(st))
                    basis = std::min(basis, sekunden(t->timestamp) + double(t->sink_usec) * 1e-6 -
                                                double(t->read_index) / 2 / kSpielRate);
                pa_threaded_mainloop_unlock(s.m);
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                pa_threaded_mainloop_lock(s.m);
            }
            if (const pa_timing_info* t = pa_stream_get_timing_info(st)) {
                const int64_t frame = std::llround((grenze - basis) * kSpielRate);
                std::vector<int16_t> stufe(kSpielRate / 1000, 8000);
                if (frame > t->read_index / 2) {
                    pa_stream_write(st, stufe.data(), stufe.size() * 2, nullptr, frame * 2,
                                    PA_SEEK_ABSOLUTE);
                    // Back to the end of what was written, as silence.
                    const int64_t rest = geschrieben - frame - int64_t(stufe.size());
                    if (rest > 0) {
                        std::vector<int16_t> stille(size_t(rest), 0);
                        pa_stream_write(st, stille.data(), stille.size() * 2, nullptr, 0,
                                        PA_SEEK_RELATIVE);
                    }
                    geschrieben = std::max(geschrieben, frame + int64_t(stufe.size()));
                }
            }
            pa_threaded_mainloop_unlock(s.m);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 5 || std::strcmp(argv[3], "--server") != 0) {
        std::fprintf(stderr, "usage: bench_klang aufnahme|referenz SECONDS --server ADDR\n");
        return 2;
    }
    const std::string art = argv[1];
    const double dauer = std::atof(argv[2]);
    const std::string server = argv[4];
    Schleife schleife(server.c_str());
    Rekorder rekorder(schleife, art == "referenz" ? kSpielerVorlauf + 0.002 : 0.05);
    std::unique_ptr<Spieler> spieler;
    if (art == "referenz") spieler = std::make_unique<Spieler>(schleife);
    const double anfang = jetzt();
    std::this_thread::sleep_for(std::chrono::duration<double>(dauer));
    spieler.reset();
    pa_threaded_mainloop_lock(schleife.m);
    std::printf("frames %lld seconds %.3f rate %d\n", (long long)rekorder.frames, jetzt() - anfang,
                rekorder.rate);
    if (art == "referenz") {
        // Each onset against its nearest boundary, and the time the sink lost
        // before it, in ms.
        for (auto [t, verlust] : rekorder.onsets)
            std::printf("error_ms %.3f %.2f\n", (t - std::round(t)) * 1000, verlust);
    }
    pa_threaded_mainloop_unlock(schleife.m);
    return 0;
}
