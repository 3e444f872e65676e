// SPDX-License-Identifier: GPL-3.0-or-later
// Ends the program cleanly when the session ends it: SIGTERM, SIGINT and SIGHUP
// close the window as the user's close would (its unload closes the log), end
// every running event loop, including that of an open message box, and the
// program exits with status 0.
//
// The signal handler only writes the signal's number into a pipe; the window
// is closed on the event loop, where a notifier reads the pipe.
#pragma once

#include <signal.h>

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

class SignalEnde : public QObject {
    Q_OBJECT
public:
    // Takes over the three signals for as long as it lives; one at a time. A
    // signal that was ignored when the program started (nohup ignores SIGHUP,
    // a shell SIGINT for a job in the background) stays ignored.
    // `aufschub` runs the end now, or later when now is no time for it (the
    // window's wait for a spoken phrase); without one it runs at once.
    using Aufschub = std::function<void(std::function<void()>)>;
    explicit SignalEnde(Aufschub aufschub = {});
    ~SignalEnde() override;

    // A signal has come and the program is ending: start-up does not go on to
    // open the window, and no further message box is shown.
    static bool Angefordert();

private:
    void Lesen();

    Aufschub aufschub_;
    int pipe_[2] = {-1, -1};
    // The actions before, to be restored; only for the signals taken over.
    struct sigaction vorher_[3];
    bool uebernommen_[3] = {};
    std::unique_ptr<QSocketNotifier> melder_;
};
