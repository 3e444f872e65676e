// SPDX-License-Identifier: GPL-3.0-or-later
// The window at a scale factor of 2, as on a high-resolution screen: the
// picture drawn from its large version, and every text a control shows, in
// each state of the window, fits the room the control has for it.
#include <QStyleOption>
#include <QtTest>

#include "support/Fakes.h"

namespace {

// Width in logical pixels that a control has for its text.
int Platz(QWidget* w) {
    QStyle* stil = w->style();
    QStyleOptionButton knopf;
    knopf.initFrom(w);
    if (qobject_cast<QPushButton*>(w))
        return stil->subElementRect(QStyle::SE_PushButtonContents, &knopf, w).width();
    if (qobject_cast<QCheckBox*>(w))
        return stil->subElementRect(QStyle::SE_CheckBoxContents, &knopf, w).width();
    if (auto* g = qobject_cast<QGroupBox*>(w)) {
        // The title stands in the frame's top line, indented as the style indents it.
        QStyleOptionGroupBox o;
        o.initFrom(g);
        o.text = g->title();
        o.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        o.textAlignment = g->alignment();
        const QRect titel =
            stil->subControlRect(QStyle::CC_GroupBox, &o, QStyle::SC_GroupBoxLabel, g);
        return g->width() - titel.left() -
               (titel.width() - g->fontMetrics().horizontalAdvance(o.text));
    }
    // A line edit, also inside a list, keeps two pixels on either side.
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->lineEdit()->contentsRect().width() - 4;
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        QStyleOptionFrame o;
        o.initFrom(e);
        o.lineWidth = stil->pixelMetric(QStyle::PM_DefaultFrameWidth, &o, e);
        return stil->subElementRect(QStyle::SE_LineEditContents, &o, e).width() - 4;
    }
    if (auto* l = qobject_cast<QListWidget*>(w))
        return l->viewport()->width() - 2 * (stil->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
    return w->contentsRect().width();  // a label
}

// The texts a control shows now, its lists' entries included.
QStringList Texte(QWidget* w) {
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return {b->text()};
    if (auto* g = qobject_cast<QGroupBox*>(w)) return {g->title()};
    if (auto* e = qobject_cast<QLineEdit*>(w)) return {e->text()};
    if (auto* l = qobject_cast<QLabel*>(w)) return {l->text()};
    QStringList t;
    if (auto* c = qobject_cast<QComboBox*>(w))
        for (int i = 0; i < c->count(); ++i) t << c->itemText(i);
    if (auto* l = qobject_cast<QListWidget*>(w))
        for (int i = 0; i < l->count(); ++i) t << l->item(i)->text();
    return t;
}

}  // namespace

class Hochaufloesung : public QObject {
    Q_OBJECT
private slots:
    void fenster() {
        Pruefstand p(200);
        Form1& f = p.Starten();
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QCOMPARE(f.devicePixelRatio(), 2.0);
        const QImage bild = f.Image1->pixmap().toImage();
        QCOMPARE(bild.devicePixelRatio(), 2.0);
        QCOMPARE(bild, QImage(":/tempiro/bild@2x.jpg").convertToFormat(bild.format()));

        QStringList zuEng;
        auto pruefen = [&] {
            for (QWidget* w : f.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                // Lists show their text in their text field's font.
                auto* c = qobject_cast<QComboBox*>(w);
                const QFontMetrics fm = c ? c->lineEdit()->fontMetrics() : w->fontMetrics();
                for (const QString& t : Texte(w))
                    if (fm.horizontalAdvance(t) > Platz(w))
                        zuEng << QStringLiteral("%1 \"%2\": %3 px, has %4")
                                     .arg(w->objectName(), t)
                                     .arg(fm.horizontalAdvance(t))
                                     .arg(Platz(w));
            }
        };
        pruefen();
        // The widest time left (tomorrow 23:59:59 from midnight), the clock
        // line in summer, the caption "Timer Stop", both labels of the target.
        p.uhr.Setze(2026, 8, 28, 0, 0, 0);
        f.Timer_Zeitanzeige_Timer();
        for (QComboBox* c : {f.Combo_H, f.Combo_M, f.Combo_S}) c->setEditText("59");
        f.Combo_Morgen->setEditText("Morgen");
        f.Command_Start_Click();
        f.Timer_OccRestZeit_Timer();
        QCOMPARE(f.Text_RestZeit->text(), " in 47:59:59");
        SetzeWert(f.Check_Dauer, 1);
        pruefen();
        SetzeWert(f.Check_Dauer, 0);
        pruefen();
        QCOMPARE(zuEng, QStringList());
    }
};

int main(int argc, char** argv) {
    // Before the application exists: Qt reads the scale factor at its start.
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    Hochaufloesung test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_hochaufloesung.moc"
