// The title bar of the list screens: a bar directly under the status bar with
// an optional button at each end (a labelled back button at the left, the
// "Now Playing" button at the right) and a title that stands centred in the
// space between them, or scrolls when it is wider than that space.
//
// Main thread only. Positions are screen pixels; the bar is laid out for a
// screen width and UiScale by TitleBarLayout.
#pragma once
#include <cstdint>
#include <string_view>

#include "graphics/screen.h"
#include "graphics/surface.h"

namespace kra {

struct TitleBar {
    int32_t screenWidth = 0;
    int32_t y = 0;       // 16 x scale: under the status bar
    int32_t height = 0;  // 36 x scale
    int32_t margin = 0;  // 2 x scale
    int scale = 1;
    // The buttons (images owned by the skin); null when absent.
    const Surface* left = nullptr;
    const Surface* right = nullptr;
    int32_t leftX = 0, leftY = 0, rightX = 0, rightY = 0;
    bool leftPressed = false, rightPressed = false;
    // The text area between the buttons.
    int32_t textX = 0, textWidth = 0;
    // The title label.
    Surface title;
    int32_t titleX = 0, titleY = 0;
    bool scrolls = false;
    uint32_t scrollStart = 0;  // tick at which the scroll began
};

extern TitleBar g_titleBar;

void TitleBarLayout(TitleBar& bar, int32_t screenWidth, int scale);
// Either button may be null. Recomputes the text area (the title keeps its
// text; call TitleBarSetTitle again to place it).
void TitleBarSetButtons(TitleBar& bar, const Surface* left, const Surface* right);
// Renders and places the title (height and weight of the font, colour
// 0xRRGGBB); `now` starts the scroll of a label wider than the text area.
void TitleBarSetTitle(TitleBar& bar, const Screen& screen, std::u16string_view text, int height,
                      int weight, uint32_t colour, uint32_t now);
// The backdrop strip, the title and the buttons with their pressed highlight.
void TitleBarDraw(TitleBar& bar, Screen& screen, uint32_t now);
// 1 (left button, marked pressed), 2 (right button, marked) or 0.
int TitleBarHit(TitleBar& bar, int32_t x, int32_t y);
// 1 when the left button was pressed and (x, y) lies in it, 2 likewise for
// the right one (2 wins), else 0. Both marks are cleared.
int TitleBarRelease(TitleBar& bar, int32_t x, int32_t y);
// The x offset of a scrolling title at `now` (0.4 x scale px per 60 ms,
// wrapping after the label width plus a fifth of the text area).
int32_t TitleBarScrollOffset(const TitleBar& bar, uint32_t now);

}  // namespace kra
