#include <gtest/gtest.h>

#include "media/probe_report.h"
#include "media_test_util.h"
#include "support/temp_tree.h"

namespace kra {
namespace {

using test::Bytes;

TEST(ProbeReportTest, OneJsonLinePerFile) {
    test::TempTree tree;
    const std::u16string path = tree.Core("song.mp3");
    Bytes file = test::Id3v2(3, 0,
                             test::Frame23("TIT2", Bytes{0} + test::Text("Say \"hi\"\\")) +
                                 test::Frame23("TPE1", Bytes{3} + test::Text("Bj\xC3\xB6rk")) +
                                 test::Frame23("TRCK", Bytes{0} + test::Text("2/9")));
    for (int i = 0; i < 2; ++i) file += test::MpegFrame({0xFF, 0xFB, 0x90, 0x00}, 417);
    file.resize(417 * 1000, 0);
    ASSERT_TRUE(platform::WriteFileAtomic(path, file));

    MediaFileProbe probe;
    EXPECT_EQ(
        ProbeReportLine(probe, path, "song.mp3"),
        "{\"path\":\"song.mp3\",\"type\":1,\"duration\":26,\"bitrate\":128,\"sampleRate\":44100,"
        "\"channels\":2,\"title\":\"Say "
        "\\\"hi\\\"\\\\\",\"artist\":\"Bj\xC3\xB6rk\",\"album\":\"\","
        "\"comment\":\"\",\"genre\":\"\",\"year\":0,\"track\":2}");
    EXPECT_EQ(probe.Info().type, kMediaNone);  // the sequence is closed
    platform::DeleteFile(path);

    EXPECT_EQ(ProbeReportLine(probe, path, "gone\n.mp3"),
              "{\"path\":\"gone\\u000a.mp3\",\"type\":0,\"error\":\"cannot open the file\"}");
}

}  // namespace
}  // namespace kra
