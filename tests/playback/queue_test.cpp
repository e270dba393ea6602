// The play queue on the fake engine: moves by repeat mode at the album and
// list boundaries, the end of a song on both event paths, the toggle, the
// start-up resume and the commands and hooks the shell reaches it by.
#include "queue_fixture.h"

namespace kra {
namespace {

using test::g_albumShows;
using Calls = std::vector<std::string>;
using Songs = std::vector<std::string>;

class NavigationTest : public test::QueueTest {
  protected:
    void SetUp() override {
        QueueTest::SetUp();
        MakeLibrary({{"A/One", 3}, {"A/Two", 2}, {"B/Three", 3}});
    }
};

TEST_F(NavigationTest, PreviousUnderThreeSecondsGoesBackFromThreeRestarts) {
    Choose("A/Two/01.mp3");
    RunFor(2000);
    Previous();
    EXPECT_EQ(Now(), "A/One/03.mp3");
    EXPECT_EQ(g_albumShows, (std::vector<int>{0, -1})) << "the earlier album is shown";

    RunFor(3000);
    fake_->ClearCalls();
    Previous();
    EXPECT_EQ(Now(), "A/One/03.mp3");
    EXPECT_EQ(fake_->Calls(), (Calls{"Stop", "Play"}));
    EXPECT_EQ(player::GetPosition(), 0u);
}

TEST_F(NavigationTest, NextWalksAcrossAlbumsAndKeepsTheFolderQueue) {
    Choose("A/One/02.mp3");
    Next();
    EXPECT_EQ(Now(), "A/One/03.mp3");
    EXPECT_EQ(g_queue.cursor.folderIndex, 2);
    Next();
    EXPECT_EQ(Now(), "A/Two/01.mp3");
    EXPECT_EQ(g_queue.cursor.folderIndex, 0);
    EXPECT_EQ(g_queue.cursor.folderCount, 2);
    EXPECT_EQ(g_albumShows.back(), +1);
    NextAlbum();
    // The third step goes from the first album to the last one.
    EXPECT_EQ(Walk(3, &PreviousAlbum),
              (Songs{"B/Three/01.mp3", "A/Two/01.mp3", "A/One/01.mp3", "B/Three/01.mp3"}));
    EXPECT_EQ(g_queue.cursor.position, 5);
}

TEST_F(NavigationTest, RepeatSongRestartsOnEveryMove) {
    Modes(3, 0);
    Choose("A/Two/02.mp3");
    for (void (*move)() : {&Next, &Previous, &PreviousAlbum, &NextAlbum}) {
        move();
        EXPECT_EQ(Now(), "A/Two/02.mp3");
        EXPECT_EQ(g_queue.cursor.position, 4);
    }
    fake_->ClearCalls();
    Next();
    EXPECT_EQ(fake_->Calls(), (Calls{"Stop", "Play"}));
    fake_->ClearCalls();
    PreviousAlbum();
    NextAlbum();
    EXPECT_TRUE(fake_->Calls().empty());
}

TEST_F(NavigationTest, RepeatAlbumWrapsInsideTheAlbum) {
    Modes(2, 0);
    Choose("A/Two/02.mp3");
    Next();  // the last song of an album followed by another
    EXPECT_EQ(Now(), "A/Two/01.mp3");
    Previous();  // its first song: back to its last
    EXPECT_EQ(Now(), "A/Two/02.mp3");
    Choose("B/Three/03.mp3");  // the last entry of the list
    Next();
    EXPECT_EQ(Now(), "B/Three/01.mp3");
    Choose("A/One/01.mp3");  // the first entry of the list
    Previous();
    EXPECT_EQ(Now(), "A/One/03.mp3");
    NextAlbum();
    EXPECT_EQ(Now(), "A/One/01.mp3");
    PreviousAlbum();
    EXPECT_EQ(Now(), "A/One/01.mp3");
}

TEST_F(NavigationTest, RepeatAllWrapsTheList) {
    Modes(1, 0);
    Choose("B/Three/03.mp3");
    g_albumShows.clear();
    Next();
    EXPECT_EQ(Now(), "A/One/01.mp3");
    EXPECT_EQ(g_albumShows, (std::vector<int>{+1}));
    Previous();
    EXPECT_EQ(Now(), "B/Three/03.mp3");
    EXPECT_EQ(g_queue.cursor.folderIndex, 2);
}

TEST_F(NavigationTest, NoRepeatStopsAtTheEndAndToggleStartsTheFirst) {
    Choose("B/Three/03.mp3");
    Next();
    EXPECT_FALSE(g_app.trackLoaded);
    EXPECT_TRUE(g_app.paused);
    EXPECT_EQ(g_queue.cursor.position, 0);
    EXPECT_EQ(fake_->Calls().back(), "Stop");
    Dispatch();
    TogglePause();
    EXPECT_EQ(Now(), "A/One/01.mp3");
    EXPECT_FALSE(g_app.paused);
    EXPECT_TRUE(g_app.trackLoaded);
    EXPECT_EQ(g_queue.cursor.folderCount, 3);

    // The first entry under three seconds starts over.
    fake_->ClearCalls();
    Previous();
    EXPECT_EQ(Now(), "A/One/01.mp3");
    EXPECT_EQ(fake_->Calls(), (Calls{"Stop", "Play"}));
}

TEST_F(NavigationTest, EmptyListToggleShufflesTheLibrary) {
    g_app.trackLoaded = false;
    TogglePause();
    EXPECT_EQ(g_settings.playShuffle, 1);
    EXPECT_EQ(g_library.play.size(), 8u);
    EXPECT_TRUE(g_app.trackLoaded);
    EXPECT_FALSE(g_app.paused);
    platform::RegValue stored;
    ASSERT_TRUE(platform::RegQueryValue(platform::RegRoot::CurrentUser, kSettingsKey,
                                        u"PlayShuffle", 1, stored));
    EXPECT_EQ(stored.data, std::vector<uint8_t>{1});
}

TEST_F(NavigationTest, PathNotInThePlayListPlaysNothing) {
    Choose("A/One/02.mp3");
    fake_->ClearCalls();
    SetPlayMusic(Song("C/Nowhere/01.mp3"));
    EXPECT_TRUE(fake_->Calls().empty());
    EXPECT_EQ(Now(), "A/One/02.mp3");
    // Found by the search from the start when the walk misses it.
    g_queue.cursor.position = 7;
    SetPlayMusic(Song("A/One/03.mp3"));
    EXPECT_EQ(Now(), "A/One/03.mp3");
    EXPECT_EQ(g_queue.cursor.position, 2);
}

// --- The end of a song ------------------------------------------------------

// Which reports count as the end on each path, and the guard, are the
// window's (dispatch tests); here the engine's real sequence moves on once.
TEST_F(NavigationTest, EndOfASongMovesOnOnceOnEitherPath) {
    Choose("A/One/01.mp3");
    RunFor(10000);
    EXPECT_EQ(Now(), "A/One/02.mp3");

    g_app.osMinor = 1;
    Choose("A/One/01.mp3");
    RunFor(1000);
    fake_->InjectState(platform::kPlayStopped);  // 1, then 204: inside the guard
    Dispatch();
    EXPECT_EQ(Now(), "A/One/01.mp3");
    RunFor(9000);
    EXPECT_EQ(Now(), "A/One/02.mp3");
}

TEST_F(NavigationTest, RestartOnTheStopReportPathDoesNotSkip) {
    g_app.osMinor = 1;
    Choose("A/One/01.mp3");
    RunFor(5000);
    Previous();  // restart: Stop reports 1 and 204
    Dispatch();
    EXPECT_EQ(Now(), "A/One/01.mp3");
    EXPECT_FALSE(g_app.skipNextEnd);
    RunFor(10000);  // the natural end still moves on
    EXPECT_EQ(Now(), "A/One/02.mp3");
}

TEST_F(NavigationTest, BrokenSongIsSkippedLikeAnEnd) {
    platform::FakePlayer::Media broken;
    broken.broken = true;
    fake_->AddMedia(Song("A/One/02.mp3"), broken);
    Choose("A/One/01.mp3");
    RunFor(10000);
    EXPECT_EQ(Now(), "A/One/03.mp3");
}

// --- Start-up resume -----------------------------------------------------------

class ReloadTest : public NavigationTest {};

TEST_F(ReloadTest, ResumesAtTheSavedPositionOnBothPaths) {
    for (uint32_t minor : {2u, 1u}) {
        for (bool paused : {false, true}) {
            SCOPED_TRACE(testing::Message() << "minor " << minor << " paused " << paused);
            g_app.osMinor = minor;
            player::ResetPlayingCounter();  // a fresh start
            g_library.play.clear();
            g_settings.lastMusic = Song("A/Two/02.mp3");
            g_settings.lastDuration = 7;
            g_settings.lastPaused = paused ? 1 : 0;
            fake_->ClearCalls();
            Reload();
            RunFor(500);
            EXPECT_EQ(Now(), "A/Two/02.mp3");
            EXPECT_EQ(g_queue.cursor.position, 4);
            EXPECT_EQ(g_queue.cursor.folderIndex, 1);
            EXPECT_EQ(player::GetPosition(), 7u);
            EXPECT_EQ(g_app.paused, paused);
            EXPECT_FALSE(g_app.resumePending);
            EXPECT_EQ(fake_->IsPlaying(), !paused);
        }
    }
}

TEST_F(ReloadTest, MissingSongOrEmptyLibraryLoadsNothing) {
    g_settings.lastMusic = Song("A/Two/09.mp3");
    Reload();
    EXPECT_TRUE(fake_->Calls().empty());
    g_settings.lastMusic = Song("A/Two/01.mp3");
    g_library.browse.clear();
    Reload();
    EXPECT_TRUE(fake_->Calls().empty());
}

TEST_F(ReloadTest, QuitBeforeTheResumeIsAppliedKeepsThePosition) {
    g_settings.lastMusic = Song("A/Two/02.mp3");
    g_settings.lastDuration = 7;
    Reload();
    ASSERT_TRUE(g_app.resumePending);
    std::u16string path;
    uint32_t position = 0, identity = 0;
    ASSERT_TRUE(g_hooks.currentTrack(path, position, identity));
    EXPECT_EQ(path, Song("A/Two/02.mp3"));
    EXPECT_EQ(position, 7u);
}

TEST_F(ReloadTest, SubListFindsTheSongInThePlayList) {
    g_library.playSubList = true;
    g_library.play.Append(Song("B/Three/01.mp3"));
    g_library.play.Append(Song("B/Three/02.mp3"));
    g_settings.lastMusic = Song("B/Three/02.mp3");
    Reload();
    EXPECT_EQ(g_queue.cursor.position, 1);
    Next();
    EXPECT_FALSE(g_app.trackLoaded) << "the end of the part played";
}

// --- Commands and hooks ---------------------------------------------------------

// The routing of each command is the window's (dispatch tests); here each
// of the playback's hooks reaches the queue or the engine.
TEST_F(NavigationTest, WindowCommandsReachTheQueueAndTheEngine) {
    Choose("A/One/01.mp3");
    Command(kCmdNext);
    EXPECT_EQ(Now(), "A/One/02.mp3");
    Command(kCmdPrevious);
    EXPECT_EQ(Now(), "A/One/01.mp3");
    Command(kCmdPause);
    EXPECT_TRUE(g_app.paused);
    EXPECT_EQ(fake_->Calls().back(), "Pause");
    Command(kCmdPause);
    EXPECT_FALSE(g_app.paused);
    EXPECT_EQ(fake_->Calls().back(), "Play");
    for (int i = 0; i < 20; ++i) {
        const int32_t before = g_queue.cursor.position;
        Command(kCmdRemoteRandom);
        EXPECT_NE(g_queue.cursor.position, before);
        EXPECT_EQ(g_library.play.Path(size_t(g_queue.cursor.position)), g_queue.currentPath);
        EXPECT_GE(g_queue.cursor.folderIndex, 0);
    }
    Command(kCmdSetVolume, 64);
    EXPECT_EQ(player::GetVolume(), 64);
}

uint32_t g_registeredMessage = 0;
intptr_t (*g_registeredHandler)(uintptr_t, intptr_t) = nullptr;
void Register(uint32_t message, intptr_t (*handler)(uintptr_t, intptr_t)) {
    g_registeredMessage = message;
    g_registeredHandler = handler;
}

TEST_F(NavigationTest, ShellHooksReachThePlayback) {
    InstallPlaybackHooks(&Register);
    ASSERT_EQ(g_registeredMessage, platform::kWmPlayerEvents);
    Choose("A/One/02.mp3");
    RunFor(4000);
    std::u16string path;
    uint32_t position = 9, identity = 0;
    ASSERT_TRUE(g_hooks.currentTrack(path, position, identity));
    EXPECT_EQ(path, Song("A/One/02.mp3"));
    EXPECT_EQ(position, 4u);
    EXPECT_EQ(identity, 1u);
    // The wake message's handler takes the engine's reports.
    fake_->InjectState(platform::kPlayPaused);
    g_registeredHandler(0, 0);
    EXPECT_EQ(test::g_posted, std::vector<uint32_t>{kCmdStatePaused});
}

}  // namespace
}  // namespace kra
