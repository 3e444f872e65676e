// SPDX-License-Identifier: GPL-3.0-or-later
// The session hold against stand-ins of the desktop services on a private
// session bus, in the sequences Debian's real services cannot be made to show
// on purpose: services that refuse, answer late or never, in any order with
// the countdown's stop and the program's end. Every hold granted must be
// released, and a countdown must keep one hold at most. (No bus, and a bus
// that stops answering, are the end-to-end scenarios' with the real binary.)
#include <sys/prctl.h>

#include <QtTest>
#include <csignal>

#include "SitzungWachHalter.h"
#include "support/Tabelle.h"

namespace {

using namespace std::chrono_literals;

// One run of the stand-in script: the calls it saw, in short, and the time
// each came (in seconds of the monotonic clock).
struct Stellvertreter {
    explicit Stellvertreter(const QString& argumente) {
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
        p.start(WACHHALTE_DIENSTE, argumente.split(u' ', Qt::SkipEmptyParts));
        while (!bereit && p.waitForReadyRead(15000)) Lesen();
    }
    ~Stellvertreter() {
        p.terminate();
        if (!p.waitForFinished(5000)) p.kill();
    }
    const QStringList& Lesen() {
        while (p.canReadLine()) {
            const QStringList zeile = QString::fromUtf8(p.readLine()).trimmed().split(u' ');
            if (zeile[0] == u"adresse") adresse = zeile.value(1);
            bereit |= zeile[0] == u"bereit";
            if (zeile[0] == u"adresse" || zeile[0] == u"bereit") continue;
            aufrufe << zeile[0];
            zeiten << zeile.value(1).toDouble();
        }
        return aufrufe;
    }
    QProcess p;
    bool bereit = false;
    QString adresse;
    QStringList aufrufe;
    QList<double> zeiten;
};

}  // namespace

class WachHalterTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Stellvertreter> bus_;

private slots:
    void initTestCase() {
        bus_ = std::make_unique<Stellvertreter>(QStringLiteral("--bus"));
        QVERIFY2(bus_->bereit, "the private session bus did not come up");
        // Before anything in this process reaches for the session bus.
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus_->adresse.toUtf8());
    }
    void cleanupTestCase() { bus_.reset(); }

    void ablauf_data() {
        // The stand-ins and how they answer | the steps | the calls they saw.
        // Steps: an/aus, the countdown runs or not; ende, the holder goes; wN,
        // until N calls have come; =N, after a pause N calls; neu, the
        // stand-ins come onto the bus; snap, the program runs as in a snap.
        Tabelle(R"(
session manager first, each countdown its own hold | --sitzung --portal --schoner
    | an w1 aus w2 an w3 ende | G+1 G-1 G+2 G-2
in a sandbox the portal first | --sitzung --portal | snap an w1 aus w2 ende | P+1 P-1
session manager late: the portal meanwhile, then the first in order kept
    | --sitzung spaet=2.5 --portal | an w4 aus w5 ende | G+1 P+1 G!1 P-1 G-1
portal: an early Close refused, closed again when it answers
    | --portal spaet=1 | snap an aus w4 ende | P+1 P-1? P!1 P-1
portal silent: screen saver and power management, its request closed
    | --portal stumm --schoner --energie | snap an w3 aus w6 ende | P+1 S+1 E+1 P-1? S-1 E-1
refused: the next service, suspend held beside the screen saver
    | --sitzung fehler --portal fehler --schoner --energie | an w4 aus w6 ende
    | G+1 P+1 S+1 E+1 S-1 E-1
wrong kind of answer: a text for a cookie | --sitzung falsch --schoner | an w2 aus w3 ende
    | G+1 S+1 S-1
wrong kind of answer: a Response without arguments | --portal falsch --schoner
    | snap an w2 aus w3 ende | P+1 S+1 S-1
nothing on the bus, the next countdown asks again | --schoner | an =0 aus neu an w1 aus w2 ende
    | S+1 S-1
)");
    }
    void ablauf() {
        QFETCH(QStringList, fall);
        qunsetenv("SNAP");
        const QString dienste = fall[0];
        std::unique_ptr<Stellvertreter> s;
        auto aufrufe = [&] { return s ? s->Lesen() : QStringList(); };
        if (!fall[1].contains(u"neu")) s = std::make_unique<Stellvertreter>(dienste);
        auto h = std::make_unique<SitzungWachHalter>(1500ms);
        for (const QString& schritt : fall[1].split(u' ', Qt::SkipEmptyParts)) {
            if (schritt == u"an" || schritt == u"aus") h->CountdownGeschaltet(schritt == u"an");
            if (schritt == u"neu") s = std::make_unique<Stellvertreter>(dienste);
            if (schritt == u"snap") qputenv("SNAP", "/snap/tempiro/1");
            if (schritt == u"ende") h.reset();
            if (schritt.startsWith(u'w'))
                QVERIFY2(
                    s && QTest::qWaitFor(
                             [&] { return s->Lesen().size() >= schritt.mid(1).toInt(); }, 10000),
                    qPrintable("calls so far: " + aufrufe().join(u' ')));
            if (schritt.startsWith(u'=')) QTest::qWait(500);
            if (schritt.startsWith(u'=')) QCOMPARE(aufrufe().size(), schritt.mid(1).toInt());
        }
        QTest::qWait(300);  // a release sent without waiting for its answer
        QVERIFY(s);
        QCOMPARE(s->Lesen().join(u' '), fall[2]);
        // What a late answer makes the holder do, it does at once. (The real
        // services of the end-to-end tests take the holder's arguments.)
        for (qsizetype i = 1; i < s->zeiten.size(); ++i) {
            if (s->aufrufe[i - 1].contains(u'!')) QVERIFY(s->zeiten[i] - s->zeiten[i - 1] < 0.5);
        }
    }
};

QTEST_GUILESS_MAIN(WachHalterTest)

#include "test_wachhalter.moc"
