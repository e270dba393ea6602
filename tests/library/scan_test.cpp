// The folder scan on real temporary folders.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "library/library.h"
#include "library/scan.h"
#include "support/temp_tree.h"

namespace kra {
namespace {

using test::TempTree;
using Strings = std::vector<std::u16string>;

Strings Relative(const TempTree& tree, const TextList& list) {
    Strings out;
    const size_t prefix = tree.Core().size();
    for (std::u16string_view path : list) out.emplace_back(path.substr(prefix));
    return out;
}

TEST(ScanLibrary, AlbumsAndSongsInLibraryOrder) {
    TempTree tree;
    tree.File("b/02.mp3");
    tree.File("b/01.MP3");
    tree.File("b/cover.jpg");
    tree.File("A/x.wma");
    tree.File("Album/1.mp3");
    tree.File("Album/Disc/1.mp3");
    tree.File("Album (Deluxe)/1.mp3");
    tree.File("OnlySubfolders/Inner/z.m4a");
    tree.File("OnlySubfolders/notes.txt");
    tree.File(".hidden/secret.mp3");  // hidden folder: never scanned
    tree.File("b/.ghost.mp3");        // hidden file: listed
    tree.Folder("Empty");
    tree.Folder("Fake.mp3");  // a folder is never a song
    tree.File("Fake.mp3/real.mp3");

    TextList folders;
    TextList songs;
    EXPECT_EQ(ScanLibrary(tree.Core(), folders, songs), 9);
    const Strings expectFolders = {
        u"\\A", u"\\Album",    u"\\Album (Deluxe)",       u"\\Album\\Disc",
        u"\\b", u"\\Fake.mp3", u"\\OnlySubfolders\\Inner"};
    EXPECT_EQ(Relative(tree, folders), expectFolders);
    const Strings expectSongs = {
        u"\\A\\x.wma",           u"\\Album\\1.mp3",       u"\\Album (Deluxe)\\1.mp3",
        u"\\Album\\Disc\\1.mp3", u"\\b\\.ghost.mp3",      u"\\b\\01.MP3",
        u"\\b\\02.mp3",          u"\\Fake.mp3\\real.mp3", u"\\OnlySubfolders\\Inner\\z.m4a"};
    EXPECT_EQ(Relative(tree, songs), expectSongs);
}

TEST(ScanLibrary, RootWithSongsIsItsOwnAlbumAndEmptyLibraryGivesNothing) {
    TempTree tree;
    tree.File("top.mp3");
    tree.File("Sub/a.mp3");
    TextList folders;
    TextList songs;
    EXPECT_EQ(ScanLibrary(tree.Core(), folders, songs), 2);
    EXPECT_EQ(folders[0], tree.Core());
    EXPECT_EQ(songs[0], tree.Core() + u"\\top.mp3");

    TempTree empty;
    empty.File("readme.txt");
    folders.push_back(u"\\stale");
    songs.clear();
    EXPECT_EQ(ScanLibrary(empty.Core(), folders, songs), 0);
    EXPECT_TRUE(folders.empty());
    EXPECT_EQ(ScanLibrary(u"\\no\\such\\folder", folders, songs), 0);
}

TEST(ScanLibrary, FollowsFolderLinksOnceAndNeverLoops) {
    TempTree tree;
    tree.File("Real/a.mp3");
    std::filesystem::create_directory_symlink(tree.Posix(), tree.Posix() / "Real" / "loop");
    std::filesystem::create_directory_symlink(tree.Posix() / "Real", tree.Posix() / "Again");
    std::filesystem::create_symlink(tree.Posix() / "missing", tree.Posix() / "dangling.mp3");
    TextList folders;
    TextList songs;
    ScanLibrary(tree.Core(), folders, songs);
    // "Again" and "Real" are one folder: it is scanned under one name only.
    ASSERT_EQ(folders.size(), 2u);  // the root (dangling.mp3) and the linked folder
    EXPECT_EQ(folders[0], tree.Core());
    EXPECT_TRUE(folders[1] == tree.Core("Real") || folders[1] == tree.Core("Again"));
    EXPECT_EQ(songs.size(), 2u);
}

TEST(ScanLibrary, SkipsNamesTooLongForAPathAndLogsThem) {
    TempTree tree;
    const size_t room = platform::kMaxCorePath - tree.Core().size() - 1;
    const std::string fits = std::string(room - 4, 'f') + ".mp3";
    const std::string tooLong = std::string(room - 3, 'g') + ".mp3";
    tree.File(fits);
    tree.File(tooLong);
    test::LogCapture log(tree);
    TextList folders;
    TextList songs;
    EXPECT_EQ(ScanLibrary(tree.Core(), folders, songs), 1);
    EXPECT_EQ(songs[0].size(), platform::kMaxCorePath);
    const auto lines = log.Messages();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [&](const std::string& l) {
                                // Long lines are cut by the log.
                                return l.rfind("path too long", 0) == 0 &&
                                       l.find(tooLong.substr(0, 60)) != std::string::npos;
                            }),
              1);
}

