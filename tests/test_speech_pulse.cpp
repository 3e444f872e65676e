// SPDX-License-Identifier: GPL-3.0-or-later
// The PulseAudio output: without a server, and with a private server of its
// own (a null sink recorded through its monitor, suspended after a second
// without a playing stream), including the server dying and coming back, the
// output kept awake and the lead-in from idle.
#include <sys/prctl.h>

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <mutex>
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
        server.start(
            QStringLiteral("pulseaudio"),
            {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "--log-level=0",
             "--load=module-null-sink sink_name=null", "--load=module-suspend-on-idle timeout=1",
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

// State of the null sink as pactl reports it: RUNNING, IDLE or SUSPENDED.
QString senke(const QString& dir) {
    QProcess pactl;
    vorbereiten(pactl, dir);
    pactl.start(QStringLiteral("pactl"), {"list", "sinks", "short"});
    pactl.waitForFinished(5000);
    const QStringList felder =
        QString::fromUtf8(pactl.readAllStandardOutput()).split(u'\t', Qt::SkipEmptyParts);
    return felder.isEmpty() ? QString() : felder.last().trimmed();
}

// What each buffer handed to the server carried, and on which thread.
struct Uebergabe {
    std::thread::id faden;
    int anlauf;
    int klangBeginn;
};

bool mitServer(PrivaterServer& server) {
    for (const char* werkzeug : {"pulseaudio", "parec", "pactl"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(werkzeug)).isEmpty()) return false;
    }
    qputenv("PULSE_COOKIE", (server.dir + "/cookie").toLocal8Bit());
    return server.starten();
}

}  // namespace

class TestSpeechPulse : public QObject {
    Q_OBJECT

private slots:
    void ohneServer();
    void privaterServer();
    void wachUndAnlauf();
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
    QTemporaryDir dir;
    PrivaterServer server(dir.path());
    if (!mitServer(server)) QSKIP("no private sound server here (pulseaudio, parec, pactl)");

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

// Idle, the stream corks and the sink sleeps; a sound then starts after the
// lead-in. Kept awake, the sink never sleeps, also across a new server, and a
// beat goes over the queued silence at once; let go, the sink sleeps again.
void TestSpeechPulse::wachUndAnlauf() {
    QTemporaryDir dir;
    PrivaterServer server(dir.path());
    if (!mitServer(server)) QSKIP("no private sound server here (pulseaudio, parec, pactl)");
    PulseAusgabe ausgabe(adresse(dir.path()).toStdString());
    QVERIFY(ausgabe.warteAufVerbindung(5s));
    std::mutex mutex;
    std::vector<Uebergabe> uebergaben;
    ausgabe.setzeMithoerer([&](AudioZeit, const int16_t*, size_t, const MischInfo& info) {
        std::lock_guard lock(mutex);
        uebergaben.push_back({std::this_thread::get_id(), info.anlauf, info.klangBeginn});
    });
    // The handovers up to the click's, from the next one on.
    auto bisZumKlick = [&] {
        std::lock_guard lock(mutex);
        std::vector<Uebergabe> bis;
        for (const auto& u : uebergaben) {
            bis.push_back(u);
            if (u.klangBeginn >= 0) return bis;
        }
        return std::vector<Uebergabe>{};
    };
    auto leeren = [&] {
        std::lock_guard lock(mutex);
        uebergaben.clear();
    };
    KlickSignalton klick(&ausgabe, [] { QFAIL("the click fell back to the platform beep"); });

    QTRY_COMPARE_WITH_TIMEOUT(senke(dir.path()), QStringLiteral("SUSPENDED"), 8000);
    QVERIFY(!ausgabe.spielt());
    leeren();
    klick.Beep();
    QTRY_VERIFY_WITH_TIMEOUT(!bisZumKlick().empty(), 5000);
    size_t anlauf = 0;
    for (const auto& u : bisZumKlick()) anlauf += size_t(u.anlauf);
    QCOMPARE(anlauf, ausgabe.anlaufSamples());
    QVERIFY(ausgabe.anlaufSamples() > 0);

    ausgabe.wachHalten(true);
    QVERIFY(ausgabe.spielt());
    std::this_thread::sleep_for(500ms);
    for (int i = 0; i < 12; ++i) {  // three seconds, three times the sink's idle limit
        QCOMPARE(senke(dir.path()), QStringLiteral("RUNNING"));
        std::this_thread::sleep_for(250ms);
    }
    leeren();
    klick.Beep();
    const auto klickAmStueck = bisZumKlick();
    QVERIFY(!klickAmStueck.empty());  // handed over inside Beep(), by this thread
    QCOMPARE(klickAmStueck.back().faden, std::this_thread::get_id());
    QCOMPARE(klickAmStueck.back().klangBeginn, 0);
    QCOMPARE(klickAmStueck.back().anlauf, 0);

    server.stoppen();
    QTRY_VERIFY_WITH_TIMEOUT(!ausgabe.spielt(), 10000);
    QVERIFY(server.starten());
    QTRY_VERIFY_WITH_TIMEOUT(ausgabe.spielt(), 10000);  // no request needed
    std::this_thread::sleep_for(1500ms);
    QCOMPARE(senke(dir.path()), QStringLiteral("RUNNING"));

    ausgabe.wachHalten(false);
    QTRY_VERIFY_WITH_TIMEOUT(!ausgabe.spielt(), 4000);
    QTRY_COMPARE_WITH_TIMEOUT(senke(dir.path()), QStringLiteral("SUSPENDED"), 4000);
}

QTEST_MAIN(TestSpeechPulse)
#include "test_speech_pulse.moc"
