// What the window backends share. Platform-internal: the core never
// includes this.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/window.h"

namespace kra::platform {

// One backend's operations. All main thread.
struct WindowBackend {
    // Opens the window for `options`; fills *panel (the profile, or the real
    // display with fullscreen) and installs the loop backend.
    bool (*open)(const PlatformOptions& options, DisplayProfile* panel, std::string* error);
    void (*close)();
    void (*show)(bool visible);
    void (*raise)();
    void (*minimise)();
    // The orientation changed (logical size may have swapped).
    void (*orientationChanged)(int code);
    // Shows a checked frame.
    void (*present)(const uint16_t* pixels, int width, int height, int pitchBytes,
                    PixelFormat format);
    // The shown frame; null when the backend keeps none.
    bool (*shownFrame)(std::vector<uint8_t>* rgb, int* width, int* height);
    void (*notice)(const std::string& text);
};

const WindowBackend& SdlWindowBackend();
const WindowBackend& HeadlessWindowBackend();

// Events the backends report; they become posted messages.
enum class PenAction { kDown, kMove, kUp };
// x, y in logical coordinates of the current orientation (clamped here).
void ReportPen(PenAction action, int x, int y);
void ReportKey(bool down, uint32_t virtualKey, bool repeat);
// An SDL key code as the virtual key the window reports (0: none).
uint32_t SdlKeyToVirtualKey(int32_t key);
void ReportFocus(bool gained);
void ReportClose();
// A turn the user made: changes the orientation and posts the rotation
// message (nothing when it is already `code`).
void ReportRotation(int code);

// Logical size of the panel in the current orientation.
void LogicalSize(int* width, int* height);
bool IsPenPressed();

// Orientation code after one clockwise (+1) or counter-clockwise (-1) turn.
int TurnOrientation(int code, int quarterTurns);
int QuarterTurns(int code);

// Converts a 16-bit frame to RGB triples as the user sees it: turned
// clockwise by the orientation. *outWidth × *outHeight pixels.
void TurnFrameToRgb(const uint16_t* pixels, int width, int height, int pitchBytes,
                    PixelFormat format, int orientation, std::vector<uint8_t>* rgb, int* outWidth,
                    int* outHeight);

// Writes RGB triples as a PNG file: temporary name, then rename.
bool WritePng(const std::string& path, const std::vector<uint8_t>& rgb, int width, int height,
              std::string* error);

// The headless backend's script (steps already parsed); it is played while
// the loop is idle. False from ScriptFailed when a step failed at run time.
void StartHeadlessScript(std::vector<struct ScriptStep> steps);
bool HeadlessScriptFailed();

// While started, SIGINT and SIGTERM post kWmClose (headless runs; SDL does
// this itself). Stop before the loop's owner goes away.
void StartSignalWatch();
void StopSignalWatch();

}  // namespace kra::platform
