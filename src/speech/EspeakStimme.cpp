#include "speech/EspeakStimme.h"

#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
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

// Linear resampling to the output rate, for voices that synthesise at another
// rate (MBROLA voices run at 16 kHz).
class Umtaster {
public:
    void einstellen(int eingangsRate) {
        schritt_ = double(eingangsRate) / kAbtastrate;
        pos_ = 0;
        hatLetzten_ = false;
    }
    bool noetig() const { return schritt_ != 1.0; }
    void hinein(const int16_t* ein, size_t n, PcmPuffer& raus) {
        if (n == 0) return;
        if (!hatLetzten_) {
            letzter_ = ein[0];
            hatLetzten_ = true;
        }
        // Positions count in input samples of this chunk; -1 is the last sample
        // of the previous chunk.
        while (pos_ < double(n) - 1.0) {
            const double unten = std::floor(pos_);
            const long i = long(unten);
            const double a = i < 0 ? letzter_ : ein[i];
            const double b = ein[i + 1];
            raus.push_back(int16_t(std::lround(a + (b - a) * (pos_ - unten))));
            pos_ += schritt_;
        }
        pos_ -= double(n);
        letzter_ = ein[n - 1];
    }

private:
    double schritt_ = 1.0;
    double pos_ = 0;
    int16_t letzter_ = 0;
    bool hatLetzten_ = false;
};

// espeak-ng keeps its state in globals, so one engine per process at a time.
// Once initialised the library stays so until the process ends: espeak-ng
// 1.51 hangs in espeak_ng_Terminate when it is initialised a second time after
// a terminate. A later engine reuses it from its own worker thread; only one
// thread at a time ever calls into the library.
struct EspeakProzess {
    std::mutex mutex;
    bool belegt = false;
    bool initialisiert = false;
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
    ~EspeakMaschine() { herunterfahren(); }

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
    void stimmenErmitteln();
    bool stimmeSetzen(const std::string& kennung);
    size_t probeSynthese(const char* text);
    void ausfuehren(const Auftrag& a);
    static void melden(const std::shared_ptr<Warte>& w);
    static int rueckruf(short* pcm, int anzahl, espeak_EVENT* ereignisse);

    IAudioAusgabe& ausgabe_;
    std::vector<StimmDefinition> stimmen_;  // fixed once the worker has started
    std::thread faden_;

    mutable std::mutex mutex_;
    std::condition_variable wecker_;
    std::deque<Auftrag> auftraege_;
    bool ende_ = false;
    std::atomic<bool> abbrechen_{false};
    std::atomic<uint64_t> fortschritt_{0};

    // Worker-thread state of the phrase being synthesised.
    int aktuelleStimme_ = -1;
    int aktuelleRate_ = 0;
    uint64_t phrase_ = 0;
    size_t probeSamples_ = 0;
    Umtaster umtaster_;
    PcmPuffer umgetastet_;
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
    m->faden_ = std::thread(&EspeakMaschine::laufen, m.get(), pfad, std::move(versprechen));
    fehler = ergebnis.get();
    if (!fehler.isEmpty()) {
        m->faden_.join();  // the worker has released the engine and ended
        {
            std::lock_guard lock(m->mutex_);
            m->ende_ = true;
        }
        return nullptr;
    }
    return m;
}

void EspeakMaschine::herunterfahren() {
    {
        std::lock_guard lock(mutex_);
        ende_ = true;
    }
    abbrechen_ = true;
    wecker_.notify_all();
    if (faden_.joinable()) faden_.join();
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
    // Our callback, and the library's state as a new engine expects it.
    espeak_SetSynthCallback(&EspeakMaschine::rueckruf);
    if (!stimmeSetzen("de") || probeSynthese("null") == 0) {
        return QStringLiteral("Keine deutsche Stimme verfügbar.");
    }
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
    // Synchronous: the samples come to our callback; espeak-ng never plays them itself.
    status = espeak_ng_InitializeOutput(ENOUTPUT_MODE_SYNCHRONOUS, 20, nullptr);
    if (status != ENS_OK) {
        espeak_ng_Terminate();
        return statusText(status);
    }
    return {};
}

