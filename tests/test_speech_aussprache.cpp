// SPDX-License-Identifier: GPL-3.0-or-later
// How the speech engine words clock times and dates before synthesis.
#include <QTest>

#include "speech/Aussprache.h"

class TestSpeechAussprache : public QObject {
    Q_OBJECT

private slots:
    void fuerSprache_data();
    void fuerSprache();
};

void TestSpeechAussprache::fuerSprache_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("erwartet");
    auto zeile = [](const char* text, const char* erwartet) {
        QTest::newRow(text) << QString::fromUtf8(text) << QString::fromUtf8(erwartet);
    };
    // Every full hour; the hour is a bare cardinal ("ein Uhr").
    const char* stunden[] = {
        "null",     "ein",      "zwei",     "drei",          "vier",           "fünf",
        "sechs",    "sieben",   "acht",     "neun",          "zehn",           "elf",
        "zwölf",    "dreizehn", "vierzehn", "fünfzehn",      "sechzehn",       "siebzehn",
        "achtzehn", "neunzehn", "zwanzig",  "einundzwanzig", "zweiundzwanzig", "dreiundzwanzig"};
    for (int h = 0; h < 24; ++h) {
        const QString zeit = QStringLiteral("%1:00:00").arg(h, 2, 10, QLatin1Char('0'));
        QTest::newRow(qPrintable(zeit)) << zeit << QString::fromUtf8(stunden[h]) + " Uhr";
    }
    // Minutes and seconds, with the singular forms.
    zeile("14:03:27", "vierzehn Uhr drei und siebenundzwanzig Sekunden");
    zeile("01:01:01", "ein Uhr eins und eine Sekunde");
    zeile("14:00:05", "vierzehn Uhr und fünf Sekunden");
    zeile("12:30:00", "zwölf Uhr dreißig");
    zeile("23:59:59", "dreiundzwanzig Uhr neunundfünfzig und neunundfünfzig Sekunden");
    // Every month once, with ordinals up to the thirty-first.
    zeile("01.01.2027", "erster Januar zweitausendsiebenundzwanzig");
    zeile("02.02.2026", "zweiter Februar zweitausendsechsundzwanzig");
    zeile("03.03.2026", "dritter März zweitausendsechsundzwanzig");
    zeile("07.04.2026", "siebter April zweitausendsechsundzwanzig");
    zeile("08.05.2026", "achter Mai zweitausendsechsundzwanzig");
    zeile("11.06.2026", "elfter Juni zweitausendsechsundzwanzig");
    zeile("16.07.2026", "sechzehnter Juli zweitausendsechsundzwanzig");
    zeile("19.08.2026", "neunzehnter August zweitausendsechsundzwanzig");
    zeile("20.09.2026", "zwanzigster September zweitausendsechsundzwanzig");
    zeile("21.10.2026", "einundzwanzigster Oktober zweitausendsechsundzwanzig");
    zeile("30.11.2026", "dreißigster November zweitausendsechsundzwanzig");
    zeile("05.12.2026", "fünfter Dezember zweitausendsechsundzwanzig");
    zeile("31.12.1999", "einunddreißigster Dezember neunzehnhundertneunundneunzig");
    // The countdown's phrases are read well as they are; only a whole, valid
    // time or date is reworded.
    for (const char* t : {"Noch 90 Sekunden", "Noch eine Stunde", "10", "24:00:00", "12:60:00",
                          "12:00:60", "1:02:03", "12:00", " 12:00:00", "12:00:00 ", "32.01.2026",
                          "00.05.2026", "05.13.2026", "05.00.2026", "05.12.26", "١٢:٠٠:٠٠"}) {
        zeile(t, t);
    }
}

void TestSpeechAussprache::fuerSprache() {
    QFETCH(QString, text);
    QFETCH(QString, erwartet);
    QCOMPARE(Aussprache::fuerSprache(text), erwartet);
}

QTEST_GUILESS_MAIN(TestSpeechAussprache)
#include "test_speech_aussprache.moc"
