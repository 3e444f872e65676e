// SPDX-License-Identifier: GPL-3.0-or-later
#include "Fenster.h"

#include "Form1.h"

Fenster::Fenster(const Dienste& dienste) : form_(std::make_unique<Form1>(dienste)) {}

Fenster::~Fenster() = default;

void Fenster::Zeigen() { form_->show(); }
