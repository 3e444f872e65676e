// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>

#include "app/Form1.h"
#include "app/Produktion.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ProduktionsDienste dienste;
    Form1 form(dienste.Alle());
    form.show();
    return app.exec();
}
