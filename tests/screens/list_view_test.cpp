// The list control's motion on the virtual clock (times are passed in) and
// its drawing bookkeeping: row cache, thumb.
#include "screens/list_view.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "graphics/blit.h"
#include "graphics/screen_fixture.h"

namespace kra {
namespace {

// A list of `count` rows of 30 px with a visible area of 300 px (10 rows),
// rows starting at the top of the visible area.
ListView MakeList(int32_t count, const Screen& screen) {
    ListView list;
    ListInit(list, screen, 0, 480, 30, 0, 6, 100, 0);
    ListSetArea(list, 100, 480, 400, 1);
    ListSetCount(list, count);
    return list;
}

// Ticks until the list stops; returns the position deltas of each tick.
std::vector<int32_t> Coast(ListView& list, int limit = 500) {
    std::vector<int32_t> steps;
    for (int i = 0; i < limit && list.velocity != 0; ++i) {
        const int32_t before = list.position;
        ListTick(list);
        steps.push_back(before - list.position);
    }
    return steps;
}

// How often the direction of motion turns.
int Reversals(const std::vector<int32_t>& steps) {
    int turns = 0, last = 0;
    for (int32_t s : steps) {
        const int sign = (s > 0) - (s < 0);
        if (sign != 0 && last != 0 && sign != last) ++turns;
        if (sign != 0) last = sign;
    }
    return turns;
}

// Finger moves as the screens report them: dy positive = finger moved up.
void Flick(ListView& list, int32_t y, double dy, uint32_t ms) {
    ASSERT_TRUE(ListPress(list, 10, y, 0));
    ListDrag(list, 10, y - int32_t(dy), dy, ms);
    ListRelease(list, 10, y - int32_t(dy), false);
}

TEST(ListViewMotion, FlickStepsAreCutToTheVisibleHeightThenDecay) {
    Screen screen;
    ListView list = MakeList(1000, screen);
    Flick(list, 350, 300, 100);
    EXPECT_EQ(list.position, -300);  // the drag itself moved the list
    const std::vector<int32_t> steps = Coast(list);
    // 300 x 200 / 100 = 600, cut to 300; the cut holds while 600 x 0.9^n > 300.
    ASSERT_GE(steps.size(), 10u);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(steps[size_t(i)], 300) << i;
    EXPECT_EQ(steps[7], 286);  // 600 x 0.9^7 = 286.9
    EXPECT_EQ(steps[8], 258);
    for (size_t i = 8; i + 1 < steps.size() - 1; ++i) EXPECT_LE(steps[i + 1], steps[i]);
    // The last tick is the one whose step truncates to 0.
    EXPECT_EQ(steps.back(), 0);
    EXPECT_EQ(steps[steps.size() - 2], 1);
    EXPECT_EQ(list.velocity, 0);
    EXPECT_EQ(list.timeSum, 0u);
}

TEST(ListViewMotion, FlingPastAnEndTurnsOnceAndRestsOnIt) {
    Screen screen;
    for (int32_t start : {-600, -90, -31}) {
        ListView list = MakeList(1000, screen);
        ListScrollTo(list, start);
        Flick(list, 150, -120, 100);  // finger moved down: earlier rows come in
        std::vector<int32_t> steps = {start - list.position};
        for (int32_t s : Coast(list)) steps.push_back(s);
        EXPECT_EQ(list.position, 0) << start;
        EXPECT_EQ(Reversals(steps), 1) << start;
        EXPECT_FALSE(list.overscrolled);
    }
    ListView tail = MakeList(40, screen);  // 1200 px of rows, range -900..0
    ASSERT_EQ(tail.minPosition, -900);
    ListScrollTo(tail, -700);
    Flick(tail, 350, 120, 100);
    const std::vector<int32_t> steps = Coast(tail);
    EXPECT_EQ(tail.position, -900);
    EXPECT_EQ(Reversals(steps), 1);
}

TEST(ListViewMotion, LastStepAcrossAnEndWithNoSpeedLeftSnapsToThatEnd) {
    Screen screen;
    // A press that went 9 px one way and 10 px back ends at -7 with a flick
    // of 1 px in 100 ms; the fling crosses the first row with its last
    // non-zero step and leaves a bounce step of 0.
    ListView list = MakeList(1000, screen);
    ListScrollTo(list, -8);
    ASSERT_TRUE(ListPress(list, 10, 200, 0));
    ListDrag(list, 10, 191, 9, 50);
    ListDrag(list, 10, 201, -10, 50);
    EXPECT_EQ(ListRelease(list, 10, 201, false), -1);
    EXPECT_EQ(list.position, -7);
    EXPECT_EQ(list.velocity, -1);
    Coast(list);
    EXPECT_EQ(list.position, 0);
    EXPECT_FALSE(list.overscrolled);
    // The same at the far end.
    ListView tail = MakeList(40, screen);
    ListScrollTo(tail, -892);
    ASSERT_TRUE(ListPress(tail, 10, 200, 0));
    ListDrag(tail, 10, 209, -9, 50);
    ListDrag(tail, 10, 199, 10, 50);
    ListRelease(tail, 10, 199, false);
    EXPECT_EQ(tail.position, -893);
    Coast(tail);
    EXPECT_EQ(tail.position, -900);
}

TEST(ListViewMotion, PulledPastAnEndNeverRestsThere) {
    Screen screen;
    // Released at rest after pulling past the top.
    ListView list = MakeList(1000, screen);
    ASSERT_TRUE(ListPress(list, 10, 150, 0));
    ListDrag(list, 10, 190, -40, 50);
    EXPECT_EQ(list.position, 40);
    EXPECT_TRUE(list.overscrolled);
    ListRelease(list, 10, 190, true);
    EXPECT_EQ(list.position, 0);
    // Flung further outward from past the top: it comes back to the top, it
    // does not jump to the far end.
    ListView fling = MakeList(1000, screen);
    ASSERT_TRUE(ListPress(fling, 10, 150, 0));
    ListDrag(fling, 10, 190, -40, 40);
    ListRelease(fling, 10, 190, false);
    Coast(fling);
    EXPECT_EQ(fling.position, 0);
}

TEST(ListViewMotion, ListThatFitsDoesNotMove) {
    Screen screen;
    ListView list = MakeList(10, screen);
    EXPECT_EQ(list.minPosition, 0);
    Flick(list, 350, 200, 50);
    EXPECT_EQ(list.position, 0);
    Coast(list);
    EXPECT_EQ(list.position, 0);
}

TEST(ListViewMotion, NewPressStopsACoast) {
    Screen screen;
    ListView list = MakeList(1000, screen);
    Flick(list, 350, 100, 100);
    ListTick(list);
    const int32_t at = list.position;
    ASSERT_TRUE(ListPress(list, 10, 200, 0));
    ListTick(list);
    EXPECT_EQ(list.position, at);
    const int32_t row = ListRowAt(list, 200);
    EXPECT_EQ(row, (200 - 100 - at) / 30);
    EXPECT_EQ(ListRelease(list, 10, 200, true), row);  // still a tap on the row under it
    ListTick(list);
    EXPECT_EQ(list.position, at);
}

TEST(ListViewTaps, PressThatMovesMoreThanAQuarterRowChoosesNothing) {
    Screen screen;
    ListView list = MakeList(1000, screen);
    ASSERT_EQ(list.tapSlop, 7);
    struct Move {
        int32_t dx, dy;
        bool chosen;
    };
    for (const Move m :
         {Move{0, 7, true}, Move{0, -7, true}, Move{7, 0, true}, Move{-7, 7, true},
          Move{0, 8, false}, Move{0, -8, false}, Move{8, 0, false}, Move{-8, 0, false}}) {
        ListScrollTo(list, -300);
        ASSERT_TRUE(ListPress(list, 100, 215, 0));
        EXPECT_EQ(list.pressedRow, 13);  // (215 - 100 + 300) / 30
        ListDrag(list, 100 + m.dx, 215 + m.dy, -double(m.dy), 40);
        const int32_t row = ListRelease(list, 100 + m.dx, 215 + m.dy, true);
        EXPECT_EQ(row, m.chosen ? 13 : -1) << m.dx << "," << m.dy;
    }
    // A move out and back still counts as moved.
    ASSERT_TRUE(ListPress(list, 100, 215, 0));
    ListDrag(list, 100, 240, -25, 40);
    ListDrag(list, 100, 215, 25, 40);
    EXPECT_EQ(ListRelease(list, 100, 215, true), -1);
}

TEST(ListViewTaps, RowsAndAreaEdges) {
    Screen screen;
    ListView list = MakeList(12, screen);
    EXPECT_FALSE(ListPress(list, 10, 99, 0));   // above the visible area
    EXPECT_FALSE(ListPress(list, 10, 400, 0));  // below it
    EXPECT_FALSE(ListPress(list, 480, 200, 0));
    EXPECT_EQ(ListRowAt(list, 100), 0);
    EXPECT_EQ(ListRowAt(list, 129), 0);
    EXPECT_EQ(ListRowAt(list, 130), 1);
    ListScrollTo(list, -60);
    EXPECT_EQ(ListRowAt(list, 100), 2);
    EXPECT_EQ(ListRowAt(list, 399), 11);
    // Past the last entry there is no row.
    ListView shortList = MakeList(3, screen);
    EXPECT_EQ(ListRowAt(shortList, 195), -1);
    ASSERT_TRUE(ListPress(shortList, 10, 195, 0));
    EXPECT_EQ(ListRelease(shortList, 10, 195, true), -1);
}

TEST(ListViewThumb, LengthFollowsTheEntries) {
    Screen screen;
    EXPECT_EQ(MakeList(10, screen).thumbLength, 0);
    EXPECT_EQ(MakeList(11, screen).thumbLength, 272);  // 300 x 300 / 330
    EXPECT_EQ(MakeList(100, screen).thumbLength, 30);
}

TEST(ListViewThumb, FadesInWhileMovingAndOutAtRest) {
    test::TestScreen fs(480, 500);
    ASSERT_TRUE(fs.ok);
    ListView list = MakeList(11, fs.screen);
    ASSERT_TRUE(ListPress(list, 10, 150, 0));
    const int expectedRise[] = {4, 8, 12, 16, 20, 20};
    for (int a : expectedRise) {
        ListDraw(list, fs.screen);
        EXPECT_EQ(list.thumbAlpha, a);
    }
    ListRelease(list, 10, 150, true);
    int draws = 0;
    for (int a = 19; a >= 0; --a) {
        ListDraw(list, fs.screen);
        ++draws;
        EXPECT_EQ(list.thumbAlpha, a);
    }
    EXPECT_EQ(draws, 20);
    ListDraw(list, fs.screen);
    EXPECT_EQ(list.thumbAlpha, 0);
    // No thumb, no alpha, for a list that fits.
    ListView fits = MakeList(10, fs.screen);
    ASSERT_TRUE(ListPress(fits, 10, 150, 0));
    ListDraw(fits, fs.screen);
    EXPECT_EQ(fits.thumbAlpha, 0);
}

struct RenderCounter {
    std::vector<int32_t> rendered;
};

void CountingRender(void* context, const ListView& list, const Screen& screen, const Font*,
                    const Font*, int32_t row, Surface& out) {
    static_cast<RenderCounter*>(context)->rendered.push_back(row);
    SizeSurface(out, uint32_t(list.textWidth), 10);
    DropSurfaceAlpha(out);
    const uint16_t colour = MakeColour(screen.layout, uint32_t(row * 20 % 256), 0, 0);
    for (uint32_t i = 0; i < out.width * out.height; ++i) out.pixels[i] = colour;
    out.pixels[0] = 0xFFFF;  // the key: the row's background
}

TEST(ListViewDraw, RowsAreRenderedOnceWhileTheyStayVisible) {
    test::TestScreen fs(480, 500);
    ASSERT_TRUE(fs.ok);
    ListView list = MakeList(100, fs.screen);
    RenderCounter counter;
    list.source.context = &counter;
    list.source.render = &CountingRender;
    ListDraw(list, fs.screen);
    EXPECT_EQ(counter.rendered, (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    counter.rendered.clear();
    ListDraw(list, fs.screen);
    EXPECT_TRUE(counter.rendered.empty());
    // Half a row down: row 10 comes in, the others are reused.
    ListScrollTo(list, -15);
    ListDraw(list, fs.screen);
    EXPECT_EQ(counter.rendered, (std::vector<int32_t>{10}));
    // A jump renders every row that came in.
    counter.rendered.clear();
    ListScrollTo(list, -600);
    ListDraw(list, fs.screen);
    EXPECT_EQ(counter.rendered.size(), 10u);
    // Row 20's text is drawn at textX, centred in its row: (30 - 10) / 2.
    const uint16_t want = MakeColour(fs.screen.layout, 20 * 20 % 256, 0, 0);
    // (Its pixel 0 is the key and is not drawn.)
    EXPECT_EQ(*ScreenPixel(fs.screen, 6, 100 + 10), 0);
    EXPECT_EQ(*ScreenPixel(fs.screen, 7, 100 + 10), want);
    EXPECT_EQ(*ScreenPixel(fs.screen, 6, 100 + 19), want);
    EXPECT_NE(*ScreenPixel(fs.screen, 6, 100 + 20), want);
}

}  // namespace
}  // namespace kra
