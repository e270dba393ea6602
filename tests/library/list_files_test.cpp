// "kra.blt" and "kra.plt": bytes, damaged files, start-up and shutdown.
#include <gtest/gtest.h>

#include "library/indexes.h"
#include "library/list_files.h"
#include "support/temp_tree.h"

namespace kra {
namespace {

using test::TempTree;
using Strings = std::vector<std::u16string>;

std::vector<uint8_t> Bytes(const std::u16string& path) {
    std::vector<uint8_t> bytes;
    platform::ReadFileBytes(path, bytes);
    return bytes;
}

TextList List(std::initializer_list<const char16_t*> items) {
    TextList list;
    for (const char16_t* item : items) list.push_back(item);
    return list;
}

Strings Vec(const TextList& list) {
    return Strings(list.begin(), list.end());
}

TEST(ListFileBytes, GoldenBrowseAndPlayLists) {
    std::vector<uint8_t> out;
    ASSERT_TRUE(EncodeBrowseList(List({u"\\a\\b.mp3", u"\\\u00e9"}), out));
    EXPECT_EQ(out, (std::vector<uint8_t>{0, 2,  // count
                                         0, 16,  '\\', 0,   'a',  0,   '\\', 0,   'b',
                                         0, '.', 0,    'm', 0,    'p', 0,    '3', 0,  // \a\b.mp3
                                         0, 4,   '\\', 0,   0xE9, 0}));               // \é
    PlayList play;
    play.Append(u"\\x", 0x12345);  // only the low 16 bits are kept
    play.Append(u"\\y", 0);
    ASSERT_TRUE(EncodePlayList(play, out));
    EXPECT_EQ(out, (std::vector<uint8_t>{0, 2, 0x23, 0x45, 0, 4, '\\', 0, 'x', 0, 0, 0, 0, 4, '\\',
                                         0, 'y', 0}));
    ASSERT_TRUE(EncodeSongsAsPlayList(List({u"\\x"}), out));
    EXPECT_EQ(out, (std::vector<uint8_t>{0, 1, 0, 0, 0, 4, '\\', 0, 'x', 0}));
}

// Folders are derived from the songs; ones differing only in case stay apart.
TEST(ListFileBytes, SongsRoundTripAndGiveTheirFolders) {
    const TextList songs =
        List({u"\\M\\A\\1.mp3", u"\\M\\A\\2.mp3", u"\\M\\a\\1.mp3", u"\\top.mp3"});
    std::vector<uint8_t> out;
    ASSERT_TRUE(EncodeSongsAsPlayList(songs, out));
    PlayList play;
    TextList browse;
    TextList folders;
    EXPECT_FALSE(DecodePlayList(out.data(), out.size(), play, &browse, &folders).damaged);
    EXPECT_EQ(Vec(browse), Vec(songs));
    EXPECT_EQ(Vec(folders), (Strings{u"\\M\\A", u"\\M\\a", u"\\"}));
    EXPECT_EQ(play.size(), 4u);
    ASSERT_TRUE(EncodeBrowseList(songs, out));
    TextList browsed;
    TextList browsedFolders;
    EXPECT_FALSE(DecodeBrowseList(out.data(), out.size(), browsed, browsedFolders).damaged);
    EXPECT_EQ(Vec(browsed), Vec(songs));
    EXPECT_EQ(Vec(browsedFolders), Vec(folders));
}

TEST(ListFileBytes, DamagedRecordsEndTheReadKeepingWhatCameBefore) {
    std::vector<uint8_t> good;
    ASSERT_TRUE(EncodeBrowseList(List({u"\\a", u"\\b", u"\\c"}), good));
    // Offsets: count 0-1, records at 2, 8 and 14 (L then 4 bytes of path).
    struct Case {
        const char* what;
        size_t offset;
        std::vector<uint8_t> patch;
        int32_t records;
    };
    const Case cases[] = {
        {"length 0", 8, {0, 0}, 1},
        {"odd length", 8, {0, 3}, 1},
        {"above 518", 8, {0x02, 0x08}, 1},
        {"past the end", 14, {0, 6}, 2},
        {"no leading separator", 10, {'b', 0}, 1},
        {"zero unit inside", 12, {0, 0}, 1},
        {"count larger than the records", 0, {0xFF, 0xFF}, 3},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = good;
        std::copy(c.patch.begin(), c.patch.end(), bytes.begin() + long(c.offset));
        TextList songs;
        TextList folders;
        const ListFileRead read = DecodeBrowseList(bytes.data(), bytes.size(), songs, folders);
        EXPECT_TRUE(read.damaged) << c.what;
        EXPECT_EQ(read.records, c.records) << c.what;
        EXPECT_EQ(int32_t(songs.size()), c.records) << c.what;
        EXPECT_EQ(songs[0], u"\\a") << c.what;
    }
    // A record of exactly 518 bytes (259 units) is sound; one unit more is
    // refused when writing.
    TextList longest;
    longest.push_back(u"\\" + std::u16string(258, u'x'));
    std::vector<uint8_t> out;
    ASSERT_TRUE(EncodeBrowseList(longest, out));
    TextList songs;
    TextList folders;
    EXPECT_FALSE(DecodeBrowseList(out.data(), out.size(), songs, folders).damaged);
    EXPECT_FALSE(EncodeBrowseList(List({(u"\\" + std::u16string(259, u'x')).c_str()}), out));
    // Every truncation of a play list is read up to its last whole record.
    PlayList play;
    play.Append(u"\\a", 1);
    play.Append(u"\\bb", 2);
    ASSERT_TRUE(EncodePlayList(play, out));
    for (size_t n = 0; n < out.size(); ++n) {
        PlayList read;
        const ListFileRead r = DecodePlayList(out.data(), n, read, nullptr, nullptr);
        EXPECT_EQ(r.records, n >= 10 ? 1 : 0) << n;
        EXPECT_EQ(r.damaged, n != 0) << n;
    }
}

class ListFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        home = tree.Core("home");
        tree.Folder("home");
        tree.File("M/A/1.mp3");
        tree.File("M/A/2.mp3");
        tree.File("M/B/1.mp3");
        library.root = tree.Core("M");
    }
    std::u16string Blt() const { return BrowseListPath(home); }
    std::u16string Plt() const { return PlayListPath(home); }
    TempTree tree;
    std::u16string home;
    Library library;
};

