#include "graphics/screen.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "app/base/debug_log.h"
#include "platform/display.h"

namespace kra {
namespace {

int g_uiScale = 1;

struct DevicePrefix {
    std::string_view prefix;  // compared over its whole length
    int hint;                 // 0 = keep the user's hint
};

// First match wins, so "HTC Touch HD" must stay ahead of "HTC".
constexpr DevicePrefix kDeviceTable[] = {
    {"HTC Touch HD", 0},
    {"HTC", 1},
    {"ELF", 1},
    {"MDA", 1},
    {"Xda", 1},
    {"TITA", 1},
    {"VOGU", 1},
    {"NIKI", 1},
    {"Kaiser", 1},
    {"Polaris", 1},
    {"P3050", 1},
    {"DIA", 1},
    {"RAPH", 1},
    {"BLACK", 1},
    {"X1", 1},
    {"Palm Treo 800w", 3},
    {"Asus CANNES", 2},
    {"PM300", 1},
    {"SAMSUNG SCH-i770", 2},
    {"SAMSUNG", 1},
};

bool StartsWithNoCase(const std::string& text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        unsigned char a = static_cast<unsigned char>(text[i]);
        unsigned char b = static_cast<unsigned char>(prefix[i]);
        if (a >= 'A' && a <= 'Z') a = static_cast<unsigned char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z') b = static_cast<unsigned char>(b - 'A' + 'a');
        if (a != b) return false;
    }
    return true;
}

platform::FrameBuffer* FrameBufferOf(Screen& screen) {
    return static_cast<platform::FrameBuffer*>(screen.frameBuffer);
}

bool OpenFrameBufferPath(Screen& screen, const ScreenOutputs& outputs) {
    if (outputs.frameBufferDevice.empty()) return false;
    auto* fb = new platform::FrameBuffer;
    std::string reason;
    if (!platform::OpenFrameBuffer(outputs.frameBufferDevice, *fb, reason)) {
        KRA_LOG("Frame buffer %s: %s", outputs.frameBufferDevice.c_str(), reason.c_str());
        delete fb;
        return false;
    }
    screen.frameBuffer = fb;
    screen.path = 1;
    screen.framePointer = fb->pixels;
    screen.physicalWidth = fb->width;
    screen.physicalHeight = fb->height;
    screen.driverXStride = fb->xStride;
    screen.driverYStride = fb->yStride;
    screen.bitsPerPixel = fb->bitsPerPixel;
    screen.layout = fb->format == 2 ? kLayout555 : kLayout565;
    return true;
}

bool OpenSinkPath(Screen& screen, const ScreenOutputs& outputs) {
    const FrameSink& sink = outputs.sink;
    if (sink.present == nullptr || sink.width == 0 || sink.height == 0 ||
        sink.width > kMaxSurfaceSide || sink.height > kMaxSurfaceSide)
        return false;
    screen.sink = sink;
    screen.path = 2;
    screen.framePointer = nullptr;
    screen.physicalWidth = sink.width;
    screen.physicalHeight = sink.height;
    screen.driverXStride = 2;
    screen.driverYStride = int32_t(sink.width * 2);
    screen.bitsPerPixel = 16;
    screen.layout = sink.rgb555 ? kLayout555 : kLayout565;
    return true;
}

void ClosePath(Screen& screen) {
    if (auto* fb = FrameBufferOf(screen)) {
        platform::CloseFrameBuffer(*fb);
        delete fb;
        screen.frameBuffer = nullptr;
    }
    screen.framePointer = nullptr;
    screen.sink = FrameSink{};
    screen.path = 0;
}

void CaptureKeys(Screen& screen, bool on) {
    if (screen.path == 2 && screen.sink.captureKeys != nullptr)
        screen.sink.captureKeys(screen.sink.context, on);
}

}  // namespace

int UiScale() {
    return g_uiScale;
}
int UiScaleForDpi(int dpi) {
    return dpi >= 192 ? 2 : 1;
}
void FixUiScale(int dpi) {
    g_uiScale = UiScaleForDpi(dpi);
}

int ApplyDeviceTable(const std::string& oemInfo, int hint) {
    for (const DevicePrefix& entry : kDeviceTable) {
        if (StartsWithNoCase(oemInfo, entry.prefix)) {
            if (entry.hint != 0) hint = entry.hint;
            break;
        }
    }
    return hint == 3 ? 2 : hint;
}

int OpenScreen(Screen& screen, const ScreenOutputs& outputs, int hint) {
    hint = ApplyDeviceTable(platform::OemInfo(), hint);
    bool opened = false;
    if (hint == 1)
        opened = OpenFrameBufferPath(screen, outputs) || OpenSinkPath(screen, outputs);
    else if (hint == 2)
        opened = OpenSinkPath(screen, outputs) || OpenFrameBufferPath(screen, outputs);
    if (!opened) {
        screen.errorCode = kScreenErrorNoDisplay;
        return 0;
    }
    const uint32_t w = screen.physicalWidth, h = screen.physicalHeight;
    screen.pixelCount = w * h;
    screen.byteCount = screen.pixelCount * 2;
    std::free(screen.backBuffer);
    screen.backBuffer = static_cast<uint16_t*>(std::calloc(screen.pixelCount, 2));
    if (screen.backBuffer == nullptr) {
        ClosePath(screen);
        screen.errorCode = kScreenErrorNoMemory;
        return 0;
    }
    // The back buffer has packed rows, like the frame buffers we accept.
    screen.xStride = 2;
    screen.yStride = int32_t(w * 2);
    CaptureKeys(screen, true);
    auto* base = reinterpret_cast<uint8_t*>(screen.backBuffer);
    screen.origin270 = base + intptr_t(w - 1) * screen.xStride;
    screen.origin180 = base + intptr_t(h) * screen.yStride - screen.xStride;
    screen.origin90 = base + intptr_t(h - 1) * screen.yStride;
    screen.suspended = false;
    screen.orientation = GetDisplayOrientation(screen);
    SetOrientation(screen, screen.orientation);
    return 1;
}

