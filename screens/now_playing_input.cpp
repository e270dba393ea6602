#include "screens/now_playing_input.h"

#include <algorithm>

#include "app/base/app_state.h"
#include "app/base/debug_log.h"
#include "app/base/settings.h"
#include "graphics/skin.h"
#include "playback/play_queue.h"
#include "screens/gestures.h"
#include "screens/now_playing.h"
#include "screens/screen_router.h"

namespace kra {

namespace {

constexpr int32_t kSeekStepSeconds = 5;
constexpr int kTapDistance = 10;
constexpr int kSwipeDistance = 100;

int32_t W(const Surface& s) {
    return int32_t(s.width);
}
int32_t H(const Surface& s) {
    return int32_t(s.height);
}

bool Inside(int32_t x, int32_t y, int32_t left, int32_t top, int32_t w, int32_t h) {
    return x >= left && x < left + w && y >= top && y < top + h;
}

template <typename Fn, typename... Args>
void Act(Fn fn, Args... args) {
    if (fn) fn(args...);
}

// Where seeking began (the play position at the first key-down or touch).
uint32_t g_seekBase = 0;

bool SliderShown() {
    return g_nowPlaying.secondaryShown;
}

bool InSliderBand(int32_t y) {
    const NowPlayingLayout& l = g_nowPlaying.layout;
    const int32_t kh = H(g_skin.sliderButton);
    return y > l.sliderY - kh && y < l.sliderY + 2 * kh;
}

bool InSongBar(int32_t y) {
    const NowPlayingLayout& l = g_nowPlaying.layout;
    return y >= l.statusHeight && y < l.statusHeight + l.songBarHeight;
}

int32_t BodyBottom() {
    const NowPlayingLayout& l = g_nowPlaying.layout;
    return g_settings.noSoftKey ? l.height : l.controlY;
}

// The area under a pen-down, in the fixed order.
NowPlayingArea HitTest(int32_t x, int32_t y) {
    const NowPlaying& np = g_nowPlaying;
    const NowPlayingLayout& l = np.layout;
    if (SliderShown()) {
        const int32_t kw = W(g_skin.sliderButton), kh = H(g_skin.sliderButton);
        if (kw > 0 && Inside(x, y, np.sliderKnobX - kw, l.sliderY - kh, 3 * kw, 3 * kh))
            return kAreaSliderKnob;
    }
    if (InSongBar(y)) {
        if (x < l.cellWidth) return kAreaBack;
        if (x >= l.width - l.trackListButtonWidth) return kAreaTrackList;
    }
    if (!g_settings.noSoftKey) {
        const int32_t kw = W(g_skin.barButton);
        if (kw > 0 && y >= l.volumeY && x >= np.volumeKnobX - kw && x < np.volumeKnobX + 2 * kw)
            return kAreaVolumeKnob;
        const Surface& play = g_app.paused ? g_skin.play : g_skin.pause;
        if (Inside(x, y, l.playX, l.controlY, W(play), H(play))) return kAreaPlay;
        if (Inside(x, y, l.nextX, l.controlY, W(g_skin.forward), H(g_skin.forward)))
            return kAreaNext;
        if (Inside(x, y, l.previousX, l.controlY, W(g_skin.backward), H(g_skin.backward)))
            return kAreaPrevious;
    }
    if (SliderShown() && !np.trackListShown) {
        if (Inside(x, y, l.repeatX, l.modeRowY, W(g_skin.repeat) / 4, H(g_skin.repeat)))
            return kAreaRepeat;
        if (Inside(x, y, l.shuffleX, l.modeRowY, W(g_skin.shuffle) / 3, H(g_skin.shuffle)))
            return kAreaShuffle;
    }
    if (InSongBar(y)) return kAreaTitleBar;
    if (y >= l.statusHeight + l.songBarHeight && y < BodyBottom()) return kAreaBody;
    return kAreaNone;
}

// Releasing inside the same area that was pressed.
bool ReleasedOn(NowPlayingArea area, int32_t x, int32_t y) {
    return g_nowPlaying.pressed == area && HitTest(x, y) == area;
}

void ShowSeekTarget() {
    NowPlaying& np = g_nowPlaying;
    UpdateTimes(g_screen, g_gesture.seekTarget);
    np.sliderKnobX = np.layout.sliderX - W(g_skin.sliderButton) / 2 +
                     SliderFill(g_gesture.seekTarget, np.length, g_skin.sliderOn.width);
}

void EndSeek(bool jump) {
    NowPlaying& np = g_nowPlaying;
    g_gesture.seeking = false;
    if (jump) {
        np.position = g_gesture.seekTarget;
        Act(g_screenActions.seek, g_gesture.seekTarget);
    }
    UpdateTimes(g_screen, np.position);
}

void SetVolumeFromKnob(int32_t x) {
    const NowPlayingLayout& l = g_nowPlaying.layout;
    const int32_t width = W(g_skin.barOn);
    if (width <= 0) return;
    const int32_t along = std::clamp(x - l.volumeX, 0, width);
    const uint32_t volume = uint32_t(along * 100 / width);
    if (volume == g_settings.musicVolume) return;
    g_settings.musicVolume = volume;
    Act(g_screenActions.applyVolume, volume);
}

void ScrollTrackList(int32_t by) {
    NowPlaying& np = g_nowPlaying;
    // Pulling beyond an end moves at half speed, so the list can be seen to
    // stretch before it springs back.
    const int32_t max = TrackListMaxScroll();
    if ((np.trackScroll < 0 && by < 0) || (np.trackScroll > max && by > 0)) by /= 2;
    np.trackScroll += by;
}

}  // namespace

uint8_t NextRepeatMode(uint8_t mode, bool listsFromBrowseFile) {
    uint8_t next = uint8_t(mode >= 3 ? 0 : mode + 1);
    if (next == 2 && listsFromBrowseFile) next = 3;
    return next;
}

uint8_t NextShuffleMode(uint8_t mode) {
    return uint8_t(mode >= 2 ? 0 : mode + 1);
}

void NowPlayingPenDown(int32_t x, int32_t y, uint32_t now) {
    NowPlaying& np = g_nowPlaying;
    const NowPlayingArea area = HitTest(x, y);
    np.pressed = area;
    np.swipeDone = false;
    // Taps and double taps on every area measure from here.
    BeginDrag(g_gesture, x, y, now);
    g_gesture.verticalSpeed = g_gesture.previousVerticalSpeed = 0;
    g_gesture.horizontalSpeed = g_gesture.previousHorizontalSpeed = 0;
    g_gesture.lastMoveGap = 0;
    if (area == kAreaSliderKnob) {
        g_gesture.seeking = true;
        g_gesture.seekCount = 0;
        g_seekBase = np.position;
        g_gesture.seekTarget = np.position;
    } else if (area == kAreaBody) {
        g_app.penDown = true;
        if (np.trackListShown) np.markedRow = TrackRowAt(y);
    }
}

void NowPlayingPenMove(int32_t x, int32_t y, uint32_t now) {
    NowPlaying& np = g_nowPlaying;
    const NowPlayingLayout& l = np.layout;
    if (np.pressed == kAreaVolumeKnob) {
        SetVolumeFromKnob(x);
    } else if (np.pressed == kAreaSliderKnob && g_gesture.seeking) {
        if (InSliderBand(y)) {
            const int32_t width = W(g_skin.sliderOn);
            const int32_t along = std::clamp(x - l.sliderX, 0, width);
            const int32_t knobX = l.sliderX - W(g_skin.sliderButton) / 2 + along;
            if (knobX != np.sliderKnobX && width > 0) {
                g_gesture.seekTarget =
                    uint32_t(uint64_t(np.length) * uint32_t(along) / uint32_t(width));
                UpdateTimes(g_screen, g_gesture.seekTarget);
                np.sliderKnobX = knobX;
            }
        }
    } else if (g_app.penDown) {
        TrackMove(g_gesture, x, y, now);
        if (np.trackListShown) {
            ScrollTrackList(g_gesture.lastY - y);
            np.markedRow =
                IsNearPenDown(g_gesture, x, y, kTapDistance, l.scale) ? TrackRowAt(y) : -1;
        } else if (!np.swipeDone && y >= l.statusHeight + l.songBarHeight && y < BodyBottom()) {
            const double d = double(kSwipeDistance) * l.scale;
            const bool belowBand = y >= l.statusHeight + 2 * l.songBarHeight;
            if (belowBand && g_gesture.horizontalTravel < -d) {
                np.swipeDone = true;
                Act(g_screenActions.previousAlbum);
            } else if (belowBand && g_gesture.horizontalTravel > d) {
                np.swipeDone = true;
                Act(g_screenActions.nextAlbum);
            } else if ((x < l.width / 3 || x >= l.width - l.width / 3) &&
                       (g_gesture.verticalTravel > d || g_gesture.verticalTravel < -d)) {
                np.swipeDone = true;
                if (ShowScreen(kScreenAlbumFlow, false)) return;
            }
        }
    }
    EndMove(g_gesture, x, y);
}

void NowPlayingPenUp(int32_t x, int32_t y, uint32_t now) {
    NowPlaying& np = g_nowPlaying;
    const NowPlayingLayout& l = np.layout;
    const NowPlayingArea pressed = np.pressed;
    const bool wasPenDown = g_app.penDown;
    np.pressed = kAreaNone;
    g_app.penDown = false;
    const int32_t marked = np.markedRow;
    np.markedRow = -1;
    if (InMinimizeCorner(x, y, l.width, l.scale)) {
        if (g_gesture.seeking) EndSeek(false);
        Act(g_screenActions.minimize);
        return;
    }
    np.pressed = pressed;  // for ReleasedOn
    const bool inside = ReleasedOn(pressed, x, y);
    np.pressed = kAreaNone;
    switch (pressed) {
        case kAreaBack:
            if (inside) ShowScreen(g_app.previousScreen, false);
            break;
        case kAreaSliderKnob:
            if (g_gesture.seeking) EndSeek(InSliderBand(y));
            break;
        case kAreaTitleBar:
            if (InSongBar(y) && IsDoubleTap(g_gesture, x, y, now, l.scale))
                ShowScreen(kScreenAlbumFlow, false);
            break;
        case kAreaTrackList:
            if (inside) TurnTrackList(g_screen, now);
            break;
        case kAreaVolumeKnob:
            Act(g_screenActions.storeVolume);
            break;
        case kAreaPlay:
            if (inside) Act(g_screenActions.togglePause);
            break;
        case kAreaNext:
            if (inside) Act(g_screenActions.nextTrack);
            break;
        case kAreaPrevious:
            if (inside) Act(g_screenActions.previousTrack);
            break;
        case kAreaRepeat:
            if (inside) {
                g_settings.repeatAlbum =
                    NextRepeatMode(g_settings.repeatAlbum, np.listsFromBrowseFile);
                WriteByte(u"RepeatAlbum", g_settings.repeatAlbum);
            }
            break;
        case kAreaShuffle:
            if (inside) {
                g_settings.playShuffle = NextShuffleMode(g_settings.playShuffle);
                WriteByte(u"PlayShuffle", g_settings.playShuffle);
                RenderPositionLabel(g_screen);
            }
            break;
        case kAreaBody:
            if (wasPenDown && IsNearPenDown(g_gesture, x, y, kTapDistance, l.scale) &&
                HeldLongEnough(g_gesture, now)) {
                if (!np.trackListShown) {
                    np.secondaryShown = !np.secondaryShown;
                    g_settings.lastShowSlide = np.secondaryShown ? 1 : 0;
                } else {
                    const int32_t row = marked >= 0 ? marked : TrackRowAt(y);
                    if (row >= 0 && row < int32_t(np.tracks.size()) &&
                        !np.tracks[size_t(row)].path.empty())
                        Act(g_screenActions.playSong,
                            std::u16string_view(np.tracks[size_t(row)].path));
                }
            } else if (wasPenDown && ReleasedAtRest(g_gesture)) {
                g_gesture.verticalTravel = 0;
                g_gesture.verticalTravelTime = 0;
            }
            break;
        default:
            break;
    }
    if (!np.trackListShown && ReleasedAtRestHorizontally(g_gesture, 150)) {
        g_gesture.horizontalTravel = 0;
        g_gesture.horizontalTravelTime = 0;
    }
    if (!np.trackListShown || !wasPenDown) {
        g_gesture.verticalTravel = 0;
        g_gesture.verticalTravelTime = 0;
    }
}

void NowPlayingTick(uint32_t) {
    NowPlaying& np = g_nowPlaying;
    if (!np.trackListShown || g_app.penDown) return;
    const int32_t max = TrackListMaxScroll();
    if (np.trackScroll < 0 || np.trackScroll > max) {
        // Overscroll return: half the way back each tick.
        g_gesture.verticalTravel = 0;
        g_gesture.verticalTravelTime = 0;
        const int32_t target = np.trackScroll < 0 ? 0 : max;
        const int32_t step = (target - np.trackScroll) / 2;
        np.trackScroll = step == 0 ? target : np.trackScroll + step;
        return;
    }
    const int step = MomentumStep(g_gesture);
    if (step != 0) ScrollTrackList(step);
}

bool KeySeekApplies() {
    return g_app.screen == kScreenNowPlaying && g_nowPlaying.secondaryShown &&
           !g_nowPlaying.trackListShown;
}

void KeySeekStep(int direction) {
    NowPlaying& np = g_nowPlaying;
    if (g_gesture.seekCount == 0) g_seekBase = np.position;
    if (g_gesture.seekCount < 0x7FFFFFF) ++g_gesture.seekCount;
    g_gesture.seeking = true;
    const int64_t delta = int64_t(kSeekStepSeconds) * g_gesture.seekCount;
    int64_t target = int64_t(g_seekBase) + (direction > 0 ? delta : -delta);
    target = std::max<int64_t>(target, 0);
    if (direction > 0) target = std::min<int64_t>(target, np.length);
    g_gesture.seekTarget = uint32_t(target);
    ShowSeekTarget();
}

void KeySeekRelease(int direction) {
    if (g_gesture.seekCount > 0) {
        EndSeek(true);
        g_gesture.seekCount = 0;
        return;
    }
    g_gesture.seekCount = 0;
    if (direction > 0) {
        Act(g_screenActions.nextTrack);
    } else {
        Act(g_screenActions.previousTrack);
    }
}

}  // namespace kra
