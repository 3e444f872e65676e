// SPDX-License-Identifier: GPL-3.0-or-later
// How the speech engine says a clock time or a date: the texts "HH:MM:SS" and
// "DD.MM.YYYY" become the words a person would say ("14:03:27" is "vierzehn
// Uhr drei und siebenundzwanzig Sekunden", "05.12.2026" is "fünfter Dezember
// zweitausendsechsundzwanzig"). Every other text is left as it is; the speech
// engine reads plain numbers in German by itself.
#pragma once

#include <QString>

namespace Aussprache {

// The words to synthesise for `text`. Only a text that is exactly a valid time
// or date is changed.
QString FuerSprache(const QString& text);

// Number words from ICU's German rule-based number format. `regelsatz` names
// one of its rule sets, such as "%spellout-numbering" or "%spellout-ordinal-r".
// Empty when ICU cannot format the number.
QString Zahlwort(int zahl, const char* regelsatz);

}  // namespace Aussprache
