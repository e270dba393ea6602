#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graphics/lang.h"

namespace kra {
namespace {

using namespace std::literals;

// UTF-16LE bytes of text, optionally after a byte-order mark.
std::vector<uint8_t> Utf16Le(std::u16string_view text, bool mark = false) {
    std::vector<uint8_t> bytes;
    if (mark) bytes = {0xFF, 0xFE};
    for (char16_t c : text) {
        bytes.push_back(uint8_t(c & 0xFF));
        bytes.push_back(uint8_t(c >> 8));
    }
    return bytes;
}

LangFile Parse(const std::vector<uint8_t>& bytes) {
    return ParseLangFile(bytes.data(), bytes.size());
}

std::u16string Read(const LangFile& file, std::u16string_view key, size_t capacity = 30) {
    return ReadLangString(&file, key, u"DEFAULT", capacity);
}

TEST(LangFileTest, GoldenBytesOfATranslatedTabLabel) {
    // FF FE, then "s_Songs=Lieder" CR LF in UTF-16LE.
    const std::vector<uint8_t> bytes = {
        0xFF, 0xFE, 's', 0,   '_', 0,   'S', 0,   'o', 0,   'n', 0,   'g', 0,  's', 0,  '=',
        0,    'L',  0,   'i', 0,   'e', 0,   'd', 0,   'e', 0,   'r', 0,   13, 0,   10, 0,
    };
    LangFile file = Parse(bytes);
    LanguageStrings strings;
    ReadLanguageStrings(&file, true, strings);
    EXPECT_EQ(strings.songs, u"Lieder");
    EXPECT_EQ(strings.artists, u"Artists");  // not in the file: default
    LowerCaseCountWords(strings);
    EXPECT_EQ(strings.songs, u"lieder");
    EXPECT_EQ(strings.artists, u"artists");
    EXPECT_EQ(strings.song, u"song");  // singular words stay as read
}

TEST(LangFileTest, KeyRules) {
    LangFile file =
        Parse(Utf16Le(u"[Heading]\r\n"
                      u"; comment s_Up=Hoch\r\n"
                      u"s_Up=Zurueck\r\n"
                      u"s_ShuffleAlbums=Alben mischen\r\n"
                      u"s_Songs=Lieder\r\n"
                      u"s_Quit=\r\n"
                      u"s_More=Mehr\r\n"
                      u"s_More=Weiteres\r\n",
                      true));
    // The key may stand anywhere in a line, and the first line wins.
    EXPECT_EQ(Read(file, u"s_Up="), u"Hoch");
    EXPECT_EQ(Read(file, u"s_More="), u"Mehr");
    // Keys are whole and case-sensitive.
    EXPECT_EQ(Read(file, u"s_Shuffle="), u"DEFAULT");
    EXPECT_EQ(Read(file, u"s_song="), u"DEFAULT");
    EXPECT_EQ(Read(file, u"s_ShuffleAlbums="), u"Alben mischen");
    // Present with nothing after it: empty, not the default.
    EXPECT_EQ(Read(file, u"s_Quit="), u"");
    EXPECT_EQ(ReadLangString(nullptr, u"s_Quit=", u"Quit", 30), u"Quit");
}

TEST(LangFileTest, ValueEndsAtCarriageReturnOrLineFeed) {
    LangFile file = Parse(Utf16Le(u"s_About=Info\ns_Cancel=Abbruch\rtail\r\ns_Quit=Ende"));
    EXPECT_EQ(Read(file, u"s_About="), u"Info");  // a bare line feed never joins the value
    EXPECT_EQ(Read(file, u"s_Cancel="), u"Abbruch");
    EXPECT_EQ(Read(file, u"s_Quit="), u"Ende");  // last line without an end
}

TEST(LangFileTest, CapacitiesCutValues) {
    std::u16string longValue(40, u'x');
    longValue[28] = u'A';
    longValue[29] = u'B';
    LangFile file = Parse(Utf16Le(u"s_Albums=" + longValue + u"\r\n"));
    std::u16string cut = Read(file, u"s_Albums=", 30);
    ASSERT_EQ(cut.size(), 29u);
    EXPECT_EQ(cut.back(), u'A');
    // A cut through a surrogate pair drops its first half as well.
    std::u16string pairs = std::u16string(28, u'y') + u"\U0001F3B5\U0001F3B5";
    file = Parse(Utf16Le(u"s_Albums=" + pairs));
    EXPECT_EQ(Read(file, u"s_Albums=", 30), std::u16string(28, u'y'));
    EXPECT_EQ(Read(file, u"s_Albums=", 31), std::u16string(28, u'y') + u"\U0001F3B5");
    // Defaults obey the capacity too.
    EXPECT_EQ(ReadLangString(nullptr, u"k=", u"abcdef", 4), u"abc");
    EXPECT_EQ(ReadLangString(nullptr, u"k=", u"abcdef", 0), u"");
}

TEST(LangFileTest, LongLinesContinueAsNextLine) {
    // 259 units make a line; what follows is searched as a line of its own.
    LangFile file = Parse(Utf16Le(std::u16string(250, u'-') + u"s_Donate=Spenden\r\n"));
    ASSERT_EQ(file.lines.size(), 2u);
    EXPECT_EQ(file.lines[0].size(), kLangLineUnits);
    EXPECT_EQ(Read(file, u"s_Donate="), u"");  // the key fills the line to its end
    // A key split across the boundary is not found.
    file = Parse(Utf16Le(std::u16string(255, u'-') + u"s_About=Info\r\n"));
    EXPECT_EQ(Read(file, u"s_About="), u"DEFAULT");
    file = Parse(Utf16Le(std::u16string(259, u'-') + u"s_About=Info\r\n"));
    EXPECT_EQ(Read(file, u"s_About="), u"Info");
}

TEST(LangFileTest, OtherEncodingsAndDamage) {
    // UTF-16BE with its mark.
    std::vector<uint8_t> be = {0xFE, 0xFF};
    for (char16_t c : std::u16string(u"s_Albums=\u0410\u043B\u044C\u0431\u043E\u043C\u044B\r\n")) {
        be.push_back(uint8_t(c >> 8));
        be.push_back(uint8_t(c & 0xFF));
    }
    EXPECT_EQ(Read(Parse(be), u"s_Albums="), u"\u0410\u043B\u044C\u0431\u043E\u043C\u044B");
    // UTF-8 with and without a mark.
    std::string utf8 = "s_Songs=Chansons \xC3\xA9t\xC3\xA9\r\n";
    std::vector<uint8_t> plain(utf8.begin(), utf8.end());
    EXPECT_EQ(Read(Parse(plain), u"s_Songs="), u"Chansons \u00E9t\u00E9");
    std::vector<uint8_t> marked = {0xEF, 0xBB, 0xBF};
    marked.insert(marked.end(), utf8.begin(), utf8.end());
    EXPECT_EQ(Read(Parse(marked), u"s_Songs="), u"Chansons \u00E9t\u00E9");
    // An odd last byte is ignored; a zero unit ends the line's text.
    std::vector<uint8_t> odd = Utf16Le(u"s_Quit=Ende\r\ns_More=A\0B\r\ns_Cancel=X"sv);
    odd.push_back('Q');
    LangFile file = Parse(odd);
    EXPECT_EQ(Read(file, u"s_Quit="), u"Ende");
    EXPECT_EQ(Read(file, u"s_More="), u"A");
    EXPECT_EQ(Read(file, u"s_Cancel="), u"X");
    // Empty and one-byte files give no lines.
    EXPECT_TRUE(ParseLangFile(nullptr, 0).lines.empty());
    const uint8_t one = 's';
    EXPECT_EQ(Read(ParseLangFile(&one, 1), u"s_Quit="), u"DEFAULT");
}

TEST(LangFileTest, BackLabelsReadOnlyWithTheBackButton) {
    LangFile file = Parse(Utf16Le(u"s_Up=Hoch\r\ns_NowPlaying=Jetzt\r\ns_Quit=Ende\r\n"));
    LanguageStrings strings;
    ReadLanguageStrings(&file, false, strings);
    EXPECT_EQ(strings.up, u"Up");
    EXPECT_EQ(strings.nowPlaying, u"Now Playing");
    EXPECT_EQ(strings.quit, u"Ende");
    ReadLanguageStrings(&file, true, strings);
    EXPECT_EQ(strings.up, u"Hoch");
    EXPECT_EQ(strings.nowPlaying, u"Jetzt");
    ReadLanguageStrings(nullptr, true, strings);
    EXPECT_EQ(strings.browseHints,
              u"tap folder to set the library or arrow to view the sub-folder.");
}

TEST(LangFileTest, LowerCaseCoversEuropeanScripts) {
    std::u16string text =
        u"\u00C4LBUM \u0150 \u0141\u00D7 \u0393\u0386 \u041F\u0415\u0421\u041D\u0418 "
        u"\u0401\u0462 \u65E5";
    LowerCaseText(text);
    EXPECT_EQ(text,
              u"\u00E4lbum \u0151 \u0142\u00D7 \u03B3\u03AC \u043F\u0435\u0441\u043D\u0438 "
              u"\u0451\u0463 \u65E5");
}

}  // namespace
}  // namespace kra
