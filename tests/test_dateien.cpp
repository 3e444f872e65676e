// SPDX-License-Identifier: GPL-3.0-or-later
// The real file service in a temporary working directory, every test in an
// empty one of its own: start-up on damaged or misplaced files, a line that
// survives the process being killed right after the press, and a disk that
// fills up while stamps are taken.
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QtTest>
#include <csignal>

#include "app/Plattform.h"
#include "support/Fakes.h"

namespace {
QByteArray Inhalt(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
}
bool Schreiben(const QString& name, const QByteArray& inhalt) {
    QFile f(name);
    return f.open(QIODevice::WriteOnly) && f.write(inhalt) == inhalt.size() && f.flush();
}
QByteArray Stempel(int n) {
    return QByteArray::number(n).rightJustified(2, '0') + " 05.12.2026 10:00:00,00\r\n";
}
const QByteArray AlteZeile = "01 04.12.2026 09:00:00,00\r\n";
}  // namespace

class Dateien : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString arbeit_;
    bool eingehaengt_ = false;
    int nummer_ = 0;

private slots:
    void init() {
        arbeit_ = dir_.filePath(QString::number(++nummer_));
        QVERIFY(QDir().mkpath(arbeit_) && QDir::setCurrent(arbeit_));
    }
    void cleanup() {
        QDir::setCurrent(dir_.path());
        if (std::exchange(eingehaengt_, false)) ::umount(qPrintable(arbeit_));
    }

    // Start-up reads the first line of SprecherNr.txt, however long, and
    // selects the voice its number names (0 when it does not fit in 16 bits);
    // the file, write-protected here, is then replaced whole by exactly that
    // choice, and nothing is left beside it. A directory in place of a file
    // can be neither read nor replaced: a message, and the window goes on.
    void start_data() {
        QTest::addColumn<QByteArray>("inhalt");  // of SprecherNr.txt; "/name": a directory
        QTest::addColumn<QString>("ergebnis");   // voice chosen, message
        const QByteArray mb(1 << 20, '0');
        // clang-format off
        QTest::newRow("CR only") << QByteArray("1\r2\r") << "1 ";
        QTest::newRow("megabyte of digits") << "7" + mb + "\r\n" << "0 ";
        QTest::newRow("megabyte of zeros, then 2") << mb + "2\r\n" << "2 ";
        QTest::newRow("megabyte line before a 2") << "x" + mb + "\r\n2\r\n" << "0 ";
        QTest::newRow("voice file a directory") << QByteArray("/SprecherNr.txt") << "0 SprecherNr.txt lässt sich nicht speichern";
        QTest::newRow("log a directory") << QByteArray("/zeitnehmung.txt") << "0 zeitnehmung.txt lässt sich nicht öffnen";
        // clang-format on
    }
    void start() {
        QFETCH(QByteArray, inhalt);
        QFETCH(QString, ergebnis);
        QVERIFY(inhalt.startsWith('/') ? QDir().mkdir(inhalt.mid(1))
                                       : Schreiben("SprecherNr.txt", inhalt));
        QFile::setPermissions("SprecherNr.txt", QFile::ReadOwner);
        DateiDienst fs;
        Pruefstand p;
        Form1& f = p.Starten(&fs);
        QCOMPARE(QString::number(f.List_Sprecher->currentRow()) + ' ' + p.meldung.texte.join(""),
                 ergebnis);
        QCOMPARE(Inhalt("SprecherNr.txt"),
                 inhalt == "/SprecherNr.txt" ? "<none>" : ergebnis.left(1).toLatin1() + "\r\n");
        QCOMPARE(bool(f.A.Zeitnehmung), inhalt != "/zeitnehmung.txt");
        QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList({"SprecherNr.txt", "zeitnehmung.txt"}));
    }

    // Each press is on disk when it returns: a child process presses three
    // times and is killed at once; all three lines are in the file.
    void getoetetNachDemDruck() {
        QVERIFY(Schreiben("zeitnehmung.txt", AlteZeile));
        const pid_t kind = ::fork();
        if (kind == 0) {
            DateiDienst fs;
            Pruefstand p;
            Form1& f = p.Starten(&fs);
            for (int i = 0; i < 3; ++i) f.btn_ZeitSpeichern_Click();
            ::kill(::getpid(), SIGKILL);
            ::_exit(1);
        }
        int status = 0;
        QCOMPARE(::waitpid(kind, &status, 0), kind);
        QVERIFY(WIFSIGNALED(status));
        QCOMPARE(Inhalt("zeitnehmung.txt"), AlteZeile + Stempel(1) + Stempel(2) + Stempel(3));
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
        QByteArray erwartet = AlteZeile;
        QVERIFY(Schreiben("zeitnehmung.txt", erwartet));
        DateiDienst fs;
        Pruefstand p;
        Form1& f = p.Starten(&fs);
        QVERIFY(!Schreiben("fuellung", QByteArray(1 << 20, 'f')));  // fills the disk
        // The log's last page still has room for some lines; then four presses fail.
        int geschrieben = 0;
        while (p.meldung.texte.size() < 4 && geschrieben < 400) {
            f.btn_ZeitSpeichern_Click();
            if (p.meldung.texte.isEmpty()) erwartet += Stempel(++geschrieben);
        }
        QVERIFY(geschrieben > 0);
        QCOMPARE(p.meldung.texte, QStringList(4, "zeitnehmung.txt lässt sich nicht schreiben"));
        QCOMPARE(Inhalt("zeitnehmung.txt"), erwartet);
        QVERIFY(QFile::remove("fuellung"));
        f.btn_ZeitSpeichern_Click();
        QCOMPARE(Inhalt("zeitnehmung.txt"), erwartet + Stempel(geschrieben + 1));
    }
};

QTEST_MAIN(Dateien)
#include "test_dateien.moc"
