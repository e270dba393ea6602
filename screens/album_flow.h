// The album flow: the albums as a row of covers in perspective. The centre
// cover faces the user, its neighbours stand turned away on both sides with
// a darkened reflection below. Albums are entries 1..count; a slot holds an
// album index or -1 when empty. Animation loops run synchronously and present
// their frames themselves, paced to at least 33 ms a frame.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "graphics/image.h"
#include "graphics/screen.h"
#include "graphics/surface.h"
#include "screens/flow_cover_cache.h"

namespace kra {

inline constexpr int kFlowSlots = 7;
inline constexpr int kFlowCentre = 3;
inline constexpr int kFlowMaxStep = 4;
inline constexpr uint32_t kFlowFill = 0x10101010;
inline constexpr uint32_t kFlowFramePeriodMs = 33;
inline constexpr uint32_t kFlowMotionTimer = 0x405;  // 60 ms
inline constexpr uint32_t kFlowPageTimer = 0x410;    // 45 ms

// Per album; the cover itself lives in the cover cache, and flowImage only
// while the album stands in a slot.
struct FlowAlbum {
    Surface flowImage;  // the cover warped into its step, with reflection
    int32_t x = 0, y = 0;
    int step = -1;           // step baked into flowImage; -1 none yet
    int side = 0;            // 0 left of the centre, 1 right
    uint8_t coverState = 0;  // 0 not loaded, 1 loaded, 2 prepared
};

// A row of the centre album's track list.
struct FlowTrack {
    std::u16string path;
    std::u16string title;
    int32_t seconds = 0;
    Surface label;   // "number. title"
    Surface length;  // "m:ss"
};

struct FlowHooks {
    // Draws the top bar, the labels and the overlay buttons over a frame.
    std::function<void(Screen&)> drawOverlay;
    // Fills an album's cover (state 0 -> 1); may leave it empty.
    std::function<void(int album, Surface& cover)> loadCover;
    std::function<void(uint32_t id, uint32_t ms)> startTimer;
    std::function<void(uint32_t id)> stopTimer;
    std::function<void(int album)> playAlbum;
    // A track-list row of an album was tapped.
    std::function<void(int album, const std::u16string& path)> playSong;
    // The album's songs (paths) and titles for its track list.
    std::function<void(int album, std::vector<FlowTrack>& tracks)> loadTracks;
    // The album's caption (album name, artist) for the labels.
    std::function<void(int album, std::u16string& name, std::u16string& artist)> caption;
    // The artist an album belongs to, for jumps by letter.
    std::function<std::u16string(int album)> artistOf;
    // Leaves the view (bottom-bar double tap, portrait).
    std::function<void()> leave;
    // Turns the display for the view's orientation (entry).
    std::function<void(int orientation)> turnDisplay;
    std::function<void()> wakeWorker;        // the art pre-loading worker
    std::function<void(int frame)> onFrame;  // after each presented frame
};

struct AlbumFlow {
    int current = 1;
    int count = 0;
    std::array<int, kFlowSlots> slots{-1, -1, -1, -1, -1, -1, -1};
    float offset = 0.0f;
    double velocity = 0.0;
    int divisor = 0;  // 0: no flick running
    int32_t spacing = 10;
    int32_t coverSize = 0;  // the flow's cover side, fitted above the baseline
    int32_t topBar = 0;     // rows of the top bar
    int32_t baseline = 0;   // screen height minus the bottom bar
    int pageTicks = 0;      // 0x410 ticks since entry or the last step
    // The finger: press point, last point and time; dragging once it left the tap distance.
    int32_t pressX = 0, pressY = 0, lastX = 0, lastY = 0;
    uint32_t lastTime = 0;
    double lastSpeed = 0;  // px per ms of the last move
    bool down = false, dragging = false;
    std::vector<FlowAlbum> albums;  // index 0 unused
    const Surface* defaultCover = nullptr;
    FlowCoverCache cache;
    bool fast = false;  // a fling or a drag runs: no decoding on this thread
    // Labels of the centre album.
    int labelAlbum = -1;
    Surface albumLabel, artistLabel;
    // Pressed areas: 1 play/pause, 2 track list, 3 bottom bar.
    int pressed = 0;
    uint32_t lastBarTap = 0;
    bool hasBarTap = false;
    // The centre album's track list, shown in place of its cover.
    bool listShown = false;
    int listAlbum = -1;
    std::vector<FlowTrack> tracks;
    int32_t listScroll = 0;
    double listVelocity = 0;  // px per ms of a flick through the list; 0 at rest
    int32_t rowHeight = 0;
    int32_t markedRow = -1;
    FlowHooks hooks;
};

extern AlbumFlow g_albumFlow;

// spacing = 20u + (S - 78u) / 2, never under 10.
int32_t FlowSpacing(int32_t coverSize, int uiScale);
// The warp corners of a w x h cover at perspective step 0..4 for a side.
WarpCorners CoverCorners(int32_t w, int32_t h, int step, int side);
// trunc(offset / (spacing / 10)) clamped to 0..4, for either sign of offset.
int DragStep(float offset, int32_t spacing);
// One relaxation of the offset at rest: under 0.6 becomes 0, else * 0.8.
float RelaxOffset(float offset);

// Sizes the row for a screen of w x h with the given bars; clears the albums
// and gives `count` albums (entries 1..count) with no covers.
void SetupAlbumFlow(AlbumFlow& flow, int32_t w, int32_t h, int32_t topBar, int32_t bottomBar,
                    int uiScale, int count);
void FillSlots(AlbumFlow& flow, const Screen& screen);
void PrepareCover(AlbumFlow& flow, const Screen& screen, int album, int step, int side);
// Resting x of an image `imageWidth` wide standing in `slot`.
int32_t SlotX(const AlbumFlow& flow, int32_t screenWidth, int slot, int32_t imageWidth);

void DrawFlow(Screen& screen, float offset);
// DrawFlow without presenting.
void ComposeFlow(Screen& screen, float offset);
// One motion tick without drawing; false when a step ran (and drew) instead.
bool FlowMotion(Screen& screen);
void MoveToNextAlbum(Screen& screen, bool fast);
void MoveToPrevAlbum(Screen& screen, bool fast);
void OnFlowTimer(Screen& screen);
void OnFlowPageTimer();
void SnapFlow(Screen& screen, int direction);
// False (and nothing changes) when the view is switched off.
bool EnterAlbumFlow(Screen& screen, int orientation);
// A tap at (x, y): the centre plays, the sides step.
void FlowTap(Screen& screen, int32_t x, int32_t y);

// Touches of the shown view. A press and release that moved under the tap
// distance is a tap; otherwise the row follows the finger, and the release
// becomes a flick when the finger was still moving (at least 0.2 px/ms over
// the last move), else a snap to the nearer album.
void FlowPenDown(Screen& screen, int32_t x, int32_t y, uint32_t now);
void FlowPenMove(Screen& screen, int32_t x, int32_t y, uint32_t now);
void FlowPenUp(Screen& screen, int32_t x, int32_t y, uint32_t now);

// The row's rectangle of the centre track list.
void FlowListRect(const Screen& screen, int32_t& x, int32_t& y, int32_t& w, int32_t& h);
// The track list in the centre, over the row.
void DrawFlowList(Screen& screen);
// Loads the centre album's titles ("start load af af" ... "end load af af").
void LoadAlbumTitles(Screen& screen);
// The centre cover turns over to its track list, or back.
void TurnFlowList(Screen& screen);
// Renders the centre album's labels when the centre changed.
void RenderFlowLabels(Screen& screen);
// Header, labels and the overlay buttons over the row.
void DrawFlowOverlay(Screen& screen);
// Takes over the covers the worker finished; the number installed.
int InstallFlowCovers();
// A letter key: to the first album whose artist starts with it (the next
// such artist when the current one does; else the next letter that has one).
bool JumpToLetter(Screen& screen, char16_t letter);
// The view's key handling (letters); false when the key is not the view's.
bool FlowKeyDown(uint32_t key);

// Back to the now-playing screen in portrait.
void LeaveAlbumFlowScreen();
// Registers screen 5 with the router and its page tick with the timers.
void InstallAlbumFlowScreen();

}  // namespace kra
