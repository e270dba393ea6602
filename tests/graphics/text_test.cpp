#include <gtest/gtest.h>

#include <climits>
#include <fstream>

#include "graphics/text.h"
#include "platform/font.h"
#include "support/surface_size.h"

namespace kra {
namespace {

// --- Duration text -------------------------------------------------------

TEST(FormatDurationTest, PlainAndNegativeForms) {
    EXPECT_EQ(FormatDuration(75), u"1:15");
    EXPECT_EQ(FormatDuration(-75), u"-1:15");
    EXPECT_EQ(FormatDuration(0), u"0:00");
    EXPECT_EQ(FormatDuration(-5), u"-0:05");  // the sign survives zero minutes
    EXPECT_EQ(FormatDuration(3600), u"60:00");
    EXPECT_EQ(FormatDuration(INT_MIN), u"-35791394:08");  // no overflow on the magnitude
}

// --- Line breaking with a font of known advances -------------------------

// Letters 10 px, spaces 5 px, dots 4 px, line breaks 0.
int FakeAdvance(char32_t c) {
    if (c == U' ') return 5;
    if (c == U'.') return 4;
    if (c == U'\r' || c == U'\n') return 0;
    return 10;
}

std::vector<std::u32string> Lines(std::u32string text, uint32_t format, int box) {
    std::vector<std::u32string> out;
    for (const TextLine& line : BreakTextLines(text, format, box, FakeAdvance)) {
        int width = 0;
        for (char32_t c : line.text) width += FakeAdvance(c);
        EXPECT_EQ(width, line.width) << "stored width of a line";
        out.push_back(line.text);
    }
    return out;
}

using L = std::vector<std::u32string>;

TEST(TextBreakTest, WordWrapAtTheBoxEdge) {
    // "aaa bbb" is 65 px: it fits a box of 65, not one of 64.
    EXPECT_EQ(Lines(U"aaa bbb ccc", kTextWordBreak, 65), (L{U"aaa bbb", U"ccc"}));
    EXPECT_EQ(Lines(U"aaa bbb ccc", kTextWordBreak, 64), (L{U"aaa", U"bbb", U"ccc"}));
    // Spaces at a break are dropped; spaces inside a line stay.
    EXPECT_EQ(Lines(U"aa   bb", kTextWordBreak, 30), (L{U"aa", U"bb"}));
    EXPECT_EQ(Lines(U"aa  bb", kTextWordBreak, 60), (L{U"aa  bb"}));
    // Trailing spaces never force a break.
    EXPECT_EQ(Lines(U"aaa    ", kTextWordBreak, 30), (L{U"aaa"}));
    // A word wider than the box is broken between characters.
    EXPECT_EQ(Lines(U"abcdefghij", kTextWordBreak, 35), (L{U"abc", U"def", U"ghi", U"j"}));
    EXPECT_EQ(Lines(U"x abcdefghij", kTextWordBreak, 35), (L{U"x", U"abc", U"def", U"ghi", U"j"}));
    // A box narrower than one character still takes one per line.
    EXPECT_EQ(Lines(U"ab", kTextWordBreak, 3), (L{U"a", U"b"}));
    // Scripts without spaces break between characters.
    EXPECT_EQ(Lines(U"\u65E5\u672C\u8A9E\u306E\u6B4C", kTextWordBreak, 25),
              (L{U"\u65E5\u672C", U"\u8A9E\u306E", U"\u6B4C"}));
    EXPECT_EQ(Lines(U"ab\u65E5\u672C", kTextWordBreak, 35), (L{U"ab\u65E5", U"\u672C"}));
}

TEST(TextBreakTest, ExplicitLineBreaks) {
    EXPECT_EQ(Lines(U"a\r\nb\rc\nd", 0, 1000), (L{U"a", U"b", U"c", U"d"}));
    EXPECT_EQ(Lines(U"a\r\n\r\nb", kTextWordBreak, 1000), (L{U"a", U"", U"b"}));
    EXPECT_EQ(Lines(U"a\r\nb", kTextSingleLine, 1000), (L{U"a\r\nb"}));
    // Without word break a long line stays whole.
    EXPECT_EQ(Lines(U"aaa bbb ccc", kTextSingleLine, 20), (L{U"aaa bbb ccc"}));
    EXPECT_EQ(Lines(U"", kTextWordBreak, 50), (L{U""}));
}

TEST(TextBreakTest, WordEllipsis) {
    // "The quick" 85 + "..." 12 = 97.
    const std::u32string text = U"The quick brown fox";
    EXPECT_EQ(Lines(text, kTextWordEllipsis, 100), (L{U"The quick..."}));
    EXPECT_EQ(Lines(text, kTextWordEllipsis, 97), (L{U"The quick..."}));
    EXPECT_EQ(Lines(text, kTextWordEllipsis, 96), (L{U"The..."}));
    // Not even the first word fits: cut between characters.
    EXPECT_EQ(Lines(text, kTextWordEllipsis, 35), (L{U"Th..."}));
    EXPECT_EQ(Lines(text, kTextWordEllipsis, 20), (L{U"..."}));
    // A text that fits keeps its end.
    EXPECT_EQ(Lines(U"The quick", kTextWordEllipsis, 85), (L{U"The quick"}));
    EXPECT_EQ(Lines(text, kTextWordEllipsis | kTextSingleLine, 1000), (L{text}));
}

TEST(TextBreakTest, Utf16Decoding) {
    EXPECT_EQ(TextToCodePoints(u"a\U0001F3B5b"), U"a\U0001F3B5b");
    // Lone halves of a pair become the replacement character.
    const char16_t lone[] = {u'a', 0xD83C, u'b', 0xDFB5, 0};
    EXPECT_EQ(TextToCodePoints(lone), U"a\uFFFDb\uFFFD");
    const char16_t endHigh[] = {u'x', 0xD83C, 0};
    EXPECT_EQ(TextToCodePoints(endHigh), U"x\uFFFD");
}

// --- Rendering with fixed font files --------------------------------------

constexpr const char* kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr const char* kDroid = "/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf";

bool Exists(const char* path) {
    return std::ifstream(path).good();
}

class TextRenderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!Exists(kDejaVu) || !Exists(kDroid)) GTEST_SKIP() << "fonts not installed";
        platform::UseFontFiles({kDejaVu, kDroid});
        screen565.layout = kLayout565;
        screen555.layout = kLayout555;
    }
    void TearDown() override { platform::UseFontFiles({}); }

    static int Ink(const Surface& s, uint16_t background, uint32_t x0 = 0,
                   uint32_t x1 = UINT32_MAX) {
        int count = 0;
        for (uint32_t y = 0; y < s.height; ++y)
            for (uint32_t x = x0; x < std::min(x1, s.width); ++x)
                count += s.Row(y)[x] != background;
        return count;
    }

    Screen screen565;
    Screen screen555;
};

