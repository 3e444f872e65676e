// SPDX-License-Identifier: GPL-3.0-or-later
// Bad files and a full disk with the real file service in a temporary working
// directory: SprecherNr.txt that is a megabyte long, not a number or a
// directory; zeitnehmung.txt on a disk that fills up while stamps are taken.
#include <sys/mount.h>

#include <QtTest>

#include "app/Plattform.h"
#include "support/Fakes.h"

namespace {
// One window on the real file service, with fakes for everything else.
struct EchterStand {
    FakeUhr uhr;
    DateiDienst dateien;
    FakeMeldung meldung;
    FakeSprachDienst sprache{3};
    FakeSignalton ton;
    Form1 f{Dienste{&uhr, &dateien, &meldung, &sprache, &ton}};
};
}  // namespace

class Stoerfaelle : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString arbeit_;
    bool eingehaengt_ = false;
    int nummer_ = 0;

private slots:
    // Every test starts in an empty directory of its own.
    void init() {
        arbeit_ = dir_.filePath(QString::number(++nummer_));
        QVERIFY(QDir().mkpath(arbeit_) && QDir::setCurrent(arbeit_));
    }
    void cleanup() {
        QDir::setCurrent(dir_.path());
        if (eingehaengt_) ::umount(qPrintable(arbeit_));
        eingehaengt_ = false;
    }

    // Start-up reads the first line and selects the voice its number names (0
    // when there is none or it does not fit in 16 bits); the file then holds
    // exactly that choice. A directory in its place can be neither read nor
    // replaced: voice 0, one message, the directory left alone.
    void sprecherDatei_data() {
        QTest::addColumn<QByteArray>("inhalt");  // empty: a directory
        QTest::addColumn<int>("zeile");
        const int mb = 1 << 20;
        QTest::newRow("NaN") << QByteArray("NaN\r\n") << 0;
        QTest::newRow("-0") << QByteArray("-0\r\n") << 0;
        QTest::newRow("1e9") << QByteArray("1e9\r\n") << 1;
        QTest::newRow("blanks before 2") << QByteArray("  2\r\n") << 2;
        QTest::newRow("CR only") << QByteArray("1\r2\r") << 1;
        QTest::newRow("megabyte of digits") << QByteArray(mb, '7') + "\r\n" << 0;
        QTest::newRow("megabyte of zeros, then 2") << QByteArray(mb, '0') + "2\r\n" << 2;
        QTest::newRow("megabyte line before a 2") << QByteArray(mb, 'x') + "\r\n2\r\n" << 0;
        QTest::newRow("a directory") << QByteArray() << 0;
    }
    void sprecherDatei() {
        QFETCH(QByteArray, inhalt);
        QFETCH(int, zeile);
        const bool ordner = inhalt.isEmpty();
        QVERIFY(ordner ? QDir().mkdir("SprecherNr.txt") : DateiSchreiben("SprecherNr.txt", inhalt));
        EchterStand s;
        QCOMPARE(s.meldung.texte,
                 ordner ? QStringList{"SprecherNr.txt lässt sich nicht speichern"} : QStringList());
        QCOMPARE(s.f.List_Sprecher->currentRow(), zeile);
        QCOMPARE(DateiInhalt("SprecherNr.txt"),
                 ordner ? QByteArray("<none>") : QByteArray::number(zeile) + "\r\n");
        QVERIFY(s.f.A.Zeitnehmung);
    }

    // zeitnehmung.txt on a small tmpfs that fills up: each press that cannot be
    // written says so; the file holds the earlier lines and every written
    // line whole, nothing of the failed ones; with room again the numbering
    // goes on without a gap. Needs the right to mount.
    void vollePlatte() {
        if (::mount("tmpfs", qPrintable(arbeit_), "tmpfs", 0, "size=64k") != 0)
            QSKIP("mounting a tmpfs is not allowed here");
        eingehaengt_ = true;
        QVERIFY(QDir::setCurrent(arbeit_));  // into the mounted disk, not the one beneath
        QByteArray erwartet = "01 04.12.2026 09:00:00,00\r\n";
        QVERIFY(DateiSchreiben("zeitnehmung.txt", erwartet));
        EchterStand s;
        QVERIFY(!DateiSchreiben("fuellung", QByteArray(1 << 20, 'f')));  // fills the disk
        auto zeile = [](int n) {
            return QStringLiteral("%1 05.12.2026 10:00:00,00\r\n")
                .arg(n, 2, 10, QLatin1Char('0'))
                .toLatin1();
        };
        // The log's last page still has room for some lines; then four presses fail.
        int geschrieben = 0;
        while (s.meldung.texte.size() < 4 && geschrieben < 400) {
            s.f.btn_ZeitSpeichern_Click();
            if (s.meldung.texte.isEmpty()) erwartet += zeile(++geschrieben);
        }
        QVERIFY(geschrieben > 0);
        QCOMPARE(s.meldung.texte,
                 QStringList(4, QStringLiteral("zeitnehmung.txt lässt sich nicht schreiben")));
        QCOMPARE(DateiInhalt("zeitnehmung.txt"), erwartet);
        QVERIFY(QFile::remove("fuellung"));
        s.f.btn_ZeitSpeichern_Click();
        QCOMPARE(DateiInhalt("zeitnehmung.txt"), erwartet + zeile(geschrieben + 1));
    }
};

QTEST_MAIN(Stoerfaelle)
#include "test_stoerfaelle.moc"
