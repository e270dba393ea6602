// Touches and keys of the now-playing screen. Positions are mapped for
// rotation by the router; `now` is the tick count of the event.
//
// Hit-test order at pen down: slider knob (slider shown), back button,
// track-list button, volume knob, play/pause, next, previous, repeat and
// shuffle cells (slider shown, track list hidden), then the body. An area
// acts at pen up only when the pen is released inside it.
//
// Main thread only.
#pragma once
#include <cstdint>

namespace kra {

void NowPlayingPenDown(int32_t x, int32_t y, uint32_t now);
void NowPlayingPenMove(int32_t x, int32_t y, uint32_t now);
void NowPlayingPenUp(int32_t x, int32_t y, uint32_t now);
// The 60 ms tick: the track list's momentum and overscroll return.
void NowPlayingTick(uint32_t now);

// Left/right key-down seeking applies: screen 4, slider shown, track list
// hidden.
bool KeySeekApplies();
// One key-down of left (-1) or right (+1) while seeking applies: the seek
// target moves by 5 s more from where the seek began (bounded by 0 and the
// length), the knob and the time follow.
void KeySeekStep(int direction);
// Key-up of left or right on screens 4 and 5: the seek ends at its target,
// or, when no seek happened, the previous or next track.
void KeySeekRelease(int direction);

// The repeat and shuffle cells' steps.
uint8_t NextRepeatMode(uint8_t mode, bool listsFromBrowseFile);
uint8_t NextShuffleMode(uint8_t mode);

}  // namespace kra
