// SPDX-License-Identifier: GPL-3.0-or-later
// Properties that must hold for any input, shared by the fuzz targets (which
// abort on a violation) and by the unit test that replays the kept corpus.
// Each check returns an empty text when the property holds, otherwise what
// went wrong.
#pragma once

#include <QByteArray>
#include <QString>
#include <cerrno>
#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <string>

#include "Sprecherwahl.h"
#include "ZahlAusText.h"
#include "support/Fakes.h"

namespace eigenschaften {

// A second, independent reading of the number rule: blanks, tabs and line
// feeds are dropped everywhere, the longest prefix of sign, digits, point and
// digits is cut out and handed to the C library's strtod in the C locale.
inline double ZahlNachStrtod(const QString& text) {
    std::string ohneLeer;
    for (QChar c : text) {
        if (c == u' ' || c == u'\t' || c == u'\n') continue;
        // Anything outside ASCII ends the number; keep it as a stopper.
        ohneLeer.push_back(c.unicode() < 0x80 ? char(c.unicode()) : '\x7f');
    }
    std::size_t i = 0;
    std::string zahl;
    if (i < ohneLeer.size() && (ohneLeer[i] == '+' || ohneLeer[i] == '-')) zahl += ohneLeer[i++];
    bool ziffer = false;
    auto ziffern = [&] {
        while (i < ohneLeer.size() && ohneLeer[i] >= '0' && ohneLeer[i] <= '9') {
            zahl += ohneLeer[i++];
            ziffer = true;
        }
    };
    ziffern();
    if (i < ohneLeer.size() && ohneLeer[i] == '.') {
        zahl += ohneLeer[i++];
        ziffern();
    }
    if (!ziffer) return 0;
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(0));
    const double wert = strtod_l(zahl.c_str(), nullptr, c);
    if (std::isinf(wert)) return wert > 0 ? DBL_MAX : -DBL_MAX;
    return wert;
}

// ZahlAusText is always finite and agrees with the independent reading.
inline QString ZahlPruefen(const QString& text) {
    const double wert = ZahlAusText(text);
    if (!std::isfinite(wert)) return QStringLiteral("not finite: %1").arg(wert);
    const double erwartet = ZahlNachStrtod(text);
    if (wert != erwartet) {
        return QStringLiteral("%1 instead of %2").arg(wert, 0, 'g', 17).arg(erwartet, 0, 'g', 17);
    }
    return QString();
}

inline const QString SprachFehler =
    QStringLiteral("Problem mit Initialisierung der Sprachausgabe, Installation überprüfen");

// Start-up with the given SprecherNr.txt and number of voices. Whatever the
// file holds, start-up either selects a valid entry (or none, for -1) that
// matches the number in the file and remembers it, or takes the speech failure
// path with its message and leaves the file as it was.
inline QString SprecherDateiPruefen(const QByteArray& inhalt, int stimmen) {
    Pruefstand p(stimmen);
    p.dateien.dateien[QStringLiteral("SprecherNr.txt")] = inhalt;
    Ansicht& f = p.Starten();
    const QByteArray danach = p.dateien.dateien.value(QStringLiteral("SprecherNr.txt"));

    // What the file asks for: the first line's number, rounded; 0 when there
    // is none or it does not fit in 16 bits.
    const qsizetype ende = inhalt.indexOf('\n');
    QByteArray zeile = ende < 0 ? inhalt : inhalt.first(ende);
    if (zeile.endsWith('\r')) zeile.chop(1);
    const double zahl = ZahlNachStrtod(QString::fromLatin1(zeile));
    const double gerundet = std::nearbyint(zahl);
    const int gewuenscht = (gerundet < -32768.0 || gerundet > 32767.0) ? 0 : int(gerundet);
    const bool fehlerErwartet = gewuenscht < -1 || gewuenscht >= stimmen;

    const bool fehler = p.meldung.texte.contains(SprachFehler);
    if (p.meldung.texte.size() != (fehler ? 1 : 0))
        return QStringLiteral("messages: ") + p.meldung.texte.join(QStringLiteral(" | "));
    if (fehler != fehlerErwartet)
        return QStringLiteral("wanted voice %1 of %2, failure path %3")
            .arg(gewuenscht)
            .arg(stimmen)
            .arg(fehler);
    if (!f.A().Zeitnehmung) return QStringLiteral("log not open");
    if (fehler) {
        if (f.A().SprachAusgabeAn != False16 || f.Check_SprachAusgabe->isEnabled())
            return QStringLiteral("speech not locked off after the failure");
        if (danach != inhalt) return QStringLiteral("file changed after the failure");
        return QString();
    }
    const int zeileNr = f.List_Sprecher->currentRow();
    if (zeileNr != gewuenscht)
        return QStringLiteral("row %1 selected, %2 wanted").arg(zeileNr).arg(gewuenscht);
    if (f.A().SprecherNr != zeileNr)
        return QStringLiteral("SprecherNr %1 beside row %2").arg(f.A().SprecherNr).arg(zeileNr);
    if (f.A().SprachAusgabeAn == False16) return QStringLiteral("speech off without a failure");
    const QByteArray erwartetDanach =
        zeileNr >= 0 ? QByteArray::number(zeileNr) + "\r\n" : inhalt;  // -1 keeps the file
    if (danach != erwartetDanach)
        return QStringLiteral("file holds \"%1\"").arg(QString::fromLatin1(danach.left(40)));
    if (zeileNr >= 0 && p.Stimme()->stimme != zeileNr)
        return QStringLiteral("voice %1 in use").arg(p.Stimme()->stimme);
    return QString();
}

// The fuzz input for SprecherNr.txt: the first byte gives the number of
// voices (0 to 11), the rest is the file.
inline QString SprecherEingabePruefen(const QByteArray& eingabe) {
    if (eingabe.isEmpty()) return QString();
    return SprecherDateiPruefen(eingabe.mid(1), int(quint8(eingabe[0])) % 12);
}

}  // namespace eigenschaften
