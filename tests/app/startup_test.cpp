#include <gtest/gtest.h>

#include <algorithm>

#include "app/shell.h"
#include "app_test_util.h"
#include "support/temp_tree.h"

namespace kra {
namespace {

std::vector<std::string> g_calls;
bool g_playerOk = true;
bool g_probeOk = true;
bool g_orientationOk = true;

// Every hook of the start-up and shutdown sequences, recording its name.
void InstallRecordingHooks() {
    g_hooks.resetDisplayOrientation = [] {
        g_calls.push_back("orientation");
        return g_orientationOk;
    };
    g_hooks.readHardwareIndicators = [] {
        g_calls.push_back("indicators");
        g_app.status[kSlotBluetooth] = 4;
        g_app.status[kSlotHeadset] = 8;
    };
    g_hooks.detectSensor = [] {
        g_calls.push_back("sensor");
        return false;
    };
    g_hooks.createPlayer = [](std::u16string& error) {
        g_calls.push_back("player");
        error = u"no audio output";
        return g_playerOk;
    };
    g_hooks.openScreen = [](int mode, std::u16string&) {
        g_calls.push_back("screen " + std::to_string(mode));
        return true;
    };
    g_hooks.layoutScreens = [] { g_calls.push_back("layout"); };
    g_hooks.loadSkin = [] { g_calls.push_back("skin"); };
    g_hooks.loadLanguage = [] { g_calls.push_back("language"); };
    g_hooks.refreshStatusBar = [] { g_calls.push_back("statusbar"); };
    g_hooks.loadLibraryLists = [] { g_calls.push_back("lists"); };
    g_hooks.buildIndexes = [] { g_calls.push_back("indexes"); };
    g_hooks.applyPlayerSettings = [] { g_calls.push_back("playerSettings"); };
    g_hooks.createProbe = [] {
        g_calls.push_back("probe");
        return g_probeOk;
    };
    g_hooks.queryLcdOff = [] {
        g_calls.push_back("lcdoff");
        return true;
    };
    g_hooks.audioPowerUp = [] {
        g_calls.push_back("audioPower");
        g_app.audioPowerHeld = true;
    };
    g_hooks.telephonyInit = [] { g_calls.push_back("telephony"); };
    g_hooks.setUpRemotePlugins = [] { g_calls.push_back("plugins"); };
    g_hooks.showWindow = [] { g_calls.push_back("showWindow"); };
    g_hooks.redrawScreen = [] { g_calls.push_back("redraw"); };
    g_hooks.fadeIn = [](int step) { g_calls.push_back("fadeIn " + std::to_string(step)); };
    g_hooks.setAllTimer = [] { g_calls.push_back("setAllTimer"); };
    g_hooks.showNotice = [](const std::u16string&) { g_calls.push_back("notice"); };
    g_hooks.showFailure = [](const std::u16string& text) {
        g_calls.push_back("failure " + Utf16ToUtf8(text));
    };
    g_hooks.restoreMediaLibrary = [] { g_calls.push_back("restoreLibrary"); };
}

class StartupTest : public test::ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        g_calls.clear();
        g_playerOk = g_probeOk = g_orientationOk = true;
        LogOpen(tree_.Core("kra.log"));
        test::Put(u"DebugOn", platform::kRegBinary, {1});
    }
    std::vector<std::string> Log() {
        LogClose();
        return test::LogMessages(tree_.Posix("kra.log"));
    }
    test::TempTree tree_;
};

TEST_F(StartupTest, StepsRunInTheirFixedOrder) {
    InstallRecordingHooks();
    test::Put(u"LastFolder", platform::kRegSz, test::Utf16Z(u"\\home\\ann\\Music"));
    EXPECT_TRUE(InitApplication());
    const std::vector<std::string> expected = {
        "orientation", "indicators", "sensor",     "player",    "screen 2", "layout",
        "skin",        "language",   "statusbar",  "lists",     "indexes",  "playerSettings",
        "probe",       "lcdoff",     "audioPower", "telephony", "plugins",  "showWindow",
        "redraw",      "fadeIn 6",   "setAllTimer"};
    EXPECT_EQ(g_calls, expected);
    EXPECT_EQ(Log(), (std::vector<std::string>{"KRA v0.70 by Movo",
                                               "WM5.2 sysWidth=480 sysHeight=800 A=0 D=2",
                                               "<\\home\\ann\\Music>", "<\\home\\ann>",
                                               "suspendTimout 998500", "BT=4 BTHd=8", "quit"}));
    EXPECT_EQ(g_app.browseFolder, u"\\home\\ann\\Music");
    EXPECT_EQ(g_app.workingFolder, u"\\home\\ann");
    EXPECT_EQ(g_app.controlBarHeight, 120);  // AlbumLayout 2 at scale 2
    EXPECT_TRUE(g_app.lcdOffSupported);
    EXPECT_FALSE(g_app.firstShowPending);
}

// No hooks: the steps of modules not built are skipped, and a folder in the
// root has the root as its working folder.
TEST_F(StartupTest, StartsWithoutOptionalModulesFromARootFolder) {
    test::Put(u"LastFolder", platform::kRegSz, test::Utf16Z(u"\\Card"));
    EXPECT_TRUE(InitApplication());
    EXPECT_EQ(g_app.workingFolder, u"\\");
    EXPECT_EQ(g_app.browseFolder, u"\\Card");
    const std::vector<std::string> log = Log();
    EXPECT_NE(std::find(log.begin(), log.end(), "BT=0 BTHd=0"), log.end());
}

