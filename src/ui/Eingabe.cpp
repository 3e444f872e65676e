// SPDX-License-Identifier: GPL-3.0-or-later
// Target entry: the three time lists, the day choice and the duration switch.
//
// Every change of a time list is checked against its range and corrected in
// place, the entered time is recomputed from all three lists, and a running
// countdown tick is halted. Writing a corrected text runs the list's change
// procedure again, nested; since each run recomputes from the current texts,
// the result is the same as without the nesting.
#include "Countdown.h"
#include "Form1.h"
#include "ZahlAusText.h"
#include "ui_Form1.h"

void Form1::EingabeAuswerten(QComboBox* liste, int grenze, const QString& korrektur) {
    if (ZahlAusText(liste->currentText()) < 0) liste->setEditText(QStringLiteral("00"));
    // Read again, so a correction just made is seen.
    if (ZahlAusText(liste->currentText()) > grenze) liste->setEditText(korrektur);

    // A text without a number counts as 0 and stays as typed; a fraction in
    // range counts with its fraction (7.5 hours is 7 h 30 min).
    const double M = ZahlAusText(ui_->Combo_M->currentText());
    const double S = ZahlAusText(ui_->Combo_S->currentText());
    const double H = ZahlAusText(ui_->Combo_H->currentText());
    A.EingabeZeit = (H * 3600.0 + M * 60.0 + S) / 3600.0;

    CountDownAnhalten();
}

void Form1::CountDownAnhalten() {
    // Only the tick stops: CountDownLaeuft and the caption stay, so the next
    // press of the button stops the countdown before a new one can start.
    ui_->Text_RestZeit->setText(QString());
    Timer_OccRestZeit->Schalten(false);
}

void Form1::Combo_H_Change() { EingabeAuswerten(ui_->Combo_H, 23, QStringLiteral("23")); }
void Form1::Combo_H_Click() { EingabeAuswerten(ui_->Combo_H, 23, QStringLiteral("23")); }
void Form1::Combo_M_Change() { EingabeAuswerten(ui_->Combo_M, 59, QStringLiteral("59")); }
void Form1::Combo_M_Click() { EingabeAuswerten(ui_->Combo_M, 59, QStringLiteral("59")); }
void Form1::Combo_S_Change() { EingabeAuswerten(ui_->Combo_S, 59, QStringLiteral("59")); }
void Form1::Combo_S_Click() { EingabeAuswerten(ui_->Combo_S, 59, QStringLiteral("59")); }

// The day choice is read at the next start; a change only halts the tick.
void Form1::Combo_Morgen_Change() { CountDownAnhalten(); }
void Form1::Combo_Morgen_Click() { CountDownAnhalten(); }

void Form1::Check_Dauer_Click() {
    if (Wert(ui_->Check_Dauer) == 1) {
        // Duration mode: today or tomorrow means nothing.
        ui_->Label_Zeitpunkt->setText(QStringLiteral("ZeitDauer"));
        ui_->Combo_Morgen->setEnabled(false);
    } else {
        ui_->Combo_Morgen->setEnabled(true);
        ui_->Label_Zeitpunkt->setText(QStringLiteral("ZeitPunkt"));
    }
}
