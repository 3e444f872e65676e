// SPDX-License-Identifier: GPL-3.0-or-later
// Audio output through the desktop's sound server (PulseAudio's client API,
// which PipeWire desktops serve too). One long-lived mono playback stream with
// a short buffer, corked while nothing plays so that an idle program costs no
// CPU. Connecting happens in the background; without a server, or after
// losing it, phrases are dropped at once and a new connection is tried on a
// later request, at most every few seconds.
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

    // `server`: empty for the session's default server, otherwise a server
    // string such as "unix:/run/user/1000/pulse/native". Never blocks for the
    // connection.
    explicit PulseAusgabe(std::string server = {});
    ~PulseAusgabe() override;

    Zustand zustand() const;
    // Waits until connected or failed, at most `grenze`; true when ready.
    bool warteAufVerbindung(std::chrono::milliseconds grenze) const;

protected:
    bool annehmen(Art art, const std::function<void()>& eintragen) override;
    void anstossen() override;

private:
    // All of these run with the mainloop lock held.
    void verbindenLassen();
    void verbinden();
    void stromAnlegen();
    void abbauen();
    void fehlschlag();
    void starten();
    void fuellen();
    void korkenWennStill();

    static void kontextGeaendert(pa_context* c, void* selbst);
    static void stromGeaendert(pa_stream* s, void* selbst);
    static void schreibBedarf(pa_stream* s, size_t bytes, void* selbst);
    static void fristAbgelaufen(pa_mainloop_api* api, pa_time_event* e, const struct timeval*,
                                void* selbst);
    static void verbindenAufruf(pa_mainloop_api* api, pa_defer_event* e, void* selbst);

    const std::string server_;
    pa_threaded_mainloop* schleife_ = nullptr;
    pa_context* kontext_ = nullptr;
    pa_stream* strom_ = nullptr;
    pa_time_event* frist_ = nullptr;
    pa_defer_event* verbindenSoll_ = nullptr;
    Zustand zustand_ = Zustand::Getrennt;
    bool ende_ = false;
    bool korkt_ = true;
    std::atomic<bool> laeuft_{false};
    size_t stilleSamples_ = 0;
    AudioUhr::duration latenz_{};
    AudioZeit letzterVersuch_{};
    PcmPuffer puffer_;
};
