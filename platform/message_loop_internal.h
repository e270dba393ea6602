// How window backends plug their event sources into the message loop.
// Platform-internal: the core never includes this.
#pragma once
#include <cstdint>

namespace kra::platform {

// An event source the loop waits on while it has nothing to deliver.
struct LoopBackend {
    // Main thread. Called when no message is queued and no timer is due.
    // Waits for outside events for at most timeoutMs (-1: no timer is set,
    // wait until something happens), turns them into messages and returns.
    // Returning early is always allowed; the loop simply asks again.
    void (*idle)(void* context, int32_t timeoutMs);
    // Any thread, called with the loop's lock held right after a message was
    // queued: makes a running idle() return soon. Must not call back into the
    // loop. May be null when idle() waits through WaitForPosted.
    void (*wake)(void* context);
    void* context;
};

// Installs (or with null removes) the event source. Main thread.
void SetLoopBackend(const LoopBackend* backend);

// The loop's own wait, for backends without a wait of their own: returns
// when a message is queued or timeoutMs has passed (-1: no limit). On the
// virtual clock a limited wait with an empty queue advances the clock by
// timeoutMs at once instead of waiting.
void WaitForPosted(int32_t timeoutMs);

// Milliseconds until the earliest timer is due (0 when one is due now), or
// -1 when no timer is set.
int32_t TimeToNextTimer();

}  // namespace kra::platform
