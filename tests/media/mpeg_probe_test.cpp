#include <gtest/gtest.h>

#include <array>

#include "media/probe_formats.h"
#include "media_test_util.h"

namespace kra {
namespace {

using test::Bytes;
using namespace std::literals;

// Layer 1 frames are (12000 x kbit/s / rate) x 4 bytes, MPEG-1 Layer 2 and 3
// and MPEG-2 Layer 2 144000 x kbit/s / rate, MPEG-2 and 2.5 Layer 3 72000 x
// kbit/s / rate. Version bit 20 clear is MPEG-2.5 whatever bit 19 says.
TEST(FrameHeaderTest, DecodesTheStandardTables) {
    struct Case {
        const char* what;
        std::array<uint8_t, 4> bytes;
        // version, layer, channels, rate, kbit/s, frame length, samples per frame
        std::array<uint32_t, 7> fields;
    } cases[] = {
        {"MPEG-1 L3 joint stereo", {0xFF, 0xFB, 0x90, 0x40}, {1, 3, 2, 44100, 128, 417, 1152}},
        {"padding adds a byte", {0xFF, 0xFB, 0x92, 0x40}, {1, 3, 2, 44100, 128, 418, 1152}},
        {"MPEG-2 L3 mono", {0xFF, 0xF3, 0x50, 0xC4}, {2, 3, 1, 22050, 40, 130, 576}},
        {"MPEG-1 L2", {0xFF, 0xFD, 0x44, 0x00}, {1, 2, 2, 48000, 64, 192, 1152}},
        {"MPEG-1 L1", {0xFF, 0xFF, 0x10, 0x00}, {1, 1, 2, 44100, 32, 32, 384}},
        {"MPEG-2 L2", {0xFF, 0xF5, 0x80, 0x00}, {2, 2, 2, 22050, 64, 417, 1152}},
        {"MPEG-2.5 L3", {0xFF, 0xE3, 0x80, 0xC0}, {3, 3, 1, 11025, 64, 417, 576}},
        {"MPEG-2.5, bit 19 set", {0xFF, 0xEB, 0x80, 0xC0}, {3, 3, 1, 11025, 64, 417, 576}},
    };
    for (const Case& c : cases) {
        FrameHeader h;
        ASSERT_TRUE(DecodeFrameHeader(c.bytes.data(), h)) << c.what;
        EXPECT_EQ((std::array{h.version, h.layer, h.channels, h.sampleRate, h.bitrate,
                              h.frameLength, h.samplesPerFrame}),
                  c.fields)
            << c.what;
    }
}

TEST(FrameHeaderTest, RefusesReservedAndFreeFormat) {
    FrameHeader h;
    for (Bytes b : {Bytes{0xFF, 0xFB, 0xF0, 0x00},     // bitrate index 15
                    Bytes{0xFF, 0xFB, 0x00, 0x00},     // free format
                    Bytes{0xFF, 0xFB, 0x9C, 0x00},     // sample-rate index 3
                    Bytes{0xFF, 0xF9, 0x90, 0x00},     // layer bits 00
                    Bytes{0xFE, 0xFB, 0x90, 0x00},     // sync bit missing
                    Bytes{0xFF, 0xDB, 0x90, 0x00}}) {  // sync bit missing in byte 1
        EXPECT_FALSE(DecodeFrameHeader(b.data(), h))
            << int(b[0]) << " " << int(b[1]) << " " << int(b[2]);
    }
}

TEST(MpegPrecheckTest, RecognisesTagsWrappersAndFramePairs) {
    auto check = [](const Bytes& b) { return LooksLikeMpegAudio(b.data(), b.size()); };
    EXPECT_TRUE(check(test::Text("ID3\x03")));
    EXPECT_FALSE(check(test::Text("ID3")));  // needs 4 bytes
    EXPECT_TRUE(check(test::Text("RIFF\0\0\0\0RMP3"sv)));
    EXPECT_FALSE(check(test::Text("RIFF\0\0\0\0RMP"sv)));
    Bytes wave = test::Text("RIFF") + test::Le32(100) + test::Text("WAVEfmt ") + test::Le32(16);
    EXPECT_FALSE(check(wave + Bytes{0x01}));  // format tag 1 is PCM
    EXPECT_TRUE(check(wave + Bytes{0x55}));   // MPEG layer 3
    EXPECT_TRUE(check(wave + Bytes{0x50}));   // MPEG layers 1 and 2
    // Two headers one frame apart, with 4 more bytes behind the second.
    Bytes pair = test::MpegFrame({0xFF, 0xFB, 0x90, 0x00}, 417) + Bytes{0xFF, 0xFB, 0x90, 0x00};
    EXPECT_FALSE(check(pair));  // the second header ends the data exactly
    pair.push_back(0);
    EXPECT_TRUE(check(pair));
    // A second header of another sample rate does not pair.
    Bytes mixed = test::MpegFrame({0xFF, 0xFB, 0x90, 0x00}, 417) + Bytes{0xFF, 0xFB, 0x94, 0x00, 0};
    EXPECT_FALSE(check(mixed));
}

// A CBR stream of `frames` frames of the given header and length.
Bytes Frames(std::initializer_list<uint8_t> header, size_t length, int frames) {
    Bytes b;
    for (int i = 0; i < frames; ++i) b += test::MpegFrame(header, length);
    return b;
}

class MpegProbeTest : public ::testing::Test {
  protected:
    int Probe(Bytes bytes, const std::u16string& name = u"\\m\\a.mp3") {
        return test::ProbeBytes(probe_, name, std::move(bytes));
    }
    MediaFileProbe probe_;
};

TEST_F(MpegProbeTest, CbrLengthComesFromTheFirstFrame) {
    // 4,000,000 bytes at 128 kbit/s, 44100 Hz: 9592 frames of 417 bytes.
    Bytes file = Frames({0xFF, 0xFB, 0x90, 0x00}, 417, 2);
    file.resize(4000000, 0);
    ASSERT_EQ(Probe(file), 1);
    ProbeInfo info = probe_.Info();
    EXPECT_EQ(info.type, kMediaMpeg);
    EXPECT_EQ(info.length, 9592u * 1152);
    EXPECT_EQ(info.bitrate, 128u);
    EXPECT_EQ(probe_.DurationSeconds(), 250);
    probe_.Close();
    EXPECT_EQ(probe_.DurationSeconds(), 0);
    EXPECT_EQ(probe_.Info().type, kMediaNone);
}

Bytes XingFile(const char* id, uint32_t frames) {
    // MPEG-1 Layer 3 stereo: the side information is 32 bytes.
    Bytes first = Bytes{0xFF, 0xFB, 0x90, 0x00} + test::Zeros(32) + test::Text(id);
    if (std::string_view(id) == "VBRI") {
        first += test::Zeros(10) + test::Be32(frames);  // version, delay, quality, bytes
    } else {
        first += test::Be32(0x0F) + test::Be32(frames);  // flags, frame count
    }
    first.resize(417, 0);
    return first + Frames({0xFF, 0xFB, 0x90, 0x00}, 417, 9);
}

TEST_F(MpegProbeTest, XingAndVbriGiveTheFrameCount) {
    for (const char* id : {"Xing", "VBRI"}) {
        SCOPED_TRACE(id);
        Bytes file = XingFile(id, 1000);
        file.resize(400000, 0);
        ASSERT_EQ(Probe(file), 1);
        ProbeInfo info = probe_.Info();
        EXPECT_EQ(info.length, 1152000u);
        EXPECT_EQ(probe_.DurationSeconds(), 26);
        EXPECT_EQ(info.frameLength, 400000u / 1000);
        EXPECT_EQ(info.bitrate, (400000u * 8 / 26 + 500) / 1000);
    }
}

TEST_F(MpegProbeTest, LameInfoHeaderIsMeasuredAsCbr) {
    Bytes file = XingFile("Info", 1000);
    file.resize(41700, 0);
    ASSERT_EQ(Probe(file), 1);
    EXPECT_EQ(probe_.Info().length, 100u * 1152);
    EXPECT_EQ(probe_.Info().frameLength, 417u);
}

TEST_F(MpegProbeTest, DamagedVbrHeaders) {
    // A frame count of 0 gives no length: not MPEG audio (and no other kind).
    EXPECT_EQ(Probe(XingFile("Xing", 0)), 0);
    EXPECT_EQ(probe_.Info().type, kMediaNone);
    // Shorter than one second: the average bitrate is 0.
    ASSERT_EQ(Probe(XingFile("Xing", 10)), 1);
    EXPECT_EQ(probe_.Info().length, 11520u);
    EXPECT_EQ(probe_.Info().bitrate, 0u);
    EXPECT_EQ(probe_.DurationSeconds(), 0);
}

TEST_F(MpegProbeTest, Mpeg25XingSitsBehindTheShortSideInformation) {
    // MPEG-2.5 Layer 3, 64 kbit/s, 11025 Hz, mono: 9 bytes of side info.
    Bytes first = Bytes{0xFF, 0xE3, 0x80, 0xC0} + test::Zeros(9) + test::Text("Xing") +
                  test::Be32(1) + test::Be32(100);
    first.resize(417, 0);
    ASSERT_EQ(Probe(first + Frames({0xFF, 0xE3, 0x80, 0xC0}, 417, 3)), 1);
    EXPECT_EQ(probe_.Info().version, 3u);
    EXPECT_EQ(probe_.Info().length, 100u * 576);
    EXPECT_EQ(probe_.DurationSeconds(), 5);
}

TEST_F(MpegProbeTest, GarbageAfterTheFirstCandidateIsSkipped) {
    // A lone header at 0 whose next "frame" is garbage, then a real stream
    // from offset 100.
    Bytes file =
        Bytes{0xFF, 0xFB, 0x90, 0x00} + test::Zeros(96) + Frames({0xFF, 0xFB, 0x50, 0x00}, 208, 4);
    // 0x50: 64 kbit/s, 44100 Hz: 144000 x 64 / 44100 = 208 bytes.
    ASSERT_EQ(Probe(file), 1);
    ProbeInfo info = probe_.Info();
    EXPECT_EQ(info.bitrate, 64u);
    EXPECT_EQ(info.frameLength, 208u);
    EXPECT_EQ(info.length, uint32_t(file.size() / 208 * 1152));
}

TEST_F(MpegProbeTest, StreamBehindAnId3TagAndAcrossSearchBlocks) {
    // The search walks through a large tag; the first frame sits past the
    // first 16 KiB block with its header split across the block edge.
    Bytes file = test::Id3v2(3, 0, test::Zeros(16384 - 10 - 2));
    file += Frames({0xFF, 0xFB, 0x90, 0x00}, 417, 3);
    ASSERT_EQ(Probe(file), 1);
    EXPECT_EQ(probe_.Info().length, uint32_t(file.size() / 417 * 1152));
}

TEST_F(MpegProbeTest, StreamEndingAfterOneFrameFails) {
    // The second header read comes back short: the attempt fails.
    Bytes file =
        test::Text("ID3\x03") + test::Zeros(6) + test::MpegFrame({0xFF, 0xFB, 0x90, 0x00}, 417);
    EXPECT_EQ(Probe(file), 0);
    EXPECT_EQ(Probe(test::Text("ID3")), 0);
    EXPECT_EQ(Probe(Bytes{}), 0);
}

TEST_F(MpegProbeTest, MpegIsTriedBeforeAac) {
    Bytes file = Frames({0xFF, 0xFB, 0x90, 0x00}, 417, 10);
    ASSERT_EQ(Probe(file, u"\\m\\song.MP4"), 1);
    EXPECT_EQ(probe_.Info().type, kMediaMpeg);
}

TEST_F(MpegProbeTest, RealVbrFileWithXingAndId3v24) {
    // 22 buffers of 1024 samples at 22050 Hz mono from lame, Xing frame
    // count 43 (encoder delay and padding included).
    ASSERT_EQ(Probe(test::ReadData("vbr.mp3")), 1);
    ProbeInfo info = probe_.Info();
    EXPECT_EQ(info.version, 2u);
    EXPECT_EQ(info.channels, 1u);
    EXPECT_EQ(info.length, 43u * 576);
    EXPECT_EQ(probe_.DurationSeconds(), 1);
}

}  // namespace
}  // namespace kra
