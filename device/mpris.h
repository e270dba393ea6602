// Remote control through the MPRIS server: the core's side.
//
// The server (platform/mpris-server.h) plays the part of the old player
// core handed to remote-control plug-ins: its Player methods are the
// controls, its Metadata the current playlist item, and Quit closes the
// player. Its requests come to the main thread through a small locked queue
// and one posted message (kMsgRemoteRequest); after every event the main
// thread publishes what clients see (PublishRemoteState), and the server
// sends the differences.
//
// Remote presses act as the old plug-ins' did: play/pause, next and previous
// are commands 101, 102 and 103 (note remote, act, hold-off). Play acts only
// when paused and Pause only when playing; Stop pauses and returns to 0 s.
// Seeks follow the MPRIS rules (a jump past the end is Next, before the
// start is 0 s); SetPosition needs the current track id and a position
// within the song. LoopStatus maps to RepeatAlbum (None 0, Playlist 1 or 2,
// Track 3; Playlist keeps an album repeat), Shuffle to PlayShuffle (true
// keeps album shuffle), Volume to MusicVolume / 100 (commands 304 and 305).
//
// The window's media keys are remote presses too: play/pause 0xB3 is 101,
// next 0xB0 is 102, previous 0xB1 is 103, stop 0xB2 is Stop.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/mpris-server.h"

namespace kra {

inline constexpr uint32_t kMsgRemoteRequest = 0x8070;
// Requests waiting beyond this are refused (the client gets an error).
inline constexpr size_t kMaxRemoteRequests = 256;

// "file://" and the path with every byte outside A-Z a-z 0-9 - . _ ~ /
// percent-encoded.
std::string FileUrl(std::string_view posixPath);
// UTF-8 for the bus: unpaired surrogates become U+FFFD; the text ends at a
// zero unit.
std::string BusText(std::u16string_view text);

// The state clients see now. Main thread.
platform::MprisState BuildRemoteState();
// Main thread, after every event: publishes the state while the server runs.
void PublishRemoteState();
// The position clients are told, given what was published last: kept while
// the song runs as predicted (within 250 ms), so a playing song does not
// republish on every event; otherwise the actual position from `now`, and a
// jump on the same song in the same run state not already counted adds one
// to s.seeks. s.trackId, s.advancing and s.seeks must be set.
void PlaceRemotePosition(const platform::MprisState& last, int64_t actualUs, uint32_t now,
                         platform::MprisState& s);

// Any thread: queues a request and wakes the main thread. False when
// kMaxRemoteRequests are already waiting.
bool QueueRemoteRequest(const platform::MprisRequest& request);
// kMsgRemoteRequest: runs every waiting request in order. Main thread.
void RunRemoteRequests();
void RunRemoteRequest(const platform::MprisRequest& request);

// A media key (virtual key code); true when it was one and was acted on.
bool HandleMediaKey(uint32_t key);

// Step 25: starts the server ("Plugin 1 loaded", or "No Plugin loaded"
// without a session bus) and the message translations. Shutdown releases it.
void SetUpRemoteControl();
void ReleaseRemoteControl();

// Fills the shell's remote-control hooks, puts the media keys in front of
// the key hook that is installed (call after the screens' and the power
// module's hooks), and registers kMsgRemoteRequest through
// `registerMessage`.
using RemoteRegisterMessage = void (*)(uint32_t message, intptr_t (*handler)(uintptr_t, intptr_t));
void InstallRemoteHooks(RemoteRegisterMessage registerMessage);

// Back to a fresh start (tests).
void ResetRemoteControl();

}  // namespace kra
