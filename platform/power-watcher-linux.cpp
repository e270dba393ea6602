// The power watcher thread. It owns its own system-bus connection and a stop
// eventfd and only posts to the main window:
// - battery: UPower's display device (or its batteries) whenever UPower
//   reports a property change; without UPower, /sys/class/power_supply read
//   every pollMs. Posted as kMsgBatteryState when the reading changed.
// - screen: the session's IdleHint gives kPowerStateIdle (idle) and
//   kPowerStateOn (active again); PrepareForSleep(false) gives kPowerStateOn.
// A bus that goes away leaves the sysfs reading; nothing here blocks longer
// than one D-Bus time-out.
#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/message_loop.h"
#include "platform/power-bus.h"
#include "platform/power-internal.h"
#include "platform/state-provider.h"

namespace kra::platform::linux_power {

namespace {

constexpr const char* kUPower = "org.freedesktop.UPower";
constexpr const char* kUPowerPath = "/org/freedesktop/UPower";
constexpr const char* kDevice = "org.freedesktop.UPower.Device";
constexpr const char* kDisplayDevice = "/org/freedesktop/UPower/devices/DisplayDevice";
constexpr const char* kLogind = "org.freedesktop.login1";
constexpr const char* kSession = "org.freedesktop.login1.Session";

// UPower device kinds and states.
constexpr uint32_t kKindBattery = 2;
constexpr uint32_t kStateCharging = 1;
constexpr uint32_t kStateDischarging = 2;
constexpr uint32_t kStateFull = 4;
constexpr uint32_t kStatePendingCharge = 5;
constexpr uint32_t kStatePendingDischarge = 6;

uint64_t NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000 + uint64_t(ts.tv_nsec) / 1000000;
}

struct Thread {
    std::mutex mutex;  // start and stop
    std::thread thread;
    int stopFd = -1;
    std::atomic<bool> running{false};
};
Thread g_watcher;

// State of one run, owned by the thread.
struct Run {
    WatcherOptions options;
    int stopFd = -1;
    sd_bus* bus = nullptr;
    std::string sessionPath;
    bool batteryDirty = true;
    bool idleDirty = false;
    bool upower = false;
    bool idle = false;
    bool posted = false;
    BatteryReading last;
    uint64_t nextPoll = 0;
};

bool GetUint32(sd_bus* bus, const char* path, const char* name, uint32_t* out) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    const int r = sd_bus_get_property_trivial(bus, kUPower, path, kDevice, name, &error, 'u', out);
    sd_bus_error_free(&error);
    return r >= 0;
}
bool GetDouble(sd_bus* bus, const char* path, const char* name, double* out) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    const int r = sd_bus_get_property_trivial(bus, kUPower, path, kDevice, name, &error, 'd', out);
    sd_bus_error_free(&error);
    return r >= 0;
}

// External power from a device state; -1 when the state does not say.
int ExternalFromState(uint32_t state) {
    switch (state) {
        case kStateCharging:
        case kStateFull:
        case kStatePendingCharge:
            return 1;
        case kStateDischarging:
        case kStatePendingDischarge:
            return 0;
        default:
            return -1;
    }
}

std::vector<std::string> BatteryDevices(sd_bus* bus) {
    std::vector<std::string> paths;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    if (sd_bus_call_method(bus, kUPower, kUPowerPath, kUPower, "EnumerateDevices", &error, &reply,
                           "") >= 0 &&
        sd_bus_message_enter_container(reply, 'a', "o") > 0) {
        const char* path = nullptr;
        while (sd_bus_message_read(reply, "o", &path) > 0) paths.emplace_back(path);
    }
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    std::vector<std::string> batteries;
    for (const std::string& path : paths) {
        uint32_t kind = 0;
        bool supply = false;
        if (GetUint32(bus, path.c_str(), "Type", &kind) && kind == kKindBattery &&
            bus::GetBoolProperty(bus, kUPower, path.c_str(), kDevice, "PowerSupply", &supply) &&
            supply)
            batteries.push_back(path);
    }
    return batteries;
}

