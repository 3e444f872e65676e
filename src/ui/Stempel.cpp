// SPDX-License-Identifier: GPL-3.0-or-later
// "Zeit speichern": one numbered line in zeitnehmung.txt per press.
#include "Form1.h"
#include "Zeitnehmung.h"

void Form1::btn_ZeitSpeichern_Click() {
    // The stamp belongs to the moment the button went down, also when the
    // press is handled late (after "Ansage Zeit", on a loaded machine): one
    // reading of that instant for all fields. A press without an input event
    // is stamped when it is handled.
    const UhrLesung jetzt =
        druckZeit_ ? D.uhr->LesenZu(*std::exchange(druckZeit_, std::nullopt)) : D.uhr->Lesen();
    const QString fehler = Stempeln(jetzt);
    if (!fehler.isEmpty()) Meldung(fehler);
}

QString Form1::Stempeln(const UhrLesung& jetzt) {
    if (!A.Zeitnehmung) return QStringLiteral("zeitnehmung.txt lässt sich nicht öffnen");
    const qint32 nummer = A.StempelZaehler + 1;
    // A line that cannot be written does not use up its number, so the file
    // stays numbered without gaps.
    if (!A.Zeitnehmung->WriteLine(StempelZeile(nummer, jetzt).toLatin1()))
        return QStringLiteral("zeitnehmung.txt lässt sich nicht schreiben");
    A.StempelZaehler = nummer;
    return {};
}
