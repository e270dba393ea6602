// The status bar: values from the state store, the operator label and logo,
// the clock text, and the strip's pixels on a memory frame, with a synthetic
// skin and with the default one (set KRA_FRAME_DIR to keep those frames as
// PNG files).
#include "screens/status_bar.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/base/app_state.h"
#include "app/base/hooks.h"
#include "app/base/settings.h"
#include "app/base/text.h"
#include "graphics/blit.h"
#include "graphics/image.h"
#include "graphics/lang.h"
#include "graphics/screen_fixture.h"
#include "graphics/skin.h"
#include "graphics/text.h"
#include "platform/files.h"
#include "platform/font.h"
#include "platform/message_loop.h"
#include "platform/registry.h"
#include "platform/state-provider.h"
#include "support/temp_tree.h"

namespace kra {
namespace {

namespace fs = std::filesystem;

constexpr uint16_t kWhite = 0xFFFF;
// Icon colours of the synthetic "system" strip: icon k is painted (k + 1) * 0x0841.
uint16_t IconColour(int k) {
    return uint16_t((k + 1) * 0x0841);
}
constexpr uint16_t kStripKey = 0xF81F;

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
void SetPhone(const std::u16string& name, const platform::RegValue& value) {
    platform::RegSetStateValue(u"System\\State\\Phone", name, value);
}
void SetHardware(const std::u16string& name, uint32_t value) {
    platform::RegSetStateValue(u"System\\State\\Hardware", name, Dword(value));
}
void SetProfileMode(uint32_t mode) {
    platform::RegSetValue(platform::RegRoot::CurrentUser,
                          u"ControlPanel\\Notifications\\ShellOverrides", u"Mode",
                          platform::kRegDword, Dword(mode).data);
}

class StatusBarTest : public ::testing::Test {
  protected:
    void SetUp() override { Open(240, 320, 96); }
    void TearDown() override {
        ResetAppHooks();
        platform::RegClearState();
        platform::UseFontFiles({});
        g_skin = Skin{};
    }
    void Open(uint32_t w, uint32_t h, int dpi) {
        FixUiScale(dpi);
        u = UiScale();
        screen = std::make_unique<test::TestScreen>(w, h);
        ASSERT_TRUE(screen->ok);
        platform::SetProgramFolder(platform::FromPosixPath(home.string()));
        platform::UseFontFiles({"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"});
        platform::RegistryUseMemory();
        platform::RegClearState();
        ResetAppState();
        ResetSettings();
        ReadLanguageStrings(nullptr, true, g_lang);
        g_skin = Skin{};
        MakeSyntheticSkin();
        ResetStatusBar();
    }
    // A "system" strip whose icons are flat colours (pixel 0 the key) and a
    // seven-icon "conicon" strip, so that every drawn icon can be told apart.
    void MakeSyntheticSkin() {
        const Screen& s = Scr();
        SizeSurface(g_skin.system, 224 * u, 16 * u);
        DropSurfaceAlpha(g_skin.system);
        for (uint32_t i = 0; i < g_skin.system.width * g_skin.system.height; ++i)
            g_skin.system.pixels[i] = kStripKey;
        for (int k = 0; k < kSystemIconCount; ++k) {
            for (uint32_t y = 0; y < 16u * u; ++y) {
                for (int x = kSystemIcons[k].x * u;
                     x < (kSystemIcons[k].x + kSystemIcons[k].width) * u; ++x) {
                    g_skin.system.Row(y)[x] = IconColour(k);
                }
            }
        }
        g_skin.system.pixels[0] = kStripKey;
        SizeSurface(g_skin.connection, 7 * 10 * u, 14 * u);
        DropSurfaceAlpha(g_skin.connection);
        for (uint32_t y = 0; y < g_skin.connection.height; ++y)
            for (uint32_t x = 0; x < g_skin.connection.width; ++x)
                g_skin.connection.Row(y)[x] = uint16_t(0x1000 + x / (10 * u));
        g_skin.connection.pixels[0] = kStripKey;
        g_skin.black = MakeBrush(MakeColour(s.layout, 0, 0, 0));
        g_skin.lightGrey = MakeBrush(MakeColour(s.layout, 230, 230, 230));
    }
    Screen& Scr() { return screen->screen; }
    void Fill(uint16_t colour) {
        for (uint32_t i = 0; i < Scr().physicalWidth * Scr().physicalHeight; ++i)
            Scr().backBuffer[i] = colour;
    }
    uint16_t Px(int32_t x, int32_t y) { return *ScreenPixel(Scr(), x, y); }
    // What a pixel over white becomes under the strip's black with `colour`
    // drawn on top at alpha `a`.
    uint16_t Over(uint16_t colour, uint32_t a) {
        return BlendPixel(Scr().layout, Strip(), colour, a);
    }
    uint16_t Strip() { return BlendPixel(Scr().layout, kWhite, 0, 20); }
    // The gauge over the battery frame icon.
    uint16_t OverFrame(uint16_t colour, uint32_t a) {
        return BlendPixel(Scr().layout, Over(IconColour(kIconBatteryFrame), 29), colour, a);
    }
    // A new operator name, read as the bar does when the name changes.
    void Operator(std::u16string_view name) {
        SetPhone(u"Current Operator Name", Sz(name));
        RefreshOperator(Scr());
    }
    // A fully faded-in strip, drawn once over white.
    void DrawOnce() {
        g_statusBar.fade = 32;
        Fill(kWhite);
        DrawStatusBar(Scr(), 0);
    }

