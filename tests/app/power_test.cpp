// Screen-off, keep-awake, audio power and the power reports, on the virtual
// clock with the simulated power backend.
#include <gtest/gtest.h>

#include <optional>

#include "app/power.h"
#include "app/shell.h"
#include "app_test_util.h"
#include "device/telephony.h"
#include "platform/modem-lines.h"
#include "platform/power-services.h"
#include "platform/state-provider.h"
#include "support/pump.h"
#include "support/temp_tree.h"

namespace kra {
using test::RunClock;
namespace {

using platform::SimulatedPowerState;

std::vector<std::string> g_input;

class PowerTest : public test::ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        ClearRegisteredMessageHandlers();
        platform::SetWindowProc(&WindowProc);
        platform::UseSimulatedPower();
        ResetPowerState();
        g_input.clear();
        g_hooks.penDown = [](int x, int y) { Record("down", x, y); };
        g_hooks.penMove = [](int x, int y) { Record("move", x, y); };
        g_hooks.penUp = [](int x, int y) { Record("up", x, y); };
        g_hooks.keyUp = [](uint32_t key) { g_input.push_back("key " + std::to_string(key)); };
        InstallPowerHooks({});
        g_powerHost.isForeground = [] { return true; };
        g_app.lcdOffSupported = true;
        g_app.suspendTimeout = 59500;
        g_app.paused = false;
        PowerBatteryChanged(50, 0);
    }
    void TearDown() override {
        ShellTest::TearDown();
        ClearRegisteredMessageHandlers();
    }
    static void Record(const char* what, int x, int y) {
        g_input.push_back(std::string(what) + " " + std::to_string(x) + "," + std::to_string(y));
    }
    void StartLog() { log_.emplace(tree_); }
    std::vector<std::string> LogLines() { return log_->Messages(); }
    static const std::vector<bool>& Requests() { return SimulatedPowerState().panelRequests; }
    test::TempTree tree_;
    std::optional<test::LogCapture> log_;
};

TEST_F(PowerTest, ScreenOffTimersFollowTheirSettings) {
    // OffLCD = 0 and ACOffLCD = 0: never switched off on either source.
    g_settings.offLcd = 0;
    g_settings.acOffLcd = 0;
    for (uint8_t source : {0, 1}) {
        PowerBatteryChanged(50, source);
        SetAllTimer();
        RunClock(300000);
        EXPECT_TRUE(Requests().empty());
    }
    // On battery OffLCD counts; on external power ACOffLCD.
    g_settings.offLcd = 25;
    g_settings.acOffLcd = 40;
    PowerBatteryChanged(50, 0);
    SetAllTimer();
    RunClock(24990);
    EXPECT_TRUE(Requests().empty());
    RunClock(10);
    EXPECT_EQ(Requests(), std::vector<bool>{false});
    EXPECT_TRUE(g_power.screenOff);
    EXPECT_FALSE(platform::IsTimerSet(kTimerAnimation));

    ASSERT_TRUE(SetScreenOff(false));
    SimulatedPowerState().panelRequests.clear();
    PowerBatteryChanged(50, 1);
    SetAllTimer();
    RunClock(39990);
    EXPECT_TRUE(Requests().empty()) << "the battery timer does not act on external power";
    RunClock(10);
    EXPECT_EQ(Requests(), std::vector<bool>{false});
}

TEST_F(PowerTest, PausedNeitherSwitchesOffNorResetsTheIdleTimer) {
    g_app.paused = true;
    g_settings.acOffLcd = 10;
    for (uint8_t source : {0, 1}) {
        PowerBatteryChanged(50, source);
        SetAllTimer();
        RunClock(130000);
    }
    EXPECT_TRUE(Requests().empty());
    EXPECT_EQ(SimulatedPowerState().idleResets, 0u);
    EXPECT_FALSE(SimulatedPowerState().inhibitorHeld);
}

TEST_F(PowerTest, FullBatteryOnExternalPowerKeepsTheScreenLit) {
    g_settings.acOffLcd = 10;
    PowerBatteryChanged(100, 1);
    EXPECT_EQ(g_power.powerSource, 2);
    SetAllTimer();
    RunClock(60000);
    EXPECT_TRUE(Requests().empty());
    // 99 % on external power does act.
    PowerBatteryChanged(99, 1);
    EXPECT_EQ(g_power.powerSource, 1);
    RestartScreenOffTimers();
    RunClock(10000);
    EXPECT_EQ(Requests(), std::vector<bool>{false});
    // An unknown source (a desktop) never acts.
    ASSERT_TRUE(SetScreenOff(false));
    PowerBatteryChanged(255, 255);
    EXPECT_EQ(g_power.powerSource, 255);
    RestartScreenOffTimers();
    RunClock(60000);
    EXPECT_EQ(Requests(), (std::vector<bool>{false, true}));
}

