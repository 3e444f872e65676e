// SPDX-License-Identifier: GPL-3.0-or-later
// The program's one record of process-wide state. It is created zeroed with the
// window and read and written directly by every procedure.
#pragma once

#include <QtGlobal>
#include <memory>

#include "Dienste.h"

// 16-bit boolean: 0 false, -1 true; every test compares with 0.
using Bool16 = qint16;
constexpr Bool16 True16 = -1;
constexpr Bool16 False16 = 0;

struct AppState {
    double EingabeZeit = 0;  // entered time of day or duration, in hours
    double ZielZeit = 0;     // countdown target, Modified Julian Date
    Bool16 CountDownLaeuft = False16;
    IDateisystem* Dateisystem = nullptr;       // the file service in use
    std::unique_ptr<ITextStream> Zeitnehmung;  // the open log; null when absent
    // Stamps taken in this run. Wider than the old 16-bit counter so the
    // numbering simply continues past 32767 instead of overflowing.
    qint32 StempelZaehler = 0;
    std::unique_ptr<IStimme> Stimme;  // the one voice; null when speech failed
    qint16 SprecherNr = 0;
    Bool16 SprachAusgabeAn = False16;
};
