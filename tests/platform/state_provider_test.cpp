// The state provider on a fake sysfs tree: battery level and power source,
// radio switches, headset jack, data links, the HKLM values it publishes and
// the messages a poll posts.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/clock.h"
#include "platform/message_loop.h"
#include "platform/registry.h"
#include "platform/state-provider.h"
#include "support/temp_tree.h"

namespace kra::platform {
namespace {

namespace fs = std::filesystem;

std::vector<StateMessage> g_posted;
intptr_t Record(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    g_posted.push_back({message, wParam, lParam});
    return 0;
}

class StateProviderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(root / "class");
        sources.sysfsRoot = root.string();
        RegistryUseMemory();
        RegClearState();
        UseVirtualClock(1000);
        ResetMessageLoop();
        SetWindowProc(Record);
        g_posted.clear();
    }
    void TearDown() override {
        StopStateProvider();
        RegClearState();
        ResetMessageLoop();
        SetWindowProc(nullptr);
    }
    // Writes class/<cls>/<entry>/<name> with text and a line end, as sysfs does.
    void Put(const std::string& cls, const std::string& entry, const std::string& name,
             const std::string& text) {
        const fs::path folder = root / "class" / cls / entry;
        fs::create_directories(folder);
        std::ofstream(folder / name) << text << "\n";
    }
    void Put(const std::string& cls, const std::string& entry,
             std::initializer_list<std::pair<const char*, const char*>> files) {
        for (const auto& [name, text] : files) Put(cls, entry, name, text);
    }
    void Supply(const std::string& entry,
                std::initializer_list<std::pair<const char*, const char*>> files) {
        Put("power_supply", entry, files);
    }
    std::optional<uint32_t> StateDword(const std::u16string& key, const std::u16string& name) {
        RegValue value;
        if (!RegQueryValue(RegRoot::LocalMachine, key, name, 4, value) || value.data.size() != 4)
            return std::nullopt;
        return uint32_t(value.data[0]) | uint32_t(value.data[1]) << 8 |
               uint32_t(value.data[2]) << 16 | uint32_t(value.data[3]) << 24;
    }

    test::TempTree tree;
    const fs::path& root = tree.Posix();
    StateSources sources;
};

TEST_F(StateProviderTest, BatteryLevelComesFromCapacityAndPowerFromTheMainsSupply) {
    Supply("BAT0", {{"type", "Battery"}, {"capacity", "57"}, {"status", "Discharging"}});
    Supply("AC", {{"type", "Mains"}, {"online", "1"}});
    EXPECT_EQ(ReadBattery(sources), (BatteryReading{57, 1}));

    // Full on the charger: external power, although the battery is not charging.
    Supply("BAT0", {{"capacity", "100"}, {"status", "Not charging"}});
    EXPECT_EQ(ReadBattery(sources), (BatteryReading{100, 1}));

    // The charger unplugged: the adapter decides, not the battery's word.
    Supply("AC", {{"online", "0"}});
    Supply("BAT0", {{"status", "Charging"}});
    EXPECT_EQ(ReadBattery(sources), (BatteryReading{100, 0}));
}

TEST_F(StateProviderTest, BatteryWithoutAdapterEntryUsesItsStatusAndCapsTheLevel) {
    Supply("BAT1", {{"type", "Battery"}, {"capacity", "130"}, {"status", "Discharging"}});
    EXPECT_EQ(ReadBattery(sources), (BatteryReading{100, 0}));
    Supply("BAT1", {{"status", "Full"}});
    EXPECT_EQ(ReadBattery(sources).externalPower, 1);
    Supply("BAT1", {{"status", "Unknown"}});
    EXPECT_EQ(ReadBattery(sources).externalPower, kPowerUnknown);
}

TEST_F(StateProviderTest, SeveralBatteriesAddTheirCountersAndDeviceBatteriesDoNotCount) {
    Supply("BAT0", {{"type", "Battery"},
                    {"energy_now", "30000000"},
                    {"energy_full", "50000000"},
                    {"capacity", "60"}});
    Supply("BAT1", {{"type", "Battery"},
                    {"charge_now", "1000000"},
                    {"charge_full", "50000000"},
                    {"capacity", "2"}});
    // A wireless mouse: its battery and its "online" are not the machine's.
    Supply("hidpp_battery_0", {{"type", "Battery"}, {"scope", "Device"}, {"capacity", "5"}});
    EXPECT_EQ(ReadBattery(sources).percent, 31);  // 31 of 100, not (60 + 2 + 5) / 3

    // A removed battery is skipped.
    Supply("BAT1", {{"present", "0"}});
    EXPECT_EQ(ReadBattery(sources).percent, 60);
}

