// Album loads, now-playing tags, list captions and thumbnails on real folders.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "album_art_test_util.h"
#include "graphics/image.h"
#include "media/album_art.h"
#include "media/album_art_cache.h"
#include "support/surface_size.h"

namespace kra {
namespace {

using test::ArtTree;
using test::Bytes;
using test::SolidJpeg;
using test::TaggedSong;

class AlbumArtTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetAlbumArtCache();
        options_ = test::TestArtOptions();
        SetAlbumArtOptions(options_);
    }
    void TearDown() override { ResetAlbumArtCache(); }

    std::string U8(const std::u16string& s) { return Utf16ToUtf8(s); }
    Bytes Caption(const char16_t* album, const char16_t* artist) {
        return EncodeFolderTag(album, artist);
    }
    AlbumArt Load(const std::string& folder, bool background = false) {
        AlbumArt art;
        LoadAlbumArt(tree_.Core(folder), background, options_, art);
        return art;
    }

    ArtTree tree_;
    ArtOptions options_;
    const Bytes jpeg_ = SolidJpeg(80, 80, 250, 0, 0);
};

TEST_F(AlbumArtTest, EmbeddedJpegBecomesFolderJpgAndIsFoundFirstLater) {
    tree_.Write("M/A/01.mp3", TaggedSong("One", "Band", "First", jpeg_));
    tree_.Write("M/A/notes.txt", Bytes{1});
    const std::u16string folder = tree_.Core("M/A");
    AlbumArt art;
    {
        test::LogCapture log(tree_);
        LoadAlbumArt(folder, false, options_, art);
        const std::string a = U8(folder);
        const std::string extraction = U8(tree_.Core("prog/kraaf.bmp"));
        const std::vector<std::string> lines = log.Messages();
        EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 6),
                  (std::vector<std::string>{a + "\\folder.jpg (0)", a + "\\cover.jpg (0)",
                                            a + "\\folder.jpeg (0)", "AF Pic: " + extraction,
                                            a + "\\kra1.tag (0)", "GetAFInfo: " + a + "\\01.mp3"}));
    }
    EXPECT_EQ(art.album, u"First");
    EXPECT_EQ(art.artist, u"Band");
    ASSERT_TRUE(art.coverLoaded);
    EXPECT_EQ(test::SizeOf(art.cover), std::pair(64u, 64u));
    EXPECT_EQ(tree_.Read("M/A/folder.jpg"), jpeg_);
    EXPECT_EQ(tree_.Read("M/A/kra1.tag"), Caption(u"First", u"Band"));

    std::u16string cover;
    EXPECT_TRUE(FindCoverFile(folder, cover, u""));
    EXPECT_EQ(cover, tree_.Core("M/A/folder.jpg"));

    // The next visit takes the caption from the cache and reads no tags.
    test::LogCapture log(tree_);
    AlbumArt again;
    LoadAlbumArt(folder, true, options_, again);
    EXPECT_EQ(again.album, u"First");
    EXPECT_TRUE(again.coverLoaded);
    for (const std::string& line : log.Messages()) {
        EXPECT_EQ(line.find("GetAF"), std::string::npos) << line;
        EXPECT_EQ(line.find("AF Pic"), std::string::npos) << line;  // background: not logged
    }
}

TEST_F(AlbumArtTest, CoverFileMeansNoPictureExtraction) {
    tree_.Write("M/A/01.mp3", TaggedSong("One", "Band", "First", SolidJpeg(8, 8, 0, 0, 250)));
    tree_.Write("M/A/cover.jpg", jpeg_);
    test::LogCapture log(tree_);
    EXPECT_TRUE(Load("M/A").coverLoaded);
    EXPECT_FALSE(tree_.Exists("prog/kraaf.bmp"));
    EXPECT_FALSE(tree_.Exists("M/A/folder.jpg"));
    const std::vector<std::string> lines = log.Messages();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "GetAFNPInfo: " + U8(tree_.Core("M/A/01.mp3"))),
              lines.end());
}

