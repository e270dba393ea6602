// The watcher thread and the line service's events flood the main window
// while it runs its timers: every change reaches the main thread as a posted
// message and is handled there (ThreadSanitizer checks the sharing).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "app/app_test_util.h"
#include "app/power.h"
#include "app/shell.h"
#include "device/telephony.h"
#include "platform/modem-lines.h"
#include "platform/power-services.h"
#include "support/temp_tree.h"

namespace kra {
namespace {

class PowerThreadedTest : public test::ShellTest {};

TEST_F(PowerThreadedTest, WatcherAndCallFloodsOnlyPost) {
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/kra-test-bus", 1);
    ResetPowerState();
    ResetTelephony();
    ClearRegisteredMessageHandlers();
    platform::SetWindowProc(&WindowProc);
    platform::UseLinuxPower();
    platform::UseSimulatedLines();

    test::TempTree root;
    const std::filesystem::path battery = root.Posix("class/power_supply/BAT0");
    root.File("class/power_supply/BAT0/type", "Battery\n");
    root.File("class/power_supply/BAT0/status", "Discharging\n");
    root.File("class/power_supply/BAT0/capacity", "40\n");

    g_hooks.togglePause = [] {
        g_app.paused = !g_app.paused;
        if (!g_app.paused) NotePlaybackResumed();
    };
    InstallPowerHooks({});
    InstallTelephonyHooks(&RegisterMessageHandler);
    ASSERT_EQ(InitTelephony("KRA"), 0u);
    g_app.suspendTimeout = 500;
    g_app.paused = false;
    SetAllTimer();

    platform::WatcherOptions options;
    options.sysfsRoot = root.Posix().string();
    options.useBus = false;
    options.pollMs = 1;
    ASSERT_TRUE(platform::StartPowerWatcher(options));

    // Each producer does a fixed amount of work, so the main thread always
    // catches up: an unbounded flood would only measure the machine's speed.
    std::atomic<int> running{3};
    std::thread writer([&] {
        // Replaced whole, as sysfs attributes read: never a torn value.
        for (int i = 0; i < 400; ++i) {
            test::WriteText(battery / "capacity.new", i % 2 ? "41\n" : "40\n");
            std::filesystem::rename(battery / "capacity.new", battery / "capacity");
        }
        --running;
    });
    std::thread caller([&] {
        for (uint32_t call = 1; call <= 400; ++call) {
            platform::SimulateCallState(call, platform::kCallOffering);
            platform::SimulateCallState(call, platform::kCallConnected);
            platform::SimulateCallState(call, platform::kCallDisconnected);
        }
        --running;
    });
    std::thread transitions([&] {
        for (int i = 0; i < 2000; ++i) {
            platform::PostMessage(platform::kMsgPowerTransition, platform::kPowerStateIdle, 0);
            platform::PostMessage(platform::kMsgPowerTransition, platform::kPowerStateOn, 0);
        }
        --running;
    });
    while (running > 0) {
        platform::AdvanceVirtualClock(10);
        platform::PumpPending();
        std::this_thread::yield();
    }
    writer.join();
    caller.join();
    transitions.join();
    platform::StopPowerWatcher();
    EXPECT_FALSE(platform::PowerWatcherRunning());
    for (int i = 0; i < 10; ++i) platform::PumpPending();

    EXPECT_TRUE(g_power.batteryPercent == 40 || g_power.batteryPercent == 41);
    EXPECT_EQ(g_power.powerSource, 0);
    EXPECT_TRUE(g_telephony.calls.empty());
    CloseTelephony();
}

}  // namespace
}  // namespace kra
