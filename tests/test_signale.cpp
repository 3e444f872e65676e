// SPDX-License-Identifier: GPL-3.0-or-later
// The end of the session: SIGTERM, SIGINT and SIGHUP close the window as the
// user's close does (the log is closed) and end the event loop with status 0,
// also while a message box waits in a loop of its own; after that no box is
// shown any more. A signal ignored from the start (nohup) stays ignored.
#include <QMessageBox>
#include <QtTest>
#include <csignal>

#include "app/Plattform.h"
#include "app/SignalEnde.h"
#include "support/Fakes.h"

class Signale : public QObject {
    Q_OBJECT
private slots:
    void beenden_data() {
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("mitMeldung");  // "Zeitpunkt vorbei" is open meanwhile
        QTest::addColumn<bool>("ignoriert");   // ignored from the start, as under nohup
        QTest::newRow("SIGTERM") << int(SIGTERM) << false << false;
        QTest::newRow("SIGINT") << int(SIGINT) << false << false;
        QTest::newRow("SIGHUP") << int(SIGHUP) << false << false;
        QTest::newRow("SIGTERM, box open") << int(SIGTERM) << true << false;
        QTest::newRow("SIGHUP, box open") << int(SIGHUP) << true << false;
        QTest::newRow("SIGHUP under nohup, then SIGTERM") << int(SIGHUP) << false << true;
    }
    void beenden() {
        QFETCH(int, signal);
        QFETCH(bool, mitMeldung);
        QFETCH(bool, ignoriert);
        if (ignoriert) ::signal(signal, SIG_IGN);
        auto zuruecksetzen = qScopeGuard([signal] { ::signal(signal, SIG_DFL); });
        SignalEnde ende;
        QVERIFY(!SignalEnde::Angefordert());
        Pruefstand p;
        Form1& f = p.Starten();
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        f.btn_ZeitSpeichern_Click();
        Meldungsfenster meldung;
        bool meldungZurueck = false;
        if (mitMeldung) {
            QTimer::singleShot(0, [&] {
                meldung.MsgBox("Zeitpunkt vorbei");
                meldungZurueck = true;
            });
        }
        QTimer::singleShot(50, [signal] { ::raise(signal); });
        bool nachIgnoriertemOffen = false;
        if (ignoriert) {
            QTimer::singleShot(300, [&] {
                nachIgnoriertemOffen = f.isVisible();
                ::raise(SIGTERM);
            });
        }
        // Should the signal not end the loop, the test fails instead of hanging.
        QTimer notbremse;
        notbremse.setSingleShot(true);
        connect(&notbremse, &QTimer::timeout, [] { QCoreApplication::exit(1); });
        notbremse.start(10000);
        QCOMPARE(QCoreApplication::exec(), 0);
        QCOMPARE(nachIgnoriertemOffen, ignoriert);
        QVERIFY(SignalEnde::Angefordert());
        QCOMPARE(meldungZurueck, mitMeldung);
        QVERIFY(!f.isVisible());
        QVERIFY(!f.A.Zeitnehmung);  // closed by the unload
        QCOMPARE(p.Log(), QByteArray("01 05.12.2026 10:00:00,00\r\n"));

        // The program is ending: a box asked for now is not shown.
        bool boxGesehen = false;
        QTimer::singleShot(0, [&] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                boxGesehen = true;
                box->close();
            }
        });
        meldung.MsgBox("zeitnehmung.txt lässt sich nicht öffnen");
        QCoreApplication::processEvents();
        QVERIFY(!boxGesehen);
    }
};

QTEST_MAIN(Signale)
#include "test_signale.moc"
