// RunPlatform end to end: the headless window driven by a script on the
// virtual clock, and the SDL window on SDL's dummy video driver. The
// instance server and the SDL wake run on other threads.
#include <SDL.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/instance.h"
#include "platform/message_loop.h"
#include "platform/window.h"
#include "support/temp_tree.h"

namespace kra::platform {
namespace {

struct Msg {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    uint32_t tick;
};
std::vector<Msg> g_msgs;

// A small player: on create it shows itself and starts a 40 ms timer that
// presents a frame; on close it quits with code 9.
intptr_t Player(uint32_t m, uintptr_t w, intptr_t l) {
    g_msgs.push_back({m, w, l, TickCount()});
    if (m == kWmCreate) {
        ShowMainWindow(true);
        SetTimer(0x40A, 40);
    } else if (m == kWmTimer) {
        std::vector<uint16_t> frame(size_t(GetDisplayProfile().width) * GetDisplayProfile().height,
                                    uint16_t(0xF800));  // red
        PresentFrame(frame.data(), GetDisplayProfile().width, GetDisplayProfile().height,
                     GetDisplayProfile().width * 2, PixelFormat::kRgb565);
    } else if (m == kWmClose) {
        PostQuitMessage(9);
    }
    return 0;
}

class RunHeadless : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetMessageLoop();
        g_msgs.clear();
        options_.headless = true;
        options_.virtualClock = true;
        options_.display = {240, 320, 96};
        options_.runtimeDir = (dir_ / "run").string();
        options_.scriptPath = (dir_ / "script.txt").string();
    }
    void TearDown() override { ResetMessageLoop(); }
    void Script(const std::string& text) { std::ofstream(options_.scriptPath) << text; }
    std::vector<uint32_t> Ticks(uint32_t message) {
        std::vector<uint32_t> ticks;
        for (const Msg& m : g_msgs)
            if (m.message == message) ticks.push_back(m.tick);
        return ticks;
    }
    test::TempTree tree_;
    const std::filesystem::path& dir_ = tree_.Posix();
    PlatformOptions options_;
};

TEST_F(RunHeadless, ScriptDrivesPenTimeAndShots) {
    const std::string shot = (dir_ / "shot.png").string();
    Script("pen down 10 20\nwait 100\npen move 300 30\npen up 11 21\nrotate 1\nshot " + shot +
           "\nkey down 0x0D\nquit\npost 0x8013 0 0\n");
    EXPECT_EQ(RunPlatform(options_, Player), 9);
    std::vector<uint32_t> kinds;
    for (const Msg& m : g_msgs)
        if (m.message != kWmTimer) kinds.push_back(m.message);
    EXPECT_EQ(kinds, (std::vector<uint32_t>{kWmCreate, kWmSetFocus, kWmLButtonDown, kWmMouseMove,
                                            kWmLButtonUp, kWmSettingChange, kWmKeyDown, kWmClose}));
    // The wait let virtual time pass with the timer firing on time.
    EXPECT_EQ(Ticks(kWmTimer), (std::vector<uint32_t>{40, 80}));
    EXPECT_EQ(Ticks(kWmLButtonUp), std::vector<uint32_t>{100});
    // The move was clamped to the 240-wide display.
    for (const Msg& m : g_msgs) {
        if (m.message == kWmMouseMove) {
            EXPECT_EQ(m.lParam, intptr_t((30u << 16) | 239u));
        }
    }
    EXPECT_TRUE(std::filesystem::exists(shot));
    EXPECT_FALSE(IsMainWindowOpen());
}

TEST_F(RunHeadless, EndOfScriptClosesTheWindow) {
    Script("wait 50\n");
    EXPECT_EQ(RunPlatform(options_, Player), 9);
    EXPECT_EQ(Ticks(kWmClose), std::vector<uint32_t>{50});
}

TEST_F(RunHeadless, BadScriptStopsBeforeAnythingStarts) {
    Script("pen down 1 2\npen sideways 1 2\n");
    EXPECT_EQ(RunPlatform(options_, Player), 2);
    EXPECT_TRUE(g_msgs.empty());
    options_.scriptPath = (dir_ / "missing.txt").string();
    EXPECT_EQ(RunPlatform(options_, Player), 2);
}

TEST_F(RunHeadless, ShotThatCannotBeWrittenFailsTheRun) {
    Script("wait 40\nshot " + (dir_ / "no" / "dir.png").string() + "\nwait 1000\n");
    EXPECT_EQ(RunPlatform(options_, Player), 2);
    EXPECT_EQ(Ticks(kWmClose), std::vector<uint32_t>{40});
}

TEST_F(RunHeadless, SecondInstanceOnlyActivatesTheFirst) {
    std::string error;
    ASSERT_EQ(ClaimInstance(options_.runtimeDir, &error), ClaimResult::kClaimed) << error;
    Script("quit\n");
    EXPECT_EQ(RunPlatform(options_, Player), 0);
    std::vector<uint32_t> kinds;
    // The "first instance" is this process's loop; the second never installs
    // its window procedure, so install the player's here (the test may run
    // alone in its process).
    SetWindowProc(Player);
    PumpPending();
    for (const Msg& m : g_msgs) kinds.push_back(m.message);
    EXPECT_EQ(kinds, std::vector<uint32_t>{kWmActivateApp});
    ReleaseInstance();
}

