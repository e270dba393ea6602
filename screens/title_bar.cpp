#include "screens/title_bar.h"

#include <algorithm>

#include "graphics/blit.h"
#include "graphics/skin.h"
#include "graphics/text.h"

namespace kra {

TitleBar g_titleBar;

namespace {

int32_t Width(const Surface* s) {
    return s && s->HasPixels() ? int32_t(s->width) : 0;
}
int32_t Height(const Surface* s) {
    return s && s->HasPixels() ? int32_t(s->height) : 0;
}
bool Present(const Surface* s) {
    return s && s->HasPixels();
}

bool Inside(int32_t x, int32_t y, int32_t bx, int32_t by, const Surface* s) {
    return Present(s) && x >= bx && x < bx + Width(s) && y >= by && y < by + Height(s);
}

// Draws the columns of `label` that fall inside [clipX1, clipX2), keyed.
void DrawClipped(const Surface& label, Screen& screen, int32_t x, int32_t y, int32_t clipX1,
                 int32_t clipX2) {
    const int32_t from = std::max(x, clipX1);
    const int32_t to = std::min(x + int32_t(label.width), clipX2);
    if (from >= to) return;
    DrawSurface(label, screen, from, y, to - from, int32_t(label.height), from - x, 0, BlitKeyed,
                32);
}

void PlaceTitle(TitleBar& bar) {
    const int32_t w = int32_t(bar.title.width);
    bar.titleY = bar.y + (bar.height - int32_t(bar.title.height)) / 2;
    bar.scrolls = w > bar.textWidth;
    if (bar.scrolls) {
        bar.titleX = bar.textX;
        return;
    }
    int32_t x = (bar.screenWidth - w) / 2;
    const int32_t leftLimit =
        Present(bar.left) ? bar.leftX + Width(bar.left) + bar.margin : bar.margin;
    const int32_t rightLimit =
        Present(bar.right) ? bar.rightX - bar.margin : bar.screenWidth - bar.margin;
    if (x < leftLimit) {
        x = leftLimit;
    } else if (x + w > rightLimit) {
        x = rightLimit - w;
    }
    bar.titleX = x;
}

}  // namespace

void TitleBarLayout(TitleBar& bar, int32_t screenWidth, int scale) {
    bar.screenWidth = screenWidth;
    bar.scale = scale;
    bar.y = 16 * scale;
    bar.height = 36 * scale;
    bar.margin = 2 * scale;
    TitleBarSetButtons(bar, bar.left, bar.right);
}

void TitleBarSetButtons(TitleBar& bar, const Surface* left, const Surface* right) {
    bar.left = Present(left) ? left : nullptr;
    bar.right = Present(right) ? right : nullptr;
    bar.leftX = 0;
    bar.leftY = bar.y + (bar.height - Height(bar.left)) / 2;
    bar.rightX = bar.screenWidth - Width(bar.right);
    bar.rightY = bar.y + (bar.height - Height(bar.right)) / 2;
    bar.leftPressed = bar.rightPressed = false;
    bar.textX = bar.left ? bar.margin + Width(bar.left) : 0;
    int32_t width = bar.screenWidth;
    if (bar.left) width -= bar.margin + Width(bar.left);
    if (bar.right) width -= bar.margin + Width(bar.right);
    bar.textWidth = std::max(width, 0);
    if (bar.title.HasPixels()) PlaceTitle(bar);
}

void TitleBarSetTitle(TitleBar& bar, const Screen& screen, std::u16string_view text, int height,
                      int weight, uint32_t colour, uint32_t now) {
    if (!RenderText(bar.title, screen, height, weight, colour, text,
                    kTextSingleLine | kTextNoPrefix, 0, 0, 0, 0x000000))
        ResetSurface(bar.title, false);
    bar.scrollStart = now;
    PlaceTitle(bar);
}

int32_t TitleBarScrollOffset(const TitleBar& bar, uint32_t now) {
    const int32_t period = int32_t(bar.title.width) + bar.textWidth / 5;
    if (period <= 0) return 0;
    // 0.4 x scale px per 60 ms.
    const uint64_t steps = uint64_t(now - bar.scrollStart) / 60;
    const uint64_t offset = steps * uint64_t(4 * bar.scale) / 10;
    return int32_t(offset % uint64_t(period));
}

void TitleBarDraw(TitleBar& bar, Screen& screen, uint32_t now) {
    DrawStrip(g_skin.headerStrip, screen, 0, bar.y, bar.screenWidth, bar.height, BlitBlend, 32);
    if (bar.title.HasPixels()) {
        if (bar.scrolls) {
            const int32_t period = int32_t(bar.title.width) + bar.textWidth / 5;
            const int32_t x = bar.textX - TitleBarScrollOffset(bar, now);
            DrawClipped(bar.title, screen, x, bar.titleY, bar.textX, bar.textX + bar.textWidth);
            DrawClipped(bar.title, screen, x + period, bar.titleY, bar.textX,
                        bar.textX + bar.textWidth);
        } else {
            DrawSurface(bar.title, screen, bar.titleX, bar.titleY, 0, 0, 0, 0, BlitKeyed, 32);
        }
    }
    auto button = [&](const Surface* image, int32_t x, int32_t y, bool pressed) {
        if (!image) return;
        DrawSurface(*image, screen, x, y, 0, 0, 0, 0, BlitCopy, 32);
        if (pressed && g_skin.pressed.HasPixels()) {
            const Surface& p = g_skin.pressed;
            DrawSurface(p, screen, x + (Width(image) - int32_t(p.width)) / 2,
                        y + (Height(image) - int32_t(p.height)) / 2, 0, 0, 0, 0, BlitKeyed, 30);
        }
    };
    button(bar.left, bar.leftX, bar.leftY, bar.leftPressed);
    button(bar.right, bar.rightX, bar.rightY, bar.rightPressed);
}

int TitleBarHit(TitleBar& bar, int32_t x, int32_t y) {
    if (Inside(x, y, bar.leftX, bar.leftY, bar.left)) {
        bar.leftPressed = true;
        return 1;
    }
    if (Inside(x, y, bar.rightX, bar.rightY, bar.right)) {
        bar.rightPressed = true;
        return 2;
    }
    return 0;
}

int TitleBarRelease(TitleBar& bar, int32_t x, int32_t y) {
    int result = 0;
    if (bar.leftPressed && Inside(x, y, bar.leftX, bar.leftY, bar.left)) result = 1;
    if (bar.rightPressed && Inside(x, y, bar.rightX, bar.rightY, bar.right)) result = 2;
    bar.leftPressed = bar.rightPressed = false;
    return result;
}

}  // namespace kra
