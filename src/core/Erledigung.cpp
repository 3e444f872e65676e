// SPDX-License-Identifier: GPL-3.0-or-later
#include "Erledigung.h"

#include <QCoreApplication>

void Erledigung::Melden() {
    fertig_.store(true, std::memory_order_release);
    // An empty call posted to the main thread ends its wait for events.
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, [] {}, Qt::QueuedConnection);
}
