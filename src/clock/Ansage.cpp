// SPDX-License-Identifier: GPL-3.0-or-later
#include <QCoreApplication>

#include "app/Form1.h"

void Form1::Command_Zeitansage_Click() {
    if (!A.Stimme) return;  // the button is disabled without a voice
    Label_akti->setVisible(false);
    // Let the hidden label leave the screen before the wait.
    QCoreApplication::processEvents();
    A.Stimme->Speak(D.uhr->Lesen().zeit, SVSFDefault);
    Label_akti->setVisible(true);
}

void Form1::Command_Datumsansage_Click() {
    if (!A.Stimme) return;
    A.Stimme->Speak(D.uhr->Lesen().datum, SVSFlagsAsync);
}
