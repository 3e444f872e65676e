// SPDX-License-Identifier: GPL-3.0-or-later
// The path of every sound: EspeakStimme synthesises and trims a phrase,
// Tonausgabe places it (or a beat click) in Tonspur, the stream's timeline,
// and writes that timeline to libpulse.
//
// The program's sound output: one mono playback stream on the desktop's sound
// server (PulseAudio's client API, which PipeWire serves too), written only
// here. Every sound is placed in the stream's timeline (Tonspur) by frame, and
// whatever the server asks for is written from it.
//
// The stream is written about a second ahead, and refilled in half-second
// steps: a countdown keeps it playing for hours, and each refill wakes the
// program. A sound is written into what is already queued (libpulse lets a
// client write again at a position it queued, and the server plays what was
// written last), and so is the silence over a sound taken back before it began.
// Timing snapshots are asked for as the timeline wants them: as its sounds
// become due to be placed, a millisecond apart while their placement is in
// doubt, and after a phrase asked for at once, whose completion someone may
// wait for.
//
// Idle, the stream is corked after a second of silence, so the device may
// sleep; a sound that starts it again gets the lead-in. Kept awake (a
// countdown runs) it never corks. Without a server, or after losing it (a
// server that stops answering counts as lost after two seconds), phrases are
// dropped at once and the beat falls back; a new connection is tried on the
// next request, at most every three seconds, and by itself while kept awake.
// Everything runs on libpulse's thread under its one lock.
#pragma once

#include <pulse/pulseaudio.h>

#include <optional>
#include <string>

#include "Dienste.h"
#include "Tonspur.h"

// Where the speech engine and the beat put their sounds.
class ITonausgabe {
public:
    virtual ~ITonausgabe() = default;
    // The sample rate of the phrases to come, as the speech engine reports
    // it; the stream and the click follow it.
    virtual void Abtastrate(int hz) = 0;
    // A phrase to begin at `um` (none: at once); it never overlaps another.
    // `erledigt` is reported once, when it has been heard or dropped, from
    // another thread; through it the phrase can be taken back.
    virtual void Phrase(std::optional<Wanduhr::time_point> um, Abtastwerte pcm,
                        ErledigungPtr erledigt) = 0;
    // A beat click at `um` (none: at once), taken back through `erledigt`, if
    // any. False without a working output.
    virtual bool Klick(std::optional<Wanduhr::time_point> um, ErledigungPtr erledigt = {}) = 0;
};

// Also the seconds beat, and kept awake while a countdown runs.
class Tonausgabe : public ITonausgabe, public ISignalton, public ICountdownStatus {
public:
    enum class Verbindung { Verbinde, Bereit, Getrennt };

    // `server`: empty for the session's default server, otherwise a server
    // string such as "unix:/run/user/1000/pulse/native". `ersatz`, if any,
    // sounds the beat without a working output. `uhr` reads the wall clock
    // (the system's by default). Never blocks.
    explicit Tonausgabe(std::string server = {}, std::function<void()> ersatz = {},
                        std::function<Wanduhr::time_point()> uhr = {});
    ~Tonausgabe() override;

    void Abtastrate(int hz) override;
    void Phrase(std::optional<Wanduhr::time_point> um, Abtastwerte pcm,
                ErledigungPtr erledigt) override;
    bool Klick(std::optional<Wanduhr::time_point> um, ErledigungPtr erledigt = {}) override;
    // The beat. Never blocks.
    void Abspielen() override {
        if (!Klick(std::nullopt) && ersatz_) ersatz_();
    }
    ErledigungPtr AbspielenUm(Zeitpunkt um) override;
    void CountdownGeschaltet(bool laeuft) override;

    Verbindung Zustand() const;
    bool Spielt() const;  // not corked

private:
    struct Sperre;
    template <void (Tonausgabe::*Tun)()>
    static void Wecken(pa_mainloop_api*, pa_time_event*, const timeval*, void* selbst);
    void Stellen(pa_time_event* e, std::optional<Wanduhr::time_point> wann);  // none: off
    void FristStellen(bool an);
    void Nachsehen();
    void WiederholenPlanen();
    void Verbinden();
    void StromAnlegen();
    void Abbauen();
    void Fehlschlag();
    void StandAnfordern();
    void StandUhr();
    // Hands `erledigt`'s take-back to the timeline; false when it is taken back already.
    bool Halten(const ErledigungPtr& erledigt);
    // Writes what the timeline changed, and asks for its next snapshot.
    void Nachziehen();
    void Schreiben(const Abschnitt& a);
    void Abgleichen();

    const std::string server_;
    const std::function<void()> ersatz_;
    const std::function<Wanduhr::time_point()> uhr_;
    pa_threaded_mainloop* schleife_ = nullptr;
    pa_mainloop_api* api_ = nullptr;
    pa_context* kontext_ = nullptr;
    pa_stream* strom_ = nullptr;
    pa_time_event* frist_ = nullptr;         // the server must have answered by then
    pa_time_event* wiederholung_ = nullptr;  // next connection attempt
    pa_time_event* standUhr_ = nullptr;  // a new snapshot: a placement waits, a phrase has ended
    std::optional<Wanduhr::time_point> standGestellt_;  // what standUhr_ is set to
    bool standOffen_ = false;                           // a snapshot asked for, not yet answered
    bool fristLaeuft_ = false;
    Verbindung zustand_ = Verbindung::Getrennt;
    // The last connection attempt, on the steady clock: a wall clock set back
    // must not hold up the next one.
    std::chrono::steady_clock::time_point letzterVersuch_;
    bool ende_ = false;
    bool wachHalten_ = false;  // a countdown runs
    std::optional<Tonspur> spur_{std::in_place};
};
