// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for reading SprecherNr.txt: each input starts a whole window
// (with fake services) on that file content and a voice count from its first
// byte, and checks what start-up made of it.
#include <QApplication>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "Eigenschaften.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The number reading must not depend on the user's locale.
    qputenv("LC_ALL", "C");
    static QApplication app(*argc, *argv);
    // The first window loads fonts and styles once; do it before measuring
    // leaks per input.
    (void)eigenschaften::SprecherDateiPruefen("0\r\n", 3);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* daten, std::size_t groesse) {
    const QByteArray eingabe(reinterpret_cast<const char*>(daten), qsizetype(groesse));
    const QString fehler = eigenschaften::SprecherEingabePruefen(eingabe);
    if (!fehler.isEmpty()) {
        std::fprintf(stderr, "SprecherNr.txt: %s\n", qPrintable(fehler));
        std::abort();
    }
    return 0;
}
