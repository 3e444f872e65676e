// SPDX-License-Identifier: GPL-3.0-or-later
// The countdown tick: once a second while a countdown runs it shows the time
// left, hands it to the spoken schedule, ends the countdown ten seconds after
// the target, and sounds the seconds beat.
#include <cmath>

#include "app/Form1.h"
#include "countdown/Countdown.h"

namespace {

// While the tick waits for its own message box, a tick that still reaches the
// handler is dropped. The timer itself never nests a tick: it arms the next one
// only after the handler has returned, so while the box is open no tick of it
// is pending. The guard makes the rule independent of that (another event
// source, a timer that keeps firing during modal loops). Without it the warning
// about a far target would be shown a second time, because the check box is
// cleared only when the first box closes.
class MeldungWartet {
public:
    explicit MeldungWartet(Form1& f) : f_(f) { f_.TaktMeldungOffen = true; }
    ~MeldungWartet() { f_.TaktMeldungOffen = false; }
    MeldungWartet(const MeldungWartet&) = delete;
    MeldungWartet& operator=(const MeldungWartet&) = delete;

private:
    Form1& f_;
};

void Meldung(Form1& f, const QString& text) {
    if (!f.D.meldung) return;
    MeldungWartet warten(f);
    f.D.meldung->MsgBox(text);
}

// One beat per tick while the beat is on. The beat never stops the countdown.
void Sekundenschlag(Form1& f) {
    if (f.SekundenschlagAus != 0 || !f.D.signalton) return;
    try {
        f.D.signalton->Abspielen();
    } catch (...) {
    }
}

}  // namespace

void Form1::Timer_OccRestZeit_Timer() {
    if (TaktMeldungOffen) return;

    const double RestStunden = RestStundenBis(A.ZielZeit, MjdJetzt(*D.uhr));

    if (RestStunden > CountdownEnde) {
        // Running, also during the ten seconds after the target, when the
        // display counts the seconds since the target upwards.
        Text_RestZeit->setText(RestZeitText(RestStunden));
        if (Wert(Check_CountDown) == 1) {
            if (RestStunden < AnsageGrenzeStunden) {
                RestZeitAnsage(RestStunden, A);
            } else {
                Meldung(*this, ZuWeitText(RestStunden));
                // Cleared only now, so the warning comes once; the display goes on.
                SetzeWert(Check_CountDown, 0);
            }
        }
    } else {
        // Expiry. The tick is switched off before the box, so none comes while
        // it is open, and what was held for the countdown is let go with it.
        Text_RestZeit->setText(QString());
        Timer_OccRestZeit->Schalten(false);
        Label_akti->setVisible(false);
        if (Wert(Check_MldVorbei) == 1) Meldung(*this, QStringLiteral("Zeitpunkt vorbei"));
        Label_akti->setVisible(true);
        CountdownLaeuftSetzen(false);
    }

    // Last step of every tick, the expiry tick included (after its box).
    Sekundenschlag(*this);
}
