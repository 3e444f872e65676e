// SPDX-License-Identifier: GPL-3.0-or-later
// The sound path: where the timeline places clicks and phrases against a
// simulated sound card's clock, and takes them back; the espeak-ng engine
// heard through a recording output; the real output on a private PulseAudio
// that goes away, comes back and hangs.
#include <sys/prctl.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <deque>

#include "EspeakStimme.h"
#include "support/Tabelle.h"

using namespace std::chrono_literals;

namespace {

// A sound card read by the server from t0 on at its own clock, `ppm` off the
// wall clock, with 5 ms in the device. With a `zyklus`, the server reads that
// many frames at a time and reports the position of its last cycle with the
// time of its answer, as PipeWire's pulse server does.
struct FakeKarte {
    Wanduhr::time_point t0 = Wanduhr::time_point(1'800'000'000s) + 310ms;
    double ppm = 0;
    int64_t latenz = kAbtastrate * 5 / 1000, zyklus = 0;
    int hz = kAbtastrate;
    double frames(Wanduhr::time_point t) const {
        return std::chrono::duration<double>(t - t0).count() * hz * (1 + ppm * 1e-6);
    }
    int64_t gelesen(Wanduhr::time_point t) const { return int64_t(frames(t)); }
    double gehoert(Wanduhr::time_point t) const { return frames(t) - double(latenz); }
    StromStand Stand(Wanduhr::time_point t) const {
        return {zyklus ? gelesen(t) / zyklus * zyklus : gelesen(t), latenz, t};
    }
};

// The output as the timeline sees it: the stream refilled to a second ahead
// in half-second steps, each snapshot the timeline asks for answered at once,
// and what was written kept by frame, the last three seconds of it.
struct Lauf {
    explicit Lauf(FakeKarte k = {}) : karte(k), spur(k.hz), t(k.t0 + 1ms), fuellen(t) {}
    void Nimm(const Abschnitt& a) {
        if (a.pcm.empty()) return;
        band.resize(std::max(band.size(), size_t(a.ab - von) + a.pcm.size()));
        std::copy(a.pcm.begin(), a.pcm.end(), band.begin() + (a.ab - von));
        for (; band.size() > size_t(3 * karte.hz); ++von) band.pop_front();
    }
    void Bis(Wanduhr::time_point ende) {
        for (;;) {
            Nimm(spur.Umschreiben());
            if (t >= fuellen) {
                const int64_t fehlt = karte.gelesen(t) + karte.hz - von - int64_t(band.size());
                Nimm(spur.Weiter(size_t(std::max<int64_t>(fehlt, 0)), t));
                fuellen = t + 500ms;
            }
            if (const auto n = spur.NaechsterStand(t); n && *n <= t) spur.Stand(karte.Stand(t), t);
            const auto n = spur.NaechsterStand(t);
            if (t >= ende) return;
            t = std::min({fuellen, ende, n ? std::max(*n, t + 200us) : ende});
        }
    }
    int Ton(int64_t f) const {
        return f >= von && f - von < int64_t(band.size()) ? band[size_t(f - von)] : 0;
    }
    FakeKarte karte;
    Tonspur spur;
    Wanduhr::time_point t, fuellen;
    std::deque<int16_t> band;
    int64_t von = 0;
};

// Whether a phrase was heard (or dropped) within ten seconds.
bool Gehoert(const ErledigungPtr& e) {
    return e && QTest::qWaitFor([&] { return e->Fertig(); }, 10000);
}

}  // namespace

class TestTon : public QObject {
    Q_OBJECT

private slots:
    // A countdown hands over the click and the number of second N+1 at any
    // point of second N, in either order: both start at the frame heard at
    // N+1's boundary, mixed, also by a server that reports a 21 ms cycle's
    // position, after the stream fell 2 ms behind, once a snapshot shows it
    // past doubt, and after five hours on a card whose drift would add up to
    // 3.6 s by then. Taken back before the boundary, also once written,
    // nothing of them sounds; taken back once begun, they sound on.
    void platz_data() {
        // Clicks (k) and phrases (p) in order of coming | handed over so far into
        // second N (ms) | sample rate | frames of the server's cycle | the loss or
        // take-back, from the boundary (µs) | frames off the boundary at most, -1: silence |
        // the card's clock against the wall clock (ppm) | hours the stream ran before.
        Tabelle(R"(
early in the second         | kp | 5   | 22050 | 0   | 0       | 1
number first, mid-second    | pk | 500 | 22050 | 0   | 0       | 1
as placing begins, 16 kHz   | kp | 960 | 16000 | 0   | 0       | 1
10 ms before                | pk | 990 | 22050 | 0   | 0       | 1
21 ms cycle                 | kp | 5   | 22050 | 470 | 0       | 22
2 ms lost before placing    | kp | 5   | 22050 | 0   | -200000 | 22
2 ms lost while placing     | kp | 5   | 22050 | 0   | -49500  | 22
taken back, not yet written | kp | 5   | 22050 | 0   | -500000 | -1
taken back, written         | kp | 5   | 22050 | 0   | -30000  | -1
taken back, begun           | kp | 5   | 22050 | 0   | 1000    | 1
card 200 ppm slow, 5 h on   | kp | 5   | 22050 | 0   | 0       | 22 | -200 | 5
)");
    }
    void platz() {
        QFETCH(QStringList, fall);
        const QString folge = fall[0];
        const int ms = fall[1].toInt(), hz = fall[2].toInt(), zyklus = fall[3].toInt();
        const int dannUs = fall[4].toInt(), fehler = fall[5].toInt();
        Lauf l(FakeKarte{.ppm = fall.value(6).toDouble(), .zyklus = zyklus, .hz = hz});
        l.spur.WachHalten(true);  // a countdown runs: no lead-in
        const auto grenze =
            std::chrono::floor<std::chrono::seconds>(l.t) + 2s + 1h * fall.value(7).toInt();
        std::vector<ErledigungPtr> e;
        for (int i = 0; i < folge.size(); ++i) {
            l.Bis(grenze - 1s + 1ms * ms + 2ms * i);
            e.push_back(std::make_shared<Erledigung>());
            folge[i] == u'k' ? l.spur.Klick(grenze, l.t, e.back())
                             : l.spur.Phrase(grenze, l.t, Abtastwerte(3000, 1000), e.back());
        }
        const bool absage = QByteArray(QTest::currentDataTag()).startsWith("taken");
        l.Bis(grenze + 1us * dannUs);
        if (!absage) l.karte.t0 += 1ms * (dannUs < 0 ? 2 : 0);
        const int64_t soll = std::llround(l.karte.gehoert(grenze));
        if (absage) {
            QVERIFY(dannUs < -50000 || l.Ton(soll + 1) != 0);  // written by now
            for (const auto& x : e) l.spur.Absagen(x.get(), l.t);
        }
        l.Bis(grenze + 200ms);
        if (fehler < 0) {  // nothing of that second
            for (int64_t f = soll - hz / 10; f < soll + hz / 10; ++f) QCOMPARE(l.Ton(f), 0);
            QVERIFY(e[0]->Fertig() && e[1]->Fertig());
            return;
        }
        int64_t beginn = soll - fehler;
        while (l.Ton(beginn) == 0 && beginn < soll + fehler) ++beginn;
        QVERIFY2(std::abs(beginn - soll) <= fehler, qPrintable(QString::number(beginn - soll)));
        const Abtastwerte klick = Tonspur::KlickKlang(hz);
        for (size_t i = 0; i < 3000; ++i)  // mixed from the same frame on
            QCOMPARE(l.Ton(beginn + int64_t(i)), (i < klick.size() ? klick[i] : 0) + 1000);
    }

