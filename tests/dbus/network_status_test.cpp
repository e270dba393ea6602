// The status bar's network readings against real peers: tests/dbus's
// ModemManager template and python-dbusmock's NetworkManager template on a
// private bus standing in for the system bus. Run under dbus-run-session
// (CTest does); skipped without a bus. Waits for the peers have deadlines.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "dbus/dbus_mock.h"
#include "platform/message_loop.h"
#include "platform/network-status.h"
#include "platform/registry.h"
#include "platform/state-provider.h"

namespace kra::platform {
namespace {

constexpr const char* kMM = "org.freedesktop.ModemManager1";
constexpr const char* kMMPath = "/org/freedesktop/ModemManager1";
constexpr const char* kNM = "org.freedesktop.NetworkManager";
constexpr const char* kNMPath = "/org/freedesktop/NetworkManager";
constexpr const char* kMockIface = "org.freedesktop.DBus.Mock";
constexpr const char* kModemIface = "org.freedesktop.ModemManager1.Modem";
const std::u16string kPhone = u"System\\State\\Phone";

std::vector<StateMessage> g_posted;
intptr_t Record(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    g_posted.push_back({message, wParam, lParam});
    return 0;
}

class NetworkStatusTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* session = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        if (!session || !*session) GTEST_SKIP() << "no private bus (run under dbus-run-session)";
        setenv("DBUS_SYSTEM_BUS_ADDRESS", session, 1);
        ASSERT_GE(sd_bus_open_system(&bus_), 0);
        RegistryUseMemory();
        RegClearState();
        ResetMessageLoop();
        SetWindowProc(Record);
        g_posted.clear();
        sysfs_ = std::filesystem::temp_directory_path() / "kra-network-sysfs";
        std::filesystem::create_directories(sysfs_);
    }
    void TearDown() override {
        StopStateProvider();
        for (pid_t pid : mocks_) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
        if (bus_) sd_bus_flush_close_unref(bus_);
        RegClearState();
        ResetMessageLoop();
        SetWindowProc(nullptr);
        std::filesystem::remove_all(sysfs_);
    }

    bool HasOwner(const char* name) { return test::BusNameHasOwner(bus_, name); }
    // The peers answer in real time.
    static bool WaitFor(const std::function<bool()>& done, int ms = 10000) {
        return test::WaitFor(done, ms);
    }
    void StartMock(const char* name, const std::string& templ) {
        const pid_t pid = test::SpawnDbusMock(templ);
        ASSERT_NE(pid, 0);
        mocks_.push_back(pid);
        ASSERT_TRUE(WaitFor([&] { return HasOwner(name); }, 15000)) << name;
    }
    // A registered modem with the given operator, quality and access bits.
    std::string AddModem(const char* operatorName, uint32_t quality, uint32_t access) {
        sd_bus_message* reply = nullptr;
        const char* path = nullptr;
        EXPECT_GE(sd_bus_call_method(bus_, kMM, kMMPath, kMockIface, "AddVoiceModem", nullptr,
                                     &reply, "s", "modem"),
                  0);
        sd_bus_message_read(reply, "o", &path);
        const std::string modem = path ? path : "";
        sd_bus_message_unref(reply);
        EXPECT_GE(sd_bus_call_method(bus_, kMM, modem.c_str(), kMockIface, "AddProperties", nullptr,
                                     nullptr, "sa{sv}", kModemIface, 2, "SignalQuality", "(ub)",
                                     quality, 1, "AccessTechnologies", "u", access),
                  0);
        EXPECT_GE(
            sd_bus_call_method(bus_, kMM, modem.c_str(), kMockIface, "AddProperties", nullptr,
                               nullptr, "sa{sv}", "org.freedesktop.ModemManager1.Modem.Modem3gpp",
                               1, "OperatorName", "s", operatorName),
            0);
        return modem;
    }
    void SetModemState(const std::string& modem, int32_t state) {
        EXPECT_GE(sd_bus_set_property(bus_, kMM, modem.c_str(), kModemIface, "State", nullptr, "i",
                                      state),
                  0);
    }
    std::optional<std::u16string> PhoneString(const std::u16string& name) {
        RegValue value;
        if (!RegQueryValue(RegRoot::LocalMachine, kPhone, name, 520, value)) return std::nullopt;
        std::u16string text;
        for (size_t i = 0; i + 1 < value.data.size(); i += 2)
            text.push_back(char16_t(value.data[i] | value.data[i + 1] << 8));
        while (!text.empty() && text.back() == 0) text.pop_back();
        return text;
    }
    std::optional<uint32_t> PhoneDword(const std::u16string& name) {
        RegValue value;
        if (!RegQueryValue(RegRoot::LocalMachine, kPhone, name, 4, value) || value.data.size() != 4)
            return std::nullopt;
        return uint32_t(value.data[0]) | uint32_t(value.data[1]) << 8 |
               uint32_t(value.data[2]) << 16 | uint32_t(value.data[3]) << 24;
    }
    // The messages of one poll of the state provider.
    static std::vector<StateMessage> Publish() {
        g_posted.clear();
        PollStateProvider();
        PumpPending();
        return g_posted;
    }
    StateSources Sources() {
        StateSources sources;
        sources.sysfsRoot = sysfs_.string();
        sources.watchNetwork = true;
        sources.networkPeriodMs = 50;
        return sources;
    }

