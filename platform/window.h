// The player's main window: the display it draws for, focus, pen and keys,
// frame presentation, and RunPlatform, which runs the whole platform side
// for main().
//
// Two backends: an SDL2 window (the default) and a headless one (--headless)
// that has no display, keeps the last frame in memory, and can be driven by
// a script of pen, key and message events (platform/script.h).
//
// Input reaches the window procedure as posted messages:
// - pen: a left mouse press, motion while pressed, release (or a touch)
//   become kWmLButtonDown / kWmMouseMove / kWmLButtonUp with x in the low and
//   y in the high 16 bits of lParam, in the logical coordinates of the
//   current orientation, clamped to the display. No move without a press.
// - keys: kWmKeyDown (again on auto-repeat, with lParam bit 30 set) and
//   kWmKeyUp with the virtual key code in wParam:
//     arrows 0x25-0x28, Enter 0x0D, Escape 0x1B, Backspace 0x08, Space 0x20,
//     letters 'A'-'Z', digits '0'-'9', F1-F12 0x70-0x7B (so F1/F2 are the
//     soft keys 0x70/0x71, F3/F4 Talk/End 0x72/0x73, F6/F7 the phone's volume
//     keys 0x75/0x76), Left/Right Windows key 0x5B/0x5C, the Menu key 0xC3
//     (the phone's App key), media keys: play/pause 0xB3, next 0xB0,
//     previous 0xB1, stop 0xB2, volume up 0xAF, down 0xAE, mute 0xAD.
//   F5 (or Ctrl+R) turns the display a quarter turn clockwise, Shift+F5 back;
//   these keys are not passed on.
// - rotation: F5, or resizing the window to landscape or back to portrait,
//   changes the display orientation and posts kWmSettingChange with wParam
//   kSettingChangeReset; the core then asks GetDisplayOrientation.
// - focus: kWmSetFocus (wParam 0) / kWmKillFocus; closing the window (or
//   SIGINT/SIGTERM) posts kWmClose.
//
// Everything here is main-thread only unless said otherwise.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/message_loop.h"

namespace kra::platform {

// wParam of kWmSettingChange when the display was turned.
constexpr uintptr_t kSettingChangeReset = 0x3002;

// The panel the player draws for, in its natural position (orientation 0).
struct DisplayProfile {
    int width = 480;
    int height = 800;
    int dpi = 192;
};

// "WxH" or "WxH@DPI": sides 64..8192, dpi 48..1200. Without a DPI a panel
// whose shorter side is at least 480 gets 192, a smaller one 96.
bool ParseDisplayProfile(std::string_view text, DisplayProfile* out);

struct PlatformOptions {
    DisplayProfile display;     // --display WxH[@DPI]
    bool fullscreen = false;    // --fullscreen: the real display is the panel
    bool headless = false;      // --headless
    std::string scriptPath;     // --script FILE: drive the headless window
    bool virtualClock = false;  // --virtual-clock
    bool post = false;          // --post MSG WPARAM LPARAM
    uint32_t postMessage = 0;
    uintptr_t postWParam = 0;
    intptr_t postLParam = 0;
    std::string runtimeDir;  // single-instance folder; empty: the default
};

// Takes the options above out of argv[1..]; every other argument is appended
// to *rest in order. False with a reason for an unknown value or a missing
// argument. Numbers are decimal or 0x hex (32-bit; lParam is taken as a
// signed 32-bit value, so 0xFFFFFFFF is -1).
bool ParsePlatformArgs(int argc, const char* const* argv, PlatformOptions* options,
                       std::vector<std::string>* rest, std::string* error);

// Runs the player's window for main(), in this order:
//  1. --virtual-clock switches the clock.
//  2. --post: delivers the message to the running instance and returns 0,
//     or 1 (with a line on stderr) when none runs or it refuses.
//  3. Single instance: when another instance runs, asks it to come to the
//     front and returns 0. Nothing else is touched (no log, no window).
//  4. Opens the main window (hidden), installs `proc` and sends kWmCreate;
//     a result of -1 from it means creation failed: returns 1.
//  5. Runs the loop until the quit message (the script, if any, is played
//     while the loop is idle), closes the window, releases the instance
//     lock and returns the quit code. A script with a bad line is reported
//     on stderr before anything starts and gives 2; a script step that
//     fails at run time (a shot that cannot be written) closes the window
//     with kWmClose and also gives 2.
// A second instance's activation arrives as kWmActivateApp.
int RunPlatform(const PlatformOptions& options, WindowProc proc);

// The same steps one by one, for callers that need to do work in between
// (and for tests). OpenMainWindow also installs the backend's event source
// in the message loop; CloseMainWindow removes it.
bool OpenMainWindow(const PlatformOptions& options, std::string* error);
void CloseMainWindow();
bool IsMainWindowOpen();

// The panel of the open window (the profile, or the real display's size
// with --fullscreen).
DisplayProfile GetDisplayProfile();

// Orientation codes: 0 (0°), 1 (90°), 2 (180°), 4 (270°), clockwise.
int GetDisplayOrientation();
// Turns the display (the window shows the panel turned). Does not post the
// rotation message: only turns the user makes do. False for another code.
bool SetDisplayOrientation(int code);

// The window starts hidden. Showing it or bringing it to the front gives it
// the focus (kWmSetFocus is posted when it did not have it); minimising
// takes the focus away (kWmKillFocus).
void ShowMainWindow(bool visible);
void BringMainWindowToFront();
void MinimiseMainWindow();
bool IsMainWindowForeground();

// 16-bit pixel layouts a frame may be in.
enum class PixelFormat { kRgb565, kRgb555 };

// Shows one frame. `pixels` is the panel's back buffer in its natural
// layout (width × height of the panel, rows `pitchBytes` apart); the window
// shows it turned by the current orientation. One copy per frame. Frames of
// another size are scaled to the window. False when no window is open or
// the arguments are unusable (null, sizes out of range, pitch too small).
bool PresentFrame(const uint16_t* pixels, int width, int height, int pitchBytes,
                  PixelFormat format);

// The last presented frame as the user sees it (turned by the orientation),
// as 8-bit RGB triples; false when nothing was presented yet.
bool CopyShownFrame(std::vector<uint8_t>* rgb, int* width, int* height);
// Saves the shown frame as a PNG file (atomically: temporary name, rename).
bool SaveShownFrame(const std::string& path, std::string* error);

// A short message for the user when the player cannot draw its own (start-up
// failures): stderr, and on SDL also a message box. UTF-8.
void ShowNotice(const std::string& text);

}  // namespace kra::platform
