// SPDX-License-Identifier: GPL-3.0-or-later
// The countdown tick: once a second while a countdown runs it shows the time
// left, hands it to the spoken schedule, ends the countdown ten seconds after
// the target, and sounds the seconds beat.
#include <QScopedValueRollback>

#include "Countdown.h"
#include "Form1.h"
#include "ui_Form1.h"

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

void Form1::Timer_OccRestZeit_Timer() {
    if (taktMeldungOffen_) return;

    const double RestStunden = RestStundenBis(A.ZielZeit, MjdJetzt(*D.uhr));

    if (RestStunden > CountdownEnde) {
        // Running, also during the ten seconds after the target, when the
        // display counts the seconds since the target upwards.
        ui_->Text_RestZeit->setText(RestZeitText(RestStunden));
        if (Wert(ui_->Check_CountDown) == 1) {
            if (RestStunden < AnsageGrenzeStunden) {
                RestZeitAnsage(RestStunden, A);
            } else {
                TaktMeldung(ZuWeitText(RestStunden));
                // Cleared only now, so the warning comes once; the display goes on.
                SetzeWert(ui_->Check_CountDown, 0);
            }
        }
    } else {
        // Expiry. The tick is switched off before the box, so none comes while
        // it is open, and what was held for the countdown is let go with it.
        ui_->Text_RestZeit->setText(QString());
        Timer_OccRestZeit->Schalten(false);
        ui_->Label_akti->setVisible(false);
        if (Wert(ui_->Check_MldVorbei) == 1) {
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

    // Last step of every tick, the expiry tick included (after its box).
    Sekundenschlag();
}
