// Keeping the machine awake while music plays: a logind "idle:sleep"
// inhibitor, held from an idle-timer reset until the caller releases it; and
// the system's idle suspend time from logind.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <string>

#include "platform/power-bus.h"
#include "platform/power-internal.h"

namespace kra::platform::linux_power {

namespace {

constexpr const char* kLogind = "org.freedesktop.login1";
constexpr const char* kLogindPath = "/org/freedesktop/login1";
constexpr const char* kManager = "org.freedesktop.login1.Manager";

int g_inhibitorFd = -1;

bool Suspends(const std::string& action) {
    return action == "suspend" || action == "hibernate" || action == "hybrid-sleep" ||
           action == "suspend-then-hibernate" || action == "sleep";
}

// logind holds the other end of the inhibitor's pipe: when logind goes
// away (restarted, crashed) the inhibitor is gone with it.
bool InhibitorAlive() {
    pollfd fd = {g_inhibitorFd, 0, 0};
    return poll(&fd, 1, 0) == 0 || (fd.revents & (POLLERR | POLLHUP | POLLNVAL)) == 0;
}

}  // namespace

bool TakeInhibitor(std::string* why) {
    if (g_inhibitorFd >= 0 && InhibitorAlive()) return true;
    ReleaseInhibitor();
    sd_bus* bus = bus::MainThreadBus(why);
    if (!bus) return false;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    int r = sd_bus_call_method(bus, kLogind, kLogindPath, kManager, "Inhibit", &error, &reply,
                               "ssss", "idle:sleep", "KRA", "Playing music", "block");
    if (r < 0) {
        if (why) *why = "no logind inhibitor (" + bus::ErrorText(r, &error) + ")";
        sd_bus_error_free(&error);
        return false;
    }
    int fd = -1;
    r = sd_bus_message_read(reply, "h", &fd);
    // The descriptor belongs to the message: keep a copy of our own.
    if (r >= 0 && fd >= 0) g_inhibitorFd = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    if (g_inhibitorFd < 0) {
        if (why) *why = "logind gave no inhibitor";
        return false;
    }
    return true;
}

void ReleaseInhibitor() {
    if (g_inhibitorFd >= 0) close(g_inhibitorFd);
    g_inhibitorFd = -1;
}

bool InhibitorHeld() {
    return g_inhibitorFd >= 0;
}

SuspendTimeouts ReadTimeouts() {
    SuspendTimeouts timeouts;
    sd_bus* bus = bus::MainThreadBus(nullptr);
    if (!bus) return timeouts;
    std::string action;
    uint64_t usec = 0;
    if (!bus::GetStringProperty(bus, kLogind, kLogindPath, kManager, "IdleAction", &action) ||
        !Suspends(action) ||
        !bus::GetUint64Property(bus, kLogind, kLogindPath, kManager, "IdleActionUSec", &usec)) {
        return timeouts;
    }
    // Whole seconds, rounded up, within a DWORD.
    const uint64_t seconds = (usec + 999999) / 1000000;
    const uint32_t value = seconds > 0xFFFFFFFFull ? 0xFFFFFFFFu : uint32_t(seconds);
    timeouts.batterySeconds = value;
    timeouts.externalSeconds = value;
    return timeouts;
}

}  // namespace kra::platform::linux_power
