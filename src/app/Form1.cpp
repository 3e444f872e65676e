// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Form1.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <QPointer>

#include "app/Warten.h"
#include "app/Zugang.h"
#include "speech/Sprecherwahl.h"

namespace {

// The window is laid out in twips; 15 twips are one logical pixel.
QRect Twips(int links, int oben, int breite, int hoehe) {
    return QRect(links / 15, oben / 15, breite / 15, hoehe / 15);
}

QFont Schrift(bool fett) {
    QFont f(QStringLiteral("Liberation Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(8.25);
    f.setWeight(fett ? QFont::Bold : QFont::Normal);
    return f;
}

QComboBox* NeueListe(QWidget* eltern, const QString& text) {
    auto* c = new QComboBox(eltern);
    c->setEditable(true);
    // No inline completion: typing "2" must stay "2", not become "20".
    c->setCompleter(nullptr);
    c->setInsertPolicy(QComboBox::NoInsert);
    c->setEditText(text);
    return c;
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

Form1::Form1(const Dienste& dienste, QWidget* parent) : QWidget(parent), D(dienste) {
    ControlsAnlegen();
    EreignisseVerbinden();
    Form_Load();
}

Form1::~Form1() { Form_Unload(); }

void Form1::ControlsAnlegen() {
    ZugangEinrichten();
    setWindowTitle(QStringLiteral("Tempiro Zeitansage"));
    setFont(Schrift(true));
    // Client area 4680 x 3315 twips. The controls keep their places, so the
    // window keeps its size.
    setFixedSize(312, 221);

    const QFont normal = Schrift(false);
    auto platziere = [&](QWidget* w, QRect r, bool eigeneSchrift = true) {
        w->setGeometry(r);
        if (eigeneSchrift) w->setFont(normal);
    };

    // Created in the order of the window definition; the frame first so that
    // the two beat buttons lying in its rectangle are drawn in front of it.
    Frame1 = new QGroupBox(QStringLiteral("Sekundenschlag"), this);
    platziere(Frame1, Twips(240, 2160, 1575, 615));

    Check_MldVorbei = new QCheckBox(QStringLiteral("Msgbox Vorbei"), this);
    platziere(Check_MldVorbei, Twips(1920, 3000, 1455, 255));
    btn_ZeitSpeichern = new QPushButton(QStringLiteral("Zeit speichern"), this);
    platziere(btn_ZeitSpeichern, Twips(240, 2880, 1575, 375));
    Command_Datumsansage = new QPushButton(QStringLiteral("Ansage Datum"), this);
    platziere(Command_Datumsansage, Twips(120, 600, 1215, 255));
    Command_Zeitansage = new QPushButton(QStringLiteral("Ansage Zeit"), this);
    platziere(Command_Zeitansage, Twips(1440, 600, 1215, 255));
    Timer_Zeitanzeige = new SekundenTakt(*D.uhr, this);
    Check_Dauer = new QCheckBox(QStringLiteral("BelichtungsUhr"), this);
    platziere(Check_Dauer, Twips(1920, 2520, 1455, 255));
    Combo_Morgen = NeueListe(this, QString());
    platziere(Combo_Morgen, Twips(120, 1200, 975, 315));
    Command_Start = new QPushButton(QStringLiteral("Timer Start"), this);
    platziere(Command_Start, Twips(1560, 1680, 1215, 495));
    Check_CountDown = new QCheckBox(QStringLiteral("CountDown"), this);
    platziere(Check_CountDown, Twips(1920, 2760, 1215, 255));
    Check_CountDown->setEnabled(false);
    Text_RestZeit = new QLineEdit(this);
    platziere(Text_RestZeit, Twips(120, 1800, 1335, 285));
    // Display only: it cannot be typed into, and says so to assistive tools.
    Text_RestZeit->setEnabled(false);
    Text_RestZeit->setReadOnly(true);
    Timer_OccRestZeit = new SekundenTakt(*D.uhr, this);
    Combo_H = NeueListe(this, QStringLiteral("00"));
    platziere(Combo_H, Twips(1200, 1200, 615, 315));
    Combo_M = NeueListe(this, QStringLiteral("00"));
    platziere(Combo_M, Twips(1800, 1200, 615, 315));
    Combo_S = NeueListe(this, QStringLiteral("00"));
    platziere(Combo_S, Twips(2400, 1200, 615, 315));
    Check_SprachAusgabe = new QCheckBox(QStringLiteral("Sprachausgabe \"Babbelina\""), this);
    platziere(Check_SprachAusgabe, Twips(1920, 2280, 2655, 255));
    List_Sprecher = new QListWidget(this);
    platziere(List_Sprecher, Twips(3360, 2760, 495, 255));
    List_Sprecher->setSelectionMode(QAbstractItemView::SingleSelection);
    List_Sprecher->setSortingEnabled(false);
    List_Sprecher->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    List_Sprecher->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Command2 = new QPushButton(QStringLiteral("stop"), this);
    platziere(Command2, Twips(1080, 2400, 615, 255));
    Command1 = new QPushButton(QStringLiteral("start"), this);
    platziere(Command1, Twips(360, 2400, 615, 255));
    Label_Zeitpunkt = new QLabel(QStringLiteral("Zeitpunkt"), this);
    platziere(Label_Zeitpunkt, Twips(120, 960, 975, 255));
    BilderLaden();
    Image1 = new QLabel(this);
    platziere(Image1, Twips(2880, 120, 1725, 2160));
    BildWaehlen();
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label_akti = new QLabel(QStringLiteral("Aktuelle Zeit"), this);
    platziere(Label_akti, Twips(120, 120, 975, 255));
    Label_akti->setVisible(false);
    Label1 = new QLabel(QStringLiteral("Restzeit"), this);
    platziere(Label1, Twips(120, 1560, 855, 255));
    Label_Zeitanzeige = new QLabel(this);
    // Named at once: the name decides which accessibility interface it gets.
    Label_Zeitanzeige->setObjectName(QStringLiteral("Label_Zeitanzeige"));
    platziere(Label_Zeitanzeige, Twips(240, 360, 2535, 255), false);  // window font, bold
    Label9 = new QLabel(QStringLiteral("h"), this);
    platziere(Label9, Twips(1320, 960, 135, 255));
    Label10 = new QLabel(QStringLiteral("m"), this);
    platziere(Label10, Twips(2040, 960, 135, 255));
    Label11 = new QLabel(QStringLiteral("s"), this);
    platziere(Label11, Twips(2640, 960, 135, 255));

    // The picture is a backdrop: every control stays in front of it, as the
    // beat buttons stay in front of their frame.
    Image1->lower();
    Frame1->lower();

    for (QPushButton* b : {btn_ZeitSpeichern, Command_Datumsansage, Command_Zeitansage,
                           Command_Start, Command1, Command2}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    // Tab order by tab index, among the controls that can take the focus
    // (the frame and the labels cannot; the remaining-time box is disabled).
    const QList<QWidget*> tabFolge = {Command1,        Command2,        List_Sprecher,
                                      Check_SprachAusgabe, Combo_S,     Combo_M,
                                      Combo_H,         Text_RestZeit,   Check_CountDown,
                                      Command_Start,   Combo_Morgen,    Check_Dauer,
                                      Command_Zeitansage, Command_Datumsansage,
                                      btn_ZeitSpeichern, Check_MldVorbei};
    for (int i = 0; i + 1 < tabFolge.size(); ++i) setTabOrder(tabFolge[i], tabFolge[i + 1]);
    // Enter presses a focused button as the space bar does.
    for (QPushButton* b : {btn_ZeitSpeichern, Command_Datumsansage, Command_Zeitansage,
                           Command_Start, Command1, Command2})
        b->installEventFilter(this);
    Command1->setFocus(Qt::OtherFocusReason);
    ZugangBeschriften();
}

void Form1::ZugangBeschriften() {
    // Object names as in the window definition.
#define TEMPIRO_NAME(control) control->setObjectName(QStringLiteral(#control))
    TEMPIRO_NAME(Check_MldVorbei);
    TEMPIRO_NAME(btn_ZeitSpeichern);
    TEMPIRO_NAME(Command_Datumsansage);
    TEMPIRO_NAME(Command_Zeitansage);
    TEMPIRO_NAME(Timer_Zeitanzeige);
    TEMPIRO_NAME(Check_Dauer);
    TEMPIRO_NAME(Combo_Morgen);
    TEMPIRO_NAME(Command_Start);
    TEMPIRO_NAME(Check_CountDown);
    TEMPIRO_NAME(Text_RestZeit);
    TEMPIRO_NAME(Timer_OccRestZeit);
    TEMPIRO_NAME(Combo_H);
    TEMPIRO_NAME(Combo_M);
    TEMPIRO_NAME(Combo_S);
    TEMPIRO_NAME(Check_SprachAusgabe);
    TEMPIRO_NAME(List_Sprecher);
    TEMPIRO_NAME(Command2);
    TEMPIRO_NAME(Command1);
    TEMPIRO_NAME(Frame1);
    TEMPIRO_NAME(Label_Zeitpunkt);
    TEMPIRO_NAME(Image1);
    TEMPIRO_NAME(Label_akti);
    TEMPIRO_NAME(Label1);
    TEMPIRO_NAME(Label9);
    TEMPIRO_NAME(Label10);
    TEMPIRO_NAME(Label11);
#undef TEMPIRO_NAME

    // Buttons and check boxes are named by their captions. The rest gets a
    // name that says what it is for, unique in the window; a description
    // where the name alone does not say enough.
    const struct {
        QWidget* control;
        QString name;
        QString beschreibung;
    } beschriftungen[] = {
        {Combo_H, QStringLiteral("Stunden"), {}},
        {Combo_M, QStringLiteral("Minuten"), {}},
        {Combo_S, QStringLiteral("Sekunden"), {}},
        {Combo_Morgen, QStringLiteral("Tag (Heute oder Morgen)"),
         QStringLiteral("Der Countdown läuft bis zur eingestellten Uhrzeit heute oder morgen; "
                        "gesperrt, solange BelichtungsUhr angekreuzt ist")},
        {Text_RestZeit, QStringLiteral("Restzeit"), {}},
        {List_Sprecher, QStringLiteral("Sprecher"), {}},
        {Image1, QStringLiteral("Sanduhr"), {}},
        {Label_Zeitanzeige, QStringLiteral("Aktuelle Zeit"), {}},
        {Command1, {}, QStringLiteral("Schaltet den Sekundenschlag während eines Countdowns ein")},
        {Command2, {}, QStringLiteral("Schaltet den Sekundenschlag aus")},
        {Check_Dauer,
         {},
         QStringLiteral(
             "Zählt die eingestellte Dauer ab jetzt herunter statt bis zu einer Uhrzeit")},
        {Check_CountDown, {}, QStringLiteral("Sagt die Restzeit während des Countdowns an")},
        {Check_MldVorbei,
         {},
         QStringLiteral("Meldet das Ende des Countdowns mit einem Hinweisfenster")},
        {btn_ZeitSpeichern,
         {},
         QStringLiteral(
             "Schreibt die Uhrzeit mit Hundertstelsekunden in die Datei zeitnehmung.txt")},
    };
    for (const auto& b : beschriftungen) {
        if (!b.name.isEmpty()) b.control->setAccessibleName(b.name);
        if (!b.beschreibung.isEmpty()) b.control->setAccessibleDescription(b.beschreibung);
    }

    // Only the remaining-time box is labelled by the label above it. The
    // lists keep their own names: a screen reader speaks a label in place of
    // the name, and "h", "m", "s" and "Zeitpunkt" say less than the names.
    Label1->setBuddy(Text_RestZeit);
}

void Form1::BildWaehlen() {
    // At scale 1 the picture as drawn; above it the one drawn at twice the
    // size, brought to the screen's exact scale, so it stays sharp.
    const qreal skala = devicePixelRatioF();
    if (skala <= 1.0) {
        Image1->setPixmap(QPixmap(QStringLiteral(":/tempiro/bild.jpg")));
        return;
    }
    QPixmap bild =
        QPixmap(QStringLiteral(":/tempiro/bild@2x.jpg"))
            .scaled(Image1->size() * skala, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    bild.setDevicePixelRatio(skala);
    Image1->setPixmap(bild);
}

bool Form1::eventFilter(QObject* objekt, QEvent* ereignis) {
    const auto art = ereignis->type();
    // The moment "Zeit speichern" goes down, by mouse or key, is the stamp's.
    if (objekt == btn_ZeitSpeichern) {
        // The second press of a double click comes as the double click itself.
        const bool maus =
            (art == QEvent::MouseButtonPress || art == QEvent::MouseButtonDblClick) &&
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
    verbinde(Check_SprachAusgabe, &QCheckBox::stateChanged, &Form1::Check_SprachAusgabe_Click);
    verbinde(List_Sprecher, &QListWidget::currentRowChanged, &Form1::List_Sprecher_Click);
    verbinde(Timer_Zeitanzeige, &SekundenTakt::Timer, &Form1::Timer_Zeitanzeige_Timer);
    verbinde(Command1, &QPushButton::clicked, &Form1::Command1_Click);
    verbinde(Command2, &QPushButton::clicked, &Form1::Command2_Click);
    verbinde(Command_Zeitansage, &QPushButton::clicked, &Form1::Command_Zeitansage_Click);
    verbinde(Command_Datumsansage, &QPushButton::clicked, &Form1::Command_Datumsansage_Click);
    verbinde(Combo_H, &QComboBox::editTextChanged, &Form1::Combo_H_Change);
    verbinde(Combo_H, &QComboBox::activated, &Form1::Combo_H_Click);
    verbinde(Combo_M, &QComboBox::editTextChanged, &Form1::Combo_M_Change);
    verbinde(Combo_M, &QComboBox::activated, &Form1::Combo_M_Click);
    verbinde(Combo_S, &QComboBox::editTextChanged, &Form1::Combo_S_Change);
    verbinde(Combo_S, &QComboBox::activated, &Form1::Combo_S_Click);
    verbinde(Combo_Morgen, &QComboBox::editTextChanged, &Form1::Combo_Morgen_Change);
    verbinde(Combo_Morgen, &QComboBox::activated, &Form1::Combo_Morgen_Click);
    verbinde(Check_Dauer, &QCheckBox::stateChanged, &Form1::Check_Dauer_Click);
    verbinde(Command_Start, &QPushButton::clicked, &Form1::Command_Start_Click);
    verbinde(Timer_OccRestZeit, &SekundenTakt::Timer, &Form1::Timer_OccRestZeit_Timer);
    verbinde(btn_ZeitSpeichern, &QPushButton::clicked, &Form1::btn_ZeitSpeichern_Click);
    // Every click is preceded by its press: by the input event handled just
    // now, or by none (a screen reader's action, a click from the program).
    connect(btn_ZeitSpeichern, &QPushButton::pressed, this,
            [this] { druckZeit_ = std::exchange(eingabeZeit_, std::nullopt); });
}

void Form1::Form_Load() {
    // The clock line runs from the moment the window exists.
    Timer_Zeitanzeige->setEnabled(true);

    SekundenschlagAus = True16;
    A.CountDownLaeuft = False16;
    auto zweistellig = [](int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); };
    // Filling a list runs no procedure, and must not replace the text shown.
    const std::pair<QComboBox*, int> listen[] = {{Combo_H, 23}, {Combo_M, 59}, {Combo_S, 59}};
    for (auto [liste, letzter] : listen) {
        QSignalBlocker still(liste);
        const QString text = liste->currentText();
        for (int i = 0; i <= letzter; ++i) liste->addItem(zweistellig(i));
        liste->setEditText(text);
    }
    Combo_Morgen->setEditText(QStringLiteral("Heute"));  // runs Combo_Morgen_Change
    {
        QSignalBlocker still(Combo_Morgen);
        Combo_Morgen->addItem(QStringLiteral("Heute"));
        Combo_Morgen->addItem(QStringLiteral("Morgen"));
        Combo_Morgen->setEditText(QStringLiteral("Heute"));
    }
    SetzeWert(Check_SprachAusgabe, 1);  // runs Check_SprachAusgabe_Click
    SetzeWert(Check_CountDown, 1);

    const bool sprachStart = SprachStart(*this);
    SprecherBeschreiben();
    if (!sprachStart) {
        // Speech could not be set up: say so, switch speech off for this run.
        D.meldung->MsgBox(QStringLiteral(
            "Problem mit Initialisierung der Sprachausgabe, Installation überprüfen"));
        SetzeWert(Check_SprachAusgabe, 0);
        Check_SprachAusgabe->setEnabled(false);
        // Only speech is lost: the counter and the log are set up all the same.
    }

    A.StempelZaehler = 0;
    A.Dateisystem = D.dateisystem;
    A.Zeitnehmung =
        A.Dateisystem->OpenTextFile(QStringLiteral("zeitnehmung.txt"), IoModus::ForAppending, true);
    if (!A.Zeitnehmung)
        D.meldung->MsgBox(QStringLiteral("zeitnehmung.txt lässt sich nicht öffnen"));
}

void Form1::SprecherBeschreiben() {
    // The entries show only numbers; a screen reader also hears each voice's name.
    SprachTokens stimmen;
    if (!A.Stimme || !A.Stimme->GetVoices(stimmen)) return;
    for (int i = 0; i < List_Sprecher->count() && i < stimmen.Count(); ++i)
        List_Sprecher->item(i)->setData(Qt::AccessibleDescriptionRole, stimmen.Item(i).name);
}

void Form1::Form_Unload() {
    if (entladen_) return;
    entladen_ = true;
    Timer_Zeitanzeige->setEnabled(false);
    Timer_OccRestZeit->setEnabled(false);
    // Nothing stays held for a countdown once the program ends.
    CountdownMelden(false);
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
