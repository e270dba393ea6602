#include <gtest/gtest.h>

#include <cstring>

#include "media/mp4_reader.h"
#include "media/tag_reader.h"
#include "media_test_util.h"

namespace kra {
namespace {

using test::Box;
using test::Bytes;
using test::Text;

Bytes FullBox(std::string_view type, const Bytes& content) {
    return Box(type, Bytes{0, 0, 0, 0} + content);
}

// esds: ES_Descriptor (tag 3) with ES_ID 1 and no flags, holding a
// DecoderConfigDescriptor (tag 4: object type 0x40, stream type 0x15,
// buffer size, max and average bitrate) holding the AudioSpecificConfig
// (tag 5: AAC LC, 44100 Hz, stereo).
Bytes Esds(uint32_t averageBitrate) {
    Bytes config = Bytes{0x05, 0x02, 0x12, 0x10};
    Bytes decoder = Bytes{0x40, 0x15, 0x00, 0x18, 0x00} + test::Be32(160000) +
                    test::Be32(averageBitrate) + config;
    Bytes decoderDescriptor = Bytes{0x04, uint8_t(decoder.size())} + decoder;
    // The ES_Descriptor's length in the 4-byte form some muxers write.
    Bytes es = Bytes{0x00, 0x01, 0x00} + decoderDescriptor;
    return FullBox("esds", Bytes{0x03, 0x80, 0x80, 0x80, uint8_t(es.size())} + es);
}

// mp4a sample entry: 6 reserved, data reference 1, version 0, revision,
// vendor, 2 channels, 16 bits, compression id, packet size, 44100 << 16.
Bytes Mp4a(const Bytes& children) {
    return Box("mp4a", test::Zeros(6) + test::Be16(1) + test::Zeros(8) + test::Be16(2) +
                           test::Be16(16) + test::Zeros(4) + test::Be32(44100u << 16) + children);
}

Bytes Item(std::string_view type, uint32_t dataType, const Bytes& value) {
    return Box(type, Box("data", test::Be32(dataType) + test::Zeros(4) + value));
}

Bytes Ilst() {
    return Box(
        "ilst",
        test::Boxes({Item("\251nam", 1, Text("Title \xC3\xA9")),
                     Item("gnre", 0, test::Be16(18)),  // ID3v1 17 + 1
                     Item("trkn", 0, Bytes{0, 0, 0, 7, 0, 12, 0, 0}),
                     Item("\251day", 1, Text("1999-01-01")), Item("\251cmt", 1, Text("first")),
                     Item("\251cmt", 1, Text("second")), Item("\251too", 1, Text("ignored"))}));
}

// ftyp, moov (mvhd, one AAC track with a version-1 mdhd, stsz and co64,
// udta/meta/ilst), then an mdat with a 64-bit size far beyond the file.
Bytes Movie() {
    Bytes mdhd = Box("mdhd", Bytes{1, 0, 0, 0} + test::Zeros(16) + test::Be32(48000) +
                                 test::Be32(0) + test::Be32(96000) + test::Zeros(4));
    Bytes stbl = Box("stbl", test::Boxes({FullBox("stsd", test::Be32(1) + Mp4a(Esds(128000))),
                                          FullBox("stsz", test::Be32(0) + test::Be32(47)),
                                          FullBox("co64", test::Be32(3) + test::Zeros(24))}));
    Bytes trak = Box("trak", Box("mdia", mdhd + Box("minf", stbl)));
    Bytes meta = FullBox(
        "meta", FullBox("hdlr", test::Zeros(4) + Text("mdirappl") + test::Zeros(9)) + Ilst());
    Bytes moov =
        Box("moov", test::Boxes({FullBox("mvhd", test::Zeros(96)), trak, Box("udta", meta)}));
    Bytes mdat = test::Be32(1) + Text("mdat") + test::Be32(1) + test::Be32(0) + test::Zeros(64);
    return Box("ftyp", Text("M4A ") + test::Zeros(4)) + moov + mdat;
}

struct MemoryFile {
    Bytes bytes;
    uint64_t pos = 0;
    static size_t Read(void* user, void* buffer, size_t n) {
        auto* f = static_cast<MemoryFile*>(user);
        if (f->pos >= f->bytes.size()) return 0;
        n = std::min<size_t>(n, f->bytes.size() - f->pos);
        std::memcpy(buffer, f->bytes.data() + f->pos, n);
        f->pos += n;
        return n;
    }
    static bool Seek(void* user, uint64_t pos) {
        static_cast<MemoryFile*>(user)->pos = pos;
        return true;
    }
    Mp4Callbacks Callbacks() { return {Read, Seek, this, bytes.size()}; }
};

TEST(Mp4ReaderTest, ReadsTrackFieldsAndMetadata) {
    MemoryFile file{Movie()};
    Mp4Reader reader;
    ASSERT_TRUE(reader.Open(file.Callbacks()));
    ASSERT_EQ(reader.TrackCount(), 1);
    const Mp4Track& track = reader.Track(0);
    EXPECT_EQ(track.decoderConfig, (Bytes{0x12, 0x10}));
    EXPECT_EQ(track.timeScale, 48000u);
    EXPECT_EQ(track.duration, 96000u);
    EXPECT_EQ(track.sampleCount, 47u);
    EXPECT_EQ(track.averageBitrate, 128000u);
    EXPECT_EQ(track.chunkCount, 3u);
    EXPECT_EQ(reader.Metadata("title"), "Title \xC3\xA9");
    EXPECT_EQ(reader.Metadata("genre"), "Rock");
    EXPECT_EQ(reader.Metadata("track"), "7");
    EXPECT_EQ(reader.Metadata("date"), "1999-01-01");
    EXPECT_EQ(reader.Metadata("comment"), "second");  // the later item wins
    EXPECT_EQ(reader.Metadata("artist"), std::nullopt);
    EXPECT_EQ(reader.Metadata("tool"), std::nullopt);
}

TEST(Mp4ReaderTest, ProbeAndTagsOverTheSameFile) {
    MediaFileProbe probe;
    ASSERT_EQ(test::ProbeBytes(probe, u"\\m\\a.m4a", Movie()), 1);
    EXPECT_EQ(probe.Info().type, kMediaAac);
    EXPECT_EQ(probe.Info().length, 2000u);
    EXPECT_EQ(probe.Info().bitrate, 128u);
    TagInfo tags{};
    tags.year = 5;  // the MP4 branch clears the record itself
    ASSERT_EQ(probe.ReadTags(tags, false, u""), 1);
    EXPECT_EQ(TagText(tags.title), u"Title \u00E9");
    EXPECT_EQ(TagText(tags.genre), u"Rock");
    EXPECT_EQ(tags.track, 7);
    EXPECT_EQ(tags.year, 1999);  // from "1999-01-01"
}

TEST(Mp4ReaderTest, QuickTimeMetaAndOutOfRangeGenre) {
    // "meta" without version and flags; a genre number past the table.
    Bytes ilst = Box("ilst", Item("gnre", 0, test::Be16(200)) + Item("\251ART", 1, Text("Band")));
    Bytes meta = Box("meta", Box("hdlr", test::Zeros(24)) + ilst);
    MemoryFile file{Box("ftyp", Text("qt  ")) + Box("moov", Box("udta", meta))};
    Mp4Reader reader;
    ASSERT_TRUE(reader.Open(file.Callbacks()));
    EXPECT_EQ(reader.TrackCount(), 0);
    EXPECT_EQ(reader.Metadata("artist"), "Band");
    EXPECT_EQ(reader.Metadata("genre"), std::nullopt);
}

TEST(Mp4ReaderTest, DamagedTreesStayInsideTheirBounds) {
    Mp4Reader reader;
    // A box smaller than its header. (Truncations are the fuzzer's.)
    MemoryFile small{test::Be32(4) + Text("ftyp")};
    EXPECT_FALSE(reader.Open(small.Callbacks()));

    // An item claiming more than its "ilst" has is cut at the "ilst".
    Bytes data = Box("data", test::Be32(1) + test::Zeros(4) + Text("Cut"));
    Bytes item = test::Be32(0x10000) + Text("\251nam") + data;
    Bytes moov = Box(
        "moov", Box("udta", test::Be32(8 + 4 + 8 + item.size()) + Text("meta") + test::Zeros(4) +
                                test::Be32(8 + item.size()) + Text("ilst") + item));
    MemoryFile cut{Box("ftyp", Text("M4A ")) + moov + Box("free", test::Zeros(4))};
    ASSERT_TRUE(reader.Open(cut.Callbacks()));
    EXPECT_EQ(reader.Metadata("title"), "Cut");

    // Nesting far deeper than the reader goes.
    Bytes nested = Item("\251nam", 1, Text("deep"));
    nested = Box("ilst", nested);
    nested = FullBox("meta", nested);
    for (int i = 0; i < 200; ++i) nested = Box("udta", nested);
    MemoryFile deep{Box("ftyp", Text("M4A ")) + Box("moov", nested)};
    ASSERT_TRUE(reader.Open(deep.Callbacks()));
    EXPECT_EQ(reader.Metadata("title"), std::nullopt);
}

}  // namespace
}  // namespace kra
