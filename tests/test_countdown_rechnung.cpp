// The countdown's arithmetic without a window: the day-number scale, the split
// of a span into hours, minutes and seconds, the texts, and the spoken schedule.
#include <QDate>
#include <QtTest>

#include "countdown/Countdown.h"
#include "support/Fakes.h"

namespace {

// Independent reference for the day-number scale: Qt's Julian day of the date
// (a count from noon) shifted to midnight-based Modified Julian Date.
double MjdReferenz(QDate d, double stunden = 0) {
    return double(d.toJulianDay() - 2400001) + stunden / 24.0;
}

}  // namespace

class CountdownRechnungTest : public QObject {
    Q_OBJECT
private slots:
    void mjdPruefwerte_data();
    void mjdPruefwerte();
    void mjdJedesDatumDesJahrhunderts();
    void mjdJetztAusEinerLesung();
    void restStundenOhneRundungsrauschen();
    void zeitZerlegen_data();
    void zeitZerlegen();
    void zeitZerlegenJedeGanzeSekundeBis48Stunden();
    void restZeitText_data();
    void restZeitText();
    void zuWeitText_data();
    void zuWeitText();
    void phrasenAnGrenzen_data();
    void phrasenAnGrenzen();
    void ansageNurMitSpracheUndEinmal();
};

void CountdownRechnungTest::mjdPruefwerte_data() {
    QTest::addColumn<int>("tag");
    QTest::addColumn<int>("monat");
    QTest::addColumn<int>("jahr");
    QTest::addColumn<double>("stunden");
    QTest::addColumn<double>("erwartet");
    QTest::newRow("origin of the scale") << 17 << 11 << 1858 << 0.0 << 0.0;
    QTest::newRow("1 Jan 2000") << 1 << 1 << 2000 << 0.0 << 51544.0;
    QTest::newRow("5 Dec 2026 12:30") << 5 << 12 << 2026 << 12.5 << 61379.0 + 12.5 / 24.0;
    // Linear in the day: no month carry is needed for "tomorrow".
    QTest::newRow("32 Dec 2026 = 1 Jan 2027 07:15")
        << 32 << 12 << 2026 << 7.25 << 61406.0 + 7.25 / 24.0;
    QTest::newRow("29 Feb 2026 = 1 Mar 2026") << 29 << 2 << 2026 << 0.0 << 61100.0;
    QTest::newRow("29 Feb 2024 (leap)") << 29 << 2 << 2024 << 0.0 << 60369.0;
    QTest::newRow("1 Mar 2100 (no leap day)") << 1 << 3 << 2100 << 0.0 << 88128.0;
}

void CountdownRechnungTest::mjdPruefwerte() {
    QFETCH(int, tag);
    QFETCH(int, monat);
    QFETCH(int, jahr);
    QFETCH(double, stunden);
    QFETCH(double, erwartet);
    QCOMPARE(MjdAusDatum(qint16(tag), qint16(monat), qint16(jahr), stunden), erwartet);
}

void CountdownRechnungTest::mjdJedesDatumDesJahrhunderts() {
    // Every day the program can see (years 2000 to 2099), against the reference.
    for (QDate d(2000, 1, 1); d.year() < 2100; d = d.addDays(1)) {
        const double ist = MjdAusDatum(qint16(d.day()), qint16(d.month()), qint16(d.year()), 0);
        if (ist != MjdReferenz(d)) QFAIL(qPrintable(d.toString(Qt::ISODate)));
    }
}

void CountdownRechnungTest::mjdJetztAusEinerLesung() {
    FakeUhr uhr;
    uhr.Setze(2026, 12, 5, 12, 30, 0, 999);  // milliseconds do not count
    const int vorher = uhr.lesungen;
    QCOMPARE(MjdJetzt(uhr), 61379.0 + 12.5 / 24.0);
    QCOMPARE(uhr.lesungen, vorher + 1);
    // The year is 2000 + its last two digits.
    UhrLesung l;
    l.datum = QStringLiteral("01.01.1999");
    l.zeit = QStringLiteral("00:00:00");
    QCOMPARE(MjdAusLesung(l), MjdReferenz(QDate(2099, 1, 1)));
    // A malformed reading gives some number, never a crash.
    l.datum = QStringLiteral("x");
    l.zeit = QString();
    QVERIFY(std::isfinite(MjdAusLesung(l)));
}

