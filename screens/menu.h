// The pop-up menu of the "More" tab: a column of buttons that slides up over
// the current screen, two button heights per 60 ms tick. While it is open
// every pen event goes to it; a press marks the button under the finger and a
// release on the same button runs its entry and closes the menu.
//
// Entries (labels from the language file): on every screen but the folder
// list "Refresh Library", "Set Library", "About", "Quit", "Cancel"; on the
// folder list "About", "Quit", "Cancel". The last entry is white on
// "buttonL", the others grey on "buttonG"; an extra half gap of the 8 px
// spacing sets the last one apart.
//
// Main thread only.
#pragma once
#include <cstdint>

#include "graphics/screen.h"
#include "graphics/surface.h"

namespace kra {

enum class MenuEntry : uint8_t { kRefreshLibrary, kSetLibrary, kAbout, kQuit, kCancel };

struct PopupMenu {
    bool open = false;
    int count = 0;
    MenuEntry entries[5] = {};
    Surface labels[5];
    Surface buttonG, buttonL;  // loaded on first use
    int32_t x = 0;
    int32_t y[5] = {};  // resting tops of the buttons
    int32_t slide = 0;  // how far below its resting place the column still is
    int32_t buttonHeight = 0, buttonWidth = 0;
    int pressed = -1;
    void (*choose)(MenuEntry entry) = nullptr;  // runs a chosen entry
};

extern PopupMenu g_menu;

// Opens the menu for `screen` (6 gives the short list) above `bottom` (the
// top of the tab bar).
void OpenMenu(PopupMenu& menu, const Screen& screen, uint8_t currentScreen, int32_t bottom,
              int scale);
void CloseMenu(PopupMenu& menu);
bool MenuSliding(const PopupMenu& menu);
// One slide step (the 60 ms tick).
void MenuTick(PopupMenu& menu);
void MenuPenDown(PopupMenu& menu, int32_t x, int32_t y);
// Runs the entry released on (through `choose`) and closes the menu; a
// release elsewhere only clears the mark. Returns the entry run, or -1.
int MenuPenUp(PopupMenu& menu, int32_t x, int32_t y);
// Shades the screen under the menu and draws the column.
void DrawMenu(const PopupMenu& menu, Screen& screen);
// The button index at (x, y) in the column's current place, or -1.
int MenuButtonAt(const PopupMenu& menu, int32_t x, int32_t y);

}  // namespace kra
