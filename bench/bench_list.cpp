// The list screens with a 65,535-song library.
//
// Goals: a flinging list frame (tick, rows drawn from the ring cache, thumb)
// under 1 ms at 480 x 800; start-up's library and screen part (skin and
// language, "kra.blt" and "kra.plt" read, album table and lists built, the
// first list frame composed and presented) under 150 ms. The counter
// "rss_mb" is this whole benchmark process, its own 65,535-song set-up
// included; the player's resident memory with that library (goal: under
// 60 MB) is measured on the player itself by bench_startup.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/base/app_state.h"
#include "app/base/text.h"
#include "graphics/blit.h"
#include "graphics/screen.h"
#include "graphics/skin.h"
#include "library/indexes.h"
#include "library/list_files.h"
#include "platform/display.h"
#include "platform/files.h"
#include "screens/list_screens.h"
#include "screens/list_view.h"
#include "screens/screen_router.h"

namespace {

namespace fs = std::filesystem;
using namespace kra;

constexpr int kSongs = 65535;

double ResidentMb() {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return 0;
    char line[256];
    double mb = 0;
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, "VmRSS:", 6) == 0) mb = std::atof(line + 6) / 1024.0;
    }
    std::fclose(f);
    return mb;
}

// A program folder with a "kra.blt" and a "kra.plt" of 65,535 songs in 4,096
// albums of 512 artists.
const fs::path& Home() {
    static const fs::path& home = *new fs::path([] {
        const fs::path base =
            fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string pattern = (base / "kra-bench-list-XXXXXX").string();
        const fs::path made = mkdtemp(pattern.data());
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(Home(), ignored);
        });
        TextList songs;
        for (int i = 0; i < kSongs; ++i) {
            songs.push_back(
                Utf8ToUtf16(Format("\\home\\user\\Music\\Artist %03d\\Album %04d\\%02d Song "
                                   "number %05d of the library.mp3",
                                   i / 128, i / 16, i % 16 + 1, i)));
        }
        std::vector<uint8_t> blt, plt;
        EncodeBrowseList(songs, blt);
        EncodeSongsAsPlayList(songs, plt);
        std::ofstream((made / "kra.blt").string(), std::ios::binary)
            .write(reinterpret_cast<const char*>(blt.data()), std::streamsize(blt.size()));
        std::ofstream((made / "kra.plt").string(), std::ios::binary)
            .write(reinterpret_cast<const char*>(plt.data()), std::streamsize(plt.size()));
        return made;
    }());
    return home;
}

struct BenchScreen {
    MemoryFrame frame;
    BenchScreen() {
        platform::SetOemInfo("");
        frame.width = 480;
        frame.height = 800;
        FixUiScale(192);
        g_app.uiScale = 2;
        g_app.displayWidth = 480;
        g_app.displayHeight = 800;
        ScreenOutputs outputs;
        outputs.sink = MemoryFrameSink(frame);
        CloseScreen(g_screen);
        OpenScreen(g_screen, outputs, 2);
    }
};

void RenderText(void*, const ListView& list, const Screen& screen, const Font* primary,
                const Font* secondary, int32_t row, Surface& out) {
    const ListContent& view = g_library.views.allSongs;
    if (size_t(row) >= view.size()) return;
    RenderTwoLineRow(list, screen, primary, secondary, view.text[size_t(row)],
                     FolderPart(view.data[size_t(row)]), out);
}

// Loads the library as start-up does, from the list files.
void LoadLibrary() {
    g_library = Library{};
    g_library.root = u"\\home\\user\\Music";
    LoadLibraryLists(g_library, platform::FromPosixPath(Home().string()));
    g_library.albumCount = g_library.FolderCount();
    AssignAF(g_library);
    InitializeAlbumList(g_library, g_library.views.albums);
    InitializeArtistList(g_library, g_library.views.artists);
}

void BM_ListFlingFrame(benchmark::State& state) {
    BenchScreen bs;
    LoadLibrary();
    ListView list;
    ListInit(list, g_screen, 32, 480, 80, 16, 12, 32 + 74,
             MakeColour(g_screen.layout, 200, 200, 200));
    ListSetStyle(list, 32, 28, 600, 400, 0x0A0A0A, 0xFFFFFF, 0x505050, 0);
    ListSetArea(list, 112, 480, 720, 2);
    list.source.render = &RenderText;
    ListSetCount(list, int32_t(g_library.views.allSongs.size()));
    // A long fling: a new one whenever the last one stops.
    auto fling = [&list] {
        ListPress(list, 100, 600, 0);
        ListDrag(list, 100, 300, 300, 100);
        ListRelease(list, 100, 300, false);
    };
    fling();
    for (auto _ : state) {
        if (list.velocity == 0) {
            if (list.position <= list.minPosition + 2000) ListScrollTo(list, 0);
            fling();
        }
        ListTick(list);
        ClearScreen(g_screen, 255);
        ListDraw(list, g_screen);
        benchmark::DoNotOptimize(g_screen.backBuffer[1000]);
    }
    state.counters["rss_mb"] = ResidentMb();
}
BENCHMARK(BM_ListFlingFrame)->Unit(benchmark::kMillisecond);

// Start-up's library and screen part up to the first presented list frame.
void BM_StartUpToFirstListFrame(benchmark::State& state) {
    Home();
    platform::SetProgramFolder(platform::FromPosixPath(Home().string()));
    g_library = Library{};
    const double before = ResidentMb();
    for (auto _ : state) {
        BenchScreen bs;
        ResetScreenRouter();
        ResetListScreens();
        InstallScreenHooks();
        LoadSkin(g_screen, SkinOptions{480, 120});
        LoadLanguage(g_screen);
        LoadLibrary();
        LayoutListScreens(g_screen);
        g_app.screen = kScreenSongs;
        RedrawCurrentScreen();
        benchmark::DoNotOptimize(bs.frame.presentCount);
    }
    state.counters["rss_mb"] = ResidentMb();
    state.counters["rss_before_mb"] = before;
    state.counters["songs"] = double(g_library.SongCount());
}
BENCHMARK(BM_StartUpToFirstListFrame)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
