// Remote control through the MPRIS server: state, requests, media keys.
#include "device/mpris.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>
#include <mutex>
#include <vector>

#include "app/base/app_state.h"
#include "app/base/debug_log.h"
#include "app/base/hooks.h"
#include "app/base/settings.h"
#include "app/base/text.h"
#include "device/remote.h"
#include "library/library.h"
#include "media/album_art.h"
#include "media/album_art_files.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/message_loop.h"
#include "playback/play_queue.h"
#include "playback/player_bridge.h"
#include "screens/now_playing.h"
#include "screens/screen_router.h"

namespace kra {

namespace {

using platform::MprisRequest;
using platform::MprisState;
using Kind = MprisRequest::Kind;

std::mutex g_requestMutex;
std::deque<MprisRequest> g_requests;  // under g_requestMutex

// The main thread's bookkeeping of what clients were shown.
struct RemoteBook {
    std::u16string path;  // the track the number belongs to
    uint32_t startTick = 0;
    uint64_t number = 0;
    std::string artUrl;
    uint64_t seeks = 0;
    MprisState last;
};
RemoteBook g_book;

RemoteRegisterMessage g_registerMessage = nullptr;
void (*g_keyDownAfterMedia)(uint32_t key) = nullptr;

bool TrackLoaded() {
    return g_app.trackLoaded && !g_queue.currentPath.empty();
}

void SendCommand(uint16_t id, intptr_t lParam = 0) {
    platform::SendMessage(platform::kWmCommand, id, lParam);
}

void Redraw() {
    if (g_app.windowCreated && g_hooks.redrawScreen) g_hooks.redrawScreen();
}

std::string TrackId() {
    return TrackLoaded() ? "/org/kra/track/" + std::to_string(g_book.number)
                         : platform::kMprisNoTrack;
}

int64_t LengthUs() {
    return int64_t(g_queue.songLength) * 1000000;
}

int64_t EnginePositionUs() {
    platform::PlayerEngine* engine = player::Engine();
    if (!engine || !TrackLoaded()) return 0;
    const double seconds = engine->GetPosition();
    if (!std::isfinite(seconds) || seconds <= 0) return 0;
    return int64_t(std::min(seconds, 1e9) * 1e6);
}

// Jumps to `us` from the song's start (whole seconds, as the bridge takes
// them) and tells clients.
void JumpTo(int64_t us) {
    player::SetPosition(uint32_t(std::clamp<int64_t>(us, 0, LengthUs()) / 1000000));
    ++g_book.seeks;
    if (g_hooks.positionTick) g_hooks.positionTick();
}

// The cover file of the track's folder, or its embedded picture exported,
// as a URL; empty when none.
std::string CoverUrl(const std::u16string& songPath) {
    const std::u16string cover = ExportNowPlayingPicture(songPath);
    if (cover.empty()) return "";
    const std::string posix = platform::ToPosixPath(cover);
    return posix.empty() ? "" : FileUrl(posix);
}

void FollowTrack() {
    if (!TrackLoaded()) return;
    if (g_queue.currentPath == g_book.path && g_app.lastTrackStartTick == g_book.startTick) return;
    g_book.path = g_queue.currentPath;
    g_book.startTick = g_app.lastTrackStartTick;
    ++g_book.number;
    g_book.artUrl = CoverUrl(g_book.path);
}

intptr_t OnRemoteRequest(uintptr_t, intptr_t) {
    RunRemoteRequests();
    return 0;
}

void KeyDownWithMedia(uint32_t key) {
    if (HandleMediaKey(key)) return;
    if (g_keyDownAfterMedia) g_keyDownAfterMedia(key);
}

void SetLoopStatus(const std::string& status) {
    uint8_t mode = g_settings.repeatAlbum;
    if (status == "None") {
        mode = 0;
    } else if (status == "Track") {
        mode = 3;
    } else if (status == "Playlist") {
        if (mode != 1 && mode != 2) mode = 1;
    } else {
        return;
    }
    if (mode == g_settings.repeatAlbum) return;
    g_settings.repeatAlbum = mode;
    WriteByte(u"RepeatAlbum", mode);
    Redraw();
}

void SetShuffle(bool on) {
    const uint8_t now = g_settings.playShuffle;
    const uint8_t mode = on ? ((now == 1 || now == 2) ? now : 1) : 0;
    if (mode == now) return;
    queue_detail::StorePlayShuffle(mode);
    if (g_app.windowCreated) RenderPositionLabel(g_screen);
    Redraw();
}

void Seek(int64_t offsetUs) {
    if (!TrackLoaded()) return;
    const int64_t from = EnginePositionUs();
    // Saturating: INT64_MIN and INT64_MAX offsets stay in range.
    int64_t target;
    if (__builtin_add_overflow(from, offsetUs, &target))
        target = offsetUs < 0 ? std::numeric_limits<int64_t>::min()
                              : std::numeric_limits<int64_t>::max();
    if (LengthUs() > 0 && target > LengthUs()) {
        SendCommand(kCmdRemoteNext);
        return;
    }
    JumpTo(std::max<int64_t>(target, 0));
}

void SetPosition(const std::string& trackId, int64_t us) {
    if (!TrackLoaded() || trackId != TrackId()) return;  // a stale or unknown track
    if (us < 0 || (LengthUs() > 0 && us > LengthUs())) return;
    JumpTo(us);
}

}  // namespace

std::string FileUrl(std::string_view posixPath) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (const char c : posixPath) {
        const unsigned char u = static_cast<unsigned char>(c);
        if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') ||
            u == '-' || u == '.' || u == '_' || u == '~' || u == '/') {
            url += c;
        } else {
            url += '%';
            url += kHex[u >> 4];
            url += kHex[u & 15];
        }
    }
    return url;
}

