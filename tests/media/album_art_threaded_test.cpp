// The two art workers against the main thread: table rebuilds during a walk,
// foreground loads of albums the worker is on, list passes over a list that
// changes. Run under ThreadSanitizer as well.
#include <gtest/gtest.h>

#include <map>
#include <thread>

#include "album_art_test_util.h"
#include "app/base/app_state.h"
#include "app/base/worker_pair.h"
#include "media/album_art_cache.h"
#include "platform/message_loop.h"

namespace kra {
namespace {

using test::ArtTree;
using test::SolidJpeg;
using test::TaggedSong;

std::vector<uint32_t> g_messages;

intptr_t RecordMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    g_messages.push_back(message);
    HandleAlbumArtMessage(message, wParam, lParam);
    return 0;
}

class ArtWorkerTest : public ::testing::Test {
  protected:
    static constexpr int kAlbums = 10;

    void SetUp() override {
        ResetAlbumArtCache();
        platform::ResetMessageLoop();
        platform::SetWindowProc(&RecordMessage);
        g_messages.clear();
        SetAlbumArtOptions(test::TestArtOptions());
        for (int i = 0; i < kAlbums; ++i) {
            const std::string folder = "M/" + std::to_string(i);
            tree_.Write(folder + "/01.mp3", TaggedSong("One", "Band", "Album " + std::to_string(i),
                                                       SolidJpeg(40, 40, uint8_t(20 * i), 0, 0)));
            folders_.push_back(tree_.Core(folder));
        }
    }
    void TearDown() override {
        g_artCacheWorker.Stop(5000);
        g_listArtWorker.Stop(5000);
        ResetAlbumArtCache();
        platform::ResetMessageLoop();
    }

    std::shared_ptr<AlbumTable> MakeTable() {
        auto table = std::make_shared<AlbumTable>();
        table->albumCount = kAlbums;
        table->entries.resize(kAlbums + 1);
        for (int i = 0; i < kAlbums; ++i)
            table->entries[size_t(i + 1)].folder = folders_[size_t(i)];
        return table;
    }

    // Waits (without sleeping) until the worker has finished `passes` passes.
    static void WaitForPasses(const WorkerPair& worker, uint64_t passes) {
        while (worker.Passes() < passes) std::this_thread::yield();
    }

    // How often each folder's tags were read for its caption.
    std::map<std::string, int> TagReads(const std::vector<std::string>& lines) {
        std::map<std::string, int> reads;
        for (const std::string& line : lines) {
            if (line.rfind("GetAFInfo: ", 0) == 0 || line.rfind("GetAFNPInfo: ", 0) == 0)
                ++reads[line.substr(line.find(' ') + 1)];
        }
        return reads;
    }

    ArtTree tree_;
    std::vector<std::u16string> folders_;
};

TEST_F(ArtWorkerTest, WalkLoadsEveryAlbumOnceBesideForegroundLoads) {
    test::LogCapture log(tree_);
    ASSERT_TRUE(g_artCacheWorker.Start(&ArtCacheWork));
    auto table = MakeTable();
    SetArtCurrentAlbum(3);
    WakeArtCacheWorker(table);
    // The main thread loads albums while the worker walks: some of the same
    // ones, some it has done already.
    for (int i = kAlbums; i >= 1; --i) ASSERT_TRUE(LoadAlbumEntry(table, i));
    WaitForPasses(g_artCacheWorker, 1);
    platform::PumpPending();
    ApplyAlbumArtResults();

    for (int i = 1; i <= kAlbums; ++i) {
        const AlbumEntry& entry = table->entries[size_t(i)];
        EXPECT_NE(entry.coverState, 0) << i;
        EXPECT_EQ(entry.albumName, u"Album " + Utf8ToUtf16(std::to_string(i - 1)));
        EXPECT_EQ(AlbumCover(i)->width, 64u);  // fitted into the cover size
    }
    // The album shown is the foreground's; the worker does not take it.
    EXPECT_EQ(table->entries[3].coverState, 2);
    const std::vector<std::string> lines = log.Messages();
    for (const auto& [song, reads] : TagReads(lines)) EXPECT_EQ(reads, 1) << song;
    EXPECT_EQ(TagReads(lines).size(), size_t(kAlbums));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "AF cache start"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "AF cache end " + std::to_string(kAlbums)), 1);
    for (int i = 1; i <= kAlbums; ++i) {
        if (table->entries[size_t(i)].coverState != 1) continue;
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "AF cacheing " + std::to_string(i)), 1)
            << i;
    }
}

