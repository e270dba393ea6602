// Library order, music extensions and the path rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>

#include "library/library.h"

namespace kra {
namespace {

TEST(MusicFileName, ExtensionsInEitherCaseOnly) {
    for (const char16_t* name : {u"SONG.MP3", u"song.Mp3", u"a.mp2", u"a.MP4", u"a.wma", u"a.WAV",
                                 u"a.m4a", u"a.M4A", u"a.aac", u"a.3gp", u"a.3GP", u".mp3"}) {
        EXPECT_TRUE(IsMusicFileName(name));
    }
    for (const char16_t* name : {u"song.mp3x", u"song.ogg", u"song.flac", u"mp3", u"song_mp3",
                                 u"a.mp3 ", u"a.m4b", u"a.\uFF4Dp3", u""}) {
        EXPECT_FALSE(IsMusicFileName(name));
    }
}

// Reference: plain lexicographic comparison of the folded units.
bool ReferenceLess(const std::u16string& a, const std::u16string& b) {
    auto fold = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; };
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [&](char16_t x, char16_t y) { return fold(x) < fold(y); });
}

TEST(LibraryOrder, FoldsAsciiOnlyAndPutsPrefixFirst) {
    EXPECT_LT(CompareLibraryOrder(u"\\Music\\abc", u"\\Music\\ABD"), 0);
    EXPECT_LT(CompareLibraryOrder(u"\\Music\\a", u"\\Music\\a\\b"), 0);
    EXPECT_LT(CompareLibraryOrder(u"\\M\\A B", u"\\M\\A\\B"), 0);  // blank before separator
    EXPECT_EQ(CompareLibraryOrder(u"\\M\\Rock", u"\\M\\rOCK"), 0);
    // '_' (0x5F) sits between 'Z' and 'a': folded, Z comes after it.
    EXPECT_LT(CompareLibraryOrder(u"_", u"Z"), 0);
    // Digits and '!' sort before the separator; letters after it.
    EXPECT_LT(CompareLibraryOrder(u"\\M\\X1", u"\\M\\X\\a"), 0);
    EXPECT_GT(CompareLibraryOrder(u"\\M\\Xa", u"\\M\\X\\a"), 0);
    // Other units compare by value, unfolded: U+00C9 before U+00E9.
    EXPECT_LT(CompareLibraryOrder(u"\u00C9", u"\u00E9"), 0);
    EXPECT_GT(CompareLibraryOrder(u"\u00E9", u"z"), 0);
}

TEST(LibraryOrder, SortIsStableAndMatchesTheComparison) {
    std::vector<std::u16string> list = {u"\\M\\b",    u"\\M\\Rock", u"\\M\\A",   u"\\M\\rock",
                                        u"\\M\\A\\B", u"\\M\\A B",  u"\\M\\ROCK"};
    SortLibraryOrder(list);
    const std::vector<std::u16string> expected = {
        u"\\M\\A", u"\\M\\A B", u"\\M\\A\\B", u"\\M\\b", u"\\M\\Rock", u"\\M\\rock", u"\\M\\ROCK"};
    EXPECT_EQ(list, expected);

    // Random strings over a small alphabet full of near-ties, including
    // units whose high byte is set (the sort keys hold two bytes per unit).
    const char16_t alphabet[] = {u'a', u'A', u'b',   u'B',   u' ',   u'\\',  u'_',  u'Z',
                                 u'z', u'0', 0x00E9, 0x0141, 0x4E00, 0xFF21, 0x015A};
    std::mt19937 random(7);
    std::vector<std::u16string> words;
    for (int i = 0; i < 3000; ++i) {
        std::u16string w;
        const int length = int(random() % 6);
        for (int k = 0; k < length; ++k) w.push_back(alphabet[random() % std::size(alphabet)]);
        words.push_back(w);
    }
    std::vector<std::u16string> ours = words;
    SortLibraryOrder(ours);
    std::vector<std::u16string> reference = words;
    std::stable_sort(reference.begin(), reference.end(), ReferenceLess);
    EXPECT_EQ(ours, reference);

    TextList pooled;
    for (const auto& w : words) pooled.push_back(w);
    SortLibraryOrder(pooled);
    ASSERT_EQ(pooled.size(), reference.size());
    for (size_t i = 0; i < reference.size(); ++i) ASSERT_EQ(pooled[i], reference[i]) << i;
}

TEST(PathRules, FolderPartFileNameAndTitle) {
    EXPECT_EQ(FolderPart(u"\\song.mp3"), u"\\");
    EXPECT_EQ(FolderPart(u"\\Music\\x\\a.mp3"), u"\\Music\\x");
    EXPECT_EQ(FileNamePart(u"\\Music\\x\\a.mp3"), u"a.mp3");
    EXPECT_EQ(UntaggedTitle(u"\\Music\\Intro.mp3"), u"Intro");
    EXPECT_EQ(UntaggedTitle(u"\\M\\.mp3"), u"");
    // Paths past 255 units keep their whole folder part.
    const std::u16string folder = u"\\" + std::u16string(250, u'f') + u"\\sub";
    EXPECT_EQ(FolderPart(folder + u"\\a.mp3"), folder);
    EXPECT_EQ(ChildPath(u"\\", u"a.mp3"), u"\\a.mp3");
    EXPECT_EQ(ChildPath(u"\\M", u"a.mp3"), u"\\M\\a.mp3");
    EXPECT_EQ(ListingPattern(u"\\"), u"\\*");
    EXPECT_EQ(ListingPattern(u"\\M"), u"\\M\\*");
}

// The lists share text instead of copying it; what they hand out stays
// valid while any list holding it lives, whatever happens to the others.
TEST(TextList, SharedTextOutlivesItsWriterAndSurvivesGrowth) {
    auto original = std::make_unique<TextList>();
    original->push_back(u"\\M\\A\\1.mp3");
    original->PushChildPath(u"\\", u"2.mp3");
    const std::u16string_view first = (*original)[0];

    TextList copy = *original;
    TextList parts;
    parts.push_back(u"Shuffle");
    parts.AppendShared(*original, 1, 9);  // end past the size is cut
    parts.AppendSharedPart(*original, FileNamePart((*original)[0]));
    EXPECT_EQ(copy[0].data(), first.data());
    // The writer goes on past many chunks, then is cleared and destroyed.
    for (int i = 0; i < 40000; ++i) original->push_back(u"\\M\\B\\long enough name.mp3");
    EXPECT_EQ((*original)[0].data(), first.data());
    original->clear();
    original.reset();
    // A copy appends to text of its own, never into the shared chunk.
    copy.push_back(u"\\M\\C\\3.mp3");
    copy.AppendShared(copy, 0, 1);
    EXPECT_EQ(std::vector<std::u16string_view>(copy.begin(), copy.end()),
              (std::vector<std::u16string_view>{u"\\M\\A\\1.mp3", u"\\2.mp3", u"\\M\\C\\3.mp3",
                                                u"\\M\\A\\1.mp3"}));
    EXPECT_EQ(std::vector<std::u16string_view>(parts.begin(), parts.end()),
              (std::vector<std::u16string_view>{u"Shuffle", u"\\2.mp3", u"1.mp3"}));
    EXPECT_EQ(parts.Find(u"1.mp3"), 2);
    EXPECT_EQ(parts.Find(u"1.mp"), -1);
    SortLibraryOrder(copy);
    EXPECT_EQ(copy[0], u"\\2.mp3");
    EXPECT_EQ(copy[3], u"\\M\\C\\3.mp3");
}

}  // namespace
}  // namespace kra
