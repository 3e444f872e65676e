// SPDX-License-Identifier: GPL-3.0-or-later
// The espeak-ng engine heard through the capture output: what it says, how
// long, in which order and with which voice and rate; the beat click over
// speech; an output that goes away and comes back; the silence trimmer.
#include <QTest>
#include <thread>

#include "speech/CaptureAusgabe.h"
#include "speech/EspeakStimme.h"
#include "speech/KlickSignalton.h"
#include "speech/StilleTrimmer.h"

namespace {

using Takt = CaptureAusgabe::Takt;
constexpr int kLaut = 320;

bool istLaut(int16_t x) { return std::abs(x) >= kLaut; }
size_t laut(const PcmPuffer& p) { return size_t(std::count_if(p.begin(), p.end(), istLaut)); }
double sekunden(const PcmPuffer& p) { return double(p.size()) / kAbtastrate; }

double pegel(const PcmPuffer& p) {
    double summe = 0;
    for (int16_t x : p) summe += std::abs(x);
    return p.empty() ? 0 : summe / double(p.size());
}

// The synthesiser carries state from phrase to phrase, so the same text never
// comes out sample for sample the same. A phrase is recognised by its length
// and its mean level instead; both stay within a few per cent.
bool gleicht(const PcmPuffer& a, const PcmPuffer& b) {
    const auto nah = [](double x, double y, double toleranz) {
        return std::abs(x - y) <= toleranz * std::max(x, y);
    };
    return nah(double(a.size()), double(b.size()), 0.06) && nah(pegel(a), pegel(b), 0.12);
}

QString beschreibung(const std::vector<PcmPuffer>& teile) {
    QString s;
    for (const auto& t : teile)
        s += QStringLiteral("%1 samples at %2; ").arg(t.size()).arg(pegel(t));
    return s;
}

// One engine on one capture output. Members die in reverse order: voice,
// engine, output.
struct Lauf {
    explicit Lauf(Takt takt = Takt::SoSchnellWieMoeglich)
        : ausgabe(takt), dienst(ausgabe), stimme(dienst.ErzeugeStimme()) {
        if (!stimme) qFatal("no voice: %s", qPrintable(dienst.fehler()));
    }
    CaptureAusgabe ausgabe;
    EspeakSprachDienst dienst;
    std::unique_ptr<IStimme> stimme;

    // The recording cut into phrases where the mixer started one.
    std::vector<PcmPuffer> phrasen() const {
        std::vector<PcmPuffer> teile;
        for (const auto& b : ausgabe.aufnahme()) {
            auto ab = b.pcm.begin();
            if (b.info.phrasenBeginn >= 0) {
                ab += b.info.phrasenBeginn;
                if (!teile.empty()) teile.back().insert(teile.back().end(), b.pcm.begin(), ab);
                teile.emplace_back();
            }
            if (!teile.empty()) teile.back().insert(teile.back().end(), ab, b.pcm.end());
        }
        for (auto& t : teile) {
            while (!t.empty() && t.back() == 0) t.pop_back();
        }
        return teile;
    }

    // The samples of one phrase said alone.
    PcmPuffer sagen(const QString& text) {
        ausgabe.aufnahmeLeeren();
        stimme->Speak(text, SVSFDefault);
        ausgabe.warteBisStill(std::chrono::seconds(10));
        const auto teile = phrasen();
        return teile.size() == 1 ? teile[0] : PcmPuffer{};
    }
};

}  // namespace

class TestSpeechEngine : public QObject {
    Q_OBJECT

private slots:
    void phraseUndZahlwoerter();
    void stimmenUndFolge();
    void klickUndAusgabeWeg();
    void anlauf_data();
    void anlauf();
    void eineMaschineUndAbschalten();
    void worteProMinute();
    void trimmer_data();
    void trimmer();
};

