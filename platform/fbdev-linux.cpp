// Output path 1: the Linux frame buffer device.
#include <fcntl.h>
#include <linux/fb.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "platform/display.h"

namespace kra::platform {

bool OpenFrameBuffer(const std::string& device, FrameBuffer& out, std::string& reason) {
    out = FrameBuffer{};
    int fd = ::open(device.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        reason = "cannot open " + device;
        return false;
    }
    fb_var_screeninfo var{};
    fb_fix_screeninfo fix{};
    if (::ioctl(fd, FBIOGET_VSCREENINFO, &var) != 0 ||
        ::ioctl(fd, FBIOGET_FSCREENINFO, &fix) != 0) {
        reason = "no screen info";
        ::close(fd);
        return false;
    }
    int format = 0;
    if (var.bits_per_pixel == 16 && var.blue.offset == 0 && var.blue.length == 5 &&
        var.green.offset == 5) {
        if (var.red.offset == 11 && var.red.length == 5 && var.green.length == 6) format = 1;
        if (var.red.offset == 10 && var.red.length == 5 && var.green.length == 5) format = 2;
    }
    if (format == 0 || fix.type != FB_TYPE_PACKED_PIXELS || fix.visual != FB_VISUAL_TRUECOLOR) {
        reason = "not a 16 bpp RGB565 or RGB555 frame buffer";
        ::close(fd);
        return false;
    }
    if (var.xres == 0 || var.yres == 0 || var.xres > 16384 || var.yres > 16384 ||
        fix.line_length != var.xres * 2 || var.xoffset != 0 || var.yoffset != 0) {
        reason = "frame buffer rows are not packed or the view is panned";
        ::close(fd);
        return false;
    }
    size_t bytes = size_t(var.xres) * var.yres * 2;
    if (fix.smem_len < bytes) {
        reason = "frame buffer memory smaller than one frame";
        ::close(fd);
        return false;
    }
    void* map = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) {
        reason = "cannot map the frame buffer";
        ::close(fd);
        return false;
    }
    out.pixels = static_cast<uint8_t*>(map);
    out.width = var.xres;
    out.height = var.yres;
    out.format = format;
    out.bitsPerPixel = 16;
    out.xStride = 2;
    out.yStride = int32_t(fix.line_length);
    out.fd = fd;
    out.mapLength = bytes;
    return true;
}

void CloseFrameBuffer(FrameBuffer& frameBuffer) {
    if (frameBuffer.pixels != nullptr) ::munmap(frameBuffer.pixels, frameBuffer.mapLength);
    if (frameBuffer.fd >= 0) ::close(frameBuffer.fd);
    frameBuffer = FrameBuffer{};
}

}  // namespace kra::platform
