// SPDX-License-Identifier: GPL-3.0-or-later
// Notifications of the desktop: org.freedesktop.Notifications, or inside a
// sandbox (Flatpak, Snap) the desktop portal's notifications. Every call is
// asynchronous, on the window's thread; without a bus or a notification
// server nothing is shown and nothing is said.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QVariantMap>
#include <functional>
#include <optional>

#include "Dienste.h"

class DesktopBenachrichtigung : public QObject, public IBenachrichtigung {
    Q_OBJECT
public:
    DesktopBenachrichtigung();

    // Runs when the notification is clicked (its default action), with
    // platform data carrying the server's activation token, if any.
    std::function<void(const QVariantMap&)> angeklickt;

    // The bus to use; nothing is shown before it is set.
    void Verbinden(const QDBusConnection& bus);

    void Zeigen(const QString& titel, const QString& text) override;
    void Zurueckziehen() override;

private slots:
    void AktionGewaehlt(const QDBusMessage& signal);
    void Geschlossen(const QDBusMessage& signal);
    void Schluessel(const QDBusMessage& signal);

private:
    std::optional<QDBusConnection> bus_;
    bool portal_ = false;
    uint id_ = 0;             // the server's number of the one shown
    bool unterwegs_ = false;  // its Notify has not been answered yet
    bool zurueck_ = false;    // and it is to be withdrawn on the answer
    QString schluessel_;      // activation token that came with a click
};
