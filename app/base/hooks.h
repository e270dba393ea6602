// Entry points that the shell calls into modules built on top of it.
//
// The start-up and shutdown sequences and the event tables of the main
// window name every action; the actions that belong to the player, the
// screens, the library and the device integration are reached through these
// pointers. A module fills in its own entries when it is initialised; an
// empty entry means the module is not part of this build yet, and the shell
// then leaves that action out (a step returning bool counts as succeeded).
//
// All hooks run on the main window's thread except the two worker bodies.
#pragma once
#include <cstdint>
#include <string>

namespace kra {

struct AppHooks {
    // The main window.
    void (*showWindow)() = nullptr;                   // enable, show, bring to front
    void (*bringToFront)() = nullptr;                 // another program asked
    void (*setShellFullScreen)(bool full) = nullptr;  // hide or show the desktop's bars
    void (*minimizeWindow)() = nullptr;

    // Display and screen output.
    bool (*resetDisplayOrientation)() = nullptr;  // false: cannot set 0
    bool (*openScreen)(int displayMode, std::u16string& error) = nullptr;
    void (*layoutScreens)() = nullptr;              // from size and scale
    uint8_t (*readDisplayOrientation)() = nullptr;  // after a rotation
    void (*reapplyOrientation)() = nullptr;         // undo a rotation
    void (*rebuildSurfaces)() = nullptr;            // for the device orientation
    void (*resetOrientationTo0)() = nullptr;        // rotate the display back
    void (*layoutForOrientation)(uint8_t orientation) = nullptr;
    void (*redrawScreen)() = nullptr;  // current screen from scratch
    void (*fadeIn)(int step) = nullptr;
    void (*fadeOut)(int step) = nullptr;
    void (*releaseScreen)() = nullptr;

    // Skin, language, status bar.
    void (*loadSkin)() = nullptr;
    void (*loadLanguage)() = nullptr;
    void (*readHardwareIndicators)() = nullptr;  // fills the status slots
    void (*refreshStatusBar)() = nullptr;        // clock, battery, operator
    void (*refreshClock)() = nullptr;
    void (*statusChanged)() = nullptr;  // a slot changed
    void (*signalChanged)(uint8_t raw) = nullptr;
    void (*operatorChanged)() = nullptr;
    void (*networkTypeChanged)(uint8_t type) = nullptr;
    void (*ringerProfileChanged)() = nullptr;

    // Input and screens.
    void (*penDown)(int x, int y) = nullptr;
    void (*penMove)(int x, int y) = nullptr;
    void (*penUp)(int x, int y) = nullptr;
    void (*keyDown)(uint32_t key) = nullptr;
    void (*keyUp)(uint32_t key) = nullptr;
    void (*takeInput)() = nullptr;          // keys and screen back
    void (*releaseInput)() = nullptr;       // keys and screen given back
    void (*restartFades)() = nullptr;       // fade timing of animations
    void (*animationTick)() = nullptr;      // timer 0x405
    void (*albumFlowTick)() = nullptr;      // timer 0x410
    void (*selectStoredAlbum)() = nullptr;  // first show, no last track
    void (*positionTick)() = nullptr;       // timer 0x40A

    // Library.
    void (*loadLibraryLists)() = nullptr;
    void (*buildIndexes)() = nullptr;
    void (*writeListFiles)() = nullptr;

    // Player and play queue.
    bool (*createPlayer)(std::u16string& error) = nullptr;
    void (*applyPlayerSettings)() = nullptr;  // volume, auto-start, dialogs
    bool (*createProbe)() = nullptr;
    void (*closeProbe)() = nullptr;
    void (*applyVolume)(uint32_t volume) = nullptr;
    void (*togglePause)() = nullptr;
    void (*nextTrack)() = nullptr;
    void (*previousTrack)() = nullptr;
    void (*randomTrack)() = nullptr;
    void (*playerPlay)() = nullptr;
    void (*stopPlayer)() = nullptr;
    void (*releasePlayer)(int group) = nullptr;  // groups 1..3
    void (*refreshFromPlayer)() = nullptr;
    void (*applyPendingResume)() = nullptr;
    void (*reloadLastTrack)() = nullptr;  // timer 0x411
    // Fills the last track for SaveLastTrack: path, position and history
    // counter. Without it the stored last track is left as it is.
    bool (*currentTrack)(std::u16string& path, uint32_t& position,
                         uint32_t& playIdentity) = nullptr;
    void (*restoreMediaLibrary)() = nullptr;

    // Power and screen-off.
    void (*setAllTimer)() = nullptr;
    bool (*queryLcdOff)() = nullptr;
    void (*audioPowerUp)() = nullptr;
    void (*audioPowerRelease)() = nullptr;
    void (*startPowerWatcher)() = nullptr;
    void (*stopPowerWatcher)() = nullptr;
    void (*noteRemote)() = nullptr;
    void (*keepAwake)() = nullptr;                    // timer 0x40B
    void (*screenOff)(bool externalPower) = nullptr;  // timers 0x40C, 0x40D
    // System volume and sound type, captured and restored around a run.
    bool (*readSystemVolume)(uint32_t& volume, uint32_t& soundState) = nullptr;
    void (*setSystemVolume)(uint32_t volume) = nullptr;
    void (*setSoundState)(uint32_t soundState) = nullptr;
    void (*holdOff)() = nullptr;  // timer 0x418

    // Telephony, sensor, remote controls.
    void (*telephonyInit)() = nullptr;
    void (*telephonyShutdown)() = nullptr;
    void (*callEndResume)() = nullptr;  // timer 0x40F
    bool (*detectSensor)() = nullptr;
    void (*startSensor)() = nullptr;  // creation: orientation, shake
    void (*stopSensor)() = nullptr;
    void (*sensorOrientationEvent)(uintptr_t wParam, intptr_t lParam) = nullptr;
    void (*applySensorOrientation)() = nullptr;  // timer 0x415
    void (*startShakePolling)() = nullptr;       // timer 0x417
    void (*setUpRemotePlugins)() = nullptr;
    void (*releaseRemotePlugins)() = nullptr;
    void (*hookRemotePlugin)() = nullptr;  // timer 0x416

    // Bodies of the two cache workers, run on their own threads once per wake.
    void (*artCacheWork)() = nullptr;
    void (*listArtWork)() = nullptr;

    // Shows a message to the user inside the window; stderr when empty.
    void (*showNotice)(const std::u16string& text) = nullptr;
    // Shows why the player cannot start (it quits afterwards); may block.
    void (*showFailure)(const std::u16string& text) = nullptr;
};

extern AppHooks g_hooks;

void ResetAppHooks();

}  // namespace kra
