#include "screens/folder_browser.h"

#include <algorithm>

#include "app/base/app_state.h"
#include "app/base/debug_log.h"
#include "graphics/blit.h"
#include "graphics/skin.h"
#include "graphics/text.h"
#include "library/library.h"
#include "screens/gestures.h"
#include "screens/list_screens.h"
#include "screens/menu.h"
#include "screens/screen_router.h"
#include "screens/tab_bar.h"
#include "screens/title_bar.h"

namespace kra {

FolderBrowser g_folderBrowser;

namespace {

int Scale() {
    return UiScale();
}

int32_t ArrowZone() {
    return 40 * Scale();
}

int32_t HintHeight() {
    return 24 * Scale();
}

void RenderFolderRow(void*, const ListView& list, const Screen& screen, const Font* primary,
                     const Font* secondary, int32_t row, Surface& out) {
    const FolderBrowser& b = g_folderBrowser;
    if (row < 0 || size_t(row) >= b.entries.size()) return;
    std::u16string_view name = b.entries[size_t(row)].name;
    if (!name.empty() && name[0] == u'\\') name.remove_prefix(1);
    RenderTwoLineRow(list, screen, primary, secondary, name, {}, out);
}

const Surface* FolderIcon(void*, int32_t) {
    return &g_skin.iconFolder;
}

void SetUpList() {
    FolderBrowser& b = g_folderBrowser;
    const int s = Scale();
    const int32_t w = int32_t(g_screen.width), h = int32_t(g_screen.height);
    const int32_t top = 16 * s;
    const int32_t rowHeight = std::max<int32_t>(30 * s, int32_t(g_skin.iconFolder.height) + 2);
    const int32_t textX = std::max<int32_t>(int32_t(g_skin.iconFolder.width), 28 * s) + 8 * s;
    ListInit(b.list, g_screen, top, w, rowHeight, ArrowZone(), textX, top + 37 * s,
             MakeColour(g_screen.layout, 200, 200, 200));
    ListSetStyle(b.list, 14 * s, 14 * s, 500, 400, 0x0A0A0A, 0xFFFFFF, 0x505050, 0);
    ListSetArea(b.list, top + 40 * s, w, h - 40 * s - HintHeight(), s);
    b.list.source.render = &RenderFolderRow;
    b.list.source.icon = &FolderIcon;
    ListSetCount(b.list, int32_t(b.entries.size()));
}

void ComposeFolders(Screen& screen, uint32_t now) {
    FolderBrowser& b = g_folderBrowser;
    const int s = Scale();
    ClearScreen(screen, 255);
    ListDraw(b.list, screen);
    // The arrows of folders that have sub-folders.
    const Surface& arrow = g_skin.subButton;
    if (arrow.HasPixels()) {
        for (int32_t row = 0; row < b.list.count; ++row) {
            const int32_t y = b.list.firstRowY + row * b.list.rowHeight + b.list.position;
            if (y + b.list.rowHeight <= b.list.visibleTop) continue;
            if (y >= b.list.visibleBottom) break;
            if (!b.entries[size_t(row)].hasSubfolders) continue;
            DrawSurface(
                arrow, screen,
                int32_t(screen.width) - ArrowZone() + (ArrowZone() - int32_t(arrow.width)) / 2,
                y + (b.list.rowHeight - int32_t(arrow.height)) / 2, 0, 0, 0, 0, BlitCopy, 32);
        }
    }
    // The hint above the bottom bar.
    const int32_t hintY = int32_t(screen.height) - 40 * s - HintHeight();
    DrawStrip(g_skin.headerStrip, screen, 0, hintY, int32_t(screen.width), HintHeight(), BlitCopy,
              32);
    if (g_skin.browseHint.HasPixels())
        DrawSurface(g_skin.browseHint, screen, 0,
                    hintY + (HintHeight() - int32_t(g_skin.browseHint.height)) / 2, 0, 0, 0, 0,
                    BlitKeyed, 32);
    DrawListChrome(screen, now);
}

void EnterFolders(uint32_t now) {
    if (g_folderBrowser.list.width != int32_t(g_screen.width)) SetUpList();
    RebuildTitleBar(now);
}

void PenDownFolders(int32_t x, int32_t y, uint32_t now) {
    if (g_menu.open) {
        MenuPenDown(g_menu, x, y);
        return;
    }
    if (ListChromePenDown(x, y)) return;
    if (ListPress(g_folderBrowser.list, x, y, now)) {
        g_app.penDown = true;
        BeginDrag(g_gesture, x, y, now);
    }
}

void PenMoveFolders(int32_t x, int32_t y, uint32_t now) {
    ListView& list = g_folderBrowser.list;
    if (g_menu.open || !list.fingerDown) return;
    const uint32_t before = g_gesture.lastMoveTime;
    const int32_t lastY = g_gesture.lastY;
    TrackMove(g_gesture, x, y, now);
    ListDrag(list, x, y, double(lastY - y), now - before);
    EndMove(g_gesture, x, y);
}

// Past an end the list returns to it and the coast ends.
void ReturnIntoRange(ListView& list) {
    if (list.position > 0 || list.position < list.minPosition) {
        ListScrollTo(list, list.position);
        g_gesture.verticalTravel = 0;
        g_gesture.verticalTravelTime = 0;
    }
}

void PenUpFolders(int32_t x, int32_t y, uint32_t now) {
    if (g_menu.open) {
        MenuPenUp(g_menu, x, y);
        return;
    }
    ListView& list = g_folderBrowser.list;
    if (InMinimizeCorner(x, y, int(g_screen.width), Scale())) {
        if (list.fingerDown) ListRelease(list, x, y, true);
        g_app.penDown = false;
        if (g_screenActions.minimize) g_screenActions.minimize();
        return;
    }
    if (list.fingerDown) {
        const bool atRest = ReleasedAtRest(g_gesture);
        const bool tap = HeldLongEnough(g_gesture, now);
        const int32_t row = ListRelease(list, x, y, true);  // the coast is the gesture's
        g_app.penDown = false;
        if (atRest || row >= 0) {
            g_gesture.verticalTravel = 0;
            g_gesture.verticalTravelTime = 0;
        }
        ReturnIntoRange(list);
        if (row >= 0 && tap) ChooseFolderRow(row, x);
        ResetBottomBar(g_bottomBar);
        return;
    }
    g_app.penDown = false;
    ListChromePenUp(x, y, now);
}

void TickFolders(uint32_t) {
    ListView& list = g_folderBrowser.list;
    MenuTick(g_menu);
    if (list.fingerDown) return;
    const int step = MomentumStep(g_gesture);
    if (step == 0) return;
    ListScrollBy(list, step);
    list.overscrolled = false;
    ReturnIntoRange(list);
}

bool AnimatingFolders() {
    const ListView& list = g_folderBrowser.list;
    return list.fingerDown || (!list.fingerDown && g_gesture.verticalTravelTime != 0) ||
           list.thumbAlpha > 0 || MenuSliding(g_menu) || g_titleBar.scrolls;
}

}  // namespace

void LayoutFolderBrowser(const Screen&) {
    g_folderBrowser.list.width = -1;  // set up again on entry
}

std::u16string FolderEntryPath(const BrowseEntry& entry) {
    const std::u16string& shown = g_folderBrowser.shownFolder;
    if (shown.size() <= 1) return entry.name;
    return shown + entry.name;
}

void BrowseFolder(const std::u16string& folder) {
    FolderBrowser& b = g_folderBrowser;
    b.shownFolder = folder.empty() ? std::u16string(u"\\") : folder;
    BuildBrowseList(b.shownFolder, b.entries, b.header);
    g_gesture.verticalTravel = 0;
    g_gesture.verticalTravelTime = 0;
    SetUpList();
}

void OpenFolderBrowser() {
    FolderBrowser& b = g_folderBrowser;
    if (b.openFolder.empty()) {
        b.openFolder = g_app.workingFolder.empty() ? std::u16string(u"\\") : g_app.workingFolder;
    }
    BrowseFolder(b.openFolder);
    ShowScreen(kScreenFolders, false);
}

bool FolderBrowserAtRoot() {
    const std::u16string& shown = g_folderBrowser.shownFolder;
    return shown.size() <= 1;
}

std::u16string FolderBrowserHeader() {
    return g_folderBrowser.header;
}

void FolderBrowserUp() {
    if (FolderBrowserAtRoot()) return;
    BrowseFolder(std::u16string(FolderPart(g_folderBrowser.shownFolder)));
}

void ChooseFolderRow(int32_t row, int32_t x) {
    FolderBrowser& b = g_folderBrowser;
    if (row < 0 || size_t(row) >= b.entries.size()) return;
    const BrowseEntry entry = b.entries[size_t(row)];
    const std::u16string path = FolderEntryPath(entry);
    // Every tap remembers the folder shown as the one to open in next time.
    b.openFolder = b.shownFolder;
    if (entry.hasSubfolders && x >= int32_t(g_screen.width) - ArrowZone()) {
        BrowseFolder(path);
        RebuildTitleBar(0);
        return;
    }
    ChooseLibraryFolder(path);
}

void InstallFolderBrowser() {
    ScreenHandlers h;
    h.compose = &ComposeFolders;
    h.penDown = &PenDownFolders;
    h.penMove = &PenMoveFolders;
    h.penUp = &PenUpFolders;
    h.tick = &TickFolders;
    h.animating = &AnimatingFolders;
    h.enter = &EnterFolders;
    RegisterScreen(kScreenFolders, h);
}

void ResetFolderBrowser() {
    g_folderBrowser = FolderBrowser{};
}

}  // namespace kra
