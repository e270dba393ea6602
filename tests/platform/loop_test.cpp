// Message queue and timer behaviour on the virtual clock.
#include <gtest/gtest.h>

#include <vector>

#include "platform/clock.h"
#include "platform/message_loop.h"

namespace kra::platform {
namespace {

struct Seen {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    uint32_t tick;
};

std::vector<Seen> g_seen;
// What the procedure does besides recording; set per test.
intptr_t (*g_react)(uint32_t, uintptr_t, intptr_t) = nullptr;

intptr_t Record(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    g_seen.push_back({message, wParam, lParam, TickCount()});
    return g_react ? g_react(message, wParam, lParam) : 0;
}

class LoopTest : public ::testing::Test {
  protected:
    void SetUp() override {
        UseVirtualClock(1000);
        ResetMessageLoop();
        SetWindowProc(Record);
        g_seen.clear();
        g_react = nullptr;
    }
    void TearDown() override {
        ResetMessageLoop();
        SetWindowProc(nullptr);
    }
    std::vector<uint32_t> TimerTicks(uintptr_t id) {
        std::vector<uint32_t> ticks;
        for (const Seen& s : g_seen)
            if (s.message == kWmTimer && s.wParam == id) ticks.push_back(s.tick);
        return ticks;
    }
};

TEST_F(LoopTest, PostedMessagesArriveInOrderAndQuitStopsBehindQueuedOnes) {
    PostMessage(0x8013, 1, -1);
    PostMessage(kWmCommand, 101, 0);
    PostQuitMessage(7);
    PostMessage(kWmCommand, 102, 0);  // behind the quit: never delivered
    EXPECT_EQ(RunLoop(), 7);
    ASSERT_EQ(g_seen.size(), 2u);
    EXPECT_EQ(g_seen[0].message, 0x8013u);
    EXPECT_EQ(g_seen[0].lParam, -1);
    EXPECT_EQ(g_seen[1].wParam, 101u);
    int code = 0;
    EXPECT_TRUE(LoopEnded(&code));
    EXPECT_EQ(code, 7);
    EXPECT_FALSE(PostMessage(kWmCommand, 103, 0));
    EXPECT_EQ(PumpPending(), 0);

    ResetMessageLoop();
    EXPECT_FALSE(LoopEnded());
    EXPECT_TRUE(PostMessage(kWmCommand, 104, 0));
    EXPECT_EQ(PumpPending(), 1);
}

TEST_F(LoopTest, SendMessageCallsTheProcedureAtOnce) {
    g_react = [](uint32_t m, uintptr_t, intptr_t) -> intptr_t { return m == kWmEraseBkgnd; };
    PostMessage(kWmPaint, 0, 0);
    EXPECT_EQ(SendMessage(kWmEraseBkgnd, 0, 0), 1);
    ASSERT_EQ(g_seen.size(), 1u);  // the posted paint still waits
    EXPECT_EQ(g_seen[0].message, kWmEraseBkgnd);
}

TEST_F(LoopTest, IdleLoopJumpsTheVirtualClockToEachDueTimer) {
    SetTimer(0x405, 60);
    SetTimer(0x407, 100);
    g_react = [](uint32_t m, uintptr_t, intptr_t) -> intptr_t {
        if (m == kWmTimer && TickCount() >= 1300) PostQuitMessage(0);
        return 0;
    };
    EXPECT_EQ(RunLoop(), 0);
    EXPECT_EQ(TimerTicks(0x405), (std::vector<uint32_t>{1060, 1120, 1180, 1240, 1300}));
    // At 1300 both are due; the quit waits in the queue behind the pass.
    EXPECT_EQ(TimerTicks(0x407), (std::vector<uint32_t>{1100, 1200, 1300}));
    EXPECT_EQ(TickCount(), 1300u);
}

TEST_F(LoopTest, SetTimerAgainRearmsFromNowAndKillStopsIt) {
    SetTimer(0x40A, 100);
    AdvanceVirtualClock(50);
    SetTimer(0x40A, 100);  // re-armed: due at 1150, not 1100
    AdvanceVirtualClock(60);
    EXPECT_EQ(PumpPending(), 0);
    AdvanceVirtualClock(40);
    EXPECT_EQ(PumpPending(), 1);
    EXPECT_EQ(TimerTicks(0x40A), std::vector<uint32_t>{1150});
    EXPECT_TRUE(IsTimerSet(0x40A));
    KillTimer(0x40A);
    EXPECT_FALSE(IsTimerSet(0x40A));
    AdvanceVirtualClock(1000);
    EXPECT_EQ(PumpPending(), 0);
}

TEST_F(LoopTest, LateTimerFiresOnceThenKeepsItsPeriodFromDelivery) {
    SetTimer(1, 60);
    AdvanceVirtualClock(1000);  // many periods overdue: one WM_TIMER, no backlog
    EXPECT_EQ(PumpPending(), 1);
    AdvanceVirtualClock(59);
    EXPECT_EQ(PumpPending(), 0);
    AdvanceVirtualClock(1);
    EXPECT_EQ(PumpPending(), 1);
}

TEST_F(LoopTest, ZeroPeriodTimerFiresOncePerPumpAndOneShotKillWorks) {
    SetTimer(0x406, 0);  // never killed: must not spin the pump
    EXPECT_EQ(PumpPending(), 1);
    EXPECT_EQ(PumpPending(), 1);
    KillTimer(0x406);

    g_react = [](uint32_t m, uintptr_t w, intptr_t) -> intptr_t {
        if (m == kWmTimer) KillTimer(uint32_t(w));  // one-shot
        return 0;
    };
    SetTimer(0x411, 0);
    SetTimer(0x408, 80);
    EXPECT_EQ(PumpPending(), 1);
    AdvanceVirtualClock(80);
    EXPECT_EQ(PumpPending(), 1);
    AdvanceVirtualClock(1000);
    EXPECT_EQ(PumpPending(), 0);
}

TEST_F(LoopTest, TimersSurviveTheTickCountWrap) {
    UseVirtualClock(0xFFFFFFF0u);
    SetTimer(3, 32);
    AdvanceVirtualClock(31);  // 0x0000000F after the wrap: not yet due
    EXPECT_EQ(PumpPending(), 0);
    AdvanceVirtualClock(1);
    EXPECT_EQ(PumpPending(), 1);
    EXPECT_EQ(TimerTicks(3), std::vector<uint32_t>{0x10});
}

TEST_F(LoopTest, PumpDeliversWhatHandlersPostButEndsOnEndlessReposts) {
    g_react = [](uint32_t m, uintptr_t w, intptr_t) -> intptr_t {
        if (m == kWmCommand && w < 3) PostMessage(kWmCommand, w + 1, 0);
        return 0;
    };
    PostMessage(kWmCommand, 0, 0);
    EXPECT_EQ(PumpPending(), 4);

    g_react = [](uint32_t m, uintptr_t, intptr_t) -> intptr_t {
        if (m == kWmNull) PostMessage(kWmNull, 0, 0);
        return 0;
    };
    PostMessage(kWmNull, 0, 0);
    EXPECT_GT(PumpPending(), 0);  // returns although the handler never stops
}

TEST_F(LoopTest, RepostingHandlerDoesNotStarveTimers) {
    // The handler keeps the queue non-empty forever; time passes through
    // the clock's Sleep, and the due timer must still get its turn.
    g_react = [](uint32_t m, uintptr_t, intptr_t) -> intptr_t {
        if (m == kWmNull) {
            Sleep(1);
            PostMessage(kWmNull, 0, 0);
        }
        if (m == kWmTimer) PostQuitMessage(5);
        return 0;
    };
    SetTimer(9, 10);
    PostMessage(kWmNull, 0, 0);
    EXPECT_EQ(RunLoop(), 5);
    EXPECT_EQ(TimerTicks(9), std::vector<uint32_t>{1010});
}

TEST_F(LoopTest, NestedPumpFromAHandlerDeliversInOrder) {
    // A synchronous animation pumps from inside a handler.
    g_react = [](uint32_t m, uintptr_t w, intptr_t) -> intptr_t {
        if (m == kWmCommand && w == 1) {
            PostMessage(kWmCommand, 2, 0);
            PumpPending();
        }
        return 0;
    };
    PostMessage(kWmCommand, 1, 0);
    PostMessage(kWmCommand, 3, 0);
    PumpPending();
    std::vector<uintptr_t> order;
    for (const Seen& s : g_seen) order.push_back(s.wParam);
    EXPECT_EQ(order, (std::vector<uintptr_t>{1, 3, 2}));
}

}  // namespace
}  // namespace kra::platform
