// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for the number rule. The bytes are read as single-byte text
// (as the files are) and, for characters beyond Latin-1, as UTF-16.
#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "Eigenschaften.h"

namespace {
void Pruefe(const QString& text) {
    const QString fehler = eigenschaften::ZahlPruefen(text);
    if (fehler.isEmpty()) return;
    std::fprintf(stderr, "ZahlAusText: %s\n", qPrintable(fehler));
    std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* daten, std::size_t groesse) {
    const char* zeichen = reinterpret_cast<const char*>(daten);
    Pruefe(QString::fromLatin1(zeichen, qsizetype(groesse)));
    Pruefe(QString(reinterpret_cast<const QChar*>(daten), qsizetype(groesse / 2)));
    return 0;
}
