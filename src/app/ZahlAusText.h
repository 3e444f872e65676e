// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Numeric value of a text, the one rule every entry field and file uses:
// blanks, tabs and line feeds are skipped wherever they stand before or inside
// the number; then an optional sign, decimal digits and optionally "." with
// further digits are read; reading stops at the first character that does not
// fit. No digit read gives 0. The comma is no decimal separator ("1,5" is 1,
// "12:30" is 12). Exponents are not read ("1e9" is 1). Numbers too large for a
// double give the largest finite double with their sign, never infinity.
double ZahlAusText(const QString& text);
