// SPDX-License-Identifier: GPL-3.0-or-later
#include "speech/EspeakStimme.h"

#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <future>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "app/Warten.h"
#include "speech/Aussprache.h"
#include "speech/StilleTrimmer.h"

int EspeakWorteProMinute(int rate) {
    const double wpm = espeakRATE_NORMAL * std::pow(3.0, std::clamp(rate, -10, 10) / 10.0);
    return std::clamp(int(std::lround(wpm)), int(espeakRATE_MINIMUM), int(espeakRATE_MAXIMUM));
}

namespace {

// A flags-0 request gives up when neither synthesis nor output has moved on
// for this long: the output is stuck, and the window must not hang on it.
constexpr auto kStillstandGrenze = std::chrono::seconds(3);

QString statusText(espeak_ng_STATUS status) {
    char text[512] = {};
    espeak_ng_GetStatusCodeMessage(status, text, sizeof text);
    return QString::fromLocal8Bit(text);
}

// espeak-ng keeps its state in globals, so one engine per process at a time.
// Once initialised the library stays so until the process ends: espeak-ng
// 1.51 hangs in espeak_ng_Terminate when it is initialised a second time after
// a terminate. A later engine reuses it from its own worker thread; only one
// thread at a time ever calls into the library.
struct EspeakProzess {
    std::mutex mutex;
    bool belegt = false;
    bool initialisiert = false;
    bool ausgabeInitialisiert = false;
    QString datenPfad;
};
EspeakProzess& prozess() {
    static EspeakProzess p;
    return p;
}

}  // namespace

// ---------------------------------------------------------------- EspeakMaschine

struct StimmDefinition {
    std::string kennung;  // for espeak_ng_SetVoiceByName, e.g. "de" or "de+m1"
    QString name;
};

class EspeakMaschine {
public:
    static std::shared_ptr<EspeakMaschine> starten(IAudioAusgabe& ausgabe, const QString& pfad,
                                                   QString& fehler);

    // Stops the worker. Waits for it a bounded time only: a worker stuck in
    // the library (see laufen) is left behind, keeps itself alive and never
    // touches the output again.
    void herunterfahren();
    bool aktiv() const {
        std::lock_guard lock(mutex_);
        return !ende_;
    }
    const std::vector<StimmDefinition>& stimmen() const { return stimmen_; }
    bool sprechen(const QString& text, int stimme, int rate, bool warten);

private:
    struct Warte {
        std::mutex mutex;
        std::condition_variable cv;
        bool fertig = false;
    };
    struct Auftrag {
        QString text;
        int stimme = 0;
        int rate = 0;
        std::shared_ptr<Warte> warte;
    };

    explicit EspeakMaschine(IAudioAusgabe& ausgabe) : ausgabe_(ausgabe) {}
    void laufen(QString pfad, std::promise<QString> ergebnis);
    QString initialisieren(const QString& pfad);
    static QString bibliothekStarten(const QString& pfad);
    static bool ausgabeVorbereiten();
    void stimmenErmitteln();
    bool stimmeSetzen(const std::string& kennung);
    size_t probeSynthese(const char* text);
    void ausfuehren(const Auftrag& a);
    static void melden(const std::shared_ptr<Warte>& w);
    static int rueckruf(short* pcm, int anzahl, espeak_EVENT* ereignisse);

    IAudioAusgabe& ausgabe_;
    std::vector<StimmDefinition> stimmen_;  // fixed once the worker has started

    mutable std::mutex mutex_;
    std::condition_variable wecker_;
    std::deque<Auftrag> auftraege_;
    bool ende_ = false;
    bool beendet_ = false;  // the worker has finished with the library
    std::atomic<bool> abbrechen_{false};
    std::atomic<uint64_t> fortschritt_{0};

    // Worker-thread state of the phrase being synthesised.
    int aktuelleStimme_ = -1;
    int aktuelleRate_ = 0;
    uint64_t phrase_ = 0;
    size_t probeSamples_ = 0;
    std::unique_ptr<StilleTrimmer> trimmer_;
};

