// The tick clock every part of the core reads its time from.
//
// TickCount is milliseconds since an arbitrary start and wraps at 2^32, like
// the platform tick count the core was written against. Sleep blocks the
// calling thread. With the virtual clock (tests, --virtual-clock) Sleep
// advances virtual time at once and never blocks in real time.
#pragma once
#include <cstdint>

namespace kra::platform {

uint32_t TickCount();
void Sleep(uint32_t ms);

// Switches the process to the virtual clock, starting at `start` ms.
// Call before any thread reads the clock.
void UseVirtualClock(uint32_t start = 0);
bool IsVirtualClock();
// Moves the virtual clock forward (no effect on the real clock).
void AdvanceVirtualClock(uint32_t ms);

// Wall-clock local time of day, for log lines and the status-bar clock.
struct LocalTime {
    int year, month, day, hour, minute, second, weekday;
};
LocalTime NowLocal();

// Available physical memory in bytes (MemAvailable), 0 when unknown.
uint64_t AvailableMemory();

}  // namespace kra::platform