intptr_t Interrupted(uint32_t m, uintptr_t w, intptr_t l) {
    if (m == kWmCreate) raise(SIGTERM);
    return Player(m, w, l);
}

TEST_F(RunHeadless, TerminationSignalClosesTheWindowInOrder) {
    // Without the watch the signal would end the test program.
    options_.scriptPath.clear();
    EXPECT_EQ(RunPlatform(options_, Interrupted), 9);
    EXPECT_EQ(Ticks(kWmClose).size(), 1u);
    // The previous disposition is back once the run is over.
    struct sigaction now {};
    sigaction(SIGTERM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}

// The SDL window on the dummy video driver: synthetic SDL events become the
// window messages, and a post from another thread wakes SDL's wait.
std::vector<Msg> g_sdl;
std::atomic<int> g_turns{0};
intptr_t SdlRecord(uint32_t m, uintptr_t w, intptr_t l) {
    g_sdl.push_back({m, w, l, 0});
    if (m == kWmSettingChange) g_turns.fetch_add(1);
    if (m == 0x8100) PostQuitMessage(4);
    return 0;
}

void PushKey(uint32_t type, SDL_Keycode key, uint16_t mod = 0, uint8_t repeat = 0) {
    SDL_Event e{};
    e.type = type;
    e.key.keysym.sym = key;
    e.key.keysym.mod = mod;
    e.key.repeat = repeat;
    SDL_PushEvent(&e);
}

void PushButton(uint32_t type, int x, int y, uint8_t button = SDL_BUTTON_LEFT) {
    SDL_Event e{};
    e.type = type;
    e.button.button = button;
    e.button.x = x;
    e.button.y = y;
    SDL_PushEvent(&e);
}

void PushMotion(int x, int y, uint32_t state) {
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.x = x;
    e.motion.y = y;
    e.motion.state = state;
    SDL_PushEvent(&e);
}

TEST(RunSdl, EventsBecomeMessagesAndPostsWakeTheWait) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    UseVirtualClock(0);
    ResetMessageLoop();
    SetWindowProc(SdlRecord);
    g_sdl.clear();
    PlatformOptions o;
    o.display = {240, 320, 96};  // fits the dummy desktop: no scaling
    std::string error;
    if (!OpenMainWindow(o, &error)) GTEST_SKIP() << "no SDL dummy driver: " << error;
    ShowMainWindow(true);

    PushMotion(5, 5, 0);  // hover: dropped
    PushButton(SDL_MOUSEBUTTONDOWN, 10, 20);
    PushMotion(30, 40, SDL_BUTTON_LMASK);
    PushButton(SDL_MOUSEBUTTONUP, 30, 40);
    PushButton(SDL_MOUSEBUTTONDOWN, 1, 1, SDL_BUTTON_RIGHT);  // not the pen
    PushKey(SDL_KEYDOWN, SDLK_F1);
    PushKey(SDL_KEYDOWN, SDLK_AUDIOPLAY);
    PushKey(SDL_KEYDOWN, SDLK_LEFT, 0, 1);
    PushKey(SDL_KEYUP, SDLK_LEFT);
    PushKey(SDL_KEYDOWN, SDLK_F5);  // turns the display, not passed on
    PushKey(SDL_KEYUP, SDLK_F5);
    PushKey(SDL_KEYDOWN, SDLK_r, KMOD_LCTRL);
    PushKey(SDL_KEYDOWN, SDLK_F5, KMOD_LSHIFT);
    PushKey(SDL_KEYDOWN, SDLK_F5, KMOD_LSHIFT);

    // The loop drains SDL's queue, then waits in SDL with no timer set until
    // the other thread's post wakes it.
    g_turns = 0;
    std::thread poster([] {
        // Post only once the loop has had the SDL events (the last one is
        // the fourth turn); it then sleeps in SDL's wait.
        while (g_turns.load() < 4) std::this_thread::yield();
        PostMessage(0x8100, 0, 0);
    });
    EXPECT_EQ(RunLoop(), 4);
    poster.join();
    EXPECT_EQ(GetDisplayOrientation(), 0);  // +1, +1, -1, -1
    CloseMainWindow();

    std::vector<Msg> want = {{kWmLButtonDown, 1, (20 << 16) | 10, 0},
                             {kWmMouseMove, 1, (40 << 16) | 30, 0},
                             {kWmLButtonUp, 0, (40 << 16) | 30, 0},
                             {kWmKeyDown, 0x70, 1, 0},
                             {kWmKeyDown, 0xB3, 1, 0},
                             {kWmKeyDown, 0x25, 0x40000001, 0},
                             {kWmKeyUp, 0x25, intptr_t(int32_t(0xC0000001u)), 0},
                             {kWmSettingChange, kSettingChangeReset, 0, 0},
                             {kWmSettingChange, kSettingChangeReset, 0, 0},
                             {kWmSettingChange, kSettingChangeReset, 0, 0},
                             {kWmSettingChange, kSettingChangeReset, 0, 0}};
    std::vector<Msg> got;
    for (const Msg& m : g_sdl)
        if (m.message != kWmSetFocus && m.message != kWmKillFocus && m.message != 0x8100)
            got.push_back(m);
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(got[i].message, want[i].message) << i;
        EXPECT_EQ(got[i].wParam, want[i].wParam) << i;
        EXPECT_EQ(got[i].lParam, want[i].lParam) << i;
    }
    ResetMessageLoop();
    SetWindowProc(nullptr);
}

}  // namespace
}  // namespace kra::platform