TEST_F(AlbumArtTest, CaptionFallbacks) {
    // No album tag: the folder's name; the artist comes along.
    tree_.Write("M/Rock Hits/01.mp3", TaggedSong("One", "Band", ""));
    AlbumArt art = Load("M/Rock Hits");
    EXPECT_EQ(art.album, u"Rock Hits");
    EXPECT_EQ(art.artist, u"Band");
    EXPECT_FALSE(art.coverLoaded);

    // No music file at all: the folder's name and no artist, cached too.
    tree_.Folder("M/Empty");
    art = Load("M/Empty", true);
    EXPECT_EQ(art.album, u"Empty");
    EXPECT_EQ(art.artist, u"");
    EXPECT_EQ(tree_.Read("M/Empty/kra1.tag"), Caption(u"Empty", u""));

    // A damaged caption cache is read again from the tags and rewritten.
    tree_.Write("M/Rock Hits/kra1.tag", Bytes{9});
    EXPECT_EQ(Load("M/Rock Hits").artist, u"Band");
    EXPECT_EQ(tree_.Read("M/Rock Hits/kra1.tag"), Caption(u"Rock Hits", u"Band"));
}

TEST_F(AlbumArtTest, AnotherFoldersPictureIsNeverUsedOrCopied) {
    tree_.Write("prog/kraaf.bmp", jpeg_);  // left by an earlier album
    tree_.Write("M/B/01.mp3", TaggedSong("One", "Band", "B"));
    EXPECT_FALSE(Load("M/B").coverLoaded);
    EXPECT_FALSE(tree_.Exists("M/B/folder.jpg"));

    // The same where the caption is cached already, or where no music is.
    tree_.Write("prog/kraaf.bmp", jpeg_);
    EXPECT_FALSE(Load("M/B").coverLoaded);
    tree_.Write("prog/kraaf.bmp", jpeg_);
    tree_.Folder("M/C");
    EXPECT_FALSE(Load("M/C").coverLoaded);
    EXPECT_FALSE(tree_.Exists("M/B/folder.jpg"));
    EXPECT_FALSE(tree_.Exists("M/C/folder.jpg"));
}

TEST_F(AlbumArtTest, DamagedEmbeddedPictureGivesTheDefaultAndNoFolderJpg) {
    Bytes broken = jpeg_;
    broken.resize(40);
    tree_.Write("M/A/01.mp3", TaggedSong("One", "Band", "A", broken));
    AlbumArt art = Load("M/A");
    EXPECT_FALSE(art.coverLoaded);
    EXPECT_EQ(art.album, u"A");
    EXPECT_FALSE(tree_.Exists("M/A/folder.jpg"));
}

// --- Now playing --------------------------------------------------------------------

TEST_F(AlbumArtTest, NowPlayingTitleFallback) {
    MediaFileProbe& probe = SharedMediaFileProbe();
    tree_.Write("M/A/abcdefgh.mp3", TaggedSong("", "", ""));
    TagInfo tags;
    EXPECT_FALSE(GetNowPlayingInfo(&probe, tree_.Core("M/A/abcdefgh.mp3"), tags, options_));
    EXPECT_EQ(TagText(tags.title), u"abcdefgh");

    tree_.Write("M/A/abcdefgh.mp3", TaggedSong("", "", "Album"));
    EXPECT_TRUE(GetNowPlayingInfo(&probe, tree_.Core("M/A/abcdefgh.mp3"), tags, options_));
    EXPECT_EQ(TagText(tags.title), u"abcdefgh");
    EXPECT_EQ(TagText(tags.album), u"Album");

    tree_.Write("M/A/x.mp3", TaggedSong("Title", "", ""));
    EXPECT_TRUE(GetNowPlayingInfo(&probe, tree_.Core("M/A/x.mp3"), tags, options_));
    EXPECT_EQ(TagText(tags.title), u"Title");

    EXPECT_FALSE(GetNowPlayingInfo(nullptr, tree_.Core("M/A/x.mp3"), tags, options_));
}

