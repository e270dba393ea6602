// The shake detector sample by sample, and the orientation events.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "app/base/app_state.h"
#include "app/base/settings.h"
#include "device/shake.h"
#include "platform/message_loop.h"
#include "platform/sensor-text.h"
#include "platform/sensor.h"

namespace kra {
namespace {

// Feeds (x, y) pairs at 100 ms steps from `start`; returns the accepted
// samples' indexes.
std::vector<int> Feed(ShakeDetector& d, const std::vector<std::pair<int, int>>& samples,
                      uint32_t start, uint32_t threshold = 100) {
    std::vector<int> accepted;
    for (size_t i = 0; i < samples.size(); ++i) {
        if (ShakeSample(d, samples[i].first, samples[i].second, threshold,
                        start + uint32_t(i) * 100))
            accepted.push_back(int(i));
    }
    return accepted;
}

TEST(ShakeDetector, HitRulesAtThreshold100) {
    struct Case {
        int dY, dX;
        bool hit;
    };
    const Case cases[] = {
        {120, 20, true}, {120, 15, false},  // dY > T needs dX > 15
        {101, 16, true}, {100, 16, false},  // T itself is not above T
        {41, 101, true}, {40, 101, false},  // dX > T needs dY > 40
        {51, 51, true},  {50, 51, false},   // both above H = 50
        {51, 50, false}, {0, 0, false},
    };
    for (const Case& c : cases) {
        ShakeDetector d;
        StartShakeDetector(d, 0, 0);
        ShakeSample(d, c.dX, c.dY, 100, 10000);
        EXPECT_EQ(d.hits, c.hit ? 1u : 0u) << "dY " << c.dY << " dX " << c.dX;
        // The sign of a change does not matter.
        StartShakeDetector(d, 0, 0);
        ShakeSample(d, -c.dX, -c.dY, 100, 10000);
        EXPECT_EQ(d.hits, c.hit ? 1u : 0u) << "dY -" << c.dY << " dX -" << c.dX;
    }
}

TEST(ShakeDetector, ThreeHitsInARowAreAShakeHitsAbove200CountTwice) {
    ShakeDetector d;
    StartShakeDetector(d, 0, 0);
    EXPECT_EQ(Feed(d, {{20, 120}, {0, 0}, {20, 120}}, 5000), std::vector<int>{2});
    EXPECT_EQ(d.hits, 0u);

    StartShakeDetector(d, 0, 0);
    // Hit, hit, quiet (no change), hit, hit: never three in a row.
    EXPECT_TRUE(Feed(d, {{20, 120}, {0, 0}, {0, 0}, {20, 120}, {0, 0}}, 5000).empty());
    EXPECT_EQ(d.hits, 2u);

    StartShakeDetector(d, 100, 100);
    // 201 degrees on both axes counts twice: two such hits are a shake.
    EXPECT_EQ(Feed(d, {{-101, -101}, {100, 100}}, 5000), std::vector<int>{1});
    // 200 exactly counts once: three hits needed.
    StartShakeDetector(d, 100, 100);
    EXPECT_EQ(Feed(d, {{-100, -100}, {100, 100}, {-100, -100}}, 5000), std::vector<int>{2});
}

// Three hits and a quiet sample, from rest at (0, 0) or at (20, 120); the
// shake completes on the third sample and ends at the other rest.
std::vector<std::pair<int, int>> Shake(bool fromZero) {
    if (fromZero) return {{20, 120}, {0, 0}, {20, 120}, {20, 120}};
    return {{0, 0}, {20, 120}, {0, 0}, {0, 0}};
}

TEST(ShakeDetector, AShakeWithin1500MsIsIgnoredAndRestartsTheWait) {
    // From tick 0, and from just before the tick count wraps (between the
    // ignored third shake and the accepted fourth).
    for (const uint32_t start : {0u, 0xFFFFF060u}) {
        ShakeDetector d;
        StartShakeDetector(d, 0, 0);
        // The first shake right after a start counts, even near tick 0.
        EXPECT_EQ(Feed(d, Shake(true), start), std::vector<int>{2});  // completed at 200
        EXPECT_TRUE(Feed(d, Shake(false), start + 1500).empty());     // 1500 after: ignored
        EXPECT_TRUE(Feed(d, Shake(true), start + 3000).empty());      // 1500 after the ignored one
        EXPECT_EQ(Feed(d, Shake(false), start + 4501), std::vector<int>{2});  // 1501 after
    }
}

TEST(ShakeDetector, AnglesAreNormalisedIntoMinus180To180) {
    EXPECT_EQ(NormaliseAngle(180), 180);
    EXPECT_EQ(NormaliseAngle(-180), 180);
    EXPECT_EQ(NormaliseAngle(181), -179);
    EXPECT_EQ(NormaliseAngle(-181), 179);
    EXPECT_EQ(NormaliseAngle(int64_t(std::numeric_limits<int32_t>::min())), -128);
    EXPECT_EQ(NormaliseAngle(int64_t(std::numeric_limits<uint32_t>::max())), -105);

    // 350 and -10 are the same tilt: no change, no hit.
    ShakeDetector d;
    StartShakeDetector(d, -10, -10);
    ShakeSample(d, 350, 350, 100, 1000);
    EXPECT_EQ(d.hits, 0u);
    EXPECT_EQ(d.previousX, -10);
    // A small wobble across zero is a small change, not 360.
    ShakeSample(d, 5, 5, 100, 1100);
    EXPECT_EQ(d.hits, 0u);
}

TEST(ShakeDetector, ThresholdsAreComparedUnsigned) {
    // A huge stored threshold (a negative number written by hand) never hits
    // through T or H.
    ShakeDetector d;
    StartShakeDetector(d, -180 + 1, -180 + 1);
    EXPECT_TRUE(Feed(d, {{180, 180}, {-179, -179}, {180, 180}}, 1000, 0xFFFFFFFFu).empty());
    EXPECT_EQ(d.hits, 0u);
    // Threshold 1: H is 0, any change of both angles is a hit.
    StartShakeDetector(d, 0, 0);
    EXPECT_EQ(Feed(d, {{1, 1}, {0, 0}, {1, 1}}, 1000, 1), std::vector<int>{2});
}

// ---- The sensor texts ----

TEST(SensorText, Numbers) {
    double v = 7;
    EXPECT_TRUE(platform::ParseSysfsNumber("-512\n", &v));
    EXPECT_EQ(v, -512);
    EXPECT_TRUE(platform::ParseSysfsNumber(" +0.009806650 ", &v));
    EXPECT_EQ(v, 0.009806650);
    for (const char* bad :
         {"", "-", "12abc", "1 2", "1\n\n", "nan", "inf", "1e999", "0x10", "1,5"}) {
        v = 7;
        EXPECT_FALSE(platform::ParseSysfsNumber(bad, &v)) << bad;
        EXPECT_EQ(v, 7) << bad;  // untouched
    }
    // Only the bytes given are read: the digits after the view do not count.
    const char text[] = "12345";
    EXPECT_TRUE(platform::ParseSysfsNumber(std::string_view(text, 2), &v));
    EXPECT_EQ(v, 12);
}

TEST(SensorText, MountMatrix) {
    double m[3][3] = {};
    ASSERT_TRUE(platform::ParseMountMatrix("0, 1, 0; -1, 0, 0; 0, 0, 1\n", m));
    EXPECT_EQ(m[0][1], 1);
    EXPECT_EQ(m[1][0], -1);
    EXPECT_EQ(m[2][2], 1);
    const double identity[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (const char* bad :
         {"", "1, 0, 0; 0, 1, 0", "1, 0, 0; 0, 1, 0; 0, 0, 1;", "1; 0, 0, 0, 1, 0; 0, 0, 1",
          "1, 0, 0; 0, 1, 0; 0, 0, 1 x", "1, 0, 0; 0, 1, 0; 0, 0, nan"}) {
        std::memcpy(m, identity, sizeof m);
        EXPECT_FALSE(platform::ParseMountMatrix(bad, m)) << bad;
        EXPECT_EQ(std::memcmp(m, identity, sizeof m), 0) << bad;  // untouched
    }
}

TEST(SensorText, TiltAndOrientationNames) {
    int32_t x = 0, y = 0;
    // Lying face down keeps both small: angles to the horizontal, not
    // full-circle angles.
    const double faceDown[3] = {0.02, -0.02, -1};
    platform::TiltDegrees(faceDown, &x, &y);
    EXPECT_EQ(x, 1);
    EXPECT_EQ(y, -1);
    const double huge[3] = {1e300, 1e300, 1e300};
    platform::TiltDegrees(huge, &x, &y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);

    EXPECT_EQ(platform::OrientationValue("normal"), 0x12u);
    EXPECT_EQ(platform::OrientationValue("bottom-up"), 0x13u);
    EXPECT_EQ(platform::OrientationValue("undefined"), 0u);
    EXPECT_EQ(platform::OrientationValue("Normal"), 0u);
}

// ---- Orientation events ----

class SensorOrientationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetShakeControl();
        ResetAppState();
        ResetSettings();
        platform::ResetMessageLoop();
        g_settings.noAlbumFlow = 0;
        g_shakeHost.foreground = [] { return true; };
        g_shakeHost.screenOff = [] { return s_screenOff; };
        g_shakeHost.showScreen = [](uint8_t screen, bool remember) {
            s_switches.push_back(screen * 10 + (remember ? 1 : 0));
            g_app.screen = screen;
            return true;
        };
        g_readOrientation = [] { return s_sensorNow; };
        s_switches.clear();
        s_screenOff = false;
        s_sensorNow = 0;
    }
    void TearDown() override {
        ResetShakeControl();
        platform::ResetMessageLoop();
    }
    // The sensor turns to `value` and reports it.
    static void Turn(uint32_t value) {
        s_sensorNow = value;
        OnSensorOrientation(value);
    }
    // Timer 0x415 fires when armed.
    static void FireTimer() {
        if (!platform::IsTimerSet(kTimerSensorApply)) return;
        platform::KillTimer(kTimerSensorApply);
        ApplySensorOrientation();
    }

