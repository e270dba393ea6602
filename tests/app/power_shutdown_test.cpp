// Quitting soon after a call: the shutdown runs in order, nothing of the call
// handling or the keep-awake stays armed, and a late restart is ignored.
#include <gtest/gtest.h>

#include "app/power.h"
#include "app/shell.h"
#include "app_test_util.h"
#include "device/telephony.h"
#include "platform/modem-lines.h"
#include "platform/power-services.h"

namespace kra {
namespace {

class PowerShutdownTest : public test::ShellTest {};

TEST_F(PowerShutdownTest, QuitOneSecondAfterACallEnded) {
    ClearRegisteredMessageHandlers();
    platform::SetWindowProc(&WindowProc);
    platform::UseSimulatedPower();
    platform::UseSimulatedLines();
    ResetPowerState();
    ResetTelephony();
    const std::filesystem::path folder = test::MakeTempFolder("quit");
    g_debugOn = true;
    LogOpen(platform::FromPosixPath((folder / "kra.log").string()));
    static int toggles = 0;
    toggles = 0;
    g_hooks.togglePause = [] {
        ++toggles;
        g_app.paused = !g_app.paused;
    };
    InstallPowerHooks({});
    InstallTelephonyHooks(&RegisterMessageHandler);
    g_telephonyHost.minimize = [] {};
    g_app.suspendTimeout = 59500;
    g_app.paused = false;
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

    LogClose();
    std::vector<std::string> closing;
    for (const std::string& line : test::LogMessages(folder / "kra.log"))
        if (line.rfind("Closing ", 0) == 0) closing.push_back(line);
    std::vector<std::string> expected;
    for (int i = 1; i <= 10; ++i) expected.push_back("Closing " + std::to_string(i));
    EXPECT_EQ(closing, expected);
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace kra
