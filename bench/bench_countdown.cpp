// SPDX-License-Identifier: GPL-3.0-or-later
// A real countdown in the real window, heard through the real speech engine:
// the last 90 seconds and the ten seconds after the target, with the seconds
// beat on. The sound goes into the capture output (a sound device simulated
// in real time), or with --server to a sound server through PulseAudio's
// client API; there the countdown is started once the output has gone idle
// and the sink has had time to fall asleep, as on a desktop.
//
// For every phrase it prints the delay from the speak request in its tick to
// its first sound handed to the output, how long it plays, and, in the last
// seconds, how much room it leaves before the next second's phrase is
// requested. For the beat it prints the delay from each Beep in the tick to
// the click's first sample handed to the output, the first one apart.
//
// Usage: bench_countdown [seconds before the target=91] [--server ADDRESS]
// Runs for that many seconds plus about twelve.
#include <QApplication>
#include <QDateTime>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>
#include <vector>

#include "app/Form1.h"
#include "app/Plattform.h"
#include "speech/CaptureAusgabe.h"
#include "speech/EspeakStimme.h"
#include "speech/KlickSignalton.h"
#include "speech/PulseAusgabe.h"

namespace {

using Ms = std::chrono::duration<double, std::milli>;

double Abstand(AudioZeit von, AudioZeit bis) { return Ms(bis - von).count(); }

// Files in memory: the log and the remembered voice stay out of the working directory.
class KeineDateien : public IDateisystem {
    class Strom : public ITextStream {
    public:
        bool AtEndOfStream() override { return true; }
        bool ReadLine(QByteArray&) override { return false; }
        bool WriteLine(const QByteArray&) override { return true; }
        void Close() override {}
    };

public:
    std::unique_ptr<ITextStream> OpenTextFile(const QString&, IoModus modus, bool) override {
        if (modus == IoModus::ForReading) return nullptr;
        return std::make_unique<Strom>();
    }
    bool ErsetzeDatei(const QString&, const QByteArray&) override { return true; }
};

class StilleMeldung : public IMeldung {
public:
    void MsgBox(const QString& text) override { texte << text; }
    QStringList texte;
};

// Passes everything to the capture output and notes when each phrase began
// and ended, in request order.
class MessAusgabe : public IAudioAusgabe {
public:
    explicit MessAusgabe(IAudioAusgabe& innen) : innen_(innen) {}
    uint64_t phraseBeginnen(PhraseFertig fertig) override {
        const size_t index = angefangen_++;
        return innen_.phraseBeginnen([this, index, fertig](const PhrasenErgebnis& e) {
            {
                std::lock_guard lock(mutex_);
                ergebnisse_[index] = e;
            }
            if (fertig) fertig(e);
        });
    }
    void phraseDaten(uint64_t nr, const int16_t* pcm, size_t anzahl) override {
        innen_.phraseDaten(nr, pcm, anzahl);
    }
    void phraseBeenden(uint64_t nr) override { innen_.phraseBeenden(nr); }
    bool ueberlagern(std::shared_ptr<const PcmPuffer> klang) override {
        return innen_.ueberlagern(std::move(klang));
    }
    uint64_t fortschritt() const override { return innen_.fortschritt(); }
    void setzeMithoerer(Mithoerer m) override { innen_.setzeMithoerer(std::move(m)); }
    void wachHalten(bool an) override { innen_.wachHalten(an); }

