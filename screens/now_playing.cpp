// The now-playing screen's state: layout, labels, times, cover and track list.
#include "screens/now_playing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>

#include "app/base/app_state.h"
#include "app/base/debug_log.h"
#include "app/base/settings.h"
#include "app/base/text.h"
#include "graphics/image.h"
#include "graphics/skin.h"
#include "graphics/text.h"
#include "library/library.h"
#include "library/tag_cache.h"
#include "media/album_art.h"
#include "media/album_art_files.h"
#include "media/media_probe.h"
#include "playback/play_queue.h"

namespace kra {

NowPlaying g_nowPlaying;
PressedHighlight g_pressedHighlight;

namespace {

constexpr int kFontWeight = 400;
constexpr uint32_t kLabelFormat = kTextSingleLine | kTextNoPrefix;
constexpr float kSideLineSpeed = 0.3f;   // artist and album, per UiScale
constexpr float kTitleLineSpeed = 0.4f;  // title, per UiScale
constexpr int32_t kSmallCoverBase = 33;
constexpr int32_t kTrackRowBase = 30;

int32_t Half(int32_t v) {
    return v / 2;
}
int32_t W(const Surface& s) {
    return int32_t(s.width);
}
int32_t H(const Surface& s) {
    return int32_t(s.height);
}

// A label of the screen's font; empty text gives an empty surface.
void RenderLabel(Surface& label, const Screen& screen, uint32_t colour, std::u16string_view text) {
    if (text.empty() || !RenderText(label, screen, 13 * UiScale(), kFontWeight, colour, text,
                                    kLabelFormat, 0, 0, 0, kTextBlack)) {
        ResetSurface(label, false);
    }
}

}  // namespace

void ResetNowPlaying() {
    g_nowPlaying = NowPlaying{};
    g_pressedHighlight = PressedHighlight{};
}

uint32_t CoverSizeFor(uint32_t width, uint32_t height, int scale, bool fullScreenAlbum) {
    const uint32_t longer = std::max(width, height), shorter = std::min(width, height);
    const uint32_t margin = 110u * uint32_t(scale);
    uint32_t size = longer > margin ? longer - margin : 0;
    size = std::min(size, shorter);
    if (width == height) {
        size += 80u * uint32_t(scale);
        fullScreenAlbum = false;
    }
    if (fullScreenAlbum) size = shorter;
    return size;
}

int32_t CoverY(uint32_t pictureHeight) {
    const NowPlayingLayout& l = g_nowPlaying.layout;
    int32_t y;
    if (g_settings.albumLayout == 0) {
        y = 3 * l.textHeight + 20 * l.scale;
    } else if (!g_settings.noSoftKey) {
        y = l.height - l.controlBarHeight - int32_t(pictureHeight);
    } else {
        y = l.statusHeight + l.songBarHeight;
    }
    return std::max(y, 0);
}

void LayoutSongBar(const Screen& screen) {
    NowPlaying& np = g_nowPlaying;
    NowPlayingLayout& l = np.layout;
    const int32_t g = std::max(42 * l.scale, H(np.artist) + H(np.title) + H(np.album));
    l.songBarHeight = g;
    if (!g_skin.topBar.HasPixels() ||
        !ScaleSurface(np.songBarStrip, screen, g_skin.topBar, 1, uint32_t(g), false, false)) {
        ResetSurface(np.songBarStrip, false);
    }
    KRA_LOG("SongBar Height %d", int(np.songBarStrip.height));
    const Surface& barOn = g_skin.sliderOn;
    l.modeRowY = 2 * g - H(g_skin.repeat) + l.statusHeight;
    l.sliderY = g + 2 * H(barOn) + l.statusHeight;
    l.sliderKnobY = l.sliderY + Half(H(barOn) - H(g_skin.sliderButton));
    l.buttonY = l.statusHeight + Half(g - H(g_skin.songBarButtons));
}

void LayoutNowPlaying(const Screen& screen) {
    NowPlaying& np = g_nowPlaying;
    NowPlayingLayout& l = np.layout;
    const int32_t u = UiScale();
    l.width = int32_t(screen.width);
    l.height = int32_t(screen.height);
    l.scale = u;
    l.statusHeight = 16 * u;
    l.textHeight = 13 * u;
    l.controlBarHeight = g_app.controlBarHeight > 0 ? g_app.controlBarHeight
                                                    : (g_settings.albumLayout == 2 ? 60 : 50) * u;
    l.cellWidth = int32_t(uint8_t(g_skin.songBarButtons.width / 2));
    l.trackListButtonWidth = 40 * u;
    LayoutSongBar(screen);
    const int32_t cw = l.cellWidth;
    for (ScrollingLine& line : np.lines) {
        line.boxX = cw + 2 * u;
        line.boxWidth = std::max(l.width - 2 * cw - 4 * u, 0);
    }
    np.lines[0].speed = np.lines[2].speed = kSideLineSpeed * float(u);
    np.lines[1].speed = kTitleLineSpeed * float(u);

    l.repeatX = 3 * u;  // the repeat cell at the row's left end, as far in as the shuffle cell
    l.shuffleX = l.width - 3 * u - W(g_skin.shuffle) / 3;
    l.sliderX = Half(l.width - W(g_skin.sliderOn));
    l.timesY = l.sliderY + Half(H(g_skin.sliderOn) - H(np.elapsed));
    l.controlY = l.height - l.controlBarHeight;
    const int32_t pw = W(g_skin.play);
    l.playX = Half(l.width - pw);
    l.nextX = l.playX + 2 * pw + 9 * u;
    l.previousX = l.playX - 2 * pw - 9 * u;
    l.volumeX = Half(l.width - W(g_skin.barOn));
    l.volumeY = l.controlY + 36 * u;
    l.volumeKnobY = l.volumeY + Half(H(g_skin.barOn) - H(g_skin.barButton));
    const Surface& shown = np.hasCover ? np.cover : g_skin.music;
    l.coverX = Half(l.width - W(shown));
    l.coverY = CoverY(shown.height);
    np.trackRowHeight = kTrackRowBase * u;
    np.volumeKnobX = l.volumeX - W(g_skin.barButton) / 2 +
                     VolumeFill(g_settings.musicVolume, g_skin.barOn.width);
}

void PrepareLines(uint32_t now) {
    NowPlaying& np = g_nowPlaying;
    const Surface* labels[3] = {&np.artist, &np.title, &np.album};
    for (int i = 0; i < 3; ++i) {
        ScrollingLine& line = np.lines[i];
        const int32_t lw = W(*labels[i]);
        line.offset2 = 0;
        line.pauseCounter = 0;
        line.lastStep = now;
        if (lw <= line.boxWidth) {
            // A line that fits stands centred on the whole screen width.
            line.scrolling = false;
            line.offset1 = float(Half(np.layout.width - lw));
        } else {
            line.scrolling = true;
            line.offset1 = 0;
        }
    }
}

void EnterNowPlaying(const Screen& screen, uint32_t now) {
    LayoutNowPlaying(screen);
    PrepareLines(now);
    g_nowPlaying.barsShown = true;
}

int RemainingSeconds(uint32_t position, uint32_t length) {
    if (length == 0) return -int(std::min<uint32_t>(position, 0x7FFFFFFF));
    // A position past the length (a length the file's header got wrong)
    // shows no time left rather than a positive remaining time.
    return std::min(int(std::trunc(double(position) - double(length) - 0.9)), 0);
}

void UpdateTimes(const Screen& screen, uint32_t position) {
    NowPlaying& np = g_nowPlaying;
    const NowPlayingLayout& l = np.layout;
    RenderLabel(np.elapsed, screen, kTextWhite,
                FormatDuration(int(std::min<uint32_t>(position, 0x7FFFFFFF))));
    RenderLabel(np.remaining, screen, kTextWhite,
                FormatDuration(RemainingSeconds(position, np.length)));
    np.elapsedX = l.sliderX - 6 * l.scale - W(np.elapsed);
    np.remainingX = l.sliderX + W(g_skin.sliderOn) + 6 * l.scale;
    np.layout.timesY = l.sliderY + Half(H(g_skin.sliderOn) - H(np.elapsed));
    // The knob follows the shown time (the seek target while seeking), so it
    // can be hit before the bar was first drawn.
    np.sliderKnobX = l.sliderX - W(g_skin.sliderButton) / 2 +
                     SliderFill(position, np.length, g_skin.sliderOn.width);
}

void RenderPositionLabel(const Screen& screen) {
    const PlayList& play = g_library.play;
    const int32_t count = int32_t(play.size());
    const int32_t cursor = g_queue.cursor.position;
    const int32_t index = cursor + 1;
    // A song reached by a new pick has no identity until it is left: its
    // place in the shuffled order is then the history counter.
    int32_t identity =
        cursor >= 0 && cursor < count ? int32_t(play.entries[size_t(cursor)].identity) : 0;
    if (identity == 0)
        identity = int32_t(std::min<uint32_t>(g_queue.cursor.historyCounter, 0x7FFFFFFF));
    const bool shuffle = g_settings.playShuffle == 1 || g_settings.playShuffle == 2;
    const int32_t first = shuffle ? identity : index;
    const int32_t other = shuffle ? index : identity;
    char text[64];
    if (count <= 0) {
        text[0] = 0;
    } else if (g_settings.debugOn) {
        std::snprintf(text, sizeof text, "%d of %d(%d)", int(first), int(count), int(other));
    } else {
        std::snprintf(text, sizeof text, "%d of %d", int(first), int(count));
    }
    RenderLabel(g_nowPlaying.positionLabel, screen, kTextWhite, Utf8ToUtf16(text));
}

int32_t VolumeFill(uint32_t volume, uint32_t barWidth) {
    return int32_t(uint64_t(std::min<uint32_t>(volume, 100)) * barWidth / 100);
}

int32_t SliderFill(uint32_t position, uint32_t length, uint32_t barWidth) {
    if (length == 0) return 0;
    return int32_t(std::min<uint64_t>(uint64_t(barWidth) * position / length, barWidth));
}

namespace {

void RenderSongTexts(const Screen& screen) {
    NowPlaying& np = g_nowPlaying;
    RenderLabel(np.artist, screen, kTextLightGrey, g_queue.artist);
    RenderLabel(np.title, screen, kTextWhite, g_queue.title);
    RenderLabel(np.titleFlow, screen, kTextWhite, g_queue.title);
    RenderLabel(np.album, screen, kTextLightGrey, g_queue.album);
}

}  // namespace

void ShowSongLabels(const Screen& screen, uint32_t position, uint32_t now) {
    NowPlaying& np = g_nowPlaying;
    np.length = g_queue.songLength;
    np.position = position;
    RenderSongTexts(screen);
    if (np.layout.width == 0) LayoutNowPlaying(screen);
    LayoutSongBar(screen);
    PrepareLines(now);
    UpdateTimes(screen, position);
    RenderPositionLabel(screen);
    if (np.trackListShown) LoadTrackList(screen);
}

void RefreshSongLabels(const Screen& screen, uint32_t now) {
    NowPlaying& np = g_nowPlaying;
    np.length = g_queue.songLength;
    RenderSongTexts(screen);
    LayoutSongBar(screen);
    PrepareLines(now);
    UpdateTimes(screen, np.position);
}

// ---- Cover ----

namespace {

void PlaceCover() {
    NowPlaying& np = g_nowPlaying;
    const Surface& shown = np.hasCover ? np.cover : g_skin.music;
    np.layout.coverX = Half(np.layout.width - W(shown));
    np.layout.coverY = CoverY(shown.height);
}

// The picture file to show for a folder, and whether it is the extraction
// file.
std::u16string ChoosePicture(std::u16string_view folder, const Screen& screen, bool& extracted) {
    const std::u16string fallback = ExtractionPath(ExtractSlot::kNowPlaying);
    std::u16string picture;
    extracted = false;
    if (!g_settings.alwaysLoadEmbedAlbumPic && FindCoverFile(folder, picture, fallback))
        return picture;
    // No cover file (or embedded pictures wanted): the playing song's
    // embedded picture, when the song lives in this folder.
    extracted = true;
    if (!g_queue.currentPath.empty() && FolderPart(g_queue.currentPath) == folder) {
        ArtOptions options;
        ApplyArtSettings(options);
        options.coverSize = g_nowPlaying.coverSize;
        options.layout = screen.layout;
        TagInfo tags{};
        std::u16string shown;
        GetNowPlayingInfo(&SharedMediaFileProbe(), g_queue.currentPath, tags, options, &shown);
        if (!shown.empty()) return shown;
    }
    return fallback;
}

}  // namespace

bool LoadSongPicture(const Screen& screen, std::u16string_view folder) {
    NowPlaying& np = g_nowPlaying;
    bool extracted = false;
    const std::u16string picture = ChoosePicture(folder, screen, extracted);
    KRA_LOG("Album Pic: %s", Utf16ToUtf8(picture).c_str());
    const uint32_t box = np.coverSize ? np.coverSize : std::min(screen.width, screen.height);
    const uint32_t smallBox = uint32_t(kSmallCoverBase * UiScale());
    bool loaded = false, smallLoaded = false;
    {
        // The extraction file has one writer at a time; hold it while reading.
        std::unique_lock<std::mutex> lock;
        if (extracted)
            lock = std::unique_lock<std::mutex>(ExtractionLock(ExtractSlot::kNowPlaying));
        loaded = LoadImage(np.cover, screen, picture, kScaleFit, box, box) == 1;
        if (loaded)
            smallLoaded =
                LoadImage(np.smallCover, screen, picture, kScaleFit, smallBox, smallBox) == 1;
    }
    np.coverFolder = std::u16string(folder);
    np.hasCover = loaded;
    if (!smallLoaded) ResetSurface(np.smallCover, false);
    const Surface& shown = loaded ? np.cover : g_skin.music;
    if (!shown.HasPixels() || !MakeReflection(np.reflection, shown, 0)) {
        ResetSurface(np.reflection, false);
    }
    PlaceCover();
    WriteString(u"CurrentAlbum", loaded ? picture : std::u16string());
    return smallLoaded;
}

// ---- Track list ----

void LoadTrackList(const Screen& screen) {
    NowPlaying& np = g_nowPlaying;
    const std::u16string folder(FolderPart(g_queue.currentPath));
    np.tracks.clear();
    np.trackFolder = folder;
    if (folder.empty()) return;
    const std::vector<TitleEntry> titles = LoadAlbumTitleEntries(folder);
    const TextList& paths = g_queue.folderQueue;
    np.tracks.resize(titles.size());
    for (size_t i = 0; i < titles.size(); ++i) {
        TrackRow& row = np.tracks[i];
        if (i < paths.size()) row.path = std::u16string(paths[i]);
        char number[16];
        std::snprintf(number, sizeof number, "%d. ", int(i + 1));
        RenderLabel(row.label, screen, kTextWhite, Utf8ToUtf16(number) + titles[i].title);
        if (titles[i].duration > 0) {
            RenderLabel(row.length, screen, kTextLightGrey, FormatDuration(titles[i].duration));
        } else {
            ResetSurface(row.length, false);
        }
    }
    np.trackScroll = std::clamp(np.trackScroll, 0, TrackListMaxScroll());
}

void SetTrackListShown(const Screen& screen, bool shown) {
    NowPlaying& np = g_nowPlaying;
    np.trackListShown = shown;
    np.markedRow = -1;
    if (!shown) return;
    if (np.trackFolder != FolderPart(g_queue.currentPath) || np.tracks.empty()) {
        np.trackScroll = 0;
        LoadTrackList(screen);
    }
    // The playing song's row in view.
    const int32_t current = g_queue.cursor.folderIndex;
    if (current >= 0 && np.trackRowHeight > 0) {
        const int32_t visible = TrackListBottom() - TrackListTop();
        const int32_t rowTop = current * np.trackRowHeight;
        if (rowTop < np.trackScroll || rowTop + np.trackRowHeight > np.trackScroll + visible)
            np.trackScroll = std::clamp(rowTop - visible / 3, 0, TrackListMaxScroll());
    }
}

int32_t TrackListTop() {
    // Under the song bar, and under the secondary bar while that is shown,
    // so the slider never covers a row.
    const NowPlayingLayout& l = g_nowPlaying.layout;
    return l.statusHeight + (g_nowPlaying.secondaryShown ? 2 : 1) * l.songBarHeight;
}

int32_t TrackListBottom() {
    const NowPlayingLayout& l = g_nowPlaying.layout;
    return g_settings.noSoftKey ? l.height : l.controlY;
}

int32_t TrackListMaxScroll() {
    const int32_t total = int32_t(g_nowPlaying.tracks.size()) * g_nowPlaying.trackRowHeight;
    return std::max(total - (TrackListBottom() - TrackListTop()), 0);
}

int32_t TrackRowAt(int32_t y) {
    const NowPlaying& np = g_nowPlaying;
    if (y < TrackListTop() || y >= TrackListBottom() || np.trackRowHeight <= 0) return -1;
    const int32_t row = (y - TrackListTop() + np.trackScroll) / np.trackRowHeight;
    return row >= 0 && row < int32_t(np.tracks.size()) ? row : -1;
}

}  // namespace kra
