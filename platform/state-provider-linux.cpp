// The state provider on Linux: sysfs power_supply, rfkill, extcon/switch and
// net, published as the HKLM state values.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "platform/message_loop.h"
#include "platform/registry.h"
#include "platform/state-provider.h"

namespace kra::platform {

namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxAttributeBytes = 4096;

constexpr uint32_t kMsgOperatorChanged = 0x8013;
constexpr uint32_t kMsgBluetoothChanged = 0x801F;
constexpr uint32_t kMsgWifiChanged = 0x8020;
constexpr uint32_t kMsgDataChanged = 0x802C;
constexpr uint32_t kMsgHeadsetChanged = 0x804F;
constexpr uint32_t kMsgSignalChanged = 0x800A;
constexpr uint32_t kMsgNetworkTypeChanged = 0x8042;

constexpr uint32_t kBluetoothOnValue = 1;
constexpr uint32_t kWifiOnValue = 2;
constexpr uint32_t kRadioOffValue = 0x10;

const std::u16string kHardwareKey = u"System\\State\\Hardware";
const std::u16string kConnectionsKey = u"System\\State\\Connections";
const std::u16string kPhoneKey = u"System\\State\\Phone";

// A sysfs attribute without its trailing white space; nullopt when it cannot
// be read. Attributes are tiny; more than 4 KiB is not an attribute.
std::optional<std::string> ReadAttribute(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text(kMaxAttributeBytes, '\0');
    in.read(text.data(), std::streamsize(text.size()));
    text.resize(size_t(in.gcount()));
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '\t' ||
                             text.back() == '\r' || text.back() == '\0')) {
        text.pop_back();
    }
    return text;
}

// A whole decimal number (optionally negative); nullopt for anything else.
std::optional<int64_t> ParseNumber(const std::string& text) {
    if (text.empty() || text.size() > 18) return std::nullopt;  // no overflow below
    size_t i = 0;
    bool negative = false;
    if (text[0] == '-') {
        negative = true;
        i = 1;
    }
    if (i == text.size()) return std::nullopt;
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    return negative ? -value : value;
}

std::optional<int64_t> ReadNumber(const fs::path& path) {
    std::optional<std::string> text = ReadAttribute(path);
    if (!text) return std::nullopt;
    return ParseNumber(*text);
}

// The entries of a class folder, sorted by name so that readings do not
// depend on the directory order.
std::vector<fs::path> ClassEntries(const fs::path& folder) {
    std::vector<fs::path> entries;
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error) return entries;
    for (const fs::directory_entry& entry : it) entries.push_back(entry.path());
    std::sort(entries.begin(), entries.end());
    return entries;
}

bool IsAdapterType(const std::string& type) {
    return type == "Mains" || type.starts_with("USB") || type == "Wireless";
}

// ---- Publishing ----

RegValue Dword(uint32_t value) {
    RegValue v;
    v.type = kRegDword;
    v.data = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
    return v;
}

void PublishDword(const std::u16string& key, const std::u16string& name, bool known,
                  uint32_t value) {
    RegSetStateValue(key, name, known ? Dword(value) : RegValue{});
}

uint32_t BluetoothValue(const SystemState& s) {
    return s.hasBluetooth && s.bluetoothOn ? kBluetoothOnValue : 0;
}
uint32_t WifiValue(const SystemState& s) {
    return s.hasWifi && s.wifiOn ? kWifiOnValue : 0;
}
uint32_t HeadsetValue(const SystemState& s) {
    return s.hasHeadsetJack && s.headsetIn ? 1 : 0;
}
uint32_t DataValue(const SystemState& s) {
    const uint32_t links = s.hasNetworks ? s.dataConnections : 0;
    // A mobile link NetworkManager reports counts once, also where its
    // device has no network interface of its own in sysfs.
    return s.network.mobileData ? std::max<uint32_t>(links, 1) : links;
}
bool DataKnown(const SystemState& s) {
    return s.hasNetworks || s.network.hasNetworkManager;
}
// The icon number of the network type bits (the fastest one shown).
uint32_t NetworkTypeIcon(uint32_t bits) {
    for (uint32_t icon = 7; icon >= 1; --icon) {
        if (bits & (1u << (icon - 1))) return icon;
    }
    return 0;
}
uint32_t PhoneStatusValue(const SystemState& s) {
    return s.hasRadios && s.allRadiosOff ? kRadioOffValue : 0;
}

// ---- The process-wide provider ----

struct Provider {
    bool started = false;
    StateSources sources;
    SystemState last;
};

Provider& TheProvider() {
    static Provider provider;
    return provider;
}

}  // namespace

StateSources DefaultStateSources() {
    StateSources sources;
    const char* root = std::getenv("KRA_SYSFS_ROOT");
    if (root != nullptr && root[0] != '\0') sources.sysfsRoot = root;
    sources.watchNetwork = true;
    return sources;
}