std::shared_ptr<EspeakMaschine> EspeakMaschine::starten(IAudioAusgabe& ausgabe, const QString& pfad,
                                                        QString& fehler) {
    {
        std::lock_guard lock(prozess().mutex);
        if (prozess().belegt) {
            fehler = QStringLiteral("Die Sprachausgabe läuft in diesem Prozess bereits.");
            return nullptr;
        }
        prozess().belegt = true;
    }
    std::shared_ptr<EspeakMaschine> m(new EspeakMaschine(ausgabe));
    std::promise<QString> versprechen;
    std::future<QString> ergebnis = versprechen.get_future();
    // The worker holds the engine itself, so it may outlive every other owner.
    std::thread([m, pfad, v = std::move(versprechen)]() mutable {
        m->laufen(pfad, std::move(v));
    }).detach();
    // Only the first phase is waited for: data, German voice, voice list.
    // Nothing of it touches a sound device.
    fehler = ergebnis.get();
    if (!fehler.isEmpty()) {
        std::lock_guard lock(m->mutex_);
        m->ende_ = true;
        return nullptr;
    }
    return m;
}

void EspeakMaschine::herunterfahren() {
    std::unique_lock lock(mutex_);
    ende_ = true;
    abbrechen_ = true;
    wecker_.notify_all();
    wecker_.wait_for(lock, std::chrono::seconds(2), [this] { return beendet_; });
}

QString EspeakMaschine::initialisieren(const QString& pfad) {
    bool schonBereit;
    {
        std::lock_guard lock(prozess().mutex);
        schonBereit = prozess().initialisiert;
        if (schonBereit && prozess().datenPfad != pfad) {
            return QStringLiteral("Die Sprachausgabe ist schon mit anderen Sprachdaten gestartet.");
        }
    }
    if (!schonBereit) {
        if (const QString fehler = bibliothekStarten(pfad); !fehler.isEmpty()) return fehler;
        std::lock_guard lock(prozess().mutex);
        prozess().initialisiert = true;
        prozess().datenPfad = pfad;
    }
    if (!stimmeSetzen("de")) return QStringLiteral("Keine deutsche Stimme verfügbar.");
    stimmenErmitteln();
    stimmeSetzen("de");
    aktuelleStimme_ = 0;
    espeak_ng_SetParameter(espeakRATE, EspeakWorteProMinute(0), 0);
    aktuelleRate_ = 0;
    return {};
}

QString EspeakMaschine::bibliothekStarten(const QString& pfad) {
    QByteArray pfadBytes;
    if (!pfad.isEmpty()) {
        // espeak-ng quietly falls back to the installed data for a directory
        // that does not exist; an explicit directory must really be there.
        if (!QFileInfo(pfad).isDir()) {
            return QStringLiteral("Sprachdaten fehlen: %1").arg(pfad);
        }
        pfadBytes = QFile::encodeName(pfad);
    }
    espeak_ng_InitializePath(pfadBytes.isEmpty() ? nullptr : pfadBytes.constData());
    espeak_ng_ERROR_CONTEXT kontext = nullptr;
    espeak_ng_STATUS status = espeak_ng_Initialize(&kontext);
    if (kontext) espeak_ng_ClearErrorContext(&kontext);
    if (status != ENS_OK) {
        espeak_ng_Terminate();
        return QStringLiteral("Sprachdaten fehlen: %1").arg(statusText(status));
    }
    return {};
}

bool EspeakMaschine::ausgabeVorbereiten() {
    {
        std::lock_guard lock(prozess().mutex);
        if (prozess().ausgabeInitialisiert) return true;
    }
    // Synchronous: the samples come to our callback; espeak-ng never plays them
    // itself. All the same, the library probes a sound device here (through
    // pcaudiolib: PulseAudio, then ALSA, then OSS), and a sound server that
    // accepts the connection but does not answer holds this call up.
    if (espeak_ng_InitializeOutput(ENOUTPUT_MODE_SYNCHRONOUS, 20, nullptr) != ENS_OK) return false;
    std::lock_guard lock(prozess().mutex);
    prozess().ausgabeInitialisiert = true;
    return true;
}

bool EspeakMaschine::stimmeSetzen(const std::string& kennung) {
    return espeak_ng_SetVoiceByName(kennung.c_str()) == ENS_OK;
}

size_t EspeakMaschine::probeSynthese(const char* text) {
    phrase_ = 0;
    probeSamples_ = 0;
    const espeak_ng_STATUS status = espeak_ng_Synthesize(
        text, std::strlen(text) + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr, this);
    return status == ENS_OK ? probeSamples_ : 0;
}

