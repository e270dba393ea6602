#include <gtest/gtest.h>

#include "media/code_pages.h"
#include "media/tag_reader.h"
#include "media_test_util.h"
#include "support/temp_tree.h"

namespace kra {
namespace {

using test::Bytes;
using test::Frame22;
using test::Frame23;
using test::Frame24;
using test::Text;
using namespace std::literals;

Bytes Latin(std::string_view s) {
    return Bytes{0} + Text(s);
}  // encoding 0

class TagReaderTest : public ::testing::Test {
  protected:
    void TearDown() override { SetAnsiCodePage(1252); }
    // Opens the bytes as a file of the given name and reads its tags.
    int Read(Bytes file, bool fastAlbumPic = false, bool wantPicture = false,
             const std::u16string& name = u"\\m\\a.mp3") {
        test::ProbeBytes(probe_, name, std::move(file));
        tags_ = TagInfo{};
        int result = probe_.ReadTags(tags_, fastAlbumPic, wantPicture ? picture_ : u"");
        probe_.Close();
        return result;
    }
    // The title read from a file; a file without tags gives "(no tags)".
    std::u16string Title(Bytes file) {
        return Read(std::move(file)) == 1 ? TagText(tags_.title) : u"(no tags)";
    }
    Bytes Picture() {
        std::vector<uint8_t> bytes;
        if (!platform::ReadFileBytes(picture_, bytes)) return {0xDE, 0xAD};
        return bytes;
    }
    MediaFileProbe probe_;
    TagInfo tags_;
    test::TempTree tree_;
    const std::u16string picture_ = tree_.Core("picture.bin");
};

TEST_F(TagReaderTest, Id3v23TextFramesAndEncodings) {
    Bytes body = test::Boxes({
        Frame23("TIT2", Latin("Caf\xE9 \x80")),  // Windows-1252: e-acute, euro sign
        // UTF-16 with FF FE: U+0442 and "b"
        Frame23("TPE1", Bytes{1, 0xFF, 0xFE, 0x42, 0x04, 'b', 0}),
        // UTF-16 with FE FF and a zero terminator: "Zy"
        Frame23("TALB", Bytes{1, 0xFE, 0xFF, 0, 'Z', 0, 'y', 0, 0}),
        Frame23("TRCK", Latin("7/12")),
        Frame23("COMM", Latin("not read")),
        Frame23("TCON", Latin("not read")),
    });
    EXPECT_EQ(Title(test::Id3v2(3, 0, body + test::Zeros(64))), u"Caf\u00E9 \u20AC");
    EXPECT_EQ(TagText(tags_.artist), u"\u0442b");
    EXPECT_EQ(TagText(tags_.album), u"Zy");
    EXPECT_EQ(tags_.track, 7);
    EXPECT_EQ(TagText(tags_.comment), u"");
    EXPECT_EQ(TagText(tags_.genre), u"");
    EXPECT_EQ(tags_.year, 0);
    // Encoding 2 is big-endian without a mark.
    EXPECT_EQ(Title(test::Id3v2(3, 0, Frame23("TIT2", Bytes{2, 0x04, 0x42, 0, 'x'}))), u"\u0442x");
}

TEST_F(TagReaderTest, UntakenFramesKeepTheEarlierText) {
    Bytes body = Frame23("TIT2", Latin("Old")) +
                 Frame23("TIT2", Bytes{1, 'N', 0, 'e', 0}) +  // UTF-16, no mark
                 Frame23("TIT2", Bytes{7, 'x'}) +             // unknown encoding
                 Frame23("TPE1", Latin("First")) + Frame23("TPE1", Latin("Second"));
    EXPECT_EQ(Title(test::Id3v2(4, 0, body)), u"Old");
    EXPECT_EQ(TagText(tags_.artist), u"Second");
}

TEST_F(TagReaderTest, TrackNumbers) {
    struct Case {
        std::string text;
        int32_t track;
    } cases[] = {{"7/12", 7}, {"  12", 12}, {"A1", 0}, {"", 0}, {"99999999999", INT32_MAX}};
    for (const Case& c : cases) {
        ASSERT_EQ(Read(test::Id3v2(3, 0, Frame23("TRCK", Latin(c.text)))), 1);
        EXPECT_EQ(tags_.track, c.track) << c.text;
    }
}

TEST_F(TagReaderTest, LongTextsAreCutTo254Units) {
    std::string title(300, 'a');
    EXPECT_EQ(Title(test::Id3v2(3, 0, Frame23("TIT2", Latin(title)))), std::u16string(254, u'a'));
    Bytes utf16{1, 0xFF, 0xFE};
    for (int i = 0; i < 300; ++i) utf16 += Bytes{'b', 0};
    EXPECT_EQ(Title(test::Id3v2(3, 0, Frame23("TIT2", utf16))), std::u16string(254, u'b'));
    Bytes utf8{3};
    for (int i = 0; i < 300; ++i) utf8 += Bytes{0xC3, 0xA9};
    EXPECT_EQ(Title(test::Id3v2(3, 0, Frame23("TIT2", utf8))), std::u16string(254, u'\u00E9'));
}

TEST_F(TagReaderTest, Id3v2WithoutTitleHidesId3v1) {
    Bytes file = test::Id3v2(3, 0, Frame23("TPE1", Latin("V2 artist")) + test::Zeros(20)) +
                 test::Zeros(500) + test::Id3v1("V1 title", "V1 artist", "V1 album", "1999", 4);
    EXPECT_EQ(Title(file), u"");
    EXPECT_EQ(TagText(tags_.artist), u"V2 artist");
    EXPECT_EQ(tags_.year, 0);
}

TEST_F(TagReaderTest, Id3v1AndItsConditions) {
    Bytes audio = test::Zeros(300);
    EXPECT_EQ(Title(audio + test::Id3v1("Title   ", "Art\x81st", "Album", "1999", 4)),
              u"Title");                               // trailing blanks go
    EXPECT_EQ(TagText(tags_.artist), u"Art\uFFFDst");  // undefined in 1252
    EXPECT_EQ(TagText(tags_.album), u"Album");
    EXPECT_EQ(tags_.year, 1999);
    EXPECT_EQ(tags_.track, 4);

    // 30 blanks: empty. A year that is no number: 0. ID3v1.0 (byte 125
    // non-zero): no track.
    Bytes v10 = test::Id3v1(std::string(30, ' '), "", "", "abcd", 0);
    v10[125] = 'x';
    v10[126] = 9;
    EXPECT_EQ(Title(audio + v10), u"");
    EXPECT_EQ(tags_.year, 0);
    EXPECT_EQ(tags_.track, 0);

    // A tag that is too short, or damaged ID3v2 headers, leave ID3v1 to read.
    Bytes v1 = test::Id3v1("One", "", "", "", 0);
    EXPECT_EQ(Title(test::Id3v2(3, 0, test::Zeros(8)) + audio + v1), u"One");  // 2.3 needs 20
    EXPECT_EQ(Title(test::Id3v2(5, 0, Frame23("TIT2", Latin("v2.5"))) + audio + v1), u"One");
    // A size far beyond the file is not allocated, just not a tag.
    Bytes huge = Text("ID3\x03\0\0\x7F\x7F\x7F\x7F"sv) + audio + v1;
    EXPECT_EQ(Title(huge), u"One");
    // Nothing at all.
    EXPECT_EQ(Title(audio), u"(no tags)");
    EXPECT_EQ(Title(Bytes{}), u"(no tags)");
}

TEST_F(TagReaderTest, AnsiCodePageCanBeChanged) {
    Bytes file = test::Id3v2(3, 0, Frame23("TIT2", Latin("\xCF\xF0\xE8\xE2\xE5\xF2")));
    ASSERT_TRUE(SetAnsiCodePage(1251));
    EXPECT_EQ(Title(file), u"Привет");
    EXPECT_FALSE(SetAnsiCodePage(437));
    EXPECT_EQ(AnsiCodePage(), 1251u);
    ASSERT_TRUE(SetAnsiCodePage(28591));
    EXPECT_EQ(AnsiToUtf16("\x80\xFF"), u"\u0080\u00FF");
}

TEST_F(TagReaderTest, WalksEndAtZeroOrOversizedFrames) {
    // A frame of size 0 ends the walk; the tag still counts.
    Bytes body = Frame23("TIT2", Latin("T")) + Text("TXXX") + test::Be32(0) + Bytes{0, 0} +
                 Frame23("TALB", Latin("A"));
    EXPECT_EQ(Title(test::Id3v2(3, 0, body)), u"T");
    EXPECT_EQ(TagText(tags_.album), u"");
    // A frame larger than what remains ends it too.
    body = Frame23("TIT2", Latin("T")) + Text("TPE1") + test::Be32(1000) + Bytes{0, 0} + Latin("A");
    EXPECT_EQ(Title(test::Id3v2(3, 0, body)), u"T");
    EXPECT_EQ(TagText(tags_.artist), u"");
}

TEST_F(TagReaderTest, Id3v22Frames) {
    Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3};
    Bytes body = Frame22("TT2", Latin("Two")) + Frame22("TP1", Latin("Artist")) +
                 Frame22("TAL", Latin("Album")) + Frame22("TRK", Latin("5")) +
                 Frame22("PIC", Bytes{0} + Text("JPG") + Bytes{3} + Text("d\0"sv) + jpeg);
    ASSERT_EQ(Read(test::Id3v2(2, 0, body), false, true), 1);
    EXPECT_EQ(TagText(tags_.title), u"Two");
    EXPECT_EQ(TagText(tags_.artist), u"Artist");
    EXPECT_EQ(TagText(tags_.album), u"Album");
    EXPECT_EQ(tags_.track, 5);
    EXPECT_EQ(Picture(), jpeg);
}

TEST_F(TagReaderTest, Id3v24SizesSyncsafeOrPlain) {
    // A 200-byte frame: syncsafe 00 00 01 48, plain 00 00 00 C8.
    Bytes comment = Latin(std::string(199, 'c'));
    Bytes syncsafe = Frame24("COMM", comment) + Frame24("TIT2", Latin("After"));
    EXPECT_EQ(Title(test::Id3v2(4, 0, syncsafe)), u"After");
    // Older encoders wrote plain sizes into 2.4 tags.
    Bytes plain = Frame23("COMM", comment) + Frame23("TIT2", Latin("After"));
    EXPECT_EQ(Title(test::Id3v2(4, 0, plain + test::Zeros(10))), u"After");
    // A large last frame ending on padding or on the tag's end.
    const Bytes large = Frame24("TIT2", Latin(std::string(299, 't')));
    EXPECT_EQ(Title(test::Id3v2(4, 0, large + test::Zeros(30))).size(), 254u);
    EXPECT_EQ(Title(test::Id3v2(4, 0, large)).size(), 254u);
    // Neither reading lands on a frame: the walk ends there.
    Bytes lost = Frame24("TPE1", Latin("A")) + Frame24("COMM", comment) + Text("garbage!!!!!") +
                 Frame24("TIT2", Latin("X"));
    ASSERT_EQ(Read(test::Id3v2(4, 0, lost)), 1);
    EXPECT_EQ(TagText(tags_.artist), u"A");
    EXPECT_EQ(TagText(tags_.title), u"");
    // In 2.3 the size is always plain.
    EXPECT_EQ(Title(test::Id3v2(3, 0, Frame23("COMM", comment) + Frame23("TIT2", Latin("Plain")))),
              u"Plain");
}

TEST_F(TagReaderTest, ExtendedHeadersAreSkipped) {
    // 2.3: size 6 (excluding itself), flags, padding size.
    Bytes v23 = test::Be32(6) + Bytes{0, 0} + test::Be32(0) + Frame23("TIT2", Latin("Ext3"));
    EXPECT_EQ(Title(test::Id3v2(3, 0x40, v23)), u"Ext3");
    // 2.4: syncsafe size 6 including itself, one flag byte, flags.
    Bytes v24 = test::Syncsafe(6) + Bytes{1, 0} + Frame24("TIT2", Latin("Ext4"));
    EXPECT_EQ(Title(test::Id3v2(4, 0x40, v24)), u"Ext4");
    // An extended header larger than the tag leaves nothing to walk.
    Bytes bad = test::Be32(5000) + Bytes{0, 0} + test::Be32(0) + Frame23("TIT2", Latin("No"));
    EXPECT_EQ(Title(test::Id3v2(3, 0x40, bad)), u"");
}

Bytes Apic(std::string_view mime, const Bytes& image) {
    // Encoding, MIME type, zero, picture type 3 (front cover), description.
    return Frame23("APIC", Bytes{0} + Text(mime) + Bytes{0, 3} + Text("Cover\0"sv) + image);
}

TEST_F(TagReaderTest, LastPictureFrameWins) {
    Bytes first = {0xFF, 0xD8, 0xFF, 0xE0, 'o', 'n', 'e', 0xFF, 0xD9};
    Bytes second = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 2};
    Bytes file = test::Id3v2(
        3, 0, Apic("image/jpeg", first) + Frame23("TIT2", Latin("T")) + Apic("image/png", second));
    ASSERT_EQ(Read(file, false, true), 1);
    EXPECT_EQ(Picture(), second);
    EXPECT_EQ(TagText(tags_.title), u"T");
    // No picture path: no file.
    platform::DeleteFile(picture_);
    ASSERT_EQ(Read(file, false, false), 1);
    EXPECT_FALSE(platform::FileExists(picture_));
}

