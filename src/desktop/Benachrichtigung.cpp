// SPDX-License-Identifier: GPL-3.0-or-later
#include "Benachrichtigung.h"

#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include "Plattform.h"

namespace {

const QString Dienst = QStringLiteral("org.freedesktop.Notifications");
const QString Pfad = QStringLiteral("/org/freedesktop/Notifications");
const QString Portal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString PortalPfad = QStringLiteral("/org/freedesktop/portal/desktop");
const QString PortalSchnittstelle = QStringLiteral("org.freedesktop.portal.Notification");
const QString PortalId = QStringLiteral("tempiro");
const QString Standard = QStringLiteral("default");

}  // namespace

DesktopBenachrichtigung::DesktopBenachrichtigung() : portal_(ImSandkasten()) {}

void DesktopBenachrichtigung::Verbinden(const QDBusConnection& bus) {
    bus_ = bus;
    // From any sender: naming the server would make Qt ask the bus for its
    // owner and wait for the answer.
    if (portal_) {
        bus_->connect(QString(), PortalPfad, PortalSchnittstelle, QStringLiteral("ActionInvoked"),
                      this, SLOT(AktionGewaehlt(QDBusMessage)));
        return;
    }
    bus_->connect(QString(), Pfad, Dienst, QStringLiteral("ActionInvoked"), this,
                  SLOT(AktionGewaehlt(QDBusMessage)));
    bus_->connect(QString(), Pfad, Dienst, QStringLiteral("NotificationClosed"), this,
                  SLOT(Geschlossen(QDBusMessage)));
    bus_->connect(QString(), Pfad, Dienst, QStringLiteral("ActivationToken"), this,
                  SLOT(Schluessel(QDBusMessage)));
}

void DesktopBenachrichtigung::Zeigen(const QString& titel, const QString& text) {
    if (!bus_) return;
    Zurueckziehen();
    zurueck_ = false;
    if (portal_) {
        QDBusMessage m = QDBusMessage::createMethodCall(Portal, PortalPfad, PortalSchnittstelle,
                                                        QStringLiteral("AddNotification"));
        m << PortalId
          << QVariantMap{{QStringLiteral("title"), titel},
                         {QStringLiteral("body"), text},
                         {QStringLiteral("priority"), QStringLiteral("urgent")},
                         {QStringLiteral("default-action"), Standard}};
        bus_->asyncCall(m);
        id_ = 1;
        return;
    }
    // Urgency 2 (critical) and no expiry: it stays until the box is closed.
    QDBusMessage m = QDBusMessage::createMethodCall(Dienst, Pfad, Dienst, QStringLiteral("Notify"));
    m << QStringLiteral("Tempiro") << uint(0) << QStringLiteral("tempiro") << titel << text
      << QStringList{Standard, QStringLiteral("Anzeigen")}
      << QVariantMap{{QStringLiteral("urgency"), QVariant::fromValue(uchar(2))},
                     {QStringLiteral("desktop-entry"), QStringLiteral("de.tempiro.Tempiro")}}
      << int(0);
    unterwegs_ = true;
    auto* w = new QDBusPendingCallWatcher(bus_->asyncCall(m), this);
    connect(w, &QDBusPendingCallWatcher::finished, this, [this, w] {
        w->deleteLater();
        unterwegs_ = false;
        const QDBusPendingReply<uint> antwort = *w;
        if (!antwort.isValid()) return;  // no server: the box alone
        id_ = antwort.value();
        if (std::exchange(zurueck_, false)) Zurueckziehen();
    });
}

void DesktopBenachrichtigung::Zurueckziehen() {
    if (!bus_) return;
    if (unterwegs_) {
        zurueck_ = true;  // once its number is known
        return;
    }
    if (!id_) return;
    QDBusMessage m = portal_
                         ? QDBusMessage::createMethodCall(Portal, PortalPfad, PortalSchnittstelle,
                                                          QStringLiteral("RemoveNotification"))
                         : QDBusMessage::createMethodCall(Dienst, Pfad, Dienst,
                                                          QStringLiteral("CloseNotification"));
    if (portal_)
        m << PortalId;
    else
        m << id_;
    bus_->asyncCall(m);
    id_ = 0;
}

void DesktopBenachrichtigung::Schluessel(const QDBusMessage& signal) {
    if (id_ && signal.arguments().value(0).toUInt() == id_)
        schluessel_ = signal.arguments().value(1).toString();
}

void DesktopBenachrichtigung::Geschlossen(const QDBusMessage& signal) {
    if (id_ && signal.arguments().value(0).toUInt() == id_) id_ = 0;
}

void DesktopBenachrichtigung::AktionGewaehlt(const QDBusMessage& signal) {
    const QVariantList a = signal.arguments();
    const bool unsere =
        portal_ ? a.value(0).toString() == PortalId : (id_ && a.value(0).toUInt() == id_);
    if (!unsere || a.value(1).toString() != Standard || !angeklickt) return;
    QVariantMap daten;
    if (!schluessel_.isEmpty())
        daten.insert(QStringLiteral("activation-token"), std::exchange(schluessel_, QString()));
    angeklickt(daten);
}
