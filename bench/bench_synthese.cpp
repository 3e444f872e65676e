// SPDX-License-Identifier: GPL-3.0-or-later
// How long the speech engine takes to synthesise and trim the spoken time, from
// the request to the phrase handed to the sound output: the part of
// "tempiro --ansage-zeit" before anything can be heard that is neither the
// command nor the sound output. The program's own engine, voice 0 at its rate
// -5, the time of day of each run, one phrase at a time, an output that takes
// the samples and plays nothing.
//
//   bench_synthese [RUNS]      prints "synthese_ms n=N median=M max=X"
#include <QCoreApplication>
#include <QDateTime>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "EspeakStimme.h"

namespace {

struct Abnehmer : ITonausgabe {
    void Abtastrate(int) override {}
    void Phrase(std::optional<Wanduhr::time_point>, Abtastwerte, ErledigungPtr erledigt) override {
        uebergeben = std::chrono::steady_clock::now();
        erledigt->Melden();
    }
    bool Klick(std::optional<Wanduhr::time_point>, ErledigungPtr) override { return false; }
    std::chrono::steady_clock::time_point uebergeben;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int laeufe = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    Abnehmer ausgabe;
    EspeakSprachDienst dienst(ausgabe);
    const std::unique_ptr<IStimme> stimme = dienst.ErzeugeStimme();
    SprachTokens stimmen;
    if (!stimme || !stimme->GetVoices(stimmen) || !stimme->SetVoice(stimmen.Item(0)) ||
        !stimme->SetRate(-5)) {
        std::fprintf(stderr, "no German voice\n");
        return 1;
    }
    std::vector<double> ms;
    for (int i = 0; i <= laeufe; ++i) {  // the first run warms up
        const auto t0 = std::chrono::steady_clock::now();
        const ErledigungPtr e =
            stimme->Speak(QTime::currentTime().toString("HH:mm:ss"), SVSFDefault);
        if (e) e->Erwarten();
        while (e && !e->Fertig()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (i > 0)
            ms.push_back(
                std::chrono::duration<double, std::milli>(ausgabe.uebergeben - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("synthese_ms n=%zu median=%.1f max=%.1f\n", ms.size(), ms[ms.size() / 2],
                ms.back());
    return 0;
}
