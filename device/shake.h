// Shake control and sensor orientation.
//
// A poller thread samples the tilt sensor every 100 ms while music plays
// with the screen on. A shake is three hits in a row (a hit with both
// changes above 200 degrees counts twice), where a hit is a change of the
// two angles since the previous sample, T = ShakeThreshold and H = T / 2,
// all compared unsigned:
//     dY > T and dX > 15,  or  dY > 40 and dX > T,  or  dY > H and dX > H.
// A sample without a hit starts the count again. A shake completed within
// 1500 ms of the previous one is ignored and restarts the 1500 ms wait.
// The light sensor then has to agree (five reads 100 ms apart summing above
// 5: a pocket is dark; a failed read is left out and the others stand for
// it); without a light sensor, or when no read succeeds, the check passes. An
// accepted shake beeps and acts by ShakeAction: 1 next song (command 102),
// 2 a random song (105), 3 shuffle on and next (kMsgShakeShuffle), any other
// value only beeps.
//
//   idle --StartShakeControl--> waiting --timer 0x417--> polling
//   polling --StopShakeControl (stop flag + quit event)--> ended
//
// The poller only reads sensors and the atomic flags below and posts
// messages; everything it asks for runs on the main thread.
#pragma once
#include <atomic>
#include <cstdint>

namespace kra {

// Shuffle on (when off) and next song; posted by the poller for action 3.
inline constexpr uint32_t kMsgShakeShuffle = 0x8071;
inline constexpr uint32_t kShakeHoldOffMs = 1500;
inline constexpr uint32_t kShakeSampleMs = 100;
// The stored orientation when none is known.
inline constexpr uint8_t kOrientationNone = 255;

// What the detector keeps between samples.
struct ShakeDetector {
    int32_t previousX = 0;
    int32_t previousY = 0;
    uint32_t hits = 0;
    // Tick of the last time the hit count passed 2. Until that first
    // happens there is nothing to hold off against, so a shake right after
    // the start counts on any clock value.
    uint32_t lastShakeTick = 0;
    bool shakeSeen = false;
};

// Degrees into (-180, 180]: 350 is -10, -190 is 170, 180 stays.
int32_t NormaliseAngle(int64_t degrees);
// Starts the detector from a first reading.
void StartShakeDetector(ShakeDetector& detector, int32_t x, int32_t y);
// One tilt sample at tick `now`: true when it completes a shake that is not
// held off. The light check is the caller's.
bool ShakeSample(ShakeDetector& detector, int32_t x, int32_t y, uint32_t threshold, uint32_t now);

// What the poller reads and does. The defaults are the platform sensors,
// the platform beep and PostMessage; tests replace them before the poller
// starts.
struct ShakeIo {
    bool (*readTilt)(int32_t* x, int32_t* y) = nullptr;
    bool (*hasLight)() = nullptr;
    bool (*readLight)(uint8_t* value) = nullptr;
    void (*beep)() = nullptr;
    void (*post)(uint32_t message, uintptr_t wParam, intptr_t lParam) = nullptr;
    // Called on the poller thread at the start of every polling round
    // (before the sample), with the round's number from 0 (tests script
    // their samples here).
    void (*beforeRound)(uint64_t round) = nullptr;
};
extern ShakeIo g_shakeIo;
void ResetShakeIo();

// Copies of the main thread's state that the poller reads between samples.
struct ShakeFlags {
    std::atomic<bool> paused{true};
    std::atomic<bool> screenOff{false};
    std::atomic<uint8_t> action{0};
    std::atomic<uint32_t> threshold{100};
};
extern ShakeFlags g_shakeFlags;

// What the shake module asks of the shell around it.
struct ShakeHost {
    // The panel is off (the power module's flag); null counts as on.
    bool (*screenOff)() = nullptr;
    // The main window is in front; null asks the platform window.
    bool (*foreground)() = nullptr;
    // Switches screens (the album flow and back); null uses ShowScreen.
    bool (*showScreen)(uint8_t screen, bool rememberPrevious) = nullptr;
};
extern ShakeHost g_shakeHost;

// Main thread: refreshes g_shakeFlags from the paused flag, the host's
// screen-off flag and the settings. Cheap; run after every event.
void SyncShakeFlags();

// Main thread. Opens the motion sensors, reads the first angles, creates
// the start and quit events, starts the poller and arms timer 0x417 (50 ms).
// False (logged once) when there is no sensor to sample or no thread.
bool StartShakeControl();
// Timer 0x417: lets the poller begin.
void StartShakePolling();
// Sets the stop flag and the quit event, kills timer 0x417 and waits up to
// graceMs for the poller; true when it ended (or none ran). A poller that
// overstays is left to end on its own, never killed.
bool StopShakeControl(uint32_t graceMs = 500);
bool ShakePollerRunning();
// How often StopShakeControl has set a poller's quit event (tests).
uint64_t ShakeStopRequests();
// Polling rounds begun since the poller started (tests).
uint64_t ShakeRounds();
// Blocks until `rounds` rounds have begun or the poller has ended (tests).
void WaitForShakeRounds(uint64_t rounds);

// kMsgShakeShuffle on the main thread: with PlayShuffle 0, resets the
// history and stores 1 (album shuffle stays), then acts as command 102.
void OnShakeShuffle();

// Orientation events (message 0x803C, main thread): value 0 means none
// known; otherwise its low four bits are the orientation (0, 1 landscape;
// 2, 3 portrait).
struct SensorOrientation {
    uint8_t stored = kOrientationNone;
    uint8_t pending = 0;
};
extern SensorOrientation g_sensorOrientation;
void OnSensorOrientation(uint32_t value);
// Timer 0x415: applies the pending orientation when the sensor still
// reports it.
void ApplySensorOrientation();
// The orientation value the sensor reports now (timer 0x415 compares it);
// the platform's by default.
extern uint32_t (*g_readOrientation)();

// Fills the shell's sensor hooks (detection, start and stop, orientation
// events, timers 0x415 and 0x417) and registers kMsgShakeShuffle through
// `registerMessage` (the shell's RegisterMessageHandler).
using ShakeRegisterMessage = void (*)(uint32_t message, intptr_t (*handler)(uintptr_t, intptr_t));
void InstallShakeHooks(ShakeRegisterMessage registerMessage);

// Back to a fresh start (tests): state, flags, io.
void ResetShakeControl();

}  // namespace kra
