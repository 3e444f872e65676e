// SPDX-License-Identifier: GPL-3.0-or-later
// The timeline of the program's one playback stream. Every sound, a beat
// click or a spoken phrase, gets a fixed place in it, a frame number counted
// from the start of the stream, and the samples written are the mix of all
// sounds at their places, silence elsewhere.
//
// The place comes from the wall clock: a sound requested in a second is due
// kVersatz after that second's boundary. A timing snapshot of the stream (how
// many frames the server has read, how many of those the device still holds,
// and when that was so) tells which frame is heard at that instant. Each
// snapshot is taken afresh for the sounds it places, so the sound card's clock
// can never drift away from the wall clock however long the stream runs. A
// sound whose instant has passed (a tick handed over too late) sounds at once.
//
// Phrases keep their order: one starts no earlier than the end of the one
// before it. A phrase and a click due at the same instant start at the same
// frame. A phrase is complete when a snapshot shows that the server has read
// past its last frame.
//
// A snapshot can be older than its time says: PipeWire's pulse server answers
// with the read position of its last cycle and the time of its answer, so the
// position may be up to a whole cycle (5 to 40 ms on a desktop) old, and a
// sound placed by it would come early by as much. Of the snapshots not older
// than kFrische, the one that puts the heard position furthest ahead is the
// least stale, and it places the sounds; the output takes a few just before
// each second boundary, where a countdown's sounds are placed. The window is
// short, so the sound card's clock cannot drift away within it.
//
// A stream can also fall behind (a graph that missed cycles, a device that
// lost time), and then the older snapshots promise too much. The first
// snapshot to show a new read position bounds how stale it can be: no more
// than the time since the one before it, which still showed the old position.
// A snapshot further ahead than that is behind a loss and passed over. While
// the evidence cannot tell a loss from staleness, and the sounds' instant is
// more than kBedenkzeit away, they wait and the output asks again soon.
//
// Not thread-safe: the output calls it with its own lock held.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

using Abtastwerte = std::vector<int16_t>;
using Wanduhr = std::chrono::system_clock;

// The sample rate of the whole sound path until the speech engine reports its
// own (espeak-ng's voices synthesise at 22,050 Hz).
constexpr int kAbtastrate = 22050;

// Where a sound is heard after its second boundary. A tick is aimed 5 ms
// after the boundary; with two processes hogging both cores of a small
// machine it was handed over up to 22 ms after it (bench_takt under
// stress-ng --cpu 2, p99 19 ms). The sink then needs its own latency (about
// 5 ms with this stream's buffer), the timing request a round trip, and a
// spoken number its synthesis (a few milliseconds for one word) before its
// frames can be written at their place. 40 ms covers all of that with room,
// and stays below what a listener notices as a lag behind the display.
constexpr auto kVersatz = std::chrono::milliseconds(40);

// Silence before a sound that starts the stream from idle: a USB converter or
// an analogue codec takes some 50 to 500 ms to come out of its power saving.
// HDMI receivers and Bluetooth links take longer than any prompt sound can
// wait, which is why a countdown keeps the stream playing instead.
constexpr auto kAnlauf = std::chrono::milliseconds(400);

// How long a snapshot may stand for the stream's position; see above.
constexpr auto kFrische = std::chrono::milliseconds(150);
// Placed this long before their instant at the latest, the sounds are written
// with room for the sink's latency and a server that reads a cycle ahead.
// Until then a placement in doubt asks again every kNachfrage: at PipeWire's
// smallest cycles, about one.
constexpr auto kBedenkzeit = std::chrono::milliseconds(20);
constexpr auto kNachfrage = std::chrono::milliseconds(1);

// One timing snapshot of the stream.
struct StromStand {
    int64_t gelesen = 0;       // frames the server has read from the stream
    int64_t imGeraet = 0;      // of those, frames not yet heard (the sink's latency)
    Wanduhr::time_point wann;  // when this was so
    bool spielt = true;        // the server plays the stream (not starting, not run dry)
};

// Samples to write at an absolute frame of the stream.
struct Abschnitt {
    int64_t ab = 0;
    Abtastwerte pcm;
};

class Tonspur {
public:
    explicit Tonspur(int abtastrate = kAbtastrate, std::chrono::milliseconds versatz = kVersatz,
                     std::chrono::milliseconds anlauf = kAnlauf);

    int Abtastrate() const { return rate_; }

    // Requests, placed at the next snapshot. `angefordert` is the wall-clock
    // time of the request; `fertig` is called once, when the phrase has been
    // read or dropped, from the output's thread (it must not call back into it).
    void Klick(Wanduhr::time_point angefordert);
    void Phrase(Wanduhr::time_point angefordert, Abtastwerte pcm, std::function<void()> fertig);

    // While on, the stream plays through (silence between sounds), so the
    // device never sleeps and no sound needs a lead-in.
    void WachHalten(bool an);

    // A fresh snapshot, taken at `jetzt`: places the waiting requests and
    // reports the phrases read completely. Returns what must be written again
    // because a sound now lies in frames already written (nothing otherwise).
    Abschnitt Stand(const StromStand& s, Wanduhr::time_point jetzt);
    // The next `anzahl` frames after those written.
    Abschnitt Weiter(size_t anzahl);

    bool Wartet() const { return !wartend_.empty(); }
    // Whether the stream should play now; false once it has been silent for a
    // second with nothing to do and not kept awake.
    bool Laeuft() const { return laeuft_; }
    // When to take the next snapshot: soon while requests wait to be placed,
    // else just after the server will have read the end of the next phrase.
    std::optional<Wanduhr::time_point> NaechsterStand() const;

    // The stream is gone: every phrase is reported, and a new stream starts
    // again at frame 0.
    void Verwerfen();

    // The click of the beat at the given sample rate.
    static Abtastwerte KlickKlang(int abtastrate = kAbtastrate);

private:
    struct Klang {
        int64_t beginn;
        Abtastwerte pcm;
        std::function<void()> fertig;  // set for phrases only
        int64_t Ende() const { return beginn + int64_t(pcm.size()); }
    };
    struct Anforderung {
        Wanduhr::time_point takt;  // the instant it is due
        Abtastwerte pcm;
        std::function<void()> fertig;
        bool phrase;
    };
    void Anfordern(Anforderung a);
    Abtastwerte Mischen(int64_t von, int64_t bis) const;
    int64_t Frames(Wanduhr::duration d) const;
    Wanduhr::duration Dauer(int64_t frames) const;

    const int rate_;
    const Wanduhr::duration versatz_;
    const int64_t anlauf_;
    const Abtastwerte klick_;
    std::vector<Anforderung> wartend_;
    std::deque<Klang> klaenge_;
    int64_t geschrieben_ = 0;  // frames written
    int64_t sprachEnde_ = 0;   // end of the last phrase placed
    int64_t stilleAb_ = 0;     // end of the last sound placed
    int64_t anlaufBis_ = 0;    // nothing sounds before this frame
    bool anlaufNoetig_ = false;
    bool laeuft_ = false;
    bool wach_ = false;
    // The first snapshot of each read position of the last kFrische, newest
    // last; the last snapshot; when the one before the newest position was taken.
    std::deque<StromStand> staende_;
    std::optional<StromStand> letzter_;
    std::optional<Wanduhr::time_point> davor_;
    // The frame given to the last instant, so a phrase due with a click
    // starts exactly at the click's frame.
    Wanduhr::time_point merkTakt_;
    int64_t merkBeginn_ = -1;
};
