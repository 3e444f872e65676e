// SPDX-License-Identifier: GPL-3.0-or-later
// The clock line once a second, and the time and date spoken on request.
#include <QCoreApplication>

#include "Form1.h"
#include "Warten.h"
#include "Zeitanzeige.h"
#include "ui_Form1.h"

void Form1::Timer_Zeitanzeige_Timer() {
    // One reading for rule and display, so the label always belongs to the
    // time shown beside it, also at 01:59:59 -> 02:00:00.
    const UhrLesung jetzt = D.uhr->Lesen();
    ui_->Label_akti->setVisible(true);
    ui_->Label_Zeitanzeige->setText(Zeitzeile(jetzt));
}

void Form1::Command_Zeitansage_Click() { ZeitAnsagen(D.uhr->Lesen()); }

void Form1::Command_Datumsansage_Click() { DatumAnsagen(D.uhr->Lesen()); }

void Form1::ZeitAnsagen(const UhrLesung& lesung) {
    if (!A.Stimme) return;  // the button is disabled without a voice
    ui_->Label_akti->setVisible(false);
    // Let the hidden label leave the screen before the wait.
    QCoreApplication::processEvents();
    // Returns once this phrase, and every one queued before it, has been
    // heard. The window meanwhile serves only what looks at it.
    if (const ErledigungPtr gesagt = A.Stimme->Speak(lesung.zeit, SVSFDefault)) {
        gesagt->Erwarten();
        Warten::Bis([&] { return gesagt->Fertig(); });
    }
    ui_->Label_akti->setVisible(true);
}

void Form1::DatumAnsagen(const UhrLesung& lesung) {
    if (!A.Stimme) return;
    A.Stimme->Speak(lesung.datum, SVSFlagsAsync);
}
