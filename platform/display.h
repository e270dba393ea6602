// Display services for the screen: the device's OEM string and the Linux
// frame buffer (output path 1).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace kra::platform {

// The device's OEM information string: the devicetree model
// (/proc/device-tree/model), else the DMI product name, else empty; at most
// 255 bytes. SetOemInfo overrides it (--oem TEXT).
std::string OemInfo();
void SetOemInfo(const std::string& text);

// A mapped 16 bpp frame buffer with packed rows (line length exactly 2 x
// width) and no panning, so that one copy of width x height x 2 bytes
// presents a frame.
struct FrameBuffer {
    uint8_t* pixels = nullptr;  // the visible frame, lowest pixel first
    uint32_t width = 0, height = 0;
    int format = 0;  // 1 = RGB565, 2 = RGB555
    int bitsPerPixel = 0;
    int32_t xStride = 0, yStride = 0;  // bytes
    int fd = -1;
    size_t mapLength = 0;
};

// Opens and maps the device ("/dev/fb0"). Anything but 16 bpp RGB565 or
// RGB555 with packed rows at offset (0, 0) is refused; reason then says why.
bool OpenFrameBuffer(const std::string& device, FrameBuffer& out, std::string& reason);
void CloseFrameBuffer(FrameBuffer& frameBuffer);

}  // namespace kra::platform
