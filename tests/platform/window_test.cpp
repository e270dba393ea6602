// The window's options, input rules, frame turning and PNG output, on the
// headless backend.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "platform/clock.h"
#include "platform/message_loop.h"
#include "platform/window.h"
#include "platform/window_internal.h"
#include "support/recorded_messages.h"
#include "support/temp_tree.h"

namespace kra::platform {
namespace {

using test::g_msgs;
using test::Msg;
using test::Record;

TEST(WindowOptions, DisplayProfiles) {
    DisplayProfile p;
    ASSERT_TRUE(ParseDisplayProfile("480x800", &p));
    EXPECT_EQ(p.width, 480);
    EXPECT_EQ(p.height, 800);
    EXPECT_EQ(p.dpi, 192);
    ASSERT_TRUE(ParseDisplayProfile("240x320", &p));
    EXPECT_EQ(p.dpi, 96);
    ASSERT_TRUE(ParseDisplayProfile("800x480@191", &p));
    EXPECT_EQ(p.width, 800);
    EXPECT_EQ(p.dpi, 191);
    for (const char* bad :
         {"", "480", "480x", "x800", "480x800@", "63x800", "480x8193", "480x800@47", "480x800@1201",
          "480X800", "-480x800", "480x800@96x", "480x800x2", "0x1E0x800"}) {
        DisplayProfile untouched;
        untouched.width = 1;
        EXPECT_FALSE(ParseDisplayProfile(bad, &untouched)) << bad;
        EXPECT_EQ(untouched.width, 1) << bad;
    }
}

TEST(WindowOptions, PlatformArgumentsAreTakenOutTheRestKeepsItsOrder) {
    const char* argv[] = {
        "kra",   "RegServer",       "--display", "320x240@96", "--headless", "--scan", "--script",
        "s.txt", "--virtual-clock", "--post",    "0x8013",     "7",          "-1",     "last"};
    PlatformOptions o;
    std::vector<std::string> rest;
    std::string error;
    ASSERT_TRUE(ParsePlatformArgs(int(std::size(argv)), argv, &o, &rest, &error)) << error;
    EXPECT_EQ(rest, (std::vector<std::string>{"RegServer", "--scan", "last"}));
    EXPECT_EQ(o.display.width, 320);
    EXPECT_TRUE(o.headless);
    EXPECT_TRUE(o.virtualClock);
    EXPECT_EQ(o.scriptPath, "s.txt");
    EXPECT_TRUE(o.post);
    EXPECT_EQ(o.postMessage, 0x8013u);
    EXPECT_EQ(o.postWParam, 7u);
    EXPECT_EQ(o.postLParam, -1);

    auto fails = [](std::vector<const char*> args) {
        args.insert(args.begin(), "kra");
        PlatformOptions options;
        std::vector<std::string> r;
        std::string e;
        EXPECT_FALSE(ParsePlatformArgs(int(args.size()), args.data(), &options, &r, &e));
        return e;
    };
    EXPECT_NE(fails({"--display"}).find("needs 1 argument"), std::string::npos);
    EXPECT_NE(fails({"--post", "1", "2"}).find("needs 3 arguments"), std::string::npos);
    EXPECT_NE(fails({"--post", "1", "x", "2"}).find("bad wParam"), std::string::npos);
    EXPECT_NE(fails({"--display", "big"}).find("'big'"), std::string::npos);
    EXPECT_EQ(fails({"--script", "s.txt"}), "--script needs --headless");
}

// A 2 x 3 panel whose pixels are numbered by position: panel (x, y) holds
// 0x0800 * (y * 2 + x), a red level per pixel in RGB565.
std::vector<uint8_t> Reds(int orientation, int* w, int* h) {
    const uint16_t panel[3][4] = {{0x0000, 0x0800, 0xFFFF, 0xFFFF},  // pitch of 4 pixels
                                  {0x1000, 0x1800, 0xFFFF, 0xFFFF},
                                  {0x2000, 0x2800, 0xFFFF, 0xFFFF}};
    std::vector<uint8_t> rgb;
    TurnFrameToRgb(&panel[0][0], 2, 3, 8, PixelFormat::kRgb565, orientation, &rgb, w, h);
    std::vector<uint8_t> reds;
    for (size_t i = 0; i < rgb.size(); i += 3) reds.push_back(uint8_t(rgb[i] >> 3));  // 5-bit red
    return reds;
}

TEST(WindowFrame, ShownFrameIsThePanelTurnedLikeTheScreenMapsIt) {
    int w, h;
    EXPECT_EQ(Reds(0, &w, &h), (std::vector<uint8_t>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(w, 2);
    // 90°: the logical origin is the start of the last panel row, and
    // logical x runs up the panel's first column.
    EXPECT_EQ(Reds(1, &w, &h), (std::vector<uint8_t>{4, 2, 0, 5, 3, 1}));
    EXPECT_EQ(w, 3);
    EXPECT_EQ(h, 2);
    EXPECT_EQ(Reds(2, &w, &h), (std::vector<uint8_t>{5, 4, 3, 2, 1, 0}));
    // 270°: the logical origin is the panel's top-right pixel.
    EXPECT_EQ(Reds(4, &w, &h), (std::vector<uint8_t>{1, 3, 5, 0, 2, 4}));
}

TEST(WindowFrame, SixteenBitLayoutsWidenToFullRange) {
    const uint16_t p565[4] = {0xF800, 0x07E0, 0x001F, 0x8410};
    const uint16_t p555[4] = {0x7C00, 0x03E0, 0x001F, 0x4210};
    std::vector<uint8_t> rgb;
    int w, h;
    TurnFrameToRgb(p565, 4, 1, 8, PixelFormat::kRgb565, 0, &rgb, &w, &h);
    EXPECT_EQ(rgb, (std::vector<uint8_t>{255, 0, 0, 0, 255, 0, 0, 0, 255, 132, 130, 132}));
    TurnFrameToRgb(p555, 4, 1, 8, PixelFormat::kRgb555, 0, &rgb, &w, &h);
    EXPECT_EQ(rgb, (std::vector<uint8_t>{255, 0, 0, 0, 255, 0, 0, 0, 255, 132, 132, 132}));
}

class HeadlessWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        UseVirtualClock(0);
        ResetMessageLoop();
        SetWindowProc(Record);
        PlatformOptions o;
        o.headless = true;
        std::string error;
        ASSERT_TRUE(OpenMainWindow(o, &error)) << error;
    }
    void TearDown() override {
        CloseMainWindow();
        ResetMessageLoop();
        SetWindowProc(nullptr);
    }
    test::TempTree tree_;
    const std::filesystem::path& dir_ = tree_.Posix();
};

constexpr intptr_t Point(int x, int y) {
    return intptr_t((uint32_t(y) << 16) | uint32_t(x));
}

TEST_F(HeadlessWindow, FocusFollowsShowRaiseAndMinimise) {
    EXPECT_FALSE(IsMainWindowForeground());
    ShowMainWindow(true);
    BringMainWindowToFront();  // already in front: nothing more
    EXPECT_EQ(test::TakeMessages(), (std::vector<Msg>{{kWmSetFocus, 0, 0}}));
    EXPECT_TRUE(IsMainWindowForeground());
    MinimiseMainWindow();
    BringMainWindowToFront();
    EXPECT_EQ(test::TakeMessages(), (std::vector<Msg>{{kWmKillFocus, 0, 0}, {kWmSetFocus, 0, 0}}));
    std::string error;
    EXPECT_FALSE(OpenMainWindow(PlatformOptions{}, &error));  // one main window
    EXPECT_EQ(error, "the main window is already open");
}

TEST_F(HeadlessWindow, PenNeedsAPressAndStaysOnTheDisplay) {
    ReportPen(PenAction::kMove, 5, 5);  // hover: no such thing on a touch screen
    ReportPen(PenAction::kUp, 5, 5);
    ReportPen(PenAction::kDown, 10, 20);
    ReportPen(PenAction::kDown, 11, 21);  // a second press without release
    ReportPen(PenAction::kMove, 5000, -3);
    ReportPen(PenAction::kUp, 479, 799);
    EXPECT_EQ(test::TakeMessages(), (std::vector<Msg>{{kWmLButtonDown, 1, Point(10, 20)},
                                                      {kWmMouseMove, 1, Point(479, 0)},
                                                      {kWmLButtonUp, 0, Point(479, 799)}}));
    // Losing the focus mid-stroke ends the stroke.
    ShowMainWindow(true);
    ReportPen(PenAction::kDown, 1, 2);
    MinimiseMainWindow();
    ReportPen(PenAction::kUp, 1, 2);
    EXPECT_EQ(test::TakeMessages(), (std::vector<Msg>{{kWmSetFocus, 0, 0},
                                                      {kWmLButtonDown, 1, Point(1, 2)},
                                                      {kWmLButtonUp, 0, 0},
                                                      {kWmKillFocus, 0, 0}}));
}

TEST_F(HeadlessWindow, KeysCarryTheirCodeAndTransitionBits) {
    ReportKey(true, 0x27, false);
    ReportKey(true, 0x27, true);
    ReportKey(false, 0x27, false);
    EXPECT_EQ(test::TakeMessages(),
              (std::vector<Msg>{{kWmKeyDown, 0x27, 1},
                                {kWmKeyDown, 0x27, 0x40000001},
                                {kWmKeyUp, 0x27, intptr_t(int32_t(0xC0000001u))}}));
}

TEST_F(HeadlessWindow, UserRotationPostsTheSettingChangeAndSwapsTheLogicalSize) {
    EXPECT_FALSE(SetDisplayOrientation(3));
    ReportRotation(0);  // unchanged: nothing posted
    ReportRotation(1);
    EXPECT_EQ(GetDisplayOrientation(), 1);
    EXPECT_EQ(test::TakeMessages(), (std::vector<Msg>{{kWmSettingChange, kSettingChangeReset, 0}}));
    int w, h;
    LogicalSize(&w, &h);
    EXPECT_EQ(w, 800);
    EXPECT_EQ(h, 480);
    ReportPen(PenAction::kDown, 799, 700);  // clamped to the turned display
    ReportPen(PenAction::kUp, 0, 0);
    EXPECT_EQ(test::TakeMessages()[0].lParam, Point(799, 479));
    EXPECT_TRUE(SetDisplayOrientation(0));  // the program's own turn posts nothing
    EXPECT_TRUE(test::TakeMessages().empty());
    EXPECT_EQ(TurnOrientation(0, -1), 4);
    EXPECT_EQ(TurnOrientation(4, 1), 0);
    EXPECT_EQ(TurnOrientation(1, 1), 2);
}

TEST_F(HeadlessWindow, PresentedFrameIsKeptTurnedAndSavedAsPng) {
    std::vector<uint8_t> rgb;
    int w = 0, h = 0;
    EXPECT_FALSE(CopyShownFrame(&rgb, &w, &h));
    std::string error;
    EXPECT_FALSE(SaveShownFrame((dir_ / "none.png").string(), &error));

    std::vector<uint16_t> frame(480 * 800, 0x001F);  // blue
    frame[0] = 0xF800;                               // panel origin red
    EXPECT_FALSE(PresentFrame(nullptr, 480, 800, 960, PixelFormat::kRgb565));
    EXPECT_FALSE(PresentFrame(frame.data(), 480, 800, 958, PixelFormat::kRgb565));
    EXPECT_FALSE(PresentFrame(frame.data(), 0, 800, 960, PixelFormat::kRgb565));
    EXPECT_FALSE(PresentFrame(frame.data(), 480, 800, 961, PixelFormat::kRgb565));
    ASSERT_TRUE(PresentFrame(frame.data(), 480, 800, 960, PixelFormat::kRgb565));
    frame[0] = 0;  // the window holds its own copy
    SetDisplayOrientation(4);
    ASSERT_TRUE(CopyShownFrame(&rgb, &w, &h));
    EXPECT_EQ(w, 800);
    EXPECT_EQ(h, 480);
    // At 270° the panel origin shows at the bottom-left.
    const size_t bottomLeft = size_t(479) * 800 * 3;
    EXPECT_EQ(rgb[bottomLeft], 255);
    EXPECT_EQ(rgb[bottomLeft + 2], 0);

    const std::string path = (dir_ / "shot.png").string();
    ASSERT_TRUE(SaveShownFrame(path, &error)) << error;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str()));
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> back(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, back.data(), 0, nullptr));
    EXPECT_EQ(image.width, 800u);
    EXPECT_EQ(image.height, 480u);
    EXPECT_EQ(back, rgb);
    // Only the PNG is left: the temporary file was renamed.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_),
                            std::filesystem::directory_iterator()),
              1);

    EXPECT_FALSE(SaveShownFrame((dir_ / "missing" / "x.png").string(), &error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace kra::platform
