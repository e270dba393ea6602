// Posting from many threads while the main thread runs the loop.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/message_loop.h"

namespace kra::platform {
namespace {

constexpr int kThreads = 6;
constexpr int kPerThread = 4000;
constexpr uint32_t kMsg = 0x8100;

std::vector<intptr_t> g_next;  // per thread: the sequence number expected next
int g_total = 0;
int g_outOfOrder = 0;

intptr_t Count(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message != kMsg) return 0;
    if (g_next[wParam] != lParam) ++g_outOfOrder;
    g_next[wParam] = lParam + 1;
    if (++g_total == kThreads * kPerThread) PostQuitMessage(0);
    return 0;
}

TEST(LoopThreaded, ManyPostersKeepTheirOrderAndNothingIsLost) {
    UseVirtualClock(0);
    ResetMessageLoop();
    SetWindowProc(Count);
    g_next.assign(kThreads, 0);
    g_total = 0;
    g_outOfOrder = 0;
    std::atomic<bool> go{false};
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([t, &go] {
            while (!go.load()) std::this_thread::yield();
            for (int i = 0; i < kPerThread; ++i) ASSERT_TRUE(PostMessage(kMsg, uintptr_t(t), i));
        });
    }
    go = true;
    // The loop waits on the queue with no timer set: it must wake for posts
    // that arrive while it sleeps.
    EXPECT_EQ(RunLoop(), 0);
    for (auto& p : posters) p.join();
    EXPECT_EQ(g_total, kThreads * kPerThread);
    EXPECT_EQ(g_outOfOrder, 0);
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(g_next[t], kPerThread);
    ResetMessageLoop();
    SetWindowProc(nullptr);
}

intptr_t QuitOnFirst(uint32_t message, uintptr_t, intptr_t) {
    if (message == kMsg) PostQuitMessage(3);
    return 0;
}

TEST(LoopThreaded, PostsRacingTheEndAreRefusedNotLost) {
    UseVirtualClock(0);
    ResetMessageLoop();
    SetWindowProc(QuitOnFirst);
    std::atomic<int> accepted{0};
    std::atomic<bool> stop{false};
    std::thread poster([&] {
        while (!stop.load())
            if (PostMessage(kMsg, 0, 0)) accepted.fetch_add(1);
    });
    while (accepted.load() == 0) std::this_thread::yield();
    EXPECT_EQ(RunLoop(), 3);
    // Once the loop has ended every further post reports failure.
    EXPECT_FALSE(PostMessage(kMsg, 0, 0));
    stop = true;
    poster.join();
    EXPECT_FALSE(PostMessage(kMsg, 0, 0));
    ResetMessageLoop();
    SetWindowProc(nullptr);
}

}  // namespace
}  // namespace kra::platform
