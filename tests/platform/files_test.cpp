#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <string>

#include "support/temp_tree.h"

namespace kra::platform {
namespace {

using test::TempTree;

// The core path of `name` in the tree's root.
std::u16string In(const TempTree& dir, std::u16string_view name) {
    return dir.Core() + u"\\" + std::u16string(name);
}

TEST(PathMapping, SeparatorsAndUtf8) {
    EXPECT_EQ(FromPosixPath("/home/ann/Music/a.mp3"), u"\\home\\ann\\Music\\a.mp3");
    EXPECT_EQ(ToPosixPath(u"\\home\\ann\\Music\\a.mp3"), "/home/ann/Music/a.mp3");
    // "é" (2 bytes), "€" (3 bytes), an emoji (4 bytes, a surrogate pair).
    const std::string posix = "/m\xC3\xA9/\xE2\x82\xAC/\xF0\x9F\x8E\xB5";
    const std::u16string core = u"\\m\u00E9\\\u20AC\\\U0001F3B5";
    EXPECT_EQ(FromPosixPath(posix), core);
    EXPECT_EQ(ToPosixPath(core), posix);
}

TEST(PathMapping, EscapesRoundTrip) {
    struct Case {
        std::string posix;
        std::u16string core;
    };
    const Case cases[] = {
        {"/\xFF", u"\\\xDCFF"},                                // a lone 0xFF byte
        {"/a\\b", u"\\a\uF05Cb"},                              // '\' inside a name
        {"/\xC3", u"\\\xDCC3"},                                // truncated sequence
        {"/\xC3(", u"\\\xDCC3("},                              // bad continuation
        {"/\xC0\xAF", u"\\\xDCC0\xDCAF"},                      // overlong '/'
        {"/\xED\xA0\x80", u"\\\xDCED\xDCA0\xDC80"},            // encoded surrogate
        {"/\xF4\x90\x80\x80", u"\\\xDCF4\xDC90\xDC80\xDC80"},  // above U+10FFFF
        {"/\xEF\x81\x9C", u"\\\xDCEF\xDC81\xDC9C"},            // a literal U+F05C
        {"/\xF0\x9F\x8E\xB5\x80", u"\\\U0001F3B5\xDC80"},      // pair then escape
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FromPosixPath(c.posix), c.core) << c.posix;
        EXPECT_EQ(ToPosixPath(c.core), c.posix) << c.posix;
    }
    // Every single byte and every pair of bytes round-trips.
    for (int a = 1; a < 256; ++a) {
        for (int b = 0; b < 256; b += (a < 0x80 ? 37 : 1)) {
            std::string name(1, char(a));
            if (b != 0) name.push_back(char(b));
            ASSERT_EQ(NameToPosix(NameFromPosix(name)), name) << a << " " << b;
        }
    }
}

TEST(PathMapping, CorePathsWithoutPosixFormAreRefused) {
    EXPECT_EQ(ToPosixPath(std::u16string(u"\\a\0b", 4)), "");  // would cut the path short
    EXPECT_EQ(ToPosixPath(u"\\a\xD800"), "");                  // lone high surrogate
    EXPECT_EQ(ToPosixPath(u"\\a\xD800x"), "");
    EXPECT_EQ(ToPosixPath(u"\\a\xDC10"), "");  // low, outside the escapes
    std::vector<uint8_t> bytes;
    EXPECT_FALSE(ReadFileBytes(u"\\tmp\\\xD800", bytes));
}

TEST(Files, WriteReadMoveDelete) {
    TempTree dir;
    const std::u16string path = In(dir, u"caf\u00E9 \xDCFF.bin");
    const std::vector<uint8_t> data = {0, 1, 2, 0xFF, 'x'};
    ASSERT_TRUE(WriteFileAtomic(path, data));
    std::vector<uint8_t> read;
    ASSERT_TRUE(ReadFileBytes(path, read));
    EXPECT_EQ(read, data);
    ASSERT_TRUE(ReadFileBytes(path, read, 3));
    EXPECT_EQ(read, std::vector<uint8_t>({0, 1, 2}));
    // The raw bytes of the name reach the file system.
    EXPECT_EQ(access(dir.Posix("caf\xC3\xA9 \xFF.bin").c_str(), F_OK), 0);

    // Replacing leaves no temporary file behind.
    ASSERT_TRUE(WriteFileAtomic(path, {7}));
    std::vector<FolderEntry> entries;
    ASSERT_TRUE(ListFolder(dir.Core(), entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].size, 1u);

    const std::u16string moved = In(dir, u"moved");
    EXPECT_TRUE(MoveFile(path, moved));
    EXPECT_FALSE(FileExists(path));
    ASSERT_TRUE(WriteFileAtomic(path, {8}));
    EXPECT_FALSE(MoveFile(path, moved)) << "an existing target is not replaced";
    ASSERT_TRUE(ReadFileBytes(moved, read));
    EXPECT_EQ(read, std::vector<uint8_t>({7}));
    EXPECT_TRUE(DeleteFile(moved));
    EXPECT_FALSE(DeleteFile(moved));
    EXPECT_FALSE(ReadFileBytes(moved, read));
    EXPECT_TRUE(read.empty());
    EXPECT_FALSE(ReadFileBytes(dir.Core(), read)) << "a folder is not a file";
}

TEST(Files, FileClass) {
    TempTree dir;
    const std::u16string path = In(dir, u"log.txt");
    {
        File f;
        EXPECT_FALSE(f.IsOpen());
        ASSERT_TRUE(f.OpenWrite(path));
        EXPECT_TRUE(f.Write("hello ", 6));
        EXPECT_TRUE(f.Write("world", 5));
        EXPECT_TRUE(f.Flush());
        File other = std::move(f);
        EXPECT_FALSE(f.IsOpen());
        EXPECT_TRUE(other.IsOpen());
        EXPECT_EQ(other.Size(), 11u);
    }
    File f;
    ASSERT_TRUE(f.OpenRead(path));
    EXPECT_EQ(f.Size(), 11u);
    ASSERT_TRUE(f.Seek(6));
    char buffer[16] = {};
    EXPECT_EQ(f.Read(buffer, sizeof buffer), 5u);
    EXPECT_STREQ(buffer, "world");
    EXPECT_EQ(f.Tell(), 11u);
    EXPECT_EQ(f.Read(buffer, sizeof buffer), 0u);
    EXPECT_FALSE(f.Write("x", 1)) << "opened for reading";
    f.Close();
    EXPECT_EQ(f.Read(buffer, 1), 0u);
    EXPECT_FALSE(f.OpenRead(In(dir, u"missing")));
    EXPECT_FALSE(f.OpenRead(dir.Core())) << "a folder is not a file";
}

TEST(Folders, ListingAndAttributes) {
    TempTree dir;
    ASSERT_TRUE(CreateFolder(In(dir, u"sub")));
    EXPECT_TRUE(CreateFolder(In(dir, u"sub"))) << "an existing folder is fine";
    dir.File(".hidden", "abc");
    dir.File("back\\slash", "");
    dir.File("ro", "1234");
    chmod(dir.Posix("ro").c_str(), 0444);
    ASSERT_EQ(symlink(dir.Posix("sub").c_str(), dir.Posix("link").c_str()), 0);
    ASSERT_EQ(symlink("/nonexistent/x", dir.Posix("dangling").c_str()), 0);
    EXPECT_FALSE(CreateFolder(In(dir, u"ro")));

    std::vector<FolderEntry> entries;
    ASSERT_TRUE(ListFolder(dir.Core(), entries));
    std::map<std::u16string, FolderEntry> byName;
    for (const FolderEntry& e : entries) byName[e.name] = e;
    ASSERT_EQ(byName.size(), 6u);
    EXPECT_EQ(byName[u"sub"].attributes, kAttrDirectory);
    EXPECT_EQ(byName[u"link"].attributes, kAttrDirectory);
    EXPECT_EQ(byName[u".hidden"].attributes, kAttrHidden);
    EXPECT_EQ(byName[u".hidden"].size, 3u);
    EXPECT_EQ(byName[u"back\uF05Cslash"].attributes, kAttrNormal);
    EXPECT_EQ(byName[u"ro"].attributes, kAttrReadOnly);
    EXPECT_TRUE(byName.count(u"dangling"));

    EXPECT_EQ(GetFileAttributes(In(dir, u"sub")), kAttrDirectory);
    EXPECT_EQ(GetFileAttributes(In(dir, u".hidden")), kAttrHidden);
    EXPECT_EQ(GetFileAttributes(In(dir, u"missing")), kAttrInvalid);
    EXPECT_TRUE(FolderExists(In(dir, u"link")));
    EXPECT_FALSE(FolderExists(In(dir, u"ro")));
    EXPECT_TRUE(FileExists(In(dir, u"dangling")));
    EXPECT_EQ(FolderIdentity(In(dir, u"link")), FolderIdentity(In(dir, u"sub")));
    EXPECT_NE(FolderIdentity(In(dir, u"sub")), FolderIdentity(dir.Core()));
    EXPECT_FALSE(FolderIdentity(In(dir, u"ro")).has_value());
    EXPECT_FALSE(ListFolder(In(dir, u"missing"), entries));
}

TEST(Folders, NamesTooLongForACorePathAreSkipped) {
    TempTree dir;
    const std::u16string folder = dir.Core();
    // Entry path = folder + '\' + name; the longest allowed is 259 units.
    const size_t fits = kMaxCorePath - folder.size() - 1;
    ASSERT_LT(fits, 250u);
    // A 4-byte character is 2 units: the unit count decides, not the bytes.
    std::string longest(fits - 2, 'a');
    longest += "\xF0\x9F\x8E\xB5";
    dir.File(longest, "");
    dir.File(std::string(fits + 1, 'b'), "");
    std::vector<FolderEntry> entries;
    ASSERT_TRUE(ListFolder(folder, entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(NameToPosix(entries[0].name), longest);
    EXPECT_EQ(folder.size() + 1 + entries[0].name.size(), size_t(kMaxCorePath));
}

TEST(ProgramFolder, SetAndCreated) {
    TempTree dir;
    const std::u16string home = In(dir, u"home\\kra");
    SetProgramFolder(home + u"\\");
    EXPECT_EQ(ProgramFolder(), home);
    EXPECT_TRUE(FolderExists(home));
}

}  // namespace
}  // namespace kra::platform
