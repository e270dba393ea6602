// The list control of the list screens: rows of one or two text lines with an
// optional icon, separators, the playing marker, the pressed tint, a fading
// scroll thumb, and kinetic scrolling with one bounce at the ends.
//
// Motion (all on the main thread; times are passed in):
//
//   press --drag (velocity += dy, scroll by dy)--> dragging
//   release, still a tap    --> the pressed row is chosen
//   release at rest         --> stands (snapped into range when pulled past an end)
//   release with velocity   --> coasting: every 60 ms tick scrolls by
//                               velocity x 200 / timeSum and decays it by 0.9
//   coasting past an end    --> velocity turns back once and the list comes to
//                               rest exactly on that end
//
// A list never rests outside its range: a zero step while past an end puts
// the list on that end.
//
// position 0 shows the first row at firstRowY; more negative positions show
// later rows. minPosition is -(content height - visible height), or 0 when
// everything fits (the list then never moves).
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

#include "graphics/screen.h"
#include "graphics/surface.h"
#include "graphics/text.h"

namespace kra {

struct ListView;

// What a list shows; the list screens fill it in. Every entry may be null.
struct ListRowSource {
    void* context = nullptr;
    // Renders row `row` (0-based) into `out`: textWidth wide, on the list's
    // background colour. Fonts are the list's, made once per repaint.
    void (*render)(void* context, const ListView& list, const Screen& screen, const Font* primary,
                   const Font* secondary, int32_t row, Surface& out) = nullptr;
    // The row's own icon, or null for the default icon. A row whose icon is
    // still loading is drawn with the default icon; `stable` is cleared while
    // a row still waits for its picture or caption (it is then redrawn).
    const Surface* (*icon)(void* context, int32_t row) = nullptr;
    // Called before drawing with the first and last visible row, so the
    // source can load what those rows need.
    void (*prepare)(void* context, int32_t firstRow, int32_t lastRow) = nullptr;
};

struct ListView {
    // Motion.
    int32_t position = 0;
    int32_t minPosition = 0;
    double velocity = 0;   // sum of the finger's vertical movements (px)
    uint32_t timeSum = 0;  // their elapsed ms
    bool overscrolled = false;
    int32_t maxStep = 0;  // the visible height

    // The press.
    bool fingerDown = false;
    int32_t pressX = 0, pressY = 0;
    uint32_t pressTime = 0;
    int32_t pressedRow = -1;
    int32_t tapSlop = 0;  // a quarter of the row height

    // Geometry (screen pixels).
    int32_t top = 0, width = 0, rowHeight = 1, rightMargin = 0, textX = 0, firstRowY = 0;
    int32_t hiddenAbove = 0;
    int32_t textWidth = 0;
    int32_t visibleTop = 0, visibleBottom = 0;

    // Style.
    int primaryHeight = 16, secondaryHeight = 14;
    int primaryWeight = 600, secondaryWeight = 400;
    uint32_t textColour = 0x0A0A0A, backColour = 0xFFFFFF;
    uint32_t secondaryColour = 0x505050, fourthColour = 0;
    uint16_t lineColour = 0;

    // Content.
    int32_t count = 0;
    int32_t playingRow = -1;
    ListRowSource source;
    const Surface* defaultIcon = nullptr;

    // Row cache: a ring of visible rows + 2 surfaces; slot k holds the row
    // cachedRow[k] (row mod ring size), -1 when empty.
    std::vector<Surface> rowCache;
    std::vector<int32_t> cachedRow;

    // Scroll thumb: x range, length (fixed when the entries are set), alpha 0..20.
    int32_t thumbX1 = 0, thumbX2 = 0;
    int32_t thumbLength = 0;
    int32_t thumbAlpha = 0;
};

// Geometry; clears the motion and the press.
void ListInit(ListView& list, const Screen& screen, int32_t top, int32_t width, int32_t rowHeight,
              int32_t rightMargin, int32_t textX, int32_t firstRowY, uint16_t lineColour);
void ListSetStyle(ListView& list, int primaryHeight, int secondaryHeight, int primaryWeight,
                  int secondaryWeight, uint32_t textColour, uint32_t backColour,
                  uint32_t secondaryColour, uint32_t fourthColour);
// The visible area [top, bottom) and the row cache size; the thumb sits in
// [width - 5 x scale, width - 1 x scale).
void ListSetArea(ListView& list, int32_t top, int32_t width, int32_t bottom, int scale);
// New entries: the range, the thumb length and the cache are reset. The
// position is kept inside the new range.
void ListSetCount(ListView& list, int32_t count);
// Forgets the rendered rows (their text changed).
void ListInvalidateRows(ListView& list);

int32_t ListVisibleHeight(const ListView& list);
int32_t ListContentHeight(const ListView& list);
// The row under screen y, or -1 (outside the rows or the visible area).
int32_t ListRowAt(const ListView& list, int32_t y);
// True while the finger is down or a fling coasts.
bool ListMoving(const ListView& list);

// A press at (x, y): taken when it lies in the visible area. Stops a coast.
bool ListPress(ListView& list, int32_t x, int32_t y, uint32_t now);
// A finger move of dy (positive: finger moved up, later rows come in) that
// took elapsedMs.
void ListDrag(ListView& list, int32_t x, int32_t y, double dy, uint32_t elapsedMs);
// Ends the press. Returns the chosen row, or -1 when the press moved too far
// (the fling then goes on in ListTick). With `atRest` the finger stood still
// before lifting: the list stops, inside its range.
int32_t ListRelease(ListView& list, int32_t x, int32_t y, bool atRest);
// The 60 ms motion tick.
void ListTick(ListView& list);
void ListScrollBy(ListView& list, int32_t step);
// Puts the list at the given position (clamped to the range) and stops it.
void ListScrollTo(ListView& list, int32_t position);
// Scrolls so that `row` is visible, near the top.
void ListShowRow(ListView& list, int32_t row);

// Draws the rows, separators, playing marker, pressed tint and thumb into
// the back buffer (the area below visibleTop; chrome is drawn over it).
// Updates the thumb's alpha.
void ListDraw(ListView& list, Screen& screen);

// Helper for row sources: primary line over an optional secondary line, each
// one line cut with "...", into textWidth x rowHeight - 2 on the background.
void RenderTwoLineRow(const ListView& list, const Screen& screen, const Font* primary,
                      const Font* secondary, std::u16string_view first, std::u16string_view second,
                      Surface& out);

}  // namespace kra