// The battery as UPower sees it; false when UPower did not answer.
bool ReadUPower(sd_bus* bus, BatteryReading* out) {
    bool onBattery = false;
    if (!bus::GetBoolProperty(bus, kUPower, kUPowerPath, kUPower, "OnBattery", &onBattery))
        return false;
    *out = BatteryReading{};
    std::vector<std::string> devices;
    bool present = false;
    if (bus::GetBoolProperty(bus, kUPower, kDisplayDevice, kDevice, "IsPresent", &present) &&
        present) {
        devices.push_back(kDisplayDevice);
    } else {
        devices = BatteryDevices(bus);
    }
    double sum = 0;
    int count = 0, external = -1;
    for (const std::string& path : devices) {
        double percent = 0;
        uint32_t state = 0;
        if (!GetDouble(bus, path.c_str(), "Percentage", &percent) || !std::isfinite(percent))
            continue;
        sum += std::clamp(percent, 0.0, 100.0);
        ++count;
        if (GetUint32(bus, path.c_str(), "State", &state)) {
            const int e = ExternalFromState(state);
            if (e == 1 || (e == 0 && external < 0)) external = e;
        }
    }
    if (count == 0) return true;  // no battery: level and power unknown
    out->percent = uint8_t(std::lround(sum / count));
    out->externalPower = uint8_t(external >= 0 ? external : (onBattery ? 0 : 1));
    return true;
}

void PostBattery(Run& run, const BatteryReading& reading) {
    if (run.posted && reading == run.last) return;
    run.last = reading;
    run.posted = true;
    PostMessage(kMsgBatteryState, reading.percent, intptr_t(reading.externalPower));
}

int OnUPowerSignal(sd_bus_message*, void* userdata, sd_bus_error*) {
    static_cast<Run*>(userdata)->batteryDirty = true;
    return 0;
}
int OnSessionChanged(sd_bus_message*, void* userdata, sd_bus_error*) {
    static_cast<Run*>(userdata)->idleDirty = true;
    return 0;
}
int OnPrepareForSleep(sd_bus_message* m, void*, sd_bus_error*) {
    int sleeping = 0;
    if (sd_bus_message_read(m, "b", &sleeping) >= 0 && !sleeping)
        PostMessage(kMsgPowerTransition, kPowerStateOn, 0);
    return 0;
}

void Subscribe(Run& run) {
    sd_bus* bus = run.bus;
    const char* props = "org.freedesktop.DBus.Properties";
    sd_bus_match_signal(bus, nullptr, kUPower, nullptr, props, "PropertiesChanged", OnUPowerSignal,
                        &run);
    sd_bus_match_signal(bus, nullptr, kUPower, kUPowerPath, kUPower, "DeviceAdded", OnUPowerSignal,
                        &run);
    sd_bus_match_signal(bus, nullptr, kUPower, kUPowerPath, kUPower, "DeviceRemoved",
                        OnUPowerSignal, &run);
    sd_bus_add_match(bus, nullptr,
                     "type='signal',sender='org.freedesktop.DBus',member='NameOwnerChanged',"
                     "arg0='org.freedesktop.UPower'",
                     OnUPowerSignal, &run);
    run.sessionPath = bus::SessionPath(bus);
    sd_bus_match_signal(bus, nullptr, kLogind, run.sessionPath.c_str(), props, "PropertiesChanged",
                        OnSessionChanged, &run);
    sd_bus_match_signal(bus, nullptr, kLogind, "/org/freedesktop/login1",
                        "org.freedesktop.login1.Manager", "PrepareForSleep", OnPrepareForSleep,
                        &run);
    bool idle = false;
    if (bus::GetBoolProperty(bus, kLogind, run.sessionPath.c_str(), kSession, "IdleHint", &idle))
        run.idle = idle;
}

