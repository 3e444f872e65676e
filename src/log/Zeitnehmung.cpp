// SPDX-License-Identifier: GPL-3.0-or-later
#include "log/Zeitnehmung.h"

#include <cmath>

#include "app/Form1.h"

int Hundertstel(double sekunden) {
    // The clock has millisecond resolution; the small lift keeps x.29 from
    // turning into 28.999... hundredths.
    const double h = std::floor(sekunden * 100.0 + 1e-6);
    return int(std::fmod(h, 100.0));
}

QString StempelZeile(qint32 nummer, const UhrLesung& jetzt) {
    return QStringLiteral("%1 %2 %3,%4")
        .arg(nummer, 2, 10, QLatin1Char('0'))
        .arg(jetzt.datum, jetzt.zeit)
        .arg(Hundertstel(jetzt.sekunden), 2, 10, QLatin1Char('0'));
}

void Form1::btn_ZeitSpeichern_Click() {
    // The stamp belongs to the moment of the press: one reading for all fields.
    const UhrLesung jetzt = D.uhr->Lesen();
    if (!A.Zeitnehmung) {
        D.meldung->MsgBox(QStringLiteral("zeitnehmung.txt lässt sich nicht öffnen"));
        return;
    }
    const qint32 nummer = A.StempelZaehler + 1;
    if (!A.Zeitnehmung->WriteLine(StempelZeile(nummer, jetzt).toLatin1())) {
        // The number is not used up, so the file stays numbered without gaps.
        D.meldung->MsgBox(QStringLiteral("zeitnehmung.txt lässt sich nicht schreiben"));
        return;
    }
    A.StempelZaehler = nummer;
}