TEST_F(AlbumArtTest, NowPlayingExtractsAndShowsThePicture) {
    MediaFileProbe& probe = SharedMediaFileProbe();
    tree_.Write("M/A/01.mp3", TaggedSong("One", "Band", "A", jpeg_));
    const std::u16string song = tree_.Core("M/A/01.mp3");
    const std::u16string extraction = tree_.Core("prog/kra.bmp");
    TagInfo tags;
    std::u16string picture;
    {
        test::LogCapture log(tree_);
        EXPECT_TRUE(GetNowPlayingInfo(&probe, song, tags, options_, &picture));
        const std::vector<std::string> lines = log.Messages();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.front(), "GetMInfo: " + U8(song));
        EXPECT_EQ(lines.back(), U8(extraction) + " (1)");
    }
    EXPECT_EQ(picture, extraction);
    EXPECT_EQ(tree_.Read("prog/kra.bmp"), jpeg_);
    EXPECT_EQ(tree_.Read("M/A/folder.jpg"), jpeg_);

    // Now the folder has a cover file: it is shown, nothing is extracted.
    tree_.Write("prog/kra.bmp", Bytes{1, 2, 3});
    EXPECT_TRUE(GetNowPlayingInfo(&probe, song, tags, options_, &picture));
    EXPECT_EQ(picture, tree_.Core("M/A/folder.jpg"));
    EXPECT_EQ(tree_.Read("prog/kra.bmp"), (Bytes{1, 2, 3}));
}

TEST_F(AlbumArtTest, ExportedPictureForOtherPrograms) {
    MediaFileProbe& probe = SharedMediaFileProbe();
    tree_.Write("M/A/01.mp3", TaggedSong("One", "Band", "A", jpeg_));
    tree_.Write("M/B/01.mp3", TaggedSong("One", "Band", "B"));
    const std::u16string song = tree_.Core("M/A/01.mp3");
    TagInfo tags;
    // Nothing extracted for the folder yet: no picture.
    EXPECT_EQ(ExportNowPlayingPicture(song), u"");
    ASSERT_TRUE(GetNowPlayingInfo(&probe, song, tags, options_));
    // The folder.jpg copy is the picture while it exists.
    EXPECT_EQ(ExportNowPlayingPicture(song), tree_.Core("M/A/folder.jpg"));
    // Where the copy could not be kept, the extracted picture is exported
    // under alternating names.
    std::filesystem::remove(tree_.Posix("M/A/folder.jpg"));
    EXPECT_EQ(ExportNowPlayingPicture(song), tree_.Core("prog/kraart0.jpg"));
    EXPECT_EQ(ExportNowPlayingPicture(song), tree_.Core("prog/kraart1.jpg"));
    EXPECT_EQ(tree_.Read("prog/kraart1.jpg"), jpeg_);
    // A song of a folder whose picture was not extracted gets none; and a
    // song without a picture leaves none to export.
    EXPECT_EQ(ExportNowPlayingPicture(tree_.Core("M/B/01.mp3")), u"");
    GetNowPlayingInfo(&probe, tree_.Core("M/B/01.mp3"), tags, options_);
    ASSERT_FALSE(tree_.Exists("prog/kra.bmp"));
    EXPECT_EQ(ExportNowPlayingPicture(song), u"");
}

TEST_F(AlbumArtTest, AlwaysEmbeddedLeavesNoStalePicture) {
    MediaFileProbe& probe = SharedMediaFileProbe();
    options_.alwaysLoadEmbedAlbumPic = true;
    tree_.Write("M/A/cover.jpg", jpeg_);
    tree_.Write("M/A/01.mp3", TaggedSong("One", "Band", "A"));
    tree_.Write("prog/kra.bmp", jpeg_);
    TagInfo tags;
    std::u16string picture;
    EXPECT_TRUE(GetNowPlayingInfo(&probe, tree_.Core("M/A/01.mp3"), tags, options_, &picture));
    EXPECT_FALSE(tree_.Exists("prog/kra.bmp"));
    EXPECT_EQ(picture, tree_.Core("prog/kra.bmp"));
    EXPECT_FALSE(tree_.Exists("M/A/folder.jpg"));
}

// --- The album table ----------------------------------------------------------------

