// SPDX-License-Identifier: GPL-3.0-or-later
// What the window tells assistive technology (a screen reader over the
// accessibility bus) beyond what Qt's own interfaces say.
//
// Qt names an editable combo box on Linux after its current text and ignores
// the accessible name set on it, so the three time lists would all be called
// "00" and the day list "Heute". A label is read by its name alone, so the
// clock line, which is named for what it shows, needs its text readable as
// text. Qt's interface for a list box reports its current entry as focused
// even while the list is not, and a screen reader then speaks the voice list
// out of turn. The interfaces here take over for those three kinds of control.
#pragma once

#include <QAccessibleWidget>

class QAbstractButton;
class QComboBox;
class QLabel;
class QListWidget;

// Installs the factory for the interfaces below, once per process. Must run
// before the first combo box is created.
void ZugangEinrichten();

// Sets a button's caption. A screen reader whose focus is on the button says
// the new caption ("Timer Start" becomes "Timer Stop" when pressed).
void BeschriftungSetzen(QAbstractButton* knopf, const QString& text);

// A combo box named by its accessible name; its value is its current text.
// Its parts, the drop-down list and (when editable) the text field, are its
// children, as with Qt's own interface.
class ListenZugang : public QAccessibleWidget {
public:
    explicit ListenZugang(QComboBox* liste);
    QString text(QAccessible::Text art) const override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* kind) const override;
    QAccessibleInterface* focusChild() const override;
    QStringList actionNames() const override;
    void doAction(const QString& aktion) override;

private:
    QComboBox* Liste() const;
};

// A read-only text that keeps a fixed name: the name says what it shows, the
// text interface gives what it shows now. Changes of the text are not
// announced.
class AnzeigeZugang : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit AnzeigeZugang(QLabel* anzeige);
    void* interface_cast(QAccessible::InterfaceType art) override;

    void selection(int, int* anfang, int* ende) const override;
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int anfang, int ende) const override;
    int characterCount() const override;
    QRect characterRect(int stelle) const override;
    int offsetAtPoint(const QPoint& punkt) const override;
    void scrollToSubstring(int, int) override {}
    QString attributes(int stelle, int* anfang, int* ende) const override;

    using QAccessibleWidget::text;

private:
    QString Inhalt() const;
    QLabel* Anzeige() const;
};

// A list box whose entries are its children: each named by its text and
// described by its tooltip-like description (the voice's name), selected when
// it is the current entry, and focused only while the list has the focus.
class EintragslistenZugang : public QAccessibleWidget {
public:
    explicit EintragslistenZugang(QListWidget* liste);
    ~EintragslistenZugang() override;
    QString text(QAccessible::Text art) const override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* kind) const override;
    QAccessibleInterface* focusChild() const override;

    QListWidget* Liste() const;

private:
    mutable QList<QAccessible::Id> eintraege_;
};
