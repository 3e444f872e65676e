// Bad files and a full disk with the real file service in a temporary working
// directory: SprecherNr.txt that is binary, a megabyte long, not a number or a
// directory; zeitnehmung.txt on a disk that fills up while stamps are taken.
#include <sys/mount.h>
#include <unistd.h>

#include <QtTest>

#include "app/Form1.h"
#include "app/Plattform.h"
#include "support/Fakes.h"

namespace {
const QString SchreibFehler = QStringLiteral("zeitnehmung.txt lässt sich nicht schreiben");

QByteArray Inhalt(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
}
bool Schreibe(const QString& name, const QByteArray& inhalt) {
    QFile f(name);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(inhalt) == inhalt.size();
}

// One window on the real file service, with fakes for everything else.
struct EchterStand {
    explicit EchterStand(int stimmen = 3) : sprache(stimmen) {}
    Form1& Starten() {
        form = std::make_unique<Form1>(Dienste{&uhr, &dateien, &meldung, &sprache, &ton});
        return *form;
    }
    FakeUhr uhr;
    DateiDienst dateien;
    FakeMeldung meldung;
    FakeSprachDienst sprache;
    FakeSignalton ton;
    std::unique_ptr<Form1> form;
};
}  // namespace

class Stoerfaelle : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString alt_;
    QString arbeit_;
    bool eingehaengt_ = false;
    int nummer_ = 0;

