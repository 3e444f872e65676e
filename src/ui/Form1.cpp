// SPDX-License-Identifier: GPL-3.0-or-later
#include "Form1.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <QPointer>

#include "Warten.h"
#include "ZahlAusText.h"
#include "Zugang.h"
#include "ui_Form1.h"

namespace {

QFont Schrift(bool fett) {
    QFont f(QStringLiteral("Liberation Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(8.25);
    f.setWeight(fett ? QFont::Bold : QFont::Normal);
    return f;
}

}  // namespace

// The picture is compiled into this static library; register it explicitly so
// the linker keeps it. (Must stand outside any namespace.)
static void BilderLaden() { Q_INIT_RESOURCE(tempiro); }

int Wert(const QCheckBox* box) {
    switch (box->checkState()) {
        case Qt::Checked:
            return 1;
        case Qt::PartiallyChecked:
            return 2;
        default:
            return 0;
    }
}

void SetzeWert(QCheckBox* box, int wert) {
    if (wert == 2) box->setTristate(true);
    box->setCheckState(wert == 1 ? Qt::Checked : wert == 2 ? Qt::PartiallyChecked : Qt::Unchecked);
}

Form1::Form1(const Dienste& dienste, QWidget* parent)
    : QWidget(parent), D(dienste), ui_(std::make_unique<Ui_Form1>()) {
    // The accessibility interfaces are chosen as the controls are created.
    ZugangEinrichten();
    ui_->setupUi(this);
    FensterEinrichten();
    EreignisseVerbinden();
    Form_Load();
}

Form1::~Form1() { Form_Unload(); }

void Form1::FensterEinrichten() {
    // The window's font is bold; every control has a regular one of its own,
    // except the clock line, which shows in the window's.
    setFont(Schrift(true));
    const QFont normal = Schrift(false);
    for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w != ui_->Label_Zeitanzeige) w->setFont(normal);
    // No inline completion: typing "2" must stay "2", not become "20".
    for (QComboBox* c : {ui_->Combo_Morgen, ui_->Combo_H, ui_->Combo_M, ui_->Combo_S})
        c->setCompleter(nullptr);
    BilderLaden();
    BildWaehlen();
    // The clock line's bottom pixel row is also the top row of the two
    // announcement buttons, so its repaint every second repainted both
    // buttons too. With a row of margin above and below, its text keeps its
    // pixels (centred on the same middle) and the repaint stays off the
    // buttons: idle, the window's thread spends some 10 % less per second.
    ui_->Label_Zeitanzeige->setContentsMargins(0, 1, 0, 1);

    Timer_Zeitanzeige = new SekundenTakt(*D.uhr, this);
    Timer_Zeitanzeige->setObjectName(QStringLiteral("Timer_Zeitanzeige"));
    Timer_OccRestZeit = new SekundenTakt(*D.uhr, this);
    Timer_OccRestZeit->setObjectName(QStringLiteral("Timer_OccRestZeit"));
    // While "Ansage Zeit" waits, a tick is held and comes once after the wait.
    for (SekundenTakt* takt : {Timer_Zeitanzeige, Timer_OccRestZeit})
        takt->AufschubSetzen(&Warten::OderNachher);

    // Enter presses a focused button as the space bar does.
    for (QPushButton* b :
         {ui_->btn_ZeitSpeichern, ui_->Command_Datumsansage, ui_->Command_Zeitansage,
          ui_->Command_Start, ui_->Command1, ui_->Command2})
        b->installEventFilter(this);
    ui_->Command1->setFocus(Qt::OtherFocusReason);
}

void Form1::BildWaehlen() {
    // At scale 1 the picture as drawn; above it the one drawn at twice the
    // size, brought to the screen's exact scale, so it stays sharp.
    const qreal skala = devicePixelRatioF();
    if (skala <= 1.0) {
        ui_->Image1->setPixmap(QPixmap(QStringLiteral(":/tempiro/bild.jpg")));
        return;
    }
    QPixmap bild =
        QPixmap(QStringLiteral(":/tempiro/bild@2x.jpg"))
            .scaled(ui_->Image1->size() * skala, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    bild.setDevicePixelRatio(skala);
    ui_->Image1->setPixmap(bild);
}

bool Form1::eventFilter(QObject* objekt, QEvent* ereignis) {
    const auto art = ereignis->type();
    // The moment "Zeit speichern" goes down, by mouse or key, is the stamp's.
    if (objekt == ui_->btn_ZeitSpeichern) {
        // The second press of a double click comes as the double click itself.
        const bool maus = (art == QEvent::MouseButtonPress || art == QEvent::MouseButtonDblClick) &&
                          static_cast<QMouseEvent*>(ereignis)->button() == Qt::LeftButton;
        const bool leertaste = art == QEvent::KeyPress &&
                               static_cast<QKeyEvent*>(ereignis)->key() == Qt::Key_Space &&
                               !static_cast<QKeyEvent*>(ereignis)->isAutoRepeat();
        if (maus || leertaste) eingabeZeit_ = static_cast<QInputEvent*>(ereignis)->timestamp();
    }
    // Enter on a focused button becomes the space bar: the button goes down
    // on the press and is clicked on the release, as with Space. The window
    // still has no default button.
    if (art != QEvent::KeyPress && art != QEvent::KeyRelease) return false;
    auto* taste = static_cast<QKeyEvent*>(ereignis);
    if (taste->key() != Qt::Key_Return && taste->key() != Qt::Key_Enter) return false;
    if (taste->modifiers() & ~Qt::KeypadModifier) return false;
    QKeyEvent leertaste(art, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "),
                        taste->isAutoRepeat());
    leertaste.setTimestamp(taste->timestamp());
    QCoreApplication::sendEvent(objekt, &leertaste);
    return true;
}

bool Form1::event(QEvent* ereignis) {
    // Moved to a screen of another scale.
    if (ereignis->type() == QEvent::ScreenChangeInternal) BildWaehlen();
    return QWidget::event(ereignis);
}

void Form1::EreignisseVerbinden() {
    // Connected to the signals that also fire when the program changes the
    // value, text or selection, so a change from code runs the procedure at
    // once, nested, exactly like the user's action. A change that comes while
    // "Ansage Zeit" waits (an action of a screen reader) runs its procedure
    // after the wait.
    auto verbinde = [this](auto* control, auto signal, void (Form1::*prozedur)()) {
        connect(control, signal, this, [fenster = QPointer<Form1>(this), prozedur] {
            Warten::OderNachher([fenster, prozedur] {
                if (fenster) (fenster->*prozedur)();
            });
        });
    };
    verbinde(ui_->Check_SprachAusgabe, &QCheckBox::stateChanged, &Form1::Check_SprachAusgabe_Click);
    verbinde(ui_->List_Sprecher, &QListWidget::currentRowChanged, &Form1::List_Sprecher_Click);
    verbinde(Timer_Zeitanzeige, &SekundenTakt::Timer, &Form1::Timer_Zeitanzeige_Timer);
    verbinde(ui_->Command1, &QPushButton::clicked, &Form1::Command1_Click);
    verbinde(ui_->Command2, &QPushButton::clicked, &Form1::Command2_Click);
    verbinde(ui_->Command_Zeitansage, &QPushButton::clicked, &Form1::Command_Zeitansage_Click);
    verbinde(ui_->Command_Datumsansage, &QPushButton::clicked, &Form1::Command_Datumsansage_Click);
    verbinde(ui_->Combo_H, &QComboBox::editTextChanged, &Form1::Combo_H_Change);
    verbinde(ui_->Combo_H, &QComboBox::activated, &Form1::Combo_H_Click);
    verbinde(ui_->Combo_M, &QComboBox::editTextChanged, &Form1::Combo_M_Change);
    verbinde(ui_->Combo_M, &QComboBox::activated, &Form1::Combo_M_Click);
    verbinde(ui_->Combo_S, &QComboBox::editTextChanged, &Form1::Combo_S_Change);
    verbinde(ui_->Combo_S, &QComboBox::activated, &Form1::Combo_S_Click);
    verbinde(ui_->Combo_Morgen, &QComboBox::editTextChanged, &Form1::Combo_Morgen_Change);
    verbinde(ui_->Combo_Morgen, &QComboBox::activated, &Form1::Combo_Morgen_Click);
    verbinde(ui_->Check_Dauer, &QCheckBox::stateChanged, &Form1::Check_Dauer_Click);
    verbinde(ui_->Command_Start, &QPushButton::clicked, &Form1::Command_Start_Click);
    verbinde(Timer_OccRestZeit, &SekundenTakt::Timer, &Form1::Timer_OccRestZeit_Timer);
    verbinde(ui_->btn_ZeitSpeichern, &QPushButton::clicked, &Form1::btn_ZeitSpeichern_Click);
    // The two boxes that only the tick reads also decide what the coming
    // second sounds like: its number, its beat before or after a box.
    verbinde(ui_->Check_CountDown, &QCheckBox::stateChanged, &Form1::VorausAnpassen);
    verbinde(ui_->Check_MldVorbei, &QCheckBox::stateChanged, &Form1::VorausAnpassen);
    // At once, not after a wait: what is held for a countdown follows its tick.
    connect(Timer_OccRestZeit, &SekundenTakt::Geschaltet, this, &Form1::CountdownMelden);
    // Every click is preceded by its press: by the input event handled just
    // now, or by none (a screen reader's action, a click from the program).
    connect(ui_->btn_ZeitSpeichern, &QPushButton::pressed, this,
            [this] { druckZeit_ = std::exchange(eingabeZeit_, std::nullopt); });
}

void Form1::Form_Load() {
    // The clock line runs from the moment the window exists.
    Timer_Zeitanzeige->Schalten(true);

    SekundenschlagAus = True16;
    A.CountDownLaeuft = False16;
    // Filling a list runs no procedure, and must not replace the text shown.
    const std::pair<QComboBox*, int> listen[] = {
        {ui_->Combo_H, 23}, {ui_->Combo_M, 59}, {ui_->Combo_S, 59}};
    for (auto [liste, letzter] : listen) {
        QSignalBlocker still(liste);
        const QString text = liste->currentText();
        for (int i = 0; i <= letzter; ++i) liste->addItem(Zweistellig(i));
        liste->setEditText(text);
    }
    ui_->Combo_Morgen->setEditText(QStringLiteral("Heute"));  // runs Combo_Morgen_Change
    {
        QSignalBlocker still(ui_->Combo_Morgen);
        ui_->Combo_Morgen->addItem(QStringLiteral("Heute"));
        ui_->Combo_Morgen->addItem(QStringLiteral("Morgen"));
        ui_->Combo_Morgen->setEditText(QStringLiteral("Heute"));
    }
    SetzeWert(ui_->Check_SprachAusgabe, 1);  // runs Check_SprachAusgabe_Click
    SetzeWert(ui_->Check_CountDown, 1);

    const bool sprachStart = SprachStart();
    SprecherBeschreiben();
    if (!sprachStart) {
        // Speech could not be set up: say so, switch speech off for this run.
        Meldung(QStringLiteral(
            "Problem mit Initialisierung der Sprachausgabe, Installation überprüfen"));
        SetzeWert(ui_->Check_SprachAusgabe, 0);
        ui_->Check_SprachAusgabe->setEnabled(false);
        // Only speech is lost: the counter and the log are set up all the same.
    }

    A.StempelZaehler = 0;
    A.Dateisystem = D.dateisystem;
    A.Zeitnehmung =
        A.Dateisystem->OpenTextFile(QStringLiteral("zeitnehmung.txt"), IoModus::ForAppending, true);
    if (!A.Zeitnehmung) Meldung(QStringLiteral("zeitnehmung.txt lässt sich nicht öffnen"));
}

void Form1::Form_Unload() {
    if (entladen_) return;
    entladen_ = true;
    Timer_Zeitanzeige->Schalten(false);
    // Nothing stays held for a countdown once the program ends.
    Timer_OccRestZeit->Schalten(false);
    // No log open (start-up could not open it): nothing to close.
    if (A.Zeitnehmung) {
        A.Zeitnehmung->Close();
        A.Zeitnehmung.reset();
    }
}

void Form1::closeEvent(QCloseEvent* ereignis) {
    Form_Unload();
    ereignis->accept();
}
