// SPDX-License-Identifier: GPL-3.0-or-later
// The real services the program runs with, owned for the whole run.
#pragma once

#include <memory>
#include <vector>

#include "Benachrichtigung.h"
#include "Plattform.h"
#include "SitzungWachHalter.h"

class Tonausgabe;
class EspeakSprachDienst;

// Passes the countdown's state on to every service that holds something for it.
class CountdownVerteiler : public ICountdownStatus {
public:
    void Hinzufuegen(ICountdownStatus* ziel) {
        if (ziel) ziele_.push_back(ziel);
    }
    void CountdownGeschaltet(bool laeuft) override {
        for (ICountdownStatus* z : ziele_) z->CountdownGeschaltet(laeuft);
    }

private:
    std::vector<ICountdownStatus*> ziele_;
};

class ProduktionsDienste {
public:
    ProduktionsDienste();
    ~ProduktionsDienste();
    Dienste Alle();
    DesktopBenachrichtigung& Benachrichtigung() { return benachrichtigung_; }

private:
    SystemUhr uhr_;
    DateiDienst dateien_;
    Meldungsfenster meldung_;
    std::unique_ptr<Tonausgabe> ton_;  // outlives the engine, which writes to it
    std::unique_ptr<EspeakSprachDienst> sprache_;
    SitzungWachHalter wachHalter_;
    DesktopBenachrichtigung benachrichtigung_;
    CountdownVerteiler countdown_;
};
