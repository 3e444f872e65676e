// The espeak-ng engine, heard through the capture output: what it says, in
// which order, how long, with which voice and rate, and what happens without
// data or without an output. Also the mixer, the trimmer and the beat click.
#include <QTest>
#include <algorithm>
#include <atomic>
#include <thread>

#include "speech/CaptureAusgabe.h"
#include "speech/EspeakStimme.h"
#include "speech/KlickSignalton.h"
#include "speech/StilleTrimmer.h"

namespace {

constexpr int kLaut = 320;

// One engine on one capture output. Members die in reverse order: voice,
// engine, output.
struct Lauf {
    explicit Lauf(CaptureAusgabe::Takt takt = CaptureAusgabe::Takt::SoSchnellWieMoeglich)
        : ausgabe(takt), dienst(ausgabe), stimme(dienst.ErzeugeStimme()) {}
    CaptureAusgabe ausgabe;
    EspeakSprachDienst dienst;
    std::unique_ptr<IStimme> stimme;

    // The samples of one phrase said alone, without the recording's padding.
    PcmPuffer sagen(const QString& text) {
        ausgabe.aufnahmeLeeren();
        stimme->Speak(text, SVSFDefault);
        ausgabe.warteBisStill(std::chrono::seconds(10));
        PcmPuffer p = ausgabe.samples();
        while (!p.empty() && p.back() == 0) p.pop_back();
        p.erase(p.begin(), std::find_if(p.begin(), p.end(), [](int16_t x) { return x != 0; }));
        return p;
    }
};

double sekunden(const PcmPuffer& p) { return double(p.size()) / kAbtastrate; }

size_t lautAb(const PcmPuffer& p) {
    return size_t(std::find_if(p.begin(), p.end(), [](int16_t x) { return std::abs(x) >= kLaut; }) -
                  p.begin());
}

size_t lauteSamples(const PcmPuffer& p) {
    return size_t(
        std::count_if(p.begin(), p.end(), [](int16_t x) { return std::abs(x) >= kLaut; }));
}

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

// The recording cut into phrases where the mixer started one.
std::vector<PcmPuffer> phrasen(const std::vector<CaptureAusgabe::Block>& bloecke) {
    std::vector<PcmPuffer> teile;
    for (const auto& b : bloecke) {
        size_t ab = 0;
        if (b.info.phrasenBeginn >= 0) {
            if (!teile.empty()) {
                teile.back().insert(teile.back().end(), b.pcm.begin(),
                                    b.pcm.begin() + b.info.phrasenBeginn);
            }
            teile.emplace_back();
            ab = size_t(b.info.phrasenBeginn);
        }
        if (!teile.empty())
            teile.back().insert(teile.back().end(), b.pcm.begin() + long(ab), b.pcm.end());
    }
    for (auto& t : teile) {
        while (!t.empty() && t.back() == 0) t.pop_back();
    }
    return teile;
}

QString beschreibung(const std::vector<PcmPuffer>& teile) {
    QStringList s;
    for (const auto& t : teile)
        s << QStringLiteral("%1 samples, level %2").arg(t.size()).arg(pegel(t));
    return s.join(QStringLiteral("; "));
}

}  // namespace

class TestSpeechEngine : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void phraseIstHoerbar();
    void folgeUndWarten();
    void minusFuenfIstLangsamer();
    void zahlwoerterGetrimmt_data();
    void zahlwoerterGetrimmt();
    void jedeAngeboteneStimmeSpricht();
    void stimmeUndRateZurZeitDerAnfrage();
    void ungueltigeEinstellungenBleibenOhneWirkung();
    void worteProMinute_data();
    void worteProMinute();
    void nurEineMaschineZugleich();
    void ohneAusgabeWirdLeiseVerworfen();
    void ausgabeVerlorenBeimWarten();
    void stimmeNachAbschaltenVerweigert();
    void klickUeberSprache();
    void klickOhneAusgabePiept();
    void mischerHaeltReihenfolge();
    void trimmer_data();
    void trimmer();
};

void TestSpeechEngine::initTestCase() {
    Lauf lauf;
    QVERIFY2(lauf.stimme, qPrintable(lauf.dienst.fehler()));
}