TEST_F(TextRenderTest, EmptyTextIsOnePixelWideAndALineHigh) {
    Surface s;
    ASSERT_EQ(RenderText(s, screen565, 26, 400, kTextWhite, u"", kTextSingleLine, 0, 0, 0, 0), 1);
    EXPECT_EQ(test::SizeOf(s), std::pair(1u, 27u));
    EXPECT_FALSE(s.HasAlpha());
    EXPECT_EQ(Ink(s, 0), 0);
}

TEST_F(TextRenderTest, MeasuredSizeAndKeyPixel) {
    Font* font = MakeFont(26, 400);
    ASSERT_NE(font, nullptr);
    Surface s;
    // A glyph with a negative left bearing at the start must not reach column 0.
    const std::u16string text = u"jump & Joy";
    ASSERT_EQ(RenderTextWithFont(s, screen565, font, kTextWhite, text, kTextSingleLine, 0, 0, 0,
                                 0x000000),
              1);
    // The ampersand is a character of its own, measured and drawn.
    EXPECT_EQ(s.width, uint32_t(MeasureText(font, text) + 1));
    EXPECT_GT(MeasureText(font, u"&"), 0);
    EXPECT_EQ(s.height, 26u);
    for (uint32_t y = 0; y < s.height; ++y) EXPECT_EQ(s.Row(y)[0], 0) << "row " << y;
    EXPECT_GT(Ink(s, 0), 50);
    // The ink of "&" lies between the words.
    const int before = MeasureText(font, u"jump ");
    const int amp = MeasureText(font, u"&");
    EXPECT_GT(Ink(s, 0, 1 + before, 1 + before + amp), 10);
    DeleteFont(font);
}

