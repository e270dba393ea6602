// The power and call backends against real D-Bus peers: python-dbusmock's
// logind and upower templates and tests/dbus/modemmanager.py, on a private
// bus that stands in for the system bus. Run under dbus-run-session (CTest
// does); skipped without a bus.
//
// The program's timers run on the virtual clock; only the peers' replies and
// signals take real time, and every wait for them has a deadline.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>

#include <algorithm>
#include <optional>

#include "app/app_test_util.h"
#include "app/power.h"
#include "app/shell.h"
#include "dbus/dbus_mock.h"
#include "platform/power-bus.h"
#include "platform/power-services.h"
#include "support/pump.h"

namespace kra {
using test::WaitFor;
namespace {

constexpr const char* kMockIface = "org.freedesktop.DBus.Mock";
constexpr const char* kMM = "org.freedesktop.ModemManager1";
constexpr const char* kMMPath = "/org/freedesktop/ModemManager1";

class PeersTest : public test::ShellTest {
  protected:
    void SetUp() override {
        const char* session = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        if (!session || !*session) GTEST_SKIP() << "no private bus (run under dbus-run-session)";
        bus_address_ = session;
        setenv("DBUS_SYSTEM_BUS_ADDRESS", session, 1);
        unsetenv("XDG_SESSION_ID");
        ShellTest::SetUp();
        ClearRegisteredMessageHandlers();
        platform::SetWindowProc(&WindowProc);
        ResetPowerState();
        ASSERT_GE(sd_bus_open_system(&bus_), 0);
        log_ = test::MakeTempFolder("peers") / "kra.log";
        g_debugOn = true;
        LogOpen(platform::FromPosixPath(log_.string()));
    }
    void TearDown() override {
        platform::StopPowerWatcher();
        platform::ReleaseIdleInhibitor();
        for (pid_t pid : mocks_) Kill(pid);
        if (bus_) sd_bus_flush_close_unref(bus_);
        platform::UseLinuxPower();
        ShellTest::TearDown();
        std::filesystem::remove_all(log_.parent_path());
    }

