// The status bar: a translucent black strip across the top of the screens
// with the operator name (or logo), network type and signal bars on the left,
// the clock in the middle, and the sound-profile, Bluetooth, Wi-Fi and
// headset icons and the battery on the right.
//
// The values come from the HKLM "System\State\..." values (supplied on Linux
// by platform/state-provider.h), the battery reading and the state messages
// of the main window; they are kept in g_statusBar and in the status slots of
// g_app, turned into small pre-rendered labels when they change, and drawn on
// top of each frame by DrawStatusBar. Nothing is polled but the clock.
//
// Main thread only.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "graphics/screen.h"
#include "graphics/surface.h"
#include "platform/clock.h"

namespace kra {

// Battery states.
inline constexpr uint8_t kBatteryOnBattery = 0;
inline constexpr uint8_t kBatteryCharging = 1;
inline constexpr uint8_t kBatteryFull = 2;  // on external power at 100 %

// Icons of the skin's "system" strip (numbers kept in the status slots).
enum SystemIcon : uint8_t {
    kIconBatteryFrame = 0,
    kIconSilent = 1,
    kIconRing = 2,
    kIconVibrate = 3,
    kIconBluetooth = 4,
    kIconWifi = 5,
    kIconHeadset = 6,
    kIconData = 7,
    kIconHandsFree = 8,
    kIconStereo = 9,
};
inline constexpr int kSystemIconCount = 10;
// Source x and width of each icon in base pixels (times UiScale in the image).
struct SystemIconRect {
    int x, width;
};
extern const SystemIconRect kSystemIcons[kSystemIconCount];

struct StatusBar {
    bool shown = true;                         // screens clear and set it
    uint8_t fade = 0;                          // opacity step 0..32
    uint8_t batteryState = kBatteryOnBattery;  // 0, 1, 2; other values as delivered
    uint8_t batteryLevel = 0;                  // percent; above 100 the level is unknown (no gauge)
    uint8_t chargePulse = 29;                  // opacity source of the gauge while charging
    uint8_t signalBars = 0;                    // 0..5
    uint8_t networkType = 0;                   // 0 none, else icon 1..7 of "conicon"
    int32_t operatorX = 0;                     // left edge of the operator label
    bool operatorLogo = false;                 // the label is the operator's logo image
    std::u16string operatorText;               // what the label shows (when not a logo)
    std::u16string clockText;                  // at most 20 units
    Surface operatorLabel, clockLabel;
    uint32_t gaugeColour = 0xE6E6E6;  // 0xRRGGBB of the battery gauge
};
extern StatusBar g_statusBar;

// The indicator slots are g_app.status[0..4]: 0 sound profile (1, 2, 3),
// 1 Bluetooth (4), 2 Wi-Fi (5), 3 headset (6, 8, 9), 4 data connection (7).

// Back to the start values (labels emptied, operator x at 1 x UiScale).
void ResetStatusBar();

// Start-up: sound profile, radios, headset, data connection, network type.
void ReadIndicators();
// The ringer mode of the sound profile into slot 0.
void ReadSoundProfile();
// The network-type icon for the phone's "Cellular System Connected" bits.
uint8_t NetworkTypeFromBits(uint32_t bits);
// Values outside 0..7 count as none.
void SetNetworkType(uint8_t type);

// A new battery reading: level in percent (above 100: unknown) and the
// external power status (0 battery, 1 external power, other: unknown).
void BatteryChanged(uint8_t level, uint8_t externalPower);
// A new raw signal value 0..100; bars = (raw + 5) / 20, at most 5.
void SignalChanged(uint8_t raw);
// SignalChanged with the phone's stored "Signal Strength Raw" (missing: 0).
void ReadSignal();

// Operator name or logo, flight mode, or no service.
void RefreshOperator(const Screen& screen);
// The name cut to `limit` units: a longer one keeps limit - 2 and gets "...".
std::u16string ShortenOperatorName(std::u16string_view name, size_t limit);
// "<programFolder>\gfx\operator\<name>.png"; false (no logo) for a name that
// is empty, holds a separator, "..", a control character, or makes the path
// too long.
bool OperatorLogoPath(std::u16string_view programFolder, std::u16string_view name,
                      std::u16string& path);

// The clock label for now; true when the text changed (and was rendered).
bool RefreshClock(const Screen& screen);
bool RefreshClockAt(const Screen& screen, const platform::LocalTime& time);
// The clock text: the TimeFormat picture when it is set, else the locale's
// time without seconds and AM/PM marker; at most 20 units.
std::u16string FormatClockText(std::u16string_view timeFormat, const platform::LocalTime& time);
// Formats a time picture: h, hh (12-hour), H, HH (24-hour), m, mm, s, ss,
// t, tt (marker "A"/"P", "AM"/"PM"); text in single quotes is copied, '' is a
// quote. noSeconds and noMarker leave those elements out together with the
// separator before them (after them when they come first).
std::u16string FormatTimePicture(std::u16string_view picture, const platform::LocalTime& time,
                                 bool noSeconds, bool noMarker);

// Shows or hides the strip; it fades in or out over eight frames.
void SetStatusBarShown(bool shown);
// The fade is still moving (the caller keeps drawing frames).
bool StatusBarAnimating();
// Draws the strip on top of the frame in the back buffer, shifted right by
// x, and advances the fade and the charge pulse by one frame.
void DrawStatusBar(Screen& screen, int32_t x);

// What the status bar needs from the program around it.
struct StatusBarHost {
    // The screen the labels are rendered for (its pixel layout).
    const Screen* screen = nullptr;
    // Composes and presents the current screen again after a value changed;
    // may be null.
    void (*redraw)() = nullptr;
    // Starts the machine's state provider before the indicators are read.
    bool systemState = true;
};
// Fills the shell's status-bar hooks (g_hooks). The clock hook (every second
// and on focus gain) also polls the state provider, whose changes come back
// as the window's state messages (the battery through the power handling,
// which calls BatteryChanged).
void InstallStatusBarHooks(const StatusBarHost& host);

}  // namespace kra
