// SPDX-License-Identifier: GPL-3.0-or-later
// The real platform services: local clock, files, message box.
#pragma once

#include <QDateTime>

#include "Dienste.h"

// One reading in the fixed forms DD.MM.YYYY and HH:MM:SS.
UhrLesung UhrLesungAus(const QDateTime& t);

class SystemUhr : public IUhr {
public:
    UhrLesung Lesen() override;
    UhrLesung LesenZu(quint64 eingabeZeit) override;
};

// Files in the working directory, single-byte text, lines ended by CR LF.
class DateiDienst : public IDateisystem {
public:
    std::unique_ptr<ITextStream> OpenTextFile(const QString& name, IoModus modus,
                                              bool create) override;
    bool ErsetzeDatei(const QString& name, const QByteArray& inhalt) override;
};

class Meldungsfenster : public IMeldung {
public:
    void MsgBox(const QString& text) override;
};
