// SPDX-License-Identifier: GPL-3.0-or-later
// The program as a desktop application on the session bus, as GLib's and
// KDE's programs are: one instance per session, which owns the name
// de.tempiro.Tempiro and serves org.freedesktop.Application (Activate, Open,
// ActivateAction) at /de/tempiro/Tempiro. A second start hands its request to
// the first and ends; an action asked for on the command line is handed over
// the same way.
//
// The window is not known here: the start hands in what activating it and
// carrying out an action mean. Everything here runs on the window's thread
// and never waits there for the bus, except for the bounded waits at start-up.
#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QVariantMap>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

#include "Aktionen.h"

// The instant a request from outside was made, from its platform data
// ("zeit": microseconds since the epoch), for a request arriving at `jetztUs`.
// None, so that the time of handling counts, when it is missing, not a
// number, negative, later than `jetztUs` or more than 60 s before it.
std::optional<qint64> AnfrageZeit(const QVariantMap& plattformDaten, qint64 jetztUs);

// The wall clock now, in microseconds since the epoch.
qint64 WandzeitUs();

// The instant this process started, on the same scale, read as the first
// thing of the program: the wall clock less the processor time the process
// has used. That is the time it took to load its libraries, some tens of
// milliseconds on a busy machine; time it spent waiting for a processor is
// not taken off, so the instant is never before the start.
qint64 ProzessStartUs();

// The session bus, connected on a thread of its own; none when there is no
// bus or it has not answered within `frist`. A bus that takes the connection
// and never answers leaves that thread, and Qt's bus thread, waiting for good.
std::optional<QDBusConnection> SitzungsbusVerbinden(std::chrono::milliseconds frist);

// True once a connection to the session bus has hung: the process must then
// end without waiting for Qt's bus thread.
bool SitzungsbusHaengt();

// True when the session bus took the connection and did not answer it in time.
bool SitzungsbusStumm();

class Anwendungsdienst : public QDBusVirtualObject {
    Q_OBJECT
public:
    // What a request from outside does to the window.
    struct Fenster {
        // Raise and activate it; the platform data of the request.
        std::function<void(const QVariantMap&)> aktivieren;
        // Carry out an action at the instant asked for, if any, and call the
        // third argument once with "" or why it is not done, before waiting
        // for anything (a phrase, a box).
        std::function<void(Aktion, std::optional<qint64>, std::function<void(const QString&)>)>
            ausfuehren;
    };

    enum class Anmeldung {
        Allein,  // no bus, or none that answered in time: the program runs alone
        Erste,   // the name is ours
        Zweite,  // another instance owns it
    };

    // `arbeitsordner`: where this instance keeps its files, told to a second start.
    explicit Anwendungsdienst(QString arbeitsordner);
    ~Anwendungsdienst() override;

    // Connects, registers the object, then asks for the name; all of it
    // within `frist`.
    Anmeldung Anmelden(std::chrono::milliseconds frist);

    // For a second start: hands Activate with its platform data to the
    // running instance and returns that instance's working directory; an
    // empty text when it has not answered within `frist`.
    QString Weiterreichen(const QVariantMap& plattformDaten, std::chrono::milliseconds frist);

    // The window is there: requests held until now are handed to it, in order.
    void FensterSetzen(Fenster fenster);

    // The connection, once Anmelden has made one.
    const std::optional<QDBusConnection>& Bus() const { return bus_; }

    QString introspect(const QString& pfad) const override;
    bool handleMessage(const QDBusMessage& nachricht, const QDBusConnection& bus) override;

private:
    void Anfragen(std::function<void()> schritt);

    QString arbeitsordner_;
    std::optional<QDBusConnection> bus_;
    std::optional<Fenster> fenster_;
    std::deque<std::function<void()>> gehalten_;  // before the window was there
};

// The client side of an action on the command line: hands it to the running
// clock, with the instant the command started and the launcher's platform
// data, starting `programm` first in the current directory when none runs.
// Needs the bus only, no display. The exit status and, unless it is 0, the
// text to print.
struct Rueckmeldung {
    int status = 0;
    QString text;
};
Rueckmeldung AktionUebergeben(Aktion aktion, qint64 zeitUs, const QVariantMap& startDaten,
                              const QString& programm);
