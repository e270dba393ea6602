#include <gtest/gtest.h>

#include <regex>

#include "app/base/text.h"
#include "app_test_util.h"
#include "support/temp_tree.h"

namespace kra {
namespace {

// Decodes the log file: checks the byte-order mark and returns the text.
std::u16string ReadLog(const std::filesystem::path& path) {
    const std::vector<uint8_t> bytes = test::ReadBytes(path);
    EXPECT_GE(bytes.size(), 2u);
    if (bytes.size() < 2) return {};
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xFE);
    EXPECT_EQ(bytes.size() % 2, 0u);
    std::u16string text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
        text.push_back(char16_t(bytes[i] | (bytes[i + 1] << 8)));
    return text;
}

// Lines of the log, each with its CR LF (the last may lack it when cut).
std::vector<std::u16string> Lines(const std::u16string& text) {
    std::vector<std::u16string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(u"\r\n", start);
        end = end == std::u16string::npos ? text.size() : end + 2;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

const std::regex kHead("^([0-9]{2}):([0-9]{2}):([0-9]{2}) \t([0-9]+) \t");

class DebugLogTest : public test::ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        LogOpen(tree_.Core("kra.log"));
        ASSERT_TRUE(LogIsOpen());
    }
    test::TempTree tree_;
    const std::filesystem::path path_ = tree_.Posix("kra.log");
};

TEST_F(DebugLogTest, QuietRunHoldsTheMarkAndOneQuitLine) {
    KRA_LOG("never written %d", 1);  // DebugOn is off
    LogClose();
    const std::vector<std::u16string> lines = Lines(ReadLog(path_));
    ASSERT_EQ(lines.size(), 1u);
    const std::string line = Utf16ToUtf8(lines[0]);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(line, m, kHead)) << line;
    EXPECT_LE(std::stoi(m[1]), 23);
    EXPECT_LE(std::stoi(m[2]), 59);
    EXPECT_LE(std::stoi(m[3]), 60);
    EXPECT_EQ(line.substr(m.length(0)), "quit\r\n");
    // Every unit is stored little-endian: ASCII leaves every odd byte zero.
    const std::vector<uint8_t> bytes = test::ReadBytes(path_);
    for (size_t i = 3; i < bytes.size(); i += 2) EXPECT_EQ(bytes[i], 0) << i;
}

TEST_F(DebugLogTest, MemoryFieldIsAFullSixtyFourBitNumber) {
    Log("x");
    const std::string line = Utf16ToUtf8(Lines(ReadLog(path_))[0]);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(line, m, kHead));
    const std::string memory = m[4];
    ASSERT_LE(memory.size(), 20u);
    const uint64_t logged = std::stoull(memory);
    const uint64_t now = platform::AvailableMemory();
    // A 32-bit field would wrap on any machine with 4 GiB free; the logged
    // value must be the same order of magnitude as the system's figure.
    EXPECT_GT(logged, now / 2);
    EXPECT_LT(logged, now * 2);
}

TEST_F(DebugLogTest, MessagesAreCutAt255AndLinesAt259Units) {
    // Message lengths around both limits; the head's length varies with the
    // free memory, so each line is checked against its own head.
    const size_t lengths[] = {200, 230, 240, 243, 244, 245, 250, 255, 256, 300, 300};
    for (size_t i = 0; i + 1 < std::size(lengths); ++i) LogText(std::u16string(lengths[i], u'm'));
    Log("%s", std::string(300, 'u').c_str());  // the last one through the formatter
    const std::vector<std::u16string> lines = Lines(ReadLog(path_));
    ASSERT_EQ(lines.size(), std::size(lengths));
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string line = Utf16ToUtf8(lines[i]);
        std::smatch m;
        ASSERT_TRUE(std::regex_search(line, m, kHead));
        const size_t head = size_t(m.length(0));
        const size_t message = std::min<size_t>(lengths[i], 255);
        const size_t full = head + message + 2;
        if (full <= 259) {
            EXPECT_EQ(lines[i].size(), full) << i;
            EXPECT_EQ(lines[i].substr(lines[i].size() - 2), u"\r\n");
        } else {
            // Cut to 259 units; the line end stays so lines never run on.
            EXPECT_EQ(lines[i].size(), 259u) << i;
            EXPECT_EQ(lines[i].substr(257), u"\r\n") << i;
            const char16_t fill = i == 10 ? u'u' : u'm';
            EXPECT_EQ(lines[i][256], fill) << i;
        }
    }
}

TEST_F(DebugLogTest, TextIsStoredAsUtf16) {
    Log("%s", "Bj\xC3\xB6rk \xF0\x9F\x8E\xB5");
    const std::u16string line = Lines(ReadLog(path_))[0];
    EXPECT_NE(line.find(u"Bj\u00F6rk \U0001F3B5\r\n"), std::u16string::npos);
}

TEST_F(DebugLogTest, OpeningAgainReplacesTheFile) {
    Log("first run");
    LogClose();
    LogOpen(platform::FromPosixPath(path_.string()));
    LogClose();
    const std::u16string text = ReadLog(path_);
    EXPECT_EQ(text.find(u"first run"), std::u16string::npos);
    EXPECT_EQ(Lines(text).size(), 1u);
}

TEST_F(DebugLogTest, NothingIsWrittenWhenTheFileCannotBeCreated) {
    LogClose();
    LogOpen(tree_.Core("missing/kra.log"));
    EXPECT_FALSE(LogIsOpen());
    Log("lost");
    LogClose();  // no crash, no file
    EXPECT_FALSE(tree_.Exists("missing"));
}

}  // namespace
}  // namespace kra
