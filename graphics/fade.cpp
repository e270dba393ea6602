#include "graphics/fade.h"

#include <cstring>

#include "graphics/blit.h"
#include "graphics/image.h"
#include "platform/clock.h"

namespace kra {
namespace {

void WaitRestOfFrame(uint32_t frameStart) {
    const uint32_t elapsed = platform::TickCount() - frameStart;
    if (elapsed < kFadeFrameMs) platform::Sleep(kFadeFrameMs - elapsed);
}

}  // namespace

void FadeOut(Screen& screen, int step) {
    if (screen.backBuffer == nullptr) return;
    if (step < 1) step = 1;  // a zero step would never get darker
    for (int b = 31; b > 5; b -= step) {
        const uint32_t start = platform::TickCount();
        DimScreen(screen, uint32_t(b));
        Present(screen);
        if (b - step < 5) break;
        WaitRestOfFrame(start);
    }
    ClearScreen(screen, 0);
    Present(screen);
}

void FadeIn(Screen& screen, int step) {
    if (screen.backBuffer == nullptr) return;
    if (step < 1) step = 1;
    Surface copy;
    if (LoadImage(copy, screen, u"", kScaleNatural, 0, 0) != 1) {
        Present(screen);
        return;
    }
    int last = 0;
    for (int b = 8; b <= 32; b += step) {
        const uint32_t start = platform::TickCount();
        CopyDimmed(copy, screen, uint32_t(b));
        Present(screen);
        last = b;
        WaitRestOfFrame(start);
    }
    // A step that does not land on 32 still ends on the full frame.
    if (last != 32) {
        CopyDimmed(copy, screen, 32);
        Present(screen);
    }
}

}  // namespace kra
