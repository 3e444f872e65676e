// SPDX-License-Identifier: GPL-3.0-or-later
// The program's one window. It owns the process-wide state record and the
// controls defined in Form1.ui, and its event procedures are the only code
// that reads or writes either. Each procedure reads its controls, calls the
// window-free code of its subsystem with the fields that code needs, and
// writes its controls. The procedures live in one source file per subsystem
// (Form1.cpp start-up and shut-down, Sprecher.cpp, Uhr.cpp,
// Sekundenschlag.cpp, Eingabe.cpp, StartStop.cpp, Takt.cpp, Stempel.cpp), and
// the actions asked for from outside the window in Aktionen.cpp.
#pragma once

#include <QWidget>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

#include "Aktionen.h"
#include "AppState.h"
#include "Dienste.h"
#include "SekundenTakt.h"

class QCheckBox;
class QPushButton;
class QComboBox;
class Ui_Form1;

class Form1 : public QWidget {
    Q_OBJECT
public:
    // Sets up the form and runs Form_Load. The services must outlive the window.
    explicit Form1(const Dienste& dienste, QWidget* parent = nullptr);
    ~Form1() override;

    // The state as it stands, for whatever only looks at it.
    const AppState& Zustand() const { return A; }

    // ------------------------------------------------ event procedures
    // Each runs as its control's event runs it; a change made from code runs
    // the control's procedure at once, nested, as the user's action would.

    // Start-up and shut-down (Form1.cpp)
    void Form_Load();
    void Form_Unload();

    // Speech switch and voice choice (Sprecher.cpp)
    void Check_SprachAusgabe_Click();
    void List_Sprecher_Click();

    // Clock line, time and date announcements (Uhr.cpp)
    void Timer_Zeitanzeige_Timer();
    void Command_Zeitansage_Click();
    void Command_Datumsansage_Click();

    // Seconds beat (Sekundenschlag.cpp)
    void Command1_Click();
    void Command2_Click();

    // Target entry (Eingabe.cpp), start and stop (StartStop.cpp), tick (Takt.cpp)
    void Combo_H_Change();
    void Combo_H_Click();
    void Combo_M_Change();
    void Combo_M_Click();
    void Combo_S_Change();
    void Combo_S_Click();
    void Combo_Morgen_Change();
    void Combo_Morgen_Click();
    void Check_Dauer_Click();
    void Command_Start_Click();
    void Timer_OccRestZeit_Timer();

    // Time stamps (Stempel.cpp)
    void btn_ZeitSpeichern_Click();

    // ------------------------------------------------ from outside the window
    // An action asked for elsewhere (the session bus, the command line),
    // done as a press of its button does, with the same boxes and checks;
    // the time of a stamp or an announcement is `zeitUs` (the wall clock, in
    // microseconds since the epoch) where there is one, else the time of
    // handling. It is held like a press: one that comes while "Ansage Zeit"
    // waits or a message box is open is done after it, never inside it.
    // `antwort` is called once, before anything is waited for: with "" or,
    // where it is known, why the action is not done (its button is
    // disabled, the stamp cannot be written).
    void AktionAusfuehren(Aktion aktion, std::optional<qint64> zeitUs,
                          std::function<void(const QString&)> antwort);

protected:
    void closeEvent(QCloseEvent* ereignis) override;
    bool event(QEvent* ereignis) override;
    bool eventFilter(QObject* objekt, QEvent* ereignis) override;

private:
    // ------------------------------------------------ state
    AppState A;
    Bool16 SekundenschlagAus = True16;  // the seconds beat is off
    Dienste D;
    std::unique_ptr<Ui_Form1> ui_;
    // The two timers (no widgets).
    SekundenTakt* Timer_Zeitanzeige = nullptr;
    SekundenTakt* Timer_OccRestZeit = nullptr;
    // The countdown tick is waiting for its own message box to be closed.
    bool taktMeldungOffen_ = false;
    bool entladen_ = false;
    // A failed save of the voice choice has been reported and not yet mended.
    bool speichernMisslungen_ = false;
    // The input clock's time of the press "Zeit speichern" is being pressed
    // by (none for a press without an input event, such as a screen
    // reader's), and of the input event the button is handling.
    std::optional<quint64> druckZeit_, eingabeZeit_;
    // The sounds of the countdown's coming second, placed ahead at its
    // boundary: that instant, the hours left its tick will read, the click and
    // the phrase placed, and what the phrase was chosen by (Takt.cpp).
    struct Vorplan {
        Zeitpunkt sekunde;
        double restStunden = 0;
        ErledigungPtr klick{}, phrase{};
        QString phraseNach{};
    };
    std::optional<Vorplan> vorplan_;
    // Message boxes open, and the actions from outside held until they close.
    int meldungenOffen_ = 0;
    std::deque<std::function<void()>> nachMeldung_;

    // ------------------------------------------------ procedures of the window
    // Speech start-up and the remembered voice (Sprecher.cpp).
    bool SprachStart();
    void SprecherNrLaden();
    bool SprecherNrSpeichern();
    // Each voice entry's accessible description: the voice's name.
    void SprecherBeschreiben();
    // Target entry (Eingabe.cpp).
    void EingabeAuswerten(QComboBox* liste, int grenze, const QString& korrektur);
    void CountDownAnhalten();
    // CountDownLaeuft and, with it, the caption of Command_Start, which says
    // what the next press does (StartStop.cpp).
    void CountdownLaeuftSetzen(bool laeuft);
    // Tells the countdown-state service that the tick has been switched on or
    // off: whether a countdown runs is whether its tick does (StartStop.cpp).
    void CountdownMelden(bool laeuft);
    // Every message box of the window: the taskbar is asked to mark the
    // window while it is not the active one; actions from outside that come
    // while it is open are done after it (Aktionen.cpp).
    void Meldung(const QString& text);
    void AktionenNachholen();
    // One action, now, and the button it stands for (Aktionen.cpp).
    void AktionJetzt(Aktion aktion, std::optional<qint64> zeitUs,
                     const std::function<void(const QString&)>& antwort);
    QPushButton* Knopf(Aktion aktion) const;
    // A message box of the tick; ticks that reach it meanwhile are dropped (Takt.cpp).
    void TaktMeldung(const QString& text);
    // Whether the tick that reads these hours left says the schedule's phrase,
    // and whether it shows a box before its beat (the warning about a far
    // target, the end message) (Takt.cpp).
    bool TaktSagt(double RestStunden) const;
    bool TaktMeldet(double RestStunden) const;
    // The coming second's sounds placed at its boundary, afresh; brought in
    // line with the settings while that boundary lies ahead; taken back (Takt.cpp).
    void VorausPlanen();
    void VorausAnpassen();
    void VorausAbsagen();
    // The announcements and the stamp of one clock reading; the stamp returns
    // why it could not be written, or "" (Uhr.cpp, Stempel.cpp).
    void ZeitAnsagen(const UhrLesung& lesung);
    void DatumAnsagen(const UhrLesung& lesung);
    QString Stempeln(const UhrLesung& lesung);
    // The last step of every countdown tick (Sekundenschlag.cpp).
    void Sekundenschlag();

    // What the form cannot say: fonts, timers, picture, focus, keys.
    void FensterEinrichten();
    // The picture for the window's current scale.
    void BildWaehlen();
    void EreignisseVerbinden();
};

// Check-box value as the program counts it: 0 unticked, 1 ticked, 2 greyed.
int Wert(const QCheckBox* box);
// Sets the value; a change runs the box's Click procedure at once.
void SetzeWert(QCheckBox* box, int wert);
