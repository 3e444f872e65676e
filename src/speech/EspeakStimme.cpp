// SPDX-License-Identifier: GPL-3.0-or-later
#include "speech/EspeakStimme.h"

#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "app/Warten.h"
#include "speech/Aussprache.h"

namespace {

// The rate scale -10 ... 10 in espeak-ng's words per minute: 0 is its
// normal 175, each step a factor of 3^(1/10), clamped to 80 ... 450.
int EspeakWorteProMinute(int rate) {
    const double worte = espeakRATE_NORMAL * std::pow(3.0, std::clamp(rate, -10, 10) / 10.0);
    return std::clamp(int(std::lround(worte)), int(espeakRATE_MINIMUM), int(espeakRATE_MAXIMUM));
}

// Cuts the silence the synthesiser puts before and after a phrase, so that a
// one-word phrase lasts no longer than the word; pauses inside stay. 5 ms
// before the first and 15 ms after the last audible sample (about -40 dBFS)
// are kept and faded, so the cut never clicks. Only silence gives nothing.
Abtastwerte StilleTrimmen(const Abtastwerte& pcm) {
    constexpr int kSchwelle = 320;
    constexpr size_t kVorne = kAbtastrate * 5 / 1000, kHinten = kAbtastrate * 15 / 1000;
    const auto laut = [](int16_t s) { return std::abs(int(s)) >= kSchwelle; };
    const auto erstes = std::find_if(pcm.begin(), pcm.end(), laut);
    if (erstes == pcm.end()) return {};
    const size_t a = size_t(erstes - pcm.begin());
    const size_t b =
        pcm.size() - size_t(std::find_if(pcm.rbegin(), pcm.rend(), laut) - pcm.rbegin());
    const size_t von = a - std::min(a, kVorne), bis = std::min(pcm.size(), b + kHinten);
    Abtastwerte raus(pcm.begin() + long(von), pcm.begin() + long(bis));
    // Raised-cosine fades over the kept margins, from and to silence.
    const auto anstieg = [](size_t i, size_t n) {
        return 0.5 - 0.5 * std::cos(std::numbers::pi * double(i) / double(n));
    };
    for (size_t i = 0; i < a - von; ++i) {
        raus[i] = int16_t(std::lround(raus[i] * anstieg(i, a - von)));
    }
    for (size_t i = 0, n = bis - b; i < n; ++i) {
        int16_t& s = raus[b - von + i];
        s = int16_t(std::lround(s * anstieg(n - i, n)));
    }
    return raus;
}

struct StimmDefinition {
    std::string kennung;  // for espeak_ng_SetVoiceByName, e.g. "de" or "de+m1"
    QString name;
};

// espeak-ng keeps its state in globals: one engine per process at a time,
// and only one thread at a time calls into it. Once initialised the library
// stays so until the process ends (espeak-ng 1.51 hangs in
// espeak_ng_Terminate after a second initialisation).
//
// Preparing its output probes a sound device (PulseAudio, then ALSA), which
// waits for a server that accepted the connection but does not answer; that
// step runs once per process on a thread of its own that touches nothing but
// this record, which is never destroyed, so it may outlive every engine.
struct EspeakProzess {
    std::mutex mutex;
    std::condition_variable cv;
    bool belegt = false;         // an engine is running
    bool initialisiert = false;  // data loaded; they stay for the process
    QString datenPfad;
    bool ausgabeLaeuft = false;  // the output is being prepared
    bool ausgabeBereit = false;  // synthesis works
};
EspeakProzess& prozess() {
    static auto* p = new EspeakProzess;
    return *p;
}

// What the synthesiser's callback fills.
struct Synthese {
    Abtastwerte pcm;
    const std::atomic<bool>* abbrechen = nullptr;
};

int rueckruf(short* pcm, int anzahl, espeak_EVENT* ereignisse) {
    auto* s = ereignisse ? static_cast<Synthese*>(ereignisse->user_data) : nullptr;
    if (!s) return 0;
    if (pcm && anzahl > 0) s->pcm.insert(s->pcm.end(), pcm, pcm + anzahl);
    return s->abbrechen && s->abbrechen->load() ? 1 : 0;
}

espeak_ng_STATUS synthetisieren(const QByteArray& text, Synthese& s) {
    // No espeakENDPAUSE: no sentence pause after the last word.
    return espeak_ng_Synthesize(text.constData(), size_t(text.size()) + 1, 0, POS_CHARACTER, 0,
                                espeakCHARS_UTF8, nullptr, &s);
}

QString bibliothekStarten(const QString& pfad) {
    QByteArray pfadBytes;
    if (!pfad.isEmpty()) {
        // espeak-ng quietly falls back to the installed data for a directory
        // that does not exist; an explicit directory must really be there.
        if (!QFileInfo(pfad).isDir()) return QStringLiteral("Sprachdaten fehlen: %1").arg(pfad);
        pfadBytes = QFile::encodeName(pfad);
    }
    espeak_ng_InitializePath(pfadBytes.isEmpty() ? nullptr : pfadBytes.constData());
    espeak_ng_ERROR_CONTEXT kontext = nullptr;
    const espeak_ng_STATUS status = espeak_ng_Initialize(&kontext);
    if (kontext) espeak_ng_ClearErrorContext(&kontext);
    if (status == ENS_OK) return {};
    espeak_ng_Terminate();
    char text[512] = {};
    espeak_ng_GetStatusCodeMessage(status, text, sizeof text);
    return QStringLiteral("Sprachdaten fehlen: %1").arg(QString::fromLocal8Bit(text));
}

void ausgabeVorbereiten() {
    // Synchronous: the samples come to our callback; espeak-ng never plays them.
    bool ok = espeak_ng_InitializeOutput(ENOUTPUT_MODE_SYNCHRONOUS, 20, nullptr) == ENS_OK;
    if (ok) {
        espeak_SetSynthCallback(&rueckruf);
        Synthese probe;
        ok = synthetisieren("null", probe) == ENS_OK && !probe.pcm.empty();
    }
    std::lock_guard lock(prozess().mutex);
    prozess().ausgabeLaeuft = false;
    prozess().ausgabeBereit = ok;
    prozess().cv.notify_all();
}

// German first, then German with each of espeak-ng's voice variants, by
// variant name regardless of case, each variant once.
std::vector<StimmDefinition> stimmenErmitteln() {
    const auto vor = [](const std::string& a, const std::string& b) {
        const int c =
            QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    };
    std::map<std::string, QString, decltype(vor)> varianten(vor);
    espeak_VOICE auswahl{};
    auswahl.languages = "variant";
    if (const espeak_VOICE** liste = espeak_ListVoices(&auswahl)) {
        for (int i = 0; liste[i]; ++i) {
            const char* kennung = liste[i]->identifier ? liste[i]->identifier : "";
            const char* schraeg = std::strrchr(kennung, '/');
            const std::string variante = schraeg ? schraeg + 1 : kennung;
            const QString name = QString::fromUtf8(liste[i]->name ? liste[i]->name : "");
            if (variante.empty()) continue;
            varianten.emplace(variante, name.isEmpty() ? QString::fromStdString(variante) : name);
        }
    }
    std::vector<StimmDefinition> stimmen{{"de", QStringLiteral("Deutsch")}};
    for (const auto& [variante, name] : varianten) {
        stimmen.push_back({"de+" + variante, QStringLiteral("Deutsch, Variante %1").arg(name)});
    }
    return stimmen;
}

// Set once a phrase has been heard or dropped; wakes the window's wait.
struct Warte {
    std::atomic<bool> fertig{false};
    void melden() {
        fertig = true;
        Warten::Wecken();
    }
};

}  // namespace

