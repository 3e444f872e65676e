// SPDX-License-Identifier: GPL-3.0-or-later
// The pure rules the window rests on: reading numbers from text, the summer-time
// rule and the clock line, the aiming of the one-second ticks, the stamp line.
#include <QtTest>
#include <cfloat>

#include "app/SekundenTakt.h"
#include "app/ZahlAusText.h"
#include "clock/Zeitanzeige.h"
#include "log/Zeitnehmung.h"
#include "support/Fakes.h"

class Grundlagen : public QObject {
    Q_OBJECT
private slots:
    void zahlAusText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("wert");
        QTest::newRow("leading zero") << "05" << 5.0;
        QTest::newRow("comma is no decimal sign") << "1,5" << 1.0;
        QTest::newRow("colon stops") << "12:30" << 12.0;
        QTest::newRow("letters") << "abc" << 0.0;
        QTest::newRow("blanks, tab, line feed inside") << " 1 \t5\n.5" << 15.5;
        QTest::newRow("blank after sign") << " - 3" << -3.0;
        QTest::newRow("two signs") << "--3" << 0.0;
        QTest::newRow("lone point") << "." << 0.0;
        QTest::newRow("point first") << ".25" << 0.25;
        QTest::newRow("second point stops") << "1.2.3" << 1.2;
        QTest::newRow("no exponent") << "1e9" << 1.0;
        QTest::newRow("far too long") << QString(400, u'9') << DBL_MAX;
        QTest::newRow("tiny") << "0." + QString(400, u'0') + "1" << 0.0;
    }
    void zahlAusText() {
        QFETCH(QString, text);
        QFETCH(double, wert);
        QCOMPARE(ZahlAusText(text), wert);
    }

    // The clock line from real dates, so the weekday comes from the calendar:
    // the switch seconds on both last Sundays, in years whose last October
    // Sunday falls on the 25th and on the 31st.
    void zeitzeile_data() {
        QTest::addColumn<QDateTime>("jetzt");
        QTest::addColumn<QString>("zeile");
        auto t = [](int y, int mo, int d, int h, int mi, int s) {
            return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
        };
        QTest::newRow("winter") << t(2026, 12, 5, 7, 0, 0) << "05.12.2026 07:00:00 MEZ";
        QTest::newRow("Oct 2027 on the 31st, before")
            << t(2027, 10, 31, 1, 59, 59) << "31.10.2027 01:59:59 MESZ";
        QTest::newRow("Oct 2027 on the 31st, after")
            << t(2027, 10, 31, 2, 0, 0) << "31.10.2027 02:00:00 MEZ";
        QTest::newRow("Mar 2026 first summer second")
            << t(2026, 3, 29, 2, 0, 0) << "29.03.2026 02:00:00 MESZ";
    }
    void zeitzeile() {
        QFETCH(QDateTime, jetzt);
        QFETCH(QString, zeile);
        FakeUhr uhr;
        uhr.Setze(jetzt);
        QCOMPARE(Zeitzeile(uhr.Lesen()), zeile);
    }

    // Every day of several years: summer exactly from the last March Sunday
    // 02:00 to the last October Sunday 01:59:59, checked against the calendar.
    void sommerzeitUeberJahre() {
        for (int jahr : {2026, 2027, 2028, 2030, 2035}) {
            auto letzterSonntag = [&](int monat) {
                QDate d(jahr, monat, 31);
                while (d.dayOfWeek() != 7) d = d.addDays(-1);
                return d;
            };
            const QDateTime beginn(letzterSonntag(3), QTime(2, 0), Qt::UTC);
            const QDateTime ende(letzterSonntag(10), QTime(2, 0), Qt::UTC);
            for (QDate d(jahr, 1, 1); d.year() == jahr; d = d.addDays(1)) {
                for (int stunde : {0, 1, 2, 3, 12, 23}) {
                    const QDateTime t(d, QTime(stunde, 30), Qt::UTC);
                    FakeUhr uhr;
                    uhr.Setze(t);
                    const bool erwartet = t >= beginn && t < ende;
                    QVERIFY2((IstSommerzeit(uhr.Lesen()) != 0) == erwartet,
                             qPrintable(t.toString(Qt::ISODate)));
                }
            }
        }
    }

    // From any point in a second the next tick lands just after the next boundary.
    void taktZielen_data() {
        QTest::addColumn<double>("sekunden");
        QTest::addColumn<int>("ms");
        QTest::newRow("on the boundary") << 100.0 << 1000 + TaktVorhaltMs;
        QTest::newRow("mid second") << 100.5 << 500 + TaktVorhaltMs;
        QTest::newRow("just before") << 100.999 << 1 + TaktVorhaltMs;
        QTest::newRow("last ms of the day") << 86399.999 << 1 + TaktVorhaltMs;
    }
    void taktZielen() {
        QFETCH(double, sekunden);
        QFETCH(int, ms);
        QCOMPARE(MsBisZumNaechstenTakt(sekunden), ms);
    }

    // Driven by a fake clock that follows the timer, a long stretch of ticks
    // gives every clock second exactly one tick, whatever the start phase.
    void taktJedeSekundeGenauEinmal() {
        FakeUhr uhr;
        for (int phase : {0, 1, 333, 994, 995, 996, 999}) {
            uhr.Setze(2026, 12, 5, 10, 0, 0, phase);
            QStringList gesehen;
            for (int i = 0; i < 600; ++i) {
                // The timer fires up to 2 ms late or 7 ms early (a clock step).
                const int abweichung = (i * 7) % 10 - 7;
                uhr.Weiter(MsBisZumNaechstenTakt(uhr.Lesen().sekunden) + abweichung);
                double s = uhr.Lesen().sekunden;
                if (s - std::floor(s) > 0.9) uhr.Weiter(MsBisZumNaechstenTakt(s));
                gesehen << uhr.Lesen().zeit;
            }
            for (int i = 1; i < gesehen.size(); ++i) {
                const QTime a = QTime::fromString(gesehen[i - 1], "HH:mm:ss");
                const QTime b = QTime::fromString(gesehen[i], "HH:mm:ss");
                QVERIFY2(a.secsTo(b) == 1, qPrintable(gesehen[i - 1] + " -> " + gesehen[i]));
            }
        }
    }

    void stempelZeile_data() {
        QTest::addColumn<int>("nummer");
        QTest::addColumn<int>("ms");
        QTest::addColumn<QString>("zeile");
        QTest::newRow("first, one decimal") << 1 << 500 << "01 05.12.2026 14:03:27,50";
        QTest::newRow("whole second") << 99 << 0 << "99 05.12.2026 14:03:27,00";
        QTest::newRow("truncated, not rounded") << 100 << 999 << "100 05.12.2026 14:03:27,99";
        QTest::newRow("x.29 is not 28") << 7 << 290 << "07 05.12.2026 14:03:27,29";
        QTest::newRow("past 16 bits") << 32768 << 470 << "32768 05.12.2026 14:03:27,47";
    }
    void stempelZeile() {
        QFETCH(int, nummer);
        QFETCH(int, ms);
        QFETCH(QString, zeile);
        FakeUhr uhr;
        uhr.Setze(2026, 12, 5, 14, 3, 27, ms);
        QCOMPARE(StempelZeile(nummer, uhr.Lesen()), zeile);
    }
};

QTEST_MAIN(Grundlagen)
#include "test_grundlagen.moc"