TEST_F(ArtWorkerTest, RebuildingTheTableCancelsTheWalkAndDropsItsResults) {
    ASSERT_TRUE(g_artCacheWorker.Start(&ArtCacheWork));
    auto first = MakeTable();
    WakeArtCacheWorker(first);
    // Rebuild while the worker walks: attaching waits until it is idle.
    auto second = MakeTable();
    AttachAlbumTable(second);
    first.reset();  // the old table may go now; the worker holds no part of it
    // Results of the old table never reach the new one; the new one fills up.
    auto loaded = [&] {
        for (int i = 1; i <= kAlbums; ++i)
            if (second->entries[size_t(i)].coverState != 1) return false;
        return true;
    };
    while (!loaded()) {
        const uint64_t before = g_artCacheWorker.Passes();
        WakeArtCacheWorker(second);
        WaitForPasses(g_artCacheWorker, before + 1);
        platform::PumpPending();
    }
    for (int i = 1; i <= kAlbums; ++i) {
        EXPECT_EQ(second->entries[size_t(i)].albumName,
                  u"Album " + Utf8ToUtf16(std::to_string(i - 1)));
        EXPECT_EQ(AlbumCover(i)->width, 64u);  // fitted into the cover size
    }
    EXPECT_NE(std::find(g_messages.begin(), g_messages.end(), kMsgAlbumArtLoaded),
              g_messages.end());
}

TEST_F(ArtWorkerTest, CancelStopsTheWalkAfterTheCurrentAlbum) {
    ASSERT_TRUE(g_artCacheWorker.Start(&ArtCacheWork));
    auto table = MakeTable();
    AttachAlbumTable(table);
    CancelAlbumArtWork();
    // Suspended: a wake runs an empty pass.
    g_artCacheWorker.Wake();
    WaitForPasses(g_artCacheWorker, 1);
    ApplyAlbumArtResults();
    for (int i = 1; i <= kAlbums; ++i) EXPECT_EQ(table->entries[size_t(i)].coverState, 0);
    ResumeAlbumArtWork();
    g_artCacheWorker.Wake();
    WaitForPasses(g_artCacheWorker, 2);
    EXPECT_EQ(ApplyAlbumArtResults(), kAlbums);
    // Shutdown: abort, then the stop event ends the thread.
    AbortAlbumArtWork();
    EXPECT_TRUE(g_artCacheWorker.Stop(5000));
}

TEST_F(ArtWorkerTest, ListWorkerBuildsACopyOfTheList) {
    ASSERT_TRUE(g_listArtWorker.Start(&ListArtWork));
    // A table rebuild before it cancels nothing that comes after.
    AttachAlbumTable(MakeTable());
    std::vector<std::u16string> list = folders_;
    ASSERT_TRUE(RequestListArt(list));
    list.clear();  // the live list changes; the worker has its own copy
    uint64_t passes = 1;
    WaitForPasses(g_listArtWorker, passes);
    // A request that met the busy flag is refused; ask again until taken.
    while (!RequestListArt({folders_[0]})) std::this_thread::yield();
    WaitForPasses(g_listArtWorker, ++passes);
    EXPECT_FALSE(ListArtBusy());
    for (int i = 0; i < kAlbums; ++i) {
        EXPECT_TRUE(tree_.Exists("M/" + std::to_string(i) + "/kra1.tag")) << i;
        EXPECT_TRUE(tree_.Exists("M/" + std::to_string(i) + "/kra3.tag")) << i;
    }
    platform::PumpPending();
    EXPECT_GE(std::count(g_messages.begin(), g_messages.end(), kMsgListArtBuilt), 1);
}

TEST_F(ArtWorkerTest, BothWorkersAndTheMainThreadOnTheSameFolders) {
    test::LogCapture log(tree_);
    ASSERT_TRUE(g_artCacheWorker.Start(&ArtCacheWork));
    ASSERT_TRUE(g_listArtWorker.Start(&ListArtWork));
    auto table = MakeTable();
    WakeArtCacheWorker(table);
    ASSERT_TRUE(RequestListArt(folders_));
    MediaFileProbe& probe = SharedMediaFileProbe();
    ArtOptions options = test::TestArtOptions();
    for (int i = 0; i < kAlbums; ++i) {
        TagInfo tags;
        EXPECT_TRUE(GetNowPlayingInfo(&probe, folders_[size_t(i)] + u"\\01.mp3", tags, options));
        EXPECT_EQ(TagText(tags.title), u"One");
    }
    WaitForPasses(g_artCacheWorker, 1);
    WaitForPasses(g_listArtWorker, 1);
    ApplyAlbumArtResults();
    // Every folder got one folder.jpg equal to its own embedded picture.
    for (int i = 0; i < kAlbums; ++i) {
        const std::string folder = "M/" + std::to_string(i);
        EXPECT_EQ(tree_.Read(folder + "/folder.jpg"), SolidJpeg(40, 40, uint8_t(20 * i), 0, 0));
        EXPECT_EQ(table->entries[size_t(i + 1)].albumName,
                  u"Album " + Utf8ToUtf16(std::to_string(i)));
    }
    for (const auto& [song, reads] : TagReads(log.Messages())) EXPECT_EQ(reads, 1) << song;
}

}  // namespace
}  // namespace kra