// ---------------------------------------------------------------- EspeakMaschine

class EspeakMaschine {
public:
    EspeakMaschine(ITonausgabe& ausgabe, std::vector<StimmDefinition> stimmen)
        : ausgabe_(ausgabe), stimmen_(std::move(stimmen)), faden_([this] { laufen(); }) {}
    ~EspeakMaschine() { herunterfahren(); }

    // Stops the worker and waits for it; phrases still queued are dropped.
    void herunterfahren() {
        {
            std::lock_guard lock(mutex_);
            ende_ = true;
        }
        wecker_.notify_all();
        {
            std::lock_guard lock(prozess().mutex);  // wakes a worker waiting for the output
        }
        prozess().cv.notify_all();
        if (faden_.joinable()) faden_.join();
    }
    bool aktiv() const { return !ende_; }
    const std::vector<StimmDefinition>& stimmen() const { return stimmen_; }

    bool sprechen(const QString& text, int stimme, int rate, bool warten) {
        auto warte = std::make_shared<Warte>();
        {
            std::lock_guard lock(mutex_);
            if (ende_) return false;
            auftraege_.push_back({text, stimme, rate, Wanduhr::now(), warte});
        }
        wecker_.notify_all();
        if (!warten) return true;
        // The window's thread waits in its event loop, which keeps serving
        // what only looks at the window.
        Warten::Bis([&] { return warte->fertig.load(); });
        return true;
    }

private:
    struct Auftrag {
        QString text;
        int stimme = 0;
        int rate = 0;
        Wanduhr::time_point angefordert;
        std::shared_ptr<Warte> warte;
    };

