// Fonts for the text renderer: the "Tahoma" face at a pixel height and weight,
// with per-glyph fallback so that any script shows.
//
// Linux backend: fontconfig picks the face ("Tahoma" is asked for; its
// substitute, DejaVu Sans by default) and, for a character the face lacks,
// the first installed font in fontconfig's order that has it (Droid Sans
// Fallback for CJK). FreeType rasterises with light hinting into 8-bit
// coverage. Test backend: UseFontFiles fixes the list of font files, so
// metrics do not depend on the machine's font configuration.
//
// All functions are safe to call from any thread (one lock inside).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kra::platform {

// One face set at one size and weight. Instances are shared and kept until
// the process ends.
struct FontInstance;

// The face set of pixelHeight (the cell height: ascent + descent, the line
// height) and weight (100..900; 600 and more is bold, synthesised when the
// face has no bold). Null when no font can be opened at all or the height is
// not in 1..1024.
FontInstance* OpenFont(int pixelHeight, int weight);

struct FontLineMetrics {
    int lineHeight = 0;  // distance of two lines; equals the pixel height
    int ascent = 0;      // baseline below the line's top
};
FontLineMetrics GetFontMetrics(FontInstance* font);

// Horizontal advance in whole pixels of one character, from the face that
// draws it (a character no font has advances like the face's missing-glyph
// box).
int GetGlyphAdvance(FontInstance* font, char32_t character);

// 8-bit coverage of one character, placed relative to the pen position on
// the baseline: the bitmap's top-left pixel is at (pen + left, baseline - top).
struct GlyphCoverage {
    int left = 0;
    int top = 0;
    int width = 0;
    int rows = 0;
    int advance = 0;
    std::vector<uint8_t> coverage;  // rows * width, 0..255
};
// False when the character cannot be drawn (out is then an empty glyph with
// its advance).
bool GetGlyph(FontInstance* font, char32_t character, GlyphCoverage& out);

// Test backend: the first file is the face, the others the fallbacks in
// order; fontconfig is no longer asked. Drops the instances opened so far,
// so call it before any text is rendered. An empty list restores fontconfig.
void UseFontFiles(const std::vector<std::string>& files);

// The file of the face that OpenFont uses for the given weight ("" if none).
std::string PrimaryFontFile(int weight);

}  // namespace kra::platform
