#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "media/mp4_reader.h"
#include "media/probe_formats.h"
#include "media/tag_reader.h"
#include "media_test_util.h"

namespace kra {
namespace {

using test::Bytes;

// The ADTS frames of a file: offset and length of each.
std::vector<std::pair<size_t, size_t>> AdtsFrames(const Bytes& file) {
    std::vector<std::pair<size_t, size_t>> frames;
    for (size_t pos = 0; file.size() - pos >= 7;) {
        if (file[pos] != 0xFF || (file[pos + 1] & 0xF6) != 0xF0) break;
        size_t length =
            (size_t(file[pos + 3] & 3) << 11) | (size_t(file[pos + 4]) << 3) | (file[pos + 5] >> 5);
        if (length < 7 || length > file.size() - pos) break;
        frames.push_back({pos, length});
        pos += length;
    }
    return frames;
}

uint32_t Be32At(const Bytes& file, size_t at) {
    return uint32_t(file[at]) << 24 | uint32_t(file[at + 1]) << 16 | uint32_t(file[at + 2]) << 8 |
           file[at + 3];
}

// Offset of the first box of `type` on the path of containers given.
size_t FindBox(const Bytes& file, std::initializer_list<const char*> path) {
    size_t start = 0, end = file.size(), found = SIZE_MAX;
    for (const char* type : path) {
        found = SIZE_MAX;
        for (size_t at = start; end - at >= 8;) {
            const size_t size = Be32At(file, at);
            if (size < 8 || size > end - at) break;
            if (std::memcmp(&file[at + 4], type, 4) == 0) {
                found = at;
                start = at + 8;
                end = at + size;
                break;
            }
            at += size;
        }
        if (found == SIZE_MAX) return SIZE_MAX;
    }
    return found;
}

// The header of the ADTS frame at `at` with another frame length, then
// zeros up to that length.
Bytes AdtsHeader(const Bytes& file, size_t at, size_t length) {
    Bytes f(file.begin() + long(at), file.begin() + long(at) + 7);
    f[3] = uint8_t((f[3] & 0xFC) | ((length >> 11) & 3));
    f[4] = uint8_t(length >> 3);
    f[5] = uint8_t((f[5] & 0x1F) | ((length & 7) << 5));
    f.resize(std::max<size_t>(length, 7), 0);
    return f;
}

class AacProbeTest : public ::testing::Test {
  protected:
    int Probe(Bytes bytes, const std::u16string& name) {
        return test::ProbeBytes(probe_, name, std::move(bytes));
    }
    MediaFileProbe probe_;
};

TEST_F(AacProbeTest, AdtsLengthFromTheFrameWalk) {
    Bytes file = test::ReadData("tone.aac");
    auto frames = AdtsFrames(file);
    ASSERT_EQ(frames.size(), 20u);
    ASSERT_EQ(Probe(file, u"\\m\\tone.aac"), 1);
    ProbeInfo info = probe_.Info();
    EXPECT_EQ(info.type, kMediaAac);
    EXPECT_EQ(info.aacHeaderType, 1u);
    // FAAD2's output format (implicit SBR doubles the rate, mono comes out
    // as stereo); the length uses the rate of the ADTS header.
    EXPECT_TRUE(info.sampleRate == 22050u || info.sampleRate == 44100u) << info.sampleRate;
    // All frames walked: the length is frames x 1024 / rate.
    EXPECT_NEAR(double(info.length), 20 * 1024 * 1000.0 / 22050, 1.0);
    EXPECT_EQ(probe_.DurationSeconds(), 0);
    EXPECT_EQ(info.bitrate, uint32_t(8.0 * file.size() / (20 * 1000.0) * 22050 / 1024));
}

TEST_F(AacProbeTest, AdtsWalkEndsAfter128FramesOrAtABrokenFrame) {
    // Five real frames to decode, then header-only frames: 123 of 200 bytes
    // inside the walk, then frames of 2000 bytes that it never reaches.
    Bytes real = test::ReadData("tone.aac");
    auto frames = AdtsFrames(real);
    Bytes file(real.begin(), real.begin() + long(frames[5].first));
    for (int i = 0; i < 123; ++i) file += AdtsHeader(real, frames[1].first, 200);
    for (int i = 0; i < 20; ++i) file += AdtsHeader(real, frames[1].first, 2000);
    ASSERT_EQ(Probe(file, u"\\m\\x.AAC"), 1);
    double total = double(frames[5].first) + 123 * 200;
    double bitrate = 8.0 * (total / (128 * 1000.0)) * 22050 / 1024;
    EXPECT_NEAR(double(probe_.Info().length), file.size() / (bitrate * 125) * 1000, 1.0);

    // A frame shorter than its own header ends the walk after four frames.
    file.assign(real.begin(), real.begin() + long(frames[4].first));
    file += AdtsHeader(real, frames[4].first, 0) + test::Zeros(3000);
    ASSERT_EQ(Probe(file, u"\\m\\x.aac"), 1);
    bitrate = 8.0 * (double(frames[4].first) / 4000.0) * 22050 / 1024;
    EXPECT_NEAR(double(probe_.Info().length), file.size() / (bitrate * 125) * 1000, 1.0);
}

TEST_F(AacProbeTest, HeaderlessStreamIsTakenAt128Kbits) {
    // The ADTS payloads without their headers, padded to 1,600,000 bytes.
    // (FAAD2 starts such a stream at 44100 Hz, so the source is 44100 Hz.)
    Bytes adts = test::ReadData("stereo44.aac");
    Bytes raw;
    for (auto [pos, length] : AdtsFrames(adts))
        raw.insert(raw.end(), adts.begin() + long(pos + 7), adts.begin() + long(pos + length));
    raw.resize(1600000, 0);
    ASSERT_EQ(Probe(raw, u"\\m\\raw.aac"), 1);
    EXPECT_EQ(probe_.Info().aacHeaderType, 0u);
    EXPECT_EQ(probe_.Info().length, 100500u);  // 100 s + the 0.5 of the rounding
    EXPECT_EQ(probe_.DurationSeconds(), 100);
}

TEST_F(AacProbeTest, LeadingId3TagIsSkipped) {
    Bytes file = test::Id3v2(3, 0, test::Frame23("TIT2", Bytes{0} + test::Text("Tagged"))) +
                 test::ReadData("tone.aac");
    ASSERT_EQ(Probe(file, u"\\m\\tagged.aac"), 1);
    EXPECT_EQ(probe_.Info().aacHeaderType, 1u);
    TagInfo tags{};
    EXPECT_EQ(probe_.ReadTags(tags, false, u""), 1);
    EXPECT_EQ(TagText(tags.title), u"Tagged");
}

TEST_F(AacProbeTest, OnlyAacNamesAreTried) {
    Bytes file = test::ReadData("tone.aac");
    EXPECT_EQ(Probe(file, u"\\m\\tone.ogg"), 0);
    EXPECT_EQ(Probe(file, u"\\m\\tone.3Gp"), 1);
    EXPECT_EQ(Probe(file, u"aac"), 0);
    EXPECT_FALSE(HasAacExtension(u"a.m4b"));
}

TEST_F(AacProbeTest, Mp4LengthAndTags) {
    Bytes file = test::ReadData("tone.m4a");
    ASSERT_EQ(Probe(file, u"\\m\\tone.m4a"), 1);
    ProbeInfo info = probe_.Info();
    EXPECT_EQ(info.type, kMediaAac);
    EXPECT_EQ(info.length, 45056u * 1000 / 22050);  // mdhd duration / time scale
    // FAAD2 reports the rate and channels it would output: implicit SBR
    // doubles the rate and a mono stream comes out as stereo.
    EXPECT_TRUE(info.sampleRate == 22050u || info.sampleRate == 44100u) << info.sampleRate;
    EXPECT_GE(info.channels, 1u);
    EXPECT_EQ(info.samplesPerFrame, 1024u);
    EXPECT_EQ(probe_.DurationSeconds(), 2);
    TagInfo tags{};
    EXPECT_EQ(probe_.ReadTags(tags, false, u""), 1);
    EXPECT_EQ(TagText(tags.title), u"Tone");
    EXPECT_EQ(TagText(tags.genre), u"Ambient");  // a text genre, not a number
    EXPECT_EQ(tags.track, 7);
    EXPECT_EQ(tags.year, 2009);
}

TEST_F(AacProbeTest, Mp4WithoutDurationIsZeroSeconds) {
    Bytes file = test::ReadData("tone.m4a");
    size_t mdhd = FindBox(file, {"moov", "trak", "mdia", "mdhd"});
    ASSERT_NE(mdhd, SIZE_MAX);
    std::fill_n(file.begin() + long(mdhd + 8 + 16), 4, 0);  // version 0 duration
    ASSERT_EQ(Probe(file, u"\\m\\tone.M4A"), 1);
    EXPECT_EQ(probe_.Info().length, 0u);
    EXPECT_EQ(probe_.DurationSeconds(), 0);
    // A time scale of 0 fails the container attempt; the raw attempt cannot
    // decode the container either.
    std::fill_n(file.begin() + long(mdhd + 8 + 12), 4, 0);
    EXPECT_EQ(Probe(file, u"\\m\\tone.m4a"), 0);
}

TEST_F(AacProbeTest, TruncatedMp4WithMoovFirstKeepsLengthAndTags) {
    // ftyp, moov, then an mdat cut short: the box sizes say more than the
    // file has.
    Bytes original = test::ReadData("tone.m4a");
    auto box = [&](const char* type) {
        const size_t at = FindBox(original, {type});
        return Bytes(original.begin() + long(at),
                     original.begin() + long(at + Be32At(original, at)));
    };
    Bytes mdat = box("mdat");
    mdat.resize(1000);
    Bytes file = box("ftyp") + box("moov") + mdat;
    ASSERT_EQ(Probe(file, u"\\m\\cut.m4a"), 1);
    EXPECT_EQ(probe_.DurationSeconds(), 2);
    TagInfo tags{};
    EXPECT_EQ(probe_.ReadTags(tags, false, u""), 1);
    EXPECT_EQ(TagText(tags.album), u"Test Album");
}

}  // namespace
}  // namespace kra
