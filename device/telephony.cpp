#include "device/telephony.h"

#include <algorithm>

#include "app/base/app_state.h"
#include "app/base/debug_log.h"
#include "app/base/hooks.h"
#include "app/base/settings.h"
#include "platform/clock.h"
#include "platform/message_loop.h"
#include "platform/modem-lines.h"

namespace kra {

Telephony g_telephony;
TelephonyHost g_telephonyHost;

namespace {

constexpr uint32_t kLineCallState = 2;  // message kind of a call-state change
constexpr uint32_t kResumeDelayMs = 2500;
constexpr uint32_t kReinitWindowMs = 5000;
constexpr uint32_t kReinitRetryMs = 100;
// More lines than any phone has: the count is damaged.
constexpr uint32_t kMaxDevices = 4096;

LiveCall* FindCall(uint32_t call) {
    for (LiveCall& c : g_telephony.calls) {
        if (c.call == call) return &c;
    }
    return nullptr;
}

bool AnyIn(CallPhase phase) {
    return std::any_of(g_telephony.calls.begin(), g_telephony.calls.end(),
                       [phase](const LiveCall& c) { return c.phase == phase; });
}

// The flags follow the calls still up.
void RefreshFlags() {
    Telephony& t = g_telephony;
    t.callActive = t.firstCall != 0 || t.secondCall != 0 || AnyIn(CallPhase::kConnected);
    t.offered = AnyIn(CallPhase::kRinging);
    t.dialling = AnyIn(CallPhase::kDialling);
}

void Track(uint32_t call, CallPhase phase) {
    if (LiveCall* c = FindCall(call)) {
        c->phase = phase;
    } else {
        g_telephony.calls.push_back({call, phase});
    }
}

void RecordConnected(uint32_t call) {
    Telephony& t = g_telephony;
    if (call != t.firstCall && call != t.secondCall) {
        if (t.firstCall == 0) {
            t.firstCall = call;
        } else if (t.secondCall == 0) {
            t.secondCall = call;
        }
    }
    Track(call, CallPhase::kConnected);
}

void EndAway() {
    Telephony& t = g_telephony;
    t.away = false;
    t.pausedForCall = false;
    t.wasPlaying = false;
}

void Minimize() {
    if (g_telephonyHost.minimize) {
        g_telephonyHost.minimize();
        return;
    }
    if (g_hooks.fadeOut) g_hooks.fadeOut(6);
    if (g_hooks.releaseInput) g_hooks.releaseInput();
    if (g_hooks.minimizeWindow) g_hooks.minimizeWindow();
    g_app.lastMinimiseTick = platform::TickCount();
}

void OnDisconnected(uint32_t call) {
    Telephony& t = g_telephony;
    if (!IsVoiceCall(call)) {
        // A data call's end: the line service is started again.
        platform::SetTimer(kTimerTelephony, 0);
        return;
    }
    // A recorded call is cleared first, whatever else is going on.
    const bool recorded = call == t.firstCall || call == t.secondCall;
    if (call == t.firstCall) t.firstCall = 0;
    if (call == t.secondCall) t.secondCall = 0;
    const bool known = FindCall(call) != nullptr;
    std::erase_if(t.calls, [call](const LiveCall& c) { return c.call == call; });
    RefreshFlags();
    // A call this program never saw ring, dial or connect decides nothing.
    if (!known && !recorded) return;
    // Another call still rings, dials or talks: the music waits for it.
    if (!t.calls.empty()) return;
    ResumeAfterCallLater();
}

intptr_t OnLineEventsMessage(uintptr_t, intptr_t) {
    HandleLineEvents();
    return 0;
}

void InitHook() {
    if (g_telephony.closed) return;  // a late restart after the program's end
    InitTelephony("KRA");
}

void ShutdownHook() {
    if (g_app.shutdownDone) {
        CloseTelephony();
    } else {
        ShutdownTelephony();
    }
}

}  // namespace

void ResetTelephony() {
    g_telephony = Telephony{};
    g_telephonyHost = TelephonyHost{};
}

uint32_t InitTelephony(const char*) {
    Telephony& t = g_telephony;
    uint32_t count = 0, version = 0;
    const uint32_t start = platform::TickCount();
    uint32_t result = platform::LineInitialize(&count, &version);
    while (result == platform::kLineErrReinit &&
           uint32_t(platform::TickCount() - start) < kReinitWindowMs) {
        platform::Sleep(kReinitRetryMs);
        result = platform::LineInitialize(&count, &version);
    }
    if (result != 0) {
        KRA_LOG("TAPI: Initialize Fails 0x%0X", result);
        return result;
    }
    t.lineApp = true;
    t.deviceCount = count;
    if (count == 0) {
        KRA_LOG("TAPI: There are no devices available");
        return platform::kLineErrNoDevice;
    }
    if (count > kMaxDevices) {
        KRA_LOG("TAPI: Out of Memory");
        t.deviceCount = 0;
        return platform::kLineErrNoMem;
    }
    t.lines.assign(count, 0);
    KRA_LOG("TAPI: Initialized version 0x%0X", version);
    size_t slot = 0;
    for (uint32_t device = 0; device < count; ++device) {
        uint32_t negotiated = 0;
        if (platform::LineNegotiateApiVersion(device, platform::kLineApiLowVersion, version,
                                              &negotiated) != 0)
            continue;
        uint32_t line = 0;
        const uint32_t opened = platform::LineOpen(device, &line);
        if (opened != 0) {
            KRA_LOG("TAPI: Error 0x%0X", opened);
            continue;
        }
        t.lines[slot++] = line;
    }
    return 0;
}

void ShutdownTelephony() {
    Telephony& t = g_telephony;
    for (uint32_t line : t.lines) {
        if (line != 0) platform::LineClose(line);
    }
    if (t.lineApp) platform::LineShutdown();
    t.lineApp = false;
    t.lines.clear();
    t.deviceCount = 0;
    t.firstCall = 0;
    t.secondCall = 0;
    t.calls.clear();
    t.callActive = false;
    t.offered = false;
    t.dialling = false;
}

void CloseTelephony() {
    ShutdownTelephony();
    platform::KillTimer(kTimerTelephony);
    platform::KillTimer(kTimerCallResume);
    platform::LineStopWatch();
    g_telephony.closed = true;
    EndAway();
}

bool IsVoiceCall(uint32_t call) {
    uint32_t mode = 0;
    const bool known = platform::LineCallMediaMode(call, &mode);
    const bool voice = known && mode == platform::kMediaInteractiveVoice;
    KRA_LOG("TAPI: IsVoiceCall=0x%0X MediaMode=0x%0X", voice ? 1u : 0u, mode);
    return voice;
}

void PauseForCall() {
    Telephony& t = g_telephony;
    // A new call ends the wait for the resume of the last one.
    platform::KillTimer(kTimerCallResume);
    Minimize();
    if (!t.away) {
        t.away = true;
        t.wasPlaying = !g_app.paused;
    } else if (!g_app.paused) {
        t.wasPlaying = true;  // played again during the call
    }
    if (!g_app.paused) {
        if (g_hooks.togglePause) g_hooks.togglePause();
        t.pausedForCall = g_app.paused;
    }
}

void ResumeAfterCallLater() {
    if (g_settings.resumeAfterCall && g_telephony.wasPlaying) {
        platform::SetTimer(kTimerCallResume, kResumeDelayMs);
        return;
    }
    EndAway();
}

void CallEndResume() {
    Telephony& t = g_telephony;
    if (!t.calls.empty()) return;  // a call came up meanwhile; its end decides
    const bool resume = t.pausedForCall && g_app.paused;
    EndAway();
    if (resume && g_hooks.togglePause) g_hooks.togglePause();
}

void NotePlaybackResumed() {
    g_telephony.pausedForCall = false;
}

void OnLineEvent(uint32_t call, uint32_t messageKind, uint32_t state, bool initial) {
    if (messageKind != kLineCallState) return;
    Telephony& t = g_telephony;
    if (initial) {
        // Already up when the line opened (a restart): recorded, not acted on.
        if (state == platform::kCallConnected) {
            RecordConnected(call);
        } else if (state == platform::kCallOffering) {
            Track(call, CallPhase::kRinging);
        } else if (state == platform::kCallDialling) {
            Track(call, CallPhase::kDialling);
        }
        RefreshFlags();
        return;
    }
    switch (state) {
        case platform::kCallOffering: {
            const bool active = t.callActive;
            Track(call, CallPhase::kRinging);
            RefreshFlags();
            if (!active) PauseForCall();
            KRA_LOG("prev play %d", t.wasPlaying ? 1 : 0);
            break;
        }
        case platform::kCallDialling:
            if (!IsVoiceCall(call)) break;
            if (LiveCall* c = FindCall(call); c && c->phase == CallPhase::kDialling) break;
            PauseForCall();
            Track(call, CallPhase::kDialling);
            RefreshFlags();
            break;
        case platform::kCallConnected:
            KRA_LOG("Connected 0x%0X (0x%0X, 0x%0X)", call, t.firstCall, t.secondCall);
            if (!IsVoiceCall(call)) break;
            RecordConnected(call);
            RefreshFlags();
            break;
        case platform::kCallDisconnected:
            OnDisconnected(call);
            break;
        default:
            break;
    }
}

void HandleLineEvents() {
    for (const platform::LineCallEvent& e : platform::TakeLineEvents()) {
        if (g_telephony.closed) return;
        OnLineEvent(e.call, kLineCallState, e.state, e.initial);
    }
}

void InstallTelephonyHooks(RegisterMessageFn registerMessage) {
    g_hooks.telephonyInit = &InitHook;
    g_hooks.telephonyShutdown = &ShutdownHook;
    g_hooks.callEndResume = &CallEndResume;
    if (registerMessage) registerMessage(platform::kMsgLineEvents, &OnLineEventsMessage);
}

}  // namespace kra