std::string BusText(std::u16string_view text) {
    const size_t zero = text.find(u'\0');
    return Utf16ToUtf8(text.substr(0, zero));
}

MprisState BuildRemoteState() {
    FollowTrack();
    MprisState s;
    const bool loaded = TrackLoaded();
    s.playbackStatus = !loaded ? "Stopped" : (g_app.paused ? "Paused" : "Playing");
    switch (g_settings.repeatAlbum) {
        case 1:
        case 2:
            s.loopStatus = "Playlist";
            break;
        case 3:
            s.loopStatus = "Track";
            break;
        default:
            s.loopStatus = "None";
            break;
    }
    s.shuffle = g_settings.playShuffle == 1 || g_settings.playShuffle == 2;
    s.volume = double(std::min<uint32_t>(g_settings.musicVolume, 100)) / 100.0;
    const bool anything = loaded || !g_library.play.empty() || g_library.browse.size() > 0;
    s.canPlay = s.canPause = anything;
    s.canGoNext = s.canGoPrevious = !g_library.play.empty();
    s.canSeek = loaded && g_queue.songLength > 0;
    s.trackId = TrackId();
    if (loaded) {
        s.lengthUs = LengthUs();
        s.artUrl = g_book.artUrl;
        s.title =
            BusText(g_queue.title.empty() ? std::u16string(PathLastComponent(g_queue.currentPath))
                                          : g_queue.title);
        s.album = BusText(g_queue.album);
        if (!g_queue.artist.empty()) s.artists.push_back(BusText(g_queue.artist));
    }
    s.seeks = g_book.seeks;

    s.advancing = loaded && !g_app.paused;
    PlaceRemotePosition(g_book.last, EnginePositionUs(), platform::TickCount(), s);
    g_book.seeks = s.seeks;
    return s;
}

void PlaceRemotePosition(const MprisState& last, int64_t actualUs, uint32_t now, MprisState& s) {
    int64_t estimate = last.positionUs;
    if (last.advancing) estimate += int64_t(uint32_t(now - last.positionTick)) * 1000;
    const bool sameRun = s.advancing == last.advancing && s.trackId == last.trackId;
    if (sameRun && last.seeks == s.seeks && std::llabs(estimate - actualUs) < 250000) {
        s.positionUs = last.positionUs;
        s.positionTick = last.positionTick;
        return;
    }
    // Off the prediction on the same song in the same run state: a jump made
    // elsewhere (the position slider), which clients hear of as a seek too.
    if (sameRun && last.seeks == s.seeks && s.trackId != platform::kMprisNoTrack) ++s.seeks;
    s.positionUs = actualUs;
    s.positionTick = now;
}

void PublishRemoteState() {
    if (!platform::MprisServerRunning()) return;
    g_book.last = BuildRemoteState();
    platform::PublishMprisState(g_book.last);
}

