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
#include "support/temp_tree.h"

namespace kra {
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
    static void Run(uint32_t ms) {
        for (uint32_t t = 0; t < ms; t += 10) {
            platform::AdvanceVirtualClock(10);
            platform::PumpPending();
        }
    }
};

TEST_F(TelephonyTest, RingWhilePausedMinimisesAndNeverResumes) {
    Event(7, kCallOffering);
    EXPECT_EQ(g_minimised, 1);
    EXPECT_FALSE(g_telephony.wasPlaying);
    EXPECT_EQ(g_toggles, 0);
    Event(7, kCallConnected);
    Event(7, kCallDisconnected);
    Run(10000);
    EXPECT_EQ(g_toggles, 0);
    EXPECT_TRUE(g_app.paused);
    EXPECT_FALSE(g_telephony.away);
}

TEST_F(TelephonyTest, RejectedRingResumesAfterExactlyTwoAndAHalfSeconds) {
    Play();
    Event(7, kCallOffering);
    EXPECT_EQ(g_toggles, 1);
    EXPECT_TRUE(g_app.paused);
    EXPECT_TRUE(g_telephony.wasPlaying);
    Event(7, kCallDisconnected);
    Run(2490);
    EXPECT_TRUE(g_app.paused);
    Run(10);
    EXPECT_FALSE(g_app.paused);
    EXPECT_EQ(g_toggles, 2);
    Run(5000);
    EXPECT_EQ(g_toggles, 2);
}

TEST_F(TelephonyTest, CallWaitingResumesOnlyAfterBothCalls) {
    Play();
    Event(1, kCallOffering);
    Event(1, kCallConnected);
    EXPECT_EQ(g_telephony.firstCall, 1u);
    Event(2, kCallOffering);  // waiting: no second pause
    EXPECT_EQ(g_toggles, 1);
    EXPECT_EQ(g_minimised, 1);
    Event(2, kCallConnected);
    EXPECT_EQ(g_telephony.secondCall, 2u);
    Event(1, kCallDisconnected);
    Run(5000);
    EXPECT_TRUE(g_app.paused);
    Event(2, kCallDisconnected);
    Run(2500);
    EXPECT_FALSE(g_app.paused);
    EXPECT_EQ(g_toggles, 2);
}

TEST_F(TelephonyTest, WaitingCallRejectedDuringACallDoesNotResume) {
    Play();
    Event(1, kCallOffering);
    Event(1, kCallConnected);
    Event(2, kCallOffering);
    Event(2, kCallDisconnected);  // rejected: call 1 still talks
    Run(5000);
    EXPECT_TRUE(g_app.paused);
    Event(1, kCallDisconnected);
    Run(2500);
    EXPECT_FALSE(g_app.paused);
}

TEST_F(TelephonyTest, AThirdConnectedCallHoldsTheResume) {
    Play();
    for (uint32_t call : {1u, 2u, 3u}) {
        Event(call, kCallOffering);
        Event(call, kCallConnected);
    }
    EXPECT_EQ(g_telephony.firstCall, 1u);
    EXPECT_EQ(g_telephony.secondCall, 2u);
    Event(1, kCallDisconnected);
    Event(2, kCallDisconnected);
    Run(5000);
    EXPECT_TRUE(g_app.paused);
    EXPECT_TRUE(g_telephony.callActive);
    Event(3, kCallDisconnected);
    Run(2500);
    EXPECT_FALSE(g_app.paused);
}

TEST_F(TelephonyTest, AbandonedDialResumes) {
    Play();
    Event(4, kCallDialling);
    EXPECT_EQ(g_toggles, 1);
    EXPECT_TRUE(g_telephony.dialling);
    Event(4, kCallDisconnected);
    EXPECT_FALSE(g_telephony.dialling);
    Run(2500);
    EXPECT_FALSE(g_app.paused);
}