bool EspeakMaschine::stimmeSetzen(const std::string& kennung) {
    if (espeak_ng_SetVoiceByName(kennung.c_str()) != ENS_OK) return false;
    umtaster_.einstellen(espeak_ng_GetSampleRate());
    return true;
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

    // German MBROLA voices only where MBROLA and the voice's data are installed
    // and a test word really comes out; espeak-ng lists them either way.
    if (QStandardPaths::findExecutable(QStringLiteral("mbrola")).isEmpty()) return;
    std::memset(&auswahl, 0, sizeof auswahl);
    auswahl.languages = "de";
    std::vector<std::pair<std::string, QString>> mbrola;
    if (const espeak_VOICE** liste = espeak_ListVoices(&auswahl)) {
        for (int i = 0; liste[i]; ++i) {
            const char* kennung = liste[i]->identifier;
            if (!kennung || std::strncmp(kennung, "mb/mb-", 6) != 0) continue;
            const QString daten = QString::fromUtf8(kennung + 6);
            const bool vorhanden =
                QFileInfo::exists(QStringLiteral("/usr/share/mbrola/") + daten) ||
                QFileInfo::exists(QStringLiteral("/usr/share/mbrola/%1/%1").arg(daten)) ||
                QFileInfo::exists(QStringLiteral("/usr/share/mbrola/voices/") + daten);
            if (vorhanden) {
                mbrola.emplace_back(kennung + 3,
                                    QString::fromUtf8(liste[i]->name ? liste[i]->name : ""));
            }
        }
    }
    std::sort(mbrola.begin(), mbrola.end());
    for (const auto& [kennung, name] : mbrola) {
        if (stimmeSetzen(kennung) && probeSynthese("null") > 0) {
            stimmen_.push_back({kennung, QStringLiteral("Deutsch, MBROLA %1").arg(name)});
        }
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
    trimmer_ = std::make_unique<StilleTrimmer>(
        [this](const int16_t* pcm, size_t anzahl) { ausgabe_.phraseDaten(phrase_, pcm, anzahl); });
    ergebnis.set_value({});

    for (;;) {
        Auftrag a;
        {
            std::unique_lock lock(mutex_);
            wecker_.wait(lock, [this] { return ende_ || !auftraege_.empty(); });
            if (ende_) break;
            a = std::move(auftraege_.front());
            auftraege_.pop_front();
        }
        ausfuehren(a);
        ++fortschritt_;
    }

    // Shutting down: whoever still waits is let go; nothing more is synthesised.
    std::deque<Auftrag> rest;
    {
        std::lock_guard lock(mutex_);
        rest.swap(auftraege_);
    }
    for (const auto& a : rest) melden(a.warte);
    std::lock_guard lock(prozess().mutex);
    prozess().belegt = false;
}

void EspeakMaschine::melden(const std::shared_ptr<Warte>& w) {
    if (!w) return;
    {
        std::lock_guard lock(w->mutex);
        w->fertig = true;
    }
    w->cv.notify_all();
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
    const auto* daten = reinterpret_cast<const int16_t*>(pcm);
    if (m->umtaster_.noetig()) {
        m->umgetastet_.clear();
        m->umtaster_.hinein(daten, size_t(anzahl), m->umgetastet_);
        m->trimmer_->hinein(m->umgetastet_.data(), m->umgetastet_.size());
    } else {
        m->trimmer_->hinein(daten, size_t(anzahl));
    }
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
    std::unique_lock lock(warte->mutex);
    while (!warte->fertig) {
        warte->cv.wait_for(lock, std::chrono::milliseconds(100));
        if (warte->fertig) break;
        const uint64_t jetzt = fortschritt_ + ausgabe_.fortschritt();
        const auto uhr = std::chrono::steady_clock::now();
        if (jetzt != gesehen) {
            gesehen = jetzt;
            stillSeit = uhr;
        } else if (uhr - stillSeit > kStillstandGrenze) {
            break;
        }
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
        maschine_.reset();
        maschine_ = EspeakMaschine::starten(ausgabe_, datenPfad_, fehler_);
        if (!maschine_) return nullptr;
        fehler_.clear();
    }
    return std::make_unique<EspeakStimme>(maschine_);
}
