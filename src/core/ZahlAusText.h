// SPDX-License-Identifier: GPL-3.0-or-later
// Numbers in texts: the value of a typed or stored text, that value rounded
// to a 16-bit integer, and a number written with two digits.
#pragma once

#include <QString>
#include <QtGlobal>

// Numeric value of a text, the one rule every entry field and file uses:
// blanks, tabs and line feeds are skipped wherever they stand before or inside
// the number; then an optional sign, decimal digits and optionally "." with
// further digits are read; reading stops at the first character that does not
// fit. No digit read gives 0. The comma is no decimal separator ("1,5" is 1,
// "12:30" is 12). Exponents are not read ("1e9" is 1). Numbers too large for a
// double give the largest finite double with their sign, never infinity.
double ZahlAusText(const QString& text);

// Rounds to a 16-bit integer, halves to the even number. False for a value
// outside -32768 ... 32767 and for one that is no number at all.
bool RundeAuf16Bit(double wert, qint16& ergebnis);

// At least two digits, with a leading zero: 7 is "07", 123 stays "123".
QString Zweistellig(int n);
