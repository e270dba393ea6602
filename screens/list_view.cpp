#include "screens/list_view.h"

#include <algorithm>
#include <cmath>

#include "graphics/blit.h"
#include "graphics/skin.h"

namespace kra {

namespace {

constexpr double kFlingDecay = 0.9;
constexpr int32_t kThumbAlphaMax = 20;
constexpr int32_t kThumbAlphaRise = 4;
constexpr uint32_t kPressedTint = 18;

int32_t FloorDiv(int32_t a, int32_t b) {
    int32_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

// A step from a velocity; a fling cannot move more than a 32-bit step however
// the velocity grew.
int32_t TruncStep(double raw) {
    if (!(std::fabs(raw) < 2147483647.0)) return raw < 0 ? -2147483647 : 2147483647;
    return int32_t(raw);
}

void StopMotion(ListView& list) {
    list.velocity = 0;
    list.timeSum = 0;
    list.overscrolled = false;
}

bool InRange(const ListView& list) {
    return list.position >= list.minPosition && list.position <= 0;
}

// A list never rests outside its range: it is put on the end it passed.
void SnapIntoRange(ListView& list) {
    list.position = std::clamp(list.position, list.minPosition, 0);
    list.overscrolled = false;
}

void UpdateRange(ListView& list) {
    const int32_t visible = ListVisibleHeight(list);
    const int32_t content = ListContentHeight(list);
    list.minPosition = content > visible ? -(content - visible) : 0;
    list.maxStep = visible;
    const int32_t rowsVisible = list.rowHeight > 0 ? visible / list.rowHeight : 0;
    list.thumbLength = (content > 0 && list.count >= rowsVisible + 1)
                           ? int32_t(int64_t(visible) * visible / content)
                           : 0;
    if (list.minPosition == 0) list.position = 0;
    list.position = std::clamp(list.position, list.minPosition, 0);
}

uint32_t Rgb(const Screen& screen, uint32_t colour) {
    return MakeColour(screen.layout, (colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF);
}

}  // namespace

void ListInit(ListView& list, const Screen&, int32_t top, int32_t width, int32_t rowHeight,
              int32_t rightMargin, int32_t textX, int32_t firstRowY, uint16_t lineColour) {
    list.top = top;
    list.width = width;
    list.rowHeight = std::max(rowHeight, 1);
    list.rightMargin = rightMargin;
    list.textX = textX;
    list.firstRowY = firstRowY;
    list.lineColour = lineColour;
    list.tapSlop = list.rowHeight / 4;
    list.hiddenAbove = std::max(firstRowY - list.rowHeight, 0);
    list.textWidth = std::max(width - rightMargin - textX, 1);
    list.position = 0;
    StopMotion(list);
    list.fingerDown = false;
    list.pressedRow = -1;
    ListInvalidateRows(list);
}

void ListSetStyle(ListView& list, int primaryHeight, int secondaryHeight, int primaryWeight,
                  int secondaryWeight, uint32_t textColour, uint32_t backColour,
                  uint32_t secondaryColour, uint32_t fourthColour) {
    list.primaryHeight = primaryHeight;
    list.secondaryHeight = secondaryHeight;
    list.primaryWeight = primaryWeight;
    list.secondaryWeight = secondaryWeight;
    list.textColour = textColour;
    list.backColour = backColour;
    list.secondaryColour = secondaryColour;
    list.fourthColour = fourthColour;
    ListInvalidateRows(list);
}

void ListSetArea(ListView& list, int32_t top, int32_t width, int32_t bottom, int scale) {
    list.visibleTop = top;
    list.visibleBottom = std::max(bottom, top);
    list.width = width;
    list.thumbX1 = width - 5 * scale;
    list.thumbX2 = width - 1 * scale;
    const size_t slots = size_t(ListVisibleHeight(list) / list.rowHeight + 2);
    list.rowCache.clear();
    list.rowCache.resize(slots);
    list.cachedRow.assign(slots, -1);
    UpdateRange(list);
}

void ListSetCount(ListView& list, int32_t count) {
    list.count = std::max(count, 0);
    if (list.playingRow >= list.count) list.playingRow = -1;
    if (list.pressedRow >= list.count) list.pressedRow = -1;
    UpdateRange(list);
    ListInvalidateRows(list);
}

void ListInvalidateRows(ListView& list) {
    std::fill(list.cachedRow.begin(), list.cachedRow.end(), -1);
}

int32_t ListVisibleHeight(const ListView& list) {
    return list.visibleBottom - list.visibleTop;
}

int32_t ListContentHeight(const ListView& list) {
    return int32_t(std::min<int64_t>(int64_t(list.count) * list.rowHeight, INT32_MAX / 2));
}

int32_t ListRowAt(const ListView& list, int32_t y) {
    if (y < list.visibleTop || y >= list.visibleBottom) return -1;
    const int32_t row = FloorDiv(y - list.firstRowY - list.position, list.rowHeight);
    return row >= 0 && row < list.count ? row : -1;
}

bool ListMoving(const ListView& list) {
    return list.fingerDown || list.velocity != 0;
}

bool ListPress(ListView& list, int32_t x, int32_t y, uint32_t now) {
    if (x < 0 || x >= list.width || y < list.visibleTop || y >= list.visibleBottom) return false;
    list.fingerDown = true;
    list.pressX = x;
    list.pressY = y;
    list.pressTime = now;
    list.velocity = 0;
    list.timeSum = 0;
    list.pressedRow = ListRowAt(list, y);
    return true;
}

void ListDrag(ListView& list, int32_t x, int32_t y, double dy, uint32_t elapsedMs) {
    if (!list.fingerDown) return;
    list.velocity += dy;
    list.timeSum += elapsedMs;
    ListScrollBy(list, TruncStep(dy));
    if (std::abs(x - list.pressX) > list.tapSlop || std::abs(y - list.pressY) > list.tapSlop)
        list.pressedRow = -1;
}

int32_t ListRelease(ListView& list, int32_t, int32_t, bool atRest) {
    if (!list.fingerDown) return -1;
    list.fingerDown = false;
    const int32_t chosen = list.pressedRow;
    list.pressedRow = -1;
    if (chosen >= 0 || atRest || list.timeSum == 0) {
        StopMotion(list);
        SnapIntoRange(list);
        return chosen;
    }
    // Released past an end while moving: the fling heads back into range, so
    // that it stops on the end it passed (it must not run on outward).
    if (!InRange(list)) {
        list.overscrolled = true;
        if ((list.position > 0 && list.velocity < 0) ||
            (list.position < list.minPosition && list.velocity > 0))
            list.velocity = -list.velocity;
    }
    return -1;
}

void ListTick(ListView& list) {
    if (list.fingerDown || list.velocity == 0) return;
    if (list.timeSum == 0) return;
    const int32_t step = TruncStep(list.velocity * 200.0 / double(list.timeSum));
    if (step == 0) {
        StopMotion(list);
        SnapIntoRange(list);
        return;
    }
    ListScrollBy(list, step);
    list.velocity *= kFlingDecay;
}

void ListScrollBy(ListView& list, int32_t step) {
    if (list.minPosition == 0) return;
    const int32_t clamped = std::clamp(step, -list.maxStep, list.maxStep);
    list.position -= clamped;
    if (list.overscrolled && !list.fingerDown) {
        if (list.velocity > 0 && list.position < 0) {
            list.position = 0;
            StopMotion(list);
        } else if (list.velocity < 0 && list.position > list.minPosition) {
            list.position = list.minPosition;
            StopMotion(list);
        }
        return;
    }
    if (InRange(list)) {
        list.overscrolled = false;
    } else {
        list.overscrolled = true;
        if (!list.fingerDown) list.velocity = -list.velocity;
    }
}

void ListScrollTo(ListView& list, int32_t position) {
    StopMotion(list);
    list.position = std::clamp(position, list.minPosition, 0);
}

void ListShowRow(ListView& list, int32_t row) {
    if (row < 0 || row >= list.count) return;
    const int32_t rowTop = list.firstRowY + row * list.rowHeight + list.position;
    if (rowTop >= list.visibleTop && rowTop + list.rowHeight <= list.visibleBottom) return;
    ListScrollTo(list, -(row * list.rowHeight) + (list.visibleTop - list.firstRowY));
}

void ListDraw(ListView& list, Screen& screen) {
    const int32_t rh = list.rowHeight;
    if (list.count > 0 && !list.rowCache.empty()) {
        const int32_t first =
            std::max(0, FloorDiv(list.visibleTop - list.firstRowY - list.position, rh));
        const int32_t last = std::min(
            list.count - 1, FloorDiv(list.visibleBottom - 1 - list.firstRowY - list.position, rh));
        if (list.source.prepare && first <= last)
            list.source.prepare(list.source.context, first, last);
        Font* primary = nullptr;
        Font* secondary = nullptr;
        bool fontsMade = false;
        const int32_t slots = int32_t(list.rowCache.size());
        for (int32_t row = first; row <= last; ++row) {
            const int32_t y = list.firstRowY + row * rh + list.position;
            const size_t slot = size_t(row % slots);
            Surface& text = list.rowCache[slot];
            if (list.cachedRow[slot] != row) {
                if (!fontsMade) {
                    primary = MakeFont(list.primaryHeight, list.primaryWeight);
                    secondary = MakeFont(list.secondaryHeight, list.secondaryWeight);
                    fontsMade = true;
                }
                ResetSurface(text, false);
                if (list.source.render)
                    list.source.render(list.source.context, list, screen, primary, secondary, row,
                                       text);
                list.cachedRow[slot] = row;
            }
            const Surface* icon =
                list.source.icon ? list.source.icon(list.source.context, row) : nullptr;
            if (icon == nullptr) icon = list.defaultIcon;
            // An icon never reaches into the text or the next row (a cached
            // thumbnail may have been made for another screen density).
            if (icon && icon->HasPixels()) {
                const int32_t w = std::min(int32_t(icon->width), std::max(list.textX, 1));
                const int32_t h = std::min(int32_t(icon->height), rh - 1);
                DrawSurface(*icon, screen, 0, y + 1, w, h, 0, 0, BlitCopy, 32);
            }
            // Keyed: the rows' text carries its background in pixel 0, and the
            // renderer's white may differ from the list's by a unit of green.
            if (text.HasPixels())
                DrawSurface(text, screen, list.textX, y + (rh - int32_t(text.height)) / 2, 0, 0, 0,
                            0, BlitKeyed, 32);
            if (y + rh > list.hiddenAbove)
                DrawLine(screen, 0, y + rh - 1, list.width, y + rh - 1, screen.orientation,
                         list.lineColour, 32);
            if (row == list.playingRow && g_skin.playing.HasPixels()) {
                const Surface& marker = g_skin.playing;
                DrawSurface(marker, screen, list.thumbX1 - int32_t(marker.width),
                            y + (rh - int32_t(marker.height)) / 2, 0, 0, 0, 0, BlitKeyed, 32);
            }
            if (row == list.pressedRow) {
                const Brush* previous = SelectBrush(screen, &g_skin.highlightBlue);
                FillRect(screen, 0, std::max(y, list.visibleTop), list.width, y + rh, kPressedTint,
                         screen.orientation);
                if (previous) SelectBrush(screen, previous);
            }
        }
        if (fontsMade) {
            DeleteFont(primary);
            DeleteFont(secondary);
        }
    }
    // The thumb fades in while the list moves and out at rest.
    if (list.thumbLength > 0) {
        list.thumbAlpha = ListMoving(list)
                              ? std::min(list.thumbAlpha + kThumbAlphaRise, kThumbAlphaMax)
                              : std::max(list.thumbAlpha - 1, 0);
        if (list.thumbAlpha > 0) {
            const int32_t visible = ListVisibleHeight(list);
            const int32_t content = ListContentHeight(list);
            const int32_t y = list.visibleTop - int32_t(int64_t(visible) * list.position / content);
            const Brush* previous = SelectBrush(screen, &g_skin.black);
            FillRect(screen, list.thumbX1, y, list.thumbX2, y + list.thumbLength,
                     uint32_t(list.thumbAlpha), screen.orientation);
            if (previous) SelectBrush(screen, previous);
        }
    } else {
        list.thumbAlpha = 0;
    }
}

void RenderTwoLineRow(const ListView& list, const Screen& screen, const Font* primary,
                      const Font* secondary, std::u16string_view first, std::u16string_view second,
                      Surface& out) {
    constexpr uint32_t kFormat = kTextSingleLine | kTextWordEllipsis | kTextNoPrefix;
    const int width = list.textWidth;
    Surface a, b;
    if (!RenderTextWithFont(a, screen, primary, list.textColour, first, kFormat, width,
                            list.primaryHeight + 2, 0, list.backColour))
        ResetSurface(a, false);
    if (second.empty() ||
        !RenderTextWithFont(b, screen, secondary, list.secondaryColour, second, kFormat, width,
                            list.secondaryHeight + 2, 0, list.backColour))
        ResetSurface(b, false);
    const uint32_t h = a.height + b.height;
    if (h == 0 || !SizeSurface(out, uint32_t(width), h)) return;
    DropSurfaceAlpha(out);
    const uint16_t back = uint16_t(Rgb(screen, list.backColour));
    std::fill(out.pixels, out.pixels + size_t(out.width) * out.height, back);
    if (a.HasPixels()) BlendSurface(out, screen, a, 0, 0, 0, 0, 0, 0, BlitCopy, 32);
    if (b.HasPixels()) BlendSurface(out, screen, b, 0, int32_t(a.height), 0, 0, 0, 0, BlitCopy, 32);
}

}  // namespace kra
