// The 16-bit picture every screen draws with, and the pixel arithmetic on it.
//
// Pixels are 16 bits in one PixelLayout (RGB565 or RGB555), chosen once by the
// Screen to match the display; every surface and the back buffer use the same
// one. Rows are packed: the row pitch is always width * 2 bytes.
//
// Alpha runs from 0 (transparent) to 32 (opaque) everywhere: in alpha planes,
// in the global alpha of every drawing call. A surface has an alpha plane when
// alphaSize is nonzero; otherwise it is opaque.
//
// The colour key of a surface is its pixel 0 (top-left of the whole surface,
// whatever sub-rectangle is drawn).
#pragma once
#include <cstddef>
#include <cstdint>

namespace kra {

// How a 16-bit pixel is laid out. Blue is always the low 5 bits.
struct PixelLayout {
    uint32_t spreadShift;    // spreads a pixel into a 32-bit word for blending
    uint32_t spreadMask;     // red and blue in the low half, green in the high half
    uint32_t redShift;       // position of the 5 red bits
    uint32_t greenDrop;      // low bits dropped from an 8-bit green value
    uint32_t greenMask;      // the green bits of a pixel
    uint32_t imagingFormat;  // imaging pixel-format code of this layout
    uint32_t layoutFlag;     // 128 for 565, 64 for 555 (text needs 555 -> 565)
};

inline constexpr PixelLayout kLayout565{16, 0x07E0F81Fu, 11, 2, 0x07E0, 0x00021006, 128};
inline constexpr PixelLayout kLayout555{15, 0x01F07C1Fu, 10, 3, 0x03E0, 0x00021005, 64};

inline bool Is565(const PixelLayout& layout) {
    return layout.redShift == 11;
}

// (r, g, b) with 8-bit components.
inline constexpr uint16_t MakeColour(const PixelLayout& layout, uint32_t r, uint32_t g,
                                     uint32_t b) {
    return uint16_t(((r >> 3) << layout.redShift) | ((g >> layout.greenDrop) << 5) | (b >> 3));
}

// The spread trick: red, green and blue are moved apart inside a 32-bit word
// with guard bits between them, so one multiply by an alpha of 0..32 and a
// shift by 5 scale all three channels without carries crossing fields.
inline constexpr uint32_t SpreadPixel(uint32_t spreadShift, uint32_t spreadMask, uint16_t p) {
    return (uint32_t(p) | (uint32_t(p) << spreadShift)) & spreadMask;
}
inline constexpr uint16_t PackPixel(uint32_t spreadShift, uint32_t spreadMask, uint32_t r) {
    r &= spreadMask;
    return uint16_t(r | (r >> spreadShift));
}

// d + floor((s - d) * a / 32) channel by channel; a in 0..32.
inline constexpr uint16_t BlendPixel(const PixelLayout& layout, uint16_t d, uint16_t s,
                                     uint32_t a) {
    uint32_t e = SpreadPixel(layout.spreadShift, layout.spreadMask, d);
    uint32_t f = SpreadPixel(layout.spreadShift, layout.spreadMask, s);
    uint32_t r = e + (((f - e) * a) >> 5);
    return PackPixel(layout.spreadShift, layout.spreadMask, r);
}

// p scaled toward black by level/32; level in 0..32.
inline constexpr uint16_t DimPixel(const PixelLayout& layout, uint16_t p, uint32_t level) {
    uint32_t r = (SpreadPixel(layout.spreadShift, layout.spreadMask, p) * level) >> 5;
    return PackPixel(layout.spreadShift, layout.spreadMask, r);
}

// Drawing modes of DrawSurface, DrawStrip and BlendSurface.
enum BlitMode : uint32_t {
    BlitCopy = 0x00CC0020,  // every pixel copied; global alpha ignored
    BlitBlend = 1001,       // every pixel, blended with the global alpha
    BlitKeyed = 1002,       // pixels equal to the key skipped, others copied or blended
    BlitKeyedAlpha = 1003,  // per-pixel alpha and key; draws nothing without alpha plane
};

// Kind words of drawing objects.
inline constexpr uint32_t kPenKind = 10000;  // reserved, never drawn with
inline constexpr uint32_t kBrushKind = 10001;

struct Brush {
    uint32_t kind = kBrushKind;
    uint16_t colour = 0;
};

inline Brush MakeBrush(uint16_t colour) {
    return Brush{kBrushKind, colour};
}

// One picture. Not copyable (it owns its buffers); movable. Buffers only grow:
// loading, scaling or rendering into an existing surface reuses them.
struct Surface {
    uint32_t width = 0;  // 0 = empty
    uint32_t height = 0;
    uint16_t* pixels = nullptr;   // width * height pixels, null until first use
    uint32_t pixelsCapacity = 0;  // bytes allocated for pixels
    uint8_t* alpha = nullptr;     // 0..32 per pixel, same order as pixels
    uint32_t alphaSize = 0;       // bytes of the alpha plane; 0 = opaque
    uint32_t alphaCapacity = 0;   // bytes allocated for alpha
    void* scratch = nullptr;      // auxiliary buffer freed with the surface

    Surface() = default;
    ~Surface();
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;
    Surface(Surface&& other) noexcept;
    Surface& operator=(Surface&& other) noexcept;

    bool HasAlpha() const { return alphaSize != 0; }
    bool HasPixels() const { return pixels != nullptr && width != 0 && height != 0; }
    uint16_t Key() const { return pixels ? pixels[0] : 0; }
    uint16_t* Row(uint32_t y) { return pixels + size_t(y) * width; }
    const uint16_t* Row(uint32_t y) const { return pixels + size_t(y) * width; }
    uint8_t* AlphaRow(uint32_t y) { return alpha + size_t(y) * width; }
    const uint8_t* AlphaRow(uint32_t y) const { return alpha + size_t(y) * width; }
};

// Largest width or height any surface may take, and the largest pixel count;
// sizes beyond them are refused before anything is allocated.
inline constexpr uint32_t kMaxSurfaceSide = 16384;
inline constexpr uint64_t kMaxSurfacePixels = 32ull * 1024 * 1024;

// Sizes the surface to w x h, growing the pixel buffer when needed (contents
// are not cleared). The alpha plane is left as it is: callers decide with
// SetSurfaceAlpha / DropSurfaceAlpha. False (and an empty surface) on a size
// over the limits or an allocation failure. A 0 side gives an empty surface.
bool SizeSurface(Surface& surface, uint32_t w, uint32_t h);
// Gives the surface an alpha plane for its current size (contents not
// cleared). False on an allocation failure (the surface is then opaque).
bool SetSurfaceAlpha(Surface& surface);
// Makes the surface opaque (the alpha buffer stays allocated for reuse).
void DropSurfaceAlpha(Surface& surface);
// Sets width, height and alphaSize to 0 and frees scratch; frees pixels and
// alpha too when freeBuffers is set (pixelsCapacity is then 0 as well).
void ResetSurface(Surface& surface, bool freeBuffers);

}  // namespace kra
