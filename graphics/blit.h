// Drawing surfaces into the back buffer or into each other, and the few
// direct primitives on the back buffer.
//
// Coordinates are logical screen coordinates of the current orientation.
// Every operation clips before it touches a pixel; the results are 1 for
// success (including nothing left after clipping) and 0 for failure. Alpha is
// 0..32. All arithmetic is integer.
#pragma once
#include <cstdint>

#include "graphics/screen.h"
#include "graphics/surface.h"

namespace kra {

// Draws the w x h rectangle of src at (srcX, srcY) with its top-left corner at
// (x, y). w = 0 means the source width, h = 0 the source height. A source
// with an alpha plane is drawn per pixel (mode consulted only for the key of
// BlitKeyedAlpha); without one, BlitKeyedAlpha draws nothing. 0 when src has
// no pixels.
int DrawSurface(const Surface& src, Screen& screen, int32_t x, int32_t y, int32_t w, int32_t h,
                int32_t srcX, int32_t srcY, uint32_t mode, uint32_t alpha);

// Fills (x, y, w, h) from a one-pixel-wide vertical strip: row j is strip
// pixel j repeated across the width. h = 0 means the strip's height. A strip
// with an alpha plane is drawn with one alpha for the whole rectangle: that of
// its first drawn pixel times alpha >> 5.
int DrawStrip(const Surface& strip, Screen& screen, int32_t x, int32_t y, int32_t w, int32_t h,
              uint32_t mode, uint32_t alpha);

// As DrawSurface with dst in place of the back buffer (the screen gives the
// pixel layout only). A destination with an alpha plane takes the drawn
// pixels' alpha: a source without alpha is keyed and drawn with the global
// alpha, which the written pixels' alpha becomes; a source with alpha is drawn
// per pixel and each written pixel's alpha becomes its effective alpha.
int BlendSurface(Surface& dst, const Screen& screen, const Surface& src, int32_t dstX, int32_t dstY,
                 int32_t w, int32_t h, int32_t srcX, int32_t srcY, uint32_t mode, uint32_t alpha);

// Writes a full-screen snapshot back scaled toward black by level/32 (32 is a
// straight copy). A snapshot without pixels (or of another size) clears the
// back buffer to 0.
int CopyDimmed(const Surface& snapshot, Screen& screen, uint32_t level);
// Scales every back-buffer pixel toward black by level/32 in place.
int DimScreen(Screen& screen, uint32_t level);
// Sets every byte of the back buffer to value.
int ClearScreen(Screen& screen, uint8_t value);

// Fills [x1, x2) x [y1, y2), given in the logical coordinates of orientation,
// with the current brush: solid at alpha 32, else blended. Corners in the
// wrong order are swapped. 0 without a current brush.
int FillRect(Screen& screen, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t alpha,
             int orientation);
// A one-pixel horizontal or vertical line from the smaller to the larger
// coordinate, end exclusive; other lines are not drawn.
int DrawLine(Screen& screen, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int orientation,
             uint16_t colour, uint32_t alpha);

}  // namespace kra
