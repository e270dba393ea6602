// Rendering text into surfaces.
#include "graphics/text.h"

#include <algorithm>

#include "platform/font.h"

namespace kra {

Font* MakeFont(int height, int weight) {
    platform::FontInstance* instance = platform::OpenFont(height, weight);
    if (instance == nullptr) return nullptr;
    return new Font{instance, height, weight};
}

void DeleteFont(Font* font) {
    delete font;
}

int MeasureText(const Font* font, std::u16string_view text) {
    if (font == nullptr) return 0;
    int width = 0;
    for (char32_t c : TextToCodePoints(text)) width += platform::GetGlyphAdvance(font->instance, c);
    return width;
}

namespace {

// The 16-bit pixel of each coverage value: text blended over the background
// in 8 bits per channel, stored as 5-5-5 and, on a 5-6-5 screen, widened
// with green's lowest bit 0 (so white becomes 0xFFDF).
void MakeShadeTable(const PixelLayout& layout, uint32_t textColour, uint32_t backColour,
                    uint16_t table[256]) {
    const int tr = (textColour >> 16) & 255, tg = (textColour >> 8) & 255, tb = textColour & 255;
    const int br = (backColour >> 16) & 255, bg = (backColour >> 8) & 255, bb = backColour & 255;
    for (int a = 0; a < 256; ++a) {
        int r = br + ((tr - br) * a + (tr >= br ? 127 : -127)) / 255;
        int g = bg + ((tg - bg) * a + (tg >= bg ? 127 : -127)) / 255;
        int b = bb + ((tb - bb) * a + (tb >= bb ? 127 : -127)) / 255;
        uint16_t p = uint16_t(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
        if (Is565(layout)) p = uint16_t((p & 31) | ((p & 0xFFE0) << 1));
        table[a] = p;
    }
}

}  // namespace

int RenderTextInLayout(Surface& surface, const PixelLayout& layout, const Font* font,
                       uint32_t textColour, std::u16string_view text, uint32_t format,
                       int fixedWidth, int fixedHeight, int extraWidth, uint32_t backColour) {
    if (font == nullptr || font->instance == nullptr) return 0;
    platform::FontInstance* instance = font->instance;
    const platform::FontLineMetrics metrics = platform::GetFontMetrics(instance);
    const int lineHeight = metrics.lineHeight;
    format |= kTextNoPrefix;  // '&' is never a mnemonic marker here

    std::u32string codePoints = TextToCodePoints(text);
    auto advance = [instance](char32_t c) { return platform::GetGlyphAdvance(instance, c); };

    int64_t bitmapWidth = 0;
    int64_t bitmapHeight = 0;
    if (fixedWidth != 0) {
        bitmapWidth = int64_t(fixedWidth) + extraWidth;
        bitmapHeight = fixedHeight;
    } else {
        int64_t measured = 0;
        for (char32_t c : codePoints) measured += advance(c);
        bitmapWidth = measured + 1;
        bitmapHeight = int64_t(lineHeight) + 1;
    }
    if (bitmapWidth <= 0 || bitmapHeight < 0 || bitmapWidth > kMaxSurfaceSide) return 0;

    // The box runs from x = 1 to the bitmap's right edge.
    const int boxWidth = int(bitmapWidth) - 1;
    std::vector<TextLine> lines = BreakTextLines(codePoints, format, boxWidth, advance);
    int64_t height = codePoints.empty() ? bitmapHeight : int64_t(lines.size()) * lineHeight;
    if (height > kMaxSurfaceSide) height = kMaxSurfaceSide;
    const uint32_t width = uint32_t(bitmapWidth);

    DropSurfaceAlpha(surface);
    if (height == 0) {
        ResetSurface(surface, false);  // nothing to show: an empty surface
        return 1;
    }
    if (!SizeSurface(surface, width, uint32_t(height))) return 0;

    // Coverage of all glyphs first (overlapping edges add up), then one pass
    // that turns coverage into pixels.
    std::vector<uint8_t> coverage(size_t(width) * size_t(height), 0);
    platform::GlyphCoverage glyph;
    for (size_t lineIndex = 0; lineIndex < lines.size(); ++lineIndex) {
        const TextLine& line = lines[lineIndex];
        int penX = 1;
        if (format & kTextCentre) penX += (boxWidth - line.width) / 2;
        const int64_t baseline = int64_t(lineIndex) * lineHeight + metrics.ascent;
        for (char32_t c : line.text) {
            if (!platform::GetGlyph(instance, c, glyph)) continue;
            const int64_t left = int64_t(penX) + glyph.left;
            const int64_t top = baseline - glyph.top;
            for (int gy = 0; gy < glyph.rows; ++gy) {
                const int64_t y = top + gy;
                if (y < 0 || y >= height) continue;
                uint8_t* row = coverage.data() + size_t(y) * width;
                const uint8_t* source = glyph.coverage.data() + size_t(gy) * glyph.width;
                for (int gx = 0; gx < glyph.width; ++gx) {
                    const int64_t x = left + gx;
                    // Drawing is clipped to the box, so column 0 stays background.
                    if (x < 1 || x >= int64_t(width)) continue;
                    row[x] = uint8_t(std::min(255, row[x] + source[gx]));
                }
            }
            penX += glyph.advance;
        }
    }
    uint16_t table[256];
    MakeShadeTable(layout, textColour, backColour, table);
    const size_t count = size_t(width) * size_t(height);
    for (size_t i = 0; i < count; ++i) surface.pixels[i] = table[coverage[i]];
    return 1;
}

int RenderTextWithFont(Surface& surface, const Screen& screen, const Font* font,
                       uint32_t textColour, std::u16string_view text, uint32_t format,
                       int fixedWidth, int fixedHeight, int extraWidth, uint32_t backColour) {
    return RenderTextInLayout(surface, screen.layout, font, textColour, text, format, fixedWidth,
                              fixedHeight, extraWidth, backColour);
}

int RenderText(Surface& surface, const Screen& screen, int fontHeight, int fontWeight,
               uint32_t textColour, std::u16string_view text, uint32_t format, int fixedWidth,
               int fixedHeight, int extraWidth, uint32_t backColour) {
    Font* font = MakeFont(fontHeight, fontWeight);
    if (font == nullptr) return 0;
    int result = RenderTextWithFont(surface, screen, font, textColour, text, format, fixedWidth,
                                    fixedHeight, extraWidth, backColour);
    DeleteFont(font);
    return result;
}

}  // namespace kra
