#include "screens/gestures.h"

#include <cmath>
#include <cstdlib>

namespace kra {

GestureState g_gesture;

namespace {

constexpr uint32_t kTapHoldMs = 25;
constexpr uint32_t kDoubleTapMs = 500;
constexpr int kDoubleTapDistance = 40;
constexpr double kRestSpeed = 60.0;
constexpr double kMomentumDecay = 0.85;

// Adds one movement to a travel, restarting it when the direction reversed.
void AddTravel(double& travel, uint32_t& travelTime, double movement, uint32_t gap) {
    if ((movement > 0 && travel < 0) || (movement < 0 && travel > 0)) {
        travel = 0;
        travelTime = 0;
    }
    travel += movement;
    travelTime += gap;
}

}  // namespace

int QuarterTurns(int orientationCode) {
    switch (orientationCode) {
        case 1:
            return 1;
        case 2:
            return 2;
        case 4:
            return 3;
        default:
            return 0;
    }
}

int RotationDelta(int drawingOrientation, int deviceOrientation) {
    return (QuarterTurns(drawingOrientation) - QuarterTurns(deviceOrientation) + 4) % 4;
}

void MapPosition(int delta, int w, int h, int32_t& x, int32_t& y) {
    const int32_t ox = x, oy = y;
    switch (delta) {
        case 1:
            x = w - oy;
            y = ox;
            break;
        case 2:
            x = w - ox;
            y = h - oy;
            break;
        case 3:
            x = oy;
            y = h - ox;
            break;
        default:
            break;
    }
}

uint32_t MapArrowKey(int delta, uint32_t key) {
    if (key < kKeyLeft || key > kKeyDown || delta <= 0 || delta > 3) return key;
    // The arrows in turning order left, up, right, down: one quarter turn
    // moves each key one place on.
    const uint32_t index = key - kKeyLeft;
    return kKeyLeft + (index + uint32_t(delta)) % 4;
}

void BeginDrag(GestureState& g, int32_t x, int32_t y, uint32_t now) {
    g.startX = g.lastX = x;
    g.startY = g.lastY = y;
    g.penDownTime = g.lastMoveTime = now;
    g.verticalTravel = g.horizontalTravel = 0;
    g.verticalTravelTime = g.horizontalTravelTime = 0;
}

void TrackMove(GestureState& g, int32_t x, int32_t y, uint32_t now) {
    const uint32_t gap = now - g.lastMoveTime;
    g.lastMoveGap = gap;
    g.previousVerticalSpeed = g.verticalSpeed;
    g.previousHorizontalSpeed = g.horizontalSpeed;
    const double dy = double(g.lastY) - double(y);
    const double dx = double(g.lastX) - double(x);
    if (gap == 0) {
        g.verticalSpeed = g.horizontalSpeed = 0;
    } else {
        g.verticalSpeed = std::fabs(dy * 1000.0 / double(gap));
        g.horizontalSpeed = std::fabs(dx * 1000.0 / double(gap));
    }
    AddTravel(g.verticalTravel, g.verticalTravelTime, dy, gap);
    AddTravel(g.horizontalTravel, g.horizontalTravelTime, dx, gap);
    g.lastMoveTime = now;
}

bool IsNearPenDown(const GestureState& g, int32_t x, int32_t y, int distance, int scale) {
    const int64_t d = int64_t(distance) * scale;
    return std::llabs(int64_t(g.startX) - x) < d && std::llabs(int64_t(g.startY) - y) < d;
}

bool HeldLongEnough(const GestureState& g, uint32_t now) {
    return now - g.penDownTime > kTapHoldMs;
}

bool IsDoubleTap(GestureState& g, int32_t x, int32_t y, uint32_t now, int scale) {
    const int64_t d = int64_t(kDoubleTapDistance) * scale;
    if (g.hasLastTap && now - g.lastTapTime < kDoubleTapMs &&
        std::llabs(int64_t(g.lastTapX) - x) < d && std::llabs(int64_t(g.lastTapY) - y) < d) {
        g.hasLastTap = false;
        return true;
    }
    g.hasLastTap = true;
    g.lastTapTime = now;
    g.lastTapX = x;
    g.lastTapY = y;
    return false;
}

bool ReleasedAtRest(const GestureState& g, uint32_t gapLimit) {
    return (g.verticalSpeed < kRestSpeed && g.previousVerticalSpeed < kRestSpeed) ||
           g.lastMoveGap > gapLimit;
}

bool ReleasedAtRestHorizontally(const GestureState& g, uint32_t gapLimit) {
    return (g.horizontalSpeed < kRestSpeed && g.previousHorizontalSpeed < kRestSpeed) ||
           g.lastMoveGap > gapLimit;
}

bool InMinimizeCorner(int32_t x, int32_t y, int width, int scale) {
    return y < 15 * scale && x > width - 25 * scale;
}

int MomentumStep(GestureState& g) {
    if (g.verticalTravelTime == 0) return 0;
    const double raw = g.verticalTravel * 300.0 / double(g.verticalTravelTime);
    // A fling cannot move more than a 32-bit step however the travel grew.
    const int step =
        std::fabs(raw) >= 2147483647.0 ? (raw < 0 ? -2147483647 : 2147483647) : int(raw);
    if (step == 0) {
        g.verticalTravel = 0;
        g.verticalTravelTime = 0;
        return 0;
    }
    g.verticalTravel *= kMomentumDecay;
    return step;
}

}  // namespace kra
