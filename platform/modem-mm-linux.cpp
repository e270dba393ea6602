// Lines from ModemManager: one line per modem that has the Voice interface.
//
// A watch thread owns its own system-bus connection and a wake eventfd. It
// follows ModemManager's objects (InterfacesAdded / InterfacesRemoved, the
// service's name owner) and the calls of every modem (CallAdded,
// CallDeleted, each call's StateChanged and State property), and queues a
// line event for every change of a call on an open line:
//   RINGING_IN 3, WAITING 6       -> offering
//   DIALING 1, RINGING_OUT 2      -> dialling (once)
//   ACTIVE 4                      -> connected
//   TERMINATED 7 or the deletion  -> disconnected (once)
// A voice modem that appears, or one that goes, posts the restart message
// 0x040E; the calls of a modem that went are reported disconnected.
//
// The main thread asks the thread to enumerate the modems (LineInitialize)
// and waits a bounded time for the answer; it never touches the bus.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/message_loop.h"
#include "platform/modem-internal.h"
#include "platform/power-bus.h"

namespace kra::platform::lines {

namespace {

constexpr const char* kMM = "org.freedesktop.ModemManager1";
constexpr const char* kMMPath = "/org/freedesktop/ModemManager1";
constexpr const char* kVoice = "org.freedesktop.ModemManager1.Modem.Voice";
constexpr const char* kCall = "org.freedesktop.ModemManager1.Call";
constexpr const char* kObjectManager = "org.freedesktop.DBus.ObjectManager";
constexpr uint32_t kMsgRestartLines = 0x040E;
// Two bus calls' time-outs and some room: the main thread's longest wait.
constexpr auto kEnumerateWait = std::chrono::milliseconds(3500);

enum class Mapped { kNone, kOffering, kDialling, kConnected, kDisconnected };

Mapped MapState(int32_t state) {
    switch (state) {
        case 3:
        case 6:
            return Mapped::kOffering;
        case 1:
        case 2:
            return Mapped::kDialling;
        case 4:
            return Mapped::kConnected;
        case 7:
            return Mapped::kDisconnected;
        default:
            return Mapped::kNone;  // unknown, held
    }
}

uint32_t LineState(Mapped m) {
    switch (m) {
        case Mapped::kOffering:
            return kCallOffering;
        case Mapped::kDialling:
            return kCallDialling;
        case Mapped::kConnected:
            return kCallConnected;
        default:
            return kCallDisconnected;
    }
}

struct CallInfo {
    uint32_t handle = 0;
    std::string modem;
    Mapped last = Mapped::kNone;
    bool dialled = false;
    bool ended = false;
};

struct Modem {
    std::string path;
    bool open = false;
};

// Shared between the thread and the main thread, under `mutex`.
struct Shared {
    std::mutex mutex;
    std::condition_variable answered;
    std::vector<Modem> modems;  // device index = position
    std::map<std::string, CallInfo> calls;
    uint32_t nextHandle = 1;
    bool serviceUp = false;  // between a successful initialise and shutdown
    // Requests and answers.
    uint64_t enumerateAsked = 0, enumerateDone = 0;
    uint32_t enumerateResult = 0;
    bool stop = false;
    bool threadAlive = false;
};

Shared& TheShared() {
    static Shared* shared = new Shared;  // lives past exit for a straggling thread
    return *shared;
}

std::thread g_thread;
int g_wakeFd = -1;

void Wake() {
    const uint64_t one = 1;
    if (g_wakeFd >= 0 && write(g_wakeFd, &one, sizeof one) < 0) {
        // Only fails when the counter is full, and then the thread is awake.
    }
}

// ---- On the thread (the shared lock is taken where shared state is used) --

// Queues the event for a call's new mapped state when it is news and its
// modem's line is open. Locked.
void Report(CallInfo& call, Mapped mapped, bool initial, Shared& s) {
    if (mapped == Mapped::kNone || call.ended) return;
    if (mapped == call.last) return;
    if (mapped == Mapped::kDialling && call.dialled) return;
    call.last = mapped;
    if (mapped == Mapped::kDialling) call.dialled = true;
    if (mapped == Mapped::kDisconnected) call.ended = true;
    const bool open = std::any_of(s.modems.begin(), s.modems.end(),
                                  [&](const Modem& m) { return m.path == call.modem && m.open; });
    if (!open || !s.serviceUp) return;
    SetRecord(call.handle, kMediaInteractiveVoice);
    QueueEvent({call.handle, LineState(mapped), initial});
    if (mapped == Mapped::kDisconnected) MarkGone(call.handle);
}

CallInfo& CallFor(Shared& s, const std::string& path, const std::string& modem) {
    CallInfo& call = s.calls[path];
    if (call.handle == 0) {
        call.handle = s.nextHandle++;
        if (s.nextHandle == 0) s.nextHandle = 1;
    }
    if (!modem.empty()) call.modem = modem;
    return call;
}

int32_t ReadCallState(sd_bus* bus, const char* path) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    int32_t state = 0;
    if (sd_bus_get_property_trivial(bus, kMM, path, kCall, "State", &error, 'i', &state) < 0)
        state = 0;
    sd_bus_error_free(&error);
    return state;
}

// The modem that owns a call: the modem path is the call's sender object for
// CallAdded; otherwise taken from the known calls.
void CallChanged(sd_bus* bus, const std::string& path, const std::string& modem, int32_t state,
                 bool readState) {
    if (readState) state = ReadCallState(bus, path.c_str());
    Shared& s = TheShared();
    std::lock_guard lock(s.mutex);
    CallInfo& call = CallFor(s, path, modem);
    Report(call, MapState(state), false, s);
}

void CallGone(const std::string& path) {
    Shared& s = TheShared();
    std::lock_guard lock(s.mutex);
    auto it = s.calls.find(path);
    if (it == s.calls.end()) return;
    Report(it->second, Mapped::kDisconnected, false, s);
    s.calls.erase(it);
}

// The calls of a modem that went away have ended with it.
void ModemGone(const std::string& modem) {
    Shared& s = TheShared();
    std::lock_guard lock(s.mutex);
    for (auto it = s.calls.begin(); it != s.calls.end();) {
        if (modem.empty() || it->second.modem == modem) {
            Report(it->second, Mapped::kDisconnected, false, s);
            it = s.calls.erase(it);
        } else {
            ++it;
        }
    }
}

bool KnownModem(const std::string& path) {
    Shared& s = TheShared();
    std::lock_guard lock(s.mutex);
    return std::any_of(s.modems.begin(), s.modems.end(),
                       [&](const Modem& m) { return m.path == path; });
}

void PostRestart() {
    PostMessage(kMsgRestartLines, 0, 0);
}

int OnCallAdded(sd_bus_message* m, void* userdata, sd_bus_error*) {
    const char* path = nullptr;
    if (sd_bus_message_read(m, "o", &path) < 0 || !path) return 0;
    const char* modem = sd_bus_message_get_path(m);
    CallChanged(static_cast<sd_bus*>(userdata), path, modem ? modem : "", 0, true);
    return 0;
}

int OnCallDeleted(sd_bus_message* m, void*, sd_bus_error*) {
    const char* path = nullptr;
    if (sd_bus_message_read(m, "o", &path) >= 0 && path) CallGone(path);
    return 0;
}

int OnStateChanged(sd_bus_message* m, void* userdata, sd_bus_error*) {
    int32_t oldState = 0, newState = 0;
    uint32_t reason = 0;
    const char* path = sd_bus_message_get_path(m);
    if (!path || sd_bus_message_read(m, "iiu", &oldState, &newState, &reason) < 0) return 0;
    CallChanged(static_cast<sd_bus*>(userdata), path, "", newState, false);
    return 0;
}

// PropertiesChanged of a call: the State entry, when there is one.
int OnCallProperties(sd_bus_message* m, void* userdata, sd_bus_error*) {
    const char* path = sd_bus_message_get_path(m);
    const char* interface = nullptr;
    if (!path || sd_bus_message_read(m, "s", &interface) < 0 || !interface ||
        std::string(interface) != kCall)
        return 0;
    if (sd_bus_message_enter_container(m, 'a', "{sv}") <= 0) return 0;
    while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
        const char* name = nullptr;
        if (sd_bus_message_read(m, "s", &name) < 0) return 0;
        if (name && std::string(name) == "State" &&
            sd_bus_message_enter_container(m, 'v', "i") > 0) {
            int32_t state = 0;
            if (sd_bus_message_read(m, "i", &state) >= 0)
                CallChanged(static_cast<sd_bus*>(userdata), path, "", state, false);
            return 0;
        }
        if (sd_bus_message_skip(m, "v") < 0) return 0;
        sd_bus_message_exit_container(m);
    }
    return 0;
}

