// SPDX-License-Identifier: GPL-3.0-or-later
#include "ZahlAusText.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <string>

namespace {
bool IstLeer(QChar c) { return c == u' ' || c == u'\t' || c == u'\n'; }
bool IstZiffer(QChar c) { return c >= u'0' && c <= u'9'; }
}  // namespace

double ZahlAusText(const QString& text) {
    std::string zahl;
    bool negativ = false;
    bool vorzeichenErlaubt = true;
    bool punktGelesen = false;
    bool zifferGelesen = false;
    for (QChar c : text) {
        if (IstLeer(c)) continue;
        if (vorzeichenErlaubt && (c == u'+' || c == u'-')) {
            negativ = (c == u'-');
            vorzeichenErlaubt = false;
            continue;
        }
        vorzeichenErlaubt = false;
        if (IstZiffer(c)) {
            zahl.push_back(char(c.unicode()));
            zifferGelesen = true;
        } else if (c == u'.' && !punktGelesen) {
            zahl.push_back('.');
            punktGelesen = true;
        } else {
            break;
        }
    }
    if (!zifferGelesen) return 0;
    if (zahl.front() == '.') zahl.insert(zahl.begin(), '0');
    if (zahl.back() == '.') zahl.pop_back();
    double wert = 0;
    auto [ende, fehler] = std::from_chars(zahl.data(), zahl.data() + zahl.size(), wert);
    (void)ende;
    if (fehler == std::errc::result_out_of_range) {
        // Either far too large or so small it underflows; decide by the digits.
        bool gross = zahl.find_first_of("123456789") < zahl.find('.');
        wert = gross ? DBL_MAX : 0.0;
    }
    return negativ ? -wert : wert;
}

bool RundeAuf16Bit(double wert, qint16& ergebnis) {
    if (!std::isfinite(wert)) return false;
    const double gerundet = std::nearbyint(wert);  // default rounding mode: halves to even
    if (gerundet < -32768.0 || gerundet > 32767.0) return false;
    ergebnis = qint16(gerundet);
    return true;
}

QString Zweistellig(int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); }
