// SPDX-License-Identifier: GPL-3.0-or-later
// The start/stop button of the countdown.
//
// Idle (not running, "Timer Start", tick off) -> press -> Running ("Timer Stop",
// tick on). Running or Halted (an entry change stopped only the tick) -> press
// -> Idle. The state is CountDownLaeuft with the tick's: the caption follows
// the one, the countdown-state service the other.
#include "Countdown.h"
#include "Form1.h"
#include "Zugang.h"
#include "ui_Form1.h"

void Form1::Command_Start_Click() {
    if (A.CountDownLaeuft != 0) {
        CountdownLaeuftSetzen(false);
        CountDownAnhalten();
        return;
    }

    CountdownLaeuftSetzen(true);

    // Date and, for a duration, the current instant come from the same reading.
    const UhrLesung jetzt = D.uhr->Lesen();
    qint16 tag, monat, jahr;
    DatumAusText(jetzt.datum, tag, monat, jahr);
    // Tomorrow is simply the next day number; the scale is linear in the day,
    // so 32 December is 1 January and 29 February of a common year is 1 March.
    if (ui_->Combo_Morgen->currentText() == QStringLiteral("Morgen")) tag = qint16(tag + 1);

    if (Wert(ui_->Check_Dauer) == 1) {
        A.ZielZeit = MjdAusLesung(jetzt) + A.EingabeZeit / 24.0;
    } else {
        A.ZielZeit = MjdAusDatum(tag, monat, jahr, A.EingabeZeit);
    }

    // The target is not checked: one already past ends on the first tick.
    Timer_OccRestZeit->Schalten(true);
    // The first tick's sounds are known now.
    VorausPlanen();
}

void Form1::CountdownLaeuftSetzen(bool laeuft) {
    BeschriftungSetzen(ui_->Command_Start,
                       laeuft ? QStringLiteral("Timer Stop") : QStringLiteral("Timer Start"));
    A.CountDownLaeuft = laeuft ? True16 : False16;
}

void Form1::CountdownMelden(bool laeuft) {
    // Stopped, halted or ended: nothing of the coming second is heard.
    if (!laeuft) VorausAbsagen();
    if (D.countdown) D.countdown->CountdownGeschaltet(laeuft);
}