void EspeakMaschine::stimmenErmitteln() {
    stimmen_.push_back({"de", QStringLiteral("Deutsch")});

    // German with each of espeak-ng's voice variants, sorted by variant name.
    espeak_VOICE auswahl;
    std::memset(&auswahl, 0, sizeof auswahl);
    auswahl.languages = "variant";
    std::vector<std::pair<std::string, QString>> varianten;
    if (const espeak_VOICE** liste = espeak_ListVoices(&auswahl)) {
        for (int i = 0; liste[i]; ++i) {
            const char* kennung = liste[i]->identifier;
            if (!kennung) continue;
            const char* schraeg = std::strrchr(kennung, '/');
            const std::string variante = schraeg ? schraeg + 1 : kennung;
            if (variante.empty()) continue;
            const QString name = QString::fromUtf8(liste[i]->name ? liste[i]->name : "");
            varianten.emplace_back(variante,
                                   name.isEmpty() ? QString::fromStdString(variante) : name);
        }
    }
    std::sort(varianten.begin(), varianten.end(), [](const auto& a, const auto& b) {
        const int c = QString::fromStdString(a.first).compare(QString::fromStdString(b.first),
                                                              Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a.first < b.first;
    });
    varianten.erase(std::unique(varianten.begin(), varianten.end(),
                                [](const auto& a, const auto& b) { return a.first == b.first; }),
                    varianten.end());
    for (const auto& [variante, name] : varianten) {
        stimmen_.push_back({"de+" + variante, QStringLiteral("Deutsch, Variante %1").arg(name)});
    }
}

void EspeakMaschine::laufen(QString pfad, std::promise<QString> ergebnis) {
    const QString fehler = initialisieren(pfad);
    if (!fehler.isEmpty()) {
        {
            std::lock_guard lock(prozess().mutex);
            prozess().belegt = false;
        }
        ergebnis.set_value(fehler);
        return;
    }
    ergebnis.set_value({});

    // Second phase, while the window goes on: phrases requested meanwhile wait
    // in the queue. Synthesis needs the output buffers set up here.
    bool bereit = ausgabeVorbereiten();
    if (bereit) {
        espeak_SetSynthCallback(&EspeakMaschine::rueckruf);
        bereit = probeSynthese("null") > 0;
    }
    trimmer_ = std::make_unique<StilleTrimmer>(
        [this](const int16_t* pcm, size_t anzahl) { ausgabe_.phraseDaten(phrase_, pcm, anzahl); });

    for (;;) {
        Auftrag a;
        {
            std::unique_lock lock(mutex_);
            wecker_.wait(lock, [this] { return ende_ || !auftraege_.empty(); });
            // After shutdown the output may be gone: it is not touched again.
            if (ende_) break;
            a = std::move(auftraege_.front());
            auftraege_.pop_front();
        }
        if (bereit) {
            ausfuehren(a);
        } else {
            melden(a.warte);  // the library cannot synthesise: dropped quietly
        }
        ++fortschritt_;
    }

    // Shutting down: whoever still waits is let go; nothing more is synthesised.
    std::deque<Auftrag> rest;
    {
        std::lock_guard lock(mutex_);
        rest.swap(auftraege_);
    }
    for (const auto& a : rest) melden(a.warte);
    {
        std::lock_guard lock(prozess().mutex);
        prozess().belegt = false;
    }
    std::lock_guard lock(mutex_);
    beendet_ = true;
    wecker_.notify_all();
}

void EspeakMaschine::melden(const std::shared_ptr<Warte>& w) {
    if (!w) return;
    {
        std::lock_guard lock(w->mutex);
        w->fertig = true;
    }
    w->cv.notify_all();
    Warten::Wecken();
}

void EspeakMaschine::ausfuehren(const Auftrag& a) {
    // The callback holds only the waiter, never the engine: the output may
    // report a phrase after the engine is gone.
    std::shared_ptr<Warte> warte = a.warte;
    phrase_ = ausgabe_.phraseBeginnen([warte](const PhrasenErgebnis&) { melden(warte); });
    if (phrase_ == 0) return;  // no output: dropped quietly

    if (a.stimme != aktuelleStimme_ && a.stimme >= 0 && a.stimme < int(stimmen_.size())) {
        if (stimmeSetzen(stimmen_[size_t(a.stimme)].kennung)) {
            aktuelleStimme_ = a.stimme;
            aktuelleRate_ =
                std::numeric_limits<int>::min();  // set the rate again for the new voice
        }
    }
    if (a.rate != aktuelleRate_) {
        espeak_ng_SetParameter(espeakRATE, EspeakWorteProMinute(a.rate), 0);
        aktuelleRate_ = a.rate;
    }

    const QByteArray text = Aussprache::fuerSprache(a.text).toUtf8();
    // No espeakENDPAUSE: no sentence pause after the last word.
    espeak_ng_Synthesize(text.constData(), size_t(text.size()) + 1, 0, POS_CHARACTER, 0,
                         espeakCHARS_UTF8, nullptr, this);
    trimmer_->ende();
    ausgabe_.phraseBeenden(phrase_);
    phrase_ = 0;
}

int EspeakMaschine::rueckruf(short* pcm, int anzahl, espeak_EVENT* ereignisse) {
    if (!ereignisse) return 0;
    auto* m = static_cast<EspeakMaschine*>(ereignisse->user_data);
    if (!m) return 0;
    if (!pcm || anzahl <= 0) return m->abbrechen_ ? 1 : 0;
    ++m->fortschritt_;
    if (m->phrase_ == 0) {
        m->probeSamples_ += size_t(anzahl);
        return 0;
    }
    m->trimmer_->hinein(reinterpret_cast<const int16_t*>(pcm), size_t(anzahl));
    return m->abbrechen_ ? 1 : 0;
}

bool EspeakMaschine::sprechen(const QString& text, int stimme, int rate, bool warten) {
    auto warte = warten ? std::make_shared<Warte>() : nullptr;
    {
        std::lock_guard lock(mutex_);
        if (ende_) return false;
        auftraege_.push_back({text, stimme, rate, warte});
    }
    wecker_.notify_all();
    if (!warte) return true;

    uint64_t gesehen = fortschritt_ + ausgabe_.fortschritt();
    auto stillSeit = std::chrono::steady_clock::now();
    auto fertig = [&] {
        {
            std::lock_guard lock(warte->mutex);
            if (warte->fertig) return true;
        }
        const uint64_t jetzt = fortschritt_ + ausgabe_.fortschritt();
        const auto uhr = std::chrono::steady_clock::now();
        if (jetzt != gesehen) {
            gesehen = jetzt;
            stillSeit = uhr;
        }
        return uhr - stillSeit > kStillstandGrenze;
    };
    QCoreApplication* app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread()) {
        // The window's thread waits in its event loop, which keeps serving
        // what only looks at the window; a standstill of the output is
        // noticed by the watch.
        QTimer wache;
        wache.start(100);
        Warten::Bis(fertig);
        return true;
    }
    std::unique_lock lock(warte->mutex);
    while (!warte->fertig) {
        warte->cv.wait_for(lock, std::chrono::milliseconds(100));
        if (warte->fertig) break;
        lock.unlock();
        const bool aufgeben = fertig();
        lock.lock();
        if (aufgeben) break;
    }
    return true;
}