    // On a private PulseAudio: a sink kept awake wakes again with a new
    // server, and an idle one reconnects on the next request, also after the
    // wall clock was set back; a server that stops answering lets a waiting
    // phrase go, and the output closes at once. (The end-to-end tests hear
    // speech and beat on PulseAudio and PipeWire, without a server, with one
    // that hangs or dies, the sink sleep when idle and stay awake through a
    // countdown.)
    void echterServer() {
        if (QStandardPaths::findExecutable("pulseaudio").isEmpty()) QSKIP("pulseaudio is missing");
        // The server's home and runtime directory, apart from the session's
        // own sound set-up: a null sink that sleeps after an idle second.
        QTemporaryDir heim;
        qputenv("PULSE_COOKIE", (heim.path() + "/cookie").toLocal8Bit());
        QProcessEnvironment umgebung;
        umgebung.insert("PATH", qEnvironmentVariable("PATH"));
        umgebung.insert("HOME", heim.path());
        umgebung.insert("XDG_RUNTIME_DIR", heim.path());
        QProcess server;
        server.setProcessEnvironment(umgebung);
        server.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
        const QString sockel = heim.path() + "/pulse/native";
        const auto starten = [&] {
            QFile::remove(sockel);
            server.start("pulseaudio",
                         {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                          "--log-level=0", "--load=module-null-sink sink_name=null",
                          "--load=module-suspend-on-idle timeout=1",
                          "--load=module-native-protocol-unix auth-anonymous=1"});
            return QTest::qWaitFor([&] { return QFile::exists(sockel); }, 10000);
        };
        const auto stoppen = [&] {
            server.kill();
            server.waitForFinished(5000);
        };
        QVERIFY(starten());
        int piepse = 0;
        std::atomic<Wanduhr::duration> versatz{};  // the wall clock, set back meanwhile
        auto ausgabe = std::make_unique<Tonausgabe>(
            "unix:" + sockel.toStdString(), [&] { ++piepse; },
            [&] { return Wanduhr::now() + versatz.load(); });
        QTRY_COMPARE_WITH_TIMEOUT(ausgabe->Zustand(), Tonausgabe::Verbindung::Bereit, 5000);
        EspeakSprachDienst dienst(*ausgabe);
        auto stimme = dienst.ErzeugeStimme();
        QVERIFY(Gehoert(stimme->Speak("Noch 90 Sekunden", SVSFDefault)));
        ausgabe->Abspielen();
        QCOMPARE(piepse, 0);  // every click of a working output goes to it
        ausgabe->CountdownGeschaltet(true);
        stoppen();
        QTRY_VERIFY_WITH_TIMEOUT(!ausgabe->Spielt(), 10000);
        QVERIFY(starten());
        QTRY_VERIFY_WITH_TIMEOUT(ausgabe->Spielt(), 10000);  // no request needed
        // Idle and without a server, the wall clock set back an hour: the
        // next request after the pause still tries a new connection.
        ausgabe->CountdownGeschaltet(false);
        QTRY_VERIFY_WITH_TIMEOUT(!ausgabe->Spielt(), 5000);
        stoppen();
        QTRY_COMPARE_WITH_TIMEOUT(ausgabe->Zustand(), Tonausgabe::Verbindung::Getrennt, 5000);
        versatz = -1h;
        QVERIFY(starten());
        QTest::qWait(3100);
        ausgabe->Abspielen();
        QTRY_COMPARE_WITH_TIMEOUT(ausgabe->Zustand(), Tonausgabe::Verbindung::Bereit, 5000);
        ::kill(pid_t(server.processId()), SIGSTOP);
        QVERIFY(Gehoert(stimme->Speak("eins", SVSFDefault)));  // let go, not held for good
        QCOMPARE(ausgabe->Zustand(), Tonausgabe::Verbindung::Getrennt);
        stimme->Speak("zwei", SVSFlagsAsync);
        ausgabe->CountdownGeschaltet(true);
        stimme.reset();
    }
};

QTEST_GUILESS_MAIN(TestTon)
#include "test_ton.moc"
