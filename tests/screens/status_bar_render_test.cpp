// The status bar drawn with the default skin and a real font at both
// densities. Set KRA_FRAME_DIR to keep the frames as PNG files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "app/base/app_state.h"
#include "app/base/settings.h"
#include "graphics/blit.h"
#include "graphics/lang.h"
#include "graphics/screen_fixture.h"
#include "graphics/skin.h"
#include "platform/files.h"
#include "platform/font.h"
#include "platform/registry.h"
#include "screens/status_bar.h"

namespace kra {
namespace {

namespace fs = std::filesystem;

platform::RegValue Dword(uint32_t v) {
    return {platform::kRegDword, {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}};
}
platform::RegValue Sz(std::u16string_view text) {
    platform::RegValue value{platform::kRegSz, {}};
    for (char16_t c : text) {
        value.data.push_back(uint8_t(c));
        value.data.push_back(uint8_t(c >> 8));
    }
    value.data.insert(value.data.end(), {0, 0});
    return value;
}

// Brightness of a 565 pixel, 0..(31 + 63 + 31).
int Light(uint16_t p) {
    return (p >> 11) + ((p >> 5) & 63) + (p & 31);
}

struct Density {
    uint32_t width, height;
    int dpi;
};

class StatusBarRenderTest : public ::testing::TestWithParam<Density> {};

TEST_P(StatusBarRenderTest, FullStripWithTheDefaultSkin) {
    const Density d = GetParam();
    FixUiScale(d.dpi);
    const int u = UiScale();
    test::TestScreen ts(d.width, d.height);
    ASSERT_TRUE(ts.ok);
    Screen& screen = ts.screen;
    const fs::path home = fs::temp_directory_path() / ("kra-status-look-" + std::to_string(d.dpi));
    fs::create_directories(home);
    platform::SetProgramFolder(platform::FromPosixPath(home.string()));
    platform::UseFontFiles({"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"});
    platform::RegistryUseMemory();
    platform::RegClearState();
    ResetAppState();
    ResetSettings();
    LoadSkin(screen, SkinOptions{200u * u, 60u * u});
    ReadLanguageStrings(nullptr, true, g_lang);
    ResetStatusBar();

    platform::RegSetStateValue(u"System\\State\\Phone", u"Current Operator Name",
                               Sz(u"Movo Mobile Network"));
    platform::RegSetStateValue(u"System\\State\\Phone", u"Cellular System Connected", Dword(8));
    platform::RegSetStateValue(u"System\\State\\Hardware", u"Bluetooth", Dword(1));
    platform::RegSetStateValue(u"System\\State\\Hardware", u"Wifi", Dword(2));
    platform::RegSetStateValue(u"System\\State\\Hardware", u"Headset", Dword(1));
    ReadIndicators();
    SignalChanged(60);
    BatteryChanged(64, 0);
    RefreshOperator(screen);
    RefreshClockAt(screen, {2024, 5, 1, 12, 34, 0, 3});
    EXPECT_EQ(g_statusBar.operatorText, u"Movo Mo...");

    // A mid-grey backdrop shows the strip's translucency.
    const uint16_t grey = MakeColour(screen.layout, 96, 110, 130);
    for (uint32_t i = 0; i < screen.physicalWidth * screen.physicalHeight; ++i)
        screen.backBuffer[i] = grey;
    g_statusBar.fade = 32;
    DrawStatusBar(screen, 0);

    if (const char* dir = std::getenv("KRA_FRAME_DIR")) {
        const std::string name =
            "status-bar-" + std::to_string(d.width) + "@" + std::to_string(d.dpi) + ".png";
        SaveFramePng(platform::FromPosixPath((fs::path(dir) / name).string()), screen.backBuffer,
                     screen.physicalWidth, screen.physicalHeight, screen.physicalWidth * 2,
                     screen.layout);
    }

    // The strip is 16 rows at base size, every row of it darker than the
    // backdrop, and nothing below it is touched.
    const int32_t w = int32_t(screen.width);
    const int32_t h = 16 * u;
    for (int32_t x = 0; x < w; ++x) {
        ASSERT_EQ(*ScreenPixel(screen, x, h), grey) << x;
        ASSERT_NE(*ScreenPixel(screen, x, h - 1), grey) << x;
    }
    // The clock's glyphs are centred on the middle of the screen.
    int32_t first = -1, last = -1;
    for (int32_t x = w / 2 - 40 * u; x < w / 2 + 40 * u; ++x) {
        for (int32_t y = 0; y < h; ++y) {
            if (Light(*ScreenPixel(screen, x, y)) > 100) {
                if (first < 0) first = x;
                last = x;
                break;
            }
        }
    }
    ASSERT_GE(first, 0);
    EXPECT_LE(std::abs((first + last) - w), 3 * u) << first << " " << last;
    fs::remove_all(home);
    platform::UseFontFiles({});
    g_skin = Skin{};
}

INSTANTIATE_TEST_SUITE_P(Densities, StatusBarRenderTest,
                         ::testing::Values(Density{480, 800, 192}, Density{240, 320, 96}));

}  // namespace
}  // namespace kra
