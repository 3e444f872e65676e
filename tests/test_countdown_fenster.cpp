// The countdown in the window: entry correction, start and stop, whole
// countdowns second by second against the spoken schedule, expiry, the warning
// about a far target, and the seconds beat. The clock is a fake that the test
// moves; the tick procedure is called directly, as the timer would.
#include <QDate>
#include <QtTest>

#include "countdown/Countdown.h"
#include "support/Fakes.h"

namespace {

double MjdReferenz(QDate d, double stunden = 0) {
    return double(d.toJulianDay() - 2400001) + stunden / 24.0;
}

void Eingeben(Form1& f, const QString& h, const QString& m, const QString& s) {
    f.Combo_H->setEditText(h);
    f.Combo_M->setEditText(m);
    f.Combo_S->setEditText(s);
}

// A window at the given time with the entry "HH MM SS", the day choice and the
// duration switch set.
Form1& Einrichten(Pruefstand& p, const QDateTime& jetzt, const QString& eingabe, const QString& tag,
                  int dauer) {
    p.uhr.Setze(jetzt);
    Form1& f = p.Starten();
    const QStringList t = eingabe.split(u' ');
    Eingeben(f, t[0], t[1], t[2]);
    f.Combo_Morgen->setEditText(tag);
    SetzeWert(f.Check_Dauer, dauer);
    return f;
}

// The spoken schedule, written out second by second: seconds left (negative
// after the target) and the phrase said in that second.
QList<QPair<int, QString>> Fahrplan() {
    QList<QPair<int, QString>> p;
    for (int h = 5; h >= 2; --h) p.append({h * 3600, QStringLiteral("Noch %1 Stunden").arg(h)});
    p.append({3600, QStringLiteral("Noch eine Stunde")});
    for (int m : {45, 30, 15}) p.append({m * 60, QStringLiteral("Noch %1 Minuten").arg(m)});
    for (int m = 10; m >= 2; --m) p.append({m * 60, QStringLiteral("Noch %1 Minuten").arg(m)});
    for (int s = 90; s >= 20; s -= 10) p.append({s, QStringLiteral("Noch %1 Sekunden").arg(s)});
    for (int s = 10; s >= 0; --s) p.append({s, QString::number(s)});
    for (int s = 1; s <= 10; ++s) p.append({-s, QString::number(s)});
    return p;
}

class WerfenderSignalton : public ISignalton {
public:
    void Beep() override { throw std::runtime_error("no audio"); }
};

}  // namespace

class CountdownFensterTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void eingabeKorrektur_data();
    void eingabeKorrektur();
    void aenderungHaeltLaufendenCountdownAn_data();
    void aenderungHaeltLaufendenCountdownAn();
    void dauerSchalter();
    void startBeispiele_data();
    void startBeispiele();
    void ganzerCountdown_data();
    void ganzerCountdown();
    void fernesZiel_data();
    void fernesZiel();
    void fernesZielMeldungNurEinmal();
    void keinVerschachtelterTaktWaehrendDerMeldung();
};