TEST_F(ListFilesTest, AlbumPlayWritesBothFilesAndRestoresThem) {
    EXPECT_EQ(LoadLibraryLists(library, home), LibrarySource::kScan);
    ASSERT_EQ(library.SongCount(), 3);
    EXPECT_EQ(library.views.allSongs.size(), 4u);  // Shuffle and three songs
    // Playing album B.
    library.play.Append(library.browse[2], 7);
    library.playSubList = true;
    SavePlayLists(library, home, true);
    ASSERT_TRUE(platform::FileExists(Blt()));
    EXPECT_EQ(Bytes(Plt()).size(), 2u + 4 + 2 * (library.browse[2].size()));

    Library next;
    EXPECT_EQ(LoadLibraryLists(next, home), LibrarySource::kBrowseAndPlayList);
    EXPECT_TRUE(next.playSubList);
    EXPECT_EQ(Vec(next.browse), Vec(library.browse));
    EXPECT_EQ(Vec(next.folders), Vec(library.folders));
    ASSERT_EQ(next.play.size(), 1u);
    EXPECT_EQ(next.play.entries[0].identity, 7u);
}

TEST_F(ListFilesTest, WholeLibraryPlayWritesOnlyThePlayList) {
    LoadLibraryLists(library, home);
    ASSERT_TRUE(platform::WriteFileAtomic(Blt(), {0, 0}));  // from an earlier run
    library.play.AssignFrom(library.browse);
    library.play.entries[1].identity = 3;
    library.playSubList = false;
    SavePlayLists(library, home, true);
    EXPECT_FALSE(platform::FileExists(Blt()));
    Library next;
    EXPECT_EQ(LoadLibraryLists(next, home), LibrarySource::kMasterPlayList);
    EXPECT_FALSE(next.playSubList);
    EXPECT_EQ(Vec(next.browse), Vec(library.browse));
    EXPECT_EQ(next.FolderCount(), 2);
    EXPECT_EQ(next.play.entries[1].identity, 3u);
    // Each path is held once: by the play list, the library, its folders and
    // the all-songs lines alike.
    EXPECT_EQ(next.browse[2].data(), next.play.Path(2).data());
    EXPECT_EQ(next.folders[1].data(), next.browse[2].data());
    EXPECT_EQ(next.views.allSongs.data[3].data(), next.browse[2].data());
    EXPECT_EQ(next.views.allSongs.text[3].data(), FileNamePart(next.browse[2]).data());
}

TEST_F(ListFilesTest, NothingLoadedWritesTheLibraryWithIdentitiesZero) {
    LoadLibraryLists(library, home);
    library.play.Append(library.browse[0], 9);
    library.playSubList = true;
    SavePlayLists(library, home, false);
    EXPECT_FALSE(platform::FileExists(Blt()));
    std::vector<uint8_t> expected;
    ASSERT_TRUE(EncodeSongsAsPlayList(library.browse, expected));
    EXPECT_EQ(Bytes(Plt()), expected);
}

// More than 65535 songs do not fit the count.
TEST_F(ListFilesTest, ListsThatCannotBeWrittenWholeLeaveNoFileBehind) {
    ASSERT_TRUE(platform::WriteFileAtomic(Plt(), {0, 0}));
    ASSERT_TRUE(platform::WriteFileAtomic(Blt(), {0, 0}));
    for (size_t i = 0; i < 65536; ++i) library.browse.push_back(u"\\M\\s.mp3");
    library.play.Append(u"\\M\\s.mp3");
    library.playSubList = true;
    SavePlayLists(library, home, true);
    EXPECT_FALSE(platform::FileExists(Blt()));
    EXPECT_FALSE(platform::FileExists(Plt()));
    // Nothing loaded: the whole library as the play list, refused alike.
    ASSERT_TRUE(platform::WriteFileAtomic(Plt(), {0, 0}));
    SavePlayLists(library, home, false);
    EXPECT_FALSE(platform::FileExists(Plt()));

    // An empty library leaves no stale play list for the next start either.
    ASSERT_TRUE(platform::WriteFileAtomic(Plt(), {0, 0}));
    SavePlayLists(Library{}, home, false);
    EXPECT_FALSE(platform::FileExists(Plt()));
}

TEST_F(ListFilesTest, UnreadableListFileLeavesEmptyLists) {
    tree.Folder("home/kra.plt");  // exists, cannot be read as a file
    EXPECT_EQ(LoadLibraryLists(library, home), LibrarySource::kMasterPlayList);
    EXPECT_EQ(library.SongCount(), 0);
    EXPECT_TRUE(library.play.empty());
}

}  // namespace
}  // namespace kra
