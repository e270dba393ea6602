// The remote messages' table, and remote requests on the main thread.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "app/base/app_state.h"
#include "app/base/settings.h"
#include "device/mpris.h"
#include "device/remote.h"
#include "platform/message_loop.h"
#include "platform/registry.h"
#include "platform/window_internal.h"

namespace kra {
namespace {

uint16_t Translate(uint32_t message, uintptr_t wParam, uint32_t offset = 49176) {
    uint16_t command = 0xFFFF;
    if (!TranslateRemoteMessage(message, wParam, offset, &command)) return 0xFFFF;  // passes on
    return command;
}

TEST(RemoteMessages, TheTable) {
    // The HTC range is the offset +-2; its neighbours are passed on.
    EXPECT_EQ(Translate(49174, 0), 400);
    EXPECT_EQ(Translate(49178, 0), 404);
    EXPECT_EQ(Translate(49179, 0), 0xFFFF);
    EXPECT_EQ(Translate(49173, 0), 0xFFFF);
    EXPECT_EQ(Translate(32769, 196), 101);
    EXPECT_EQ(Translate(32769, 203), 102);
    EXPECT_EQ(Translate(32769, 204), 103);
    EXPECT_EQ(Translate(32769, 197), 0);  // swallowed, no command
    EXPECT_EQ(Translate(1524, 2), 101);
    EXPECT_EQ(Translate(1524, 6), 102);
    EXPECT_EQ(Translate(1524, 7), 103);
    EXPECT_EQ(Translate(1524, 3), 0);
}

TEST(RemoteMessages, OffsetsNeverReachSystemMessagesOrWrap) {
    // 16 would make the close message a pause toggle: nothing is taken.
    for (uint32_t m : {14u, 16u, 18u}) EXPECT_EQ(Translate(m, 0, 16), 0xFFFF);
    EXPECT_EQ(Translate(0xBFFF, 0, 0xC000), 0xFFFF);
    EXPECT_EQ(Translate(0xC000, 0, 0xC000), 402);
    EXPECT_EQ(Translate(0xFFFF, 0, 0xFFFF), 402);
    EXPECT_EQ(Translate(0x10000, 0, 0xFFFF), 0xFFFF);
    EXPECT_EQ(Translate(0, 0, 0xFFFFFFFFu), 0xFFFF);
    EXPECT_EQ(Translate(1, 0, 0xFFFFFFFFu), 0xFFFF);

    static std::vector<uint32_t> s_registered;
    s_registered.clear();
    auto record = [](uint32_t message, intptr_t (*)(uintptr_t, intptr_t)) {
        s_registered.push_back(message);
    };
    RegisterRemoteMessages(record, 0xC001);
    EXPECT_EQ(s_registered, (std::vector<uint32_t>{1524, 32769, 0xC000, 0xC001, 0xC002, 0xC003}));
    s_registered.clear();
    RegisterRemoteMessages(record, 16);
    EXPECT_EQ(s_registered, (std::vector<uint32_t>{1524, 32769}));
}

TEST(RemoteText, FileUrlAndBusText) {
    EXPECT_EQ(FileUrl("/home/ann/Music/Café & Co/cover 1.jpg"),
              "file:///home/ann/Music/Caf%C3%A9%20%26%20Co/cover%201.jpg");
    EXPECT_EQ(FileUrl(std::string_view("/a%b#c?\x01", 8)), "file:///a%25b%23c%3F%01");
    EXPECT_EQ(BusText(u"Tønes"), "T\xC3\xB8nes");
    EXPECT_EQ(BusText(std::u16string(u"ab\0cd", 5)), "ab");
    EXPECT_EQ(BusText(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

// ---- Requests on the main thread ----

std::vector<std::pair<uintptr_t, intptr_t>> g_commands;

intptr_t RecordingProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message == platform::kWmCommand) g_commands.push_back({wParam, lParam});
    return 0;
}

class RemoteRequestTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetRemoteControl();
        ResetAppState();
        ResetSettings();
        platform::RegistryUseMemory();
        platform::ResetMessageLoop();
        platform::SetWindowProc(&RecordingProc);
        g_commands.clear();
    }
    void TearDown() override {
        ResetRemoteControl();
        platform::ResetMessageLoop();
    }
    static void Run(platform::MprisRequest::Kind kind) {
        platform::MprisRequest r;
        r.kind = kind;
        RunRemoteRequest(r);
    }
};

using Kind = platform::MprisRequest::Kind;

TEST_F(RemoteRequestTest, PlayAndPauseActOnlyWhenTheyChangeSomething) {
    g_app.paused = true;
    Run(Kind::kPause);
    EXPECT_TRUE(g_commands.empty());
    Run(Kind::kPlay);
    g_app.paused = false;
    Run(Kind::kPlay);
    Run(Kind::kPause);
    Run(Kind::kPlayPause);
    Run(Kind::kNext);
    Run(Kind::kPrevious);
    const std::vector<std::pair<uintptr_t, intptr_t>> expected = {
        {101, 0}, {101, 0}, {101, 0}, {102, 0}, {103, 0}};
    EXPECT_EQ(g_commands, expected);
}

TEST_F(RemoteRequestTest, LoopShuffleAndVolumeMapToTheSettings) {
    platform::MprisRequest r;
    r.kind = Kind::kLoopStatus;
    g_settings.repeatAlbum = 2;
    // Playlist keeps an album repeat (2) and turns a song repeat into 1.
    const std::pair<const char*, uint8_t> loops[] = {
        {"Playlist", 2}, {"Track", 3}, {"Playlist", 1}, {"None", 0}};
    for (const auto& [text, repeat] : loops) {
        r.text = text;
        RunRemoteRequest(r);
        EXPECT_EQ(g_settings.repeatAlbum, repeat) << text;
        EXPECT_EQ(BuildRemoteState().loopStatus, text);
    }

    r.kind = Kind::kShuffle;
    g_settings.playShuffle = 2;
    // True keeps album shuffle (2); from off it is 1.
    const std::pair<bool, uint8_t> shuffles[] = {{true, 2}, {false, 0}, {true, 1}};
    for (const auto& [flag, shuffle] : shuffles) {
        r.flag = flag;
        RunRemoteRequest(r);
        EXPECT_EQ(g_settings.playShuffle, shuffle) << flag;
        EXPECT_EQ(BuildRemoteState().shuffle, flag);
    }

    r.kind = Kind::kVolume;
    for (double v : {0.304, 7.0, -1.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
        r.number = v;
        RunRemoteRequest(r);
    }
    const std::vector<std::pair<uintptr_t, intptr_t>> expected = {{304, 30}, {305, 0}, {304, 100},
                                                                  {305, 0},  {304, 0}, {305, 0}};
    EXPECT_EQ(g_commands, expected);
}

TEST_F(RemoteRequestTest, NothingLoadedMeansNoTrackAndNoJumps) {
    const platform::MprisState state = BuildRemoteState();
    EXPECT_EQ(state.playbackStatus, "Stopped");
    EXPECT_EQ(state.trackId, platform::kMprisNoTrack);
    EXPECT_FALSE(state.canSeek);
    platform::MprisRequest r;
    r.kind = Kind::kSeek;
    for (int64_t us : {std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()}) {
        r.us = us;
        RunRemoteRequest(r);
    }
    r.kind = Kind::kSetPosition;
    r.text = "/org/kra/track/1";
    RunRemoteRequest(r);
    EXPECT_EQ(BuildRemoteState().seeks, 0u);
    EXPECT_TRUE(g_commands.empty());
}

TEST_F(RemoteRequestTest, MediaKeysAreRemotePresses) {
    // From the SDL window's keys: play (the toggle), next, previous, stop.
    g_app.paused = false;
    for (const SDL_Keycode key : {SDLK_AUDIOPLAY, SDLK_AUDIONEXT, SDLK_AUDIOPREV, SDLK_AUDIOSTOP})
        EXPECT_TRUE(HandleMediaKey(platform::SdlKeyToVirtualKey(key))) << key;
    EXPECT_FALSE(HandleMediaKey(platform::SdlKeyToVirtualKey(SDLK_SPACE)));
    EXPECT_FALSE(HandleMediaKey(platform::SdlKeyToVirtualKey(SDLK_VOLUMEUP)));
    const std::vector<std::pair<uintptr_t, intptr_t>> expected = {
        {101, 0}, {102, 0}, {103, 0}, {101, 0}};  // stop pauses
    EXPECT_EQ(g_commands, expected);
}

TEST(RemotePosition, KeptWhilePredictedAJumpElsewhereIsASeek) {
    platform::MprisState last;
    last.trackId = "/org/kra/track/3";
    last.advancing = true;
    last.positionUs = 10000000;
    last.positionTick = 1000;
    last.seeks = 4;
    platform::MprisState s = last;
    // Playing on as predicted (2 s later, 100 ms off): nothing new to tell.
    PlaceRemotePosition(last, 12100000, 3000, s);
    EXPECT_EQ(s.positionUs, 10000000);
    EXPECT_EQ(s.positionTick, 1000u);
    EXPECT_EQ(s.seeks, 4u);
    // The slider moved it to 40 s: a seek at the new position.
    PlaceRemotePosition(last, 40000000, 3000, s);
    EXPECT_EQ(s.positionUs, 40000000);
    EXPECT_EQ(s.positionTick, 3000u);
    EXPECT_EQ(s.seeks, 5u);
    // Placed again against the same last state: counted once only.
    PlaceRemotePosition(last, 40000000, 3000, s);
    EXPECT_EQ(s.seeks, 5u);
    // A new song, or a pause, is no seek.
    for (const bool newSong : {true, false}) {
        s = last;
        if (newSong) s.trackId = "/org/kra/track/4";
        if (!newSong) s.advancing = false;
        PlaceRemotePosition(last, 0, 3000, s);
        EXPECT_EQ(s.positionUs, 0);
        EXPECT_EQ(s.seeks, 4u);
    }
}

TEST_F(RemoteRequestTest, TheQueueIsBounded) {
    platform::MprisRequest r;
    r.kind = Kind::kNext;
    size_t taken = 0;
    while (QueueRemoteRequest(r) && taken < 10000) ++taken;
    EXPECT_EQ(taken, kMaxRemoteRequests);
    RunRemoteRequests();
    EXPECT_EQ(g_commands.size(), kMaxRemoteRequests);
    EXPECT_TRUE(QueueRemoteRequest(r));  // room again
}

}  // namespace
}  // namespace kra
