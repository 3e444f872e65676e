// SPDX-License-Identifier: GPL-3.0-or-later
// What a screen reader learns about the window, read through Qt's
// accessibility interfaces in the process: the lists keep their names whatever
// they show, labels label their controls, the clock line is readable and
// silent, the voices are named, and a message box is an alert over the window.
// (Every control's name is checked on the real bus by the end-to-end tests.)
#include <QAccessible>
#include <QMessageBox>
#include <QtTest>

#include "app/Plattform.h"
#include "support/Fakes.h"

namespace {

QAccessibleInterface* Zugang(const Form1& f, const QString& name) {
    QWidget* w = f.findChild<QWidget*>(name);
    return w ? QAccessible::queryAccessibleInterface(w) : nullptr;
}

// Accessibility events raised for one object.
QList<QAccessible::Event> ereignisse;
QObject* beobachtet = nullptr;
void Aufzeichnen(QAccessibleEvent* e) {
    if (e->object() == beobachtet) ereignisse << e->type();
}

}  // namespace

class ZugangTest : public QObject {
    Q_OBJECT
private slots:
    // A list keeps its name whatever is typed into it; its value is the text
    // as corrected; its text field and drop-down list are its children.
    void listen_data() {
        QTest::addColumn<QString>("liste");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("getippt");
        QTest::addColumn<QString>("wert");
        QTest::addColumn<QString>("wert99");  // after 99 set through the interface
        QTest::newRow("hours, corrected") << "Combo_H"
                                          << "Stunden"
                                          << "24"
                                          << "23"
                                          << "23";
        QTest::newRow("minutes") << "Combo_M"
                                 << "Minuten"
                                 << "7"
                                 << "7"
                                 << "59";
        QTest::newRow("seconds, letters") << "Combo_S"
                                          << "Sekunden"
                                          << "xy"
                                          << "xy"
                                          << "59";
        QTest::newRow("day") << "Combo_Morgen"
                             << "Tag (Heute oder Morgen)"
                             << "Morgen"
                             << "Morgen"
                             << "99";
    }
    void listen() {
        QFETCH(QString, liste);
        QFETCH(QString, name);
        QFETCH(QString, getippt);
        QFETCH(QString, wert);
        QFETCH(QString, wert99);
        Pruefstand p;
        Form1& f = p.Starten();
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        auto* c = f.findChild<QComboBox*>(liste);
        QAccessibleInterface* z = Zugang(f, liste);
        QCOMPARE(z->role(), QAccessible::ComboBox);
        c->setFocus();
        c->lineEdit()->selectAll();
        QTest::keyClicks(c, getippt);
        QCOMPARE(z->text(QAccessible::Name), name);
        QCOMPARE(z->text(QAccessible::Value), wert);

        QCOMPARE(z->childCount(), 2);
        QAccessibleInterface* feld = z->child(1);
        QCOMPARE(feld->object(), c->lineEdit());
        QCOMPARE(feld->textInterface()->text(0, feld->textInterface()->characterCount()), wert);
        QCOMPARE(feld->parent(), z);
        QCOMPARE(z->indexOfChild(feld), 1);
        QCOMPARE(z->focusChild(), feld);  // the text field is what is being edited
        QAccessibleInterface* aufklappliste = z->child(0);
        QCOMPARE(aufklappliste->role(), QAccessible::List);
        QCOMPARE(z->indexOfChild(aufklappliste), 0);
        // Text set through the text field's interface runs the list's Change.
        feld->editableTextInterface()->replaceText(0, int(wert.size()), "99");
        QCOMPARE(c->currentText(), wert99);

        // Its action opens the drop-down list and closes it again.
        QAccessibleActionInterface* aktionen = z->actionInterface();
        QVERIFY(aktionen->actionNames().contains(QAccessibleActionInterface::showMenuAction()));
        aktionen->doAction(QAccessibleActionInterface::showMenuAction());
        QTRY_VERIFY(c->view()->isVisible());
        aktionen->doAction(QAccessibleActionInterface::showMenuAction());
        QTRY_VERIFY(!c->view()->isVisible());
    }