private slots:
    // Every test starts in an empty directory of its own.
    void init() {
        QVERIFY(dir_.isValid());
        alt_ = QDir::currentPath();
        arbeit_ = dir_.filePath(QString::number(++nummer_));
        QVERIFY(QDir().mkpath(arbeit_));
        QVERIFY(QDir::setCurrent(arbeit_));
    }
    void cleanup() {
        QDir::setCurrent(alt_);
        if (eingehaengt_) ::umount(qPrintable(arbeit_));
        eingehaengt_ = false;
    }

    // Whatever the first line holds, start-up reads it through the real file
    // service without a message and selects the voice its number names (0
    // when there is none or it does not fit in 16 bits), and the file then
    // holds exactly that choice.
    void sprecherDatei_data() {
        QTest::addColumn<QByteArray>("inhalt");
        QTest::addColumn<int>("zeile");
        const int mb = 1 << 20;
        QTest::newRow("binary") << QByteArray("\x01\xff\x00\x80\x1a\r\n", 6) << 0;
        QTest::newRow("NaN") << QByteArray("NaN\r\n") << 0;
        QTest::newRow("-0") << QByteArray("-0\r\n") << 0;
        QTest::newRow("blanks before 2") << QByteArray("  2\r\n") << 2;
        QTest::newRow("1e9") << QByteArray("1e9\r\n") << 1;
        QTest::newRow("CR only") << QByteArray("1\r2\r") << 1;
        QTest::newRow("megabyte of digits") << QByteArray(mb, '7') + "\r\n" << 0;
        QTest::newRow("megabyte of zeros, then 2") << QByteArray(mb, '0') + "2\r\n" << 2;
        QTest::newRow("megabyte of blanks, then 1") << QByteArray(mb, ' ') + "1" << 1;
        QTest::newRow("megabyte of 0xff") << QByteArray(mb, '\xff') << 0;
        QTest::newRow("megabyte line before a 2") << QByteArray(mb, 'x') + "\r\n2\r\n" << 0;
    }
    void sprecherDatei() {
        QFETCH(QByteArray, inhalt);
        QFETCH(int, zeile);
        QVERIFY(Schreibe("SprecherNr.txt", inhalt));
        EchterStand s;
        Form1& f = s.Starten();
        QCOMPARE(s.meldung.texte, QStringList());
        QCOMPARE(f.List_Sprecher->currentRow(), zeile);
        QCOMPARE(int(f.A.SprecherNr), zeile);
        QCOMPARE(f.A.SprachAusgabeAn, True16);
        QCOMPARE(s.sprache.letzte->stimme, zeile);
        QCOMPARE(Inhalt("SprecherNr.txt"), QByteArray::number(zeile) + "\r\n");
    }

    // A directory in the place of SprecherNr.txt can be neither read nor
    // replaced: start-up takes voice 0, says once that the choice cannot be
    // saved, and speech and the log work; the directory is left alone.
    void sprecherDateiIstOrdner() {
        QVERIFY(QDir().mkpath("SprecherNr.txt/inhalt"));
        EchterStand s;
        Form1& f = s.Starten();
        QCOMPARE(s.meldung.texte, QStringList({"SprecherNr.txt lässt sich nicht speichern"}));
        QCOMPARE(f.List_Sprecher->currentRow(), 0);
        QCOMPARE(f.A.SprachAusgabeAn, True16);
        QVERIFY(f.A.Zeitnehmung);
        QVERIFY(QFileInfo("SprecherNr.txt/inhalt").isDir());
        f.List_Sprecher->setCurrentRow(1);
        QCOMPARE(s.sprache.letzte->stimme, 1);
        QCOMPARE(s.meldung.texte.size(), 1);  // told once, not at every pick
    }

    // zeitnehmung.txt on a small tmpfs that fills up. Every press that cannot
    // be written says so and the window goes on; the file holds the earlier
    // lines and every line a press reported as written, whole, and nothing
    // of the presses that failed. Needs the right to mount (root).
    void vollePlatte() {
        if (::mount("tmpfs", qPrintable(arbeit_), "tmpfs", 0, "size=64k") != 0)
            QSKIP("mounting a tmpfs is not allowed here");
        eingehaengt_ = true;
        QVERIFY(QDir::setCurrent(arbeit_));  // into the mounted disk, not the one beneath
        const QByteArray frueher = "01 04.12.2026 09:00:00,00\r\n";
        QVERIFY(Schreibe("zeitnehmung.txt", frueher));
        EchterStand s;
        Form1& f = s.Starten();
        QCOMPARE(s.meldung.texte, QStringList());
        {
            // Fill the rest of the disk.
            QFile fuellung("fuellung");
            QVERIFY(fuellung.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
            const QByteArray block(512, 'f');
            while (fuellung.write(block) == block.size()) {
            }
        }
        // The log's last page still has room for some lines; press on until
        // the disk refuses, then a few times more.
        QByteArray erwartet = frueher;
        int geschrieben = 0;
        int fehlgeschlagen = 0;
        for (int i = 0; i < 400 && fehlgeschlagen < 5; ++i) {
            s.uhr.Weiter(1000);
            const int meldungenVorher = s.meldung.texte.size();
            f.btn_ZeitSpeichern_Click();
            if (s.meldung.texte.size() == meldungenVorher) {
                ++geschrieben;
                QCOMPARE(f.A.StempelZaehler, geschrieben);
                const UhrLesung l = s.uhr.Lesen();
                erwartet += QStringLiteral("%1 %2 %3,00\r\n")
                                .arg(geschrieben, 2, 10, QLatin1Char('0'))
                                .arg(l.datum, l.zeit)
                                .toLatin1();
                QVERIFY2(fehlgeschlagen == 0, "a press was written after the disk was full");
            } else {
                ++fehlgeschlagen;
                QCOMPARE(s.meldung.texte.last(), SchreibFehler);
                QCOMPARE(s.meldung.texte.size(), meldungenVorher + 1);
                QCOMPARE(f.A.StempelZaehler, geschrieben);
            }
        }
        QVERIFY(geschrieben > 0);
        QCOMPARE(fehlgeschlagen, 5);
        QCOMPARE(Inhalt("zeitnehmung.txt"), erwartet);

        // Room again: the next press is written whole, numbered on without a
        // gap, and nothing of the failed presses turns up.
        QVERIFY(QFile::remove("fuellung"));
        f.btn_ZeitSpeichern_Click();
        QCOMPARE(f.A.StempelZaehler, geschrieben + 1);
        f.close();
        const QByteArray danach = Inhalt("zeitnehmung.txt");
        QVERIFY(danach.startsWith(erwartet));
        const QByteArray neu = danach.mid(erwartet.size());
        QVERIFY2(neu.startsWith(QByteArray::number(geschrieben + 1) + " ") && neu.count('\n') == 1,
                 neu.constData());
    }

    // The same with a file service that fails every write: each press says
    // so, the clock line goes on, and the log keeps its lines.
    void vollePlatteJederDruck() {
        Pruefstand p;
        p.dateien.dateien["zeitnehmung.txt"] = "01 04.12.2026 09:00:00,00\r\n";
        Form1& f = p.Starten();
        p.dateien.schreibfehler = true;
        for (int i = 0; i < 3; ++i) {
            f.btn_ZeitSpeichern_Click();
            f.Timer_Zeitanzeige_Timer();
        }
        QCOMPARE(p.meldung.texte, QStringList({SchreibFehler, SchreibFehler, SchreibFehler}));
        QCOMPARE(f.Label_Zeitanzeige->text(), "05.12.2026 10:00:00 MEZ");
        QCOMPARE(p.Log(), QByteArray("01 04.12.2026 09:00:00,00\r\n"));
        QCOMPARE(f.A.StempelZaehler, 0);
    }
};

QTEST_MAIN(Stoerfaelle)
#include "test_stoerfaelle.moc"
