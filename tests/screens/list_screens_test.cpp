// The list screens, the folder browser, the menu, the title and bottom bars
// and the about screen, driven through the router with pen events on the
// virtual clock over a small library in a temporary folder.
#include "screens/list_screens.h"

#include <gtest/gtest.h>

#include <fstream>

#include "library/indexes.h"
#include "library/scan.h"
#include "library/tag_cache.h"
#include "platform/files.h"
#include "platform/player_fake.h"
#include "platform/web_page.h"
#include "playback/player_bridge.h"
#include "screens/about.h"
#include "screens/folder_browser.h"
#include "screens/menu.h"
#include "screens/tab_bar.h"
#include "screens/title_bar.h"
#include "screens_fixture.h"

namespace kra::test {
namespace {

std::vector<std::string>& WebPages() {
    static std::vector<std::string> pages;
    return pages;
}

SongFacts FixedFacts(const std::u16string& path) {
    SongFacts facts;
    facts.title = std::u16string(UntaggedTitle(path));
    facts.seconds = 61;
    return facts;
}

class ListScreensTest : public ScreensTest {
  protected:
    void SetUp() override {
        ScreensTest::SetUp();
        ResetListScreens();
        InstallScreenHooks();
        Record();
        SetSongMeasurer(&FixedFacts);
        WebPages().clear();
        platform::SetWebPageOpener([](const std::string& url) {
            WebPages().push_back(url);
            return true;
        });
        auto engine = std::make_unique<platform::FakePlayer>();
        fake = engine.get();
        player::InitPlayer(std::move(engine));
        // Music\A\One (2 songs), Music\A\Two (1), Music\B\Solo (1), and an
        // empty folder beside the library for the browser.
        music = home / "Music";
        for (const char* song : {"A/One/a1.mp3", "A/One/a2.mp3", "A/Two/b1.mp3", "B/Solo/c1.mp3"}) {
            const auto path = music / song;
            std::filesystem::create_directories(path.parent_path());
            std::ofstream(path) << "x";
            fake->AddMedia(platform::FromPosixPath(path.string()), {61000});
        }
        std::filesystem::create_directories(home / "Other" / "Deep" / "Er");
        std::ofstream(home / "Other" / "Deep" / "Er" / "z.mp3") << "x";
        root = platform::FromPosixPath(music.string());
        g_app.workingFolder = platform::FromPosixPath(home.string());
        SetLibrary(g_library, root);
        g_library.albumCount = g_library.FolderCount();
        InitializeAlbumList(g_library, g_library.views.albums);
        InitializeArtistList(g_library, g_library.views.artists);
        LayoutListScreens(g_screen);
    }
    void TearDown() override {
        player::ShutdownPlayer();
        SetSongMeasurer(nullptr);
        platform::SetWebPageOpener(nullptr);
        ResetListScreens();
        ScreensTest::TearDown();
    }

    // The centre of row `row` of the list on screen.
    int32_t RowY(const ListView& list, int32_t row) const {
        return list.firstRowY + row * list.rowHeight + list.position + list.rowHeight / 2;
    }
    void TapRow(uint8_t screen, int32_t row) {
        const ListView& list = ListScreenFor(screen)->list;
        Tap(100, RowY(list, row));
    }
    void TapButton(int button) {
        const BottomButton& b = g_bottomBar.buttons[button];
        Tap(b.x + b.width / 2, int32_t(g_screen.height) - 10);
    }
    void TapBack() { Tap(g_titleBar.leftX + 5, g_titleBar.leftY + 5); }
    ListKind Kind(uint8_t screen) { return CurrentListKind(*ListScreenFor(screen)); }

