// SPDX-License-Identifier: GPL-3.0-or-later
// The command line: the program's own options (one action, help, version)
// beside Qt's standard options, which are left to Qt.
#pragma once

#include <QString>
#include <QStringList>

#include "Aktionen.h"

struct Befehl {
    enum class Art { Fenster, Aktion, Hilfe, Version, Fehler } art = Art::Fenster;
    Aktion aktion = Aktion::AnsageZeit;  // for Art::Aktion
    QString fehler;                      // for Art::Fehler: what is wrong
};

// The arguments without the program's name.
Befehl BefehlszeileLesen(const QStringList& argumente);

// The usage text of --help, and after an error.
QString Gebrauch();
