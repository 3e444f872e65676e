// The PulseAudio output: without a server, and with a private server of its
// own (a null sink recorded through its monitor), including the server dying
// and coming back.
#include <sys/prctl.h>

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <thread>

#include "speech/EspeakStimme.h"
#include "speech/KlickSignalton.h"
#include "speech/PulseAusgabe.h"

namespace {

constexpr int kLaut = 320;

size_t lauteSamples(const QByteArray& roh) {
    const auto* p = reinterpret_cast<const int16_t*>(roh.constData());
    const size_t n = size_t(roh.size()) / sizeof(int16_t);
    return size_t(std::count_if(p, p + n, [](int16_t x) { return std::abs(x) >= kLaut; }));
}

// A helper process must not outlive us, even when we are killed.
void stirbtMit(QProcess& p) {
    p.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

QProcessEnvironment umgebung(const QString& dir) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), dir);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir);
    env.insert(QStringLiteral("PULSE_RUNTIME_PATH"), dir + QStringLiteral("/pulse"));
    env.insert(QStringLiteral("PULSE_STATE_PATH"), dir + QStringLiteral("/state"));
    env.insert(QStringLiteral("PULSE_COOKIE"), dir + QStringLiteral("/cookie"));
    env.insert(QStringLiteral("PULSE_SERVER"),
               QStringLiteral("unix:") + dir + QStringLiteral("/pulse/native"));
    return env;
}

// A sound server of this test alone, in its own directory, with one null sink.
// Always killed when the object goes.
class PrivaterServer {
public:
    explicit PrivaterServer(const QString& dir) : dir_(dir) {}
    ~PrivaterServer() { stoppen(); }

    QString adresse() const {
        return QStringLiteral("unix:") + dir_ + QStringLiteral("/pulse/native");
    }

    bool starten() {
        QFile::remove(dir_ + QStringLiteral("/pulse/native"));
        server_.setProcessEnvironment(umgebung(dir_));
        stirbtMit(server_);
        server_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server_.start(QStringLiteral("pulseaudio"),
                      {QStringLiteral("-n"), QStringLiteral("--daemonize=no"),
                       QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--use-pid-file=no"),
                       QStringLiteral("--log-level=0"),
                       QStringLiteral("--load=module-null-sink sink_name=null"),
                       QStringLiteral("--load=module-native-protocol-unix auth-anonymous=1")});
        if (!server_.waitForStarted(5000)) return false;
        for (int i = 0; i < 100; ++i) {
            if (QFile::exists(dir_ + QStringLiteral("/pulse/native"))) return true;
            if (server_.state() != QProcess::Running) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    void stoppen() {
        if (server_.state() == QProcess::NotRunning) return;
        server_.kill();
        server_.waitForFinished(5000);
    }

private:
    QString dir_;
    QProcess server_;
};

// Records the null sink's monitor in our format while it lives.
class Mitschnitt {
public:
    explicit Mitschnitt(const QString& dir) {
        parec_.setProcessEnvironment(umgebung(dir));
        stirbtMit(parec_);
        parec_.start(QStringLiteral("parec"),
                     {QStringLiteral("-d"), QStringLiteral("null.monitor"), QStringLiteral("--raw"),
                      QStringLiteral("--format=s16le"), QStringLiteral("--rate=22050"),
                      QStringLiteral("--channels=1"), QStringLiteral("--latency-msec=20")});
        parec_.waitForStarted(5000);
        // Give it a moment to connect before anything plays.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    ~Mitschnitt() { beenden(); }
    QByteArray beenden() {
        if (parec_.state() != QProcess::NotRunning) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            parec_.terminate();
            if (!parec_.waitForFinished(3000)) {
                parec_.kill();
                parec_.waitForFinished(3000);
            }
        }
        daten_ += parec_.readAllStandardOutput();
        return daten_;
    }

private:
    QProcess parec_;
    QByteArray daten_;
};

}  // namespace

class TestSpeechPulse : public QObject {
    Q_OBJECT

private slots:
    void ohneServer();
    void privaterServer();
};

void TestSpeechPulse::ohneServer() {
    QTemporaryDir dir;
    PulseAusgabe ausgabe(
        (QStringLiteral("unix:") + dir.path() + QStringLiteral("/native")).toStdString());
    QVERIFY(!ausgabe.warteAufVerbindung(std::chrono::seconds(10)));
    QCOMPARE(ausgabe.zustand(), PulseAusgabe::Zustand::Getrennt);

    EspeakSprachDienst dienst(ausgabe);
    auto stimme = dienst.ErzeugeStimme();
    QVERIFY2(stimme, qPrintable(dienst.fehler()));
    // Nothing can be heard, but nothing waits for it either.
    QVERIFY(stimme->Speak(QStringLiteral("Noch 90 Sekunden"), SVSFlagsAsync));
    QVERIFY(stimme->Speak(QStringLiteral("eins"), SVSFDefault));

    int piepse = 0;
    KlickSignalton klick(&ausgabe, [&] { ++piepse; });
    klick.Beep();
    QCOMPARE(piepse, 1);
}

void TestSpeechPulse::privaterServer() {
    if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("parec")).isEmpty()) {
        QSKIP("pulseaudio or parec is not installed");
    }
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    qputenv("PULSE_COOKIE", (dir.path() + QStringLiteral("/cookie")).toLocal8Bit());
    PrivaterServer server(dir.path());
    QVERIFY(server.starten());

    PulseAusgabe ausgabe(server.adresse().toStdString());
    QVERIFY(ausgabe.warteAufVerbindung(std::chrono::seconds(5)));
    EspeakSprachDienst dienst(ausgabe);
    auto stimme = dienst.ErzeugeStimme();
    QVERIFY2(stimme, qPrintable(dienst.fehler()));
    QVERIFY(stimme->SetRate(-5));
    int piepse = 0;
    KlickSignalton klick(&ausgabe, [&] { ++piepse; });

    {
        Mitschnitt mitschnitt(dir.path());
        QVERIFY(stimme->Speak(QStringLiteral("Noch 90 Sekunden"), SVSFDefault));
        klick.Beep();
        const QByteArray roh = mitschnitt.beenden();
        QVERIFY2(lauteSamples(roh) > size_t(kAbtastrate / 2),
                 qPrintable(QString::number(lauteSamples(roh))));
        QCOMPARE(piepse, 0);
    }

    // The server dies: a waiting request returns, queued phrases are dropped.
    server.stoppen();
    QVERIFY(stimme->Speak(QStringLiteral("Noch 80 Sekunden"), SVSFlagsAsync));
    QVERIFY(stimme->Speak(QStringLiteral("eins"), SVSFDefault));
    QTRY_COMPARE_WITH_TIMEOUT(ausgabe.zustand(), PulseAusgabe::Zustand::Getrennt, 10000);

    // It comes back: after the pause between attempts a request reconnects and plays.
    QVERIFY(server.starten());
    std::this_thread::sleep_for(PulseAusgabe::kWiederholPause + std::chrono::milliseconds(300));
    Mitschnitt mitschnitt(dir.path());
    QVERIFY(stimme->Speak(QStringLiteral("zwei"), SVSFDefault));
    QCOMPARE(ausgabe.zustand(), PulseAusgabe::Zustand::Bereit);
    const QByteArray roh = mitschnitt.beenden();
    QVERIFY2(lauteSamples(roh) > size_t(kAbtastrate / 10),
             qPrintable(QString::number(lauteSamples(roh))));
}

QTEST_MAIN(TestSpeechPulse)
#include "test_speech_pulse.moc"
