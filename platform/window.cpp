// The main window's state shared by both backends: options, orientation,
// focus and pen state, frame checks, and RunPlatform.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/clock.h"
#include "platform/instance.h"
#include "platform/script.h"
#include "platform/window.h"
#include "platform/window_internal.h"

namespace kra::platform {

namespace {

constexpr int kMinSide = 64;
constexpr int kMaxSide = 8192;
constexpr size_t kMaxScriptBytes = 16u << 20;

struct WindowState {
    const WindowBackend* backend = nullptr;
    DisplayProfile panel;
    int orientation = 0;
    bool focused = false;
    bool penPressed = false;
};

WindowState g_window;

bool ParseSide(std::string_view text, int min, int max, int* out) {
    uint64_t value = 0;
    if (!ParseUnsigned(text, uint64_t(max), &value) || value < uint64_t(min)) return false;
    *out = int(value);
    return true;
}

intptr_t PackPoint(int x, int y) {
    return intptr_t((uint32_t(y) << 16) | uint32_t(x));
}

}  // namespace

bool ParseDisplayProfile(std::string_view text, DisplayProfile* out) {
    const size_t x = text.find('x');
    if (x == std::string_view::npos) return false;
    const size_t at = text.find('@', x);
    const std::string_view w = text.substr(0, x);
    const std::string_view h =
        text.substr(x + 1, at == std::string_view::npos ? text.npos : at - x - 1);
    DisplayProfile p;
    if (!ParseSide(w, kMinSide, kMaxSide, &p.width) || !ParseSide(h, kMinSide, kMaxSide, &p.height))
        return false;
    if (at != std::string_view::npos) {
        if (!ParseSide(text.substr(at + 1), 48, 1200, &p.dpi)) return false;
    } else {
        p.dpi = std::min(p.width, p.height) >= 480 ? 192 : 96;
    }
    *out = p;
    return true;
}

bool ParsePlatformArgs(int argc, const char* const* argv, PlatformOptions* options,
                       std::vector<std::string>* rest, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto need = [&](int count) {
            if (i + count < argc) return true;
            *error = std::string(arg) + " needs " + std::to_string(count) + " argument" +
                     (count > 1 ? "s" : "");
            return false;
        };
        if (arg == "--display") {
            if (!need(1)) return false;
            if (!ParseDisplayProfile(argv[++i], &options->display)) {
                *error = "--display takes WxH or WxH@DPI (sides 64..8192, dpi 48..1200), not '" +
                         std::string(argv[i]) + "'";
                return false;
            }
        } else if (arg == "--fullscreen") {
            options->fullscreen = true;
        } else if (arg == "--headless") {
            options->headless = true;
        } else if (arg == "--virtual-clock") {
            options->virtualClock = true;
        } else if (arg == "--script") {
            if (!need(1)) return false;
            options->scriptPath = argv[++i];
        } else if (arg == "--post") {
            if (!need(3)) return false;
            std::string reason;
            if (!ParseMessageWords(argv[i + 1], argv[i + 2], argv[i + 3], &options->postMessage,
                                   &options->postWParam, &options->postLParam, &reason)) {
                *error = "--post: " + reason;
                return false;
            }
            options->post = true;
            i += 3;
        } else {
            rest->emplace_back(arg);
        }
    }
    if (!options->scriptPath.empty() && !options->headless) {
        *error = "--script needs --headless";
        return false;
    }
    return true;
}

int QuarterTurns(int code) {
    return code == 4 ? 3 : code;
}

int TurnOrientation(int code, int quarterTurns) {
    static constexpr int kCodes[4] = {0, 1, 2, 4};
    return kCodes[((QuarterTurns(code) + quarterTurns) % 4 + 4) % 4];
}

void LogicalSize(int* width, int* height) {
    const bool swapped = g_window.orientation == 1 || g_window.orientation == 4;
    *width = swapped ? g_window.panel.height : g_window.panel.width;
    *height = swapped ? g_window.panel.width : g_window.panel.height;
}

bool IsPenPressed() {
    return g_window.penPressed;
}

void ReportPen(PenAction action, int x, int y) {
    // A touch screen has no hover: moves and releases count only after a
    // press, and a second press without a release is dropped.
    if (action == PenAction::kDown) {
        if (g_window.penPressed) return;
        g_window.penPressed = true;
    } else if (!g_window.penPressed) {
        return;
    }
    if (action == PenAction::kUp) g_window.penPressed = false;
    int w, h;
    LogicalSize(&w, &h);
    x = std::clamp(x, 0, w - 1);
    y = std::clamp(y, 0, h - 1);
    const uint32_t message = action == PenAction::kDown   ? kWmLButtonDown
                             : action == PenAction::kMove ? kWmMouseMove
                                                          : kWmLButtonUp;
    PostMessage(message, action == PenAction::kUp ? 0 : 1 /* MK_LBUTTON */, PackPoint(x, y));
}

