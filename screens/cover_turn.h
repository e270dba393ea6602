// The cover turn: a card-like turn of a cover (or a track-list image) that
// shows the other image at its end. A short synchronous run of 18 frames
// presented one by one: lift (2), turn away (7), turn in (7), settle (2).
// The fixed edge stays the same through the whole turn: side 1 keeps the
// left edge still, side 2 the right.
#pragma once
#include <cstdint>
#include <functional>

#include "graphics/image.h"
#include "graphics/screen.h"
#include "graphics/surface.h"

namespace kra {

inline constexpr int kTurnLiftFrames = 2;
inline constexpr int kTurnFrames = 7;
inline constexpr int kTurnSettleFrames = 2;
inline constexpr int kTurnTotalFrames = 18;
inline constexpr uint32_t kTurnFramePeriodMs = 33;

struct TurnHooks {
    // Flow mode: draws the row frame the turn stands on (without the centre cover).
    std::function<void(Screen&)> drawBackground;
    // The status bar and the screen's own bar, drawn over every frame.
    std::function<void(Screen&)> drawBars;
    std::function<void()> stopMotion;   // the 60 ms motion timer
    std::function<void()> startMotion;  // restarted at 60 ms afterwards
    // Called after each frame is composed, just before it is presented (1..18).
    std::function<void(Screen&, int frame)> onFrame;
    // The "track list shown" flag toggled between the two halves outside flow mode.
    bool* listShown = nullptr;
};

// The rows of an image of `height` rows drawn at `y` that take part in a turn on a
// screen `screenHeight` high: at most screenHeight + screenHeight / 8 rows, taken from
// the visible part when y is negative. count is 0 when nothing is visible.
struct TurnCut {
    uint32_t start = 0;
    uint32_t count = 0;
    int32_t drawY = 0;
};
TurnCut TurnCutRows(uint32_t height, int32_t y, uint32_t screenHeight);

// Warp corners of turn frame k (0..6) of a w x h figure. side 1 fixes the left edge,
// side 2 the right. Turning away the moving edge stands w - (k + 1) * w / 8 from the
// fixed one with its corners (k + 1) * h / 32 inside; turning in it stands
// (k + 1) * w / 8 away with its corners h / 4 - k * h / 32 inside. The figure width
// (moving-edge distance) is returned in width.
WarpCorners TurnCorners(uint32_t w, uint32_t h, int frame, int side, bool turningIn,
                        int32_t& width);

// Called after each frame of every turn, after the hooks' own onFrame (tests
// and frame captures of turns started by the screens).
extern std::function<void(Screen&, int frame)> g_turnFrameObserver;

int TurnOver(Screen& screen, const Surface& front, const Surface& back, int32_t frontY,
             int32_t backY, bool frontReflection, bool backReflection, int side, bool flowMode,
             const TurnHooks& hooks);

}  // namespace kra
