#include "platform/power-bus.h"

#include <cstdlib>
#include <cstring>

namespace kra::platform::bus {

namespace {

sd_bus* g_mainBus = nullptr;

}  // namespace

std::string ErrorText(int r, const sd_bus_error* error) {
    if (error && sd_bus_error_is_set(error)) {
        std::string text = error->name ? error->name : "error";
        if (error->message) text += std::string(": ") + error->message;
        return text;
    }
    return std::strerror(r < 0 ? -r : r);
}

sd_bus* OpenSystemBus(std::string* why) {
    sd_bus* bus = nullptr;
    const int r = sd_bus_open_system(&bus);
    if (r < 0) {
        if (why) *why = "no system bus (" + ErrorText(r, nullptr) + ")";
        return nullptr;
    }
    sd_bus_set_method_call_timeout(bus, kBusCallTimeoutUs);
    return bus;
}

sd_bus* MainThreadBus(std::string* why) {
    if (g_mainBus && sd_bus_is_open(g_mainBus) <= 0) {
        sd_bus_flush_close_unref(g_mainBus);
        g_mainBus = nullptr;
    }
    if (!g_mainBus) g_mainBus = OpenSystemBus(why);
    return g_mainBus;
}

void CloseMainThreadBus() {
    if (g_mainBus) sd_bus_flush_close_unref(g_mainBus);
    g_mainBus = nullptr;
}

bool GetStringProperty(sd_bus* bus, const char* destination, const char* path,
                       const char* interface, const char* name, std::string* out) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    char* value = nullptr;
    const int r =
        sd_bus_get_property_string(bus, destination, path, interface, name, &error, &value);
    sd_bus_error_free(&error);
    if (r < 0) return false;
    *out = value ? value : "";
    std::free(value);
    return true;
}

bool GetBoolProperty(sd_bus* bus, const char* destination, const char* path, const char* interface,
                     const char* name, bool* out) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    int value = 0;
    const int r =
        sd_bus_get_property_trivial(bus, destination, path, interface, name, &error, 'b', &value);
    sd_bus_error_free(&error);
    if (r < 0) return false;
    *out = value != 0;
    return true;
}

bool GetUint64Property(sd_bus* bus, const char* destination, const char* path,
                       const char* interface, const char* name, uint64_t* out) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    uint64_t value = 0;
    const int r =
        sd_bus_get_property_trivial(bus, destination, path, interface, name, &error, 't', &value);
    sd_bus_error_free(&error);
    if (r < 0) return false;
    *out = value;
    return true;
}

namespace {

// logind's object path of a session by id ("auto" is the caller's own);
// empty when logind does not know it.
std::string GetSessionPath(sd_bus* bus, const char* id) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    std::string path;
    if (sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1",
                           "org.freedesktop.login1.Manager", "GetSession", &error, &reply, "s",
                           id) >= 0) {
        const char* p = nullptr;
        if (sd_bus_message_read(reply, "o", &p) >= 0 && p) path = p;
    }
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    return path;
}

}  // namespace

std::string SessionPath(sd_bus* bus) {
    // The real path, not ".../session/auto": logind sends a session's
    // signals from its real path only.
    const char* id = std::getenv("XDG_SESSION_ID");
    if (id && *id) {
        if (std::string path = GetSessionPath(bus, id); !path.empty()) return path;
    }
    if (std::string path = GetSessionPath(bus, "auto"); !path.empty()) return path;
    return "/org/freedesktop/login1/session/auto";
}

}  // namespace kra::platform::bus