TEST_F(StartupTest, PlayerFailureStopsWithItsReasonAndQuits) {
    InstallRecordingHooks();
    g_playerOk = false;
    platform::SetWindowProc(WindowProc);
    EXPECT_EQ(OnCreate(), 0);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"orientation", "indicators", "sensor", "player",
                                                 "failure no audio output", "restoreLibrary"}));
    EXPECT_EQ(platform::RunLoop(), 0);  // the quit message is waiting
    // A close that arrives anyway finds nothing to shut down.
    EXPECT_TRUE(g_app.shutdownDone);
}

TEST_F(StartupTest, OrientationOrProbeFailureQuitsWithoutMessage) {
    InstallRecordingHooks();
    g_orientationOk = false;
    EXPECT_FALSE(InitApplication());
    EXPECT_EQ(g_calls, std::vector<std::string>{"orientation"});
    g_calls.clear();
    g_orientationOk = true;
    g_probeOk = false;
    ResetAppState();
    EXPECT_FALSE(InitApplication());
    EXPECT_EQ(g_calls.back(), "probe");
    EXPECT_EQ(std::count_if(g_calls.begin(), g_calls.end(),
                            [](const std::string& c) { return c.rfind("failure", 0) == 0; }),
              0);
}

TEST_F(StartupTest, SuspendTimeoutTakesTheShorterAndZeroAsMissing) {
    const std::u16string key = u"System\\CurrentControlSet\\Control\\Power\\Timeouts";
    auto set = [&](const char16_t* name, uint32_t seconds) {
        platform::RegSetStateValue(key, name,
                                   {platform::kRegDword,
                                    {uint8_t(seconds), uint8_t(seconds >> 8),
                                     uint8_t(seconds >> 16), uint8_t(seconds >> 24)}});
    };
    // Absurd values stay within a timer's range.
    const uint32_t cases[][3] = {
        {0, 60, 59500}, {30, 60, 29500}, {0xFFFFFFFF, 0xFFFFFFF0, 0x7FFFFFFF}};
    for (const auto& [battery, external, expected] : cases) {
        set(u"BattSuspendTimeout", battery);
        set(u"ACSuspendTimeout", external);
        ResetAppState();
        InitApplication();
        EXPECT_EQ(g_app.suspendTimeout, expected) << battery;
    }
}

TEST_F(StartupTest, FirstShowRestoresTheLastTrackThenShowsTheNotes) {
    InstallRecordingHooks();
    platform::RegDeleteKey(platform::RegRoot::CurrentUser, kSettingsKey);  // first start
    g_settings.lastMusic = u"\\m\\a.mp3";
    g_app.pendingNotices = {u"one", u"two"};
    Show();
    EXPECT_EQ(g_app.screen, kScreenNowPlaying);
    EXPECT_TRUE(platform::IsTimerSet(kTimerReloadTrack));
    EXPECT_EQ(g_calls, (std::vector<std::string>{"showWindow", "redraw", "fadeIn 6", "setAllTimer",
                                                 "notice", "notice"}));
    // Later shows only redraw.
    g_calls.clear();
    Show();
    EXPECT_EQ(g_calls, (std::vector<std::string>{"redraw", "fadeIn 6", "setAllTimer"}));
}

TEST_F(StartupTest, NoLastTrackSelectsTheStoredAlbum) {
    static int selected = 0;
    selected = 0;
    g_hooks.selectStoredAlbum = [] { ++selected; };
    Show();
    EXPECT_EQ(selected, 1);
    EXPECT_EQ(g_app.screen, kScreenSongs);
    EXPECT_FALSE(platform::IsTimerSet(kTimerReloadTrack));
}

TEST_F(StartupTest, ShutdownRunsOnceWithItsClosingLinesInOrder) {
    g_debugOn = true;
    g_settings.musicFolder = u"\\m";
    g_settings.lastShowSlide = 1;
    g_app.audioPowerHeld = true;
    platform::SetWindowProc(WindowProc);
    WindowProc(platform::kWmClose, 0, 0);
    WindowProc(platform::kWmDestroy, 0, 0);
    EXPECT_EQ(Log(), (std::vector<std::string>{"Unlock", "KillAllTimer", "Closing 1", "Closing 2",
                                               "Closing 3", "Closing 4", "Restore WAV 1",
                                               "Closing 5", "Closing 6", "Closing 7", "Closing 8",
                                               "Closing 9", "Closing 10", "quit"}));
    EXPECT_EQ(test::Stored(u"LastFolder").data, test::Utf16Z(u"\\m"));
    EXPECT_EQ(test::Stored(u"LastShowSlide").data, std::vector<uint8_t>{1});
    for (const char16_t* name :
         {u"CurrentAlbumName", u"CurrentArtist", u"CurrentTitle", u"CurrentAlbum"}) {
        EXPECT_EQ(test::Stored(name).data, test::Utf16Z(u"")) << Utf16ToUtf8(name);
    }
    EXPECT_EQ(platform::RunLoop(), 0);
}

TEST_F(StartupTest, ShutdownStoresTheTrackThePlayQueueReports) {
    g_hooks.currentTrack = [](std::u16string& path, uint32_t& position, uint32_t& identity) {
        path = u"\\m\\b.mp3";
        position = 77;
        identity = 12;
        return true;
    };
    g_app.trackLoaded = true;
    g_app.paused = true;
    Shutdown();
    EXPECT_EQ(test::Stored(u"LastMusic").data, test::Utf16Z(u"\\m\\b.mp3"));
    EXPECT_EQ(test::Stored(u"LastDuration").data, (std::vector<uint8_t>{77, 0, 0, 0}));
    EXPECT_EQ(test::Stored(u"LastPlayIdentity").data, (std::vector<uint8_t>{12, 0, 0, 0}));
    EXPECT_EQ(test::Stored(u"LastPaused").data, std::vector<uint8_t>{1});
}

}  // namespace
}  // namespace kra
