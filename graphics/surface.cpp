#include "graphics/surface.h"

#include <cstdlib>
#include <utility>

namespace kra {

Surface::~Surface() {
    std::free(pixels);
    std::free(alpha);
    std::free(scratch);
}

Surface::Surface(Surface&& other) noexcept {
    *this = std::move(other);
}

Surface& Surface::operator=(Surface&& other) noexcept {
    if (this == &other) return *this;
    std::free(pixels);
    std::free(alpha);
    std::free(scratch);
    width = std::exchange(other.width, 0);
    height = std::exchange(other.height, 0);
    pixels = std::exchange(other.pixels, nullptr);
    pixelsCapacity = std::exchange(other.pixelsCapacity, 0);
    alpha = std::exchange(other.alpha, nullptr);
    alphaSize = std::exchange(other.alphaSize, 0);
    alphaCapacity = std::exchange(other.alphaCapacity, 0);
    scratch = std::exchange(other.scratch, nullptr);
    return *this;
}

bool SizeSurface(Surface& surface, uint32_t w, uint32_t h) {
    if (w == 0 || h == 0) {
        surface.width = surface.height = 0;
        surface.alphaSize = 0;
        return true;
    }
    if (w > kMaxSurfaceSide || h > kMaxSurfaceSide || uint64_t(w) * h > kMaxSurfacePixels) {
        surface.width = surface.height = 0;
        surface.alphaSize = 0;
        return false;
    }
    uint32_t bytes = w * h * 2;
    if (bytes > surface.pixelsCapacity || surface.pixels == nullptr) {
        void* grown = std::realloc(surface.pixels, bytes);
        if (grown == nullptr) {
            surface.width = surface.height = 0;
            surface.alphaSize = 0;
            return false;
        }
        surface.pixels = static_cast<uint16_t*>(grown);
        surface.pixelsCapacity = bytes;
    }
    surface.width = w;
    surface.height = h;
    if (surface.alphaSize != 0) surface.alphaSize = w * h;
    if (surface.alphaSize > surface.alphaCapacity) return SetSurfaceAlpha(surface);
    return true;
}

bool SetSurfaceAlpha(Surface& surface) {
    uint32_t bytes = surface.width * surface.height;
    if (bytes == 0) {
        surface.alphaSize = 0;
        return true;
    }
    if (bytes > surface.alphaCapacity || surface.alpha == nullptr) {
        void* grown = std::realloc(surface.alpha, bytes);
        if (grown == nullptr) {
            surface.alphaSize = 0;
            return false;
        }
        surface.alpha = static_cast<uint8_t*>(grown);
        surface.alphaCapacity = bytes;
    }
    surface.alphaSize = bytes;
    return true;
}

void DropSurfaceAlpha(Surface& surface) {
    surface.alphaSize = 0;
}

void ResetSurface(Surface& surface, bool freeBuffers) {
    surface.width = surface.height = 0;
    surface.alphaSize = 0;
    std::free(surface.scratch);
    surface.scratch = nullptr;
    if (freeBuffers) {
        std::free(surface.pixels);
        std::free(surface.alpha);
        surface.pixels = nullptr;
        surface.alpha = nullptr;
        surface.pixelsCapacity = 0;
        surface.alphaCapacity = 0;
    }
}

}  // namespace kra