TEST_F(PowerTest, ScreenOffTimerNeedsTheWindowInFrontAndThePanelOn) {
    g_powerHost.isForeground = [] { return false; };
    SetAllTimer();
    RunClock(30000);
    EXPECT_TRUE(Requests().empty());
    g_powerHost.isForeground = [] { return true; };
    OnPowerTransition(platform::kPowerStateIdle);  // the system has it off
    RestartScreenOffTimers();
    RunClock(30000);
    EXPECT_TRUE(Requests().empty());
}

TEST_F(PowerTest, RemoteCommandSwitchesOffOnlyWithinTwoAndAHalfSecondsOfScreenOn) {
    g_settings.offLcd = 0;
    NoteRemote();  // never switched on: nothing
    EXPECT_TRUE(Requests().empty());
    // The edge: 2,490 ms acts, 2,500 ms does not.
    ASSERT_TRUE(SetScreenOff(false));
    RunClock(2490);
    WindowProc(platform::kWmCommand, kCmdRemoteNext, 0);
    EXPECT_EQ(Requests(), (std::vector<bool>{true, false}));
    EXPECT_TRUE(g_power.screenOff);
    ASSERT_TRUE(SetScreenOff(false));
    RunClock(2500);
    WindowProc(platform::kWmCommand, kCmdRemotePause, 0);
    EXPECT_EQ(Requests(), (std::vector<bool>{true, false, true}));
    EXPECT_FALSE(g_power.screenOff);
}

TEST_F(PowerTest, FailedPanelRequestChangesNothing) {
    SimulatedPowerState().panelRequestOk = false;
    EXPECT_FALSE(SetScreenOff(true));
    EXPECT_FALSE(g_power.screenOff);
    ToggleScreenByKey();
    EXPECT_FALSE(g_power.screenToggledOff);
    SimulatedPowerState().panelRequestOk = true;
    ToggleScreenByKey();
    EXPECT_TRUE(g_power.screenToggledOff);
    EXPECT_TRUE(g_power.screenOff);
    SimulatedPowerState().panelRequestOk = false;
    ToggleScreenByKey();  // cannot come on: stays off, no longer toggled
    EXPECT_TRUE(g_power.screenOff);
    EXPECT_FALSE(SimulatedPowerState().panelOn);
}

TEST_F(PowerTest, ScreenKeyAndOtherKeys) {
    g_settings.offLcd = 0;
    WindowProc(platform::kWmKeyUp, 0x25, 0);  // another key while on: passed on
    ToggleScreenByKey();
    EXPECT_TRUE(g_power.screenToggledOff);
    // Keys act while the panel is off and leave the toggle alone.
    WindowProc(platform::kWmKeyUp, 0x0D, 0);
    EXPECT_TRUE(g_power.screenToggledOff);
    ToggleScreenByKey();
    EXPECT_FALSE(g_power.screenOff);
    EXPECT_FALSE(g_power.screenToggledOff);
    EXPECT_EQ(g_input, (std::vector<std::string>{"key 37", "key 13"}));
    // A panel the timer switched off comes on with the key.
    g_settings.offLcd = 5;
    RestartScreenOffTimers();
    RunClock(5000);
    ASSERT_TRUE(g_power.screenOff);
    ToggleScreenByKey();
    EXPECT_FALSE(g_power.screenOff);
}

TEST_F(PowerTest, TouchOnADarkPanelSwitchesItOnAndIsSwallowed) {
    g_settings.offLcd = 5;
    SetAllTimer();
    RunClock(5000);
    ASSERT_TRUE(g_power.screenOff);
    WindowProc(platform::kWmLButtonDown, 0, 10 | 20 << 16);
    WindowProc(platform::kWmMouseMove, 0, 15 | 20 << 16);
    WindowProc(platform::kWmLButtonUp, 0, 15 | 20 << 16);
    EXPECT_FALSE(g_power.screenOff);
    EXPECT_TRUE(g_input.empty());
    EXPECT_TRUE(platform::IsTimerSet(kTimerScreenOff)) << "reported as screen on: timers re-armed";
    // The next press is the user's.
    WindowProc(platform::kWmLButtonDown, 0, 1 | 2 << 16);
    WindowProc(platform::kWmLButtonUp, 0, 1 | 2 << 16);
    EXPECT_EQ(g_input, (std::vector<std::string>{"down 1,2", "up 1,2"}));
    // A panel the system switched off is not this program's to swallow for.
    g_input.clear();
    OnPowerTransition(platform::kPowerStateIdle);
    WindowProc(platform::kWmLButtonDown, 0, 1 | 2 << 16);
    EXPECT_EQ(g_input, std::vector<std::string>{"down 1,2"});
}