void CountdownFensterTest::initTestCase() {
    // The warning's number uses the locale's decimal separator.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

// ------------------------------------------------------------------ entry

void CountdownFensterTest::eingabeKorrektur_data() {
    // Texts typed into hours, minutes and seconds in this order ("|" between
    // them), the texts afterwards, and the entered hours.
    QTest::addColumn<QString>("getippt");
    QTest::addColumn<bool>("perKlick");  // seconds set silently, then their Click run
    QTest::addColumn<QString>("danach");
    QTest::addColumn<double>("stunden");
    QTest::newRow("24 h becomes 23") << "24|30|00" << false << "23|30|00" << 23.5;
    QTest::newRow("-3 min becomes 00") << "01|-3|00" << false << "01|00|00" << 1.0;
    QTest::newRow("23:59:59 accepted")
        << "23|59|59" << false << "23|59|59" << 23 + 59 / 60.0 + 59 / 3600.0;
    QTest::newRow("23.5 h becomes 23") << "23.5|00|00" << false << "23|00|00" << 23.0;
    QTest::newRow("7.5 h kept with its fraction") << "7.5|00|00" << false << "7.5|00|00" << 7.5;
    QTest::newRow("59.5 min becomes 59") << "00|59.5|00" << false << "00|59|00" << 59 / 60.0;
    QTest::newRow("letters kept, count 0") << "00|00|abc" << false << "00|00|abc" << 0.0;
    QTest::newRow("12:30 kept, counts 12") << "00|12:30|00" << false << "00|12:30|00" << 0.2;
    QTest::newRow("comma is no decimal point") << "1,5|00|00" << false << "1,5|00|00" << 1.0;
    QTest::newRow("Click corrects too") << "05|00|99" << true << "05|00|59" << 5 + 59 / 3600.0;
    QTest::newRow("Click below zero") << "05|00|-1" << true << "05|00|00" << 5.0;
}

void CountdownFensterTest::eingabeKorrektur() {
    QFETCH(QString, getippt);
    QFETCH(bool, perKlick);
    QFETCH(QString, danach);
    QFETCH(double, stunden);
    Pruefstand p;
    Form1& f = p.Starten();
    const QStringList t = getippt.split(u'|');
    f.Combo_H->setEditText(t[0]);
    f.Combo_M->setEditText(t[1]);
    if (perKlick) {
        {
            QSignalBlocker still(f.Combo_S);
            f.Combo_S->setEditText(t[2]);
        }
        f.Combo_S_Click();
    } else {
        f.Combo_S->setEditText(t[2]);
    }
    QCOMPARE(
        QStringList({f.Combo_H->currentText(), f.Combo_M->currentText(), f.Combo_S->currentText()})
            .join(u'|'),
        danach);
    QCOMPARE(f.A.EingabeZeit, stunden);
    QVERIFY(p.meldung.texte.isEmpty());
}

void CountdownFensterTest::aenderungHaeltLaufendenCountdownAn_data() {
    QTest::addColumn<QString>("liste");
    QTest::addColumn<bool>("perKlick");
    QTest::newRow("hours typed") << "H" << false;
    QTest::newRow("minutes chosen") << "M" << true;
    QTest::newRow("seconds typed") << "S" << false;
    QTest::newRow("day typed") << "Morgen" << false;
    QTest::newRow("day chosen") << "Morgen" << true;
}

void CountdownFensterTest::aenderungHaeltLaufendenCountdownAn() {
    QFETCH(QString, liste);
    QFETCH(bool, perKlick);
    Pruefstand p;
    Form1& f = p.Starten();
    Eingeben(f, "11", "00", "00");
    f.Command_Start_Click();
    p.uhr.Weiter(1000);
    f.Timer_OccRestZeit_Timer();
    QCOMPARE(f.Text_RestZeit->text(), QStringLiteral(" in 00:59:59"));
    const double ziel = f.A.ZielZeit;

    QComboBox* box = liste == "H"   ? f.Combo_H
                     : liste == "M" ? f.Combo_M
                     : liste == "S" ? f.Combo_S
                                    : f.Combo_Morgen;
    const QString neu = liste == "Morgen" ? QStringLiteral("Morgen") : QStringLiteral("01");
    if (perKlick) {
        QSignalBlocker still(box);
        box->setEditText(neu);
    } else {
        box->setEditText(neu);
    }
    if (perKlick) {
        if (box == f.Combo_M) f.Combo_M_Click();
        if (box == f.Combo_Morgen) f.Combo_Morgen_Click();
    }

    // Halted: only the tick stopped.
    QCOMPARE(f.Text_RestZeit->text(), QString());
    QVERIFY(!f.Timer_OccRestZeit->Enabled());
    QCOMPARE(f.Command_Start->text(), QStringLiteral("Timer Stop"));
    QVERIFY(f.A.CountDownLaeuft != 0);
    QCOMPARE(f.A.ZielZeit, ziel);

    // The next press stops, the one after starts towards the new entry.
    f.Command_Start_Click();
    QCOMPARE(f.Command_Start->text(), QStringLiteral("Timer Start"));
    QCOMPARE(f.A.CountDownLaeuft, False16);
    QVERIFY(!f.Timer_OccRestZeit->Enabled());
    f.Command_Start_Click();
    QCOMPARE(f.Command_Start->text(), QStringLiteral("Timer Stop"));
    QVERIFY(f.Timer_OccRestZeit->Enabled());
    QVERIFY(f.A.ZielZeit != ziel);
}

void CountdownFensterTest::dauerSchalter() {
    Pruefstand p;
    Form1& f = p.Starten();
    QCOMPARE(f.Label_Zeitpunkt->text(), QStringLiteral("Zeitpunkt"));
    Eingeben(f, "00", "10", "00");
    f.Command_Start_Click();

    SetzeWert(f.Check_Dauer, 1);
    QCOMPARE(f.Label_Zeitpunkt->text(), QStringLiteral("ZeitDauer"));
    QVERIFY(!f.Combo_Morgen->isEnabled());
    SetzeWert(f.Check_Dauer, 0);
    QCOMPARE(f.Label_Zeitpunkt->text(), QStringLiteral("ZeitPunkt"));
    QVERIFY(f.Combo_Morgen->isEnabled());
    SetzeWert(f.Check_Dauer, 2);  // greyed counts as not ticked
    QCOMPARE(f.Label_Zeitpunkt->text(), QStringLiteral("ZeitPunkt"));
    QVERIFY(f.Combo_Morgen->isEnabled());

    // The switch does not touch a running countdown.
    QVERIFY(f.Timer_OccRestZeit->Enabled());
    QCOMPARE(f.A.EingabeZeit, 10 / 60.0);
}

// ------------------------------------------------------------------ start

void CountdownFensterTest::startBeispiele_data() {
    QTest::addColumn<QDateTime>("jetzt");
    QTest::addColumn<QString>("eingabe");  // "HH MM SS"
    QTest::addColumn<QString>("tag");
    QTest::addColumn<int>("dauer");
    QTest::addColumn<double>("ziel");
    QTest::addColumn<QString>("anzeige");  // of a tick at the same instant; empty = expired
    auto zeit = [](int j, int mo, int t, int h, int mi, int s) {
        return QDateTime(QDate(j, mo, t), QTime(h, mi, s), Qt::UTC);
    };
    const QDate nikolaus(2026, 12, 5);
    QTest::newRow("today 14:00 at 10:00")
        << zeit(2026, 12, 5, 10, 0, 0) << "14 00 00"
        << "Heute" << 0 << MjdReferenz(nikolaus, 14) << " in 04:00:00";
    QTest::newRow("tomorrow across the year")
        << zeit(2026, 12, 31, 7, 15, 0) << "07 15 00"
        << "Morgen" << 0 << 61406 + 7.25 / 24 << " in 24:00:00";
    QTest::newRow("tomorrow across 28 February") << zeit(2026, 2, 28, 0, 0, 0) << "00 00 00"
                                                 << "Morgen" << 0 << 61100.0 << " in 24:00:00";
    QTest::newRow("longest display")
        << zeit(2026, 12, 5, 0, 0, 0) << "23 59 59"
        << "Morgen" << 0 << MjdReferenz(nikolaus.addDays(1), 23 + 3599 / 3600.0) << " in 47:59:59";
    QTest::newRow("duration ignores Morgen")
        << zeit(2026, 12, 5, 23, 0, 0) << "01 30 00"
        << "Morgen" << 1 << MjdReferenz(nikolaus, 23) + 0.0625 << " in 01:30:00";
    QTest::newRow("duration with Heute")
        << zeit(2026, 12, 5, 23, 0, 0) << "01 30 00"
        << "Heute" << 1 << MjdReferenz(nikolaus, 23) + 0.0625 << " in 01:30:00";
    QTest::newRow("greyed is point in time")
        << zeit(2026, 12, 5, 10, 0, 0) << "14 00 00"
        << "Heute" << 2 << MjdReferenz(nikolaus, 14) << " in 04:00:00";
    QTest::newRow("only exact Morgen means tomorrow")
        << zeit(2026, 12, 5, 10, 0, 0) << "14 00 00"
        << "morgen" << 0 << MjdReferenz(nikolaus, 14) << " in 04:00:00";
    QTest::newRow("today's midnight is past") << zeit(2026, 12, 5, 10, 0, 0) << "00 00 00"
                                              << "Heute" << 0 << MjdReferenz(nikolaus) << "";
}

void CountdownFensterTest::startBeispiele() {
    QFETCH(QDateTime, jetzt);
    QFETCH(QString, eingabe);
    QFETCH(QString, tag);
    QFETCH(int, dauer);
    QFETCH(double, ziel);
    QFETCH(QString, anzeige);
    Pruefstand p;
    Form1& f = Einrichten(p, jetzt, eingabe, tag, dauer);
    SetzeWert(f.Check_MldVorbei, 1);
    f.SekundenschlagAus = False16;

    f.Command_Start_Click();
    QCOMPARE(f.Command_Start->text(), QStringLiteral("Timer Stop"));
    QCOMPARE(f.A.CountDownLaeuft, True16);
    QVERIFY(f.Timer_OccRestZeit->Enabled());
    QCOMPARE(f.Text_RestZeit->text(), QString());  // filled by the first tick
    QCOMPARE(f.A.ZielZeit, ziel);

    f.Timer_OccRestZeit_Timer();
    QCOMPARE(f.Text_RestZeit->text(), anzeige);
    QCOMPARE(p.signalton.piepse, 1);
    if (anzeige.isEmpty()) {
        QCOMPARE(p.meldung.texte, QStringList{QStringLiteral("Zeitpunkt vorbei")});
        QCOMPARE(f.Command_Start->text(), QStringLiteral("Timer Start"));
        QCOMPARE(f.A.CountDownLaeuft, False16);
        QVERIFY(!f.Timer_OccRestZeit->Enabled());
    } else {
        QVERIFY(f.Timer_OccRestZeit->Enabled());
    }
}

// ------------------------------------------------------------------ whole countdowns

void CountdownFensterTest::ganzerCountdown_data() {
    QTest::addColumn<QDateTime>("start");
    QTest::addColumn<QString>("eingabe");
    QTest::addColumn<QString>("tag");
    QTest::addColumn<int>("dauer");
    QTest::addColumn<bool>("sprache");
    QTest::addColumn<bool>("schlag");
    QTest::addColumn<bool>("mldVorbei");
    QTest::addColumn<bool>("stoerung");  // every speak request refused, every beep throws
    // Every row starts 5:00:06 before its target, so the first tick sees 5:00:05.
    const QDateTime zehnUhr(QDate(2026, 12, 5), QTime(10, 0, 0), Qt::UTC);
    const QDateTime silvester(QDate(2026, 12, 31), QTime(22, 59, 54), Qt::UTC);
    QTest::newRow("duration, speech, beat, end message")
        << zehnUhr << "05 00 06"
        << "Heute" << 1 << true << true << true << false;
    QTest::newRow("tomorrow across New Year, no beat, quiet end")
        << silvester << "04 00 00"
        << "Morgen" << 0 << true << false << false << false;
    QTest::newRow("speech off") << zehnUhr << "05 00 06"
                                << "Heute" << 1 << false << true << true << false;
    QTest::newRow("speech and beep fail") << zehnUhr << "05 00 06"
                                          << "Heute" << 1 << true << true << true << true;
}

void CountdownFensterTest::ganzerCountdown() {
    QFETCH(QDateTime, start);
    QFETCH(QString, eingabe);
    QFETCH(QString, tag);
    QFETCH(int, dauer);
    QFETCH(bool, sprache);
    QFETCH(bool, schlag);
    QFETCH(bool, mldVorbei);
    QFETCH(bool, stoerung);

    Pruefstand p;
    Form1& f = Einrichten(p, start, eingabe, tag, dauer);
    FakeStimme* stimme = p.Stimme();
    QVERIFY(stimme);
    QCOMPARE(Wert(f.Check_CountDown), 1);
    WerfenderSignalton werfend;
    if (stoerung) f.D.signalton = &werfend;
    stimme->sprechenScheitert = stoerung;
    if (!sprache) {
        // Speech off; the spoken countdown stays wanted, so the schedule runs
        // and only the speech switch keeps it silent.
        SetzeWert(f.Check_SprachAusgabe, 0);
        SetzeWert(f.Check_CountDown, 1);
    }
    SetzeWert(f.Check_MldVorbei, mldVorbei ? 1 : 0);
    f.SekundenschlagAus = schlag ? False16 : True16;

    // What the end looks like while "Zeitpunkt vorbei" is open.
    struct {
        bool gesehen = false;
        QString text, knopf;
        bool taktAn = true, labelSichtbar = true;
        Bool16 laeuft = 0;
        int piepse = -1;
    } offen;
    p.meldung.waehrendOffen = [&] {
        offen.gesehen = true;
        offen.text = f.Text_RestZeit->text();
        offen.knopf = f.Command_Start->text();
        offen.taktAn = f.Timer_OccRestZeit->Enabled();
        offen.labelSichtbar = !f.Label_akti->isHidden();
        offen.laeuft = f.A.CountDownLaeuft;
        offen.piepse = p.signalton.piepse;
    };

    const qsizetype vorher = stimme->auftraege.size();
    f.Command_Start_Click();
    QList<QPair<int, QString>> gesprochen;
    QMap<int, QString> anzeige;
    int rest = 18006;
    int ticks = 0;
    while (f.Timer_OccRestZeit->Enabled() && ticks < 20000) {
        p.uhr.Weiter(1000);
        --rest;
        const qsizetype davor = stimme->auftraege.size();
        f.Timer_OccRestZeit_Timer();
        ++ticks;
        // Never more than one request per tick, always queued.
        QVERIFY(stimme->auftraege.size() - davor <= 1);
        for (qsizetype i = davor; i < stimme->auftraege.size(); ++i) {
            gesprochen.append({rest, stimme->auftraege[i].text});
            QCOMPARE(stimme->auftraege[i].flags, SVSFlagsAsync);
        }
        anzeige[rest] = f.Text_RestZeit->text();
    }

    // The first tick at or below -10.5 s ends it: 10 s after is still running.
    QCOMPARE(rest, -11);
    QCOMPARE(ticks, 18005 + 11 + 1);
    if (sprache && !stoerung)
        QCOMPARE(gesprochen, Fahrplan());
    else
        QVERIFY(gesprochen.isEmpty());
    QCOMPARE(stimme->auftraege.size() - vorher, sprache && !stoerung ? Fahrplan().size() : 0);

    const QList<QPair<int, QString>> marken = {{18005, " in 05:00:05"}, {18000, " in 05:00:00"},
                                               {3661, " in 01:01:01"},  {3600, " in 01:00:00"},
                                               {3599, " in 00:59:59"},  {60, " in 00:01:00"},
                                               {0, " in 00:00:00"},     {-1, " in 00:00:01"},
                                               {-10, " in 00:00:10"},   {-11, ""}};
    for (const auto& [sekunden, text] : marken) QCOMPARE(anzeige.value(sekunden), text);

    // Back to idle.
    QCOMPARE(f.Command_Start->text(), QStringLiteral("Timer Start"));
    QCOMPARE(f.A.CountDownLaeuft, False16);
    QVERIFY(!f.Label_akti->isHidden());
    QCOMPARE(p.signalton.piepse, schlag && !stoerung ? ticks : 0);
    QCOMPARE(p.meldung.texte,
             mldVorbei ? QStringList{QStringLiteral("Zeitpunkt vorbei")} : QStringList{});
    if (mldVorbei) {
        // Display emptied and tick off before the box; caption, flag and beat after it.
        QCOMPARE(offen.text, QString());
        QVERIFY(!offen.taktAn);
        QVERIFY(!offen.labelSichtbar);
        QCOMPARE(offen.knopf, QStringLiteral("Timer Stop"));
        QVERIFY(offen.laeuft != 0);
        if (schlag && !stoerung) QCOMPARE(offen.piepse, ticks - 1);
    }
}

// ------------------------------------------------------------------ far target

void CountdownFensterTest::fernesZiel_data() {
    QTest::addColumn<QTime>("jetzt");
    QTest::addColumn<QString>("eingabe");
    QTest::addColumn<bool>("meldung");
    QTest::addColumn<QString>("phrase");
    // Exactly 5.1 h left at several times of day: rounding must never tip it.
    QTest::newRow("5:06:00 at 10:00:00") << QTime(10, 0, 0) << "15 06 00" << true << "";
    QTest::newRow("5:06:00 at 03:17:43") << QTime(3, 17, 43) << "08 23 43" << true << "";
    QTest::newRow("5:06:00 at 12:41:09") << QTime(12, 41, 9) << "17 47 09" << true << "";
    QTest::newRow("5:06:00 at 18:53:51") << QTime(18, 53, 51) << "23 59 51" << true << "";
    QTest::newRow("5:05:59 is spoken range") << QTime(10, 0, 0) << "15 05 59" << false << "";
    QTest::newRow("5:00:00") << QTime(10, 0, 0) << "15 00 00" << false << "Noch 5 Stunden";
}

void CountdownFensterTest::fernesZiel() {
    QFETCH(QTime, jetzt);
    QFETCH(QString, eingabe);
    QFETCH(bool, meldung);
    QFETCH(QString, phrase);
    Pruefstand p;
    Form1& f = Einrichten(p, QDateTime(QDate(2026, 12, 5), jetzt, Qt::UTC), eingabe, "Heute", 0);
    f.Command_Start_Click();
    const qsizetype vorher = p.Stimme()->auftraege.size();
    f.Timer_OccRestZeit_Timer();

    QCOMPARE(p.meldung.texte.size(), meldung ? 1 : 0);
    if (meldung)
        QCOMPARE(
            p.meldung.texte[0],
            QStringLiteral("Zeit bis zum Ereignis noch 005,10Stunden. Countdown nicht sinnvoll"));
    QCOMPARE(Wert(f.Check_CountDown), meldung ? 0 : 1);
    const auto& auftraege = p.Stimme()->auftraege;
    QCOMPARE(auftraege.size() - vorher, phrase.isEmpty() ? 0 : 1);
    if (!phrase.isEmpty()) QCOMPARE(auftraege.last().text, phrase);
    QVERIFY(f.Timer_OccRestZeit->Enabled());
    QVERIFY(!f.Text_RestZeit->text().isEmpty());
}

void CountdownFensterTest::fernesZielMeldungNurEinmal() {
    Pruefstand p;
    Form1& f = p.Starten();
    f.SekundenschlagAus = False16;
    Eingeben(f, "20", "00", "00");  // 10 h away at 10:00
    f.Command_Start_Click();

    // A tick arriving while the box is open is dropped; the box is still the
    // only one, and the check box is cleared only when it closes.
    int wertWaehrendOffen = -1;
    p.meldung.waehrendOffen = [&] {
        wertWaehrendOffen = Wert(f.Check_CountDown);
        p.uhr.Weiter(1000);
        f.Timer_OccRestZeit_Timer();
    };
    f.Timer_OccRestZeit_Timer();
    p.meldung.waehrendOffen = nullptr;
    QCOMPARE(p.meldung.texte.size(), 1);
    QVERIFY(p.meldung.texte[0].contains(QStringLiteral("010,00Stunden.")));
    QCOMPARE(wertWaehrendOffen, 1);
    QCOMPARE(Wert(f.Check_CountDown), 0);

    // Later ticks only count down; ticking the box again brings the message back once.
    for (int i = 0; i < 5; ++i) {
        if (i == 3) SetzeWert(f.Check_CountDown, 1);
        p.uhr.Weiter(1000);
        f.Timer_OccRestZeit_Timer();
    }
    QCOMPARE(p.meldung.texte.size(), 2);
    QCOMPARE(Wert(f.Check_CountDown), 0);
    QCOMPARE(f.Text_RestZeit->text(), QStringLiteral(" in 09:59:54"));
    QCOMPARE(p.signalton.piepse, 6);
    QVERIFY(f.Timer_OccRestZeit->Enabled());
}

void CountdownFensterTest::keinVerschachtelterTaktWaehrendDerMeldung() {
    // With the real timer: while the tick's own box is open no further tick
    // is armed, so the event loop of a modal box cannot deliver one.
    Pruefstand p;
    Form1& f = p.Starten();
    Eingeben(f, "20", "00", "00");
    int armiertWaehrendOffen = 0;
    int offen = 0;
    p.meldung.waehrendOffen = [&] {
        ++offen;
        armiertWaehrendOffen = f.Timer_OccRestZeit->RestzeitMs();
        QCoreApplication::processEvents();
    };
    f.Command_Start_Click();
    QTRY_COMPARE_WITH_TIMEOUT(offen, 1, 5000);
    QCOMPARE(armiertWaehrendOffen, -1);
    QCOMPARE(Wert(f.Check_CountDown), 0);
    QVERIFY(f.Timer_OccRestZeit->Enabled());
}

QTEST_MAIN(CountdownFensterTest)
#include "test_countdown_fenster.moc"
