// A now-playing screen on a memory frame with the default skin, a fixed
// font, an in-memory registry and the virtual clock; the screen actions
// record what they were asked to do.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/base/app_state.h"
#include "app/base/hooks.h"
#include "app/base/settings.h"
#include "graphics/screen.h"
#include "graphics/skin.h"
#include "library/library.h"
#include "platform/clock.h"
#include "platform/display.h"
#include "platform/files.h"
#include "platform/font.h"
#include "platform/message_loop.h"
#include "platform/registry.h"
#include "playback/play_queue.h"
#include "screens/gestures.h"
#include "screens/now_playing.h"
#include "screens/screen_router.h"
#include "support/temp_tree.h"

namespace kra::test {

// A surface of one colour, opaque.
inline void Solid(Surface& s, uint32_t w, uint32_t h, uint16_t colour) {
    ASSERT_TRUE(SizeSurface(s, w, h));
    DropSurfaceAlpha(s);
    for (uint32_t i = 0; i < w * h; ++i) s.pixels[i] = colour;
}

inline std::vector<std::string>& Actions() {
    static std::vector<std::string> actions;
    return actions;
}

class ScreensTest : public ::testing::Test {
  protected:
    void SetUp() override { Open(480, 800, 192); }
    void TearDown() override {
        CloseScreen(g_screen);
        ResetScreenRouter();
        ResetAppHooks();
        g_playbackHooks = PlaybackHooks{};
        platform::UseFontFiles({});
    }

    void Open(uint32_t w, uint32_t h, int dpi) {
        platform::UseVirtualClock(1000);
        platform::ResetMessageLoop();
        platform::RegistryUseMemory();
        platform::SetOemInfo("");
        platform::SetProgramFolder(platform::FromPosixPath(home.string()));
        platform::UseFontFiles({"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"});
        ResetAppState();
        ResetSettings();
        ResetAppHooks();
        ResetScreenRouter();
        ResetNowPlaying();
        ResetPlayQueue();
        g_library = Library{};
        g_gesture = GestureState{};
        g_app.displayWidth = int(w);
        g_app.displayHeight = int(h);
        g_app.displayDpi = dpi;
        g_app.uiScale = UiScaleForDpi(dpi);
        g_app.controlBarHeight = 60 * g_app.uiScale;
        g_app.screen = kScreenNowPlaying;
        InstallScreenHooks();
        frame = MemoryFrame{};
        frame.width = w;
        frame.height = h;
        CloseScreen(g_screen);
        FixUiScale(dpi);
        ScreenOutputs outputs;
        outputs.sink = MemoryFrameSink(frame);
        ASSERT_EQ(OpenScreen(g_screen, outputs, 2), 1);
        g_hooks.loadSkin();
        Record();
    }

    // Every screen action records its name.
    void Record() {
        Actions().clear();
        ScreenActions& a = g_screenActions;
        a.togglePause = [] { Actions().push_back("pause"); };
        a.nextTrack = [] { Actions().push_back("next"); };
        a.previousTrack = [] { Actions().push_back("previous"); };
        a.nextAlbum = [] { Actions().push_back("next album"); };
        a.previousAlbum = [] { Actions().push_back("previous album"); };
        a.seek = [](uint32_t s) { Actions().push_back("seek " + std::to_string(s)); };
        a.playerPosition = [] { return g_playerPosition; };
        a.playerVolume = [] { return int32_t(g_settings.musicVolume); };
        a.applyVolume = [](uint32_t v) { Actions().push_back("volume " + std::to_string(v)); };
        a.storeVolume = [] { Actions().push_back("store volume"); };
        a.playSong = [](std::u16string_view) { Actions().push_back("play song"); };
        a.minimize = [] { Actions().push_back("minimize"); };
        a.quit = [] { Actions().push_back("quit"); };
    }

    // A song of `length` seconds playing at `position`.
    void Song(std::u16string title, std::u16string artist, std::u16string album, uint32_t length,
              uint32_t position) {
        g_queue.title = std::move(title);
        g_queue.artist = std::move(artist);
        g_queue.album = std::move(album);
        g_queue.songLength = length;
        g_playerPosition = position;
        ShowSongLabels(g_screen, position, platform::TickCount());
    }

    void Tap(int32_t x, int32_t y, uint32_t holdMs = 60) {
        RoutePenDown(x, y);
        platform::AdvanceVirtualClock(holdMs);
        RoutePenUp(x, y);
    }

    // A press at (x0, y0) lifted at (x1, y1) `holdMs` later, with no move between.
    void Press(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t holdMs = 0) {
        RoutePenDown(x0, y0);
        platform::AdvanceVirtualClock(holdMs);
        RoutePenUp(x1, y1);
    }

    // A press at (x0, y0) moved to (x1, y1) in moves of `step` pixels `ms` apart,
    // then lifted.
    void Drag(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t step = 20, uint32_t ms = 10) {
        RoutePenDown(x0, y0);
        const int32_t n = std::max(std::abs(x1 - x0), std::abs(y1 - y0)) / step;
        for (int32_t i = 1; i <= n; ++i) {
            platform::AdvanceVirtualClock(ms);
            RoutePenMove(x0 + (x1 - x0) * i / n, y0 + (y1 - y0) * i / n);
        }
        RoutePenUp(x1, y1);
    }

    // With KRA_FRAME_DIR set, the logical frame, upright, as a PNG file there:
    // the pictures by which the look is checked.
    static void SaveFrame(const std::string& name) {
        const char* dir = std::getenv("KRA_FRAME_DIR");
        if (dir == nullptr) return;
        const uint32_t w = g_screen.width, h = g_screen.height;
        std::vector<uint16_t> upright(size_t(w) * h);
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x)
                upright[size_t(y) * w + x] = *ScreenPixel(g_screen, int32_t(x), int32_t(y));
        SaveFramePng(platform::FromPosixPath(std::string(dir) + "/" + name), upright.data(), w, h,
                     w * 2, g_screen.layout);
    }

    // The pixel at logical (x, y) of the back buffer.
    uint16_t Pixel(int32_t x, int32_t y) const { return *ScreenPixel(g_screen, x, y); }

    TempTree tree;
    const std::filesystem::path home = tree.Posix();
    MemoryFrame frame;
    static inline uint32_t g_playerPosition = 0;
};

}  // namespace kra::test