TEST_F(PowerTest, KeepAwakeHoldsTheInhibitorOneSystemTimeoutPastTheLastReset) {
    g_app.suspendTimeout = 2500;  // a 3 s system timeout
    SetAllTimer();
    RunClock(2500);
    EXPECT_EQ(SimulatedPowerState().idleResets, 1u);
    EXPECT_TRUE(SimulatedPowerState().inhibitorHeld);
    RunClock(2500);
    EXPECT_EQ(SimulatedPowerState().idleResets, 2u);
    g_app.paused = true;  // at 5,000 ms, just after the last reset
    RunClock(2990);
    EXPECT_TRUE(SimulatedPowerState().inhibitorHeld);
    RunClock(10);
    EXPECT_FALSE(SimulatedPowerState().inhibitorHeld);
    RunClock(20000);
    EXPECT_EQ(SimulatedPowerState().idleResets, 2u);
}

TEST_F(PowerTest, SuspendTimeoutsFromTheSystem) {
    const auto run = [](uint32_t battery, uint32_t external) {
        platform::RegClearState();
        SimulatedPowerState().timeouts = {battery, external};
        g_hooks.queryLcdOff();
        for (const ShellStep& step : InitApplicationSteps()) {
            if (step.number == 22) step.run();
        }
        return g_app.suspendTimeout;
    };
    EXPECT_EQ(run(60, 60), 59500u);
    EXPECT_EQ(run(0, 0), 998500u);
    EXPECT_EQ(run(120, 60), 59500u);
}

TEST_F(PowerTest, PowerTransitions) {
    StartLog();
    g_settings.offLcd = 25;
    OnPowerTransition(platform::kPowerStateIdle);
    EXPECT_TRUE(g_power.screenOff);
    EXPECT_FALSE(platform::IsTimerSet(kTimerAnimation));
    RunClock(1000);
    OnPowerTransition(platform::kPowerStateOn);
    EXPECT_FALSE(g_power.screenOff);
    EXPECT_EQ(g_power.lastScreenOn, platform::TickCount());
    EXPECT_TRUE(platform::IsTimerSet(kTimerAnimation));
    EXPECT_TRUE(platform::IsTimerSet(kTimerScreenOff));
    OnPowerTransition(0x00010000);  // another state: logged only
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"Power State: 0x100000 LCD 0",
                                                    "Power State: 0x10000000 LCD 1", "LCD ON",
                                                    "Power State: 0x10000 LCD 0"}));
}

TEST_F(PowerTest, UserBackSwitchesOnAPanelThisProgramSwitchedOff) {
    ASSERT_TRUE(SetScreenOff(true));
    WindowProc(platform::kMsgPowerTransition, platform::kPowerStateOn, 0);
    EXPECT_TRUE(SimulatedPowerState().panelOn);
    EXPECT_FALSE(g_power.screenOff);
}

TEST_F(PowerTest, PanelLinesAndUnsupportedHardware) {
    StartLog();
    ASSERT_TRUE(SetScreenOff(true));
    ASSERT_TRUE(SetScreenOff(false));
    g_app.lcdOffSupported = false;
    EXPECT_FALSE(SetScreenOff(true));
    EXPECT_EQ(LogLines(),
              (std::vector<std::string>{"Off LCD 4", "Off LCD 1", "h/w not support off LCD"}));
    EXPECT_EQ(Requests(), (std::vector<bool>{false, true}));
}

TEST_F(PowerTest, AudioPowerIsHeldOnceAndReleased) {
    StartLog();
    PowerUpAudio();
    const uintptr_t handle = g_power.audioPowerHandle;
    EXPECT_NE(handle, 0u);
    EXPECT_TRUE(g_app.audioPowerHeld);
    PowerUpAudio();  // held: nothing asked
    EXPECT_EQ(SimulatedPowerState().audioRequirements, 1u);
    ReleaseAudio();
    EXPECT_EQ(SimulatedPowerState().audioHandle, 0u);
    EXPECT_FALSE(g_app.audioPowerHeld);
    // Linux: the query fails and the device stays unmanaged.
    platform::UseLinuxPower();
    PowerUpAudio();
    EXPECT_EQ(g_power.audioPowerHandle, 0u);
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"PowerUp WAV 0 (0)",
                                                    "Restore WAV " + std::to_string(handle),
                                                    "PowerUp WAV -1 (50)"}));
}

