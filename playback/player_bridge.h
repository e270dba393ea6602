// The player bridge: the few player operations the rest of the program uses,
// and the translation of the engine's reports into commands posted to the
// main window.
//
// Posted commands (WM_COMMAND, code in wParam, lParam 0):
//   every state change   its code (0..11)
//   after 1 (stopped)    204
//   after 3 (playing)    201 on the first, third, fifth ... report of the run
//   a media error        8, the same code as the natural end of a song
// The counter behind 201 lives for the whole run; it is not reset per song.
//
// Main thread only. Before InitPlayer (or after ShutdownPlayer) every
// operation does nothing and returns 0 / false.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "platform/player.h"

namespace kra::player {

// Takes the engine for the rest of the run.
void InitPlayer(std::unique_ptr<platform::PlayerEngine> engine);
// Creates the GStreamer engine with the chosen audio sink; false (and the
// reason) when it cannot be set up.
bool InitGstPlayer(std::u16string& error);
void ShutdownPlayer();
platform::PlayerEngine* Engine();

// False when the file cannot be loaded; the caller abandons the song.
bool OpenUrl(const std::u16string& path);
void Play();
void Pause();
void Stop();
// Whole seconds, the fraction dropped.
uint32_t GetPosition();
// Logs "playState %d %d" (state, second) first.
void SetPosition(uint32_t seconds);
int32_t GetVolume();
void SetVolume(int32_t volume);
int32_t GetPlayState();

struct CurrentItem {
    uint32_t duration = 0;  // whole seconds, the fraction dropped
    std::u16string title, album, artist;
};
// Logs "PlayList: %d %d" (1 when a file is loaded, else 0; resumePending).
CurrentItem ReadCurrentItem(bool withTexts, bool resumePending);

// Takes every waiting engine report and posts its commands. The handler of
// platform::kWmPlayerEvents.
void PumpPlayerEvents();

// Where commands go; by default PostMessage(WM_COMMAND, code, 0). Tests.
using CommandPoster = void (*)(uint32_t command);
void SetCommandPoster(CommandPoster poster);
// The playing-report counter (0 or 1).
uint8_t PlayingCounter();
// Puts the counter back to 0 (tests only; the player never resets it).
void ResetPlayingCounter();

}  // namespace kra::player
