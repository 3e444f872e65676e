// SPDX-License-Identifier: GPL-3.0-or-later
// Replays the kept fuzz corpus (fuzz/corpus/) as ordinary tests: every input
// found or collected while fuzzing must keep its property, also in builds
// without libFuzzer.
#include <QtTest>

#include "../fuzz/Eigenschaften.h"

namespace {
void KorpusZeilen(const QString& ziel) {
    QTest::addColumn<QByteArray>("eingabe");
    const QString ordner = QFINDTESTDATA("../fuzz/corpus/" + ziel);
    QVERIFY2(!ordner.isEmpty() && !QDir(ordner).isEmpty(), "fuzz corpus not found or empty");
    for (const QString& name : QDir(ordner).entryList(QDir::Files, QDir::Name)) {
        QFile datei(ordner + u'/' + name);
        QVERIFY(datei.open(QIODevice::ReadOnly));
        QTest::newRow(qPrintable(name)) << datei.readAll();
    }
}
}  // namespace

class FuzzKorpus : public QObject {
    Q_OBJECT
private slots:
    // The number rule: finite, and the same as an independent reading. The
    // bytes count as single-byte text and as UTF-16, as in the fuzz target.
    void zahl_data() { KorpusZeilen(QStringLiteral("zahl")); }
    void zahl() {
        QFETCH(QByteArray, eingabe);
        QCOMPARE(eigenschaften::ZahlPruefen(QString::fromLatin1(eingabe)), QString());
        QCOMPARE(eigenschaften::ZahlPruefen(QString(
                     reinterpret_cast<const QChar*>(eingabe.constData()), eingabe.size() / 2)),
                 QString());
    }

    // SprecherNr.txt at start-up: a valid entry that matches the file, or the
    // speech failure path with the file left alone.
    void sprecher_data() { KorpusZeilen(QStringLiteral("sprecher")); }
    void sprecher() {
        QFETCH(QByteArray, eingabe);
        QCOMPARE(eigenschaften::SprecherEingabePruefen(eingabe), QString());
    }
};

QTEST_MAIN(FuzzKorpus)
#include "test_fuzzkorpus.moc"
