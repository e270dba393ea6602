// The line service's front: the event queue and call records both backends
// fill, the simulated backend, and the choice between it and ModemManager.
#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <vector>

#include "platform/clock.h"
#include "platform/message_loop.h"
#include "platform/modem-internal.h"
#include "platform/modem-lines.h"

namespace kra::platform {

namespace {

struct Record {
    uint32_t mediaMode = kMediaInteractiveVoice;
    bool gone = false;
    bool goneTaken = false;  // a take happened since it ended
};

struct Queue {
    std::mutex mutex;
    std::vector<LineCallEvent> events;
    std::map<uint32_t, Record> records;
};
Queue& TheQueue() {
    static Queue* queue = new Queue;  // threads may still post at exit
    return *queue;
}

std::atomic<bool> g_simulated{false};
SimulatedLines g_sim;
// What the simulation's event side may read from any thread.
std::atomic<bool> g_simLive{false};
std::mutex g_simMutex;
std::vector<std::pair<uint32_t, uint32_t>> g_simExisting;  // call, state

}  // namespace

namespace lines {

void QueueEvent(const LineCallEvent& event) {
    Queue& q = TheQueue();
    bool wasEmpty;
    {
        std::lock_guard lock(q.mutex);
        wasEmpty = q.events.empty();
        q.events.push_back(event);
    }
    if (wasEmpty) PostMessage(kMsgLineEvents, 0, 0);
}

void SetRecord(uint32_t call, uint32_t mediaMode) {
    Queue& q = TheQueue();
    std::lock_guard lock(q.mutex);
    Record& r = q.records[call];
    r.mediaMode = mediaMode;
    r.gone = false;
    r.goneTaken = false;
}

void MarkGone(uint32_t call) {
    Queue& q = TheQueue();
    std::lock_guard lock(q.mutex);
    auto it = q.records.find(call);
    if (it != q.records.end()) it->second.gone = true;
}

void ClearAll() {
    Queue& q = TheQueue();
    std::lock_guard lock(q.mutex);
    q.events.clear();
    q.records.clear();
}

}  // namespace lines

bool LineCallMediaMode(uint32_t call, uint32_t* mediaMode) {
    Queue& q = TheQueue();
    std::lock_guard lock(q.mutex);
    auto it = q.records.find(call);
    if (it == q.records.end()) return false;
    *mediaMode = it->second.mediaMode;
    return true;
}

std::vector<LineCallEvent> TakeLineEvents() {
    Queue& q = TheQueue();
    std::lock_guard lock(q.mutex);
    std::erase_if(q.records, [](const auto& entry) { return entry.second.goneTaken; });
    for (auto& [call, record] : q.records) {
        if (record.gone) record.goneTaken = true;
    }
    std::vector<LineCallEvent> events;
    events.swap(q.events);
    return events;
}

void UseModemManagerLines() {
    g_simulated = false;
}

void UseSimulatedLines() {
    g_sim = SimulatedLines{};
    g_simLive = false;
    {
        std::lock_guard lock(g_simMutex);
        g_simExisting.clear();
    }
    lines::ClearAll();
    g_simulated = true;
}

SimulatedLines& SimulatedLineState() {
    return g_sim;
}

uint32_t LineInitialize(uint32_t* deviceCount, uint32_t* apiVersion) {
    *deviceCount = 0;
    *apiVersion = 0;
    if (!g_simulated) return lines::MmInitialize(deviceCount, apiVersion);
    ++g_sim.initCalls;
    if (g_sim.reinitReplies > 0) {
        --g_sim.reinitReplies;
        return kLineErrReinit;
    }
    if (g_sim.initResult != 0) return g_sim.initResult;
    g_sim.initialised = true;
    *deviceCount = g_sim.devices;
    *apiVersion = kLineApiVersion;
    return 0;
}

uint32_t LineNegotiateApiVersion(uint32_t device, uint32_t low, uint32_t high, uint32_t* version) {
    *version = 0;
    if (g_simulated && device < 32 && (g_sim.failNegotiation >> device) & 1)
        return kLineErrIncompatibleApiVersion;
    if (high < low || high < kLineApiLowVersion) return kLineErrIncompatibleApiVersion;
    *version = std::min(high, kLineApiVersion);
    return 0;
}

uint32_t LineOpen(uint32_t device, uint32_t* line) {
    *line = 0;
    if (!g_simulated) return lines::MmOpen(device, line);
    if (!g_sim.initialised || device >= g_sim.devices) return kLineErrOperationUnavailable;
    if (device < 32 && (g_sim.failOpen >> device) & 1) return kLineErrOperationUnavailable;
    *line = device + 1;
    ++g_sim.openLines;
    g_simLive = true;
    std::vector<std::pair<uint32_t, uint32_t>> existing;
    {
        std::lock_guard lock(g_simMutex);
        existing.swap(g_simExisting);
    }
    for (const auto& [call, state] : existing) {
        lines::SetRecord(call, kMediaInteractiveVoice);
        lines::QueueEvent({call, state, true});
    }
    return 0;
}

void LineClose(uint32_t line) {
    if (!g_simulated) return lines::MmClose(line);
    if (g_sim.openLines > 0 && --g_sim.openLines == 0) g_simLive = false;
}

void LineShutdown() {
    if (!g_simulated) return lines::MmShutdown();
    ++g_sim.shutdowns;
    g_sim.initialised = false;
    g_sim.openLines = 0;
    g_simLive = false;
    lines::ClearAll();
}

void LineStopWatch() {
    if (!g_simulated) lines::MmStopWatch();
}

void SimulateCallState(uint32_t call, uint32_t state, uint32_t mediaMode) {
    if (!g_simLive) return;
    uint32_t known = 0;
    if (!LineCallMediaMode(call, &known)) lines::SetRecord(call, mediaMode);
    lines::QueueEvent({call, state, false});
    if (state == kCallDisconnected) lines::MarkGone(call);
}

void SimulateExistingCall(uint32_t call, uint32_t state) {
    std::lock_guard lock(g_simMutex);
    g_simExisting.emplace_back(call, state);
}

}  // namespace kra::platform
