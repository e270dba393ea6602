// A now-playing frame composed and presented headless, with a scrolling line
// and a moving slider, at 480 x 800 @ 192 dpi and 240 x 320 @ 96 dpi, beside a
// memcpy of the same frame's bytes. The goal is a frame in under 1 ms at
// 480 x 800 on one core.
//
// With KRA_SHOT_DIR set, the frames after the fade-in are also saved as
// "now-playing-WxH.png" there (secondary bar shown and hidden), for a look
// at the screen without running the player.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/base/app_state.h"
#include "app/base/hooks.h"
#include "app/base/settings.h"
#include "graphics/blit.h"
#include "graphics/screen.h"
#include "graphics/skin.h"
#include "library/library.h"
#include "library/scan.h"
#include "platform/clock.h"
#include "platform/display.h"
#include "platform/files.h"
#include "platform/message_loop.h"
#include "platform/registry.h"
#include "playback/play_queue.h"
#include "screens/now_playing.h"
#include "screens/screen_router.h"

namespace kra {
namespace {

namespace fs = std::filesystem;

const fs::path kDemo = fs::path(__FILE__).parent_path().parent_path() / "assets" / "demo-music";

struct NowPlayingBench {
    MemoryFrame frame;
    fs::path home;

    NowPlayingBench(uint32_t w, uint32_t h, int dpi) {
        platform::UseVirtualClock(1000);
        platform::ResetMessageLoop();
        platform::RegistryUseMemory();
        platform::SetOemInfo("");
        home = fs::temp_directory_path() / ("kra-bench-np-" + std::to_string(w));
        fs::create_directories(home);
        platform::SetProgramFolder(platform::FromPosixPath(home.string()));
        ResetAppState();
        ResetSettings();
        ResetAppHooks();
        ResetScreenRouter();
        ResetNowPlaying();
        ResetPlayQueue();
        g_app.displayWidth = int(w);
        g_app.displayHeight = int(h);
        g_app.displayDpi = dpi;
        g_app.uiScale = UiScaleForDpi(dpi);
        g_app.controlBarHeight = 60 * g_app.uiScale;
        g_app.screen = kScreenNowPlaying;
        g_app.paused = false;
        InstallScreenHooks();
        g_screenActions.playerPosition = nullptr;
        frame.width = w;
        frame.height = h;
        FixUiScale(dpi);
        ScreenOutputs outputs;
        outputs.sink = MemoryFrameSink(frame);
        OpenScreen(g_screen, outputs, 2);
        g_hooks.layoutScreens();
        g_hooks.loadSkin();

        // A copy of a demo album: the caches the screen writes stay out of
        // the source tree.
        const fs::path folder = home / "Aurora Tønes" / "Sine Wåves";
        fs::create_directories(folder);
        fs::copy(kDemo / "Aurora Tønes" / "Sine Wåves", folder,
                 fs::copy_options::overwrite_existing | fs::copy_options::recursive);
        const std::u16string core = platform::FromPosixPath(folder.string());
        for (int i = 0; i < 12; ++i) g_library.play.Append(core + u"\\01 Morning.mp3");
        g_queue.folderQueue = SortedFolderSongs(core);
        g_queue.cursor.position = 2;
        g_queue.currentPath = core + u"\\01 Morning.mp3";
        g_queue.title = u"Morning (extended sunrise version with a very long title)";
        g_queue.artist = u"Aurora Tønes";
        g_queue.album = u"Sine Wåves";
        g_queue.songLength = 200;
        g_settings.musicVolume = 70;
        LoadSongPicture(g_screen, core);
        ShowSongLabels(g_screen, 75, platform::TickCount());
        EnterNowPlaying(g_screen, platform::TickCount());
        g_nowPlaying.secondaryShown = true;
        // Past the fades.
        for (int i = 0; i < 8; ++i) Frame(i);
    }
    ~NowPlayingBench() {
        CloseScreen(g_screen);
        g_library = Library{};
        std::error_code ec;
        fs::remove_all(home, ec);
    }

    // One frame at 60 Hz: the clock moves on, the slider once a second.
    void Frame(int n) {
        platform::AdvanceVirtualClock(16);
        if (n % 60 == 0) {
            g_nowPlaying.position = (g_nowPlaying.position + 1) % 200;
            UpdateTimes(g_screen, g_nowPlaying.position);
        }
        ComposeNowPlaying(g_screen, platform::TickCount());
        Present(g_screen);
    }

    void Shot(const char* tag) {
        const char* dir = std::getenv("KRA_SHOT_DIR");
        if (!dir) return;
        const std::string name = std::string(dir) + "/now-playing-" + std::to_string(frame.width) +
                                 "x" + std::to_string(frame.height) + tag + ".png";
        SaveFramePng(platform::FromPosixPath(name), frame.pixels.data(), frame.width, frame.height,
                     frame.width * 2, g_screen.layout);
    }
};

void BM_NowPlayingFrame(benchmark::State& state) {
    const uint32_t w = uint32_t(state.range(0)), h = uint32_t(state.range(1));
    NowPlayingBench bench(w, h, int(state.range(2)));
    bench.Shot("");
    int n = 0;
    for (auto _ : state) {
        bench.Frame(n++);
        benchmark::DoNotOptimize(bench.frame.pixels.data());
    }
    g_nowPlaying.secondaryShown = false;
    for (int i = 0; i < 8; ++i) bench.Frame(n++);
    bench.Shot("-plain");
    SetTrackListShown(g_screen, true);
    for (int i = 0; i < 8; ++i) bench.Frame(n++);
    bench.Shot("-tracks");
    g_nowPlaying.trackListShown = false;
    state.SetBytesProcessed(int64_t(state.iterations()) * w * h * 2);
}
BENCHMARK(BM_NowPlayingFrame)
    ->Args({480, 800, 192})
    ->Args({240, 320, 96})
    ->Unit(benchmark::kMicrosecond);

void BM_MemcpyOfTheFrame(benchmark::State& state) {
    const size_t pixels = size_t(state.range(0)) * size_t(state.range(1));
    std::vector<uint16_t> a(pixels, 1), b(pixels);
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), pixels * 2);
        benchmark::DoNotOptimize(b.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(pixels) * 2);
}
BENCHMARK(BM_MemcpyOfTheFrame)->Args({480, 800})->Args({240, 320})->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace kra
