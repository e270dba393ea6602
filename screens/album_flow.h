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

namespace kra {

inline constexpr int kFlowSlots = 7;
inline constexpr int kFlowCentre = 3;
inline constexpr int kFlowMaxStep = 4;
inline constexpr uint32_t kFlowFill = 0x10101010;
inline constexpr uint32_t kFlowFramePeriodMs = 33;
inline constexpr uint32_t kFlowMotionTimer = 0x405;  // 60 ms
inline constexpr uint32_t kFlowPageTimer = 0x410;    // 45 ms

struct FlowAlbum {
    Surface cover;      // empty: the default cover is used
    Surface flowImage;  // the cover warped into its step, with reflection
    int32_t x = 0, y = 0;
    int step = -1;           // step baked into flowImage; -1 none yet
    int side = 0;            // 0 left of the centre, 1 right
    uint8_t coverState = 0;  // 0 not loaded, 1 loaded, 2 prepared
};

struct FlowHooks {
    // Draws the top bar, the labels and the overlay buttons over a frame.
    std::function<void(Screen&)> drawOverlay;
    // Fills an album's cover (state 0 -> 1); may leave it empty.
    std::function<void(int album, Surface& cover)> loadCover;
    std::function<void(uint32_t id, uint32_t ms)> startTimer;
    std::function<void(uint32_t id)> stopTimer;
    std::function<void(int album)> playAlbum;
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
    int32_t pressX = 0, pressY = 0, lastX = 0;
    uint32_t lastTime = 0;
    double lastSpeed = 0;  // px per ms of the last move
    bool down = false, dragging = false;
    std::vector<FlowAlbum> albums;  // index 0 unused
    const Surface* defaultCover = nullptr;
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

// Registers screen 5 with the router and its page tick with the timers.
void InstallAlbumFlowScreen();

}  // namespace kra