void TestSpeechEngine::phraseIstHoerbar() {
    Lauf lauf(CaptureAusgabe::Takt::Echtzeit);
    const PcmPuffer p = lauf.sagen(QStringLiteral("Noch 90 Sekunden"));
    QVERIFY2(sekunden(p) > 0.7 && sekunden(p) < 2.5, qPrintable(QString::number(sekunden(p))));
    QVERIFY(double(lauteSamples(p)) / kAbtastrate > 0.4);
}

void TestSpeechEngine::folgeUndWarten() {
    Lauf lauf(CaptureAusgabe::Takt::Echtzeit);
    // Three phrases of clearly different length.
    const QString a = QStringLiteral("Noch eine Stunde"), b = QStringLiteral("Noch 45 Minuten"),
                  c = QStringLiteral("10");
    const PcmPuffer refA = lauf.sagen(a), refB = lauf.sagen(b), refC = lauf.sagen(c);

    lauf.ausgabe.aufnahmeLeeren();
    QVERIFY(lauf.stimme->Speak(a, SVSFlagsAsync));
    QVERIFY(lauf.stimme->Speak(b, SVSFlagsAsync));
    QVERIFY(lauf.stimme->Speak(c, SVSFDefault));
    // Taken the moment Speak returns: c must already be complete.
    const auto teile = phrasen(lauf.ausgabe.aufnahme());
    QVERIFY2(teile.size() == 3, qPrintable(beschreibung(teile)));
    QVERIFY2(gleicht(teile[0], refA), qPrintable(beschreibung(teile)));
    QVERIFY2(gleicht(teile[1], refB), qPrintable(beschreibung(teile)));
    QVERIFY2(gleicht(teile[2], refC), qPrintable(beschreibung(teile)));
}

void TestSpeechEngine::minusFuenfIstLangsamer() {
    Lauf lauf;
    const PcmPuffer normal = lauf.sagen(QStringLiteral("Noch 90 Sekunden"));
    QVERIFY(lauf.stimme->SetRate(-5));
    const PcmPuffer langsam = lauf.sagen(QStringLiteral("Noch 90 Sekunden"));
    QVERIFY2(
        sekunden(langsam) > 1.4 * sekunden(normal),
        qPrintable(QStringLiteral("%1 s / %2 s").arg(sekunden(langsam)).arg(sekunden(normal))));
}

void TestSpeechEngine::zahlwoerterGetrimmt_data() {
    QTest::addColumn<QString>("text");
    for (int i = 10; i >= 0; --i) QTest::addRow("%d", i) << QString::number(i);
}

void TestSpeechEngine::zahlwoerterGetrimmt() {
    QFETCH(QString, text);
    Lauf lauf;
    QVERIFY(lauf.stimme->SetRate(-5));
    const PcmPuffer p = lauf.sagen(text);
    // One word a second in the last seconds of a countdown: well under a second,
    // starting at once.
    QVERIFY2(sekunden(p) > 0.15 && sekunden(p) < 0.85, qPrintable(QString::number(sekunden(p))));
    QVERIFY(lautAb(p) < size_t(kAbtastrate / 100));
}

void TestSpeechEngine::jedeAngeboteneStimmeSpricht() {
    Lauf lauf;
    SprachTokens stimmen, nochmal;
    QVERIFY(lauf.stimme->GetVoices(stimmen));
    QVERIFY(lauf.stimme->GetVoices(nochmal));
    QVERIFY(stimmen.Count() >= 2);
    QCOMPARE(stimmen.Item(0).name, QStringLiteral("Deutsch"));
    QCOMPARE(nochmal.Count(), stimmen.Count());
    for (int i = 0; i < stimmen.Count(); ++i) {
        const SprachToken t = stimmen.Item(i);
        QCOMPARE(t.index, i);
        QCOMPARE(nochmal.Item(i).name, t.name);
        QVERIFY(!t.name.isEmpty());
        QVERIFY(lauf.stimme->SetVoice(t));
        const PcmPuffer p = lauf.sagen(QStringLiteral("eins"));
        QVERIFY2(lauteSamples(p) > size_t(kAbtastrate / 20), qPrintable(t.name));
    }
}

namespace {
// A variant that speaks at about half the level of the standard voice, so the
// two can be told apart in the recording.
int leiseVariante(const SprachTokens& stimmen) {
    for (int i = 0; i < stimmen.Count(); ++i) {
        if (stimmen.Item(i).name.endsWith(QLatin1String(" adam"), Qt::CaseInsensitive)) return i;
    }
    return -1;
}
}  // namespace

