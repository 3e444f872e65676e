// SPDX-License-Identifier: GPL-3.0-or-later
// The window on fake services, each test in an empty working directory of its
// own: the moment a stamp names, the wait of "Ansage Zeit" (and a signal's
// end held behind it). (The end by a signal with a box open, and under nohup:
// the end-to-end scenario signal.) On the real file
// service: a line that survives the process being killed right after the
// press, and a disk that fills up.
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAccessible>
#include <QtTest>
#include <csignal>

#include "Plattform.h"
#include "SignalEnde.h"
#include "Warten.h"
#include "support/Fakes.h"
#include "support/Tabelle.h"

namespace {
QAccessibleInterface* Zugang(QWidget* w) { return QAccessible::queryAccessibleInterface(w); }
bool Zeigen(Form1& f) {
    f.show();
    return QTest::qWaitForWindowActive(&f);
}
const QByteArray AlteZeile = "01 04.12.2026 09:00:00,00\r\n";
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
}  // namespace

class Fenster : public QObject {
    Q_OBJECT
    std::optional<QTemporaryDir> arbeit_;  // the working directory of the test running
    bool eingehaengt_ = false;

private slots:
    void init() { QVERIFY(QDir::setCurrent(arbeit_.emplace().path())); }
    void cleanup() {
        if (std::exchange(eingehaengt_, false)) ::umount(qPrintable(arbeit_->path()));
        QDir::setCurrent("/");
    }