// Whether an interface list (as in InterfacesRemoved: "as") names Voice.
bool NamesVoice(sd_bus_message* m, const char* signature) {
    bool voice = false;
    if (std::string(signature) == "as") {
        if (sd_bus_message_enter_container(m, 'a', "s") <= 0) return false;
        const char* name = nullptr;
        while (sd_bus_message_read(m, "s", &name) > 0) voice = voice || std::string(name) == kVoice;
        return voice;
    }
    if (sd_bus_message_enter_container(m, 'a', "{sa{sv}}") <= 0) return false;
    while (sd_bus_message_enter_container(m, 'e', "sa{sv}") > 0) {
        const char* name = nullptr;
        if (sd_bus_message_read(m, "s", &name) < 0) break;
        voice = voice || std::string(name ? name : "") == kVoice;
        if (sd_bus_message_skip(m, "a{sv}") < 0) break;
        sd_bus_message_exit_container(m);
    }
    return voice;
}

int OnInterfacesAdded(sd_bus_message* m, void*, sd_bus_error*) {
    const char* path = nullptr;
    if (sd_bus_message_read(m, "o", &path) < 0 || !path) return 0;
    if (NamesVoice(m, "a{sa{sv}}") && !KnownModem(path)) PostRestart();
    return 0;
}

