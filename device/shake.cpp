// Shake control: the detector, the poller thread, its start and stop, and
// the main thread's side of the shuffle action.
#include "device/shake.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "app/base/app_state.h"
#include "app/base/debug_log.h"
#include "app/base/settings.h"
#include "platform/clock.h"
#include "platform/message_loop.h"
#include "platform/sensor.h"
#include "playback/play_queue.h"
#include "screens/now_playing.h"
#include "screens/screen_router.h"

namespace kra {

namespace {

void PostToWindow(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    platform::PostMessage(message, wParam, lParam);
}

ShakeIo DefaultShakeIo() {
    ShakeIo io;
    io.readTilt = &platform::ReadTilt;
    io.hasLight = &platform::HasLightSensor;
    io.readLight = &platform::ReadLight;
    io.beep = &platform::PlayBeep;
    io.post = &PostToWindow;
    return io;
}

}  // namespace

ShakeIo g_shakeIo = DefaultShakeIo();
ShakeFlags g_shakeFlags;
ShakeHost g_shakeHost;

namespace {

uint32_t Difference(int32_t a, int32_t b) {
    const int64_t d = int64_t(a) - int64_t(b);
    return uint32_t(d < 0 ? -d : d);
}

// The poller's events and flags. The thread holds its own reference, so a
// poller left running after its grace still has them.
struct Poller {
    std::mutex mutex;
    std::condition_variable changed;
    bool startEvent = false;  // auto-reset: taken by the wait that sees it
    bool quitEvent = false;   // stays set once set: every later wait ends
    bool finished = false;
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> rounds{0};
    bool noLightLogged = false;
    bool lightFailLogged = false;
    bool tiltFailLogged = false;
    ShakeDetector detector;
    ShakeIo io;
    std::thread thread;

    // Waits up to `ms` on the platform clock; true when the quit event is
    // set. On the virtual clock the time passes at once.
    bool SleepOrQuit(uint32_t ms) {
        std::unique_lock lock(mutex);
        if (quitEvent) return true;
        if (platform::IsVirtualClock()) {
            lock.unlock();
            platform::Sleep(ms);
            lock.lock();
            return quitEvent;
        }
        return changed.wait_for(lock, std::chrono::milliseconds(ms), [&] { return quitEvent; });
    }

    // Step 2 of the thread: true for the start event, false for quit.
    bool WaitForStart() {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return startEvent || quitEvent; });
        if (quitEvent) return false;
        startEvent = false;
        return true;
    }
};

std::shared_ptr<Poller> g_poller;
std::atomic<uint64_t> g_stopRequests{0};

// One polling round's sample: true when it completes a shake that the light
// sensor confirms.
bool IsShake(Poller& p) {
    if (g_shakeFlags.screenOff.load() || g_shakeFlags.paused.load()) return false;
    int32_t x = 0, y = 0;
    if (!p.io.readTilt || !p.io.readTilt(&x, &y)) {
        // A sensor the proxy streams from may refuse raw reads (busy).
        if (!p.tiltFailLogged) KRA_LOG("GSensor: the accelerometer cannot be read now");
        p.tiltFailLogged = true;
        return false;
    }
    if (!ShakeSample(p.detector, x, y, g_shakeFlags.threshold.load(), platform::TickCount()))
        return false;
    if (!p.io.hasLight || !p.io.hasLight()) {
        if (!p.noLightLogged) KRA_LOG("No light sensor: shakes are not checked for darkness");
        p.noLightLogged = true;
        return true;
    }
    // A read that fails (a busy sensor) is left out and the others stand
    // for it; when none succeeds there is nothing to judge by and the check
    // passes, as without a light sensor.
    uint32_t sum = 0;
    int good = 0;
    for (int i = 0; i < 5; ++i) {
        if (i > 0 && p.SleepOrQuit(kShakeSampleMs)) return false;
        uint8_t value = 0;
        if (p.io.readLight && p.io.readLight(&value)) {
            sum += value;
            ++good;
        }
    }
    if (good == 0) {
        if (!p.lightFailLogged)
            KRA_LOG("Light sensor unreadable: shakes are not checked for darkness");
        p.lightFailLogged = true;
        return true;
    }
    sum = sum * 5 / uint32_t(good);
    KRA_LOG("Luminance = %d", int(sum));
    return sum > 5;
}

void Act(Poller& p) {
    if (p.io.beep) p.io.beep();
    if (!p.io.post) return;
    switch (g_shakeFlags.action.load()) {
        case 1:
            p.io.post(platform::kWmCommand, kCmdRemoteNext, 0);
            break;
        case 2:
            p.io.post(platform::kWmCommand, kCmdRemoteRandom, 0);
            break;
        case 3:
            p.io.post(kMsgShakeShuffle, 0, 0);
            break;
        default:
            break;
    }
}

void PollerMain(const std::shared_ptr<Poller>& p) {
    KRA_LOG("Start GShake Polling 1");
    while (p->WaitForStart()) {
        KRA_LOG("Start GShake Polling 2");
        while (!p->stop.load()) {
            const uint64_t round = p->rounds.load();
            if (p->io.beforeRound) p->io.beforeRound(round);
            {
                // Rounds are counted under the lock the waiters use.
                std::lock_guard lock(p->mutex);
                p->rounds.store(round + 1);
                p->changed.notify_all();
            }
            if (IsShake(*p)) Act(*p);
            if (p->SleepOrQuit(kShakeSampleMs)) break;
        }
    }
    KRA_LOG("Start GShake Polling 3");
    KRA_LOG("Start GShake Polling 5");
    KRA_LOG("Start GShake Polling 6");
    std::lock_guard lock(p->mutex);
    p->finished = true;
    p->changed.notify_all();
}

}  // namespace

