// SPDX-License-Identifier: GPL-3.0-or-later
// The window at a scale factor of 2 (device pixel ratio 2), as on a
// high-resolution screen: the same logical size, the picture drawn from its
// large version, and every text a control can show fits the room the control
// has for it.
#include <QStyleOption>
#include <QtTest>

#include "support/Fakes.h"

namespace {

// Width in logical pixels that a control has for its text.
int Platz(QWidget* w) {
    QStyle* stil = w->style();
    if (auto* b = qobject_cast<QPushButton*>(w)) {
        QStyleOptionButton o;
        o.initFrom(b);
        return stil->subElementRect(QStyle::SE_PushButtonContents, &o, b).width();
    }
    if (auto* b = qobject_cast<QCheckBox*>(w)) {
        QStyleOptionButton o;
        o.initFrom(b);
        return stil->subElementRect(QStyle::SE_CheckBoxContents, &o, b).width();
    }
    if (auto* g = qobject_cast<QGroupBox*>(w)) {
        // The title stands in the frame's top line, indented as the style
        // indents it.
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

}  // namespace

class Hochaufloesung : public QObject {
    Q_OBJECT
private slots:
    void fensterUndBild() {
        Pruefstand p;
        Form1& f = p.Starten();
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QCOMPARE(f.devicePixelRatio(), 2.0);
        QCOMPARE(f.size(), QSize(312, 221));
        QCOMPARE(f.Image1->geometry(), QRect(192, 8, 115, 144));
        const QPixmap bild = f.Image1->pixmap();
        QCOMPARE(bild.devicePixelRatio(), 2.0);
        QCOMPARE(bild.toImage(),
                 QImage(":/tempiro/bild@2x.jpg").convertToFormat(bild.toImage().format()));
        // The window as drawn shows the large picture pixel for pixel, right
        // of the seconds list, which lies in front of its left edge.
        const QImage fenster = f.grab().toImage();
        QCOMPARE(fenster.size(), QSize(624, 442));
        const int links = 2 * (f.Combo_S->geometry().right() + 1 - 192);
        QCOMPARE(
            fenster.copy(384 + links, 16, 230 - links, 288).convertToFormat(QImage::Format_RGB32),
            bild.toImage().copy(links, 0, 230 - links, 288).convertToFormat(QImage::Format_RGB32));
    }

    // Every caption, entry and text that a control can show at some time.
    void texte_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QStringList>("texte");
        auto zahlen = [](int bis, int stellen) {
            QStringList l;
            for (int i = 0; i <= bis; ++i)
                l << QStringLiteral("%1").arg(i, stellen, 10, QChar('0'));
            return l;
        };
        QTest::newRow("Check_MldVorbei") << "Check_MldVorbei" << QStringList{"Msgbox Vorbei"};
        QTest::newRow("btn_ZeitSpeichern") << "btn_ZeitSpeichern" << QStringList{"Zeit speichern"};
        QTest::newRow("Command_Datumsansage")
            << "Command_Datumsansage" << QStringList{"Ansage Datum"};
        QTest::newRow("Command_Zeitansage") << "Command_Zeitansage" << QStringList{"Ansage Zeit"};
        QTest::newRow("Check_Dauer") << "Check_Dauer" << QStringList{"BelichtungsUhr"};
        QTest::newRow("Combo_Morgen") << "Combo_Morgen" << QStringList{"Heute", "Morgen"};
        QTest::newRow("Command_Start")
            << "Command_Start" << QStringList{"Timer Start", "Timer Stop"};
        QTest::newRow("Check_CountDown") << "Check_CountDown" << QStringList{"CountDown"};
        // The longest remaining time: a target tomorrow at 23:59:59.
        QTest::newRow("Text_RestZeit") << "Text_RestZeit" << QStringList{" in 47:59:59"};
        QTest::newRow("Combo_H") << "Combo_H" << zahlen(23, 2);
        QTest::newRow("Combo_M") << "Combo_M" << zahlen(59, 2);
        QTest::newRow("Combo_S") << "Combo_S" << zahlen(59, 2);
        QTest::newRow("Check_SprachAusgabe")
            << "Check_SprachAusgabe" << QStringList{"Sprachausgabe \"Babbelina\""};
        QTest::newRow("List_Sprecher") << "List_Sprecher" << zahlen(199, 1);
        QTest::newRow("Command2") << "Command2" << QStringList{"stop"};
        QTest::newRow("Command1") << "Command1" << QStringList{"start"};
        QTest::newRow("Frame1") << "Frame1" << QStringList{"Sekundenschlag"};
        QTest::newRow("Label_Zeitpunkt")
            << "Label_Zeitpunkt" << QStringList{"Zeitpunkt", "ZeitDauer", "ZeitPunkt"};
        QTest::newRow("Label_akti") << "Label_akti" << QStringList{"Aktuelle Zeit"};
        QTest::newRow("Label1") << "Label1" << QStringList{"Restzeit"};
        QTest::newRow("Label_Zeitanzeige")
            << "Label_Zeitanzeige" << QStringList{"28.10.2026 00:00:00 MESZ"};
        QTest::newRow("Label9") << "Label9" << QStringList{"h"};
        QTest::newRow("Label10") << "Label10" << QStringList{"m"};
        QTest::newRow("Label11") << "Label11" << QStringList{"s"};
    }
    void texte() {
        QFETCH(QString, control);
        QFETCH(QStringList, texte);
        Pruefstand p;
        Form1& f = p.Starten();
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QWidget* w = f.findChild<QWidget*>(control);
        QVERIFY(w);
        // Lists and line edits show their text in their own font.
        const QFontMetrics fm = qobject_cast<QComboBox*>(w)
                                    ? static_cast<QComboBox*>(w)->lineEdit()->fontMetrics()
                                    : w->fontMetrics();
        const int platz = Platz(w);
        for (const QString& t : texte)
            QVERIFY2(fm.horizontalAdvance(t) <= platz,
                     qPrintable(QStringLiteral("\"%1\" needs %2 px, has %3")
                                    .arg(t)
                                    .arg(fm.horizontalAdvance(t))
                                    .arg(platz)));
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
