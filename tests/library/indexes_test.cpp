// The album table and the browse lists built from it.
#include <gtest/gtest.h>

#include "library/indexes.h"
#include "library/scan.h"
#include "library/tag_cache.h"
#include "support/temp_tree.h"

namespace kra {
namespace {

using test::TempTree;
using Strings = std::vector<std::u16string>;

SongFacts NoTags(const std::u16string&) {
    return {};
}

Strings Texts(const ListContent& view) {
    return Strings(view.text.begin(), view.text.end());
}
Strings Data(const ListContent& view) {
    return Strings(view.data.begin(), view.data.end());
}

class IndexesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::SetProgramFolder(tree.Core("home"));
        SetSongMeasurer(&NoTags);
        ClearUnwritableTitleCache();
        SetLibraryWords(LibraryWords{});
    }
    void TearDown() override { SetSongMeasurer(nullptr); }

    // Scans `relativeRoot` of the tree into a fresh library with its table.
    void Scan(const std::string& relativeRoot) {
        library = Library{};
        library.root = tree.Core(relativeRoot);
        ScanLibrary(library.root, library.folders, library.browse);
        library.albumCount = library.FolderCount();
        AssignAF(library);
    }
    TempTree tree;
    Library library;
};

TEST_F(IndexesTest, AlbumsArtistsAndAnArtistsAlbums) {
    tree.File("Music/root.mp3");
    tree.File("Music/Band/Second/1.mp3");
    tree.File("Music/Band/First/1.mp3");
    tree.File("Music/Band/First/2.mp3");
    Scan("Music");
    const std::u16string root = library.root;
    ASSERT_EQ(library.albums->albumCount, 3);
    EXPECT_EQ(library.albums->entries.size(), 6u);  // never fewer than 6

    ListContent albums;
    InitializeAlbumList(library, albums);
    EXPECT_EQ(Texts(albums), (Strings{u"Shuffle Albums", u"", u"First", u"Second"}));
    EXPECT_EQ(Data(albums),
              (Strings{u"ashuffle", root, root + u"\\Band\\First", root + u"\\Band\\Second"}));
    EXPECT_EQ(albums.header, root + u" (3 albums)");
    EXPECT_EQ(albums.icon, tree.Core("home") + u"\\gfx\\pmusic.png");
    // A view that holds lines is left as it is.
    albums.header = u"kept";
    InitializeAlbumList(library, albums);
    EXPECT_EQ(albums.header, u"kept");

    ListContent artists;
    InitializeArtistList(library, artists);
    EXPECT_EQ(Texts(artists), Strings{u"Band"});
    EXPECT_EQ(Data(artists), Strings{root + u"\\Band"});
    EXPECT_EQ(artists.header, root + u" (1 artist)");

    ListContent band;
    ListContent songs;
    EXPECT_FALSE(ArtistListAlbum(library, u"Band", band, songs, u""));
    EXPECT_EQ(Texts(band), (Strings{u"Shuffle Albums", u"All Songs", u"First", u"Second"}));
    EXPECT_EQ(Data(band)[1], u"all songs");
    EXPECT_EQ(band.header, u"Band (2 albums)");

    ArtistSongs(library, u"Band", songs, root + u"\\Band\\First\\2.mp3");
    EXPECT_EQ(Texts(songs), (Strings{u"Shuffle", u"1", u"2", u"1"}));
    EXPECT_EQ(songs.header, u"Band (3 songs)");
    EXPECT_EQ(songs.selected, 2);
}

TEST_F(IndexesTest, FirstAlbumIsNamedLikeTheOthersUnlessItIsTheLibraryFolder) {
    tree.File("M/Band/Zulu/1.mp3");
    tree.File("M/Band/Alpha/1.mp3");
    tree.File("M/Band/Beta/1.mp3");
    Scan("M");
    // Album 1 ("Band\Alpha") sorts among the others by its own name.
    EXPECT_EQ(AlbumLabel(library, 1), u"Alpha");
    InitializeAlbumList(library, library.views.albums);
    EXPECT_EQ(Texts(library.views.albums),
              (Strings{u"Shuffle Albums", u"Alpha", u"Beta", u"Zulu"}));
    tree.File("M/root.mp3");
    Scan("M");
    EXPECT_EQ(AlbumLabel(library, 1), u"");
    EXPECT_EQ(AlbumLabel(library, 2), u"Alpha");
}

