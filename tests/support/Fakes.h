// SPDX-License-Identifier: GPL-3.0-or-later
// Fakes for the platform services: a clock the test sets and advances, files
// in memory, a message box that records its texts, a voice that records what
// it is asked to say, a counting beep and a listener to the countdown's state.
// Voice and beat also log every sound in one list: "K" a click at once,
// "'text'" a phrase at once, "/n" after it in voice n, "@ss" placed for the
// second ss of a minute ("@ss.mmm" within it), a leading "-" taken back.
// Pruefstand builds one window on them; Ansicht reaches its controls by their
// names, as a user sees them.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMap>
#include <QPushButton>
#include <QStringList>
#include <functional>
#include <memory>

#include "Dienste.h"
#include "Form1.h"
#include "Plattform.h"
#include "SekundenTakt.h"

struct FakeUhr : IUhr {
    FakeUhr() { Setze(2026, 12, 5, 10, 0, 0); }
    UhrLesung Lesen() override { return UhrLesungAus(jetzt); }
    // Input events are stamped with eingabeUhr, which goes with the clock.
    UhrLesung LesenZu(quint64 eingabeZeit) override {
        const quint64 alter = eingabeUhr - eingabeZeit;
        return UhrLesungAus(alter <= 60000 ? jetzt.addMSecs(-qint64(alter)) : jetzt);
    }
    // The fake's wall clock counts its local time as if it were UTC.
    UhrLesung LesenUm(qint64 wandzeitUs) override {
        return UhrLesungAus(QDateTime::fromMSecsSinceEpoch(wandzeitUs / 1000, Qt::UTC));
    }
    // Local wall-clock time the clock shows; the zone plays no part.
    void Setze(const QDateTime& lokal) { jetzt = lokal; }
    void Setze(int jahr, int monat, int tag, int stunde, int minute, int sekunde, int ms = 0) {
        jetzt = QDateTime(QDate(jahr, monat, tag), QTime(stunde, minute, sekunde, ms), Qt::UTC);
    }
    void Weiter(qint64 ms) {
        jetzt = jetzt.addMSecs(ms);
        eingabeUhr += quint64(ms);
    }
    quint64 eingabeUhr = 1'000'000;
    QDateTime jetzt;
};

// Lines end at LF, a CR before it dropped; written lines end in CR LF.
struct FakeDateisystem : IDateisystem {
    std::unique_ptr<ITextStream> OpenTextFile(const QString& name, IoModus modus,
                                              bool create) override;
    bool ErsetzeDatei(const QString& name, const QByteArray& inhalt) override {
        dateien[name] = inhalt;
        return true;
    }
    QMap<QString, QByteArray> dateien;  // name -> content
};

struct FakeMeldung : IMeldung {
    void MsgBox(const QString& text) override {
        texte << text;
        if (waehrendOffen) waehrendOffen();
    }
    QStringList texte;
    std::function<void()> waehrendOffen;  // runs while the box is "open"
};

// Logs a sound as described above, and its take-back, which then also runs
// `dann`; returns its handle.
ErledigungPtr TonLoggen(QStringList* ton, QString was, std::optional<Zeitpunkt> um,
                        std::function<void()> dann = {});

// Voices "Stimme 0" ... "Stimme n-1"; logs every phrase it is asked to say.
struct FakeStimme : IStimme {
    bool GetVoices(SprachTokens& s) override {
        for (int i = 0; i < anzahl; ++i)
            s.eintraege.append({i, QStringLiteral("Stimme %1").arg(i)});
        return true;
    }
    bool SetVoice(const SprachToken& t) override {
        if (t.index < 0 || t.index >= anzahl) return false;
        stimme = t.index;
        return true;
    }
    bool SetRate(int) override { return true; }
    // Heard at once, unless beimSprechen keeps the completion for later.
    ErledigungPtr Speak(const QString& text, int) override {
        auto erledigt = SpeakUm(text, std::nullopt);
        beimSprechen ? beimSprechen(erledigt) : erledigt->Melden();
        return erledigt;
    }
    ErledigungPtr SpeakUm(const QString& text, Zeitpunkt beginn) override {
        return SpeakUm(text, std::optional(beginn));
    }
    ErledigungPtr SpeakUm(const QString& text, std::optional<Zeitpunkt> um) {
        const QString nr = stimme ? u'/' + QString::number(stimme) : QString();
        return TonLoggen(ton, u'\'' + text + u'\'' + nr, um);
    }
    int anzahl = 3, stimme = 0;
    std::function<void(ErledigungPtr)> beimSprechen;  // runs inside every Speak
    QStringList* ton = nullptr;
};