TEST_F(TagReaderTest, UnsynchronisedJpegRepair) {
    // As stored: SOI FF D8, then FF 00 E0 (unsynchronised FF E0), a stuffed
    // FF 00 of the image stored as FF 00 00, the end marker, trailing bytes.
    Bytes stored = {0xFF, 0xD8, 0xFF, 0x00, 0xE0, 0x10, 0xFF,
                    0x00, 0x00, 0x20, 0xFF, 0xD9, 0x77, 0x77};
    Bytes repaired = {0xFF, 0xD8, 0xFF, 0xE0, 0x10, 0xFF, 0x00, 0x20, 0xFF, 0xD9};
    Bytes file = test::Id3v2(3, 0x80, Apic("image/jpeg", stored));
    ASSERT_EQ(Read(file, false, true), 1);
    EXPECT_EQ(Picture(), repaired);
    ASSERT_EQ(Read(file, true, true), 1);  // FastAlbumPic: as stored
    EXPECT_EQ(Picture(), stored);
    // A JPEG whose fourth byte is not 0 is written whole.
    Bytes plain = {0xFF, 0xD8, 0xFF, 0xE0, 0xFF, 0x00, 0x00, 0xFF, 0xD9, 0x55};
    ASSERT_EQ(Read(test::Id3v2(3, 0, Apic("image/jpeg", plain)), false, true), 1);
    EXPECT_EQ(Picture(), plain);
}