BatteryReading ReadBattery(const StateSources& sources) {
    BatteryReading reading;
    const fs::path folder = fs::path(sources.sysfsRoot) / "class" / "power_supply";
    bool anyAdapter = false, adapterOnline = false;
    bool anyBattery = false;
    int batteries = 0;
    bool allCounters = true;
    uint64_t nowSum = 0, fullSum = 0;
    int64_t capacitySum = 0;
    int capacityCount = 0;
    std::optional<std::string> firstStatus;
    for (const fs::path& supply : ClassEntries(folder)) {
        const std::string type = ReadAttribute(supply / "type").value_or("");
        // Batteries of a mouse or a headset are not the machine's.
        if (ReadAttribute(supply / "scope").value_or("") == "Device") continue;
        if (IsAdapterType(type)) {
            anyAdapter = true;
            if (ReadNumber(supply / "online").value_or(0) == 1) adapterOnline = true;
            continue;
        }
        if (type != "Battery") continue;
        if (ReadNumber(supply / "present").value_or(1) == 0) continue;
        anyBattery = true;
        ++batteries;
        if (!firstStatus) firstStatus = ReadAttribute(supply / "status");
        std::optional<int64_t> now = ReadNumber(supply / "energy_now");
        std::optional<int64_t> full = ReadNumber(supply / "energy_full");
        if (!now || !full) {
            now = ReadNumber(supply / "charge_now");
            full = ReadNumber(supply / "charge_full");
        }
        // Counters beyond 10^15 (a gigawatt-hour) are damaged readings.
        constexpr int64_t kMaxCounter = 1'000'000'000'000'000;
        if (now && full && *now >= 0 && *full > 0 && *now <= kMaxCounter && *full <= kMaxCounter) {
            nowSum += uint64_t(*now);
            fullSum += uint64_t(*full);
        } else {
            allCounters = false;
        }
        if (std::optional<int64_t> capacity = ReadNumber(supply / "capacity");
            capacity && *capacity >= 0) {
            capacitySum += std::min<int64_t>(*capacity, 100);
            ++capacityCount;
        }
    }
    // One battery: its own capacity. Several: the counters add up by charge
    // held, which an average of percentages would not.
    const bool useCounters = allCounters && fullSum > 0 && (batteries > 1 || capacityCount == 0);
    if (useCounters) {
        // Counters are in µWh or µAh; the sums fit 64 bits many times over.
        const uint64_t percent = (nowSum * 100 + fullSum / 2) / fullSum;
        reading.percent = uint8_t(std::min<uint64_t>(percent, 100));
    } else if (capacityCount > 0) {
        reading.percent = uint8_t(capacitySum / capacityCount);
    }
    if (anyAdapter) {
        reading.externalPower = adapterOnline ? 1 : 0;
    } else if (anyBattery && firstStatus) {
        if (*firstStatus == "Discharging") {
            reading.externalPower = 0;
        } else if (*firstStatus == "Charging" || *firstStatus == "Full" ||
                   *firstStatus == "Not charging") {
            reading.externalPower = 1;
        }
    }
    return reading;
}

SystemState ReadSystemState(const StateSources& sources) {
    SystemState state;
    const fs::path root(sources.sysfsRoot);
    state.battery = ReadBattery(sources);
    if (sources.watchNetwork) state.network = LatestNetworkReading();

    // Radio switches: state 1 is unblocked; 0 soft- and 2 hard-blocked.
    bool anyOn = false;
    for (const fs::path& radio : ClassEntries(root / "class" / "rfkill")) {
        const std::optional<std::string> type = ReadAttribute(radio / "type");
        const std::optional<int64_t> switchState = ReadNumber(radio / "state");
        if (!type || !switchState) continue;
        const bool on = *switchState == 1;
        state.hasRadios = true;
        anyOn = anyOn || on;
        if (*type == "bluetooth") {
            state.hasBluetooth = true;
            state.bluetoothOn = state.bluetoothOn || on;
        } else if (*type == "wlan") {
            state.hasWifi = true;
            state.wifiOn = state.wifiOn || on;
        }
    }
    state.allRadiosOff = state.hasRadios && !anyOn;

    // Headset jack: extcon cables ("HEADPHONE=1" lines) or the older switch
    // class ("h2w", nonzero while plugged).
    for (const fs::path& extcon : ClassEntries(root / "class" / "extcon")) {
        const std::optional<std::string> text = ReadAttribute(extcon / "state");
        if (!text) continue;
        size_t start = 0;
        while (start <= text->size()) {
            size_t end = text->find('\n', start);
            if (end == std::string::npos) end = text->size();
            const std::string line = text->substr(start, end - start);
            const size_t equals = line.find('=');
            if (equals != std::string::npos) {
                const std::string name = line.substr(0, equals);
                if (name == "HEADPHONE" || name == "HEADSET" || name == "JACK_HEADPHONE") {
                    state.hasHeadsetJack = true;
                    if (line.substr(equals + 1) == "1") state.headsetIn = true;
                }
            }
            start = end + 1;
        }
    }
    if (std::optional<int64_t> h2w = ReadNumber(root / "class" / "switch" / "h2w" / "state")) {
        state.hasHeadsetJack = true;
        if (*h2w != 0) state.headsetIn = true;
    }

    // Mobile data: wwan links that are up (or of unknown state with carrier).
    std::error_code error;
    if (fs::is_directory(root / "class" / "net", error)) {
        state.hasNetworks = true;
        for (const fs::path& link : ClassEntries(root / "class" / "net")) {
            const std::string uevent = ReadAttribute(link / "uevent").value_or("");
            if (uevent.find("DEVTYPE=wwan") == std::string::npos) continue;
            const std::string operstate = ReadAttribute(link / "operstate").value_or("");
            if (operstate == "up" ||
                (operstate == "unknown" && ReadNumber(link / "carrier").value_or(0) == 1)) {
                ++state.dataConnections;
            }
        }
    }
    return state;
}