int OnInterfacesRemoved(sd_bus_message* m, void*, sd_bus_error*) {
    const char* path = nullptr;
    if (sd_bus_message_read(m, "o", &path) < 0 || !path) return 0;
    if (NamesVoice(m, "as") && KnownModem(path)) {
        ModemGone(path);
        PostRestart();
    }
    return 0;
}

int OnNameOwner(sd_bus_message* m, void*, sd_bus_error*) {
    const char *name = nullptr, *before = nullptr, *after = nullptr;
    if (sd_bus_message_read(m, "sss", &name, &before, &after) < 0) return 0;
    if (after && *after) {
        PostRestart();  // the service (re)appeared
    } else {
        ModemGone("");
        bool hadModems;
        {
            Shared& s = TheShared();
            std::lock_guard lock(s.mutex);
            hadModems = !s.modems.empty();
            s.modems.clear();
        }
        if (hadModems) PostRestart();
    }
    return 0;
}

void Subscribe(sd_bus* bus) {
    sd_bus_add_match(bus, nullptr,
                     "type='signal',sender='org.freedesktop.DBus',member='NameOwnerChanged',"
                     "arg0='org.freedesktop.ModemManager1'",
                     OnNameOwner, bus);
    sd_bus_match_signal(bus, nullptr, kMM, kMMPath, kObjectManager, "InterfacesAdded",
                        OnInterfacesAdded, bus);
    sd_bus_match_signal(bus, nullptr, kMM, kMMPath, kObjectManager, "InterfacesRemoved",
                        OnInterfacesRemoved, bus);
    sd_bus_match_signal(bus, nullptr, kMM, nullptr, kVoice, "CallAdded", OnCallAdded, bus);
    sd_bus_match_signal(bus, nullptr, kMM, nullptr, kVoice, "CallDeleted", OnCallDeleted, bus);
    sd_bus_match_signal(bus, nullptr, kMM, nullptr, kCall, "StateChanged", OnStateChanged, bus);
    sd_bus_add_match(bus, nullptr,
                     "type='signal',sender='org.freedesktop.ModemManager1',"
                     "interface='org.freedesktop.DBus.Properties',member='PropertiesChanged',"
                     "arg0='org.freedesktop.ModemManager1.Call'",
                     OnCallProperties, bus);
}

