// SPDX-License-Identifier: GPL-3.0-or-later
#include "Start.h"

#include <QApplication>
#include <QDir>
#include <cstdio>
#include <cstdlib>

#include "Anwendungsdienst.h"
#include "Befehlszeile.h"
#include "Benachrichtigung.h"
#include "Fenster.h"
#include "Produktion.h"
#include "SignalEnde.h"
#include "SitzungWachHalter.h"
#include "Warten.h"

namespace {

// How long start-up waits for the session bus, and a second start for the
// first instance's answer.
constexpr std::chrono::milliseconds BusFrist{1000};
constexpr std::chrono::milliseconds AntwortFrist{500};

// A session bus that took the connection and never answered it keeps Qt's
// bus thread waiting for good, and Qt waits for that thread at exit. Then the
// process ends here, once the window and the services are closed.
int Beenden(int status) {
    if (SitzungWachHalter::BusHaengt() || SitzungsbusHaengt()) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}

// What a launcher gives a start for the window it is to raise: the Desktop
// Entry keys GLib passes on. Read before Qt's X11 platform takes the startup
// id out of the environment.
QVariantMap StartDaten() {
    QVariantMap daten;
    if (const QByteArray t = qgetenv("XDG_ACTIVATION_TOKEN"); !t.isEmpty())
        daten.insert(QStringLiteral("activation-token"), QString::fromUtf8(t));
    if (const QByteArray id = qgetenv("DESKTOP_STARTUP_ID"); !id.isEmpty())
        daten.insert(QStringLiteral("desktop-startup-id"), QString::fromUtf8(id));
    return daten;
}

int FensterAusfuehren(int argc, char** argv, const QVariantMap& startDaten) {
    QApplication app(argc, argv);
    // The compositor matches the window to the menu entry and its icon by this.
    QGuiApplication::setDesktopFileName(QStringLiteral("de.tempiro.Tempiro"));
    int status = 0;
    {
        // During "Ansage Zeit" the end by signal comes after the phrase.
        SignalEnde ende(&Warten::OderNachher);
        // One clock per session: a second start opens no file, hands its
        // request to the first and ends.
        Anwendungsdienst dienst(QDir::currentPath());
        if (dienst.Anmelden(BusFrist) == Anwendungsdienst::Anmeldung::Zweite) {
            const QString ordner = dienst.Weiterreichen(startDaten, AntwortFrist);
            std::fprintf(
                stderr, "%s\n",
                qPrintable(ordner.isEmpty() ? QStringLiteral("Tempiro läuft bereits.")
                                            : QStringLiteral("Tempiro läuft bereits und legt seine "
                                                             "Dateien in %1 ab.")
                                                  .arg(ordner)));
            return Beenden(0);
        }
        // Qt's screen-reader bridge finds its bus through the session bus,
        // and would wait for it as long again: with a session bus that does
        // not answer, it is pointed at none.
        if (SitzungsbusStumm() && qEnvironmentVariableIsEmpty("AT_SPI_BUS_ADDRESS")) {
            qputenv("AT_SPI_BUS_ADDRESS", "unix:path=/dev/null");
            std::fputs(
                "Die Sitzungsverbindung antwortet nicht: Tempiro läuft allein, ohne "
                "Bildschirmleser.\n",
                stderr);
        }
        ProduktionsDienste dienste;
        if (dienst.Bus()) dienste.Benachrichtigung().Verbinden(*dienst.Bus());
        Fenster fenster(dienste.Alle());
        const auto hervorholen = [&fenster](const QVariantMap& d) { fenster.Hervorholen(d); };
        dienste.Benachrichtigung().angeklickt = hervorholen;
        // Ended during a start-up message box: the window is not opened at all.
        if (!SignalEnde::Angefordert()) {
            fenster.Zeigen();
            dienst.FensterSetzen(
                {hervorholen, [&fenster](Aktion a, std::optional<qint64> zeit,
                                         std::function<void(const QString&)> antwort) {
                     fenster.AktionAusfuehren(a, zeit, std::move(antwort));
                 }});
            status = app.exec();
        }
    }
    return Beenden(status);
}

}  // namespace

int TempiroAusfuehren(int argc, char** argv) {
    // On X11, Qt's backing store hands the window's pixels to the server in
    // shared memory and, before it paints again where the server may still be
    // reading, waits for a round trip to the server. The clock line repaints
    // the same few pixels every second, so that round trip woke the window's
    // thread a second time and the display connection's thread once every
    // second. Its 10 KB go over the socket instead, and an idle clock wakes
    // once a second.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM")) qputenv("QT_XCB_NO_MITSHM", "1");
    // A stamp or an announcement asked for on the command line is for the
    // instant the command started: the clock is read before anything else.
    const qint64 aufrufUs = ProzessStartUs();
    const QVariantMap startDaten = StartDaten();
    QStringList argumente;
    for (int i = 1; i < argc; ++i) argumente << QString::fromLocal8Bit(argv[i]);
    const Befehl befehl = BefehlszeileLesen(argumente);
    switch (befehl.art) {
        case Befehl::Art::Fehler:
            std::fprintf(stderr, "tempiro: %s\n\n%s", qPrintable(befehl.fehler),
                         qPrintable(Gebrauch()));
            return 2;
        case Befehl::Art::Hilfe:
            std::fputs(qPrintable(Gebrauch()), stdout);
            return 0;
        case Befehl::Art::Version:
            std::printf("tempiro %s\n", TEMPIRO_VERSION);
            return 0;
        case Befehl::Art::Aktion: {
            // The bus alone: no display is needed (a foot switch's daemon, an
            // ssh session).
            QCoreApplication app(argc, argv);
            const Rueckmeldung r = AktionUebergeben(befehl.aktion, aufrufUs, startDaten,
                                                    QCoreApplication::applicationFilePath());
            if (r.status != 0) std::fprintf(stderr, "%s\n", qPrintable(r.text));
            return Beenden(r.status);
        }
        case Befehl::Art::Fenster:
            break;
    }
    return FensterAusfuehren(argc, argv, startDaten);
}