void TestSpeechEngine::stimmeUndRateZurZeitDerAnfrage() {
    Lauf lauf;
    SprachTokens stimmen;
    QVERIFY(lauf.stimme->GetVoices(stimmen));
    const int andere = leiseVariante(stimmen);
    if (andere < 0) QSKIP("espeak-ng has no variant adam here");
    const QString wort = QStringLiteral("sieben");
    const PcmPuffer normal = lauf.sagen(wort);
    QVERIFY(lauf.stimme->SetVoice(stimmen.Item(andere)));
    QVERIFY(lauf.stimme->SetRate(-5));
    const PcmPuffer anders = lauf.sagen(wort);
    QVERIFY(!gleicht(normal, anders));

    QVERIFY(lauf.stimme->SetVoice(stimmen.Item(0)));
    QVERIFY(lauf.stimme->SetRate(0));
    lauf.ausgabe.aufnahmeLeeren();
    QVERIFY(lauf.stimme->Speak(wort, SVSFlagsAsync));
    QVERIFY(lauf.stimme->SetVoice(stimmen.Item(andere)));
    QVERIFY(lauf.stimme->SetRate(-5));
    QVERIFY(lauf.stimme->Speak(wort, SVSFlagsAsync));
    QVERIFY(lauf.stimme->SetVoice(stimmen.Item(0)));
    QVERIFY(lauf.stimme->SetRate(0));
    QVERIFY(lauf.stimme->Speak(wort, SVSFDefault));
    const auto teile = phrasen(lauf.ausgabe.aufnahme());
    QVERIFY2(teile.size() == 3, qPrintable(beschreibung(teile)));
    QVERIFY2(gleicht(teile[0], normal), qPrintable(beschreibung(teile)));
    QVERIFY2(gleicht(teile[1], anders), qPrintable(beschreibung(teile)));
    QVERIFY2(gleicht(teile[2], normal), qPrintable(beschreibung(teile)));
}

void TestSpeechEngine::ungueltigeEinstellungenBleibenOhneWirkung() {
    Lauf lauf;
    SprachTokens stimmen;
    QVERIFY(lauf.stimme->GetVoices(stimmen));
    const int andere = leiseVariante(stimmen);
    if (andere < 0) QSKIP("espeak-ng has no variant adam here");
    QVERIFY(lauf.stimme->SetVoice(stimmen.Item(andere)));
    QVERIFY(lauf.stimme->SetRate(-5));
    const PcmPuffer vorher = lauf.sagen(QStringLiteral("acht"));
    QVERIFY(!lauf.stimme->SetRate(11));
    QVERIFY(!lauf.stimme->SetRate(-11));
    QVERIFY(!lauf.stimme->SetVoice(SprachToken{stimmen.Count(), QString()}));
    QVERIFY(!lauf.stimme->SetVoice(SprachToken{-1, QString()}));
    const PcmPuffer nachher = lauf.sagen(QStringLiteral("acht"));
    QVERIFY2(gleicht(vorher, nachher), qPrintable(beschreibung({vorher, nachher})));
}

void TestSpeechEngine::worteProMinute_data() {
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("wpm");
    QTest::newRow("normal") << 0 << 175;
    QTest::newRow("-5") << -5 << 101;
    QTest::newRow("5") << 5 << 303;
    QTest::newRow("1") << 1 << 195;
    QTest::newRow("10 clamped") << 10 << 450;
    QTest::newRow("-10 clamped") << -10 << 80;
    QTest::newRow("-7") << -7 << 81;
    QTest::newRow("-8 clamped") << -8 << 80;
}

void TestSpeechEngine::worteProMinute() {
    QFETCH(int, rate);
    QFETCH(int, wpm);
    QCOMPARE(EspeakWorteProMinute(rate), wpm);
}

