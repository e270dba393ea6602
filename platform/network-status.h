// The mobile network seen by the status bar: operator name, signal strength
// and the kind of data link, from ModemManager and NetworkManager on the
// system bus.
//
// Bus calls can take time, so they run on a watcher thread of their own
// (every call bounded by the connection's time-out); the main thread only
// takes the latest reading, which never blocks. The state provider publishes
// the reading as the HKLM "System\State\Phone" values and posts the change
// messages. A service that is not running (or no system bus at all) gives an
// empty reading quietly: no operator, no signal, no network type.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace kra::platform {

struct NetworkReading {
    bool hasModem = false;        // ModemManager runs and knows a modem
    bool registered = false;      // the modem is registered with a network
    std::u16string operatorName;  // empty when unknown (shown as no service)
    uint8_t signal = 0;           // 0..100 while registered
    uint32_t cellularBits = 0;    // "Cellular System Connected" bits while data is up
    bool hasNetworkManager = false;
    bool mobileData = false;  // NetworkManager's primary connection is mobile and up
    bool operator==(const NetworkReading&) const = default;
};

// ModemManager's access-technology bits as "Cellular System Connected" bits
// (1 GPRS, 2 1xRTT, 4 EV-DO, 8 EDGE, 16 UMTS, 64 HSDPA and faster).
uint32_t CellularBitsFromAccessTechnologies(uint32_t access);
// True for NetworkManager's connection types of mobile links ("gsm",
// "cdma", "bluetooth" dial-up).
bool IsMobileConnectionType(std::string_view type);

// One reading from the system bus. Blocks up to a few call time-outs: the
// watcher thread and tests only. Services are never started for it.
NetworkReading ReadNetworkStatus();

// The watcher thread: reads at once, then every `periodMs`.
void StartNetworkWatcher(uint32_t periodMs = 5000);
// Stops and joins it (bounded by one call time-out).
void StopNetworkWatcher();
// The latest reading (empty before the first one). Never blocks on the bus.
NetworkReading LatestNetworkReading();
// How many readings the watcher has taken since it started (tests).
uint64_t NetworkReadingCount();

}  // namespace kra::platform
