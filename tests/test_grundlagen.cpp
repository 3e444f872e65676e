// SPDX-License-Identifier: GPL-3.0-or-later
// The pure rules the window rests on, without a window: the countdown's day
// numbers and the split of a span, the guards of the spoken schedule, the
// summer-time rule in the clock line, the one-second tick, the stamp line, and
// how clock times and dates are worded for speech. (Reading numbers from text
// is proven by the fuzz corpus, test_fuzzkorpus.)
#include <QtTest>

#include "app/SekundenTakt.h"
#include "clock/Zeitanzeige.h"
#include "countdown/Countdown.h"
#include "log/Zeitnehmung.h"
#include "speech/Aussprache.h"
#include "support/Fakes.h"

class Grundlagen : public QObject {
    Q_OBJECT
private slots:
    // Every day of the years the clock can show, against Qt's Julian day
    // (counted from noon) shifted to the midnight-based scale; the year read
    // from a date is 2000 + its last two digits.
    void tagesnummern() {
        auto referenz = [](QDate d) { return double(d.toJulianDay() - 2400001); };
        for (QDate d(2000, 1, 1); d.year() < 2100; d = d.addDays(1)) {
            if (MjdAusDatum(qint16(d.day()), qint16(d.month()), qint16(d.year()), 0) != referenz(d))
                QFAIL(qPrintable(d.toString(Qt::ISODate)));
        }
        QCOMPARE(MjdAusDatum(5, 12, 2026, 12.5), referenz(QDate(2026, 12, 5)) + 12.5 / 24.0);
        QCOMPARE(MjdAusLesung({"01.01.1999", "00:00:00"}), referenz(QDate(2099, 1, 1)));
    }

    // The carries of a span just below a whole minute, halves to even, and
    // every whole second up to 48 hours split exactly.
    void zeitZerlegen() {
        auto hms = [](float zeit) {
            qint16 h = -1, m = -1, s = -1;
            ZeitZerlegen(zeit, h, m, s);
            return QStringLiteral("%1 %2 %3").arg(h).arg(m).arg(s);
        };
        QCOMPARE(hms(float(3599.5 / 3600.0)), "1 0 0");
        QCOMPARE(hms(1 / 32.0f), "0 1 52");  // 112.5 s
        QCOMPARE(hms(-1.0f), "0 0 0");
        for (int t = 0; t <= 48 * 3600; ++t) {
            if (hms(float(t / 3600.0)) !=
                QStringLiteral("%1 %2 %3").arg(t / 3600).arg(t / 60 % 60).arg(t % 60))
                QFAIL(
                    qPrintable(QStringLiteral("%1 s gives %2").arg(t).arg(hms(float(t / 3600.0)))));
        }
    }

    // The warning's number: rounding carries into the hours, no grouping.
    void zuWeitText() {
        const QString text =
            QStringLiteral("Zeit bis zum Ereignis noch %1Stunden. Countdown nicht sinnvoll");
        QCOMPARE(ZuWeitText(9.996, QLocale::c()), text.arg("010.00"));
        QCOMPARE(ZuWeitText(1234.5, QLocale(QLocale::German, QLocale::Germany)),
                 text.arg("1234,50"));
    }

    // Nothing is said without a voice, with speech off, or 5 hours or more ahead.
    void ansageNurMitSprache() {
        AppState A;
        const double zehn = 10.0 / 3600.0;
        A.SprachAusgabeAn = True16;
        RestZeitAnsage(zehn, A);
        A.Stimme = std::make_unique<FakeStimme>(1);
        auto* s = static_cast<FakeStimme*>(A.Stimme.get());
        RestZeitAnsage(6.0, A);
        A.SprachAusgabeAn = False16;
        RestZeitAnsage(zehn, A);
        QCOMPARE(s->auftraege.size(), 0);
        A.SprachAusgabeAn = True16;
        RestZeitAnsage(zehn, A);
        QCOMPARE(s->auftraege.size(), 1);
    }

