#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "graphics/image.h"
#include "graphics/lang.h"
#include "graphics/skin.h"
#include "graphics/text.h"
#include "platform/files.h"
#include "platform/font.h"
#include "support/surface_size.h"
#include "support/temp_tree.h"

namespace kra {
namespace {

namespace fs = std::filesystem;

const fs::path kAssets = fs::path(KRA_SOURCE_ASSETS) / "skin";

class SkinTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::SetProgramFolder(platform::FromPosixPath(home.string()));
        platform::UseFontFiles({"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                                "/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf"});
        screen.layout = kLayout565;
        UseScale(2);
    }
    void TearDown() override { platform::UseFontFiles({}); }
    void UseScale(int scale) {
        FixUiScale(scale == 2 ? 192 : 96);
        screen.width = screen.physicalWidth = 240 * scale;
        screen.height = screen.physicalHeight = 400 * scale;
    }
    // Copies images of the default 2x skin into the program folder's gfx.
    void OwnGfx(std::initializer_list<const char*> names) {
        fs::create_directories(home / "gfx");
        for (const char* name : names) {
            fs::copy_file(kAssets / "gfx" / (std::string(name) + ".png"),
                          home / "gfx" / (std::string(name) + ".png"));
        }
    }
    void WriteLang(std::u16string_view text) {
        std::ofstream out(home / "lang.ini", std::ios::binary);
        out.put(char(0xFF)).put(char(0xFE));
        for (char16_t c : text) out.put(char(c & 0xFF)).put(char(c >> 8));
    }

    test::TempTree tree;
    const fs::path& home = tree.Posix();
    Screen screen;
};

TEST_F(SkinTest, DefaultSkinHasEveryImageAtTheGeometryTheScreensUse) {
    for (int scale : {1, 2}) {
        SCOPED_TRACE(scale);
        UseScale(scale);
        const uint32_t u = uint32_t(scale);
        LoadSkin(screen, SkinOptions{240 * u, 50 * u});
        const Skin& s = g_skin;
        EXPECT_EQ(s.gfxFolder.substr(s.gfxFolder.size() - (scale == 1 ? 7 : 4)),
                  scale == 1 ? u"\\gfx-1x" : u"\\gfx");
        for (const Surface* image :
             {&s.topBar, &s.play, &s.pause, &s.forward, &s.backward, &s.pressed, &s.repeat,
              &s.shuffle, &s.barButton, &s.sliderButton, &s.playing, &s.listShuffle, &s.back,
              &s.listShuffleAlbums, &s.songBarButtons, &s.music}) {
            EXPECT_TRUE(image->HasPixels());
        }
        for (const Surface* image :
             {&s.musicSmall, &s.playSmall, &s.pauseSmall, &s.barOn, &s.barOff, &s.sliderOn,
              &s.sliderOff, &s.playFlow, &s.pauseFlow, &s.infoFlow, &s.coverBackdrop, &s.subButton,
              &s.system, &s.connection, &s.iconFolder, &s.iconPlaylist}) {
            EXPECT_TRUE(image->HasPixels());
        }

        // Sprite sheets split into whole cells; the song-bar cell fits a byte.
        EXPECT_EQ(s.repeat.width % 4, 0u);
        EXPECT_EQ(s.shuffle.width % 3, 0u);
        EXPECT_EQ(s.songBarButtons.width % 2, 0u);
        EXPECT_LE(s.songBarButtons.width / 2, 255u);
        EXPECT_LE(s.songBarButtons.height, 42 * u);  // the least song-bar height
        EXPECT_EQ(s.connection.width % 7, 0u);
        EXPECT_LE(s.connection.height + u, 16 * u);  // drawn one margin down
        EXPECT_GE(s.system.width, 223 * u);          // icon 9 ends at 206 + 17
        EXPECT_EQ(s.system.height, 16 * u);

        // The control bar: buttons above the volume bar, next button on screen.
        EXPECT_LE(s.play.height, 36 * u);
        const uint32_t w = s.play.width;
        const uint32_t p = (240 * u - w) / 2;
        EXPECT_LE(p + 2 * w + 9 * u + s.forward.width, 240 * u);
        EXPECT_GE(int(p) - int(2 * w + 9 * u), 0);
        EXPECT_LE(36 * u + s.barOn.height, 50 * u);

        // Images drawn with BlitCopy at a fading alpha need an alpha plane.
        for (const Surface* image : {&s.play, &s.pause, &s.forward, &s.backward, &s.pressed,
                                     &s.playFlow, &s.pauseFlow, &s.infoFlow, &s.back}) {
            EXPECT_TRUE(image->HasAlpha());
        }
        EXPECT_FALSE(s.topBar.HasAlpha());
        EXPECT_FALSE(s.music.HasAlpha());

        // Default covers fitted into their squares; strips cut.
        EXPECT_EQ(s.music.width, 240 * u);
        EXPECT_EQ(test::SizeOf(s.musicSmall), std::pair(33 * u, 33 * u));
        EXPECT_EQ(test::SizeOf(s.controlBarStrip), std::pair(1u, 50 * u));
        EXPECT_EQ(s.statusStrip.height, 16 * u);
        EXPECT_EQ(s.headerStrip.height, 40 * u);

        // The back-button copies and the mirror.
        EXPECT_EQ(s.backArtists.width, s.back.width);
        EXPECT_EQ(s.nowPlaying.width, s.back.width);
        EXPECT_EQ(s.nowPlaying.Row(s.back.height / 2)[0],
                  s.back.Row(s.back.height / 2)[s.back.width - 1]);
        EXPECT_EQ(s.highlightBlue.colour, MakeColour(screen.layout, 45, 100, 255));

        // Images outside the table, loaded by their screens.
        for (const char16_t* name : {u"buttonL", u"buttonG", u"ptbutton"}) {
            Surface image;
            EXPECT_EQ(LoadImage(image, screen, SkinImagePath(name), kScaleNatural, 0, 0), 1);
            EXPECT_TRUE(image.HasAlpha());
        }
        Surface about;
        LoadImage(about, screen, SkinImagePath(u"ptbutton"), kScaleNatural, 0, 0);
        EXPECT_EQ(about.width % 2, 0u);
    }
}

TEST_F(SkinTest, OwnGfxFolderWithGapsAndTheSmallCoverFallback) {
    OwnGfx({"pmusic", "pplay"});
    LoadSkin(screen, SkinOptions{300, 100});
    EXPECT_EQ(g_skin.gfxFolder, platform::FromPosixPath((home / "gfx").string()));
    // No "pmusics.png": the small cover is made from "pmusic.png".
    ASSERT_TRUE(g_skin.musicSmall.HasPixels());
    EXPECT_EQ(g_skin.musicSmall.width, 66u);
    EXPECT_EQ(g_skin.music.width, 300u);
    EXPECT_TRUE(g_skin.play.HasPixels());
    // Whatever is missing stays empty, the top-bar strips included.
    EXPECT_FALSE(g_skin.pause.HasPixels());
    EXPECT_FALSE(g_skin.back.HasPixels());
    EXPECT_FALSE(g_skin.backArtists.HasPixels());
    EXPECT_FALSE(g_skin.controlBarStrip.HasPixels());
    EXPECT_FALSE(g_skin.statusStrip.HasPixels());

    // Without a back button the back labels are not read, the rest is.
    WriteLang(u"s_Up=Hoch\r\ns_More=Mehr\r\n");
    LoadLanguage(screen);
    EXPECT_EQ(g_lang.up, u"Up");
    EXPECT_EQ(g_lang.more, u"Mehr");
    EXPECT_EQ(g_skin.tabLabels[4].width, screen.width / 5);
    EXPECT_EQ(g_skin.tabAlpha[4], 32u);
}

TEST_F(SkinTest, LanguageLabelsAndCountWords) {
    OwnGfx({"pback"});
    LoadSkin(screen, SkinOptions{});
    Surface original;
    CropSurface(original, g_skin.back, 0, 0, 0, 0, 0);
    WriteLang(u"[Deutsch]\r\ns_Songs=Lieder\r\nx s_Up=Zur\u00FCck zur \u00DCbersicht\r\n");
    LoadLanguage(screen);
    EXPECT_EQ(g_lang.songs, u"lieder");  // lower-cased after the tab label was rendered
    EXPECT_EQ(g_lang.up, u"Zur\u00FCck zur \u00DCbersicht");

    // The long "Up" label widened the back button; its ends are unchanged.
    const Surface& back = g_skin.back;
    ASSERT_GT(back.width, original.width);
    for (uint32_t y = 0; y < back.height; ++y) {
        for (uint32_t x = 0; x < 4; ++x) {
            EXPECT_EQ(back.Row(y)[x], original.Row(y)[x]);
            EXPECT_EQ(back.AlphaRow(y)[x], original.AlphaRow(y)[x]);
            const uint32_t fromEnd = original.width - 1 - x;
            EXPECT_EQ(back.Row(y)[back.width - 1 - x], original.Row(y)[fromEnd]);
        }
    }
    // The label's glyph pixels landed opaque on the button.
    int opaqueWhite = 0;
    for (uint32_t i = 0; i < back.width * back.height; ++i) {
        opaqueWhite += back.pixels[i] == 0xFFDF && back.alpha[i] == 32;
    }
    EXPECT_GT(opaqueWhite, 20);
    // "Artists" fits the plain button, which keeps its width.
    EXPECT_EQ(g_skin.backArtists.width, original.width);
    // The tab label of the translated word was rendered before lower-casing:
    // it differs from one rendered from "lieder".
    Surface lower;
    Font* bold = MakeFont(24, 700);
    RenderTextWithFont(lower, screen, bold, kTextWhite, u"lieder", kTextWordBreak | kTextCentre,
                       int(screen.width / 5), 80, 0, kTextBlack);
    DeleteFont(bold);
    const Surface& tab = g_skin.tabLabels[1];
    ASSERT_EQ(test::SizeOf(tab), std::pair(lower.width, lower.height));
    EXPECT_NE(0, std::memcmp(tab.pixels, lower.pixels, size_t(tab.width) * tab.height * 2));
}

TEST(WidenButtonTest, EndsKeptMiddleStretched) {
    Screen screen;
    screen.layout = kLayout565;
    Surface button;
    ASSERT_TRUE(SizeSurface(button, 10, 3));
    ASSERT_TRUE(SetSurfaceAlpha(button));
    for (uint32_t y = 0; y < 3; ++y)
        for (uint32_t x = 0; x < 10; ++x) {
            button.Row(y)[x] = uint16_t(100 * y + x);
            button.AlphaRow(y)[x] = uint8_t(x * 3);
        }
    ASSERT_EQ(WidenButton(button, screen, 16), 1);
    ASSERT_EQ(test::SizeOf(button), std::pair(16u, 3u));
    for (uint32_t y = 0; y < 3; ++y) {
        for (uint32_t x = 0; x < 16; ++x) {
            // Columns 0..4 from the left half, 5..10 the middle column 5,
            // 11..15 the right half (columns 5..9).
            uint32_t from = x < 5 ? x : x < 11 ? 5 : x - 6;
            EXPECT_EQ(button.Row(y)[x], uint16_t(100 * y + from)) << x << "," << y;
            EXPECT_EQ(button.AlphaRow(y)[x], uint8_t(from * 3)) << x << "," << y;
        }
    }
    // Not wider: unchanged.
    ASSERT_EQ(WidenButton(button, screen, 12), 1);
    EXPECT_EQ(button.width, 16u);

    // An opaque image gets an alpha plane that hides its key colour.
    Surface plain;
    ASSERT_TRUE(SizeSurface(plain, 4, 1));
    const uint16_t row[4] = {7, 1, 7, 2};
    std::memcpy(plain.pixels, row, sizeof row);
    ASSERT_EQ(WidenButton(plain, screen, 6), 1);
    ASSERT_TRUE(plain.HasAlpha());
    const uint16_t want[6] = {7, 1, 7, 7, 7, 2};
    const uint8_t wantAlpha[6] = {0, 32, 0, 0, 0, 32};
    for (int x = 0; x < 6; ++x) {
        EXPECT_EQ(plain.pixels[x], want[x]);
        EXPECT_EQ(plain.alpha[x], wantAlpha[x]);
    }
}

}  // namespace
}  // namespace kra
