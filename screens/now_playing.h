// The now-playing screen (screen 4): the cover with its reflection, the song
// bar with the scrolling artist, title and album lines between the back and
// track-list buttons, the secondary bar with the position slider, times,
// repeat and shuffle cells and the place in the queue, and the control bar
// with the transport buttons and the volume bar. The track list of the
// current album can stand in place of the cover.
//
// Labels are rendered when the song or the value changes (the times once a
// second), never per frame; a frame is a handful of keyed copies. Scrolling
// is paced by the tick count passed in, not by the frame rate.
//
// Main thread only.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "graphics/screen.h"
#include "graphics/surface.h"

namespace kra {

// One of the three lines of the song bar.
struct ScrollingLine {
    int32_t boxX = 0;
    int32_t boxWidth = 0;
    bool scrolling = false;
    // Scrolling: how far the first copy has moved out of the box to the left.
    // Standing still: the line's fixed x.
    float offset1 = 0;
    float offset2 = 0;  // x of the second copy relative to the box
    uint8_t pauseCounter = 0;
    uint32_t lastStep = 0;
    float speed = 0;  // pixels per 60 ms
};

// The fading highlight of a pressed button; one, shared with the album flow.
struct PressedHighlight {
    bool active = false;
    int32_t x = 0, y = 0;
    uint8_t counter = 0;
};
extern PressedHighlight g_pressedHighlight;

// Positions of the screen's elements, from the screen size, UiScale, the
// skin's image sizes and the settings.
struct NowPlayingLayout {
    int32_t width = 0, height = 0;  // W, H
    int32_t scale = 1;              // u
    int32_t statusHeight = 0;       // S = 16u
    int32_t textHeight = 0;         // T = 13u
    int32_t controlBarHeight = 0;   // B
    int32_t songBarHeight = 0;      // G
    int32_t cellWidth = 0;          // c: one "pubuttons" cell
    int32_t buttonY = 0;            // back and track-list buttons
    int32_t repeatX = 0, shuffleX = 0, modeRowY = 0;
    int32_t sliderX = 0, sliderY = 0, sliderKnobY = 0;  // X, Y
    int32_t timesY = 0;
    int32_t controlY = 0;  // H - B
    int32_t playX = 0, nextX = 0, previousX = 0;
    int32_t volumeX = 0, volumeY = 0, volumeKnobY = 0;  // V
    int32_t coverX = 0, coverY = 0;
    int32_t trackListButtonWidth = 0;  // 40u, the track-list button's touch width
};

// A row of the track list.
struct TrackRow {
    std::u16string path;
    Surface label;   // "number. title"
    Surface length;  // "m:ss"
};

// Pressable areas of the screen (pressed flags, set at pen down).
enum NowPlayingArea : uint8_t {
    kAreaNone = 0,
    kAreaSliderKnob,
    kAreaBack,
    kAreaTrackList,
    kAreaVolumeKnob,
    kAreaPlay,
    kAreaNext,
    kAreaPrevious,
    kAreaRepeat,
    kAreaShuffle,
    kAreaBody,
    kAreaTitleBar,
};

struct NowPlaying {
    NowPlayingLayout layout;
    uint32_t coverSize = 0;  // side of the square the cover is fitted into

    // Labels.
    Surface artist, title, titleFlow, album;
    Surface positionLabel, elapsed, remaining;
    int32_t elapsedX = 0, remainingX = 0;
    ScrollingLine lines[3];  // artist, title, album
    Surface songBarStrip;

    // Bars.
    bool barsShown = false;
    uint8_t barsAlpha = 0;  // 0..32 in steps of 8
    bool secondaryShown = false;
    uint8_t secondaryAlpha = 0;  // 0..30 in steps of 5

    // Slider and volume.
    uint32_t length = 0;    // seconds; 0 when not known
    uint32_t position = 0;  // seconds
    int32_t sliderKnobX = 0;
    int32_t volumeKnobX = 0;

    // Cover.
    Surface cover, smallCover, reflection;
    bool hasCover = false;
    std::u16string coverFolder;  // the folder whose cover is shown

