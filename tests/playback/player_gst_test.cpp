// The GStreamer engine through the bridge, on real files with a fake sink.
// Waits are for GStreamer's own work and bounded; nothing sleeps.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <vector>

#include "platform/player.h"
#include "playback/player_bridge.h"
#include "support/bytes.h"
#include "support/temp_tree.h"

// GLib keeps a buffer from a library constructor that runs while GStreamer
// loads its plugins; it is never freed. Not ours to fix.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libglib-2.0.so\n";
}

namespace kra {
namespace {

using test::Bytes;
using test::Le16;
using test::Le32;
using test::Text;

// 8-bit mono PCM at 8 kHz, a square wave of `ms` milliseconds, with an
// optional LIST INFO chunk (INAM title, IART artist, IPRD album).
Bytes MakeWav(uint32_t ms, const std::vector<std::string>& tags = {}) {
    Bytes info;
    const char* ids[] = {"INAM", "IART", "IPRD"};
    for (size_t i = 0; i < tags.size() && i < 3; ++i) {
        info += Text(ids[i]) + Le32(uint32_t(tags[i].size() + 1)) + Text(tags[i]) + Bytes{0};
        if (tags[i].size() % 2 == 0) info.push_back(0);  // chunks are padded to even sizes
    }
    const uint32_t samples = 8 * ms;
    Bytes chunks = Text("fmt ") + Le32(16) + Le16(1) + Le16(1) + Le32(8000) + Le32(8000) + Le16(1) +
                   Le16(8);  // PCM, mono, rate, bytes per second, align, bits
    if (!info.empty())
        chunks += Text("LIST") + Le32(uint32_t(4 + info.size())) + Text("INFO") + info;
    chunks += Text("data") + Le32(samples);
    for (uint32_t i = 0; i < samples; ++i) chunks.push_back((i / 20) % 2 ? 0xA0 : 0x60);
    return Text("RIFF") + Le32(uint32_t(4 + chunks.size())) + Text("WAVE") + chunks;
}

std::vector<uint32_t> g_posted;
std::atomic<int> g_wakes{0};

void Capture(uint32_t command) {
    g_posted.push_back(command);
}
void CountWake(void*) {
    ++g_wakes;
}

class GstPlayerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_posted.clear();
        player::SetCommandPoster(&Capture);
        player::ResetPlayingCounter();
    }
    void TearDown() override {
        player::ShutdownPlayer();
        player::SetCommandPoster(nullptr);
    }

    bool Start(const std::string& sink) {
        std::string error;
        auto engine = platform::CreateGstPlayer(sink, &CountWake, nullptr, &error);
        if (!engine) {
            ADD_FAILURE() << error;
            return false;
        }
        player::InitPlayer(std::move(engine));
        return true;
    }

    // Where `command` was first posted at or after `from`; SIZE_MAX if not.
    size_t IndexOf(uint32_t command, size_t from = 0) const {
        auto it =
            std::find(g_posted.begin() + std::min(from, g_posted.size()), g_posted.end(), command);
        return it == g_posted.end() ? SIZE_MAX : size_t(it - g_posted.begin());
    }

    // Pumps reports until `command` has been posted (after `from` commands);
    // false after 10 s without it.
    bool PumpUntil(uint32_t command, size_t from = 0) {
        for (int i = 0; i < 200; ++i) {
            player::PumpPlayerEvents();
            if (IndexOf(command, from) != SIZE_MAX) return true;
            platform::WaitGstPlayerEvent(*player::Engine(), 50);
        }
        return false;
    }

    test::TempTree temp_;
};

TEST_F(GstPlayerTest, PlaysEachFormatToItsEnd) {
    ASSERT_TRUE(Start("fakesink sync=false"));
    const std::u16string data = platform::FromPosixPath(
        std::filesystem::path(KRA_TEST_DATA "/../playback/data").lexically_normal().string());
    const std::vector<std::u16string> songs = {data + u"\\tone.mp3", data + u"\\tone.m4a",
                                               data + u"\\tone.wma",
                                               temp_.Write("tone.wav", MakeWav(600))};
    for (const std::u16string& song : songs) {
        SCOPED_TRACE(std::string(song.begin(), song.end()));
        const size_t from = g_posted.size();
        ASSERT_TRUE(player::OpenUrl(song));
        player::Play();
        ASSERT_TRUE(PumpUntil(8, from));
        ASSERT_TRUE(PumpUntil(204, from));
        const size_t opened = IndexOf(9, from);
        const size_t ready = IndexOf(6, from);
        const size_t playing = IndexOf(3, from);
        const size_t ended = IndexOf(8, from);
        const size_t stopped = IndexOf(1, from);
        EXPECT_LT(opened, ready);
        EXPECT_LT(ready, playing);
        EXPECT_LT(playing, ended);
        EXPECT_EQ(stopped, ended + 1);
        EXPECT_EQ(IndexOf(204, from), stopped + 1);
        EXPECT_EQ(IndexOf(2, from), SIZE_MAX) << "a song opened to play reports no pause";
        EXPECT_EQ(player::GetPlayState(), platform::kPlayStopped);
    }
    // Four playing reports: 201 for the first and the third.
    EXPECT_EQ(std::count(g_posted.begin(), g_posted.end(), 201u), 2);
}

