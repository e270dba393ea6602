// The process-wide state record of the player and the identifiers every
// module shares: screens, custom window messages, commands and timers.
//
// All fields are owned by the main window's thread; worker threads only read
// the atomic flags named as such.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace kra {

// Screens (the value of AppState::screen).
enum ScreenId : uint8_t {
    kScreenSongs = 1,     // song list of the browsed folder
    kScreenSubList = 2,   // list screen with a sub-list
    kScreenSubList2 = 3,  // list screen sharing the sub-list of screen 2
    kScreenNowPlaying = 4,
    kScreenAlbumFlow = 5,
    kScreenFolders = 6,
    kScreenAbout = 7,
};

// Status indicator slots (AppState::status is indexed by these numbers).
enum StatusSlot : uint8_t {
    kSlotBluetooth = 1,  // 0 or 4
    kSlotTwo = 2,        // 0 or 5
    kSlotHeadset = 3,    // 0, 6, 8 or 9
    kSlotFour = 4,       // 0 or 7
};

// Custom window messages.
constexpr uint32_t kMsgRestartTelephony = 0x040E;
constexpr uint32_t kMsgSignal = 0x800A;
constexpr uint32_t kMsgOperator = 0x8013;
constexpr uint32_t kMsgRingerProfile = 0x801E;
constexpr uint32_t kMsgBluetooth = 0x801F;
constexpr uint32_t kMsgSlotTwo = 0x8020;
constexpr uint32_t kMsgHeadsetPlug = 0x8027;
constexpr uint32_t kMsgSlotFour = 0x802C;
constexpr uint32_t kMsgHeadsetBits = 0x8034;
constexpr uint32_t kMsgSensorOrientation = 0x803C;
constexpr uint32_t kMsgNetworkType = 0x8042;
constexpr uint32_t kMsgHeadsetWired = 0x804F;

// WM_SETTINGCHANGE's wParam for a display rotation.
constexpr uintptr_t kSettingChangeRotation = 0x3002;

// Internal commands (WM_COMMAND, identifier in the low word of wParam).
enum Command : uint16_t {
    kCmdStatePaused = 2,
    kCmdStatePlaying = 3,
    kCmdStateBuffering = 6,
    kCmdStateMediaEnded = 8,
    kCmdRemotePause = 101,
    kCmdRemoteNext = 102,
    kCmdRemotePrevious = 103,
    kCmdRemoteNextIfPlaying = 104,
    kCmdRemoteRandom = 105,
    kCmdFirstPlaying = 201,
    kCmdEndOfTrack = 204,
    kCmdPause = 301,
    kCmdNext = 302,
    kCmdPrevious = 303,
    kCmdSetVolume = 304,
    kCmdStoreVolume = 305,
    kCmdHtcNext = 400,
    kCmdHtcPrevious = 401,
    kCmdHtcPause = 402,
    kCmdVolumeUp = 403,
    kCmdVolumeDown = 404,
};

// Timers, all owned by the main window.
enum Timer : uint32_t {
    kTimerAnimation = 0x405,     // 60 ms
    kTimerQuit = 0x406,          // 0 ms, one-shot
    kTimerClock = 0x407,         // 1,000 ms
    kTimerReshow = 0x408,        // 80 ms, one-shot
    kTimerPosition = 0x40A,      // 1,000 ms
    kTimerKeepAwake = 0x40B,     // suspend timeout
    kTimerScreenOff = 0x40C,     // OffLCD s, one-shot
    kTimerScreenOffAc = 0x40D,   // ACOffLCD s, one-shot
    kTimerTelephony = 0x40E,     // 0 ms, one-shot
    kTimerCallResume = 0x40F,    // 2,500 ms, one-shot
    kTimerAlbumFlow = 0x410,     // 45 ms
    kTimerReloadTrack = 0x411,   // 0 ms, one-shot
    kTimerFocusGuard = 0x413,    // 1,000 ms, one-shot
    kTimerSensorApply = 0x415,   // 500 ms, one-shot
    kTimerHookPlugin = 0x416,    // one-shot
    kTimerShakeStart = 0x417,    // 50 ms, one-shot
    kTimerHoldOff = 0x418,       // 250 ms, one-shot
    kTimerSystemVolume = 0x419,  // 500 ms, one-shot
    kTimerRotation = 0x41A,      // 500 ms, one-shot
};

struct AppState {
    // Set once the main window exists (the platform window is process-wide).
    bool windowCreated = false;
    uint8_t screen = kScreenSongs;
    uint8_t previousScreen = kScreenSongs;
    bool firstShowPending = true;
    // True while playback is paused or not started.
    bool paused = true;
    // A track is loaded in the player (LastMusic stored at start, or started).
    bool trackLoaded = false;
    bool penDown = false;
    // Set for one second after the focus returns; key releases are ignored.
    bool focusGuard = false;
    // Orientations: 0, 1, 2 or 4 for 0, 90, 180 and 270 degrees.
    uint8_t deviceOrientation = 0;
    uint8_t drawingOrientation = 0;
    uint8_t pendingOrientation = 0;
    bool sensorPresent = false;
    bool lcdOffSupported = false;
    // Keep-awake period in ms, computed at start-up.
    uint32_t suspendTimeout = 0;
    // Version of the player event protocol: minor 1 takes the end of a song
    // from the stopped state (command 204), later minors from media-ended (8).
    uint32_t osMajor = 0;
    uint32_t osMinor = 0;
    // Status bar icon numbers; index = StatusSlot (index 0 is not used here).
    uint8_t status[5] = {0, 0, 0, 0, 0};

    // Display profile as reported by the platform, and the scale that follows.
    int displayWidth = 480;
    int displayHeight = 800;
    int displayDpi = 192;
    int uiScale = 2;
    // Device profile: display kind 3 ignores rotation; a profile that rotates
    // by itself keeps the reported orientation as pending.
    int displayKind = 0;
    bool profileRotatesItself = false;
    // The now-playing control bar height (60 or 50 pixels times the scale).
    int controlBarHeight = 0;

    // Folders: the browse folder starts as the music folder, the working
    // folder is the music folder's parent.
    std::u16string browseFolder;
    std::u16string workingFolder;

    // Tick of the last minimise (0 = not since the last focus).
    uint32_t lastMinimiseTick = 0;
    // Play queue bookkeeping the shell's end-of-track handling reads.
    bool skipNextEnd = false;
    uint32_t lastTrackStartTick = 0;
    bool resumePending = false;
    // The audio power requirement is held (released at shutdown).
    bool audioPowerHeld = false;
    // Tested by the album-art worker after each item.
    std::atomic<bool> artCacheAbort{false};

    // Messages to show after the first Show (first start).
    std::vector<std::u16string> pendingNotices;
    bool shutdownDone = false;
};

extern AppState g_app;

// Puts every field back to its initial value (tests).
void ResetAppState();

// 2 when the display's density is at least 192 dpi, else 1.
inline int UiScaleForDpi(int dpi) {
    return dpi >= 192 ? 2 : 1;
}

}  // namespace kra
