// How the speech engine words clock times and dates before synthesis.
#include <QTest>

#include "speech/Aussprache.h"

class TestSpeechAussprache : public QObject {
    Q_OBJECT

private slots:
    void volleStunden_data();
    void volleStunden();
    void uhrzeiten_data();
    void uhrzeiten();
    void daten_data();
    void daten();
    void andereTexteBleiben_data();
    void andereTexteBleiben();
};

void TestSpeechAussprache::volleStunden_data() {
    QTest::addColumn<QString>("erwartet");
    const char* stunden[] = {
        "null",     "ein",      "zwei",     "drei",          "vier",           "fünf",
        "sechs",    "sieben",   "acht",     "neun",          "zehn",           "elf",
        "zwölf",    "dreizehn", "vierzehn", "fünfzehn",      "sechzehn",       "siebzehn",
        "achtzehn", "neunzehn", "zwanzig",  "einundzwanzig", "zweiundzwanzig", "dreiundzwanzig"};
    for (int h = 0; h < 24; ++h) {
        QTest::addRow("%02d:00:00", h) << QString::fromUtf8(stunden[h]) + QStringLiteral(" Uhr");
    }
}

void TestSpeechAussprache::volleStunden() {
    QFETCH(QString, erwartet);
    const QString zeit = QString::fromLatin1(QTest::currentDataTag());
    QCOMPARE(Aussprache::fuerSprache(zeit), erwartet);
}

void TestSpeechAussprache::uhrzeiten_data() {
    QTest::addColumn<QString>("zeit");
    QTest::addColumn<QString>("erwartet");
    auto zeile = [](const char* zeit, const char* erwartet) {
        QTest::newRow(zeit) << QString::fromLatin1(zeit) << QString::fromUtf8(erwartet);
    };
    zeile("07:00:00", "sieben Uhr");
    zeile("14:03:27", "vierzehn Uhr drei und siebenundzwanzig Sekunden");
    zeile("01:01:01", "ein Uhr eins und eine Sekunde");
    zeile("00:00:00", "null Uhr");
    zeile("14:00:05", "vierzehn Uhr und fünf Sekunden");
    zeile("07:00:01", "sieben Uhr und eine Sekunde");
    zeile("00:01:00", "null Uhr eins");
    zeile("12:30:00", "zwölf Uhr dreißig");
    zeile("21:21:21", "einundzwanzig Uhr einundzwanzig und einundzwanzig Sekunden");
    zeile("23:59:59", "dreiundzwanzig Uhr neunundfünfzig und neunundfünfzig Sekunden");
    zeile("11:11:00", "elf Uhr elf");
}

void TestSpeechAussprache::uhrzeiten() {
    QFETCH(QString, zeit);
    QFETCH(QString, erwartet);
    QCOMPARE(Aussprache::fuerSprache(zeit), erwartet);
}

void TestSpeechAussprache::daten_data() {
    QTest::addColumn<QString>("datum");
    QTest::addColumn<QString>("erwartet");
    auto zeile = [](const char* datum, const char* erwartet) {
        QTest::newRow(datum) << QString::fromLatin1(datum) << QString::fromUtf8(erwartet);
    };
    // Every month once, with ordinals from the first to the thirty-first.
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
    zeile("31.12.2026", "einunddreißigster Dezember zweitausendsechsundzwanzig");
    zeile("29.02.2000", "neunundzwanzigster Februar zweitausend");
    zeile("31.12.1999", "einunddreißigster Dezember neunzehnhundertneunundneunzig");
    zeile("01.01.2010", "erster Januar zweitausendzehn");
}

void TestSpeechAussprache::daten() {
    QFETCH(QString, datum);
    QFETCH(QString, erwartet);
    QCOMPARE(Aussprache::fuerSprache(datum), erwartet);
}

void TestSpeechAussprache::andereTexteBleiben_data() {
    QTest::addColumn<QString>("text");
    // The countdown's own phrases are read well by the synthesiser as they are.
    for (const char* t :
         {"Noch 90 Sekunden", "Noch eine Stunde", "Noch 5 Stunden", "10", "0", ""}) {
        QTest::newRow(t) << QString::fromUtf8(t);
    }
    // Only a whole, valid time or date is reworded.
    for (const char* t :
         {"24:00:00", "12:60:00", "12:00:60", "1:02:03", "12:00", " 12:00:00", "12:00:00 ",
          "ab:cd:ef", "32.01.2026", "00.05.2026", "05.13.2026", "05.00.2026", "5.12.2026",
          "05.12.26", "05.12.2026 12:00:00", "١٢:٠٠:٠٠"}) {
        QTest::newRow(t) << QString::fromUtf8(t);
    }
}

void TestSpeechAussprache::andereTexteBleiben() {
    QFETCH(QString, text);
    QCOMPARE(Aussprache::fuerSprache(text), text);
}

QTEST_GUILESS_MAIN(TestSpeechAussprache)
#include "test_speech_aussprache.moc"
