// SPDX-License-Identifier: GPL-3.0-or-later
// The sound path: where the timeline places clicks and phrases against a
// simulated sound card's clock; the espeak-ng engine heard through a
// recording output; the real output on a private PulseAudio that goes away,
// comes back and hangs.
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <thread>

#include "EspeakStimme.h"
#include "support/Tonserver.h"

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
    double rate() const { return hz * (1 + ppm * 1e-6); }
    int64_t gelesen(Wanduhr::time_point t) const {
        return int64_t(std::chrono::duration<double>(t - t0).count() * rate());
    }
    Wanduhr::time_point um(double frames) const {
        return t0 + std::chrono::duration_cast<Wanduhr::duration>(
                        std::chrono::duration<double>(frames / rate()));
    }
    // As a server reports it: the moment the read index reached its value.
    StromStand Stand(Wanduhr::time_point t) const {
        if (zyklus) return {gelesen(t + 1us) / zyklus * zyklus, latenz, t};
        return {gelesen(t), latenz, um(double(gelesen(t)))};
    }
};

// Keeps 50 ms written ahead of the read position, as the server asks, and
// everything written, by frame.
struct Schreibkopf {
    int64_t bis = 0;
    std::vector<int16_t> band;
    void Nimm(const Abschnitt& a) {
        band.resize(std::max(band.size(), size_t(a.ab) + a.pcm.size()));
        std::copy(a.pcm.begin(), a.pcm.end(), band.begin() + a.ab);
        bis = std::max(bis, a.ab + int64_t(a.pcm.size()));
    }
    void Fuellen(Tonspur& spur, const FakeKarte& k, Wanduhr::time_point t, bool behalten = true) {
        const int64_t ziel = k.gelesen(t) + k.hz / 20;
        if (ziel <= bis) return;
        Abschnitt a = spur.Weiter(size_t(ziel - bis));
        if (behalten) Nimm(a);
        bis = a.ab + int64_t(a.pcm.size());
    }
};

// Whether a phrase was heard (or dropped) within ten seconds.
bool Gehoert(const ErledigungPtr& e) {
    return e && QTest::qWaitFor([&] { return e->Fertig(); }, 10000);
}

// Records what the engine hands over; reports every phrase heard at once.
struct Aufnahme : ITonausgabe {
    std::mutex mutex;
    std::vector<Abtastwerte> phrasen;
    std::atomic<int> rate = 0;  // as the engine reported it
    void Abtastrate(int hz) override { rate = hz; }
    void Phrase(Wanduhr::time_point, Abtastwerte pcm, std::function<void()> fertig) override {
        {
            std::lock_guard lock(mutex);
            phrasen.push_back(std::move(pcm));
        }
        fertig();
    }
    bool Klick(Wanduhr::time_point) override { return false; }
    Abtastwerte Sagen(IStimme& stimme, const QString& text) {  // and forget it
        phrasen.clear();
        if (!Gehoert(stimme.Speak(text, SVSFDefault))) return {};
        return phrasen.size() == 1 ? std::exchange(phrasen, {})[0] : Abtastwerte{};
    }
};

double sekunden(const Abtastwerte& p) { return double(p.size()) / kAbtastrate; }
bool laut(int16_t x) { return std::abs(x) >= 320; }  // -40 dBFS

}  // namespace

