// The pure rules the window rests on: reading numbers from text, the summer-time
// rule and the clock line, the aiming of the one-second ticks, the stamp line.
#include <QtTest>
#include <cfloat>

#include "app/SekundenTakt.h"
#include "app/ZahlAusText.h"
#include "clock/Zeitanzeige.h"
#include "log/Zeitnehmung.h"
#include "speech/Sprecherwahl.h"
#include "support/Fakes.h"

class Grundlagen : public QObject {
    Q_OBJECT
private slots:
    void zahlAusText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("wert");
        QTest::newRow("plain") << "12" << 12.0;
        QTest::newRow("leading zero") << "05" << 5.0;
        QTest::newRow("comma is no decimal sign") << "1,5" << 1.0;
        QTest::newRow("colon stops") << "12:30" << 12.0;
        QTest::newRow("letters") << "abc" << 0.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("blank between digits") << "1 5" << 15.0;
        QTest::newRow("tab and line feed inside") << "\t1\n2 .5" << 12.5;
        QTest::newRow("fraction") << "7.5" << 7.5;
        QTest::newRow("minus") << "-3" << -3.0;
        QTest::newRow("blank after sign") << " - 3" << -3.0;
        QTest::newRow("plus") << "+4" << 4.0;
        QTest::newRow("two signs") << "--3" << 0.0;
        QTest::newRow("lone point") << "." << 0.0;
        QTest::newRow("point first") << ".25" << 0.25;
        QTest::newRow("point last") << "3." << 3.0;
        QTest::newRow("second point stops") << "1.2.3" << 1.2;
        QTest::newRow("no exponent") << "1e9" << 1.0;
        QTest::newRow("carriage return stops") << "2\r" << 2.0;
        QTest::newRow("letters after number") << "23abc" << 23.0;
        QTest::newRow("minus zero") << "-0" << 0.0;
        QTest::newRow("NaN is text") << "NaN" << 0.0;
        QTest::newRow("long digits") << QString(30, u'9') << 1e30;
        QTest::newRow("far too long") << QString(400, u'9') << DBL_MAX;
        QTest::newRow("tiny") << "0." + QString(400, u'0') + "1" << 0.0;
    }
    void zahlAusText() {
        QFETCH(QString, text);
        QFETCH(double, wert);
        QCOMPARE(ZahlAusText(text), wert);
    }

    void rundeAuf16Bit_data() {
        QTest::addColumn<double>("wert");
        QTest::addColumn<bool>("gueltig");
        QTest::addColumn<int>("ergebnis");
        QTest::newRow("2.5 to even") << 2.5 << true << 2;
        QTest::newRow("3.5 to even") << 3.5 << true << 4;
        QTest::newRow("-0.5") << -0.5 << true << 0;
        QTest::newRow("upper bound") << 32767.0 << true << 32767;
        QTest::newRow("lower bound") << -32768.0 << true << -32768;
        QTest::newRow("rounds over the top") << 32767.5 << false << 0;
        QTest::newRow("too small") << -32769.0 << false << 0;
        QTest::newRow("huge") << DBL_MAX << false << 0;
    }
    void rundeAuf16Bit() {
        QFETCH(double, wert);
        QFETCH(bool, gueltig);
        QFETCH(int, ergebnis);
        short r = 0;
        QCOMPARE(RundeAuf16Bit(wert, r), gueltig);
        if (gueltig) QCOMPARE(int(r), ergebnis);
    }

    // The rule by its inputs: the worked examples and the edge hours.
    void sommerzeitRegel_data() {
        QTest::addColumn<int>("M");
        QTest::addColumn<int>("T");
        QTest::addColumn<int>("H");
        QTest::addColumn<int>("WD");
        QTest::addColumn<bool>("sommer");
        QTest::newRow("25.03.2026 Wed") << 3 << 25 << 12 << 4 << false;
        QTest::newRow("28.03.2026 Sat") << 3 << 28 << 23 << 7 << false;
        QTest::newRow("29.03.2026 Sun 01h") << 3 << 29 << 1 << 1 << false;
        QTest::newRow("29.03.2026 Sun 03h") << 3 << 29 << 3 << 1 << true;
        QTest::newRow("30.03.2026 Mon") << 3 << 30 << 0 << 2 << true;
        QTest::newRow("28.03.2027 Sun 02h") << 3 << 28 << 2 << 1 << true;
        QTest::newRow("24.10.2026 Sat") << 10 << 24 << 12 << 7 << true;
        QTest::newRow("25.10.2026 Sun 01h") << 10 << 25 << 1 << 1 << true;
        QTest::newRow("25.10.2026 Sun 02h") << 10 << 25 << 2 << 1 << false;
        QTest::newRow("26.10.2026 Mon") << 10 << 26 << 0 << 2 << false;
        QTest::newRow("25.10.2027 Mon") << 10 << 25 << 12 << 2 << true;
        QTest::newRow("30.10.2027 Sat") << 10 << 30 << 12 << 7 << true;
        QTest::newRow("31.10.2027 Sun 01h") << 10 << 31 << 1 << 1 << true;
        QTest::newRow("31.10.2027 Sun 02h") << 10 << 31 << 2 << 1 << false;
        QTest::newRow("1 April") << 4 << 1 << 0 << 4 << true;
        QTest::newRow("30 September") << 9 << 30 << 23 << 4 << true;
        QTest::newRow("1 November") << 11 << 1 << 12 << 1 << false;
        QTest::newRow("24 March") << 3 << 24 << 12 << 3 << false;
    }
    void sommerzeitRegel() {
        QFETCH(int, M);
        QFETCH(int, T);
        QFETCH(int, H);
        QFETCH(int, WD);
        QFETCH(bool, sommer);
        QCOMPARE(SommerzeitRegel(M, T, H, WD) != 0, sommer);
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
        QTest::newRow("worked example") << t(2026, 12, 5, 7, 0, 0) << "05.12.2026 07:00:00 MEZ";
        QTest::newRow("Oct 2026 last summer second")
            << t(2026, 10, 25, 1, 59, 59) << "25.10.2026 01:59:59 MESZ";
        QTest::newRow("Oct 2026 first winter second")
            << t(2026, 10, 25, 2, 0, 0) << "25.10.2026 02:00:00 MEZ";
        QTest::newRow("Mar 2026 last winter second")
            << t(2026, 3, 29, 1, 59, 59) << "29.03.2026 01:59:59 MEZ";
        QTest::newRow("Mar 2026 first summer second")
            << t(2026, 3, 29, 2, 0, 0) << "29.03.2026 02:00:00 MESZ";
        QTest::newRow("Oct 2027 on the 31st, before")
            << t(2027, 10, 31, 1, 59, 59) << "31.10.2027 01:59:59 MESZ";
        QTest::newRow("Oct 2027 on the 31st, after")
            << t(2027, 10, 31, 2, 0, 0) << "31.10.2027 02:00:00 MEZ";
        QTest::newRow("Oct 2027 the 25th is summer")
            << t(2027, 10, 25, 23, 0, 0) << "25.10.2027 23:00:00 MESZ";
        QTest::newRow("Mar 2030 on the 31st, before")
            << t(2030, 3, 31, 1, 59, 59) << "31.03.2030 01:59:59 MEZ";
        QTest::newRow("Mar 2030 on the 31st, after")
            << t(2030, 3, 31, 2, 0, 0) << "31.03.2030 02:00:00 MESZ";
        QTest::newRow("Mar 2030 the 30th is winter")
            << t(2030, 3, 30, 23, 59, 59) << "30.03.2030 23:59:59 MEZ";
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
        QTest::newRow("just after a tick") << 100.005 << 995 + TaktVorhaltMs;
        QTest::newRow("mid second") << 100.5 << 500 + TaktVorhaltMs;
        QTest::newRow("just before") << 100.999 << 1 + TaktVorhaltMs;
        QTest::newRow("last ms of the day") << 86399.999 << 1 + TaktVorhaltMs;
        QTest::newRow("midnight") << 0.0 << 1000 + TaktVorhaltMs;
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

    void hundertstel_data() {
        QTest::addColumn<double>("sekunden");
        QTest::addColumn<int>("h");
        QTest::newRow("whole") << 50607.0 << 0;
        QTest::newRow("one decimal") << 50607.5 << 50;
        QTest::newRow("truncated, not rounded") << 50607.996 << 99;
        QTest::newRow("two decimals") << 50608.47 << 47;
        QTest::newRow("x.29 is not 28") << 50608.29 << 29;
        QTest::newRow("before 02:46:40") << 9000.125 << 12;
        QTest::newRow("last of the day") << 86399.999 << 99;
    }
    void hundertstel() {
        QFETCH(double, sekunden);
        QFETCH(int, h);
        QCOMPARE(Hundertstel(sekunden), h);
    }

    void stempelZeile_data() {
        QTest::addColumn<int>("nummer");
        QTest::addColumn<int>("ms");
        QTest::addColumn<QString>("zeile");
        QTest::newRow("first") << 1 << 500 << "01 05.12.2026 14:03:27,50";
        QTest::newRow("ninety-ninth") << 99 << 0 << "99 05.12.2026 14:03:27,00";
        QTest::newRow("hundredth") << 100 << 470 << "100 05.12.2026 14:03:27,47";
        QTest::newRow("past 16 bits") << 32768 << 999 << "32768 05.12.2026 14:03:27,99";
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