void PublishSystemState(const SystemState& s) {
    PublishDword(kHardwareKey, u"Bluetooth", s.hasBluetooth, BluetoothValue(s));
    PublishDword(kHardwareKey, u"Wifi", s.hasWifi, WifiValue(s));
    PublishDword(kHardwareKey, u"Headset", s.hasHeadsetJack, HeadsetValue(s));
    PublishDword(kConnectionsKey, u"Count", DataKnown(s), DataValue(s));
    PublishDword(kPhoneKey, u"Status", s.hasRadios, PhoneStatusValue(s));
    const NetworkReading& n = s.network;
    PublishDword(kPhoneKey, u"Signal Strength Raw", n.hasModem, n.signal);
    PublishDword(kPhoneKey, u"Cellular System Connected", n.hasModem, n.cellularBits);
    // No name (no modem, not registered): the bar shows no service.
    RegValue name;
    if (!n.operatorName.empty()) {
        name.type = kRegSz;
        for (char16_t c : n.operatorName) {
            name.data.push_back(uint8_t(c));
            name.data.push_back(uint8_t(c >> 8));
        }
        name.data.push_back(0);
        name.data.push_back(0);
    }
    RegSetStateValue(kPhoneKey, u"Current Operator Name", name);
}

std::vector<StateMessage> StateChangeMessages(const SystemState& before, const SystemState& after) {
    std::vector<StateMessage> messages;
    if (BluetoothValue(before) != BluetoothValue(after)) {
        messages.push_back({kMsgBluetoothChanged, BluetoothValue(after), 0});
    }
    if (WifiValue(before) != WifiValue(after)) {
        messages.push_back({kMsgWifiChanged, WifiValue(after), 0});
    }
    if (HeadsetValue(before) != HeadsetValue(after)) {
        messages.push_back({kMsgHeadsetChanged, HeadsetValue(after), 0});
    }
    // The data icon changes the operator's room; the window refreshes it.
    if (DataValue(before) != DataValue(after)) {
        messages.push_back({kMsgDataChanged, DataValue(after), 0});
    }
    if (before.network.signal != after.network.signal) {
        messages.push_back({kMsgSignalChanged, after.network.signal, 0});
    }
    const uint32_t typeBefore = NetworkTypeIcon(before.network.cellularBits);
    const uint32_t typeAfter = NetworkTypeIcon(after.network.cellularBits);
    if (typeBefore != typeAfter) {
        // The window refreshes the operator after it.
        messages.push_back({kMsgNetworkTypeChanged, typeAfter, 0});
    } else if (PhoneStatusValue(before) != PhoneStatusValue(after) ||
               before.network.operatorName != after.network.operatorName) {
        messages.push_back({kMsgOperatorChanged, 0, 0});
    }
    if (!(before.battery == after.battery)) {
        messages.push_back(
            {kMsgBatteryState, after.battery.percent, intptr_t(after.battery.externalPower)});
    }
    return messages;
}

void StartStateProvider(const StateSources& sources) {
    Provider& provider = TheProvider();
    provider.sources = sources;
    if (sources.watchNetwork) StartNetworkWatcher(sources.networkPeriodMs);
    provider.last = ReadSystemState(sources);
    PublishSystemState(provider.last);
    provider.started = true;
}

void StopStateProvider() {
    if (TheProvider().sources.watchNetwork) StopNetworkWatcher();
    TheProvider() = Provider{};
}

bool StateProviderStarted() {
    return TheProvider().started;
}

void PollStateProvider() {
    Provider& provider = TheProvider();
    if (!provider.started) return;
    SystemState now = ReadSystemState(provider.sources);
    if (now == provider.last) return;
    PublishSystemState(now);
    const std::vector<StateMessage> messages = StateChangeMessages(provider.last, now);
    provider.last = now;
    for (const StateMessage& m : messages) PostMessage(m.message, m.wParam, m.lParam);
}

BatteryReading CurrentBattery() {
    const Provider& provider = TheProvider();
    return provider.started ? provider.last.battery : BatteryReading{};
}

}  // namespace kra::platform
