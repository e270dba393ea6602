// Orientation and light from iio-sensor-proxy (net.hadess.SensorProxy,
// system bus). For each, one thread owns its connection: it claims the
// sensor, follows the proxy's PropertiesChanged signal and hands each new
// value on.
#include <poll.h>
#include <sys/eventfd.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/sensor.h"

namespace kra::platform {

namespace {

constexpr const char* kProxyName = "net.hadess.SensorProxy";
constexpr const char* kProxyPath = "/net/hadess/SensorProxy";
constexpr const char* kProxyInterface = "net.hadess.SensorProxy";
constexpr uint64_t kCallTimeoutUs = 1000 * 1000;

// One claimed sensor of the proxy: a thread with its own connection claims
// it, reads the property once and follows its PropertiesChanged signal
// until its stop event is set, then releases it.
struct Watch {
    const char* has;    // the property telling whether the sensor exists
    const char* claim;  // the methods that claim and release it
    const char* release;
    const char* property;  // the property followed
    char type;             // its type: 's' or 'd'
    void (*take)(const char* text, double number);
    std::thread thread;
    int stopFd = -1;
};

std::atomic<uint32_t> g_orientation{0};
std::atomic<OrientationChanged> g_changed{nullptr};
std::atomic<bool> g_lightKnown{false};
std::atomic<double> g_lightLevel{0};

void TakeOrientation(const char* text, double) {
    const uint32_t value = OrientationValue(text ? text : "");
    if (g_orientation.exchange(value) == value) return;
    if (OrientationChanged changed = g_changed.load()) changed(value);
}

void TakeLight(const char*, double level) {
    if (!std::isfinite(level)) return;
    g_lightLevel.store(level);
    g_lightKnown.store(true);
}

Watch g_orientationWatch{"HasAccelerometer",
                         "ClaimAccelerometer",
                         "ReleaseAccelerometer",
                         "AccelerometerOrientation",
                         's',
                         &TakeOrientation,
                         {},
                         -1};
Watch g_lightWatch{
    "HasAmbientLight", "ClaimLight", "ReleaseLight", "LightLevel", 'd', &TakeLight, {}, -1};

sd_bus* OpenSystem() {
    sd_bus* bus = nullptr;
    if (sd_bus_open_system(&bus) < 0) return nullptr;
    sd_bus_set_method_call_timeout(bus, kCallTimeoutUs);
    return bus;
}

// Reads the watched value out of a variant (the message is at it).
int TakeVariant(sd_bus_message* m, const Watch& w) {
    const char signature[2] = {w.type, 0};
    if (w.type == 's') {
        const char* text = nullptr;
        const int r = sd_bus_message_read(m, "v", signature, &text);
        if (r >= 0) w.take(text, 0);
        return r;
    }
    double number = 0;
    const int r = sd_bus_message_read(m, "v", signature, &number);
    if (r >= 0) w.take(nullptr, number);
    return r;
}

// Takes the watched property out of a PropertiesChanged signal's
// changed-properties array; other properties, and values of another type,
// are skipped.
int OnPropertiesChanged(sd_bus_message* m, void* userdata, sd_bus_error*) {
    const Watch& w = *static_cast<const Watch*>(userdata);
    const char* interface = nullptr;
    if (sd_bus_message_read(m, "s", &interface) < 0) return 0;
    if (!interface || std::strcmp(interface, kProxyInterface) != 0) return 0;
    if (sd_bus_message_enter_container(m, 'a', "{sv}") < 0) return 0;
    while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
        const char* name = nullptr;
        if (sd_bus_message_read(m, "s", &name) < 0) return 0;
        if (!name || std::strcmp(name, w.property) != 0 || TakeVariant(m, w) < 0) {
            if (sd_bus_message_skip(m, "v") < 0) return 0;
        }
        if (sd_bus_message_exit_container(m) < 0) return 0;
    }
    return 0;
}

// Calls without a reply to wait for: claims and releases.
void Tell(sd_bus* bus, const char* method) {
    sd_bus_call_method_async(bus, nullptr, kProxyName, kProxyPath, kProxyInterface, method, nullptr,
                             nullptr, "");
}

int OnValue(sd_bus_message* m, void* userdata, sd_bus_error*) {
    if (!sd_bus_message_is_method_error(m, nullptr))
        TakeVariant(m, *static_cast<const Watch*>(userdata));
    return 0;
}

// Claims the sensor and asks for its value (the proxy answers in order).
void Claim(sd_bus* bus, Watch* w) {
    Tell(bus, w->claim);
    sd_bus_call_method_async(bus, nullptr, kProxyName, kProxyPath,
                             "org.freedesktop.DBus.Properties", "Get", OnValue, w, "ss",
                             kProxyInterface, w->property);
}

int OnHas(sd_bus_message* m, void* userdata, sd_bus_error*) {
    int has = 0;
    if (!sd_bus_message_is_method_error(m, nullptr) &&
        sd_bus_message_read(m, "v", "b", &has) >= 0 && has)
        Claim(sd_bus_message_get_bus(m), static_cast<Watch*>(userdata));
    return 0;
}

// The watch thread. It never waits for the proxy: every call is answered
// in the loop, which ends as soon as the stop event is set.
void WatchLoop(sd_bus* bus, Watch* w, int stopFd, bool checkFirst) {
    sd_bus_match_signal_async(bus, nullptr, kProxyName, kProxyPath,
                              "org.freedesktop.DBus.Properties", "PropertiesChanged",
                              OnPropertiesChanged, nullptr, w);
    if (checkFirst) {
        sd_bus_call_method_async(bus, nullptr, kProxyName, kProxyPath,
                                 "org.freedesktop.DBus.Properties", "Get", OnHas, w, "ss",
                                 kProxyInterface, w->has);
    } else {
        Claim(bus, w);
    }
    for (;;) {
        int r;
        while ((r = sd_bus_process(bus, nullptr)) > 0) {
        }
        if (r < 0) break;  // connection lost
        pollfd fds[2] = {{sd_bus_get_fd(bus), short(sd_bus_get_events(bus)), 0},
                         {stopFd, POLLIN, 0}};
        uint64_t usec = 0;
        int timeout = -1;
        if (sd_bus_get_timeout(bus, &usec) >= 0 && usec != UINT64_MAX) timeout = 100;
        if (poll(fds, 2, timeout) < 0 && errno != EINTR) break;
        if (fds[1].revents) break;
    }
    // Released on the way out (the proxy also drops the claims of a closed
    // connection); flushing only writes.
    Tell(bus, w->release);
    sd_bus_flush_close_unref(bus);
}

void StopWatch(Watch& w) {
    if (w.thread.joinable()) {
        const uint64_t one = 1;
        if (write(w.stopFd, &one, sizeof one) < 0) {
        }
        w.thread.join();
    }
    if (w.stopFd >= 0) close(w.stopFd);
    w.stopFd = -1;
}

bool StartWatch(Watch& w, bool checkFirst) {
    StopWatch(w);
    sd_bus* bus = OpenSystem();
    if (!bus) return false;
    w.stopFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (w.stopFd < 0) {
        sd_bus_flush_close_unref(bus);
        return false;
    }
    const int stopFd = w.stopFd;
    Watch* watch = &w;
    try {
        w.thread = std::thread(
            [bus, watch, stopFd, checkFirst] { WatchLoop(bus, watch, stopFd, checkFirst); });
    } catch (...) {
        sd_bus_flush_close_unref(bus);
        close(w.stopFd);
        w.stopFd = -1;
        return false;
    }
    return true;
}

}  // namespace

