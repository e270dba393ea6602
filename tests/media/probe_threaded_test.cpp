#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "media/tag_reader.h"
#include "media_test_util.h"

namespace kra {
namespace {

using test::Bytes;

// A CBR MP3 whose length and title tell which thread made it: bitrate index
// 9 (128 kbit/s) or 5 (64 kbit/s) and 40 or 80 frames' worth of bytes.
Bytes FileFor(int thread) {
    uint8_t rateByte = thread % 2 == 0 ? 0x90 : 0x50;
    size_t frameLength = thread % 2 == 0 ? 417 : 208;
    std::string title = "Thread " + std::to_string(thread);
    Bytes file = test::Id3v2(3, 0, test::Frame23("TIT2", Bytes{0} + test::Text(title)));
    for (int i = 0; i < 3; ++i) file += test::MpegFrame({0xFF, 0xFB, rateByte, 0x00}, frameLength);
    file.resize(file.size() + size_t(thread + 1) * 44100 * 16, 0);
    return file;
}

TEST(ProbeThreadedTest, SequencesOnTheSharedProbeDoNotMix) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 60;
    MediaFileProbe& probe = SharedMediaFileProbe();
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            Bytes file = FileFor(t);
            MediaFileProbe reference;
            test::ProbeBytes(reference, u"\\m\\a.mp3", file);
            int32_t expected = reference.DurationSeconds();
            reference.Close();
            std::u16string title = u"Thread " + std::u16string(1, char16_t(u'0' + t));
            for (int round = 0; round < kRounds; ++round) {
                int opened = test::ProbeBytes(probe, u"\\m\\a.mp3", file);
                int32_t seconds = probe.DurationSeconds();
                TagInfo tags{};
                probe.ReadTags(tags, false, u"");
                probe.Close();
                if (opened != 1 || seconds != expected || TagText(tags.title) != title) ++failures;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
}  // namespace kra
