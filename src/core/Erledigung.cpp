// SPDX-License-Identifier: GPL-3.0-or-later
#include "Erledigung.h"

#include <QCoreApplication>

void Erledigung::Melden() {
    {
        std::lock_guard lock(mutex_);
        beiAbsage_ = nullptr;
    }
    // Sequentially consistent with Erwarten: either the waiter finds the
    // request done before it waits, or this finds the waiter and wakes it.
    fertig_.store(true);
    if (!erwartet_.load()) return;
    // An empty call posted to the main thread ends its wait for events.
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(
            app, [] {}, Qt::QueuedConnection);
}

void Erledigung::Absagen() {
    std::function<void()> schritt;
    {
        std::lock_guard lock(mutex_);
        if (Fertig() || Abgesagt()) return;
        abgesagt_.store(true, std::memory_order_release);
        schritt = std::move(beiAbsage_);
        beiAbsage_ = nullptr;
    }
    // Outside the lock: the holder takes its own, under which it may report
    // the request done.
    if (schritt) schritt();
}

bool Erledigung::BeiAbsage(std::function<void()> schritt) {
    std::lock_guard lock(mutex_);
    if (Abgesagt()) return false;
    beiAbsage_ = std::move(schritt);
    return true;
}
