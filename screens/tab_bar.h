// The bottom button bar of the list screens: five tabs across the bottom
// (Playlists, Songs, Artists, Albums, More), 40 x scale high, each
// (width + 4 x scale) / 5 wide starting at x = -2 x scale, with the tab
// labels of the skin centred in them.
//
// Button 1 (Songs) is never pressable on screen 1. The Playlists tab is shown
// dimmed and is not pressable: the player keeps no playlists of its own.
//
// Main thread only.
#pragma once
#include <cstdint>

#include "graphics/screen.h"

namespace kra {

struct BottomButton {
    int32_t x = 0;
    int32_t width = 0;
    char visible = ' ';  // ' ' when shown, 0 when not
    bool pressed = false;
};

struct BottomBar {
    BottomButton buttons[5];
    int32_t top = 0;  // the bar spans from here to the bottom of the screen
    int32_t height = 0;
    int32_t screenWidth = 0;
};

extern BottomBar g_bottomBar;

void LayoutBottomBar(BottomBar& bar, int32_t screenWidth, int32_t screenHeight, int scale);
// Below the bar's top: clears the pressed flags (logs "ResetBotButton") and
// marks the first shown button holding the point, on `screen` (button 1 is not
// pressable on screen 1). True when the point lies in the bar.
bool BottomBarHit(BottomBar& bar, int32_t x, int32_t y, uint8_t screen);
// The pressed button when (x, y) lies inside it, else -1. Flags are kept
// (ResetBottomBar clears them).
int BottomBarRelease(const BottomBar& bar, int32_t x, int32_t y);
void ResetBottomBar(BottomBar& bar);
// The bar with its labels; the tab of `screen` is shown as the current one.
void DrawBottomBar(const BottomBar& bar, Screen& screen, uint8_t currentScreen);

}  // namespace kra
