// Monotonic tick clock, with a virtual clock for tests and scripted runs.
#include <time.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "platform/clock.h"

namespace kra::platform {

namespace {

std::atomic<bool> g_virtual{false};
std::atomic<uint32_t> g_virtualNow{0};

uint32_t MonotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t ms = uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u;
    return uint32_t(ms);  // wraps at 2^32 like the platform tick count
}

}  // namespace

uint32_t TickCount() {
    return g_virtual.load(std::memory_order_acquire) ? g_virtualNow.load() : MonotonicMs();
}

void Sleep(uint32_t ms) {
    if (g_virtual.load(std::memory_order_acquire)) {
        g_virtualNow.fetch_add(ms);
        return;
    }
    timespec ts{time_t(ms / 1000), long(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {
    }
}

void UseVirtualClock(uint32_t start) {
    g_virtualNow.store(start);
    g_virtual.store(true, std::memory_order_release);
}

bool IsVirtualClock() { return g_virtual.load(std::memory_order_acquire); }

void AdvanceVirtualClock(uint32_t ms) { g_virtualNow.fetch_add(ms); }

LocalTime NowLocal() {
    const time_t now = time(nullptr);
    tm parts{};
    localtime_r(&now, &parts);
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
            parts.tm_min,         parts.tm_sec,     parts.tm_wday};
}

uint64_t AvailableMemory() {
    FILE* f = std::fopen("/proc/meminfo", "r");
    if (!f) return 0;
    char line[256];
    unsigned long long kb = 0;
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, "MemAvailable:", 13) == 0) {
            std::sscanf(line + 13, "%llu", &kb);
            break;
        }
    }
    std::fclose(f);
    return uint64_t(kb) * 1024u;
}

}  // namespace kra::platform
