// The real services the program runs with, owned for the whole run.
#pragma once

#include <memory>

#include "app/Plattform.h"

class SprachSystem;

class ProduktionsDienste {
public:
    ProduktionsDienste();
    ~ProduktionsDienste();
    Dienste Alle();

private:
    SystemUhr uhr_;
    DateiDienst dateien_;
    Meldungsfenster meldung_;
    std::unique_ptr<SprachSystem> sprache_;
};
