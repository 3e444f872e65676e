// SPDX-License-Identifier: GPL-3.0-or-later
#include "Start.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "Fenster.h"
#include "Produktion.h"
#include "SignalEnde.h"
#include "SitzungWachHalter.h"
#include "Warten.h"

int TempiroAusfuehren(int argc, char** argv) {
    // On X11, Qt's backing store hands the window's pixels to the server in
    // shared memory and, before it paints again where the server may still be
    // reading, waits for a round trip to the server. The clock line repaints
    // the same few pixels every second, so that round trip woke the window's
    // thread a second time and the display connection's thread once every
    // second. Its 10 KB go over the socket instead, and an idle clock wakes
    // once a second.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM")) qputenv("QT_XCB_NO_MITSHM", "1");
    QApplication app(argc, argv);
    // The compositor matches the window to the menu entry and its icon by this.
    QGuiApplication::setDesktopFileName(QStringLiteral("de.tempiro.Tempiro"));
    int status = 0;
    {
        // During "Ansage Zeit" the end by signal comes after the phrase.
        SignalEnde ende(&Warten::OderNachher);
        ProduktionsDienste dienste;
        Fenster fenster(dienste.Alle());
        // Ended during a start-up message box: the window is not opened at all.
        if (!SignalEnde::Angefordert()) {
            fenster.Zeigen();
            status = app.exec();
        }
    }
    // A session bus that took the connection and never answered it keeps Qt's
    // bus thread waiting for good, and Qt waits for that thread at exit. The
    // window and the services are closed by now, so the process ends here.
    if (SitzungWachHalter::BusHaengt()) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
