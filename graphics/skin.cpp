#include "graphics/skin.h"

#include <cstring>

#include "app/base/debug_log.h"
#include "app/base/text.h"
#include "graphics/blit.h"
#include "graphics/image.h"
#include "graphics/lang.h"
#include "graphics/text.h"
#include "platform/files.h"

namespace kra {

Skin g_skin;

std::u16string ChooseGfxFolder(const std::u16string& programFolder,
                               const std::u16string& defaultFolder, int uiScale) {
    const std::u16string own = programFolder + u"\\gfx";
    if (platform::FolderExists(own)) return own;
    if (uiScale == 1 && platform::FolderExists(defaultFolder + u"\\gfx-1x")) {
        return defaultFolder + u"\\gfx-1x";
    }
    return defaultFolder + u"\\gfx";
}

std::u16string SkinImagePath(const char16_t* name) {
    return g_skin.gfxFolder + u"\\" + name + u".png";
}

namespace {

int Load(Surface& surface, const Screen& screen, const char16_t* name, int mode = kScaleNatural,
         uint32_t box = 0) {
    int result = LoadImage(surface, screen, SkinImagePath(name), mode, box, box);
    if (!result) ResetSurface(surface, false);
    return result;
}

// A one-pixel-wide strip of the top bar, height rows high.
void CutStrip(Surface& strip, const Screen& screen, uint32_t height) {
    if (!g_skin.topBar.HasPixels() || height == 0 ||
        !ScaleSurface(strip, screen, g_skin.topBar, 1, height, false, false)) {
        ResetSurface(strip, false);
    }
}

}  // namespace

void LoadSkin(const Screen& screen, const SkinOptions& options) {
    KRA_LOG("Start loading gfx");
    const uint32_t u = uint32_t(UiScale());
    Skin& s = g_skin;
    s.programFolder = platform::ProgramFolder();
    s.gfxFolder = ChooseGfxFolder(s.programFolder, platform::DefaultSkinFolder(), int(u));
    s.exportCoverPath = s.programFolder + u"\\kra.bmp";
    s.exportFlowPath = s.programFolder + u"\\kraaf.bmp";
    s.exportFlowBackPath = s.programFolder + u"\\kraafbg.bmp";

    Load(s.topBar, screen, u"sttopbar");
    CutStrip(s.controlBarStrip, screen, options.controlBarHeight);

    Load(s.play, screen, u"pplay");
    Load(s.pause, screen, u"ppause");
    Load(s.forward, screen, u"pforward");
    Load(s.backward, screen, u"pbackward");
    Load(s.pressed, screen, u"ppressed");
    Load(s.repeat, screen, u"prepeat");
    Load(s.shuffle, screen, u"pshuffle");
    Load(s.barButton, screen, u"pbarbutton");
    Load(s.sliderButton, screen, u"psbarbutton");
    Load(s.playing, screen, u"pplaying");
    Load(s.listShuffle, screen, u"lshuffle");
    Load(s.listShuffleAlbums, screen, u"lshufflea");
    if (Load(s.back, screen, u"pback")) {
        // Two copies for the Artists and Albums labels and the mirror image
        // for "Now Playing"; LoadLanguage writes the labels onto them.
        CropSurface(s.backArtists, s.back, 0, 0, 0, 0, 0);
        CropSurface(s.backAlbums, s.back, 0, 0, 0, 0, 0);
        MirrorSurface(s.nowPlaying, s.back);
    } else {
        ResetSurface(s.backArtists, false);
        ResetSurface(s.backAlbums, false);
        ResetSurface(s.nowPlaying, false);
    }
    Load(s.songBarButtons, screen, u"pubuttons");
    Load(s.music, screen, u"pmusic", kScaleFit, options.coverSize);
    const std::u16string smallPath = SkinImagePath(u"pmusics");
    const bool smallExists = platform::FileExists(smallPath);
    KRA_LOG("%s (%d)", Utf16ToUtf8(smallPath).c_str(), smallExists ? 1 : 0);
    Load(s.musicSmall, screen, smallExists ? u"pmusics" : u"pmusic", kScaleFit, 33 * u);
    Load(s.playSmall, screen, u"pplays");
    Load(s.pauseSmall, screen, u"ppauses");
    Load(s.barOn, screen, u"pbaron");
    Load(s.barOff, screen, u"pbaroff");
    Load(s.sliderOn, screen, u"pbarson");
    Load(s.sliderOff, screen, u"pbarsoff");
    Load(s.playFlow, screen, u"pplayaf");
    Load(s.pauseFlow, screen, u"ppauseaf");
    Load(s.infoFlow, screen, u"pinfoaf");
    Load(s.coverBackdrop, screen, u"pabg");
    Load(s.subButton, screen, u"subbutton");
    Load(s.system, screen, u"system");
    Load(s.connection, screen, u"conicon");
    Load(s.iconFolder, screen, u"iconfolder");
    Load(s.iconPlaylist, screen, u"iconpl");

    s.black = MakeBrush(MakeColour(screen.layout, 0, 0, 0));
    s.lightGrey = MakeBrush(MakeColour(screen.layout, 230, 230, 230));
    s.highlightBlue = MakeBrush(MakeColour(screen.layout, 45, 100, 255));

    CutStrip(s.statusStrip, screen, 16 * u);
    CutStrip(s.headerStrip, screen, 40 * u);
}

int WidenButton(Surface& surface, const Screen& screen, uint32_t newWidth) {
    const uint32_t w = surface.width;
    const uint32_t h = surface.height;
    if (!surface.HasPixels() || newWidth <= w) return 1;
    Surface middle;
    Surface stretched;
    if (!CropSurface(middle, surface, 1, h, w / 2, 0, 0)) return 0;
    if (!ScaleSurface(stretched, screen, middle, newWidth - w, h, false, false)) return 0;
    Surface wide;
    if (!SizeSurface(wide, newWidth, h) || !SetSurfaceAlpha(wide)) return 0;
    const uint32_t left = w / 2;
    const uint16_t key = surface.Key();
    // Both ends are copied exactly, alpha included, so that their soft edges
    // stay as drawn; an opaque image becomes transparent where it shows its key.
    for (uint32_t y = 0; y < h; ++y) {
        const uint16_t* src = surface.Row(y);
        const uint16_t* mid = stretched.Row(y);
        uint16_t* dst = wide.Row(y);
        std::memcpy(dst, src, left * 2);
        std::memcpy(dst + left, mid, (newWidth - w) * 2);
        std::memcpy(dst + left + (newWidth - w), src + left, (w - left) * 2);
        uint8_t* alpha = wide.AlphaRow(y);
        if (surface.HasAlpha()) {
            const uint8_t* srcAlpha = surface.AlphaRow(y);
            std::memcpy(alpha, srcAlpha, left);
            if (stretched.HasAlpha()) {
                std::memcpy(alpha + left, stretched.AlphaRow(y), newWidth - w);
            } else {
                std::memset(alpha + left, 32, newWidth - w);
            }
            std::memcpy(alpha + left + (newWidth - w), srcAlpha + left, w - left);
        } else {
            for (uint32_t x = 0; x < newWidth; ++x) alpha[x] = dst[x] == key ? 0 : 32;
        }
    }
    surface = std::move(wide);
    return 1;
}

namespace {

// Draws a back-button label centred onto its image, widening the image first
// when the label is wider.
void LabelBackButton(Surface& image, const Screen& screen, const std::u16string& word) {
    if (!image.HasPixels()) return;
    Surface label;
    const int u = UiScale();
    const std::u16string text = u"  " + word + u" ";
    if (!RenderText(label, screen, 12 * u, 400, kTextWhite, text, kTextSingleLine, 0, 0, 0,
                    kTextBlack) ||
        !label.HasPixels()) {
        return;
    }
    if (label.width > image.width) WidenButton(image, screen, label.width);
    const int32_t x = (int32_t(image.width) - int32_t(label.width)) / 2;
    const int32_t y = (int32_t(image.height) - int32_t(label.height)) / 2;
    BlendSurface(image, screen, label, x, y, 0, 0, 0, 0, BlitCopy, 32);
}

// The font height for labels that wrap into a narrow box: the given height,
// or a smaller one (down to three quarters) when a word of one of the texts
// would not fit the box. The substitute faces run wider than the narrow face
// the boxes were sized for, and a word broken inside looks worse than a
// slightly smaller label.
int FitFontHeight(int height, int weight, std::initializer_list<const std::u16string*> texts,
                  int boxWidth) {
    const int least = height - height / 4;
    for (int h = height; h > least; --h) {
        Font* font = MakeFont(h, weight);
        if (font == nullptr) return height;
        bool fits = true;
        for (const std::u16string* text : texts) {
            size_t start = 0;
            while (fits && start <= text->size()) {
                size_t end = text->find(u' ', start);
                if (end == std::u16string::npos) end = text->size();
                fits = MeasureText(font, std::u16string_view(*text).substr(start, end - start)) <=
                       boxWidth;
                start = end + 1;
            }
        }
        DeleteFont(font);
        if (fits) return h;
    }
    return least;
}

}  // namespace

void LoadLanguage(const Screen& screen) {
    Skin& s = g_skin;
    const int u = UiScale();
    std::u16string path = s.programFolder + u"\\lang.ini";
    if (!platform::FileExists(path)) path = platform::DefaultSkinFolder() + u"\\lang.ini";
    LangFile file;
    const bool haveFile = ReadLangFile(path, file);
    ReadLanguageStrings(haveFile ? &file : nullptr, s.back.HasPixels(), g_lang);

    RenderText(s.browseHint, screen, 12 * u, 300, kTextWhite, g_lang.browseHints,
               kTextWordBreak | kTextCentre, int(screen.width), 24 * u, 0, kTextBlack);

    const std::u16string* tabs[5] = {&g_lang.playlists, &g_lang.songs, &g_lang.artists,
                                     &g_lang.albums, &g_lang.more};
    const int tabWidth = int(screen.width / 5);
    Font* bold = MakeFont(
        FitFontHeight(12 * u, 700, {tabs[0], tabs[1], tabs[2], tabs[3], tabs[4]}, tabWidth - 1),
        700);
    for (int i = 0; i < 5; ++i) {
        RenderTextWithFont(s.tabLabels[i], screen, bold, kTextWhite, *tabs[i],
                           kTextWordBreak | kTextCentre, tabWidth, 40 * u, 0, kTextBlack);
        s.tabAlpha[i] = 32;
    }
    DeleteFont(bold);

    if (s.back.HasPixels()) {
        LabelBackButton(s.back, screen, g_lang.up);
        LabelBackButton(s.backArtists, screen, g_lang.artists);
        LabelBackButton(s.backAlbums, screen, g_lang.albums);
        Surface label;
        const int height = FitFontHeight(12 * u, 400, {&g_lang.nowPlaying}, 39 * u - 1);
        if (RenderText(label, screen, height, 400, kTextWhite, g_lang.nowPlaying,
                       kTextWordBreak | kTextCentre, 39 * u, 24 * u, 0, kTextBlack) &&
            label.HasPixels()) {
            if (label.width + 6 * u > s.nowPlaying.width) {
                WidenButton(s.nowPlaying, screen, label.width + 6 * u);
            }
            const int32_t y = (int32_t(s.nowPlaying.height) - int32_t(label.height)) / 2;
            BlendSurface(s.nowPlaying, screen, label, 0, y, 0, 0, 0, 0, BlitCopy, 32);
        }
    }
    LowerCaseCountWords(g_lang);
}

}  // namespace kra
