// A long run: 48 hours of one-second ticks on the fake clock, with the clock
// line, duration countdowns started every ten minutes (some run out, some are
// stopped early), the seconds beat switched on and off, announcements and time
// stamps. The window must keep working and its memory must not grow.
#include <malloc.h>
#include <unistd.h>

#include <QtTest>

#include "support/Fakes.h"

#if defined(__SANITIZE_ADDRESS__)
#define MIT_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MIT_ASAN 1
#endif
#endif

namespace {
// Resident memory of this process in bytes.
qint64 Resident() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) return -1;
    const QList<QByteArray> felder = statm.readAll().split(' ');
    return felder.size() > 1 ? felder[1].toLongLong() * ::sysconf(_SC_PAGESIZE) : -1;
}

// Resident memory with freed heap given back, so only live memory counts.
qint64 Gemessen() {
    QCoreApplication::sendPostedEvents();
    ::malloc_trim(0);
    return Resident();
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

        constexpr int Stunde = 3600;
        constexpr int Ende = 48 * Stunde;
        constexpr int Aufwaermen = 2 * Stunde;
        int gestartet = 0, abgebrochen = 0, abgelaufen = 0, gesprochen = 0, meldungen = 0;
        qint64 nachAufwaermen = 0;
        QList<qint64> stuendlich;
        bool liefVorher = false;

        for (int t = 1; t <= Ende; ++t) {
            p.uhr.Weiter(1000);
            f.Timer_Zeitanzeige_Timer();
            if (f.Timer_OccRestZeit->Enabled()) f.Timer_OccRestZeit_Timer();
            const bool laeuft = f.A.CountDownLaeuft != 0;
            if (liefVorher && !laeuft) ++abgelaufen;
            liefVorher = laeuft;

            if (t % 600 == 0) {
                if (laeuft) {
                    f.Command_Start_Click();  // stopped before its end
                    ++abgebrochen;
                } else {
                    // 2 to 12 minutes and 30 s: the longer ones meet the next press.
                    const int minuten = 2 + (t / 600) % 11;
                    f.Combo_M->setEditText(QString::asprintf("%02d", minuten));
                    f.Combo_S->setEditText(QStringLiteral("30"));
                    f.Command_Start_Click();
                    ++gestartet;
                }
                liefVorher = f.A.CountDownLaeuft != 0;
            }
            if (t % 1000 == 0) (t / 1000) % 2 ? f.Command1_Click() : f.Command2_Click();
            if (t % 900 == 0) f.btn_ZeitSpeichern_Click();
            if (t % 1800 == 0) f.Command_Datumsansage_Click();
            if (t % Stunde == 1800) f.Command_Zeitansage_Click();
            if (t % 60 == 0) {
                // Empty the fakes' records, so the run measures the window,
                // not the test's own bookkeeping.
                gesprochen += int(p.Stimme()->auftraege.size());
                p.Stimme()->auftraege.clear();
                meldungen += int(p.meldung.texte.size());
                p.meldung.texte.clear();
                p.dateien.dateien[QStringLiteral("zeitnehmung.txt")].clear();
                QCoreApplication::sendPostedEvents();  // paints, deferred deletes
            }
            if (t == Aufwaermen) nachAufwaermen = Gemessen();
            if (t % Stunde == 0) stuendlich << Gemessen();
        }
        const qint64 amEnde = Gemessen();

        // The run did what it was meant to do.
        QCOMPARE(f.Label_Zeitanzeige->text(), "07.12.2026 10:00:00 MEZ");
        QCOMPARE(gestartet + abgebrochen, Ende / 600);
        QVERIFY(abgelaufen > 100 && abgebrochen > 20);
        QCOMPARE(meldungen, abgelaufen);  // "Zeitpunkt vorbei" after each expiry
        QVERIFY(gesprochen > 100 * 30);
        QCOMPARE(f.A.StempelZaehler, Ende / 900);
        QVERIFY(p.signalton.piepse > 1000);

        QStringList mib;
        for (qint64 r : stuendlich) mib << QString::number(r / 1048576.0, 'f', 1);
        qInfo("resident MiB per simulated hour: %s", qPrintable(mib.join(u' ')));
        qInfo("after warm-up %.2f MiB, after 48 h %.2f MiB, growth %.3f MiB",
              nachAufwaermen / 1048576.0, amEnde / 1048576.0,
              (amEnde - nachAufwaermen) / 1048576.0);
#ifdef MIT_ASAN
        QSKIP(
            "resident memory under AddressSanitizer includes its quarantine; "
            "leaks are LeakSanitizer's to find here");
#endif
        QVERIFY(nachAufwaermen > 0);
        QVERIFY2(amEnde - nachAufwaermen < 2 * 1048576, "memory grew during the run");
    }
};

QTEST_MAIN(Dauerlauf)
#include "test_dauerlauf.moc"
