#include <gtest/gtest.h>

#include "app/entry.h"

namespace kra {
namespace {

TEST(EntryArgs, RegistrationSwitchesInAnyForm) {
    for (const char* arg : {"RegServer", "regserver", "-RegServer", "--regserver", "/RegServer"}) {
        AppOptions options;
        std::string error;
        ASSERT_TRUE(ParseAppArgs({arg}, &options, &error)) << arg;
        EXPECT_TRUE(options.registerDesktop) << arg;
        EXPECT_FALSE(options.unregisterDesktop);
    }
    AppOptions options;
    std::string error;
    ASSERT_TRUE(ParseAppArgs({"/UnregServer"}, &options, &error));
    EXPECT_TRUE(options.unregisterDesktop);
    // Not a switch word: three leading dashes, or something longer.
    EXPECT_FALSE(ParseAppArgs({"---regserver"}, &options, &error));
    EXPECT_FALSE(ParseAppArgs({"RegServers"}, &options, &error));
}

TEST(EntryArgs, ValuesAndErrors) {
    AppOptions options;
    std::string error;
    ASSERT_TRUE(ParseAppArgs({"--home", "/x y", "--demo", "--scan", "/m", "--audio-sink",
                              "fakesink", "--probe", "a.mp3", "--home", "b.mp3"},
                             &options, &error));
    EXPECT_EQ(options.home, "/x y");
    EXPECT_TRUE(options.demo);
    EXPECT_EQ(options.audioSink, "fakesink");
    // Everything after --probe is a file to probe.
    EXPECT_EQ(options.probePaths, (std::vector<std::string>{"a.mp3", "--home", "b.mp3"}));
    EXPECT_EQ(options.scanPath, "/m");
    EXPECT_FALSE(ParseAppArgs({"--probe"}, &options, &error));
    EXPECT_FALSE(ParseAppArgs({"--home"}, &options, &error));
    EXPECT_EQ(error, "--home needs a value");
    EXPECT_FALSE(ParseAppArgs({"--bogus"}, &options, &error));
    EXPECT_EQ(error, "unknown argument: --bogus");
}

TEST(EntryDesktop, ExecLinesQuoteTheExecutable) {
    const std::string desktop = DesktopEntryText("/opt/my \"kra\"/a$b\\c");
    EXPECT_NE(desktop.find("Exec=\"/opt/my \\\\\"kra\\\\\"/a\\\\$b\\\\\\\\c\"\n"),
              std::string::npos)
        << desktop;
    EXPECT_EQ(desktop.rfind("[Desktop Entry]\n", 0), 0u);
    EXPECT_NE(desktop.find("\nType=Application\n"), std::string::npos);
    const std::string service = DbusServiceText("/opt/it's/kra");
    EXPECT_EQ(service,
              "[D-BUS Service]\nName=org.mpris.MediaPlayer2.kra\nExec='/opt/it'\\''s/kra'\n");
}

}  // namespace
}  // namespace kra
