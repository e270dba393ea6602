#include <gtest/gtest.h>

#include <algorithm>

#include "app/shell.h"
#include "app_test_util.h"
#include "support/recorded_messages.h"
#include "support/temp_tree.h"

namespace kra {
namespace {

// What the hooks saw, in order.
std::vector<std::string> g_calls;

void Record(const std::string& call) {
    g_calls.push_back(call);
}

class DispatchTest : public test::ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        g_calls.clear();
        g_hooks.togglePause = [] {
            Record("togglePause");
            g_app.paused = !g_app.paused;
        };
        g_hooks.nextTrack = [] { Record("next"); };
        g_hooks.previousTrack = [] { Record("previous"); };
        g_hooks.randomTrack = [] { Record("random"); };
        g_hooks.noteRemote = [] { Record("noteRemote"); };
        g_hooks.applyVolume = [](uint32_t v) { Record("volume " + std::to_string(v)); };
        g_hooks.refreshFromPlayer = [] { Record("refresh"); };
        g_hooks.applyPendingResume = [] { Record("resume"); };
        g_hooks.playerPlay = [] { Record("play"); };
        g_app.osMajor = 5;
        g_app.osMinor = 2;
    }
    static intptr_t Command(uint16_t id, intptr_t lParam = 0) {
        return WindowProc(platform::kWmCommand, id, lParam);
    }
    static uint32_t StoredVolume() {
        const platform::RegValue v = test::Stored(u"MusicVolume");
        return v.data.size() == 4 ? uint32_t(v.data[0] | v.data[1] << 8) : 0xFFFFFFFF;
    }
};

TEST_F(DispatchTest, PullingTheHeadsetOutPausesOnlyWhilePlaying) {
    for (uint32_t message : {kMsgHeadsetPlug, kMsgHeadsetBits, kMsgHeadsetWired}) {
        g_calls.clear();
        g_app.paused = false;
        g_app.status[kSlotHeadset] = 8;
        WindowProc(message, 0, 0);
        EXPECT_EQ(g_app.status[kSlotHeadset], 0);
        EXPECT_EQ(g_calls, std::vector<std::string>{"togglePause"}) << message;
        EXPECT_TRUE(g_app.paused);
        // Paused already: the slot clears, nothing else happens.
        g_calls.clear();
        g_app.status[kSlotHeadset] = 6;
        WindowProc(message, 0, 0);
        EXPECT_EQ(g_app.status[kSlotHeadset], 0);
        EXPECT_TRUE(g_calls.empty());
    }
}

TEST_F(DispatchTest, StatusSlotsFromStateMessages) {
    struct Case {
        uint32_t message;
        uintptr_t wParam;
        int slot;
        uint8_t expected;
    };
    const Case cases[] = {
        {kMsgBluetooth, 1, kSlotBluetooth, 4},
        {kMsgBluetooth, 2, kSlotBluetooth, 0},
        {kMsgSlotTwo, 2, kSlotTwo, 5},
        {kMsgSlotTwo, 1, kSlotTwo, 0},
        {kMsgHeadsetPlug, 1, kSlotHeadset, 8},
        {kMsgSlotFour, 3, kSlotFour, 7},
        {kMsgSlotFour, 0, kSlotFour, 0},
        {kMsgHeadsetBits, 0x14, kSlotHeadset, 8},
        {kMsgHeadsetBits, 0x04, kSlotHeadset, 9},
        {kMsgHeadsetWired, 5, kSlotHeadset, 6},
    };
    for (const Case& c : cases) {
        g_app.status[c.slot] = 99;
        WindowProc(c.message, c.wParam, 0);
        EXPECT_EQ(g_app.status[c.slot], c.expected) << std::hex << c.message << " " << c.wParam;
    }
    // A headset report with neither bit leaves the slot as it was.
    g_app.status[kSlotHeadset] = 6;
    WindowProc(kMsgHeadsetBits, 0x01, 0);
    EXPECT_EQ(g_app.status[kSlotHeadset], 6);
}

