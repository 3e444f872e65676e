// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Zugang.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

namespace {

QAccessibleInterface* ZugangsFabrik(const QString& klasse, QObject* objekt) {
    // Decided by the class and the object name only: both are fixed before
    // Qt first asks for an interface (it asks while a control is still being
    // set up) and keeps the answer for the object's lifetime.
    if (klasse == QLatin1String("QComboBox"))
        return new ListenZugang(static_cast<QComboBox*>(objekt));
    if (klasse == QLatin1String("QLabel") &&
        objekt->objectName() == QLatin1String("Label_Zeitanzeige"))
        return new AnzeigeZugang(static_cast<QLabel*>(objekt));
    return nullptr;
}

}  // namespace

void ZugangEinrichten() {
    static const bool eingerichtet = [] {
        QAccessible::installFactory(ZugangsFabrik);
        return true;
    }();
    Q_UNUSED(eingerichtet);
}

// ------------------------------------------------------------------ combo box

ListenZugang::ListenZugang(QComboBox* liste) : QAccessibleWidget(liste, QAccessible::ComboBox) {}

QComboBox* ListenZugang::Liste() const { return static_cast<QComboBox*>(widget()); }

QString ListenZugang::text(QAccessible::Text art) const {
    if (art == QAccessible::Value) return Liste()->currentText();
    return QAccessibleWidget::text(art);
}

int ListenZugang::childCount() const { return Liste()->isEditable() ? 2 : 1; }

QAccessibleInterface* ListenZugang::child(int index) const {
    if (index == 0) return QAccessible::queryAccessibleInterface(Liste()->view());
    if (index == 1 && Liste()->isEditable())
        return QAccessible::queryAccessibleInterface(Liste()->lineEdit());
    return nullptr;
}

int ListenZugang::indexOfChild(const QAccessibleInterface* kind) const {
    if (!kind) return -1;
    if (kind->object() == Liste()->view()) return 0;
    if (Liste()->isEditable() && kind->object() == Liste()->lineEdit()) return 1;
    return -1;
}

QAccessibleInterface* ListenZugang::focusChild() const {
    // The list takes the keyboard focus for its text field, which never has it
    // itself; what is typed goes there, so that is what has the focus.
    if (Liste()->isEditable() && Liste()->hasFocus()) return child(1);
    return QAccessibleWidget::focusChild();
}

QStringList ListenZugang::actionNames() const {
    QStringList namen = QAccessibleWidget::actionNames();
    if (widget()->isEnabled()) namen << showMenuAction();
    return namen;
}

void ListenZugang::doAction(const QString& aktion) {
    if (aktion != showMenuAction()) {
        QAccessibleWidget::doAction(aktion);
        return;
    }
    if (!widget()->isEnabled()) return;
    if (Liste()->view()->isVisible())
        Liste()->hidePopup();
    else
        Liste()->showPopup();
}

// ------------------------------------------------------------------ read-only text

AnzeigeZugang::AnzeigeZugang(QLabel* anzeige)
    : QAccessibleWidget(anzeige, QAccessible::StaticText) {}

QLabel* AnzeigeZugang::Anzeige() const { return static_cast<QLabel*>(widget()); }

QString AnzeigeZugang::Inhalt() const { return Anzeige()->text(); }

void* AnzeigeZugang::interface_cast(QAccessible::InterfaceType art) {
    if (art == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(art);
}

void AnzeigeZugang::selection(int, int* anfang, int* ende) const {
    *anfang = 0;
    *ende = 0;
}

QString AnzeigeZugang::text(int anfang, int ende) const {
    const QString inhalt = Inhalt();
    if (ende < 0 || ende > inhalt.size()) ende = int(inhalt.size());
    if (anfang < 0 || anfang >= ende) return QString();
    return inhalt.mid(anfang, ende - anfang);
}

int AnzeigeZugang::characterCount() const { return int(Inhalt().size()); }

QRect AnzeigeZugang::characterRect(int stelle) const {
    const QString inhalt = Inhalt();
    if (stelle < 0 || stelle >= inhalt.size()) return QRect();
    // One line, drawn from the left of the contents and centred vertically.
    const QFontMetrics fm(Anzeige()->font());
    const QRect innen = Anzeige()->contentsRect();
    const int links = innen.left() + fm.horizontalAdvance(inhalt.left(stelle));
    const int oben = innen.top() + (innen.height() - fm.height()) / 2;
    const QRect zeichen(links, oben, fm.horizontalAdvance(inhalt.at(stelle)), fm.height());
    return QRect(Anzeige()->mapToGlobal(zeichen.topLeft()), zeichen.size());
}

int AnzeigeZugang::offsetAtPoint(const QPoint& punkt) const {
    for (int i = 0; i < characterCount(); ++i)
        if (characterRect(i).contains(punkt)) return i;
    return -1;
}

QString AnzeigeZugang::attributes(int stelle, int* anfang, int* ende) const {
    // Plain text without attributes: one run over the whole text.
    *anfang = stelle < 0 || stelle > characterCount() ? -1 : 0;
    *ende = *anfang < 0 ? -1 : characterCount();
    return QString();
}