    void laufen() {
        // The first phrase waits until the library can synthesise, if ever.
        bool bereit;
        {
            std::unique_lock lock(prozess().mutex);
            prozess().cv.wait(lock, [this] { return ende_ || !prozess().ausgabeLaeuft; });
            bereit = prozess().ausgabeBereit;
        }
        for (;;) {
            Auftrag a;
            {
                std::unique_lock lock(mutex_);
                wecker_.wait(lock, [this] { return ende_ || !auftraege_.empty(); });
                if (ende_) break;
                a = std::move(auftraege_.front());
                auftraege_.pop_front();
            }
            if (bereit) {
                sagen(a);
            } else {
                a.warte->melden();  // the library cannot synthesise: dropped quietly
            }
        }
        // Whoever still waits is let go.
        std::lock_guard lock(mutex_);
        for (auto& a : auftraege_) a.warte->melden();
        auftraege_.clear();
        std::lock_guard p(prozess().mutex);
        prozess().belegt = false;
    }

    void sagen(const Auftrag& a) {
        if (a.stimme != stimme_ && a.stimme >= 0 && a.stimme < int(stimmen_.size()) &&
            espeak_ng_SetVoiceByName(stimmen_[size_t(a.stimme)].kennung.c_str()) == ENS_OK) {
            stimme_ = a.stimme;
            rate_ = -100;  // a new voice needs its rate set again
        }
        if (a.rate != rate_) {
            espeak_ng_SetParameter(espeakRATE, EspeakWorteProMinute(a.rate), 0);
            rate_ = a.rate;
        }
        Synthese s;
        s.abbrechen = &ende_;
        synthetisieren(Aussprache::fuerSprache(a.text).toUtf8(), s);
        // The callback holds only the waiter: the output may report the
        // phrase after the engine has gone.
        ausgabe_.phrase(a.angefordert, StilleTrimmen(s.pcm), [w = a.warte] { w->melden(); });
    }

    ITonausgabe& ausgabe_;
    const std::vector<StimmDefinition> stimmen_;
    std::mutex mutex_;
    std::condition_variable wecker_;
    std::deque<Auftrag> auftraege_;
    std::atomic<bool> ende_{false};
    int stimme_ = 0;  // worker only: voice and rate set in the library
    int rate_ = 0;
    std::thread faden_;  // last: starts once everything else is set
};

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
    if (!maschine_->aktiv() || token.index < 0 || token.index >= int(maschine_->stimmen().size())) {
        return false;
    }
    stimme_ = token.index;
    return true;
}

bool EspeakStimme::SetRate(int rate) {
    if (!maschine_->aktiv() || rate < -10 || rate > 10) return false;
    rate_ = rate;
    return true;
}

bool EspeakStimme::Speak(const QString& text, int flags) {
    return maschine_->sprechen(text, stimme_, rate_, (flags & SVSFlagsAsync) == 0);
}

// ---------------------------------------------------------------- EspeakSprachDienst

EspeakSprachDienst::EspeakSprachDienst(ITonausgabe& ausgabe, QString datenPfad)
    : ausgabe_(ausgabe), datenPfad_(std::move(datenPfad)) {}

EspeakSprachDienst::~EspeakSprachDienst() {
    if (maschine_) maschine_->herunterfahren();
}

std::unique_ptr<IStimme> EspeakSprachDienst::ErzeugeStimme() {
    if (maschine_ && maschine_->aktiv()) return std::make_unique<EspeakStimme>(maschine_);
    EspeakProzess& p = prozess();
    std::unique_lock lock(p.mutex);
    // The library is free once an earlier engine and the output's preparation are done.
    if (p.belegt ||
        !p.cv.wait_for(lock, std::chrono::seconds(5), [&] { return !p.ausgabeLaeuft; })) {
        fehler_ = QStringLiteral("Die Sprachausgabe läuft in diesem Prozess bereits.");
        return nullptr;
    }
    if (!p.initialisiert) {
        if (const QString f = bibliothekStarten(datenPfad_); !f.isEmpty()) {
            fehler_ = f;
            return nullptr;
        }
        p.initialisiert = true;
        p.datenPfad = datenPfad_;
    } else if (p.datenPfad != datenPfad_) {
        fehler_ = QStringLiteral("Die Sprachausgabe ist schon mit anderen Sprachdaten gestartet.");
        return nullptr;
    }
    if (espeak_ng_SetVoiceByName("de") != ENS_OK) {
        fehler_ = QStringLiteral("Keine deutsche Stimme verfügbar.");
        return nullptr;
    }
    std::vector<StimmDefinition> stimmen = stimmenErmitteln();
    espeak_ng_SetVoiceByName("de");
    espeak_ng_SetParameter(espeakRATE, EspeakWorteProMinute(0), 0);
    if (!p.ausgabeBereit) {
        p.ausgabeLaeuft = true;
        std::thread(ausgabeVorbereiten).detach();
    }
    p.belegt = true;
    lock.unlock();
    fehler_.clear();
    maschine_ = std::make_shared<EspeakMaschine>(ausgabe_, std::move(stimmen));
    return std::make_unique<EspeakStimme>(maschine_);
}
