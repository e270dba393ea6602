#include "screens/menu.h"

#include <algorithm>

#include "graphics/blit.h"
#include "graphics/image.h"
#include "graphics/lang.h"
#include "graphics/skin.h"
#include "graphics/text.h"

namespace kra {

PopupMenu g_menu;

namespace {

constexpr uint32_t kShade = 14;

const std::u16string& Label(MenuEntry entry) {
    switch (entry) {
        case MenuEntry::kRefreshLibrary:
            return g_lang.refreshLibrary;
        case MenuEntry::kSetLibrary:
            return g_lang.setLibrary;
        case MenuEntry::kAbout:
            return g_lang.about;
        case MenuEntry::kQuit:
            return g_lang.quit;
        case MenuEntry::kCancel:
            break;
    }
    return g_lang.cancel;
}

const char16_t* DefaultLabel(MenuEntry entry) {
    switch (entry) {
        case MenuEntry::kRefreshLibrary:
            return u"Refresh Library";
        case MenuEntry::kSetLibrary:
            return u"Set Library";
        case MenuEntry::kAbout:
            return u"About";
        case MenuEntry::kQuit:
            return u"Quit";
        case MenuEntry::kCancel:
            break;
    }
    return u"Cancel";
}

const Surface& ButtonImage(const PopupMenu& menu, int i) {
    return i == menu.count - 1 ? menu.buttonL : menu.buttonG;
}

}  // namespace

void OpenMenu(PopupMenu& menu, const Screen& screen, uint8_t currentScreen, int32_t bottom,
              int scale) {
    if (!menu.buttonG.HasPixels())
        LoadImage(menu.buttonG, screen, SkinImagePath(u"buttonG"), kScaleNatural, 0, 0);
    if (!menu.buttonL.HasPixels())
        LoadImage(menu.buttonL, screen, SkinImagePath(u"buttonL"), kScaleNatural, 0, 0);
    if (currentScreen == 6) {
        menu.count = 3;
        menu.entries[0] = MenuEntry::kAbout;
        menu.entries[1] = MenuEntry::kQuit;
        menu.entries[2] = MenuEntry::kCancel;
    } else {
        menu.count = 5;
        for (int i = 0; i < 5; ++i) menu.entries[i] = MenuEntry(i);
    }
    const int32_t gap = 8 * scale;
    // Without the skin's buttons the menu still works with plain bars.
    menu.buttonWidth = int32_t(std::max(menu.buttonG.width, menu.buttonL.width));
    menu.buttonHeight = int32_t(std::max(menu.buttonG.height, menu.buttonL.height));
    if (menu.buttonWidth == 0) menu.buttonWidth = int32_t(screen.width) - 40 * scale;
    if (menu.buttonHeight == 0) menu.buttonHeight = 44 * scale;
    menu.x = (int32_t(screen.width) - menu.buttonWidth) / 2;
    int32_t y = bottom - gap - menu.buttonHeight;
    for (int i = menu.count - 1; i >= 0; --i) {
        menu.y[i] = y;
        y -= menu.buttonHeight + gap;
        if (i == menu.count - 1) y -= gap / 2;
    }
    for (int i = 0; i < menu.count; ++i) {
        const std::u16string& text = Label(menu.entries[i]);
        const uint32_t colour = i == menu.count - 1 ? kTextWhite : kTextLightGrey;
        if (!RenderText(menu.labels[i], screen, 16 * scale, 600, colour,
                        text.empty() ? std::u16string_view(DefaultLabel(menu.entries[i])) : text,
                        kTextSingleLine | kTextNoPrefix, 0, 0, 0, kTextBlack))
            ResetSurface(menu.labels[i], false);
    }
    menu.slide = bottom - menu.y[0];
    menu.pressed = -1;
    menu.open = true;
}

void CloseMenu(PopupMenu& menu) {
    menu.open = false;
    menu.pressed = -1;
    menu.slide = 0;
}

bool MenuSliding(const PopupMenu& menu) {
    return menu.open && menu.slide > 0;
}

void MenuTick(PopupMenu& menu) {
    if (!MenuSliding(menu)) return;
    menu.slide = std::max(menu.slide - 2 * menu.buttonHeight, 0);
}

int MenuButtonAt(const PopupMenu& menu, int32_t x, int32_t y) {
    if (!menu.open || x < menu.x || x >= menu.x + menu.buttonWidth) return -1;
    for (int i = 0; i < menu.count; ++i) {
        const int32_t top = menu.y[i] + menu.slide;
        if (y >= top && y < top + menu.buttonHeight) return i;
    }
    return -1;
}

void MenuPenDown(PopupMenu& menu, int32_t x, int32_t y) {
    menu.pressed = MenuButtonAt(menu, x, y);
}

int MenuPenUp(PopupMenu& menu, int32_t x, int32_t y) {
    const int pressed = menu.pressed;
    menu.pressed = -1;
    if (pressed < 0 || MenuButtonAt(menu, x, y) != pressed) return -1;
    const MenuEntry entry = menu.entries[pressed];
    CloseMenu(menu);
    if (menu.choose) menu.choose(entry);
    return int(entry);
}

void DrawMenu(const PopupMenu& menu, Screen& screen) {
    if (!menu.open) return;
    const Brush* previous = SelectBrush(screen, &g_skin.black);
    FillRect(screen, 0, 0, int32_t(screen.width), int32_t(screen.height), kShade,
             screen.orientation);
    for (int i = 0; i < menu.count; ++i) {
        const int32_t top = menu.y[i] + menu.slide;
        const Surface& image = ButtonImage(menu, i);
        if (image.HasPixels()) {
            DrawSurface(image, screen, menu.x, top, 0, 0, 0, 0, BlitCopy, 32);
        } else {
            FillRect(screen, menu.x, top, menu.x + menu.buttonWidth, top + menu.buttonHeight, 28,
                     screen.orientation);
        }
        if (i == menu.pressed) {
            SelectBrush(screen, &g_skin.highlightBlue);
            FillRect(screen, menu.x, top, menu.x + menu.buttonWidth, top + menu.buttonHeight, 14,
                     screen.orientation);
            SelectBrush(screen, &g_skin.black);
        }
        const Surface& label = menu.labels[i];
        if (label.HasPixels())
            DrawSurface(label, screen, menu.x + (menu.buttonWidth - int32_t(label.width)) / 2,
                        top + (menu.buttonHeight - int32_t(label.height)) / 2, 0, 0, 0, 0,
                        BlitKeyed, 32);
    }
    if (previous) SelectBrush(screen, previous);
}

}  // namespace kra
