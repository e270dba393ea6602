#include <algorithm>
#include <cstring>
#include <vector>

#include "app/base/debug_log.h"
#include "app/base/text.h"
#include "graphics/image.h"
#include "graphics/resample.h"
#include "platform/files.h"
#include "platform/image-decode.h"

namespace kra {
namespace {

// Files larger than this are not pictures we show.
constexpr uint64_t kMaxImageFileBytes = 64ull * 1024 * 1024;

uint32_t RoundDiv(uint64_t n, uint64_t d) {
    return d == 0 ? 0 : uint32_t((2 * n + d) / (2 * d));
}

bool EndsWithPng(const std::u16string& path) {
    if (path.size() < 4) return false;
    std::u16string tail = path.substr(path.size() - 4);
    for (char16_t& c : tail) c = FoldUnit(c);
    return tail == u".png";
}

int TakeSnapshot(Surface& surface, const Screen& screen) {
    if (screen.backBuffer == nullptr) return 0;
    if (!SizeSurface(surface, screen.physicalWidth, screen.physicalHeight)) return 0;
    DropSurfaceAlpha(surface);
    std::memcpy(surface.pixels, screen.backBuffer, screen.byteCount);
    return 1;
}

}  // namespace

void FitSize(uint32_t w, uint32_t h, uint32_t bw, uint32_t bh, uint32_t& outW, uint32_t& outH) {
    outW = outH = 0;
    if (w == 0 || h == 0) return;
    uint32_t fw = RoundDiv(uint64_t(w) * bh, h), fh;
    if (fw > bw) {
        fh = RoundDiv(uint64_t(h) * bw, w);
        fw = bw;
    } else {
        fh = bh;
    }
    if (fw + 1 == bw || fw == bw + 1) fw = bw;
    if (fh + 1 == bh || fh == bh + 1) fh = bh;
    outW = fw;
    outH = fh;
}

void ImageTargetSize(uint32_t w, uint32_t h, int scaleMode, uint32_t boxW, uint32_t boxH,
                     uint32_t& outW, uint32_t& outH) {
    outW = w, outH = h;
    if (scaleMode == kScaleThumbnail) {
        const uint64_t big = std::max(boxW, boxH);
        if (w <= big || h <= big) return;
        bool heightIsBig = boxW > boxH || (boxW == boxH && h <= w);
        if (heightIsBig) {
            outH = uint32_t(big);
            outW = uint32_t(big * w / h);
        } else {
            outW = uint32_t(big);
            outH = uint32_t(big * h / w);
        }
    } else if (scaleMode == kScaleFit) {
        FitSize(w, h, boxW, boxH, outW, outH);
    }
}

int LoadImageBytes(Surface& surface, const Screen& screen, const uint8_t* data, size_t size,
                   bool pngName, int scaleMode, uint32_t boxW, uint32_t boxH) {
    surface.width = surface.height = 0;
    DropSurfaceAlpha(surface);
    platform::ImageHeader header;
    if (!platform::ReadImageHeader(data, size, header)) return 0;
    if (scaleMode != kScaleNatural && boxW == 0 && boxH == 0) {
        bool portrait =
            screen.orientation == kOrientation0 || screen.orientation == kOrientation180;
        boxW = portrait ? screen.physicalWidth : screen.physicalHeight;
        boxH = portrait ? screen.physicalHeight : screen.physicalWidth;
    }
    uint32_t tw, th;
    ImageTargetSize(header.width, header.height, scaleMode, boxW, boxH, tw, th);
    if (tw == 0 || th == 0 || tw > kMaxSurfaceSide || th > kMaxSurfaceSide ||
        uint64_t(tw) * th > kMaxSurfacePixels)
        return 0;
    const bool resample = tw != header.width || th != header.height;
    platform::ImagePixels decoded;
    std::string reason;
    // A JPEG is reduced in the DCT domain as far as the target allows.
    if (!platform::DecodeImage(data, size, resample ? tw : 0, resample ? th : 0, decoded, reason)) {
        KRA_LOG("Image decode failed: %s", reason.c_str());
        return 0;
    }
    if (decoded.width != tw || decoded.height != th) {
        platform::ImagePixels scaled;
        ResampleImage(decoded, tw, th, scaled);
        decoded = std::move(scaled);
    }
    const bool withAlpha = header.hasAlpha && pngName;
    if (!SizeSurface(surface, tw, th)) return 0;
    if (withAlpha && !SetSurfaceAlpha(surface)) {
        surface.width = surface.height = 0;
        return 0;
    }
    ConvertImage(decoded, screen.layout, withAlpha, header.hasAlpha && !withAlpha, surface);
    return 1;
}

int LoadImage(Surface& surface, const Screen& screen, const std::u16string& path, int scaleMode,
              uint32_t boxW, uint32_t boxH) {
    surface.width = surface.height = 0;
    DropSurfaceAlpha(surface);
    if (path.empty()) return TakeSnapshot(surface, screen);
    std::vector<uint8_t> bytes;
    if (!platform::ReadFileBytes(path, bytes, kMaxImageFileBytes)) return 0;
    return LoadImageBytes(surface, screen, bytes.data(), bytes.size(), EndsWithPng(path), scaleMode,
                          boxW, boxH);
}

bool SaveFramePng(const std::u16string& path, const uint16_t* pixels, uint32_t width,
                  uint32_t height, uint32_t pitch, const PixelLayout& layout) {
    if (pixels == nullptr || width == 0 || height == 0) return false;
    std::vector<uint8_t> rgb(size_t(width) * height * 3);
    const uint32_t greenBits = 8 - layout.greenDrop;
    for (uint32_t y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const uint16_t*>(
            reinterpret_cast<const uint8_t*>(pixels) + size_t(y) * pitch);
        uint8_t* d = rgb.data() + size_t(y) * width * 3;
        for (uint32_t x = 0; x < width; ++x, d += 3) {
            uint32_t p = row[x];
            uint32_t r = (p >> layout.redShift) & 31, g = (p & layout.greenMask) >> 5, b = p & 31;
            d[0] = uint8_t((r << 3) | (r >> 2));
            d[1] = uint8_t((g << (8 - greenBits)) | (g >> (2 * greenBits - 8)));
            d[2] = uint8_t((b << 3) | (b >> 2));
        }
    }
    return platform::WritePngRgb(platform::ToPosixPath(path), rgb.data(), width, height);
}

bool SaveSurfacePng(const std::u16string& path, const Surface& surface, const PixelLayout& layout) {
    if (!surface.HasPixels()) return false;
    return SaveFramePng(path, surface.pixels, surface.width, surface.height, surface.width * 2,
                        layout);
}

}  // namespace kra
