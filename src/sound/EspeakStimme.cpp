// SPDX-License-Identifier: GPL-3.0-or-later
#include "EspeakStimme.h"

#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>
#include <pthread.h>

#include <QString>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <numbers>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Aussprache.h"

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
Abtastwerte StilleTrimmen(const Abtastwerte& pcm, int rate) {
    constexpr int kSchwelle = 320;
    const size_t kVorne = size_t(rate) * 5 / 1000, kHinten = size_t(rate) * 15 / 1000;
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

// Loads espeak-ng's data; an error text when that fails.
QString BibliothekStarten() {
    espeak_ng_InitializePath(nullptr);
    espeak_ng_ERROR_CONTEXT kontext = nullptr;
    const espeak_ng_STATUS status = espeak_ng_Initialize(&kontext);
    if (kontext) espeak_ng_ClearErrorContext(&kontext);
    if (status == ENS_OK) return {};
    espeak_ng_Terminate();
    char text[512] = {};
    espeak_ng_GetStatusCodeMessage(status, text, sizeof text);
    return QString::fromLocal8Bit(text);
}

// German first, then German with each of espeak-ng's voice variants, by
// variant name regardless of case, each variant once.
std::vector<StimmDefinition> StimmenErmitteln() {
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

}  // namespace

// A service as its voices and queued phrases see it: its output while it lives.
struct EspeakAnschluss {
    explicit EspeakAnschluss(ITonausgabe* a) : ausgabe(a) {}
    std::atomic<ITonausgabe*> ausgabe;
};

namespace {

struct Auftrag {
    std::shared_ptr<EspeakAnschluss> an;
    QString text;
    int stimme = 0;
    int rate = 0;
    std::optional<Wanduhr::time_point> um;  // none: at once
    ErledigungPtr erledigt;
};

// espeak-ng keeps its state in globals, and once initialised it stays so
// until the process ends (espeak-ng 1.51 hangs in espeak_ng_Terminate after a
// second initialisation). So the process has one engine: its voices are
// listed once, and one worker thread, started with the first voice, is the
// only caller of synthesis, for every service. Nothing waits for the worker
// but for the phrase it synthesises: it is never joined, and touches only
// this record, which is never destroyed, and, under its lock, a living
// service's output.
//
// Preparing espeak-ng's output probes a sound device (PulseAudio, then ALSA),
// which waits for good on a server that accepted the connection but does not
// answer. So it runs on a thread of its own, and phrases requested after
// kVorbereitung without it are dropped, as the output drops them for such a server.
constexpr auto kVorbereitung = std::chrono::seconds(2);
struct Motor {
    std::mutex mutex;
    std::condition_variable cv;
    std::deque<Auftrag> auftraege;
    const EspeakAnschluss* inArbeit = nullptr;  // whose phrase is being synthesised
    bool initialisiert = false;
    bool vorbereitet = false;              // synthesis works
    int rate = kAbtastrate;                // of the samples it gives, once it works
    std::vector<StimmDefinition> stimmen;  // empty: no German voice
};
Motor& DerMotor() {
    static auto* m = new Motor;
    return *m;
}

// What the synthesiser's callback fills; a service that goes cuts it short.
struct Synthese {
    Abtastwerte pcm;
    const EspeakAnschluss* an = nullptr;
};

int Rueckruf(short* pcm, int anzahl, espeak_EVENT* ereignisse) {
    auto* s = ereignisse ? static_cast<Synthese*>(ereignisse->user_data) : nullptr;
    if (!s) return 0;
    if (pcm && anzahl > 0) s->pcm.insert(s->pcm.end(), pcm, pcm + anzahl);
    return s->an->ausgabe.load() ? 0 : 1;
}

void Arbeiten() {
    pthread_setname_np(pthread_self(), "tempiro-sprache");
    Motor& m = DerMotor();
    std::thread([&m] {
        // Synchronous: the samples come to our callback; espeak-ng never plays them.
        const bool ok =
            espeak_ng_InitializeOutput(ENOUTPUT_MODE_SYNCHRONOUS, 20, nullptr) == ENS_OK;
        espeak_SetSynthCallback(&Rueckruf);
        const int rate = espeak_ng_GetSampleRate();
        std::lock_guard lock(m.mutex);
        m.vorbereitet = ok;
        if (ok && rate > 0) m.rate = rate;
        m.cv.notify_all();
    }).detach();
    int stimme = 0, rate = 0;  // set in the library
    std::unique_lock lock(m.mutex);
    m.cv.wait_for(lock, kVorbereitung, [&] { return m.vorbereitet; });
    for (;;) {
        m.cv.wait(lock, [&] { return !m.auftraege.empty(); });
        Auftrag a = std::move(m.auftraege.front());
        m.auftraege.pop_front();
        if (a.erledigt->Abgesagt()) {
            a.erledigt->Melden();  // taken back while it waited
            continue;
        }
        m.inArbeit = a.an.get();
        const bool bereit = m.vorbereitet;
        const int abtastrate = m.rate;
        lock.unlock();
        Synthese s{{}, a.an.get()};
        if (bereit) {
            if (a.stimme != stimme &&
                espeak_ng_SetVoiceByName(m.stimmen[size_t(a.stimme)].kennung.c_str()) == ENS_OK) {
                stimme = a.stimme;
                rate = -100;  // a new voice needs its rate set again
            }
            if (a.rate != rate) {
                espeak_ng_SetParameter(espeakRATE, EspeakWorteProMinute(a.rate), 0);
                rate = a.rate;
            }
            // No espeakENDPAUSE: no sentence pause after the last word.
            const QByteArray text = Aussprache::FuerSprache(a.text).toUtf8();
            espeak_ng_Synthesize(text.constData(), size_t(text.size()) + 1, 0, POS_CHARACTER, 0,
                                 espeakCHARS_UTF8, nullptr, &s);
        }
        Abtastwerte pcm = StilleTrimmen(s.pcm, abtastrate);
        lock.lock();
        m.inArbeit = nullptr;
        m.cv.notify_all();
        // Without synthesis, for a service gone, or taken back meanwhile, the
        // phrase is dropped quietly; the output checks for a take-back again.
        ITonausgabe* ausgabe = a.an->ausgabe;
        if (!bereit || !ausgabe || a.erledigt->Abgesagt()) {
            a.erledigt->Melden();
        } else {
            ausgabe->Abtastrate(abtastrate);
            ausgabe->Phrase(a.um, std::move(pcm), a.erledigt);
        }
    }
}

// A voice of the engine; used on the window's thread only.
class EspeakStimme : public IStimme {
public:
    explicit EspeakStimme(std::shared_ptr<EspeakAnschluss> an) : an_(std::move(an)) {}

    bool GetVoices(SprachTokens& stimmen) override {
        if (!an_->ausgabe) return false;
        stimmen.eintraege.clear();
        const auto& liste = DerMotor().stimmen;
        for (size_t i = 0; i < liste.size(); ++i) {
            stimmen.eintraege.append(SprachToken{int(i), liste[i].name});
        }
        return true;
    }
    bool SetVoice(const SprachToken& token) override {
        if (!an_->ausgabe || token.index < 0 || token.index >= int(DerMotor().stimmen.size())) {
            return false;
        }
        stimme_ = token.index;
        return true;
    }
    bool SetRate(int rate) override {
        if (!an_->ausgabe || rate < -10 || rate > 10) return false;
        rate_ = rate;
        return true;
    }
    // Whether the caller waits (flags 0) or not is the caller's business.
    ErledigungPtr Speak(const QString& text, int) override { return Auftragen(text, std::nullopt); }
    ErledigungPtr SpeakUm(const QString& text, Zeitpunkt beginn) override {
        return Auftragen(text, beginn);
    }

private:
    ErledigungPtr Auftragen(const QString& text, std::optional<Wanduhr::time_point> um) {
        auto erledigt = std::make_shared<Erledigung>();
        {
            std::lock_guard lock(DerMotor().mutex);
            if (!an_->ausgabe) return nullptr;
            DerMotor().auftraege.push_back({an_, text, stimme_, rate_, um, erledigt});
        }
        DerMotor().cv.notify_all();
        return erledigt;
    }

    std::shared_ptr<EspeakAnschluss> an_;
    int stimme_ = 0;
    int rate_ = 0;
};

}  // namespace

EspeakSprachDienst::EspeakSprachDienst(ITonausgabe& ausgabe)
    : anschluss_(std::make_shared<EspeakAnschluss>(&ausgabe)) {}

EspeakSprachDienst::~EspeakSprachDienst() {
    Motor& m = DerMotor();
    std::unique_lock lock(m.mutex);
    anschluss_->ausgabe = nullptr;
    // Whoever still waits is let go.
    std::erase_if(m.auftraege, [&](const Auftrag& a) {
        if (a.an != anschluss_) return false;
        a.erledigt->Melden();
        return true;
    });
    m.cv.wait(lock, [&] { return m.inArbeit != anschluss_.get(); });
}

std::unique_ptr<IStimme> EspeakSprachDienst::ErzeugeStimme() {
    Motor& m = DerMotor();
    std::lock_guard lock(m.mutex);
    if (!m.initialisiert) {
        if (const QString f = BibliothekStarten(); !f.isEmpty()) {
            qWarning("Sprachdaten fehlen: %s", qPrintable(f));
            return nullptr;
        }
        m.initialisiert = true;
        if (espeak_ng_SetVoiceByName("de") == ENS_OK) {
            m.stimmen = StimmenErmitteln();
            espeak_ng_SetVoiceByName("de");
            espeak_ng_SetParameter(espeakRATE, EspeakWorteProMinute(0), 0);
            std::thread(Arbeiten).detach();
        }
    }
    if (m.stimmen.empty()) {
        qWarning("Keine deutsche Stimme verfügbar.");
        return nullptr;
    }
    return std::make_unique<EspeakStimme>(anschluss_);
}
