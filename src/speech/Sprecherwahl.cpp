// SPDX-License-Identifier: GPL-3.0-or-later
#include "speech/Sprecherwahl.h"

#include "app/Form1.h"
#include "app/ZahlAusText.h"

namespace {
const QString SprecherDatei = QStringLiteral("SprecherNr.txt");
}

bool SprachStart(Form1& f) {
    AppState& A = f.A;
    if (!f.D.sprache) return false;
    A.Stimme = f.D.sprache->ErzeugeStimme();
    if (!A.Stimme) return false;
    SprachTokens stimmen;
    if (!A.Stimme->GetVoices(stimmen)) return false;
    const int n = stimmen.Count();
    for (int i = 0; i < n; ++i) f.List_Sprecher->addItem(QString::number(i));
    SprecherNrLaden(f);
    // -1 selects nothing and keeps the engine's default voice; any other
    // number must name an entry.
    if (A.SprecherNr < -1 || A.SprecherNr >= n) return false;
    f.List_Sprecher->setCurrentRow(A.SprecherNr);
    return A.Stimme->SetRate(-5);
}

void SprecherNrLaden(Form1& f) {
    AppState& A = f.A;
    A.Dateisystem = f.D.dateisystem;
    std::unique_ptr<ITextStream> datei =
        A.Dateisystem->OpenTextFile(SprecherDatei, IoModus::ForReading, false);
    if (!datei) return;
    if (datei->AtEndOfStream()) {
        datei->Close();
        return;
    }
    QByteArray zeile;
    const bool gelesen = datei->ReadLine(zeile);
    datei->Close();
    if (!gelesen) return;
    const QString text = QString::fromLatin1(zeile);
    qint16 nummer = 0;
    if (!RundeAuf16Bit(ZahlAusText(text), nummer)) return;
    A.SprecherNr = nummer;
    const QList<QListWidgetItem*> treffer = f.List_Sprecher->findItems(text, Qt::MatchExactly);
    if (!treffer.isEmpty()) f.List_Sprecher->setCurrentItem(treffer.first());
}

bool SprecherNrSpeichern(Form1& f) {
    f.A.Dateisystem = f.D.dateisystem;
    const QListWidgetItem* eintrag = f.List_Sprecher->currentItem();
    const QByteArray inhalt = (eintrag ? eintrag->text().toLatin1() : QByteArray()) + "\r\n";
    return f.A.Dateisystem->ErsetzeDatei(SprecherDatei, inhalt);
}

void Form1::List_Sprecher_Click() {
    const int zeile = List_Sprecher->currentRow();
    A.SprecherNr = qint16(zeile);
    if (zeile < 0) return;  // selection cleared: nothing to remember or switch
    if (SprecherNrSpeichern(*this)) {
        speichernMisslungen_ = false;
    } else if (!speichernMisslungen_) {
        // Reported once; moving on through the list does not repeat the box
        // until a save has worked again.
        speichernMisslungen_ = true;
        D.meldung->MsgBox(QStringLiteral("SprecherNr.txt lässt sich nicht speichern"));
    }
    SprachTokens stimmen;
    if (A.Stimme && A.Stimme->GetVoices(stimmen) && zeile < stimmen.Count()) {
        const SprachToken token = stimmen.Item(zeile);
        A.Stimme->SetVoice(token);  // on failure the previous voice stays in use
        List_Sprecher->setToolTip(token.name);
    }
}

void Form1::Check_SprachAusgabe_Click() {
    if (Wert(Check_SprachAusgabe) == 1) {
        List_Sprecher->setEnabled(true);
        A.SprachAusgabeAn = True16;
        Check_CountDown->setEnabled(true);
        Command_Datumsansage->setEnabled(true);
        Command_Zeitansage->setEnabled(true);
    } else {
        A.SprachAusgabeAn = False16;
        SetzeWert(Check_CountDown, 0);
        Check_CountDown->setEnabled(false);
        List_Sprecher->setEnabled(false);
        Command_Datumsansage->setEnabled(false);
        Command_Zeitansage->setEnabled(false);
    }
}
