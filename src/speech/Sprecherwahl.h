// SPDX-License-Identifier: GPL-3.0-or-later
// The voice, the voice list and the remembered choice in SprecherNr.txt.
#pragma once

class Form1;

// Creates the voice, lists the voices, restores the remembered one and sets
// the speaking rate. False when any of it fails; start-up then switches
// speech off for the run.
bool SprachStart(Form1& f);

// Loads the remembered voice number from SprecherNr.txt into SprecherNr and
// selects that entry. Quiet on every file problem.
void SprecherNrLaden(Form1& f);

// Writes the selected entry's text to SprecherNr.txt. The file is replaced in
// one step, so a failed write keeps the previous choice. False on failure.
bool SprecherNrSpeichern(Form1& f);
