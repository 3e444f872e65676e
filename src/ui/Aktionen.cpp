// SPDX-License-Identifier: GPL-3.0-or-later
// The actions asked for from outside the window, and the window's message
// boxes, which hold them.
//
// A request from outside reaches the window's thread as a posted event, and
// the event loop of a message box or of the wait of "Ansage Zeit" would run it
// inside the procedure that waits. So it is held, as a press is: behind the
// wait by Warten, behind a box here, and done once control is back in the
// main event loop, in the order the requests came.
#include <QApplication>

#include "Form1.h"
#include "Warten.h"
#include "ui_Form1.h"

void Form1::Meldung(const QString& text) {
    // The taskbar marks a window that asks for attention: a box over a
    // window that is not the active one may otherwise pass unseen.
    if (isVisible() && !isActiveWindow()) QApplication::alert(this);
    ++meldungenOffen_;
    if (D.meldung) D.meldung->MsgBox(text);
    if (--meldungenOffen_ == 0 && !nachMeldung_.empty())
        QMetaObject::invokeMethod(this, &Form1::AktionenNachholen, Qt::QueuedConnection);
}

void Form1::AktionenNachholen() {
    // A held action may open a box of its own; the rest wait for that one.
    while (meldungenOffen_ == 0 && !nachMeldung_.empty()) {
        std::function<void()> schritt = std::move(nachMeldung_.front());
        nachMeldung_.pop_front();
        Warten::OderNachher(std::move(schritt));
    }
}

namespace {

QString Gesperrt(const QPushButton* knopf) {
    return QStringLiteral("„%1“ ist gesperrt: Aktion nicht ausgeführt").arg(knopf->text());
}

}  // namespace

QPushButton* Form1::Knopf(Aktion aktion) const {
    switch (aktion) {
        case Aktion::AnsageZeit:
            return ui_->Command_Zeitansage;
        case Aktion::AnsageDatum:
            return ui_->Command_Datumsansage;
        case Aktion::ZeitSpeichern:
            return ui_->btn_ZeitSpeichern;
        case Aktion::Timer:
            break;
    }
    return ui_->Command_Start;
}

void Form1::AktionAusfuehren(Aktion aktion, std::optional<qint64> zeitUs,
                             std::function<void(const QString&)> antwort) {
    // As with a press, a disabled button (speech switched off) does nothing.
    if (!Knopf(aktion)->isEnabled()) return antwort(Gesperrt(Knopf(aktion)));
    if (meldungenOffen_ == 0 && nachMeldung_.empty() && !Warten::Laeuft())
        return AktionJetzt(aktion, zeitUs, antwort);
    // Held: the answer goes at once. A stamp that will find no log fails
    // whenever it is done, so that is said now.
    antwort(aktion == Aktion::ZeitSpeichern && !A.Zeitnehmung
                ? QStringLiteral("zeitnehmung.txt lässt sich nicht öffnen")
                : QString());
    auto schritt = [this, aktion, zeitUs] { AktionJetzt(aktion, zeitUs, [](const QString&) {}); };
    if (meldungenOffen_ > 0 || !nachMeldung_.empty())
        nachMeldung_.push_back(schritt);
    else
        Warten::OderNachher(schritt);
}

void Form1::AktionJetzt(Aktion aktion, std::optional<qint64> zeitUs,
                        const std::function<void(const QString&)>& antwort) {
    // Held until now, the button may have been disabled meanwhile.
    if (!Knopf(aktion)->isEnabled()) return antwort(Gesperrt(Knopf(aktion)));
    const UhrLesung lesung = zeitUs ? D.uhr->LesenUm(*zeitUs) : D.uhr->Lesen();
    switch (aktion) {
        case Aktion::ZeitSpeichern: {
            const QString fehler = Stempeln(lesung);
            antwort(fehler);
            if (!fehler.isEmpty()) Meldung(fehler);
            return;
        }
        case Aktion::AnsageZeit:
            antwort({});
            return ZeitAnsagen(lesung);
        case Aktion::AnsageDatum:
            antwort({});
            return DatumAnsagen(lesung);
        case Aktion::Timer:
            antwort({});
            return Command_Start_Click();
    }
}
