// The screen: one back buffer laid out exactly like the display's frame
// buffer, composed pixel by pixel and presented with one copy.
//
// Logical coordinates are those of the current orientation. A logical pixel
// (x, y) lives at origin + x * xStep + y * yStep (byte steps, signed), so
// turning the view only changes the origin and the two steps.
//
// Output paths: 1 = a raw frame buffer (Linux fbdev, 16 bpp, packed rows);
// 2 = a frame sink (a window's streaming texture of the same pixel format, or
// a memory frame for tests). Used from the main thread only.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "graphics/surface.h"

namespace kra {

// Layout factor: 2 when the display's horizontal density is 192 dpi or more,
// else 1. Fixed once before any layout value is computed.
int UiScale();
int UiScaleForDpi(int dpi);  // a failed query (dpi <= 0) gives 1
void FixUiScale(int dpi);

// Orientation codes.
inline constexpr int kOrientation0 = 0;
inline constexpr int kOrientation90 = 1;
inline constexpr int kOrientation180 = 2;
inline constexpr int kOrientation270 = 4;

// Screen error codes.
inline constexpr int kScreenErrorNoDisplay = 100;
inline constexpr int kScreenErrorNoMemory = 102;
inline constexpr int kScreenErrorSuspended = 105;
inline constexpr int kScreenErrorNullBrush = 113;

// Output path 2: anything that accepts a whole 16-bit frame of the back
// buffer's layout. `present` is required; the others may be null.
struct FrameSink {
    void* context = nullptr;
    uint32_t width = 0, height = 0;  // physical size in pixels
    bool rgb555 = false;             // the sink's pixel format (565 when false)
    // One frame: height rows of width pixels, pitch bytes apart. False when
    // the frame could not be shown (it is dropped).
    bool (*present)(void* context, const uint16_t* pixels, uint32_t width, uint32_t height,
                    uint32_t pitch) = nullptr;
    // The display's current orientation code (0, 1, 2, 4); null means 0.
    int (*orientation)(void* context) = nullptr;
    // Hardware keys captured for the program (on) or given back (off).
    void (*captureKeys)(void* context, bool on) = nullptr;
};

// What OpenScreen may use. An empty frameBufferDevice means no path 1.
struct ScreenOutputs {
    std::string frameBufferDevice;  // "/dev/fb0"
    FrameSink sink;                 // path 2 when sink.present is set
};

struct Screen {
    int32_t xStride = 0, yStride = 0;  // byte distance of adjacent physical pixels
    uint32_t width = 0, height = 0;    // logical size in the current orientation
    int32_t xStep = 0, yStep = 0;      // byte steps of one logical pixel right / row down
    PixelLayout layout = kLayout565;
    int orientation = kOrientation0;
    bool swapped = false;  // orientation 1 or 4
    uint8_t* origin90 = nullptr;
    uint8_t* origin180 = nullptr;
    uint8_t* origin270 = nullptr;
    uint16_t* backBuffer = nullptr;   // physicalWidth * physicalHeight pixels
    uint8_t* origin = nullptr;        // logical (0, 0) in the current orientation
    uint8_t* framePointer = nullptr;  // path 1: the mapped frame buffer
    uint32_t physicalWidth = 0, physicalHeight = 0;
    int32_t driverXStride = 0, driverYStride = 0;
    int bitsPerPixel = 0;
    int path = 0;  // 0 closed, 1 frame buffer, 2 frame sink
    uint32_t pixelCount = 0, byteCount = 0;
    bool suspended = false;
    int errorCode = 0;
    const Brush* brush = nullptr;
    FrameSink sink;
    void* frameBuffer = nullptr;  // the platform frame-buffer handle of path 1
};

// The hint after the device table: the OEM string's first matching prefix
// (case-insensitive) may replace the user's hint; 3 then becomes 2.
int ApplyDeviceTable(const std::string& oemInfo, int hint);

// Chooses and opens the output path (hint 1: frame buffer first, then the
// sink; hint 2: sink first, then the frame buffer; other hints fail),
// allocates the back buffer and applies the display's orientation. The hint is
// the DisplayMode setting + 1; the device table of the OEM string is applied
// here. Returns 1 on success; otherwise errorCode is set and another value
// returned.
int OpenScreen(Screen& screen, const ScreenOutputs& outputs, int hint);
// Switches the logical view to orientation 0, 1, 2 or 4 (others ignored).
void SetOrientation(Screen& screen, int code);
// The display's current orientation code.
int GetDisplayOrientation(const Screen& screen);
// 0 and errorCode 105 while suspended, else 1.
int BeginFrame(Screen& screen);
// Copies the back buffer to the display. 1, or 0 when suspended (errorCode
// 105, display untouched) or when the output dropped the frame.
int Present(Screen& screen);
void SuspendScreen(Screen& screen);
void ResumeScreen(Screen& screen);
// Releases the keys and the output and frees the back buffer.
void CloseScreen(Screen& screen);

// Makes brush current and returns the previous one; a null brush is refused
// (errorCode 113, null returned, current brush kept).
const Brush* SelectBrush(Screen& screen, const Brush* brush);

// Address of logical pixel (x, y) in the back buffer (no bounds check).
inline uint16_t* ScreenPixel(const Screen& screen, int32_t x, int32_t y) {
    return reinterpret_cast<uint16_t*>(screen.origin + intptr_t(x) * screen.xStep +
                                       intptr_t(y) * screen.yStep);
}

// A frame sink that keeps the last presented frame in memory (tests and the
// headless runs). Its frames can be saved with SaveFramePng.
struct MemoryFrame {
    uint32_t width = 0, height = 0;
    bool rgb555 = false;
    std::vector<uint16_t> pixels;  // width * height, packed
    uint32_t presentCount = 0;
    bool keysCaptured = false;
    int orientation = 0;  // what the display reports
};
FrameSink MemoryFrameSink(MemoryFrame& frame);

// Writes 16-bit pixels (rows pitch bytes apart) as an 8-bit RGB PNG.
bool SaveFramePng(const std::u16string& path, const uint16_t* pixels, uint32_t width,
                  uint32_t height, uint32_t pitch, const PixelLayout& layout);
bool SaveSurfacePng(const std::u16string& path, const Surface& surface, const PixelLayout& layout);

}  // namespace kra