TEST(ScanLibrary, LogsEachStepAndReportsProgress) {
    TempTree tree;
    tree.File("M/b/2.mp3");
    tree.File("M/A/1.mp3");
    const std::string root = Utf16ToUtf8(tree.Core("M"));
    std::vector<ScanProgress> seen;
    test::LogCapture log(tree);
    TextList folders;
    TextList songs;
    ScanLibrary(tree.Core("M"), folders, songs, [&](const ScanProgress& p) { seen.push_back(p); });
    const std::vector<std::string> lines = log.Messages();
    // The listing order of A and b is the file system's; the search lines
    // come in library order.
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[0], "ds:" + root + "\\*");
    const std::vector<std::string> tail(lines.end() - 4, lines.end());
    EXPECT_EQ(tail,
              (std::vector<std::string>{"search:" + root + "\\A\\*", "mf:" + root + "\\A\\1.mp3",
                                        "search:" + root + "\\b\\*", "mf:" + root + "\\b\\2.mp3"}));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "sf:" + root + "\\A"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "s:" + root + "\\b"), 1);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().folders, 2);
    EXPECT_EQ(seen.back().songs, 2);
    for (size_t i = 1; i < seen.size(); ++i) EXPECT_GE(seen[i].songs, seen[i - 1].songs);
}

TEST(FolderBrowser, SubfoldersSortedWithArrowsAndWindowsUnlisted) {
    TempTree tree;
    tree.Folder("music/Deep/Deeper");
    tree.Folder("Apps");
    tree.Folder(".config/x");
    tree.Folder("OnlyHidden/.git");
    tree.File("file.mp3");
    std::vector<BrowseEntry> entries;
    std::u16string header;
    BuildBrowseList(tree.Core(), entries, header);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, u"\\Apps");
    EXPECT_EQ(entries[0].hasSubfolders, 0);
    EXPECT_EQ(entries[1].name, u"\\music");
    EXPECT_EQ(entries[1].hasSubfolders, 1);
    EXPECT_EQ(entries[2].name, u"\\OnlyHidden");
    EXPECT_EQ(entries[2].hasSubfolders, 0);
    EXPECT_EQ(header, tree.Core() + u" (3)");
    EXPECT_TRUE(HasSubfolders(u"\\WINDOWS"));  // answered without a listing
    EXPECT_FALSE(HasSubfolders(u"\\windowsx"));
}

TEST(ScanDiagnostic, PrintsFoldersSongsAndCounts) {
    TempTree tree;
    tree.File("b/2.mp3");
    tree.File("A/1.mp3");
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    EXPECT_EQ(RunScanDiagnostic(tree.Posix().string() + "/", out, err, false), 0);
    std::rewind(out);
    char buffer[4096] = {};
    const size_t n = std::fread(buffer, 1, sizeof buffer - 1, out);
    const std::string root = tree.Posix().string();
    EXPECT_EQ(std::string(buffer, n), root + "/A\n" + root + "/b\n" + root + "/A/1.mp3\n" + root +
                                          "/b/2.mp3\n2 albums, 2 songs\n");
    EXPECT_EQ(std::ftell(err), 0);
    EXPECT_EQ(RunScanDiagnostic(root + "/missing", out, err, false), 1);
    std::fclose(out);
    std::fclose(err);
}

}  // namespace
}  // namespace kra