// A seek asked for before the file is ready is applied once it is.
TEST_F(GstPlayerTest, OpenedPausedSeeksAndReadsTags) {
    ASSERT_TRUE(Start("fakesink sync=false"));
    const std::u16string song =
        temp_.Write("long.wav", MakeWav(5000, {"Wave Title", "Wave Artist", "Wave Album"}));
    ASSERT_TRUE(player::OpenUrl(song));
    player::SetPosition(4);
    ASSERT_TRUE(PumpUntil(2));
    EXPECT_LT(IndexOf(9), IndexOf(6));
    EXPECT_EQ(IndexOf(6) + 1, IndexOf(2));
    EXPECT_EQ(IndexOf(3), SIZE_MAX);
    EXPECT_EQ(player::GetPosition(), 4u);

    const player::CurrentItem item = player::ReadCurrentItem(true, false);
    EXPECT_EQ(item.duration, 5u);
    EXPECT_EQ(item.title, u"Wave Title");
    EXPECT_EQ(item.artist, u"Wave Artist");
    EXPECT_EQ(item.album, u"Wave Album");
    EXPECT_TRUE(player::ReadCurrentItem(false, false).title.empty());

    const size_t from = g_posted.size();
    player::Play();
    ASSERT_TRUE(PumpUntil(8, from));
    EXPECT_NE(IndexOf(3, from), SIZE_MAX);
}

TEST_F(GstPlayerTest, MissingAndDamagedFiles) {
    ASSERT_TRUE(Start("fakesink sync=false"));
    EXPECT_FALSE(player::OpenUrl(temp_.Core() + u"\\missing.mp3"));
    EXPECT_EQ(player::ReadCurrentItem(true, false).duration, 0u);
    player::Play();  // nothing loaded: no effect, no crash

    std::vector<uint8_t> junk(3000);
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = uint8_t(i * 7 + 3);
    const std::u16string damaged = temp_.Write("junk.mp3", junk);
    const size_t from = g_posted.size();
    ASSERT_TRUE(player::OpenUrl(damaged));
    player::Play();
    // A media error posts the same command as the end of a song.
    ASSERT_TRUE(PumpUntil(8, from));
    EXPECT_EQ(IndexOf(3, from), SIZE_MAX);
    EXPECT_EQ(player::GetPosition(), 0u);
}

TEST_F(GstPlayerTest, PauseStopAndVolume) {
    ASSERT_TRUE(Start("fakesink"));  // a bare sink name runs in real time
    ASSERT_TRUE(player::OpenUrl(temp_.Write("tone.wav", MakeWav(3000))));
    player::Play();
    ASSERT_TRUE(PumpUntil(3));
    // In real time the song is still playing; the position moves forward.
    double last = -1.0;
    bool advanced = false;
    for (int i = 0; i < 40 && !advanced; ++i) {
        platform::WaitGstPlayerEvent(*player::Engine(), 25);
        player::PumpPlayerEvents();
        const double now = player::Engine()->GetPosition();
        if (last >= 0.0 && now > last) advanced = true;
        last = now;
    }
    EXPECT_TRUE(advanced);
    size_t from = g_posted.size();
    player::Pause();
    ASSERT_TRUE(PumpUntil(2, from));
    EXPECT_LT(player::Engine()->GetPosition(), 3.0);
    from = g_posted.size();
    player::Stop();
    ASSERT_TRUE(PumpUntil(204, from));
    EXPECT_EQ(IndexOf(1, from) + 1, IndexOf(204, from));
    EXPECT_EQ(player::GetPosition(), 0u);

    player::SetVolume(150);
    EXPECT_EQ(player::GetVolume(), 100);
    player::SetVolume(-3);
    EXPECT_EQ(player::GetVolume(), 0);
    player::SetVolume(55);
    EXPECT_EQ(player::GetVolume(), 55);
    EXPECT_GT(g_wakes.load(), 0);
}

TEST(GstPlayerSetup, UnknownSinkIsReported) {
    std::string error;
    EXPECT_EQ(platform::CreateGstPlayer("nosuchsinkelement", nullptr, nullptr, &error), nullptr);
    EXPECT_NE(error.find("nosuchsinkelement"), std::string::npos);
}

}  // namespace
}  // namespace kra
