// The MPRIS server on sd-bus: one thread owns the session bus connection.
#include <poll.h>
#include <sys/eventfd.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/clock.h"
#include "platform/mpris-server.h"

namespace kra::platform {

namespace {

constexpr const char* kPath = "/org/mpris/MediaPlayer2";
constexpr const char* kRootInterface = "org.mpris.MediaPlayer2";
constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";
constexpr const char* kName = "org.mpris.MediaPlayer2.kra";

struct Server {
    std::mutex mutex;
    MprisState published;  // the latest state, under the lock
    bool changed = false;  // published differs from what the thread emitted
    std::string busName;   // under the lock: the name asked for
    bool granted = false;  // under the lock: the bus gave it
    std::string desktopEntry;
    MprisRequestSink sink = nullptr;
    int wakeFd = -1;
    std::atomic<bool> stop{false};
    std::thread thread;
    sd_bus* bus = nullptr;  // the bus thread's only
    MprisState emitted;     // the bus thread's only
};

std::atomic<Server*> g_server{nullptr};

Server& S(void* userdata) {
    return *static_cast<Server*>(userdata);
}

MprisState Snapshot(Server& s) {
    std::lock_guard lock(s.mutex);
    return s.published;
}

int64_t PositionNow(const MprisState& state) {
    int64_t us = state.positionUs;
    if (state.advancing) us += int64_t(uint32_t(TickCount() - state.positionTick)) * 1000;
    if (state.lengthUs > 0 && us > state.lengthUs) us = state.lengthUs;
    return us < 0 ? 0 : us;
}

void Wake(int fd) {
    const uint64_t one = 1;
    if (write(fd, &one, sizeof one) < 0) {
        // The counter is already high: the thread wakes anyway.
    }
}

// ---- Requests ----

int Hand(sd_bus_message* m, Server& s, const MprisRequest& request) {
    if (!s.sink || !s.sink(request)) {
        return sd_bus_reply_method_errorf(m, "org.freedesktop.DBus.Error.LimitsExceeded",
                                          "Too many requests waiting");
    }
    return sd_bus_reply_method_return(m, "");
}

template <MprisRequest::Kind K>
int SimpleMethod(sd_bus_message* m, void* userdata, sd_bus_error*) {
    MprisRequest request;
    request.kind = K;
    return Hand(m, S(userdata), request);
}

int MethodSeek(sd_bus_message* m, void* userdata, sd_bus_error*) {
    MprisRequest request;
    request.kind = MprisRequest::Kind::kSeek;
    const int r = sd_bus_message_read(m, "x", &request.us);
    if (r < 0) return r;
    return Hand(m, S(userdata), request);
}

int MethodSetPosition(sd_bus_message* m, void* userdata, sd_bus_error*) {
    MprisRequest request;
    request.kind = MprisRequest::Kind::kSetPosition;
    const char* track = nullptr;
    const int r = sd_bus_message_read(m, "ox", &track, &request.us);
    if (r < 0) return r;
    request.text = track ? track : "";
    return Hand(m, S(userdata), request);
}

int MethodOpenUri(sd_bus_message* m, void*, sd_bus_error*) {
    const char* uri = nullptr;
    const int r = sd_bus_message_read(m, "s", &uri);
    if (r < 0) return r;
    return sd_bus_reply_method_errorf(m, "org.mpris.MediaPlayer2.NotSupported",
                                      "Opening addresses is not supported");
}

// ---- Properties ----

template <bool MprisState::*Field>
int GetBool(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void* userdata,
            sd_bus_error*) {
    const int value = Snapshot(S(userdata)).*Field ? 1 : 0;
    return sd_bus_message_append(reply, "b", value);
}

template <std::string MprisState::*Field>
int GetString(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void* userdata,
              sd_bus_error*) {
    const std::string value = Snapshot(S(userdata)).*Field;
    return sd_bus_message_append(reply, "s", value.c_str());
}

int GetTrue(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
            sd_bus_error*) {
    return sd_bus_message_append(reply, "b", 1);
}
int GetFalse(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
             sd_bus_error*) {
    return sd_bus_message_append(reply, "b", 0);
}
int GetOne(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
           sd_bus_error*) {
    return sd_bus_message_append(reply, "d", 1.0);
}
int GetIdentity(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
                sd_bus_error*) {
    return sd_bus_message_append(reply, "s", "KRA");
}
int GetDesktopEntry(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply,
                    void* userdata, sd_bus_error*) {
    return sd_bus_message_append(reply, "s", S(userdata).desktopEntry.c_str());
}
int GetEmptyList(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
                 sd_bus_error*) {
    return sd_bus_message_append(reply, "as", 0);
}
int GetVolume(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void* userdata,
              sd_bus_error*) {
    return sd_bus_message_append(reply, "d", Snapshot(S(userdata)).volume);
}
int GetPosition(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply,
                void* userdata, sd_bus_error*) {
    return sd_bus_message_append(reply, "x", PositionNow(Snapshot(S(userdata))));
}

int AppendEntry(sd_bus_message* reply, const char* key, const char* type, const void* value) {
    int r = sd_bus_message_open_container(reply, 'e', "sv");
    if (r >= 0) r = sd_bus_message_append(reply, "s", key);
    if (r >= 0) r = sd_bus_message_open_container(reply, 'v', type);
    if (r >= 0) r = sd_bus_message_append_basic(reply, type[0], value);
    if (r >= 0) r = sd_bus_message_close_container(reply);
    if (r >= 0) r = sd_bus_message_close_container(reply);
    return r;
}

int GetMetadata(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply,
                void* userdata, sd_bus_error*) {
    const MprisState state = Snapshot(S(userdata));
    int r = sd_bus_message_open_container(reply, 'a', "{sv}");
    if (r >= 0) r = AppendEntry(reply, "mpris:trackid", "o", state.trackId.c_str());
    if (state.trackId != kMprisNoTrack) {
        if (r >= 0 && state.lengthUs > 0)
            r = AppendEntry(reply, "mpris:length", "x", &state.lengthUs);
        if (r >= 0 && !state.artUrl.empty())
            r = AppendEntry(reply, "mpris:artUrl", "s", state.artUrl.c_str());
        if (r >= 0) r = AppendEntry(reply, "xesam:title", "s", state.title.c_str());
        if (r >= 0) r = AppendEntry(reply, "xesam:album", "s", state.album.c_str());
        if (r >= 0) r = sd_bus_message_open_container(reply, 'e', "sv");
        if (r >= 0) r = sd_bus_message_append(reply, "s", "xesam:artist");
        if (r >= 0) r = sd_bus_message_open_container(reply, 'v', "as");
        if (r >= 0) r = sd_bus_message_open_container(reply, 'a', "s");
        for (const std::string& artist : state.artists) {
            if (r >= 0) r = sd_bus_message_append(reply, "s", artist.c_str());
        }
        if (r >= 0) r = sd_bus_message_close_container(reply);
        if (r >= 0) r = sd_bus_message_close_container(reply);
        if (r >= 0) r = sd_bus_message_close_container(reply);
    }
    if (r >= 0) r = sd_bus_message_close_container(reply);
    return r;
}

// A written value reads back at once, before the player has taken it; the
// player's own state follows with its next publication.
template <typename Apply>
void ShowWritten(Server& s, Apply apply) {
    {
        std::lock_guard lock(s.mutex);
        apply(s.published);
        s.changed = true;
    }
    Wake(s.wakeFd);
}

int SetLoopStatus(sd_bus*, const char*, const char*, const char*, sd_bus_message* value,
                  void* userdata, sd_bus_error* error) {
    const char* text = nullptr;
    const int r = sd_bus_message_read(value, "s", &text);
    if (r < 0) return r;
    const std::string status = text ? text : "";
    if (status != "None" && status != "Track" && status != "Playlist")
        return sd_bus_error_setf(error, SD_BUS_ERROR_INVALID_ARGS, "Unknown loop status");
    MprisRequest request;
    request.kind = MprisRequest::Kind::kLoopStatus;
    request.text = status;
    Server& s = S(userdata);
    if (!s.sink || !s.sink(request))
        return sd_bus_error_setf(error, SD_BUS_ERROR_LIMITS_EXCEEDED, "Too many requests waiting");
    ShowWritten(s, [&](MprisState& state) { state.loopStatus = status; });
    return 1;
}

int SetShuffle(sd_bus*, const char*, const char*, const char*, sd_bus_message* value,
               void* userdata, sd_bus_error* error) {
    int flag = 0;
    const int r = sd_bus_message_read(value, "b", &flag);
    if (r < 0) return r;
    MprisRequest request;
    request.kind = MprisRequest::Kind::kShuffle;
    request.flag = flag != 0;
    Server& s = S(userdata);
    if (!s.sink || !s.sink(request))
        return sd_bus_error_setf(error, SD_BUS_ERROR_LIMITS_EXCEEDED, "Too many requests waiting");
    ShowWritten(s, [&](MprisState& state) { state.shuffle = request.flag; });
    return 1;
}

int SetVolume(sd_bus*, const char*, const char*, const char*, sd_bus_message* value, void* userdata,
              sd_bus_error* error) {
    double volume = 0;
    const int r = sd_bus_message_read(value, "d", &volume);
    if (r < 0) return r;
    if (!std::isfinite(volume))
        return sd_bus_error_setf(error, SD_BUS_ERROR_INVALID_ARGS, "The volume must be a number");
    MprisRequest request;
    request.kind = MprisRequest::Kind::kVolume;
    request.number = volume;
    Server& s = S(userdata);
    if (!s.sink || !s.sink(request))
        return sd_bus_error_setf(error, SD_BUS_ERROR_LIMITS_EXCEEDED, "Too many requests waiting");
    ShowWritten(s, [&](MprisState& state) {
        state.volume = std::round(std::clamp(volume, 0.0, 1.0) * 100) / 100;
    });
    return 1;
}

// The rate is always 1; a client may write 1 (and nothing else).
int SetRate(sd_bus*, const char*, const char*, const char*, sd_bus_message* value, void*,
            sd_bus_error* error) {
    double rate = 0;
    const int r = sd_bus_message_read(value, "d", &rate);
    if (r < 0) return r;
    if (rate != 1.0) return sd_bus_error_setf(error, SD_BUS_ERROR_NOT_SUPPORTED, "Rate is fixed");
    return 1;
}

#define KRA_EMITS SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE

const sd_bus_vtable kRootVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Raise", "", "", SimpleMethod<MprisRequest::Kind::kRaise>,
                  SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Quit", "", "", SimpleMethod<MprisRequest::Kind::kQuit>,
                  SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_PROPERTY("CanQuit", "b", GetTrue, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("CanRaise", "b", GetTrue, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("HasTrackList", "b", GetFalse, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Identity", "s", GetIdentity, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("DesktopEntry", "s", GetDesktopEntry, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("SupportedUriSchemes", "as", GetEmptyList, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("SupportedMimeTypes", "as", GetEmptyList, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_VTABLE_END,
};

const sd_bus_vtable kPlayerVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Next", "", "", SimpleMethod<MprisRequest::Kind::kNext>,
                  SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Previous", "", "", SimpleMethod<MprisRequest::Kind::kPrevious>,
                  SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Pause", "", "", SimpleMethod<MprisRequest::Kind::kPause>,
                  SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("PlayPause", "", "", SimpleMethod<MprisRequest::Kind::kPlayPause>,
                  SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Stop", "", "", SimpleMethod<MprisRequest::Kind::kStop>,
                  SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Play", "", "", SimpleMethod<MprisRequest::Kind::kPlay>,
                  SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Seek", "x", "", MethodSeek, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("SetPosition", "ox", "", MethodSetPosition, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("OpenUri", "s", "", MethodOpenUri, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_PROPERTY("PlaybackStatus", "s", GetString<&MprisState::playbackStatus>, 0, KRA_EMITS),
    SD_BUS_WRITABLE_PROPERTY("LoopStatus", "s", GetString<&MprisState::loopStatus>, SetLoopStatus,
                             0, KRA_EMITS | SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_WRITABLE_PROPERTY("Rate", "d", GetOne, SetRate, 0, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_WRITABLE_PROPERTY("Shuffle", "b", GetBool<&MprisState::shuffle>, SetShuffle, 0,
                             KRA_EMITS | SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_PROPERTY("Metadata", "a{sv}", GetMetadata, 0, KRA_EMITS),
    SD_BUS_WRITABLE_PROPERTY("Volume", "d", GetVolume, SetVolume, 0,
                             KRA_EMITS | SD_BUS_VTABLE_UNPRIVILEGED),
    // Moves on its own: clients read it and follow Seeked.
    SD_BUS_PROPERTY("Position", "x", GetPosition, 0, 0),
    SD_BUS_PROPERTY("MinimumRate", "d", GetOne, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("MaximumRate", "d", GetOne, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("CanGoNext", "b", GetBool<&MprisState::canGoNext>, 0, KRA_EMITS),
    SD_BUS_PROPERTY("CanGoPrevious", "b", GetBool<&MprisState::canGoPrevious>, 0, KRA_EMITS),
    SD_BUS_PROPERTY("CanPlay", "b", GetBool<&MprisState::canPlay>, 0, KRA_EMITS),
    SD_BUS_PROPERTY("CanPause", "b", GetBool<&MprisState::canPause>, 0, KRA_EMITS),
    SD_BUS_PROPERTY("CanSeek", "b", GetBool<&MprisState::canSeek>, 0, KRA_EMITS),
    SD_BUS_PROPERTY("CanControl", "b", GetTrue, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_SIGNAL("Seeked", "x", 0),
    SD_BUS_VTABLE_END,
};

// ---- The bus thread ----

// Sends PropertiesChanged for what differs from the last emitted state, and
// Seeked for a new jump.
void EmitChanges(Server& s) {
    MprisState now;
    {
        std::lock_guard lock(s.mutex);
        if (!s.changed) return;
        s.changed = false;
        now = s.published;
    }
    const MprisState& was = s.emitted;
    std::vector<const char*> names;
    if (now.playbackStatus != was.playbackStatus) names.push_back("PlaybackStatus");
    if (now.loopStatus != was.loopStatus) names.push_back("LoopStatus");
    if (now.shuffle != was.shuffle) names.push_back("Shuffle");
    if (now.volume != was.volume) names.push_back("Volume");
    if (now.trackId != was.trackId || now.lengthUs != was.lengthUs || now.artUrl != was.artUrl ||
        now.title != was.title || now.album != was.album || now.artists != was.artists)
        names.push_back("Metadata");
    if (now.canGoNext != was.canGoNext) names.push_back("CanGoNext");
    if (now.canGoPrevious != was.canGoPrevious) names.push_back("CanGoPrevious");
    if (now.canPlay != was.canPlay) names.push_back("CanPlay");
    if (now.canPause != was.canPause) names.push_back("CanPause");
    if (now.canSeek != was.canSeek) names.push_back("CanSeek");
    if (!names.empty()) {
        names.push_back(nullptr);
        sd_bus_emit_properties_changed_strv(s.bus, kPath, kPlayerInterface,
                                            const_cast<char**>(names.data()));
    }
    if (now.seeks != was.seeks) {
        sd_bus_emit_signal(s.bus, kPath, kPlayerInterface, "Seeked", "x", PositionNow(now));
    }
    s.emitted = now;
}

int OnNameReply(sd_bus_message* m, void* userdata, sd_bus_error*);

void RequestName(Server& s, const std::string& name) {
    // 4: do not queue; a taken name answers 3 at once.
    sd_bus_call_method_async(s.bus, nullptr, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                             "org.freedesktop.DBus", "RequestName", OnNameReply, &s, "su",
                             name.c_str(), 4u);
}

int OnNameReply(sd_bus_message* m, void* userdata, sd_bus_error*) {
    Server& s = S(userdata);
    uint32_t code = 0;
    const bool ok = !sd_bus_message_is_method_error(m, nullptr) &&
                    sd_bus_message_read(m, "u", &code) >= 0 && (code == 1 || code == 4);
    std::string wanted;
    {
        std::lock_guard lock(s.mutex);
        wanted = s.busName;
        s.granted = ok;
        if (ok) return 0;
        if (wanted != kName) {
            s.busName.clear();  // the instance name failed too: unnamed
            return 0;
        }
        s.busName = std::string(kName) + ".instance" + std::to_string(getpid());
        wanted = s.busName;
    }
    RequestName(s, wanted);
    return 0;
}

void BusLoop(Server& s) {
    sd_bus_add_object_vtable(s.bus, nullptr, kPath, kRootInterface, kRootVtable, &s);
    sd_bus_add_object_vtable(s.bus, nullptr, kPath, kPlayerInterface, kPlayerVtable, &s);
    {
        std::lock_guard lock(s.mutex);
        s.busName = kName;
    }
    RequestName(s, kName);
    while (!s.stop.load()) {
        int r;
        while ((r = sd_bus_process(s.bus, nullptr)) > 0) {
            if (s.stop.load()) break;
        }
        if (r < 0) break;  // the bus went away
        EmitChanges(s);
        sd_bus_flush(s.bus);
        pollfd fds[2] = {{sd_bus_get_fd(s.bus), short(sd_bus_get_events(s.bus)), 0},
                         {s.wakeFd, POLLIN, 0}};
        uint64_t usec = UINT64_MAX;
        int timeout = -1;
        if (sd_bus_get_timeout(s.bus, &usec) >= 0 && usec != UINT64_MAX) timeout = 50;
        if (poll(fds, 2, timeout) < 0 && errno != EINTR) break;
        if (fds[1].revents & POLLIN) {
            uint64_t count = 0;
            if (read(s.wakeFd, &count, sizeof count) < 0) {
                // Nothing to take: the next poll tells.
            }
        }
    }
    sd_bus_flush_close_unref(s.bus);
    s.bus = nullptr;
    std::lock_guard lock(s.mutex);
    s.granted = false;
}

}  // namespace

bool StartMprisServer(MprisRequestSink sink, const std::string& desktopEntry, std::string* why) {
    StopMprisServer();
    sd_bus* bus = nullptr;
    const int r = sd_bus_open_user(&bus);
    if (r < 0) {
        if (why) *why = std::string("no session bus (") + std::strerror(-r) + ")";
        return false;
    }
    auto* s = new Server;
    s->bus = bus;
    s->sink = sink;
    s->desktopEntry = desktopEntry;
    s->wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (s->wakeFd < 0) {
        if (why) *why = "no wake event";
        sd_bus_flush_close_unref(bus);
        delete s;
        return false;
    }
    try {
        s->thread = std::thread([s] { BusLoop(*s); });
    } catch (...) {
        if (why) *why = "no bus thread";
        sd_bus_flush_close_unref(bus);
        close(s->wakeFd);
        delete s;
        return false;
    }
    g_server = s;
    return true;
}

void PublishMprisState(const MprisState& state) {
    Server* s = g_server;
    if (!s) return;
    {
        std::lock_guard lock(s->mutex);
        if (s->published == state) return;
        s->published = state;
        s->changed = true;
    }
    Wake(s->wakeFd);
}

void StopMprisServer() {
    Server* s = g_server.exchange(nullptr);
    if (!s) return;
    s->stop.store(true);
    Wake(s->wakeFd);
    s->thread.join();
    close(s->wakeFd);
    delete s;
}

bool MprisServerRunning() {
    return g_server != nullptr;
}

std::string MprisBusName() {
    Server* s = g_server;
    if (!s) return "";
    std::lock_guard lock(s->mutex);
    return s->granted ? s->busName : "";
}

}  // namespace kra::platform
