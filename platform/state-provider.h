// The machine's state for the status bar: battery, radios, headset jack,
// data connections, and the locale's clock picture.
//
// The provider reads the Linux sources (sysfs: power_supply, rfkill, extcon
// and switch, net) and publishes what it finds as the HKLM "System\State\..."
// values of the registry (RegSetStateValue), the form the status bar reads.
// A source the machine does not have publishes nothing, so a value from the
// KRA_HKLM_FILE machine file (or none, counting as 0) stands instead. Changes
// found by a poll are posted to the main window as the state messages the
// window already handles (0x801F Bluetooth, 0x8020 Wi-Fi, 0x804F headset,
// 0x802C data connections, 0x8013 operator) and the battery message below.
//
// Published values:
//   "System\State\Hardware"    Bluetooth  1 when a Bluetooth radio is on, else 0
//                              Wifi       2 when a Wi-Fi radio is on, else 0
//                              Headset    1 while a headset is plugged in, else 0
//   "System\State\Connections" Count      mobile data links up
//   "System\State\Phone"       Status     0x10 (radio off) while every radio switch
//                                         is blocked, else 0
//                              Current Operator Name, Signal Strength Raw,
//                              Cellular System Connected  from ModemManager
//                                         (network-status.h), while a modem is
//                                         known (the name while registered)
// A mobile primary connection of NetworkManager counts as a data link.
//
// All functions run on the main thread.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/network-status.h"

namespace kra::platform {

// Posted when the battery reading changes, for the power handling: wParam
// the percent (0..100, or kBatteryUnknown), lParam the external power status
// (0 battery, 1 external power, kPowerUnknown).
inline constexpr uint32_t kMsgBatteryState = 0x8058;
inline constexpr uint8_t kBatteryUnknown = 255;
inline constexpr uint8_t kPowerUnknown = 255;

struct BatteryReading {
    uint8_t percent = kBatteryUnknown;
    uint8_t externalPower = kPowerUnknown;
    bool operator==(const BatteryReading&) const = default;
};

// One reading of every source. A `has...` flag false means the machine has
// no such source; the value beside it is then meaningless.
struct SystemState {
    BatteryReading battery;
    bool hasBluetooth = false;
    bool bluetoothOn = false;
    bool hasWifi = false;
    bool wifiOn = false;
    bool hasRadios = false;     // any rfkill switch at all
    bool allRadiosOff = false;  // every rfkill switch blocked (flight mode)
    bool hasHeadsetJack = false;
    bool headsetIn = false;
    bool hasNetworks = false;  // the network class could be listed
    uint32_t dataConnections = 0;
    NetworkReading network;  // the network watcher's latest reading
    bool operator==(const SystemState&) const = default;
};

struct StateSources {
    // Root of the sysfs tree ("/sys"); tests point it at a temporary folder.
    std::string sysfsRoot = "/sys";
    // Run the network watcher (the system bus) and take its readings.
    bool watchNetwork = false;
    uint32_t networkPeriodMs = 5000;
};

// The sources under sysfsRoot ("$KRA_SYSFS_ROOT" when set, else "/sys"),
// with the network watcher.
StateSources DefaultStateSources();

// Reads every source once. Never fails: unreadable files count as absent.
// The network part is the watcher's latest reading (never waits for the bus).
SystemState ReadSystemState(const StateSources& sources);
// The battery part alone: the system batteries' level (capacity, or the
// energy or charge counters) capped at 100, and whether a mains or USB
// supply is online. Without any adapter entry, a battery that is not
// discharging counts as on external power.
BatteryReading ReadBattery(const StateSources& sources);

// Writes the HKLM values of a reading; values whose source is absent are
// removed.
void PublishSystemState(const SystemState& state);

struct StateMessage {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    bool operator==(const StateMessage&) const = default;
};
// The messages that tell the main window about the change from `before` to
// `after`, in a fixed order.
std::vector<StateMessage> StateChangeMessages(const SystemState& before, const SystemState& after);

// The process-wide provider. Start reads and publishes once (no messages);
// Poll reads again, publishes and posts the change messages (also 0x800A
// signal, 0x8013 operator and 0x8042 network type). Start starts the network
// watcher when the sources ask for it, Stop stops it. Poll and
// CurrentBattery are harmless before Start (nothing read, battery unknown).
void StartStateProvider(const StateSources& sources);
void StopStateProvider();
bool StateProviderStarted();
void PollStateProvider();
BatteryReading CurrentBattery();

// The locale's time format (LC_TIME of the environment) as a time picture:
// h/hh 12-hour, H/HH 24-hour, mm minutes, ss seconds, tt the AM/PM marker,
// other text in single quotes. "HH:mm:ss" when the locale gives nothing
// usable.
std::u16string LocaleTimePicture();
// The same conversion for one strftime-style format (exposed for tests).
std::u16string TimePictureFromStrftime(const std::string& format);

}  // namespace kra::platform
