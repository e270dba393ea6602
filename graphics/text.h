// Text rendered once into surfaces, and the shared duration text.
//
// Every label is drawn into an opaque 16-bit Surface (no alpha plane) on a
// background colour; glyph edges are blended with that colour. The text
// starts one pixel right of the left edge, so pixel 0 is always background
// and the surface can be drawn with BlitKeyed to show the glyphs only.
//
// The font is "Tahoma" (or its substitute) of a cell height in pixels, which
// is also the line height, and a weight (600 and more draws bold).
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "graphics/screen.h"
#include "graphics/surface.h"

namespace kra::platform {
struct FontInstance;
}

namespace kra {

// Drawing flags of the format argument.
inline constexpr uint32_t kTextCentre = 0x0001;         // each line centred
inline constexpr uint32_t kTextWordBreak = 0x0010;      // wrap between words
inline constexpr uint32_t kTextSingleLine = 0x0020;     // line breaks are not honoured
inline constexpr uint32_t kTextNoPrefix = 0x0800;       // '&' is shown (always added)
inline constexpr uint32_t kTextWordEllipsis = 0x40000;  // a line that does not fit ends in "..."

// Text colours (0xRRGGBB).
inline constexpr uint32_t kTextWhite = 0xFFFFFF;
inline constexpr uint32_t kTextLightGrey = 0xC8C8C8;
inline constexpr uint32_t kTextNearBlack = 0x0A0A0A;
inline constexpr uint32_t kTextBlack = 0x000000;

// A font made by MakeFont; the caller deletes it with DeleteFont.
struct Font {
    platform::FontInstance* instance = nullptr;
    int height = 0;
    int weight = 0;
};
// Null when no font can be opened.
Font* MakeFont(int height, int weight);
void DeleteFont(Font* font);

// Renders text (UTF-16; surrogate pairs allowed, a lone surrogate shows as
// U+FFFD) into surface.
// Size: with fixedWidth 0 the text is measured on one line and the bitmap is
// width + 1 by lineHeight + 1; otherwise fixedWidth + extraWidth by
// fixedHeight. The surface takes the bitmap's width and the height of the
// drawn lines (all lines when wrapped; the empty text keeps the bitmap
// height). Returns 1, or 0 when no font is available or the size is refused
// (the surface must not be drawn then).
int RenderText(Surface& surface, const Screen& screen, int fontHeight, int fontWeight,
               uint32_t textColour, std::u16string_view text, uint32_t format, int fixedWidth,
               int fixedHeight, int extraWidth, uint32_t backColour);
int RenderTextWithFont(Surface& surface, const Screen& screen, const Font* font,
                       uint32_t textColour, std::u16string_view text, uint32_t format,
                       int fixedWidth, int fixedHeight, int extraWidth, uint32_t backColour);
// The same, with only the pixel layout (for code that has no Screen at hand).
int RenderTextInLayout(Surface& surface, const PixelLayout& layout, const Font* font,
                       uint32_t textColour, std::u16string_view text, uint32_t format,
                       int fixedWidth, int fixedHeight, int extraWidth, uint32_t backColour);

// Width in pixels of text on one line in font.
int MeasureText(const Font* font, std::u16string_view text);

// "%d:%02d" of |seconds| (minutes, then seconds), with a leading '-' when
// seconds is negative.
std::u16string FormatDuration(int seconds);

// --- Line breaking, independent of any font (exposed for tests). ---

struct TextLine {
    std::u32string text;  // what is drawn on the line
    int width = 0;        // its advance in pixels
};
// Splits text into lines for a box of boxWidth pixels by the format flags:
// explicit line breaks (CR, LF, CR LF) unless single line; with word break,
// lines broken after spaces and between CJK characters, a word wider than
// the box broken between characters, spaces at a break dropped; with word
// ellipsis, a line wider than the box cut at the last word that fits together
// with "..." (between characters when no word fits). Never returns no lines.
std::vector<TextLine> BreakTextLines(const std::u32string& text, uint32_t format, int boxWidth,
                                     const std::function<int(char32_t)>& advance);
// UTF-16 to code points; lone surrogates become U+FFFD.
std::u32string TextToCodePoints(std::u16string_view text);

}  // namespace kra