    std::map<size_t, PhrasenErgebnis> ergebnisse() {
        std::lock_guard lock(mutex_);
        return ergebnisse_;
    }

private:
    IAudioAusgabe& innen_;
    size_t angefangen_ = 0;  // only the engine's one worker thread opens phrases
    std::mutex mutex_;
    std::map<size_t, PhrasenErgebnis> ergebnisse_;
};

struct Anfrage {
    AudioZeit zeit;
    QString text;
};

// The engine's voice, noting the moment of every speak request.
class MessStimme : public IStimme {
public:
    MessStimme(std::unique_ptr<IStimme> innen, std::vector<Anfrage>& log)
        : innen_(std::move(innen)), log_(log) {}
    bool GetVoices(SprachTokens& s) override { return innen_->GetVoices(s); }
    bool SetVoice(const SprachToken& t) override { return innen_->SetVoice(t); }
    bool SetRate(int r) override {
        rate = r;
        return innen_->SetRate(r);
    }
    bool Speak(const QString& text, int flags) override {
        log_.push_back({AudioUhr::now(), text});
        return innen_->Speak(text, flags);
    }
    int rate = 0;

private:
    std::unique_ptr<IStimme> innen_;
    std::vector<Anfrage>& log_;
};

class MessDienst : public ISprachDienst {
public:
    MessDienst(ISprachDienst& innen, std::vector<Anfrage>& log) : innen_(innen), log_(log) {}
    std::unique_ptr<IStimme> ErzeugeStimme() override {
        auto s = innen_.ErzeugeStimme();
        if (!s) return nullptr;
        auto m = std::make_unique<MessStimme>(std::move(s), log_);
        stimme = m.get();
        return m;
    }
    MessStimme* stimme = nullptr;

private:
    ISprachDienst& innen_;
    std::vector<Anfrage>& log_;
};

class MessSignalton : public ISignalton {
public:
    explicit MessSignalton(ISignalton& innen) : innen_(innen) {}
    void Beep() override {
        zeiten.push_back(AudioUhr::now());
        innen_.Beep();
    }
    std::vector<AudioZeit> zeiten;

private:
    ISignalton& innen_;
};

struct Statistik {
    double min, median, p95, max;
};

// The countdown keeps the output awake, as in production.
class WachHalter : public ICountdownStatus {
public:
    explicit WachHalter(IAudioAusgabe& a) : a_(a) {}
    void CountdownLaeuft(bool laeuft) override { a_.wachHalten(laeuft); }

private:
    IAudioAusgabe& a_;
};

Statistik Auswerten(std::vector<double> w) {
    std::sort(w.begin(), w.end());
    auto q = [&](double a) { return w[size_t(a * double(w.size() - 1) + 0.5)]; };
    return {w.front(), q(0.5), q(0.95), w.back()};
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int vorlauf = 91;
    std::string server;
    for (int i = 1; i < argc; ++i) {
        if (QByteArray(argv[i]) == "--server" && i + 1 < argc) {
            server = argv[++i];
        } else {
            vorlauf = std::max(12, std::atoi(argv[i]));
        }
    }

    std::unique_ptr<MischendeAusgabe> innen;
    PulseAusgabe* pulse = nullptr;
    if (server.empty()) {
        innen = std::make_unique<CaptureAusgabe>(CaptureAusgabe::Takt::Echtzeit);
    } else {
        auto p = std::make_unique<PulseAusgabe>(server);
        pulse = p.get();
        innen = std::move(p);
        if (!pulse->warteAufVerbindung(std::chrono::seconds(5))) {
            std::fprintf(stderr, "the sound server %s did not accept the connection\n",
                         server.c_str());
            return 1;
        }
    }
    MessAusgabe ausgabe(*innen);
    // Clicks: every buffer that starts one, at its place in the stream.
    std::mutex klickMutex;
    std::vector<AudioZeit> klicks;
    ausgabe.setzeMithoerer([&](AudioZeit t, const int16_t*, size_t, const MischInfo& info) {
        if (info.klangBeginn < 0) return;
        std::lock_guard lock(klickMutex);
        klicks.push_back(
            t + std::chrono::duration_cast<AudioUhr::duration>(
                    std::chrono::duration<double>(double(info.klangBeginn) / kAbtastrate)));
    });
    WachHalter wachHalter(ausgabe);
    EspeakSprachDienst engine(ausgabe);
    std::vector<Anfrage> anfragen;
    MessDienst dienst(engine, anfragen);
    KlickSignalton klick(&ausgabe);
    MessSignalton signalton(klick);
    SystemUhr uhr;
    KeineDateien dateien;
    StilleMeldung meldung;

    Dienste d;
    d.uhr = &uhr;
    d.dateisystem = &dateien;
    d.meldung = &meldung;
    d.sprache = &dienst;
    d.signalton = &signalton;
    d.countdown = &wachHalter;
    Form1 f(d);
    if (!dienst.stimme || f.A.SprachAusgabeAn == 0) {
        std::fprintf(stderr, "no speech engine: %s\n", qPrintable(engine.fehler()));
        return 1;
    }

    // A duration countdown with the beat on; the first tick sees one second less.
    SetzeWert(f.Check_Dauer, 1);
    f.Combo_H->setEditText(QStringLiteral("00"));
    f.Combo_M->setEditText(QString::number(vorlauf / 60));
    f.Combo_S->setEditText(QString::number(vorlauf % 60));
    f.SekundenschlagAus = False16;
    if (pulse) {
        // Started as a user would, long after the last sound: the stream is
        // corked and the sink has fallen asleep.
        for (int i = 0; i < 100 && pulse->spielt(); ++i) QThread::msleep(100);
        QThread::msleep(2000);
    }
    f.Command_Start_Click();

    // Stop once the expiry tick has run and the last word (said a second
    // before it) has surely been played.
    QTimer warten;
    QObject::connect(&warten, &QTimer::timeout, [&] {
        if (f.A.CountDownLaeuft != 0) return;
        warten.stop();
        QTimer::singleShot(2000, &app, &QApplication::quit);
    });
    warten.start(200);
    std::printf("countdown of %d s at rate %d, beat on; running in real time ...\n", vorlauf,
                dienst.stimme->rate);
    std::fflush(stdout);
    app.exec();

    const auto ergebnisse = ausgabe.ergebnisse();
    std::printf("\n%-18s %10s %12s %12s %14s\n", "phrase", "tick s", "to sound ms", "plays ms",
                "room left ms");
    std::vector<double> verzoegerung;
    double engsteLuecke = 1e9;
    int ueberlappt = 0, verloren = 0;
    const AudioZeit t0 = anfragen.empty() ? AudioZeit{} : anfragen.front().zeit;
    for (size_t i = 0; i < anfragen.size(); ++i) {
        const auto it = ergebnisse.find(i);
        const bool gespielt = it != ergebnisse.end() && it->second.gespielt;
        if (!gespielt) {
            ++verloren;
            std::printf("%-18s %10.1f %12s\n", qPrintable(anfragen[i].text),
                        Abstand(t0, anfragen[i].zeit) / 1000, "not played");
            continue;
        }
        const PhrasenErgebnis& e = it->second;
        const double bisKlang = Abstand(anfragen[i].zeit, e.beginn);
        verzoegerung.push_back(bisKlang);
        // Room before the next phrase is requested; it matters in the last
        // seconds, where a phrase is due every second.
        QString luecke;
        if (i + 1 < anfragen.size() && Abstand(anfragen[i].zeit, anfragen[i + 1].zeit) < 1500) {
            const double l = Abstand(e.ende, anfragen[i + 1].zeit);
            engsteLuecke = std::min(engsteLuecke, l);
            if (l < 0) ++ueberlappt;
            luecke = QString::number(l, 'f', 1);
        }
        std::printf("%-18s %10.1f %12.1f %12.1f %14s\n", qPrintable(anfragen[i].text),
                    Abstand(t0, anfragen[i].zeit) / 1000, bisKlang, Abstand(e.beginn, e.ende),
                    qPrintable(luecke));
    }

    // Clicks, matched in order to the Beep calls.
    ausgabe.setzeMithoerer({});
    std::vector<double> klickVerzoegerung;
    for (size_t i = 0; i < std::min(klicks.size(), signalton.zeiten.size()); ++i)
        klickVerzoegerung.push_back(Abstand(signalton.zeiten[i], klicks[i]));

    std::printf("\nphrases %zu (played %zu, lost %d)\n", anfragen.size(), verzoegerung.size(),
                verloren);
    if (!verzoegerung.empty()) {
        const Statistik s = Auswerten(verzoegerung);
        std::printf(
            "speak request -> first sound ms: min %.1f  median %.1f  p95 %.1f  max %.1f   "
            "(goal: max <= 100)\n",
            s.min, s.median, s.p95, s.max);
    }
    std::printf(
        "last seconds: tightest room before the next phrase %.1f ms, overlaps %d   (goal: 0)\n",
        engsteLuecke, ueberlappt);
    std::printf("beeps %zu, clicks heard %zu\n", signalton.zeiten.size(), klicks.size());
    if (!klickVerzoegerung.empty()) {
        std::printf("first click after \"Timer Start\" -> click output ms: %.1f   (goal: <= 20)\n",
                    klickVerzoegerung.front());
        const Statistik s = Auswerten(klickVerzoegerung);
        std::printf(
            "beep in the tick -> click output ms: min %.1f  median %.1f  p95 %.1f  max %.1f   "
            "(goal: max <= 20)\n",
            s.min, s.median, s.p95, s.max);
    }
    if (!meldung.texte.isEmpty())
        std::printf("messages: %s\n", qPrintable(meldung.texte.join(QStringLiteral(" | "))));
    return 0;
}
