// The per-album title cache "kra2.tag".
#include <gtest/gtest.h>

#include <map>

#include "library/scan.h"
#include "library/tag_cache.h"
#include "support/temp_tree.h"

namespace kra {
namespace {

using test::TempTree;

// Songs measured so far, and the facts the fake probe returns.
std::vector<std::u16string> g_measured;
std::map<std::u16string, SongFacts> g_facts;

SongFacts FakeMeasure(const std::u16string& path) {
    g_measured.push_back(path);
    const auto found = g_facts.find(std::u16string(FileNamePart(path)));
    return found == g_facts.end() ? SongFacts{} : found->second;
}

class TagCacheTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_measured.clear();
        g_facts.clear();
        SetSongMeasurer(&FakeMeasure);
        ClearUnwritableTitleCache();
    }
    void TearDown() override { SetSongMeasurer(nullptr); }

    std::vector<uint8_t> CacheBytes(const std::u16string& folder) {
        std::vector<uint8_t> bytes;
        platform::ReadFileBytes(TagCachePath(folder), bytes);
        return bytes;
    }
    TempTree tree;
};

TEST_F(TagCacheTest, WritesGoldenBytesThenReadsWithoutOpeningSongs) {
    tree.File("c.mp3");
    tree.File("A.mp3");
    tree.File("b.mp3");
    g_facts[u"A.mp3"] = {u"Hi", 61};
    g_facts[u"c.mp3"] = {u"", -1};  // no title tag: the file name
    const auto first = LoadAlbumTitleEntries(tree.Core());
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(g_measured.size(), 3u);
    const std::vector<uint8_t> golden = {
        3,                                                   // count
        1, 6, 'H', 0, 'i', 0, 0,    0,    0,    0,   0, 61,  // A.mp3: "Hi", 61 s
        2, 4, 'b', 0, 0,   0, 0,    0,    0,    0,           // b.mp3: untitled, 0 s
        3, 4, 'c', 0, 0,   0, 0xFF, 0xFF, 0xFF, 0xFF         // c.mp3: -1 s as stored
    };
    EXPECT_EQ(CacheBytes(tree.Core()), golden);
    EXPECT_EQ(TagCachePath(u"\\"), u"\\kra2.tag");  // the root folder's cache

    g_measured.clear();
    std::vector<std::u16string> paths;
    LoadAlbumTitles(tree.Core(), SortedFolderSongs(tree.Core()),
                    [&](std::u16string_view path, std::u16string_view, uint8_t, int32_t) {
                        paths.emplace_back(path);
                    });
    const auto second = LoadAlbumTitleEntries(tree.Core());
    EXPECT_TRUE(g_measured.empty());
    ASSERT_EQ(second.size(), 3u);
    EXPECT_EQ(second[0].title, u"Hi");
    EXPECT_EQ(second[0].duration, 61);
    EXPECT_EQ(second[1].title, u"b");
    EXPECT_EQ(second[2].number, 3);
    EXPECT_EQ(second[2].duration, -1);
    EXPECT_EQ(paths[0], tree.Core() + u"\\A.mp3");
}

TEST_F(TagCacheTest, TitlesAreCutTo126Characters) {
    g_facts[u"a.mp3"] = {std::u16string(126, u'x'), 1};
    g_facts[u"b.mp3"] = {std::u16string(200, u'y'), 2};
    tree.File("a.mp3");
    tree.File("b.mp3");
    const auto entries = LoadAlbumTitleEntries(tree.Core());
    EXPECT_EQ(entries[1].title, std::u16string(126, u'y'));
    const auto bytes = CacheBytes(tree.Core());
    ASSERT_EQ(bytes.size(), 1u + 2 * (2 + 254 + 4));
    EXPECT_EQ(bytes[2], 254);
    EXPECT_EQ(bytes[1 + 260 + 1], 254);
    EXPECT_EQ(bytes[1 + 2 + 252], 0);  // the zero unit is stored
    EXPECT_EQ(bytes[1 + 2 + 253], 0);
}

TEST_F(TagCacheTest, StaleOrDamagedCacheIsMeasuredAgain) {
    tree.File("1.mp3");
    tree.File("2.mp3");
    LoadAlbumTitleEntries(tree.Core());
    const std::vector<uint8_t> good = CacheBytes(tree.Core());

    // A file added after the cache was written: the count no longer matches.
    tree.File("3.mp3");
    g_measured.clear();
    EXPECT_EQ(LoadAlbumTitleEntries(tree.Core()).size(), 3u);
    EXPECT_EQ(g_measured.size(), 3u);
    EXPECT_EQ(CacheBytes(tree.Core())[0], 3);

    // Damaged copies of a good three-record cache.
    const std::vector<uint8_t> three = CacheBytes(tree.Core());
    std::vector<std::vector<uint8_t>> damaged;
    damaged.push_back({});                                                    // empty file
    damaged.push_back(std::vector<uint8_t>(three.begin(), three.end() - 1));  // truncated
    damaged.push_back(three);
    damaged.back()[2] = 3;  // odd title length
    damaged.push_back(three);
    damaged.back()[2] = 0;  // no room for the zero unit
    damaged.push_back(three);
    damaged.back()[2] = 250;  // runs past the end
    for (const auto& bytes : damaged) {
        ASSERT_TRUE(platform::WriteFileAtomic(TagCachePath(tree.Core()), bytes));
        g_measured.clear();
        const auto entries = LoadAlbumTitleEntries(tree.Core());
        EXPECT_EQ(entries.size(), 3u);
        EXPECT_EQ(g_measured.size(), 3u);
        EXPECT_EQ(CacheBytes(tree.Core()), three);
    }
}

