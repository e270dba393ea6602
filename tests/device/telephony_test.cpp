// Call handling driven by scripted call events on the virtual clock.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/base/app_state.h"
#include "app/base/debug_log.h"
#include "app/base/hooks.h"
#include "app/base/settings.h"
#include "device/telephony.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/message_loop.h"
#include "platform/modem-lines.h"
#include "platform/registry.h"
#include "support/pump.h"
#include "support/temp_tree.h"

namespace kra {
using test::RunClock;
namespace {

using platform::kCallConnected;
using platform::kCallDialling;
using platform::kCallDisconnected;
using platform::kCallOffering;

int g_toggles = 0;
int g_minimised = 0;

// The rows of the main window's tables the call handling relies on.
intptr_t Proc(uint32_t message, uintptr_t wParam, intptr_t) {
    if (message == platform::kMsgLineEvents) {
        HandleLineEvents();
    } else if (message == platform::kWmTimer && wParam == kTimerCallResume) {
        platform::KillTimer(kTimerCallResume);
        g_hooks.callEndResume();
    } else if (message == platform::kWmTimer && wParam == kTimerTelephony) {
        platform::KillTimer(kTimerTelephony);
        g_hooks.telephonyShutdown();
        platform::Sleep(500);
        g_hooks.telephonyInit();
    }
    return 0;
}

// One call event, and how long to wait after it.
struct Step {
    uint32_t call, state;
    uint32_t waitMs = 5000;
};

class TelephonyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::UseVirtualClock(50000);
        platform::ResetMessageLoop();
        platform::SetWindowProc(&Proc);
        platform::RegistryUseMemory();
        platform::UseSimulatedLines();
        ResetAppState();
        ResetAppHooks();
        ResetSettings();
        ResetTelephony();
        g_toggles = 0;
        g_minimised = 0;
        g_hooks.togglePause = [] {
            ++g_toggles;
            g_app.paused = !g_app.paused;
            // The player's resume path tells the call handling.
            if (!g_app.paused) NotePlaybackResumed();
        };
        g_telephonyHost.minimize = [] { ++g_minimised; };
        InstallTelephonyHooks(nullptr);
        g_app.trackLoaded = true;
        ASSERT_EQ(InitTelephony("KRA"), 0u);
    }
    void TearDown() override {
        LogClose();
        g_debugOn = false;
        platform::ResetMessageLoop();
    }
    static void Play() { g_app.paused = false; }
    // The user's play/pause key.
    static void PressPlay() { g_hooks.togglePause(); }
    static void Event(uint32_t call, uint32_t state, uint32_t mode = 4) {
        platform::SimulateCallState(call, state, mode);
        platform::PumpPending();
    }
    static Step Ring(uint32_t call) { return {call, kCallOffering}; }
    static Step Dial(uint32_t call) { return {call, kCallDialling}; }
    static Step Talk(uint32_t call) { return {call, kCallConnected}; }
    static Step End(uint32_t call, uint32_t waitMs = 5000) {
        return {call, kCallDisconnected, waitMs};
    }
};

TEST_F(TelephonyTest, NoResumeForMusicThatWasPausedOrWithResumeOff) {
    // Paused when the call rings: minimised all the same, never resumed.
    Event(7, kCallOffering);
    EXPECT_EQ(g_minimised, 1);
    Event(7, kCallConnected);
    Event(7, kCallDisconnected);
    RunClock(10000);
    EXPECT_EQ(g_toggles, 0);
    EXPECT_TRUE(g_app.paused);
    EXPECT_FALSE(g_telephony.away);

    g_settings.resumeAfterCall = 0;
    Play();
    Event(1, kCallOffering);
    Event(1, kCallDisconnected);
    Event(2, kCallDialling);
    Event(2, kCallConnected);
    Event(2, kCallDisconnected);
    RunClock(10000);
    EXPECT_TRUE(g_app.paused);
    EXPECT_EQ(g_toggles, 1);
}

// Call orders that pause the music at their first event and must keep it
// paused until their last call has ended; the scripts run one after another,
// so nothing may stick from one to the next.
struct Script {
    const char* name;
    std::vector<Step> steps;
    int minimised;
};

