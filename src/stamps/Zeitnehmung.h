// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include "Dienste.h"

// Hundredths of the second, truncated, from seconds since midnight.
int Hundertstel(double sekunden);

// One log line: number (at least two digits), date, time, "," and hundredths,
// all from the same clock reading. "01 05.12.2026 14:03:27,50"
QString StempelZeile(qint32 nummer, const UhrLesung& jetzt);