// ---------------------------------------------------------------- EspeakStimme

EspeakStimme::EspeakStimme(std::shared_ptr<EspeakMaschine> maschine)
    : maschine_(std::move(maschine)) {}

bool EspeakStimme::GetVoices(SprachTokens& stimmen) {
    if (!maschine_->aktiv()) return false;
    stimmen.eintraege.clear();
    const auto& liste = maschine_->stimmen();
    for (size_t i = 0; i < liste.size(); ++i) {
        stimmen.eintraege.append(SprachToken{int(i), liste[i].name});
    }
    return true;
}

bool EspeakStimme::SetVoice(const SprachToken& token) {
    if (!maschine_->aktiv()) return false;
    if (token.index < 0 || token.index >= int(maschine_->stimmen().size())) return false;
    std::lock_guard lock(mutex_);
    stimme_ = token.index;
    return true;
}

bool EspeakStimme::SetRate(int rate) {
    if (!maschine_->aktiv() || rate < -10 || rate > 10) return false;
    std::lock_guard lock(mutex_);
    rate_ = rate;
    return true;
}

bool EspeakStimme::Speak(const QString& text, int flags) {
    int stimme, rate;
    {
        std::lock_guard lock(mutex_);
        stimme = stimme_;
        rate = rate_;
    }
    return maschine_->sprechen(text, stimme, rate, (flags & SVSFlagsAsync) == 0);
}

// ---------------------------------------------------------------- EspeakSprachDienst

EspeakSprachDienst::EspeakSprachDienst(IAudioAusgabe& ausgabe, QString datenPfad)
    : ausgabe_(ausgabe), datenPfad_(std::move(datenPfad)) {}

EspeakSprachDienst::~EspeakSprachDienst() {
    if (maschine_) maschine_->herunterfahren();
}

std::unique_ptr<IStimme> EspeakSprachDienst::ErzeugeStimme() {
    if (!maschine_ || !maschine_->aktiv()) {
        maschine_ = EspeakMaschine::starten(ausgabe_, datenPfad_, fehler_);
        if (!maschine_) return nullptr;
        fehler_.clear();
    }
    return std::make_unique<EspeakStimme>(maschine_);
}
