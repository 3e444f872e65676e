// SPDX-License-Identifier: GPL-3.0-or-later
// The voice, the voice list, the remembered choice and the speech switch.
#include "Form1.h"
#include "Sprecherwahl.h"
#include "ZahlAusText.h"
#include "ui_Form1.h"

bool Form1::SprachStart() {
    if (!D.sprache) return false;
    A.Stimme = D.sprache->ErzeugeStimme();
    if (!A.Stimme) return false;
    SprachTokens stimmen;
    if (!A.Stimme->GetVoices(stimmen)) return false;
    const int n = stimmen.Count();
    for (int i = 0; i < n; ++i) ui_->List_Sprecher->addItem(QString::number(i));
    SprecherNrLaden();
    // -1 selects nothing and keeps the engine's default voice; any other
    // number must name an entry.
    if (A.SprecherNr < -1 || A.SprecherNr >= n) return false;
    ui_->List_Sprecher->setCurrentRow(A.SprecherNr);
    return A.Stimme->SetRate(-5);
}

void Form1::SprecherNrLaden() {
    // Quiet on every file problem: the number stays as it was.
    A.Dateisystem = D.dateisystem;
    QString text;
    if (!SprecherNrLesen(*A.Dateisystem, text)) return;
    qint16 nummer = 0;
    if (!RundeAuf16Bit(ZahlAusText(text), nummer)) return;
    A.SprecherNr = nummer;
    const QList<QListWidgetItem*> treffer = ui_->List_Sprecher->findItems(text, Qt::MatchExactly);
    if (!treffer.isEmpty()) ui_->List_Sprecher->setCurrentItem(treffer.first());
}

bool Form1::SprecherNrSpeichern() {
    A.Dateisystem = D.dateisystem;
    const QListWidgetItem* eintrag = ui_->List_Sprecher->currentItem();
    return SprecherNrSchreiben(*A.Dateisystem, eintrag ? eintrag->text() : QString());
}

void Form1::SprecherBeschreiben() {
    // The entries show only numbers; a screen reader also hears each voice's name.
    SprachTokens stimmen;
    if (!A.Stimme || !A.Stimme->GetVoices(stimmen)) return;
    for (int i = 0; i < ui_->List_Sprecher->count() && i < stimmen.Count(); ++i)
        ui_->List_Sprecher->item(i)->setData(Qt::AccessibleDescriptionRole, stimmen.Item(i).name);
}

void Form1::List_Sprecher_Click() {
    const int zeile = ui_->List_Sprecher->currentRow();
    A.SprecherNr = qint16(zeile);
    if (zeile < 0) return;  // selection cleared: nothing to remember or switch
    if (SprecherNrSpeichern()) {
        speichernMisslungen_ = false;
    } else if (!speichernMisslungen_) {
        // Reported once; moving on through the list does not repeat the box
        // until a save has worked again.
        speichernMisslungen_ = true;
        Meldung(QStringLiteral("SprecherNr.txt lässt sich nicht speichern"));
    }
    SprachTokens stimmen;
    if (A.Stimme && A.Stimme->GetVoices(stimmen) && zeile < stimmen.Count()) {
        const SprachToken token = stimmen.Item(zeile);
        A.Stimme->SetVoice(token);  // on failure the previous voice stays in use
        ui_->List_Sprecher->setToolTip(token.name);
    }
    VorausAnpassen();  // the coming second's number in this voice
}

void Form1::Check_SprachAusgabe_Click() {
    if (Wert(ui_->Check_SprachAusgabe) == 1) {
        ui_->List_Sprecher->setEnabled(true);
        A.SprachAusgabeAn = True16;
        ui_->Check_CountDown->setEnabled(true);
        ui_->Command_Datumsansage->setEnabled(true);
        ui_->Command_Zeitansage->setEnabled(true);
    } else {
        A.SprachAusgabeAn = False16;
        SetzeWert(ui_->Check_CountDown, 0);
        ui_->Check_CountDown->setEnabled(false);
        ui_->List_Sprecher->setEnabled(false);
        ui_->Command_Datumsansage->setEnabled(false);
        ui_->Command_Zeitansage->setEnabled(false);
    }
    VorausAnpassen();  // the coming second's number, or none
}
