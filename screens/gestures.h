// Touch gestures shared by every screen: the mapping of positions and arrow
// keys for a turned display, velocity and travel tracking of a drag, taps and
// double taps, the rest test at release and the momentum of a fling.
//
// Nothing here reads the clock or the screen: times (tick counts in ms,
// compared by unsigned difference so the 2^32 wrap is harmless), the scale
// (UiScale) and the sizes are passed in. Main thread only.
//
// Gesture life:
//
//   idle --pen down on a body--> pressed --moves--> dragging
//     ^                                                 |
//     |                               pen up (tap, action or fling)
//     +---- step 0 <---- coasting (MomentumStep) <------+
//
// A new pen down during coasting restarts the travel and so stops the coast.
#pragma once
#include <cstdint>

namespace kra {

// Virtual key codes the gestures know.
inline constexpr uint32_t kKeyEnter = 0x0D;
inline constexpr uint32_t kKeyLeft = 0x25;
inline constexpr uint32_t kKeyUp = 0x26;
inline constexpr uint32_t kKeyRight = 0x27;
inline constexpr uint32_t kKeyDown = 0x28;
inline constexpr uint32_t kKeyStart = 0x5B;
inline constexpr uint32_t kKeyWindows = 0x5C;
inline constexpr uint32_t kKeySoftLeft = 0x70;
inline constexpr uint32_t kKeySoftRight = 0x71;
inline constexpr uint32_t kKeyTalk = 0x72;
inline constexpr uint32_t kKeyEnd = 0x73;
inline constexpr uint32_t kKeyVolumeUp = 0x75;
inline constexpr uint32_t kKeyVolumeDown = 0x76;
inline constexpr uint32_t kKeyApp = 0xC3;

struct GestureState {
    // Where the pen went down and where it was at the previous event.
    int32_t startX = 0, startY = 0;
    int32_t lastX = 0, lastY = 0;
    uint32_t penDownTime = 0;
    uint32_t lastMoveTime = 0;
    uint32_t lastMoveGap = 0;  // ms between the two latest pen events
    // Absolute speeds in pixels per second, of the latest and the previous move.
    double verticalSpeed = 0, previousVerticalSpeed = 0;
    double horizontalSpeed = 0, previousHorizontalSpeed = 0;
    // Movement gathered in the current direction (positive: finger moved up
    // or left) and its duration.
    double verticalTravel = 0;
    uint32_t verticalTravelTime = 0;
    double horizontalTravel = 0;
    uint32_t horizontalTravelTime = 0;
    // The previous single tap; none before the first.
    bool hasLastTap = false;
    uint32_t lastTapTime = 0;
    int32_t lastTapX = 0, lastTapY = 0;
    // Seeking with the slider knob or the left/right keys.
    int32_t seekCount = 0;  // key-downs of the current left/right seek
    bool seeking = false;
    uint32_t seekTarget = 0;  // seconds
};

extern GestureState g_gesture;

// Orientation code (0, 1, 2, 4) to quarter turns (0..3); other codes count as 0.
int QuarterTurns(int orientationCode);
// (drawing turns - device turns) mod 4.
int RotationDelta(int drawingOrientation, int deviceOrientation);
// Maps a position for the turn d (0..3) inside a drawing of w x h.
void MapPosition(int delta, int w, int h, int32_t& x, int32_t& y);
// Maps an arrow key for the turn d; every other key comes back unchanged.
uint32_t MapArrowKey(int delta, uint32_t key);

// Pen down on a scrollable area: start and last position, times, travels
// cleared.
void BeginDrag(GestureState& g, int32_t x, int32_t y, uint32_t now);
// A move while the pen is down: speeds, travel (restarted when the direction
// reverses) and the times. Last x and y are left to EndMove, so the screen
// can still see the previous position.
void TrackMove(GestureState& g, int32_t x, int32_t y, uint32_t now);
inline void EndMove(GestureState& g, int32_t x, int32_t y) {
    g.lastX = x;
    g.lastY = y;
}

// |start - point| < distance x scale on both axes.
bool IsNearPenDown(const GestureState& g, int32_t x, int32_t y, int distance, int scale);
// More than 25 ms since pen down, so a bouncing pen is no tap.
bool HeldLongEnough(const GestureState& g, uint32_t now);
// Less than 500 ms and under 40 x scale on both axes from the previous single
// tap. A tap that is not a double tap becomes the previous tap; a double tap
// is consumed, so a third tap starts afresh.
bool IsDoubleTap(GestureState& g, int32_t x, int32_t y, uint32_t now, int scale);
// The finger was at rest at release: the latest and the previous vertical
// speed below 60 px/s, or the last move more than gapLimit ms before.
bool ReleasedAtRest(const GestureState& g, uint32_t gapLimit = 150);
// The horizontal form of the rest test (album flow and the now-playing
// swipes).
bool ReleasedAtRestHorizontally(const GestureState& g, uint32_t gapLimit);
// The top-right corner (15 x 25 px at scale 1) that sends the player away.
bool InMinimizeCorner(int32_t x, int32_t y, int width, int scale);

// One momentum tick of a vertical fling: the step in pixels (travel x 300 /
// travel time, truncated); a non-zero step decays the travel by 0.85, a zero
// step clears travel and time and ends the coast. 0 when nothing coasts.
int MomentumStep(GestureState& g);

}  // namespace kra
