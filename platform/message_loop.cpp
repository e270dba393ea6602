// The main window's message queue and timers.
//
// Posted messages sit in one queue under a mutex; timers live beside them and
// are only touched from the main thread, but share the lock so the rules stay
// simple. Each pass of the loop delivers the messages that were queued when
// the pass began and then every due timer once, so a flood of posts cannot
// starve the timers and a timer of period 0 cannot starve the queue.
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

#include "platform/clock.h"
#include "platform/message_loop.h"
#include "platform/message_loop_internal.h"

namespace kra::platform {

namespace {

struct Posted {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    bool quit;
    int exitCode;
};

struct Timer {
    uint32_t id;
    uint32_t period;
    uint32_t due;
};

struct Loop {
    std::mutex mutex;
    std::condition_variable posted;
    std::deque<Posted> queue;
    std::vector<Timer> timers;
    bool ended = false;
    int exitCode = 0;
    WindowProc proc = nullptr;
    LoopBackend backend{};
    bool hasBackend = false;
};

// Never destroyed: worker threads may still post while the process exits.
Loop& TheLoop() {
    static Loop* loop = new Loop;
    return *loop;
}

// Tick arithmetic that survives the 2^32 wrap: true when `due` is not later
// than `now`.
bool IsDue(uint32_t due, uint32_t now) {
    return int32_t(due - now) <= 0;
}

void Dispatch(const Posted& m) {
    WindowProc proc;
    {
        std::lock_guard lock(TheLoop().mutex);
        proc = TheLoop().proc;
    }
    if (proc) proc(m.message, m.wParam, m.lParam);
}

// Takes the next queued message. Returns false when the queue is empty or
// the loop has ended; a quit marker ends the loop and is not returned.
bool TakeMessage(Posted* out) {
    Loop& loop = TheLoop();
    std::lock_guard lock(loop.mutex);
    if (loop.ended || loop.queue.empty()) return false;
    *out = loop.queue.front();
    loop.queue.pop_front();
    if (out->quit) {
        loop.ended = true;
        loop.exitCode = out->exitCode;
        return false;
    }
    return true;
}

// Fires the earliest due timer whose id is not in `skip`, re-arming it one
// period from now. Returns false when none is due.
bool FireDueTimer(std::vector<uint32_t>* skip) {
    Loop& loop = TheLoop();
    uint32_t id = 0;
    {
        std::lock_guard lock(loop.mutex);
        if (loop.ended) return false;
        const uint32_t now = TickCount();
        Timer* best = nullptr;
        for (Timer& t : loop.timers) {
            if (!IsDue(t.due, now)) continue;
            if (std::find(skip->begin(), skip->end(), t.id) != skip->end()) continue;
            if (!best || int32_t(t.due - best->due) < 0) best = &t;
        }
        if (!best) return false;
        best->due = now + best->period;
        id = best->id;
    }
    skip->push_back(id);
    Dispatch({kWmTimer, uintptr_t(id), 0, false, 0});
    return true;
}

bool Ended() {
    std::lock_guard lock(TheLoop().mutex);
    return TheLoop().ended;
}

// One pass: the messages queued when it began, then each due timer that is
// not in `fired` once.
int DeliverPass(std::vector<uint32_t>* fired) {
    size_t pending;
    {
        std::lock_guard lock(TheLoop().mutex);
        pending = TheLoop().queue.size();
    }
    int delivered = 0;
    Posted m;
    for (; pending > 0 && TakeMessage(&m); --pending) {
        Dispatch(m);
        ++delivered;
    }
    while (FireDueTimer(fired)) ++delivered;
    return delivered;
}

}  // namespace

void SetWindowProc(WindowProc proc) {
    std::lock_guard lock(TheLoop().mutex);
    TheLoop().proc = proc;
}

bool PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    Loop& loop = TheLoop();
    std::lock_guard lock(loop.mutex);
    if (loop.ended) return false;
    loop.queue.push_back({message, wParam, lParam, false, 0});
    loop.posted.notify_one();
    if (loop.hasBackend && loop.backend.wake) loop.backend.wake(loop.backend.context);
    return true;
}