TEST_F(StateProviderTest, NoOrDamagedBatteryGivesAnUnknownLevel) {
    EXPECT_EQ(ReadBattery(sources), BatteryReading{});  // no power_supply class at all
    Supply("BAT0", {{"type", "Battery"},
                    {"capacity", "4x"},
                    {"energy_now", "99999999999999999999999"},
                    {"energy_full", "0"}});
    EXPECT_EQ(ReadBattery(sources).percent, kBatteryUnknown);
    Supply("BAT0", {{"capacity", "-3"}});
    EXPECT_EQ(ReadBattery(sources).percent, kBatteryUnknown);
    // Only counters, no capacity file.
    fs::remove(root / "class/power_supply/BAT0/capacity");
    Supply("BAT0", {{"energy_now", "2"}, {"energy_full", "3"}});
    EXPECT_EQ(ReadBattery(sources).percent, 67);
}

TEST_F(StateProviderTest, RadiosHeadsetAndDataLinksArePublishedAsStateValues) {
    Put("rfkill", "rfkill0", {{"type", "bluetooth"}, {"state", "1"}});
    Put("rfkill", "rfkill1", {{"type", "wlan"}, {"state", "0"}});  // soft-blocked
    Put("extcon", "extcon0", "state", "MICROPHONE=0\nHEADPHONE=1");
    Put("net", "lo", "operstate", "unknown");
    Put("net", "wwan0", {{"uevent", "INTERFACE=wwan0\nDEVTYPE=wwan"}, {"operstate", "up"}});
    Put("net", "wwan1", {{"uevent", "DEVTYPE=wwan"}, {"operstate", "down"}});

    const SystemState state = ReadSystemState(sources);
    EXPECT_TRUE(state.hasBluetooth && state.bluetoothOn);
    EXPECT_TRUE(state.hasWifi && !state.wifiOn);
    EXPECT_FALSE(state.allRadiosOff);
    EXPECT_TRUE(state.hasHeadsetJack && state.headsetIn);
    EXPECT_EQ(state.dataConnections, 1u);

    PublishSystemState(state);
    EXPECT_EQ(StateDword(u"System\\State\\Hardware", u"Bluetooth"), 1u);
    EXPECT_EQ(StateDword(u"System\\State\\Hardware", u"Wifi"), 0u);
    EXPECT_EQ(StateDword(u"System\\State\\Hardware", u"Headset"), 1u);
    EXPECT_EQ(StateDword(u"System\\State\\Connections", u"Count"), 1u);
    EXPECT_EQ(StateDword(u"System\\State\\Phone", u"Status"), 0u);

    // Every switch blocked (hard or soft) is flight mode; Wi-Fi on is bit 1.
    Put("rfkill", "rfkill0", "state", "2");
    PublishSystemState(ReadSystemState(sources));
    EXPECT_EQ(StateDword(u"System\\State\\Phone", u"Status"), 0x10u);
    Put("rfkill", "rfkill1", "state", "1");
    PublishSystemState(ReadSystemState(sources));
    EXPECT_EQ(StateDword(u"System\\State\\Hardware", u"Wifi"), 2u);
    EXPECT_EQ(StateDword(u"System\\State\\Phone", u"Status"), 0u);
}

TEST_F(StateProviderTest, AbsentSourcesPublishNothingAndRemoveWhatWasThere) {
    Put("rfkill", "rfkill0", {{"type", "bluetooth"}, {"state", "1"}});
    Put("switch", "h2w", "state", "2");
    PublishSystemState(ReadSystemState(sources));
    EXPECT_EQ(StateDword(u"System\\State\\Hardware", u"Bluetooth"), 1u);
    EXPECT_EQ(StateDword(u"System\\State\\Hardware", u"Headset"), 1u);
    EXPECT_FALSE(StateDword(u"System\\State\\Hardware", u"Wifi"));
    EXPECT_FALSE(StateDword(u"System\\State\\Connections", u"Count"));  // no net class

    fs::remove_all(root / "class");
    PublishSystemState(ReadSystemState(sources));
    EXPECT_FALSE(StateDword(u"System\\State\\Hardware", u"Bluetooth"));
    EXPECT_FALSE(StateDword(u"System\\State\\Hardware", u"Headset"));
    EXPECT_FALSE(StateDword(u"System\\State\\Phone", u"Status"));
    EXPECT_FALSE(RegKeyExists(RegRoot::LocalMachine, u"System\\State\\Hardware"));
}

