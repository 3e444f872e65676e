// Placeholder bodies; the countdown procedures replace this file.
#include "app/Form1.h"

void Form1::Combo_H_Change() {}
void Form1::Combo_H_Click() {}
void Form1::Combo_M_Change() {}
void Form1::Combo_M_Click() {}
void Form1::Combo_S_Change() {}
void Form1::Combo_S_Click() {}
void Form1::Combo_Morgen_Change() {}
void Form1::Combo_Morgen_Click() {}
void Form1::Check_Dauer_Click() {}
void Form1::Command_Start_Click() {}
void Form1::Timer_OccRestZeit_Timer() {}
void Form1::EingabeAuswerten(QComboBox*, int, const QString&) {}
void Form1::CountDownAnhalten() {}
