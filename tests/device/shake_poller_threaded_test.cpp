// The real poller thread on the virtual clock: with scripted sensor
// functions, and over a fake sysfs IIO tree read by the platform backend.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <mutex>
#include <random>
#include <thread>
#include <utility>
#include <vector>

#include "app/base/app_state.h"
#include "app/base/settings.h"
#include "device/shake.h"
#include "platform/clock.h"
#include "platform/message_loop.h"
#include "platform/sensor.h"
#include "support/temp_tree.h"

namespace kra {
namespace {

namespace fs = std::filesystem;

// A posted message and its first parameter.
using Posted = std::pair<uint32_t, uintptr_t>;

// What the poller did, recorded from its thread.
std::mutex g_mutex;
std::vector<Posted> g_posted;
int g_beeps = 0;

// The script: one tilt per round (the last one repeats).
struct Round {
    int32_t x = 0, y = 0;
    bool paused = false;
};
std::vector<Round> g_rounds;
std::atomic<int32_t> g_tiltX{0}, g_tiltY{0};

void RecordPost(uint32_t message, uintptr_t wParam, intptr_t) {
    std::lock_guard lock(g_mutex);
    g_posted.push_back({message, wParam});
}
void RecordBeep() {
    std::lock_guard lock(g_mutex);
    ++g_beeps;
}

const Round& RoundAt(uint64_t round) {
    return g_rounds[std::min<size_t>(size_t(round), g_rounds.size() - 1)];
}

class ShakePollerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::UseVirtualClock(100000);
        ResetShakeControl();
        ResetAppState();
        ResetSettings();
        platform::ResetMessageLoop();
        g_posted.clear();
        g_beeps = 0;
        g_rounds = {{}};
        g_tiltX = g_tiltY = 0;
        g_app.paused = false;
        g_settings.shakeAction = 1;
        g_shakeIo.post = &RecordPost;
        g_shakeIo.beep = &RecordBeep;
        // Scripted sensor functions instead of the platform's.
        g_shakeIo.readTilt = [](int32_t* x, int32_t* y) {
            *x = g_tiltX;
            *y = g_tiltY;
            return true;
        };
        g_shakeIo.hasLight = [] { return true; };
        g_shakeIo.readLight = [](uint8_t* value) {
            *value = 40;
            return true;
        };
        g_shakeIo.beforeRound = [](uint64_t round) {
            const Round& r = RoundAt(round);
            g_tiltX = r.x;
            g_tiltY = r.y;
            g_shakeFlags.paused = r.paused;
        };
    }
    void TearDown() override {
        ResetShakeControl();
        platform::SetBeepRecorder(nullptr);
        platform::ResetMessageLoop();
    }

    // Starts the poller afresh, lets it run every scripted round and a few
    // more, and stops it.
    static void RunScript(std::vector<Round> rounds, size_t extraRounds = 5) {
        g_rounds = std::move(rounds);
        g_posted.clear();
        g_beeps = 0;
        ASSERT_TRUE(StartShakeControl());
        StartShakePolling();
        WaitForShakeRounds(g_rounds.size() + extraRounds);
        EXPECT_TRUE(StopShakeControl(2000));
    }

    static std::vector<Posted> Posts() {
        std::lock_guard lock(g_mutex);
        return g_posted;
    }
    static int Beeps() {
        std::lock_guard lock(g_mutex);
        return g_beeps;
    }
};

// From rest: three changes of 120 degrees in Y and 20 in X, then still.
std::vector<Round> ShakeRounds() {
    return {{0, 0}, {20, 120}, {0, 0}, {20, 120}};
}

TEST_F(ShakePollerTest, EachActionPostsItsCommand) {
    const struct {
        uint8_t action;
        std::vector<Posted> posted;
    } cases[] = {
        {1, {{platform::kWmCommand, kCmdRemoteNext}}},
        {2, {{platform::kWmCommand, kCmdRemoteRandom}}},
        {3, {{kMsgShakeShuffle, 0}}},
        {7, {}},  // only the beep
    };
    for (const auto& c : cases) {
        g_settings.shakeAction = c.action;
        RunScript(ShakeRounds());
        EXPECT_EQ(Posts(), c.posted) << int(c.action);
        EXPECT_EQ(Beeps(), 1) << int(c.action);
    }
}

