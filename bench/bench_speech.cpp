// SPDX-License-Identifier: GPL-3.0-or-later
// Speech and beat timing. Prints figures, judges nothing.
//
//  1. From Speak("Noch 90 Sekunden", 1) at rate -5 to its first audible
//     sample handed to the output: 20 requests with the output idle (the
//     stream corked, as before an announcement with no countdown running),
//     where the lead-in comes first and is reported apart, and 20 with the
//     output kept awake (as during a countdown).
//  2. From Beep() to the first sample of the click handed to the output: idle
//     (after the lead-in), kept awake, and while speech plays.
//  3. The first click of a countdown: the output is kept awake from the press
//     of "Timer Start" on, and the first tick comes up to a second later.
//  4. Length of the trimmed words "10" ... "0" at rate -5 (capture output).
//  5. The last seconds of a countdown, one phrase per second tick, output kept
//     awake: delay from each tick to its first sound, and the room left
//     before the next tick.
//
// "Handed to the output" is the moment the buffer holding the sample is
// written, plus the sample's place in the written stream after that buffer's
// start; a buffer written over queued silence is heard after the sink's own
// latency, one appended behind sound after what is queued.
//
// Outputs: the capture output (a simulated device consuming in real time)
// and PulseAudio's client API: a private PulseAudio server with a null sink,
// or the server given with --server (PipeWire's pulse server, for one).
// Run: bench_speech [--server ADDRESS --als NAME] [--alle] | --nur-woerter
#include <sys/prctl.h>

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <optional>
#include <thread>

#include "speech/CaptureAusgabe.h"
#include "speech/EspeakStimme.h"
#include "speech/KlickSignalton.h"
#include "speech/PulseAusgabe.h"

