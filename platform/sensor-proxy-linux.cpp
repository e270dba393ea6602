// Orientation from iio-sensor-proxy (net.hadess.SensorProxy, system bus).
// One thread owns its connection: it claims the accelerometer, follows the
// proxy's PropertiesChanged signal and hands each new orientation on.
#include <poll.h>
#include <sys/eventfd.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <atomic>
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

std::atomic<uint32_t> g_orientation{0};
std::atomic<OrientationChanged> g_changed{nullptr};
std::thread g_thread;
int g_stopFd = -1;

sd_bus* OpenSystem() {
    sd_bus* bus = nullptr;
    if (sd_bus_open_system(&bus) < 0) return nullptr;
    sd_bus_set_method_call_timeout(bus, kCallTimeoutUs);
    return bus;
}

void Publish(uint32_t value) {
    if (g_orientation.exchange(value) == value) return;
    if (OrientationChanged changed = g_changed.load()) changed(value);
}

// Reads "AccelerometerOrientation" out of a PropertiesChanged signal's
// changed-properties array; other properties are skipped.
int OnPropertiesChanged(sd_bus_message* m, void*, sd_bus_error*) {
    const char* interface = nullptr;
    if (sd_bus_message_read(m, "s", &interface) < 0) return 0;
    if (!interface || std::strcmp(interface, kProxyInterface) != 0) return 0;
    if (sd_bus_message_enter_container(m, 'a', "{sv}") < 0) return 0;
    while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
        const char* name = nullptr;
        if (sd_bus_message_read(m, "s", &name) < 0) return 0;
        if (name && std::strcmp(name, "AccelerometerOrientation") == 0) {
            const char* value = nullptr;
            if (sd_bus_message_read(m, "v", "s", &value) >= 0 && value)
                Publish(OrientationValue(value));
        } else if (sd_bus_message_skip(m, "v") < 0) {
            return 0;
        }
        if (sd_bus_message_exit_container(m) < 0) return 0;
    }
    return 0;
}

void WatchLoop(sd_bus* bus, int stopFd) {
    sd_bus_slot* slot = nullptr;
    sd_bus_match_signal(bus, &slot, kProxyName, kProxyPath, "org.freedesktop.DBus.Properties",
                        "PropertiesChanged", OnPropertiesChanged, nullptr);
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_call_method(bus, kProxyName, kProxyPath, kProxyInterface, "ClaimAccelerometer", &error,
                       nullptr, "");
    sd_bus_error_free(&error);
    char* text = nullptr;
    if (sd_bus_get_property_string(bus, kProxyName, kProxyPath, kProxyInterface,
                                   "AccelerometerOrientation", &error, &text) >= 0 &&
        text) {
        Publish(OrientationValue(text));
    }
    std::free(text);
    sd_bus_error_free(&error);
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
    sd_bus_call_method(bus, kProxyName, kProxyPath, kProxyInterface, "ReleaseAccelerometer", &error,
                       nullptr, "");
    sd_bus_error_free(&error);
    sd_bus_slot_unref(slot);
    sd_bus_flush_close_unref(bus);
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
    StopOrientationWatch();
    sd_bus* bus = OpenSystem();
    if (!bus) return false;
    g_stopFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (g_stopFd < 0) {
        sd_bus_flush_close_unref(bus);
        return false;
    }
    g_changed.store(changed);
    g_orientation.store(0);
    const int stopFd = g_stopFd;
    try {
        g_thread = std::thread([bus, stopFd] { WatchLoop(bus, stopFd); });
    } catch (...) {
        sd_bus_flush_close_unref(bus);
        close(g_stopFd);
        g_stopFd = -1;
        return false;
    }
    return true;
}

uint32_t CurrentOrientation() {
    return g_orientation.load();
}

void StopOrientationWatch() {
    if (g_thread.joinable()) {
        const uint64_t one = 1;
        if (write(g_stopFd, &one, sizeof one) < 0) {
        }
        g_thread.join();
    }
    if (g_stopFd >= 0) close(g_stopFd);
    g_stopFd = -1;
    g_changed.store(nullptr);
}

}  // namespace kra::platform
