#include <QApplication>

#include "app/Form1.h"
#include "app/Produktion.h"
#include "app/SignalEnde.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // The compositor matches the window to the menu entry and its icon by this.
    QGuiApplication::setDesktopFileName(QStringLiteral("de.tempiro.Tempiro"));
    SignalEnde ende;
    ProduktionsDienste dienste;
    Form1 form(dienste.Alle());
    // Ended during a start-up message box: the window is not opened at all.
    if (SignalEnde::Angefordert()) return 0;
    form.show();
    return app.exec();
}