    // Each press is on disk when it returns: a child process presses three
    // times and is killed at once; all three lines are in the file.
    void getoetetNachDemDruck() {
        QVERIFY(Schreiben("zeitnehmung.txt", AlteZeile));
        const pid_t kind = ::fork();
        if (kind == 0) {
            DateiDienst fs;
            Pruefstand p;
            Ansicht& f = p.Starten(&fs);
            for (int i = 0; i < 3; ++i) f->btn_ZeitSpeichern_Click();
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
        if (::mount("tmpfs", qPrintable(arbeit_->path()), "tmpfs", 0, "size=64k") != 0)
            QSKIP("mounting a tmpfs is not allowed here");
        eingehaengt_ = true;
        QVERIFY(QDir::setCurrent(arbeit_->path()));  // into the mounted disk, not the one beneath
        QByteArray erwartet = AlteZeile;
        QVERIFY(Schreiben("zeitnehmung.txt", erwartet));
        DateiDienst fs;
        Pruefstand p;
        Ansicht& f = p.Starten(&fs);
        QVERIFY(!Schreiben("fuellung", QByteArray(1 << 20, 'f')));  // fills the disk
        // The log's last page still has room for some lines; then four presses fail.
        int geschrieben = 0;
        while (p.meldung.texte.size() < 4 && geschrieben < 400) {
            f->btn_ZeitSpeichern_Click();
            if (p.meldung.texte.isEmpty()) erwartet += Stempel(++geschrieben);
        }
        QVERIFY(geschrieben > 0);
        QCOMPARE(p.meldung.texte, QStringList(4, "zeitnehmung.txt lässt sich nicht schreiben"));
        QCOMPARE(Inhalt("zeitnehmung.txt"), erwartet);
        QVERIFY(QFile::remove("fuellung"));
        f->btn_ZeitSpeichern_Click();
        QCOMPARE(Inhalt("zeitnehmung.txt"), erwartet + Stempel(geschrieben + 1));
    }

    // A stamp is the moment the button went down, however late the press is
    // handled; a press without an input event (a screen reader's action), or
    // one whose time stamp is more than a minute old or not of the input
    // clock, is stamped when handled. Date, time and hundredths agree; the
    // hundredths are truncated, also where the seconds times 100 fall just
    // below the whole number. Stamps are numbered past 16 bits.
    void stempelZeit_data() {
        // How it is pressed, how long before it is handled (ms), the time stamped.
        QTest::addColumn<QString>("druck");
        QTest::newRow("mouse, handled 4.2 s late") << "Maus 4200 05.12.2026 23:59:58,30";
        QTest::newRow("Enter, across midnight") << "Enter 2600 05.12.2026 23:59:59,90";
        QTest::newRow("space bar, a minute old") << "Leertaste 60000 05.12.2026 23:59:02,50";
        QTest::newRow("older than a minute") << "Maus 60001 06.12.2026 00:00:02,50";
        QTest::newRow("stamped ahead of its handling") << "Maus -5 06.12.2026 00:00:02,50";
        QTest::newRow("screen reader's action, no input event")
            << "Aktion 0 06.12.2026 00:00:02,50";
        QTest::newRow("hundredths truncated, not rounded") << "Maus 2501 05.12.2026 23:59:59,99";
        QTest::newRow("hundredths where the seconds times 100 fall short")
            << "Leertaste 490 06.12.2026 00:00:02,01";
        QTest::newRow("the same at 0.29 s") << "Enter 2210 06.12.2026 00:00:00,29";
    }
    void stempelZeit() {
        QFETCH(QString, druck);
        const QString wie = druck.section(' ', 0, 0);
        Pruefstand p;
        Ansicht& f = p.Starten();
        p.uhr.Setze(2026, 12, 6, 0, 0, 2, 500);
        for (int i = 0; i < 32767; ++i) f->btn_ZeitSpeichern_Click();
        p.dateien.dateien.clear();
        QWidget* knopf = f.btn_ZeitSpeichern;
        for (bool runter : {true, false}) {
            std::unique_ptr<QInputEvent> e;
            if (wie == "Maus")
                e = std::make_unique<QMouseEvent>(
                    runter ? QEvent::MouseButtonPress : QEvent::MouseButtonRelease, QPointF(5, 5),
                    knopf->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                    runter ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
            else if (wie != "Aktion")
                e = std::make_unique<QKeyEvent>(runter ? QEvent::KeyPress : QEvent::KeyRelease,
                                                wie == "Enter" ? Qt::Key_Return : Qt::Key_Space,
                                                Qt::NoModifier);
            else if (runter)
                Zugang(knopf)->actionInterface()->doAction(
                    QAccessibleActionInterface::pressAction());
            if (!e) continue;
            e->setTimestamp(p.uhr.eingabeUhr - quint64(druck.section(' ', 1, 1).toLongLong()));
            QApplication::sendEvent(knopf, e.get());
        }
        QTRY_COMPARE(p.Log(), "32768 " + druck.section(' ', 2).toLatin1() + "\r\n");
    }

    // "Ansage Zeit" waits for its phrase (here 500 ms) in the event loop: a
    // screen reader's query (a call posted to the window's thread, as the
    // accessibility bus delivers it) is served meanwhile; a
    // click, an accessibility action, a clock tick and the end by signal are
    // held and handled after the phrase, in the order they came.
    void warten() {
        Pruefstand p;
        Ansicht& f = p.Starten();
        SignalEnde ende;
        QVERIFY(Zeigen(*f.form));
        f.Timer_Zeitanzeige->Schalten(false);
        f.Label_Zeitanzeige->clear();
        p.Stimme()->beimSprechen = [](ErledigungPtr e) {
            QTimer::singleShot(500, [e] { e->Melden(); });
        };
        QStringList verlauf;
        auto merken = [&](const QString& wann) {
            verlauf << QStringLiteral("%1: %2 %3 %4 %5 %6")
                           .arg(wann, QApplication::focusWidget()->objectName())
                           .arg(p.Log().count("\r\n"))
                           .arg(f.Label_Zeitpunkt->text(),
                                f.Label_Zeitanzeige->text().isEmpty() ? "-" : "tick")
                           .arg(f->isVisible());
        };
        QTimer::singleShot(50, [&] {
            QMetaObject::invokeMethod(
                f.form, [&] { merken(Zugang(f.Command_Start)->text(QAccessible::Name)); },
                Qt::QueuedConnection);
        });
        QTimer::singleShot(100, [&] {
            QTest::keyClick(f->windowHandle(), Qt::Key_Tab);
            QTest::mouseClick(f->windowHandle(), Qt::LeftButton, {},
                              f.btn_ZeitSpeichern->geometry().center());
            Warten::OderNachher([&] { merken("click"); });
            Zugang(f.Check_Dauer)
                ->actionInterface()
                ->doAction(QAccessibleActionInterface::toggleAction());
            Warten::OderNachher([&] { merken("action"); });
            p.uhr.Setze(2026, 12, 5, 10, 0, 0, 850);
            f.Timer_Zeitanzeige->Schalten(true);  // due in 155 ms
        });
        QTimer::singleShot(300, [&] {
            Warten::OderNachher([&] { merken("tick"); });
            ::raise(SIGTERM);
        });
        f->Command_Zeitansage_Click();
        merken("phrase over");
        QTRY_VERIFY(!f->isVisible());
        // The Tab moves the focus after the phrase, from "start" to "stop";
        // the click then gives it to "Zeit speichern".
        QCOMPARE(verlauf, QStringList({"Timer Start: Command1 0 Zeitpunkt - 1",
                                       "phrase over: Command1 0 Zeitpunkt - 1",
                                       "click: btn_ZeitSpeichern 1 Zeitpunkt - 1",
                                       "action: btn_ZeitSpeichern 1 ZeitDauer - 1",
                                       "tick: btn_ZeitSpeichern 1 ZeitDauer tick 1"}));
    }
};

QTEST_MAIN(Fenster)
#include "test_fenster.moc"
