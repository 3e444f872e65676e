// SPDX-License-Identifier: GPL-3.0-or-later
// How late after each wall-clock second boundary the one-second tick runs, and
// whether any second was skipped or doubled. Usage: bench_takt [seconds=30]
#include <QCoreApplication>
#include <QDateTime>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "Plattform.h"
#include "SekundenTakt.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int dauer = argc > 1 ? std::atoi(argv[1]) : 30;
    SystemUhr uhr;
    SekundenTakt takt(uhr);
    std::vector<int> verspaetung;
    qint64 letzteSekunde = -1;
    int uebersprungen = 0, doppelt = 0;
    QObject::connect(&takt, &SekundenTakt::Timer, [&] {
        const qint64 ms = QDateTime::currentMSecsSinceEpoch();
        const qint64 sekunde = ms / 1000;
        if (letzteSekunde >= 0) {
            if (sekunde == letzteSekunde) ++doppelt;
            if (sekunde > letzteSekunde + 1) uebersprungen += int(sekunde - letzteSekunde - 1);
        }
        letzteSekunde = sekunde;
        verspaetung.push_back(int(ms % 1000));
        if (int(verspaetung.size()) >= dauer) app.quit();
    });
    takt.Schalten(true);
    app.exec();
    std::sort(verspaetung.begin(), verspaetung.end());
    auto p = [&](double q) { return verspaetung[size_t(q * (verspaetung.size() - 1))]; };
    std::printf("ticks %zu  lateness after the boundary ms: min %d  median %d  p99 %d  max %d\n",
                verspaetung.size(), verspaetung.front(), p(0.5), p(0.99), verspaetung.back());
    std::printf("seconds skipped %d  doubled %d\n", uebersprungen, doppelt);
    return 0;
}