    sd_bus* bus_ = nullptr;
    std::vector<pid_t> mocks_;
    std::filesystem::path sysfs_;
};

TEST_F(NetworkStatusTest, ModemAndNetworkManagerReachTheStateValuesAndMessages) {
    // Neither service yet: no service, quietly.
    EXPECT_EQ(ReadNetworkStatus(), NetworkReading{});
    StartStateProvider(Sources());
    ASSERT_TRUE(WaitFor([] { return NetworkReadingCount() > 0; }));
    EXPECT_TRUE(Publish().empty());
    EXPECT_FALSE(PhoneString(u"Current Operator Name"));
    EXPECT_FALSE(PhoneDword(u"Signal Strength Raw"));

    // Both come up, without a modem: still nothing to tell.
    StartMock(kMM, KRA_DBUS_TEMPLATES "/modemmanager.py");
    StartMock(kNM, "networkmanager");
    ASSERT_TRUE(WaitFor([] { return LatestNetworkReading().hasNetworkManager; }));
    EXPECT_TRUE(Publish().empty());

    // Registered (the mock's modems start at state 8), HSPA, no data yet (no
    // primary connection type).
    const std::string modem = AddModem("Telia \xC3\x85land", 72, 1u << 8);
    ASSERT_TRUE(WaitFor([] { return LatestNetworkReading().registered; }));
    std::vector<StateMessage> expected = {{0x800A, 72, 0}, {0x8013, 0, 0}};
    EXPECT_EQ(Publish(), expected);
    EXPECT_EQ(PhoneString(u"Current Operator Name"), u"Telia \u00C5land");
    EXPECT_EQ(PhoneDword(u"Signal Strength Raw"), 72u);
    EXPECT_EQ(PhoneDword(u"Cellular System Connected"), 0u);

    // Data connected over the modem, the primary connection a mobile one.
    SetModemState(modem, 11);
    ASSERT_GE(sd_bus_call_method(bus_, kNM, kNMPath, kMockIface, "AddProperty", nullptr, nullptr,
                                 "ssv", kNM, "PrimaryConnectionType", "s", "gsm"),
              0);
    ASSERT_TRUE(WaitFor([] {
        const NetworkReading n = LatestNetworkReading();
        return n.mobileData && n.cellularBits != 0;
    }));
    expected = {{0x802C, 1, 0}, {0x8042, 7, 0}};
    EXPECT_EQ(Publish(), expected);
    EXPECT_EQ(PhoneDword(u"Cellular System Connected"), 64u);

    // Out of coverage: no operator, no bars, no type.
    SetModemState(modem, 7);
    ASSERT_TRUE(WaitFor([] { return !LatestNetworkReading().registered; }));
    expected = {{0x800A, 0, 0}, {0x8042, 0, 0}};
    EXPECT_EQ(Publish(), expected);
    EXPECT_FALSE(PhoneString(u"Current Operator Name"));
    EXPECT_EQ(PhoneDword(u"Signal Strength Raw"), 0u);
}

}  // namespace
}  // namespace kra::platform