void CountdownRechnungTest::restStundenOhneRundungsrauschen() {
    // Exactly 5 h 6 min (5.1 h) before a target must read as 5.1 at every time
    // of day; the plain day difference lands on either side of it.
    for (int s = 0; s < 86400; s += 7) {
        const double jetzt = 61379.0 + (s / 3600.0) / 24.0;
        const double ziel = 61379.0 + (s / 3600.0 + 5.1) / 24.0;
        if (RestStundenBis(ziel, jetzt) != 5.1) QFAIL(qPrintable(QString::number(s)));
    }
    // A fraction of a second in the target stays.
    QVERIFY(qAbs(RestStundenBis(61379.0 + 0.3 / 86400.0, 61379.0) * 3600.0 - 0.3) < 1e-4);
}

void CountdownRechnungTest::zeitZerlegen_data() {
    QTest::addColumn<float>("zeit");
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("m");
    QTest::addColumn<int>("s");
    QTest::newRow("0") << 0.0f << 0 << 0 << 0;
    QTest::newRow("1.0 h") << 1.0f << 1 << 0 << 0;
    QTest::newRow("0.25 h") << 0.25f << 0 << 15 << 0;
    QTest::newRow("0.7 h") << 0.7f << 0 << 42 << 0;
    QTest::newRow("1 h 1 min: seconds carry") << float(61.0 / 60.0) << 1 << 1 << 0;
    QTest::newRow("3599.5 s: both carries") << float(3599.5 / 3600.0) << 1 << 0 << 0;
    QTest::newRow("58.5 s: half to even, down") << float(58.5 / 3600.0) << 0 << 0 << 58;
    QTest::newRow("47:59:59") << float((47 * 3600 + 59 * 60 + 59) / 3600.0) << 47 << 59 << 59;
    QTest::newRow("negative held at 0") << -1.0f << 0 << 0 << 0;
}

void CountdownRechnungTest::zeitZerlegen() {
    QFETCH(float, zeit);
    QFETCH(int, h);
    QFETCH(int, m);
    QFETCH(int, s);
    qint16 stunden = -1, minuten = -1, sekunden = -1;
    ZeitZerlegen(zeit, stunden, minuten, sekunden);
    QCOMPARE(int(stunden), h);
    QCOMPARE(int(minuten), m);
    QCOMPARE(int(sekunden), s);
}

void CountdownRechnungTest::zeitZerlegenJedeGanzeSekundeBis48Stunden() {
    for (int t = 0; t <= 48 * 3600; ++t) {
        const float zeit = float(t / 3600.0);
        qint16 h, m, s;
        ZeitZerlegen(zeit, h, m, s);
        if (h * 3600 + m * 60 + s != t || m > 59 || s > 59)
            QFAIL(qPrintable(QStringLiteral("%1 s gives %2:%3:%4").arg(t).arg(h).arg(m).arg(s)));
    }
}

void CountdownRechnungTest::restZeitText_data() {
    QTest::addColumn<double>("sekunden");
    QTest::addColumn<QString>("text");
    QTest::newRow("1:05:03") << 3903.0 << " in 01:05:03";
    QTest::newRow("at the target") << 0.0 << " in 00:00:00";
    QTest::newRow("7 s after: counts up") << -7.0 << " in 00:00:07";
    QTest::newRow("longest: 47:59:59") << 172799.0 << " in 47:59:59";
    QTest::newRow("three-digit hours keep their digits") << 100.0 * 3600 << " in 100:00:00";
}

void CountdownRechnungTest::restZeitText() {
    QFETCH(double, sekunden);
    QFETCH(QString, text);
    QCOMPARE(RestZeitText(sekunden / 3600.0), text);
}

