// SPDX-License-Identifier: GPL-3.0-or-later
// The countdown and the rules beneath the window. In the window: entry
// correction, the first tick and the 5.1-hour limit, whole countdowns second
// by second against the spoken schedule and the expiry, and the countdown's
// state as its listeners hear it with the warning about a far target; the
// clock is a fake that the test moves, the tick procedure is called directly,
// as the timer would. Without a window: the day numbers, the split of a span,
// the summer-time rule in the clock line, the instant of a request from outside,
// and the kept fuzz corpus of reading numbers from text and of SprecherNr.txt
// at start-up.
#include <QtTest>

#include "Anwendungsdienst.h"
#include "Countdown.h"
#include "Eigenschaften.h"
#include "Zeitanzeige.h"
#include "support/Fakes.h"
#include "support/Tabelle.h"

namespace {

using Plan = QList<QPair<int, QString>>;

// A window with the entry "HH MM SS [day [duration switch]] [@start]" typed
// into its lists; the clock at the start (ISO date and time) when given, else
// at 5 Dec 2026 10:00.
Ansicht& Einrichten(Pruefstand& p, const QString& eingabe) {
    if (eingabe.contains(u'@'))
        p.uhr.Setze(QDateTime::fromString(eingabe.section(u'@', 1), Qt::ISODate));
    Ansicht& f = p.Starten();
    const QStringList t = eingabe.section(u'@', 0, 0).trimmed().split(u' ');
    const QList<QComboBox*> listen{f.Combo_H, f.Combo_M, f.Combo_S, f.Combo_Morgen};
    for (int i = 0; i < qMin(t.size(), 4); ++i) listen[i]->setEditText(t[i]);
    if (t.size() > 4) SetzeWert(f.Check_Dauer, t[4].toInt());
    return f;
}

// One tick, `sekunden` after the last.
void Takt(Pruefstand& p, int sekunden = 1) {
    p.uhr.Weiter(1000 * sekunden);
    p.form->Timer_OccRestZeit_Timer();
}

// The kept fuzz corpus of a target (fuzz/corpus/<target>/), one row per input.
void KorpusZeilen(const QString& ziel) {
    QTest::addColumn<QByteArray>("eingabe");
    const QString ordner = QFINDTESTDATA("../fuzz/corpus/" + ziel);
    QVERIFY2(!ordner.isEmpty() && !QDir(ordner).isEmpty(), "fuzz corpus not found or empty");
    for (const QString& name : QDir(ordner).entryList(QDir::Files, QDir::Name)) {
        QFile datei(ordner + u'/' + name);
        QVERIFY(datei.open(QIODevice::ReadOnly));
        QTest::newRow(qPrintable(name)) << datei.readAll();
    }
}

}  // namespace

class CountdownTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }

    // Each entry is corrected in place and counted in hours.
    void eingabe_data() {
        QTest::addColumn<QString>("fall");  // typed, then as corrected = hours
        QTest::newRow("24 h becomes 23") << "24 30 00 > 23 30 00 = 23.5";
        QTest::newRow("-3 min becomes 00") << "01 -3 00 > 01 00 00 = 1";
        QTest::newRow("60 s becomes 59") << "00 00 60 > 00 00 59 = 0.0163888888888889";
        QTest::newRow("23.5 h becomes 23") << "23.5 00 00 > 23 00 00 = 23";
        QTest::newRow("7.5 h kept with its fraction") << "7.5 00 00 > 7.5 00 00 = 7.5";
        QTest::newRow("letters kept, count 0") << "00 00 abc > 00 00 abc = 0";
        QTest::newRow("12:30 kept, counts 12") << "00 12:30 00 > 00 12:30 00 = 0.2";
    }
    void eingabe() {
        QFETCH(QString, fall);
        Pruefstand p;
        Ansicht& f = Einrichten(p, fall.section(" > ", 0, 0));
        const QString liste = f.Combo_H->currentText() + ' ' + f.Combo_M->currentText() + ' ';
        QCOMPARE(
            liste + f.Combo_S->currentText() + " = " + QString::number(f.A().EingabeZeit, 'g', 15),
            fall.section(" > ", 1));
    }

    // What the first tick at the same instant as the start shows, warns (the
    // number of hours) and says. Exactly 5.1 h left gives the warning, whatever
    // the rounding of the day numbers at that time.
    void ersterTakt_data() {
        // The entry | display | message | speech.
        Tabelle(R"(
14:00 at 10:00           | 14 00 00 Heute                        | in 04:00:00 |  | 'Noch 4 Stunden'
tomorrow, 31 Dec         | 07 15 00 Morgen @2026-12-31T07:15:00   | in 24:00:00 | 024,00 |
duration, Morgen ignored | 01 30 00 Morgen 1 @2026-12-05T23:00:00 | in 01:30:00 |        |
past                     | 00 00 00                   |             | Zeitpunkt vorbei |
5.1 h at 18:53:51        | 23 59 51 @2026-12-05T18:53:51 | in 05:06:00 | 005,10 |
5:05:59                  | 15 05 59                   | in 05:05:59 |        |
)");
    }
    void ersterTakt() {
        QFETCH(QStringList, fall);
        Pruefstand p;
        Ansicht& f = Einrichten(p, fall.takeFirst());
        SetzeWert(f.Check_MldVorbei, 1);
        f->Command_Start_Click();
        Takt(p, 0);
        QString meldung = p.meldung.texte.join(u'/');
        meldung.remove("Zeit bis zum Ereignis noch ").remove("Stunden. Countdown nicht sinnvoll");
        QCOMPARE(QStringList({f.Text_RestZeit->text().trimmed(), meldung, p.ton.join(u'/')}), fall);
    }

    // Whole countdowns from 5:00:06 before the target to the expiry tick: the
    // phrase said in each second (seconds left, negative after the target),
    // each placed a second ahead at that second's boundary (one request each,
    // nothing else said), the display at some seconds, the expiry's box, one
    // beat per tick.
    void ganzerCountdown_data() {
        // The entry | beat on, end message.
        Tabelle(R"(
duration, beat, end message | 05 00 06 Heute 1                     | beat end
tomorrow over New Year      | 04 00 00 Morgen @2026-12-31T22:59:54 |
)");
    }
    void ganzerCountdown() {
        QFETCH(QStringList, fall);
        const QString schalter = fall[1];
        const bool schlag = schalter.contains("beat");
        Pruefstand p;
        Ansicht& f = Einrichten(p, fall[0]);
        SetzeWert(f.Check_MldVorbei, schalter.contains("end") ? 1 : 0);
        (schlag ? f.Command1 : f.Command2)->click();
        Plan plan, anzeige;
        for (int h = 5; h >= 1; --h)
            plan.append(
                {h * 3600, h > 1 ? QStringLiteral("Noch %1 Stunden").arg(h) : "Noch eine Stunde"});
        for (int m : {45, 30, 15, 10, 9, 8, 7, 6, 5, 4, 3, 2})
            plan.append({m * 60, QStringLiteral("Noch %1 Minuten").arg(m)});
        for (int s = 90; s >= 20; s -= 10)
            plan.append({s, QStringLiteral("Noch %1 Sekunden").arg(s)});
        for (int s = 10; s >= -10; --s) plan.append({s, QString::number(std::abs(s))});
        // The expiry box: display emptied, tick off and label hidden before it;
        // caption and beat after it.
        p.meldung.waehrendOffen = [&] {
            anzeige.append({0, QStringLiteral("box '%1' %2 %3 %4 %5")
                                   .arg(f.Text_RestZeit->text(), f.Command_Start->text())
                                   .arg(f.Timer_OccRestZeit->IstAn())
                                   .arg(f.Label_akti->isHidden())
                                   .arg(p.signalton.piepse)});
        };
        const int start = p.uhr.jetzt.time().second();
        f->Command_Start_Click();
        int rest = 18006;  // seconds left, after the first tick 5:00:05
        while (f.Timer_OccRestZeit->IstAn() && rest > -100) {
            Takt(p);
            --rest;
            if (QList<int>{18005, 3661, 3600, 3599, 0, -1, -10, -11}.contains(rest))
                anzeige.append({rest, f.Text_RestZeit->text()});
        }
        // The first tick at or below -10.5 s ends it: 10 s after is still running.
        QStringList gesprochen;
        for (const auto& [r, text] : plan)
            gesprochen << QStringLiteral("'%1'@%2").arg(text).arg((start + 18006 - r) % 60, 2, 10,
                                                                  QChar(u'0'));
        QCOMPARE(p.ton.filter(QRegularExpression("^'")), gesprochen);
        Plan erwartet = {{18005, " in 05:00:05"}, {3661, " in 01:01:01"}, {3600, " in 01:00:00"},
                         {3599, " in 00:59:59"},  {0, " in 00:00:00"},    {-1, " in 00:00:01"},
                         {-10, " in 00:00:10"}};
        if (schalter.contains("end")) erwartet.append({0, "box '' Timer Stop 0 1 18016"});
        QCOMPARE(anzeige, erwartet << qMakePair(-11, QString()));
        QCOMPARE(f.Command_Start->text() + QString::number(f.A().CountDownLaeuft) +
                     QString::number(f.Label_akti->isHidden()),
                 "Timer Start00");
        QCOMPARE(p.signalton.piepse, schlag ? 18017 : 0);  // the expiry tick too
    }

    // The countdown-state service hears "running" exactly while the tick runs:
    // from the start to a stop, a halt by the entry or the expiry tick, and
    // "stopped" when the window closes. A halt stops only the tick: the next
    // press stops the countdown, the one after starts anew. While a box is
    // open the state and whether the spoken countdown is ticked are noted in
    // brackets, and a tick meanwhile is dropped: the warning about a far
    // target comes once, and is cleared only when its box closes. The sounds
    // of the coming second are placed at its boundary (logged as in Fakes.h),
    // from the start on, and taken back by a stop, a halt, the close, and a
    // tick that reads another second; that tick sounds its own at once. The
    // beat, speech, the spoken countdown and the voice place or take back
    // theirs; the expiry's beat is placed unless a box comes first.
    // Steps: press (the start/stop button), halt (a typed entry), day (the
    // day list chosen), tickN (N seconds on, then one tick), again (the
    // spoken countdown ticked again), box (the end message wanted), beat and
    // nobeat (the beat's buttons), speechoff, countdownoff, voice (the second
    // voice chosen), close.
    void countdownStatus_data() {
        // The entry | the steps | every report (1 running, 0 stopped) | every sound.
        Tabelle(R"(
start, stop                | 00 00 30 Heute 1 | press tick1 press                        | 10  |
halt, stop, start anew     | 00 00 30 Heute 1 | press tick1 halt tick1 press press tick1 | 101 |
halts repeated, day chosen | 00 00 30 Heute 1 | press halt halt day press halt           | 10  |
clock steps, expiry without box   | 00 00 02 Heute 1 | press tick5 tick5 tick5     | 10
    | '1'@01 -'1'@01 '3' '4'@06 -'4'@06 '8' '9'@11 -'9'@11
expiry with box: let go before it | 00 00 02 Heute 1 | box press tick5 tick5 tick5 | 10[0 1]
    | '1'@01 -'1'@01 '3' '4'@06 -'4'@06 '8' '9'@11 -'9'@11
far target: ticked again, warned again | 20 00 00 | press tick1 again tick1 tick1 | 1[1 1][1 1] |
target long past         | 00 00 00         | press tick1              | 10 |
closed while running     | 00 10 00 Heute 1 | press tick1 close        | 10 |
closed while idle        | 00 10 00 Heute 1 | press press close        | 10 |
never started            | 00 10 00         | halt day close           |    |
beat off and on          | 00 00 05 Heute 1 | beat press nobeat beat   | 1  | K@01 '4'@01 -K@01 K@01
speech off               | 00 00 05 Heute 1 | press speechoff          | 1  | '4'@01 -'4'@01
spoken countdown off, on | 00 00 05 Heute 1 | press countdownoff again | 1  | '4'@01 -'4'@01 '4'@01
another voice            | 00 00 05 Heute 1 | press voice              | 1 | '4'@01 -'4'@01 '4'/1@01
beat and number, stopped | 00 00 05 Heute 1@2026-12-05T10:00:00.500 | beat press tick1 press | 10
    | K@01 '4'@01 K@02 '3'@02 -K@02 -'3'@02
a tick four seconds late | 00 00 05 Heute 1 | beat press tick1 tick5 | 1
    | K@01 '4'@01 K@02 '3'@02 -K@02 -'3'@02 '1' K K@07 '2'@07
expiry beat on its boundary   | 00 00 00 Heute@2026-12-05T00:00:10 | beat press tick1     | 10| K@11
box wanted in the last second | 00 00 00 Heute@2026-12-05T00:00:10 | beat press box tick1 | 10[0 1]
    | K@11 -K@11 K
)");
    }
    void countdownStatus() {
        QFETCH(QStringList, fall);
        Pruefstand p;
        Ansicht& f = Einrichten(p, fall[0]);
        QCOMPARE(p.countdown.verlauf, QString());  // start-up holds nothing
        p.meldung.waehrendOffen = [&] {
            p.countdown.verlauf +=
                QStringLiteral("[%1 %2]").arg(p.countdown.laeuft).arg(Wert(f.Check_CountDown));
            Takt(p);  // dropped while the box is open
        };
        for (const QString& s : fall[1].split(u' ')) {
            if (s == "box") SetzeWert(f.Check_MldVorbei, 1);
            if (s == "again") SetzeWert(f.Check_CountDown, 1);
            if (s == "countdownoff") SetzeWert(f.Check_CountDown, 0);
            if (s == "speechoff") SetzeWert(f.Check_SprachAusgabe, 0);
            if (s == "voice") f.List_Sprecher->setCurrentRow(1);
            if (s == "beat" || s == "nobeat") (s == "beat" ? f.Command1 : f.Command2)->click();
            if (s == "press") f->Command_Start_Click();
            if (s == "halt") f.Combo_S->setEditText(f.Combo_S->currentText() + u'0');
            if (s == "day") f->Combo_Morgen_Click();
            if (s.startsWith("tick")) Takt(p, s.mid(4).toInt());
            if (s == "close") p.form.reset();
            if (!p.form) break;
            QCOMPARE(p.countdown.laeuft, f.Timer_OccRestZeit->IstAn());
        }
        QCOMPARE(p.countdown.verlauf, fall[2]);
        QCOMPARE(p.ton.join(u' '), fall[3]);
    }

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

    // The clock line through every day of five years, against the calendar:
    // summer time exactly from the last Sunday of March 02:00 to the last
    // Sunday of October 01:59:59.
    void sommerzeit() {
        FakeUhr uhr;
        for (int jahr : {2026, 2027, 2028, 2030, 2035}) {
            QDate maerz(jahr, 3, 31), oktober(jahr, 10, 31);
            while (maerz.dayOfWeek() != 7) maerz = maerz.addDays(-1);
            while (oktober.dayOfWeek() != 7) oktober = oktober.addDays(-1);
            for (QDate d(jahr, 1, 1); d.year() == jahr; d = d.addDays(1)) {
                for (QTime zeit : {QTime(0, 0), QTime(1, 59, 59), QTime(2, 0), QTime(23, 59, 59)}) {
                    const QDateTime t(d, zeit, Qt::UTC);
                    uhr.Setze(t);
                    const bool sommer = t >= QDateTime(maerz, QTime(2, 0), Qt::UTC) &&
                                        t < QDateTime(oktober, QTime(2, 0), Qt::UTC);
                    QCOMPARE(Zeitzeile(uhr.Lesen()),
                             t.toString("dd.MM.yyyy HH:mm:ss") + (sommer ? " MESZ" : " MEZ"));
                }
            }
        }
    }

    // The instant of a request from outside, from its platform data, for one
    // arriving 100 s after the epoch: a number of microseconds 0 to 60 s old;
    // anything else leaves the time of handling to count.
    void anfrageZeit_data() {
        // The type and value of its time, "-" none | the instant taken, -1: none.
        Tabelle(R"(
missing                        | -          |                      | -1
now, int64                     | qlonglong  | 100000000            | 100000000
60 s old, int32                | int        | 40000000             | 40000000
a microsecond older            | qlonglong  | 39999999             | -1
in the future                  | qlonglong  | 100000001            | -1
uint64 beyond int64            | qulonglong | 18446744073709551615 | -1
double, cut to the microsecond | double     | 99999997.5           | 99999997
NaN                            | double     | nan                  | -1
digits in a text               | QString    | 100000000            | -1
)");
    }
    void anfrageZeit() {
        QFETCH(QStringList, fall);
        QVariantMap daten{{"activation-token", "x"}};
        QVariant zeit(fall[1]);
        if (zeit.convert(QMetaType::fromName(fall[0].toLatin1()))) daten.insert("zeit", zeit);
        QCOMPARE(daten.size(), fall[0] == "-" ? 1 : 2);
        QCOMPARE(AnfrageZeit(daten, 100'000'000).value_or(-1), fall[2].toLongLong());
    }

    // The kept fuzz corpus replayed: every input found or collected while
    // fuzzing keeps its property, also in builds without libFuzzer. The number
    // rule: finite, and the same as an independent reading; the bytes count as
    // single-byte text and as UTF-16, as in the fuzz target.
    void zahl_data() { KorpusZeilen(QStringLiteral("zahl")); }
    void zahl() {
        QFETCH(QByteArray, eingabe);
        QCOMPARE(eigenschaften::ZahlPruefen(QString::fromLatin1(eingabe)), QString());
        QCOMPARE(eigenschaften::ZahlPruefen(QString(
                     reinterpret_cast<const QChar*>(eingabe.constData()), eingabe.size() / 2)),
                 QString());
    }

    // SprecherNr.txt at start-up: a valid entry that matches the file, or the
    // speech failure path with the file left alone.
    void sprecher_data() { KorpusZeilen(QStringLiteral("sprecher")); }
    void sprecher() {
        QFETCH(QByteArray, eingabe);
        QCOMPARE(eigenschaften::SprecherEingabePruefen(eingabe), QString());
    }
};

QTEST_MAIN(CountdownTest)
#include "test_countdown.moc"