void ReportKey(bool down, uint32_t virtualKey, bool repeat) {
    // lParam as the platform forms it: repeat count 1, bit 30 the previous
    // key state, bit 31 set on release.
    uint32_t lParam = 1;
    if (!down) lParam |= 0xC0000000u;
    if (down && repeat) lParam |= 0x40000000u;
    PostMessage(down ? kWmKeyDown : kWmKeyUp, virtualKey, intptr_t(int32_t(lParam)));
}

void ReportFocus(bool gained) {
    if (g_window.focused == gained) return;
    g_window.focused = gained;
    if (!gained && g_window.penPressed) {
        // The release will never come to us: end the stroke where it is.
        g_window.penPressed = false;
        PostMessage(kWmLButtonUp, 0, 0);
    }
    PostMessage(gained ? kWmSetFocus : kWmKillFocus, 0, 0);
}

void ReportClose() {
    PostMessage(kWmClose, 0, 0);
}

void ReportRotation(int code) {
    if (code == g_window.orientation) return;
    SetDisplayOrientation(code);
    PostMessage(kWmSettingChange, kSettingChangeReset, 0);
}

bool OpenMainWindow(const PlatformOptions& options, std::string* error) {
    if (g_window.backend) {
        *error = "the main window is already open";
        return false;
    }
    const WindowBackend& backend = options.headless ? HeadlessWindowBackend() : SdlWindowBackend();
    DisplayProfile panel = options.display;
    if (!backend.open(options, &panel, error)) return false;
    g_window = WindowState{};
    g_window.backend = &backend;
    g_window.panel = panel;
    return true;
}

void CloseMainWindow() {
    if (!g_window.backend) return;
    g_window.backend->close();
    g_window = WindowState{};
}

bool IsMainWindowOpen() {
    return g_window.backend != nullptr;
}

DisplayProfile GetDisplayProfile() {
    return g_window.panel;
}

int GetDisplayOrientation() {
    return g_window.orientation;
}

bool SetDisplayOrientation(int code) {
    if (code != 0 && code != 1 && code != 2 && code != 4) return false;
    if (code == g_window.orientation) return true;
    g_window.orientation = code;
    if (g_window.backend) g_window.backend->orientationChanged(code);
    return true;
}

void ShowMainWindow(bool visible) {
    if (g_window.backend) g_window.backend->show(visible);
}

void BringMainWindowToFront() {
    if (g_window.backend) g_window.backend->raise();
}

void MinimiseMainWindow() {
    if (g_window.backend) g_window.backend->minimise();
}

bool IsMainWindowForeground() {
    return g_window.backend && g_window.focused;
}

bool PresentFrame(const uint16_t* pixels, int width, int height, int pitchBytes,
                  PixelFormat format) {
    if (!g_window.backend || !pixels) return false;
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return false;
    if (pitchBytes < width * 2 || pitchBytes % 2 != 0) return false;
    g_window.backend->present(pixels, width, height, pitchBytes, format);
    return true;
}

void TurnFrameToRgb(const uint16_t* pixels, int width, int height, int pitchBytes,
                    PixelFormat format, int orientation, std::vector<uint8_t>* rgb, int* outWidth,
                    int* outHeight) {
    const int turns = QuarterTurns(orientation);
    const bool swapped = turns % 2 == 1;
    const int ow = swapped ? height : width;
    const int oh = swapped ? width : height;
    rgb->resize(size_t(ow) * size_t(oh) * 3);
    const size_t pitch = size_t(pitchBytes) / 2;
    uint8_t* out = rgb->data();
    for (int y = 0; y < oh; ++y) {
        for (int x = 0; x < ow; ++x) {
            // The shown pixel (x, y) comes from panel pixel (px, py), turned
            // clockwise by `turns` quarter turns.
            int px, py;
            switch (turns) {
                case 1:
                    px = y;
                    py = height - 1 - x;
                    break;
                case 2:
                    px = width - 1 - x;
                    py = height - 1 - y;
                    break;
                case 3:
                    px = width - 1 - y;
                    py = x;
                    break;
                default:
                    px = x;
                    py = y;
                    break;
            }
            const uint16_t p = pixels[size_t(py) * pitch + size_t(px)];
            uint32_t r, g, b;
            if (format == PixelFormat::kRgb565) {
                r = (p >> 11) & 31;
                g = (p >> 5) & 63;
                b = p & 31;
                *out++ = uint8_t((r << 3) | (r >> 2));
                *out++ = uint8_t((g << 2) | (g >> 4));
            } else {
                r = (p >> 10) & 31;
                g = (p >> 5) & 31;
                b = p & 31;
                *out++ = uint8_t((r << 3) | (r >> 2));
                *out++ = uint8_t((g << 3) | (g >> 2));
            }
            *out++ = uint8_t((b << 3) | (b >> 2));
        }
    }
    *outWidth = ow;
    *outHeight = oh;
}

