// The album-flow frame at 480 x 800 (landscape): at rest, mid-drag (the two
// turning covers re-warped), beside a memcpy of the frame.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "graphics/blit.h"
#include "graphics/screen.h"
#include "platform/clock.h"
#include "screens/album_flow.h"
#include "screens/screen_router.h"

namespace kra {
namespace {

struct FlowBench {
    MemoryFrame frame;
    FlowBench() {
        platform::UseVirtualClock(1000);
        frame.width = 480;
        frame.height = 800;
        FixUiScale(192);
        ScreenOutputs outputs;
        outputs.sink = MemoryFrameSink(frame);
        OpenScreen(g_screen, outputs, 2);
        SetOrientation(g_screen, kOrientation90);
        g_albumFlow = AlbumFlow{};
        SetupAlbumFlow(g_albumFlow, int32_t(g_screen.width), int32_t(g_screen.height), 64, 120, 2,
                       9);
        g_albumFlow.hooks.loadCover = [](int album, Surface& cover) {
            const uint32_t s = uint32_t(g_albumFlow.coverSize);
            SizeSurface(cover, s, s);
            for (uint32_t i = 0; i < s * s; ++i) cover.pixels[i] = uint16_t(i * 7 + album * 1000);
        };
        g_albumFlow.current = 5;
        FillSlots(g_albumFlow, g_screen);
    }
    ~FlowBench() {
        g_albumFlow = AlbumFlow{};
        CloseScreen(g_screen);
    }
};

void BM_FlowFrameAtRest(benchmark::State& state) {
    FlowBench bench;
    for (auto _ : state) ComposeFlow(g_screen, 0);
}
BENCHMARK(BM_FlowFrameAtRest);

// Every frame changes the drag step, so the centre and its neighbour are
// warped again each time.
void BM_FlowFrameMidDrag(benchmark::State& state) {
    FlowBench bench;
    const int32_t unit = std::max(g_albumFlow.spacing / 10, 1);
    int n = 0;
    for (auto _ : state) {
        ComposeFlow(g_screen, float(unit * (1 + (n++ & 1))));
    }
}
BENCHMARK(BM_FlowFrameMidDrag);

void BM_FrameMemcpy(benchmark::State& state) {
    FlowBench bench;
    std::vector<uint16_t> copy(g_screen.pixelCount);
    for (auto _ : state) {
        std::memcpy(copy.data(), g_screen.backBuffer, g_screen.byteCount);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FrameMemcpy);

}  // namespace
}  // namespace kra