void ResetShakeIo() {
    g_shakeIo = DefaultShakeIo();
}

int32_t NormaliseAngle(int64_t degrees) {
    int64_t a = degrees % 360;
    if (a <= -180) a += 360;
    if (a > 180) a -= 360;
    return int32_t(a);
}

void StartShakeDetector(ShakeDetector& detector, int32_t x, int32_t y) {
    detector = ShakeDetector{};
    detector.previousX = NormaliseAngle(x);
    detector.previousY = NormaliseAngle(y);
}

bool ShakeSample(ShakeDetector& d, int32_t x, int32_t y, uint32_t threshold, uint32_t now) {
    x = NormaliseAngle(x);
    y = NormaliseAngle(y);
    const uint32_t dY = Difference(d.previousY, y);
    const uint32_t dX = Difference(d.previousX, x);
    const uint32_t t = threshold;
    const uint32_t h = t / 2;
    const bool hit = (dY > t && dX > 15) || (dY > 40 && dX > t) || (dY > h && dX > h);
    bool accepted = false;
    if (hit) {
        d.hits += 1;
        if (dY > 200 && dX > 200) d.hits += 1;
        if (d.hits > 2) {
            accepted = !d.shakeSeen || uint32_t(now - d.lastShakeTick) > kShakeHoldOffMs;
            d.lastShakeTick = now;
            d.shakeSeen = true;
            d.hits = 0;
        }
    } else {
        d.hits = 0;
    }
    d.previousX = x;
    d.previousY = y;
    return accepted;
}

void SyncShakeFlags() {
    g_shakeFlags.paused.store(g_app.paused);
    g_shakeFlags.screenOff.store(g_shakeHost.screenOff && g_shakeHost.screenOff());
    g_shakeFlags.action.store(g_settings.shakeAction);
    g_shakeFlags.threshold.store(g_settings.shakeThreshold);
}

bool StartShakeControl() {
    if (g_poller) return true;
    SyncShakeFlags();
    auto p = std::make_shared<Poller>();
    p->io = g_shakeIo;
    int32_t x = 0, y = 0;
    if (!p->io.readTilt || !p->io.readTilt(&x, &y)) {
        KRA_LOG("GSensor: the accelerometer cannot be read; no shake control");
        return false;
    }
    StartShakeDetector(p->detector, x, y);
    // Both events exist before the thread, so timer 0x417 always finds them.
    try {
        p->thread = std::thread([p] { PollerMain(p); });
    } catch (...) {
        KRA_LOG("GSensor: no poller thread");
        return false;
    }
    g_poller = std::move(p);
    platform::SetTimer(kTimerShakeStart, 50);
    return true;
}

void StartShakePolling() {
    if (!g_poller) return;
    std::lock_guard lock(g_poller->mutex);
    g_poller->startEvent = true;
    g_poller->changed.notify_all();
}

bool StopShakeControl(uint32_t graceMs) {
    platform::KillTimer(kTimerShakeStart);
    if (!g_poller) return true;
    std::shared_ptr<Poller> p = std::move(g_poller);
    std::unique_lock lock(p->mutex);
    p->stop.store(true);
    p->quitEvent = true;
    g_stopRequests.fetch_add(1);
    p->changed.notify_all();
    // Counted from the quit event: on the virtual clock the poller's own
    // sleeps move the clock until it sees the event.
    const uint32_t startTick = platform::TickCount();
    const auto startReal = std::chrono::steady_clock::now();
    // The grace runs on the platform clock, and on the virtual clock also
    // ends after the same span of real time.
    while (!p->finished) {
        const uint32_t elapsed = platform::TickCount() - startTick;
        const auto real = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - startReal);
        if (elapsed >= graceMs || real.count() >= graceMs) break;
        p->changed.wait_for(
            lock, std::chrono::milliseconds(platform::IsVirtualClock() ? 1 : graceMs - elapsed));
    }
    const bool ended = p->finished;
    lock.unlock();
    if (ended) {
        p->thread.join();
    } else {
        p->thread.detach();
    }
    return ended;
}

bool ShakePollerRunning() {
    return g_poller != nullptr;
}

uint64_t ShakeStopRequests() {
    return g_stopRequests.load();
}

uint64_t ShakeRounds() {
    return g_poller ? g_poller->rounds.load() : 0;
}

void WaitForShakeRounds(uint64_t rounds) {
    std::shared_ptr<Poller> p = g_poller;
    if (!p) return;
    std::unique_lock lock(p->mutex);
    p->changed.wait(lock, [&] { return p->rounds.load() >= rounds || p->finished; });
}

void OnShakeShuffle() {
    if (g_settings.playShuffle == 0) {
        ResetHistory();
        queue_detail::StorePlayShuffle(1);
        if (g_app.windowCreated) RenderPositionLabel(g_screen);
    }
    platform::SendMessage(platform::kWmCommand, kCmdRemoteNext, 0);
}

}  // namespace kra
