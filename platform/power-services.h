// Power services of the machine: switching the display panel off and on,
// holding off the system's idle suspend while music plays, the audio output
// device's power requirement, the system's suspend timeouts, and the power
// watcher thread that reports screen and battery changes.
//
// Linux backends: the panel through FBIOBLANK on the frame buffer, or for a
// full-screen window a /sys/class/backlight device through logind's
// Session.SetBrightness, else X11 DPMS; the idle-timer reset through a
// logind "idle:sleep" inhibitor; the watcher through UPower, logind and
// /sys/class/power_supply on its own system-bus connection. Every D-Bus call
// has a time-out, and all of it works (doing nothing) without a system bus.
//
// The simulated backend (UseSimulatedPower) does the same bookkeeping
// without touching the machine, for tests on the virtual clock.
//
// Everything is main-thread only, except that the watcher's thread posts.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kra::platform {

// Posted by the watcher: a power transition, wParam the new system power
// state. On Linux: kPowerStateOn when the session stops being idle or the
// machine wakes from sleep, kPowerStateIdle when the session turns idle.
inline constexpr uint32_t kMsgPowerTransition = 0x8059;
inline constexpr uint32_t kPowerStateOn = 0x10000000;
inline constexpr uint32_t kPowerStateOnUser = 0x12010000;
inline constexpr uint32_t kPowerStateUnattended = 0x00400000;
inline constexpr uint32_t kPowerStateIdle = 0x00100000;
// Battery changes are posted as kMsgBatteryState (platform/state-provider.h).

// Chooses the backend for everything below. The real one is the default.
void UseSimulatedPower();
void UseLinuxPower();
bool IsPowerSimulated();

// ---- Panel ----

struct PanelOptions {
    int frameBufferFd = -1;         // the mapped frame buffer of output path 1
    bool fullScreenWindow = false;  // the window covers the real display
    std::string sysfsRoot = "/sys";
};
// Finds a way to switch the panel for this output. False (and nothing
// changes) when there is none: a desktop window never switches the panel.
// `how` receives a short description for the log ("fbdev", "backlight
// intel_backlight", "DPMS", or why there is none).
bool OpenPanelControl(const PanelOptions& options, std::string* how);
// Switches the panel off or on. False when the request failed; the panel is
// then as it was.
bool SetPanelPower(bool on);
// Switches a panel that was left off back on and forgets the control.
void ClosePanelControl();

// ---- Idle suspend ----

// Holds the system awake: takes the idle inhibitor when it is not held.
// Releasing it when the system's timeout passes with no new reset is the
// caller's (ReleaseIdleInhibitor), so that it follows the caller's clock.
// False when no inhibitor can be had; *why then says why (no system bus, no
// logind, the request refused).
bool ResetSystemIdleTimer(std::string* why);
void ReleaseIdleInhibitor();
bool IdleInhibitorHeld();

// The system's suspend timeouts in seconds; 0 when the system never suspends
// on idle. logind's IdleActionUSec (rounded up) when IdleAction suspends,
// hibernates or sleeps, for both battery and external power.
struct SuspendTimeouts {
    uint32_t batterySeconds = 0;
    uint32_t externalSeconds = 0;
};
SuspendTimeouts ReadSuspendTimeouts();

// ---- Audio output device ("WAV1:") ----

// Result codes of the device power calls.
inline constexpr uint32_t kPowerResultOk = 0;
inline constexpr uint32_t kPowerResultNotSupported = 50;
// The device's power state (0 = full power D0 .. 4 = off D4) into *state,
// -1 when not known. Linux has no unprivileged equivalent: the query fails
// with kPowerResultNotSupported. Simulated, it succeeds with D0.
uint32_t QueryAudioDevicePower(int32_t* state);
// Requires full power for the device; a non-zero handle on success.
uintptr_t SetAudioPowerRequirement();
void ReleaseAudioPowerRequirement(uintptr_t handle);

// ---- Power watcher ----

struct WatcherOptions {
    std::string sysfsRoot = "/sys";  // for /sys/class/power_supply
    uint32_t pollMs = 30000;         // sysfs battery reading period without UPower
    bool useBus = true;              // false: sysfs only (tests)
};
// The default options: sysfs root from $KRA_SYSFS_ROOT when set.
WatcherOptions DefaultWatcherOptions();
// Starts the watcher thread. False when it could not start (the reason is
// logged by the caller); a watcher that is running is left as it is.
bool StartPowerWatcher(const WatcherOptions& options);
// Stops and joins the thread if one was started. Safe to call at any time.
void StopPowerWatcher();
bool PowerWatcherRunning();

// ---- Simulated backend ----

struct SimulatedPower {
    bool panelSupported = true;       // OpenPanelControl succeeds
    bool panelRequestOk = true;       // SetPanelPower succeeds
    bool panelOn = true;              // what the panel shows now
    std::vector<bool> panelRequests;  // every SetPanelPower argument, in order
    uint32_t idleResets = 0;
    bool inhibitorHeld = false;
    SuspendTimeouts timeouts;  // what ReadSuspendTimeouts returns
    bool audioQueryOk = true;
    uintptr_t audioHandle = 0;  // the held requirement; 0 none
    uint32_t audioRequirements = 0;
    bool watcherStarts = true;    // StartPowerWatcher succeeds
    bool watcherRunning = false;  // no thread is started in simulation
};
// The simulated state; reset by UseSimulatedPower.
SimulatedPower& SimulatedPowerState();

}  // namespace kra::platform
