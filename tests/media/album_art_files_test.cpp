// The cover search, the first music file, and the two per-folder caches
// byte by byte.
#include <gtest/gtest.h>

#include "album_art_test_util.h"
#include "graphics/surface.h"
#include "media/album_art_files.h"
#include "support/surface_size.h"

namespace kra {
namespace {

using test::ArtTree;
using test::Bytes;

// --- kra1.tag -----------------------------------------------------------------------

TEST(CaptionCache, GoldenBytes) {
    // album length 6 ("Ab" + zero), "A\0B\0\0\0", artist length 4, "C\0\0\0".
    EXPECT_EQ(EncodeFolderTag(u"AB", u"C"), (Bytes{6, 'A', 0, 'B', 0, 0, 0, 4, 'C', 0, 0, 0}));
    // Empty texts are just their terminators.
    EXPECT_EQ(EncodeFolderTag(u"", u""), (Bytes{2, 0, 0, 2, 0, 0}));
    // Units above 0xFF are little-endian.
    EXPECT_EQ(EncodeFolderTag(u"\u00E9\u4E2D", u""),
              (Bytes{6, 0xE9, 0x00, 0x2D, 0x4E, 0, 0, 2, 0, 0}));
}

TEST(CaptionCache, LongTextsAreCutTo126Units) {
    const std::u16string album(200, u'x');
    const Bytes bytes = EncodeFolderTag(album, u"Z");
    ASSERT_EQ(bytes.size(), 1u + 254 + 1 + 4);
    EXPECT_EQ(bytes[0], 254);
    EXPECT_EQ(bytes[251], 'x');  // unit 126
    EXPECT_EQ(bytes[253], 0);    // the terminator
    EXPECT_EQ(bytes[254], 0);
    EXPECT_EQ(bytes[255], 4);  // artist length
    std::u16string a, b;
    ASSERT_TRUE(DecodeFolderTag(bytes.data(), bytes.size(), a, b));
    EXPECT_EQ(a, std::u16string(126, u'x'));
    EXPECT_EQ(b, u"Z");

    // A surrogate pair is never split by the cut.
    std::u16string pairs(125, u'y');
    pairs += u"\U0001F600";
    const Bytes cut = EncodeFolderTag(pairs, u"");
    EXPECT_EQ(cut[0], 252);
    ASSERT_TRUE(DecodeFolderTag(cut.data(), cut.size(), a, b));
    EXPECT_EQ(a, std::u16string(125, u'y'));
}

TEST(CaptionCache, DecodingIsBoundedByTheBytes) {
    std::u16string album = u"keep", artist = u"keep";
    // No artist length byte: not valid, the caller's texts untouched.
    const Bytes noArtist{6, 'A', 0, 'B', 0, 0, 0};
    EXPECT_FALSE(DecodeFolderTag(noArtist.data(), noArtist.size(), album, artist));
    EXPECT_EQ(album, u"keep");
    // An album length past the end swallows the artist length byte.
    const Bytes longAlbum{200, 'A', 0, 0, 0, 2, 0, 0};
    EXPECT_FALSE(DecodeFolderTag(longAlbum.data(), longAlbum.size(), album, artist));
    EXPECT_FALSE(DecodeFolderTag(nullptr, 0, album, artist));
    // A cut-off artist field gives what is there; no terminator needed.
    const Bytes shortArtist{4, 'A', 0, 0, 0, 10, 'Q', 0, 'R'};
    ASSERT_TRUE(DecodeFolderTag(shortArtist.data(), shortArtist.size(), album, artist));
    EXPECT_EQ(album, u"A");
    EXPECT_EQ(artist, u"Q");
    // Text stops at its first zero unit; an odd length drops the last byte.
    const Bytes inner{7, 'A', 0, 0, 0, 'B', 0, 0xEE, 4, 'C', 0, 0, 0};
    ASSERT_TRUE(DecodeFolderTag(inner.data(), inner.size(), album, artist));
    EXPECT_EQ(album, u"A");
    EXPECT_EQ(artist, u"C");
}

// Writing and reading the file go through the album loads of album_art_test.
TEST(CaptionCache, PathsAtTheRoot) {
    EXPECT_EQ(FolderFile(u"\\", u"kra1.tag"), u"\\kra1.tag");
    EXPECT_EQ(FolderFile(u"\\a\\b", u"kra1.tag"), u"\\a\\b\\kra1.tag");
    EXPECT_EQ(PathFolder(u"\\song.mp3"), u"\\");
    EXPECT_EQ(PathFolder(u"\\a\\b\\song.mp3"), u"\\a\\b");
    EXPECT_EQ(PathLastComponent(u"\\a\\Rock"), u"Rock");
    EXPECT_EQ(PathLastComponent(u"\\a\\"), u"");
}

// --- kra3.tag -----------------------------------------------------------------------

Surface TwoPixels() {
    Surface s;
    SizeSurface(s, 2, 1);
    s.pixels[0] = 0x1234;
    s.pixels[1] = 0xABCD;
    return s;
}

TEST(ThumbnailCache, GoldenBytes) {
    const Surface s = TwoPixels();
    EXPECT_EQ(EncodeThumbnailCache(s, 0x0123456789ABCDEFull),
              (Bytes{2,    0,    0,    0,        // width
                     1,    0,    0,    0,        // height
                     4,    0,    0,    0,        // pixel bytes
                     0xEF, 0xCD, 0xAB, 0x89,     // time, low half
                     0x67, 0x45, 0x23, 0x01,     // time, high half
                     0x34, 0x12, 0xCD, 0xAB}));  // pixels
    EXPECT_TRUE(EncodeThumbnailCache(Surface{}, 0).empty());
}

TEST(ThumbnailCache, FileRoundTrip) {
    ArtTree tree;
    const std::u16string path = tree.Core("kra3.tag");
    EXPECT_FALSE(WriteThumbnailCache(Surface{}, path));
    EXPECT_FALSE(tree.Exists("kra3.tag"));
    ASSERT_TRUE(WriteThumbnailCache(TwoPixels(), path));
    const Bytes bytes = tree.Read("kra3.tag");
    ASSERT_EQ(bytes.size(), 24u);
    // The time of writing is a plausible FILETIME (after 2020).
    ThumbnailHeader header;
    ASSERT_TRUE(ParseThumbnailHeader(bytes.data(), bytes.size(), header));
    EXPECT_GT(header.fileTime, FileTimeFromLocal(2020, 1, 1, 0, 0, 0));

    Surface read;
    SetSurfaceAlpha(read);  // a reused surface comes back opaque
    ASSERT_TRUE(ReadThumbnailCache(read, path));
    EXPECT_FALSE(read.HasAlpha());
    EXPECT_EQ(read.pixels[1], 0xABCD);
}

TEST(ThumbnailCache, DamagedFilesAllocateNothingAndLeaveTheSurfaceEmpty) {
    ArtTree tree;
    auto header = [](uint32_t w, uint32_t h, uint32_t size) {
        return test::Le32(w) + test::Le32(h) + test::Le32(size) + test::Zeros(8);
    };
    struct Case {
        const char* what;
        Bytes bytes;
    } cases[] = {
        // Representative cases; the art cache fuzzer tries the rest.
        {"short header", Bytes{2, 0, 0, 0, 1, 0}},
        {"size wraps in 32 bits", header(0x10000, 0x8000, 0)},
        {"huge claim", header(0x7FFF, 0x7FFF, 0x7FFE0002u)},
        {"zero side", header(0, 5, 0)},
        {"side too large", header(kMaxThumbnailSide + 1, 1, (kMaxThumbnailSide + 1) * 2)},
        {"pixels cut short", header(4, 4, 32) + test::Zeros(31)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        tree.Write("kra3.tag", c.bytes);
        Surface s = TwoPixels();
        EXPECT_FALSE(ReadThumbnailCache(s, tree.Core("kra3.tag")));
        EXPECT_EQ(test::SizeOf(s), std::pair(0u, 0u));
        EXPECT_LE(s.pixelsCapacity, 64u);  // nothing allocated from the claim
        Surface m;
        EXPECT_FALSE(DecodeThumbnailCache(c.bytes.data(), c.bytes.size(), m));
        EXPECT_EQ(m.width, 0u);
    }
    Surface s;
    EXPECT_FALSE(ReadThumbnailCache(s, tree.Core("missing.tag")));
}

TEST(ThumbnailCache, FileTimes) {
    EXPECT_EQ(FileTimeFromLocal(1601, 1, 1, 0, 0, 0), 0u);
    EXPECT_EQ(FileTimeFromLocal(1970, 1, 1, 0, 0, 0), 116444736000000000ull);
    // 2000-03-01 12:34:56: a leap-year February lies before it.
    EXPECT_EQ(FileTimeFromLocal(2000, 3, 1, 12, 34, 56), 125963876960000000ull);
}

// --- The cover search ---------------------------------------------------------------

TEST(FindCoverFile, FixedNamesInOrderThenLargeThenSmall) {
    ArtTree tree;
    const std::u16string folder = tree.Core("A");
    std::u16string result;
    tree.Folder("A");
    EXPECT_FALSE(FindCoverFile(folder, result, u"\\fallback"));
    EXPECT_EQ(result, u"\\fallback");

    // Each name found wins over those written before it.
    for (const std::string name : {"AlbumArt_{x}_Small.jpg", "ALBUMART_{y}_LARGE.JPG",
                                   "folder.jpeg", "cover.jpg", "folder.jpg"}) {
        tree.Write("A/" + name, Bytes{1});
        ASSERT_TRUE(FindCoverFile(folder, result, u""));
        EXPECT_EQ(result, tree.Core("A/" + name));
    }
}

TEST(FindCoverFile, AlbumArtNamesNeedBothUnderscoresAndAFile) {
    ArtTree tree;
    const std::u16string folder = tree.Core("A");
    tree.Write("A/AlbumArt_Large.jpg", Bytes{1});  // the star cannot share the '_'
    tree.Write("A/AlbumArt_x_Large.jpg.bak", Bytes{1});
    tree.Write("A/MyAlbumArt_x_Large.jpg", Bytes{1});
    tree.Folder("A/AlbumArt_dir_Large.jpg");
    std::u16string result;
    EXPECT_FALSE(FindCoverFile(folder, result, u""));
    tree.Write("A/AlbumArt__Large.jpg", Bytes{1});  // an empty star
    EXPECT_TRUE(FindCoverFile(folder, result, u""));
    EXPECT_EQ(result, tree.Core("A/AlbumArt__Large.jpg"));
}

TEST(FindFirstMusicFile, FirstMusicFileByName) {
    ArtTree tree;
    std::u16string name;
    EXPECT_FALSE(FindFirstMusicFile(tree.Core("none"), name));
    tree.Write("A/notes.txt", Bytes{1});
    tree.Write("A/song.mp3x", Bytes{1});
    tree.Folder("A/dir.mp3");
    EXPECT_FALSE(FindFirstMusicFile(tree.Core("A"), name));
    tree.Write("A/SONG.Mp3", Bytes{1});
    ASSERT_TRUE(FindFirstMusicFile(tree.Core("A"), name));
    EXPECT_EQ(name, u"SONG.Mp3");

    for (const char16_t* music :
         {u"a.MP2", u"a.mp4", u"a.WMA", u"a.wav", u"a.m4a", u"a.AAC", u"a.3GP", u".mp3"}) {
        EXPECT_TRUE(IsMusicName(music)) << Utf16ToUtf8(music);
    }
    for (const char16_t* other : {u"mp3", u"a_mp3", u"a.3gP2"}) {
        EXPECT_FALSE(IsMusicName(other)) << Utf16ToUtf8(other);
    }
}

TEST(CopyPictureIfAbsent, CopiesPicturesOnlyAndNeverReplaces) {
    ArtTree tree;
    const Bytes jpeg = test::SolidJpeg(8, 8, 200, 10, 10);
    tree.Write("prog/kraaf.bmp", jpeg);
    tree.Folder("A");
    ASSERT_TRUE(CopyPictureIfAbsent(tree.Core("prog/kraaf.bmp"), tree.Core("A/folder.jpg")));
    EXPECT_EQ(tree.Read("A/folder.jpg"), jpeg);
    // The copy leaves no temporary file behind.
    size_t entries = 0;
    for (auto& e : std::filesystem::directory_iterator(tree.Posix("A")))
        entries += !e.is_directory();
    EXPECT_EQ(entries, 1u);

    tree.Write("prog/kraaf.bmp", test::SolidJpeg(4, 4, 0, 0, 0));
    EXPECT_FALSE(CopyPictureIfAbsent(tree.Core("prog/kraaf.bmp"), tree.Core("A/folder.jpg")));
    EXPECT_EQ(tree.Read("A/folder.jpg"), jpeg);

    tree.Write("prog/kraaf.bmp", Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0, 0});  // a damaged JPEG
    EXPECT_FALSE(CopyPictureIfAbsent(tree.Core("prog/kraaf.bmp"), tree.Core("B/folder.jpg")));
    tree.Folder("B");
    EXPECT_FALSE(CopyPictureIfAbsent(tree.Core("prog/kraaf.bmp"), tree.Core("B/folder.jpg")));
    EXPECT_FALSE(tree.Exists("B/folder.jpg"));
    EXPECT_FALSE(CopyPictureIfAbsent(tree.Core("prog/none.bmp"), tree.Core("B/folder.jpg")));
}

}  // namespace
}  // namespace kra
