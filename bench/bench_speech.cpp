// SPDX-License-Identifier: GPL-3.0-or-later
// Speech and beat timing. Prints figures, judges nothing.
//
//  1. From Speak("Noch 90 Sekunden", 1) at rate -5 to the first audible sample
//     handed to the output: median and worst of 20 requests, each made with
//     the output idle (the PulseAudio stream corked), as between two
//     announcements of a countdown.
//  2. From Beep() to the first sample of the click handed to the output, idle
//     and while speech plays.
//  3. Length of the trimmed words "10" ... "0" at rate -5.
//  4. The last seconds of a countdown, one phrase per second tick: delay from
//     each tick to its first sound, and whether a phrase still plays when the
//     next tick comes.
//
// Outputs: the capture output (a simulated device consuming in real time),
// and PulseAudio through a private server with a null sink when pulseaudio is
// installed. Run: bench_speech [--ohne-pulse | --nur-pulse] [--alle]
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

AudioUhr::duration samplesDauer(size_t n) {
    return std::chrono::duration_cast<AudioUhr::duration>(
        std::chrono::duration<double>(double(n) / kAbtastrate));
}

// Watches the buffers handed to the device and notes the first audible
// sample, the first click and each phrase start after a chosen moment.
class Horcher {
public:
    explicit Horcher(IAudioAusgabe& ausgabe, bool zeitJeSample) : ausgabe_(ausgabe) {
        // The capture output plays a block over its length; a real device gets
        // the whole buffer at once.
        ausgabe.setzeMithoerer([this, zeitJeSample](AudioZeit t, const int16_t* pcm, size_t n,
                                                    const MischInfo& info) {
            std::lock_guard lock(mutex_);
            const auto zeitVon = [&](size_t i) { return zeitJeSample ? t + samplesDauer(i) : t; };
            if (!laut_) {
                for (size_t i = 0; i < n; ++i) {
                    if (std::abs(pcm[i]) >= kLaut) {
                        laut_ = zeitVon(i);
                        break;
                    }
                }
            }
            if (!klick_ && info.klangBeginn >= 0) klick_ = zeitVon(size_t(info.klangBeginn));
            if (info.phrasenBeginn >= 0) phrasen_.push_back(zeitVon(size_t(info.phrasenBeginn)));
            // The end of sound: the last audible sample seen so far.
            for (size_t i = n; i-- > 0;) {
                if (std::abs(pcm[i]) >= kLaut) {
                    letzterLaut_ = zeitVon(i);
                    break;
                }
            }
            cv_.notify_all();
        });
    }
    ~Horcher() { ausgabe_.setzeMithoerer({}); }

