// Closing the main window: the shutdown sequence in its fixed order.
#include "app/base/app_state.h"
#include "app/base/debug_log.h"
#include "app/base/hooks.h"
#include "app/base/settings.h"
#include "app/base/worker_pair.h"
#include "app/shell.h"
#include "platform/message_loop.h"

namespace kra {

namespace {

template <typename Hook, typename... Args>
void Call(Hook hook, Args... args) {
    if (hook) hook(args...);
}

bool StepUnlock() {
    KRA_LOG("Unlock");
    return true;
}
bool StepKillTimers() {
    KillAllTimer();
    return true;
}
bool StepStoreFolderAndTrack() {
    WriteString(u"LastFolder", g_settings.musicFolder);
    // The play queue knows the track and its position; without it the
    // stored last track stays as it was.
    std::u16string path;
    uint32_t position = 0, playIdentity = g_settings.lastPlayIdentity;
    if (g_hooks.currentTrack && g_hooks.currentTrack(path, position, playIdentity)) {
        SaveLastTrack(g_app.trackLoaded, path, g_app.paused, position, playIdentity);
    }
    return true;
}
bool StepStopPlayer() {
    if (!g_app.paused) Call(g_hooks.stopPlayer);
    return true;
}
bool StepStoreSlide() {
    WriteByte(u"LastShowSlide", g_settings.lastShowSlide);
    return true;
}
bool StepSystemVolume() {
    if (!g_settings.saveLastSystemVolume || !g_settings.systemVolumeCaptured) return true;
    uint32_t volume = 0, soundState = 0;
    if (!g_hooks.readSystemVolume || !g_hooks.readSystemVolume(volume, soundState)) return true;
    KRA_LOG("LastSystemVolume %0X(%0X) P=%0X", volume, g_settings.startSystemVolume, soundState);
    WriteDword(u"LastSystemVolume", volume);
    WriteDword(u"LastSystemVolumeState", soundState);
    Call(g_hooks.setSystemVolume, g_settings.startSystemVolume);
    Call(g_hooks.setSoundState, g_settings.startSoundState);
    return true;
}
bool StepClearNowPlaying() {
    WriteNowPlaying(u"", u"", u"");
    WriteString(u"CurrentAlbum", u"");
    return true;
}
bool StepCompanions() {
    KRA_LOG("Closing 1");
    return true;
}
bool StepSensor() {
    Call(g_hooks.stopSensor);
    return true;
}
bool StepPlugins() {
    Call(g_hooks.releaseRemotePlugins);
    return true;
}
bool StepReleasePlayer() {
    for (int group = 1; group <= 3; ++group) {
        Call(g_hooks.releasePlayer, group);
        KRA_LOG("Closing %d", group + 1);
    }
    return true;
}
bool StepAudioPower() {
    KRA_LOG("Restore WAV %d", g_app.audioPowerHeld ? 1 : 0);
    if (g_app.audioPowerHeld) Call(g_hooks.audioPowerRelease);
    KRA_LOG("Closing 5");
    return true;
}
bool StepPowerWatcher() {
    Call(g_hooks.stopPowerWatcher);
    KRA_LOG("Closing 6");
    return true;
}
bool StepTelephony() {
    Call(g_hooks.telephonyShutdown);
    KRA_LOG("Closing 7");
    return true;
}
bool StepProbe() {
    Call(g_hooks.closeProbe);
    KRA_LOG("Closing 8");
    return true;
}
bool StepWorkers() {
    g_app.artCacheAbort = true;
    g_artCacheWorker.Stop(500);
    g_listArtWorker.Stop(500);
    return true;
}
bool StepMediaLibrary() {
    Call(g_hooks.restoreMediaLibrary);
    KRA_LOG("Closing 9");
    return true;
}
bool StepScreenAndLists() {
    Call(g_hooks.fadeOut, 6);
    Call(g_hooks.releaseScreen);
    Call(g_hooks.minimizeWindow);
    Call(g_hooks.writeListFiles);
    KRA_LOG("Closing 10");
    return true;
}

const std::vector<ShellStep> kShutdownSteps = {
    {1, "unlock", nullptr, StepUnlock},
    {2, "timers", nullptr, StepKillTimers},
    {3, "last folder and track", nullptr, StepStoreFolderAndTrack},
    {4, "stop player", nullptr, StepStopPlayer},
    {5, "position slider", nullptr, StepStoreSlide},
    {6, "system volume", nullptr, StepSystemVolume},
    {7, "now-playing values", nullptr, StepClearNowPlaying},
    {8, "companion programs", nullptr, StepCompanions},
    {9, "sensor", nullptr, StepSensor},
    {10, "plug-ins", nullptr, StepPlugins},
    {11, "player control", nullptr, StepReleasePlayer},
    {12, "audio power", nullptr, StepAudioPower},
    {13, "power watcher", nullptr, StepPowerWatcher},
    {14, "telephony", nullptr, StepTelephony},
    {15, "media probe", nullptr, StepProbe},
    {16, "workers", nullptr, StepWorkers},
    {17, "media library files", nullptr, StepMediaLibrary},
    {18, "screen and list files", nullptr, StepScreenAndLists},
};

}  // namespace

const std::vector<ShellStep>& ShutdownSteps() {
    return kShutdownSteps;
}

void Shutdown() {
    // WM_CLOSE and WM_DESTROY both lead here; the sequence runs once.
    if (!g_app.shutdownDone) {
        g_app.shutdownDone = true;
        for (const ShellStep& step : kShutdownSteps) {
            if (!step.present || step.present()) step.run();
        }
    }
    platform::PostQuitMessage(0);
}

}  // namespace kra
