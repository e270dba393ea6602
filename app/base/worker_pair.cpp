#include "app/base/worker_pair.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/clock.h"

namespace kra {

namespace {
std::atomic<int> g_workersLeftRunning{0};
}  // namespace

WorkerPair g_artCacheWorker;
WorkerPair g_listArtWorker;

struct WorkerPair::Shared {
    std::mutex mutex;
    std::condition_variable changed;
    bool wake = false;  // manual-reset wake event
    bool stop = false;  // manual-reset stop event
    bool finished = false;
    uint64_t passes = 0;
    std::function<void()> work;
    std::thread thread;
};

int WorkersLeftRunning() {
    return g_workersLeftRunning.load();
}

WorkerPair::~WorkerPair() {
    if (IsRunning()) Stop();
}

bool WorkerPair::Start(std::function<void()> work) {
    if (IsRunning()) return false;
    auto shared = std::make_shared<Shared>();
    shared->work = std::move(work);
    // The thread holds its own reference, so a thread left running after
    // Stop still has its events and work.
    try {
        shared->thread = std::thread([shared] {
            std::unique_lock lock(shared->mutex);
            // The wake event is reset before each wait. The events start
            // unsignalled, so the first wait needs no reset, and a wake
            // given between Start and the first wait is kept.
            for (;;) {
                shared->changed.wait(lock, [&] { return shared->wake || shared->stop; });
                if (shared->stop) break;
                lock.unlock();
                shared->work();
                lock.lock();
                ++shared->passes;
                shared->wake = false;
                shared->changed.notify_all();
            }
            shared->finished = true;
            shared->changed.notify_all();
        });
    } catch (...) {
        return false;
    }
    shared_ = std::move(shared);
    return true;
}

bool WorkerPair::IsRunning() const {
    return shared_ && shared_->thread.joinable();
}

void WorkerPair::Wake() {
    if (!shared_) return;
    std::lock_guard lock(shared_->mutex);
    shared_->wake = true;
    shared_->changed.notify_all();
}

bool WorkerPair::Stop(uint32_t graceMs) {
    if (!IsRunning()) return true;
    Shared& s = *shared_;
    const uint32_t startTick = platform::TickCount();
    const auto startReal = std::chrono::steady_clock::now();
    std::unique_lock lock(s.mutex);
    s.stop = true;
    s.changed.notify_all();
    // The grace runs on the platform clock. On the virtual clock time only
    // moves when someone moves it, so the wait also ends after the same
    // span of real time: a hung worker never hangs the exit.
    while (!s.finished) {
        const uint32_t elapsed = platform::TickCount() - startTick;
        const auto realElapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - startReal);
        if (elapsed >= graceMs || realElapsed.count() >= graceMs) break;
        const auto slice = platform::IsVirtualClock()
                               ? std::chrono::milliseconds(1)
                               : std::chrono::milliseconds(graceMs - elapsed);
        s.changed.wait_for(lock, slice);
    }
    const bool ended = s.finished;
    lock.unlock();
    if (ended) {
        s.thread.join();
    } else {
        s.thread.detach();
        g_workersLeftRunning.fetch_add(1);
    }
    shared_.reset();
    return ended;
}

void WorkerPair::WaitForPasses(uint64_t count) {
    if (!shared_) return;
    std::unique_lock lock(shared_->mutex);
    shared_->changed.wait(lock, [&] { return shared_->passes >= count || shared_->finished; });
}

uint64_t WorkerPair::Passes() const {
    if (!shared_) return 0;
    std::lock_guard lock(shared_->mutex);
    return shared_->passes;
}

}  // namespace kra