void SetOrientation(Screen& screen, int code) {
    if (screen.backBuffer == nullptr) return;
    const uint32_t w = screen.physicalWidth, h = screen.physicalHeight;
    switch (code) {
        case kOrientation0:
            screen.origin = reinterpret_cast<uint8_t*>(screen.backBuffer);
            screen.width = w, screen.height = h;
            screen.xStep = screen.xStride, screen.yStep = screen.yStride;
            break;
        case kOrientation90:
            screen.origin = screen.origin90;
            screen.width = h, screen.height = w;
            screen.xStep = -screen.yStride, screen.yStep = screen.xStride;
            break;
        case kOrientation180:
            screen.origin = screen.origin180;
            screen.width = w, screen.height = h;
            screen.xStep = -screen.xStride, screen.yStep = -screen.yStride;
            break;
        case kOrientation270:
            screen.origin = screen.origin270;
            screen.width = h, screen.height = w;
            screen.xStep = screen.yStride, screen.yStep = -screen.xStride;
            break;
        default:
            return;
    }
    screen.orientation = code;
    screen.swapped = code == kOrientation90 || code == kOrientation270;
}

int GetDisplayOrientation(const Screen& screen) {
    if (screen.path == 2 && screen.sink.orientation != nullptr) {
        int code = screen.sink.orientation(screen.sink.context);
        if (code == kOrientation90 || code == kOrientation180 || code == kOrientation270)
            return code;
    }
    return kOrientation0;
}

int BeginFrame(Screen& screen) {
    if (screen.suspended) {
        screen.errorCode = kScreenErrorSuspended;
        return 0;
    }
    return 1;
}

int Present(Screen& screen) {
    if (screen.suspended) {
        screen.errorCode = kScreenErrorSuspended;
        return 0;
    }
    if (screen.backBuffer == nullptr) return 0;
    if (screen.path == 1 && screen.framePointer != nullptr) {
        std::memcpy(screen.framePointer, screen.backBuffer, screen.byteCount);
        return 1;
    }
    if (screen.path == 2 && screen.sink.present != nullptr) {
        return screen.sink.present(screen.sink.context, screen.backBuffer, screen.physicalWidth,
                                   screen.physicalHeight, screen.physicalWidth * 2)
                   ? 1
                   : 0;
    }
    return 0;
}

void SuspendScreen(Screen& screen) {
    CaptureKeys(screen, false);
    screen.suspended = true;
}

void ResumeScreen(Screen& screen) {
    CaptureKeys(screen, true);
    if (screen.path == 2) SetOrientation(screen, screen.orientation);
    screen.suspended = false;
}

void CloseScreen(Screen& screen) {
    if (!screen.suspended) CaptureKeys(screen, false);
    ClosePath(screen);
    std::free(screen.backBuffer);
    screen.backBuffer = nullptr;
    screen.origin = screen.origin90 = screen.origin180 = screen.origin270 = nullptr;
    screen.pixelCount = screen.byteCount = 0;
    screen.width = screen.height = 0;
}

const Brush* SelectBrush(Screen& screen, const Brush* brush) {
    if (brush == nullptr) {
        screen.errorCode = kScreenErrorNullBrush;
        return nullptr;
    }
    const Brush* previous = screen.brush;
    screen.brush = brush;
    return previous;
}

namespace {

bool PresentToMemory(void* context, const uint16_t* pixels, uint32_t width, uint32_t height,
                     uint32_t pitch) {
    auto* frame = static_cast<MemoryFrame*>(context);
    frame->width = width;
    frame->height = height;
    frame->pixels.resize(size_t(width) * height);
    for (uint32_t y = 0; y < height; ++y)
        std::memcpy(frame->pixels.data() + size_t(y) * width,
                    reinterpret_cast<const uint8_t*>(pixels) + size_t(y) * pitch, width * 2);
    ++frame->presentCount;
    return true;
}

int MemoryOrientation(void* context) {
    return static_cast<MemoryFrame*>(context)->orientation;
}

void MemoryKeys(void* context, bool on) {
    static_cast<MemoryFrame*>(context)->keysCaptured = on;
}

}  // namespace

FrameSink MemoryFrameSink(MemoryFrame& frame) {
    FrameSink sink;
    sink.context = &frame;
    sink.width = frame.width;
    sink.height = frame.height;
    sink.rgb555 = frame.rgb555;
    sink.present = PresentToMemory;
    sink.orientation = MemoryOrientation;
    sink.captureKeys = MemoryKeys;
    return sink;
}

}  // namespace kra
