// SPDX-License-Identifier: GPL-3.0-or-later
// Fakes for the platform services: a clock the test sets and advances, files
// in memory that can fail on demand, a message box that records its texts, a
// voice that records what it is asked to say, and a counting beep.
#pragma once

#include <QDateTime>
#include <QMap>
#include <QStringList>
#include <functional>
#include <memory>

#include "app/Dienste.h"
#include "app/Form1.h"

class FakeUhr : public IUhr {
public:
    FakeUhr();
    UhrLesung Lesen() override;
    // Input events are stamped with eingabeUhr, which goes with the clock.
    UhrLesung LesenZu(quint64 eingabeZeit) override;
    quint64 eingabeUhr = 1'000'000;
    // Local wall-clock time the clock shows; the zone plays no part.
    void Setze(const QDateTime& lokal);
    void Setze(int jahr, int monat, int tag, int stunde, int minute, int sekunde, int ms = 0);
    void Weiter(qint64 ms);
    QDateTime Jetzt() const { return jetzt_; }
    int lesungen = 0;

private:
    QDateTime jetzt_;
};

class FakeDateisystem : public IDateisystem {
public:
    std::unique_ptr<ITextStream> OpenTextFile(const QString& name, IoModus modus,
                                              bool create) override;
    bool ErsetzeDatei(const QString& name, const QByteArray& inhalt) override;

    QMap<QString, QByteArray> dateien;  // name -> content
    QStringList gesperrt;               // names that cannot be opened or written
    bool schreibfehler = false;         // every WriteLine fails (a full disk)
    int ersetzungen = 0;
};

class FakeMeldung : public IMeldung {
public:
    void MsgBox(const QString& text) override;
    QStringList texte;
    // Runs while the box is "open", as a nested event loop would.
    std::function<void()> waehrendOffen;
};

class FakeStimme : public IStimme {
public:
    struct Auftrag {
        QString text;
        int flags;
        int stimme;
        int rate;
    };
    explicit FakeStimme(int anzahlStimmen) : anzahl(anzahlStimmen) {}
    bool GetVoices(SprachTokens& stimmen) override;
    bool SetVoice(const SprachToken& token) override;
    bool SetRate(int r) override;
    bool Speak(const QString& text, int flags) override;

    int anzahl;
    int stimme = 0;
    int rate = 0;
    bool sprechenScheitert = false;
    bool rateScheitert = false;
    QList<Auftrag> auftraege;
    std::function<void()> beimSprechen;  // runs inside every Speak
};

class FakeSprachDienst : public ISprachDienst {
public:
    explicit FakeSprachDienst(int anzahlStimmen) : anzahl(anzahlStimmen) {}
    std::unique_ptr<IStimme> ErzeugeStimme() override;
    int anzahl;
    bool scheitert = false;
    bool rateScheitert = false;    // the voices handed out refuse their rate
    FakeStimme* letzte = nullptr;  // the voice handed out last, owned by the window
};

class FakeSignalton : public ISignalton {
public:
    void Abspielen() override { ++piepse; }
    int piepse = 0;
};

// Records what the window says about the countdown's state.
class FakeCountdownStatus : public ICountdownStatus {
public:
    void CountdownLaeuft(bool l) override {
        laeuft = l;
        meldungen << l;
    }
    bool laeuft = false;
    QList<bool> meldungen;
};

// One window with fakes, each test gets its own. Files live in memory.
struct Pruefstand {
    explicit Pruefstand(int anzahlStimmen = 3);
    ~Pruefstand();
    Form1& Starten();  // builds the window, which runs Form_Load
    QByteArray Log() const { return dateien.dateien.value(QStringLiteral("zeitnehmung.txt")); }

    FakeUhr uhr;
    FakeDateisystem dateien;
    FakeMeldung meldung;
    FakeSprachDienst sprache;
    FakeSignalton signalton;
    FakeCountdownStatus countdown;
    bool ohneSprache = false;  // no engine at all
    std::unique_ptr<Form1> form;
    FakeStimme* Stimme() const { return sprache.letzte; }
};

// Whole content of a file in the working directory, "<none>" when unreadable.
QByteArray DateiInhalt(const QString& name);
// Writes a file in the working directory; false when it cannot be written whole.
bool DateiSchreiben(const QString& name, const QByteArray& inhalt);
