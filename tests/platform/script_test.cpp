// The headless event script parser.
#include <gtest/gtest.h>

#include "platform/script.h"

namespace kra::platform {
namespace {

ScriptError Fails(std::string_view text) {
    std::vector<ScriptStep> steps;
    ScriptError error;
    EXPECT_FALSE(ParseScript(text, &steps, &error)) << text;
    return error;
}

TEST(ScriptParse, EveryVerbWithItsValues) {
    const std::string text =
        "# a comment\r\n"
        "\n"
        "pen down 0 32767\r\n"
        "  pen move\t10 0x14   # trailing comment\n"
        "pen up 10 20\n"
        "key down 0x70\n"
        "key up 254\n"
        "post 0x8013 4294967295 0xFFFFFFFF\n"
        "post 273 101 -2147483648\n"
        "wait 86400000\n"
        "rotate 4\n"
        "focus out\n"
        "shot out/a.png\n"
        "quit";  // no final LF
    std::vector<ScriptStep> s;
    ScriptError error;
    ASSERT_TRUE(ParseScript(text, &s, &error)) << error.line << ": " << error.reason;
    ASSERT_EQ(s.size(), 12u);
    EXPECT_EQ(s[0].verb, ScriptVerb::kPenDown);
    EXPECT_EQ(s[0].line, 3);
    EXPECT_EQ(s[0].y, 32767u);
    EXPECT_EQ(s[1].verb, ScriptVerb::kPenMove);
    EXPECT_EQ(s[1].y, 20u);
    EXPECT_EQ(s[3].value, 0x70u);
    EXPECT_EQ(s[4].verb, ScriptVerb::kKeyUp);
    EXPECT_EQ(s[5].value, 0x8013u);
    EXPECT_EQ(s[5].wParam, 0xFFFFFFFFu);
    EXPECT_EQ(s[5].lParam, -1);  // the 32-bit pattern, sign-extended
    EXPECT_EQ(s[6].lParam, INT32_MIN);
    EXPECT_EQ(s[7].value, 86400000u);
    EXPECT_EQ(s[8].value, 4u);
    EXPECT_EQ(s[9].verb, ScriptVerb::kFocusOut);
    EXPECT_EQ(s[10].file, "out/a.png");
    EXPECT_EQ(s[11].verb, ScriptVerb::kQuit);
    EXPECT_EQ(s[11].line, 14);
}

TEST(ScriptParse, BadLinesReportTheirLineAndReason) {
    EXPECT_EQ(Fails("pen down 1 2\n\n# c\njump 1\n").line, 4);
    EXPECT_NE(Fails("jump 1").reason.find("unknown verb 'jump'"), std::string::npos);
    EXPECT_NE(Fails("pen down 1").reason.find("missing"), std::string::npos);
    EXPECT_NE(Fails("pen down 1 2 3").reason.find("extra argument '3'"), std::string::npos);
    EXPECT_NE(Fails("pen hover 1 2").reason.find("down, move or up"), std::string::npos);
    EXPECT_NE(Fails("pen").reason.find("missing"), std::string::npos);
    EXPECT_NE(Fails("quit now").reason.find("extra"), std::string::npos);
    EXPECT_NE(Fails("shot").reason.find("missing file"), std::string::npos);
    EXPECT_NE(Fails("shot a b").reason.find("extra"), std::string::npos);
    EXPECT_NE(Fails("post 1 2").reason.find("missing"), std::string::npos);
    EXPECT_NE(Fails("focus sideways").reason.find("in or out"), std::string::npos);
    EXPECT_EQ(Fails("PEN down 1 2").line, 1);  // verbs are lower case
}

TEST(ScriptParse, NumbersOutOfRangeOrMalformed) {
    for (const char* line : {"pen down 32768 0",
                             "pen down -1 0",
                             "key down 255",
                             "key down 0",
                             "post 0x10000 0 0",
                             "post 1 0x100000000 0",
                             "post 1 0 4294967296",
                             "post 1 0 -2147483649",
                             "post 1 0 -0x5",
                             "post 1 -1 0",
                             "wait 86400001",
                             "rotate 3",
                             "rotate 5",
                             "wait 99999999999999999999999999999",
                             "wait 0x",
                             "wait 0xg",
                             "wait 1e3",
                             "wait +5",
                             "wait 18446744073709551616",
                             "key down 0x0000000000000000000000000000000000000046x"}) {
        EXPECT_FALSE(Fails(line).reason.empty()) << line;
    }
    // Leading zeros are fine as long as the value fits.
    std::vector<ScriptStep> s;
    ScriptError error;
    EXPECT_TRUE(
        ParseScript("key down 0x00000000000000000000000000046\nwait 0000001\n", &s, &error));
    EXPECT_EQ(s[0].value, 0x46u);
}

TEST(ScriptParse, OverlongLinesAndControlBytesAreRefused) {
    const std::string longLine = "wait 1" + std::string(kMaxScriptLine, ' ');
    EXPECT_NE(Fails("wait 1\n" + longLine + "\n").reason.find("longer"), std::string::npos);
    EXPECT_EQ(Fails("wait 1\n" + longLine).line, 2);
    // Exactly the limit is still a line.
    std::vector<ScriptStep> s;
    ScriptError error;
    EXPECT_TRUE(ParseScript("wait 1" + std::string(kMaxScriptLine - 6, ' '), &s, &error));
    EXPECT_EQ(Fails(std::string("wait 1\0", 7)).reason, "control character in line");
    EXPECT_EQ(Fails("wait\x1b 1").reason, "control character in line");
    EXPECT_EQ(Fails("wait 1\r\r\n").reason, "control character in line");
}

TEST(ScriptParse, EmptyAndCommentOnlyScriptsHaveNoSteps) {
    std::vector<ScriptStep> s{ScriptStep{}};
    ScriptError error;
    EXPECT_TRUE(ParseScript("", &s, &error));
    EXPECT_TRUE(s.empty());
    EXPECT_TRUE(ParseScript("\n  # only\n\t\n#pen down x y\n", &s, &error));
    EXPECT_TRUE(s.empty());
}

}  // namespace
}  // namespace kra::platform
