// Fading the whole screen to black and back, as synchronous animations on the
// main thread. Frames are paced through the platform clock (at least 50 ms
// each), so on the virtual clock they run at full speed.
#pragma once
#include "graphics/screen.h"

namespace kra {

inline constexpr uint32_t kFadeFrameMs = 50;

// Darkens the back buffer in place frame by frame (brightness 31, 31 - step,
// ... while above 5; the steps compound), then presents black.
void FadeOut(Screen& screen, int step);
// Presents the finished frame in the back buffer from dark to full brightness
// (8, 8 + step, ... up to 32), each frame scaled from a saved copy. Without
// memory for the copy the frame is shown at once.
void FadeIn(Screen& screen, int step);

}  // namespace kra