bool CopyShownFrame(std::vector<uint8_t>* rgb, int* width, int* height) {
    return g_window.backend && g_window.backend->shownFrame &&
           g_window.backend->shownFrame(rgb, width, height);
}

bool SaveShownFrame(const std::string& path, std::string* error) {
    std::vector<uint8_t> rgb;
    int w = 0, h = 0;
    if (!CopyShownFrame(&rgb, &w, &h)) {
        *error = "no frame has been shown";
        return false;
    }
    return WritePng(path, rgb, w, h, error);
}

void ShowNotice(const std::string& text) {
    if (g_window.backend) {
        g_window.backend->notice(text);
    } else {
        std::fprintf(stderr, "kra: %s\n", text.c_str());
    }
}

namespace {

bool ReadScript(const std::string& path, std::vector<ScriptStep>* steps) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        std::fprintf(stderr, "kra: cannot open script %s: %s\n", path.c_str(),
                     std::strerror(errno));
        return false;
    }
    std::string text;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0 && text.size() <= kMaxScriptBytes)
        text.append(buffer, n);
    std::fclose(f);
    if (text.size() > kMaxScriptBytes) {
        std::fprintf(stderr, "kra: script %s is larger than %zu bytes\n", path.c_str(),
                     kMaxScriptBytes);
        return false;
    }
    ScriptError error;
    if (!ParseScript(text, steps, &error)) {
        std::fprintf(stderr, "kra: %s:%d: %s\n", path.c_str(), error.line, error.reason.c_str());
        return false;
    }
    return true;
}

}  // namespace

int RunPlatform(const PlatformOptions& options, WindowProc proc) {
    if (options.virtualClock) UseVirtualClock(0);
    const std::string dir = options.runtimeDir.empty() ? DefaultRuntimeDir() : options.runtimeDir;
    if (options.post) {
        std::string reply;
        const ControlResult r =
            SendControlRequest(dir,
                               "post " + std::to_string(options.postMessage) + " " +
                                   std::to_string(options.postWParam) + " " +
                                   std::to_string(int32_t(options.postLParam)),
                               &reply);
        if (r == ControlResult::kOk) return 0;
        std::fprintf(
            stderr, "kra: %s\n",
            r == ControlResult::kNoInstance ? "no running instance to post to" : reply.c_str());
        return 1;
    }
    std::vector<ScriptStep> steps;
    if (!options.scriptPath.empty() && !ReadScript(options.scriptPath, &steps)) return 2;

    std::string error;
    switch (ClaimInstance(dir, &error)) {
        case ClaimResult::kClaimed:
            break;
        case ClaimResult::kOtherRunning:
            if (!ActivateRunningInstance(dir, &error)) {
                std::fprintf(stderr, "kra: %s\n", error.c_str());
                return 1;
            }
            return 0;
        case ClaimResult::kFailed:
            // Playing music matters more than the single-instance check.
            std::fprintf(stderr, "kra: single-instance check unavailable: %s\n", error.c_str());
            break;
    }
    if (!OpenMainWindow(options, &error)) {
        std::fprintf(stderr, "kra: cannot open the window: %s\n", error.c_str());
        ReleaseInstance();
        return 1;
    }
    SetWindowProc(proc);
    if (options.headless) StartSignalWatch();
    int code = 1;
    if (SendMessage(kWmCreate, 0, 0) != -1) {
        if (!options.scriptPath.empty()) StartHeadlessScript(std::move(steps));
        code = RunLoop();
        if (!options.scriptPath.empty() && HeadlessScriptFailed()) code = 2;
    }
    if (options.headless) StopSignalWatch();
    CloseMainWindow();
    ReleaseInstance();
    return code;
}

}  // namespace kra::platform
