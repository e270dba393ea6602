// Shared body of the image fuzz targets (one target per format so that each
// keeps its own seed corpus).
#pragma once
#include <cstddef>
#include <cstdint>

#include "graphics/image.h"

namespace kra::fuzz {

inline void LoadImageAllWays(const uint8_t* data, size_t size) {
    static Screen screen565 = [] {
        Screen s;
        s.physicalWidth = 64, s.physicalHeight = 48;
        return s;
    }();
    Screen screen555 = screen565;
    screen555.layout = kLayout555;
    Surface surface;
    LoadImageBytes(surface, screen565, data, size, true, kScaleNatural, 0, 0);
    LoadImageBytes(surface, screen555, data, size, false, kScaleThumbnail, 24, 24);
    LoadImageBytes(surface, screen565, data, size, true, kScaleFit, 0, 0);
    LoadImageBytes(surface, screen565, data, size, false, kScaleFit, 7, 300);
}

}  // namespace kra::fuzz
