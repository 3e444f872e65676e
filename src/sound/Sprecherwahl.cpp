// SPDX-License-Identifier: GPL-3.0-or-later
#include "Sprecherwahl.h"

namespace {
const QString SprecherDatei = QStringLiteral("SprecherNr.txt");
}

bool SprecherNrLesen(IDateisystem& dateien, QString& zeile) {
    std::unique_ptr<ITextStream> datei =
        dateien.OpenTextFile(SprecherDatei, IoModus::ForReading, false);
    if (!datei) return false;
    if (datei->AtEndOfStream()) {
        datei->Close();
        return false;
    }
    QByteArray gelesen;
    const bool ok = datei->ReadLine(gelesen);
    datei->Close();
    if (ok) zeile = QString::fromLatin1(gelesen);
    return ok;
}

bool SprecherNrSchreiben(IDateisystem& dateien, const QString& eintrag) {
    return dateien.ErsetzeDatei(SprecherDatei, eintrag.toLatin1() + "\r\n");
}