    // Track list in place of the cover.
    bool trackListShown = false;
    std::u16string trackFolder;
    std::vector<TrackRow> tracks;
    int32_t trackScroll = 0;  // pixels scrolled from the top
    int32_t markedRow = -1;   // the row under the finger
    int32_t trackRowHeight = 0;

    // Touch.
    NowPlayingArea pressed = kAreaNone;
    bool swipeDone = false;  // one album move per stroke

    // The library lists came from the browse-list file: the repeat cell
    // steps over mode 2 then.
    bool listsFromBrowseFile = false;
};

extern NowPlaying g_nowPlaying;

// Puts the screen back to its start (tests, start-up).
void ResetNowPlaying();

// The large cover side for a screen: the longer side less 110u, at most the
// shorter side; a square screen adds 80u; FullScreenAlbum makes it the
// shorter side.
uint32_t CoverSizeFor(uint32_t width, uint32_t height, int scale, bool fullScreenAlbum);

// Lays the screen out for the screen's current size.
void LayoutNowPlaying(const Screen& screen);
// G from the line heights, the song-bar strip, the secondary bar's rows.
void LayoutSongBar(const Screen& screen);
// Which lines scroll; offsets reset.
void PrepareLines(uint32_t now);
// Entering the screen: layout, lines, bars fading in.
void EnterNowPlaying(const Screen& screen, uint32_t now);

// The screen half of starting a song: labels from the queue's texts, song
// bar, lines, times and position label.
void ShowSongLabels(const Screen& screen, uint32_t position, uint32_t now);
// The player reported the length or its texts (RefreshFromPlayer).
void RefreshSongLabels(const Screen& screen, uint32_t now);
// Elapsed and remaining labels for a position in seconds.
void UpdateTimes(const Screen& screen, uint32_t position);
// The remaining-time value the label shows: position - length for a known
// length (the fraction dropped toward zero), -position for an unknown one.
int RemainingSeconds(uint32_t position, uint32_t length);
// "%d of %d" (with a third number in parentheses when DebugOn is set).
void RenderPositionLabel(const Screen& screen);
// The volume bar's filled width for a volume of 0..100.
int32_t VolumeFill(uint32_t volume, uint32_t barWidth);
// The slider's filled width for a position of a length.
int32_t SliderFill(uint32_t position, uint32_t length, uint32_t barWidth);

// The cover rule: y of a picture of height h.
int32_t CoverY(uint32_t pictureHeight);
// Loads the cover of a folder (or the default cover) and its reflection.
// True when the small cover was decoded.
bool LoadSongPicture(const Screen& screen, std::u16string_view folder);

// The track list of the current song's folder.
void LoadTrackList(const Screen& screen);
void SetTrackListShown(const Screen& screen, bool shown);
// Keeps the list within its ends; the rows' visible height.
int32_t TrackListTop();
int32_t TrackListBottom();
int32_t TrackListMaxScroll();
// The row at a screen y, or -1.
int32_t TrackRowAt(int32_t y);

// Frame drawing, x shifted right by x (slides).
void DrawControlBar(Screen& screen, int32_t x, uint32_t now);
void DrawSecondaryBar(Screen& screen, int32_t x);
void DrawCoverArea(Screen& screen, int32_t x);
// One pressable element's highlight for this frame.
void DrawPressedHighlight(Screen& screen, bool pressed, int32_t x, int32_t y, int32_t w, int32_t h,
                          uint32_t alpha);
// The scroll step of one line for this frame.
void DrawScrollingLine(Screen& screen, ScrollingLine& line, const Surface& label, int32_t x,
                       int32_t y, uint32_t alpha, uint32_t now);
// The track list's band of the screen (its rows alone on black) as an image,
// and the y it stands at.
void RenderTrackListImage(Screen& screen, Surface& image, int32_t& y);
// The track-list button: the cover turns over to show the list, or the list
// turns back to the cover; the shown flag flips half way through the turn.
void TurnTrackList(Screen& screen, uint32_t now);
// The whole screen into the back buffer (status bar through the router's
// hook); not presented.
void ComposeNowPlaying(Screen& screen, uint32_t now);
// Something still moves (fades, scrolling lines, highlight, a coasting list).
bool NowPlayingAnimating();

}  // namespace kra
