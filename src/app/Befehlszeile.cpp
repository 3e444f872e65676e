// SPDX-License-Identifier: GPL-3.0-or-later
#include "Befehlszeile.h"

namespace {

// Qt's standard options (QGuiApplication, QApplication, the X11 platform),
// with one or two dashes; those of the first list take a value, given as the
// next argument or after "=".
const QStringList QtMitWert = {
    QStringLiteral("platform"),        QStringLiteral("platformpluginpath"),
    QStringLiteral("platformtheme"),   QStringLiteral("plugin"),
    QStringLiteral("qwindowgeometry"), QStringLiteral("geometry"),
    QStringLiteral("qwindowtitle"),    QStringLiteral("title"),
    QStringLiteral("qwindowicon"),     QStringLiteral("icon"),
    QStringLiteral("display"),         QStringLiteral("name"),
    QStringLiteral("session"),         QStringLiteral("style"),
    QStringLiteral("stylesheet"),      QStringLiteral("qmljsdebugger")};
const QStringList QtSchalter = {QStringLiteral("reverse"), QStringLiteral("widgetcount"),
                                QStringLiteral("sync"), QStringLiteral("nograb"),
                                QStringLiteral("dograb")};

}  // namespace

Befehl BefehlszeileLesen(const QStringList& argumente) {
    const auto fehler = [](const QString& text) { return Befehl{Befehl::Art::Fehler, {}, text}; };
    bool hilfe = false, version = false;
    std::optional<Aktion> gewaehlt;
    for (qsizetype i = 0; i < argumente.size(); ++i) {
        const QString& arg = argumente[i];
        if (!arg.startsWith(u'-') || arg == u"-" || arg == u"--")
            return fehler(QStringLiteral("unerwartetes Argument „%1“").arg(arg));
        const QString name = arg.mid(arg.startsWith(u"--") ? 2 : 1).section(u'=', 0, 0);
        if (QtSchalter.contains(name) && !arg.contains(u'=')) continue;
        if (QtMitWert.contains(name)) {
            if (!arg.contains(u'=') && ++i >= argumente.size())
                return fehler(QStringLiteral("„%1“ braucht einen Wert").arg(arg));
        } else if (arg == u"-h" || arg == u"--help") {
            hilfe = true;
        } else if (arg == u"-v" || arg == u"--version") {
            version = true;
        } else if (const std::optional<Aktion> aktion = arg.startsWith(u"--")
                                                            ? AktionAusName(QStringView(arg).mid(2))
                                                            : std::nullopt) {
            if (gewaehlt) return fehler(QStringLiteral("nur eine Aktion auf einmal"));
            gewaehlt = aktion;
        } else {
            return fehler(QStringLiteral("unbekannte Option „%1“").arg(arg));
        }
    }
    Befehl b;
    if (gewaehlt) {
        b.art = Befehl::Art::Aktion;
        b.aktion = *gewaehlt;
    }
    if (version) b.art = Befehl::Art::Version;
    if (hilfe) b.art = Befehl::Art::Hilfe;
    return b;
}

QString Gebrauch() {
    return QStringLiteral(
        "Aufruf: tempiro [Qt-Option …] [AKTION]\n"
        "Sprechende Tischuhr mit Countdown und Zeitstempeln. Ohne AKTION öffnet\n"
        "tempiro sein Fenster oder holt das der schon laufenden Uhr nach vorn.\n"
        "\n"
        "Aktionen, an die laufende Uhr übergeben (sie wird gestartet, wenn keine\n"
        "läuft); der Befehl kehrt sofort zurück:\n"
        "  --ansage-zeit      die Uhrzeit ansagen, wie „Ansage Zeit“\n"
        "  --ansage-datum     das Datum ansagen, wie „Ansage Datum“\n"
        "  --zeit-speichern   einen Zeitstempel schreiben, wie „Zeit speichern“\n"
        "  --timer            „Timer Start“ oder „Timer Stop“ drücken\n"
        "\n"
        "  -h, --help         diese Hilfe\n"
        "  -v, --version      die Version\n"
        "\n"
        "Dazu gelten die üblichen Optionen jedes Qt-Programms, etwa -platform NAME.\n"
        "Mehr in „man tempiro“.\n");
}
