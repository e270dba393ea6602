// Orientation and light from iio-sensor-proxy: python-dbusmock's
// iio-sensors-proxy template on a private bus that stands in for the system
// bus (run under dbus-run-session; skipped without a bus). The shell's
// timers run on the virtual clock; the mock answers in real time and every
// wait for it has a deadline.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "app/app_test_util.h"
#include "app/shell.h"
#include "dbus/dbus_mock.h"
#include "device/shake.h"
#include "platform/sensor.h"
#include "support/pump.h"

namespace kra {
using test::RunClock;
using test::WaitFor;
namespace {

namespace fs = std::filesystem;

constexpr const char* kProxy = "net.hadess.SensorProxy";
constexpr const char* kProxyPath = "/net/hadess/SensorProxy";

class SensorProxyTest : public test::ShellTest {
  protected:
    void SetUp() override {
        const char* session = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        if (!session || !*session) GTEST_SKIP() << "no private bus (run under dbus-run-session)";
        setenv("DBUS_SYSTEM_BUS_ADDRESS", session, 1);
        ShellTest::SetUp();
        ClearRegisteredMessageHandlers();
        platform::SetWindowProc(&WindowProc);
        ResetShakeControl();
        InstallShakeHooks(&RegisterMessageHandler);
        g_settings.ignoreScreenRotation = 0;
        g_settings.noAlbumFlow = 0;
        g_shakeHost.foreground = [] { return true; };
        g_shakeHost.showScreen = [](uint8_t screen, bool remember) {
            s_switches.push_back(screen * 10 + (remember ? 1 : 0));
            g_app.screen = screen;
            return true;
        };
        s_switches.clear();
        // An IIO tree with an accelerometer and no light sensor.
        iio_ = test::MakeTempFolder("proxy-iio");
        ASSERT_EQ(sd_bus_open_system(&bus_), 0);
        ASSERT_TRUE(StartMock());
    }
    void TearDown() override {
        if (g_hooks.stopSensor) g_hooks.stopSensor();
        platform::CloseMotionSensors();
        platform::SetIioRoot("");
        ResetShakeControl();
        if (mock_ > 0) {
            kill(mock_, SIGTERM);
            waitpid(mock_, nullptr, 0);
        }
        if (bus_) sd_bus_flush_close_unref(bus_);
        if (!iio_.empty()) fs::remove_all(iio_);
        ShellTest::TearDown();
    }

    bool StartMock() {
        mock_ = test::SpawnDbusMock(
            "iio-sensors-proxy",
            R"({"has_accelerometer": true, "accelerometer_orientation": "normal",
                "has_ambient_light": true, "light_level": 40.0})");
        if (mock_ == 0) return false;
        return WaitFor([&] { return Owners("AccelerometerOwners") >= 0; }, 15000);
    }

    // The mock's claim count of a sensor ("AccelerometerOwners",
    // "AmbientLightOwners"); -1 while it does not answer.
    int Owners(const char* property) {
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_message* reply = nullptr;
        int count = -1;
        if (sd_bus_call_method(bus_, kProxy, kProxyPath, "org.freedesktop.DBus.Mock",
                               "GetInternalProperty", &error, &reply, "s", property) >= 0 &&
            sd_bus_message_enter_container(reply, 'a', "s") > 0) {
            count = 0;
            const char* name = nullptr;
            while (sd_bus_message_read(reply, "s", &name) > 0) ++count;
        }
        sd_bus_message_unref(reply);
        sd_bus_error_free(&error);
        return count;
    }
    void Set(const char* property, const char* type, ...) {
        sd_bus_message* m = nullptr;
        sd_bus_message* reply = nullptr;
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_message_new_method_call(bus_, &m, kProxy, kProxyPath, "org.freedesktop.DBus.Mock",
                                       "SetInternalProperty");
        sd_bus_message_append(m, "ss", kProxy, property);
        sd_bus_message_open_container(m, 'v', type);
        va_list ap;
        va_start(ap, type);
        sd_bus_message_appendv(m, type, ap);
        va_end(ap);
        sd_bus_message_close_container(m);
        if (sd_bus_call(bus_, m, 5000000, &error, &reply) < 0)
            ADD_FAILURE() << property << ": " << (error.message ? error.message : "failed");
        sd_bus_message_unref(m);
        sd_bus_message_unref(reply);
        sd_bus_error_free(&error);
    }
    void MakeAccelerometer() {
        const fs::path device = iio_ / "iio:device0";
        fs::create_directories(device);
        for (const char* name : {"in_accel_x_raw", "in_accel_y_raw", "in_accel_z_raw"})
            std::ofstream(device / name) << (name[9] == 'z' ? "1000\n" : "0\n");
    }

    static inline std::vector<int> s_switches;
    sd_bus* bus_ = nullptr;
    pid_t mock_ = -1;
    fs::path iio_;
};

TEST_F(SensorProxyTest, AHeldTurnSwitchesScreensAndTheClaimIsReleased) {
    platform::SetIioRoot(iio_.string());  // no IIO accelerometer: the proxy's
    ASSERT_TRUE(g_hooks.detectSensor());
    g_app.screen = kScreenNowPlaying;
    g_hooks.startSensor();
    // The first orientation is only stored, and the accelerometer is claimed.
    ASSERT_TRUE(WaitFor([] { return g_sensorOrientation.stored == 2; }));
    EXPECT_EQ(Owners("AccelerometerOwners"), 1);

    // A turn held for 500 ms opens the album flow (the previous screen kept).
    Set("AccelerometerOrientation", "s", "right-up");
    ASSERT_TRUE(WaitFor([] { return g_sensorOrientation.pending == 1; }));
    RunClock(600);
    EXPECT_EQ(s_switches, std::vector<int>{51});

    // "undefined" forgets the orientation; the next one is only stored.
    Set("AccelerometerOrientation", "s", "undefined");
    ASSERT_TRUE(WaitFor([] { return g_sensorOrientation.stored == kOrientationNone; }));

    g_hooks.stopSensor();
    EXPECT_TRUE(WaitFor([&] { return Owners("AccelerometerOwners") == 0; }));
}

TEST_F(SensorProxyTest, LightLevelWithoutAnIioLightSensor) {
    MakeAccelerometer();
    platform::SetIioRoot(iio_.string());
    ASSERT_TRUE(platform::DetectGSensor());
    ASSERT_TRUE(platform::OpenMotionSensors());
    ASSERT_TRUE(WaitFor([] { return platform::HasLightSensor(); }));
    EXPECT_EQ(Owners("AmbientLightOwners"), 1);
    uint8_t level = 0;
    ASSERT_TRUE(platform::ReadLight(&level));
    EXPECT_EQ(level, 40);
    Set("LightLevel", "d", 1e6);  // clamped
    EXPECT_TRUE(WaitFor([&] { return platform::ReadLight(&level) && level == 255; }));
    Set("LightLevel", "d", -3.0);
    EXPECT_TRUE(WaitFor([&] { return platform::ReadLight(&level) && level == 0; }));
    platform::CloseMotionSensors();
    EXPECT_FALSE(platform::HasLightSensor());
    EXPECT_TRUE(WaitFor([&] { return Owners("AmbientLightOwners") == 0; }));
}

}  // namespace
}  // namespace kra
