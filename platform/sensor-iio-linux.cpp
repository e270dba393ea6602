// Tilt and light from Linux IIO devices in sysfs, and the confirmation beep.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sensor-text.h"
#include "platform/sensor.h"

namespace kra::platform {

namespace {

constexpr const char* kDefaultIioRoot = "/sys/bus/iio/devices";

struct Axis {
    int fd = -1;
    double scale = 1.0;
    double offset = 0.0;
};

struct Accelerometer {
    std::string folder;
    Axis axis[3];
    // Rows of the mount matrix: the device's frame from the sensor's.
    double matrix[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
};

struct LightSensor {
    std::string folder;
    int fd = -1;
    bool raw = false;  // in_illuminance_raw: times scale, plus offset
    double scale = 1.0;
    double offset = 0.0;
};

std::mutex g_mutex;
std::string g_root = kDefaultIioRoot;
std::string g_accelFolder;  // found by DetectGSensor
Accelerometer g_accel;
LightSensor g_light;
std::atomic<BeepRecorder> g_beepRecorder{nullptr};

// Reads a small sysfs file from its start into `buffer`; false when it
// cannot be read or does not fit (a cut number would read as another one).
// The text ends at its first line end.
bool PreadText(int fd, char* buffer, size_t size, std::string_view* text) {
    const ssize_t n = pread(fd, buffer, size, 0);
    if (n <= 0) return false;
    const std::string_view all(buffer, size_t(n));
    const size_t end = all.find('\n');
    if (end == std::string_view::npos && size_t(n) == size) return false;
    *text = all.substr(0, end);
    return true;
}

bool ReadFileText(const std::string& path, std::string* text) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buffer[256];
    std::string_view view;
    const bool ok = PreadText(fd, buffer, sizeof buffer, &view);
    close(fd);
    if (ok) *text = std::string(view);
    return ok;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Skips blanks; parses one number (from_chars never looks at the locale).
bool ParseNumber(const char*& p, const char* end, double* value) {
    while (p < end && IsBlank(*p)) ++p;
    if (p < end && *p == '+') ++p;
    double parsed = 0;
    const auto result = std::from_chars(p, end, parsed);
    if (result.ec != std::errc() || !std::isfinite(parsed)) return false;
    *value = parsed;
    p = result.ptr;
    return true;
}

// True when only blanks and at most one final line end are left.
bool OnlyBlanksLeft(const char* p, const char* end) {
    while (p < end && IsBlank(*p)) ++p;
    if (p < end && *p == '\n') ++p;
    return p == end;
}

double ReadNumberFile(const std::string& path, double fallback) {
    std::string text;
    double value = 0;
    if (!ReadFileText(path, &text) || !ParseSysfsNumber(text, &value)) return fallback;
    return value;
}

bool Exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

// The IIO device folders under the root, in name order.
std::vector<std::string> DeviceFolders() {
    std::vector<std::string> folders;
    DIR* dir = opendir(g_root.c_str());
    if (!dir) return folders;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        folders.push_back(g_root + "/" + entry->d_name);
    }
    closedir(dir);
    std::sort(folders.begin(), folders.end());
    return folders;
}

bool IsAccelerometer(const std::string& folder) {
    return Exists(folder + "/in_accel_x_raw") && Exists(folder + "/in_accel_y_raw") &&
           Exists(folder + "/in_accel_z_raw");
}

void CloseAccelerometer() {
    for (Axis& axis : g_accel.axis) {
        if (axis.fd >= 0) close(axis.fd);
        axis.fd = -1;
    }
}

bool OpenAccelerometer(const std::string& folder, std::string* why) {
    CloseAccelerometer();
    g_accel = Accelerometer{};
    g_accel.folder = folder;
    const double sharedScale = ReadNumberFile(folder + "/in_accel_scale", 1.0);
    const double sharedOffset = ReadNumberFile(folder + "/in_accel_offset", 0.0);
    static const char* kNames[3] = {"x", "y", "z"};
    for (int i = 0; i < 3; ++i) {
        const std::string base = folder + "/in_accel_" + kNames[i];
        Axis& axis = g_accel.axis[i];
        axis.scale = ReadNumberFile(base + "_scale", sharedScale);
        axis.offset = ReadNumberFile(base + "_offset", sharedOffset);
        axis.fd = open((base + "_raw").c_str(), O_RDONLY | O_CLOEXEC);
        if (axis.fd < 0) {
            if (why) *why = base + "_raw: " + std::strerror(errno);
            CloseAccelerometer();
            return false;
        }
    }
    std::string text;
    if (ReadFileText(folder + "/in_accel_mount_matrix", &text) ||
        ReadFileText(folder + "/mount_matrix", &text)) {
        double matrix[3][3];
        if (ParseMountMatrix(text, matrix)) std::memcpy(g_accel.matrix, matrix, sizeof matrix);
    }
    return true;
}

bool ReadRaw(int fd, double* value) {
    char buffer[32];
    std::string_view text;
    return PreadText(fd, buffer, sizeof buffer, &text) && ParseSysfsNumber(text, value);
}

int32_t AngleDegrees(double along, double a, double b) {
    const double degrees = std::atan2(along, std::sqrt(a * a + b * b)) * (180.0 / M_PI);
    // Values so large that the products overflow give no angle at all.
    return std::isfinite(degrees) ? int32_t(std::lround(degrees)) : 0;
}

bool ReadTiltLocked(int32_t* x, int32_t* y, std::string* why) {
    double sensor[3];
    for (int i = 0; i < 3; ++i) {
        const Axis& axis = g_accel.axis[i];
        double raw = 0;
        if (axis.fd < 0 || !ReadRaw(axis.fd, &raw)) {
            if (why) *why = g_accel.folder + ": " + (errno == EBUSY ? "busy" : "unreadable");
            return false;
        }
        sensor[i] = (raw + axis.offset) * axis.scale;
    }
    double v[3];
    for (int r = 0; r < 3; ++r) {
        v[r] = g_accel.matrix[r][0] * sensor[0] + g_accel.matrix[r][1] * sensor[1] +
               g_accel.matrix[r][2] * sensor[2];
    }
    TiltDegrees(v, x, y);
    return true;
}

void CloseLight() {
    if (g_light.fd >= 0) close(g_light.fd);
    g_light = LightSensor{};
}

bool OpenLightIn(const std::string& folder) {
    for (const char* name : {"in_illuminance_input", "in_illuminance0_input"}) {
        const int fd = open((folder + "/" + name).c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            g_light.folder = folder;
            g_light.fd = fd;
            return true;
        }
    }
    for (const char* prefix : {"in_illuminance", "in_illuminance0"}) {
        const std::string base = folder + "/" + prefix;
        const int fd = open((base + "_raw").c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            g_light.folder = folder;
            g_light.fd = fd;
            g_light.raw = true;
            g_light.scale = ReadNumberFile(base + "_scale", 1.0);
            g_light.offset = ReadNumberFile(base + "_offset", 0.0);
            return true;
        }
    }
    return false;
}

}  // namespace

bool ParseSysfsNumber(std::string_view text, double* value) {
    const char* p = text.data();
    const char* end = p + text.size();
    double parsed = 0;
    if (!ParseNumber(p, end, &parsed) || !OnlyBlanksLeft(p, end)) return false;
    *value = parsed;
    return true;
}

bool ParseMountMatrix(std::string_view text, double matrix[3][3]) {
    const char* p = text.data();
    const char* end = p + text.size();
    double values[9];
    for (int i = 0; i < 9; ++i) {
        if (!ParseNumber(p, end, &values[i])) return false;
        while (p < end && IsBlank(*p)) ++p;
        if (i == 8) break;
        const char expected = (i % 3 == 2) ? ';' : ',';
        if (p >= end || *p != expected) return false;
        ++p;
    }
    if (!OnlyBlanksLeft(p, end)) return false;
    for (int i = 0; i < 9; ++i) matrix[i / 3][i % 3] = values[i];
    return true;
}

void TiltDegrees(const double v[3], int32_t* x, int32_t* y) {
    *x = AngleDegrees(v[0], v[1], v[2]);
    *y = AngleDegrees(v[1], v[0], v[2]);
}

// The proxy's part (sensor-proxy-linux.cpp).
bool ProxyHasAccelerometer(std::string* why);
bool StartProxyLight();
bool ProxyLightLevel(double* level);
void StopProxyLight();

void SetIioRoot(const std::string& root) {
    std::lock_guard lock(g_mutex);
    g_root = root.empty() ? kDefaultIioRoot : root;
    g_accelFolder.clear();
}

bool DetectGSensor(std::string* why) {
    {
        std::lock_guard lock(g_mutex);
        g_accelFolder.clear();
        std::string problem;
        for (const std::string& folder : DeviceFolders()) {
            if (!IsAccelerometer(folder)) continue;
            int32_t x = 0, y = 0;
            const bool ok = OpenAccelerometer(folder, &problem) && ReadTiltLocked(&x, &y, &problem);
            CloseAccelerometer();
            if (ok) {
                g_accelFolder = folder;
                if (why) *why = "accelerometer " + folder;
                return true;
            }
        }
        if (why) *why = problem.empty() ? "no IIO accelerometer" : problem;
    }
    std::string proxyWhy;
    if (ProxyHasAccelerometer(&proxyWhy)) {
        if (why) *why += "; sensor proxy accelerometer";
        return true;
    }
    if (why) *why += "; " + proxyWhy;
    return false;
}

bool OpenMotionSensors(std::string* why) {
    std::lock_guard lock(g_mutex);
    CloseLight();
    if (g_accelFolder.empty()) {
        if (why) *why = "no IIO accelerometer to sample";
        return false;
    }
    int32_t x = 0, y = 0;
    if (!OpenAccelerometer(g_accelFolder, why) || !ReadTiltLocked(&x, &y, why)) {
        CloseAccelerometer();
        return false;
    }
    for (const std::string& folder : DeviceFolders()) {
        if (OpenLightIn(folder)) break;
    }
    // Without an IIO light sensor, the proxy's light level (when it has one)
    // arrives on a thread of its own.
    if (g_light.fd < 0) StartProxyLight();
    return true;
}

bool ReadTilt(int32_t* x, int32_t* y) {
    std::lock_guard lock(g_mutex);
    return ReadTiltLocked(x, y, nullptr);
}

bool HasLightSensor() {
    std::lock_guard lock(g_mutex);
    double level = 0;
    return g_light.fd >= 0 || ProxyLightLevel(&level);
}

bool ReadLight(uint8_t* value) {
    std::lock_guard lock(g_mutex);
    double level = 0;
    if (g_light.fd >= 0) {
        if (!ReadRaw(g_light.fd, &level)) return false;
        if (g_light.raw) level = (level + g_light.offset) * g_light.scale;
    } else if (!ProxyLightLevel(&level)) {
        return false;
    }
    // NaN cannot come here: both sources give finite numbers only.
    *value = uint8_t(std::clamp(level, 0.0, 255.0) + 0.5);
    return true;
}

void CloseMotionSensors() {
    std::lock_guard lock(g_mutex);
    CloseAccelerometer();
    CloseLight();
    StopProxyLight();
}

void SetBeepRecorder(BeepRecorder recorder) {
    g_beepRecorder.store(recorder);
}

// The sound itself (sensor-beep-linux.cpp).
void PlayToneNow();

void PlayBeep() {
    if (BeepRecorder recorder = g_beepRecorder.load()) {
        recorder();
        return;
    }
    PlayToneNow();
}

}  // namespace kra::platform
