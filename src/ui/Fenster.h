// SPDX-License-Identifier: GPL-3.0-or-later
// The program's window as whoever starts it sees it. Building it runs the
// window's start-up (which may show a message box); the window itself, its
// state and its controls stay inside this layer.
#pragma once

#include <QString>
#include <QVariantMap>
#include <functional>
#include <memory>
#include <optional>

#include "Aktionen.h"
#include "Dienste.h"

class Form1;

class Fenster {
public:
    // The services must outlive the window.
    explicit Fenster(const Dienste& dienste);
    ~Fenster();
    Fenster(const Fenster&) = delete;
    Fenster& operator=(const Fenster&) = delete;

    void Zeigen();
    // Raises and activates the window, with the launcher's platform data
    // (an activation token, a startup id).
    void Hervorholen(const QVariantMap& plattformDaten);
    // An action asked for from outside the window, as its button's press
    // would do it (see Form1::AktionAusfuehren).
    void AktionAusfuehren(Aktion aktion, std::optional<qint64> zeitUs,
                          std::function<void(const QString&)> antwort);

private:
    std::unique_ptr<Form1> form_;
};