class TestTon : public QObject {
    Q_OBJECT

private slots:
    // A countdown's tick hands over its phrase and its click some milliseconds
    // after the boundary, in either order: both start at the frame heard at
    // the boundary plus kVersatz, mixed; a tick too late for that sounds at once.
    void platz_data() {
        QTest::addColumn<QString>("folge");  // k: click, p: phrase, in order of arrival
        QTest::addColumn<int>("spaetMs");    // handed over after the boundary
        QTest::addColumn<int>("hz");         // the sample rate of the stream
        QTest::newRow("click") << "k" << 5 << kAbtastrate;
        QTest::newRow("phrase, then click, late within the offset") << "pk" << 30 << kAbtastrate;
        QTest::newRow("click, then phrase, 16 kHz") << "kp" << 12 << 16000;
        QTest::newRow("click, too late") << "k" << 50 << kAbtastrate;
    }
    void platz() {
        QFETCH(QString, folge);
        QFETCH(int, spaetMs);
        QFETCH(int, hz);
        FakeKarte karte{.hz = hz};
        Tonspur spur(hz);
        Schreibkopf kopf;
        spur.WachHalten(true);  // a countdown runs: no lead-in
        const auto grenze = std::chrono::floor<std::chrono::seconds>(karte.t0) + 2s;
        // The frame heard at the instant, to the nearest.
        const double genau =
            std::chrono::duration<double>(grenze + kVersatz - karte.t0).count() * karte.rate() -
            double(karte.latenz);
        int64_t soll = -1;
        for (int i = 0; i < folge.size(); ++i) {
            // The phrase comes from synthesis, a little later.
            const auto t = grenze + 1ms * spaetMs + 2ms * i;
            kopf.Fuellen(spur, karte, t);
            folge[i] == u'k' ? spur.Klick(t) : spur.Phrase(t, Abtastwerte(3000, 1000), {});
            const Abschnitt a = spur.Stand(karte.Stand(t), t);
            if (spaetMs > 33)  // at once: within 3 ms of the read position
                QVERIFY(a.ab > karte.gelesen(t) &&
                        a.ab < karte.gelesen(t) + hz * 3 / 1000);
            else
                QVERIFY2(std::abs(double(a.ab) - genau) <= 0.5 && (soll < 0 || a.ab == soll),
                         qPrintable(QString::number(a.ab)));
            soll = a.ab;
            kopf.Nimm(a);
        }
        if (spaetMs > 33) return;
        // Mixed: click and phrase add up from the same frame on.
        const Abtastwerte klick = Tonspur::KlickKlang(hz);
        for (size_t i = 0; i < size_t(kopf.bis - soll); ++i)
            QCOMPARE(int(kopf.band[size_t(soll) + i]),
                     (folge.contains(u'k') && i < klick.size() ? klick[i] : 0) +
                         (folge.contains(u'p') ? 1000 : 0));
        QCOMPARE(int(kopf.band[size_t(soll) - 1]), 0);
    }

    // A sound card 200 ppm slow against the wall clock over a five-hour countdown: the
    // drift would add up to 3.6 s, but every click is mapped afresh.
    void fuenfStundenDrift() {
        FakeKarte karte{.ppm = -200};
        Tonspur spur;
        Schreibkopf kopf;
        spur.WachHalten(true);
        Wanduhr::duration schlimmste{};
        for (int s = 1; s <= 5 * 3600; ++s) {
            const auto grenze = std::chrono::floor<std::chrono::seconds>(karte.t0) + 1s * s;
            const auto t = grenze + 5ms + 1ms * (s * 7 % 18);
            kopf.Fuellen(spur, karte, t, false);
            spur.Klick(t);
            const Abschnitt a = spur.Stand(karte.Stand(t), t);
            schlimmste = std::max(
                schlimmste,
                std::chrono::abs(karte.um(double(a.ab + karte.latenz)) - grenze - kVersatz));
        }
        QVERIFY2(schlimmste < 3ms, qPrintable(QString::number(schlimmste.count())));
    }

    // A graph that missed cycles: the stream falls 2 ms behind at `verlustMs`
    // from the boundary, while older snapshots still promise more. The click
    // follows the loss once a snapshot shows it past doubt, and a report that
    // is only stale (a 21 ms cycle) is no loss; in doubt it waits, asking again
    // every millisecond. Either way it is heard at its instant.
    void verlust_data() {
        QTest::addColumn<int>("zyklus");
        QTest::addColumn<int>("verlustMs");
        QTest::newRow("long before the tick") << 0 << -40;
        QTest::newRow("among them") << 0 << 2;
        QTest::newRow("none, 21 ms cycle") << 470 << 1000;
    }
    void verlust() {
        QFETCH(int, zyklus);
        QFETCH(int, verlustMs);
        FakeKarte karte{.zyklus = zyklus};
        Tonspur spur;
        spur.WachHalten(true);
        const auto grenze = std::chrono::floor<std::chrono::seconds>(karte.t0) + 2s;
        spur.Weiter(size_t(karte.gelesen(grenze) + kAbtastrate / 10));
        // Snapshots 15 ms apart as the server asks for data; the click's tick
        // at 5 ms, and then one a millisecond while it waits.
        Abschnitt a;
        for (auto dt = -70ms; a.pcm.empty() && dt < kVersatz; dt += dt < 5ms ? 15ms : 1ms) {
            if (dt >= 1ms * verlustMs) {
                karte.t0 += 2ms;
                verlustMs = 1000;
            }
            if (dt == 5ms) spur.Klick(grenze + dt);
            a = spur.Stand(karte.Stand(grenze + dt), grenze + dt);
        }
        QVERIFY(std::abs(a.ab - (karte.gelesen(grenze + kVersatz) - karte.latenz)) <=
                kAbtastrate / 1000);
    }

