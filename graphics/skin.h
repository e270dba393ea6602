// The skin: the PNG images of the "gfx" folder, the brushes, the top-bar
// strips and the labels made from the language file. Filled once at start-up
// (LoadSkin, then LoadLanguage) and kept until exit; main thread only.
//
// The gfx folder is the program folder's own "gfx" when it exists (used as
// it is, at any scale); otherwise the installed default skin, "gfx-1x" at
// UiScale 1 when present, else "gfx". A missing image leaves its surface
// empty; drawing an empty surface draws nothing.
#pragma once
#include <cstdint>
#include <string>

#include "graphics/screen.h"
#include "graphics/surface.h"

namespace kra {

struct Skin {
    // Folders and the album-art export paths.
    std::u16string programFolder;       // no trailing separator
    std::u16string gfxFolder;           // the folder the images were read from
    std::u16string exportCoverPath;     // "<program>\kra.bmp"
    std::u16string exportFlowPath;      // "<program>\kraaf.bmp"
    std::u16string exportFlowBackPath;  // "<program>\kraafbg.bmp"

    // The images, in load order.
    Surface topBar;                          // "sttopbar": only ever reduced to strips
    Surface play, pause, forward, backward;  // control-bar buttons
    Surface pressed;                         // pressed-state highlight
    Surface repeat;                          // four cells: repeat off, all, album, one
    Surface shuffle;                         // three cells: shuffle off, songs, albums
    Surface barButton;                       // volume knob
    Surface sliderButton;                    // position-slider knob
    Surface playing;                         // marker of the playing list entry
    Surface listShuffle;                     // icon of the "shuffle all songs" entry
    Surface listShuffleAlbums;               // icon of the "shuffle albums" entry
    Surface back;                            // back button, labelled with "s_Up="
    Surface songBarButtons;                  // "pubuttons": back and track-list cells
    Surface music;                           // default cover, fitted into the cover size
    Surface musicSmall;                      // small default cover, 33 x UiScale square
    Surface playSmall, pauseSmall;
    Surface barOn, barOff;                  // volume bar
    Surface sliderOn, sliderOff;            // position slider
    Surface playFlow, pauseFlow, infoFlow;  // album-flow overlay buttons
    Surface coverBackdrop;                  // "pabg": backdrop of generated covers
    Surface subButton;                      // sub-folder arrow of the folder browser
    Surface system;                         // status-bar icon strip
    Surface connection;                     // seven network-type icons
    Surface iconFolder, iconPlaylist;

    // Copies of the back button, labelled by LoadLanguage.
    Surface backArtists;  // "s_Artists="
    Surface backAlbums;   // "s_Albums="
    Surface nowPlaying;   // the mirror image, labelled "s_NowPlaying="

    // One-pixel-wide strips of the top bar.
    Surface controlBarStrip;  // the control bar's height
    Surface statusStrip;      // 16 x UiScale
    Surface headerStrip;      // 40 x UiScale

    Brush black, lightGrey, highlightBlue;

    // Labels rendered by LoadLanguage.
    Surface tabLabels[5];  // Playlists, Songs, Artists, Albums, More
    uint32_t tabAlpha[5] = {0, 0, 0, 0, 0};
    Surface browseHint;
};

extern Skin g_skin;

struct SkinOptions {
    uint32_t coverSize = 0;         // side of the large cover square (default cover)
    uint32_t controlBarHeight = 0;  // height of the now-playing control bar
};

// "<folder>\<name>.png" of the skin in use (for images loaded elsewhere, like
// the pop-up menu's "buttonL" and "buttonG" or the about screen's "ptbutton").
// Valid after LoadSkin.
std::u16string SkinImagePath(const char16_t* name);

// Loads every image, makes the brushes, the back-button copies and the strips.
void LoadSkin(const Screen& screen, const SkinOptions& options);

// Reads "lang.ini" (program folder, else the installed default; a missing
// file gives the English words) into g_lang and renders the tab labels, the
// browse hint and the back-button labels; the count words are lower-cased at
// the end.
void LoadLanguage(const Screen& screen);

// Makes a button wider without distorting its ends: the left half, the middle
// column stretched, the right half. Pixels and alpha of both ends are kept
// exactly; an image without alpha plane gets one, transparent where it shows
// its colour key. Nothing happens when newWidth is not wider.
int WidenButton(Surface& surface, const Screen& screen, uint32_t newWidth);

// The skin folder LoadSkin chooses for a program folder, a default skin folder
// and a UiScale.
std::u16string ChooseGfxFolder(const std::u16string& programFolder,
                               const std::u16string& defaultFolder, int uiScale);

}  // namespace kra
