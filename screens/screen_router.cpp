// The Screen, the routing of input and timers to the current screen, and the
// hooks into the shell and the play queue.
#include "screens/screen_router.h"

#include <algorithm>

#include "app/base/app_state.h"
#include "app/base/debug_log.h"
#include "app/base/hooks.h"
#include "app/base/settings.h"
#include "graphics/blit.h"
#include "graphics/fade.h"
#include "graphics/image.h"
#include "graphics/skin.h"
#include "library/library.h"
#include "media/album_art_cache.h"
#include "platform/clock.h"
#include "platform/message_loop.h"
#include "platform/state-provider.h"
#include "platform/window.h"
#include "playback/play_queue.h"
#include "playback/player_bridge.h"
#include "screens/album_flow.h"
#include "screens/gestures.h"
#include "screens/list_screens.h"
#include "screens/now_playing.h"
#include "screens/now_playing_input.h"
#include "screens/status_bar.h"

namespace kra {

Screen g_screen;
ScreenActions g_screenActions;

namespace {

constexpr uint32_t kSlideFrames = 5;
constexpr uint32_t kSlideFrameMs = 33;

ScreenHandlers g_handlers[8];

template <typename Fn, typename... Args>
void Act(Fn fn, Args... args) {
    if (fn) fn(args...);
}

uint32_t Now() {
    return platform::TickCount();
}

bool Registered(uint8_t screen) {
    return screen < 8 && g_handlers[screen].compose != nullptr;
}

// The screen the events go to: a screen without handlers in this build is
// shown as the now-playing screen.
ScreenHandlers& Current() {
    if (!Registered(g_app.screen)) g_app.screen = kScreenNowPlaying;
    return g_handlers[g_app.screen];
}

void Compose() {
    if (!g_screen.backBuffer) return;
    ScreenHandlers& handlers = Current();
    if (handlers.compose) handlers.compose(g_screen, Now());
}

bool CurrentAnimating() {
    ScreenHandlers& handlers = Current();
    // The status bar fades in and out with the frames drawn.
    return (handlers.animating && handlers.animating()) || StatusBarAnimating();
}

int RotationNow() {
    return RotationDelta(g_app.drawingOrientation, g_app.deviceOrientation);
}

void MapPen(int32_t& x, int32_t& y) {
    MapPosition(RotationNow(), int32_t(g_screen.width), int32_t(g_screen.height), x, y);
}

// ---- The now-playing screen's registration ----

void NowPlayingEnter(uint32_t now) {
    EnterNowPlaying(g_screen, now);
}

// ---- Shell hooks ----

bool PresentToWindow(void*, const uint16_t* pixels, uint32_t width, uint32_t height,
                     uint32_t pitch) {
    return platform::PresentFrame(pixels, int(width), int(height), int(pitch),
                                  platform::PixelFormat::kRgb565);
}
int WindowOrientation(void*) {
    return platform::GetDisplayOrientation();
}

bool OpenScreenHook(int displayMode, std::u16string& error) {
    FixUiScale(g_app.displayDpi);
    ScreenOutputs outputs;
    outputs.sink.width = uint32_t(g_app.displayWidth);
    outputs.sink.height = uint32_t(g_app.displayHeight);
    outputs.sink.present = &PresentToWindow;
    outputs.sink.orientation = &WindowOrientation;
    if (OpenScreen(g_screen, outputs, displayMode) != 1) {
        error = u"KRA could not open the screen.";
        return false;
    }
    return true;
}

void LayoutScreensHook() {
    g_nowPlaying.coverSize =
        CoverSizeFor(g_screen.width, g_screen.height, UiScale(), g_settings.fullScreenAlbum != 0);
    if (g_skin.songBarButtons.HasPixels()) LayoutNowPlaying(g_screen);
}

void LoadSkinHook() {
    if (g_nowPlaying.coverSize == 0) LayoutScreensHook();
    SkinOptions options;
    options.coverSize = g_nowPlaying.coverSize;
    options.controlBarHeight = uint32_t(g_app.controlBarHeight);
    LoadSkin(g_screen, options);
    g_nowPlaying.secondaryShown = g_settings.lastShowSlide == 1;
    LayoutNowPlaying(g_screen);
    // The album covers are loaded at the large cover size, in the screen's
    // pixel layout, with the picture settings; albums without art get the
    // default cover.
    ArtOptions art = AlbumArtOptions();
    ApplyArtSettings(art);
    art.coverSize = g_nowPlaying.coverSize;
    art.layout = g_screen.layout;
    SetAlbumArtOptions(art);
    SetDefaultCover(g_skin.music);
    // The default cover until a song's picture is loaded.
    if (g_skin.music.HasPixels() && !g_nowPlaying.hasCover)
        MakeReflection(g_nowPlaying.reflection, g_skin.music, 0);
    LayoutNowPlaying(g_screen);
}

void LoadLanguageHook() {
    LoadLanguage(g_screen);
}

void RedrawScreenHook() {
    Compose();
    StartAnimationTimer();
}

void FadeInHook(int step) {
    FadeIn(g_screen, step);
}
void FadeOutHook(int step) {
    FadeOut(g_screen, step);
}
void ReleaseScreenHook() {
    // The status bar's sources (and the network watcher) end with the screen.
    platform::StopStateProvider();
    CloseScreen(g_screen);
}
void LayoutForOrientationHook(uint8_t) {
    LayoutScreensHook();
    if (Registered(g_app.screen) && g_handlers[g_app.screen].enter)
        g_handlers[g_app.screen].enter(Now());
    RedrawCurrentScreen();
}

// Fades out, gives the screen and keys back and minimises the window.
void MinimizeToBackground() {
    if (g_screen.backBuffer) FadeOut(g_screen, 6);
    Act(g_hooks.releaseInput);
    Act(g_hooks.minimizeWindow);
    g_app.lastMinimiseTick = Now();
}

void QuitThroughTimer() {
    platform::SetTimer(kTimerQuit, 0);
}

// ---- Play queue hooks ----

void ShowSongHook(const std::u16string&, uint32_t position, bool) {
    ShowSongLabels(g_screen, position, Now());
    if (g_app.screen == kScreenNowPlaying) RedrawCurrentScreen();
}

void SongInfoChangedHook() {
    RefreshSongLabels(g_screen, Now());
    if (g_app.screen == kScreenNowPlaying) RedrawCurrentScreen();
}

void LoadSongPictureHook(std::u16string_view folder) {
    LoadSongPicture(g_screen, folder);
}

// Slides the old cover out and the new one in, five frames of at least 33 ms.
bool SlideToNewCoverHook(int direction) {
    NowPlaying& np = g_nowPlaying;
    if (g_app.screen != kScreenNowPlaying || np.trackListShown || !g_screen.backBuffer)
        return false;
    const std::u16string folder(FolderPart(g_queue.currentPath));
    if (folder == np.coverFolder) return true;
    Surface oldCover = std::move(np.cover);
    Surface oldReflection = std::move(np.reflection);
    const bool oldHasCover = np.hasCover;
    const int32_t oldX = np.layout.coverX, oldY = np.layout.coverY;
    LoadSongPicture(g_screen, folder);
    const Surface& from = oldHasCover ? oldCover : g_skin.music;
    const Surface& to = np.hasCover ? np.cover : g_skin.music;
    const int32_t w = int32_t(g_screen.width);
    const int32_t dir = direction < 0 ? -1 : 1;
    uint32_t last = Now();
    for (uint32_t frame = 1; frame <= kSlideFrames; ++frame) {
        const int32_t shift = -dir * w * int32_t(frame) / int32_t(kSlideFrames);
        ClearScreen(g_screen, 0);
        DrawSurface(from, g_screen, oldX + shift, oldY, 0, 0, 0, 0, BlitCopy, 32);
        DrawSurface(oldReflection, g_screen, oldX + shift, oldY + int32_t(from.height), 0, 0, 0, 0,
                    BlitCopy, 32);
        const int32_t newX = np.layout.coverX + dir * w + shift;
        DrawSurface(to, g_screen, newX, np.layout.coverY, 0, 0, 0, 0, BlitCopy, 32);
        DrawSurface(np.reflection, g_screen, newX, np.layout.coverY + int32_t(to.height), 0, 0, 0,
                    0, BlitCopy, 32);
        DrawControlBar(g_screen, 0, Now());
        DrawSecondaryBar(g_screen, 0);
        if (g_screenActions.drawStatusBar) {
            g_screenActions.drawStatusBar(g_screen, 0);
        } else {
            DrawStrip(g_skin.statusStrip, g_screen, 0, 0, w, 0, BlitCopy, 32);
        }
        Present(g_screen);
        const uint32_t spent = Now() - last;
        if (spent < kSlideFrameMs) platform::Sleep(kSlideFrameMs - spent);
        last = Now();
    }
    return true;
}

void FolderQueueChangedHook() {
    RenderPositionLabel(g_screen);
    if (g_nowPlaying.trackListShown) LoadTrackList(g_screen);
}

void EnterNowPlayingHook() {
    if (g_app.screen != kScreenNowPlaying) {
        g_app.previousScreen = g_app.screen;
        g_app.screen = kScreenNowPlaying;
    }
    EnterNowPlaying(g_screen, Now());
    StartAnimationTimer();
}

void ShowTimeHook(uint32_t seconds) {
    g_nowPlaying.position = seconds;
    UpdateTimes(g_screen, seconds);
    if (g_app.screen == kScreenNowPlaying) RedrawCurrentScreen();
}

void PlaySongFromRow(std::u16string_view path) {
    SetPlayMusic(path);
}

void SeekPlayer(uint32_t seconds) {
    player::SetPosition(seconds);
}
uint32_t PlayerPosition() {
    return player::GetPosition();
}
int32_t PlayerVolume() {
    return player::GetVolume();
}
void ApplyVolumeToPlayer(uint32_t volume) {
    if (g_hooks.applyVolume) {
        g_hooks.applyVolume(volume);
    } else {
        player::SetVolume(int32_t(volume));
    }
}
void StoreVolume() {
    WriteDword(u"MusicVolume", g_settings.musicVolume);
}

// Volume keys: the player's volume read back becomes the music volume.
void StepVolume(int delta) {
    int32_t volume = g_screenActions.playerVolume ? g_screenActions.playerVolume()
                                                  : int32_t(g_settings.musicVolume);
    volume = std::clamp(volume + delta, 0, 100);
    Act(g_screenActions.applyVolume, uint32_t(volume));
    const int32_t back = g_screenActions.playerVolume ? g_screenActions.playerVolume() : volume;
    g_settings.musicVolume = uint32_t(std::clamp(back, 0, 100));
}

bool CoverScreen() {
    return g_app.screen == kScreenNowPlaying || g_app.screen == kScreenAlbumFlow;
}

}  // namespace

void RegisterScreen(uint8_t screen, const ScreenHandlers& handlers) {
    if (screen >= 1 && screen < 8) g_handlers[screen] = handlers;
}

bool IsScreenRegistered(uint8_t screen) {
    return Registered(screen);
}

void ResetScreenRouter() {
    for (ScreenHandlers& handlers : g_handlers) handlers = ScreenHandlers{};
    g_screenActions = ScreenActions{};
}

bool ShowScreen(uint8_t screen, bool rememberPrevious) {
    if (!Registered(screen)) return false;
    if (screen == kScreenAlbumFlow && g_app.screen == kScreenNowPlaying)
        g_nowPlaying.barsShown = false;
    if (rememberPrevious && screen != g_app.screen) g_app.previousScreen = g_app.screen;
    g_app.screen = screen;
    if (g_handlers[screen].enter) g_handlers[screen].enter(Now());
    RedrawCurrentScreen();
    return true;
}

void RedrawCurrentScreen() {
    if (!g_screen.backBuffer) return;
    Compose();
    Present(g_screen);
    StartAnimationTimer();
}

void StartAnimationTimer() {
    if (CurrentAnimating() && !platform::IsTimerSet(kTimerAnimation))
        platform::SetTimer(kTimerAnimation, 60);
}

void RoutePenDown(int32_t x, int32_t y) {
    MapPen(x, y);
    ScreenHandlers& handlers = Current();
    if (handlers.penDown) handlers.penDown(x, y, Now());
    RedrawCurrentScreen();
}

void RoutePenMove(int32_t x, int32_t y) {
    MapPen(x, y);
    ScreenHandlers& handlers = Current();
    if (handlers.penMove) handlers.penMove(x, y, Now());
    RedrawCurrentScreen();
}

void RoutePenUp(int32_t x, int32_t y) {
    Act(g_screenActions.restartScreenOff);
    MapPen(x, y);
    ScreenHandlers& handlers = Current();
    if (handlers.penUp) handlers.penUp(x, y, Now());
    RedrawCurrentScreen();
}

void RouteKeyDown(uint32_t key) {
    Act(g_screenActions.restartScreenOff);
    key = MapArrowKey(RotationNow(), key);
    switch (key) {
        case kKeyVolumeUp:
        case kKeyUp:
            StepVolume(+6);
            break;
        case kKeyVolumeDown:
        case kKeyDown:
            StepVolume(-4);
            break;
        case kKeyEnd:
        case kKeyStart:
        case kKeyWindows:
            Act(g_screenActions.minimize);
            return;
        case kKeyTalk:
            g_app.penDown = false;
            Act(g_screenActions.quit);
            return;
        case kKeyLeft:
        case kKeyRight:
            if (!KeySeekApplies()) return;
            KeySeekStep(key == kKeyRight ? +1 : -1);
            break;
        default:
            if (!Current().keyDown || !Current().keyDown(key)) return;
            break;
    }
    RedrawCurrentScreen();
}

void RouteKeyUp(uint32_t key) {
    key = MapArrowKey(RotationNow(), key);
    const bool volumeKey =
        key == kKeyVolumeUp || key == kKeyUp || key == kKeyVolumeDown || key == kKeyDown;
    if (g_app.focusGuard && !volumeKey && key != kKeyApp) return;
    if (volumeKey) {
        Act(g_screenActions.storeVolume);
        return;
    }
    if (key == kKeyApp) {
        Act(g_screenActions.toggleDisplay);
        return;
    }
    if (!CoverScreen()) return;
    switch (key) {
        case kKeyLeft:
        case kKeyRight:
            KeySeekRelease(key == kKeyRight ? +1 : -1);
            break;
        case kKeyEnter:
            Act(g_screenActions.togglePause);
            break;
        case kKeySoftLeft:
            Act(g_screenActions.previousAlbum);
            break;
        case kKeySoftRight:
            Act(g_screenActions.nextAlbum);
            break;
        default:
            return;
    }
    RedrawCurrentScreen();
}

void RouteAnimationTick() {
    ScreenHandlers& handlers = Current();
    if (handlers.tick) handlers.tick(Now());
    if (CurrentAnimating()) {
        RedrawCurrentScreen();
    } else {
        platform::KillTimer(kTimerAnimation);
        RedrawCurrentScreen();  // the last step of a fade lands
    }
}

void RoutePositionTick() {
    NowPlaying& np = g_nowPlaying;
    if (g_screenActions.playerPosition) np.position = g_screenActions.playerPosition();
    np.length = g_queue.songLength;
    if (!g_gesture.seeking) UpdateTimes(g_screen, np.position);
    if (g_app.screen == kScreenNowPlaying) RedrawCurrentScreen();
}

void InstallScreenHooks() {
    ScreenHandlers nowPlaying;
    nowPlaying.compose = &ComposeNowPlaying;
    nowPlaying.penDown = &NowPlayingPenDown;
    nowPlaying.penMove = &NowPlayingPenMove;
    nowPlaying.penUp = &NowPlayingPenUp;
    nowPlaying.tick = &NowPlayingTick;
    nowPlaying.animating = &NowPlayingAnimating;
    nowPlaying.enter = &NowPlayingEnter;
    RegisterScreen(kScreenNowPlaying, nowPlaying);

    ScreenActions& a = g_screenActions;
    a.drawStatusBar = &DrawStatusBar;
    StatusBarHost bar;
    bar.screen = &g_screen;
    bar.redraw = &RedrawCurrentScreen;
    InstallStatusBarHooks(bar);
    a.togglePause = &TogglePause;
    a.nextTrack = &Next;
    a.previousTrack = &Previous;
    a.nextAlbum = &NextAlbum;
    a.previousAlbum = &PreviousAlbum;
    a.seek = &SeekPlayer;
    a.playerPosition = &PlayerPosition;
    a.playerVolume = &PlayerVolume;
    a.applyVolume = &ApplyVolumeToPlayer;
    a.storeVolume = &StoreVolume;
    a.playSong = &PlaySongFromRow;
    a.minimize = &MinimizeToBackground;
    a.quit = &QuitThroughTimer;

    AppHooks& h = g_hooks;
    h.openScreen = &OpenScreenHook;
    h.layoutScreens = &LayoutScreensHook;
    h.loadSkin = &LoadSkinHook;
    h.loadLanguage = &LoadLanguageHook;
    h.redrawScreen = &RedrawScreenHook;
    h.fadeIn = &FadeInHook;
    h.fadeOut = &FadeOutHook;
    h.releaseScreen = &ReleaseScreenHook;
    h.layoutForOrientation = &LayoutForOrientationHook;
    h.penDown = [](int x, int y) { RoutePenDown(x, y); };
    h.penMove = [](int x, int y) { RoutePenMove(x, y); };
    h.penUp = [](int x, int y) { RoutePenUp(x, y); };
    h.keyDown = &RouteKeyDown;
    h.keyUp = &RouteKeyUp;
    h.animationTick = &RouteAnimationTick;
    h.positionTick = &RoutePositionTick;

    PlaybackHooks& p = g_playbackHooks;
    p.showSong = &ShowSongHook;
    p.songInfoChanged = &SongInfoChangedHook;
    p.loadSongPicture = &LoadSongPictureHook;
    p.slideToNewCover = &SlideToNewCoverHook;
    p.folderQueueChanged = &FolderQueueChangedHook;
    p.enterNowPlaying = &EnterNowPlayingHook;
    p.showTime = &ShowTimeHook;
    p.redraw = &RedrawCurrentScreen;

    // The list screens, the folder browser and the about screen.
    InstallListScreens();
    InstallAlbumFlowScreen();
}

}  // namespace kra
