// SPDX-License-Identifier: GPL-3.0-or-later
// The speech engine without its data: no voice, an explanation, and the
// process goes on. A process of its own, because once espeak-ng has started
// with its data it stays started.
#include <QTemporaryDir>
#include <QTest>

#include "speech/CaptureAusgabe.h"
#include "speech/EspeakStimme.h"

class TestSpeechOhneDaten : public QObject {
    Q_OBJECT

private slots:
    void ohneDatenKeineStimme();
};

void TestSpeechOhneDaten::ohneDatenKeineStimme() {
    CaptureAusgabe ausgabe;
    QTemporaryDir leer;
    QVERIFY(leer.isValid());
    {
        EspeakSprachDienst dienst(ausgabe, leer.path());
        QVERIFY(!dienst.ErzeugeStimme());
        QVERIFY(!dienst.fehler().isEmpty());
        QVERIFY(!dienst.ErzeugeStimme());  // asking again neither hangs nor exits
    }
    // The installed data still work afterwards.
    EspeakSprachDienst dienst(ausgabe);
    auto stimme = dienst.ErzeugeStimme();
    QVERIFY2(stimme, qPrintable(dienst.fehler()));
    QVERIFY(stimme->Speak(QStringLiteral("eins"), SVSFDefault));
    QVERIFY(!ausgabe.samples().empty());
}

QTEST_GUILESS_MAIN(TestSpeechOhneDaten)
#include "test_speech_ohnedaten.moc"
