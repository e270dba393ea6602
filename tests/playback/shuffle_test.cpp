// Shuffle with history on the fake engine. Every property is checked over
// several seeds, since the picks are random.
#include <set>

#include "library/list_files.h"
#include "queue_fixture.h"

namespace kra {
namespace {

using Songs = std::vector<std::string>;

size_t Distinct(const Songs& songs) {
    return std::set<std::string>(songs.begin(), songs.end()).size();
}

class ShuffleTest : public test::QueueTest, public ::testing::WithParamInterface<uint32_t> {
  protected:
    void SetUp() override {
        QueueTest::SetUp();
        SeedShuffle(GetParam());
    }
};

TEST_P(ShuffleTest, FiveSongsPlayOnceThenWalkBackAndReplay) {
    MakeLibrary({{"A/One", 2}, {"A/Two", 1}, {"B/Three", 2}});
    Modes(1, 1);
    Choose("A/Two/01.mp3");
    const Songs played = Walk(4);
    EXPECT_EQ(Distinct(played), 5u);
    EXPECT_EQ(Walk(4, &Previous), Songs(played.rbegin(), played.rend()));
    EXPECT_EQ(Walk(4), played) << "replayed before a new pick";
    Next();  // a new round
    EXPECT_EQ(g_queue.cursor.historyCounter, 1u);
    EXPECT_EQ(Distinct(Walk(4)), 5u);
}

TEST_P(ShuffleTest, WithoutRepeatTheRoundEndsThePlayback) {
    MakeLibrary({{"A/One", 4}});
    Modes(0, 1);
    Choose("A/One/01.mp3");
    EXPECT_EQ(Distinct(Walk(3)), 4u);
    EXPECT_TRUE(g_app.trackLoaded);
    Next();
    EXPECT_FALSE(g_app.trackLoaded);
    for (const PlayEntry& entry : g_library.play.entries) EXPECT_EQ(entry.identity, 0u);
}

TEST_P(ShuffleTest, PreviousAtTheStartOfTheHistoryWraps) {
    MakeLibrary({{"A/One", 3}});
    Modes(1, 1);
    Choose("A/One/02.mp3");
    Next();
    Previous();
    EXPECT_EQ(Now(), "A/One/02.mp3");
    Previous();  // nothing older: the newest identity (the list length)
    EXPECT_TRUE(g_app.trackLoaded);
    EXPECT_EQ(g_queue.cursor.historyCounter, 3u);
    // Without repeat the same step stops.
    Modes(0, 1);
    Choose("A/One/02.mp3");
    Previous();
    EXPECT_FALSE(g_app.trackLoaded);
}

TEST_P(ShuffleTest, OneEntryReplaysItself) {
    MakeLibrary({{"A/One", 1}});
    Modes(1, 1);
    Choose("A/One/01.mp3");
    for (int i = 0; i < 3; ++i) {
        fake_->ClearCalls();
        Next();
        EXPECT_EQ(Now(), "A/One/01.mp3");
        EXPECT_EQ(fake_->Calls().front().rfind("OpenUrl", 0), 0u);
    }
}

TEST_P(ShuffleTest, RepeatAlbumShuffleStaysInTheAlbum) {
    MakeLibrary({{"A/One", 2}, {"A/Two", 4}, {"B/Three", 1}});
    Modes(2, 1);
    Choose("A/Two/03.mp3");
    const Songs played = Walk(11);
    EXPECT_EQ(Distinct(Songs(played.begin(), played.begin() + 4)), 4u);
    for (const std::string& song : played) EXPECT_EQ(song.rfind("A/Two/", 0), 0u) << song;
    // A one-song album replays its song.
    Choose("B/Three/01.mp3");
    EXPECT_EQ(Walk(3), Songs(4, "B/Three/01.mp3"));
}

TEST_P(ShuffleTest, AlbumShufflePlaysTheAlbumOutThenARandomAlbumFromItsStart) {
    MakeLibrary({{"A/One", 3}, {"A/Two", 2}, {"B/Three", 3}, {"B/Four", 2}});
    Modes(1, 2);
    Choose("A/Two/01.mp3");
    Next();
    EXPECT_EQ(Now(), "A/Two/02.mp3");
    std::set<std::string> albums{"A/Two"};
    for (int album = 0; album < 3; ++album) {
        Next();
        const std::string first = Now();
        const std::string folder = first.substr(0, first.rfind('/'));
        EXPECT_EQ(first.substr(first.rfind('/') + 1), "01.mp3") << first;
        EXPECT_TRUE(albums.insert(folder).second) << folder << " again within the round";
        while (g_queue.cursor.folderIndex + 1 < g_queue.cursor.folderCount) {
            const int32_t index = g_queue.cursor.folderIndex;
            Next();
            EXPECT_EQ(g_queue.cursor.folderIndex, index + 1);
            EXPECT_EQ(Now().substr(0, folder.size()), folder);
        }
    }
    EXPECT_EQ(albums.size(), 4u);
}

TEST_P(ShuffleTest, AlbumShuffleFromTheAllSongsListCountsTheEarlierSongsAsPlayed) {
    MakeLibrary({{"A/One", 2}, {"A/Two", 4}});
    Modes(0, 2);
    g_playbackHooks.onAllSongsList = [] { return true; };
    TapAllSongsLine(allSongs_, 4);  // A/Two/03
    EXPECT_EQ(Now(), "A/Two/03.mp3");
    EXPECT_EQ(g_library.play.entries[2].identity, 1u);
    EXPECT_EQ(g_library.play.entries[3].identity, 2u);
    EXPECT_EQ(g_queue.cursor.historyCounter, 3u);
    EXPECT_EQ(Walk(2, &Previous), (Songs{"A/Two/03.mp3", "A/Two/02.mp3", "A/Two/01.mp3"}));
    Next();
    EXPECT_EQ(Now(), "A/Two/02.mp3");
}

// The shuffle line and a song line of a song view: song shuffle either way.
TEST_P(ShuffleTest, ShuffleAndSongLinesOfTheSongViews) {
    MakeLibrary({{"A/One", 3}, {"A/Two", 3}});
    ListContent view;
    view.AddLine(kDataShuffle, u"Shuffle");
    for (std::u16string_view song : g_library.browse) view.AddLine(song, song);
    TapAllSongsLine(view, 0);
    EXPECT_EQ(g_settings.playShuffle, 1);
    EXPECT_EQ(g_library.play.size(), 6u);
    EXPECT_FALSE(g_library.playSubList);
    EXPECT_TRUE(g_app.trackLoaded);

    Modes(0, 2);
    ListContent album;
    album.AddLine(kDataShuffle, u"Shuffle");
    for (int i = 1; i <= 3; ++i) {
        const std::u16string path = Song("A/Two/0" + std::to_string(i) + ".mp3");
        album.AddLine(path, path);
    }
    TapAlbumSongsLine(album, 2);
    EXPECT_EQ(Now(), "A/Two/02.mp3");
    EXPECT_EQ(g_settings.playShuffle, 1) << "a song line turns album shuffle into song shuffle";
    EXPECT_TRUE(g_library.playSubList);
    EXPECT_EQ(g_library.play.size(), 3u);
    TapAlbumSongsLine(album, 0);
    EXPECT_EQ(g_settings.playShuffle, 1);
    EXPECT_EQ(Now().rfind("A/Two/", 0), 0u);
}

TEST_P(ShuffleTest, HistorySurvivesTheListFileAndTheCounterSetting) {
    MakeLibrary({{"A/One", 3}, {"B/Two", 3}});
    Modes(1, 1);
    Choose("A/One/01.mp3");
    const Songs played = Walk(3);
    // Shutdown: the list file and LastPlayIdentity.
    std::vector<uint8_t> plt;
    ASSERT_TRUE(EncodePlayList(g_library.play, plt));
    const uint32_t counter = g_queue.cursor.historyCounter;
    const std::u16string last = g_queue.currentPath;

    // Start-up.
    g_library.play.clear();
    DecodePlayList(plt.data(), plt.size(), g_library.play, nullptr, nullptr);
    g_settings.lastPlayIdentity = counter;
    g_settings.lastMusic = last;
    g_settings.lastDuration = 0;
    g_settings.lastPaused = 0;
    ResetPlayQueue();
    g_library.playSubList = true;
    Reload();
    Dispatch();
    EXPECT_EQ(Walk(3, &Previous), Songs(played.rbegin(), played.rend()));
}

INSTANTIATE_TEST_SUITE_P(Seeds, ShuffleTest, ::testing::Values(1u, 2u, 3u, 42u, 2024u));

}  // namespace
}  // namespace kra
