// SPDX-License-Identifier: GPL-3.0-or-later
#include "Fenster.h"

#include "Form1.h"
#include "Plattform.h"

Fenster::Fenster(const Dienste& dienste) : form_(std::make_unique<Form1>(dienste)) {}

Fenster::~Fenster() = default;

void Fenster::Zeigen() { form_->show(); }

void Fenster::Hervorholen(const QVariantMap& plattformDaten) {
    FensterHervorholen(form_.get(), plattformDaten);
}

void Fenster::AktionAusfuehren(Aktion aktion, std::optional<qint64> zeitUs,
                               std::function<void(const QString&)> antwort) {
    form_->AktionAusfuehren(aktion, zeitUs, std::move(antwort));
}
