// SPDX-License-Identifier: GPL-3.0-or-later
// Platform services the program uses: the local clock, the file service, the
// modal message box, the speech engine, the seconds beat and the desktop's
// notifications. Start-up receives
// them as interfaces; production hands in the real classes, tests hand in fakes.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <chrono>
#include <memory>

#include "Erledigung.h"

// ---------------------------------------------------------------- clock

// An instant on the wall clock. A second boundary of the local clock is one of
// the system clock too: zones differ from it by whole minutes.
using Zeitpunkt = std::chrono::system_clock::time_point;

// One reading of the local clock. Everything a handler needs comes from the
// same instant, so date, time and fraction can never disagree.
struct UhrLesung {
    QString datum;        // "DD.MM.YYYY", independent of the process locale
    QString zeit;         // "HH:MM:SS"
    int wochentag = 1;    // Sunday = 1, Monday = 2, ... Saturday = 7
    double sekunden = 0;  // seconds since local midnight, with fraction
    Zeitpunkt wann{};     // the instant read
};

class IUhr {
public:
    virtual ~IUhr() = default;
    virtual UhrLesung Lesen() = 0;
    // The reading for the instant of an input event, given its time stamp in
    // milliseconds of the window system's input clock; the reading of now
    // when that instant cannot be told or lies more than a minute back.
    virtual UhrLesung LesenZu(quint64 eingabeZeit) = 0;
    // The reading for an instant of the wall clock, in microseconds since the
    // epoch: the moment a request from outside the window was made.
    virtual UhrLesung LesenUm(qint64 wandzeitUs) = 0;
};

// ---------------------------------------------------------------- files

// I/O modes of OpenTextFile.
enum class IoModus { ForReading = 1, ForAppending = 8 };

// A text stream over one file, single-byte text, lines ended by CR LF.
// Operations report failure by their result instead of throwing.
class ITextStream {
public:
    virtual ~ITextStream() = default;
    virtual bool AtEndOfStream() = 0;
    // Next line without its line end; false on a read error or at the end.
    virtual bool ReadLine(QByteArray& zeile) = 0;
    // Writes the text and CR LF and makes sure it has reached the file
    // (flushed to the operating system and synced) before returning true.
    virtual bool WriteLine(const QByteArray& text) = 0;
    virtual void Close() = 0;
};

class IDateisystem {
public:
    virtual ~IDateisystem() = default;
    // Name without directory, resolved against the working directory.
    // Returns null when the file cannot be opened (or created with create).
    virtual std::unique_ptr<ITextStream> OpenTextFile(const QString& name, IoModus modus,
                                                      bool create) = 0;
    // Replaces the file's whole content in one step: a new file is written and
    // renamed over the old one, so a failure leaves the old content in place.
    virtual bool ErsetzeDatei(const QString& name, const QByteArray& inhalt) = 0;
};

// ---------------------------------------------------------------- message box

// Modal box, OK button only, no icon, caption "Tempiro". Returns when closed.
class IMeldung {
public:
    virtual ~IMeldung() = default;
    virtual void MsgBox(const QString& text) = 0;
};

// ---------------------------------------------------------------- speech

// One entry of the engine's voice list.
struct SprachToken {
    int index = -1;
    QString name;  // for the tooltip; never shown in the list itself
};

// The voice collection returned by GetVoices: same content and order on every call.
struct SprachTokens {
    QList<SprachToken> eintraege;
    int Count() const { return int(eintraege.size()); }
    SprachToken Item(int i) const { return eintraege.value(i); }
};

// Speak flags. The voice itself never waits: it queues the phrase and hands
// back its completion. With SVSFDefault the caller waits for that completion
// (the phrase and all before it heard); with SVSFlagsAsync it goes on at once.
constexpr int SVSFDefault = 0;
constexpr int SVSFlagsAsync = 1;

// The voice object. Phrases never overlap: one that would begin while another
// still sounds follows it. Every call is bounded in time, also without sound.
class IStimme {
public:
    virtual ~IStimme() = default;
    // False when the engine cannot list its voices.
    virtual bool GetVoices(SprachTokens& stimmen) = 0;
    // Later phrases use this voice; on failure the previous one stays in use.
    virtual bool SetVoice(const SprachToken& token) = 0;
    // Designed scale -10 ... 10, 0 the engine's normal rate.
    virtual bool SetRate(int rate) = 0;
    // Queues the phrase to begin at once, before any phrase placed for a
    // coming second that has not begun yet, and returns at once. The
    // completion is reported once this phrase has been heard or dropped;
    // null when the request is refused.
    virtual ErledigungPtr Speak(const QString& text, int flags) = 0;
    // Queues the phrase to begin at the instant `beginn` (a second boundary),
    // or at once when that can no longer be met, and returns at once. It can
    // be taken back through its completion (Erledigung::Absagen) until it begins.
    virtual ErledigungPtr SpeakUm(const QString& text, Zeitpunkt beginn) = 0;
};

// Creates the one voice object; null when no engine is available.
class ISprachDienst {
public:
    virtual ~ISprachDienst() = default;
    virtual std::unique_ptr<IStimme> ErzeugeStimme() = 0;
};

// ---------------------------------------------------------------- seconds beat

// One short audible beat, mixed with speech, never queued behind it. Must not block.
class ISignalton {
public:
    virtual ~ISignalton() = default;
    // At once.
    virtual void Abspielen() = 0;
    // At the instant `um` (a second boundary), or at once when that can no
    // longer be met; it can be taken back through the handle until then. Null
    // when it cannot be placed (no working output): the caller sounds it at
    // once when its time has come.
    virtual ErledigungPtr AbspielenUm(Zeitpunkt um) = 0;
};

// ---------------------------------------------------------------- countdown state

// Told whether a countdown runs: from the press of "Timer Start" until it is
// stopped, halted by a change of the entry, or expires, and told "no" again
// when the program ends. Whatever must be held for the length of a countdown
// listens here (the sound output kept awake, the session kept from going idle).
// The window reports changes only, never the same state twice in a row. Must
// return at once: it is called from the tick and from button presses.
class ICountdownStatus {
public:
    virtual ~ICountdownStatus() = default;
    virtual void CountdownGeschaltet(bool laeuft) = 0;
};

// ---------------------------------------------------------------- desktop notification

// A notification of the desktop beside a message box, for a window that may
// be hidden when the box comes up. Both calls return at once; without a
// notification server nothing is shown and nothing is said.
class IBenachrichtigung {
public:
    virtual ~IBenachrichtigung() = default;
    // Shows it until it is withdrawn; clicking it brings the window forward.
    virtual void Zeigen(const QString& titel, const QString& text) = 0;
    // Withdraws the one shown, if any.
    virtual void Zurueckziehen() = 0;
};

// Everything start-up is handed. None of the pointers is owned here; all must
// outlive the window.
struct Dienste {
    IUhr* uhr = nullptr;
    IDateisystem* dateisystem = nullptr;
    IMeldung* meldung = nullptr;
    ISprachDienst* sprache = nullptr;  // may be null: no speech engine at all
    ISignalton* signalton = nullptr;
    ICountdownStatus* countdown = nullptr;          // may be null: nobody listens
    IBenachrichtigung* benachrichtigung = nullptr;  // may be null: none
};