    std::unique_ptr<test::TestScreen> screen;
    test::TempTree tree;
    const fs::path home = tree.Posix();
    int u = 1;
};

// ---- Values ----

TEST_F(StatusBarTest, SignalBarsFollowTheRawValue) {
    const std::pair<uint8_t, uint8_t> cases[] = {{0, 0},  {14, 0}, {15, 1},  {34, 1}, {35, 2},
                                                 {94, 4}, {95, 5}, {100, 5}, {255, 5}};
    for (auto [raw, bars] : cases) {
        SignalChanged(raw);
        EXPECT_EQ(g_statusBar.signalBars, bars) << int(raw);
    }
    // The stored value at start-up: only its low byte counts.
    SetPhone(u"Signal Strength Raw", Dword(0x10F));
    ReadSignal();
    EXPECT_EQ(g_statusBar.signalBars, 1);
    platform::RegClearState();
    ReadSignal();
    EXPECT_EQ(g_statusBar.signalBars, 0);
}

// (The gauge's colours at 20 and 21 and when full are checked on its pixels.)
TEST_F(StatusBarTest, BatteryStateAndTheChargePulse) {
    BatteryChanged(10, 1);  // charging: green however low
    EXPECT_EQ(g_statusBar.gaugeColour, 0x00E614u);
    EXPECT_EQ(g_statusBar.batteryState, kBatteryCharging);
    EXPECT_EQ(g_statusBar.chargePulse, 32);
    // The pulse moves on with each frame: 33 .. 45, then it restarts at 3.
    std::vector<int> pulses;
    for (int i = 0; i < 16; ++i) {
        DrawStatusBar(Scr(), 0);
        pulses.push_back(g_statusBar.chargePulse);
    }
    EXPECT_EQ(pulses,
              (std::vector<int>{33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 3, 4, 5}));
    // Full does not pulse.
    BatteryChanged(100, 1);
    EXPECT_EQ(g_statusBar.batteryState, kBatteryFull);
    for (int i = 0; i < 20; ++i) DrawStatusBar(Scr(), 0);
    EXPECT_EQ(g_statusBar.chargePulse, 32);
    BatteryChanged(100, 0);
    EXPECT_EQ(g_statusBar.batteryState, kBatteryOnBattery);
    EXPECT_EQ(g_statusBar.chargePulse, 29);
    // Unknown power source: kept as delivered, no pulse.
    BatteryChanged(50, 1);
    BatteryChanged(255, 255);
    EXPECT_EQ(g_statusBar.batteryState, 255);
    EXPECT_EQ(g_statusBar.chargePulse, 29);
}

TEST_F(StatusBarTest, IndicatorsFromTheStateStore) {
    // Nothing stored: all off, ring profile, no network type.
    ReadIndicators();
    EXPECT_EQ(g_app.status[0], kIconRing);
    for (int slot = 1; slot <= 4; ++slot) EXPECT_EQ(g_app.status[slot], 0) << slot;
    EXPECT_EQ(g_statusBar.networkType, 0);

    SetProfileMode(1);
    SetHardware(u"Bluetooth", 0x15);  // on, stereo and hands-free: stereo wins
    SetHardware(u"Wifi", 0x02);
    SetHardware(u"Headset", 1);
    platform::RegSetStateValue(u"System\\State\\Connections", u"Count", Dword(2));
    SetPhone(u"Cellular System Connected", Dword(0x0C));
    ReadIndicators();
    EXPECT_EQ(g_app.status[0], kIconVibrate);
    EXPECT_EQ(g_app.status[kSlotBluetooth], kIconBluetooth);
    EXPECT_EQ(g_app.status[kSlotTwo], kIconWifi);
    EXPECT_EQ(g_app.status[kSlotHeadset], kIconStereo);
    EXPECT_EQ(g_app.status[kSlotFour], kIconData);
    EXPECT_EQ(g_statusBar.networkType, 4);

    SetHardware(u"Bluetooth", 0x10);  // hands-free only; off
    SetHardware(u"Wifi", 0x01);       // not the power bit
    ReadIndicators();
    EXPECT_EQ(g_app.status[kSlotBluetooth], 0);
    EXPECT_EQ(g_app.status[kSlotTwo], 0);
    EXPECT_EQ(g_app.status[kSlotHeadset], kIconHandsFree);
    SetHardware(u"Bluetooth", 0);
    ReadIndicators();
    EXPECT_EQ(g_app.status[kSlotHeadset], kIconHeadset);  // the wired headset value

    // With the Broadcom stack its profile mask alone decides.
    platform::RegSetStateValue(u"SOFTWARE\\WIDCOMM\\BTConfig\\Platform\\PowerMode",
                               u"ActiveProfileMask", Dword(0));
    ReadIndicators();
    EXPECT_EQ(g_app.status[kSlotHeadset], 0);

    SetProfileMode(7);
    ReadSoundProfile();
    EXPECT_EQ(g_app.status[0], kIconSilent);

    EXPECT_EQ(NetworkTypeFromBits(0x7F), 7);
    EXPECT_EQ(NetworkTypeFromBits(0x21), 6);
    EXPECT_EQ(NetworkTypeFromBits(0x01), 1);
    EXPECT_EQ(NetworkTypeFromBits(0x80), 0);
    SetNetworkType(9);  // no such icon
    EXPECT_EQ(g_statusBar.networkType, 0);
}

// ---- Operator ----

TEST_F(StatusBarTest, OperatorNamesAreShortenedByTheRoomLeft) {
    Operator(u"ABCDEFGHIJKLM");  // 13
    EXPECT_EQ(g_statusBar.operatorText, u"ABCDEFGHIJ...");
    EXPECT_EQ(g_statusBar.operatorX, 22 * u);

    Operator(u"ABCDEFGHIJKL");  // 12 fits
    EXPECT_EQ(g_statusBar.operatorText, u"ABCDEFGHIJKL");

    SetNetworkType(3);
    Operator(u"ABCDEFGHIJ");  // 10 with a network icon
    EXPECT_EQ(g_statusBar.operatorText, u"ABCDEFG...");
    SetNetworkType(0);
    g_app.status[kSlotFour] = kIconData;  // the data icon needs the same room
    RefreshOperator(Scr());
    EXPECT_EQ(g_statusBar.operatorText, u"ABCDEFG...");

    // The label is that text, rendered 13 px high (times the scale).
    Surface expected;
    ASSERT_EQ(RenderText(expected, Scr(), 13 * u, 400, kTextWhite, u"ABCDEFG...", kTextSingleLine,
                         0, 0, 0, kTextBlack),
              1);
    EXPECT_EQ(g_statusBar.operatorLabel.width, expected.width);
    EXPECT_EQ(g_statusBar.operatorLabel.height, expected.height);

    EXPECT_EQ(ShortenOperatorName(u"\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600", 5),
              u"\U0001F600...");  // never half a pair
}

TEST_F(StatusBarTest, NoServiceAndFlightModeShowTheirWordsWithoutBars) {
    RefreshOperator(Scr());
    EXPECT_EQ(g_statusBar.operatorText, u"No Service");
    EXPECT_EQ(g_statusBar.operatorX, u);
    SetPhone(u"Current Operator Name", Sz(u"Operator"));
    SetPhone(u"Status", Dword(0x10));
    RefreshOperator(Scr());
    EXPECT_EQ(g_statusBar.operatorText, u"Flight Mode");
    EXPECT_EQ(g_statusBar.operatorX, u);
    // A name longer than 260 bytes cannot be read.
    SetPhone(u"Status", Dword(0));
    Operator(std::u16string(130, u'x'));
    EXPECT_EQ(g_statusBar.operatorText, u"No Service");

    // No bars are drawn for either word: full signal changes no pixel.
    auto row = [&](int32_t y) {
        std::vector<uint16_t> pixels;
        for (int32_t x = 0; x < 24; ++x) pixels.push_back(Px(x, y));
        return pixels;
    };
    g_statusBar.signalBars = 0;
    DrawOnce();
    const std::vector<uint16_t> without = row(11), without4 = row(4);
    g_statusBar.signalBars = 5;
    DrawOnce();
    EXPECT_EQ(row(11), without);
    EXPECT_EQ(row(4), without4);
}

TEST_F(StatusBarTest, ALogoNamedAfterTheOperatorReplacesTheText) {
    fs::create_directories(home / "gfx" / "operator");
    fs::copy_file(fs::path(KRA_SOURCE_ASSETS) / "skin/gfx-1x/pplays.png",
                  home / "gfx" / "operator" / "Movo Tel.png");
    Operator(u"Movo Tel");
    EXPECT_TRUE(g_statusBar.operatorLogo);
    Surface logo;
    ASSERT_EQ(LoadImage(logo, Scr(), platform::ProgramFolder() + u"\\gfx\\operator\\Movo Tel.png",
                        kScaleNatural, 0, 0),
              1);
    EXPECT_EQ(g_statusBar.operatorLabel.width, logo.width);
    EXPECT_EQ(g_statusBar.operatorX, 22 * u);

    // A damaged logo falls back to the text.
    std::ofstream(home / "gfx" / "operator" / "Movo Tel.png", std::ios::binary) << "\x89PNG\r\n";
    RefreshOperator(Scr());
    EXPECT_FALSE(g_statusBar.operatorLogo);
    EXPECT_EQ(g_statusBar.operatorText, u"Movo Tel");
}

TEST_F(StatusBarTest, OperatorNamesCannotReachOutsideTheLogoFolder) {
    // A picture one level up that a name with ".." or a separator would find.
    fs::create_directories(home / "gfx" / "operator");
    fs::copy_file(fs::path(KRA_SOURCE_ASSETS) / "skin/gfx-1x/pplays.png", home / "gfx" / "x.png");
    for (const char16_t* name : {u"..\\x", u"../x", u"..", u"a\\..\\..\\x"}) {
        Operator(name);
        EXPECT_FALSE(g_statusBar.operatorLogo) << Utf16ToUtf8(name);
        EXPECT_FALSE(g_statusBar.operatorText.empty());
    }
    std::u16string path;
    EXPECT_TRUE(OperatorLogoPath(u"\\p", u"T-Mobile", path));
    EXPECT_EQ(path, u"\\p\\gfx\\operator\\T-Mobile.png");
    EXPECT_TRUE(OperatorLogoPath(u"\\", u"O2", path));
    EXPECT_EQ(path, u"\\gfx\\operator\\O2.png");
    for (const std::u16string& name :
         {std::u16string(), std::u16string(u"a/b"), std::u16string(u"a\\b"),
          std::u16string(u"a\uF05Cb"), std::u16string(u"x.."), std::u16string(1, u'\0'),
          std::u16string(250, u'n')})
        EXPECT_FALSE(OperatorLogoPath(u"\\p", name, path)) << Utf16ToUtf8(name);
}

// ---- Clock ----

TEST_F(StatusBarTest, TimePictures) {
    const platform::LocalTime t{2024, 5, 1, 21, 5, 9, 3};
    const platform::LocalTime midnight{2024, 5, 1, 0, 30, 0, 3};
    EXPECT_EQ(FormatTimePicture(u"HH:mm", t, false, false), u"21:05");
    EXPECT_EQ(FormatTimePicture(u"H:m:s", t, false, false), u"21:5:9");
    EXPECT_EQ(FormatTimePicture(u"h:mm tt", t, false, false), u"9:05 PM");
    EXPECT_EQ(FormatTimePicture(u"hh:mm t", midnight, false, false), u"12:30 A");
    EXPECT_EQ(FormatTimePicture(u"H'h'mm", t, false, false), u"21h05");
    EXPECT_EQ(FormatTimePicture(u"HH''mm 'o''clock", t, false, false), u"21'05 o'clock");
    // Seconds and marker left out with the separator before them (or after
    // them when they lead).
    EXPECT_EQ(FormatTimePicture(u"hh:mm:ss tt", t, true, true), u"09:05");
    EXPECT_EQ(FormatTimePicture(u"tt h:mm:ss", t, true, true), u"9:05");
    EXPECT_EQ(FormatTimePicture(u"HH.mm.ss", midnight, true, true), u"00.30");
}

TEST_F(StatusBarTest, ClockUsesTheTimeFormatSettingAndRendersOnlyOnChange) {
    const platform::LocalTime t{2024, 5, 1, 7, 45, 30, 3};
    g_settings.timeFormat = u"H:mm:ss";
    EXPECT_TRUE(RefreshClockAt(Scr(), t));
    EXPECT_EQ(g_statusBar.clockText, u"7:45:30");
    EXPECT_TRUE(g_statusBar.clockLabel.HasPixels());
    EXPECT_FALSE(RefreshClockAt(Scr(), t));
    // Longer than 20 units: cut.
    g_settings.timeFormat = u"'It is now exactly' HH:mm";
    RefreshClockAt(Scr(), t);
    EXPECT_EQ(g_statusBar.clockText, u"It is now exactly 07");
    // Default: the locale's time without seconds or marker.
    g_settings.timeFormat.clear();
    RefreshClockAt(Scr(), t);
    EXPECT_EQ(g_statusBar.clockText.find(u"30"), std::u16string::npos);
    EXPECT_NE(g_statusBar.clockText.find(u"45"), std::u16string::npos);
    EXPECT_EQ(g_statusBar.clockText.find(u"AM"), std::u16string::npos);
}

// ---- The strip ----

TEST_F(StatusBarTest, StripFadesInOverEightFramesAndOutAgain) {
    g_statusBar.fade = 0;
    std::vector<int> fades;
    for (int i = 0; i < 9; ++i) {
        EXPECT_TRUE(StatusBarAnimating() || i == 8);
        DrawStatusBar(Scr(), 0);
        fades.push_back(g_statusBar.fade);
    }
    EXPECT_EQ(fades, (std::vector<int>{4, 8, 12, 16, 20, 24, 28, 32, 32}));
    EXPECT_FALSE(StatusBarAnimating());

    SetStatusBarShown(false);
    EXPECT_TRUE(StatusBarAnimating());
    for (int i = 0; i < 8; ++i) DrawStatusBar(Scr(), 0);
    EXPECT_EQ(g_statusBar.fade, 0);
    // Hidden and faded out: nothing is drawn at all.
    Fill(kWhite);
    DrawStatusBar(Scr(), 0);
    for (int32_t x = 0; x < int32_t(Scr().width); ++x) ASSERT_EQ(Px(x, 0), kWhite) << x;
}

TEST_F(StatusBarTest, SignalBarsAndStubs) {
    Operator(u"Net");
    SignalChanged(15);  // one bar
    DrawOnce();
    const uint16_t strip = Strip();
    const uint16_t lit = Over(g_skin.lightGrey.colour, 29);
    // Bar 0 is 2 px high (rows 10 and 11), 3 px wide (columns 1..3).
    EXPECT_EQ(Px(1, 10), lit);
    EXPECT_EQ(Px(3, 11), lit);
    EXPECT_EQ(Px(4, 11), strip);
    EXPECT_EQ(Px(2, 9), strip);
    EXPECT_EQ(Px(1, 12), strip);
    // Bars 1..4 are one-row stubs at row 11.
    for (int i = 1; i < 5; ++i) {
        EXPECT_EQ(Px(1 + 4 * i, 11), lit) << i;
        EXPECT_EQ(Px(1 + 4 * i, 10), strip) << i;
    }
    EXPECT_EQ(Px(21, 11), strip);  // no sixth bar

    SignalChanged(100);
    DrawOnce();
    EXPECT_EQ(Px(17, 2), lit);  // the fifth bar reaches row 2
    EXPECT_EQ(Px(17, 1), strip);
}

TEST_F(StatusBarTest, BatteryGaugeColourWidthAndUnknownLevel) {
    const int32_t w = int32_t(Scr().width);
    const int32_t left = w - 18;
    BatteryChanged(20, 0);
    DrawOnce();
    const uint16_t red = MakeColour(Scr().layout, 230, 0, 0);
    // (20 + 2) * 7 / 50 = 3 columns, rows 5..10.
    EXPECT_EQ(Px(left, 5), OverFrame(red, 29));
    EXPECT_EQ(Px(left + 2, 10), OverFrame(red, 29));
    EXPECT_EQ(Px(left + 3, 7), Over(IconColour(kIconBatteryFrame), 29));
    EXPECT_EQ(Px(left, 11), Over(IconColour(kIconBatteryFrame), 29));

    BatteryChanged(21, 0);
    DrawOnce();
    EXPECT_EQ(Px(left, 7), OverFrame(MakeColour(Scr().layout, 230, 230, 230), 29));

    BatteryChanged(100, 1);  // full on external power: green, solid
    DrawOnce();
    const uint16_t green = MakeColour(Scr().layout, 0, 230, 20);
    EXPECT_EQ(Px(left + 13, 7), green);  // 102 * 7 / 50 = 14 columns
    EXPECT_NE(Px(left + 14, 7), green);

    // Unknown level: the frame stays, the gauge goes.
    BatteryChanged(255, 255);
    DrawOnce();
    const uint16_t frame = Over(IconColour(kIconBatteryFrame), 29);
    EXPECT_EQ(Px(w - 21, 3), frame);
    EXPECT_EQ(Px(left, 7), frame);
}

TEST_F(StatusBarTest, IndicatorsRightToLeftAndNetworkIcons) {
    const int32_t w = int32_t(Scr().width);
    g_app.status[0] = kIconRing;                // 18 wide
    g_app.status[kSlotBluetooth] = 0;           // skipped
    g_app.status[kSlotTwo] = kIconWifi;         // 21 wide
    g_app.status[kSlotHeadset] = kIconHeadset;  // 17 wide
    BatteryChanged(255, 0);
    DrawOnce();
    // Each icon sits one pixel left of the one before, starting at the battery.
    const int32_t ring = w - 20 - 19, wifi = ring - 22, headset = wifi - 18;
    EXPECT_EQ(Px(ring, 3), Over(IconColour(kIconRing), 29));
    EXPECT_EQ(Px(ring + 17, 3), Over(IconColour(kIconRing), 29));
    EXPECT_EQ(Px(wifi, 3), Over(IconColour(kIconWifi), 29));
    EXPECT_EQ(Px(wifi + 20, 3), Over(IconColour(kIconWifi), 29));
    EXPECT_EQ(Px(wifi + 21, 3), Strip());
    EXPECT_EQ(Px(headset, 3), Over(IconColour(kIconHeadset), 29));
    EXPECT_EQ(Px(headset - 1, 3), Strip());

    // With an operator: the network-type icon right of its label, one pixel down.
    SetPhone(u"Current Operator Name", Sz(u"Net"));
    SetNetworkType(2);
    RefreshOperator(Scr());
    DrawOnce();
    const int32_t nx = 1 + int32_t(g_statusBar.operatorLabel.width) + 22;
    EXPECT_EQ(Px(nx + 2, 1 + 2), Over(uint16_t(0x1000 + 1), 29));
    // Without a network type but with data, the data icon stands there at row 0.
    SetNetworkType(0);
    g_app.status[kSlotFour] = kIconData;
    RefreshOperator(Scr());
    DrawOnce();
    EXPECT_EQ(Px(1 + int32_t(g_statusBar.operatorLabel.width) + 22, 0),
              Over(IconColour(kIconData), 29));
    // No service: the data icon follows the word.
    platform::RegClearState();
    RefreshOperator(Scr());
    DrawOnce();
    EXPECT_EQ(Px(1 + int32_t(g_statusBar.operatorLabel.width) + 1, 0),
              Over(IconColour(kIconData), 29));
}

TEST_F(StatusBarTest, MissingIconStripsLeaveTheRestOfTheStrip) {
    g_skin.system = Surface{};
    g_skin.connection = Surface{};
    g_app.status[0] = kIconRing;
    SetNetworkType(5);
    BatteryChanged(50, 0);
    Operator(u"Net");
    RefreshClockAt(Scr(), {2024, 1, 1, 12, 0, 0, 1});
    DrawOnce();
    const int32_t w = int32_t(Scr().width);
    EXPECT_EQ(Px(w - 18, 7), Over(MakeColour(Scr().layout, 230, 230, 230), 29));  // gauge
    EXPECT_EQ(Px(1, 11), Over(g_skin.lightGrey.colour, 29));                      // stub
}

TEST_F(StatusBarTest, HooksFeedTheBarFromMessagesAndTheProvider) {
    static int redraws = 0;
    redraws = 0;
    StatusBarHost host;
    host.screen = &Scr();
    host.redraw = [] { ++redraws; };
    host.systemState = false;
    InstallStatusBarHooks(host);

    SetHardware(u"Bluetooth", 1);
    SetPhone(u"Signal Strength Raw", Dword(60));
    g_hooks.readHardwareIndicators();
    EXPECT_EQ(g_app.status[kSlotBluetooth], kIconBluetooth);
    g_hooks.refreshStatusBar();
    EXPECT_EQ(g_statusBar.signalBars, 3);
    EXPECT_GT(g_statusBar.batteryLevel, 100);  // no provider: unknown level
    EXPECT_EQ(g_statusBar.operatorText, u"No Service");
    EXPECT_FALSE(g_statusBar.clockText.empty());
    EXPECT_EQ(redraws, 0);  // start-up draws nothing by itself

    g_hooks.signalChanged(0);
    EXPECT_EQ(g_statusBar.signalBars, 0);
    SetPhone(u"Current Operator Name", Sz(u"Movo"));
    g_hooks.operatorChanged();
    EXPECT_EQ(g_statusBar.operatorText, u"Movo");
    EXPECT_EQ(redraws, 2);

    // The clock tick polls the provider, which posts a new battery reading
    // for the power handling; the clock label alone asks for a redraw.
    static std::vector<std::pair<uint32_t, uintptr_t>> posted;
    posted.clear();
    const fs::path sysfs = home / "sys";
    fs::create_directories(sysfs / "class/power_supply/BAT0");
    std::ofstream(sysfs / "class/power_supply/BAT0/type") << "Battery\n";
    std::ofstream(sysfs / "class/power_supply/BAT0/capacity") << "80\n";
    platform::ResetMessageLoop();
    platform::SetWindowProc([](uint32_t message, uintptr_t wParam, intptr_t) -> intptr_t {
        posted.push_back({message, wParam});
        return 0;
    });
    platform::StartStateProvider({sysfs.string()});
    g_settings.timeFormat = u"'fixed'";  // a clock that changes once, then never
    g_hooks.refreshClock();
    EXPECT_EQ(redraws, 3);
    std::ofstream(sysfs / "class/power_supply/BAT0/capacity") << "20\n";
    g_hooks.refreshClock();
    EXPECT_EQ(redraws, 3);
    platform::PumpPending();
    const std::vector<std::pair<uint32_t, uintptr_t>> expected = {{platform::kMsgBatteryState, 20}};
    EXPECT_EQ(posted, expected);
    platform::SetWindowProc(nullptr);
    platform::StopStateProvider();
    platform::ResetMessageLoop();
}

// ---- The default skin ----

// Brightness of a 565 pixel, 0..(31 + 63 + 31).
int Light(uint16_t p) {
    return (p >> 11) + ((p >> 5) & 63) + (p & 31);
}

TEST_F(StatusBarTest, FullStripWithTheDefaultSkinAtBothDensities) {
    for (int dpi : {96, 192}) {
        if (dpi == 192) Open(480, 800, 192);
        LoadSkin(Scr(), SkinOptions{200u * u, 60u * u});
        SetPhone(u"Current Operator Name", Sz(u"Movo Mobile Network"));
        SetPhone(u"Cellular System Connected", Dword(8));
        SetHardware(u"Bluetooth", 1);
        SetHardware(u"Wifi", 2);
        SetHardware(u"Headset", 1);
        ReadIndicators();
        SignalChanged(60);
        BatteryChanged(64, 0);
        RefreshOperator(Scr());
        RefreshClockAt(Scr(), {2024, 5, 1, 12, 34, 0, 3});
        EXPECT_EQ(g_statusBar.operatorText, u"Movo Mo...");

        // A mid-grey backdrop shows the strip's translucency.
        const uint16_t grey = MakeColour(Scr().layout, 96, 110, 130);
        Fill(grey);
        g_statusBar.fade = 32;
        DrawStatusBar(Scr(), 0);
        if (const char* dir = std::getenv("KRA_FRAME_DIR")) {
            const std::string name =
                "status-bar-" + std::to_string(Scr().width) + "@" + std::to_string(dpi) + ".png";
            SaveFramePng(platform::FromPosixPath((fs::path(dir) / name).string()), Scr().backBuffer,
                         Scr().physicalWidth, Scr().physicalHeight, Scr().physicalWidth * 2,
                         Scr().layout);
        }

        // The strip is 16 rows at base size, every row of it darker than the
        // backdrop, and nothing below it is touched.
        const int32_t w = int32_t(Scr().width), h = 16 * u;
        for (int32_t x = 0; x < w; ++x) {
            ASSERT_EQ(Px(x, h), grey) << x;
            ASSERT_NE(Px(x, h - 1), grey) << x;
        }
        // The clock's glyphs are centred on the middle of the screen.
        int32_t first = -1, last = -1;
        for (int32_t x = w / 2 - 40 * u; x < w / 2 + 40 * u; ++x) {
            for (int32_t y = 0; y < h; ++y) {
                if (Light(Px(x, y)) > 100) {
                    if (first < 0) first = x;
                    last = x;
                    break;
                }
            }
        }
        ASSERT_GE(first, 0);
        EXPECT_LE(std::abs((first + last) - w), 3 * u) << first << " " << last;
    }
}

}  // namespace
}  // namespace kra