TEST_F(TelephonyTest, MusicResumesTwoAndAHalfSecondsAfterTheLastCallEnds) {
    const Script scripts[] = {
        {"rejected ring", {Ring(7), End(7)}, 1},
        {"abandoned dial", {Dial(4), End(4)}, 1},
        {"call waiting", {Ring(1), Talk(1), Ring(2), Talk(2), End(1), End(2)}, 1},
        {"waiting call rejected", {Ring(1), Talk(1), Ring(2), End(2), End(1)}, 1},
        {"three calls",
         {Ring(1), Talk(1), Ring(2), Talk(2), Ring(3), Talk(3), End(1), End(2), End(3)},
         1},
        {"recorded call ends in a dial", {Ring(1), Talk(1), Dial(2), End(1), End(2)}, 2},
        // A dial during a call pauses again and keeps what the first call knew.
        {"dial during a call", {Dial(1), Talk(1), Dial(2), Talk(2), End(1), End(2)}, 2},
        {"second ring in the delay", {Ring(1), End(1, 2000), Ring(2), Talk(2), End(2)}, 2},
    };
    int toggles = 0;
    for (const Script& script : scripts) {
        SCOPED_TRACE(script.name);
        Play();
        g_minimised = 0;
        for (size_t i = 0; i + 1 < script.steps.size(); ++i) {
            Event(script.steps[i].call, script.steps[i].state);
            RunClock(script.steps[i].waitMs);
            EXPECT_TRUE(g_app.paused) << "after step " << i;
        }
        Event(script.steps.back().call, script.steps.back().state);
        RunClock(2490);
        EXPECT_TRUE(g_app.paused);
        RunClock(10);
        EXPECT_FALSE(g_app.paused);
        toggles += 2;  // one pause, one resume
        EXPECT_EQ(g_toggles, toggles);
        EXPECT_EQ(g_minimised, script.minimised);
    }
}

TEST_F(TelephonyTest, DataCallEndRestartsTheLinesAndKeepsWhatACallDecided) {
    Play();
    const uint32_t initsBefore = platform::SimulatedLineState().initCalls;
    Event(9, kCallConnected, platform::kMediaData);
    EXPECT_EQ(g_telephony.firstCall, 0u);
    Event(9, kCallDisconnected, platform::kMediaData);
    RunClock(1000);
    EXPECT_EQ(platform::SimulatedLineState().initCalls, initsBefore + 1);
    EXPECT_EQ(platform::SimulatedLineState().shutdowns, 1u);
    EXPECT_TRUE(g_telephony.lineApp);
    EXPECT_EQ(g_toggles, 0);
    EXPECT_FALSE(g_app.paused);

    // A data call ending within a voice call's resume delay: the restart
    // keeps the pending resume.
    Event(1, kCallOffering);
    Event(1, kCallDisconnected);
    Event(9, kCallConnected, platform::kMediaData);
    Event(9, kCallDisconnected, platform::kMediaData);
    RunClock(2600);
    EXPECT_EQ(platform::SimulatedLineState().shutdowns, 2u);
    EXPECT_FALSE(g_app.paused);
    EXPECT_EQ(g_toggles, 2);
}

TEST_F(TelephonyTest, WhatTheUserPressesDuringACallWins) {
    Play();
    Event(1, kCallOffering);
    Event(1, kCallConnected);
    PressPlay();  // the user starts the music during the call
    Event(1, kCallDisconnected);
    RunClock(3000);
    EXPECT_FALSE(g_app.paused);
    EXPECT_EQ(g_toggles, 2);

    // Played again within the 2.5 s: the timer must not pause it.
    Event(2, kCallOffering);
    Event(2, kCallDisconnected);
    RunClock(1000);
    PressPlay();
    RunClock(3000);
    EXPECT_FALSE(g_app.paused);
    EXPECT_EQ(g_toggles, 4);

    // Played and paused again during the call: it stays paused.
    Event(3, kCallOffering);
    PressPlay();
    PressPlay();
    Event(3, kCallDisconnected);
    RunClock(3000);
    EXPECT_TRUE(g_app.paused);
    EXPECT_EQ(g_toggles, 7);
}

