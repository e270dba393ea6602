// The headless window: no display, the last frame kept in memory, and an
// optional script of events played whenever the loop is idle.
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <thread>

#include "platform/clock.h"
#include "platform/message_loop_internal.h"
#include "platform/script.h"
#include "platform/window_internal.h"

namespace kra::platform {

namespace {

struct Frame {
    std::vector<uint16_t> pixels;  // packed rows
    int width = 0, height = 0;
    PixelFormat format = PixelFormat::kRgb565;
};

struct Script {
    std::vector<ScriptStep> steps;
    size_t next = 0;
    bool active = false;
    bool waiting = false;
    uint32_t waitUntil = 0;
    bool failed = false;
};

Frame g_frame;
Script g_script;

// SIGINT and SIGTERM close the window like the user would (the shutdown
// then stores the settings). The handler only writes to an eventfd; a small
// thread turns that into kWmClose. A second signal ends the process at once.
struct SignalWatch {
    int signalFd = -1;
    int stopFd = -1;
    std::thread thread;
    struct sigaction oldInt {
    }, oldTerm{};
};
SignalWatch g_signals;
int g_signalFdForHandler = -1;

void OnSignal(int) {
    const uint64_t one = 1;
    const int saved = errno;
    if (write(g_signalFdForHandler, &one, sizeof one) < 0) {
    }
    errno = saved;
}

void WatchSignals(int signalFd, int stopFd) {
    pollfd fds[2] = {{signalFd, POLLIN, 0}, {stopFd, POLLIN, 0}};
    while (poll(fds, 2, -1) < 0 && errno == EINTR) {
    }
    if (fds[0].revents) {
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        PostMessage(kWmClose, 0, 0);
    }
}

}  // namespace

void StartSignalWatch() {
    g_signals.signalFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    g_signals.stopFd = eventfd(0, EFD_CLOEXEC);
    if (g_signals.signalFd < 0 || g_signals.stopFd < 0) return;
    g_signalFdForHandler = g_signals.signalFd;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &g_signals.oldInt);
    sigaction(SIGTERM, &action, &g_signals.oldTerm);
    g_signals.thread = std::thread(WatchSignals, g_signals.signalFd, g_signals.stopFd);
}

void StopSignalWatch() {
    if (g_signals.thread.joinable()) {
        sigaction(SIGINT, &g_signals.oldInt, nullptr);
        sigaction(SIGTERM, &g_signals.oldTerm, nullptr);
        const uint64_t one = 1;
        if (write(g_signals.stopFd, &one, sizeof one) < 0) {
        }
        g_signals.thread.join();
    }
    // The handler's descriptor stays valid until no handler can run.
    if (g_signals.signalFd >= 0) close(g_signals.signalFd);
    if (g_signals.stopFd >= 0) close(g_signals.stopFd);
    g_signalFdForHandler = -1;
    g_signals = SignalWatch{};
}

namespace {

void CloseByScript() {
    g_script.active = false;
    PostMessage(kWmClose, 0, 0);
}

// Plays one step. Each step that produces a message returns to the loop so
// the message is handled before the next step (a shot then sees its result).
void PlayStep(const ScriptStep& step) {
    switch (step.verb) {
        case ScriptVerb::kPenDown:
        case ScriptVerb::kPenMove:
        case ScriptVerb::kPenUp: {
            const PenAction action = step.verb == ScriptVerb::kPenDown   ? PenAction::kDown
                                     : step.verb == ScriptVerb::kPenMove ? PenAction::kMove
                                                                         : PenAction::kUp;
            if (action != PenAction::kDown && !IsPenPressed())
                std::fprintf(stderr, "kra: script line %d: pen not down, ignored\n", step.line);
            else if (action == PenAction::kDown && IsPenPressed())
                std::fprintf(stderr, "kra: script line %d: pen already down, ignored\n", step.line);
            ReportPen(action, int(step.x), int(step.y));
            break;
        }
        case ScriptVerb::kKeyDown:
        case ScriptVerb::kKeyUp:
            ReportKey(step.verb == ScriptVerb::kKeyDown, step.value, false);
            break;
        case ScriptVerb::kPost:
            PostMessage(step.value, step.wParam, step.lParam);
            break;
        case ScriptVerb::kWait:
            g_script.waiting = true;
            g_script.waitUntil = TickCount() + step.value;
            break;
        case ScriptVerb::kRotate:
            ReportRotation(int(step.value));
            break;
        case ScriptVerb::kFocusIn:
        case ScriptVerb::kFocusOut:
            ReportFocus(step.verb == ScriptVerb::kFocusIn);
            break;
        case ScriptVerb::kShot: {
            std::string error;
            if (!SaveShownFrame(step.file, &error)) {
                std::fprintf(stderr, "kra: script line %d: shot %s: %s\n", step.line,
                             step.file.c_str(), error.c_str());
                g_script.failed = true;
                CloseByScript();
            }
            break;
        }
        case ScriptVerb::kQuit:
            CloseByScript();
            break;
    }
}

void Idle(void*, int32_t timeoutMs) {
    if (g_script.active) {
        if (g_script.waiting) {
            const int32_t left = int32_t(g_script.waitUntil - TickCount());
            if (left > 0) {
                WaitForPosted(timeoutMs < 0 ? left : std::min(timeoutMs, left));
                return;
            }
            g_script.waiting = false;
        }
        if (g_script.next < g_script.steps.size()) {
            PlayStep(g_script.steps[g_script.next++]);
            return;
        }
        CloseByScript();  // the end of the script closes the window
        return;
    }
    WaitForPosted(timeoutMs);
}

bool Open(const PlatformOptions&, DisplayProfile*, std::string*) {
    g_frame = Frame{};
    g_script = Script{};
    static const LoopBackend backend{Idle, nullptr, nullptr};
    SetLoopBackend(&backend);
    return true;
}

void Close() {
    StopSignalWatch();
    SetLoopBackend(nullptr);
    g_frame = Frame{};
    g_script.active = false;
}

// Showing the window activates it, hiding it deactivates it.
void Show(bool visible) {
    ReportFocus(visible);
}

void Raise() {
    ReportFocus(true);
}

void Minimise() {
    ReportFocus(false);
}

void OrientationChanged(int) {}

void Present(const uint16_t* pixels, int width, int height, int pitchBytes, PixelFormat format) {
    g_frame.width = width;
    g_frame.height = height;
    g_frame.format = format;
    g_frame.pixels.resize(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y) {
        const uint16_t* row = pixels + size_t(y) * size_t(pitchBytes / 2);
        std::copy(row, row + width, g_frame.pixels.begin() + std::ptrdiff_t(y) * width);
    }
}

bool ShownFrame(std::vector<uint8_t>* rgb, int* width, int* height) {
    if (g_frame.pixels.empty()) return false;
    TurnFrameToRgb(g_frame.pixels.data(), g_frame.width, g_frame.height, g_frame.width * 2,
                   g_frame.format, GetDisplayOrientation(), rgb, width, height);
    return true;
}

void Notice(const std::string& text) {
    std::fprintf(stderr, "kra: %s\n", text.c_str());
}

}  // namespace

const WindowBackend& HeadlessWindowBackend() {
    static const WindowBackend backend{
        Open, Close, Show, Raise, Minimise, OrientationChanged, Present, ShownFrame, Notice};
    return backend;
}

void StartHeadlessScript(std::vector<ScriptStep> steps) {
    g_script = Script{};
    g_script.steps = std::move(steps);
    g_script.active = true;
}

bool HeadlessScriptFailed() {
    return g_script.failed;
}

}  // namespace kra::platform
