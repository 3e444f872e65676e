// SPDX-License-Identifier: GPL-3.0-or-later
// SprecherNr.txt, the remembered voice: one line, the number of the chosen
// entry of the voice list, in the working directory.
#pragma once

#include <QString>

#include "Dienste.h"

// The first line of the file, without its line end. False, quietly, when the
// file is missing, empty or cannot be read.
bool SprecherNrLesen(IDateisystem& dateien, QString& zeile);

// Replaces the file with the one line `eintrag`. In one step, so a failed
// write keeps the previous choice. False on failure.
bool SprecherNrSchreiben(IDateisystem& dateien, const QString& eintrag);
