// Timers, power and screen-off: the periodic timers of the main window, the
// panel switched off while music plays and on again, the keep-awake tick that
// holds off the system's idle suspend while playing, the audio device's power
// requirement, and the main thread's side of the power watcher's reports.
//
// Screen-off timers (one-shot, re-armed by every key, pen release and screen
// on): 0x40C on battery, 0x40D on external power, each only while playing,
// in front, with the panel on. Keep-awake (0x40B, every suspend timeout):
// while playing it resets the system's idle timer, which holds a system
// inhibitor until the system's own timeout (suspend timeout + 500 ms) passes
// without another reset.
//
// Power source: 0 battery, 1 external power, 2 external power with the
// battery full (no screen-off timer acts), 255 unknown (likewise).
//
// Main thread only.
#pragma once
#include <cstdint>

namespace kra {

// The inhibitor release after the last idle-timer reset (one-shot).
inline constexpr uint32_t kTimerIdleRelease = 0x430;
// The log line's power state values of a panel request.
inline constexpr uint32_t kPanelStateOn = 1;
inline constexpr uint32_t kPanelStateOff = 4;
// A remote command within this time of the panel coming on switches it off.
inline constexpr uint32_t kRemoteScreenOffMs = 2500;

struct PowerState {
    bool screenOff = false;         // the panel is off, by this program or the system
    bool screenToggledOff = false;  // switched off with the screen key
    bool panelOffByPlayer = false;  // this program switched it off
    uint32_t lastScreenOn = 0;      // tick of the last switch-on; 0 = never
    uint8_t powerSource = 255;
    uint8_t batteryPercent = 255;
    uintptr_t audioPowerHandle = 0;
    // The press that switched a dark panel on is not passed on.
    bool swallowingPress = false;
    // The last battery reading taken (repeats are dropped).
    bool readingKnown = false;
    uint8_t readingPercent = 255, readingExternal = 255;
    bool idleFailureLogged = false;
};
extern PowerState g_power;

// What the power logic asks of the program around it (tests replace them).
struct PowerHost {
    bool (*isForeground)() = nullptr;  // the main window is the foreground window
    void (*minimize)() = nullptr;      // MinimizeToBackground's window part
};
extern PowerHost g_powerHost;

void ResetPowerState();

// Arms 0x405 (60 ms), 0x407 (1 s), 0x40B (suspend timeout), and 0x40C /
// 0x40D at OffLCD / ACOffLCD seconds when those are not 0.
void SetAllTimer();
// Arms 0x40C and 0x40D again (each only when its setting is not 0).
void RestartScreenOffTimers();
// Switches the panel. The state changes only when the request succeeded;
// false otherwise (or when the panel cannot be switched at all).
bool SetScreenOff(bool off);
// The screen key (App key release): off when on, on when off.
void ToggleScreenByKey();
// A remote-control command: the panel that came on less than 2.5 s ago
// goes off again.
void NoteRemote();
// Timer 0x40B.
void KeepAwakeTick();
// Timers 0x40C (externalPower false) and 0x40D (true).
void ScreenOffTimer(bool externalPower);
// A power transition reported by the watcher.
void OnPowerTransition(uint32_t state);
// The power side of a battery reading: percent (0..100, 255 unknown) and
// external power status (0, 1, 255 unknown).
void PowerBatteryChanged(uint8_t percent, uint8_t externalPower);
// A battery reading from the state provider or the watcher: the power side,
// the status bar, a redraw. A repeat of the last reading is dropped.
void OnBatteryReading(uint8_t percent, uint8_t externalPower);

void PowerUpAudio();
void ReleaseAudio();
// Fades out, gives screen and keys back, minimises, records the time.
void MinimizeToBackground();

struct PowerConfig {
    bool fullScreenWindow = false;  // the window covers the real display
};
// Fills the shell's power hooks and the screens' display actions, and wraps
// the pen and key hooks (a touch on a dark panel switches it on and is not
// passed on). Call after the screens' hooks are installed.
void InstallPowerHooks(const PowerConfig& config);

}  // namespace kra
