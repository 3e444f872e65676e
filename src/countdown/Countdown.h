// SPDX-License-Identifier: GPL-3.0-or-later
// The countdown's arithmetic and texts, usable without a window: the time scale
// (Modified Julian Date in local wall-clock time), the split of a span of hours
// into hours, minutes and seconds, the display and message texts, and the
// spoken schedule of the remaining time.
#pragma once

#include <QLocale>
#include <QString>
#include <QtGlobal>
#include <optional>

#include "AppState.h"
#include "Dienste.h"

// The countdown runs while the hours left are greater than this, about 10.5 s
// after the target; the first tick at or below it ends the countdown.
constexpr double CountdownEnde = -0.0029167;
// The spoken countdown is wanted only while fewer hours than this are left.
constexpr double AnsageGrenzeStunden = 5.1;

// Modified Julian Date of day D, month M, year Y plus H hours. Linear in the
// day, so day 32 of December is 1 January of the next year.
double MjdAusDatum(qint16 D, qint16 M, qint16 Y, double H);

// Day, month and year from a date written "DD.MM.YYYY": characters 1-2, 4-5 and
// 2000 + the last two characters. Missing characters count as 0.
void DatumAusText(const QString& datum, qint16& tag, qint16& monat, qint16& jahr);

// The instant of one clock reading on the countdown scale, to whole seconds.
double MjdAusLesung(const UhrLesung& lesung);

// The current local instant on the countdown scale, from one clock reading.
double MjdJetzt(IUhr& uhr);

// Hours from the instant jetzt to the instant ZielZeit, both on the countdown
// scale. A difference within a millisecond of a whole second is taken as that
// whole second, so the rounding noise of two large day numbers cannot move a
// time left of exactly 5 h 6 min to either side of the 5.1-hour limit.
double RestStundenBis(double ZielZeit, double jetzt);

// Splits a non-negative span of hours into whole hours, whole minutes and
// seconds rounded half to even, all in single precision, with the carries that
// repair a span just below a whole minute (3599.5 s gives 1, 0, 0).
void ZeitZerlegen(const float& Zeit, qint16& Stunden, qint16& Minuten, qint16& Sekunden);

// The remaining-time display, " in HH:MM:SS", of the absolute value of the hours left.
QString RestZeitText(double RestStunden);

// What a countdown that has ended was set to, for the desktop's notification
// of its end: "Dauer HH:MM:SS" for a duration, else "Zeitpunkt HH:MM:SS".
QString AbgelaufenText(double EingabeZeit, bool dauer);

// The warning for a target too far away for a spoken countdown, the number
// written "000.00" with the decimal separator of the given locale.
QString ZuWeitText(double RestStunden, const QLocale& ort = QLocale());

// The phrase the schedule says for these hours left; empty when this second is
// no announcement point.
QString RestZeitPhrase(double RestStunden);

// Says the phrase for these hours left, if any, as one queued (asynchronous)
// request on A.Stimme, and only while A.SprachAusgabeAn is set: at once, or
// to begin at `um`. Returns the request's completion; null when nothing is
// said. A failing request is ignored.
ErledigungPtr RestZeitAnsage(const double& RestStunden, AppState& A,
                             std::optional<Zeitpunkt> um = std::nullopt);
