// The list screens: 1 (all songs), 2 (artists, an artist's albums, songs)
// and 3 (albums, an album's songs, sharing the song list of screen 2), under
// the title bar and above the bottom bar; the pop-up menu's actions; the
// library commands with their scan progress on screen.
//
// Tapping a line opens the next list or plays: an artist opens its albums
// (or, with one album, its songs), an album its songs, "All Songs" the
// artist's songs, a song or "Shuffle" plays from the list that holds it,
// "Shuffle Albums" starts album shuffle. The title bar's back button returns
// one level; its "Now Playing" button (while a track is loaded) shows the
// now-playing screen.
//
// Main thread only.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "graphics/screen.h"
#include "library/library.h"
#include "screens/list_view.h"

namespace kra {

enum class ListKind : uint8_t { kAllSongs, kArtists, kArtistAlbums, kAlbums, kAlbumSongs };

// One list screen: its control and the levels it went down.
struct ListScreen {
    uint8_t number = 1;
    ListView list;
    std::vector<ListKind> levels;         // levels[0] is the top list
    std::vector<int32_t> savedPositions;  // scroll position of each level below the top
    std::u16string artist;                // the artist whose albums or songs are shown
    std::u16string playingPath;           // the path the playing marker was found for
    bool artPending = false;              // the list worker builds this list's art
    bool artRequested = false;
    bool artSawBusy = false;  // the worker was seen busy since the request
    int artWaitTicks = 0;     // redraws waited without seeing it busy
    bool artBuilt = false;    // the worker reported the pass done
};

// Places the screens for the screen size and UiScale (after the skin).
void LayoutListScreens(const Screen& screen);
// The screen object of 1, 2 or 3 (null for others).
ListScreen* ListScreenFor(uint8_t screen);
// The content of a level.
ListContent& ListContentFor(ListKind kind);
ListKind CurrentListKind(const ListScreen& s);

// Sets the title bar for the current screen (1, 2, 3 or 6): back button by
// depth, "Now Playing" while a track is loaded, the header as title.
void RebuildTitleBar(uint32_t now);

// Choosing line `row` of the current level (what a tap does).
void ChooseListLine(ListScreen& s, int32_t row);
// Back one level (the title bar's back button); false at the top.
bool ListScreenBack(ListScreen& s);
// The bottom bar's buttons 1 to 4.
void RunBottomButton(int button);

// The library commands of the menu. Both stop playback first.
void RunRefreshLibrary();
void RunSetLibrary();
// A folder chosen in the browser becomes the library; shows screen 1.
void ChooseLibraryFolder(const std::u16string& folder);

// Scan progress: the screen shows the folders and songs found so far, at
// most every 100 ms (also in headless runs).
void ShowScanProgress(int32_t folders, int32_t songs);

// Common pieces of the list screens and the folder browser.
void DrawListChrome(Screen& screen, uint32_t now);
bool ListChromePenDown(int32_t x, int32_t y);
// The title bar and bottom bar release; true when it acted.
bool ListChromePenUp(int32_t x, int32_t y, uint32_t now);

// Registers screens 1, 2, 3 and 6, the about screen, the menu's actions and
// the play queue's list hooks.
void InstallListScreens();
// Forgets the screens' state (tests).
void ResetListScreens();

}  // namespace kra