TEST_F(TelephonyTest, CallsAlreadyUpAtARestartAreRecordedWithoutPausing) {
    Play();
    ShutdownTelephony();
    platform::SimulateExistingCall(5, kCallConnected);
    ASSERT_EQ(InitTelephony("KRA"), 0u);
    platform::PumpPending();
    EXPECT_EQ(g_telephony.firstCall, 5u);
    EXPECT_TRUE(g_telephony.callActive);
    EXPECT_EQ(g_toggles, 0);
    EXPECT_FALSE(g_app.paused);
}

class TelephonyInitTest : public TelephonyTest {
  protected:
    void SetUp() override {
        TelephonyTest::SetUp();
        ShutdownTelephony();
        g_debugOn = true;
        LogOpen(tree_.Core("kra.log"));
    }
    // The telephony messages of the log, in order.
    std::vector<std::string> Lines() {
        LogClose();
        std::vector<std::string> lines;
        for (const std::string& message : test::DebugLogMessages(tree_.Core("kra.log")))
            if (message.rfind("TAPI", 0) == 0) lines.push_back(message);
        return lines;
    }
    // A folder of its own: the tests of this file run side by side.
    test::TempTree tree_;
};

TEST_F(TelephonyInitTest, FailuresAndLinesFillingSlotsInOrder) {
    platform::SimulatedLines& sim = platform::SimulatedLineState();
    sim.initResult = platform::kLineErrOperationUnavailable;
    EXPECT_EQ(InitTelephony("KRA"), platform::kLineErrOperationUnavailable);
    EXPECT_FALSE(g_telephony.lineApp);
    sim.initResult = 0;
    sim.devices = 0;
    EXPECT_EQ(InitTelephony("KRA"), platform::kLineErrNoDevice);
    ShutdownTelephony();
    sim.devices = 4;
    sim.failNegotiation = 0b0010;  // device 1: no slot
    sim.failOpen = 0b0100;         // device 2: logged, no slot
    EXPECT_EQ(InitTelephony("KRA"), 0u);
    EXPECT_EQ(g_telephony.lines, (std::vector<uint32_t>{1, 4, 0, 0}));
    EXPECT_EQ(Lines(), (std::vector<std::string>{
                           "TAPI: Initialize Fails 0x80000048",
                           "TAPI: There are no devices available",
                           "TAPI: Initialized version 0x20000",
                           "TAPI: Error 0x80000048",
                       }));
}

TEST_F(TelephonyInitTest, ReinitialisationIsRetriedForFiveSeconds) {
    platform::SimulatedLineState().reinitReplies = 3;
    EXPECT_EQ(InitTelephony("KRA"), 0u);
    EXPECT_EQ(platform::SimulatedLineState().initCalls, 1u + 4u);  // SetUp's, 3 refused, 1 taken
    ShutdownTelephony();
    platform::SimulatedLineState().reinitReplies = 1000000;
    const uint32_t start = platform::TickCount();
    EXPECT_EQ(InitTelephony("KRA"), platform::kLineErrReinit);
    const uint32_t spent = platform::TickCount() - start;
    EXPECT_GE(spent, 5000u);
    EXPECT_LT(spent, 5200u);
    EXPECT_EQ(Lines().back(), "TAPI: Initialize Fails 0x80000052");
}

TEST_F(TelephonyInitTest, AnEndedCallsRecordOutlivesItsDisconnectOnly) {
    ASSERT_EQ(InitTelephony("KRA"), 0u);
    platform::SimulateCallState(3, kCallConnected);
    platform::SimulateCallState(3, kCallDisconnected);
    uint32_t mode = 0;
    // Still readable while the disconnect is handled ...
    auto events = platform::TakeLineEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_TRUE(platform::LineCallMediaMode(3, &mode));
    EXPECT_EQ(mode, 4u);
    // ... and gone at the next take.
    platform::TakeLineEvents();
    EXPECT_FALSE(platform::LineCallMediaMode(3, &mode));
}

}  // namespace
}  // namespace kra
