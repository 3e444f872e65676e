// SPDX-License-Identifier: GPL-3.0-or-later
#include "SignalEnde.h"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <cerrno>
#include <csignal>

namespace {

constexpr int Signale[] = {SIGTERM, SIGINT, SIGHUP};

// Write end of the pipe of the one living SignalEnde; -1 when there is none.
volatile sig_atomic_t schreibEnde = -1;

// Set on the event loop when a signal has been read.
bool angefordert = false;

void Behandeln(int signal) {
    // Only what is safe inside a signal handler: one write. A full pipe
    // already holds a wake-up, so a failed write loses nothing.
    const int gesichert = errno;
    const unsigned char nummer = static_cast<unsigned char>(signal);
    if (schreibEnde >= 0) {
        const ssize_t geschrieben = ::write(schreibEnde, &nummer, 1);
        (void)geschrieben;
    }
    errno = gesichert;
}

}  // namespace

SignalEnde::SignalEnde(Aufschub aufschub) : aufschub_(std::move(aufschub)) {
    Q_ASSERT(schreibEnde < 0);
    angefordert = false;
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;  // signals keep their defaults
    schreibEnde = pipe_[1];
    melder_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
    connect(melder_.get(), &QSocketNotifier::activated, this, &SignalEnde::Lesen);
    struct sigaction aktion = {};
    aktion.sa_handler = Behandeln;
    sigemptyset(&aktion.sa_mask);
    aktion.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i) {
        if (::sigaction(Signale[i], nullptr, &vorher_[i]) != 0) continue;
        if (vorher_[i].sa_handler == SIG_IGN) continue;
        uebernommen_[i] = ::sigaction(Signale[i], &aktion, nullptr) == 0;
    }
}

SignalEnde::~SignalEnde() {
    if (pipe_[0] < 0) return;
    for (int i = 0; i < 3; ++i)
        if (uebernommen_[i]) ::sigaction(Signale[i], &vorher_[i], nullptr);
    schreibEnde = -1;
    melder_.reset();
    ::close(pipe_[0]);
    ::close(pipe_[1]);
}

bool SignalEnde::Angefordert() { return angefordert; }

void SignalEnde::Lesen() {
    unsigned char puffer[16];
    while (::read(pipe_[0], puffer, sizeof puffer) > 0) {
    }
    const auto enden = [] {
        angefordert = true;
        // The window's close runs its unload, as a close by the user does; a
        // message box still open is closed with it. Then every event loop
        // ends: the main one and that of a box, whose caller then returns.
        QApplication::closeAllWindows();
        QCoreApplication::exit(0);
    };
    // During "Ansage Zeit" the end comes after the phrase, like everything else.
    if (aufschub_)
        aufschub_(enden);
    else
        enden();
}
