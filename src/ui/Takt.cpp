// SPDX-License-Identifier: GPL-3.0-or-later
// The countdown tick: once a second while a countdown runs it shows the time
// left, hands it to the spoken schedule, ends the countdown ten seconds after
// the target, and sounds the seconds beat.
//
// The sounds of a second are known a second ahead: its beat, and the phrase
// the schedule says for the time left that the display will show then. So each
// tick, and the start, places the coming second's click and phrase to begin at
// its boundary, and the tick of that second finds them heard. A tick that
// reads another second than the one foreseen (the clock was set, a box or an
// announcement held the tick back) takes back what was placed and sounds its
// own second at once; so does a tick whose box comes before its beat, the beat
// after the box. A change of what the coming second should sound like (the
// beat, speech, the spoken countdown, the voice, the end message) places or
// takes back its sounds at once; stopping or halting the countdown, and the
// end of the program, take them back.
#include <QScopedValueRollback>
#include <cmath>

#include "Countdown.h"
#include "Form1.h"
#include "ui_Form1.h"

using namespace std::chrono_literals;

void Form1::TaktMeldung(const QString& text) {
    // While the tick waits for its own message box, a tick that still reaches
    // the handler is dropped. The timer itself never nests a tick: it arms the
    // next one only after the handler has returned, so while the box is open
    // no tick of it is pending. The guard makes the rule independent of that
    // (another event source, a timer that keeps firing during modal loops).
    // Without it the warning about a far target would be shown a second time,
    // because the check box is cleared only when the first box closes.
    if (!D.meldung) return;
    const QScopedValueRollback offen(taktMeldungOffen_, true);
    Meldung(text);
}

bool Form1::TaktSagt(double RestStunden) const {
    return RestStunden > CountdownEnde && Wert(ui_->Check_CountDown) == 1 &&
           RestStunden < AnsageGrenzeStunden;
}

bool Form1::TaktMeldet(double RestStunden) const {
    if (RestStunden > CountdownEnde)
        return Wert(ui_->Check_CountDown) == 1 && !TaktSagt(RestStunden);
    return Wert(ui_->Check_MldVorbei) == 1;
}

void Form1::Timer_OccRestZeit_Timer() {
    if (taktMeldungOffen_) return;

    const double RestStunden = RestStundenBis(A.ZielZeit, MjdJetzt(*D.uhr));
    // Half a second apart at most: the hours left differ by whole seconds.
    const bool vorhergesagt =
        vorplan_ && std::abs(vorplan_->restStunden - RestStunden) < 0.5 / 3600.0;
    const bool klickGesetzt = vorhergesagt && vorplan_->klick;
    if (!vorhergesagt) VorausAbsagen();
    vorplan_.reset();

    if (RestStunden > CountdownEnde) {
        // Running, also during the ten seconds after the target, when the
        // display counts the seconds since the target upwards.
        ui_->Text_RestZeit->setText(RestZeitText(RestStunden));
        if (TaktSagt(RestStunden)) {
            if (!vorhergesagt) RestZeitAnsage(RestStunden, A);
        } else if (TaktMeldet(RestStunden)) {
            TaktMeldung(ZuWeitText(RestStunden));
            // Cleared only now, so the warning comes once; the display goes on.
            SetzeWert(ui_->Check_CountDown, 0);
        }
    } else {
        // Expiry. The tick is switched off before the box, so none comes while
        // it is open, and what was held for the countdown is let go with it.
        ui_->Text_RestZeit->setText(QString());
        Timer_OccRestZeit->Schalten(false);
        ui_->Label_akti->setVisible(false);
        if (TaktMeldet(RestStunden)) {
            // A window that is not the active one (minimised, behind others,
            // on another workspace) may hide its box: the desktop also shows
            // a notification, withdrawn when the box is closed.
            const bool verdeckt = !isActiveWindow() && D.benachrichtigung;
            if (verdeckt)
                D.benachrichtigung->Zeigen(
                    QStringLiteral("Countdown abgelaufen"),
                    AbgelaufenText(A.EingabeZeit, Wert(ui_->Check_Dauer) == 1));
            TaktMeldung(QStringLiteral("Zeitpunkt vorbei"));
            if (verdeckt) D.benachrichtigung->Zurueckziehen();
        }
        ui_->Label_akti->setVisible(true);
        CountdownLaeuftSetzen(false);
    }

    // Last step of every tick, the expiry tick included (after its box): the
    // beat, unless it was heard at this second's boundary.
    if (!klickGesetzt) Sekundenschlag();
    VorausPlanen();
}

void Form1::VorausPlanen() {
    VorausAbsagen();
    if (!Timer_OccRestZeit->IstAn()) return;
    const UhrLesung jetzt = D.uhr->Lesen();
    vorplan_ = Vorplan{std::chrono::floor<std::chrono::seconds>(jetzt.wann) + 1s,
                       RestStundenBis(A.ZielZeit, MjdAusLesung(jetzt) + 1.0 / 86400.0)};
    VorausAnpassen();
}

void Form1::VorausAnpassen() {
    // Once the boundary has come, its sounds are heard or due; the tick of
    // that second decides what else it sounds.
    if (!vorplan_ || D.uhr->Lesen().wann >= vorplan_->sekunde) return;
    Vorplan& v = *vorplan_;
    // The beat is heard on the boundary, unless its tick shows a box first.
    const bool klick = SekundenschlagAus == 0 && !TaktMeldet(v.restStunden);
    if (!klick && v.klick) std::exchange(v.klick, nullptr)->Absagen();
    if (klick && !v.klick && D.signalton) v.klick = D.signalton->AbspielenUm(v.sekunde);
    // The phrase, in the voice chosen now.
    const QString nach = QStringLiteral("%1|%2|%3")
                             .arg(TaktSagt(v.restStunden) && A.SprachAusgabeAn != 0)
                             .arg(A.SprecherNr)
                             .arg(RestZeitPhrase(v.restStunden));
    if (nach == v.phraseNach) return;
    if (v.phrase) std::exchange(v.phrase, nullptr)->Absagen();
    v.phraseNach = nach;
    if (TaktSagt(v.restStunden)) v.phrase = RestZeitAnsage(v.restStunden, A, v.sekunde);
}

void Form1::VorausAbsagen() {
    if (!vorplan_) return;
    for (const ErledigungPtr& e : {vorplan_->klick, vorplan_->phrase}) {
        if (e) e->Absagen();
    }
    vorplan_.reset();
}
