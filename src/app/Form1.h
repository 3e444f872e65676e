// SPDX-License-Identifier: GPL-3.0-or-later
// The program's one window with its event procedures and the process-wide
// state record. Its controls are defined in Form1.ui and reached by their
// names (f.Command_Start). The procedures live in the source files of their
// subsystem (app/, speech/, clock/, countdown/, log/); this class only gathers them.
#pragma once

#include <QWidget>
#include <optional>

#include "app/AppState.h"
#include "app/Dienste.h"
#include "app/SekundenTakt.h"
#include "ui_Form1.h"

class Form1 : public QWidget, public Ui_Form1 {
    Q_OBJECT
public:
    // Sets up the form and runs Form_Load. The services must outlive the window.
    explicit Form1(const Dienste& dienste, QWidget* parent = nullptr);
    ~Form1() override;

    // ------------------------------------------------ state
    AppState A;
    Bool16 SekundenschlagAus = True16;  // the seconds beat is off
    // The countdown tick is waiting for its own message box to be closed.
    bool TaktMeldungOffen = false;
    Dienste D;

    // ------------------------------------------------ the two timers (no widgets)
    SekundenTakt* Timer_Zeitanzeige = nullptr;
    SekundenTakt* Timer_OccRestZeit = nullptr;

    // ------------------------------------------------ event procedures
    // Start-up and shut-down (app/Form1.cpp)
    void Form_Load();
    void Form_Unload();

    // Speech switch and voice choice (speech/Sprecherwahl.cpp)
    void Check_SprachAusgabe_Click();
    void List_Sprecher_Click();

    // Clock line and seconds beat (clock/Zeitanzeige.cpp)
    void Timer_Zeitanzeige_Timer();
    void Command1_Click();
    void Command2_Click();

    // Time and date announcements (clock/Ansage.cpp)
    void Command_Zeitansage_Click();
    void Command_Datumsansage_Click();

    // Target entry, start and stop, tick (countdown/*.cpp)
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
    void EingabeAuswerten(QComboBox* liste, int grenze, const QString& korrektur);
    void CountDownAnhalten();
    // CountDownLaeuft and, with it, the caption of Command_Start, which says
    // what the next press does.
    void CountdownLaeuftSetzen(bool laeuft);
    // Tells the countdown-state service that the tick has been switched on or
    // off: whether a countdown runs is whether its tick does.
    void CountdownMelden(bool laeuft);

    // Time stamps (log/Zeitnehmung.cpp)
    void btn_ZeitSpeichern_Click();

protected:
    void closeEvent(QCloseEvent* ereignis) override;
    bool event(QEvent* ereignis) override;
    bool eventFilter(QObject* objekt, QEvent* ereignis) override;

private:
    // What the form cannot say: fonts, timers, picture, focus, keys.
    void FensterEinrichten();
    // The picture for the window's current scale.
    void BildWaehlen();
    // Each voice entry's accessible description: the voice's name.
    void SprecherBeschreiben();
    void EreignisseVerbinden();
    bool entladen_ = false;
    // A failed save of the voice choice has been reported and not yet mended.
    bool speichernMisslungen_ = false;
    // The input clock's time of the press "Zeit speichern" is being pressed
    // by (none for a press without an input event, such as a screen
    // reader's), and of the input event the button is handling.
    std::optional<quint64> druckZeit_, eingabeZeit_;
};

// Check-box value as the program counts it: 0 unticked, 1 ticked, 2 greyed.
int Wert(const QCheckBox* box);
// Sets the value; a change runs the box's Click procedure at once.
void SetzeWert(QCheckBox* box, int wert);
