// SPDX-License-Identifier: GPL-3.0-or-later
// The countdown's time scale and the split and texts of a span of hours.
#include <cmath>

#include "Countdown.h"
#include "ZahlAusText.h"

namespace {

// A read number as a 16-bit integer: halves to the even number, values out of
// range held at the nearest limit, no number at all counted as 0.
qint16 Als16Bit(double wert) {
    qint16 r = 0;
    if (RundeAuf16Bit(wert, r)) return r;
    return wert > 0 ? 32767 : wert < 0 ? -32768 : 0;
}

qint16 ZahlAn(const QString& text, qsizetype pos, qsizetype laenge) {
    return Als16Bit(ZahlAusText(text.mid(pos, laenge)));
}

qint16 ZahlAmEnde(const QString& text) { return Als16Bit(ZahlAusText(text.right(2))); }

}  // namespace

double MjdAusDatum(qint16 D, qint16 M, qint16 Y, double H) {
    // January and February count as months 13 and 14 of the year before.
    if (M <= 2) {
        M = qint16(M + 12);
        Y = qint16(Y - 1);
    }
    // Gregorian leap days up to the year; integer division truncates towards zero.
    const qint16 B = qint16(Y / 400 - Y / 100 + Y / 4);
    return std::trunc(30.6001 * (M + 1)) + B + 365.0 * Y - 679004.0 + D + H / 24.0;
}

void DatumAusText(const QString& datum, qint16& tag, qint16& monat, qint16& jahr) {
    tag = ZahlAn(datum, 0, 2);
    monat = ZahlAn(datum, 3, 2);
    // Only the last two digits of the year are read; every year lies in 2000..2099.
    jahr = qint16(2000 + ZahlAmEnde(datum));
}

double MjdAusLesung(const UhrLesung& lesung) {
    qint16 tag, monat, jahr;
    DatumAusText(lesung.datum, tag, monat, jahr);
    const double h = ZahlAn(lesung.zeit, 0, 2);
    const double m = ZahlAn(lesung.zeit, 3, 2);
    const double s = ZahlAmEnde(lesung.zeit);
    return MjdAusDatum(tag, monat, jahr, (h * 3600.0 + m * 60.0 + s) / 3600.0);
}

double MjdJetzt(IUhr& uhr) { return MjdAusLesung(uhr.Lesen()); }

double RestStundenBis(double ZielZeit, double jetzt) {
    double sekunden = (ZielZeit - jetzt) * 86400.0;
    const double ganz = std::round(sekunden);
    if (std::fabs(sekunden - ganz) < 1e-3) sekunden = ganz;
    return sekunden / 3600.0;
}

void ZeitZerlegen(const float& Zeit, qint16& Stunden, qint16& Minuten, qint16& Sekunden) {
    // Every intermediate value is stored as a float on purpose: the carries
    // below are tuned to the errors of single precision.
    float a = Zeit;
    // Spans are never negative and stay far below the 16-bit range; anything
    // else (a clock that jumped by years) is held inside it instead of overflowing.
    if (!(a >= 0.0f)) a = 0.0f;
    if (a > 32767.0f) a = 32767.0f;
    const float stunden = std::floor(a);
    a = (a - stunden) * 60.0f;
    const float minuten = std::floor(a);
    const float s = (a - minuten) * 60.0f;
    // The default rounding mode sends halves to the even number.
    int sek = int(std::nearbyint(s));
    int min = int(minuten);
    int ganzeStunden = int(stunden);
    // A span just below a whole minute leaves 59.99... seconds, rounded to 60.
    if (sek >= 60) {
        sek -= 60;
        min += 1;
    }
    if (min >= 60) {
        min -= 60;
        ganzeStunden += 1;
    }
    Stunden = qint16(qMin(ganzeStunden, 32767));
    Minuten = qint16(min);
    Sekunden = qint16(sek);
}

QString RestZeitText(double RestStunden) {
    const float zeit = float(std::fabs(RestStunden));
    qint16 h, m, s;
    ZeitZerlegen(zeit, h, m, s);
    return QStringLiteral(" in ") + Zweistellig(h) + u':' + Zweistellig(m) + u':' + Zweistellig(s);
}

QString AbgelaufenText(double EingabeZeit, bool dauer) {
    return (dauer ? QStringLiteral("Dauer ") : QStringLiteral("Zeitpunkt ")) +
           RestZeitText(EingabeZeit).mid(4);
}

QString ZuWeitText(double RestStunden, const QLocale& ort) {
    // "000.00": rounded to hundredths, at least three integer digits, no grouping.
    const double betrag = std::fabs(RestStunden);
    const double hundertstel = std::round(betrag * 100.0);
    const double ganz = std::floor(hundertstel / 100.0);
    const int rest = int(hundertstel - ganz * 100.0);
    QString zahl = QString::number(ganz, 'f', 0);
    if (zahl.size() < 3) zahl = QString(3 - zahl.size(), u'0') + zahl;
    if (RestStunden < 0 && hundertstel > 0) zahl.prepend(u'-');
    zahl += ort.decimalPoint() + Zweistellig(rest);
    return QStringLiteral("Zeit bis zum Ereignis noch ") + zahl +
           QStringLiteral("Stunden. Countdown nicht sinnvoll");
}