TEST_F(StateProviderTest, PollPostsOnlyWhatChangedAndStartPostsNothing) {
    EXPECT_EQ(CurrentBattery(), BatteryReading{});
    PollStateProvider();  // not started: nothing read, nothing posted
    Put("rfkill", "rfkill0", {{"type", "bluetooth"}, {"state", "0"}});
    Put("switch", "h2w", "state", "1");
    Supply("BAT0", {{"type", "Battery"}, {"capacity", "80"}, {"status", "Discharging"}});

    StartStateProvider(sources);
    EXPECT_EQ(CurrentBattery(), (BatteryReading{80, 0}));
    PollStateProvider();
    PumpPending();
    EXPECT_TRUE(g_posted.empty());

    // The radio comes on, the headphones come out, the battery drains.
    Put("rfkill", "rfkill0", "state", "1");
    Put("switch", "h2w", "state", "0");
    Supply("BAT0", {{"capacity", "79"}});
    PollStateProvider();
    PumpPending();
    const std::vector<StateMessage> expected = {
        {0x801F, 1, 0}, {0x804F, 0, 0}, {0x8013, 0, 0}, {kMsgBatteryState, 79, 0}};
    EXPECT_EQ(g_posted, expected);  // 0x8013: the only switch is no longer blocked
    EXPECT_EQ(CurrentBattery().percent, 79);
    EXPECT_EQ(StateDword(u"System\\State\\Hardware", u"Headset"), 0u);
}

TEST_F(StateProviderTest, ChangeMessagesCarryTheNewValues) {
    SystemState before, after;
    after.hasWifi = after.wifiOn = true;
    after.hasNetworks = true;
    after.dataConnections = 2;
    after.battery = {100, 1};
    const std::vector<StateMessage> expected = {
        {0x8020, 2, 0}, {0x802C, 2, 0}, {kMsgBatteryState, 100, 1}};
    EXPECT_EQ(StateChangeMessages(before, after), expected);
    // A source appearing with its "off" value is no change to the window.
    SystemState off;
    off.hasBluetooth = true;
    off.hasHeadsetJack = true;
    EXPECT_TRUE(StateChangeMessages(before, off).empty());
}

TEST_F(StateProviderTest, StrftimeFormatsBecomeTimePictures) {
    EXPECT_EQ(TimePictureFromStrftime("%H:%M:%S"), u"HH:mm:ss");
    EXPECT_EQ(TimePictureFromStrftime("%r"), u"hh:mm:ss tt");
    EXPECT_EQ(TimePictureFromStrftime("%l:%M:%S %p"), u"h:mm:ss tt");
    EXPECT_EQ(TimePictureFromStrftime("%T"), u"HH:mm:ss");
    EXPECT_EQ(TimePictureFromStrftime("%OH.%EM"), u"HH.mm");
    // Words of the locale are quoted so their letters are not picture letters.
    EXPECT_EQ(TimePictureFromStrftime("%Hh%M"), u"HH'h'mm");
    EXPECT_EQ(TimePictureFromStrftime("%H\xec\x8b\x9c %M\xeb\xb6\x84"), u"HH\uc2dc mm\ubd84");
    EXPECT_EQ(TimePictureFromStrftime("%H'%M"), u"HH''''mm");
    // Nothing of a clock in it, a lone '%', or nothing at all: the fallback.
    EXPECT_EQ(TimePictureFromStrftime("%d.%m.%Y"), u"HH:mm:ss");
    EXPECT_EQ(TimePictureFromStrftime("%"), u"HH:mm:ss");
    EXPECT_EQ(TimePictureFromStrftime(""), u"HH:mm:ss");
    EXPECT_FALSE(LocaleTimePicture().empty());
}

}  // namespace
}  // namespace kra::platform
