// Starting a song in the player, the player's reports, and the hooks through
// which the window's commands reach the playback.
#include <algorithm>

#include "app/base/app_state.h"
#include "app/base/debug_log.h"
#include "app/base/hooks.h"
#include "app/base/settings.h"
#include "app/base/text.h"
#include "media/media_probe.h"
#include "platform/clock.h"
#include "platform/message_loop.h"
#include "playback/play_queue.h"
#include "playback/player_bridge.h"

namespace kra {

using namespace queue_detail;

namespace {

void ApplyVolume(uint32_t volume) {
    g_settings.musicVolume = volume > 100 ? 100 : volume;
    player::SetVolume(int32_t(g_settings.musicVolume));
}

// Shell hooks.
bool CreatePlayer(std::u16string& error) {
    if (!player::InitGstPlayer(error)) return false;
    ResetPlayQueue();
    return true;
}

void ApplyPlayerSettings() {
    player::SetVolume(int32_t(g_settings.musicVolume));
}

void HookApplyVolume(uint32_t volume) {
    ApplyVolume(volume);
}

void StopPlayer() {
    player::Stop();
}

void ReleasePlayer(int) {
    player::ShutdownPlayer();
}

bool CurrentTrack(std::u16string& path, uint32_t& position, uint32_t& identity) {
    identity = g_queue.cursor.historyCounter;
    if (g_app.trackLoaded) {
        path = g_queue.currentPath;
        // A resume the player has not applied yet is still the position: a
        // quit before the track is ready must not store 0 over it.
        position = g_app.resumePending ? g_queue.resumePosition : player::GetPosition();
    } else {
        path.clear();
        position = 0;
    }
    return true;
}

}  // namespace

bool ShowSong(const std::u16string& path, uint32_t position, bool startPaused) {
    KRA_LOG("Play:%s %d", Utf16ToUtf8(path).c_str(), int(position));
    if (!player::OpenUrl(path)) {
        KRA_LOG("Play failed: %s", Utf16ToUtf8(path).c_str());
        return false;
    }
    if (!startPaused) player::Play();
    g_app.paused = startPaused;
    g_app.trackLoaded = true;
    WriteDword(u"Status", startPaused ? 1 : 0);
    g_queue.currentPath = path;

    g_queue.songLength = player::ReadCurrentItem(false, g_app.resumePending).duration;
    TagInfo tags{};
    bool tagged = false;
    {
        MediaFileProbe& probe = SharedMediaFileProbe();
        ProbeSession session(probe, path);
        if (g_queue.songLength == 0 && session.Recognised())
            g_queue.songLength = uint32_t(std::max(probe.DurationSeconds(), int32_t(0)));
        tagged = probe.ReadTags(tags, g_settings.fastAlbumPic != 0, g_queue.tagPicturePath) != 0;
    }
    g_queue.title = TagText(tags.title);
    g_queue.artist = TagText(tags.artist);
    g_queue.album = TagText(tags.album);
    g_queue.songHasNoTags = !tagged;
    if (g_queue.title.empty()) g_queue.title = std::u16string(UntaggedTitle(path));
    WriteNowPlaying(g_queue.album, g_queue.artist, g_queue.title);

    g_queue.resumePosition = position;
    g_app.resumePending = position > 0;
    if (g_playbackHooks.showSong) g_playbackHooks.showSong(path, position, startPaused);
    g_app.lastTrackStartTick = platform::TickCount();
    return true;
}

void RefreshFromPlayer() {
    // A song resumed paused gets its start position here: on the stop-report
    // path the paused report clears the pending position and no playing
    // report follows to apply it.
    if (g_app.paused) ApplyPendingResume();
    const player::CurrentItem item = player::ReadCurrentItem(true, g_app.resumePending);
    if (item.duration > 0) g_queue.songLength = item.duration;
    if (g_queue.songHasNoTags) {
        if (!item.title.empty()) g_queue.title = item.title;
        if (!item.album.empty()) g_queue.album = item.album;
        if (!item.artist.empty()) g_queue.artist = item.artist;
        g_queue.songHasNoTags = false;
    }
    if (g_playbackHooks.songInfoChanged) g_playbackHooks.songInfoChanged();
}

void ApplyPendingResume() {
    if (!g_app.resumePending) return;
    g_app.resumePending = false;
    player::SetPosition(g_queue.resumePosition);
}

namespace {
intptr_t OnPlayerEvents(uintptr_t, intptr_t) {
    player::PumpPlayerEvents();
    return 0;
}
}  // namespace

void InstallPlaybackHooks(RegisterMessageFunction registerMessage) {
    if (registerMessage) registerMessage(platform::kWmPlayerEvents, &OnPlayerEvents);
    g_hooks.createPlayer = &CreatePlayer;
    g_hooks.applyPlayerSettings = &ApplyPlayerSettings;
    g_hooks.applyVolume = &HookApplyVolume;
    g_hooks.togglePause = &TogglePause;
    g_hooks.nextTrack = &Next;
    g_hooks.previousTrack = &Previous;
    g_hooks.randomTrack = &PlayRandomTrack;
    g_hooks.playerPlay = &player::Play;
    g_hooks.stopPlayer = &StopPlayer;
    g_hooks.releasePlayer = &ReleasePlayer;
    g_hooks.refreshFromPlayer = &RefreshFromPlayer;
    g_hooks.applyPendingResume = &ApplyPendingResume;
    g_hooks.reloadLastTrack = &Reload;
    g_hooks.currentTrack = &CurrentTrack;
}

}  // namespace kra
