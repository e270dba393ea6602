// ModemManager and NetworkManager readings over sd-bus, on a watcher thread.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/network-status.h"
#include "platform/power-bus.h"
#include "platform/utf8.h"

namespace kra::platform {

namespace {

constexpr const char* kMM = "org.freedesktop.ModemManager1";
constexpr const char* kMMPath = "/org/freedesktop/ModemManager1";
constexpr const char* kModemIface = "org.freedesktop.ModemManager1.Modem";
constexpr const char* kModem3gppIface = "org.freedesktop.ModemManager1.Modem.Modem3gpp";
constexpr const char* kNM = "org.freedesktop.NetworkManager";
constexpr const char* kNMPath = "/org/freedesktop/NetworkManager";

// ModemManager's modem states.
constexpr int32_t kModemRegistered = 8;
constexpr int32_t kModemConnected = 11;
// NetworkManager's NM_STATE_CONNECTED_LOCAL and above.
constexpr uint32_t kNMConnected = 50;

// Operator names are short; a longer one is cut here (the bar shortens it
// again for its room).
constexpr size_t kMaxOperatorUnits = 128;

// UTF-8 from the bus (valid by the bus's rules) as UTF-16; anything
// malformed becomes U+FFFD.
std::u16string FromUtf8(std::string_view text) {
    std::u16string out;
    size_t i = 0;
    while (i < text.size() && out.size() < kMaxOperatorUnits) {
        const auto b = uint8_t(text[i]);
        char32_t cp = 0xFFFD;
        size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + len > text.size()) {
            len = 1;
        } else {
            cp = len == 1 ? b : char32_t(b & (0x7F >> len));
            for (size_t k = 1; k < len; ++k) {
                const auto c = uint8_t(text[i + k]);
                if ((c & 0xC0) != 0x80) {
                    cp = 0xFFFD;
                    len = k;
                    break;
                }
                cp = (cp << 6) | (c & 0x3F);
            }
            if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
        }
        i += len;
        AppendCodePointUtf16(out, cp);
    }
    return out;
}

// Whether a well-known name has an owner; asking never starts the service.
bool HasOwner(sd_bus* bus, const char* name) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    int has = 0;
    if (sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                           "org.freedesktop.DBus", "NameHasOwner", &error, &reply, "s", name) >= 0)
        sd_bus_message_read(reply, "b", &has);
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    return has > 0;
}

struct ModemProperties {
    bool isModem = false;
    int32_t state = 0;
    uint32_t quality = 0;
    uint32_t access = 0;
    std::string operatorName;
};

// Reads one interface's a{sv} at the reply's cursor into `modem`.
int ReadInterfaceProperties(sd_bus_message* m, const char* interface, ModemProperties& modem) {
    const std::string_view iface = interface;
    const bool isModem = iface == kModemIface, is3gpp = iface == kModem3gppIface;
    if (isModem) modem.isModem = true;
    int r = sd_bus_message_enter_container(m, 'a', "{sv}");
    if (r < 0) return r;
    while ((r = sd_bus_message_enter_container(m, 'e', "sv")) > 0) {
        const char* name = nullptr;
        if ((r = sd_bus_message_read(m, "s", &name)) < 0) return r;
        const std::string_view prop = name ? name : "";
        if (isModem && prop == "State") {
            r = sd_bus_message_read(m, "v", "i", &modem.state);
        } else if (isModem && prop == "AccessTechnologies") {
            r = sd_bus_message_read(m, "v", "u", &modem.access);
        } else if (isModem && prop == "SignalQuality") {
            int recent = 0;
            r = sd_bus_message_read(m, "v", "(ub)", &modem.quality, &recent);
        } else if (is3gpp && prop == "OperatorName") {
            const char* text = nullptr;
            r = sd_bus_message_read(m, "v", "s", &text);
            if (r >= 0 && text) modem.operatorName = text;
        } else {
            r = sd_bus_message_skip(m, "v");
        }
        if (r < 0) return r;  // a property of an unexpected type
        if ((r = sd_bus_message_exit_container(m)) < 0) return r;
    }
    if (r < 0) return r;
    return sd_bus_message_exit_container(m);
}

// The modems of ModemManager's object tree; the first registered one (else
// the first one) is the one shown.
bool ReadModem(sd_bus* bus, ModemProperties& chosen) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    int r = sd_bus_call_method(bus, kMM, kMMPath, "org.freedesktop.DBus.ObjectManager",
                               "GetManagedObjects", &error, &reply, "");
    sd_bus_error_free(&error);
    if (r < 0) return false;
    bool found = false;
    r = sd_bus_message_enter_container(reply, 'a', "{oa{sa{sv}}}");
    while (r > 0 && (r = sd_bus_message_enter_container(reply, 'e', "oa{sa{sv}}")) > 0) {
        const char* path = nullptr;
        ModemProperties modem;
        r = sd_bus_message_read(reply, "o", &path);
        if (r >= 0) r = sd_bus_message_enter_container(reply, 'a', "{sa{sv}}");
        while (r > 0 && (r = sd_bus_message_enter_container(reply, 'e', "sa{sv}")) > 0) {
            const char* interface = nullptr;
            r = sd_bus_message_read(reply, "s", &interface);
            if (r >= 0) r = ReadInterfaceProperties(reply, interface ? interface : "", modem);
            if (r >= 0) r = sd_bus_message_exit_container(reply);
        }
        if (r >= 0) r = sd_bus_message_exit_container(reply);  // a{sa{sv}}
        if (r >= 0) r = sd_bus_message_exit_container(reply);  // e
        if (r < 0) break;
        r = 1;
        if (!modem.isModem) continue;
        const bool better =
            !found || (modem.state >= kModemRegistered && chosen.state < kModemRegistered);
        if (better) {
            chosen = modem;
            found = true;
        }
    }
    sd_bus_message_unref(reply);
    return found;
}