// Reads the voice modems and their calls from GetManagedObjects; 0 or a
// line error.
uint32_t Enumerate(sd_bus* bus) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    const int r = sd_bus_call_method(bus, kMM, kMMPath, kObjectManager, "GetManagedObjects", &error,
                                     &reply, "");
    sd_bus_error_free(&error);
    if (r < 0) return kLineErrOperationUnavailable;
    std::vector<std::string> modems;
    std::vector<std::pair<std::string, std::string>> calls;  // call, modem
    if (sd_bus_message_enter_container(reply, 'a', "{oa{sa{sv}}}") > 0) {
        while (sd_bus_message_enter_container(reply, 'e', "oa{sa{sv}}") > 0) {
            const char* path = nullptr;
            if (sd_bus_message_read(reply, "o", &path) < 0) break;
            if (sd_bus_message_enter_container(reply, 'a', "{sa{sv}}") <= 0) break;
            while (sd_bus_message_enter_container(reply, 'e', "sa{sv}") > 0) {
                const char* iface = nullptr;
                sd_bus_message_read(reply, "s", &iface);
                if (iface && std::string(iface) == kVoice && path) {
                    modems.emplace_back(path);
                    if (sd_bus_message_enter_container(reply, 'a', "{sv}") > 0) {
                        while (sd_bus_message_enter_container(reply, 'e', "sv") > 0) {
                            const char* name = nullptr;
                            sd_bus_message_read(reply, "s", &name);
                            if (name && std::string(name) == "Calls" &&
                                sd_bus_message_enter_container(reply, 'v', "ao") > 0) {
                                if (sd_bus_message_enter_container(reply, 'a', "o") > 0) {
                                    const char* call = nullptr;
                                    while (sd_bus_message_read(reply, "o", &call) > 0)
                                        calls.emplace_back(call, path);
                                    sd_bus_message_exit_container(reply);
                                }
                                sd_bus_message_exit_container(reply);
                            } else {
                                sd_bus_message_skip(reply, "v");
                            }
                            sd_bus_message_exit_container(reply);
                        }
                        sd_bus_message_exit_container(reply);
                    }
                } else {
                    sd_bus_message_skip(reply, "a{sv}");
                }
                sd_bus_message_exit_container(reply);
            }
            sd_bus_message_exit_container(reply);
            sd_bus_message_exit_container(reply);
        }
    }
    sd_bus_message_unref(reply);
    std::sort(modems.begin(), modems.end());
    std::vector<std::pair<std::string, int32_t>> states;
    for (const auto& [call, modem] : calls)
        states.emplace_back(call, ReadCallState(bus, call.c_str()));

    Shared& s = TheShared();
    std::lock_guard lock(s.mutex);
    s.modems.clear();
    for (const std::string& path : modems) s.modems.push_back({path, false});
    for (size_t i = 0; i < calls.size(); ++i) {
        CallInfo& call = CallFor(s, calls[i].first, calls[i].second);
        const Mapped mapped = MapState(states[i].second);
        // The state as it is now; reported to the line when it opens.
        call.last = mapped;
        call.dialled = call.dialled || mapped == Mapped::kDialling;
        call.ended = mapped == Mapped::kDisconnected;
    }
    return 0;
}

