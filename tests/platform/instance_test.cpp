// The control request parser.
#include <gtest/gtest.h>

#include <string>

#include "platform/instance.h"

namespace kra::platform {
namespace {

ControlRequest Parse(const std::string& text) {
    return ParseControlRequest(text.data(), text.size());
}

TEST(ControlRequestParse, ActivateAndPost) {
    EXPECT_EQ(Parse("activate").kind, ControlRequest::Kind::kActivate);
    EXPECT_EQ(Parse("activate\n").kind, ControlRequest::Kind::kActivate);
    EXPECT_EQ(Parse("  activate\t\r\n").kind, ControlRequest::Kind::kActivate);
    const ControlRequest post = Parse("post 0x8027 0 0xFFFFFFFE\n");
    EXPECT_EQ(post.kind, ControlRequest::Kind::kPost);
    EXPECT_EQ(post.message, 0x8027u);
    EXPECT_EQ(post.wParam, 0u);
    EXPECT_EQ(post.lParam, -2);
    const ControlRequest command = Parse("post 273 403 0");
    EXPECT_EQ(command.message, 273u);
    EXPECT_EQ(command.wParam, 403u);
}

TEST(ControlRequestParse, MalformedRequestsSayWhy) {
    struct Case {
        std::string text;
        const char* reason;
    };
    const Case cases[] = {
        {"", "empty request"},
        {"\n", "empty request"},
        {"activate now", "activate takes no arguments"},
        {"post 1 2", "post takes MSG WPARAM LPARAM"},
        {"post 1 2 3 4", "post takes MSG WPARAM LPARAM"},
        {"post 0x10000 0 0", "bad message number"},
        {"post 1 99999999999999999999 0", "bad wParam"},
        {"post 1 0 zero", "bad lParam"},
        {"shutdown", "unknown request 'shutdown'"},
        {"activate\nactivate", "printable ASCII"},  // one line only
        {std::string("activ\0ate", 9), "printable ASCII"},
        {"activate\xC3\xA9", "printable ASCII"},
        {"activate\n\n", "printable ASCII"},
        {std::string(kMaxControlRequest + 1, 'a'), "request too long"},
    };
    for (const Case& c : cases) {
        const ControlRequest r = Parse(c.text);
        EXPECT_EQ(r.kind, ControlRequest::Kind::kInvalid) << c.text;
        EXPECT_NE(r.error.find(c.reason), std::string::npos) << c.text << " -> " << r.error;
    }
}

TEST(ControlRequestParse, ReadsOnlyTheGivenBytes) {
    // The buffer continues past `size`; the parser must not look there.
    const char buffer[] = "activateXYZ";
    EXPECT_EQ(ParseControlRequest(buffer, 8).kind, ControlRequest::Kind::kActivate);
    EXPECT_EQ(ParseControlRequest(buffer, 0).kind, ControlRequest::Kind::kInvalid);
    EXPECT_EQ(ParseControlRequest(nullptr, 0).error, "empty request");
}

}  // namespace
}  // namespace kra::platform
