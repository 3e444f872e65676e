// SPDX-License-Identifier: GPL-3.0-or-later
// The seconds beat: its two buttons switch it, and the countdown tick sounds
// it as its last step. Without a running countdown there is no beat.
#include "Form1.h"

void Form1::Command1_Click() { SekundenschlagAus = False16; }

void Form1::Command2_Click() { SekundenschlagAus = True16; }

void Form1::Sekundenschlag() {
    if (SekundenschlagAus != 0 || !D.signalton) return;
    D.signalton->Abspielen();
}
