// The window procedure: the message, command and timer tables.
#include <algorithm>
#include <vector>

#include "app/base/app_state.h"
#include "app/base/debug_log.h"
#include "app/base/hooks.h"
#include "app/base/settings.h"
#include "app/shell.h"
#include "platform/clock.h"
#include "platform/message_loop.h"
#include "platform/registry.h"

namespace kra {

namespace {

using platform::KillTimer;
using platform::SetTimer;

// Calls a hook when its module is part of the build.
template <typename Hook, typename... Args>
void Call(Hook hook, Args... args) {
    if (hook) hook(args...);
}

void StatusChanged() {
    Call(g_hooks.statusChanged);
}

// ---- Commands ----

void HoldOff() {
    SetTimer(kTimerHoldOff, 250);
}
void NoteRemote() {
    Call(g_hooks.noteRemote);
}
void TogglePause() {
    Call(g_hooks.togglePause);
}
void NextTrack() {
    Call(g_hooks.nextTrack);
}
void PreviousTrack() {
    Call(g_hooks.previousTrack);
}

bool Always() {
    return true;
}
bool OsMinorIs1() {
    return g_app.osMinor == 1;
}
bool OsMinorAbove1() {
    return g_app.osMinor > 1;
}
bool NotPaused() {
    return !g_app.paused;
}
bool OsMinorAbove1AndNotPaused() {
    return OsMinorAbove1() && NotPaused();
}

void CmdPausedNotification(intptr_t) {
    Call(g_hooks.refreshFromPlayer);
    if (g_app.resumePending) {
        if (!g_app.paused) Call(g_hooks.playerPlay);
        g_app.resumePending = false;
    }
}
void CmdPlayingNotification(intptr_t) {
    SetTimer(kTimerPosition, 1000);
}
void CmdBufferingNotification(intptr_t) {
    Call(g_hooks.applyPendingResume);
    Call(g_hooks.refreshFromPlayer);
}
void CmdNext(intptr_t) {
    NextTrack();
}
void CmdRemotePause(intptr_t) {
    NoteRemote();
    TogglePause();
    HoldOff();
}
void CmdRemoteNext(intptr_t) {
    NoteRemote();
    NextTrack();
    HoldOff();
}
void CmdRemotePrevious(intptr_t) {
    NoteRemote();
    PreviousTrack();
    HoldOff();
}
void CmdRemoteNextIfPlaying(intptr_t) {
    NoteRemote();
    if (!g_app.paused) NextTrack();
}
void CmdRemoteRandom(intptr_t) {
    NoteRemote();
    Call(g_hooks.randomTrack);
}
void CmdFirstPlaying(intptr_t) {
    Call(g_hooks.applyPendingResume);
}
void CmdEndOfTrack(intptr_t) {
    if (g_app.skipNextEnd) {
        g_app.skipNextEnd = false;
    } else if (uint32_t(platform::TickCount() - g_app.lastTrackStartTick) > 1500 && !g_app.paused) {
        NextTrack();
    }
}
void CmdPause(intptr_t) {
    TogglePause();
    HoldOff();
}
void CmdNextHoldOff(intptr_t) {
    NextTrack();
    HoldOff();
}
void CmdPreviousHoldOff(intptr_t) {
    PreviousTrack();
    HoldOff();
}
void CmdSetVolume(intptr_t lParam) {
    // A volume from another program outside 0..100 is clamped, never stored
    // or handed to the player as it came.
    SetMusicVolume(int(std::clamp<intptr_t>(lParam, 0, 100)));
}
void CmdStoreVolume(intptr_t) {
    WriteDword(u"MusicVolume", g_settings.musicVolume);
}
void CmdVolumeUp(intptr_t) {
    SetMusicVolume(std::min<int>(int(g_settings.musicVolume) + 5, 100));
    WriteDword(u"MusicVolume", g_settings.musicVolume);
    HoldOff();
}
void CmdVolumeDown(intptr_t) {
    SetMusicVolume(std::max<int>(int(g_settings.musicVolume) - 5, 0));
    WriteDword(u"MusicVolume", g_settings.musicVolume);
    HoldOff();
}

struct CommandEntry {
    uint16_t id;
    bool (*condition)();
    void (*action)(intptr_t lParam);
};

const CommandEntry kCommands[] = {
    {kCmdStatePaused, OsMinorIs1, CmdPausedNotification},
    {kCmdStatePlaying, NotPaused, CmdPlayingNotification},
    {kCmdStateBuffering, OsMinorAbove1, CmdBufferingNotification},
    {kCmdStateMediaEnded, OsMinorAbove1AndNotPaused, CmdNext},
    {kCmdRemotePause, Always, CmdRemotePause},
    {kCmdRemoteNext, Always, CmdRemoteNext},
    {kCmdRemotePrevious, Always, CmdRemotePrevious},
    {kCmdRemoteNextIfPlaying, Always, CmdRemoteNextIfPlaying},
    {kCmdRemoteRandom, Always, CmdRemoteRandom},
    {kCmdFirstPlaying, OsMinorIs1, CmdFirstPlaying},
    {kCmdEndOfTrack, OsMinorIs1, CmdEndOfTrack},
    {kCmdPause, Always, CmdPause},
    {kCmdNext, Always, CmdNextHoldOff},
    {kCmdPrevious, Always, CmdPreviousHoldOff},
    {kCmdSetVolume, Always, CmdSetVolume},
    {kCmdStoreVolume, Always, CmdStoreVolume},
    {kCmdHtcNext, Always, CmdNextHoldOff},
    {kCmdHtcPrevious, Always, CmdPreviousHoldOff},
    {kCmdHtcPause, Always, CmdPause},
    {kCmdVolumeUp, Always, CmdVolumeUp},
    {kCmdVolumeDown, Always, CmdVolumeDown},
};

intptr_t OnCommand(uintptr_t wParam, intptr_t lParam) {
    const uint16_t id = uint16_t(wParam & 0xFFFF);
    KRA_LOG("WM_COMMAND %d", id);
    for (const CommandEntry& entry : kCommands) {
        if (entry.id == id) {
            if (entry.condition()) entry.action(lParam);
            break;
        }
    }
    return 0;
}

// ---- Timers ----

void TimerQuit() {
    platform::PostMessage(platform::kWmClose, 0, 0);
}
void TimerReshow() {
    Show();
}
void TimerFocusGuard() {
    g_app.focusGuard = false;
}
void TimerAnimation() {
    Call(g_hooks.animationTick);
}
void TimerClock() {
    Call(g_hooks.refreshClock);
}
void TimerPosition() {
    Call(g_hooks.positionTick);
}
void TimerKeepAwake() {
    Call(g_hooks.keepAwake);
}
void TimerScreenOff() {
    Call(g_hooks.screenOff, false);
}
void TimerScreenOffAc() {
    Call(g_hooks.screenOff, true);
}
void TimerCallResume() {
    Call(g_hooks.callEndResume);
}
void TimerAlbumFlow() {
    Call(g_hooks.albumFlowTick);
}
void TimerReloadTrack() {
    Call(g_hooks.reloadLastTrack);
}
void TimerSensorApply() {
    Call(g_hooks.applySensorOrientation);
}
void TimerHookPlugin() {
    Call(g_hooks.hookRemotePlugin);
}
void TimerHoldOff() {
    Call(g_hooks.holdOff);
}

void RestartTelephony() {
    KillTimer(kTimerTelephony);
    if (!g_hooks.telephonyShutdown || !g_hooks.telephonyInit) return;
    g_hooks.telephonyShutdown();
    platform::Sleep(500);
    g_hooks.telephonyInit();
}

void TimerShakeStart() {
    if (!g_hooks.startShakePolling) return;
    KRA_LOG("Start GS polling");
    g_hooks.startShakePolling();
}

// Puts back the system sound type and volume stored at the last exit.
void TimerSystemVolume() {
    platform::RegValue value;
    if (platform::RegQueryValue(platform::RegRoot::CurrentUser, kSettingsKey,
                                u"LastSystemVolumeState", 4, value)) {
        uint32_t state = 0;
        for (size_t i = 0; i < value.data.size(); ++i) state |= uint32_t(value.data[i]) << (8 * i);
        KRA_LOG("LastVolumeState %0X", state);
        Call(g_hooks.setSoundState, state);
    }
    uint32_t volume = 0;
    if (platform::RegQueryValue(platform::RegRoot::CurrentUser, kSettingsKey, u"LastSystemVolume",
                                4, value)) {
        for (size_t i = 0; i < value.data.size(); ++i) volume |= uint32_t(value.data[i]) << (8 * i);
        Call(g_hooks.setSystemVolume, volume);
    }
    KRA_LOG("LastVolume %0X", volume);
}

void TimerRotation() {
    if (!g_app.profileRotatesItself) {
        Call(g_hooks.rebuildSurfaces);
        Call(g_hooks.layoutForOrientation, g_app.drawingOrientation);
    } else if (g_app.pendingOrientation != g_app.deviceOrientation) {
        Call(g_hooks.resetOrientationTo0);
        Call(g_hooks.layoutForOrientation, g_app.pendingOrientation);
        g_app.deviceOrientation = 0;
    }
}

struct TimerEntry {
    uint32_t id;
    bool oneShot;  // killed first thing in its handler
    void (*action)();
};

const TimerEntry kTimers[] = {
    {kTimerAnimation, false, TimerAnimation},  {kTimerQuit, true, TimerQuit},
    {kTimerClock, false, TimerClock},          {kTimerReshow, true, TimerReshow},
    {kTimerPosition, false, TimerPosition},    {kTimerKeepAwake, false, TimerKeepAwake},
    {kTimerScreenOff, true, TimerScreenOff},   {kTimerScreenOffAc, true, TimerScreenOffAc},
    {kTimerTelephony, true, RestartTelephony}, {kTimerCallResume, true, TimerCallResume},
    {kTimerAlbumFlow, false, TimerAlbumFlow},  {kTimerReloadTrack, true, TimerReloadTrack},
    {kTimerFocusGuard, true, TimerFocusGuard}, {kTimerSensorApply, true, TimerSensorApply},
    {kTimerHookPlugin, true, TimerHookPlugin}, {kTimerShakeStart, true, TimerShakeStart},
    {kTimerHoldOff, true, TimerHoldOff},       {kTimerSystemVolume, true, TimerSystemVolume},
    {kTimerRotation, true, TimerRotation},
};

std::vector<TimerEntry> g_registeredTimers;

intptr_t OnTimer(uintptr_t wParam, intptr_t) {
    for (const TimerEntry& entry : kTimers) {
        if (entry.id == wParam) {
            if (entry.oneShot) KillTimer(entry.id);
            entry.action();
            return 0;
        }
    }
    for (const TimerEntry& entry : g_registeredTimers) {
        if (entry.id == wParam) {
            if (entry.oneShot) KillTimer(entry.id);
            entry.action();
            break;
        }
    }
    return 0;
}

// ---- Messages ----

intptr_t OnCreateMessage(uintptr_t, intptr_t) {
    return OnCreate();
}
intptr_t OnClose(uintptr_t, intptr_t) {
    Shutdown();
    return 0;
}

intptr_t OnSetFocus(uintptr_t wParam, intptr_t) {
    KRA_LOG("WM_SETFOCUS %d", g_app.firstShowPending ? 1 : 0);
    g_app.lastMinimiseTick = 0;
    Call(g_hooks.setShellFullScreen, true);
    if (!g_app.firstShowPending) {
        Call(g_hooks.takeInput);
        Call(g_hooks.showWindow);
        Call(g_hooks.restartFades);
        Call(g_hooks.refreshClock);
        SetTimer(kTimerReshow, 80);
        if (wParam == 1) {
            g_app.focusGuard = true;
            SetTimer(kTimerFocusGuard, 1000);
        }
    }
    return 0;
}

intptr_t OnKillFocus(uintptr_t, intptr_t) {
    KRA_LOG("WM_KILLFOCUS");
    Call(g_hooks.setShellFullScreen, false);
    Call(g_hooks.releaseInput);
    KillAllTimer();
    return 0;
}

intptr_t OnPaint(uintptr_t, intptr_t) {
    return 0;
}
intptr_t OnEraseBackground(uintptr_t, intptr_t) {
    return 1;
}

intptr_t OnSettingChange(uintptr_t wParam, intptr_t lParam) {
    if (wParam != kSettingChangeRotation || g_app.displayKind == 3) return 0;
    const uint8_t orientation =
        g_hooks.readDisplayOrientation ? g_hooks.readDisplayOrientation() : uint8_t(lParam);
    KRA_LOG("WM_SETTINGCHANGE: OA = %d, NA=%d", g_app.deviceOrientation, orientation);
    if (orientation == g_app.deviceOrientation) return 0;
    if (!g_app.profileRotatesItself) {
        g_app.deviceOrientation = orientation;
    } else {
        g_app.pendingOrientation = orientation;
    }
    if (!g_app.sensorPresent && !g_settings.ignoreScreenRotation) {
        SetTimer(kTimerRotation, 500);
    } else {
        Call(g_hooks.reapplyOrientation);
    }
    return 0;
}

intptr_t OnKeyDown(uintptr_t wParam, intptr_t) {
    Call(g_hooks.keyDown, uint32_t(wParam));
    return 0;
}
intptr_t OnKeyUp(uintptr_t wParam, intptr_t) {
    Call(g_hooks.keyUp, uint32_t(wParam));
    return 0;
}

// x in the low, y in the high 16 bits, both signed.
int PenX(intptr_t lParam) {
    return int16_t(lParam & 0xFFFF);
}
int PenY(intptr_t lParam) {
    return int16_t((lParam >> 16) & 0xFFFF);
}

intptr_t OnPenMove(uintptr_t, intptr_t lParam) {
    Call(g_hooks.penMove, PenX(lParam), PenY(lParam));
    return 0;
}
intptr_t OnPenDown(uintptr_t, intptr_t lParam) {
    Call(g_hooks.penDown, PenX(lParam), PenY(lParam));
    return 0;
}
intptr_t OnPenUp(uintptr_t, intptr_t lParam) {
    Call(g_hooks.penUp, PenX(lParam), PenY(lParam));
    return 0;
}

intptr_t OnActivate(uintptr_t, intptr_t) {
    KRA_LOG("Activate");
    Call(g_hooks.bringToFront);
    return 0;
}

intptr_t OnRestartTelephony(uintptr_t, intptr_t) {
    RestartTelephony();
    return 0;
}

// Pulling the headphones out pauses the music.
void HeadsetRemoved() {
    g_app.status[kSlotHeadset] = 0;
    if (!g_app.paused) TogglePause();
}

intptr_t OnSignal(uintptr_t wParam, intptr_t) {
    Call(g_hooks.signalChanged, uint8_t(wParam & 0xFF));
    return 0;
}
intptr_t OnOperator(uintptr_t, intptr_t) {
    Call(g_hooks.operatorChanged);
    return 0;
}
intptr_t OnNetworkType(uintptr_t wParam, intptr_t) {
    Call(g_hooks.networkTypeChanged, uint8_t(wParam & 0xFF));
    Call(g_hooks.operatorChanged);
    return 0;
}
intptr_t OnRingerProfile(uintptr_t, intptr_t) {
    Call(g_hooks.ringerProfileChanged);
    return 0;
}
intptr_t OnBluetooth(uintptr_t wParam, intptr_t) {
    g_app.status[kSlotBluetooth] = (wParam & 1) ? 4 : 0;
    StatusChanged();
    return 0;
}
intptr_t OnSlotTwo(uintptr_t wParam, intptr_t) {
    g_app.status[kSlotTwo] = (wParam & 2) ? 5 : 0;
    StatusChanged();
    return 0;
}
intptr_t OnHeadsetPlug(uintptr_t wParam, intptr_t) {
    if (wParam != 0) {
        g_app.status[kSlotHeadset] = 8;
    } else {
        HeadsetRemoved();
    }
    StatusChanged();
    return 0;
}
intptr_t OnSlotFour(uintptr_t wParam, intptr_t) {
    g_app.status[kSlotFour] = wParam != 0 ? 7 : 0;
    StatusChanged();
    Call(g_hooks.operatorChanged);
    return 0;
}
intptr_t OnHeadsetBits(uintptr_t wParam, intptr_t) {
    if (wParam == 0) {
        HeadsetRemoved();
    } else if (wParam & 0x10) {
        g_app.status[kSlotHeadset] = 8;
    } else if (wParam & 0x04) {
        g_app.status[kSlotHeadset] = 9;
    }
    StatusChanged();
    return 0;
}
intptr_t OnHeadsetWired(uintptr_t wParam, intptr_t) {
    if (wParam == 0) {
        HeadsetRemoved();
    } else {
        g_app.status[kSlotHeadset] = 6;
    }
    StatusChanged();
    return 0;
}
intptr_t OnSensorOrientation(uintptr_t wParam, intptr_t lParam) {
    Call(g_hooks.sensorOrientationEvent, wParam, lParam);
    return 0;
}

struct MessageEntry {
    uint32_t message;
    MessageHandler handler;
};

const MessageEntry kMessages[] = {
    {platform::kWmCreate, OnCreateMessage},
    {platform::kWmDestroy, OnClose},
    {platform::kWmClose, OnClose},
    {platform::kWmSetFocus, OnSetFocus},
    {platform::kWmKillFocus, OnKillFocus},
    {platform::kWmPaint, OnPaint},
    {platform::kWmEraseBkgnd, OnEraseBackground},
    {platform::kWmSettingChange, OnSettingChange},
    {platform::kWmActivateApp, OnActivate},
    {platform::kWmKeyDown, OnKeyDown},
    {platform::kWmKeyUp, OnKeyUp},
    {platform::kWmCommand, OnCommand},
    {platform::kWmTimer, OnTimer},
    {platform::kWmMouseMove, OnPenMove},
    {platform::kWmLButtonDown, OnPenDown},
    {platform::kWmLButtonUp, OnPenUp},
    {kMsgRestartTelephony, OnRestartTelephony},
    {kMsgSignal, OnSignal},
    {kMsgOperator, OnOperator},
    {kMsgNetworkType, OnNetworkType},
    {kMsgRingerProfile, OnRingerProfile},
    {kMsgBluetooth, OnBluetooth},
    {kMsgSlotTwo, OnSlotTwo},
    {kMsgHeadsetPlug, OnHeadsetPlug},
    {kMsgSlotFour, OnSlotFour},
    {kMsgHeadsetBits, OnHeadsetBits},
    {kMsgSensorOrientation, OnSensorOrientation},
    {kMsgHeadsetWired, OnHeadsetWired},
};

std::vector<MessageEntry> g_registered;

}  // namespace

void RegisterMessageHandler(uint32_t message, MessageHandler handler) {
    for (MessageEntry& entry : g_registered) {
        if (entry.message == message) {
            entry.handler = handler;
            return;
        }
    }
    g_registered.push_back({message, handler});
}

void ClearRegisteredMessageHandlers() {
    g_registered.clear();
    g_registeredTimers.clear();
}

void RegisterTimerHandler(uint32_t id, TimerHandler handler, bool oneShot) {
    for (TimerEntry& entry : g_registeredTimers) {
        if (entry.id == id) {
            entry = {id, oneShot, handler};
            return;
        }
    }
    g_registeredTimers.push_back({id, oneShot, handler});
}

intptr_t WindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    for (const MessageEntry& entry : kMessages) {
        if (entry.message == message) return entry.handler(wParam, lParam);
    }
    for (const MessageEntry& entry : g_registered) {
        if (entry.message == message) return entry.handler(wParam, lParam);
    }
    return 0;  // the default window procedure does nothing more here
}

void SetMusicVolume(int volume) {
    g_settings.musicVolume = uint32_t(std::clamp(volume, 0, 100));
    Call(g_hooks.applyVolume, g_settings.musicVolume);
}

void KillAllTimer() {
    KillTimer(kTimerAnimation);
    KillTimer(kTimerClock);
    KillTimer(kTimerScreenOff);
    KillTimer(kTimerScreenOffAc);
    KRA_LOG("KillAllTimer");
}

}  // namespace kra
