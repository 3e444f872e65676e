#include "app/Produktion.h"

ProduktionsDienste::ProduktionsDienste() = default;
ProduktionsDienste::~ProduktionsDienste() = default;

Dienste ProduktionsDienste::Alle() {
    Dienste d;
    d.uhr = &uhr_;
    d.dateisystem = &dateien_;
    d.meldung = &meldung_;
    d.sprache = nullptr;  // no speech engine yet: start-up reports it and goes on
    d.signalton = &piep_;
    return d;
}