void TestSpeechEngine::phraseUndZahlwoerter() {
    Lauf lauf;
    const PcmPuffer normal = lauf.sagen(QStringLiteral("Noch 90 Sekunden"));
    QVERIFY2(
        sekunden(normal) > 0.7 && sekunden(normal) < 2.5 && laut(normal) > kAbtastrate * 4 / 10,
        qPrintable(QString::number(sekunden(normal))));
    QVERIFY(lauf.stimme->SetRate(-5));
    const PcmPuffer langsam = lauf.sagen(QStringLiteral("Noch 90 Sekunden"));
    QVERIFY2(
        sekunden(langsam) > 1.4 * sekunden(normal),
        qPrintable(QStringLiteral("%1 s / %2 s").arg(sekunden(langsam)).arg(sekunden(normal))));
    // The last seconds of a countdown say one word a second at -5: each word
    // must be well under a second and start at once, also after the others.
    for (int i = 10; i >= 0; --i) {
        const PcmPuffer p = lauf.sagen(QString::number(i));
        const auto erstesLautes = std::find_if(p.begin(), p.end(), istLaut) - p.begin();
        QVERIFY2(sekunden(p) > 0.15 && sekunden(p) < 0.85 && erstesLautes < kAbtastrate / 100,
                 qPrintable(QStringLiteral("%1: %2 s, sound from sample %3")
                                .arg(i)
                                .arg(sekunden(p))
                                .arg(erstesLautes)));
    }
}

void TestSpeechEngine::stimmenUndFolge() {
    SprachTokens stimmen;
    int variante = 1;  // preferably adam, who speaks at about half the level
    const QString a = QStringLiteral("Noch eine Stunde"), b = QStringLiteral("Noch 45 Minuten"),
                  c = QStringLiteral("10");
    PcmPuffer refA, refB, refC;
    {
        Lauf ref;
        QVERIFY(ref.stimme->GetVoices(stimmen) && stimmen.Count() >= 2);
        QCOMPARE(stimmen.Item(0).name, QStringLiteral("Deutsch"));
        for (int i = 0; i < stimmen.Count(); ++i) {  // every voice offered speaks
            QCOMPARE(stimmen.Item(i).index, i);
            QVERIFY(ref.stimme->SetVoice(stimmen.Item(i)));
            QVERIFY2(laut(ref.sagen(QStringLiteral("eins"))) > size_t(kAbtastrate / 20),
                     qPrintable(stimmen.Item(i).name));
            if (stimmen.Item(i).name.endsWith(QLatin1String(" adam"))) variante = i;
        }
        // Three phrases told apart by length and level, the second in the
        // variant at -5.
        QVERIFY(ref.stimme->SetVoice(stimmen.Item(0)));
        refA = ref.sagen(a);
        QVERIFY(ref.stimme->SetVoice(stimmen.Item(variante)) && ref.stimme->SetRate(-5));
        refB = ref.sagen(b);
        QVERIFY(ref.stimme->SetVoice(stimmen.Item(0)) && ref.stimme->SetRate(0));
        refC = ref.sagen(c);
        QVERIFY(!gleicht(ref.sagen(b), refB));  // the variant at -5 can be told apart
    }

    Lauf lauf(Takt::Echtzeit);
    QVERIFY(lauf.stimme->Speak(a, SVSFlagsAsync));
    QVERIFY(lauf.stimme->SetVoice(stimmen.Item(variante)) && lauf.stimme->SetRate(-5));
    QVERIFY(lauf.stimme->Speak(b, SVSFlagsAsync));
    QVERIFY(lauf.stimme->Speak(QString(), SVSFlagsAsync));  // nothing to hear, holds up nothing
    QVERIFY(lauf.stimme->SetVoice(stimmen.Item(0)) && lauf.stimme->SetRate(0));
    // Refused settings leave the ones in force.
    QVERIFY(!lauf.stimme->SetRate(11) && !lauf.stimme->SetRate(-11));
    QVERIFY(!lauf.stimme->SetVoice(SprachToken{stimmen.Count(), {}}));
    QVERIFY(lauf.stimme->Speak(c, SVSFDefault));
    // Taken the moment Speak returns: c must already be complete.
    const auto teile = lauf.phrasen();
    QVERIFY2(teile.size() == 3 && gleicht(teile[0], refA) && gleicht(teile[1], refB) &&
                 gleicht(teile[2], refC),
             qPrintable(beschreibung(teile) + QStringLiteral(" / expected ") +
                        beschreibung({refA, refB, refC})));
}