TEST_F(TagCacheTest, MoreThan255SongsWrapCountAndNumbers) {
    for (int i = 0; i < 300; ++i) tree.File("s" + std::to_string(1000 + i) + ".mp3");
    LoadAlbumTitleEntries(tree.Core());
    const auto bytes = CacheBytes(tree.Core());
    EXPECT_EQ(bytes[0], 300 % 256);
    g_measured.clear();
    const auto entries = LoadAlbumTitleEntries(tree.Core());
    EXPECT_TRUE(g_measured.empty());
    ASSERT_EQ(entries.size(), 300u);
    EXPECT_EQ(entries[255].number, 0);  // the 256th song
    EXPECT_EQ(entries[299].title, u"s1299");
}

TEST_F(TagCacheTest, UnwritableFolderStillListsAndMeasuresOnce) {
    tree.File("a.mp3");
    tree.Folder("kra2.tag");  // the cache name is taken by a folder
    g_facts[u"a.mp3"] = {u"T", 5};
    EXPECT_EQ(LoadAlbumTitleEntries(tree.Core())[0].title, u"T");
    EXPECT_EQ(LoadAlbumTitleEntries(tree.Core())[0].duration, 5);
    EXPECT_EQ(g_measured.size(), 1u);
}

// The real probe on the demo library: tag titles, file-name titles, lengths
// of MP3, WAV and M4A files.
TEST(TagCacheProbe, DemoAlbumsGetTagTitlesAndLengths) {
    TempTree tree;
    const std::filesystem::path demo = std::filesystem::path(KRA_SOURCE_ASSETS) / "demo-music";
    std::filesystem::copy(demo, tree.Posix(), std::filesystem::copy_options::recursive);
    ClearUnwritableTitleCache();
    struct Expect {
        const char* album;
        std::vector<std::u16string> titles;
        std::vector<int32_t> seconds;
    };
    const Expect albums[] = {
        {"Aurora T\xc3\xb8nes/Sine W\xc3\xa5ves",
         {u"Morning", u"Noon", u"\u00c9vening"},
         {5, 4, 6}},
        {"Aurora T\xc3\xb8nes/Noise \xc3\x89tudes", {u"Pink", u"Triangle", u"3 Square"}, {3, 4, 3}},
        {"Clockwork Caf\xc3\xa9/Ticks & Tocks", {u"Tick", u"Tock"}, {4, 5}},
        {"Clockwork Caf\xc3\xa9/Bleeps", {u"Bleep A", u"Bleep B", u"Bleep C"}, {3, 3, 4}},
    };
    for (const Expect& album : albums) {
        const auto entries = LoadAlbumTitleEntries(tree.Core(album.album));
        ASSERT_EQ(entries.size(), album.titles.size()) << album.album;
        for (size_t i = 0; i < entries.size(); ++i) {
            EXPECT_EQ(entries[i].title, album.titles[i]) << album.album << " " << i;
            // Encoders pad a little; the whole seconds may come out one higher.
            EXPECT_GE(entries[i].duration, album.seconds[i]) << album.album << " " << i;
            EXPECT_LE(entries[i].duration, album.seconds[i] + 1) << album.album << " " << i;
        }
    }
}

TEST(TagCacheDecode, NeverReadsPastTheBytes) {
    // Every prefix of a valid cache is refused, the whole one accepted.
    const std::vector<uint8_t> bytes = {2, 1, 4, 'a', 0, 0, 0, 0, 0, 0, 9, 2, 2, 0, 0, 0, 0, 1, 0};
    std::vector<TitleEntry> out;
    for (size_t n = 0; n < bytes.size(); ++n) {
        std::vector<uint8_t> prefix(bytes.begin(), bytes.begin() + n);
        EXPECT_FALSE(DecodeTagCache(prefix.data(), prefix.size(), 2, out)) << n;
    }
    ASSERT_TRUE(DecodeTagCache(bytes.data(), bytes.size(), 2, out));
    EXPECT_EQ(out[0].title, u"a");
    EXPECT_EQ(out[0].duration, 9);
    EXPECT_EQ(out[1].title, u"");
    EXPECT_EQ(out[1].duration, 256);
    EXPECT_FALSE(DecodeTagCache(bytes.data(), bytes.size(), 3, out));  // stale count
}

}  // namespace
}  // namespace kra
