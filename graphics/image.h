// Making and changing surfaces: decoding image files at a wanted size,
// snapshots of the back buffer, fills, crops, mirrors, reflections,
// resampling, rotation and the trapezoid warp of the album flow.
//
// Results are in the screen's pixel layout, with alpha 0..32. Every operation
// returns 1 on success and 0 on failure; a failed operation leaves the
// destination empty or with contents that must not be drawn.
#pragma once
#include <cstdint>
#include <string>

#include "graphics/screen.h"
#include "graphics/surface.h"

namespace kra {

// Scale modes of LoadImage.
inline constexpr int kScaleNatural = 0;    // the picture's own size
inline constexpr int kScaleThumbnail = 2;  // shorter side becomes max(box) when both exceed it
inline constexpr int kScaleFit = 4;        // the fit rule into the box

// Decodes a PNG, JPEG or BMP file (chosen by its bytes, not its name) into
// surface. A box of 0 x 0 means the physical screen size in the current
// orientation. The surface gets an alpha plane only when the picture has
// alpha and the path ends in ".png". An empty path takes a snapshot instead:
// a copy of the whole back buffer at its physical size.
int LoadImage(Surface& surface, const Screen& screen, const std::u16string& path, int scaleMode,
              uint32_t boxW, uint32_t boxH);
// The same on bytes in memory; pngName stands for the ".png" ending of a path.
int LoadImageBytes(Surface& surface, const Screen& screen, const uint8_t* data, size_t size,
                   bool pngName, int scaleMode, uint32_t boxW, uint32_t boxH);

// The size of w x h fitted into bw x bh: the width follows the box height
// unless that makes it wider than the box, sides one pixel off the box snap to
// it. Rounded to nearest; products in 64 bits.
void FitSize(uint32_t w, uint32_t h, uint32_t bw, uint32_t bh, uint32_t& outW, uint32_t& outH);

// The size LoadImage decodes a W x H picture to in scaleMode for the box.
void ImageTargetSize(uint32_t w, uint32_t h, int scaleMode, uint32_t boxW, uint32_t boxH,
                     uint32_t& outW, uint32_t& outH);

// Sizes the surface to w x h (0 = the physical screen width / height) and sets
// every byte of pixels to fillByte; withAlpha gives an alpha plane of
// alphaByte, otherwise the surface becomes opaque.
int FillSurface(Surface& surface, const Screen& screen, uint32_t w, uint32_t h, uint8_t fillByte,
                bool withAlpha, uint8_t alphaByte);
// Copies the w x h rectangle at (srcX, srcY) of src (all four 0: all of it);
// sides capped at the source's. A nonzero fillByte fills dst first (rows the
// source does not reach keep the fill). The alpha plane comes along.
int CropSurface(Surface& dst, const Surface& src, uint32_t w, uint32_t h, uint32_t srcX,
                uint32_t srcY, uint8_t fillByte);
// Left-right mirror image, alpha plane included.
int MirrorSurface(Surface& dst, const Surface& src);
// rows rows (0 = half the source height) from the bottom of src upward;
// every pixel gets alpha 20.
int MakeReflection(Surface& dst, const Surface& src, uint32_t rows);
// Resamples src to w x h (0 = the source's side), or with keepAspect to the
// fit of the source into w x h. smooth: bilinear, opaque result; otherwise
// nearest, alpha sampled along.
int ScaleSurface(Surface& dst, const Screen& screen, const Surface& src, uint32_t w, uint32_t h,
                 bool smooth, bool keepAspect);
// Rotation about the top-left corner into the bounding box of the result;
// uncovered pixels keep fillByte.
int RotateSurface(Surface& dst, const Surface& src, float degrees, uint8_t fillByte);

// Corners of a warp: top-left, top-right, bottom-left, bottom-right.
struct WarpCorners {
    int32_t x0, y0, x1, y1, x2, y2, x3, y3;
};
// Maps src onto the four-sided figure (top and bottom horizontal, or left and
// right vertical), optionally with a reflection darkened to 20/32 below it.
// withAlpha: the area outside the figure is transparent; otherwise pixel 0
// holds the fill colour so that keyed drawing leaves it out.
int WarpSurface(Surface& dst, const Screen& screen, const Surface& src, const WarpCorners& corners,
                uint32_t fill, bool reflect, bool withAlpha);

}  // namespace kra
