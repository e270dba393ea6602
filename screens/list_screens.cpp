#include "screens/list_screens.h"

#include <algorithm>

#include "app/base/app_state.h"
#include "app/base/debug_log.h"
#include "app/base/hooks.h"
#include "app/base/settings.h"
#include "app/base/text.h"
#include "graphics/blit.h"
#include "graphics/lang.h"
#include "graphics/skin.h"
#include "graphics/text.h"
#include "library/indexes.h"
#include "library/list_files.h"
#include "library/scan.h"
#include "library/tag_cache.h"
#include "media/album_art.h"
#include "media/album_art_cache.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "playback/play_queue.h"
#include "screens/about.h"
#include "screens/folder_browser.h"
#include "screens/gestures.h"
#include "screens/menu.h"
#include "screens/screen_router.h"
#include "screens/tab_bar.h"
#include "screens/title_bar.h"

namespace kra {

namespace {

constexpr uint32_t kScanFrameMs = 100;
constexpr int kArtWaitRedraws = 30;
constexpr uint32_t kVirtualClockArtWaitMs = 5000;

ListScreen g_lists[3];

// Number and length of the album-song view's lines (0 for the special line).
struct SongFacts {
    uint8_t number = 0;
    int32_t seconds = 0;
};
std::vector<SongFacts> g_songFacts;

// Caption and thumbnail slots of the visible album rows.
struct ArtRow {
    int32_t row = -1;
    ListArtSlot slot;
};
std::vector<ArtRow> g_artRows[3];

uint32_t g_lastScanFrame = 0;
bool g_scanFrameShown = false;

void ScanProgressSinkAtStart(const ScanProgress& p) {
    ShowScanProgress(p.folders, p.songs);
}
void EndScanFramesAtStart() {
    g_scanFrameShown = false;
}

int Scale() {
    return UiScale();
}

uint32_t Now() {
    return platform::TickCount();
}

bool IsSpecial(std::u16string_view data) {
    return data == kDataShuffle || data == kDataShuffleAlbums || data == kDataAllSongs;
}

bool AlbumRows(ListKind kind) {
    return kind == ListKind::kAlbums || kind == ListKind::kArtistAlbums;
}

std::u16string_view CurrentSong() {
    return g_app.paused ? std::u16string_view() : std::u16string_view(g_queue.currentPath);
}

int32_t RowHeightFor(ListKind kind) {
    const int s = Scale();
    switch (kind) {
        case ListKind::kAllSongs:
            return 40 * s;
        case ListKind::kAlbums:
        case ListKind::kArtistAlbums:
            return 37 * s;
        default:
            return 30 * s;
    }
}

// ---- Rows ----

void RenderSongRow(const ListView& list, const Screen& screen, const Font* font, int32_t row,
                   Surface& out) {
    const ListContent& view = ListContentFor(ListKind::kAlbumSongs);
    const int s = Scale();
    const SongFacts facts =
        size_t(row) < g_songFacts.size() ? g_songFacts[size_t(row)] : SongFacts{};
    const int32_t width = list.textWidth;
    const int32_t height = list.rowHeight - 2;
    if (!SizeSurface(out, uint32_t(width), uint32_t(height))) return;
    DropSurfaceAlpha(out);
    const uint16_t back = MakeColour(screen.layout, (list.backColour >> 16) & 0xFF,
                                     (list.backColour >> 8) & 0xFF, list.backColour & 0xFF);
    std::fill(out.pixels, out.pixels + size_t(width) * size_t(height), back);
    const uint32_t flags = kTextNoPrefix;
    Surface label;
    const int32_t numberWidth = 24 * s;
    const int32_t durationWidth = 40 * s;
    if (facts.number != 0 && RenderTextWithFont(label, screen, font, list.secondaryColour,
                                                Utf8ToUtf16(Format("%d", facts.number)),
                                                flags | kTextSingleLine, 0, 0, 0, list.backColour))
        BlendSurface(out, screen, label, 0, (height - int32_t(label.height)) / 2, 0, 0, 0, 0,
                     BlitKeyed, 32);
    const int32_t titleWidth = std::max<int32_t>(width - 68 * s, 8);
    if (RenderTextWithFont(label, screen, font, list.textColour, view.text[size_t(row)],
                           flags | kTextWordBreak | kTextWordEllipsis, titleWidth, height, 0,
                           list.backColour))
        BlendSurface(out, screen, label, numberWidth,
                     std::max((height - int32_t(label.height)) / 2, 0), 0, 0, 0, 0, BlitKeyed, 32);
    // Durations end left of the playing marker, so that it never covers one.
    int32_t durationEnd = width - 2 * s;
    if (g_skin.playing.HasPixels())
        durationEnd = std::min(durationEnd,
                               list.thumbX1 - int32_t(g_skin.playing.width) - list.textX - 2 * s);
    if (facts.seconds > 0 &&
        RenderTextWithFont(label, screen, font, list.secondaryColour, FormatDuration(facts.seconds),
                           flags | kTextSingleLine, 0, 0, 0, list.backColour))
        BlendSurface(out, screen, label,
                     durationEnd - std::min<int32_t>(durationWidth, int32_t(label.width)),
                     (height - int32_t(label.height)) / 2, 0, 0, 0, 0, BlitKeyed, 32);
}

ArtRow* FindArtRow(ListScreen& s, int32_t row) {
    std::vector<ArtRow>& rows = g_artRows[s.number - 1];
    if (rows.empty()) return nullptr;
    ArtRow& slot = rows[size_t(row) % rows.size()];
    return slot.row == row ? &slot : nullptr;
}

void RenderRow(void* context, const ListView& list, const Screen& screen, const Font* primary,
               const Font* secondary, int32_t row, Surface& out) {
    ListScreen& s = *static_cast<ListScreen*>(context);
    const ListKind kind = CurrentListKind(s);
    const ListContent& view = ListContentFor(kind);
    if (row < 0 || size_t(row) >= view.size()) return;
    const std::u16string_view data = view.data[size_t(row)];
    const std::u16string_view text = view.text[size_t(row)];
    if (IsSpecial(data)) {
        RenderTwoLineRow(list, screen, primary, secondary, text, {}, out);
        return;
    }
    switch (kind) {
        case ListKind::kAlbumSongs:
            RenderSongRow(list, screen, secondary, row, out);
            return;
        case ListKind::kAllSongs:
            RenderTwoLineRow(list, screen, primary, secondary, text,
                             AlbumRelativePath(g_library.root, FolderPart(data)), out);
            return;
        case ListKind::kAlbums:
        case ListKind::kArtistAlbums:
            if (ArtRow* art = FindArtRow(s, row); art && art->slot.captionLoaded) {
                out = Surface();
                SizeSurface(out, art->slot.caption.width, art->slot.caption.height);
                if (out.HasPixels())
                    std::copy(art->slot.caption.pixels,
                              art->slot.caption.pixels + size_t(out.width) * out.height,
                              out.pixels);
                return;
            }
            // The library folder's own songs: the folder's name, as its caption shows it.
            RenderTwoLineRow(list, screen, primary, secondary,
                             !text.empty()                          ? text
                             : FileNamePart(g_library.root).empty() ? g_library.root
                                                                    : FileNamePart(g_library.root),
                             {}, out);
            return;
        case ListKind::kArtists:
            RenderTwoLineRow(list, screen, primary, secondary, text, {}, out);
            return;
    }
}

const Surface* RowIcon(void* context, int32_t row) {
    ListScreen& s = *static_cast<ListScreen*>(context);
    const ListKind kind = CurrentListKind(s);
    const ListContent& view = ListContentFor(kind);
    if (row < 0 || size_t(row) >= view.size()) return nullptr;
    const std::u16string_view data = view.data[size_t(row)];
    // Only the album lists keep a column for icons.
    if (!AlbumRows(kind)) return nullptr;
    if (data == kDataShuffle) return &g_skin.listShuffle;
    if (data == kDataShuffleAlbums) return &g_skin.listShuffleAlbums;
    if (data == kDataAllSongs) return nullptr;
    ArtRow* art = FindArtRow(s, row);
    if (art && art->slot.thumbnailLoaded && art->slot.thumbnail.HasPixels())
        return &art->slot.thumbnail;
    return &g_skin.musicSmall;
}

// Loads the caption and thumbnail caches of the visible album rows; asks
// the list worker to build what is missing.
void PrepareRows(void* context, int32_t first, int32_t last) {
    ListScreen& s = *static_cast<ListScreen*>(context);
    const ListKind kind = CurrentListKind(s);
    if (!AlbumRows(kind)) return;
    const ListContent& view = ListContentFor(kind);
    std::vector<ArtRow>& rows = g_artRows[s.number - 1];
    if (rows.size() != s.list.rowCache.size()) {
        rows.clear();
        rows.resize(s.list.rowCache.size());
    }
    if (rows.empty()) return;
    // The slots are loaded again once the worker's pass is over: reported by
    // its message, or seen (busy, then idle). A pass that ran between two
    // redraws unseen is taken as done after a while.
    bool retry = s.artBuilt;
    if (s.artPending && !retry) {
        if (ListArtBusy()) {
            s.artSawBusy = true;
        } else if (s.artSawBusy || ++s.artWaitTicks > kArtWaitRedraws) {
            retry = true;
        }
        if (retry) s.artPending = false;
    }
    s.artBuilt = false;
    bool missing = false;
    for (int32_t row = first; row <= last && size_t(row) < view.size(); ++row) {
        const std::u16string_view data = view.data[size_t(row)];
        if (IsSpecial(data)) continue;
        ArtRow& art = rows[size_t(row) % rows.size()];
        const bool fresh = art.row != row;
        if (fresh) {
            art.row = row;
            art.slot = ListArtSlot{};
        }
        if (!fresh && !retry) {
            missing = missing || !art.slot.captionLoaded;
            continue;
        }
        const bool hadCaption = art.slot.captionLoaded;
        const ListView& list = s.list;
        const Screen& screen = g_screen;
        LoadListSlot(art.slot, data,
                     [&](Surface& caption, std::u16string_view album, std::u16string_view artist) {
                         Font* primary = MakeFont(list.primaryHeight, list.primaryWeight);
                         Font* secondary = MakeFont(list.secondaryHeight, list.secondaryWeight);
                         RenderTwoLineRow(list, screen, primary, secondary, album, artist, caption);
                         DeleteFont(primary);
                         DeleteFont(secondary);
                     });
        if (art.slot.captionLoaded != hadCaption) {
            const size_t slot = size_t(row) % s.list.cachedRow.size();
            s.list.cachedRow[slot] = -1;
        }
        missing = missing || !art.slot.captionLoaded;
    }
    if (missing && !s.artRequested) {
        std::vector<std::u16string> folders;
        for (size_t i = 0; i < view.size(); ++i)
            if (!IsSpecial(view.data[i])) folders.emplace_back(view.data[i]);
        if (RequestListArt(std::move(folders))) {
            s.artRequested = true;
            s.artPending = true;
            s.artSawBusy = false;
            s.artWaitTicks = 0;
            // On the virtual clock the worker's real time would race the
            // run's waits (captions in some runs, not in others): the pass is
            // awaited here, and its captions are loaded at once.
            if (platform::IsVirtualClock() && WaitForListArt(kVirtualClockArtWaitMs)) {
                s.artBuilt = true;
                PrepareRows(context, first, last);
            }
        }
    }
}

// ---- Levels ----

void LoadSongFacts() {
    const ListContent& view = ListContentFor(ListKind::kAlbumSongs);
    g_songFacts.assign(view.size(), SongFacts{});
    size_t i = 0;
    while (i < view.size()) {
        if (IsSpecial(view.data[i])) {
            ++i;
            continue;
        }
        const std::u16string folder(FolderPart(view.data[i]));
        const std::vector<TitleEntry> entries = LoadAlbumTitleEntries(folder);
        size_t k = 0;
        while (i < view.size() && FolderPart(view.data[i]) == folder) {
            if (k < entries.size())
                g_songFacts[i] = SongFacts{entries[k].number, entries[k].duration};
            ++k;
            ++i;
        }
    }
}

void FillTopLevel(ListKind kind) {
    ListContent& view = ListContentFor(kind);
    switch (kind) {
        case ListKind::kAllSongs:
            if (view.empty() && !g_library.browse.empty()) BuildAllSongsList(g_library, view);
            break;
        case ListKind::kArtists:
            InitializeArtistList(g_library, view);
            break;
        case ListKind::kAlbums:
            InitializeAlbumList(g_library, view);
            break;
        default:
            break;
    }
}

// Sets the list control up for the level shown now.
void ShowLevel(ListScreen& s, int32_t position) {
    const ListKind kind = CurrentListKind(s);
    const int sc = Scale();
    const int32_t w = int32_t(g_screen.width), h = int32_t(g_screen.height);
    const int32_t top = 16 * sc;
    const int32_t rowHeight = RowHeightFor(kind);
    const int32_t textX = AlbumRows(kind) ? 39 * sc : 6 * sc;
    ListInit(s.list, g_screen, top, w, rowHeight, 8 * sc, textX, top + 37 * sc,
             MakeColour(g_screen.layout, 200, 200, 200));
    if (kind == ListKind::kAlbumSongs) {
        ListSetStyle(s.list, 16 * sc, 14 * sc, 600, 500, 0x0A0A0A, 0xFFFFFF, 0x505050, 0);
    } else {
        ListSetStyle(s.list, 16 * sc, 14 * sc, 600, 400, 0x0A0A0A, 0xFFFFFF, 0x505050, 0);
    }
    ListSetArea(s.list, top + 40 * sc, w, h - 40 * sc, sc);
    s.list.defaultIcon = nullptr;
    s.list.source.context = &s;
    s.list.source.render = &RenderRow;
    s.list.source.icon = &RowIcon;
    s.list.source.prepare = &PrepareRows;
    const ListContent& view = ListContentFor(kind);
    ListSetCount(s.list, int32_t(view.size()));
    ListScrollTo(s.list, position);
    s.playingPath.clear();
    s.list.playingRow = -1;
    s.artRequested = false;
    s.artPending = false;
    g_artRows[s.number - 1].clear();
}

void PushLevel(ListScreen& s, ListKind kind) {
    s.savedPositions.push_back(s.list.position);
    s.levels.push_back(kind);
    if (kind == ListKind::kAlbumSongs) LoadSongFacts();
    ShowLevel(s, 0);
    const ListContent& view = ListContentFor(kind);
    if (view.selected >= 0) ListShowRow(s.list, view.selected);
    RebuildTitleBar(Now());
}

void UpdatePlayingRow(ListScreen& s) {
    const std::u16string& path = g_app.trackLoaded ? g_queue.currentPath : std::u16string();
    if (path == s.playingPath) return;
    s.playingPath = path;
    const ListContent& view = ListContentFor(CurrentListKind(s));
    s.list.playingRow = path.empty() ? -1 : view.data.Find(path);
}

ListScreen& Current() {
    ListScreen* s = ListScreenFor(g_app.screen);
    return s ? *s : g_lists[0];
}

// ---- Screen handlers ----

void EnterList(uint32_t now);

void ComposeList(Screen& screen, uint32_t now) {
    ListScreen& s = Current();
    if (s.levels.empty() || s.list.rowCache.empty() ||
        s.list.count != int32_t(ListContentFor(CurrentListKind(s)).size()))
        EnterList(now);
    ClearScreen(screen, 255);
    UpdatePlayingRow(s);
    ListDraw(s.list, screen);
    DrawListChrome(screen, now);
}

void EnterList(uint32_t now) {
    ListScreen& s = Current();
    if (s.levels.empty())
        s.levels.push_back(ListScreenFor(1) == &s ? ListKind::kAllSongs
                           : s.number == 2        ? ListKind::kArtists
                                                  : ListKind::kAlbums);
    // A level whose content was emptied (a new library) starts over at the top.
    if (s.levels.size() > 1 && ListContentFor(CurrentListKind(s)).empty()) {
        s.levels.resize(1);
        s.savedPositions.clear();
    }
    if (s.levels.size() == 1) FillTopLevel(s.levels[0]);
    const int32_t count = int32_t(ListContentFor(CurrentListKind(s)).size());
    if (s.list.count != count || s.list.rowCache.empty() ||
        s.list.width != int32_t(g_screen.width)) {
        ShowLevel(s, s.list.position);
    }
    RebuildTitleBar(now);
}

void PenDownList(int32_t x, int32_t y, uint32_t now) {
    if (g_menu.open) {
        MenuPenDown(g_menu, x, y);
        return;
    }
    if (ListChromePenDown(x, y)) return;
    ListScreen& s = Current();
    if (ListPress(s.list, x, y, now)) {
        g_app.penDown = true;
        BeginDrag(g_gesture, x, y, now);
    }
}

void PenMoveList(int32_t x, int32_t y, uint32_t now) {
    if (g_menu.open) return;
    ListScreen& s = Current();
    if (!s.list.fingerDown) return;
    const uint32_t before = g_gesture.lastMoveTime;
    const int32_t lastY = g_gesture.lastY;
    TrackMove(g_gesture, x, y, now);
    ListDrag(s.list, x, y, double(lastY - y), now - before);
    EndMove(g_gesture, x, y);
}

void PenUpList(int32_t x, int32_t y, uint32_t now) {
    if (g_menu.open) {
        MenuPenUp(g_menu, x, y);
        return;
    }
    ListScreen& s = Current();
    if (InMinimizeCorner(x, y, int(g_screen.width), Scale())) {
        if (s.list.fingerDown) ListRelease(s.list, x, y, true);
        g_app.penDown = false;
        ResetBottomBar(g_bottomBar);
        if (g_screenActions.minimize) g_screenActions.minimize();
        return;
    }
    if (s.list.fingerDown) {
        const bool tap = HeldLongEnough(g_gesture, now);
        const int32_t row = ListRelease(s.list, x, y, ReleasedAtRest(g_gesture));
        g_app.penDown = false;
        if (row >= 0 && tap) ChooseListLine(s, row);
        ResetBottomBar(g_bottomBar);
        return;
    }
    g_app.penDown = false;
    ListChromePenUp(x, y, now);
}

void TickList(uint32_t) {
    ListScreen& s = Current();
    ListTick(s.list);
    MenuTick(g_menu);
}

bool AnimatingList() {
    const ListScreen& s = Current();
    return ListMoving(s.list) || s.list.thumbAlpha > 0 || MenuSliding(g_menu) ||
           g_titleBar.scrolls || s.artPending;
}

// ---- Menu ----

void ChooseMenuEntry(MenuEntry entry) {
    switch (entry) {
        case MenuEntry::kRefreshLibrary:
            RunRefreshLibrary();
            break;
        case MenuEntry::kSetLibrary:
            RunSetLibrary();
            break;
        case MenuEntry::kAbout:
            OpenAbout();
            break;
        case MenuEntry::kQuit:
            if (g_screenActions.quit) g_screenActions.quit();
            break;
        case MenuEntry::kCancel:
            break;
    }
}

// Empties every list level below the top (their content went with the old
// library).
void ForgetLevels() {
    for (ListScreen& s : g_lists) {
        if (!s.levels.empty()) s.levels.resize(1);
        s.savedPositions.clear();
        s.list.count = -1;  // laid out again on the next entry
        s.list.position = 0;
    }
    g_songFacts.clear();
}

void StopPlayback() {
    if (g_app.trackLoaded) StopAtEnd();
    g_app.trackLoaded = false;
}

// ---- Hooks ----

void SelectSongLines(std::u16string_view path) {
    g_library.views.allSongs.selected =
        path.empty() ? -1 : g_library.views.allSongs.data.Find(path);
    g_library.views.albumSongs.selected =
        path.empty() ? -1 : g_library.views.albumSongs.data.Find(path);
}

void ListArtBuilt() {
    for (ListScreen& s : g_lists)
        if (s.artRequested) s.artBuilt = true;
    if (ListScreenFor(g_app.screen)) RedrawCurrentScreen();
}

bool OnAllSongsList() {
    return g_app.screen == kScreenSongs;
}

void (*g_previousLoadLanguage)() = nullptr;

void LoadLanguageAndWords() {
    if (g_previousLoadLanguage) g_previousLoadLanguage();
    LibraryWords words;
    words.shuffle = g_lang.shuffle;
    words.shuffleAlbums = g_lang.shuffleAlbums;
    words.allSongs = g_lang.allSongs;
    words.songs = g_lang.songs;
    words.albums = g_lang.albums;
    words.artists = g_lang.artists;
    words.song = g_lang.song;
    words.album = g_lang.album;
    words.artist = g_lang.artist;
    SetLibraryWords(words);
}

// ---- The library's part of start-up and shutdown ----

void LoadLibraryListsHook() {
    g_library.root = g_settings.musicFolder;
    LoadLibraryLists(g_library, platform::ProgramFolder(), &ScanProgressSinkAtStart);
    EndScanFramesAtStart();
}

void BuildIndexesHook() {
    g_library.albumCount = g_library.FolderCount();
    if (!g_library.albums) AssignAF(g_library);
    InitializeAlbumList(g_library, g_library.views.albums);
    InitializeArtistList(g_library, g_library.views.artists);
}

void WriteListFilesHook() {
    SavePlayLists(g_library, platform::ProgramFolder(), g_app.trackLoaded);
}

void (*g_previousLayout)() = nullptr;

void LayoutAll() {
    if (g_previousLayout) g_previousLayout();
    if (g_screen.backBuffer) LayoutListScreens(g_screen);
}

}  // namespace

ListScreen* ListScreenFor(uint8_t screen) {
    return screen >= 1 && screen <= 3 ? &g_lists[screen - 1] : nullptr;
}

ListContent& ListContentFor(ListKind kind) {
    LibraryViews& v = g_library.views;
    switch (kind) {
        case ListKind::kAllSongs:
            return v.allSongs;
        case ListKind::kArtists:
            return v.artists;
        case ListKind::kArtistAlbums:
            return v.artistAlbums;
        case ListKind::kAlbums:
            return v.albums;
        case ListKind::kAlbumSongs:
            break;
    }
    return v.albumSongs;
}

ListKind CurrentListKind(const ListScreen& s) {
    if (s.levels.empty()) {
        return s.number == 1   ? ListKind::kAllSongs
               : s.number == 2 ? ListKind::kArtists
                               : ListKind::kAlbums;
    }
    return s.levels.back();
}

void LayoutListScreens(const Screen& screen) {
    const int s = Scale();
    TitleBarLayout(g_titleBar, int32_t(screen.width), s);
    LayoutBottomBar(g_bottomBar, int32_t(screen.width), int32_t(screen.height), s);
    for (ListScreen& l : g_lists) l.list.count = -1;  // laid out again on entry
    LayoutFolderBrowser(screen);
    ArtOptions options = AlbumArtOptions();
    if (options.thumbnailSize == 0) {
        options.thumbnailSize = uint32_t(33 * s);
        options.layout = screen.layout;
        SetAlbumArtOptions(options);
    }
}

void RebuildTitleBar(uint32_t now) {
    const int s = Scale();
    const Surface* right = g_app.trackLoaded ? &g_skin.nowPlaying : nullptr;
    if (!g_app.trackLoaded) WriteNowPlaying(u"", u"", u"");
    const Surface* left = nullptr;
    std::u16string title;
    if (g_app.screen == kScreenFolders) {
        left = FolderBrowserAtRoot() ? nullptr : &g_skin.back;
        title = FolderBrowserHeader();
    } else if (ListScreen* l = ListScreenFor(g_app.screen)) {
        if (l->levels.size() > 1) {
            const ListKind below = l->levels[l->levels.size() - 2];
            left = below == ListKind::kArtists ? &g_skin.backArtists : &g_skin.backAlbums;
        }
        title = ListContentFor(CurrentListKind(*l)).header;
    }
    // The library's own lists are headed by the folder's name, not its path.
    const std::u16string& root = g_library.root;
    if (root.size() > 1 && title.size() > root.size() && title.compare(0, root.size(), root) == 0 &&
        title[root.size()] == u' ')
        title.replace(0, root.size(), FileNamePart(root));
    TitleBarSetButtons(g_titleBar, left, right);
    TitleBarSetTitle(g_titleBar, g_screen, title, 15 * s, 400, kTextWhite, now);
}

void ChooseListLine(ListScreen& s, int32_t row) {
    const ListKind kind = CurrentListKind(s);
    ListContent& view = ListContentFor(kind);
    if (row < 0 || size_t(row) >= view.size()) return;
    const std::u16string data(view.data[size_t(row)]);
    const std::u16string text(view.text[size_t(row)]);
    LibraryViews& v = g_library.views;
    switch (kind) {
        case ListKind::kAllSongs:
            TapAllSongsLine(view, size_t(row));
            return;
        case ListKind::kAlbumSongs:
            TapAlbumSongsLine(view, size_t(row));
            return;
        case ListKind::kArtists:
            s.artist = text;
            if (ArtistListAlbum(g_library, text, v.artistAlbums, v.albumSongs, CurrentSong())) {
                PushLevel(s, ListKind::kAlbumSongs);
            } else {
                PushLevel(s, ListKind::kArtistAlbums);
            }
            return;
        case ListKind::kArtistAlbums:
            if (data == kDataShuffleAlbums) {
                ArtistSongs(g_library, s.artist, v.albumSongs, CurrentSong());
                TapShuffleAlbums(v.albumSongs, false);
            } else if (data == kDataAllSongs) {
                ArtistSongs(g_library, s.artist, v.albumSongs, CurrentSong());
                PushLevel(s, ListKind::kAlbumSongs);
            } else {
                ShowAlbumSongs(data, text, v.albumSongs, CurrentSong());
                PushLevel(s, ListKind::kAlbumSongs);
            }
            return;
        case ListKind::kAlbums:
            if (data == kDataShuffleAlbums) {
                if (v.allSongs.empty()) BuildAllSongsList(g_library, v.allSongs);
                TapShuffleAlbums(v.allSongs, true);
            } else {
                ShowAlbumSongs(data, text.empty() ? FileNamePart(data) : std::u16string_view(text),
                               v.albumSongs, CurrentSong());
                PushLevel(s, ListKind::kAlbumSongs);
            }
            return;
    }
}

bool ListScreenBack(ListScreen& s) {
    if (s.levels.size() <= 1) return false;
    s.levels.pop_back();
    const int32_t position = s.savedPositions.empty() ? 0 : s.savedPositions.back();
    if (!s.savedPositions.empty()) s.savedPositions.pop_back();
    ShowLevel(s, position);
    RebuildTitleBar(Now());
    return true;
}

void RunBottomButton(int button) {
    switch (button) {
        case 1:
            ShowScreen(kScreenSongs, false);
            break;
        case 2:
        case 3: {
            const uint8_t target = uint8_t(button);
            ListScreen& s = *ListScreenFor(target);
            if (g_app.screen == target && s.levels.size() > 1) {
                s.levels.resize(1);
                const int32_t position = s.savedPositions.empty() ? 0 : s.savedPositions.front();
                s.savedPositions.clear();
                ShowLevel(s, position);
                RebuildTitleBar(Now());
            } else {
                ShowScreen(target, false);
            }
            break;
        }
        case 4:
            OpenMenu(g_menu, g_screen, g_app.screen, g_bottomBar.top, Scale());
            StartAnimationTimer();
            break;
        default:
            break;
    }
}

void ShowScanProgress(int32_t folders, int32_t songs) {
    const uint32_t now = Now();
    if (g_scanFrameShown && now - g_lastScanFrame < kScanFrameMs) return;
    g_scanFrameShown = true;
    g_lastScanFrame = now;
    if (!g_screen.backBuffer) return;
    const int s = Scale();
    ClearScreen(g_screen, 255);
    const std::u16string text = Utf8ToUtf16(
        Format("Scanning the music folder\n%d albums, %d songs", int(folders), int(songs)));
    Surface label;
    if (RenderText(label, g_screen, 16 * s, 400, kTextNearBlack, text,
                   kTextCentre | kTextWordBreak | kTextNoPrefix, int(g_screen.width), 60 * s, 0,
                   0xFFFFFF))
        DrawSurface(label, g_screen, 0, (int32_t(g_screen.height) - int32_t(label.height)) / 2, 0,
                    0, 0, 0, BlitCopy, 32);
    if (g_screenActions.drawStatusBar) g_screenActions.drawStatusBar(g_screen, 0);
    Present(g_screen);
}

namespace {
void ScanProgressSink(const ScanProgress& p) {
    ShowScanProgress(p.folders, p.songs);
}
void EndScanFrames() {
    g_scanFrameShown = false;
}
}  // namespace

void RunRefreshLibrary() {
    StopPlayback();
    CancelAlbumArtWork();
    g_library.play.clear();
    RefreshLibrary(g_library, &ScanProgressSink);
    EndScanFrames();
    ResumeAlbumArtWork();
    ForgetLevels();
    uint8_t screen = g_app.screen;
    if (!ListScreenFor(screen)) screen = kScreenSongs;
    ShowScreen(screen, false);
}

void RunSetLibrary() {
    StopPlayback();
    g_library.play.clear();
    OpenFolderBrowser();
}

void ChooseLibraryFolder(const std::u16string& folder) {
    KRA_LOG("SetLibrary %s", Utf16ToUtf8(folder).c_str());
    g_app.browseFolder = folder;
    CancelAlbumArtWork();
    SetLibrary(g_library, folder, &ScanProgressSink);
    EndScanFrames();
    ResumeAlbumArtWork();
    g_settings.musicFolder = g_library.root;
    ForgetLevels();
    ShowScreen(kScreenSongs, false);
}

void DrawListChrome(Screen& screen, uint32_t now) {
    TitleBarDraw(g_titleBar, screen, now);
    if (g_screenActions.drawStatusBar) {
        g_screenActions.drawStatusBar(screen, 0);
    } else {
        DrawStrip(g_skin.statusStrip, screen, 0, 0, int32_t(screen.width), 0, BlitCopy, 32);
    }
    DrawBottomBar(g_bottomBar, screen, g_app.screen);
    DrawMenu(g_menu, screen);
}

bool ListChromePenDown(int32_t x, int32_t y) {
    if (BottomBarHit(g_bottomBar, x, y, g_app.screen)) return true;
    return TitleBarHit(g_titleBar, x, y) != 0;
}

bool ListChromePenUp(int32_t x, int32_t y, uint32_t now) {
    const int title = TitleBarRelease(g_titleBar, x, y);
    const int button = BottomBarRelease(g_bottomBar, x, y);
    ResetBottomBar(g_bottomBar);
    if (title == 2) {
        ShowScreen(kScreenNowPlaying, g_app.screen != kScreenFolders);
        return true;
    }
    if (title == 1) {
        if (g_app.screen == kScreenFolders) {
            FolderBrowserUp();
        } else if (ListScreen* s = ListScreenFor(g_app.screen)) {
            ListScreenBack(*s);
        }
        RebuildTitleBar(now);
        return true;
    }
    if (button >= 1) {
        RunBottomButton(button);
        return true;
    }
    return false;
}

void InstallListScreens() {
    for (int i = 0; i < 3; ++i) g_lists[i].number = uint8_t(i + 1);
    ScreenHandlers h;
    h.compose = &ComposeList;
    h.penDown = &PenDownList;
    h.penMove = &PenMoveList;
    h.penUp = &PenUpList;
    h.tick = &TickList;
    h.animating = &AnimatingList;
    h.enter = &EnterList;
    RegisterScreen(kScreenSongs, h);
    RegisterScreen(kScreenSubList, h);
    RegisterScreen(kScreenSubList2, h);
    InstallFolderBrowser();
    InstallAboutScreen();
    g_menu.choose = &ChooseMenuEntry;
    AlbumArtCallbacks art;
    art.listArtBuilt = &ListArtBuilt;
    SetAlbumArtCallbacks(art);
    g_playbackHooks.selectSongLines = &SelectSongLines;
    g_playbackHooks.onAllSongsList = &OnAllSongsList;
    if (g_hooks.loadLanguage != &LoadLanguageAndWords) {
        g_previousLoadLanguage = g_hooks.loadLanguage;
        g_hooks.loadLanguage = &LoadLanguageAndWords;
    }
    if (!g_hooks.loadLibraryLists) g_hooks.loadLibraryLists = &LoadLibraryListsHook;
    if (!g_hooks.buildIndexes) g_hooks.buildIndexes = &BuildIndexesHook;
    if (!g_hooks.writeListFiles) g_hooks.writeListFiles = &WriteListFilesHook;
    if (g_hooks.layoutScreens != &LayoutAll) {
        g_previousLayout = g_hooks.layoutScreens;
        g_hooks.layoutScreens = &LayoutAll;
    }
}

void ResetListScreens() {
    for (int i = 0; i < 3; ++i) {
        g_lists[i] = ListScreen{};
        g_lists[i].number = uint8_t(i + 1);
        g_artRows[i].clear();
    }
    g_songFacts.clear();
    CloseMenu(g_menu);
    g_menu = PopupMenu{};
    g_titleBar = TitleBar{};
    g_bottomBar = BottomBar{};
    g_scanFrameShown = false;
    ResetFolderBrowser();
    CloseAboutPage(g_about);
}

}  // namespace kra
