// Line breaking, ellipsis and the duration text.
#include <cstdio>

#include "graphics/text.h"

namespace kra {

std::u32string TextToCodePoints(std::u16string_view text) {
    std::u32string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        out.push_back(c);
    }
    return out;
}

std::u16string FormatDuration(int seconds) {
    int64_t magnitude = seconds < 0 ? -int64_t(seconds) : int64_t(seconds);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, seconds < 0 ? "-%lld:%02lld" : "%lld:%02lld",
                  static_cast<long long>(magnitude / 60), static_cast<long long>(magnitude % 60));
    std::u16string out;
    for (const char* p = buffer; *p; ++p) out.push_back(char16_t(*p));
    return out;
}

namespace {

bool IsSpace(char32_t c) {
    return c == U' ' || c == U'\t' || c == 0x3000;
}

// Scripts written without spaces: a line may break before and after each
// of their characters.
bool BreaksAround(char32_t c) {
    return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF00 && c <= 0xFFEF) ||
           (c >= 0x20000 && c <= 0x3FFFF);
}

struct LineBuilder {
    const std::function<int(char32_t)>& advance;
    std::vector<TextLine>& lines;

    int Width(const std::u32string& text) const {
        int width = 0;
        for (char32_t c : text) width += advance(c);
        return width;
    }
    void Emit(std::u32string text, int width) { lines.push_back({std::move(text), width}); }
};

// Greedy word wrap of one paragraph (no line breaks inside).
void WrapParagraph(LineBuilder& builder, const std::u32string& text, int boxWidth) {
    // Segments: a word (a run of non-spaces, or one character of a script
    // without spaces) and the spaces after it.
    std::u32string line;
    int lineWidth = 0;
    std::u32string pendingSpaces;
    int pendingWidth = 0;
    bool lineStarted = false;
    size_t i = 0;
    while (i < text.size()) {
        std::u32string word;
        int wordWidth = 0;
        if (BreaksAround(text[i])) {
            word.push_back(text[i]);
            wordWidth = builder.advance(text[i]);
            ++i;
        } else {
            while (i < text.size() && !IsSpace(text[i]) && !BreaksAround(text[i])) {
                word.push_back(text[i]);
                wordWidth += builder.advance(text[i]);
                ++i;
            }
        }
        std::u32string spaces;
        int spacesWidth = 0;
        while (i < text.size() && IsSpace(text[i])) {
            spaces.push_back(text[i]);
            spacesWidth += builder.advance(text[i]);
            ++i;
        }
        if (lineStarted && lineWidth + pendingWidth + wordWidth > boxWidth) {
            builder.Emit(std::move(line), lineWidth);
            line.clear();
            lineWidth = 0;
            lineStarted = false;
        } else if (lineStarted) {
            line += pendingSpaces;
            lineWidth += pendingWidth;
        }
        if (!lineStarted && wordWidth > boxWidth) {
            // A word wider than the box is broken between characters.
            for (char32_t c : word) {
                int w = builder.advance(c);
                if (!line.empty() && lineWidth + w > boxWidth) {
                    builder.Emit(std::move(line), lineWidth);
                    line.clear();
                    lineWidth = 0;
                }
                line.push_back(c);
                lineWidth += w;
            }
        } else {
            line += word;
            lineWidth += wordWidth;
        }
        lineStarted = true;
        pendingSpaces = std::move(spaces);
        pendingWidth = spacesWidth;
    }
    builder.Emit(std::move(line), lineWidth);
}

// Cuts a line that is wider than the box to a prefix and "...".
void AddEllipsis(LineBuilder& builder, TextLine& line, int boxWidth) {
    if (line.width <= boxWidth) return;
    const std::u32string dots = U"...";
    const int dotsWidth = builder.Width(dots);
    const std::u32string& text = line.text;
    // The longest prefix ending at a word end that fits with the dots.
    size_t best = 0;
    bool found = false;
    int width = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        bool wordEnd = i > 0 && !IsSpace(text[i - 1]) &&
                       (IsSpace(text[i]) || BreaksAround(text[i]) || BreaksAround(text[i - 1]));
        if (wordEnd && width + dotsWidth <= boxWidth) {
            best = i;
            found = true;
        }
        width += builder.advance(text[i]);
        if (width > boxWidth) break;
    }
    if (!found) {
        // Not even the first word fits: cut between characters.
        width = 0;
        best = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            int w = builder.advance(text[i]);
            if (width + w + dotsWidth > boxWidth) break;
            width += w;
            best = i + 1;
        }
    }
    std::u32string cut = text.substr(0, best);
    while (!cut.empty() && IsSpace(cut.back())) cut.pop_back();
    cut += dots;
    line.width = builder.Width(cut);
    line.text = std::move(cut);
}

}  // namespace

std::vector<TextLine> BreakTextLines(const std::u32string& text, uint32_t format, int boxWidth,
                                     const std::function<int(char32_t)>& advance) {
    std::vector<TextLine> lines;
    LineBuilder builder{advance, lines};
    std::vector<std::u32string> paragraphs;
    if (format & kTextSingleLine) {
        paragraphs.push_back(text);
    } else {
        std::u32string current;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == U'\r' || text[i] == U'\n') {
                if (text[i] == U'\r' && i + 1 < text.size() && text[i + 1] == U'\n') ++i;
                paragraphs.push_back(std::move(current));
                current.clear();
            } else {
                current.push_back(text[i]);
            }
        }
        paragraphs.push_back(std::move(current));
    }
    for (const std::u32string& paragraph : paragraphs) {
        if (format & kTextWordBreak) {
            WrapParagraph(builder, paragraph, boxWidth);
        } else {
            builder.Emit(paragraph, builder.Width(paragraph));
        }
    }
    if (format & kTextWordEllipsis) {
        for (TextLine& line : lines) AddEllipsis(builder, line, boxWidth);
    }
    return lines;
}

}  // namespace kra