TEST_F(TelephonyTest, RecordedCallEndingDuringADialIsClearedAndLaterCallsStillPause) {
    Play();
    Event(1, kCallOffering);
    Event(1, kCallConnected);
    Event(2, kCallDialling);
    Event(1, kCallDisconnected);  // the call being talked on ends while dialling
    EXPECT_EQ(g_telephony.firstCall, 0u);
    Run(5000);
    EXPECT_TRUE(g_app.paused) << "the dial is still going on";
    Event(2, kCallDisconnected);  // abandoned
    EXPECT_FALSE(g_telephony.callActive);
    Run(2500);
    EXPECT_FALSE(g_app.paused);
    // Nothing sticks: the next ring pauses again.
    Event(3, kCallOffering);
    EXPECT_TRUE(g_app.paused);
    EXPECT_EQ(g_toggles, 3);
}

TEST_F(TelephonyTest, ResumeAfterCallOffNeverResumes) {
    g_settings.resumeAfterCall = 0;
    Play();
    Event(1, kCallOffering);
    Event(1, kCallDisconnected);
    Event(2, kCallDialling);
    Event(2, kCallConnected);
    Event(2, kCallDisconnected);
    Run(10000);
    EXPECT_TRUE(g_app.paused);
    EXPECT_EQ(g_toggles, 1);
}

TEST_F(TelephonyTest, DataCallEndRestartsTheLinesAndLeavesPlaybackAlone) {
    Play();
    const uint32_t initsBefore = platform::SimulatedLineState().initCalls;
    Event(9, kCallConnected, platform::kMediaData);
    EXPECT_EQ(g_telephony.firstCall, 0u);
    Event(9, kCallDisconnected, platform::kMediaData);
    Run(1000);
    EXPECT_EQ(platform::SimulatedLineState().initCalls, initsBefore + 1);
    EXPECT_EQ(platform::SimulatedLineState().shutdowns, 1u);
    EXPECT_TRUE(g_telephony.lineApp);
    EXPECT_EQ(g_toggles, 0);
    EXPECT_FALSE(g_app.paused);
}

TEST_F(TelephonyTest, PlayPressedDuringTheCallOrInTheDelayKeepsPlaying) {
    Play();
    Event(1, kCallOffering);
    Event(1, kCallConnected);
    PressPlay();  // the user starts the music during the call
    Event(1, kCallDisconnected);
    Run(3000);
    EXPECT_FALSE(g_app.paused);
    EXPECT_EQ(g_toggles, 2);

    // Played again within the 2.5 s: the timer must not pause it.
    Event(2, kCallOffering);
    Event(2, kCallDisconnected);
    Run(1000);
    PressPlay();
    Run(3000);
    EXPECT_FALSE(g_app.paused);
    EXPECT_EQ(g_toggles, 4);
}

TEST_F(TelephonyTest, MusicPlayedAndPausedAgainDuringTheCallStaysPaused) {
    Play();
    Event(1, kCallOffering);
    PressPlay();
    PressPlay();
    Event(1, kCallDisconnected);
    Run(3000);
    EXPECT_TRUE(g_app.paused);
    EXPECT_EQ(g_toggles, 3);
}

TEST_F(TelephonyTest, SecondRingInTheDelayResumesOnlyAfterIt) {
    Play();
    Event(1, kCallOffering);
    Event(1, kCallDisconnected);
    Run(2000);
    Event(2, kCallOffering);  // rings before the resume
    EXPECT_TRUE(g_telephony.wasPlaying) << "kept while away for a call";
    Run(3000);
    EXPECT_TRUE(g_app.paused);
    Event(2, kCallConnected);
    Event(2, kCallDisconnected);
    Run(2490);
    EXPECT_TRUE(g_app.paused);
    Run(10);
    EXPECT_FALSE(g_app.paused);
    EXPECT_EQ(g_toggles, 2);
}

