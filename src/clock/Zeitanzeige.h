// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AppState.h"

// The calendar rule for summer time: from 02:00 on the last Sunday of March up
// to 01:59:59 on the last Sunday of October. M month, T day, H hour, WD weekday
// with Sunday = 1. The tests run in this order and a later one overrides.
Bool16 SommerzeitRegel(int M, int T, int H, int WD);

// The rule applied to one clock reading, taking the numbers from fixed
// character positions of the date and time texts.
Bool16 IstSommerzeit(const UhrLesung& jetzt);

// The clock line: date, blank, time, " MESZ" or " MEZ".
QString Zeitzeile(const UhrLesung& jetzt);
