// Call handling: the player gets out of the way of the phone. A ringing or
// dialled voice call pauses the music, fades the screen out and minimises the
// player; 2.5 s after the last voice call has ended, the music resumes if it
// was playing before and ResumeAfterCall is on.
//
// Calls come from the line service (platform/modem-lines.h) as per-call state
// changes, taken on the main thread when kMsgLineEvents arrives and handled
// by OnLineEvent. Resuming is timer 0x40F; a data call's end restarts the
// line service through timer 0x40E (message 0x040E).
//
// Beyond the first two connected calls (first call, second call) every call
// still ringing, dialling or connected is tracked, so the music resumes only
// when none is left. The music resumes only if this program paused it and it
// is still paused: playing it again during the call keeps it playing, and a
// pause the user makes after that is left alone.
//
// Main thread only.
#pragma once
#include <cstdint>
#include <vector>

namespace kra {

enum class CallPhase : uint8_t { kRinging, kDialling, kConnected };

struct LiveCall {
    uint32_t call = 0;
    CallPhase phase = CallPhase::kRinging;
};

struct Telephony {
    bool lineApp = false;  // the line service is initialised
    uint32_t deviceCount = 0;
    std::vector<uint32_t> lines;  // one slot per device, filled in order; 0 unused
    uint32_t firstCall = 0, secondCall = 0;
    bool callActive = false;  // a voice call is connected
    bool offered = false;     // a call rings and has not connected or ended
    bool dialling = false;    // an outgoing voice call is being dialled
    bool wasPlaying = false;  // the music played when a call took the player away

    std::vector<LiveCall> calls;  // every voice call not yet ended
    bool away = false;            // from the first call's pause until its resume or end
    bool pausedForCall = false;   // the music is paused by the call handling still
    bool closed = false;          // shut down for good: restarts are ignored
};
extern Telephony g_telephony;

// What the call handling asks of the program around it. Null entries fall
// back to the shell's hooks (fade out, input, minimise; pause toggle).
struct TelephonyHost {
    void (*minimize)() = nullptr;
};
extern TelephonyHost g_telephonyHost;

void ResetTelephony();

// Initialises the line service and opens every line; 0 or the error code.
uint32_t InitTelephony(const char* applicationName);
// Closes the lines and the service; forgets calls and the call flags. What
// a call in progress decided about the music (was playing, the pause, a
// pending resume) is kept, so a restart does not lose it.
void ShutdownTelephony();
// The program's end: ShutdownTelephony, timers 0x40E and 0x40F killed, the
// watch for modems ended; later restarts are ignored.
void CloseTelephony();

bool IsVoiceCall(uint32_t call);
void PauseForCall();
void ResumeAfterCallLater();
// One call-state change (message kind 2; other kinds are ignored). An
// initial state (a call already up when the line opened) is recorded
// without pausing.
void OnLineEvent(uint32_t call, uint32_t messageKind, uint32_t state, bool initial = false);
// Takes and handles the waiting line events.
void HandleLineEvents();
// Timer 0x40F.
void CallEndResume();
// Playback was started again (by anyone): a later resume must not toggle it.
void NotePlaybackResumed();

// Fills the shell's telephony hooks and registers the line events message.
using RegisterMessageFn = void (*)(uint32_t message, intptr_t (*handler)(uintptr_t, intptr_t));
void InstallTelephonyHooks(RegisterMessageFn registerMessage);

}  // namespace kra