namespace {

using namespace std::chrono_literals;
bool alleWerte = false;  // --alle: print every single value too
constexpr int kLaut = 320;

double ms(AudioUhr::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

AudioUhr::duration samplesDauer(double n) {
    return std::chrono::duration_cast<AudioUhr::duration>(
        std::chrono::duration<double>(n / kAbtastrate));
}

// Watches the buffers handed to the device after a chosen moment.
class Horcher {
public:
    struct Treffer {
        double ms = 0;      // from the moment to the sound, lead-in not counted
        double anlauf = 0;  // lead-in before it, ms
    };

    // `echtzeit`: the output plays each buffer over its length from its time
    // (the capture output); otherwise a buffer is handed over at its time.
    Horcher(IAudioAusgabe& ausgabe, bool echtzeit) : ausgabe_(ausgabe), echtzeit_(echtzeit) {
        ausgabe.setzeMithoerer(
            [this](AudioZeit t, const int16_t* pcm, size_t n, const MischInfo& info) {
                std::lock_guard lock(mutex_);
                Puffer p{t, n, -1, -1, info.anlauf};
                for (size_t i = 0; i < n; ++i) {
                    if (std::abs(pcm[i]) >= kLaut) {
                        p.laut = int(i);
                        break;
                    }
                }
                p.klang = info.klangBeginn;
                if (info.phrasenBeginn >= 0)
                    phrasen_.push_back(t + samplesDauer(info.phrasenBeginn));
                for (size_t i = n; i-- > 0;) {
                    if (std::abs(pcm[i]) >= kLaut) {
                        letzterLaut_ = t + samplesDauer(double(i));
                        break;
                    }
                }
                puffer_.push_back(p);
                cv_.notify_all();
            });
    }
    ~Horcher() { ausgabe_.setzeMithoerer({}); }

    void zuruecksetzen() {
        std::lock_guard lock(mutex_);
        puffer_.clear();
        phrasen_.clear();
    }
    // The first audible sample (or the first click) after the last reset.
    std::optional<Treffer> ersterLaut(std::chrono::milliseconds grenze, AudioZeit t0) {
        return suchen(grenze, t0, [](const Puffer& p) { return p.laut; });
    }
    std::optional<Treffer> ersterKlick(std::chrono::milliseconds grenze, AudioZeit t0) {
        return suchen(grenze, t0, [](const Puffer& p) { return p.klang; });
    }
    std::vector<AudioZeit> phrasen() {
        std::lock_guard lock(mutex_);
        return phrasen_;
    }
    AudioZeit letzterLaut() {
        std::lock_guard lock(mutex_);
        return letzterLaut_;
    }

private:
    struct Puffer {
        AudioZeit zeit;
        size_t n;
        int laut, klang, anlauf;
    };

    template <class Stelle>
    std::optional<Treffer> suchen(std::chrono::milliseconds grenze, AudioZeit t0, Stelle stelle) {
        std::unique_lock lock(mutex_);
        std::optional<Treffer> treffer;
        cv_.wait_for(lock, grenze, [&] {
            // The place in the stream counts from the first buffer written.
            double davor = 0, anlauf = 0;
            const Puffer* erster = nullptr;
            for (const auto& p : puffer_) {
                // Nothing of the request can be in a buffer done before it.
                if ((echtzeit_ ? p.zeit + samplesDauer(double(p.n)) : p.zeit) <= t0) continue;
                if (!erster) erster = &p;
                anlauf += p.anlauf;
                if (stelle(p) >= 0) {
                    const double samples = davor + stelle(p) - anlauf;
                    treffer = Treffer{ms(erster->zeit - t0) + 1000.0 * samples / kAbtastrate,
                                      1000.0 * anlauf / kAbtastrate};
                    return true;
                }
                davor += double(p.n);
            }
            return false;
        });
        return treffer;
    }

    IAudioAusgabe& ausgabe_;
    const bool echtzeit_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<Puffer> puffer_;
    std::vector<AudioZeit> phrasen_;
    AudioZeit letzterLaut_{};
};

struct Statistik {
    double median = 0, schlechteste = 0, beste = 0;
    int fehlend = 0;
};

Statistik auswerten(std::vector<double> werte, int fehlend) {
    Statistik s;
    s.fehlend = fehlend;
    if (werte.empty()) return s;
    std::sort(werte.begin(), werte.end());
    s.median = werte.size() % 2 ? werte[werte.size() / 2]
                                : (werte[werte.size() / 2 - 1] + werte[werte.size() / 2]) / 2;
    s.beste = werte.front();
    s.schlechteste = werte.back();
    return s;
}

void zeile(const std::string& was, const Statistik& s, const std::vector<double>& werte = {},
           const std::string& zusatz = {}) {
    if (alleWerte && !werte.empty()) {
        std::printf("  %s:", was.c_str());
        for (double w : werte) std::printf(" %.1f", w);
        std::printf("\n");
    }
    std::printf("  %-50s median %6.1f ms   best %6.1f ms   worst %6.1f ms%s%s\n", was.c_str(),
                s.median, s.beste, s.schlechteste, s.fehlend ? "   (some never heard)" : "",
                zusatz.c_str());
}

// Collects measurements of one kind and prints them as one row.
struct Reihe {
    std::vector<double> werte;
    double anlauf = 0;
    int fehlend = 0;
    void nehmen(const std::optional<Horcher::Treffer>& t) {
        if (!t) {
            ++fehlend;
            return;
        }
        werte.push_back(t->ms);
        anlauf = std::max(anlauf, t->anlauf);
    }
    void drucken(const std::string& was) const {
        zeile(was, auswerten(werte, fehlend), werte,
              anlauf > 0 ? "   (after a lead-in of " + std::to_string(int(anlauf + 0.5)) + " ms)"
                         : std::string());
    }
};

// Waits until everything queued so far has been played.
void abwarten(IStimme& stimme) { stimme.Speak(QString(), SVSFDefault); }

// Idle long enough for the output to let go (it corks after a second of silence).
void ruhenLassen() { std::this_thread::sleep_for(1800ms); }

void sprachLatenz(IAudioAusgabe& ausgabe, IStimme& stimme, Horcher& horcher,
                  const std::string& name) {
    stimme.SetRate(-5);
    for (bool wach : {false, true}) {
        ausgabe.wachHalten(wach);
        Reihe r;
        for (int i = 0; i < 10; ++i) {
            abwarten(stimme);
            if (wach) {
                std::this_thread::sleep_for(300ms);  // only silence queued
            } else {
                ruhenLassen();
            }
            horcher.zuruecksetzen();
            const AudioZeit t0 = AudioUhr::now();
            stimme.Speak(QStringLiteral("Noch 90 Sekunden"), SVSFlagsAsync);
            r.nehmen(horcher.ersterLaut(3000ms, t0));
        }
        abwarten(stimme);
        ausgabe.wachHalten(false);
        r.drucken(name + ": Speak -> first sound, " + (wach ? "kept awake" : "from idle"));
    }
}

void klickLatenz(IAudioAusgabe& ausgabe, IStimme& stimme, ISignalton& klick, Horcher& horcher,
                 const std::string& name) {
    for (bool wach : {false, true}) {
        ausgabe.wachHalten(wach);
        Reihe r;
        for (int i = 0; i < (wach ? 20 : 10); ++i) {
            if (wach) {
                std::this_thread::sleep_for(300ms);
            } else {
                ruhenLassen();
            }
            horcher.zuruecksetzen();
            const AudioZeit t0 = AudioUhr::now();
            klick.Beep();
            r.nehmen(horcher.ersterKlick(1000ms, t0));
        }
        ausgabe.wachHalten(false);
        r.drucken(name + ": Beep -> click, " + (wach ? "kept awake" : "from idle"));
    }
    Reihe r;
    stimme.SetRate(-5);
    for (int runde = 0; runde < 4; ++runde) {
        stimme.Speak(QStringLiteral("Noch 90 Sekunden"), SVSFlagsAsync);
        std::this_thread::sleep_for(PulseAusgabe::kAnlauf + 300ms);  // the phrase plays
        for (int i = 0; i < 5; ++i) {
            horcher.zuruecksetzen();
            const AudioZeit t0 = AudioUhr::now();
            klick.Beep();
            r.nehmen(horcher.ersterKlick(1000ms, t0));
            std::this_thread::sleep_for(170ms);
        }
        abwarten(stimme);
    }
    r.drucken(name + ": Beep -> click, during speech");
}

// "Timer Start" keeps the output awake from the press on; the first tick, and
// with it the first click, comes at the next second boundary, so anywhere up
// to a second later. The output was idle and its sink asleep before.
void ersterKlick(IAudioAusgabe& ausgabe, ISignalton& klick, Horcher& horcher,
                 const std::string& name) {
    Reihe r;
    for (int spaeter : {5, 50, 120, 250, 400, 600, 800, 995}) {
        ruhenLassen();
        ausgabe.wachHalten(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(spaeter));
        horcher.zuruecksetzen();
        const AudioZeit t0 = AudioUhr::now();
        klick.Beep();
        r.nehmen(horcher.ersterKlick(1000ms, t0));
        ausgabe.wachHalten(false);
    }
    r.drucken(name + ": first click after \"Timer Start\"");
}

void wortLaengen() {
    CaptureAusgabe ausgabe(CaptureAusgabe::Takt::SoSchnellWieMoeglich);
    EspeakSprachDienst dienst(ausgabe);
    auto stimme = dienst.ErzeugeStimme();
    if (!stimme) return;
    stimme->SetRate(-5);
    std::printf("\nTrimmed words at rate -5 (one word a second in the last ten seconds)\n  ");
    for (int i = 10; i >= 0; --i) {
        ausgabe.aufnahmeLeeren();
        stimme->Speak(QString::number(i), SVSFDefault);
        ausgabe.warteBisStill(5000ms);
        PcmPuffer p = ausgabe.samples();
        while (!p.empty() && p.back() == 0) p.pop_back();
        const auto start = std::find_if(p.begin(), p.end(), [](int16_t x) { return x != 0; });
        std::printf("%2d: %3.0f ms  ", i, 1000.0 * double(p.end() - start) / kAbtastrate);
        if (i == 5) std::printf("\n  ");
    }
    std::printf("\n");
}

// The end of a countdown as the tick speaks it: "Noch 20 Sekunden", ten
// seconds of silence, then one word a second from 10 down to 0 and up to 10.
// The output is kept awake throughout, as a running countdown keeps it.
void countdownEnde(IAudioAusgabe& ausgabe, IStimme& stimme, Horcher& horcher,
                   const std::string& name) {
    stimme.SetRate(-5);
    abwarten(stimme);
    ausgabe.wachHalten(true);
    horcher.zuruecksetzen();
    std::vector<QString> saetze{QStringLiteral("Noch 20 Sekunden")};
    std::vector<int> sekunde{-20};
    for (int s = -10; s <= 10; ++s) {
        saetze.push_back(QString::number(std::abs(s)));
        sekunde.push_back(s);
    }
    std::vector<AudioZeit> ticks;
    const AudioZeit start = AudioUhr::now() + 200ms;
    std::vector<double> endeVorNaechstem;
    for (size_t i = 0; i < saetze.size(); ++i) {
        const AudioZeit tick = start + std::chrono::seconds(sekunde[i] - sekunde[0]);
        std::this_thread::sleep_until(tick);
        if (i > 0 && sekunde[i] - sekunde[i - 1] == 1) {
            // Room left between the end of the previous word and this tick.
            endeVorNaechstem.push_back(ms(tick - horcher.letzterLaut()));
        }
        ticks.push_back(AudioUhr::now());
        stimme.Speak(saetze[i], SVSFlagsAsync);
    }
    abwarten(stimme);
    ausgabe.wachHalten(false);
    const auto phrasen = horcher.phrasen();
    std::vector<double> verzug;
    for (size_t i = 0; i < ticks.size() && i < phrasen.size(); ++i) {
        verzug.push_back(ms(phrasen[i] - ticks[i]));
    }
    zeile(name + ": countdown end, tick -> start of its phrase",
          auswerten(verzug, int(ticks.size() - verzug.size())), verzug);
    zeile(name + ": countdown end, end of a word -> next tick", auswerten(endeVorNaechstem, 0));
}

void alles(IAudioAusgabe& ausgabe, const std::string& name, bool echtzeit) {
    EspeakSprachDienst dienst(ausgabe);
    auto stimme = dienst.ErzeugeStimme();
    if (!stimme) {
        std::printf("  %s: no speech engine: %s\n", name.c_str(), qPrintable(dienst.fehler()));
        return;
    }
    Horcher horcher(ausgabe, echtzeit);
    KlickSignalton klick(&ausgabe);
    sprachLatenz(ausgabe, *stimme, horcher, name);
    klickLatenz(ausgabe, *stimme, klick, horcher, name);
    ersterKlick(ausgabe, klick, horcher, name);
    countdownEnde(ausgabe, *stimme, horcher, name);
}

// A helper process must not outlive us, even when we are killed.
void stirbtMit(QProcess& p) {
    p.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

// A PulseAudio server of the benchmark's own, with one null sink that is
// suspended after a second without a playing stream.
class PrivaterServer {
public:
    bool starten() {
        if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty()) return false;
        const QString d = dir_.path();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), d);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), d);
        env.insert(QStringLiteral("PULSE_RUNTIME_PATH"), d + QStringLiteral("/pulse"));
        env.insert(QStringLiteral("PULSE_STATE_PATH"), d + QStringLiteral("/state"));
        qputenv("PULSE_COOKIE", (d + QStringLiteral("/cookie")).toLocal8Bit());
        server_.setProcessEnvironment(env);
        stirbtMit(server_);
        server_.start(QStringLiteral("pulseaudio"),
                      {QStringLiteral("-n"), QStringLiteral("--daemonize=no"),
                       QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--use-pid-file=no"),
                       QStringLiteral("--log-level=0"),
                       QStringLiteral("--load=module-null-sink sink_name=null"),
                       QStringLiteral("--load=module-suspend-on-idle timeout=1"),
                       QStringLiteral("--load=module-native-protocol-unix auth-anonymous=1")});
        if (!server_.waitForStarted(5000)) return false;
        for (int i = 0; i < 100; ++i) {
            if (QFile::exists(d + QStringLiteral("/pulse/native"))) return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }
    std::string adresse() const { return "unix:" + dir_.path().toStdString() + "/pulse/native"; }
    ~PrivaterServer() {
        if (server_.state() != QProcess::NotRunning) {
            server_.kill();
            server_.waitForFinished(5000);
        }
    }