struct FakeSprachDienst : ISprachDienst {
    std::unique_ptr<IStimme> ErzeugeStimme() override {
        auto s = std::make_unique<FakeStimme>();
        s->ton = ton;
        s->anzahl = anzahl;
        letzte = s.get();
        return s;
    }
    int anzahl = 3;
    FakeStimme* letzte = nullptr;  // the voice handed out last, owned by the window
    QStringList* ton = nullptr;
};

// Counts the clicks at once and those placed ahead and not taken back.
struct FakeSignalton : ISignalton {
    void Abspielen() override {
        ++piepse;
        TonLoggen(ton, QStringLiteral("K"), std::nullopt);
    }
    ErledigungPtr AbspielenUm(Zeitpunkt um) override {
        ++piepse;
        return TonLoggen(ton, QStringLiteral("K"), um, [this] { --piepse; });
    }
    int piepse = 0;
    QStringList* ton = nullptr;
};

struct FakeCountdownStatus : ICountdownStatus {
    void CountdownGeschaltet(bool l) override {
        laeuft = l;
        verlauf += l ? u'1' : u'0';
    }
    bool laeuft = false;
    QString verlauf;  // every report: 1 running, 0 not
};

// The window's controls and timers, found by their names, and its state.
struct Ansicht {
    explicit Ansicht(Form1& f) : form(&f) {}
    Form1* operator->() const { return form; }
    const AppState& A() const { return form->Zustand(); }
    template <class T>
    T* Finde(const char* name) const {
        T* teil = form->findChild<T*>(QLatin1String(name));
        Q_ASSERT(teil);
        return teil;
    }
    Form1* form;
#define TEIL(Typ, name) Typ* name = Finde<Typ>(#name)
    TEIL(QCheckBox, Check_MldVorbei);
    TEIL(QCheckBox, Check_Dauer);
    TEIL(QCheckBox, Check_CountDown);
    TEIL(QCheckBox, Check_SprachAusgabe);
    TEIL(QComboBox, Combo_H);
    TEIL(QComboBox, Combo_M);
    TEIL(QComboBox, Combo_S);
    TEIL(QComboBox, Combo_Morgen);
    TEIL(QPushButton, btn_ZeitSpeichern);
    TEIL(QPushButton, Command_Start);
    TEIL(QPushButton, Command1);
    TEIL(QPushButton, Command2);
    TEIL(QLineEdit, Text_RestZeit);
    TEIL(QListWidget, List_Sprecher);
    TEIL(QLabel, Label_Zeitpunkt);
    TEIL(QLabel, Label_akti);
    TEIL(QLabel, Label_Zeitanzeige);
    TEIL(SekundenTakt, Timer_Zeitanzeige);
    TEIL(SekundenTakt, Timer_OccRestZeit);
#undef TEIL
};

// One window on fakes, each test its own. Files live in memory unless a real
// file service is handed to Starten.
struct Pruefstand {
    explicit Pruefstand(int anzahlStimmen = 3) {
        sprache.anzahl = anzahlStimmen;
        sprache.ton = signalton.ton = &ton;
    }
    // Builds the window, which runs Form_Load.
    Ansicht& Starten(IDateisystem* echteDateien = nullptr) {
        form = std::make_unique<Form1>(Dienste{&uhr, echteDateien ? echteDateien : &dateien,
                                               &meldung, &sprache, &signalton, &countdown});
        ansicht = std::make_unique<Ansicht>(*form);
        return *ansicht;
    }
    QByteArray Log() const { return dateien.dateien.value(QStringLiteral("zeitnehmung.txt")); }
    FakeStimme* Stimme() const { return sprache.letzte; }

    FakeUhr uhr;
    FakeDateisystem dateien;
    FakeMeldung meldung;
    FakeSprachDienst sprache;
    FakeSignalton signalton;
    FakeCountdownStatus countdown;
    QStringList ton;  // every sound of voice and beat, as logged above
    std::unique_ptr<Form1> form;
    std::unique_ptr<Ansicht> ansicht;
};