std::shared_ptr<AlbumTable> MakeTable(const std::vector<std::u16string>& folders) {
    auto table = std::make_shared<AlbumTable>();
    table->albumCount = int32_t(folders.size());
    table->entries.resize(std::max<size_t>(folders.size() + 1, 6));
    for (size_t i = 0; i < folders.size(); ++i) table->entries[i + 1].folder = folders[i];
    return table;
}

TEST_F(AlbumArtTest, ForegroundLoadsFillEntriesOnce) {
    tree_.Write("M/A/cover.jpg", jpeg_);
    tree_.Write("M/A/01.mp3", TaggedSong("One", "Band", "First"));
    tree_.Write("M/B/01.mp3", TaggedSong("Two", "Group", "Second"));
    Surface defaultCover;
    FillSurface(defaultCover, Screen{}, 10, 12, 0x42, false, 0);
    SetDefaultCover(defaultCover);
    auto table = MakeTable({tree_.Core("M/A"), tree_.Core("M/B")});

    EXPECT_FALSE(LoadAlbumEntry(table, 0));
    EXPECT_FALSE(LoadAlbumEntry(table, 3));  // beyond the albums: stays empty
    ASSERT_TRUE(LoadAlbumEntry(table, 1));
    ASSERT_TRUE(LoadAlbumEntry(table, 2));
    EXPECT_EQ(table->entries.size(), 6u);
    EXPECT_EQ(table->entries[1].coverState, 2);
    EXPECT_EQ(table->entries[1].albumName, u"First");
    EXPECT_EQ(table->entries[2].artistName, u"Group");
    EXPECT_EQ(table->entries[3].coverState, 0);
    EXPECT_EQ(AlbumCover(1)->width, 64u);
    // Without a picture the album shows a copy of the default cover.
    ASSERT_EQ(AlbumCover(2)->width, 10u);
    EXPECT_EQ(AlbumCover(2)->pixels[0], 0x4242);
    EXPECT_EQ(AlbumCover(0)->height, 12u);
    EXPECT_EQ(AlbumCover(6), nullptr);

    // Loaded entries are not loaded again, even with their caches gone.
    std::filesystem::remove(tree_.Posix("M/B/kra1.tag"));
    ASSERT_TRUE(LoadAlbumEntry(table, 2));
    EXPECT_FALSE(tree_.Exists("M/B/kra1.tag"));

    // A rebuilt table starts over.
    auto rebuilt = MakeTable({tree_.Core("M/B")});
    ASSERT_TRUE(LoadAlbumEntry(rebuilt, 1));
    EXPECT_EQ(rebuilt->entries[1].albumName, u"Second");
    EXPECT_EQ(AlbumCover(2)->width, 0u);
}

TEST_F(AlbumArtTest, KeepAspectFactors) {
    options_.keepAspect = true;
    SetAlbumArtOptions(options_);
    tree_.Write("M/A/cover.jpg", SolidJpeg(80, 40, 0, 250, 0));
    AlbumArt art = Load("M/A", true);
    ASSERT_TRUE(art.coverLoaded);
    EXPECT_EQ(test::SizeOf(art.cover), std::pair(64u, 32u));
    EXPECT_FLOAT_EQ(art.widthFactor, 1.0f);
    EXPECT_FLOAT_EQ(art.heightFactor, 0.5f);

    // The default cover's factors go to entry 0 and to albums without a
    // picture.
    Surface defaultCover;
    FillSurface(defaultCover, Screen{}, 40, 20, 0, false, 0);
    SetDefaultCover(defaultCover);
    tree_.Folder("M/B");
    auto table = MakeTable({tree_.Core("M/B")});
    ASSERT_TRUE(LoadAlbumEntry(table, 1));
    EXPECT_FLOAT_EQ(table->entries[0].widthFactor, 1.0f);
    EXPECT_FLOAT_EQ(table->entries[0].heightFactor, 0.5f);
    EXPECT_FLOAT_EQ(table->entries[1].heightFactor, 0.5f);
}

// --- Lists --------------------------------------------------------------------------