    static inline std::vector<int> s_switches;
    static inline bool s_screenOff = false;
    static inline uint32_t s_sensorNow = 0;
};

TEST_F(SensorOrientationTest, HeldTurnsSwitchRevertedOnesDoNot) {
    g_app.screen = kScreenNowPlaying;
    Turn(0x10);  // landscape, but nothing was known: only stored
    EXPECT_EQ(g_sensorOrientation.stored, 0);
    EXPECT_FALSE(platform::IsTimerSet(kTimerSensorApply));
    Turn(0);  // none known again
    EXPECT_EQ(g_sensorOrientation.stored, kOrientationNone);
    Turn(0x12);  // portrait, stored
    Turn(0x11);  // landscape
    Turn(0x12);  // back within the 500 ms
    FireTimer();
    Turn(0x10);
    s_sensorNow = 0x12;  // turned back without an event reaching us yet
    FireTimer();
    EXPECT_TRUE(s_switches.empty());
    EXPECT_EQ(g_sensorOrientation.stored, 2);

    Turn(0x11);
    FireTimer();
    EXPECT_EQ(s_switches, std::vector<int>{51});  // album flow, previous screen kept
    Turn(0x13);
    FireTimer();
    EXPECT_EQ(s_switches, (std::vector<int>{51, 40}));
    EXPECT_EQ(g_sensorOrientation.stored, 3);
}

TEST_F(SensorOrientationTest, IgnoredWithScreenOffAndWithoutAlbumFlow) {
    g_app.screen = kScreenNowPlaying;
    Turn(0x12);
    s_screenOff = true;
    Turn(0x10);
    EXPECT_FALSE(platform::IsTimerSet(kTimerSensorApply));
    s_screenOff = false;
    g_settings.noAlbumFlow = 1;
    Turn(0x10);
    FireTimer();
    EXPECT_TRUE(s_switches.empty());
    EXPECT_EQ(g_sensorOrientation.stored, 0);  // stored even without a switch
}

}  // namespace
}  // namespace kra
