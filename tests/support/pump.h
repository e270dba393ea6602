// Driving the main window's queue from a test: on the virtual clock in 10-ms
// steps, or in real time while a peer (a D-Bus mock, a player) answers.
#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>

#include "platform/clock.h"
#include "platform/message_loop.h"

namespace kra::test {

// Advances the virtual clock by `ms`, delivering what falls due on the way.
inline void RunClock(uint32_t ms) {
    for (uint32_t t = 0; t < ms; t += 10) {
        platform::AdvanceVirtualClock(10);
        platform::PumpPending();
    }
}

// Pumps the queue until `done` holds or `ms` of real time have passed.
inline bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < deadline) {
        platform::PumpPending();
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

}  // namespace kra::test