TEST_F(DispatchTest, VolumeStepsStopAtTheEndsAndAreStored) {
    g_settings.musicVolume = 97;
    Command(kCmdVolumeUp);
    EXPECT_EQ(g_settings.musicVolume, 100u);
    Command(kCmdVolumeUp);
    EXPECT_EQ(g_settings.musicVolume, 100u);
    EXPECT_EQ(StoredVolume(), 100u);
    g_settings.musicVolume = 3;
    Command(kCmdVolumeDown);
    EXPECT_EQ(g_settings.musicVolume, 0u);
    Command(kCmdVolumeDown);
    EXPECT_EQ(g_settings.musicVolume, 0u);
    EXPECT_EQ(StoredVolume(), 0u);
    EXPECT_EQ(g_calls,
              (std::vector<std::string>{"volume 100", "volume 100", "volume 0", "volume 0"}));
    EXPECT_TRUE(platform::IsTimerSet(kTimerHoldOff));
}

TEST_F(DispatchTest, SetVolumeAppliesAndOnlyStoreWrites) {
    Command(kCmdSetVolume, 42);
    EXPECT_EQ(g_settings.musicVolume, 42u);
    EXPECT_EQ(test::Stored(u"MusicVolume").type, platform::kRegNone);
    Command(kCmdStoreVolume);
    EXPECT_EQ(StoredVolume(), 42u);
    // Out-of-range values from other programs are clamped.
    Command(kCmdSetVolume, 1000);
    EXPECT_EQ(g_settings.musicVolume, 100u);
    Command(kCmdSetVolume, -7);
    EXPECT_EQ(g_settings.musicVolume, 0u);
    EXPECT_FALSE(platform::IsTimerSet(kTimerHoldOff));
}

TEST_F(DispatchTest, RemoteCommandsNoteTheRemoteAndHoldOff) {
    Command(kCmdRemotePause);
    Command(kCmdRemoteNext);
    Command(kCmdRemotePrevious);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"noteRemote", "togglePause", "noteRemote", "next",
                                                 "noteRemote", "previous"}));
    EXPECT_TRUE(platform::IsTimerSet(kTimerHoldOff));
    g_calls.clear();
    g_app.paused = true;
    Command(kCmdRemoteNextIfPlaying);
    Command(kCmdRemoteRandom);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"noteRemote", "noteRemote", "random"}));
    g_calls.clear();
    Command(kCmdHtcNext);
    Command(kCmdHtcPrevious);
    Command(kCmdHtcPause);
    Command(kCmdNext);
    Command(kCmdPrevious);
    Command(kCmdPause);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"next", "previous", "togglePause", "next",
                                                 "previous", "togglePause"}));
}

TEST_F(DispatchTest, PlayerStatesFollowTheEventProtocolVersion) {
    g_app.paused = false;
    Command(kCmdStatePaused);      // version 5.1 only
    Command(kCmdFirstPlaying);     // version 5.1 only
    Command(kCmdEndOfTrack);       // version 5.1 only
    Command(kCmdStateBuffering);   // resume, then refresh
    Command(kCmdStateMediaEnded);  // next
    EXPECT_EQ(g_calls, (std::vector<std::string>{"resume", "refresh", "next"}));
    g_app.paused = true;
    g_calls.clear();
    Command(kCmdStateMediaEnded);
    Command(kCmdStatePlaying);
    EXPECT_TRUE(g_calls.empty());
    EXPECT_FALSE(platform::IsTimerSet(kTimerPosition));
    g_app.paused = false;
    Command(kCmdStatePlaying);
    EXPECT_TRUE(platform::IsTimerSet(kTimerPosition));

    g_app.osMinor = 1;
    g_calls.clear();
    g_app.resumePending = true;
    Command(kCmdStatePaused);
    Command(kCmdStateBuffering);
    Command(kCmdStateMediaEnded);
    Command(kCmdFirstPlaying);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"refresh", "play", "resume"}));
    EXPECT_FALSE(g_app.resumePending);
}

