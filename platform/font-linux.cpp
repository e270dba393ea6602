// Fonts on fontconfig and FreeType.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <unordered_map>

#include "platform/font.h"

namespace kra::platform {

namespace {

constexpr size_t kGlyphCacheLimit = 4096;  // per instance; the cache is dropped when full
constexpr int kBoldWeight = 600;

struct FaceFile {
    std::string path;
    int index = 0;
    bool bold = false;  // the file's own weight is bold
};

}  // namespace

struct FontInstance {
    int pixelHeight = 0;
    bool wantBold = false;
    FontLineMetrics metrics;
    // Faces opened so far: [0] the primary, then fallbacks in the order met.
    std::vector<std::pair<FaceFile, FT_Face>> faces;
    // Fallback candidates not yet looked at (fontconfig order).
    size_t nextCandidate = 0;
    std::unordered_map<char32_t, GlyphCoverage> glyphs;
    std::set<char32_t> missing;
};

namespace {

struct FontState {
    std::mutex lock;
    FT_Library library = nullptr;
    bool fontconfigReady = false;
    std::vector<std::string> fixedFiles;  // test backend when not empty
    // Candidate lists per boldness: the primary first, then fallbacks.
    std::map<bool, std::vector<FaceFile>> candidates;
    std::map<std::pair<int, bool>, FontInstance*> instances;
    std::vector<FontInstance*> retired;  // handed out before UseFontFiles; still valid
};

FontState& State() {
    static FontState* state = new FontState;  // lives until exit, like the instances
    return *state;
}

std::vector<FaceFile> FindCandidates(FontState& state, bool bold) {
    std::vector<FaceFile> files;
    if (!state.fixedFiles.empty()) {
        for (const std::string& path : state.fixedFiles) files.push_back({path, 0, false});
        return files;
    }
    if (!state.fontconfigReady) {
        if (!FcInit()) return files;
        state.fontconfigReady = true;
    }
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("Tahoma"));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcFontSet* set = FcFontSort(nullptr, pattern, FcTrue, nullptr, &result);
    if (set != nullptr) {
        for (int i = 0; i < set->nfont; ++i) {
            FcPattern* font = set->fonts[i];
            FcChar8* file = nullptr;
            if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch) continue;
            int index = 0;
            FcPatternGetInteger(font, FC_INDEX, 0, &index);
            int weight = FC_WEIGHT_REGULAR;
            FcPatternGetInteger(font, FC_WEIGHT, 0, &weight);
            FcBool scalable = FcTrue;
            FcPatternGetBool(font, FC_SCALABLE, 0, &scalable);
            if (!scalable) continue;
            files.push_back(
                {reinterpret_cast<const char*>(file), index, weight >= FC_WEIGHT_DEMIBOLD});
        }
        FcFontSetDestroy(set);
    }
    FcPatternDestroy(pattern);
    return files;
}

const std::vector<FaceFile>& Candidates(FontState& state, bool bold) {
    auto it = state.candidates.find(bold);
    if (it == state.candidates.end()) {
        it = state.candidates.emplace(bold, FindCandidates(state, bold)).first;
    }
    return it->second;
}

FT_Face OpenFace(FontState& state, const FaceFile& file, int pixelHeight) {
    FT_Face face = nullptr;
    if (FT_New_Face(state.library, file.path.c_str(), file.index, &face) != 0) return nullptr;
    if (!FT_IS_SCALABLE(face)) {
        FT_Done_Face(face);
        return nullptr;
    }
    // The pixel height is the cell height, ascent plus descent, as a
    // "Tahoma" of that height measures.
    FT_Size_RequestRec request{};
    request.type = FT_SIZE_REQUEST_TYPE_REAL_DIM;
    request.height = FT_Long(pixelHeight) << 6;
    if (FT_Request_Size(face, &request) != 0) {
        FT_Done_Face(face);
        return nullptr;
    }
    FT_Select_Charmap(face, FT_ENCODING_UNICODE);
    return face;
}

// The face that has the character, opening fallbacks as needed; -1 if none.
int FaceFor(FontState& state, FontInstance& font, char32_t character) {
    for (size_t i = 0; i < font.faces.size(); ++i) {
        if (FT_Get_Char_Index(font.faces[i].second, character) != 0) return int(i);
    }
    if (font.missing.count(character) != 0) return -1;
    const std::vector<FaceFile>& list = Candidates(state, font.wantBold);
    while (font.nextCandidate < list.size()) {
        const FaceFile& file = list[font.nextCandidate++];
        FT_Face face = OpenFace(state, file, font.pixelHeight);
        if (face == nullptr) continue;
        font.faces.push_back({file, face});
        if (FT_Get_Char_Index(face, character) != 0) return int(font.faces.size() - 1);
    }
    if (font.missing.size() < kGlyphCacheLimit) font.missing.insert(character);
    return -1;
}

