#include "screens/tab_bar.h"

#include "app/base/debug_log.h"
#include "graphics/blit.h"
#include "graphics/skin.h"

namespace kra {

BottomBar g_bottomBar;

namespace {

constexpr int kPlaylistsTab = 0;
constexpr uint32_t kDimmedLabelAlpha = 12;
constexpr uint32_t kCurrentTint = 10;
constexpr uint32_t kPressedTint = 18;

// The tab of the current screen (screen 1 is Songs, 2 Artists, 3 Albums).
int CurrentTab(uint8_t screen) {
    return screen >= 1 && screen <= 3 ? int(screen) : -1;
}

}  // namespace

void LayoutBottomBar(BottomBar& bar, int32_t screenWidth, int32_t screenHeight, int scale) {
    bar.height = 40 * scale;
    bar.top = screenHeight - bar.height;
    bar.screenWidth = screenWidth;
    const int32_t width = (screenWidth + 4 * scale) / 5;
    for (int i = 0; i < 5; ++i) {
        BottomButton& b = bar.buttons[i];
        b.x = -2 * scale + i * width;
        b.width = width;
        b.visible = i == kPlaylistsTab ? 0 : ' ';
        b.pressed = false;
    }
}

bool BottomBarHit(BottomBar& bar, int32_t x, int32_t y, uint8_t screen) {
    if (y < bar.top) return false;
    ResetBottomBar(bar);
    for (int i = 0; i < 5; ++i) {
        BottomButton& b = bar.buttons[i];
        if (b.visible != ' ' || x < b.x || x >= b.x + b.width) continue;
        if (i == 1 && screen == 1) break;
        b.pressed = true;
        break;
    }
    return true;
}

int BottomBarRelease(const BottomBar& bar, int32_t x, int32_t y) {
    if (y < bar.top) return -1;
    for (int i = 0; i < 5; ++i) {
        const BottomButton& b = bar.buttons[i];
        if (b.pressed && x >= b.x && x < b.x + b.width) return i;
    }
    return -1;
}

void ResetBottomBar(BottomBar& bar) {
    KRA_LOG("ResetBotButton");
    for (BottomButton& b : bar.buttons) b.pressed = false;
}

void DrawBottomBar(const BottomBar& bar, Screen& screen, uint8_t currentScreen) {
    DrawStrip(g_skin.headerStrip, screen, 0, bar.top, bar.screenWidth, bar.height, BlitCopy, 32);
    const int current = CurrentTab(currentScreen);
    for (int i = 0; i < 5; ++i) {
        const BottomButton& b = bar.buttons[i];
        if (i == current || b.pressed) {
            const Brush* previous = SelectBrush(screen, &g_skin.highlightBlue);
            FillRect(screen, b.x + 1, bar.top, b.x + b.width - 1, bar.top + bar.height,
                     b.pressed ? kPressedTint : kCurrentTint, screen.orientation);
            if (previous) SelectBrush(screen, previous);
        }
        const Surface& label = g_skin.tabLabels[i];
        if (!label.HasPixels()) continue;
        const uint32_t alpha =
            b.visible == ' ' ? (g_skin.tabAlpha[i] ? g_skin.tabAlpha[i] : 32) : kDimmedLabelAlpha;
        DrawSurface(label, screen, b.x + (b.width - int32_t(label.width)) / 2,
                    bar.top + (bar.height - int32_t(label.height)) / 2, 0, 0, 0, 0, BlitKeyed,
                    alpha);
    }
}

}  // namespace kra
