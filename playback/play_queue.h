// The play queue: which song plays, the moves to the next and previous song
// or album by the repeat mode, shuffle of songs or albums with a play
// history, and the start of a song in the player.
//
// The queue walks g_library.play (PlayList). It relies on the play list
// holding each folder's songs together and in library order, so that one
// step in the play list is one step in the folder; every move is still kept
// inside the list's bounds when that does not hold (a song deleted, a list
// of a part of a folder).
//
// Settings read (g_settings): RepeatAlbum 0 none, 1 all, 2 album, 3 song;
// PlayShuffle 0 off, 1 songs, 2 albums (stored values out of range count as
// 0); AlwaysLoadEmbedAlbumPic. The paused and loaded flags are g_app's.
//
// Shuffle history: every song that is left gets the next history number
// (its identity), so previous walks back through the songs played and next
// replays them forward before a new random pick. A song started in the
// current round (plays) is not picked again until every song has had its
// turn.
//
// Main thread only.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "library/library.h"

namespace kra {

struct PlayCursor {
    int32_t position = 0;         // index of the current entry in the play list
    int32_t folderIndex = -1;     // index of the current song in folderQueue; -1 absent
    int32_t folderCount = 0;      // songs in folderQueue
    uint32_t historyCounter = 1;  // the identity the entry being left gets next
    std::u16string playListRoot;  // library root the play list was last copied whole for
};

// What the screens do for the queue. Every entry may be null.
struct PlaybackHooks {
    // The screen side of starting a song (labels, times, position label),
    // after the player has taken the file.
    void (*showSong)(const std::u16string& path, uint32_t position, bool paused) = nullptr;
    // The length or the player's texts changed (RefreshFromPlayer).
    void (*songInfoChanged)() = nullptr;
    // Loads the album picture of a folder.
    void (*loadSongPicture)(std::u16string_view folder) = nullptr;
    // On the now-playing screen with its cover shown: slides to the new
    // album's cover in the direction of travel and returns true. False
    // elsewhere (the queue then loads the picture).
    bool (*slideToNewCover)(int direction) = nullptr;
    // Selects the song's line in the all-songs and album-song views; an
    // empty path clears the selection.
    void (*selectSongLines)(std::u16string_view path) = nullptr;
    // The folder queue or the history counter changed: position label, and
    // the track list when it is shown.
    void (*folderQueueChanged)() = nullptr;
    // Remembers the screen the user came from and shows the now-playing one.
    void (*enterNowPlaying)() = nullptr;
    // True while the all-songs list is on screen.
    bool (*onAllSongsList)() = nullptr;
    // The shown play time (0 after a restart or the end of the list).
    void (*showTime)(uint32_t seconds) = nullptr;
    void (*redraw)() = nullptr;
};
extern PlaybackHooks g_playbackHooks;

struct PlayQueue {
    PlayCursor cursor;
    TextList folderQueue;                 // the sorted songs of the current song's folder
    std::u16string currentPath;           // the file last handed to the player
    uint32_t songLength = 0;              // seconds; 0 when not known
    uint32_t resumePosition = 0;          // pending start position (g_app.resumePending)
    bool songHasNoTags = false;           // the player's texts stand in for the tags
    std::u16string title, artist, album;  // of the current song
    // Where the tag reader writes an embedded picture; empty for none.
    std::u16string tagPicturePath;
};
extern PlayQueue g_queue;

// Puts the queue, the history and the random source back to a fresh start
// (start-up and tests); loads the history counter from LastPlayIdentity.
void ResetPlayQueue();
// Makes the random picks repeatable (tests); by default they are seeded
// from the system's random source.
void SeedShuffle(uint32_t seed);

// --- Moves (play_queue.cpp) ---------------------------------------------

// Rebuilds folderQueue from the current entry's folder; folderIndex is the
// current path's index there (-1 when absent), or 0 with startAtFirst.
void LoadFolderQueue(bool startAtFirst);
// The play list from a view's song lines (reserved lines skipped), current
// entry the first. From the all-songs view the list is the whole library.
void PlayFromView(const ListContent& view, bool allSongsView);
// A tap on a line of the all-songs view (a song or "shuffle").
void TapAllSongsLine(const ListContent& view, size_t line);
// A tap on a line of an album's or artist's song view.
void TapAlbumSongsLine(const ListContent& view, size_t line);
// "Shuffle Albums" with the songs of `view` (the all-songs view, or an
// artist's songs put into the album-song view).
void TapShuffleAlbums(const ListContent& view, bool allSongsView);
// Plays `path` from the play list; logs and plays nothing when it is not
// there. Resets the history.
void SetPlayMusic(std::u16string_view path);
void Next();
// reason: 0 next song, 1 next album (logged only).
void LoadNextMusic(int reason);
void Previous();
void NextAlbum();
void PreviousAlbum();
// The end of the list without repeat: pauses, stops, resets the history,
// nothing loaded any more.
void StopAtEnd();
// The play/pause toggle. With nothing loaded it plays the current entry, or
// shuffles the whole library when the play list is empty.
void TogglePause();
// Jumps to a randomly chosen other song of the play list.
void PlayRandomTrack();
// The start-up resume of LastMusic at LastDuration, paused as LastPaused.
void Reload();

// --- Shuffle (shuffle.cpp) -----------------------------------------------

void ResetHistory();
void NextShuffle();
void NextShuffleAlbums();
void ShufflePrevious();
void PlayIdentity(uint8_t round, int direction);
void ShufflePick(uint8_t round, int direction, bool restartFolder);
void CatchUpAlbumHistory();
void ShuffleAll();

// --- Starting a song (now_playing.cpp) -----------------------------------

// Hands the path to the player and starts it (or leaves it paused at its
// start); records the song's length, tags and start time, and a start
// position to apply once the player is ready. False when the player refuses
// the file.
bool ShowSong(const std::u16string& path, uint32_t position, bool startPaused);
// Takes the length (and for a song without tags the texts) from the player.
void RefreshFromPlayer();
// Seeks to a pending start position.
void ApplyPendingResume();
// Fills the shell's player hooks (g_hooks) with the playback's entries and
// registers the handler of the engine's wake message (kWmPlayerEvents) with
// the window through `registerMessage` (the shell's RegisterMessageHandler).
using RegisterMessageFunction = void (*)(uint32_t message,
                                         intptr_t (*handler)(uintptr_t, intptr_t));
void InstallPlaybackHooks(RegisterMessageFunction registerMessage);

// Internal steps shared by the move files.
namespace queue_detail {
int ShuffleMode();
int RepeatMode();
// Counts a play of the current entry and starts it.
void PlayCurrentEntry();
void NewFolder(int direction);
void FolderStart();
void RestartSong();
// Moves the cursor forward (n > 0) or back (n < 0) within the list's bounds;
// the folder index follows by the steps actually taken.
void MoveBy(int32_t n);
void SetPaused(bool paused);
void ReloadPictureIfAlways();
uint32_t RandomBelow(uint32_t n);
std::u16string_view RandomSongLine(const ListContent& view);
void StorePlayShuffle(uint8_t mode);
}  // namespace queue_detail

}  // namespace kra
