// SPDX-License-Identifier: GPL-3.0-or-later
// The spoken countdown: which seconds are announced and what is said.
//
// The schedule grows denser towards the end: full hours from five down, the
// quarter hours in the last 54 minutes, every minute from ten down to two, every
// ten seconds from 90 down to 20, every second in the last ten, and every second
// of the ten after the target, counting up. Each call decides from the time left
// alone; nothing is remembered between calls.
#include <cmath>

#include "Countdown.h"

namespace {

const QString Noch = QStringLiteral("Noch ");

}  // namespace

QString RestZeitPhrase(double RestStunden) {
    const float zeit = float(std::fabs(RestStunden));
    qint16 stunden, minuten, sekunden;
    ZeitZerlegen(zeit, stunden, minuten, sekunden);

    if (RestStunden <= CountdownEnde) return {};
    if (!(stunden < AnsageGrenzeStunden)) return {};

    // More than 0.9 h left: full hours only.
    if (RestStunden > 0.9) {
        if (minuten == 0 && sekunden == 0) {
            if (stunden == 1) return QStringLiteral("Noch eine Stunde");
            return Noch + QString::number(stunden) + QStringLiteral(" Stunden");
        }
        return {};
    }

    // Quarter hours. More than 10.5 minutes are left there, so nothing below applies.
    if ((minuten == 15 || minuten == 30 || minuten == 45) && sekunden == 0)
        return Noch + QString::number(minuten) + QStringLiteral(" Minuten");

    const double restMinuten = RestStunden * 60.0;
    if (restMinuten >= 10.5) return {};

    // The clock has whole seconds, so this is a whole number up to rounding noise.
    const double restSekunden = RestStunden * 3600.0;

    // Every full minute from ten down to two.
    if (restSekunden >= 90.5) {
        if (sekunden == 0) return Noch + QString::number(minuten) + QStringLiteral(" Minuten");
        return {};
    }

    // Every ten seconds from 90 down to 20.
    if (restSekunden > 10.5) {
        const long n = std::lrint(restSekunden);
        if (n % 10 == 0) return Noch + QString::number(n) + QStringLiteral(" Sekunden");
        return {};
    }

    // The last ten seconds and the ten after the target: the bare count.
    if (sekunden < 10.5) return QString::number(sekunden);
    return {};
}

ErledigungPtr RestZeitAnsage(const double& RestStunden, AppState& A, std::optional<Zeitpunkt> um) {
    const QString phrase = RestZeitPhrase(RestStunden);
    if (phrase.isEmpty()) return {};
    if (A.SprachAusgabeAn == 0 || !A.Stimme) return {};
    // Queued; the call returns at once. A refused request loses this one
    // phrase and nothing else.
    return um ? A.Stimme->SpeakUm(phrase, *um) : A.Stimme->Speak(phrase, SVSFlagsAsync);
}
