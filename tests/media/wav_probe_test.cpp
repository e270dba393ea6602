#include <gtest/gtest.h>

#include "media/probe_formats.h"
#include "media_test_util.h"

namespace kra {
namespace {

using test::Bytes;

// "fmt " chunk of 16 bytes.
Bytes Fmt(uint16_t tag, uint16_t channels, uint32_t rate, uint32_t avgBytes, uint16_t align,
          uint16_t bits) {
    return test::Text("fmt ") + test::Le32(16) + test::Le16(tag) + test::Le16(channels) +
           test::Le32(rate) + test::Le32(avgBytes) + test::Le16(align) + test::Le16(bits);
}
Bytes Chunk(std::string_view id, const Bytes& content) {
    return test::Text(id) + test::Le32(uint32_t(content.size())) + content;
}
Bytes Riff(const Bytes& chunks) {
    return test::Text("RIFF") + test::Le32(uint32_t(chunks.size() + 4)) + test::Text("WAVE") +
           chunks;
}
Bytes Pcm16Stereo() {
    return Fmt(1, 2, 44100, 176400, 4, 16);
}

class WavProbeTest : public ::testing::Test {
  protected:
    int Probe(Bytes bytes) { return test::ProbeBytes(probe_, u"\\m\\a.wav", std::move(bytes)); }
    MediaFileProbe probe_;
};

TEST_F(WavProbeTest, PcmLengthFromTheDataChunk) {
    // 16-bit stereo 44100 Hz: 1,764,000 bytes are 441,000 frames, 10 s.
    Bytes file =
        Riff(Pcm16Stereo() + test::Text("data") + test::Le32(1764000)) + test::Zeros(1764000);
    ASSERT_EQ(Probe(file), 1);
    ProbeInfo info = probe_.Info();
    EXPECT_EQ(info.type, kMediaWav);
    EXPECT_EQ(info.length, 441000u);
    EXPECT_EQ(info.channels, 2u);
    EXPECT_EQ(info.sampleRate, 44100u);
    EXPECT_EQ(info.bitrate, 1411u);
    EXPECT_EQ(info.dataOffset, 44u);
    EXPECT_EQ(info.dataSize, 1764000u);
    EXPECT_EQ(probe_.DurationSeconds(), 10);

    // Cut short: the length of the data that is there.
    file.resize(44 + 441000);
    ASSERT_EQ(Probe(file), 1);
    EXPECT_EQ(probe_.Info().dataSize, 441000u);
    EXPECT_EQ(probe_.DurationSeconds(), 2);
}

TEST_F(WavProbeTest, ChunksBeforeAndAfterFmt) {
    // "JUNK" before "fmt " is skipped by its size; "LIST" after it by the
    // byte-wise search for "data".
    Bytes file =
        Riff(Chunk("JUNK", test::Zeros(28)) + Pcm16Stereo() +
             Chunk("LIST", test::Text("INFOISFT....")) + test::Text("data") + test::Le32(352800)) +
        test::Zeros(352800);
    ASSERT_EQ(Probe(file), 1);
    EXPECT_EQ(probe_.Info().dataOffset, 12u + 36 + 24 + 20 + 8);
    EXPECT_EQ(probe_.DurationSeconds(), 2);
}

TEST_F(WavProbeTest, EmptyDataChunkLeadsToTheNextOne) {
    Bytes file = Riff(Pcm16Stereo() + test::Text("data") + test::Le32(0) + test::Text("xxdata") +
                      test::Le32(176400)) +
                 test::Zeros(176400);
    ASSERT_EQ(Probe(file), 1);
    EXPECT_EQ(probe_.Info().dataSize, 176400u);
    EXPECT_EQ(probe_.DurationSeconds(), 1);
}

TEST_F(WavProbeTest, CompressedFormatsUseFactOrTheByteRate) {
    // IMA ADPCM mono 22050 Hz, 11100 bytes/s, "fact" of 66150 samples.
    Bytes adpcm = Fmt(0x11, 1, 22050, 11100, 512, 4);
    Bytes withFact =
        Riff(adpcm + Chunk("fact", test::Le32(66150)) + Chunk("data", test::Zeros(33300)));
    ASSERT_EQ(Probe(withFact), 1);
    EXPECT_EQ(probe_.Info().length, 66150u);
    EXPECT_EQ(probe_.Info().bitrate, 88u);
    EXPECT_EQ(probe_.DurationSeconds(), 3);
    // Without "fact": whole seconds of data times the sample rate.
    ASSERT_EQ(Probe(Riff(adpcm + Chunk("data", test::Zeros(33300)))), 1);
    EXPECT_EQ(probe_.Info().length, 3u * 22050);
    // A-law, mu-law, float and MS ADPCM decode too.
    for (uint16_t tag : {2, 3, 6, 7}) {
        EXPECT_EQ(Probe(Riff(Fmt(tag, 1, 8000, 8000, 1, 8) + Chunk("data", test::Zeros(8000)))), 1)
            << tag;
    }
}

TEST_F(WavProbeTest, DamagedOrUnsupportedHeadersFail) {
    auto data = Chunk("data", test::Zeros(400));
    // A format tag no decoder takes (GSM 6.10), and the extensible tag.
    EXPECT_EQ(Probe(Riff(Fmt(0x31, 1, 8000, 1625, 65, 0) + data)), 0);
    EXPECT_EQ(Probe(Riff(Fmt(0xFFFE, 2, 44100, 176400, 4, 16) + data)), 0);
    // Values that would divide by zero.
    EXPECT_EQ(Probe(Riff(Fmt(1, 2, 44100, 176400, 4, 0) + data)), 0);      // 0 bits
    EXPECT_EQ(Probe(Riff(Fmt(1, 0, 44100, 176400, 4, 16) + data)), 0);     // 0 channels
    EXPECT_EQ(Probe(Riff(Fmt(1, 2, 0, 176400, 4, 16) + data)), 0);         // 0 Hz
    EXPECT_EQ(Probe(Riff(Fmt(0x11, 1, 22050, 0, 512, 4) + data)), 0);      // 0 bytes/s
    EXPECT_EQ(Probe(Riff(Fmt(1, 2, 44100, 176400, 4097, 16) + data)), 0);  // block align
    // A "fact" chunk of another size.
    EXPECT_EQ(
        Probe(Riff(Fmt(0x11, 1, 22050, 11100, 512, 4) + Chunk("fact", test::Zeros(8)) + data)), 0);
    // A "fmt " size beyond the file, and one too small for its fields.
    EXPECT_EQ(Probe(Riff(test::Text("fmt ") + test::Le32(0x7FFFFFF0))), 0);
    EXPECT_EQ(Probe(Riff(test::Text("fmt ") + test::Le32(8) + test::Zeros(8) + data)), 0);
    // No "data" anywhere, no "fmt " anywhere, not WAVE.
    EXPECT_EQ(Probe(Riff(Pcm16Stereo() + Chunk("LIST", test::Zeros(100)))), 0);
    EXPECT_EQ(Probe(Riff(Chunk("JUNK", test::Zeros(100)))), 0);
    EXPECT_EQ(Probe(test::Text("RIFF") + test::Le32(4) + test::Text("AVI ")), 0);
    EXPECT_EQ(probe_.Info().type, kMediaNone);
}

}  // namespace
}  // namespace kra