void TestSpeechEngine::nurEineMaschineZugleich() {
    CaptureAusgabe ausgabe;
    EspeakSprachDienst dienst(ausgabe);
    auto stimme = dienst.ErzeugeStimme();
    QVERIFY(stimme);
    QVERIFY(dienst.ErzeugeStimme());  // a second voice on the same engine
    // espeak-ng is one per process: a second service is refused, the first goes on.
    EspeakSprachDienst zweiter(ausgabe);
    QVERIFY(!zweiter.ErzeugeStimme());
    QVERIFY(!zweiter.fehler().isEmpty());
    QVERIFY(stimme->Speak(QStringLiteral("eins"), SVSFDefault));
    QVERIFY(lauteSamples(ausgabe.samples()) > 0);
}

void TestSpeechEngine::ohneAusgabeWirdLeiseVerworfen() {
    Lauf lauf(CaptureAusgabe::Takt::Echtzeit);
    lauf.ausgabe.setzeVerfuegbar(false);
    QVERIFY(lauf.stimme->Speak(QStringLiteral("Noch 90 Sekunden"), SVSFlagsAsync));
    QVERIFY(lauf.stimme->Speak(QStringLiteral("eins"), SVSFDefault));  // returns, quietly
    QVERIFY(lauf.ausgabe.samples().empty());
    lauf.ausgabe.setzeVerfuegbar(true);
    QVERIFY(lauteSamples(lauf.sagen(QStringLiteral("zwei"))) > 0);
}

void TestSpeechEngine::ausgabeVerlorenBeimWarten() {
    Lauf lauf(CaptureAusgabe::Takt::Echtzeit);
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
    // Less than the three phrases were heard; the rest was dropped.
    QVERIFY(sekunden(lauf.ausgabe.samples()) < 2.5);
}

void TestSpeechEngine::stimmeNachAbschaltenVerweigert() {
    CaptureAusgabe ausgabe;
    std::unique_ptr<IStimme> stimme;
    {
        EspeakSprachDienst dienst(ausgabe);
        stimme = dienst.ErzeugeStimme();
        QVERIFY(stimme);
        for (int i = 0; i < 20; ++i)
            stimme->Speak(QStringLiteral("Noch 90 Sekunden"), SVSFlagsAsync);
    }  // shut down with phrases still queued: must not hang
    SprachTokens stimmen;
    QVERIFY(!stimme->GetVoices(stimmen));
    QVERIFY(!stimme->Speak(QStringLiteral("eins"), SVSFDefault));
    QVERIFY(!stimme->SetRate(0));
}

void TestSpeechEngine::klickUeberSprache() {
    Lauf lauf(CaptureAusgabe::Takt::Echtzeit);
    int piepse = 0;
    KlickSignalton klick(&lauf.ausgabe, [&] { ++piepse; });
    QVERIFY(lauf.stimme->Speak(QStringLiteral("Noch 90 Sekunden"), SVSFlagsAsync));
    QTRY_VERIFY_WITH_TIMEOUT(lauteSamples(lauf.ausgabe.samples()) > size_t(kAbtastrate / 5), 5000);
    klick.Beep();
    QVERIFY(lauf.ausgabe.warteBisStill(std::chrono::seconds(10)));
    QCOMPARE(piepse, 0);

    const auto bloecke = lauf.ausgabe.aufnahme();
    const auto klickBlock = std::find_if(bloecke.begin(), bloecke.end(),
                                         [](const auto& b) { return b.info.klangBeginn >= 0; });
    QVERIFY(klickBlock != bloecke.end());
    // The click came while the phrase was still playing, not after it: past
    // the click's own 30 ms, speech goes on for a good while.
    const PcmPuffer klang = KlickSignalton::klangErzeugen();
    const size_t klickBloecke = klang.size() / klickBlock->pcm.size() + 1;
    const auto sprachBloeckeDanach =
        std::count_if(klickBlock + long(klickBloecke), bloecke.end(),
                      [](const auto& b) { return lauteSamples(b.pcm) > 0; });
    QVERIFY2(sprachBloeckeDanach > 10, qPrintable(QString::number(sprachBloeckeDanach)));
    // ...and both are in the mix: the block is neither the click nor silence alone.
    const PcmPuffer& b = klickBlock->pcm;
    QVERIFY(!std::equal(b.begin(), b.end(), klang.begin()));
    QVERIFY(lauteSamples(b) > 0);
}