TEST_F(TextRenderTest, WhiteBecomesFFDFOn565AndStays7FFFOn555) {
    Surface s;
    ASSERT_EQ(RenderText(s, screen565, 40, 700, kTextWhite, u"IIII", kTextSingleLine, 0, 0, 0, 0),
              1);
    bool sawFull = false;
    for (uint32_t i = 0; i < s.width * s.height; ++i) {
        EXPECT_EQ(s.pixels[i] & 0x20, 0) << "green's lowest bit comes from 5-5-5";
        sawFull |= s.pixels[i] == 0xFFDF;
        EXPECT_NE(s.pixels[i], 0xFFFF);
    }
    EXPECT_TRUE(sawFull);
    Surface t;
    ASSERT_EQ(RenderText(t, screen555, 40, 700, kTextWhite, u"IIII", kTextSingleLine, 0, 0, 0, 0),
              1);
    bool sawFull555 = false;
    for (uint32_t i = 0; i < t.width * t.height; ++i) sawFull555 |= t.pixels[i] == 0x7FFF;
    EXPECT_TRUE(sawFull555);
    // Near-black on white: the background is white, pixel 0 the key.
    Surface row;
    ASSERT_EQ(RenderText(row, screen565, 32, 600, kTextNearBlack, u"Row", kTextSingleLine, 200, 60,
                         0, 0xFFFFFF),
              1);
    EXPECT_EQ(row.pixels[0], 0xFFDF);
    EXPECT_EQ(row.Key(), 0xFFDF);
}

TEST_F(TextRenderTest, EllipsisKeepsTheFixedWidth) {
    Font* font = MakeFont(28, 500);
    ASSERT_NE(font, nullptr);
    const std::u16string text = u"A very long album title that will not fit";
    Surface s;
    ASSERT_EQ(RenderTextWithFont(s, screen565, font, kTextNearBlack, text, kTextWordEllipsis, 150,
                                 56, 10, 0xFFFFFF),
              1);
    EXPECT_EQ(test::SizeOf(s), std::pair(160u, 28u));  // fixedWidth + extraWidth, one line
    DeleteFont(font);
}

TEST_F(TextRenderTest, WrappedTextTakesTheHeightOfAllLines) {
    Surface s;
    ASSERT_EQ(RenderText(s, screen565, 24, 300, kTextWhite,
                         u"tap folder to set the library or arrow to view the sub-folder.",
                         kTextWordBreak | kTextCentre, 200, 48, 0, 0),
              1);
    EXPECT_EQ(s.width, 200u);
    EXPECT_GE(s.height, 72u);  // at least three lines of 24 at this width
    EXPECT_EQ(s.height % 24, 0u);
    // Centred lines leave margins on both sides of the first line.
    int left = INT_MAX, right = -1;
    for (uint32_t y = 0; y < 24; ++y)
        for (uint32_t x = 0; x < s.width; ++x)
            if (s.Row(y)[x] != 0) {
                left = std::min(left, int(x));
                right = std::max(right, int(x));
            }
    ASSERT_GE(right, 0);
    EXPECT_LE(std::abs((left - 1) - (int(s.width) - 1 - right)), 4);
}

TEST_F(TextRenderTest, OtherScriptsUseTheFallbackFont) {
    Font* font = MakeFont(26, 400);
    ASSERT_NE(font, nullptr);
    const std::u16string cjk = u"\u6D77\u306E\u58F0";  // not in DejaVu Sans
    Surface s;
    ASSERT_EQ(RenderTextWithFont(s, screen565, font, kTextWhite, cjk, kTextSingleLine, 0, 0, 0, 0),
              1);
    EXPECT_GT(s.width, 3u * 15);
    EXPECT_GT(Ink(s, 0), 100);
    // Cyrillic, Greek and a character outside the BMP render as well.
    for (const char16_t* text :
         {u"\u041F\u0435\u0441\u043D\u0438", u"\u03A9\u03B4\u03AE", u"\U0001F3B5", u"Caf\u00E9"}) {
        ASSERT_EQ(
            RenderTextWithFont(s, screen565, font, kTextWhite, text, kTextSingleLine, 0, 0, 0, 0),
            1);
        EXPECT_GT(Ink(s, 0), 10);
    }
    // Bold is wider than regular.
    Font* bold = MakeFont(26, 700);
    ASSERT_NE(bold, nullptr);
    EXPECT_GT(MeasureText(bold, u"Albums"), MeasureText(font, u"Albums"));
    DeleteFont(bold);
    DeleteFont(font);
}

TEST_F(TextRenderTest, RefusedSizes) {
    Surface s;
    EXPECT_EQ(RenderText(s, screen565, 0, 400, kTextWhite, u"x", 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(RenderText(s, screen565, 20, 400, kTextWhite, u"x", 0, -5, 20, 0, 0), 0);
}

}  // namespace
}  // namespace kra
