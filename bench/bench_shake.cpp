// One tilt sample from a (fake) sysfs IIO tree against the three bare
// preads it is made of: the parsing and angle work should stay within 2x.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "device/shake.h"
#include "platform/sensor.h"

namespace {

namespace fs = std::filesystem;

struct Tree {
    Tree() {
        root = fs::temp_directory_path() / ("kra-bench-iio-" + std::to_string(getpid()));
        const fs::path device = root / "iio:device0";
        fs::create_directories(device);
        std::ofstream(device / "in_accel_x_raw") << "500\n";
        std::ofstream(device / "in_accel_y_raw") << "866\n";
        std::ofstream(device / "in_accel_z_raw") << "-12\n";
        std::ofstream(device / "in_accel_scale") << "0.009806650\n";
        std::ofstream(device / "in_accel_mount_matrix") << "1, 0, 0; 0, 1, 0; 0, 0, 1\n";
    }
    ~Tree() { fs::remove_all(root); }
    fs::path root;
};

void BM_ThreeBarePreads(benchmark::State& state) {
    Tree tree;
    int fds[3];
    const char* names[3] = {"in_accel_x_raw", "in_accel_y_raw", "in_accel_z_raw"};
    for (int i = 0; i < 3; ++i)
        fds[i] = open((tree.root / "iio:device0" / names[i]).c_str(), O_RDONLY);
    char buffer[32];
    for (auto _ : state) {
        for (int fd : fds) benchmark::DoNotOptimize(pread(fd, buffer, sizeof buffer, 0));
    }
    for (int fd : fds) close(fd);
}
BENCHMARK(BM_ThreeBarePreads);

void BM_TiltSample(benchmark::State& state) {
    Tree tree;
    kra::platform::SetIioRoot(tree.root.string());
    if (!kra::platform::DetectGSensor() || !kra::platform::OpenMotionSensors()) {
        state.SkipWithError("no fake accelerometer");
        return;
    }
    int32_t x = 0, y = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(kra::platform::ReadTilt(&x, &y));
    }
    kra::platform::CloseMotionSensors();
    kra::platform::SetIioRoot("");
}
BENCHMARK(BM_TiltSample);

void BM_DetectorSample(benchmark::State& state) {
    kra::ShakeDetector detector;
    kra::StartShakeDetector(detector, 0, 0);
    uint32_t now = 0;
    int32_t angle = 0;
    for (auto _ : state) {
        angle = angle == 0 ? 120 : 0;
        now += 100;
        benchmark::DoNotOptimize(kra::ShakeSample(detector, angle / 6, angle, 100, now));
    }
}
BENCHMARK(BM_DetectorSample);

}  // namespace
