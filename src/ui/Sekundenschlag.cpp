// SPDX-License-Identifier: GPL-3.0-or-later
// The seconds beat: its two buttons switch it, and the countdown tick sounds
// it as its last step, or has it placed on its second's boundary a second
// ahead. Without a running countdown there is no beat.
#include "Form1.h"

// Each switch also places or takes back the coming second's click.
void Form1::Command1_Click() {
    SekundenschlagAus = False16;
    VorausAnpassen();
}

void Form1::Command2_Click() {
    SekundenschlagAus = True16;
    VorausAnpassen();
}

void Form1::Sekundenschlag() {
    if (SekundenschlagAus != 0 || !D.signalton) return;
    D.signalton->Abspielen();
}
