#include "playback/play_queue.h"

#include <algorithm>
#include <random>

#include "app/base/app_state.h"
#include "app/base/debug_log.h"
#include "app/base/hooks.h"
#include "app/base/settings.h"
#include "app/base/text.h"
#include "library/indexes.h"
#include "library/scan.h"
#include "platform/files.h"
#include "playback/player_bridge.h"

namespace kra {

PlaybackHooks g_playbackHooks;
PlayQueue g_queue;

namespace {

std::mt19937 g_random{std::random_device{}()};

std::string U8(std::u16string_view text) {
    return Utf16ToUtf8(text);
}

PlayList& List() {
    return g_library.play;
}
int32_t ListSize() {
    return int32_t(g_library.play.size());
}
PlayCursor& Cursor() {
    return g_queue.cursor;
}

std::u16string CurrentEntryPath() {
    const int32_t p = Cursor().position;
    if (p < 0 || p >= ListSize()) return {};
    return std::u16string(List().Path(size_t(p)));
}

bool IsReservedLine(std::u16string_view data) {
    return data == kDataShuffle || data == kDataShuffleAlbums || data == kDataAllSongs;
}

// A copy of the whole library as the play list, for the current root.
void CopyLibraryToPlayList() {
    List().AssignFrom(g_library.browse);
    g_library.albumCount = g_library.FolderCount();
    Cursor().playListRoot = g_library.root;
    Cursor().position = 0;
}

}  // namespace

namespace queue_detail {

int ShuffleMode() {
    return g_settings.playShuffle <= 2 ? g_settings.playShuffle : 0;
}
int RepeatMode() {
    return g_settings.repeatAlbum <= 3 ? g_settings.repeatAlbum : 0;
}

void MoveBy(int32_t n) {
    PlayCursor& c = Cursor();
    const int32_t size = ListSize();
    if (size == 0) {
        c.position = 0;
        return;
    }
    const int32_t target = std::clamp(c.position + n, int32_t(0), size - 1);
    c.folderIndex += target - c.position;
    c.position = target;
}

void FolderStart() {
    PlayCursor& c = Cursor();
    // A song missing from its folder's listing has no folder start to go to.
    if (c.folderIndex > 0) MoveBy(-c.folderIndex);
    c.folderIndex = 0;
}

void PlayCurrentEntry() {
    PlayCursor& c = Cursor();
    if (c.position < 0 || c.position >= ListSize()) return;
    PlayEntry& entry = List().entries[size_t(c.position)];
    entry.plays = uint8_t(entry.plays + 1);
    const std::u16string path(List().Path(size_t(c.position)));
    ShowSong(path, 0, g_app.paused);
    if (!g_app.paused && g_playbackHooks.selectSongLines) g_playbackHooks.selectSongLines(path);
}

void ReloadPictureIfAlways() {
    if (g_settings.alwaysLoadEmbedAlbumPic && g_playbackHooks.loadSongPicture)
        g_playbackHooks.loadSongPicture(FolderPart(g_queue.currentPath));
}

void NewFolder(int direction) {
    LoadFolderQueue(false);
    if (g_playbackHooks.slideToNewCover && g_playbackHooks.slideToNewCover(direction)) return;
    if (g_playbackHooks.loadSongPicture)
        g_playbackHooks.loadSongPicture(FolderPart(CurrentEntryPath()));
}

void RestartSong() {
    // The stop report of a restart is no end of the song.
    if (!g_app.paused && g_app.osMinor == 1) g_app.skipNextEnd = true;
    player::Stop();
    if (!g_app.paused) player::Play();
    if (g_playbackHooks.showTime) g_playbackHooks.showTime(0);
}

void SetPaused(bool paused) {
    if (paused)
        player::Pause();
    else
        player::Play();
    g_app.paused = paused;
    WriteDword(u"Status", paused ? 1 : 0);
    if (paused) {
        if (!g_settings.noSpeakerPowerDown && g_hooks.audioPowerRelease)
            g_hooks.audioPowerRelease();
    } else if (g_hooks.audioPowerUp) {
        g_hooks.audioPowerUp();
    }
}

uint32_t RandomBelow(uint32_t n) {
    if (n == 0) return 0;
    return std::uniform_int_distribution<uint32_t>(0, n - 1)(g_random);
}

std::u16string_view RandomSongLine(const ListContent& view) {
    std::vector<size_t> songs;
    for (size_t i = 0; i < view.size(); ++i)
        if (!IsReservedLine(view.data[i])) songs.push_back(i);
    if (songs.empty()) return {};
    return view.data[songs[RandomBelow(uint32_t(songs.size()))]];
}

void StorePlayShuffle(uint8_t mode) {
    g_settings.playShuffle = mode;
    WriteByte(u"PlayShuffle", mode);
}

}  // namespace queue_detail

using namespace queue_detail;

void ResetPlayQueue() {
    g_queue = PlayQueue{};
    g_queue.cursor.historyCounter = g_settings.lastPlayIdentity;
}

void SeedShuffle(uint32_t seed) {
    g_random.seed(seed);
}

void LoadFolderQueue(bool startAtFirst) {
    PlayCursor& c = Cursor();
    const std::u16string path = CurrentEntryPath();
    g_queue.folderQueue.clear();
    if (!path.empty()) g_queue.folderQueue = SortedFolderSongs(FolderPart(path));
    c.folderCount = int32_t(g_queue.folderQueue.size());
    c.folderIndex = startAtFirst ? 0 : g_queue.folderQueue.Find(path);
    if (g_playbackHooks.folderQueueChanged) g_playbackHooks.folderQueueChanged();
}

void PlayFromView(const ListContent& view, bool allSongsView) {
    List().clear();
    for (size_t i = 0; i < view.size(); ++i)
        if (!IsReservedLine(view.data[i])) List().AppendFrom(view.data, i);
    Cursor().position = 0;
    if (allSongsView) {
        g_library.playSubList = false;
        Cursor().folderIndex = 0;
    } else {
        g_library.playSubList = true;
    }
}

void TapAllSongsLine(const ListContent& view, size_t line) {
    if (line >= view.size()) return;
    if (List().empty() || g_library.playSubList || Cursor().playListRoot != g_library.root)
        CopyLibraryToPlayList();
    g_library.playSubList = false;
    std::u16string path(view.data[line]);
    if (path == kDataShuffle) {
        path = std::u16string(RandomSongLine(view));
        if (path.empty()) return;
        StorePlayShuffle(1);
    }
    SetPlayMusic(path);
    CatchUpAlbumHistory();
}

void TapAlbumSongsLine(const ListContent& view, size_t line) {
    if (line >= view.size()) return;
    const std::u16string data(view.data[line]);
    PlayFromView(view, false);
    std::u16string path = data;
    uint8_t mode = uint8_t(ShuffleMode());
    if (data == kDataShuffle) {
        path = std::u16string(RandomSongLine(view));
        mode = 1;
    } else if (mode == 2) {
        mode = 1;
    }
    StorePlayShuffle(mode);
    if (!path.empty()) SetPlayMusic(path);
}

void TapShuffleAlbums(const ListContent& view, bool allSongsView) {
    PlayFromView(view, allSongsView);
    StorePlayShuffle(2);
    const std::u16string path(RandomSongLine(view));
    if (!path.empty()) SetPlayMusic(path);
}

void SetPlayMusic(std::u16string_view path) {
    PlayCursor& c = Cursor();
    const int32_t size = ListSize();
    const std::u16string current = CurrentEntryPath();
    const int order = path < std::u16string_view(current) ? -1 : (path == current ? 0 : 1);
    KRA_LOG("SetPlayMusic %d %d %s", order, int(c.position), U8(current).c_str());
    int32_t found = -1;
    if (order == 0 && !current.empty()) {
        found = c.position;
    } else if (order < 0) {
        for (int32_t p = std::min(c.position, size) - 1; p >= 0 && found < 0; --p)
            if (List().Path(size_t(p)) == path) found = p;
    } else {
        for (int32_t p = std::max(c.position + 1, int32_t(0)); p < size && found < 0; ++p)
            if (List().Path(size_t(p)) == path) found = p;
    }
    if (found < 0) {
        found = List().paths.Find(path);
        KRA_LOG("SetPlayMusic F=%d %d %s", int(found), int(c.position), U8(path).c_str());
    }
    if (found < 0) {
        KRA_LOG("SetPlayMusic: not in the play list: %s", U8(path).c_str());
        return;
    }
    c.position = found;
    ResetHistory();
    g_app.paused = false;
    LoadFolderQueue(false);
    if (ShuffleMode() == 2 &&
        !(g_playbackHooks.onAllSongsList && g_playbackHooks.onAllSongsList())) {
        KRA_LOG("SetPlayMusic S=%d %s", int(c.folderIndex), U8(path).c_str());
        FolderStart();
    }
    if (g_playbackHooks.enterNowPlaying) g_playbackHooks.enterNowPlaying();
    PlayCurrentEntry();
    if (g_playbackHooks.loadSongPicture)
        g_playbackHooks.loadSongPicture(FolderPart(CurrentEntryPath()));
}

void Next() {
    if (RepeatMode() == 3 || ShuffleMode() == 0)
        LoadNextMusic(0);
    else if (ShuffleMode() == 1)
        NextShuffle();
    else
        NextShuffleAlbums();
}

void LoadNextMusic(int reason) {
    PlayCursor& c = Cursor();
    const int32_t size = ListSize();
    KRA_LOG("LoadNextMusic:%s %d(%d)", U8(CurrentEntryPath()).c_str(), int(c.position), int(size));
    if (size == 0) return;
    const int repeat = RepeatMode();
    if (repeat == 3) {
        RestartSong();
        return;
    }
    if (c.position < size - 1) {
        ++c.position;
        ++c.folderIndex;
        KRA_LOG("LoadNextMusic:%d(%d) FN=%d", int(c.position), int(c.folderIndex), reason);
        if (c.folderIndex >= c.folderCount) {
            if (repeat == 2) {
                // Wrap inside the album: back to the old folder's first song.
                c.folderIndex = c.folderCount;
                FolderStart();
                PlayCurrentEntry();
                ReloadPictureIfAlways();
            } else {
                PlayCurrentEntry();
                NewFolder(+1);
            }
        } else {
            PlayCurrentEntry();
            ReloadPictureIfAlways();
        }
        return;
    }
    if (repeat == 2) {
        FolderStart();
        PlayCurrentEntry();
        ReloadPictureIfAlways();
    } else if (repeat == 1) {
        c.position = 0;
        PlayCurrentEntry();
        NewFolder(+1);
    } else {
        c.position = 0;
        StopAtEnd();
    }
}

void Previous() {
    PlayCursor& c = Cursor();
    const uint32_t seconds = player::GetPosition();
    KRA_LOG("Prev %d", int(seconds));
    const int repeat = RepeatMode();
    if (seconds >= 3 || repeat == 3) {
        RestartSong();
        return;
    }
    if (ShuffleMode() != 0) {
        ShufflePrevious();
        return;
    }
    if (ListSize() == 0) return;
    if (repeat == 2 && c.folderIndex == 0) {
        // The first song of the album: wrap to its last song (also on the
        // first entry of the list).
        MoveBy(c.folderCount - 1);
        PlayCurrentEntry();
        ReloadPictureIfAlways();
    } else if (c.position != 0) {
        MoveBy(-1);
        PlayCurrentEntry();
        if (c.folderIndex < 0)
            NewFolder(-1);
        else
            ReloadPictureIfAlways();
    } else if (repeat == 1) {
        MoveBy(ListSize() - 1);
        PlayCurrentEntry();
        NewFolder(-1);
    } else {
        // The first entry without repeat: the song starts over.
        RestartSong();
    }
}

void NextAlbum() {
    PlayCursor& c = Cursor();
    // Repeating one song, the album does not change (as previous album).
    if (RepeatMode() == 3 || ListSize() == 0) return;
    if (ShuffleMode() == 2) ResetHistory();
    MoveBy(c.folderCount - c.folderIndex - 1);
    LoadNextMusic(1);
}

void PreviousAlbum() {
    PlayCursor& c = Cursor();
    if (RepeatMode() == 3 || ListSize() == 0) return;
    if (ShuffleMode() == 2) ResetHistory();
    FolderStart();
    if (RepeatMode() == 2) {
        PlayCurrentEntry();
        return;
    }
    if (c.position != 0) {
        MoveBy(-1);
        LoadFolderQueue(true);
        MoveBy(-(c.folderCount - 1));
        c.folderIndex = 0;
    } else {
        MoveBy(ListSize() - 1);
        LoadFolderQueue(false);
        FolderStart();
    }
    PlayCurrentEntry();
    NewFolder(-1);
}

void StopAtEnd() {
    if (!g_app.paused) SetPaused(true);
    player::Stop();
    ResetHistory();
    g_library.playSubList = false;
    if (g_playbackHooks.showTime) g_playbackHooks.showTime(0);
    const bool wasLoaded = g_app.trackLoaded;
    g_app.trackLoaded = false;
    if (g_playbackHooks.selectSongLines) g_playbackHooks.selectSongLines(u"");
    if (wasLoaded && g_playbackHooks.redraw) g_playbackHooks.redraw();
}

void TogglePause() {
    if (!g_app.trackLoaded) {
        if (List().empty()) {
            ShuffleAll();
            return;
        }
        g_app.paused = false;
        Cursor().position = std::clamp(Cursor().position, int32_t(0), ListSize() - 1);
        PlayCurrentEntry();
        NewFolder(+1);
        return;
    }
    SetPaused(!g_app.paused);
    if (g_playbackHooks.redraw) g_playbackHooks.redraw();
}

void PlayRandomTrack() {
    PlayCursor& c = Cursor();
    const int32_t size = ListSize();
    if (size < 2) return;
    uint32_t r;
    do {
        r = RandomBelow(uint32_t(size));
    } while (int32_t(r) == c.position);
    const std::u16string oldFolder(FolderPart(CurrentEntryPath()));
    c.position = int32_t(r);
    PlayCurrentEntry();
    if (FolderPart(CurrentEntryPath()) != oldFolder)
        NewFolder(+1);
    else
        LoadFolderQueue(false);
}

void Reload() {
    PlayCursor& c = Cursor();
    const std::u16string& last = g_settings.lastMusic;
    KRA_LOG("Reload %s %d %d", U8(last).c_str(), int(c.position), int(g_library.SongCount()));
    if (g_library.SongCount() == 0) return;
    const bool exists = !last.empty() && platform::FileExists(last);
    KRA_LOG("%s (%d)", U8(last).c_str(), exists ? 1 : 0);
    if (!exists) return;
    int32_t position = -1;
    if (!g_library.playSubList) {
        if (List().empty()) List().AssignFrom(g_library.browse);
        position = g_library.browse.Find(last);
        // The play list is the library in its order; should it not be, the
        // song is looked up in the play list itself.
        if (position >= ListSize() || (position >= 0 && List().Path(size_t(position)) != last))
            position = List().paths.Find(last);
    } else {
        position = List().paths.Find(last);
        KRA_LOG("Reload(PlaySubList) %d %d", int(position), int(ListSize()));
    }
    const std::string rootText =
        Format("%s (%d)", U8(g_library.root).c_str(), int(g_library.SongCount()));
    KRA_LOG("Reload %s", rootText.c_str());
    g_library.albumCount = g_library.FolderCount();
    AssignAF(g_library);
    if (position < 0) return;
    if (!ShowSong(last, g_settings.lastDuration, g_settings.lastPaused != 0)) return;
    if (g_playbackHooks.loadSongPicture) g_playbackHooks.loadSongPicture(FolderPart(last));
    if (g_playbackHooks.enterNowPlaying) g_playbackHooks.enterNowPlaying();
    c.position = position;
    PlayEntry& entry = List().entries[size_t(position)];
    entry.plays = uint8_t(entry.plays + 1);
    LoadFolderQueue(false);
    c.playListRoot = g_library.root;
    CatchUpAlbumHistory();
    if (g_playbackHooks.selectSongLines) g_playbackHooks.selectSongLines(last);
}

}  // namespace kra
