// SPDX-License-Identifier: GPL-3.0-or-later
#include "Zeitnehmung.h"

#include <cmath>

#include "ZahlAusText.h"

int Hundertstel(double sekunden) {
    // The clock has millisecond resolution; the small lift keeps x.29 from
    // turning into 28.999... hundredths.
    const double h = std::floor(sekunden * 100.0 + 1e-6);
    return int(std::fmod(h, 100.0));
}

QString StempelZeile(qint32 nummer, const UhrLesung& jetzt) {
    return Zweistellig(nummer) + u' ' + jetzt.datum + u' ' + jetzt.zeit + u',' +
           Zweistellig(Hundertstel(jetzt.sekunden));
}
