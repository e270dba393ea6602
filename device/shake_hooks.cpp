// The shell's side of the sensors: detection, start and stop at creation
// and shutdown, and the orientation events that switch between the
// now-playing screen and the album flow.
#include <string>

#include "app/base/app_state.h"
#include "app/base/debug_log.h"
#include "app/base/hooks.h"
#include "app/base/settings.h"
#include "device/shake.h"
#include "platform/message_loop.h"
#include "platform/sensor.h"
#include "platform/window.h"
#include "screens/screen_router.h"

namespace kra {

SensorOrientation g_sensorOrientation;
uint32_t (*g_readOrientation)() = &platform::CurrentOrientation;

namespace {

bool g_sensorStarted = false;

// On the proxy's bus thread: each new orientation becomes message 0x803C.
void OrientationFromBus(uint32_t value) {
    platform::PostMessage(kMsgSensorOrientation, value, 0);
}

bool DetectSensor() {
    std::string why;
    const bool found = platform::DetectGSensor(&why);
    KRA_LOG("GSensor: %s", why.c_str());
    return found;
}

void StartSensor() {
    g_sensorStarted = true;
    bool watching = false;
    if (!g_settings.ignoreScreenRotation) {
        watching = platform::StartOrientationWatch(&OrientationFromBus);
        const uint32_t value = g_readOrientation();
        g_sensorOrientation.stored = value ? uint8_t(value & 15) : kOrientationNone;
    }
    bool shaking = false;
    if (g_settings.shakeAction) {
        std::string why;
        if (platform::OpenMotionSensors(&why)) {
            shaking = StartShakeControl();
        } else {
            KRA_LOG("GSensor: %s; no shake control", why.c_str());
        }
    }
    KRA_LOG("Init GSensor %d(%d) %d", watching ? 1 : 0, int(g_sensorOrientation.stored),
            shaking ? 1 : 0);
}

void StopSensor() {
    // The poller's sleeps end on its quit event; 500 ms of grace.
    const bool ended = StopShakeControl(500);
    platform::CloseMotionSensors();
    platform::StopOrientationWatch();
    if (g_sensorStarted) KRA_LOG("Close GSensor %d %d", ended ? 1 : 0, 1);
    g_sensorStarted = false;
}

void SensorOrientationEvent(uintptr_t wParam, intptr_t) {
    OnSensorOrientation(uint32_t(wParam));
}

intptr_t OnShakeShuffleMessage(uintptr_t, intptr_t) {
    OnShakeShuffle();
    return 0;
}

bool ScreenIsOff() {
    return g_shakeHost.screenOff && g_shakeHost.screenOff();
}

void SwitchScreen(uint8_t screen, bool rememberPrevious) {
    if (g_shakeHost.showScreen) {
        g_shakeHost.showScreen(screen, rememberPrevious);
    } else {
        ShowScreen(screen, rememberPrevious);
    }
}

bool Landscape(uint8_t o) {
    return o == 0 || o == 1;
}
bool Portrait(uint8_t o) {
    return o == 2 || o == 3;
}

}  // namespace

void OnSensorOrientation(uint32_t value) {
    SensorOrientation& s = g_sensorOrientation;
    KRA_LOG("GSensor %0x %d %d", value, int(s.stored), ScreenIsOff() ? 1 : 0);
    if (value == 0) {
        s.stored = kOrientationNone;
        return;
    }
    if (s.stored == kOrientationNone) {
        s.stored = uint8_t(value & 15);
        return;
    }
    const bool foreground =
        g_shakeHost.foreground ? g_shakeHost.foreground() : platform::IsMainWindowForeground();
    if (ScreenIsOff() || !foreground) return;
    s.pending = uint8_t(value & 15);
    platform::SetTimer(kTimerSensorApply, 500);
}

void ApplySensorOrientation() {
    SensorOrientation& s = g_sensorOrientation;
    const uint32_t now = g_readOrientation();
    if (now == 0 || (now & 15) != s.pending) return;
    if (g_app.screen == kScreenNowPlaying && Portrait(s.stored) && Landscape(s.pending)) {
        if (!g_settings.noAlbumFlow) SwitchScreen(kScreenAlbumFlow, true);
    } else if (g_app.screen == kScreenAlbumFlow && Landscape(s.stored) && Portrait(s.pending)) {
        SwitchScreen(kScreenNowPlaying, false);
    }
    if (s.pending < 4) s.stored = s.pending;
}

void InstallShakeHooks(ShakeRegisterMessage registerMessage) {
    g_hooks.detectSensor = &DetectSensor;
    g_hooks.startSensor = &StartSensor;
    g_hooks.stopSensor = &StopSensor;
    g_hooks.sensorOrientationEvent = &SensorOrientationEvent;
    g_hooks.applySensorOrientation = &ApplySensorOrientation;
    g_hooks.startShakePolling = &StartShakePolling;
    if (registerMessage) registerMessage(kMsgShakeShuffle, &OnShakeShuffleMessage);
}

void ResetShakeControl() {
    StopShakeControl(500);
    g_sensorStarted = false;
    g_sensorOrientation = SensorOrientation{};
    g_readOrientation = &platform::CurrentOrientation;
    g_shakeHost = ShakeHost{};
    g_shakeFlags.paused.store(true);
    g_shakeFlags.screenOff.store(false);
    g_shakeFlags.action.store(0);
    g_shakeFlags.threshold.store(100);
    ResetShakeIo();
}

}  // namespace kra