void DropBus(Run& run) {
    if (run.bus) sd_bus_flush_close_unref(run.bus);
    run.bus = nullptr;
    run.upower = false;
}

void Body(Run run) {
    if (run.options.useBus) {
        run.bus = bus::OpenSystemBus(nullptr);
        if (run.bus) Subscribe(run);
    }
    for (;;) {
        if (run.bus && run.batteryDirty) {
            run.batteryDirty = false;
            BatteryReading reading;
            run.upower = ReadUPower(run.bus, &reading);
            if (run.upower) PostBattery(run, reading);
        }
        if (run.bus && run.idleDirty) {
            run.idleDirty = false;
            bool idle = run.idle;
            if (bus::GetBoolProperty(run.bus, kLogind, run.sessionPath.c_str(), kSession,
                                     "IdleHint", &idle) &&
                idle != run.idle) {
                run.idle = idle;
                PostMessage(kMsgPowerTransition, idle ? kPowerStateIdle : kPowerStateOn, 0);
            }
        }
        const uint64_t now = NowMs();
        if (!run.upower && now >= run.nextPoll) {
            PostBattery(run, ReadBattery(StateSources{run.options.sysfsRoot}));
            run.nextPoll = now + run.options.pollMs;
        }
        int timeout = -1;
        if (!run.upower) {
            const uint64_t at = NowMs();
            timeout = run.nextPoll > at ? int(std::min<uint64_t>(run.nextPoll - at, 60000)) : 0;
        }
        pollfd fds[2] = {{run.stopFd, POLLIN, 0}, {-1, 0, 0}};
        nfds_t count = 1;
        if (run.bus) {
            fds[1].fd = sd_bus_get_fd(run.bus);
            fds[1].events = short(sd_bus_get_events(run.bus));
            uint64_t until = 0;
            if (sd_bus_get_timeout(run.bus, &until) >= 0 && until != UINT64_MAX) {
                timespec ts{};
                clock_gettime(CLOCK_MONOTONIC, &ts);
                const uint64_t nowUs = uint64_t(ts.tv_sec) * 1000000 + uint64_t(ts.tv_nsec) / 1000;
                const int busMs = until > nowUs ? int((until - nowUs + 999) / 1000) : 0;
                if (timeout < 0 || busMs < timeout) timeout = busMs;
            }
            count = 2;
        }
        if (poll(fds, count, timeout) < 0 && errno != EINTR) break;
        if (fds[0].revents & POLLIN) break;
        if (run.bus) {
            int r;
            while ((r = sd_bus_process(run.bus, nullptr)) > 0) {
            }
            if (r < 0) DropBus(run);
        }
    }
    DropBus(run);
}

}  // namespace

bool StartWatcher(const WatcherOptions& options) {
    std::lock_guard lock(g_watcher.mutex);
    if (g_watcher.running) return true;
    g_watcher.stopFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (g_watcher.stopFd < 0) return false;
    Run run;
    run.options = options;
    if (run.options.pollMs == 0) run.options.pollMs = 1;
    run.stopFd = g_watcher.stopFd;
    try {
        g_watcher.thread = std::thread(Body, std::move(run));
    } catch (...) {
        close(g_watcher.stopFd);
        g_watcher.stopFd = -1;
        return false;
    }
    g_watcher.running = true;
    return true;
}

void StopWatcher() {
    std::lock_guard lock(g_watcher.mutex);
    if (!g_watcher.running) return;
    const uint64_t one = 1;
    if (write(g_watcher.stopFd, &one, sizeof one) < 0) {
        // An eventfd write only fails on overflow; the thread sees it set.
    }
    if (g_watcher.thread.joinable()) g_watcher.thread.join();
    close(g_watcher.stopFd);
    g_watcher.stopFd = -1;
    g_watcher.running = false;
}

bool WatcherRunning() {
    return g_watcher.running;
}

}  // namespace kra::platform::linux_power
