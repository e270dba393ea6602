// Window creation: the start-up sequence, the workers, and Show.
#include <cstdio>

#include "app/base/app_state.h"
#include "app/base/debug_log.h"
#include "app/base/hooks.h"
#include "app/base/settings.h"
#include "app/base/text.h"
#include "app/base/worker_pair.h"
#include "app/shell.h"
#include "platform/message_loop.h"
#include "platform/registry.h"

namespace kra {

namespace {

// The player's event protocol: minor version 2 takes the end of a song from
// the media-ended state and a pending resume from the buffering state.
constexpr uint32_t kEventProtocolMajor = 5;
constexpr uint32_t kEventProtocolMinor = 2;

// A failed player or screen start: the reason goes to the log and to the
// user, then start-up stops.
void ReportStartFailure(const std::u16string& error) {
    const std::u16string text = error.empty() ? u"KRA could not start." : error;
    KRA_LOG("%s", Utf16ToUtf8(text).c_str());
    if (g_hooks.showFailure) {
        g_hooks.showFailure(text);
    } else {
        ShowNotice(text);
    }
}

template <auto Hook>
bool HookPresent() {
    return g_hooks.*Hook != nullptr;
}

// ---- InitApplication ----

bool StepResetOrientation() {
    if (g_hooks.resetDisplayOrientation && !g_hooks.resetDisplayOrientation()) return false;
    g_app.deviceOrientation = 0;
    g_app.drawingOrientation = 0;
    g_app.pendingOrientation = 0;
    return true;
}
bool StepIndicators() {
    g_hooks.readHardwareIndicators();
    return true;
}
bool StepSettings() {
    LoadSettings();
    g_debugOn = g_settings.debugOn != 0;
    return true;
}
bool StepControlBar() {
    g_app.controlBarHeight = (g_settings.albumLayout == 2 ? 60 : 50) * g_app.uiScale;
    return true;
}
bool StepVersionLine() {
    KRA_LOG("KRA v0.70 by Movo");
    return true;
}
bool StepSensor() {
    g_app.sensorPresent = g_hooks.detectSensor();
    return true;
}
bool StepPlayer() {
    std::u16string error;
    if (g_hooks.createPlayer(error)) return true;
    ReportStartFailure(error);
    return false;
}
bool StepOsVersion() {
    g_app.osMajor = kEventProtocolMajor;
    g_app.osMinor = kEventProtocolMinor;
    return true;
}
bool StepScreen() {
    std::u16string error;
    if (g_hooks.openScreen(g_settings.displayMode + 1, error)) return true;
    ReportStartFailure(error);
    return false;
}
bool StepScreenLine() {
    KRA_LOG("WM%d.%d sysWidth=%d sysHeight=%d A=%d D=%d", int(g_app.osMajor), int(g_app.osMinor),
            g_app.displayWidth, g_app.displayHeight, g_app.drawingOrientation,
            g_settings.displayMode + 1);
    return true;
}
bool StepLayout() {
    g_hooks.layoutScreens();
    return true;
}
bool StepFolders() {
    const std::u16string& music = g_settings.musicFolder;
    KRA_LOG("<%s>", Utf16ToUtf8(music).c_str());
    g_app.browseFolder = music;
    const size_t cut = music.rfind(u'\\');
    if (cut == std::u16string::npos) {
        g_app.workingFolder = music;
    } else {
        g_app.workingFolder = cut == 0 ? u"\\" : music.substr(0, cut);
    }
    return true;
}
bool StepSkin() {
    g_hooks.loadSkin();
    return true;
}
bool StepLanguage() {
    g_hooks.loadLanguage();
    return true;
}
bool StepStatusBar() {
    if (g_hooks.refreshStatusBar) g_hooks.refreshStatusBar();
    KRA_LOG("<%s>", Utf16ToUtf8(g_app.workingFolder).c_str());
    return true;
}
bool StepLibraryLists() {
    g_hooks.loadLibraryLists();
    return true;
}
bool StepTrackLoaded() {
    if (!g_settings.lastMusic.empty()) g_app.trackLoaded = true;
    return true;
}
bool StepIndexes() {
    g_hooks.buildIndexes();
    return true;
}
bool StepPlayerSettings() {
    if (g_hooks.applyPlayerSettings) g_hooks.applyPlayerSettings();
    return !g_hooks.createProbe || g_hooks.createProbe();
}
bool StepLcdOff() {
    g_app.lcdOffSupported = g_hooks.queryLcdOff();
    return true;
}
bool StepAudioPower() {
    g_hooks.audioPowerUp();
    return true;
}
// A timeout of 0 or none at all counts as 999 seconds.
uint32_t ReadSuspendSeconds(const char16_t* name) {
    platform::RegValue value;
    uint32_t seconds = 0;
    if (platform::RegQueryValue(platform::RegRoot::LocalMachine,
                                u"System\\CurrentControlSet\\Control\\Power\\Timeouts", name, 4,
                                value)) {
        for (size_t i = 0; i < value.data.size(); ++i)
            seconds |= uint32_t(value.data[i]) << (8 * i);
    }
    return seconds == 0 ? 999 : seconds;
}
bool StepSuspendTimeout() {
    const uint64_t seconds = std::min(ReadSuspendSeconds(u"BattSuspendTimeout"),
                                      ReadSuspendSeconds(u"ACSuspendTimeout"));
    // Kept within a timer's range however large the stored value is.
    const uint64_t ms = std::min<uint64_t>(seconds * 1000 - 500, 0x7FFFFFFF);
    g_app.suspendTimeout = uint32_t(ms);
    KRA_LOG("suspendTimout %d", int(g_app.suspendTimeout));
    return true;
}
bool StepTelephony() {
    g_hooks.telephonyInit();
    return true;
}
bool StepBluetoothLine() {
    KRA_LOG("BT=%d BTHd=%d", g_app.status[kSlotBluetooth], g_app.status[kSlotHeadset]);
    return true;
}
// The remote-control server serves desktop shells, lock screens and command
// line tools as well as headsets, so it starts whatever the Bluetooth state.
bool StepRemotePlugins() {
    g_hooks.setUpRemotePlugins();
    return true;
}
bool StepShow() {
    Show();
    return true;
}

const std::vector<ShellStep> kInitSteps = {
    {1, "display orientation", nullptr, StepResetOrientation},
    {2, "status indicators", HookPresent<&AppHooks::readHardwareIndicators>, StepIndicators},
    {3, "settings", nullptr, StepSettings},
    {4, "control bar height", nullptr, StepControlBar},
    {5, "version line", nullptr, StepVersionLine},
    {6, "G-sensor", HookPresent<&AppHooks::detectSensor>, StepSensor},
    {7, "player control", HookPresent<&AppHooks::createPlayer>, StepPlayer},
    {8, "player event protocol", nullptr, StepOsVersion},
    {9, "screen output", HookPresent<&AppHooks::openScreen>, StepScreen},
    {10, "screen line", nullptr, StepScreenLine},
    {11, "layout", HookPresent<&AppHooks::layoutScreens>, StepLayout},
    {12, "folders", nullptr, StepFolders},
    {13, "skin", HookPresent<&AppHooks::loadSkin>, StepSkin},
    {14, "language", HookPresent<&AppHooks::loadLanguage>, StepLanguage},
    {15, "status bar", nullptr, StepStatusBar},
    {16, "library lists", HookPresent<&AppHooks::loadLibraryLists>, StepLibraryLists},
    {17, "track loaded", nullptr, StepTrackLoaded},
    {18, "album and artist lists", HookPresent<&AppHooks::buildIndexes>, StepIndexes},
    {19, "player settings and probe", nullptr, StepPlayerSettings},
    {20, "LCD-off support", HookPresent<&AppHooks::queryLcdOff>, StepLcdOff},
    {21, "audio power", HookPresent<&AppHooks::audioPowerUp>, StepAudioPower},
    {22, "suspend timeout", nullptr, StepSuspendTimeout},
    {23, "telephony", HookPresent<&AppHooks::telephonyInit>, StepTelephony},
    {24, "Bluetooth line", nullptr, StepBluetoothLine},
    {25, "remote-control plug-ins", HookPresent<&AppHooks::setUpRemotePlugins>, StepRemotePlugins},
    {26, "show", nullptr, StepShow},
};

// ---- Creation ----

bool AbandonStart() {
    g_app.shutdownDone = true;  // nothing to shut down: quit straight away
    if (g_hooks.restoreMediaLibrary) g_hooks.restoreMediaLibrary();
    platform::PostQuitMessage(0);
    return false;
}

bool CreateStoreWindow() {
    g_app.windowCreated = true;
    return true;
}
bool CreateRunInit() {
    return InitApplication() || AbandonStart();
}
bool CreateArtCacheWorker() {
    if (g_artCacheWorker.Start([] { g_hooks.artCacheWork(); })) return true;
    KRA_LOG("Error: StartAFEvent");
    g_app.artCacheAbort = true;
    g_artCacheWorker.Stop(500);
    return AbandonStart();
}
bool CreateListArtWorker() {
    if (!g_listArtWorker.Start([] { g_hooks.listArtWork(); })) KRA_LOG("Error: StartAFEvent");
    return true;
}
bool CreatePowerWatcher() {
    g_hooks.startPowerWatcher();
    return true;
}
bool SensorWanted() {
    return g_app.sensorPresent && g_hooks.startSensor != nullptr;
}
bool CreateSensor() {
    g_hooks.startSensor();
    return true;
}

const std::vector<ShellStep> kCreationSteps = {
    {1, "window handle", nullptr, CreateStoreWindow},
    {2, "InitApplication", nullptr, CreateRunInit},
    {3, "ArtCacheWorker", HookPresent<&AppHooks::artCacheWork>, CreateArtCacheWorker},
    {4, "ListArtWorker", HookPresent<&AppHooks::listArtWork>, CreateListArtWorker},
    {5, "PowerWatcher", HookPresent<&AppHooks::startPowerWatcher>, CreatePowerWatcher},
    {6, "G-sensor", SensorWanted, CreateSensor},
};

bool RunSteps(const std::vector<ShellStep>& steps) {
    for (const ShellStep& step : steps) {
        if (step.present && !step.present()) continue;
        if (!step.run()) return false;
    }
    return true;
}

}  // namespace

const std::vector<ShellStep>& InitApplicationSteps() {
    return kInitSteps;
}
const std::vector<ShellStep>& CreationSteps() {
    return kCreationSteps;
}

bool InitApplication() {
    return RunSteps(kInitSteps);
}

intptr_t OnCreate() {
    RunSteps(kCreationSteps);
    return 0;
}

void ShowNotice(const std::u16string& text) {
    if (g_hooks.showNotice) {
        g_hooks.showNotice(text);
        return;
    }
    std::fprintf(stderr, "KRA: %s\n", Utf16ToUtf8(text).c_str());
}

void Show() {
    if (g_app.firstShowPending) {
        if (g_settings.saveLastMusic) {
            if (!g_settings.lastMusic.empty()) {
                platform::SetTimer(kTimerReloadTrack, 0);
                g_app.screen = kScreenNowPlaying;
            } else if (g_hooks.selectStoredAlbum) {
                g_hooks.selectStoredAlbum();
            }
        }
        if (g_hooks.showWindow) g_hooks.showWindow();
        g_app.firstShowPending = false;
    }
    if (g_hooks.redrawScreen) g_hooks.redrawScreen();
    if (g_hooks.fadeIn) g_hooks.fadeIn(6);
    if (g_hooks.setAllTimer) g_hooks.setAllTimer();
    // The first-start notes wait until the window is up, and never hold
    // start-up: they are shown, not waited on.
    std::vector<std::u16string> notices;
    notices.swap(g_app.pendingNotices);
    for (const std::u16string& text : notices) ShowNotice(text);
}

}  // namespace kra