intptr_t SendMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    WindowProc proc;
    {
        std::lock_guard lock(TheLoop().mutex);
        proc = TheLoop().proc;
    }
    return proc ? proc(message, wParam, lParam) : 0;
}

void PostQuitMessage(int exitCode) {
    Loop& loop = TheLoop();
    std::lock_guard lock(loop.mutex);
    if (loop.ended) return;
    loop.queue.push_back({0, 0, 0, true, exitCode});
    loop.posted.notify_one();
    if (loop.hasBackend && loop.backend.wake) loop.backend.wake(loop.backend.context);
}

void SetTimer(uint32_t id, uint32_t periodMs) {
    Loop& loop = TheLoop();
    std::lock_guard lock(loop.mutex);
    const uint32_t due = TickCount() + periodMs;
    for (Timer& t : loop.timers) {
        if (t.id == id) {
            t.period = periodMs;
            t.due = due;
            return;
        }
    }
    loop.timers.push_back({id, periodMs, due});
}

void KillTimer(uint32_t id) {
    Loop& loop = TheLoop();
    std::lock_guard lock(loop.mutex);
    std::erase_if(loop.timers, [id](const Timer& t) { return t.id == id; });
}

bool IsTimerSet(uint32_t id) {
    Loop& loop = TheLoop();
    std::lock_guard lock(loop.mutex);
    return std::any_of(loop.timers.begin(), loop.timers.end(),
                       [id](const Timer& t) { return t.id == id; });
}

int32_t TimeToNextTimer() {
    Loop& loop = TheLoop();
    std::lock_guard lock(loop.mutex);
    if (loop.timers.empty()) return -1;
    const uint32_t now = TickCount();
    int32_t best = INT32_MAX;
    for (const Timer& t : loop.timers) best = std::min(best, std::max(int32_t(t.due - now), 0));
    return best;
}

void WaitForPosted(int32_t timeoutMs) {
    Loop& loop = TheLoop();
    std::unique_lock lock(loop.mutex);
    auto ready = [&loop] { return !loop.queue.empty() || loop.ended; };
    if (ready()) return;
    if (timeoutMs < 0) {
        loop.posted.wait(lock, ready);
    } else if (IsVirtualClock()) {
        lock.unlock();
        AdvanceVirtualClock(uint32_t(timeoutMs));
    } else {
        loop.posted.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
    }
}

void SetLoopBackend(const LoopBackend* backend) {
    Loop& loop = TheLoop();
    std::lock_guard lock(loop.mutex);
    loop.hasBackend = backend != nullptr;
    loop.backend = backend ? *backend : LoopBackend{};
}

int RunLoop() {
    for (;;) {
        std::vector<uint32_t> fired;
        const int delivered = DeliverPass(&fired);
        {
            Loop& loop = TheLoop();
            std::lock_guard lock(loop.mutex);
            if (loop.ended) return loop.exitCode;
        }
        if (delivered > 0) continue;
        const int32_t timeout = TimeToNextTimer();
        LoopBackend backend{};
        {
            std::lock_guard lock(TheLoop().mutex);
            if (TheLoop().hasBackend) backend = TheLoop().backend;
        }
        if (backend.idle) {
            backend.idle(backend.context, timeout);
        } else {
            WaitForPosted(timeout);
        }
    }
}

int PumpPending() {
    // Messages posted by the handlers are delivered too; each timer fires at
    // most once per call, so a timer of period 0 cannot keep it spinning.
    // The pass limit only guards against handlers that re-post forever.
    int delivered = 0;
    std::vector<uint32_t> fired;
    for (int pass = 0; pass < 1000 && !Ended(); ++pass) {
        const int now = DeliverPass(&fired);
        if (now == 0) break;
        delivered += now;
    }
    return delivered;
}

void ResetMessageLoop() {
    Loop& loop = TheLoop();
    std::lock_guard lock(loop.mutex);
    loop.queue.clear();
    loop.timers.clear();
    loop.ended = false;
    loop.exitCode = 0;
}

bool LoopEnded(int* exitCode) {
    Loop& loop = TheLoop();
    std::lock_guard lock(loop.mutex);
    if (exitCode) *exitCode = loop.exitCode;
    return loop.ended;
}

}  // namespace kra::platform