    void zuruecksetzen() {
        std::lock_guard lock(mutex_);
        laut_.reset();
        klick_.reset();
        phrasen_.clear();
    }
    std::optional<AudioZeit> ersterLaut(std::chrono::milliseconds grenze) {
        std::unique_lock lock(mutex_);
        cv_.wait_for(lock, grenze, [this] { return laut_.has_value(); });
        return laut_;
    }
    std::optional<AudioZeit> ersterKlick(std::chrono::milliseconds grenze) {
        std::unique_lock lock(mutex_);
        cv_.wait_for(lock, grenze, [this] { return klick_.has_value(); });
        return klick_;
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
    IAudioAusgabe& ausgabe_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::optional<AudioZeit> laut_, klick_;
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

void zeile(const char* was, const Statistik& s, const std::vector<double>& werte = {}) {
    if (alleWerte && !werte.empty()) {
        std::printf("  %s:", was);
        for (double w : werte) std::printf(" %.1f", w);
        std::printf("\n");
    }
    std::printf("  %-44s median %6.1f ms   best %6.1f ms   worst %6.1f ms%s\n", was, s.median,
                s.beste, s.schlechteste, s.fehlend ? "   (some never heard)" : "");
}

// Waits until everything queued so far has been played.
void abwarten(IStimme& stimme) { stimme.Speak(QString(), SVSFDefault); }

void sprachLatenz(IStimme& stimme, Horcher& horcher, const char* name) {
    stimme.SetRate(-5);
    std::vector<double> werte;
    int fehlend = 0;
    for (int i = 0; i < 20; ++i) {
        abwarten(stimme);
        std::this_thread::sleep_for(700ms);  // idle long enough for the stream to cork
        horcher.zuruecksetzen();
        const AudioZeit t0 = AudioUhr::now();
        stimme.Speak(QStringLiteral("Noch 90 Sekunden"), SVSFlagsAsync);
        if (auto t = horcher.ersterLaut(3000ms)) {
            werte.push_back(ms(*t - t0));
        } else {
            ++fehlend;
        }
    }
    abwarten(stimme);
    zeile((std::string(name) + ": Speak -> first audible sample").c_str(),
          auswerten(werte, fehlend), werte);
}

void klickLatenz(IStimme& stimme, ISignalton& klick, Horcher& horcher, const char* name) {
    std::vector<double> still, waehrend;
    int fehlend = 0;
    for (int i = 0; i < 20; ++i) {
        std::this_thread::sleep_for(700ms);
        horcher.zuruecksetzen();
        const AudioZeit t0 = AudioUhr::now();
        klick.Beep();
        if (auto t = horcher.ersterKlick(1000ms)) {
            still.push_back(ms(*t - t0));
        } else {
            ++fehlend;
        }
    }
    zeile((std::string(name) + ": Beep -> click, output idle").c_str(), auswerten(still, fehlend),
          still);
    fehlend = 0;
    stimme.SetRate(-5);
    for (int runde = 0; runde < 4; ++runde) {
        stimme.Speak(QStringLiteral("Noch 90 Sekunden"), SVSFlagsAsync);
        std::this_thread::sleep_for(300ms);
        for (int i = 0; i < 5; ++i) {
            horcher.zuruecksetzen();
            const AudioZeit t0 = AudioUhr::now();
            klick.Beep();
            if (auto t = horcher.ersterKlick(1000ms)) {
                waehrend.push_back(ms(*t - t0));
            } else {
                ++fehlend;
            }
            std::this_thread::sleep_for(170ms);
        }
        abwarten(stimme);
    }
    zeile((std::string(name) + ": Beep -> click, during speech").c_str(),
          auswerten(waehrend, fehlend), waehrend);
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
void countdownEnde() {
    CaptureAusgabe ausgabe;
    EspeakSprachDienst dienst(ausgabe);
    auto stimme = dienst.ErzeugeStimme();
    if (!stimme) return;
    stimme->SetRate(-5);
    Horcher horcher(ausgabe, true);
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
        stimme->Speak(saetze[i], SVSFlagsAsync);
    }
    abwarten(*stimme);
    const auto phrasen = horcher.phrasen();
    std::vector<double> verzug;
    for (size_t i = 0; i < ticks.size() && i < phrasen.size(); ++i) {
        verzug.push_back(ms(phrasen[i] - ticks[i]));
    }
    std::printf("\nEnd of a countdown at rate -5, capture output (%zu phrases, %zu started)\n",
                ticks.size(), phrasen.size());
    zeile("tick -> start of its phrase", auswerten(verzug, int(ticks.size() - verzug.size())));
    zeile("end of a word -> next tick (room left)", auswerten(endeVorNaechstem, 0));
}

// A helper process must not outlive us, even when we are killed.
void stirbtMit(QProcess& p) {
    p.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

// A PulseAudio server of the benchmark's own, with one null sink.
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

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    bool ohnePulse = false, nurPulse = false;
    for (int i = 1; i < argc; ++i) {
        ohnePulse = ohnePulse || QByteArray(argv[i]) == "--ohne-pulse";
        nurPulse = nurPulse || QByteArray(argv[i]) == "--nur-pulse";
        alleWerte = alleWerte || QByteArray(argv[i]) == "--alle";
    }

    std::printf("Speech and beat timing (rate -5, 20 requests each, output idle before each)\n");
    if (!nurPulse) {
        CaptureAusgabe ausgabe;
        EspeakSprachDienst dienst(ausgabe);
        auto stimme = dienst.ErzeugeStimme();
        if (!stimme) {
            std::printf("no speech engine: %s\n", qPrintable(dienst.fehler()));
            return 0;
        }
        Horcher horcher(ausgabe, true);
        KlickSignalton klick(&ausgabe);
        sprachLatenz(*stimme, horcher, "capture");
        klickLatenz(*stimme, klick, horcher, "capture");
    }
    if (!ohnePulse) {
        PrivaterServer server;
        if (server.starten()) {
            PulseAusgabe ausgabe(server.adresse());
            if (ausgabe.warteAufVerbindung(5000ms)) {
                {
                    // A beat right after connecting, while the sink may still be
                    // adopting the new stream's latency.
                    Horcher horcher(ausgabe, false);
                    KlickSignalton klick(&ausgabe);
                    const AudioZeit t0 = AudioUhr::now();
                    klick.Beep();
                    klick.Beep();  // the second one shows the stream's request pace
                    if (auto t = horcher.ersterKlick(3000ms)) {
                        std::printf("  %-44s %6.1f ms\n", "pulse: Beep right after connecting",
                                    ms(*t - t0));
                    }
                    std::this_thread::sleep_for(2500ms);
                }
                EspeakSprachDienst dienst(ausgabe);
                auto stimme = dienst.ErzeugeStimme();
                Horcher horcher(ausgabe, false);
                KlickSignalton klick(&ausgabe);
                sprachLatenz(*stimme, horcher, "pulse");
                klickLatenz(*stimme, klick, horcher, "pulse");
                std::printf(
                    "  (pulse: time the buffer is written to the stream; the server "
                    "plays it after its ~25 ms buffer)\n");
            } else {
                std::printf("  pulse: private server did not accept the connection\n");
            }
        } else {
            std::printf("  pulse: no pulseaudio here, skipped\n");
        }
    }
    if (!nurPulse) {
        wortLaengen();
        countdownEnde();
    }
    return 0;
}