TEST_F(ShakePollerTest, TheLightCheck) {
    // Five reads per shake; -1 is a failed read.
    static std::vector<int> s_reads;
    static std::atomic<size_t> s_read{0};
    g_shakeIo.readLight = [](uint8_t* value) {
        const int v = s_reads[s_read++ % 5];
        *value = uint8_t(v < 0 ? 200 : v);  // a failed read's value is not used
        return v >= 0;
    };
    const struct {
        std::vector<int> reads;
        bool accepted;
    } cases[] = {
        {{1, 1, 1, 1, 1}, false},      // 5: dark
        {{2, 1, 1, 1, 1}, true},       // 6
        {{-1, -1, -1, -1, -1}, true},  // nothing to judge by
        {{1, -1, -1, -1, -1}, false},  // one read of 1 stands for five
        {{-1, 2, -1, -1, -1}, true},   // 10
    };
    for (const auto& c : cases) {
        s_reads = c.reads;
        s_read = 0;
        RunScript(ShakeRounds());
        EXPECT_EQ(s_read.load(), 5u);
        EXPECT_EQ(Posts().size(), c.accepted ? 1u : 0u) << c.reads[0] << c.reads[1];
        EXPECT_EQ(Beeps(), c.accepted ? 1 : 0);
    }
}

TEST_F(ShakePollerTest, PausedOrScreenOffTakesNoSample) {
    // Moved while paused: the first sample after the pause is one hit only.
    RunScript({{0, 0}, {20, 120, true}, {0, 0, true}, {20, 120, true}, {20, 120}, {20, 120}});
    EXPECT_TRUE(Posts().empty());
    EXPECT_EQ(Beeps(), 0);

    // Screen off: the flag comes from the host at start.
    g_shakeHost.screenOff = [] { return true; };
    RunScript(ShakeRounds());
    EXPECT_TRUE(Posts().empty());
    EXPECT_EQ(Beeps(), 0);
}

TEST_F(ShakePollerTest, QuitBeforePollingStarts) {
    ASSERT_TRUE(StartShakeControl());
    EXPECT_TRUE(platform::IsTimerSet(kTimerShakeStart));
    EXPECT_TRUE(StopShakeControl(2000));
    EXPECT_FALSE(platform::IsTimerSet(kTimerShakeStart));  // killed with the poller
    EXPECT_FALSE(ShakePollerRunning());
    StartShakePolling();  // a late timer finds nothing to start
    EXPECT_TRUE(StopShakeControl(2000));
}

TEST_F(ShakePollerTest, QuitDuringTheLightCheck) {
    static std::atomic<bool> s_inLight{false};
    static std::atomic<uint64_t> s_stopsBefore{0};
    s_inLight = false;
    s_stopsBefore = ShakeStopRequests();
    // The first light read waits until the quit event has been set.
    g_shakeIo.readLight = [](uint8_t* value) {
        s_inLight = true;
        while (ShakeStopRequests() == s_stopsBefore) std::this_thread::yield();
        *value = 255;
        return true;
    };
    g_rounds = ShakeRounds();
    ASSERT_TRUE(StartShakeControl());
    StartShakePolling();
    while (!s_inLight) std::this_thread::yield();
    EXPECT_TRUE(StopShakeControl(2000));
    EXPECT_TRUE(Posts().empty());
    EXPECT_EQ(Beeps(), 0);
}

// ---- A fake sysfs IIO tree read by the platform backend ----

struct Vector {
    double x, y, z;
};
std::vector<Vector> g_vectors;
const test::TempTree* g_tree = nullptr;

// Acceleration in g along each axis of the device, written in place as the
// sensor's raw values. The sensor is mounted turned by 90 degrees, with an
// offset: the device's X is the sensor's -Y, its Y the sensor's X.
void SetAcceleration(const Vector& v) {
    const auto raw = [](double g) { return std::to_string(std::lround(g * 1000) + 100) + "\n"; };
    g_tree->File("iio:device0/in_accel_x_raw", raw(v.y));
    g_tree->File("iio:device0/in_accel_y_raw", raw(-v.x));
    g_tree->File("iio:device0/in_accel_z_raw", raw(v.z));
}

