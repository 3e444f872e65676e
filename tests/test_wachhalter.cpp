// SPDX-License-Identifier: GPL-3.0-or-later
// The session hold against stand-ins of the desktop services on a private
// session bus: which service is asked and with what, and that every hold
// granted is released again, whatever order stops, late answers and the
// program's end come in. A bus that does not exist and one that never answers
// are tried in child processes, since a process has only one session bus.
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "app/SitzungWachHalter.h"

namespace {

using namespace std::chrono_literals;

// Long enough for any answer of a working stand-in, even under a sanitizer on
// a busy machine; a silent one costs a test this long.
constexpr auto Frist = 1500ms;

// One run of the stand-in script: its records, one JSON object per call.
class Stellvertreter {
public:
    explicit Stellvertreter(const QStringList& argumente) {
        p_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
        p_.start(QStringLiteral(WACHHALTE_DIENSTE), argumente);
    }
    ~Stellvertreter() {
        p_.terminate();
        if (!p_.waitForFinished(5000)) p_.kill();
    }
    // Waits for the line that says the stand-in is ready.
    bool Bereit() {
        return QTest::qWaitFor(
            [&] {
                Lesen();
                return bereit_;
            },
            15000);
    }
    // The private bus's address, when the stand-in started one.
    QString Adresse() const { return kopf_[u"adresse"].toString(); }
    const QList<QJsonObject>& Lesen() {
        while (p_.canReadLine()) {
            const QJsonObject o = QJsonDocument::fromJson(p_.readLine()).object();
            if (o.contains(u"bereit"))
                bereit_ = true;
            else if (o.contains(u"adresse"))
                kopf_ = o;
            else
                aufrufe_.append(o);
        }
        return aufrufe_;
    }
    bool WarteAuf(qsizetype anzahl) {
        return QTest::qWaitFor([&] { return Lesen().size() >= anzahl; }, 10000);
    }

private:
    QProcess p_;
    bool bereit_ = false;
    QJsonObject kopf_;
    QList<QJsonObject> aufrufe_;
};

// The calls in short: P+n the portal's n-th request, an its late answer, P-n
// its close; S+n the screen saver's n-th hold, S-n its release. A trailing "?"
// marks a release of something the service never granted.
QString Verlauf(const QList<QJsonObject>& aufrufe) {
    QStringList anfragen, teile;
    QList<int> cookies;
    for (const QJsonObject& o : aufrufe) {
        const QString aufruf = o[u"aufruf"].toString();
        const QString offen = o[u"offen"].toBool(true) ? "" : "?";
        if (o[u"dienst"].toString() == u"portal") {
            const QString pfad = o[u"pfad"].toString();
            if (aufruf == u"Inhibit") anfragen << pfad;
            const int n = int(anfragen.indexOf(pfad)) + 1;
            if (aufruf == u"Inhibit") teile << QStringLiteral("P+%1").arg(n);
            if (aufruf == u"Antwort") teile << QStringLiteral("a%1").arg(n);
            if (aufruf == u"Close") teile << QStringLiteral("P-%1").arg(n) + offen;
        } else {
            const int cookie = o[u"cookie"].toInt();
            if (aufruf == u"Inhibit") cookies << cookie;
            const int n = int(cookies.indexOf(cookie)) + 1;
            teile << (aufruf == u"Inhibit" ? QStringLiteral("S+%1").arg(n)
                                           : QStringLiteral("S-%1").arg(n) + offen);
        }
    }
    return teile.join(u' ');
}

// A socket that takes connections into its backlog and never answers them:
// a bus that has hung.
class StummerBus {
public:
    explicit StummerBus(const QString& pfad) : fd_(socket(AF_UNIX, SOCK_STREAM, 0)) {
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        qstrncpy(a.sun_path, QFile::encodeName(pfad).constData(), sizeof a.sun_path);
        ok_ = fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
              listen(fd_, 16) == 0;
    }
    ~StummerBus() {
        if (fd_ >= 0) close(fd_);
    }
    bool ok() const { return ok_; }

private:
    int fd_;
    bool ok_ = false;
};

// Child process: one holder on the bus it was given, a countdown started,
// stopped and started again, then the end as the program's main has it.
int Kind() {
    QElapsedTimer t;
    auto h = std::make_unique<SitzungWachHalter>(500ms);
    t.start();
    h->CountdownLaeuft(true);
    const qint64 anUs = t.nsecsElapsed() / 1000;
    QThread::msleep(300);
    h->CountdownLaeuft(false);
    h->CountdownLaeuft(true);
    t.restart();
    h.reset();
    std::printf("an=%lld ende=%lld haengt=%d\n", anUs, t.elapsed(),
                int(SitzungWachHalter::BusHaengt()));
    std::fflush(stdout);
    if (SitzungWachHalter::BusHaengt()) std::_Exit(0);
    return 0;
}

}  // namespace

class WachHalterTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Stellvertreter> bus_;

private slots:
    void initTestCase() {
        bus_ = std::make_unique<Stellvertreter>(QStringList{"--bus"});
        QVERIFY2(bus_->Bereit(), "the private session bus did not come up");
        const QString adresse = bus_->Adresse();
        // Before anything in this process reaches for the session bus.
        qputenv("DBUS_SESSION_BUS_ADDRESS", adresse.toUtf8());
    }
    void cleanupTestCase() { bus_.reset(); }

    void ablauf_data() {
        QTest::addColumn<QString>("dienste");   // stand-ins on the bus
        QTest::addColumn<QString>("schritte");  // an/aus: countdown runs or not; ende:
        // the holder goes; wN: until N calls have come; =N: after a pause, N calls;
        // portal: a portal stand-in comes onto the bus
        QTest::addColumn<QString>("verlauf");
        QTest::newRow("portal: start, stop") << "--portal"
                                             << "an w1 aus w2 ende"
                                             << "P+1 P-1";
        QTest::newRow("portal: every countdown its own request") << "--portal"
                                                                 << "an w1 aus w2 an w3 aus w4 ende"
                                                                 << "P+1 P-1 P+2 P-2";
        QTest::newRow("portal: held at the end, closed by it") << "--portal"
                                                               << "an w1 ende"
                                                               << "P+1 P-1";
        QTest::newRow("portal: stopped before the answer, closed when it comes")
            << "--portal spaet=0.5"
            << "an aus w3 ende"
            << "P+1 a1 P-1";
        QTest::newRow("portal: stopped and restarted before the answer, one hold")
            << "--portal spaet=0.5"
            << "an aus an w2 =2 ende"
            << "P+1 a1 P-1";
        QTest::newRow("portal: ended before the answer, closed by its path") << "--portal spaet=0.5"
                                                                             << "an w1 ende w3"
                                                                             << "P+1 P-1 a1";
        QTest::newRow("portal refuses: screen saver") << "--portal fehler --bildschirmschoner"
                                                      << "an w2 aus w3 ende"
                                                      << "P+1 S+1 S-1";
        QTest::newRow("only a screen saver") << "--bildschirmschoner"
                                             << "an w1 aus w2 an w3 ende"
                                             << "S+1 S-1 S+2 S-2";
        QTest::newRow("portal silent: its request closed, screen saver asked")
            << "--portal stumm --bildschirmschoner"
            << "an w3 aus w4 ende"
            << "P+1 P-1? S+1 S-1";
        QTest::newRow("portal silent, program ends while it is asked") << "--portal stumm"
                                                                       << "an w1 ende"
                                                                       << "P+1 P-1?";
        QTest::newRow("nothing on the bus, the next countdown asks again")
            << ""
            << "an =0 aus portal an w1 aus w2 ende"
            << "P+1 P-1";
        QTest::newRow("never started") << "--portal --bildschirmschoner"
                                       << "aus =0 ende"
                                       << "";
    }
    void ablauf() {
        QFETCH(QString, dienste);
        QFETCH(QString, schritte);
        QFETCH(QString, verlauf);
        std::unique_ptr<Stellvertreter> s;
        auto starten = [&](const QString& argumente) {
            s = std::make_unique<Stellvertreter>(argumente.split(u' ', Qt::SkipEmptyParts));
            return s->Bereit();
        };
        auto aufrufe = [&] { return s ? s->Lesen() : QList<QJsonObject>(); };
        if (!dienste.isEmpty()) QVERIFY2(starten(dienste), "the stand-ins did not come up");

        auto h = std::make_unique<SitzungWachHalter>(Frist);
        for (const QString& schritt : schritte.split(u' ')) {
            if (schritt == u"an" || schritt == u"aus") {
                QElapsedTimer t;
                t.start();
                h->CountdownLaeuft(schritt == u"an");
                qInfo("measured: CountdownLaeuft(%s) returned after %lld us", qPrintable(schritt),
                      t.nsecsElapsed() / 1000);
            } else if (schritt == u"ende") {
                QElapsedTimer t;
                t.start();
                h.reset();
                qInfo("measured: the holder ended after %lld ms", t.elapsed());
                // Bounded by the wait for a release's answer.
                QVERIFY2(t.elapsed() < 5000, "the end waited far longer than its bound");
            } else if (schritt == u"portal") {
                QVERIFY2(starten(QStringLiteral("--portal")), "the portal did not come up");
            } else if (schritt.startsWith(u'w')) {
                QVERIFY2(s && s->WarteAuf(schritt.mid(1).toInt()),
                         qPrintable("calls so far: " + Verlauf(aufrufe())));
            } else if (schritt.startsWith(u'=')) {
                QTest::qWait(500);
                QCOMPARE(aufrufe().size(), schritt.mid(1).toInt());
            }
        }
        h.reset();
        QTest::qWait(200);  // a release sent without waiting for its answer
        QCOMPARE(Verlauf(aufrufe()), verlauf);

        for (const QJsonObject& o : aufrufe()) {
            if (o[u"aufruf"].toString() != u"Inhibit") continue;
            if (o[u"dienst"].toString() == u"portal") {
                const QJsonObject optionen = o[u"optionen"].toObject();
                QCOMPARE(o[u"fenster"].toString(), QString());
                QCOMPARE(o[u"flags"].toInt(), 12);  // suspend and idle
                QCOMPARE(optionen[u"reason"].toString(), QStringLiteral("Countdown läuft"));
                // The path closed after a silent portal is the one it would have given.
                QVERIFY(
                    o[u"pfad"].toString().endsWith(u'/' + optionen[u"handle_token"].toString()));
            } else {
                QCOMPARE(o[u"programm"].toString(), QStringLiteral("Tempiro"));
                QCOMPARE(o[u"grund"].toString(), QStringLiteral("Countdown läuft"));
            }
        }
    }

    // No bus at all, and a bus that takes the connection and never answers:
    // nothing waits on it, the holder ends within its bound, and the process
    // ends with status 0.
    void ohneAntwort_data() {
        QTest::addColumn<bool>("stumm");
        QTest::newRow("no session bus") << false;
        QTest::newRow("bus that never answers") << true;
    }
    void ohneAntwort() {
        QFETCH(bool, stumm);
        QTemporaryDir dir;
        const QString pfad =
            dir.filePath(stumm ? QStringLiteral("stumm") : QStringLiteral("kein-bus"));
        std::unique_ptr<StummerBus> bus;
        if (stumm) {
            bus = std::make_unique<StummerBus>(pfad);
            QVERIFY(bus->ok());
        }
        const QString adresse = "unix:path=" + pfad;
        QProcess kind;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TEMPIRO_WACHHALTER_KIND"), QStringLiteral("1"));
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), adresse);
        kind.setProcessEnvironment(env);
        kind.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        kind.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
        QElapsedTimer t;
        t.start();
        kind.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY2(kind.waitForFinished(30000), "the process did not end");
        const QString aus = QString::fromUtf8(kind.readAllStandardOutput()).trimmed();
        qInfo("measured: %s, the process ended %lld ms after its start", qPrintable(aus),
              t.elapsed());
        QCOMPARE(kind.exitStatus(), QProcess::NormalExit);
        QCOMPARE(kind.exitCode(), 0);
        const auto m = QRegularExpression(QStringLiteral("haengt=(\\d)")).match(aus);
        QVERIFY2(m.hasMatch(), qPrintable(aus));
        QCOMPARE(m.captured(1) == u"1", stumm);
    }
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("TEMPIRO_WACHHALTER_KIND")) return Kind();
    WachHalterTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_wachhalter.moc"