void Body(int wakeFd) {
    sd_bus* bus = bus::OpenSystemBus(nullptr);
    Shared& s = TheShared();
    if (!bus) {
        std::lock_guard lock(s.mutex);
        s.threadAlive = false;
        s.enumerateResult = kLineErrOperationUnavailable;
        s.enumerateDone = s.enumerateAsked;
        s.answered.notify_all();
        return;
    }
    Subscribe(bus);
    uint64_t done = 0;
    for (;;) {
        uint64_t asked;
        {
            std::lock_guard lock(s.mutex);
            if (s.stop) break;
            asked = s.enumerateAsked;
        }
        if (asked != done) {
            const uint32_t result = Enumerate(bus);
            done = asked;
            std::lock_guard lock(s.mutex);
            s.enumerateResult = result;
            s.enumerateDone = asked;
            s.answered.notify_all();
        }
        pollfd fds[2] = {{wakeFd, POLLIN, 0},
                         {sd_bus_get_fd(bus), short(sd_bus_get_events(bus)), 0}};
        uint64_t until = 0;
        int timeout = -1;
        if (sd_bus_get_timeout(bus, &until) >= 0 && until != UINT64_MAX) {
            timespec ts{};
            clock_gettime(CLOCK_MONOTONIC, &ts);
            const uint64_t now = uint64_t(ts.tv_sec) * 1000000 + uint64_t(ts.tv_nsec) / 1000;
            timeout = until > now ? int(std::min<uint64_t>((until - now + 999) / 1000, 60000)) : 0;
        }
        if (poll(fds, 2, timeout) < 0 && errno != EINTR) break;
        if (fds[0].revents & POLLIN) {
            uint64_t count = 0;
            if (read(wakeFd, &count, sizeof count) < 0) {
                // Nothing to read: another wake took it.
            }
        }
        int r;
        while ((r = sd_bus_process(bus, nullptr)) > 0) {
        }
        if (r < 0) break;  // the bus went away
    }
    sd_bus_flush_close_unref(bus);
    std::lock_guard lock(s.mutex);
    s.threadAlive = false;
    s.enumerateResult = kLineErrOperationUnavailable;
    s.enumerateDone = s.enumerateAsked;
    s.answered.notify_all();
}

void JoinThread() {
    if (g_thread.joinable()) g_thread.join();
    if (g_wakeFd >= 0) close(g_wakeFd);
    g_wakeFd = -1;
}

bool EnsureThread() {
    Shared& s = TheShared();
    {
        std::lock_guard lock(s.mutex);
        if (s.threadAlive) return true;
    }
    JoinThread();  // one that ended by itself
    g_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (g_wakeFd < 0) return false;
    {
        std::lock_guard lock(s.mutex);
        s.threadAlive = true;
        s.stop = false;
    }
    try {
        g_thread = std::thread(Body, g_wakeFd);
    } catch (...) {
        std::lock_guard lock(s.mutex);
        s.threadAlive = false;
        return false;
    }
    return true;
}

}  // namespace

uint32_t MmInitialize(uint32_t* deviceCount, uint32_t* apiVersion) {
    Shared& s = TheShared();
    std::unique_lock lock(s.mutex);
    // Asked before the thread starts: a thread that finds no bus answers
    // every question asked so far, this one included.
    const uint64_t ask = ++s.enumerateAsked;
    lock.unlock();
    if (!EnsureThread()) return kLineErrOperationUnavailable;
    Wake();
    lock.lock();
    if (!s.answered.wait_for(lock, kEnumerateWait, [&] { return s.enumerateDone >= ask; }))
        return kLineErrOperationUnavailable;
    if (s.enumerateResult != 0) return s.enumerateResult;
    s.serviceUp = true;
    *deviceCount = uint32_t(s.modems.size());
    *apiVersion = kLineApiVersion;
    return 0;
}

uint32_t MmOpen(uint32_t device, uint32_t* line) {
    Shared& s = TheShared();
    std::lock_guard lock(s.mutex);
    if (!s.serviceUp || device >= s.modems.size()) return kLineErrOperationUnavailable;
    Modem& modem = s.modems[device];
    modem.open = true;
    *line = device + 1;
    // Calls already up are reported as they are.
    for (auto& [path, call] : s.calls) {
        if (call.modem != modem.path || call.ended || call.last == Mapped::kNone) continue;
        SetRecord(call.handle, kMediaInteractiveVoice);
        QueueEvent({call.handle, LineState(call.last), true});
    }
    return 0;
}

void MmClose(uint32_t line) {
    Shared& s = TheShared();
    std::lock_guard lock(s.mutex);
    if (line >= 1 && line <= s.modems.size()) s.modems[line - 1].open = false;
}

void MmShutdown() {
    Shared& s = TheShared();
    {
        std::lock_guard lock(s.mutex);
        s.serviceUp = false;
        for (Modem& m : s.modems) m.open = false;
    }
    ClearAll();
}

void MmStopWatch() {
    MmShutdown();
    Shared& s = TheShared();
    {
        std::lock_guard lock(s.mutex);
        s.stop = true;
    }
    Wake();
    JoinThread();
}

}  // namespace kra::platform::lines
