// SPDX-License-Identifier: GPL-3.0-or-later
// The countdown's arithmetic without a window: the day-number scale, the split
// of a span into hours, minutes and seconds, the warning text, and the guards
// of the spoken schedule.
#include <QtTest>

#include "countdown/Countdown.h"
#include "support/Fakes.h"

namespace {
// Independent reference: Qt's Julian day (counted from noon) shifted to the
// midnight-based Modified Julian Date.
double MjdReferenz(QDate d) { return double(d.toJulianDay() - 2400001); }
}  // namespace

class CountdownRechnungTest : public QObject {
    Q_OBJECT
private slots:
    void mjdPruefwerte() {
        QCOMPARE(MjdAusDatum(17, 11, 1858, 0), 0.0);
        QCOMPARE(MjdAusDatum(1, 1, 2000, 0), 51544.0);
        QCOMPARE(MjdAusDatum(5, 12, 2026, 12.5), 61379.0 + 12.5 / 24.0);
        // Every day of the years the clock can show, against the reference.
        for (QDate d(2000, 1, 1); d.year() < 2100; d = d.addDays(1)) {
            if (MjdAusDatum(qint16(d.day()), qint16(d.month()), qint16(d.year()), 0) !=
                MjdReferenz(d))
                QFAIL(qPrintable(d.toString(Qt::ISODate)));
        }
    }

    void mjdJetztAusEinerLesung() {
        FakeUhr uhr;
        uhr.Setze(2026, 12, 5, 12, 30, 0, 999);  // milliseconds do not count
        const int vorher = uhr.lesungen;
        QCOMPARE(MjdJetzt(uhr), 61379.0 + 12.5 / 24.0);
        QCOMPARE(uhr.lesungen, vorher + 1);
        // The year is 2000 + its last two digits.
        QCOMPARE(MjdAusLesung({QStringLiteral("01.01.1999"), QStringLiteral("00:00:00")}),
                 MjdReferenz(QDate(2099, 1, 1)));
    }

    void zeitZerlegen_data() {
        QTest::addColumn<float>("zeit");
        QTest::addColumn<QString>("hms");
        QTest::newRow("3599.5 s: both carries") << float(3599.5 / 3600.0) << "1 0 0";
        QTest::newRow("112.5 s: half to even") << float(1 / 32.0) << "0 1 52";
        QTest::newRow("negative held at 0") << -1.0f << "0 0 0";
    }
    void zeitZerlegen() {
        QFETCH(float, zeit);
        QFETCH(QString, hms);
        qint16 h = -1, m = -1, s = -1;
        ZeitZerlegen(zeit, h, m, s);
        QCOMPARE(QStringLiteral("%1 %2 %3").arg(h).arg(m).arg(s), hms);
    }

    void zeitZerlegenJedeGanzeSekundeBis48Stunden() {
        for (int t = 0; t <= 48 * 3600; ++t) {
            qint16 h, m, s;
            ZeitZerlegen(float(t / 3600.0), h, m, s);
            if (h * 3600 + m * 60 + s != t || m > 59 || s > 59)
                QFAIL(
                    qPrintable(QStringLiteral("%1 s gives %2:%3:%4").arg(t).arg(h).arg(m).arg(s)));
        }
    }

    void zuWeitText_data() {
        QTest::addColumn<QString>("ort");
        QTest::addColumn<double>("stunden");
        QTest::addColumn<QString>("zahl");
        QTest::newRow("rounding carries into the hours") << "C" << 9.996 << "010.00";
        QTest::newRow("no grouping above 999") << "de_DE" << 1234.5 << "1234,50";
    }
    void zuWeitText() {
        QFETCH(QString, ort);
        QFETCH(double, stunden);
        QFETCH(QString, zahl);
        QCOMPARE(ZuWeitText(stunden, QLocale(ort)),
                 "Zeit bis zum Ereignis noch " + zahl + "Stunden. Countdown nicht sinnvoll");
    }

    // Nothing is said without a voice, with speech off, or beyond the hour guard.
    void ansageNurMitSprache() {
        AppState A;
        const double zehn = 10.0 / 3600.0;
        A.SprachAusgabeAn = True16;
        RestZeitAnsage(zehn, A);
        auto stimme = std::make_unique<FakeStimme>(1);
        FakeStimme* s = stimme.get();
        A.Stimme = std::move(stimme);
        RestZeitAnsage(6.0, A);
        A.SprachAusgabeAn = False16;
        RestZeitAnsage(zehn, A);
        QCOMPARE(s->auftraege.size(), 0);
        A.SprachAusgabeAn = True16;
        RestZeitAnsage(zehn, A);
        QCOMPARE(s->auftraege.size(), 1);
    }
};

QTEST_GUILESS_MAIN(CountdownRechnungTest)
#include "test_countdown_rechnung.moc"