TEST_F(AlbumArtTest, BuildListArtMakesBothCaches) {
    tree_.Write("M/A/01.mp3", TaggedSong("One", "Band", "First", jpeg_));
    tree_.Write("M/B/01.mp3", TaggedSong("Two", "Group", "Second"));
    tree_.Write("M/B/cover.jpg", SolidJpeg(60, 40, 0, 0, 250));
    tree_.Write("M/C/01.mp3", TaggedSong("Three", "Trio", "Third"));
    const std::vector<std::u16string> list = {u"ashuffle", tree_.Core("M/A"), tree_.Core("M/B"),
                                              u"all songs", tree_.Core("M/C")};
    EXPECT_EQ(BuildListArt(list, options_, {}), 3);
    EXPECT_EQ(tree_.Read("M/A/kra1.tag"), Caption(u"First", u"Band"));
    EXPECT_EQ(tree_.Read("M/B/kra1.tag"), Caption(u"Second", u"Group"));
    EXPECT_EQ(tree_.Read("M/C/kra1.tag"), Caption(u"Third", u"Trio"));
    EXPECT_EQ(tree_.Read("M/A/folder.jpg"), jpeg_);
    EXPECT_FALSE(tree_.Exists("M/C/kra3.tag"));

    Surface thumb;
    ASSERT_TRUE(ReadThumbnailCache(thumb, tree_.Core("M/A/kra3.tag")));
    EXPECT_EQ(test::SizeOf(thumb), std::pair(32u, 32u));
    EXPECT_EQ(thumb.pixels[0], MakeColour(kLayout565, 250, 0, 0) & 0xF800);
    ASSERT_TRUE(ReadThumbnailCache(thumb, tree_.Core("M/B/kra3.tag")));
    EXPECT_EQ(test::SizeOf(thumb), std::pair(48u, 32u));  // the shorter side becomes the box

    // A thumbnail lost while its caption stays is made again; nothing else
    // is read.
    std::filesystem::remove(tree_.Posix("M/B/kra3.tag"));
    test::LogCapture log(tree_);
    EXPECT_EQ(BuildListArt(list, options_, {}), 3);
    EXPECT_TRUE(tree_.Exists("M/B/kra3.tag"));
    for (const std::string& line : log.Messages()) EXPECT_EQ(line.find("GetAF"), std::string::npos);

    int asked = 0;
    EXPECT_EQ(BuildListArt(list, options_, [&] { return ++asked > 2; }), 1);
}

TEST_F(AlbumArtTest, ListSlotsLoadFromTheCaches) {
    tree_.Write("M/A/01.mp3", TaggedSong("One", "Band", "First", jpeg_));
    BuildListArt({tree_.Core("M/A")}, options_);
    int painted = 0;
    const CaptionPainter paint = [&](Surface& caption, std::u16string_view album,
                                     std::u16string_view artist) {
        ++painted;
        EXPECT_EQ(album, u"First");
        EXPECT_EQ(artist, u"Band");
        FillSurface(caption, Screen{}, 5, 5, 1, false, 0);
    };
    ListArtSlot slot;
    EXPECT_TRUE(LoadListSlot(slot, tree_.Core("M/A"), paint));
    EXPECT_TRUE(LoadListSlot(slot, tree_.Core("M/A"), paint));
    EXPECT_EQ(painted, 1);
    EXPECT_EQ(slot.thumbnail.width, 32u);
    std::u16string album;
    ASSERT_TRUE(ReadFolderAlbumName(tree_.Core("M/A"), album));
    EXPECT_EQ(album, u"First");

    // A damaged thumbnail leaves the row without a picture.
    tree_.Write("M/A/kra3.tag", test::Le32(64) + test::Le32(64) + test::Le32(0xFFFFFFF0u));
    ListArtSlot other;
    EXPECT_FALSE(LoadListSlot(other, tree_.Core("M/A"), paint));
    EXPECT_EQ(other.captionLoaded, 1);
    EXPECT_EQ(other.thumbnailLoaded, 0);
    ListArtSlot none;
    EXPECT_FALSE(LoadListSlot(none, tree_.Core("M/none"), paint));
    EXPECT_EQ(none.captionLoaded, 0);
}

}  // namespace
}  // namespace kra
