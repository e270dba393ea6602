// The screens' side of the main window: the one Screen the program draws on,
// the routing of pen, key and timer events to the current screen, and the
// hooks the shell and the play queue call (InstallScreenHooks).
//
// Each screen registers its handlers under its number (1..7). A screen that
// has no handlers yet in this build is shown as the now-playing screen, so
// the player always has something to show.
//
// Main thread only.
#pragma once
#include <cstdint>
#include <string_view>

#include "graphics/screen.h"

namespace kra {

// The screen all drawing goes to; opened by the shell's openScreen hook.
extern Screen g_screen;

// What a screen does with the events routed to it. Every entry may be null.
struct ScreenHandlers {
    // Draws the whole screen into the back buffer (not presented).
    void (*compose)(Screen& screen, uint32_t now) = nullptr;
    // Positions already mapped for rotation.
    void (*penDown)(int32_t x, int32_t y, uint32_t now) = nullptr;
    void (*penMove)(int32_t x, int32_t y, uint32_t now) = nullptr;
    void (*penUp)(int32_t x, int32_t y, uint32_t now) = nullptr;
    // The 60 ms animation tick; the router redraws afterwards while
    // `animating` says so and stops the timer when it does not.
    void (*tick)(uint32_t now) = nullptr;
    bool (*animating)() = nullptr;
    // Called when the screen becomes the current one.
    void (*enter)(uint32_t now) = nullptr;
    // A key the router does not handle itself; true when the screen used it.
    bool (*keyDown)(uint32_t key) = nullptr;
};
void RegisterScreen(uint8_t screen, const ScreenHandlers& handlers);
bool IsScreenRegistered(uint8_t screen);
// Forgets every registration and the extras below (tests).
void ResetScreenRouter();

// What the screens ask of the rest of the program. InstallScreenHooks fills
// them with the player and the play queue; tests put recorders in. Every
// entry may be null (the action is then left out).
struct ScreenActions {
    void (*togglePause)() = nullptr;
    void (*nextTrack)() = nullptr;
    void (*previousTrack)() = nullptr;
    void (*nextAlbum)() = nullptr;
    void (*previousAlbum)() = nullptr;
    // The player jumps to a position in seconds.
    void (*seek)(uint32_t seconds) = nullptr;
    uint32_t (*playerPosition)() = nullptr;
    int32_t (*playerVolume)() = nullptr;
    // Applies a volume of 0..100 to the player.
    void (*applyVolume)(uint32_t volume) = nullptr;
    // Stores MusicVolume.
    void (*storeVolume)() = nullptr;
    // Plays a song of the current album (a track-list row).
    void (*playSong)(std::u16string_view path) = nullptr;
    // Sends the player to the background.
    void (*minimize)() = nullptr;
    // Quits through the quit timer.
    void (*quit)() = nullptr;
    // Switches the display off or on again (the App key).
    void (*toggleDisplay)() = nullptr;
    // Restarts the screen-off timers (every key and pen up).
    void (*restartScreenOff)() = nullptr;
    // Draws the status bar across the top, shifted right by x.
    void (*drawStatusBar)(Screen& screen, int32_t x) = nullptr;
};
extern ScreenActions g_screenActions;

// Makes `screen` the current one (previous screen remembered when asked),
// lays it out and redraws. Screens that are not part of the build are left
// alone (false).
bool ShowScreen(uint8_t screen, bool rememberPrevious);
// The current screen, composed and presented.
void RedrawCurrentScreen();
// Keeps the 60 ms animation tick running while the current screen animates.
void StartAnimationTimer();

// The routed events (the shell's hooks call these).
void RoutePenDown(int32_t x, int32_t y);
void RoutePenMove(int32_t x, int32_t y);
void RoutePenUp(int32_t x, int32_t y);
void RouteKeyDown(uint32_t key);
void RouteKeyUp(uint32_t key);
void RouteAnimationTick();
void RoutePositionTick();

// Fills the shell's screen, input and timer hooks and the play queue's
// screen hooks, registers the now-playing screen, and sets the actions.
void InstallScreenHooks();

}  // namespace kra