    pid_t StartMock(const std::string& name, const std::string& templ,
                    const std::string& parameters = "") {
        const pid_t pid = test::SpawnDbusMock(templ, parameters);
        if (pid == 0) return 0;
        mocks_.push_back(pid);
        const bool up = WaitFor([&] { return HasOwner(name); }, 15000);
        EXPECT_TRUE(up) << name;
        return up ? pid : 0;
    }
    void Kill(pid_t pid) {
        if (pid <= 0) return;
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        std::erase(mocks_, pid);
    }
    bool HasOwner(const std::string& name) { return test::BusNameHasOwner(bus_, name); }
    std::string CallPath(const char* service, const char* path, const char* method,
                         const char* types, ...) {
        sd_bus_message* m = nullptr;
        sd_bus_message* reply = nullptr;
        sd_bus_error error = SD_BUS_ERROR_NULL;
        std::string result;
        sd_bus_message_new_method_call(bus_, &m, service, path, kMockIface, method);
        va_list ap;
        va_start(ap, types);
        sd_bus_message_appendv(m, types, ap);
        va_end(ap);
        if (sd_bus_call(bus_, m, 5000000, &error, &reply) >= 0) {
            const char* out = nullptr;
            if (sd_bus_message_peek_type(reply, nullptr, nullptr) > 0 &&
                sd_bus_message_read_basic(reply, 'o', &out) >= 0 && out)
                result = out;
            if (result.empty()) result = "ok";
        } else {
            ADD_FAILURE() << method << ": " << (error.message ? error.message : "failed");
        }
        sd_bus_message_unref(m);
        sd_bus_message_unref(reply);
        sd_bus_error_free(&error);
        return result;
    }
    // Whether this process has logged `line` (the log is closed to read it).
    bool Logged(const std::string& line) {
        LogClose();
        const std::vector<std::string> lines = test::LogMessages(log_);
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    std::vector<std::string> Inhibitors() {
        std::vector<std::string> who;
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_message* reply = nullptr;
        if (sd_bus_call_method(bus_, "org.freedesktop.login1", "/org/freedesktop/login1",
                               "org.freedesktop.login1.Manager", "ListInhibitors", &error, &reply,
                               "") >= 0 &&
            sd_bus_message_enter_container(reply, 'a', "(ssssuu)") > 0) {
            const char *what, *name, *why, *mode;
            uint32_t uid, pid;
            while (sd_bus_message_read(reply, "(ssssuu)", &what, &name, &why, &mode, &uid, &pid) >
                   0)
                who.push_back(std::string(what) + "/" + name + "/" + why + "/" + mode);
        }
        sd_bus_message_unref(reply);
        sd_bus_error_free(&error);
        return who;
    }

    sd_bus* bus_ = nullptr;
    std::string bus_address_;
    std::vector<pid_t> mocks_;
    std::filesystem::path log_;
};

TEST_F(PeersTest, SessionIdleHintAndWakingFromSleepReportTheScreen) {
    constexpr const char* kLogin = "org.freedesktop.login1";
    constexpr const char* kLoginPath = "/org/freedesktop/login1";
    ASSERT_NE(StartMock(kLogin, "logind"), 0);
    CallPath(kLogin, kLoginPath, "AddSession", "ssusb", "c7", "seat0", 1000u, "kra", 1);
    const std::string session = "/org/freedesktop/login1/session/c7";
    setenv("XDG_SESSION_ID", "c7", 1);
    platform::UseLinuxPower();
    InstallPowerHooks({});
    g_powerHost.isForeground = [] { return true; };
    platform::WatcherOptions options;
    options.sysfsRoot = log_.parent_path().string();
    ASSERT_TRUE(platform::StartPowerWatcher(options));
    // The first battery reading is posted once the watcher has subscribed.
    ASSERT_TRUE(WaitFor([] { return g_power.readingKnown; }));
    const auto idleHint = [&](bool idle) {
        CallPath(kLogin, session.c_str(), "UpdateProperties", "sa{sv}",
                 "org.freedesktop.login1.Session", 1, "IdleHint", "b", int(idle));
    };
    idleHint(true);
    ASSERT_TRUE(WaitFor([] { return g_power.screenOff; }));
    idleHint(false);
    ASSERT_TRUE(WaitFor([] { return !g_power.screenOff; }));

    // Going to sleep says nothing; waking up is the screen on.
    idleHint(true);
    ASSERT_TRUE(WaitFor([] { return g_power.screenOff; }));
    CallPath(kLogin, kLoginPath, "EmitSignal", "sssav", "org.freedesktop.login1.Manager",
             "PrepareForSleep", "b", 1, "b", 1);
    CallPath(kLogin, kLoginPath, "EmitSignal", "sssav", "org.freedesktop.login1.Manager",
             "PrepareForSleep", "b", 1, "b", 0);
    EXPECT_TRUE(WaitFor([] { return !g_power.screenOff; }));
    EXPECT_TRUE(Logged("Power State: 0x100000 LCD 0"));
    EXPECT_TRUE(Logged("Power State: 0x10000000 LCD 1"));
    EXPECT_TRUE(Logged("LCD ON"));
}

// The real player, on the virtual clock, with the peers on the bus that
// stands in for the system bus; the test drives it with `kra --post` and the
// mocks, and watches its debug log and its MPRIS status.
class PlayerPeersTest : public PeersTest {
  protected:
    void SetUp() override {
        PeersTest::SetUp();
        if (IsSkipped()) return;
        home_.emplace("player-peers");
        home_->WriteSettings("\"DebugOn\"=hex:01\n\"ResumeAfterCall\"=hex:01\n");
    }
    void TearDown() override {
        if (player_ > 0) {
            kill(player_, SIGKILL);
            waitpid(player_, nullptr, 0);
        }
        PeersTest::TearDown();
        home_.reset();
    }

    pid_t Start(const std::string& systemBus) {
        return home_->Spawn({"--headless", "--virtual-clock", "--demo", "--audio-sink", "fakesink"},
                            bus_address_, systemBus);
    }
    void Post(uint32_t message, uint32_t wParam) {
        const pid_t post =
            home_->Spawn({"--post", std::to_string(message), std::to_string(wParam), "0"},
                         bus_address_, bus_address_);
        EXPECT_EQ(test::ExitCode(post), 0);
    }
    std::string Status() {
        std::string status;
        platform::bus::GetStringProperty(bus_, "org.mpris.MediaPlayer2.kra",
                                         "/org/mpris/MediaPlayer2", "org.mpris.MediaPlayer2.Player",
                                         "PlaybackStatus", &status);
        return status;
    }
    bool StatusIs(const std::string& status) {
        return WaitFor([&] { return Status() == status; }, 20000);
    }