TEST_F(IndexesTest, ArtistWithOneAlbumOpensItsSongs) {
    tree.File("M/Solo/Only/b.mp3");
    tree.File("M/Solo/Only/a.mp3");
    tree.File("M/Zed/x/1.mp3");
    Scan("M");
    ListContent view;
    ListContent songs;
    EXPECT_TRUE(ArtistListAlbum(library, u"Solo", view, songs, u""));
    EXPECT_EQ(Texts(songs), (Strings{u"Shuffle", u"a", u"b"}));
    EXPECT_EQ(songs.header, u"Only (2 songs)");
    EXPECT_EQ(songs.selected, -1);
}

TEST_F(IndexesTest, RootLibraryTakesTheFirstLevelAsArtist) {
    EXPECT_EQ(AlbumArtist(u"\\", u"\\Music\\Rock"), u"Music");
    EXPECT_EQ(AlbumRelativePath(u"\\", u"\\Music\\Rock"), u"Music\\Rock");
    EXPECT_EQ(AlbumArtist(u"\\M", u"\\M"), u"");
    EXPECT_EQ(AlbumArtist(u"\\M", u"\\M\\A\\B"), u"A");
    library.root = u"\\";
    library.folders.push_back(u"\\Music\\Folk");
    library.folders.push_back(u"\\Music\\Rock");
    library.albumCount = 2;
    AssignAF(library);
    EXPECT_EQ(AlbumLabel(library, 2), u"Rock");
    ListContent artists;
    InitializeArtistList(library, artists);
    EXPECT_EQ(Data(artists), Strings{u"\\Music"});
}

TEST_F(IndexesTest, ArtistSongsFindsEveryAlbumOfTheArtist) {
    // "abba" sorts before "The Beatles" case-folded but after it by code
    // value; "Bob" has albums on both sides of "Bob Dylan".
    tree.File("M/abba/Gold/1.mp3");
    tree.File("M/The Beatles/Help/1.mp3");
    tree.File("M/Bob/a.mp3");
    tree.File("M/Bob Dylan/x/1.mp3");
    tree.File("M/Bob/y/1.mp3");
    Scan("M");
    ListContent songs;
    ArtistSongs(library, u"The Beatles", songs, u"");
    EXPECT_EQ(songs.size(), 1u);
    EXPECT_EQ(songs.header, u"The Beatles (1 song)");
    ArtistSongs(library, u"Bob", songs, u"");
    EXPECT_EQ(songs.size(), 3u);  // Shuffle and two songs
    ArtistSongs(library, u"Bob Dylan", songs, u"");
    EXPECT_EQ(songs.size(), 1u);

    ListContent artists;
    InitializeArtistList(library, artists);
    // Not adjacent in the table: Bob appears twice.
    EXPECT_EQ(Texts(artists), (Strings{u"abba", u"Bob", u"Bob Dylan", u"Bob", u"The Beatles"}));
}

TEST_F(IndexesTest, AllSongsListAndSingularHeader) {
    tree.File("M/A/only.mp3");
    Scan("M");
    ListContent all;
    BuildAllSongsList(library, all);
    EXPECT_EQ(Texts(all), Strings{u"only.mp3"});
    EXPECT_EQ(all.header, library.root + u" (1 song)");

    LibraryWords words;
    words.song = u"Lied";
    words.songs = u"LIEDER";
    words.shuffle = u"Zufall";
    SetLibraryWords(words);
    tree.File("M/A/two.mp3");
    Scan("M");
    BuildAllSongsList(library, all);
    EXPECT_EQ(all.text[0], u"Zufall");
    EXPECT_EQ(all.header, library.root + u" (2 lieder)");
}

}  // namespace
}  // namespace kra
