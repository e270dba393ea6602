#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "app/base/worker_pair.h"
#include "app/shell.h"
#include "app_test_util.h"

namespace kra {
namespace {

// A gate the work waits at, and a count of passes begun, both observable
// from the test thread without sleeping.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    int started = 0;

    void Enter() {
        std::unique_lock lock(mutex);
        ++started;
        changed.notify_all();
        changed.wait(lock, [&] { return open; });
    }
    void WaitStarted(int count) {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return started >= count; });
    }
    void Open() {
        std::lock_guard lock(mutex);
        open = true;
        changed.notify_all();
    }
};

class WorkerPairTest : public test::ShellTest {};

TEST_F(WorkerPairTest, EachWakeRunsOnePassAndStopEndsTheThread) {
    Gate gate;
    gate.Open();
    WorkerPair worker;
    ASSERT_TRUE(worker.Start([&] { gate.Enter(); }));
    EXPECT_FALSE(worker.Start([] {}));  // already running
    worker.Wake();
    worker.WaitForPasses(1);
    worker.Wake();
    worker.WaitForPasses(2);
    EXPECT_EQ(worker.Passes(), 2u);
    EXPECT_TRUE(worker.Stop(500));
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_EQ(gate.started, 2);
    EXPECT_TRUE(worker.Stop(500));  // twice
    WorkerPair never;
    EXPECT_TRUE(never.Stop(500));
    never.Wake();  // nothing to wake
}

TEST_F(WorkerPairTest, AWakeDuringAPassIsLost) {
    Gate gate;
    WorkerPair worker;
    ASSERT_TRUE(worker.Start([&] { gate.Enter(); }));
    worker.Wake();
    gate.WaitStarted(1);  // the pass is running and held at the gate
    worker.Wake();
    worker.Wake();
    gate.Open();
    worker.WaitForPasses(1);
    EXPECT_EQ(worker.Passes(), 1u);
    EXPECT_TRUE(worker.Stop(500));
    EXPECT_EQ(gate.started, 1);
}

TEST_F(WorkerPairTest, AStopDuringAPassEndsTheWorkerAfterIt) {
    Gate gate;
    WorkerPair worker;
    ASSERT_TRUE(worker.Start([&] { gate.Enter(); }));
    worker.Wake();
    gate.WaitStarted(1);
    gate.Open();
    // Whether the pass has finished yet or not, the stop is not lost.
    EXPECT_TRUE(worker.Stop(500));
    EXPECT_EQ(gate.started, 1);
}

TEST_F(WorkerPairTest, AWorkerThatOverrunsItsGraceIsLeftRunning) {
    // What an abandoned worker can touch lives until the process exits.
    static Gate* const kept = new Gate;
    Gate& gate = *kept;
    const int before = WorkersLeftRunning();
    {
        WorkerPair worker;
        ASSERT_TRUE(worker.Start([&] { gate.Enter(); }));  // hangs until the gate opens
        worker.Wake();
        gate.WaitStarted(1);
        // Stop waits on the platform clock; move that clock on until it
        // gives up.
        std::atomic<bool> done{false};
        bool ended = true;
        std::thread stopper([&] {
            ended = worker.Stop(500);
            done = true;
        });
        while (!done) {
            platform::AdvanceVirtualClock(50);
            std::this_thread::yield();
        }
        stopper.join();
        EXPECT_FALSE(ended);
        EXPECT_FALSE(worker.IsRunning());
        EXPECT_EQ(WorkersLeftRunning(), before + 1);
    }
    // The abandoned thread still has its state: let it run to its end.
    gate.Open();
}

TEST_F(WorkerPairTest, CreationStartsTheWorkersThatExistAndShutdownEndsThem) {
    static Gate* gate = nullptr;
    Gate local;
    local.Open();
    gate = &local;
    g_hooks.listArtWork = [] { gate->Enter(); };
    EXPECT_EQ(OnCreate(), 0);
    EXPECT_TRUE(g_app.windowCreated);
    EXPECT_TRUE(g_listArtWorker.IsRunning());
    EXPECT_FALSE(g_artCacheWorker.IsRunning());  // its module is not built
    g_listArtWorker.Wake();
    local.WaitStarted(1);
    Shutdown();
    EXPECT_FALSE(g_listArtWorker.IsRunning());
    EXPECT_TRUE(g_app.artCacheAbort);
}

}  // namespace
}  // namespace kra