    // Phrases queue behind each other and are complete once read; a sound from
    // idle waits for the lead-in; after a second of silence the stream stops.
    void folgeAnlaufUndEnde() {
        FakeKarte karte;
        Tonspur spur;
        Schreibkopf kopf;
        int fertig = 0;
        auto t = karte.t0 + 200ms;
        kopf.Fuellen(spur, karte, t);
        QVERIFY(!spur.Laeuft());
        spur.Phrase(t, Abtastwerte(kAbtastrate, 1000), [&] { ++fertig; });
        spur.Phrase(t + 100ms, Abtastwerte(kAbtastrate / 2, 2000), [&] { ++fertig; });
        QVERIFY(spur.Laeuft());
        const int64_t beginn = karte.gelesen(t) + kAbtastrate * 2 / 1000 + kAbtastrate * 2 / 5;
        kopf.Nimm(spur.Stand(karte.Stand(t), t));
        for (t += 100ms; spur.Laeuft(); t += 20ms) {
            kopf.Fuellen(spur, karte, t);
            kopf.Nimm(spur.Stand(karte.Stand(t), t));
            const int64_t gehoert = karte.gelesen(t) - beginn;
            QCOMPARE(fertig, gehoert < kAbtastrate ? 0 : gehoert < kAbtastrate * 3 / 2 ? 1 : 2);
        }
        QCOMPARE(fertig, 2);
        QCOMPARE(QList<int>({kopf.band[size_t(beginn) - 1], kopf.band[size_t(beginn)],
                             kopf.band[size_t(beginn) + kAbtastrate]}),
                 QList<int>({0, 1000, 2000}));
        QVERIFY(karte.gelesen(t) > beginn + kAbtastrate * 2);
    }

    // Each number of the count, at rate -5, well under a second and sounding
    // at once; every voice offered speaks; each phrase keeps the voice and rate
    // of its request and is complete when Speak returns; wrong values refused.
    void sprache() {
        Aufnahme aufnahme;
        EspeakSprachDienst dienst(aufnahme);
        auto stimme = dienst.ErzeugeStimme();
        QVERIFY(stimme && stimme->SetRate(-5));
        for (int i = 10; i >= 0; --i) {
            const Abtastwerte p = aufnahme.Sagen(*stimme, QString::number(i));
            QVERIFY2(sekunden(p) > 0.15 && sekunden(p) < 0.85 &&
                         std::find_if(p.begin(), p.end(), laut) - p.begin() < kAbtastrate / 100,
                     qPrintable(QString::number(i)));
        }
        SprachTokens stimmen;
        QVERIFY(stimme->GetVoices(stimmen) && stimmen.Count() >= 2 &&
                stimmen.Item(0).name == "Deutsch");
        for (int i = 0; i < stimmen.Count(); ++i) {
            QVERIFY(stimme->SetVoice(stimmen.Item(i)));
            const Abtastwerte p = aufnahme.Sagen(*stimme, "eins");
            QVERIFY2(std::count_if(p.begin(), p.end(), laut) > kAbtastrate / 20,
                     qPrintable(stimmen.Item(i).name));
        }
        QVERIFY(stimme->SetVoice(stimmen.Item(0)) && stimme->SetRate(0));
        const Abtastwerte ref = aufnahme.Sagen(*stimme, "Noch eine Stunde");
        QVERIFY(stimme->SetRate(-5) && stimme->Speak("Noch eine Stunde", SVSFlagsAsync));
        QVERIFY(stimme->SetRate(0) && !stimme->SetRate(11) &&
                !stimme->SetVoice(SprachToken{stimmen.Count(), {}}));
        QVERIFY(stimme->Speak(QString(), SVSFlagsAsync));  // nothing to hear
        QVERIFY(Gehoert(stimme->Speak("Noch eine Stunde", SVSFDefault)));
        QCOMPARE(aufnahme.phrasen.size(), size_t(3));
        QCOMPARE(aufnahme.rate.load(), kAbtastrate);  // as espeak-ng's voices report it
        QVERIFY(sekunden(aufnahme.phrasen[0]) > 1.3 * sekunden(ref) && aufnahme.phrasen[1].empty());
        QVERIFY(std::abs(sekunden(aufnahme.phrasen[2]) - sekunden(ref)) < 0.08);
    }