TEST_F(TelephonyTest, SecondRingAndDialDuringACallKeepWasPlaying) {
    Play();
    Event(1, kCallDialling);
    Event(1, kCallConnected);
    Event(2, kCallDialling);  // dial while connected pauses (already paused)
    EXPECT_TRUE(g_telephony.wasPlaying);
    Event(2, kCallConnected);
    Event(1, kCallDisconnected);
    Event(2, kCallDisconnected);
    Run(2500);
    EXPECT_FALSE(g_app.paused);
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

TEST_F(TelephonyTest, RestartKeepsWhatTheCallDecidedAboutTheMusic) {
    Play();
    Event(1, kCallOffering);
    Event(1, kCallDisconnected);
    // A data call ends within the delay: the lines restart.
    Event(9, kCallConnected, platform::kMediaData);
    Event(9, kCallDisconnected, platform::kMediaData);
    Run(2600);
    EXPECT_FALSE(g_app.paused);
    EXPECT_EQ(g_toggles, 2);
}

TEST_F(TelephonyTest, CloseKillsTimersAndIgnoresLateRestarts) {
    Play();
    Event(1, kCallOffering);
    Event(1, kCallDisconnected);
    platform::SetTimer(kTimerTelephony, 0);
    g_app.shutdownDone = true;
    g_hooks.telephonyShutdown();
    EXPECT_FALSE(platform::IsTimerSet(kTimerCallResume));
    EXPECT_FALSE(platform::IsTimerSet(kTimerTelephony));
    const uint32_t inits = platform::SimulatedLineState().initCalls;
    g_hooks.telephonyInit();  // a late 0x040E
    EXPECT_EQ(platform::SimulatedLineState().initCalls, inits);
    Run(5000);
    EXPECT_TRUE(g_app.paused);
}

class TelephonyInitTest : public TelephonyTest {
  protected:
    void SetUp() override {
        TelephonyTest::SetUp();
        ShutdownTelephony();
        g_debugOn = true;
        LogOpen(tree_.Core("kra.log"));
    }
    void TearDown() override {
        TelephonyTest::TearDown();
        LogClose();
        g_debugOn = false;
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

TEST_F(TelephonyInitTest, FailureCodesAndLines) {
    platform::SimulatedLineState().initResult = platform::kLineErrOperationUnavailable;
    EXPECT_EQ(InitTelephony("KRA"), platform::kLineErrOperationUnavailable);
    EXPECT_FALSE(g_telephony.lineApp);
    platform::SimulatedLineState().initResult = 0;
    platform::SimulatedLineState().devices = 0;
    EXPECT_EQ(InitTelephony("KRA"), platform::kLineErrNoDevice);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"TAPI: Initialize Fails 0x80000048",
                                                 "TAPI: There are no devices available"}));
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

TEST_F(TelephonyInitTest, LinesFillSlotsInOrderSkippingFailures) {
    platform::SimulatedLines& sim = platform::SimulatedLineState();
    sim.devices = 4;
    sim.failNegotiation = 0b0010;  // device 1: no slot
    sim.failOpen = 0b0100;         // device 2: logged, no slot
    EXPECT_EQ(InitTelephony("KRA"), 0u);
    EXPECT_EQ(g_telephony.lines, (std::vector<uint32_t>{1, 4, 0, 0}));
    EXPECT_EQ(Lines(), (std::vector<std::string>{"TAPI: Initialized version 0x20000",
                                                 "TAPI: Error 0x80000048"}));
}

TEST_F(TelephonyInitTest, CallLinesAndVoiceCheck) {
    ASSERT_EQ(InitTelephony("KRA"), 0u);
    Play();
    Event(3, kCallOffering);
    Event(3, kCallConnected);
    Event(3, kCallDisconnected);
    EXPECT_EQ(Lines(), (std::vector<std::string>{
                           "TAPI: Initialized version 0x20000",
                           "TAPI: IsVoiceCall=0x1 MediaMode=0x4",
                           "TAPI: IsVoiceCall=0x1 MediaMode=0x4",
                       }));
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
