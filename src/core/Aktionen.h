// SPDX-License-Identifier: GPL-3.0-or-later
// The window's actions that can be asked for from outside it: from the
// session bus, the command line (--NAME) and the menu entry's own actions.
// Each does what its button does.
#pragma once

#include <QStringView>
#include <optional>

enum class Aktion { AnsageZeit, AnsageDatum, ZeitSpeichern, Timer };

struct AktionsEintrag {
    Aktion aktion;
    const char16_t* name;
};

inline constexpr AktionsEintrag AktionsTabelle[] = {
    {Aktion::AnsageZeit, u"ansage-zeit"},        // "Ansage Zeit"
    {Aktion::AnsageDatum, u"ansage-datum"},      // "Ansage Datum"
    {Aktion::ZeitSpeichern, u"zeit-speichern"},  // "Zeit speichern"
    {Aktion::Timer, u"timer"},                   // "Timer Start" or "Timer Stop"
};

// The action of a name; none for a name that is not in the table.
inline std::optional<Aktion> AktionAusName(QStringView name) {
    for (const AktionsEintrag& e : AktionsTabelle)
        if (name == QStringView(e.name)) return e.aktion;
    return std::nullopt;
}
