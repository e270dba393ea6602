// The translation of engine reports into posted commands, on the fake engine.
#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/player_fake.h"
#include "playback/player_bridge.h"

namespace kra {
namespace {

std::vector<uint32_t> g_commands;
void Capture(uint32_t command) {
    g_commands.push_back(command);
}

class BridgeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!platform::IsVirtualClock()) platform::UseVirtualClock(100000);
        g_commands.clear();
        auto engine = std::make_unique<platform::FakePlayer>();
        fake_ = engine.get();
        fake_->AddMedia(u"\\m\\a.mp3", {3000, u"A", u"Album", u"Artist"});
        fake_->AddMedia(u"\\m\\b.mp3", {2000});
        player::InitPlayer(std::move(engine));
        player::SetCommandPoster(&Capture);
        player::ResetPlayingCounter();
    }
    void TearDown() override {
        player::ShutdownPlayer();
        player::SetCommandPoster(nullptr);
    }
    std::vector<uint32_t> Take() {
        player::PumpPlayerEvents();
        std::vector<uint32_t> out;
        out.swap(g_commands);
        return out;
    }
    platform::FakePlayer* fake_ = nullptr;
};

using Commands = std::vector<uint32_t>;

TEST_F(BridgeTest, PlayingASongToItsEnd) {
    ASSERT_TRUE(player::OpenUrl(u"\\m\\a.mp3"));
    player::Play();
    EXPECT_EQ(Take(), (Commands{9, 6, 3, 201}));
    platform::AdvanceVirtualClock(2999);
    EXPECT_EQ(Take(), Commands{});
    EXPECT_EQ(player::GetPosition(), 2u);
    platform::AdvanceVirtualClock(1);
    EXPECT_EQ(Take(), (Commands{8, 1, 204}));
    EXPECT_EQ(player::GetPlayState(), 1);
}

TEST_F(BridgeTest, EverySecondPlayingReportPosts201AcrossSongs) {
    fake_->InjectState(3);
    fake_->InjectState(3);
    fake_->InjectState(3);
    EXPECT_EQ(Take(), (Commands{3, 201, 3, 3, 201}));
    // The counter is not reset by a new song: this one's first report is the
    // fourth of the run.
    ASSERT_TRUE(player::OpenUrl(u"\\m\\b.mp3"));
    player::Play();
    EXPECT_EQ(Take(), (Commands{9, 6, 3}));
    player::Pause();
    player::Play();
    EXPECT_EQ(Take(), (Commands{2, 3, 201}));
}

TEST_F(BridgeTest, OpenedPausedReportsReadyThenPaused) {
    fake_->SetOpenDelay(300);
    ASSERT_TRUE(player::OpenUrl(u"\\m\\a.mp3"));
    EXPECT_EQ(Take(), (Commands{9}));
    EXPECT_EQ(player::ReadCurrentItem(false, false).duration, 0u) << "not known before it is ready";
    platform::AdvanceVirtualClock(300);
    EXPECT_EQ(Take(), (Commands{6, 2}));
    const player::CurrentItem item = player::ReadCurrentItem(true, false);
    EXPECT_EQ(item.duration, 3u);
    EXPECT_EQ(item.title, u"A");
    EXPECT_EQ(item.album, u"Album");
    EXPECT_EQ(item.artist, u"Artist");
}

TEST_F(BridgeTest, ErrorsAndRefusals) {
    fake_->InjectError("decoder");
    EXPECT_EQ(Take(), (Commands{8}));
    EXPECT_FALSE(player::OpenUrl(u"\\m\\missing.mp3"));
    EXPECT_EQ(Take(), (Commands{1, 204}));
    player::Stop();  // nothing loaded: no report
    EXPECT_EQ(Take(), Commands{});
}

TEST(BridgeWithoutEngine, EveryOperationIsHarmless) {
    player::ShutdownPlayer();
    EXPECT_FALSE(player::OpenUrl(u"\\m\\a.mp3"));
    player::Play();
    player::SetPosition(3);
    EXPECT_EQ(player::GetPosition(), 0u);
    EXPECT_EQ(player::GetPlayState(), 0);
    player::PumpPlayerEvents();
}

}  // namespace
}  // namespace kra
