#include "screens/about.h"

#include <algorithm>
#include <cmath>

#include "app/base/app_state.h"
#include "app/base/debug_log.h"
#include "app/base/text.h"
#include "graphics/blit.h"
#include "graphics/image.h"
#include "graphics/lang.h"
#include "graphics/skin.h"
#include "graphics/text.h"
#include "library/library.h"
#include "platform/files.h"
#include "platform/web_page.h"
#include "screens/gestures.h"
#include "screens/screen_router.h"

namespace kra {

#ifndef KRA_PROJECT_URL
#define KRA_PROJECT_URL ""
#endif

std::string ProjectPage() {
    if (KRA_PROJECT_URL[0] != '\0') return KRA_PROJECT_URL;
    const std::u16string skin = platform::DefaultSkinFolder();
    for (const std::u16string& readme :
         {ChildPath(skin, u"README.md"), ChildPath(FolderPart(FolderPart(skin)), u"README.md")}) {
        if (platform::FileExists(readme)) return platform::ToPosixPath(readme);
    }
    return {};
}

AboutPage g_about;

namespace {

constexpr double kFlingDecay = 0.9;
constexpr uint32_t kTitleColour = 0x4088B8;  // (64, 136, 184)

constexpr char16_t kLicence[] =
    u"KRA is free software. You may use it, study how it works, share it and change it, "
    u"under the terms of the licence that comes with its source code.";
constexpr char16_t kDisclaimer[] =
    u"KRA comes with no warranty, as far as the law allows. It writes small cache files "
    u"(kra1.tag, kra2.tag, kra3.tag and folder.jpg) into the album folders of your music "
    u"library and keeps its lists in its own folder. Keep a copy of any music that matters "
    u"to you.";

int32_t Trunc(double value) {
    if (!(std::fabs(value) < 2147483647.0)) return value < 0 ? -2147483647 : 2147483647;
    return int32_t(value);
}

void StopMotion(AboutPage& about) {
    about.velocity = 0;
    about.time = 0;
    about.outOfRange = false;
}

bool InButton(const AboutPage& about, int32_t x, int32_t y, int32_t bx, int32_t by) {
    if (about.buttonWidth <= 0 || about.buttonHeight <= 0) return false;
    const int32_t top = by + about.offset;
    return x >= bx && x < bx + about.buttonWidth && y >= top && y < top + about.buttonHeight;
}

// Renders `text` onto the page at (x, y) keyed, so the white page shows
// between the glyphs.
void PutText(Surface& page, const Screen& screen, const Surface& label, int32_t x, int32_t y) {
    if (label.HasPixels()) BlendSurface(page, screen, label, x, y, 0, 0, 0, 0, BlitKeyed, 32);
}

// ---- Screen 7's handlers ----

void ComposeAbout(Screen& screen, uint32_t) {
    DrawAbout(g_about, screen);
    if (g_screenActions.drawStatusBar) {
        g_screenActions.drawStatusBar(screen, 0);
    } else {
        DrawStrip(g_skin.statusStrip, screen, 0, 0, int32_t(screen.width), 0, BlitCopy, 32);
    }
}

void PenDownAbout(int32_t x, int32_t y, uint32_t now) {
    if (AboutPenDown(g_about, x, y, now)) {
        KRA_LOG("STATE_ABOUT pressed %d", g_about.pressed);
        g_app.penDown = true;
        BeginDrag(g_gesture, x, y, now);
    }
}

void PenMoveAbout(int32_t x, int32_t y, uint32_t now) {
    if (!g_app.penDown) return;
    const uint32_t before = g_gesture.lastMoveTime;
    const int32_t lastY = g_gesture.lastY;
    TrackMove(g_gesture, x, y, now);
    KRA_LOG("MOVE About %d", int(lastY - y));
    AboutDrag(g_about, double(lastY - y), now - before);
    EndMove(g_gesture, x, y);
}

void PenUpAbout(int32_t x, int32_t y, uint32_t) {
    g_app.penDown = false;
    if (InMinimizeCorner(x, y, int(g_screen.width), UiScale())) {
        g_about.pressed = 0;
        g_about.dragging = false;
        if (g_screenActions.minimize) g_screenActions.minimize();
        return;
    }
    TakeAboutAction(AboutPenUp(g_about, x, y, ReleasedAtRest(g_gesture)));
}

void TickAbout(uint32_t) {
    AboutTick(g_about);
}

bool AnimatingAbout() {
    return AboutMoving(g_about);
}

}  // namespace

void BuildAboutPage(AboutPage& about, const Screen& screen, int32_t statusHeight) {
    const int s = UiScale();
    const int32_t W = int32_t(screen.width), H = int32_t(screen.height);
    const int32_t body = 12 * s, titleHeight = 18 * s, margin = 10 * s;
    CloseAboutPage(about);
    // 1. The button image: left half normal, right half pressed.
    if (LoadImage(about.button, screen, SkinImagePath(u"ptbutton"), kScaleNatural, 0, 0) &&
        about.button.HasPixels()) {
        about.buttonWidth = int32_t(about.button.width / 2);
        about.buttonHeight = int32_t(about.button.height);
    } else {
        ResetSurface(about.button, true);
        about.buttonWidth = about.buttonHeight = 0;
    }
    // 2. The two paragraphs.
    const uint32_t wrap = kTextWordBreak | kTextNoPrefix;
    Surface licence, disclaimer, version;
    if (!RenderText(licence, screen, body, 400, kTextNearBlack, kLicence, wrap, W - 2 * margin, 0,
                    0, 0xFFFFFF))
        ResetSurface(licence, false);
    if (!RenderText(disclaimer, screen, body, 400, kTextNearBlack, kDisclaimer, wrap,
                    W - 2 * margin, 0, 0, 0xFFFFFF))
        ResetSurface(disclaimer, false);
    // The version line stands in the title height.
    if (!RenderText(version, screen, titleHeight, 700, kTitleColour, u"KRA 0.70",
                    kTextSingleLine | kTextNoPrefix, 0, 0, 0, 0xFFFFFF))
        ResetSurface(version, false);
    // 3. The content height.
    const int32_t C = about.buttonHeight + 6 * body + int32_t(licence.height) +
                      int32_t(disclaimer.height) + titleHeight;
    // 4. The scroll range.
    about.viewTop = statusHeight;
    about.viewWidth = W;
    about.viewBottom = H;
    about.maxStep = H - statusHeight;
    if (C >= H - statusHeight) {
        about.scrollable = true;
        const int32_t e = H / 8;
        about.lowest = H - e - C;
        about.highest = statusHeight;
    } else {
        about.scrollable = false;
        about.lowest = about.highest = statusHeight;
    }
    // 5. The page, white.
    if (!SizeSurface(about.page, uint32_t(W), uint32_t(std::max(C, 1)))) return;
    DropSurfaceAlpha(about.page);
    std::fill(about.page.pixels, about.page.pixels + size_t(about.page.width) * about.page.height,
              MakeColour(screen.layout, 255, 255, 255));
    // 6. The version line, centred, one body height from the top.
    const int32_t versionY = body;
    PutText(about.page, screen, version, (W - int32_t(version.width)) / 2, versionY);
    // 7. The button row.
    const int32_t y0 = versionY + titleHeight + body;
    about.button1X = margin;
    about.button1Y = y0;
    about.button2X = W - margin - about.buttonWidth;
    about.button2Y = y0;
    if (about.buttonWidth > 0) {
        BlendSurface(about.page, screen, about.button, about.button1X, y0, about.buttonWidth,
                     about.buttonHeight, 0, 0, BlitCopy, 32);
        BlendSurface(about.page, screen, about.button, about.button2X, y0, about.buttonWidth,
                     about.buttonHeight, 0, 0, BlitCopy, 32);
    }
    const std::u16string& donate =
        g_lang.donate.empty() ? std::u16string(u"Donate") : g_lang.donate;
    const std::u16string& cancel =
        g_lang.cancel.empty() ? std::u16string(u"Cancel") : g_lang.cancel;
    if (!RenderText(about.donateLabel, screen, titleHeight, 700, kTextNearBlack, donate,
                    kTextSingleLine | kTextNoPrefix, 0, 0, 0, 0xFFFFFF))
        ResetSurface(about.donateLabel, false);
    if (!RenderText(about.cancelLabel, screen, titleHeight, 700, kTextNearBlack, cancel,
                    kTextSingleLine | kTextNoPrefix, 0, 0, 0, 0xFFFFFF))
        ResetSurface(about.cancelLabel, false);
    auto centre = [&](const Surface& label, int32_t bx) {
        const int32_t bw = about.buttonWidth > 0 ? about.buttonWidth : int32_t(label.width);
        const int32_t bh = about.buttonHeight > 0 ? about.buttonHeight : int32_t(label.height);
        PutText(about.page, screen, label, bx + (bw - int32_t(label.width)) / 2,
                y0 + (bh - int32_t(label.height)) / 2);
    };
    centre(about.donateLabel, about.button1X);
    centre(about.cancelLabel, about.button2X);
    // 8. The licence and the disclaimer below the buttons.
    const int32_t licenceY = y0 + about.buttonHeight + 2 * body;
    PutText(about.page, screen, licence, margin, licenceY);
    PutText(about.page, screen, disclaimer, margin, licenceY + int32_t(licence.height) + body);
    about.offset = statusHeight;
    about.pressed = 0;
    about.dragging = false;
    StopMotion(about);
    about.open = true;
}

void OpenAbout() {
    BuildAboutPage(g_about, g_screen, 16 * UiScale());
    const int32_t H = int32_t(g_screen.height);
    KRA_LOG("ABOUT maxClipY=%d realMin=%d realMax=%d", g_about.lowest, g_about.highest + H / 8,
            g_about.highest + H / 8 - g_about.lowest);
    ShowScreen(kScreenAbout, true);
}

void DrawAbout(const AboutPage& about, Screen& screen) {
    ClearScreen(screen, 255);
    if (about.page.HasPixels())
        DrawSurface(about.page, screen, 0, about.offset, 0, 0, 0, 0, BlitCopy, 32);
    if (about.pressed == 0 || about.buttonWidth <= 0) return;
    const int32_t bx = about.pressed == 1 ? about.button1X : about.button2X;
    const int32_t by = (about.pressed == 1 ? about.button1Y : about.button2Y) + about.offset;
    DrawSurface(about.button, screen, bx, by, about.buttonWidth, about.buttonHeight,
                about.buttonWidth, 0, BlitKeyed, 32);
    // The label stays readable on the pressed button.
    const Surface& label = about.pressed == 1 ? about.donateLabel : about.cancelLabel;
    if (label.HasPixels())
        DrawSurface(label, screen, bx + (about.buttonWidth - int32_t(label.width)) / 2,
                    by + (about.buttonHeight - int32_t(label.height)) / 2, 0, 0, 0, 0, BlitKeyed,
                    32);
}

bool AboutPenDown(AboutPage& about, int32_t x, int32_t y, uint32_t now) {
    if (InButton(about, x, y, about.button1X, about.button1Y)) {
        about.pressed = 1;
    } else if (InButton(about, x, y, about.button2X, about.button2Y)) {
        about.pressed = 2;
    } else if (x >= 0 && x < about.viewWidth && y >= about.viewTop && y < about.viewBottom) {
        about.dragging = true;
        about.velocity = 0;
        about.time = 0;
        about.dragStartTick = now;
        about.dragStartX = x;
        about.dragStartY = y;
        return true;
    } else {
        return false;
    }
    about.velocity = 0;
    about.time = 0;
    about.dragStartTick = now;
    about.dragStartX = x;
    about.dragStartY = y;
    return true;
}

void AboutDrag(AboutPage& about, double dy, uint32_t dt) {
    if (!about.dragging) return;
    about.velocity += dy;
    about.time += dt;
    ScrollAbout(about, Trunc(dy));
}

int AboutPenUp(AboutPage& about, int32_t x, int32_t y, bool still) {
    if (about.outOfRange) {
        about.velocity = about.offset > about.highest ? double(about.offset - about.highest)
                                                      : double(about.offset - about.lowest);
        about.time = 1;
    } else if (still) {
        about.velocity = 0;
        about.time = 0;
    }
    if (about.pressed == 1 && InButton(about, x, y, about.button1X, about.button1Y)) {
        about.velocity = 0;
        about.time = 0;
        about.pressed = 0;
        about.dragging = false;
        return 1;
    }
    if (about.pressed == 2 && InButton(about, x, y, about.button2X, about.button2Y)) {
        about.velocity = 0;
        about.time = 0;
        about.pressed = 0;
        about.dragging = false;
        return 2;
    }
    about.pressed = 0;
    about.dragging = false;
    return 0;
}

void AboutTick(AboutPage& about) {
    if (about.dragging || about.velocity == 0 || about.time == 0) return;
    const int32_t step = Trunc(about.velocity * 160.0 / double(about.time));
    if (step == 0) {
        // A page never rests outside its range.
        if (about.outOfRange) about.offset = std::clamp(about.offset, about.lowest, about.highest);
        StopMotion(about);
        return;
    }
    ScrollAbout(about, step);
    about.velocity *= kFlingDecay;
}

void ScrollAbout(AboutPage& about, int32_t step) {
    if (about.lowest == about.highest) return;
    about.offset -= std::clamp(step, -about.maxStep, about.maxStep);
    if (about.outOfRange && !about.dragging) {
        if (about.velocity > 0 && about.offset < about.highest) {
            about.offset = about.highest;
            StopMotion(about);
        } else if (about.velocity < 0 && about.offset > about.lowest) {
            about.offset = about.lowest;
            StopMotion(about);
        }
        return;
    }
    if (about.offset >= about.lowest && about.offset <= about.highest) {
        about.outOfRange = false;
    } else {
        about.outOfRange = true;
        if (!about.dragging) about.velocity = -about.velocity;
    }
}

bool AboutMoving(const AboutPage& about) {
    return about.dragging || (about.velocity != 0 && about.time != 0);
}

void TakeAboutAction(int action) {
    KRA_LOG("TakeAboutAction %d", action);
    if (action != 1 && action != 2) return;
    if (action == 1) {
        const std::string page = ProjectPage();
        if (page.empty() || !platform::OpenWebPage(page)) KRA_LOG("no project page opened");
    }
    CloseAboutPage(g_about);
    ShowScreen(g_app.previousScreen, false);
}

void CloseAboutPage(AboutPage& about) {
    ResetSurface(about.page, true);
    ResetSurface(about.button, true);
    ResetSurface(about.donateLabel, true);
    ResetSurface(about.cancelLabel, true);
    about.open = false;
    about.pressed = 0;
    about.dragging = false;
    StopMotion(about);
}

void InstallAboutScreen() {
    ScreenHandlers h;
    h.compose = &ComposeAbout;
    h.penDown = &PenDownAbout;
    h.penMove = &PenMoveAbout;
    h.penUp = &PenUpAbout;
    h.tick = &TickAbout;
    h.animating = &AnimatingAbout;
    RegisterScreen(kScreenAbout, h);
}

}  // namespace kra
