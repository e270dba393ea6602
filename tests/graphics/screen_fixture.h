// A screen on a memory frame for the graphics tests.
#pragma once
#include <cstdint>
#include <random>

#include "graphics/screen.h"
#include "platform/display.h"

namespace kra::test {

struct TestScreen {
    MemoryFrame frame;
    Screen screen;

    TestScreen(uint32_t w, uint32_t h, bool rgb555 = false, int orientation = 0) {
        platform::SetOemInfo("");
        frame.width = w;
        frame.height = h;
        frame.rgb555 = rgb555;
        frame.orientation = orientation;
        ScreenOutputs outputs;
        outputs.sink = MemoryFrameSink(frame);
        ok = OpenScreen(screen, outputs, 2) == 1;
    }
    ~TestScreen() { CloseScreen(screen); }
    TestScreen(const TestScreen&) = delete;
    TestScreen& operator=(const TestScreen&) = delete;

    // Physical pixel (x, y) of the back buffer.
    uint16_t& At(uint32_t x, uint32_t y) { return screen.backBuffer[y * screen.physicalWidth + x]; }
    bool ok = false;
};

inline void FillRandom(Surface& s, uint32_t w, uint32_t h, std::mt19937& rng, bool alpha,
                       bool rgb555 = false) {
    SizeSurface(s, w, h);
    for (uint32_t i = 0; i < w * h; ++i) {
        uint16_t p = uint16_t(rng());
        s.pixels[i] = rgb555 ? uint16_t(p & 0x7FFF) : p;
    }
    if (alpha) {
        SetSurfaceAlpha(s);
        for (uint32_t i = 0; i < w * h; ++i) s.alpha[i] = uint8_t(rng() % 33);
    } else {
        DropSurfaceAlpha(s);
    }
}

}  // namespace kra::test