    // Without its data the engine refuses, also when asked again, and starts
    // once they are there.
    void initTestCase() {
        QTemporaryDir leer;
        qputenv("ESPEAK_DATA_PATH", QFile::encodeName(leer.path()));
        Aufnahme aufnahme;
        EspeakSprachDienst dienst(aufnahme);
        QVERIFY(!dienst.ErzeugeStimme() && !dienst.ErzeugeStimme());
        qunsetenv("ESPEAK_DATA_PATH");
        QVERIFY(dienst.ErzeugeStimme());
    }

    // Services share the one engine: one shut down with phrases still queued
    // does not hang, its voices then refuse, and the other's still speak.
    void motorUndDaten() {
        Aufnahme aufnahme, zweite;
        EspeakSprachDienst bleibt(zweite);
        auto andere = bleibt.ErzeugeStimme();
        std::unique_ptr<IStimme> stimme;
        {
            EspeakSprachDienst dienst(aufnahme);
            stimme = dienst.ErzeugeStimme();
            QVERIFY(stimme && andere);
            for (int i = 0; i < 20; ++i) stimme->Speak("Noch 90 Sekunden", SVSFlagsAsync);
        }
        SprachTokens stimmen;
        QVERIFY(!stimme->GetVoices(stimmen) && !stimme->Speak("eins", SVSFDefault));
        QVERIFY(!zweite.Sagen(*andere, "eins").empty());
    }

    // Without a server nothing waits and the beat falls back to the platform
    // beep. With one, a sink kept awake wakes again with a new server, and
    // an idle one reconnects on the next request, also after the wall clock
    // was set back; a server that stops answering lets a waiting phrase go,
    // and the output closes at once. (The end-to-end tests hear speech and beat on PulseAudio
    // and PipeWire, the sink sleep when idle, and stay awake through a countdown.)
    void echterServer() {
        int piepse = 0;
        {
            Tonausgabe ausgabe("unix:/nonexistent/native", [&] { ++piepse; });
            EspeakSprachDienst dienst(ausgabe);
            auto stimme = dienst.ErzeugeStimme();
            QVERIFY(stimme && Gehoert(stimme->Speak("eins", SVSFDefault)));
            ausgabe.Abspielen();
            QCOMPARE(piepse, 1);
        }
        PrivaterTonserver server;
        if (!server.Starten()) QSKIP("no private sound server here (pulseaudio, pactl)");
        std::atomic<Wanduhr::duration> versatz{};  // the wall clock, set back meanwhile
        auto ausgabe = std::make_unique<Tonausgabe>(server.Adresse().toStdString(),
                                                    [&] { ++piepse; },
                                                    [&] { return Wanduhr::now() + versatz.load(); });
        QTRY_COMPARE_WITH_TIMEOUT(ausgabe->Zustand(), Tonausgabe::Verbindung::Bereit, 5000);
        EspeakSprachDienst dienst(*ausgabe);
        auto stimme = dienst.ErzeugeStimme();
        QVERIFY(Gehoert(stimme->Speak("Noch 90 Sekunden", SVSFDefault)));
        ausgabe->Abspielen();
        QCOMPARE(piepse, 1);  // every click of a working output goes to it
        ausgabe->CountdownGeschaltet(true);
        server.Stoppen();
        QTRY_VERIFY_WITH_TIMEOUT(!ausgabe->Spielt(), 10000);
        QVERIFY(server.Starten());
        QTRY_VERIFY_WITH_TIMEOUT(ausgabe->Spielt(), 10000);  // no request needed
        // Idle and without a server, the wall clock set back an hour: the
        // next request after the pause still tries a new connection.
        ausgabe->CountdownGeschaltet(false);
        QTRY_VERIFY_WITH_TIMEOUT(!ausgabe->Spielt(), 5000);
        server.Stoppen();
        QTRY_COMPARE_WITH_TIMEOUT(ausgabe->Zustand(), Tonausgabe::Verbindung::Getrennt, 5000);
        versatz = -1h;
        QVERIFY(server.Starten());
        QTest::qWait(3100);
        ausgabe->Abspielen();
        QTRY_COMPARE_WITH_TIMEOUT(ausgabe->Zustand(), Tonausgabe::Verbindung::Bereit, 5000);
        server.Anhalten(true);
        QVERIFY(Gehoert(stimme->Speak("eins", SVSFDefault)));  // let go, not held for good
        QCOMPARE(ausgabe->Zustand(), Tonausgabe::Verbindung::Getrennt);
        stimme->Speak("zwei", SVSFlagsAsync);
        ausgabe->CountdownGeschaltet(true);
        stimme.reset();
    }
};

QTEST_GUILESS_MAIN(TestTon)
#include "test_ton.moc"
