// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Warten.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <deque>
#include <memory>

namespace {

// One thing held during a wait: an input event meant for a window, or a step
// of the program.
struct Gehalten {
    QPointer<QObject> fenster;
    std::unique_ptr<QEvent> ereignis;
    std::function<void()> schritt;
};

std::deque<Gehalten> gehalten;
bool wartet = false;
bool nachholenGeplant = false;

// What the user does to a window. It is taken at the window, before the
// toolkit routes it to a control, so when it is handed on after the wait it
// is routed as it would have been then: a Tab moves the focus from where the
// focus is after the wait.
bool IstEingabe(QEvent::Type art) {
    switch (art) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TouchCancel:
        case QEvent::TabletPress:
        case QEvent::TabletMove:
        case QEvent::TabletRelease:
        case QEvent::Close:
            return true;
        default:
            return false;
    }
}

class Halter : public QObject {
protected:
    bool eventFilter(QObject* ziel, QEvent* ereignis) override {
        if (!ziel->isWindowType() || !IstEingabe(ereignis->type())) return false;
        gehalten.push_back({ziel, std::unique_ptr<QEvent>(ereignis->clone()), {}});
        // A close that is held has not happened (yet).
        if (ereignis->type() == QEvent::Close) ereignis->ignore();
        return true;
    }
};

// Hands on what was held, oldest first. A step may itself wait (a second
// "Ansage Zeit" pressed during the first); what that wait holds goes behind
// what is still left here.
void Nachholen() {
    nachholenGeplant = false;
    while (!wartet && !gehalten.empty()) {
        Gehalten g = std::move(gehalten.front());
        gehalten.pop_front();
        if (g.schritt) {
            g.schritt();
        } else if (g.fenster) {
            QCoreApplication::sendEvent(g.fenster, g.ereignis.get());
        }
    }
}

void NachholenPlanen() {
    if (nachholenGeplant || gehalten.empty() || !QCoreApplication::instance()) return;
    nachholenGeplant = true;
    QMetaObject::invokeMethod(QCoreApplication::instance(), &Nachholen, Qt::QueuedConnection);
}

}  // namespace

namespace Warten {

void Bis(const std::function<bool()>& fertig) {
    if (wartet || !QCoreApplication::instance()) {
        // Not reached: what could start a second wait is held by the first.
        // Waiting all the same keeps the promise that the phrase was heard.
        while (!fertig()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        return;
    }
    wartet = true;
    Halter halter;
    QCoreApplication::instance()->installEventFilter(&halter);
    while (!fertig()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QCoreApplication::instance()->removeEventFilter(&halter);
    wartet = false;
    // Handled from the main event loop, so no procedure runs inside the one
    // that waited.
    NachholenPlanen();
}

bool Laeuft() { return wartet; }

void OderNachher(std::function<void()> schritt) {
    if (!wartet) {
        schritt();
        return;
    }
    gehalten.push_back({nullptr, nullptr, std::move(schritt)});
}

void Wecken() {
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, [] {}, Qt::QueuedConnection);
}

}  // namespace Warten
