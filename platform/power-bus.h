// Small sd-bus helpers shared by the power and modem backends. Platform
// internal: the core never includes this.
//
// A connection opened here has a method-call time-out of kBusCallTimeoutUs,
// so no call on it can block longer than that. Each connection belongs to
// one thread.
#pragma once
#include <systemd/sd-bus.h>

#include <cstdint>
#include <string>

namespace kra::platform::bus {

inline constexpr uint64_t kBusCallTimeoutUs = 1500 * 1000;

// The system bus ($DBUS_SYSTEM_BUS_ADDRESS, else the system socket), or null
// when there is none. *why receives the reason on failure.
sd_bus* OpenSystemBus(std::string* why);

// The main thread's own connection, opened on first use and again after it
// was lost; null when there is no system bus.
sd_bus* MainThreadBus(std::string* why);
void CloseMainThreadBus();

// Property reads with the connection's time-out; false when the call failed.
bool GetStringProperty(sd_bus* bus, const char* destination, const char* path,
                       const char* interface, const char* name, std::string* out);
bool GetBoolProperty(sd_bus* bus, const char* destination, const char* path, const char* interface,
                     const char* name, bool* out);
bool GetUint64Property(sd_bus* bus, const char* destination, const char* path,
                       const char* interface, const char* name, uint64_t* out);

// The logind session object of this process, by its real path (signals come
// from that path only): $XDG_SESSION_ID's session when logind knows it, else
// the caller's own ("auto") session, else the "auto" alias itself.
std::string SessionPath(sd_bus* bus);

// A readable text for a negative errno and an sd_bus_error.
std::string ErrorText(int r, const sd_bus_error* error);

}  // namespace kra::platform::bus