TEST_F(DispatchTest, EndOfTrackSkipsOnlyAfterTheFirstSecondAndAHalf) {
    g_app.osMinor = 1;
    g_app.paused = false;
    g_app.lastTrackStartTick = platform::TickCount();
    platform::AdvanceVirtualClock(1500);
    Command(kCmdEndOfTrack);
    EXPECT_TRUE(g_calls.empty());
    platform::AdvanceVirtualClock(1);
    Command(kCmdEndOfTrack);
    EXPECT_EQ(g_calls, std::vector<std::string>{"next"});
    // The skip flag swallows one end.
    g_calls.clear();
    g_app.skipNextEnd = true;
    Command(kCmdEndOfTrack);
    EXPECT_FALSE(g_app.skipNextEnd);
    EXPECT_TRUE(g_calls.empty());
    // Paused: no skip.
    g_app.paused = true;
    Command(kCmdEndOfTrack);
    EXPECT_TRUE(g_calls.empty());
    // The tick count wraps; the difference still counts.
    platform::UseVirtualClock(0xFFFFFF00u);
    g_app.paused = false;
    g_app.lastTrackStartTick = platform::TickCount();
    platform::AdvanceVirtualClock(0x800);
    Command(kCmdEndOfTrack);
    EXPECT_EQ(g_calls, std::vector<std::string>{"next"});
}

TEST_F(DispatchTest, CommandIdIsTheLowWordAndIsLogged) {
    test::TempTree tree;
    test::LogCapture log(tree);
    WindowProc(platform::kWmCommand, 0x00010000u | kCmdNext, 0);
    Command(999);  // unknown: logged, nothing done
    EXPECT_EQ(g_calls, std::vector<std::string>{"next"});
    const std::vector<std::string> lines = log.Messages();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "WM_COMMAND 302"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "WM_COMMAND 999"), lines.end());
}

TEST_F(DispatchTest, FocusGainAndLoss) {
    // Before the first Show the focus changes nothing but the minimise time.
    g_app.lastMinimiseTick = 5;
    WindowProc(platform::kWmSetFocus, 1, 0);
    EXPECT_EQ(g_app.lastMinimiseTick, 0u);
    EXPECT_FALSE(platform::IsTimerSet(kTimerReshow));
    EXPECT_FALSE(g_app.focusGuard);

    g_app.firstShowPending = false;
    WindowProc(platform::kWmSetFocus, 0, 0);
    EXPECT_TRUE(platform::IsTimerSet(kTimerReshow));
    EXPECT_FALSE(g_app.focusGuard);
    WindowProc(platform::kWmSetFocus, 1, 0);
    EXPECT_TRUE(g_app.focusGuard);
    EXPECT_TRUE(platform::IsTimerSet(kTimerFocusGuard));
    // The guard's one-shot timer clears it and is gone.
    WindowProc(platform::kWmTimer, kTimerFocusGuard, 0);
    EXPECT_FALSE(g_app.focusGuard);
    EXPECT_FALSE(platform::IsTimerSet(kTimerFocusGuard));

    const uint32_t killed[] = {kTimerAnimation, kTimerClock, kTimerScreenOff, kTimerScreenOffAc};
    for (uint32_t id : killed) platform::SetTimer(id, 1000);
    platform::SetTimer(kTimerKeepAwake, 5000);
    WindowProc(platform::kWmKillFocus, 0, 0);
    for (uint32_t id : killed) EXPECT_FALSE(platform::IsTimerSet(id)) << id;
    EXPECT_TRUE(platform::IsTimerSet(kTimerKeepAwake));  // keeps running in the background
}

TEST_F(DispatchTest, OneShotTimersAreKilledAndPeriodicOnesKept) {
    int ticks = 0;
    static int* counter = nullptr;
    counter = &ticks;
    g_hooks.animationTick = [] { ++*counter; };
    g_hooks.callEndResume = [] { ++*counter; };
    platform::SetTimer(kTimerAnimation, 60);
    platform::SetTimer(kTimerCallResume, 2500);
    WindowProc(platform::kWmTimer, kTimerAnimation, 0);
    WindowProc(platform::kWmTimer, kTimerCallResume, 0);
    EXPECT_EQ(ticks, 2);
    EXPECT_TRUE(platform::IsTimerSet(kTimerAnimation));
    EXPECT_FALSE(platform::IsTimerSet(kTimerCallResume));
    // Timer 0x406 closes the window through the queue.
    platform::SetTimer(kTimerQuit, 0);
    WindowProc(platform::kWmTimer, kTimerQuit, 0);
    EXPECT_FALSE(platform::IsTimerSet(kTimerQuit));
    platform::SetWindowProc(&test::Record);
    EXPECT_EQ(test::TakeMessages(), (std::vector<test::Msg>{{platform::kWmClose, 0, 0}}));
}

