// SPDX-License-Identifier: GPL-3.0-or-later
// The real platform services: local clock, files, message box.
#pragma once

#include <QDateTime>
#include <QVariantMap>

class QWidget;

#include "Dienste.h"

// One reading in the fixed forms DD.MM.YYYY and HH:MM:SS.
UhrLesung UhrLesungAus(const QDateTime& t);

class SystemUhr : public IUhr {
public:
    UhrLesung Lesen() override;
    UhrLesung LesenZu(quint64 eingabeZeit) override;
    UhrLesung LesenUm(qint64 wandzeitUs) override;
};

// Files in the working directory, single-byte text, lines ended by CR LF.
class DateiDienst : public IDateisystem {
public:
    std::unique_ptr<ITextStream> OpenTextFile(const QString& name, IoModus modus,
                                              bool create) override;
    bool ErsetzeDatei(const QString& name, const QByteArray& inhalt) override;
};

// Inside a sandbox (Flatpak, Snap), where the desktop portal is the way out.
bool ImSandkasten();

// Brings a window forward and gives it the focus, for a request made
// elsewhere (a second start, a click on a notification): with the requester's
// activation token (Wayland) or startup id (X11) from its platform data, where
// it has one.
void FensterHervorholen(QWidget* fenster, const QVariantMap& plattformDaten);

// Ends the launch feedback of a start that opens no window of its own (X11's
// startup notification; nothing elsewhere or for an empty id).
void StartAbschliessen(const QString& startId);

class Meldungsfenster : public IMeldung {
public:
    void MsgBox(const QString& text) override;
};