    platform::FakePlayer* fake = nullptr;
    std::filesystem::path music;
    std::u16string root;
};

TEST_F(ListScreensTest, ArtistsAlbumsSongsAndBackAgain) {
    ASSERT_TRUE(ShowScreen(kScreenSubList, false));
    EXPECT_EQ(Kind(2), ListKind::kArtists);
    EXPECT_EQ(g_titleBar.left, nullptr);
    EXPECT_EQ(ListScreenFor(2)->list.count, 2);
    // Artist A has two albums: "Shuffle Albums", "All Songs", One, Two.
    TapRow(2, 0);
    EXPECT_EQ(Kind(2), ListKind::kArtistAlbums);
    EXPECT_EQ(g_titleBar.left, &g_skin.backArtists);
    EXPECT_EQ(ListScreenFor(2)->list.count, 4);
    TapRow(2, 2);
    EXPECT_EQ(Kind(2), ListKind::kAlbumSongs);
    EXPECT_EQ(g_titleBar.left, &g_skin.backAlbums);
    EXPECT_EQ(g_library.views.albumSongs.size(), 3u);  // "Shuffle" and two songs
    TapBack();
    EXPECT_EQ(Kind(2), ListKind::kArtistAlbums);
    TapRow(2, 1);  // All Songs
    EXPECT_EQ(Kind(2), ListKind::kAlbumSongs);
    EXPECT_EQ(g_library.views.albumSongs.size(), 4u);
    // The Artists tab on its own screen returns to the top level.
    TapButton(2);
    EXPECT_EQ(Kind(2), ListKind::kArtists);
    // Artist B has one album: its songs open at once, and back says Artists.
    TapRow(2, 1);
    EXPECT_EQ(Kind(2), ListKind::kAlbumSongs);
    EXPECT_EQ(g_titleBar.left, &g_skin.backArtists);
    EXPECT_EQ(g_library.views.albumSongs.size(), 1u);
    TapBack();
    EXPECT_EQ(Kind(2), ListKind::kArtists);
}

TEST_F(ListScreensTest, TappingASongPlaysTheListAndShowsNowPlaying) {
    ASSERT_TRUE(ShowScreen(kScreenSubList2, false));
    EXPECT_EQ(Kind(3), ListKind::kAlbums);
    // "Shuffle Albums", then the albums by label: One, Solo, Two.
    TapRow(3, 1);
    ASSERT_EQ(Kind(3), ListKind::kAlbumSongs);
    TapRow(3, 2);  // the second song of One
    EXPECT_EQ(g_app.screen, kScreenNowPlaying);
    EXPECT_EQ(g_app.previousScreen, kScreenSubList2);
    EXPECT_TRUE(g_app.trackLoaded);
    EXPECT_EQ(FileNamePart(g_queue.currentPath), u"a2.mp3");
    EXPECT_EQ(g_library.play.size(), 2u);
    EXPECT_TRUE(g_library.playSubList);
    // Back on the list the playing song is marked and "Now Playing" is offered.
    ASSERT_TRUE(ShowScreen(kScreenSubList2, false));
    EXPECT_EQ(ListScreenFor(3)->list.playingRow, 2);
    EXPECT_EQ(g_titleBar.right, &g_skin.nowPlaying);
    Tap(g_titleBar.rightX + 5, g_titleBar.rightY + 5);
    EXPECT_EQ(g_app.screen, kScreenNowPlaying);
}

TEST_F(ListScreensTest, ADragIsNoTapAndATooShortPressIsNone) {
    ASSERT_TRUE(ShowScreen(kScreenSongs, false));
    const ListView& list = ListScreenFor(1)->list;
    const int32_t y = RowY(list, 1);
    Drag(100, y, 100, y + list.tapSlop + 1, list.tapSlop + 1, 30);
    EXPECT_EQ(g_app.screen, kScreenSongs);
    Tap(100, y, 20);  // a bounce of the pen
    EXPECT_EQ(g_app.screen, kScreenSongs);
    Tap(100, y, 60);
    EXPECT_EQ(g_app.screen, kScreenNowPlaying);
    EXPECT_FALSE(g_library.playSubList);
}

TEST_F(ListScreensTest, BottomBarButtonsAndTheirRules) {
    ASSERT_TRUE(ShowScreen(kScreenSongs, false));
    // Button 1 is not pressable on screen 1, Playlists nowhere.
    EXPECT_TRUE(BottomBarHit(g_bottomBar, g_bottomBar.buttons[1].x + 5, g_bottomBar.top + 5, 1));
    EXPECT_FALSE(g_bottomBar.buttons[1].pressed);
    EXPECT_TRUE(BottomBarHit(g_bottomBar, 10, g_bottomBar.top + 5, 2));
    EXPECT_FALSE(g_bottomBar.buttons[0].pressed);
    EXPECT_TRUE(BottomBarHit(g_bottomBar, g_bottomBar.buttons[1].x + 5, g_bottomBar.top + 5, 2));
    EXPECT_TRUE(g_bottomBar.buttons[1].pressed);
    ResetBottomBar(g_bottomBar);
    // Tabs are (480 + 8) / 5 wide from -4.
    EXPECT_EQ(g_bottomBar.buttons[3].x, -4 + 3 * 97);
    // Released outside the pressed button: nothing.
    const BottomButton& albums = g_bottomBar.buttons[3];
    Press(albums.x + 5, int32_t(g_screen.height) - 5, albums.x - 20, int32_t(g_screen.height) - 5,
          60);
    EXPECT_EQ(g_app.screen, kScreenSongs);
    TapButton(3);
    EXPECT_EQ(g_app.screen, kScreenSubList2);
    TapButton(1);
    EXPECT_EQ(g_app.screen, kScreenSongs);
}

TEST_F(ListScreensTest, MenuSlidesInAndRunsTheEntryReleasedOn) {
    ASSERT_TRUE(ShowScreen(kScreenSongs, false));
    TapButton(4);
    ASSERT_TRUE(g_menu.open);
    EXPECT_EQ(g_menu.count, 5);
    EXPECT_EQ(g_menu.entries[0], MenuEntry::kRefreshLibrary);
    EXPECT_EQ(g_menu.entries[4], MenuEntry::kCancel);
    // The last entry stands a half gap further down.
    const int32_t gap = 8 * 2;
    EXPECT_EQ(g_menu.y[1] - g_menu.y[0], g_menu.buttonHeight + gap);
    EXPECT_EQ(g_menu.y[4] - g_menu.y[3], g_menu.buttonHeight + gap + gap / 2);
    // Two button heights per tick.
    int ticks = 0;
    const int32_t start = g_menu.slide;
    while (MenuSliding(g_menu)) {
        RouteAnimationTick();
        ++ticks;
    }
    EXPECT_EQ(ticks, (start + 2 * g_menu.buttonHeight - 1) / (2 * g_menu.buttonHeight));
    // Pressed on Quit, released on About: nothing, the menu stays.
    const int32_t x = g_menu.x + 20;
    Press(x, g_menu.y[3] + 5, x, g_menu.y[2] + 5);
    EXPECT_TRUE(g_menu.open);
    EXPECT_TRUE(Actions().empty());
    Press(x, g_menu.y[3] + 5, x, g_menu.y[3] + 5);
    EXPECT_FALSE(g_menu.open);
    EXPECT_EQ(Actions(), std::vector<std::string>{"quit"});
    // The folder browser's menu is the short one.
    OpenMenu(g_menu, g_screen, kScreenFolders, g_bottomBar.top, 2);
    EXPECT_EQ(g_menu.count, 3);
    EXPECT_EQ(g_menu.entries[0], MenuEntry::kAbout);
    CloseMenu(g_menu);
}

TEST_F(ListScreensTest, SetLibraryThroughTheBrowser) {
    ASSERT_TRUE(ShowScreen(kScreenSubList2, false));
    TapRow(3, 1);
    TapRow(3, 1);  // plays a song of One
    ASSERT_TRUE(g_app.trackLoaded);
    ShowScreen(kScreenSongs, false);
    RunSetLibrary();
    EXPECT_EQ(g_app.screen, kScreenFolders);
    EXPECT_FALSE(g_app.trackLoaded);  // playback stopped
    EXPECT_TRUE(g_library.play.empty());
    // The browser opens in the music folder's parent: Music, Other.
    const FolderBrowser& b = g_folderBrowser;
    ASSERT_EQ(b.entries.size(), 2u);
    EXPECT_EQ(b.entries[1].name, u"\\Other");
    EXPECT_EQ(b.entries[1].hasSubfolders, 1);
    // The arrow opens Other; tapping Deep's row makes it the library.
    Tap(int32_t(g_screen.width) - 10, RowY(b.list, 1));
    ASSERT_EQ(b.entries.size(), 1u);
    EXPECT_EQ(b.entries[0].name, u"\\Deep");
    EXPECT_EQ(g_titleBar.left, &g_skin.back);
    Tap(100, RowY(b.list, 0));
    EXPECT_EQ(g_app.screen, kScreenSongs);
    EXPECT_EQ(g_library.root, platform::FromPosixPath((home / "Other" / "Deep").string()));
    EXPECT_EQ(g_settings.musicFolder, g_library.root);
    EXPECT_EQ(g_library.SongCount(), 1);
    EXPECT_EQ(ListScreenFor(1)->list.count, 1);
    // The next opening starts in the folder the browser was left in.
    RunSetLibrary();
    EXPECT_EQ(g_folderBrowser.shownFolder, platform::FromPosixPath((home / "Other").string()));
    FolderBrowserUp();
    EXPECT_EQ(g_folderBrowser.shownFolder, platform::FromPosixPath(home.string()));
}

TEST_F(ListScreensTest, RefreshLibraryStopsPlaybackAndRebuilds) {
    ASSERT_TRUE(ShowScreen(kScreenSongs, false));
    Tap(100, RowY(ListScreenFor(1)->list, 1));
    ASSERT_TRUE(g_app.trackLoaded);
    std::ofstream(music / "B" / "Solo" / "c2.mp3") << "x";
    ShowScreen(kScreenSubList2, false);
    RunRefreshLibrary();
    EXPECT_FALSE(g_app.trackLoaded);
    EXPECT_TRUE(g_library.play.empty());
    EXPECT_EQ(g_library.SongCount(), 5);
    EXPECT_EQ(g_app.screen, kScreenSubList2);
    EXPECT_EQ(ListScreenFor(3)->list.count, 4);  // Shuffle Albums and three albums
}

// ---- Title bar ----

TEST_F(ListScreensTest, TitleBarPlacesItsTitleBetweenTheButtons) {
    TitleBar bar;
    TitleBarLayout(bar, 480, 2);
    Surface left, right;
    SizeSurface(left, 92, 56);
    SizeSurface(right, 100, 40);
    TitleBarSetButtons(bar, &left, &right);
    EXPECT_EQ(bar.leftY, 32 + (72 - 56) / 2);
    EXPECT_EQ(bar.rightX, 380);
    EXPECT_EQ(bar.rightY, 32 + (72 - 40) / 2);
    EXPECT_EQ(bar.textX, 4 + 92);
    EXPECT_EQ(bar.textWidth, 480 - 96 - 104);
    TitleBarSetTitle(bar, g_screen, u"Hi", 30, 400, 0xFFFFFF, 0);
    EXPECT_FALSE(bar.scrolls);
    EXPECT_EQ(bar.titleX, (480 - int32_t(bar.title.width)) / 2);
    // Without buttons a short label is centred on the screen too, and a
    // label wider than the text area scrolls.
    TitleBarSetButtons(bar, nullptr, nullptr);
    EXPECT_EQ(bar.textX, 0);
    EXPECT_EQ(bar.textWidth, 480);
    TitleBarSetTitle(bar, g_screen, std::u16string(60, u'W'), 30, 400, 0xFFFFFF, 1000);
    EXPECT_TRUE(bar.scrolls);
    EXPECT_EQ(TitleBarScrollOffset(bar, 1000 + 59), 0);
    EXPECT_EQ(TitleBarScrollOffset(bar, 1000 + 600), 8);  // 10 steps of 0.8 px
    // Presses and releases.
    TitleBarSetButtons(bar, &left, &right);
    EXPECT_EQ(TitleBarHit(bar, 5, 60), 1);
    EXPECT_EQ(TitleBarRelease(bar, 400, 60), 0);  // released on the other button
    EXPECT_EQ(TitleBarHit(bar, 400, 60), 2);
    EXPECT_EQ(TitleBarRelease(bar, 400, 60), 2);
    EXPECT_FALSE(bar.rightPressed);
    EXPECT_EQ(TitleBarHit(bar, 200, 60), 0);
    EXPECT_EQ(TitleBarHit(bar, 400, 47), 0);  // above the right button
}

// ---- About screen ----

TEST_F(ListScreensTest, AboutPageThatFitsDoesNotMove) {
    BuildAboutPage(g_about, g_screen, 32);
    ASSERT_FALSE(g_about.scrollable);
    EXPECT_EQ(g_about.lowest, 32);
    EXPECT_EQ(g_about.highest, 32);
    ASSERT_TRUE(AboutPenDown(g_about, 200, 600, 0));
    AboutDrag(g_about, -80, 50);
    EXPECT_EQ(g_about.offset, 32);
    AboutPenUp(g_about, 200, 680, false);
    AboutTick(g_about);
    EXPECT_EQ(g_about.offset, 32);
}

class SmallAboutTest : public ListScreensTest {
  protected:
    void SetUp() override {
        ListScreensTest::SetUp();
        Open(240, 180, 96);
        BuildAboutPage(g_about, g_screen, 16);
    }
};

TEST_F(SmallAboutTest, SpringsBackExactlyToTheEndOfItsRange) {
    ASSERT_TRUE(g_about.scrollable);
    EXPECT_EQ(g_about.lowest, 180 - 180 / 8 - int32_t(g_about.page.height));
    // Pulled down past the top, released still.
    ASSERT_TRUE(AboutPenDown(g_about, 120, 150, 0));
    AboutDrag(g_about, -50, 40);
    EXPECT_EQ(g_about.offset, 66);
    EXPECT_TRUE(g_about.outOfRange);
    EXPECT_EQ(AboutPenUp(g_about, 120, 170, true), 0);
    for (int i = 0; i < 50 && AboutMoving(g_about); ++i) AboutTick(g_about);
    EXPECT_EQ(g_about.offset, 16);
    // Pushed up past the bottom.
    g_about.offset = g_about.lowest;
    ASSERT_TRUE(AboutPenDown(g_about, 120, 150, 0));
    AboutDrag(g_about, 30, 40);
    EXPECT_EQ(AboutPenUp(g_about, 120, 170, true), 0);
    for (int i = 0; i < 50 && AboutMoving(g_about); ++i) AboutTick(g_about);
    EXPECT_EQ(g_about.offset, g_about.lowest);
}

TEST_F(SmallAboutTest, FlingSlowsByNineTenthsAndStops) {
    // Released at 3 px per 100 ms: steps of 1.6 times the speed, which falls
    // by a tenth each tick, until a step would be 0.
    ASSERT_TRUE(AboutPenDown(g_about, 120, 150, 0));
    AboutDrag(g_about, 3, 100);
    AboutPenUp(g_about, 120, 147, false);
    std::vector<int32_t> steps;
    for (int i = 0; i < 100 && AboutMoving(g_about); ++i) {
        const int32_t before = g_about.offset;
        AboutTick(g_about);
        steps.push_back(before - g_about.offset);
    }
    EXPECT_EQ(steps, (std::vector<int32_t>{4, 4, 3, 3, 3, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 0}));
    EXPECT_FALSE(AboutMoving(g_about));
}

TEST_F(SmallAboutTest, DonateActsOnlyWhenLiftedOnIt) {
    g_app.screen = kScreenFolders;
    OpenAbout();
    ASSERT_EQ(g_app.screen, kScreenAbout);
    ASSERT_GT(g_about.buttonWidth, 0);
    const int32_t x = g_about.button1X + 5, y = g_about.button1Y + g_about.offset + 5;
    RoutePenDown(x, y);
    EXPECT_EQ(g_about.pressed, 1);
    RoutePenUp(x, y + g_about.buttonHeight + 20);  // slid off
    EXPECT_EQ(g_app.screen, kScreenAbout);
    EXPECT_TRUE(WebPages().empty());
    Press(x, y, x, y);
    // No web page is configured: the README of the source tree opens.
    ASSERT_EQ(WebPages().size(), 1u);
    EXPECT_EQ(WebPages()[0], ProjectPage());
    EXPECT_TRUE(WebPages()[0].ends_with("/README.md")) << WebPages()[0];
    EXPECT_TRUE(platform::FileExists(platform::FromPosixPath(WebPages()[0])));
    EXPECT_EQ(g_app.screen, kScreenFolders);  // back where it was opened
    EXPECT_FALSE(g_about.page.HasPixels());
    // Cancel from a list screen returns there.
    ShowScreen(kScreenSubList, false);
    OpenAbout();
    const int32_t cancelY = g_about.button2Y + g_about.offset + 5;
    Press(g_about.button2X + 5, cancelY, g_about.button2X + 5, cancelY);
    EXPECT_EQ(g_app.screen, kScreenSubList);
}

}  // namespace
}  // namespace kra::test
