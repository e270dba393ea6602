// The about screen (screen 7): one tall white page with the version line, the
// "Donate" and "Cancel" buttons, the licence and the disclaimer, built once
// per opening and scrolled by the finger with fling and spring-back.
//
// Page, top to bottom (b = body text height 12 x scale, T = title height
// 18 x scale): b, the version line in the title height, b, the button row,
// 2 b, the licence, b, the disclaimer, b.
//
// Main thread only.
#pragma once
#include <cstdint>
#include <string>

#include "graphics/screen.h"
#include "graphics/surface.h"

namespace kra {

// What the "Donate" button opens: the project's web page when the build
// names one (the CMake setting KRA_PROJECT_URL), else the README that comes
// with the player (installed beside the default skin, or at the top of the
// source tree). KRA has no web page of its own and takes no donations, so by
// default the button shows what the project is rather than a made-up
// address. Empty when there is nothing to open.
std::string ProjectPage();

struct AboutPage {
    bool open = false;
    Surface page;
    Surface button;  // left half normal, right half pressed
    Surface donateLabel, cancelLabel;
    int32_t buttonWidth = 0, buttonHeight = 0;
    int32_t offset = 0;  // y of the page's top on the screen
    int32_t lowest = 0, highest = 0;
    bool scrollable = false;
    int32_t viewTop = 0, viewWidth = 0, viewBottom = 0;
    int32_t maxStep = 0;
    int32_t button1X = 0, button1Y = 0, button2X = 0, button2Y = 0;  // on the page
    int pressed = 0;                                                 // 0, 1 (Donate) or 2 (Cancel)
    bool dragging = false;
    bool outOfRange = false;
    double velocity = 0;
    uint32_t time = 0;
    uint32_t dragStartTick = 0;
    int32_t dragStartX = 0, dragStartY = 0;
};

extern AboutPage g_about;

// Builds the page for the screen and places it under the status bar
// (statusHeight); does not change screens.
void BuildAboutPage(AboutPage& about, const Screen& screen, int32_t statusHeight);
// Builds the page, remembers the current screen and shows screen 7.
void OpenAbout();
void DrawAbout(const AboutPage& about, Screen& screen);
bool AboutPenDown(AboutPage& about, int32_t x, int32_t y, uint32_t now);
void AboutDrag(AboutPage& about, double dy, uint32_t dt);
// 0 none, 1 donate, 2 close. `still`: the finger did not flick.
int AboutPenUp(AboutPage& about, int32_t x, int32_t y, bool still);
void AboutTick(AboutPage& about);
void ScrollAbout(AboutPage& about, int32_t step);
bool AboutMoving(const AboutPage& about);
// 1 opens the web page and closes, 2 closes; others do nothing.
void TakeAboutAction(int action);
// Frees the page and the button.
void CloseAboutPage(AboutPage& about);
// Registers screen 7.
void InstallAboutScreen();

}  // namespace kra