void TestSpeechEngine::klickUndAusgabeWeg() {
    Lauf lauf(Takt::Echtzeit);
    int piepse = 0;
    KlickSignalton klick(&lauf.ausgabe, [&] { ++piepse; });
    QVERIFY(lauf.stimme->Speak(QStringLiteral("Noch 90 Sekunden"), SVSFlagsAsync));
    QTRY_VERIFY_WITH_TIMEOUT(laut(lauf.ausgabe.samples()) > size_t(kAbtastrate / 5), 5000);
    klick.Beep();
    QVERIFY(lauf.ausgabe.warteBisStill(std::chrono::seconds(10)));
    QCOMPARE(piepse, 0);
    // The click came while the phrase was playing, not behind it: past the
    // click's own 30 ms speech goes on for a good while, and the click's
    // block holds both, not the click alone.
    const auto bloecke = lauf.ausgabe.aufnahme();
    const auto k = std::find_if(bloecke.begin(), bloecke.end(),
                                [](const auto& b) { return b.info.klangBeginn >= 0; });
    QVERIFY(k != bloecke.end());
    const PcmPuffer klang = KlickSignalton::klangErzeugen();
    const auto mitSprache =
        std::count_if(k, bloecke.end(), [](auto& b) { return laut(b.pcm) > 0; });
    QVERIFY2(mitSprache > long(klang.size() / k->pcm.size()) + 10,
             qPrintable(QString::number(mitSprache)));
    QVERIFY(!std::equal(k->pcm.begin(), k->pcm.end(), klang.begin()));

    lauf.ausgabe.aufnahmeLeeren();
    std::thread abbau([&] {
        // Cut the output while the first phrase is playing.
        for (int i = 0; i < 500 && lauf.ausgabe.samples().size() < size_t(kAbtastrate / 5); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        lauf.ausgabe.setzeVerfuegbar(false);
    });
    QVERIFY(lauf.stimme->Speak(QStringLiteral("Noch 90 Sekunden"), SVSFlagsAsync));
    QVERIFY(lauf.stimme->Speak(QStringLiteral("Noch 80 Sekunden"), SVSFlagsAsync));
    QVERIFY(lauf.stimme->Speak(QStringLiteral("Noch 70 Sekunden"), SVSFDefault));
    abbau.join();
    QVERIFY(sekunden(lauf.ausgabe.samples()) < 2.5);  // the rest was dropped

    // While it is gone, phrases are dropped quietly and the beat falls back.
    lauf.ausgabe.aufnahmeLeeren();
    QVERIFY(lauf.stimme->Speak(QStringLiteral("eins"), SVSFlagsAsync));
    QVERIFY(lauf.stimme->Speak(QStringLiteral("zwei"), SVSFDefault));
    QVERIFY(lauf.ausgabe.samples().empty());
    klick.Beep();
    QCOMPARE(piepse, 1);

    lauf.ausgabe.setzeVerfuegbar(true);
    QVERIFY(laut(lauf.sagen(QStringLiteral("drei"))) > 0);
    klick.Beep();
    QCOMPARE(piepse, 1);
}

// A sound that wakes the output from idle waits for the lead-in; one that
// comes while the output is kept awake (a countdown runs) plays at once.
void TestSpeechEngine::anlauf_data() {
    QTest::addColumn<bool>("phrase");  // else the beat click
    QTest::addColumn<bool>("wach");
    QTest::newRow("click from idle") << false << false;
    QTest::newRow("phrase from idle") << true << false;
    QTest::newRow("click, kept awake") << false << true;
    QTest::newRow("phrase, kept awake") << true << true;
}

void TestSpeechEngine::anlauf() {
    QFETCH(bool, phrase);
    QFETCH(bool, wach);
    constexpr size_t kAnlauf = kAbtastrate / 5;  // 200 ms
    Lauf lauf(Takt::Echtzeit);
    lauf.ausgabe.setzeAnlauf(std::chrono::milliseconds(200));
    KlickSignalton klick(&lauf.ausgabe);
    // Twice, so the second sound comes after the output has gone idle again
    // (or has stayed awake all along).
    for (int runde = 0; runde < 2; ++runde) {
        lauf.ausgabe.wachHalten(wach);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        lauf.ausgabe.aufnahmeLeeren();
        if (phrase) {
            QVERIFY(lauf.stimme->Speak(QStringLiteral("drei"), SVSFlagsAsync));
        } else {
            klick.Beep();
        }
        QTRY_VERIFY_WITH_TIMEOUT(laut(lauf.ausgabe.samples()) > 0, 5000);
        lauf.ausgabe.wachHalten(false);
        QVERIFY(lauf.ausgabe.warteBisStill(std::chrono::seconds(10)));
        // Samples from the first block that took part to the first sound.
        const PcmPuffer alle = lauf.ausgabe.samples();
        const size_t bisZumLaut =
            size_t(std::find_if(alle.begin(), alle.end(), istLaut) - alle.begin());
        size_t anlauf = 0;
        for (const auto& b : lauf.ausgabe.aufnahme()) anlauf += size_t(b.info.anlauf);
        const QString was = QStringLiteral("round %1: lead-in %2, first sound at sample %3")
                                .arg(runde)
                                .arg(anlauf)
                                .arg(bisZumLaut);
        if (wach) {
            QVERIFY2(anlauf == 0 && bisZumLaut < kAbtastrate / 50, qPrintable(was));
        } else {
            QVERIFY2(anlauf == kAnlauf && bisZumLaut >= kAnlauf &&
                         bisZumLaut < kAnlauf + kAbtastrate / 50,
                     qPrintable(was));
        }
    }
}

void TestSpeechEngine::eineMaschineUndAbschalten() {
    CaptureAusgabe ausgabe;
    std::unique_ptr<IStimme> stimme;
    {
        EspeakSprachDienst dienst(ausgabe);
        stimme = dienst.ErzeugeStimme();
        QVERIFY(stimme);
        // espeak-ng is one per process: a second engine is refused, the first goes on.
        EspeakSprachDienst zweiter(ausgabe);
        QVERIFY(!zweiter.ErzeugeStimme());
        QVERIFY(!zweiter.fehler().isEmpty());
        QVERIFY(stimme->Speak(QStringLiteral("eins"), SVSFDefault));
        QVERIFY(laut(ausgabe.samples()) > 0);
        for (int i = 0; i < 20; ++i) {
            stimme->Speak(QStringLiteral("Noch 90 Sekunden"), SVSFlagsAsync);
        }
    }  // shut down with phrases still queued: must not hang
    SprachTokens stimmen;
    QVERIFY(!stimme->GetVoices(stimmen));
    QVERIFY(!stimme->Speak(QStringLiteral("eins"), SVSFDefault));
}

void TestSpeechEngine::worteProMinute() {
    // 0 is espeak-ng's normal rate, each step a factor of 3^(1/10), clamped.
    for (auto [rate, wpm] : {std::pair{0, 175}, {-5, 101}, {5, 303}, {10, 450}, {-10, 80}}) {
        QCOMPARE(EspeakWorteProMinute(rate), wpm);
    }
}

void TestSpeechEngine::trimmer_data() {
    QTest::addColumn<PcmPuffer>("eingang");
    QTest::addColumn<int>("laenge");  // expected output length
    const int rand = kAbtastrate * 5 / 1000 + kAbtastrate * 15 / 1000;
    auto folge = [](std::initializer_list<std::pair<int, int16_t>> teile) {
        PcmPuffer p;
        for (auto [n, wert] : teile) p.insert(p.end(), size_t(n), wert);
        return p;
    };
    QTest::newRow("nur Stille") << folge({{5000, 0}}) << 0;
    QTest::newRow("leise Reste") << folge({{5000, 100}}) << 0;
    // Quiet, not silent, around the words, so that the fade shows.
    QTest::newRow("Wort") << folge({{3000, 200}, {500, 4000}, {8000, 200}}) << rand + 500;
    QTest::newRow("Pause bleibt")
        << folge({{3000, 200}, {500, 4000}, {2000, 200}, {300, -4000}, {8000, 200}})
        << rand + 500 + 2000 + 300;
}

void TestSpeechEngine::trimmer() {
    QFETCH(PcmPuffer, eingang);
    QFETCH(int, laenge);
    PcmPuffer raus;
    StilleTrimmer t([&](const int16_t* p, size_t n) { raus.insert(raus.end(), p, p + n); });
    // In uneven pieces, as the synthesiser delivers them.
    for (size_t i = 0; i < eingang.size(); i += 333) {
        t.hinein(eingang.data() + i, std::min<size_t>(333, eingang.size() - i));
    }
    t.ende();
    QCOMPARE(int(raus.size()), laenge);
    // Soft edges: the kept margins fade in from and out to silence.
    QVERIFY(raus.empty() || (raus.front() == 0 && raus.back() == 0));
}

QTEST_MAIN(TestSpeechEngine)
#include "test_speech_engine.moc"