    // The clock line through every day of five years, against the calendar:
    // summer time exactly from the last Sunday of March 02:00 to the last
    // Sunday of October 01:59:59.
    void sommerzeit() {
        for (int jahr : {2026, 2027, 2028, 2030, 2035}) {
            auto letzterSonntag = [&](int monat, int stunde) {
                QDate d(jahr, monat, 31);
                while (d.dayOfWeek() != 7) d = d.addDays(-1);
                return QDateTime(d, QTime(stunde, 0), Qt::UTC);
            };
            FakeUhr uhr;
            for (QDate d(jahr, 1, 1); d.year() == jahr; d = d.addDays(1)) {
                for (QTime zeit : {QTime(0, 0), QTime(1, 59, 59), QTime(2, 0), QTime(23, 59, 59)}) {
                    const QDateTime t(d, zeit, Qt::UTC);
                    uhr.Setze(t);
                    const bool sommer = t >= letzterSonntag(3, 2) && t < letzterSonntag(10, 2);
                    QCOMPARE(Zeitzeile(uhr.Lesen()),
                             t.toString("dd.MM.yyyy HH:mm:ss") + (sommer ? " MESZ" : " MEZ"));
                }
            }
        }
    }

    // Driven by a fake clock that follows the timer, up to 2 ms late or 7 ms
    // early, the tick comes exactly once in every clock second, whatever the
    // start phase.
    void taktJedeSekundeGenauEinmal() {
        FakeUhr uhr;
        for (int phase : {0, 1, 333, 994, 995, 996, 999}) {
            uhr.Setze(2026, 12, 5, 10, 0, 0, phase);
            QTime vorher;
            for (int i = 0; i < 600; ++i) {
                uhr.Weiter(MsBisZumNaechstenTakt(uhr.Lesen().sekunden) + (i * 7) % 10 - 7);
                const double s = uhr.Lesen().sekunden;
                if (s - std::floor(s) > 0.9) uhr.Weiter(MsBisZumNaechstenTakt(s));
                const QTime jetzt = QTime::fromString(uhr.Lesen().zeit, "HH:mm:ss");
                QVERIFY2(i == 0 || vorher.secsTo(jetzt) == 1, qPrintable(jetzt.toString()));
                vorher = jetzt;
            }
        }
    }

    // Hundredths truncated, never rounded, and exact for x.29.
    void stempelZeile_data() {
        QTest::addColumn<int>("nummer");
        QTest::addColumn<int>("ms");
        QTest::addColumn<QString>("zeile");
        QTest::newRow("first") << 1 << 500 << "01 05.12.2026 14:03:27,50";
        QTest::newRow("whole second") << 99 << 0 << "99 05.12.2026 14:03:27,00";
        QTest::newRow("truncated") << 100 << 999 << "100 05.12.2026 14:03:27,99";
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

    // A whole, valid clock time or date is said in words; anything else, the
    // countdown's phrases included, as it is.
    void aussprache_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("worte");
        for (auto [text, worte] : std::initializer_list<std::pair<const char*, const char*>>{
                 {"00:00:00", "null Uhr"},
                 {"01:00:00", "ein Uhr"},
                 {"21:00:00", "einundzwanzig Uhr"},
                 {"14:03:27", "vierzehn Uhr drei und siebenundzwanzig Sekunden"},
                 {"01:01:01", "ein Uhr eins und eine Sekunde"},
                 {"14:00:05", "vierzehn Uhr und fünf Sekunden"},
                 {"12:30:00", "zwölf Uhr dreißig"},
                 {"01.01.2027", "erster Januar zweitausendsiebenundzwanzig"},
                 {"03.03.2026", "dritter März zweitausendsechsundzwanzig"},
                 {"07.04.2026", "siebter April zweitausendsechsundzwanzig"},
                 {"20.09.2026", "zwanzigster September zweitausendsechsundzwanzig"},
                 {"31.12.1999", "einunddreißigster Dezember neunzehnhundertneunundneunzig"}})
            QTest::newRow(text) << QString::fromUtf8(text) << QString::fromUtf8(worte);
        for (const char* t :
             {"Noch 90 Sekunden", "10", "24:00:00", "12:60:00", "12:00:60", "1:02:03", "12:00",
              " 12:00:00", "32.01.2026", "00.05.2026", "05.13.2026", "05.12.26", "١٢:٠٠:٠٠"})
            QTest::newRow(t) << QString::fromUtf8(t) << QString::fromUtf8(t);
    }
    void aussprache() {
        QFETCH(QString, text);
        QFETCH(QString, worte);
        QCOMPARE(Aussprache::fuerSprache(text), worte);
    }
};

QTEST_GUILESS_MAIN(Grundlagen)
#include "test_grundlagen.moc"