bool QueueRemoteRequest(const MprisRequest& request) {
    bool wasEmpty;
    {
        std::lock_guard lock(g_requestMutex);
        if (g_requests.size() >= kMaxRemoteRequests) return false;
        wasEmpty = g_requests.empty();
        g_requests.push_back(request);
    }
    if (wasEmpty) platform::PostMessage(kMsgRemoteRequest, 0, 0);
    return true;
}

void RunRemoteRequests() {
    std::deque<MprisRequest> requests;
    {
        std::lock_guard lock(g_requestMutex);
        requests.swap(g_requests);
    }
    for (const MprisRequest& request : requests) RunRemoteRequest(request);
}

void RunRemoteRequest(const MprisRequest& r) {
    switch (r.kind) {
        case Kind::kRaise:
            if (g_hooks.bringToFront) g_hooks.bringToFront();
            break;
        case Kind::kQuit:
            platform::PostMessage(platform::kWmClose, 0, 0);
            break;
        case Kind::kPlayPause:
            SendCommand(kCmdRemotePause);
            break;
        case Kind::kPlay:
            if (g_app.paused) SendCommand(kCmdRemotePause);
            break;
        case Kind::kPause:
            if (!g_app.paused) SendCommand(kCmdRemotePause);
            break;
        case Kind::kStop:
            if (!g_app.paused) SendCommand(kCmdRemotePause);
            if (TrackLoaded()) JumpTo(0);
            break;
        case Kind::kNext:
            SendCommand(kCmdRemoteNext);
            break;
        case Kind::kPrevious:
            SendCommand(kCmdRemotePrevious);
            break;
        case Kind::kSeek:
            Seek(r.us);
            break;
        case Kind::kSetPosition:
            SetPosition(r.text, r.us);
            break;
        case Kind::kLoopStatus:
            SetLoopStatus(r.text);
            break;
        case Kind::kShuffle:
            SetShuffle(r.flag);
            break;
        case Kind::kVolume: {
            if (!std::isfinite(r.number)) break;
            const double volume = std::clamp(r.number, 0.0, 1.0);
            SendCommand(kCmdSetVolume, intptr_t(std::lround(volume * 100)));
            SendCommand(kCmdStoreVolume);
            break;
        }
    }
}

bool HandleMediaKey(uint32_t key) {
    MprisRequest request;
    switch (key) {
        case 0xB3:
            request.kind = Kind::kPlayPause;
            break;
        case 0xB0:
            request.kind = Kind::kNext;
            break;
        case 0xB1:
            request.kind = Kind::kPrevious;
            break;
        case 0xB2:
            request.kind = Kind::kStop;
            break;
        default:
            return false;
    }
    RunRemoteRequest(request);
    return true;
}

void SetUpRemoteControl() {
    if (g_registerMessage) RegisterRemoteMessages(g_registerMessage, g_settings.htcRemoteOffset);
    std::string why;
    if (!platform::StartMprisServer(&QueueRemoteRequest, "kra", &why)) {
        KRA_LOG("No Plugin loaded");
        KRA_LOG("MPRIS: %s", why.c_str());
        return;
    }
    KRA_LOG("Plugin name:%s", "MPRIS org.mpris.MediaPlayer2.kra");
    KRA_LOG("Plugin %d loaded", 1);
    PublishRemoteState();
}

void ReleaseRemoteControl() {
    platform::StopMprisServer();
    std::lock_guard lock(g_requestMutex);
    g_requests.clear();
}

void InstallRemoteHooks(RemoteRegisterMessage registerMessage) {
    g_registerMessage = registerMessage;
    g_hooks.setUpRemotePlugins = &SetUpRemoteControl;
    g_hooks.releaseRemotePlugins = &ReleaseRemoteControl;
    if (g_hooks.keyDown != &KeyDownWithMedia) {
        g_keyDownAfterMedia = g_hooks.keyDown;
        g_hooks.keyDown = &KeyDownWithMedia;
    }
    if (registerMessage) registerMessage(kMsgRemoteRequest, &OnRemoteRequest);
}

void ResetRemoteControl() {
    ReleaseRemoteControl();
    g_book = RemoteBook{};
    g_registerMessage = nullptr;
    g_keyDownAfterMedia = nullptr;
}

}  // namespace kra
