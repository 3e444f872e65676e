// SPDX-License-Identifier: GPL-3.0-or-later
// The program's window as whoever starts it sees it. Building it runs the
// window's start-up (which may show a message box); the window itself, its
// state and its controls stay inside this layer.
#pragma once

#include <memory>

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

private:
    std::unique_ptr<Form1> form_;
};