TEST_F(TagReaderTest, RealId3v24TagFromATagger) {
    EXPECT_EQ(Title(test::ReadData("vbr.mp3")), u"Tone");
    EXPECT_EQ(TagText(tags_.artist), u"Test Artist");
    EXPECT_EQ(TagText(tags_.album), u"Test Album");
    EXPECT_EQ(tags_.track, 3);
}

TEST(TagTextDecoderTest, SmallUtf8Decoder) {
    char16_t field[kTagTextCapacity];
    auto decode = [&](const Bytes& b) {
        DecodeId3Utf8(b.data(), b.size(), field);
        return TagText(field);
    };
    EXPECT_EQ(decode({'a', 0xC3, 0xA9, 0xE2, 0x82, 0xAC}), u"a\u00E9\u20AC");
    // Four-byte sequences take two continuation bytes, kept to 16 bits; the
    // fourth byte then stands where a lead byte belongs and ends the text.
    EXPECT_EQ(decode({0xF0, 0x9F, 0x8E, 0xB5, 'x'}), u"\u07CE");
    EXPECT_EQ(decode({'a', 0x80, 'b'}), u"a");
    EXPECT_EQ(decode({'a', 0, 'b'}), u"a");
    EXPECT_EQ(decode({'a', 0xC3}), u"a");  // cut sequence: nothing read past the end
    // Continuation bytes are not checked.
    EXPECT_EQ(decode({0xC3, 'A'}), std::u16string(1, char16_t(0xC1)));
}

TEST(TagTextDecoderTest, FullUtf8Decoder) {
    char16_t field[kTagTextCapacity];
    auto decode = [&](const Bytes& b) {
        DecodeMp4Utf8(b.data(), b.size(), field);
        return TagText(field);
    };
    EXPECT_EQ(decode({'a', 0xC3, 0xA9, 0xE2, 0x82, 0xAC}), u"a\u00E9\u20AC");
    EXPECT_EQ(decode({0xF0, 0x9F, 0x8E, 0xB5, 'x'}), u"?x");  // above U+FFFF
    EXPECT_EQ(decode({'a', 0x80, 0xFE, 0xFF, 'b'}), u"ab");   // stray bytes skipped
    EXPECT_EQ(decode({'a', 0xC3, 'b'}), u"a");                // broken sequence ends it
    EXPECT_EQ(decode({'a', 0xE2, 0x82}), u"a");               // cut sequence ends it
    EXPECT_EQ(decode({'a', 0, 'b'}), u"a");
}

}  // namespace
}  // namespace kra
