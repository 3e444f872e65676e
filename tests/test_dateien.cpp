// SPDX-License-Identifier: GPL-3.0-or-later
// The real file service in a temporary working directory: append and create,
// CR LF lines, refusals, the one-step replacement of a file, and a line that
// survives the process being killed right after the press.
#include <sys/wait.h>
#include <unistd.h>

#include <QtTest>
#include <csignal>

#include "app/Form1.h"
#include "app/Plattform.h"
#include "support/Fakes.h"

class Dateien : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    int nummer_ = 0;

private slots:
    // Every test starts in an empty directory of its own.
    void init() {
        const QString arbeit = dir_.filePath(QString::number(++nummer_));
        QVERIFY(QDir().mkpath(arbeit) && QDir::setCurrent(arbeit));
    }

    void anhaengenUndLesen() {
        DateiDienst fs;
        auto s = fs.OpenTextFile("log.txt", IoModus::ForAppending, true);
        QVERIFY(s);
        QVERIFY(s->WriteLine("eins"));
        s->Close();
        s = fs.OpenTextFile("log.txt", IoModus::ForAppending, true);
        QVERIFY(s->WriteLine("zwei"));
        s.reset();
        QCOMPARE(DateiInhalt("log.txt"), QByteArray("eins\r\nzwei\r\n"));

        auto r = fs.OpenTextFile("log.txt", IoModus::ForReading, false);
        QVERIFY(r && !r->AtEndOfStream());
        QByteArray z;
        QVERIFY(r->ReadLine(z));
        QCOMPARE(z, QByteArray("eins"));
        QVERIFY(r->ReadLine(z));
        QCOMPARE(z, QByteArray("zwei"));
        QVERIFY(r->AtEndOfStream());
        QVERIFY(!r->ReadLine(z));
    }

    void verweigerungen() {
        DateiDienst fs;
        QVERIFY(!fs.OpenTextFile("fehlt.txt", IoModus::ForReading, false));
        QVERIFY(!fs.OpenTextFile("fehlt.txt", IoModus::ForAppending, false));
        QVERIFY(DateiSchreiben("nurlesen.txt", "x\r\n"));
        QFile::setPermissions("nurlesen.txt", QFile::ReadOwner);
        if (::geteuid() != 0)
            QVERIFY(!fs.OpenTextFile("nurlesen.txt", IoModus::ForAppending, true));
        QVERIFY(QDir().mkdir("ordner"));
        QVERIFY(!fs.OpenTextFile("ordner", IoModus::ForAppending, true));
        QVERIFY(!fs.OpenTextFile("ordner", IoModus::ForReading, false));
        QVERIFY(!fs.ErsetzeDatei("ordner", "1\r\n"));
    }

    // The remembered voice is replaced whole; a write-protected old file too.
    void ersetzen() {
        DateiDienst fs;
        QVERIFY(fs.ErsetzeDatei("SprecherNr.txt", "1\r\n"));
        QCOMPARE(DateiInhalt("SprecherNr.txt"), QByteArray("1\r\n"));
        QFile::setPermissions("SprecherNr.txt", QFile::ReadOwner);
        QVERIFY(fs.ErsetzeDatei("SprecherNr.txt", "2\r\n"));
        QCOMPARE(DateiInhalt("SprecherNr.txt"), QByteArray("2\r\n"));
        QCOMPARE(QDir().entryList(QDir::Files), QStringList({"SprecherNr.txt"}));
    }

    // Start-up in a directory where zeitnehmung.txt is a directory: the log
    // message, and the window goes on.
    void logIstOrdner() {
        QVERIFY(QDir().mkdir("zeitnehmung.txt"));
        FakeUhr uhr;
        DateiDienst fs;
        FakeMeldung meldung;
        FakeSprachDienst sprache(1);
        FakeSignalton ton;
        Form1 f(Dienste{&uhr, &fs, &meldung, &sprache, &ton});
        QCOMPARE(meldung.texte, QStringList({"zeitnehmung.txt lässt sich nicht öffnen"}));
        QVERIFY(!f.A.Zeitnehmung);
        QCOMPARE(DateiInhalt("SprecherNr.txt"), QByteArray("0\r\n"));
    }

    // Each press is on disk when it returns: a child process presses three
    // times and is killed at once; all three lines are in the file.
    void getoetetNachDemDruck() {
        QVERIFY(DateiSchreiben("zeitnehmung.txt", "01 04.12.2026 09:00:00,00\r\n"));
        const pid_t kind = ::fork();
        if (kind == 0) {
            FakeUhr uhr;
            DateiDienst fs;
            FakeMeldung meldung;
            FakeSignalton ton;
            Form1 f(Dienste{&uhr, &fs, &meldung, nullptr, &ton});
            for (int i = 0; i < 3; ++i) f.btn_ZeitSpeichern_Click();
            ::kill(::getpid(), SIGKILL);
            ::_exit(1);
        }
        int status = 0;
        QCOMPARE(::waitpid(kind, &status, 0), kind);
        QVERIFY(WIFSIGNALED(status));
        QCOMPARE(DateiInhalt("zeitnehmung.txt"), QByteArray("01 04.12.2026 09:00:00,00\r\n"
                                                            "01 05.12.2026 10:00:00,00\r\n"
                                                            "02 05.12.2026 10:00:00,00\r\n"
                                                            "03 05.12.2026 10:00:00,00\r\n"));
    }

    // The clock's texts keep their fixed forms whatever the locale.
    void uhrFormUnabhaengigVomGebietsschema() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        const UhrLesung l =
            UhrLesungAus(QDateTime(QDate(2026, 3, 1), QTime(7, 5, 9, 250), Qt::LocalTime));
        QLocale::setDefault(QLocale::c());
        QCOMPARE(l.datum, "01.03.2026");
        QCOMPARE(l.zeit, "07:05:09");
        QCOMPARE(l.wochentag, 1);  // a Sunday
        QCOMPARE(l.sekunden, 7 * 3600 + 5 * 60 + 9.25);
    }
};

QTEST_MAIN(Dateien)
#include "test_dateien.moc"
