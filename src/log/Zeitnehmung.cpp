// SPDX-License-Identifier: GPL-3.0-or-later
#include "log/Zeitnehmung.h"

#include <cmath>

#include "app/Form1.h"
#include "app/ZahlAusText.h"

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

void Form1::btn_ZeitSpeichern_Click() {
    // The stamp belongs to the moment the button went down, also when the
    // press is handled late (after "Ansage Zeit", on a loaded machine): one
    // reading of that instant for all fields. A press without an input event
    // is stamped when it is handled.
    const UhrLesung jetzt =
        druckZeit_ ? D.uhr->LesenZu(*std::exchange(druckZeit_, std::nullopt)) : D.uhr->Lesen();
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
