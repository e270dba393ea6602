// The averaging resampler and the conversion of decoded B, G, R, A pixels
// into surfaces. Built with -O3 (see graphics/CMakeLists.txt).
#pragma once
#include <cstdint>

#include "graphics/surface.h"
#include "platform/image-decode.h"

namespace kra {

// Resamples in to w x h: reducing averages the source area each output pixel
// covers (fractional edges weighted), enlarging interpolates linearly.
void ResampleImage(const platform::ImagePixels& in, uint32_t w, uint32_t h,
                   platform::ImagePixels& out);

// Writes img (already sized like surface) into surface's pixels in layout:
// ((G >> greenDrop) << 5) | ((R >> 3) << redShift) | (B >> 3), and with
// withAlpha the alpha plane (A + 1) >> 3. overBlack lays translucent pixels
// over black first (for opaque renderings of pictures with alpha).
void ConvertImage(const platform::ImagePixels& img, const PixelLayout& layout, bool withAlpha,
                  bool overBlack, Surface& surface);

}  // namespace kra
