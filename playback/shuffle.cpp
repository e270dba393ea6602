// Shuffle of songs (PlayShuffle 1) or albums (2) with the play history.
//
// An entry's identity is the history number it got when it was left; the
// cursor's history counter is the number the entry being left gets next, so
// counter - 1 names the song played before the current one. A round starts
// with ResetHistory and ends when the counter passes the play list length
// (the folder count when repeating the album).
#include <algorithm>

#include "app/base/app_state.h"
#include "app/base/debug_log.h"
#include "app/base/settings.h"
#include "library/indexes.h"
#include "playback/play_queue.h"

namespace kra {

using namespace queue_detail;

namespace {

PlayList& List() {
    return g_library.play;
}
int32_t ListSize() {
    return int32_t(g_library.play.size());
}
PlayCursor& Cursor() {
    return g_queue.cursor;
}

PlayEntry* Current() {
    const int32_t p = Cursor().position;
    if (p < 0 || p >= ListSize()) return nullptr;
    return &List().entries[size_t(p)];
}

// The entry being left takes the counter as its identity.
void MarkCurrentLeft() {
    if (PlayEntry* entry = Current()) entry->identity = Cursor().historyCounter;
}

uint8_t CurrentPlays() {
    const PlayEntry* entry = Current();
    return entry ? entry->plays : 0;
}

}  // namespace

void ResetHistory() {
    for (PlayEntry& entry : List().entries) {
        entry.plays = 0;
        entry.identity = 0;
    }
    Cursor().historyCounter = 1;
}

void NextShuffle() {
    PlayCursor& c = Cursor();
    MarkCurrentLeft();
    ++c.historyCounter;
    const int repeat = RepeatMode();
    if (repeat == 2 && c.historyCounter > uint32_t(std::max(c.folderCount, 0))) {
        ResetHistory();
        ShufflePick(1, +1, false);
    } else if (c.historyCounter <= uint32_t(ListSize())) {
        PlayIdentity(CurrentPlays(), +1);
    } else if (repeat == 0) {
        StopAtEnd();
    } else {
        ResetHistory();
        ShufflePick(1, +1, false);
    }
}

void NextShuffleAlbums() {
    PlayCursor& c = Cursor();
    MarkCurrentLeft();
    const uint32_t next = ++c.historyCounter;
    const int repeat = RepeatMode();
    if (repeat == 2) {
        if (next <= uint32_t(std::max(c.folderCount, 0))) {
            PlayIdentity(CurrentPlays(), +1);
        } else {
            ResetHistory();
            ShufflePick(1, +1, false);
        }
        return;
    }
    if (next <= uint32_t(ListSize())) {
        // The album goes on in order; at its end the history (or a random
        // album) decides.
        bool albumDone = c.position + 1 >= ListSize();
        if (!albumDone) {
            ++c.position;
            ++c.folderIndex;
            albumDone = c.folderIndex >= c.folderCount;
        }
        if (albumDone) {
            int32_t found = -1;
            for (int32_t p = 0; p < ListSize() && found < 0; ++p)
                if (List().entries[size_t(p)].identity == next) found = p;
            if (found < 0) {
                c.position = 0;
                c.folderIndex = 0;
                ShufflePick(1, +1, true);
                return;
            }
            c.position = found;
            LoadFolderQueue(false);
        }
        PlayCurrentEntry();
        if (!(g_playbackHooks.slideToNewCover && g_playbackHooks.slideToNewCover(+1)))
            ReloadPictureIfAlways();
        return;
    }
    if (repeat == 0) {
        StopAtEnd();
    } else {
        ResetHistory();
        ShufflePick(1, +1, true);
    }
}

void ShufflePrevious() {
    PlayCursor& c = Cursor();
    MarkCurrentLeft();
    const uint32_t was = c.historyCounter;
    --c.historyCounter;
    if (was != 1) {
        PlayIdentity(CurrentPlays(), -1);
        return;
    }
    const int repeat = RepeatMode();
    if (repeat == 0) {
        StopAtEnd();
    } else if (repeat == 2) {
        c.historyCounter = uint32_t(std::max(c.folderCount, 0));
        PlayIdentity(1, -1);
    } else {
        c.historyCounter = uint32_t(ListSize());
        PlayIdentity(1, -1);
    }
}

void PlayIdentity(uint8_t round, int direction) {
    PlayCursor& c = Cursor();
    const uint32_t wanted = c.historyCounter;
    int32_t found = -1;
    if (RepeatMode() != 2) {
        for (int32_t p = 0; p < ListSize() && found < 0; ++p)
            if (List().entries[size_t(p)].identity == wanted) found = p;
        if (found < 0) {
            c.position = 0;
            c.folderIndex = 0;
            ShufflePick(round, direction, false);
            return;
        }
        c.position = found;
    } else {
        FolderStart();
        const int32_t start = c.position;
        for (int32_t i = 0; i < c.folderCount && start + i < ListSize() && found < 0; ++i)
            if (List().entries[size_t(start + i)].identity == wanted) found = i;
        if (found < 0) {
            ShufflePick(round, direction, false);
            return;
        }
        c.position = start + found;
        c.folderIndex = found;
    }
    // A step through the history replays the song without counting a play.
    const std::u16string path(List().Path(size_t(c.position)));
    ShowSong(path, 0, g_app.paused);
    if (!g_app.paused && g_playbackHooks.selectSongLines) g_playbackHooks.selectSongLines(path);
    NewFolder(direction);
}

void ShufflePick(uint8_t round, int direction, bool restartFolder) {
    PlayCursor& c = Cursor();
    const int32_t size = ListSize();
    if (size == 0) return;
    if (RepeatMode() != 2) {
        if (size > 1) {
            int32_t r;
            do {
                r = int32_t(RandomBelow(uint32_t(size)));
            } while (r == c.position);
            c.position = r;
            if (List().entries[size_t(r)].plays == round) {
                // Played in this round already: the next one not played yet.
                for (int32_t step = 1; step <= size; ++step) {
                    const int32_t p = (r + step) % size;
                    if (List().entries[size_t(p)].plays < round) {
                        c.position = p;
                        break;
                    }
                }
            }
        }
        c.position = std::min(c.position, size - 1);
        if (restartFolder) {
            LoadFolderQueue(false);
            FolderStart();
        }
        PlayCurrentEntry();
        NewFolder(direction);
        return;
    }
    // Inside the album. One song replays; an empty folder queue (the folder
    // is gone) plays nothing.
    const int32_t count = c.folderCount;
    if (count <= 0) return;
    const int32_t oldIndex = c.folderIndex;
    FolderStart();
    const int32_t start = c.position;
    const int32_t songs = std::min(count, size - start);  // within the list
    if (count >= 2 && songs > 0) {
        int32_t r;
        do {
            r = int32_t(RandomBelow(uint32_t(count)));
        } while (r == oldIndex);
        r = std::min(r, songs - 1);
        int32_t pick = r;
        if (List().entries[size_t(start + r)].plays == round) {
            for (int32_t step = 1; step <= songs; ++step) {
                const int32_t i = (r + step) % songs;
                if (List().entries[size_t(start + i)].plays != round) {
                    pick = i;
                    break;
                }
            }
        }
        c.position = start + pick;
        c.folderIndex = pick;
    }
    PlayCurrentEntry();
    ReloadPictureIfAlways();
}

void CatchUpAlbumHistory() {
    PlayCursor& c = Cursor();
    if (ShuffleMode() != 2 || c.folderIndex <= 0) return;
    const int32_t position = c.position;
    const int32_t folderIndex = c.folderIndex;
    ResetHistory();
    FolderStart();
    for (int32_t i = 0; i < folderIndex && c.position + i < ListSize(); ++i)
        List().entries[size_t(c.position + i)].identity = c.historyCounter++;
    c.position = position;
    c.folderIndex = folderIndex;
    if (g_playbackHooks.folderQueueChanged) g_playbackHooks.folderQueueChanged();
}

void ShuffleAll() {
    if (g_library.browse.empty()) return;
    List().AssignFrom(g_library.browse);
    g_library.albumCount = g_library.FolderCount();
    AssignAF(g_library);
    g_queue.cursor.playListRoot = g_library.root;
    g_queue.cursor.position = 0;
    g_library.playSubList = false;
    std::u16string path(RandomSongLine(g_library.views.allSongs));
    if (path.empty())
        path = std::u16string(g_library.browse[RandomBelow(uint32_t(g_library.browse.size()))]);
    StorePlayShuffle(1);
    SetPlayMusic(path);
}

}  // namespace kra
