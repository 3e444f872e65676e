// SPDX-License-Identifier: GPL-3.0-or-later
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

using namespace std::chrono_literals;

QString adresse(const QString& dir) { return QStringLiteral("unix:") + dir + "/pulse/native"; }

// A helper process that talks to the private server in `dir`, sees nothing of
// the session's own sound set-up and dies with us, also when we are killed.
void vorbereiten(QProcess& p, const QString& dir) {
    QProcessEnvironment env;
    env.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
    env.insert(QStringLiteral("HOME"), dir);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir);
    env.insert(QStringLiteral("PULSE_SERVER"), adresse(dir));
    p.setProcessEnvironment(env);
    p.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

// A sound server of this test alone, with one null sink; killed when it goes.
struct PrivaterServer {
    explicit PrivaterServer(const QString& d) : dir(d) {}
    ~PrivaterServer() { stoppen(); }
    const QString dir;
    QProcess server;

    bool starten() {
        QFile::remove(dir + "/pulse/native");
        vorbereiten(server, dir);
        server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server.start(QStringLiteral("pulseaudio"),
                     {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                      "--log-level=0", "--load=module-null-sink sink_name=null",
                      "--load=module-native-protocol-unix auth-anonymous=1"});
        for (int i = 0; i < 100 && server.waitForStarted(5000); ++i) {
            if (QFile::exists(dir + "/pulse/native")) return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }
    void stoppen() {
        server.kill();
        server.waitForFinished(5000);
    }
};

// Records the null sink's monitor in our format; counts the loud samples heard.
struct Mitschnitt {
    QProcess parec;
    explicit Mitschnitt(const QString& dir) {
        vorbereiten(parec, dir);
        parec.start(QStringLiteral("parec"), {"-d", "null.monitor", "--raw", "--format=s16le",
                                              "--rate=22050", "--channels=1", "--latency-msec=20"});
        parec.waitForStarted(5000);
        std::this_thread::sleep_for(500ms);  // connected before anything plays
    }
    size_t lauteSamples() {
        std::this_thread::sleep_for(200ms);
        parec.terminate();
        parec.waitForFinished(3000);
        const QByteArray roh = parec.readAllStandardOutput();
        const auto* p = reinterpret_cast<const int16_t*>(roh.constData());
        return size_t(
            std::count_if(p, p + roh.size() / 2, [](int16_t x) { return std::abs(x) >= 320; }));
    }
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
    PulseAusgabe ausgabe(adresse(dir.path()).toStdString());
    QVERIFY(!ausgabe.warteAufVerbindung(10s));
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
    qputenv("PULSE_COOKIE", (dir.path() + "/cookie").toLocal8Bit());
    PrivaterServer server(dir.path());
    QVERIFY(server.starten());

    PulseAusgabe ausgabe(adresse(dir.path()).toStdString());
    QVERIFY(ausgabe.warteAufVerbindung(5s));
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
        const size_t laut = mitschnitt.lauteSamples();
        QVERIFY2(laut > size_t(kAbtastrate / 2), qPrintable(QString::number(laut)));
        QCOMPARE(piepse, 0);
    }

    // The server dies: a waiting request returns, queued phrases are dropped.
    server.stoppen();
    QVERIFY(stimme->Speak(QStringLiteral("Noch 80 Sekunden"), SVSFlagsAsync));
    QVERIFY(stimme->Speak(QStringLiteral("eins"), SVSFDefault));
    QTRY_COMPARE_WITH_TIMEOUT(ausgabe.zustand(), PulseAusgabe::Zustand::Getrennt, 10000);

    // It comes back: after the pause between attempts a request reconnects and plays.
    QVERIFY(server.starten());
    std::this_thread::sleep_for(PulseAusgabe::kWiederholPause + 300ms);
    Mitschnitt mitschnitt(dir.path());
    QVERIFY(stimme->Speak(QStringLiteral("zwei"), SVSFDefault));
    QCOMPARE(ausgabe.zustand(), PulseAusgabe::Zustand::Bereit);
    // Only this word: what was queued while the server was gone stays dropped.
    const size_t laut = mitschnitt.lauteSamples();
    QVERIFY2(laut > size_t(kAbtastrate / 10) && laut < size_t(kAbtastrate),
             qPrintable(QString::number(laut)));
}

QTEST_MAIN(TestSpeechPulse)
#include "test_speech_pulse.moc"
