// SPDX-License-Identifier: GPL-3.0-or-later
// The completion of a request that another thread finishes, such as a phrase
// that has been heard or dropped. Whoever made the request may wait for it or
// ignore it; the thread that finishes it reports it once.
//
// A sound placed ahead for a coming second can also be taken back: what of it
// has not begun to sound by then is never heard. Whoever holds the sound
// (the speech worker, the sound output) learns of it at once.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

class Erledigung {
public:
    bool Fertig() const { return fertig_.load(std::memory_order_acquire); }
    // Safe from any thread. Marks the request done and, when someone waits
    // for it there, wakes the event loop of the process's main thread, so that
    // the wait notices at once. A request done can no longer be taken back.
    void Melden();
    // Called by whoever is about to wait for the request on the main thread:
    // its report then wakes the event loop. A countdown's clicks and numbers,
    // which nobody waits for, leave the window's thread asleep.
    void Erwarten() { erwartet_.store(true); }

    // Safe from any thread; nothing once done. Calls the holder's step, if
    // any, on this thread, outside every lock of its own.
    void Absagen();
    bool Abgesagt() const { return abgesagt_.load(std::memory_order_acquire); }
    // The step that takes the sound back where it is held now; an empty one
    // when it leaves. False, and nothing kept, when it has been taken back
    // already: the holder drops it then. The step must not call back in here.
    bool BeiAbsage(std::function<void()> schritt);

private:
    std::atomic<bool> fertig_{false};
    std::atomic<bool> abgesagt_{false};
    std::atomic<bool> erwartet_{false};
    std::mutex mutex_;
    std::function<void()> beiAbsage_;
};

using ErledigungPtr = std::shared_ptr<Erledigung>;