bool IsControl(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c < 0xA0);
}

// Loads and renders into out; the lock is held.
void LoadGlyph(FontState& state, FontInstance& font, char32_t character, GlyphCoverage& out) {
    out = GlyphCoverage();
    if (IsControl(character) || font.faces.empty()) return;
    int faceIndex = FaceFor(state, font, character);
    FT_Face face = font.faces[faceIndex < 0 ? 0 : faceIndex].second;
    bool synthBold = font.wantBold && !font.faces[faceIndex < 0 ? 0 : faceIndex].first.bold;
    FT_UInt glyph = faceIndex < 0 ? 0 : FT_Get_Char_Index(face, character);
    if (FT_Load_Glyph(face, glyph, FT_LOAD_TARGET_LIGHT) != 0) return;
    if (synthBold) FT_GlyphSlot_Embolden(face->glyph);
    out.advance = int((face->glyph->advance.x + 32) >> 6);
    if (FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) != 0) return;
    const FT_Bitmap& bitmap = face->glyph->bitmap;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) return;
    out.left = face->glyph->bitmap_left;
    out.top = face->glyph->bitmap_top;
    out.width = int(bitmap.width);
    out.rows = int(bitmap.rows);
    out.coverage.resize(size_t(out.width) * out.rows);
    for (int y = 0; y < out.rows; ++y) {
        const unsigned char* row = bitmap.buffer + ptrdiff_t(y) * bitmap.pitch;
        std::copy(row, row + out.width, out.coverage.begin() + ptrdiff_t(y) * out.width);
    }
}

const GlyphCoverage& CachedGlyph(FontState& state, FontInstance& font, char32_t character) {
    auto it = font.glyphs.find(character);
    if (it != font.glyphs.end()) return it->second;
    if (font.glyphs.size() >= kGlyphCacheLimit) font.glyphs.clear();
    GlyphCoverage glyph;
    LoadGlyph(state, font, character, glyph);
    return font.glyphs.emplace(character, std::move(glyph)).first->second;
}

}  // namespace

FontInstance* OpenFont(int pixelHeight, int weight) {
    if (pixelHeight < 1 || pixelHeight > 1024) return nullptr;
    FontState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    bool bold = weight >= kBoldWeight;
    auto key = std::make_pair(pixelHeight, bold);
    auto it = state.instances.find(key);
    if (it != state.instances.end()) return it->second;
    if (state.library == nullptr && FT_Init_FreeType(&state.library) != 0) {
        state.library = nullptr;
        return nullptr;
    }
    auto font = std::make_unique<FontInstance>();
    font->pixelHeight = pixelHeight;
    font->wantBold = bold;
    const std::vector<FaceFile>& list = Candidates(state, bold);
    // The primary face is the first candidate that opens.
    while (font->nextCandidate < list.size() && font->faces.empty()) {
        const FaceFile& file = list[font->nextCandidate++];
        if (FT_Face face = OpenFace(state, file, pixelHeight)) font->faces.push_back({file, face});
    }
    if (font->faces.empty()) return nullptr;
    FT_Face primary = font->faces[0].second;
    font->metrics.lineHeight = pixelHeight;
    font->metrics.ascent = int((primary->size->metrics.ascender + 32) >> 6);
    if (font->metrics.ascent > pixelHeight) font->metrics.ascent = pixelHeight;
    FontInstance* result = font.release();  // kept until exit
    state.instances[key] = result;
    return result;
}

FontLineMetrics GetFontMetrics(FontInstance* font) {
    if (font == nullptr) return {};
    return font->metrics;  // fixed when the instance was made
}

int GetGlyphAdvance(FontInstance* font, char32_t character) {
    if (font == nullptr) return 0;
    FontState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    return CachedGlyph(state, *font, character).advance;
}

bool GetGlyph(FontInstance* font, char32_t character, GlyphCoverage& out) {
    out = GlyphCoverage();
    if (font == nullptr) return false;
    FontState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    out = CachedGlyph(state, *font, character);
    return !out.coverage.empty() || out.advance != 0;
}

void UseFontFiles(const std::vector<std::string>& files) {
    FontState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.fixedFiles = files;
    state.candidates.clear();
    // Instances already handed out stay valid; new requests get new ones.
    for (auto& entry : state.instances) state.retired.push_back(entry.second);
    state.instances.clear();
}

std::string PrimaryFontFile(int weight) {
    FontState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    const std::vector<FaceFile>& list = Candidates(state, weight >= kBoldWeight);
    return list.empty() ? std::string() : list[0].path;
}

}  // namespace kra::platform