bool GetUint32(sd_bus* bus, const char* destination, const char* path, const char* interface,
               const char* name, uint32_t* out) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    const int r =
        sd_bus_get_property_trivial(bus, destination, path, interface, name, &error, 'u', out);
    sd_bus_error_free(&error);
    return r >= 0;
}

// `stopping` (optional) is asked between calls, so a stop waits for one
// call's time-out at most.
NetworkReading ReadFromBus(sd_bus* bus, const std::atomic<bool>* stopping = nullptr) {
    NetworkReading reading;
    ModemProperties modem;
    auto go = [&] { return stopping == nullptr || !stopping->load(); };
    if (HasOwner(bus, kMM) && go() && ReadModem(bus, modem)) {
        reading.hasModem = true;
        reading.registered = modem.state >= kModemRegistered;
        if (reading.registered) {
            reading.operatorName = FromUtf8(modem.operatorName);
            reading.signal = uint8_t(std::min<uint32_t>(modem.quality, 100));
        }
        if (modem.state >= kModemConnected)
            reading.cellularBits = CellularBitsFromAccessTechnologies(modem.access);
    }
    if (go() && HasOwner(bus, kNM) && go()) {
        uint32_t state = 0;
        if (GetUint32(bus, kNM, kNMPath, kNM, "State", &state) && go()) {
            reading.hasNetworkManager = true;
            std::string type;
            // Older versions have no primary connection type: no mobile link known.
            if (state >= kNMConnected &&
                bus::GetStringProperty(bus, kNM, kNMPath, kNM, "PrimaryConnectionType", &type))
                reading.mobileData = IsMobileConnectionType(type);
        }
    }
    return reading;
}

// ---- The watcher ----

struct Watcher {
    std::mutex mutex;
    std::condition_variable wake;
    std::atomic<bool> stop{false};
    NetworkReading latest;
    uint64_t count = 0;
    std::thread thread;
};

Watcher& TheWatcher() {
    static Watcher* watcher = new Watcher;  // outlives a thread still ending at exit
    return *watcher;
}

void WatchBody(uint32_t periodMs) {
    Watcher& w = TheWatcher();
    sd_bus* bus = nullptr;
    for (;;) {
        // A lost bus (a restarted dbus, or none at start) is opened again on
        // the next round.
        if (bus && sd_bus_is_open(bus) <= 0) {
            sd_bus_flush_close_unref(bus);
            bus = nullptr;
        }
        if (!bus) bus = bus::OpenSystemBus(nullptr);
        NetworkReading reading = bus ? ReadFromBus(bus, &w.stop) : NetworkReading{};
        std::unique_lock lock(w.mutex);
        w.latest = std::move(reading);
        ++w.count;
        if (w.wake.wait_for(lock, std::chrono::milliseconds(periodMs),
                            [&] { return w.stop.load(); }))
            break;
    }
    if (bus) sd_bus_flush_close_unref(bus);
}

}  // namespace

uint32_t CellularBitsFromAccessTechnologies(uint32_t access) {
    // MM_MODEM_ACCESS_TECHNOLOGY_* bits.
    constexpr uint32_t kGprs = 1u << 3, kEdge = 1u << 4, kUmts = 1u << 5, kHsdpa = 1u << 6,
                       kHsupa = 1u << 7, kHspa = 1u << 8, kHspaPlus = 1u << 9, k1xRtt = 1u << 10,
                       kEvdo0 = 1u << 11, kEvdoA = 1u << 12, kEvdoB = 1u << 13, kLte = 1u << 14,
                       k5gnr = 1u << 15;
    uint32_t bits = 0;
    if (access & kGprs) bits |= 1;
    if (access & k1xRtt) bits |= 2;
    if (access & (kEvdo0 | kEvdoA | kEvdoB)) bits |= 4;
    if (access & kEdge) bits |= 8;
    if (access & (kUmts | kHsupa)) bits |= 16;
    // The fastest icon stands for everything from HSDPA on.
    if (access & (kHsdpa | kHspa | kHspaPlus | kLte | k5gnr)) bits |= 64;
    return bits;
}

bool IsMobileConnectionType(std::string_view type) {
    return type == "gsm" || type == "cdma" || type == "bluetooth";
}

NetworkReading ReadNetworkStatus() {
    sd_bus* bus = bus::OpenSystemBus(nullptr);
    if (!bus) return {};
    NetworkReading reading = ReadFromBus(bus);
    sd_bus_flush_close_unref(bus);
    return reading;
}

void StartNetworkWatcher(uint32_t periodMs) {
    Watcher& w = TheWatcher();
    if (w.thread.joinable()) return;
    {
        std::lock_guard lock(w.mutex);
        w.stop = false;
        w.latest = NetworkReading{};
        w.count = 0;
    }
    try {
        w.thread = std::thread(WatchBody, std::max<uint32_t>(periodMs, 100));
    } catch (...) {
        // No thread: the readings stay empty (no service).
    }
}

void StopNetworkWatcher() {
    Watcher& w = TheWatcher();
    if (!w.thread.joinable()) return;
    {
        std::lock_guard lock(w.mutex);
        w.stop = true;
    }
    w.wake.notify_all();
    w.thread.join();
    std::lock_guard lock(w.mutex);
    w.latest = NetworkReading{};
}

NetworkReading LatestNetworkReading() {
    Watcher& w = TheWatcher();
    std::lock_guard lock(w.mutex);
    return w.latest;
}

uint64_t NetworkReadingCount() {
    Watcher& w = TheWatcher();
    std::lock_guard lock(w.mutex);
    return w.count;
}

}  // namespace kra::platform
