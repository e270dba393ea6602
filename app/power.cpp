#include "app/power.h"

#include <cstdlib>
#include <string>

#include "app/base/app_state.h"
#include "app/base/debug_log.h"
#include "app/base/hooks.h"
#include "app/base/settings.h"
#include "app/shell.h"
#include "device/telephony.h"
#include "graphics/screen.h"
#include "platform/clock.h"
#include "platform/display.h"
#include "platform/message_loop.h"
#include "platform/power-services.h"
#include "platform/registry.h"
#include "platform/state-provider.h"
#include "platform/window.h"
#include "screens/screen_router.h"
#include "screens/status_bar.h"

namespace kra {

PowerState g_power;
PowerHost g_powerHost;

namespace {

using platform::KillTimer;
using platform::SetTimer;

constexpr const char16_t* kTimeoutsKey = u"System\\CurrentControlSet\\Control\\Power\\Timeouts";

PowerConfig g_config;
// The hooks the wrappers pass events on to.
void (*g_nextPenDown)(int, int) = nullptr;
void (*g_nextPenMove)(int, int) = nullptr;
void (*g_nextPenUp)(int, int) = nullptr;
void (*g_nextKeyUp)(uint32_t) = nullptr;

bool Foreground() {
    return g_powerHost.isForeground ? g_powerHost.isForeground()
                                    : platform::IsMainWindowForeground();
}

uint32_t Now() {
    return platform::TickCount();
}

void ArmScreenOffTimers() {
    if (g_settings.offLcd != 0) SetTimer(kTimerScreenOff, uint32_t(g_settings.offLcd) * 1000);
    if (g_settings.acOffLcd != 0) SetTimer(kTimerScreenOffAc, uint32_t(g_settings.acOffLcd) * 1000);
}

// The system's own idle timeout: the keep-awake period was taken 500 ms
// shorter than it.
uint32_t SystemIdleTimeout() {
    return g_app.suspendTimeout + 500;
}

void ResetIdleTimer() {
    std::string why;
    if (platform::ResetSystemIdleTimer(&why)) {
        SetTimer(kTimerIdleRelease, SystemIdleTimeout());
        return;
    }
    if (!g_power.idleFailureLogged) {
        g_power.idleFailureLogged = true;
        KRA_LOG("Keep awake: %s", why.c_str());
    }
}

void IdleReleaseTimer() {
    platform::ReleaseIdleInhibitor();
}

// ---- Shell hooks ----

void StoreDword(const char16_t* name, uint32_t value) {
    platform::RegValue v;
    v.type = platform::kRegDword;
    v.data = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
    platform::RegSetStateValue(kTimeoutsKey, name, v);
}

intptr_t OnBatteryMessage(uintptr_t wParam, intptr_t lParam) {
    OnBatteryReading(uint8_t(wParam), uint8_t(lParam));
    return 0;
}

intptr_t OnTransitionMessage(uintptr_t wParam, intptr_t) {
    OnPowerTransition(uint32_t(wParam));
    return 0;
}

void RegisterHandlers() {
    // Registered again at start-up, after every module installed its own:
    // the battery message is the power logic's, which passes it on to the
    // status bar.
    RegisterMessageHandler(platform::kMsgBatteryState, &OnBatteryMessage);
    RegisterMessageHandler(platform::kMsgPowerTransition, &OnTransitionMessage);
    RegisterTimerHandler(kTimerIdleRelease, &IdleReleaseTimer, true);
}

// Start-up step 20: the panel control; before step 22 the system's suspend
// timeouts; and the battery reading the status bar was given.
bool StartUpPower() {
    RegisterHandlers();
    platform::PanelOptions options;
    if (g_screen.path == 1 && g_screen.frameBuffer)
        options.frameBufferFd = static_cast<platform::FrameBuffer*>(g_screen.frameBuffer)->fd;
    options.fullScreenWindow = g_config.fullScreenWindow;
    if (const char* root = std::getenv("KRA_SYSFS_ROOT"); root && *root) options.sysfsRoot = root;
    std::string how;
    const bool supported = platform::OpenPanelControl(options, &how);
    KRA_LOG("Panel: %s", how.c_str());

    const platform::SuspendTimeouts timeouts = platform::ReadSuspendTimeouts();
    if (timeouts.batterySeconds) StoreDword(u"BattSuspendTimeout", timeouts.batterySeconds);
    if (timeouts.externalSeconds) StoreDword(u"ACSuspendTimeout", timeouts.externalSeconds);

    const platform::BatteryReading battery = platform::CurrentBattery();
    g_power.readingKnown = true;
    g_power.readingPercent = battery.percent;
    g_power.readingExternal = battery.externalPower;
    PowerBatteryChanged(battery.percent, battery.externalPower);
    return supported;
}

void AudioPowerUpHook() {
    PowerUpAudio();
    // Playback resumed: hold the machine awake at once rather than at the
    // next keep-awake tick, and tell the call handling.
    if (!g_app.paused) {
        ResetIdleTimer();
        NotePlaybackResumed();
    }
}

void AudioPowerReleaseHook() {
    if (g_app.shutdownDone) {
        // The shutdown sequence logs this release itself.
        platform::ReleaseAudioPowerRequirement(g_power.audioPowerHandle);
        g_power.audioPowerHandle = 0;
        g_app.audioPowerHeld = false;
        return;
    }
    ReleaseAudio();
}

void StartWatcherHook() {
    if (!platform::StartPowerWatcher(platform::DefaultWatcherOptions()))
        KRA_LOG("Error: couldn't create MsgQueue or request PowerNotifications");
}

// Shutdown step 13: the watcher ends; nothing of the power logic stays armed
// or held.
void StopWatcherHook() {
    platform::StopPowerWatcher();
    KillTimer(kTimerKeepAwake);
    KillTimer(kTimerIdleRelease);
    platform::ReleaseIdleInhibitor();
    platform::ClosePanelControl();
    g_power.screenOff = false;
    g_power.panelOffByPlayer = false;
}

// ---- Input wrappers ----

// A touch on a panel this program switched off only switches it on.
void PenDownHook(int x, int y) {
    if (g_power.screenOff && g_power.panelOffByPlayer) {
        g_power.swallowingPress = true;
        g_power.screenToggledOff = false;
        if (SetScreenOff(false)) OnPowerTransition(platform::kPowerStateOn);
        return;
    }
    g_power.swallowingPress = false;
    if (g_nextPenDown) g_nextPenDown(x, y);
}
void PenMoveHook(int x, int y) {
    if (g_power.swallowingPress) return;
    if (g_nextPenMove) g_nextPenMove(x, y);
}
void PenUpHook(int x, int y) {
    if (g_power.swallowingPress) {
        g_power.swallowingPress = false;
        return;
    }
    if (g_nextPenUp) g_nextPenUp(x, y);
}
void KeyUpHook(uint32_t key) {
    constexpr uint32_t kKeyApp = 0xC3;
    if (key != kKeyApp && !g_power.screenOff) g_power.screenToggledOff = false;
    if (g_nextKeyUp) g_nextKeyUp(key);
}

}  // namespace

void ResetPowerState() {
    g_power = PowerState{};
    g_powerHost = PowerHost{};
}

void SetAllTimer() {
    SetTimer(kTimerAnimation, 60);
    SetTimer(kTimerClock, 1000);
    SetTimer(kTimerKeepAwake, g_app.suspendTimeout);
    ArmScreenOffTimers();
    KRA_LOG("SetAllTimer");
}

void RestartScreenOffTimers() {
    ArmScreenOffTimers();
}

bool SetScreenOff(bool off) {
    if (!g_app.lcdOffSupported) {
        KRA_LOG("h/w not support off LCD");
        return false;
    }
    const uint32_t state = off ? kPanelStateOff : kPanelStateOn;
    const bool ok = platform::SetPanelPower(!off);
    KRA_LOG("Off LCD %d", int(state));
    if (!ok) return false;
    if (off) {
        g_power.screenOff = true;
        g_power.panelOffByPlayer = true;
        KillTimer(kTimerAnimation);
    } else {
        g_power.screenOff = false;
        g_power.panelOffByPlayer = false;
        const uint32_t now = Now();
        g_power.lastScreenOn = now != 0 ? now : 1;
        SetTimer(kTimerAnimation, 60);
    }
    return true;
}

void ToggleScreenByKey() {
    // A panel that is off for any reason comes on: on this platform no key
    // wakes it before the key reaches the program.
    if (!g_power.screenToggledOff && !g_power.screenOff) {
        if (SetScreenOff(true)) g_power.screenToggledOff = true;
    } else {
        g_power.screenToggledOff = false;
        SetScreenOff(false);
    }
}

void NoteRemote() {
    if (g_power.lastScreenOn != 0 && uint32_t(Now() - g_power.lastScreenOn) < kRemoteScreenOffMs)
        SetScreenOff(true);
}

void KeepAwakeTick() {
    if (!g_app.paused) ResetIdleTimer();
}

void ScreenOffTimer(bool externalPower) {
    const uint8_t source = externalPower ? 1 : 0;
    if (g_power.powerSource == source && !g_app.paused && Foreground() && !g_power.screenOff)
        SetScreenOff(true);
}

void OnPowerTransition(uint32_t state) {
    KRA_LOG("Power State: 0x%0X LCD %d", state, g_power.screenOff ? 1 : 0);
    switch (state) {
        case platform::kPowerStateOn:
        case platform::kPowerStateOnUser:
            // The user is back: a panel this program switched off comes on.
            if (g_power.panelOffByPlayer) SetScreenOff(false);
            g_power.screenOff = false;
            KRA_LOG("LCD ON");
            g_power.lastScreenOn = Now() != 0 ? Now() : 1;
            if (Foreground()) {
                RestartScreenOffTimers();
                SetTimer(kTimerAnimation, 60);
            }
            break;
        case platform::kPowerStateUnattended:
            ResetIdleTimer();
            SetTimer(kTimerKeepAwake, g_app.suspendTimeout);
            [[fallthrough]];
        case platform::kPowerStateIdle:
            g_power.screenOff = true;
            KillTimer(kTimerAnimation);
            break;
        default:
            break;
    }
}

void PowerBatteryChanged(uint8_t percent, uint8_t externalPower) {
    g_power.batteryPercent = percent;
    g_power.powerSource = (externalPower == 1 && percent == 100) ? 2 : externalPower;
}

void OnBatteryReading(uint8_t percent, uint8_t externalPower) {
    if (g_power.readingKnown && g_power.readingPercent == percent &&
        g_power.readingExternal == externalPower)
        return;
    g_power.readingKnown = true;
    g_power.readingPercent = percent;
    g_power.readingExternal = externalPower;
    PowerBatteryChanged(percent, externalPower);
    BatteryChanged(percent, externalPower);  // the status bar; logs the reading
    if (g_hooks.statusChanged) g_hooks.statusChanged();
}

void PowerUpAudio() {
    if (g_power.audioPowerHandle != 0) return;
    int32_t state = -1;
    const uint32_t result = platform::QueryAudioDevicePower(&state);
    KRA_LOG("PowerUp WAV %d (%d)", int(state), int(result));
    if (result != platform::kPowerResultOk) return;
    g_power.audioPowerHandle = platform::SetAudioPowerRequirement();
    g_app.audioPowerHeld = g_power.audioPowerHandle != 0;
}

void ReleaseAudio() {
    KRA_LOG("Restore WAV %d", int(g_power.audioPowerHandle));
    platform::ReleaseAudioPowerRequirement(g_power.audioPowerHandle);
    g_power.audioPowerHandle = 0;
    g_app.audioPowerHeld = false;
}

void MinimizeToBackground() {
    if (g_powerHost.minimize) {
        g_powerHost.minimize();
    } else {
        if (g_hooks.fadeOut) g_hooks.fadeOut(6);
        if (g_hooks.releaseInput) g_hooks.releaseInput();
        if (g_hooks.minimizeWindow) g_hooks.minimizeWindow();
    }
    g_app.lastMinimiseTick = Now();
}

void InstallPowerHooks(const PowerConfig& config) {
    g_config = config;
    AppHooks& h = g_hooks;
    h.setAllTimer = &SetAllTimer;
    h.queryLcdOff = &StartUpPower;
    h.audioPowerUp = &AudioPowerUpHook;
    h.audioPowerRelease = &AudioPowerReleaseHook;
    h.startPowerWatcher = &StartWatcherHook;
    h.stopPowerWatcher = &StopWatcherHook;
    h.noteRemote = &NoteRemote;
    h.keepAwake = &KeepAwakeTick;
    h.screenOff = &ScreenOffTimer;
    // Wrapped once; installing again keeps the hooks they pass on to.
    if (h.penDown != &PenDownHook) {
        g_nextPenDown = h.penDown;
        h.penDown = &PenDownHook;
    }
    if (h.penMove != &PenMoveHook) {
        g_nextPenMove = h.penMove;
        h.penMove = &PenMoveHook;
    }
    if (h.penUp != &PenUpHook) {
        g_nextPenUp = h.penUp;
        h.penUp = &PenUpHook;
    }
    if (h.keyUp != &KeyUpHook) {
        g_nextKeyUp = h.keyUp;
        h.keyUp = &KeyUpHook;
    }
    g_screenActions.toggleDisplay = &ToggleScreenByKey;
    g_screenActions.restartScreenOff = &RestartScreenOffTimers;
    RegisterHandlers();
}

}  // namespace kra