void TestSpeechEngine::klickOhneAusgabePiept() {
    int piepse = 0;
    KlickSignalton ohne(nullptr, [&] { ++piepse; });
    ohne.Beep();
    QCOMPARE(piepse, 1);
    CaptureAusgabe ausgabe;
    ausgabe.setzeVerfuegbar(false);
    KlickSignalton weg(&ausgabe, [&] { ++piepse; });
    weg.Beep();
    weg.Beep();
    QCOMPARE(piepse, 3);
    ausgabe.setzeVerfuegbar(true);
    weg.Beep();
    QCOMPARE(piepse, 3);
}

void TestSpeechEngine::mischerHaeltReihenfolge() {
    AudioMischer m;
    std::vector<int> fertig;
    const PcmPuffer eins(AudioMischer::kVorlauf, 100), zwei(AudioMischer::kVorlauf, 200);
    const uint64_t a =
        m.phraseBeginnen([&](const PhrasenErgebnis& e) { fertig.push_back(e.gespielt ? 1 : -1); });
    const uint64_t leer =
        m.phraseBeginnen([&](const PhrasenErgebnis& e) { fertig.push_back(e.gespielt ? 2 : -2); });
    const uint64_t b =
        m.phraseBeginnen([&](const PhrasenErgebnis& e) { fertig.push_back(e.gespielt ? 3 : -3); });
    m.phraseDaten(a, eins.data(), eins.size());
    m.phraseBeenden(leer);
    m.phraseDaten(b, zwei.data(), zwei.size());
    m.phraseBeenden(b);

    // The first phrase is not ended yet: later phrases wait behind it even
    // though they are complete.
    PcmPuffer out(2 * AudioMischer::kVorlauf);
    const auto t = AudioUhr::now();
    m.mischen(out.data(), out.size(), t, {});
    QVERIFY(std::all_of(out.begin(), out.begin() + long(eins.size()),
                        [](int16_t x) { return x == 100; }));
    QVERIFY(
        std::all_of(out.begin() + long(eins.size()), out.end(), [](int16_t x) { return x == 0; }));
    QVERIFY(fertig.empty());

    m.phraseBeenden(a);
    m.mischen(out.data(), out.size(), t, {});
    QVERIFY(std::all_of(out.begin(), out.begin() + long(zwei.size()),
                        [](int16_t x) { return x == 200; }));
    QCOMPARE(fertig, (std::vector<int>{1, 2, 3}));
    QVERIFY(!m.hatArbeit());

    // Dropping reports what was not played as not played.
    m.phraseBeginnen([&](const PhrasenErgebnis& e) { fertig.push_back(e.gespielt ? 4 : -4); });
    m.allesVerwerfen();
    QCOMPARE(fertig.back(), -4);
}

void TestSpeechEngine::trimmer_data() {
    QTest::addColumn<PcmPuffer>("eingang");
    QTest::addColumn<int>("laenge");  // expected output length
    const int vorne = kAbtastrate * 5 / 1000, hinten = kAbtastrate * 15 / 1000;
    auto folge = [](std::initializer_list<std::pair<int, int16_t>> teile) {
        PcmPuffer p;
        for (auto [n, wert] : teile) p.insert(p.end(), size_t(n), wert);
        return p;
    };
    QTest::newRow("nur Stille") << folge({{5000, 0}}) << 0;
    QTest::newRow("leise Reste") << folge({{5000, 100}}) << 0;
    QTest::newRow("Wort mit Rand")
        << folge({{3000, 0}, {500, 4000}, {8000, 0}}) << vorne + 500 + hinten;
    QTest::newRow("Pause bleibt")
        << folge({{3000, 0}, {500, 4000}, {2000, 0}, {300, -4000}, {8000, 0}})
        << vorne + 500 + 2000 + 300 + hinten;
    QTest::newRow("kein Rand da") << folge({{500, 4000}}) << 500;
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
    if (!raus.empty() && eingang.front() == 0) {
        // Soft edges: the kept margins fade in from and out to silence.
        QVERIFY(std::abs(raus.front()) < kLaut);
        QVERIFY(std::abs(raus.back()) < kLaut);
    }
    // Used again for the next phrase, it starts afresh.
    raus.clear();
    const PcmPuffer wort(400, 5000);
    t.hinein(wort.data(), wort.size());
    t.ende();
    QCOMPARE(raus.size(), wort.size());
}

QTEST_MAIN(TestSpeechEngine)
#include "test_speech_engine.moc"