class ShakeTreeTest : public ShakePollerTest {
  protected:
    void SetUp() override {
        ShakePollerTest::SetUp();
        g_tree = &tree_;
        tree_.File("iio:device0/name", "accel_3d\n");
        tree_.File("iio:device0/in_accel_scale", "0.009806650\n");
        tree_.File("iio:device0/in_accel_mount_matrix", "0, -1, 0; 1, 0, 0; 0, 0, 1\n");
        tree_.File("iio:device0/in_accel_offset", "-100\n");
        tree_.File("iio:device1/name", "als\n");
        tree_.File("iio:device1/in_illuminance_input", "40\n");
        SetAcceleration({0, 0, 1});
        platform::SetIioRoot(tree_.Posix().string());
        // The real sensor functions and the real beep path, recorded.
        ResetShakeIo();
        g_shakeIo.post = &RecordPost;
        platform::SetBeepRecorder(&RecordBeep);
        g_shakeIo.beforeRound = [](uint64_t round) {
            SetAcceleration(g_vectors[std::min<size_t>(size_t(round), g_vectors.size() - 1)]);
        };
    }
    void TearDown() override {
        platform::CloseMotionSensors();
        platform::SetIioRoot("");
        ShakePollerTest::TearDown();
        g_tree = nullptr;
    }
    void Run(const std::vector<Vector>& vectors) {
        g_vectors = vectors;
        SetAcceleration(vectors[0]);
        std::string why;
        ASSERT_TRUE(platform::DetectGSensor(&why)) << why;
        ASSERT_TRUE(platform::OpenMotionSensors(&why)) << why;
        ASSERT_TRUE(platform::HasLightSensor());
        ASSERT_TRUE(StartShakeControl());
        StartShakePolling();
        WaitForShakeRounds(vectors.size() + 3);
        EXPECT_TRUE(StopShakeControl(2000));
    }
    test::TempTree tree_;
};

// X 30, Y 60 degrees and its opposite: changes of 60 and 120.
const Vector kTiltA{0.5, 0.866, 0};
const Vector kTiltB{-0.5, -0.866, 0};

TEST_F(ShakeTreeTest, AShakeGivesOneBeepAndOneNext) {
    Run({kTiltA, kTiltB, kTiltA, kTiltB, kTiltB});
    EXPECT_EQ(Posts(), (std::vector<Posted>{{platform::kWmCommand, kCmdRemoteNext}}));
    EXPECT_EQ(Beeps(), 1);
}

TEST_F(ShakeTreeTest, ValuesFromTheTreeDamagedOrOverlongOnesRejected) {
    SetAcceleration(kTiltA);
    ASSERT_TRUE(platform::DetectGSensor());
    ASSERT_TRUE(platform::OpenMotionSensors());
    int32_t x = 0, y = 0;
    ASSERT_TRUE(platform::ReadTilt(&x, &y));
    EXPECT_EQ(x, 30);
    EXPECT_EQ(y, 60);  // through the offset and the mount matrix
    uint8_t lux = 0;
    tree_.File("iio:device1/in_illuminance_input", "1000\n");  // clamped
    ASSERT_TRUE(platform::ReadLight(&lux));
    EXPECT_EQ(lux, 255);

    // The last is a number longer than the read buffer: cut, it would read
    // as another number.
    for (const std::string& text : {std::string(), std::string("12abc"), std::string(40, '1')}) {
        tree_.File("iio:device0/in_accel_y_raw", text);
        EXPECT_FALSE(platform::ReadTilt(&x, &y)) << text;
    }
    tree_.File("iio:device0/in_accel_y_raw", "  -500 \n");
    EXPECT_TRUE(platform::ReadTilt(&x, &y));
}

// A minute at rest with a little sensor noise.
std::vector<Vector> Resting(double x, double y, double z) {
    std::vector<Vector> vectors;
    std::mt19937 random(7);
    std::uniform_real_distribution<double> noise(-0.02, 0.02);
    for (int i = 0; i < 600; ++i) vectors.push_back({x + noise(random), y + noise(random), z});
    return vectors;
}

TEST_F(ShakeTreeTest, RestAndWalkingGiveNothing) {
    // Upright in a pocket: +-0.3 g at 2 Hz across and along, sampled at 10 Hz.
    std::vector<Vector> walking;
    for (int i = 0; i < 600; ++i) {
        const double phase = 2 * M_PI * 2 * i / 10.0 + 0.3;
        walking.push_back(
            {0.3 * std::sin(phase), 1 + 0.3 * std::cos(phase), 0.3 * std::sin(phase)});
    }
    // A minute face down (the angles near their ends) and upright.
    for (const auto& trace : {Resting(0, 0, -1), Resting(0, 1, 0), walking}) {
        Run(trace);
        EXPECT_TRUE(Posts().empty());
        EXPECT_EQ(Beeps(), 0);
    }
}

TEST_F(ShakeTreeTest, AnAccelerometerThatCannotBeReadGivesNoPoller) {
    ASSERT_TRUE(platform::DetectGSensor());
    fs::remove(tree_.Posix("iio:device0/in_accel_z_raw"));
    std::string why;
    EXPECT_FALSE(platform::OpenMotionSensors(&why));
    EXPECT_NE(why.find("in_accel_z_raw"), std::string::npos) << why;
    EXPECT_FALSE(StartShakeControl());  // no first reading: no poller, no timer
    EXPECT_FALSE(ShakePollerRunning());
    EXPECT_FALSE(platform::IsTimerSet(kTimerShakeStart));
}

}  // namespace
}  // namespace kra
