#include "screens/gestures.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace kra {
namespace {

TEST(RotationMapping, KeysAndPositionsFollowTheTurn) {
    // Drawing orientation 1 (90 degrees) on a device at 0 is one quarter turn;
    // orientation 4 counts as three.
    EXPECT_EQ(RotationDelta(1, 0), 1);
    EXPECT_EQ(RotationDelta(0, 1), 3);
    EXPECT_EQ(RotationDelta(4, 0), 3);
    EXPECT_EQ(RotationDelta(4, 4), 0);
    // Each quarter turn moves an arrow one place on in left, up, right, down.
    EXPECT_EQ(MapArrowKey(1, kKeyUp), kKeyRight);
    EXPECT_EQ(MapArrowKey(1, kKeyDown), kKeyLeft);
    EXPECT_EQ(MapArrowKey(2, kKeyUp), kKeyDown);
    EXPECT_EQ(MapArrowKey(3, kKeyLeft), kKeyDown);
    EXPECT_EQ(MapArrowKey(3, kKeyUp), kKeyLeft);
    // Other keys are never changed.
    EXPECT_EQ(MapArrowKey(1, kKeyEnter), kKeyEnter);
    EXPECT_EQ(MapArrowKey(1, kKeySoftLeft), kKeySoftLeft);

    const std::pair<int32_t, int32_t> at[] = {{10, 30}, {450, 10}, {470, 770}, {30, 790}};
    for (int delta = 0; delta < 4; ++delta) {
        int32_t x = 10, y = 30;
        MapPosition(delta, 480, 800, x, y);
        EXPECT_EQ(std::make_pair(x, y), at[delta]) << delta;
    }
    // A finger moving up the device (y falling) moves right in the drawing,
    // as the up arrow does.
    int32_t ax = 100, ay = 500, bx = 100, by = 400;
    MapPosition(1, 480, 800, ax, ay);
    MapPosition(1, 480, 800, bx, by);
    EXPECT_GT(bx, ax);
    EXPECT_EQ(by, ay);
}

TEST(Taps, HoldAndDistance) {
    GestureState g;
    BeginDrag(g, 100, 200, 1000);
    EXPECT_FALSE(HeldLongEnough(g, 1025));
    EXPECT_TRUE(HeldLongEnough(g, 1026));
    EXPECT_TRUE(IsNearPenDown(g, 109, 191, 10, 1));
    EXPECT_FALSE(IsNearPenDown(g, 110, 200, 10, 1));
    EXPECT_FALSE(IsNearPenDown(g, 100, 190, 10, 1));
    EXPECT_TRUE(IsNearPenDown(g, 119, 181, 10, 2));
    // Across the tick count's wrap.
    BeginDrag(g, 0, 0, 0xFFFFFFF0u);
    EXPECT_FALSE(HeldLongEnough(g, 5));
    EXPECT_TRUE(HeldLongEnough(g, 10));
}

TEST(Taps, DoubleTapTimeAndDistance) {
    GestureState g;
    // The first tap ever is never a double tap, even near (0, 0) at tick 0.
    EXPECT_FALSE(IsDoubleTap(g, 0, 0, 0, 1));
    EXPECT_TRUE(IsDoubleTap(g, 39, 39, 499, 1));

    GestureState late;
    EXPECT_FALSE(IsDoubleTap(late, 50, 50, 1000, 1));
    EXPECT_FALSE(IsDoubleTap(late, 50, 50, 1500, 1));
    // ...but the late tap became the previous one.
    EXPECT_TRUE(IsDoubleTap(late, 50, 50, 1600, 1));

    GestureState far;
    EXPECT_FALSE(IsDoubleTap(far, 50, 50, 1000, 1));
    EXPECT_FALSE(IsDoubleTap(far, 90, 50, 1100, 1));
    // At scale 2 the distance doubles.
    EXPECT_TRUE(IsDoubleTap(far, 169, 50, 1200, 2));

    // A double tap is consumed: a third quick tap starts afresh.
    GestureState triple;
    EXPECT_FALSE(IsDoubleTap(triple, 10, 10, 100, 1));
    EXPECT_TRUE(IsDoubleTap(triple, 10, 10, 200, 1));
    EXPECT_FALSE(IsDoubleTap(triple, 10, 10, 300, 1));
}

TEST(Drag, SpeedsAndTravel) {
    GestureState g;
    BeginDrag(g, 100, 500, 0);
    TrackMove(g, 100, 480, 20);  // 20 px up in 20 ms
    EXPECT_DOUBLE_EQ(g.verticalSpeed, 1000.0);
    EXPECT_DOUBLE_EQ(g.verticalTravel, 20.0);
    EXPECT_EQ(g.verticalTravelTime, 20u);
    EndMove(g, 100, 480);
    TrackMove(g, 90, 470, 40);
    EXPECT_DOUBLE_EQ(g.previousVerticalSpeed, 1000.0);
    EXPECT_DOUBLE_EQ(g.verticalSpeed, 500.0);
    EXPECT_DOUBLE_EQ(g.horizontalSpeed, 500.0);
    EXPECT_DOUBLE_EQ(g.verticalTravel, 30.0);
    EXPECT_DOUBLE_EQ(g.horizontalTravel, 10.0);
    EndMove(g, 90, 470);
    // Reversing drops what was gathered before.
    TrackMove(g, 90, 475, 60);
    EXPECT_DOUBLE_EQ(g.verticalTravel, -5.0);
    EXPECT_EQ(g.verticalTravelTime, 20u);
    // A move with no time between events has no speed but still travels.
    EndMove(g, 90, 475);
    TrackMove(g, 90, 485, 60);
    EXPECT_DOUBLE_EQ(g.verticalSpeed, 0.0);
    EXPECT_DOUBLE_EQ(g.verticalTravel, -15.0);
    EXPECT_EQ(g.lastMoveGap, 0u);
}

TEST(Drag, RestAtRelease) {
    GestureState g;
    BeginDrag(g, 0, 500, 0);
    TrackMove(g, 0, 400, 50);  // fast
    EndMove(g, 0, 400);
    TrackMove(g, 0, 399, 100);  // slow, but the one before was fast
    EXPECT_FALSE(ReleasedAtRest(g));
    EndMove(g, 0, 399);
    TrackMove(g, 0, 398, 150);
    EXPECT_TRUE(ReleasedAtRest(g));
    // A fast drag that stopped for more than 150 ms before the lift.
    GestureState h;
    BeginDrag(h, 0, 500, 0);
    TrackMove(h, 0, 300, 20);
    EndMove(h, 0, 300);
    TrackMove(h, 0, 200, 171);
    EXPECT_GT(h.verticalSpeed, 60.0);
    EXPECT_TRUE(ReleasedAtRest(h));
    EXPECT_FALSE(ReleasedAtRest(h, 500));
}

TEST(Drag, MomentumDecaysAndStops) {
    GestureState g;
    g.verticalTravel = 100;
    g.verticalTravelTime = 100;
    std::vector<int> steps;
    for (int step; (step = MomentumStep(g)) != 0;) steps.push_back(step);
    ASSERT_GE(steps.size(), 10u);
    EXPECT_EQ(steps[0], 300);
    EXPECT_EQ(steps[1], 255);
    // Roughly halved in four ticks.
    EXPECT_NEAR(steps[4] / double(steps[0]), 0.52, 0.01);
    for (size_t i = 1; i < steps.size(); ++i) EXPECT_LE(steps[i], steps[i - 1]);
    EXPECT_EQ(g.verticalTravelTime, 0u);
    EXPECT_EQ(g.verticalTravel, 0.0);
    EXPECT_EQ(MomentumStep(g), 0);
    // Upward and downward flings alike.
    g.verticalTravel = -10;
    g.verticalTravelTime = 100;
    EXPECT_EQ(MomentumStep(g), -30);
    // An absurd travel gives a bounded step, not undefined behaviour.
    g.verticalTravel = 1e30;
    g.verticalTravelTime = 1;
    EXPECT_EQ(MomentumStep(g), 2147483647);
}

TEST(Corner, TopRightMinimises) {
    EXPECT_TRUE(InMinimizeCorner(479, 0, 480, 1));
    EXPECT_TRUE(InMinimizeCorner(456, 14, 480, 1));
    EXPECT_FALSE(InMinimizeCorner(455, 0, 480, 1));
    EXPECT_FALSE(InMinimizeCorner(470, 15, 480, 1));
    EXPECT_TRUE(InMinimizeCorner(431, 29, 480, 2));
    EXPECT_FALSE(InMinimizeCorner(430, 29, 480, 2));
}

}  // namespace
}  // namespace kra
