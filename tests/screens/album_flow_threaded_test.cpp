// The album flow with its cover worker on a thread of its own: flings
// through a library of 5,000 albums, a new album table half way.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "app/base/worker_pair.h"
#include "screens/album_flow.h"
#include "screens/flow_cover_cache.h"
#include "screens_fixture.h"

namespace kra {
namespace {

std::atomic<std::thread::id> g_mainThread;
std::atomic<int> g_mainDecodes{0};
std::atomic<int> g_workerDecodes{0};
std::atomic<uint32_t> g_coverSide{64};

void Paint(const std::u16string& folder, Surface& cover) {
    const uint32_t s = g_coverSide;
    if (!SizeSurface(cover, s, s)) return;
    const uint16_t c = uint16_t(folder.size() * 2654435761u);
    for (uint32_t i = 0; i < s * s; ++i) cover.pixels[i] = uint16_t(c + i);
}

void FakeLoader(const std::u16string& folder, const ArtOptions&, AlbumArt& art) {
    if (std::this_thread::get_id() == g_mainThread.load())
        ++g_mainDecodes;
    else
        ++g_workerDecodes;
    Paint(folder, art.cover);
    art.coverLoaded = true;
    art.album = folder;
    art.artist = u"Artist";
}

std::shared_ptr<AlbumTable> Table(int count, const std::u16string& root) {
    auto table = std::make_shared<AlbumTable>();
    table->albumCount = count;
    table->entries.resize(size_t(count) + 1);
    for (int i = 1; i <= count; ++i)
        table->entries[size_t(i)].folder = root + std::u16string(size_t(i % 97 + 1), u'a') + u"\\" +
                                           std::u16string(size_t(i % 13 + 1), u'b');
    return table;
}

class AlbumFlowThreadedTest : public test::ScreensTest {
  protected:
    void SetUp() override {
        test::ScreensTest::SetUp();
        Open(240, 320, 96);
        SetOrientation(g_screen, kOrientation90);
        g_settings.noAlbumFlow = 0;
        g_albumFlow = AlbumFlow{};
        ResetFlowCovers();
        g_mainThread = std::this_thread::get_id();
        SetFlowCoverLoader(&FakeLoader);
        ASSERT_TRUE(g_artCacheWorker.Start([] { FlowCoverWork(); }));
    }
    void TearDown() override {
        CancelFlowCovers();
        g_artCacheWorker.Stop(5000);
        ResetFlowCovers();
        g_albumFlow = AlbumFlow{};
        test::ScreensTest::TearDown();
    }

    void Attach(const std::shared_ptr<AlbumTable>& table) {
        AlbumFlow& flow = g_albumFlow;
        SetupAlbumFlow(flow, int32_t(g_screen.width), int32_t(g_screen.height), 20, 56, 1,
                       table->albumCount);
        g_coverSide = uint32_t(flow.coverSize);
        ArtOptions options;
        options.coverSize = uint32_t(flow.coverSize);
        AttachFlowCovers(table, table->albumCount, options);
        flow.hooks.loadCover = [table](int album, Surface& cover) {
            AlbumArt art;
            FakeLoader(table->entries[size_t(album)].folder, ArtOptions{}, art);
            cover = std::move(art.cover);
        };
        flow.hooks.wakeWorker = [] { WakeFlowCovers(); };
        ASSERT_TRUE(EnterAlbumFlow(g_screen, kOrientation90));
    }

    // One motion tick as the player runs it: covers installed, then the row.
    void Tick() {
        InstallFlowCovers();
        OnFlowTimer(g_screen);
        OnFlowPageTimer();
    }
};

TEST_F(AlbumFlowThreadedTest, FlingThroughFiveThousandAlbumsWithANewTableHalfWay) {
    Attach(Table(5000, u"\\m\\"));
    int decodesInFlight = 0;
    for (int fling = 0; fling < 60; ++fling) {
        if (fling == 30) {
            // A rescan replaces the table while the worker walks the old one.
            Attach(Table(5000, u"\\n\\"));
            g_albumFlow.current = 2500;
            FillSlots(g_albumFlow, g_screen);
        }
        g_albumFlow.velocity = fling % 7 == 6 ? 30 : -30;
        g_albumFlow.divisor = 1;
        for (int i = 0; i < 40 && g_albumFlow.divisor != 0; ++i) {
            const int before = g_mainDecodes;
            Tick();
            if (g_albumFlow.divisor != 0) decodesInFlight += g_mainDecodes - before;
        }
        ASSERT_LE(g_albumFlow.cache.Count(), kFlowCacheSize);
    }
    EXPECT_EQ(decodesInFlight, 0);  // nothing decoded on this thread while the row flew
    EXPECT_GT(g_albumFlow.current, 2500 + 30);
    // At rest the worker brings every visible cover.
    WakeFlowCovers();
    bool real = false;
    for (int round = 0; round < 20000 && !real; ++round) {
        InstallFlowCovers();
        DrawFlow(g_screen, 0);
        real = true;
        for (int album : g_albumFlow.slots)
            if (album > 0 && !g_albumFlow.cache.Has(album)) real = false;
        if (!real) std::this_thread::yield();
    }
    EXPECT_TRUE(real);
    EXPECT_GT(g_workerDecodes.load(), 0);
    EXPECT_LE(g_albumFlow.cache.Count(), kFlowCacheSize);
}

}  // namespace
}  // namespace kra
