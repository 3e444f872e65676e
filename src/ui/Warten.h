// SPDX-License-Identifier: GPL-3.0-or-later
// The window's one wait: "Ansage Zeit" returns only once its phrase has been
// heard. While it waits, the window goes on answering what merely looks at
// it, so a screen reader is never held up: repaints and queries over the
// accessibility bus are served at once. Nothing of the program itself runs
// meanwhile: input (keys, mouse, a close of the window), timer ticks,
// accessibility actions and the end by signal are held, and handled after the
// wait, in the order they came. No procedure ever runs inside another, and the
// wait cannot be entered a second time.
//
// That promise holds for the wait itself. The announcement lets the events
// already waiting run once before it (so its hidden label leaves the screen);
// what runs there runs as at any other time.
//
// Everything here runs on the window's thread. What the wait is for reports
// its end from any thread by waking the event loop (Erledigung::Melden).
#pragma once

#include <functional>

namespace Warten {

// Runs the event loop, serving only what is described above, until `fertig`
// holds. `fertig` is asked after every event served.
// What was held is handled once control is back in the main event loop.
void Bis(const std::function<bool()>& fertig);

// True while a wait is under way.
bool Laeuft();

// Runs `schritt` at once; during a wait, after it, in turn with everything
// else held.
void OderNachher(std::function<void()> schritt);

}  // namespace Warten