    // A screen reader speaks a label in place of the name it labels, so only
    // the remaining-time box, named as its label reads, is labelled.
    void beschriftungen() {
        Pruefstand p;
        Form1& f = p.Starten();
        QCOMPARE(Zugang(f, "Text_RestZeit")->relations(QAccessible::Label).size(), 1);
        for (const char* liste : {"Combo_H", "Combo_M", "Combo_S", "Combo_Morgen"})
            QVERIFY2(Zugang(f, liste)->relations(QAccessible::Label).isEmpty(), liste);
    }

    // Tab and Shift+Tab follow the tab indexes of the window definition,
    // skipping what cannot take the focus and what is disabled; Enter presses
    // the focused button as the space bar does.
    void tabFolge_data() {
        QTest::addColumn<bool>("belichtung");
        QTest::addColumn<QStringList>("folge");
        const QStringList alle = {"Command1",     "Command2",           "List_Sprecher",
                                  "Check_SprachAusgabe", "Combo_S",     "Combo_M",
                                  "Combo_H",      "Check_CountDown",    "Command_Start",
                                  "Combo_Morgen", "Check_Dauer",        "Command_Zeitansage",
                                  "Command_Datumsansage", "btn_ZeitSpeichern", "Check_MldVorbei"};
        QTest::newRow("at start") << false << alle;
        QStringList ohneTag = alle;
        ohneTag.removeAll("Combo_Morgen");
        QTest::newRow("exposure timer: the day list is disabled") << true << ohneTag;
    }
    void tabFolge() {
        QFETCH(bool, belichtung);
        QFETCH(QStringList, folge);
        Pruefstand p;
        Form1& f = p.Starten();
        SetzeWert(f.Check_Dauer, belichtung ? 1 : 0);
        f.show();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        auto fokus = [] { return QApplication::focusWidget()->objectName(); };
        QStringList vor{fokus()}, zurueck;
        for (int i = 1; i < folge.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            vor << fokus();
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(fokus(), folge.first());  // round again
        for (int i = 1; i < folge.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
            zurueck.prepend(fokus());
        }
        zurueck.prepend(folge.first());
        QCOMPARE(vor, folge);
        QCOMPARE(zurueck, folge);
        // Enter and the keypad's Enter on "Zeit speichern": a stamp each.
        f.btn_ZeitSpeichern->setFocus();
        QTest::keyClick(f.btn_ZeitSpeichern, Qt::Key_Return);
        QTest::keyClick(f.btn_ZeitSpeichern, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(p.Log().count("\r\n"), 2);
    }

    // The clock line is read as text under a fixed name, and its change every
    // second raises no accessibility event that a screen reader would speak.
    void zeitzeile() {
        Pruefstand p;
        Form1& f = p.Starten();
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QAccessibleInterface* z = Zugang(f, "Label_Zeitanzeige");
        beobachtet = f.Label_Zeitanzeige;
        ereignisse.clear();
        QAccessible::installUpdateHandler(Aufzeichnen);
        for (int s = 57; s <= 59; ++s) {
            p.uhr.Setze(2026, 10, 25, 1, 59, s);
            f.Timer_Zeitanzeige_Timer();
        }
        QAccessible::installUpdateHandler(nullptr);
        QCOMPARE(ereignisse, QList<QAccessible::Event>());
        QCOMPARE(z->text(QAccessible::Name), "Aktuelle Zeit");
        QAccessibleTextInterface* text = z->textInterface();
        QVERIFY(text);
        QCOMPARE(text->text(0, -1), "25.10.2026 01:59:59 MESZ");
        QCOMPARE(text->characterCount(), 24);
        QCOMPARE(text->text(11, 19), "01:59:59");
        QCOMPARE(text->text(20, 99), "MESZ");
        // Characters lie in the line, left to right, and are found at their place.
        const QRect zeile(f.Label_Zeitanzeige->mapToGlobal(QPoint()), f.Label_Zeitanzeige->size());
        const QRect erstes = text->characterRect(0), letztes = text->characterRect(23);
        QVERIFY(zeile.contains(erstes) && zeile.contains(letztes) && erstes.x() < letztes.x());
        QCOMPARE(text->offsetAtPoint(text->characterRect(11).center()), 11);
        QCOMPARE(text->characterRect(24), QRect());
    }

    // Each voice entry shows its number and tells its voice's name; the
    // chosen one is selected, and focused only while the list has the focus.
    void sprecher() {
        Pruefstand p;
        Form1& f = p.Starten();
        f.show();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        QAccessibleInterface* liste = Zugang(f, "List_Sprecher");
        QCOMPARE(liste->text(QAccessible::Name), "Sprecher");
        QCOMPARE(liste->childCount(), 3);
        f.List_Sprecher->setCurrentRow(1);
        for (bool fokus : {false, true}) {
            if (fokus) f.List_Sprecher->setFocus();
            QCOMPARE(liste->focusChild(), fokus ? liste->child(1) : nullptr);
            for (int i = 0; i < 3; ++i) {
                QAccessibleInterface* eintrag = liste->child(i);
                QCOMPARE(eintrag->text(QAccessible::Name), QString::number(i));
                QCOMPARE(eintrag->text(QAccessible::Description),
                         QStringLiteral("Stimme %1").arg(i));
                QCOMPARE(eintrag->parent(), liste);
                QCOMPARE(liste->indexOfChild(eintrag), i);
                QCOMPARE(eintrag->state().selected, i == 1);
                QCOMPARE(eintrag->state().focused, fokus && i == 1);
            }
        }
    }

    // The picture is named; the remaining-time box cannot be typed into and
    // says so.
    void bildUndRestzeit() {
        Pruefstand p;
        Form1& f = p.Starten();
        QAccessibleInterface* bild = Zugang(f, "Image1");
        QCOMPARE(bild->role(), QAccessible::Graphic);
        QCOMPARE(bild->text(QAccessible::Name), "Sanduhr");
        QVERIFY(Zugang(f, "Text_RestZeit")->state().readOnly);
    }

    // A message box is an alert with its text, closed by the keyboard. Before
    // the window is up it has no parent; once the window is up, the window is
    // its parent, also when the window is not the active one.
    void meldung() {
        Pruefstand p;
        Form1& f = p.Starten();
        Meldungsfenster meldung;
        QStringList gesehen;
        auto pruefen = [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            QAccessibleInterface* z = QAccessible::queryAccessibleInterface(box);
            gesehen << QStringLiteral("%1 %2: %3, parent %4")
                           .arg(z->role() == QAccessible::AlertMessage ? "alert" : "no alert",
                                z->text(QAccessible::Name), z->text(QAccessible::Value),
                                box->parentWidget() ? box->parentWidget()->objectName() : "none");
            QTest::keyClick(box, Qt::Key_Return);
        };
        QTimer::singleShot(0, pruefen);
        meldung.MsgBox("Zeitpunkt vorbei");
        f.setObjectName("Form1");
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QTimer::singleShot(0, pruefen);
        meldung.MsgBox("Zeitpunkt vorbei");
        // The user works in another program when the countdown ends.
        QApplication::setActiveWindow(nullptr);
        QTimer::singleShot(0, pruefen);
        meldung.MsgBox("Zeitpunkt vorbei");
        QCOMPARE(gesehen, QStringList({"alert Tempiro: Zeitpunkt vorbei, parent none",
                                       "alert Tempiro: Zeitpunkt vorbei, parent Form1",
                                       "alert Tempiro: Zeitpunkt vorbei, parent Form1"}));
    }
};

QTEST_MAIN(ZugangTest)
#include "test_zugang.moc"