private:
    QTemporaryDir dir_;
    QProcess server_;
};

void mitServer(const std::string& adresse, const std::string& name) {
    PulseAusgabe ausgabe(adresse);
    if (!ausgabe.warteAufVerbindung(5000ms)) {
        std::printf("  %s: the server did not accept the connection\n", name.c_str());
        return;
    }
    alles(ausgabe, name, false);
    std::printf(
        "  (%s: time the sample is handed to the stream; the server plays it after the\n"
        "  sink's latency when it went over queued silence, else after the <= 50 ms queued)\n",
        name.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::string server, name = "pulseaudio";
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "--server" && i + 1 < argc) server = argv[++i];
        if (a == "--als" && i + 1 < argc) name = argv[++i];  // not --name: Qt takes that
        alleWerte = alleWerte || a == "--alle";
        if (a == "--nur-woerter") {
            wortLaengen();
            return 0;
        }
    }

    std::printf("Speech and beat timing (rate -5)\n");
    if (!server.empty()) {
        mitServer(server, name);
        return 0;
    }
    {
        CaptureAusgabe ausgabe;
        ausgabe.setzeAnlauf(PulseAusgabe::kAnlauf);
        alles(ausgabe, "capture", true);
    }
    PrivaterServer privat;
    if (privat.starten()) {
        mitServer(privat.adresse(), name);
    } else {
        std::printf("  pulseaudio: not installed here, skipped\n");
    }
    wortLaengen();
    return 0;
}
