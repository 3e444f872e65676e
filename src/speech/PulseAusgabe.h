// SPDX-License-Identifier: GPL-3.0-or-later
// Audio output through the desktop's sound server (PulseAudio's client API,
// which PipeWire desktops serve too). One long-lived mono playback stream with
// a short buffer.
//
// When it plays: a sound starts the stream; once nothing is queued and a
// second of silence has followed, the stream is corked, so an idle clock
// costs no CPU and lets the device sleep. While it is kept awake (a countdown
// runs) it is never corked: it writes silence between the sounds, so the sink
// never suspends and no announcement or beat has to wake it.
//
// A sound that starts the stream from corked is preceded by a short lead-in
// of silence, time for a device that was asleep to wake up. A sound that
// arrives while only silence is queued is written over that silence, from the
// server's read position, so it is not queued behind it.
//
// Connecting happens in the background; without a server, or after losing
// it, phrases are dropped at once and a new connection is tried on a later
// request, at most every few seconds, and by itself while kept awake.
#pragma once

#include <pulse/pulseaudio.h>

#include <atomic>
#include <string>

#include "speech/AudioAusgabe.h"

class PulseAusgabe : public MischendeAusgabe {
public:
    enum class Zustand { Verbinde, Bereit, Getrennt };

    // Seconds between two connection attempts after a failure.
    static constexpr auto kWiederholPause = std::chrono::seconds(3);
    // A connection not ready after this long counts as failed.
    static constexpr auto kVerbindeFrist = std::chrono::seconds(2);
    // Lead-in before a sound that starts the stream from corked. A USB
    // converter or an analogue codec takes some 50 to 500 ms to come out of
    // its power saving; HDMI receivers and Bluetooth links take one to three
    // seconds, more than any prompt announcement can wait for, which is why a
    // countdown keeps the stream awake instead of relying on this.
    static constexpr auto kAnlauf = std::chrono::milliseconds(400);

    // `server`: empty for the session's default server, otherwise a server
    // string such as "unix:/run/user/1000/pulse/native". Never blocks for the
    // connection.
    explicit PulseAusgabe(std::string server = {});
    ~PulseAusgabe() override;

    Zustand zustand() const;
    // Waits until connected or failed, at most `grenze`; true when ready.
    bool warteAufVerbindung(std::chrono::milliseconds grenze) const;
    // True while the stream plays (is not corked).
    bool spielt() const { return laeuft_.load(); }

    void wachHalten(bool an) override;

protected:
    bool annehmen(Art art, const std::function<void()>& eintragen) override;
    void anstossen(Art art) override;

private:
    // All of these run with the mainloop lock held.
    void verbindenLassen();
    void verbinden();
    void stromAnlegen();
    void abbauen();
    void fehlschlag();
    void wiederverbindenPlanen();
    void starten(bool mitAnlauf);
    void fuellen();
    bool schreiben(size_t anzahl, pa_seek_mode_t art, AudioUhr::duration verzoegerung);
    void korkenWennStill();

    static void kontextGeaendert(pa_context* c, void* selbst);
    static void stromGeaendert(pa_stream* s, void* selbst);
    static void schreibBedarf(pa_stream* s, size_t bytes, void* selbst);
    static void fristAbgelaufen(pa_mainloop_api* api, pa_time_event* e, const struct timeval*,
                                void* selbst);
    static void verbindenAufruf(pa_mainloop_api* api, pa_defer_event* e, void* selbst);
    static void wiederholen(pa_mainloop_api* api, pa_time_event* e, const struct timeval*,
                            void* selbst);

    const std::string server_;
    pa_threaded_mainloop* schleife_ = nullptr;
    pa_context* kontext_ = nullptr;
    pa_stream* strom_ = nullptr;
    pa_time_event* frist_ = nullptr;
    pa_defer_event* verbindenSoll_ = nullptr;
    pa_time_event* wiederholung_ = nullptr;
    Zustand zustand_ = Zustand::Getrennt;
    bool ende_ = false;
    bool korkt_ = true;
    bool wach_ = false;
    std::atomic<bool> laeuft_{false};
    // Only silence is queued in the server (hint for anstossen without the lock).
    std::atomic<bool> nurStille_{false};
    size_t stilleSamples_ = 0;  // silent samples at the end of what was written
    size_t pufferSamples_ = 0;  // the server's target fill of the stream
    AudioUhr::duration latenz_{};
    AudioZeit letzterVersuch_{};
    PcmPuffer puffer_;
};
