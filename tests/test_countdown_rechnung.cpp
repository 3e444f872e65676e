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
    void zeitZerlegen_data();
    void zeitZerlegen();
    void zeitZerlegenJedeGanzeSekundeBis48Stunden();
    void zuWeitText_data();
    void zuWeitText();
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

void CountdownRechnungTest::zuWeitText_data() {
    QTest::addColumn<QString>("ort");
    QTest::addColumn<double>("stunden");
    QTest::addColumn<QString>("zahl");
    QTest::newRow("German 7.25") << "de_DE" << 7.25 << "007,25";
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

void CountdownRechnungTest::ansageNurMitSpracheUndEinmal() {
    AppState A;
    const double zehn = 10.0 / 3600.0;
    A.SprachAusgabeAn = True16;
    RestZeitAnsage(zehn, A);  // no voice at all: nothing happens

    auto stimme = std::make_unique<FakeStimme>(1);
    FakeStimme* s = stimme.get();
    A.Stimme = std::move(stimme);
    // No memory between calls: two ticks in the same second both speak it.
    RestZeitAnsage(zehn, A);
    RestZeitAnsage(zehn, A);
    QCOMPARE(s->auftraege.size(), 2);
    QCOMPARE(s->auftraege[1].text, QStringLiteral("10"));
    QCOMPARE(s->auftraege[1].flags, SVSFlagsAsync);
    // Beyond the hour guard nothing is said, even at a full hour.
    RestZeitAnsage(6.0, A);
    QCOMPARE(s->auftraege.size(), 2);
}

QTEST_GUILESS_MAIN(CountdownRechnungTest)
#include "test_countdown_rechnung.moc"
