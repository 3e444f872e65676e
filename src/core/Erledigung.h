// SPDX-License-Identifier: GPL-3.0-or-later
// The completion of a request that another thread finishes, such as a phrase
// that has been heard or dropped. Whoever made the request may wait for it or
// ignore it; the thread that finishes it reports it once.
#pragma once

#include <atomic>
#include <memory>

class Erledigung {
public:
    bool Fertig() const { return fertig_.load(std::memory_order_acquire); }
    // Safe from any thread. Marks the request done and wakes the event loop
    // of the process's main thread, so that a wait on it notices at once.
    void Melden();

private:
    std::atomic<bool> fertig_{false};
};

using ErledigungPtr = std::shared_ptr<Erledigung>;