TEST_F(DispatchTest, RotationBookkeeping) {
    static int reapplied = 0;
    static std::vector<int> layouts;
    reapplied = 0;
    layouts.clear();
    g_hooks.reapplyOrientation = [] { ++reapplied; };
    g_hooks.layoutForOrientation = [](uint8_t o) { layouts.push_back(o); };
    g_hooks.resetOrientationTo0 = [] { layouts.push_back(-1); };

    // Rotations are undone at once by default.
    WindowProc(platform::kWmSettingChange, kSettingChangeRotation, 1);
    EXPECT_EQ(g_app.deviceOrientation, 1);
    EXPECT_EQ(reapplied, 1);
    WindowProc(platform::kWmSettingChange, kSettingChangeRotation, 1);  // same: nothing
    EXPECT_EQ(reapplied, 1);
    WindowProc(platform::kWmSettingChange, 0x1234, 2);  // another setting
    EXPECT_EQ(g_app.deviceOrientation, 1);

    // Following rotations: applied 500 ms later.
    g_settings.ignoreScreenRotation = 0;
    WindowProc(platform::kWmSettingChange, kSettingChangeRotation, 2);
    EXPECT_EQ(g_app.deviceOrientation, 2);
    EXPECT_TRUE(platform::IsTimerSet(kTimerRotation));
    g_app.drawingOrientation = 2;
    WindowProc(platform::kWmTimer, kTimerRotation, 0);
    EXPECT_EQ(layouts, std::vector<int>{2});
    EXPECT_FALSE(platform::IsTimerSet(kTimerRotation));

    // A profile that rotates by itself keeps the report as pending.
    layouts.clear();
    g_app.profileRotatesItself = true;
    WindowProc(platform::kWmSettingChange, kSettingChangeRotation, 4);
    EXPECT_EQ(g_app.deviceOrientation, 2);
    EXPECT_EQ(g_app.pendingOrientation, 4);
    WindowProc(platform::kWmTimer, kTimerRotation, 0);
    EXPECT_EQ(layouts, (std::vector<int>{-1, 4}));
    EXPECT_EQ(g_app.deviceOrientation, 0);

    // Display kind 3 ignores rotations.
    g_app.displayKind = 3;
    WindowProc(platform::kWmSettingChange, kSettingChangeRotation, 1);
    EXPECT_EQ(g_app.pendingOrientation, 4);
}

TEST_F(DispatchTest, PenPositionsAreSignedSixteenBitHalves) {
    static std::vector<std::pair<int, int>> pens;
    pens.clear();
    g_hooks.penDown = [](int x, int y) { pens.emplace_back(x, y); };
    g_hooks.penUp = [](int x, int y) { pens.emplace_back(x, y); };
    WindowProc(platform::kWmLButtonDown, 0, intptr_t((799u << 16) | 479u));
    WindowProc(platform::kWmLButtonUp, 0, intptr_t(0xFFFEFFFFu));
    EXPECT_EQ(pens, (std::vector<std::pair<int, int>>{{479, 799}, {-1, -2}}));
}

TEST_F(DispatchTest, UnknownMessagesAndPaint) {
    EXPECT_EQ(WindowProc(platform::kWmEraseBkgnd, 0, 0), 1);
    EXPECT_EQ(WindowProc(platform::kWmPaint, 0, 0), 0);
    EXPECT_EQ(WindowProc(0x7FFF, 1, 2), 0);
    static int seen = 0;
    RegisterMessageHandler(0x7FFF, [](uintptr_t w, intptr_t) -> intptr_t {
        seen = int(w);
        return 7;
    });
    EXPECT_EQ(WindowProc(0x7FFF, 3, 0), 7);
    EXPECT_EQ(seen, 3);
    ClearRegisteredMessageHandlers();
    EXPECT_EQ(WindowProc(0x7FFF, 4, 0), 0);
}

}  // namespace
}  // namespace kra