uint32_t OrientationValue(const std::string& name) {
    if (name == "left-up") return 0x10;
    if (name == "right-up") return 0x11;
    if (name == "normal") return 0x12;
    if (name == "bottom-up") return 0x13;
    return 0;
}

bool ProxyHasAccelerometer(std::string* why) {
    sd_bus* bus = OpenSystem();
    if (!bus) {
        if (why) *why = "no system bus for the sensor proxy";
        return false;
    }
    sd_bus_error error = SD_BUS_ERROR_NULL;
    int has = 0;
    const int r = sd_bus_get_property_trivial(bus, kProxyName, kProxyPath, kProxyInterface,
                                              "HasAccelerometer", &error, 'b', &has);
    if (r < 0 && why) *why = "no sensor proxy";
    if (r >= 0 && !has && why) *why = "sensor proxy without accelerometer";
    sd_bus_error_free(&error);
    sd_bus_flush_close_unref(bus);
    return r >= 0 && has;
}

bool StartOrientationWatch(OrientationChanged changed) {
    StopWatch(g_orientationWatch);
    g_changed.store(changed);
    g_orientation.store(0);
    return StartWatch(g_orientationWatch, false);
}

uint32_t CurrentOrientation() {
    return g_orientation.load();
}

void StopOrientationWatch() {
    StopWatch(g_orientationWatch);
    g_changed.store(nullptr);
}

bool StartProxyLight() {
    g_lightKnown.store(false);
    return StartWatch(g_lightWatch, true);
}

bool ProxyLightLevel(double* level) {
    if (!g_lightKnown.load()) return false;
    *level = g_lightLevel.load();
    return true;
}

void StopProxyLight() {
    StopWatch(g_lightWatch);
    g_lightKnown.store(false);
}

}  // namespace kra::platform
