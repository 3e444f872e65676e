// SPDX-License-Identifier: GPL-3.0-or-later
// Keeps the desktop session from going idle and suspending while a countdown
// runs, through the session bus. Outside a sandbox GNOME's session manager is
// asked first, as GTK programs do; inside a sandbox (Flatpak, Snap), or where
// no session manager answers, the desktop portal; last the screen saver
// service, with the power management service beside it for suspend. Where
// nothing answers, the countdown runs without a hold, silently.
#pragma once

#include <chrono>
#include <memory>

#include "Dienste.h"

class QThread;
class WachHalterArbeit;

class SitzungWachHalter : public ICountdownStatus {
public:
    // `frist`: how long a service may take to grant a hold before the next one
    // is asked. Nothing is connected or started here.
    explicit SitzungWachHalter(std::chrono::milliseconds frist = std::chrono::seconds(5));
    // Releases a hold still in place and waits a bounded time for its answer.
    ~SitzungWachHalter() override;
    SitzungWachHalter(const SitzungWachHalter&) = delete;
    SitzungWachHalter& operator=(const SitzungWachHalter&) = delete;

    // Returns at once. The bus is used only from a thread of this service,
    // started with the first countdown, so a slow or silent bus never holds
    // up the window. Called on the window's thread, which is where the
    // top-level window's X11 id is read for the session manager.
    void CountdownGeschaltet(bool laeuft) override;

    // True once a service's thread could not be ended: a session bus took the
    // connection and never answered its hand-shake, which leaves that thread
    // and Qt's own bus thread waiting for good. Qt waits for its bus thread at
    // process exit, so the program must then end without that wait.
    static bool BusHaengt();

private:
    std::chrono::milliseconds frist_;
    std::unique_ptr<QThread> faden_;
    WachHalterArbeit* arbeit_ = nullptr;  // lives on faden_
};
