// The album-flow frame at 480 x 800 (landscape): at rest, mid-drag (the two
// turning covers re-warped), beside a naive column-by-column renderer of the
// same row and a memcpy of the frame. And a fling through 5,000 albums with
// the cover worker on a thread, decoding a real PNG for every album: resident
// memory, the worst frame and the time until the visible covers are real.
// Run pinned to one core: taskset -c 0 bench_album_flow
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <thread>
#include <vector>

#include "app/base/worker_pair.h"
#include "graphics/blit.h"
#include "graphics/image.h"
#include "graphics/screen.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "screens/album_flow.h"
#include "screens/flow_cover_cache.h"
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

// The same row drawn without kept warps: every frame maps each cover column
// by column onto its trapezoid (nearest sampling) with its reflection.
void NaiveColumns(Screen& screen, const Surface& cover, int32_t x0, int32_t y0, int step,
                  int side) {
    const WarpCorners c = CoverCorners(int32_t(cover.width), int32_t(cover.height), step, side);
    const int32_t w = std::max(c.x1 - c.x0, 1);
    const int32_t sw = int32_t(screen.width), sh = int32_t(screen.height);
    for (int32_t dx = 0; dx < w; ++dx) {
        const int32_t x = x0 + dx;
        if (x < 0 || x >= sw) continue;
        const int32_t top = c.y0 + (c.y1 - c.y0) * dx / w;
        const int32_t bottom = c.y2 + (c.y3 - c.y2) * dx / w;
        const int32_t h = std::max(bottom - top, 1);
        const uint32_t srcX = uint32_t(dx) * cover.width / uint32_t(w);
        for (int32_t dy = 0; dy < h + h / 2; ++dy) {
            const int32_t y = y0 + top + dy;
            if (y < 0 || y >= sh) continue;
            uint16_t p;
            if (dy < h) {
                p = cover.pixels[uint32_t(dy) * cover.height / uint32_t(h) * cover.width + srcX];
            } else {
                const uint32_t sy = uint32_t(h - 1 - (dy - h)) * cover.height / uint32_t(h);
                p = uint16_t((cover.pixels[sy * cover.width + srcX] >> 1) & 0x7BEF);
            }
            *ScreenPixel(screen, x, y) = p;
        }
    }
}

void BM_NaiveColumnFrame(benchmark::State& state) {
    FlowBench bench;
    Surface cover;
    g_albumFlow.hooks.loadCover(1, cover);
    const int32_t W = int32_t(g_screen.width);
    for (auto _ : state) {
        ClearScreen(g_screen, 0);
        for (int slot : {0, 6, 1, 5, 2, 4, 3}) {
            const int step = slot == kFlowCentre ? 0 : kFlowMaxStep;
            const int side = slot < kFlowCentre ? 0 : 1;
            const int32_t iw = int32_t(cover.width) * (step == 0 ? 19 : 10) / 20;
            NaiveColumns(g_screen, cover, SlotX(g_albumFlow, W, slot, iw), g_albumFlow.topBar, step,
                         side);
        }
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_NaiveColumnFrame);

// ---- The fling with the worker ----

long ResidentKb() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * 4;
}

// This thread's CPU time in ms: the frame cost without the other processes'
// load on a shared machine.
double ThreadMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1e6;
}

std::u16string g_coverPath;

void PngLoader(const std::u16string&, const ArtOptions& options, AlbumArt& art) {
    art.coverLoaded = LoadImage(art.cover, g_screen, g_coverPath, kScaleFit, options.coverSize,
                                options.coverSize) == 1;
}

void BM_FlingFiveThousandAlbumsWithWorker(benchmark::State& state) {
    FlowBench bench;
    // One 600 x 600 picture, decoded again for every album.
    Surface picture;
    SizeSurface(picture, 600, 600);
    for (uint32_t i = 0; i < 600 * 600; ++i) picture.pixels[i] = uint16_t(i * 31 + (i >> 9));
    const std::string file =
        (std::filesystem::temp_directory_path() / "kra-bench-cover.png").string();
    g_coverPath = platform::FromPosixPath(file);
    SaveSurfacePng(g_coverPath, picture, g_screen.layout);
    ResetSurface(picture, true);

    auto table = std::make_shared<AlbumTable>();
    table->albumCount = 5000;
    table->entries.resize(5001);
    for (int i = 1; i <= 5000; ++i)
        table->entries[size_t(i)].folder = u"\\m\\" + std::u16string(size_t(i % 50 + 1), u'a');
    AlbumFlow& flow = g_albumFlow;
    SetupAlbumFlow(flow, int32_t(g_screen.width), int32_t(g_screen.height), 40, 112, 2, 5000);
    ArtOptions options;
    options.coverSize = uint32_t(flow.coverSize);
    options.layout = g_screen.layout;
    ResetFlowCovers();
    SetFlowCoverLoader(&PngLoader);
    AttachFlowCovers(table, 5000, options);
    flow.hooks.loadCover = [&](int, Surface& cover) {
        AlbumArt art;
        PngLoader(u"", options, art);
        cover = std::move(art.cover);
    };
    flow.hooks.wakeWorker = [] { WakeFlowCovers(); };
    g_artCacheWorker.Start([] { FlowCoverWork(); });
    EnterAlbumFlow(g_screen, kOrientation90);

    double worst = 0, untilReal = 0;
    long peakKb = 0;
    for (auto _ : state) {
        using Clock = std::chrono::steady_clock;
        flow.current = 1;
        FillSlots(flow, g_screen);
        // Flings, one after another, until the row has run through the albums.
        while (flow.current < 4990) {
            flow.velocity = -120;
            flow.divisor = 1;
            while (flow.divisor != 0 && flow.current < 4990) {
                const double t0 = ThreadMs();
                InstallFlowCovers();
                OnFlowTimer(g_screen);
                OnFlowPageTimer();
                worst = std::max(worst, ThreadMs() - t0);
                peakKb = std::max(peakKb, ResidentKb());
            }
        }
        flow.divisor = 0;
        const auto stopped = Clock::now();
        WakeFlowCovers();
        for (;;) {
            const double t0 = ThreadMs();
            InstallFlowCovers();
            DrawFlow(g_screen, 0);
            worst = std::max(worst, ThreadMs() - t0);
            bool real = true;
            for (int album : flow.slots)
                if (album > 0 && !flow.cache.Has(album)) real = false;
            if (real) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        untilReal = std::chrono::duration<double, std::milli>(Clock::now() - stopped).count();
        peakKb = std::max(peakKb, ResidentKb());
    }
    state.counters["worst_tick_cpu_ms"] = worst;
    state.counters["visible_real_ms"] = untilReal;
    state.counters["peak_rss_mb"] = double(peakKb) / 1024.0;
    CancelFlowCovers();
    g_artCacheWorker.Stop(2000);
    ResetFlowCovers();
    std::filesystem::remove(file);
}
BENCHMARK(BM_FlingFiveThousandAlbumsWithWorker)->Iterations(1)->Unit(benchmark::kMillisecond);

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
