// SPDX-License-Identifier: GPL-3.0-or-later
// The pure rules the window rests on, without a window: the countdown's day
// numbers, the split of a span and the warning's number, the summer-time rule
// in the clock line, the stamp line, and how clock times and dates are worded
// for speech. (Reading numbers from text is proven by the fuzz corpus,
// test_fuzzkorpus.)
#include <QtTest>

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
        for (QDate d(2000, 1, 1); d.year() < 2100; d = d.addDays(1))
            QCOMPARE(MjdAusDatum(qint16(d.day()), qint16(d.month()), qint16(d.year()), 0),
                     referenz(d));
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
        for (int t = 0; t <= 48 * 3600; ++t)
            QCOMPARE(hms(float(t / 3600.0)),
                     QStringLiteral("%1 %2 %3").arg(t / 3600).arg(t / 60 % 60).arg(t % 60));
    }

    // The warning's number: rounding carries into the hours, no grouping.
    void zuWeitText() {
        const QString text =
            QStringLiteral("Zeit bis zum Ereignis noch %1Stunden. Countdown nicht sinnvoll");
        QCOMPARE(ZuWeitText(9.996, QLocale::c()), text.arg("010.00"));
        QCOMPARE(ZuWeitText(1234.5, QLocale(QLocale::German, QLocale::Germany)),
                 text.arg("1234,50"));
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

    // Hundredths truncated, never rounded, and exact for x.29; numbers past 16 bits.
    void stempelZeile() {
        FakeUhr uhr;
        QStringList zeilen;
        for (auto [nummer, ms] : {std::pair{1, 500}, {99, 0}, {100, 999}, {7, 290}, {32768, 470}}) {
            uhr.Setze(2026, 12, 5, 14, 3, 27, ms);
            zeilen << StempelZeile(nummer, uhr.Lesen());
        }
        QCOMPARE(zeilen, QStringList({"01 05.12.2026 14:03:27,50", "99 05.12.2026 14:03:27,00",
                                      "100 05.12.2026 14:03:27,99", "07 05.12.2026 14:03:27,29",
                                      "32768 05.12.2026 14:03:27,47"}));
    }

    // A whole, valid clock time or date is said in words; anything else, the
    // countdown's phrases included, as it is.
    void aussprache() {
        // clang-format off
        const QStringList texte = {
            "00:00:00", "null Uhr", "01:00:00", "ein Uhr", "21:00:00", "einundzwanzig Uhr",
            "14:03:27", "vierzehn Uhr drei und siebenundzwanzig Sekunden",
            "01:01:01", "ein Uhr eins und eine Sekunde", "14:00:05", "vierzehn Uhr und fünf Sekunden",
            "12:30:00", "zwölf Uhr dreißig", "01.01.2027", "erster Januar zweitausendsiebenundzwanzig",
            "03.03.2026", "dritter März zweitausendsechsundzwanzig",
            "07.04.2026", "siebter April zweitausendsechsundzwanzig",
            "20.09.2026", "zwanzigster September zweitausendsechsundzwanzig",
            "31.12.1999", "einunddreißigster Dezember neunzehnhundertneunundneunzig"};
        // clang-format on
        for (qsizetype i = 0; i < texte.size(); i += 2)
            QCOMPARE(Aussprache::fuerSprache(texte[i]), texte[i + 1]);
        for (const char* t :
             {"Noch 90 Sekunden", "10", "24:00:00", "12:60:00", "12:00:60", "1:02:03", "12:00",
              " 12:00:00", "32.01.2026", "00.05.2026", "05.13.2026", "05.12.26", "١٢:٠٠:٠٠"})
            QCOMPARE(Aussprache::fuerSprache(QString::fromUtf8(t)), QString::fromUtf8(t));
    }
};

QTEST_GUILESS_MAIN(Grundlagen)
#include "test_grundlagen.moc"
