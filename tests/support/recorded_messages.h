// A window procedure that records the messages it is given, in order.
#pragma once
#include <cstdint>
#include <vector>

#include "platform/message_loop.h"

namespace kra::test {

struct Msg {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    bool operator==(const Msg&) const = default;
};
inline std::vector<Msg> g_msgs;

inline intptr_t Record(uint32_t m, uintptr_t w, intptr_t l) {
    g_msgs.push_back({m, w, l});
    return 0;
}

// Delivers what is queued and returns the messages that brought.
inline std::vector<Msg> TakeMessages() {
    g_msgs.clear();
    platform::PumpPending();
    return g_msgs;
}

}  // namespace kra::test