void CountdownRechnungTest::zuWeitText_data() {
    QTest::addColumn<QString>("ort");
    QTest::addColumn<double>("stunden");
    QTest::addColumn<QString>("zahl");
    QTest::newRow("German 7.25") << "de_DE" << 7.25 << "007,25";
    QTest::newRow("C 7.25") << "C" << 7.25 << "007.25";
    QTest::newRow("German rounds to hundredths") << "de_DE" << 5.1 + 1 / 3600.0 << "005,10";
    QTest::newRow("rounding carries into the hours") << "C" << 9.996 << "010.00";
    QTest::newRow("no grouping above 999") << "de_DE" << 1234.5 << "1234,50";
}

void CountdownRechnungTest::zuWeitText() {
    QFETCH(QString, ort);
    QFETCH(double, stunden);
    QFETCH(QString, zahl);
    QCOMPARE(ZuWeitText(stunden, QLocale(ort)),
             "Zeit bis zum Ereignis noch " + zahl + "Stunden. Countdown nicht sinnvoll");
}

void CountdownRechnungTest::phrasenAnGrenzen_data() {
    // The points at which the schedule's ranges meet, and values the tick
    // itself never passes. The whole second-by-second schedule is checked in
    // the window test.
    QTest::addColumn<double>("sekunden");
    QTest::addColumn<QString>("phrase");
    QTest::newRow("5:00:00") << 18000.0 << "Noch 5 Stunden";
    QTest::newRow("5:00:01") << 18001.0 << "";
    QTest::newRow("6:00:00 beyond the hour guard") << 21600.0 << "";
    QTest::newRow("1:30:00 no quarter above the hour") << 5400.0 << "";
    QTest::newRow("1:00:00") << 3600.0 << "Noch eine Stunde";
    QTest::newRow("0:54:00 exactly 0.9 h") << 3240.0 << "";
    QTest::newRow("0:10:30 exactly 10.5 min") << 630.0 << "";
    QTest::newRow("0:01:31") << 91.0 << "";
    QTest::newRow("0:01:00 in seconds") << 60.0 << "Noch 60 Sekunden";
    QTest::newRow("0:00:11") << 11.0 << "";
    QTest::newRow("0:00:10") << 10.0 << "10";
    QTest::newRow("target") << 0.0 << "0";
    QTest::newRow("10 s after") << -10.0 << "10";
    QTest::newRow("10.5 s after, the end threshold") << -0.0029167 * 3600 << "";
    QTest::newRow("11 s after") << -11.0 << "";
}

void CountdownRechnungTest::phrasenAnGrenzen() {
    QFETCH(double, sekunden);
    QFETCH(QString, phrase);
    QCOMPARE(RestZeitPhrase(sekunden / 3600.0), phrase);
}

void CountdownRechnungTest::ansageNurMitSpracheUndEinmal() {
    AppState A;
    const double zehn = 10.0 / 3600.0;
    const double nichts = 15.0 / 3600.0;

    RestZeitAnsage(zehn, A);  // speech off, no voice: nothing, no crash
    A.SprachAusgabeAn = True16;
    RestZeitAnsage(zehn, A);  // speech on but no voice: nothing, no crash

    auto stimme = std::make_unique<FakeStimme>(1);
    FakeStimme* s = stimme.get();
    A.Stimme = std::move(stimme);
    A.SprachAusgabeAn = False16;
    RestZeitAnsage(zehn, A);
    QCOMPARE(s->auftraege.size(), 0);

    A.SprachAusgabeAn = True16;
    RestZeitAnsage(nichts, A);
    QCOMPARE(s->auftraege.size(), 0);
    // No memory between calls: the same second twice is said twice.
    RestZeitAnsage(zehn, A);
    RestZeitAnsage(zehn, A);
    QCOMPARE(s->auftraege.size(), 2);
    QCOMPARE(s->auftraege[0].text, QStringLiteral("10"));
    QCOMPARE(s->auftraege[0].flags, SVSFlagsAsync);

    s->sprechenScheitert = true;
    RestZeitAnsage(zehn, A);  // refused: ignored
    QCOMPARE(s->auftraege.size(), 2);
}

QTEST_GUILESS_MAIN(CountdownRechnungTest)
#include "test_countdown_rechnung.moc"
