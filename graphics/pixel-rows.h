// The inner loops of every blit: one contiguous run of destination pixels at
// a time, specialised per mode and per alpha case. Built with -O3 (see
// graphics/CMakeLists.txt) so that they vectorise; each has a branch-free body.
//
// `layout` selects the spread shift and mask. Alpha values are 0..32.
#pragma once
#include <cstddef>
#include <cstdint>

#include "graphics/surface.h"

namespace kra::rows {

void Copy(uint16_t* dst, const uint16_t* src, size_t n);
// dst := blend(dst, src, a); a 0 leaves dst, 32 copies.
void Blend(const PixelLayout& layout, uint16_t* dst, const uint16_t* src, size_t n, uint32_t a);
// Pixels of src equal to key are skipped; the others copied (a 32) or blended.
void Keyed(uint16_t* dst, const uint16_t* src, size_t n, uint16_t key);
void KeyedBlend(const PixelLayout& layout, uint16_t* dst, const uint16_t* src, size_t n,
                uint16_t key, uint32_t a);
// Per-pixel alpha: a = srcAlpha * globalAlpha >> 5; 0 skips, 32 copies, else
// blends. With keyed, pixels equal to key are skipped as well.
void PerPixel(const PixelLayout& layout, uint16_t* dst, const uint16_t* src,
              const uint8_t* srcAlpha, size_t n, uint32_t globalAlpha, bool keyed, uint16_t key);
void Fill(uint16_t* dst, size_t n, uint16_t colour);
void FillBlend(const PixelLayout& layout, uint16_t* dst, size_t n, uint16_t colour, uint32_t a);
// dst := src scaled toward black by level/32 (dst may equal src).
void Dim(const PixelLayout& layout, uint16_t* dst, const uint16_t* src, size_t n, uint32_t level);

}  // namespace kra::rows
