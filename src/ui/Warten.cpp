// SPDX-License-Identifier: GPL-3.0-or-later
#include "Warten.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QWheelEvent>
#include <deque>

namespace {

// What was held during a wait, oldest first.
std::deque<std::function<void()>> gehalten;
bool wartet = false;
bool nachholenGeplant = false;

// What the user does to a window, as a step that hands it on later; an empty
// step for any other event. It is taken at the window, before the toolkit
// routes it to a control, so when it is handed on after the wait it is routed
// as it would have been then: a Tab moves the focus from where the focus is
// after the wait. The event is made anew from its values when it is handed
// on: an input event shares its point with the device, which every later
// event of the device moves.
std::function<void()> Eingabe(QObject* ziel, const QEvent* e) {
    auto senden = [fenster = QPointer<QObject>(ziel)](QEvent& ereignis) {
        if (fenster) QCoreApplication::sendEvent(fenster, &ereignis);
    };
    switch (e->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove: {
            auto* m = static_cast<const QMouseEvent*>(e);
            return [=, art = m->type(), ort = m->position(), szene = m->scenePosition(),
                    global = m->globalPosition(), knopf = m->button(), knoepfe = m->buttons(),
                    tasten = m->modifiers(), geraet = m->pointingDevice(), zeit = m->timestamp()] {
                QMouseEvent neu(art, ort, szene, global, knopf, knoepfe, tasten, geraet);
                neu.setTimestamp(zeit);
                senden(neu);
            };
        }
        case QEvent::Wheel: {
            auto* r = static_cast<const QWheelEvent*>(e);
            return [=, ort = r->position(), global = r->globalPosition(), pixel = r->pixelDelta(),
                    winkel = r->angleDelta(), knoepfe = r->buttons(), tasten = r->modifiers(),
                    phase = r->phase(), umgekehrt = r->inverted(), quelle = r->source(),
                    geraet = r->pointingDevice(), zeit = r->timestamp()] {
                QWheelEvent neu(ort, global, pixel, winkel, knoepfe, tasten, phase, umgekehrt,
                                quelle, geraet);
                neu.setTimestamp(zeit);
                senden(neu);
            };
        }
        case QEvent::KeyPress:
        case QEvent::KeyRelease: {
            auto* t = static_cast<const QKeyEvent*>(e);
            return [=, art = t->type(), taste = t->key(), tasten = t->modifiers(),
                    scan = t->nativeScanCode(), virtuell = t->nativeVirtualKey(),
                    nativ = t->nativeModifiers(), text = t->text(), wiederholt = t->isAutoRepeat(),
                    anzahl = t->count(), geraet = t->device(), zeit = t->timestamp()] {
                QKeyEvent neu(art, taste, tasten, scan, virtuell, nativ, text, wiederholt, anzahl,
                              geraet);
                neu.setTimestamp(zeit);
                senden(neu);
            };
        }
        case QEvent::Close:
            return [=] {
                QCloseEvent neu;
                senden(neu);
            };
        default:
            return {};
    }
}

class Halter : public QObject {
protected:
    bool eventFilter(QObject* ziel, QEvent* ereignis) override {
        if (!ziel->isWindowType()) return false;
        std::function<void()> spaeter = Eingabe(ziel, ereignis);
        if (!spaeter) return false;
        gehalten.push_back(std::move(spaeter));
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
        std::function<void()> schritt = std::move(gehalten.front());
        gehalten.pop_front();
        schritt();
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
    gehalten.push_back(std::move(schritt));
}

}  // namespace Warten
