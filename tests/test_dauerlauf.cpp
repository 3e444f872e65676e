// SPDX-License-Identifier: GPL-3.0-or-later
// A long run: 48 hours of one-second ticks on the fake clock, with the clock
// line, duration countdowns started every ten minutes (some run out, some are
// stopped early), the seconds beat switched on and off, announcements and time
// stamps. The window must keep working and its memory must not grow.
#include <malloc.h>
#include <unistd.h>

#include <QtTest>

#include "support/Fakes.h"

namespace {
// Resident memory in bytes, with freed heap given back, so only live memory counts.
qint64 Resident() {
    QCoreApplication::sendPostedEvents();
    ::malloc_trim(0);
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) return -1;
    return statm.readAll().split(' ').value(1).toLongLong() * ::sysconf(_SC_PAGESIZE);
}
}  // namespace

class Dauerlauf : public QObject {
    Q_OBJECT
private slots:
    void achtundvierzigStunden() {
        Pruefstand p;
        Form1& f = p.Starten();
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        SetzeWert(f.Check_Dauer, 1);
        SetzeWert(f.Check_MldVorbei, 1);
        f.Combo_S->setEditText(QStringLiteral("30"));
        int gestoppt = 0, meldungen = 0, gesprochen = 0;
        qint64 nachAufwaermen = 0;
        for (int t = 1; t <= 48 * 3600; ++t) {
            p.uhr.Weiter(1000);
            f.Timer_Zeitanzeige_Timer();
            if (f.Timer_OccRestZeit->IstAn()) f.Timer_OccRestZeit_Timer();
            if (t % 600 == 0) {
                // Start 2 to 12 minutes and 30 s, or stop a longer one still running.
                if (f.A.CountDownLaeuft != 0)
                    ++gestoppt;
                else
                    f.Combo_M->setEditText(QString::asprintf("%02d", 2 + (t / 600) % 11));
                f.Command_Start_Click();
            }
            if (t % 1000 == 0) (t / 1000) % 2 ? f.Command1_Click() : f.Command2_Click();
            if (t % 900 == 0) f.btn_ZeitSpeichern_Click();
            if (t % 1800 == 0) f.Command_Datumsansage_Click();
            if (t % 3600 == 1800) f.Command_Zeitansage_Click();
            if (t % 60 == 0) {
                // Empty the fakes' records, so the run measures the window.
                gesprochen += int(std::exchange(p.Stimme()->auftraege, {}).size());
                meldungen += int(std::exchange(p.meldung.texte, {}).size());
                p.dateien.dateien[QStringLiteral("zeitnehmung.txt")].clear();
                QCoreApplication::sendPostedEvents();  // paints, deferred deletes
            }
            if (t == 2 * 3600) nachAufwaermen = Resident();
        }
        const qint64 amEnde = Resident();

        // The run did what it was meant to do: every start ran out with its
        // message or was stopped by a press.
        QCOMPARE(f.Label_Zeitanzeige->text(), "07.12.2026 10:00:00 MEZ");
        QVERIFY(gestoppt > 20 && meldungen > 100 && gesprochen > 3000 && p.signalton.piepse > 1000);
        QCOMPARE(meldungen + 2 * gestoppt + int(f.A.CountDownLaeuft != 0), 48 * 6);
        QCOMPARE(f.A.StempelZaehler, 48 * 4);
        qInfo("resident after warm-up %.2f MiB, after 48 h %.2f MiB", nachAufwaermen / 1048576.0,
              amEnde / 1048576.0);
#ifdef __SANITIZE_ADDRESS__
        QSKIP("resident memory under AddressSanitizer includes its quarantine");
#endif
        QVERIFY2(nachAufwaermen > 0 && amEnde - nachAufwaermen < 2 * 1048576, "memory grew");
    }
};

QTEST_MAIN(Dauerlauf)
#include "test_dauerlauf.moc"
