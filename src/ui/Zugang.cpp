// SPDX-License-Identifier: GPL-3.0-or-later
#include "Zugang.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>

namespace {

// When a list box takes the focus, Qt tells a screen reader that the list has
// it, and the screen reader then names the list but not its current entry,
// the voice chosen. Right after that, the focus is reported once more, for
// the current entry.
class EintragFokusMelder : public QObject {
public:
    explicit EintragFokusMelder(QListWidget* liste) : QObject(liste) {
        liste->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* objekt, QEvent* ereignis) override {
        if (ereignis->type() == QEvent::FocusIn) {
            QMetaObject::invokeMethod(
                this,
                [liste = static_cast<QListWidget*>(objekt)] {
                    if (!liste->hasFocus() || liste->currentRow() < 0) return;
                    QAccessibleEvent fokus(liste, QAccessible::Focus);
                    fokus.setChild(liste->currentRow());
                    QAccessible::updateAccessibility(&fokus);
                },
                Qt::QueuedConnection);
        }
        return false;
    }
};

QAccessibleInterface* ZugangsFabrik(const QString& klasse, QObject* objekt) {
    // Decided by the class and the object name only: both are fixed before
    // Qt first asks for an interface (it asks while a control is still being
    // set up) and keeps the answer for the object's lifetime.
    if (klasse == QLatin1String("QComboBox"))
        return new ListenZugang(static_cast<QComboBox*>(objekt));
    if (klasse == QLatin1String("QListWidget")) {
        auto* liste = static_cast<QListWidget*>(objekt);
        new EintragFokusMelder(liste);
        return new EintragslistenZugang(liste);
    }
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

// ------------------------------------------------------------------ button caption

// Qt's bridge talks to the accessibility bus over a connection of its own,
// named "a11y" (QtGui's private AT-SPI connection). That name is not Qt's
// interface: it is checked with Qt 6.4, Debian 12's; with any other Qt the
// build warns, and at run time a missing connection is reported on standard
// error instead of the caption change going unheard without a word.
#if QT_VERSION < QT_VERSION_CHECK(6, 4, 0) || QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
#warning "Qt's accessibility connection is assumed to be named \"a11y\"; check it for this Qt"
#endif
const char ZugangsVerbindung[] = "a11y";

void BeschriftungSetzen(QAbstractButton* knopf, const QString& text) {
    knopf->setText(text);
    if (!QAccessible::isActive()) return;
    QDBusConnection bus(QString::fromLatin1(ZugangsVerbindung));
    if (!bus.isConnected()) {
        static bool gemeldet = false;
        if (!std::exchange(gemeldet, true))
            qWarning(
                "Keine Verbindung \"%s\" zum Barrierefreiheitsbus: ein Bildschirmleser hört "
                "geänderte Beschriftungen nicht.",
                ZugangsVerbindung);
        return;
    }
    QAccessibleInterface* zugang = QAccessible::queryAccessibleInterface(knopf);
    if (!knopf->hasFocus() || !zugang) return;
    // Qt's bridge reports the changed name with the object in place of the
    // new text, so a screen reader has nothing to say. The change is sent
    // once more, from the same connection and for the same object, with the
    // text, as the accessibility protocol has it.
    QDBusMessage m = QDBusMessage::createSignal(
        QStringLiteral("/org/a11y/atspi/accessible/%1").arg(QAccessible::uniqueId(zugang)),
        QStringLiteral("org.a11y.atspi.Event.Object"), QStringLiteral("PropertyChange"));
    m << QStringLiteral("accessible-name") << 0 << 0 << QVariant::fromValue(QDBusVariant(text))
      << QVariantMap();
    bus.send(m);
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

// ------------------------------------------------------------------ list box

namespace {

// One entry of a list box, known by its row.
class EintragZugang : public QAccessibleInterface {
public:
    EintragZugang(QListWidget* liste, int zeile) : liste_(liste), zeile_(zeile) {}

    bool isValid() const override { return Eintrag() != nullptr; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return liste_ ? liste_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(liste_.data());
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    void setText(QAccessible::Text, const QString&) override {}

    QString text(QAccessible::Text art) const override {
        const QListWidgetItem* e = Eintrag();
        if (!e) return {};
        if (art == QAccessible::Name) return e->text();
        if (art == QAccessible::Description)
            return e->data(Qt::AccessibleDescriptionRole).toString();
        return {};
    }

    QRect rect() const override {
        const QListWidgetItem* e = Eintrag();
        if (!e) return {};
        const QRect r = liste_->visualItemRect(e);
        return QRect(liste_->viewport()->mapToGlobal(r.topLeft()), r.size());
    }

    QAccessible::State state() const override {
        QAccessible::State z;
        const QListWidgetItem* e = Eintrag();
        if (!e) return z;
        z.selectable = true;
        z.focusable = true;
        const bool aktuell = liste_->currentItem() == e;
        z.selected = aktuell;
        z.focused = aktuell && liste_->hasFocus();
        z.disabled = !liste_->isEnabled();
        z.offscreen = !liste_->viewport()->rect().intersects(liste_->visualItemRect(e));
        return z;
    }

private:
    QListWidgetItem* Eintrag() const { return liste_ ? liste_->item(zeile_) : nullptr; }

    QPointer<QListWidget> liste_;
    const int zeile_;
};

}  // namespace

EintragslistenZugang::EintragslistenZugang(QListWidget* liste)
    : QAccessibleWidget(liste, QAccessible::List) {}

EintragslistenZugang::~EintragslistenZugang() {
    for (QAccessible::Id id : std::as_const(eintraege_))
        if (id) QAccessible::deleteAccessibleInterface(id);
}

QListWidget* EintragslistenZugang::Liste() const { return static_cast<QListWidget*>(widget()); }

QString EintragslistenZugang::text(QAccessible::Text art) const {
    // The tooltip names the chosen voice; the entries say that themselves.
    if (art == QAccessible::Description) return Liste()->accessibleDescription();
    return QAccessibleWidget::text(art);
}

int EintragslistenZugang::childCount() const { return Liste()->count(); }

QAccessibleInterface* EintragslistenZugang::child(int index) const {
    if (index < 0 || index >= Liste()->count()) return nullptr;
    if (eintraege_.size() <= index) eintraege_.resize(index + 1, 0);
    // Made on first use and kept, so every entry keeps its identity on the bus.
    if (!eintraege_[index])
        eintraege_[index] =
            QAccessible::registerAccessibleInterface(new EintragZugang(Liste(), index));
    return QAccessible::accessibleInterface(eintraege_[index]);
}

int EintragslistenZugang::indexOfChild(const QAccessibleInterface* kind) const {
    if (!kind) return -1;
    const int index =
        int(eintraege_.indexOf(QAccessible::uniqueId(const_cast<QAccessibleInterface*>(kind))));
    return index;
}

QAccessibleInterface* EintragslistenZugang::focusChild() const {
    if (!Liste()->hasFocus() || Liste()->currentRow() < 0) return nullptr;
    return child(Liste()->currentRow());
}