TEST_F(PowerTest, BatteryReadingsSetThePowerSourceOnceEach) {
    StartLog();
    platform::PostMessage(platform::kMsgBatteryState, 15, 0);
    platform::PostMessage(platform::kMsgBatteryState, 15, 0);  // a repeat
    platform::PostMessage(platform::kMsgBatteryState, 100, 1);
    platform::PumpPending();
    EXPECT_EQ(g_power.powerSource, 2);
    EXPECT_EQ(g_power.batteryPercent, 100);
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"Battery:15 0", "Battery:100 1"}));
}

TEST_F(PowerTest, WatcherThatCannotStartIsLogged) {
    StartLog();
    SimulatedPowerState().watcherStarts = false;
    g_hooks.startPowerWatcher();
    g_hooks.stopPowerWatcher();  // nothing started: nothing to join
    EXPECT_EQ(LogLines(), std::vector<std::string>{
                              "Error: couldn't create MsgQueue or request PowerNotifications"});
}

TEST_F(PowerTest, StoppingTheWatcherLeavesNothingArmedOrHeld) {
    SetAllTimer();
    ASSERT_TRUE(SetScreenOff(true));
    g_hooks.keepAwake();
    ASSERT_TRUE(SimulatedPowerState().inhibitorHeld);
    g_hooks.startPowerWatcher();
    g_hooks.stopPowerWatcher();
    EXPECT_FALSE(platform::PowerWatcherRunning());
    EXPECT_FALSE(platform::IsTimerSet(kTimerKeepAwake));
    EXPECT_FALSE(platform::IsTimerSet(kTimerIdleRelease));
    EXPECT_FALSE(SimulatedPowerState().inhibitorHeld);
    EXPECT_TRUE(SimulatedPowerState().panelOn);
}

// Quitting soon after a call: the shutdown runs in order, nothing of the call
// handling or the keep-awake stays armed, and a late restart is ignored.
TEST_F(PowerTest, QuitOneSecondAfterACallEnded) {
    platform::UseSimulatedLines();
    ResetTelephony();
    StartLog();
    static int toggles = 0;
    toggles = 0;
    g_hooks.togglePause = [] {
        ++toggles;
        g_app.paused = !g_app.paused;
    };
    InstallTelephonyHooks(&RegisterMessageHandler);
    g_telephonyHost.minimize = [] {};
    g_app.trackLoaded = true;
    ASSERT_EQ(InitTelephony("KRA"), 0u);
    SetAllTimer();
    g_hooks.startPowerWatcher();

    platform::SimulateCallState(1, platform::kCallOffering);
    platform::SimulateCallState(1, platform::kCallDisconnected);
    platform::PumpPending();
    ASSERT_EQ(toggles, 1);
    platform::AdvanceVirtualClock(1000);
    platform::PumpPending();
    ASSERT_TRUE(platform::IsTimerSet(kTimerCallResume));

    const uint32_t inits = platform::SimulatedLineState().initCalls;
    WindowProc(platform::kWmClose, 0, 0);
    platform::PostMessage(kMsgRestartTelephony, 0, 0);  // arrives after the end
    for (uint32_t id : {uint32_t(kTimerKeepAwake), uint32_t(kTimerTelephony),
                        uint32_t(kTimerCallResume), kTimerIdleRelease})
        EXPECT_FALSE(platform::IsTimerSet(id)) << id;
    platform::PumpPending();
    platform::AdvanceVirtualClock(5000);
    platform::PumpPending();
    EXPECT_EQ(toggles, 1) << "no resume after the end";
    EXPECT_EQ(platform::SimulatedLineState().initCalls, inits);
    EXPECT_FALSE(platform::PowerWatcherRunning());

    std::vector<std::string> closing, expected;
    for (const std::string& line : LogLines())
        if (line.rfind("Closing ", 0) == 0) closing.push_back(line);
    for (int i = 1; i <= 10; ++i) expected.push_back("Closing " + std::to_string(i));
    EXPECT_EQ(closing, expected);
}

}  // namespace
}  // namespace kra
