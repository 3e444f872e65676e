// SPDX-License-Identifier: GPL-3.0-or-later
// The timeline of the program's one playback stream. Every sound, a beat
// click or a spoken phrase, gets a place in it, a frame number counted from
// the start of the stream, and the samples written are the mix of all sounds
// at their places, silence elsewhere.
//
// A sound is asked for at an instant of the wall clock, or at once. A
// countdown asks for the sounds of a second a second ahead, at that second's
// boundary. A timing snapshot of the stream (how many frames the server has
// read, how many of those the device still holds, and when that was so) tells
// which frame is heard at that instant. Sounds for an instant wait unwritten
// until kVorher before it, and are placed by snapshots taken from then on, so
// the sound card's clock can never drift away from the wall clock however long
// the stream runs, and a graph that lost time meanwhile is followed; the stream
// has long been written ahead with silence, and the sounds are written again
// into it. A sound asked for at once is placed by the first snapshot taken
// after it came; one whose instant has passed sounds at once.
//
// Sounds of the same instant start at the same frame, mixed. Phrases never
// overlap: in the order of the frames they are wished at, each starts no
// earlier than the end of the one before it. So a phrase asked for at once
// goes before one placed for a coming second that has not begun, and that one
// follows it. A phrase is complete when a snapshot shows that the server has
// read past its last frame. A sound can be taken back until it begins: it is
// removed, and the frames it was written to are written again without it.
//
// A snapshot can be older than its time says: PipeWire's pulse server answers
// with the read position of its last cycle and the time of its answer, so the
// position may be up to a whole cycle (5 to 40 ms on a desktop) old, and a
// sound placed by it would come early by as much. Of the snapshots not older
// than kFrische, the one that puts the heard position furthest ahead is the
// least stale, and it places the sounds. The window is short, so the sound
// card's clock cannot drift away within it.
//
// A stream can also fall behind (a graph that missed cycles, a device that
// lost time), and then the older snapshots promise too much. The first
// snapshot to show a new read position bounds how stale it can be: no more
// than the time since the one before it, which still showed the old position.
// A snapshot further ahead than that is behind a loss and passed over. Until
// the snapshots tell the position to within a millisecond (such a bound, or
// two snapshots a millisecond apart that agree, as PulseAudio's do), and while
// the sounds' instant is more than kBedenkzeit away, the output asks again.
//
// Not thread-safe: the output calls it with its own lock held.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <vector>

#include "Erledigung.h"

using Abtastwerte = std::vector<int16_t>;
using Wanduhr = std::chrono::system_clock;

// The sample rate of the whole sound path until the speech engine reports its
// own (espeak-ng's voices synthesise at 22,050 Hz).
constexpr int kAbtastrate = 22050;

// Silence before a sound that starts the stream from idle: a USB converter or
// an analogue codec takes some 50 to 500 ms to come out of its power saving.
// HDMI receivers and Bluetooth links take longer than any prompt sound can
// wait, which is why a countdown keeps the stream playing instead.
constexpr auto kAnlauf = std::chrono::milliseconds(400);