    std::optional<test::PlayerHome> home_;
    pid_t player_ = -1;
};

TEST_F(PlayerPeersTest, CallPausesAndResumesAndTheInhibitorFollowsThePlayer) {
    ASSERT_NE(StartMock("org.freedesktop.login1", "logind",
                        R"({"IdleAction": "suspend", "IdleActionUSec": 3000000})"),
              0);
    ASSERT_NE(StartMock("org.freedesktop.UPower", "upower"), 0);
    CallPath("org.freedesktop.UPower", "/org/freedesktop/UPower", "AddDischargingBattery", "ssdx",
             "mock_BAT", "Mock battery", 15.0, int64_t(3600));
    pid_t mm = StartMock(kMM, KRA_DBUS_TEMPLATES "/modemmanager.py");
    ASSERT_NE(mm, 0);
    const std::string modem = CallPath(kMM, kMMPath, "AddVoiceModem", "s", "mock");

    player_ = Start(bus_address_);
    ASSERT_TRUE(home_->Logged("SetAllTimer"));
    EXPECT_GE(home_->Find("suspendTimout 2500"), 0);
    EXPECT_GE(home_->Find("TAPI: Initialized version 0x20000"), 0);
    EXPECT_TRUE(home_->Logged("Battery:15 0"));
    ASSERT_TRUE(WaitFor([&] { return !Status().empty(); }));
    EXPECT_NE(Status(), "Playing");
    EXPECT_TRUE(Inhibitors().empty());

    Post(platform::kWmCommand, kCmdPause);
    ASSERT_TRUE(StatusIs("Playing"));
    EXPECT_TRUE(WaitFor([&] { return Inhibitors().size() == 1; }));
    EXPECT_EQ(Inhibitors(), std::vector<std::string>{"idle:sleep/KRA/Playing music/block"});

    // A ringing call pauses; its end resumes (2.5 s of the player's clock).
    std::string call = CallPath(kMM, kMMPath, "AddCall", "oiis", modem.c_str(), 1, 3, "555");
    ASSERT_TRUE(home_->Logged("prev play 1"));
    EXPECT_TRUE(StatusIs("Paused"));
    const int ended = int(home_->Log().size());
    CallPath(kMM, kMMPath, "SetCallState", "oiu", call.c_str(), 7, 0);
    EXPECT_TRUE(home_->Logged("TAPI: IsVoiceCall=0x1 MediaMode=0x4", ended));
    EXPECT_TRUE(StatusIs("Playing"));
    CallPath(kMM, kMMPath, "RemoveCall", "o", call.c_str());

    // The peers go and come back: nothing breaks, and calls pause again.
    const int killed = int(home_->Log().size());
    Kill(mm);
    EXPECT_TRUE(home_->Logged("TAPI: Initialize Fails 0x80000048", killed));
    mm = StartMock(kMM, KRA_DBUS_TEMPLATES "/modemmanager.py");
    ASSERT_NE(mm, 0);
    const std::string again = CallPath(kMM, kMMPath, "AddVoiceModem", "s", "again");
    ASSERT_TRUE(home_->Logged("TAPI: Initialized version 0x20000", killed));
    call = CallPath(kMM, kMMPath, "AddCall", "oiis", again.c_str(), 1, 3, "556");
    EXPECT_TRUE(home_->Logged("prev play 1", killed));
    EXPECT_TRUE(StatusIs("Paused"));
    CallPath(kMM, kMMPath, "SetCallState", "oiu", call.c_str(), 7, 0);
    EXPECT_TRUE(StatusIs("Playing"));

    // logind restarted while playing: the inhibitor is taken again.
    Kill(mocks_.front());
    ASSERT_NE(StartMock("org.freedesktop.login1", "logind",
                        R"({"IdleAction": "suspend", "IdleActionUSec": 3000000})"),
              0);
    ASSERT_TRUE(WaitFor([&] { return Inhibitors().size() == 1; }, 20000));

    // Quitting releases the inhibitor.
    Post(0x10, 0);  // close
    EXPECT_EQ(test::ExitCode(player_), 0);
    player_ = -1;
    EXPECT_TRUE(WaitFor([&] { return Inhibitors().empty(); }));
}

TEST_F(PlayerPeersTest, NoSystemBusNoBacklightNoBattery) {
    player_ = Start("unix:path=" + (home_->root / "run" / "no-bus").string());
    ASSERT_TRUE(home_->Logged("SetAllTimer"));
    Post(platform::kWmCommand, kCmdPause);
    EXPECT_TRUE(home_->Logged("WM_COMMAND 3"));  // playing
    // The keep-awake tick comes one suspend timeout after the start, on the
    // player's virtual clock: the close must not overtake it.
    auto keepAwakeLines = [](const std::vector<std::string>& log) {
        return std::count_if(log.begin(), log.end(), [](const std::string& line) {
            return line.rfind("Keep awake: no system bus", 0) == 0;
        });
    };
    EXPECT_TRUE(WaitFor([&] { return keepAwakeLines(home_->Log()) > 0; }, 20000));
    Post(0x10, 0);
    EXPECT_EQ(test::ExitCode(player_), 0);
    player_ = -1;
    const std::vector<std::string> log = home_->Log();
    auto has = [&](const std::string& line) {
        return std::find(log.begin(), log.end(), line) != log.end();
    };
    EXPECT_TRUE(has("Panel: a desktop window"));
    EXPECT_TRUE(has("Battery:255 255"));
    EXPECT_EQ(keepAwakeLines(log), 1);  // logged once, however often the tick comes
    EXPECT_TRUE(has("Closing 10"));
}

}  // namespace
}  // namespace kra