// Sounds for an instant are placed from this long before it. A tick that
// places the next second's sounds comes about a second ahead, so they are
// long known by then. Long enough for an output thread held up by load (ticks
// reached the window up to 22 ms late with both cores busy) and a few
// snapshots; short, since a loss of the stream after the last one is not followed.
constexpr auto kVorher = std::chrono::milliseconds(50);
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
    explicit Tonspur(int abtastrate = kAbtastrate, std::chrono::milliseconds anlauf = kAnlauf);

    int Abtastrate() const { return rate_; }

    // Requests, from `um` on (none: at once), made at `jetzt`. `erledigt`, if
    // any, is reported when the sound has been heard, or dropped; through it
    // the sound can be taken back (see Absagen). Its report runs on the
    // output's thread, which must not be called back from there.
    void Klick(std::optional<Wanduhr::time_point> um, Wanduhr::time_point jetzt,
               ErledigungPtr erledigt = {});
    void Phrase(std::optional<Wanduhr::time_point> um, Wanduhr::time_point jetzt, Abtastwerte pcm,
                ErledigungPtr erledigt);
    // Takes back the sound of `erledigt` unless it has begun by what is known
    // at `jetzt`, and reports it dropped; one begun sounds to its end.
    void Absagen(const Erledigung* erledigt, Wanduhr::time_point jetzt);

    // While on, the stream plays through (silence between sounds), so the
    // device never sleeps and no sound needs a lead-in; none is given at its start.
    void WachHalten(bool an);

    // A fresh snapshot, taken at `jetzt`: places the sounds that are due and
    // reports those read completely.
    void Stand(const StromStand& s, Wanduhr::time_point jetzt);
    // What must be written again because sounds were placed, moved or taken
    // back in frames already written since the last call (nothing otherwise).
    Abschnitt Umschreiben();
    // The next `anzahl` frames after those written.
    Abschnitt Weiter(size_t anzahl, Wanduhr::time_point jetzt);

    // Whether the stream should play now; false once it has been silent for a
    // second with nothing to do and not kept awake.
    bool Laeuft() const { return laeuft_; }
    // When to take the next snapshot: as sounds become due to be placed, soon
    // while their placement is in doubt, and just after the server will have
    // read the end of a phrase asked for at once.
    std::optional<Wanduhr::time_point> NaechsterStand(Wanduhr::time_point jetzt) const;

    // The stream is gone: every sound is reported, and a new stream starts
    // again at frame 0.
    void Verwerfen();

    // The click of the beat at the given sample rate.
    static Abtastwerte KlickKlang(int abtastrate = kAbtastrate);

private:
    struct Klang {
        std::optional<Wanduhr::time_point> um;  // none: at once
        Wanduhr::time_point gekommen;
        Abtastwerte pcm;
        ErledigungPtr erledigt;
        bool phrase = false;
        int64_t beginn = -1;  // -1 while it waits to be placed
        int64_t wunsch = -1;  // at once: the frame it was given
        int64_t Ende() const { return beginn + int64_t(pcm.size()); }
        // Placed by a snapshot taken from then on.
        Wanduhr::time_point Ab() const { return um ? *um - kVorher : gekommen; }
    };
    void Anfordern(Klang k);
    void Anordnen(Wanduhr::time_point jetzt);
    void Erledigen(int64_t gelesen);
    void StilleSehen(Wanduhr::time_point jetzt);
    const StromStand& Bester() const;
    bool Gewiss() const;
    int64_t Vorn(const StromStand& x) const;  // where x puts the heard position at its own time
    int64_t Frueheste(Wanduhr::time_point jetzt) const;
    Abtastwerte Mischen(int64_t von, int64_t bis) const;
    int64_t Frames(Wanduhr::duration d) const;
    Wanduhr::duration Dauer(int64_t frames) const;

    const int rate_;
    const int64_t anlauf_;
    const Abtastwerte klick_;
    std::deque<Klang> klaenge_;   // not yet read completely
    int64_t geschrieben_ = 0;     // frames written
    int64_t umschreibenAb_ = -1;  // written frames that changed since, from here on
    int64_t stilleAb_ = 0;        // end of the last sound placed
    int64_t anlaufBis_ = 0;       // nothing sounds before this frame
    bool anlaufNoetig_ = false;
    bool laeuft_ = false;
    bool wach_ = false;
    // The first snapshot of each read position of the last kFrische, newest
    // last; the last snapshot; when the one before the newest position was taken.
    std::deque<StromStand> staende_;
    std::optional<StromStand> letzter_;
    std::optional<Wanduhr::time_point> davor_;
    // The frame given to each instant, so that sounds of the same instant
    // start at the same frame and a snapshot that moves it by no more than
    // the rounding leaves it where it is written.
    std::map<Wanduhr::time_point, int64_t> rahmen_;
};
