// The now-playing screen's frames: bars, lines, highlights, cover, track list.
#include <algorithm>

#include "app/base/app_state.h"
#include "app/base/settings.h"
#include "graphics/blit.h"
#include "graphics/image.h"
#include "graphics/skin.h"
#include "platform/message_loop.h"
#include "playback/play_queue.h"
#include "screens/cover_turn.h"
#include "screens/gestures.h"
#include "screens/now_playing.h"
#include "screens/screen_router.h"

namespace kra {

namespace {

int32_t W(const Surface& s) {
    return int32_t(s.width);
}
int32_t H(const Surface& s) {
    return int32_t(s.height);
}

bool Pressed(NowPlayingArea area) {
    return g_nowPlaying.pressed == area;
}

void FillBlack(Screen& screen, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t alpha) {
    const Brush* previous = SelectBrush(screen, &g_skin.black);
    FillRect(screen, x1, y1, x2, y2, alpha, screen.orientation);
    if (previous) SelectBrush(screen, previous);
}

}  // namespace

void DrawPressedHighlight(Screen& screen, bool pressed, int32_t x, int32_t y, int32_t w, int32_t h,
                          uint32_t alpha) {
    PressedHighlight& hl = g_pressedHighlight;
    const Surface& img = g_skin.pressed;
    uint32_t drawAlpha;
    if (pressed) {
        hl.active = true;
        hl.x = x;
        hl.y = y;
        hl.counter = uint8_t(alpha);
        drawAlpha = alpha;
    } else if (hl.active && hl.x == x && hl.y == y) {
        hl.counter = uint8_t(hl.counter - 7);
        if (hl.counter > 32) {
            hl.active = false;
            return;
        }
        drawAlpha = hl.counter;
    } else {
        return;
    }
    DrawSurface(img, screen, x + (w - W(img)) / 2, y + (h - H(img)) / 2, 0, 0, 0, 0, BlitCopy,
                drawAlpha);
}

void DrawScrollingLine(Screen& screen, ScrollingLine& line, const Surface& label, int32_t x,
                       int32_t y, uint32_t alpha, uint32_t now) {
    if (!label.HasPixels()) return;
    if (!line.scrolling) {
        DrawSurface(label, screen, x + int32_t(line.offset1), y, 0, 0, 0, 0, BlitKeyed, alpha);
        return;
    }
    const float lw = float(label.width);
    const float bw = float(line.boxWidth);
    const float d = float(now - line.lastStep) * line.speed / 60.0f;
    bool move = true;
    if (line.offset1 == 0.0f) {
        ++line.pauseCounter;
        if (line.pauseCounter >= 36) {
            line.pauseCounter = 0;
        } else {
            move = false;
        }
    }
    if (move) {
        line.offset1 += d;
        line.offset2 -= d;
    }
    const int32_t bx = x + line.boxX;
    if (line.offset1 < lw) {
        DrawSurface(label, screen, bx, y, line.boxWidth, 0, int32_t(line.offset1), 0, BlitKeyed,
                    alpha);
    }
    const int32_t second = int32_t(bw - line.offset2);
    if (second >= 1) {
        DrawSurface(label, screen, bx + int32_t(line.offset2), y, second, 0, 0, 0, BlitKeyed,
                    alpha);
    }
    if (line.offset2 <= 0.0f) {
        // The second copy has reached the box's start: it becomes the first,
        // and the next one follows at a fifth of the box.
        line.offset1 = 0;
        line.offset2 = lw + float(line.boxWidth / 5);
    }
    line.lastStep = now;
}

void DrawControlBar(Screen& screen, int32_t x, uint32_t now) {
    NowPlaying& np = g_nowPlaying;
    const NowPlayingLayout& l = np.layout;
    const uint32_t a = np.barsAlpha;
    if (x <= -l.width || (!np.barsShown && a == 0)) return;
    const int32_t s = l.statusHeight, g = l.songBarHeight;
    if (np.trackListShown) FillBlack(screen, x, s, x + l.width, s + g, 32);
    DrawStrip(np.songBarStrip, screen, x, s, l.width, 0, BlitBlend, std::min<uint32_t>(a, 20));

    const int32_t artistH = H(np.artist), titleH = H(np.title), albumH = H(np.album);
    const int32_t top = s + std::max((g - artistH - titleH - albumH) / 2, 0);
    DrawScrollingLine(screen, np.lines[0], np.artist, x, top, a, now);
    DrawScrollingLine(screen, np.lines[1], np.title, x, top + artistH, a, now);
    DrawScrollingLine(screen, np.lines[2], np.album, x, top + artistH + titleH, a, now);

    const Surface& buttons = g_skin.songBarButtons;
    const int32_t c = l.cellWidth;
    DrawSurface(buttons, screen, x, l.buttonY, c, 0, 0, 0, BlitKeyed, a);
    DrawPressedHighlight(screen, Pressed(kAreaBack), x, l.buttonY, c, H(buttons), 30);
    if (np.trackListShown) {
        const Surface& small = np.smallCover.HasPixels() ? np.smallCover : g_skin.musicSmall;
        DrawSurface(small, screen, x + l.width - l.scale - W(small), s + (g - H(small)) / 2, 0, 0,
                    0, 0, BlitCopy, a);
    } else {
        DrawSurface(buttons, screen, x + l.width - c, l.buttonY, c, 0, c, 0, BlitKeyed, a);
    }
    DrawPressedHighlight(screen, Pressed(kAreaTrackList), x + l.width - c, l.buttonY, c, H(buttons),
                         30);

    if (!g_settings.noSoftKey) {
        DrawStrip(g_skin.controlBarStrip, screen, x, l.controlY, l.width, 0, BlitBlend,
                  std::min<uint32_t>(a, 15));
        const Surface& play = g_app.paused ? g_skin.play : g_skin.pause;
        DrawSurface(g_skin.forward, screen, x + l.nextX, l.controlY, 0, 0, 0, 0, BlitCopy, a);
        DrawSurface(g_skin.backward, screen, x + l.previousX, l.controlY, 0, 0, 0, 0, BlitCopy, a);
        DrawSurface(play, screen, x + l.playX, l.controlY, 0, 0, 0, 0, BlitCopy, a);
        DrawPressedHighlight(screen, Pressed(kAreaPlay), x + l.playX, l.controlY, W(play), H(play),
                             a);
        DrawPressedHighlight(screen, Pressed(kAreaNext), x + l.nextX, l.controlY, W(g_skin.forward),
                             H(g_skin.forward), a);
        DrawPressedHighlight(screen, Pressed(kAreaPrevious), x + l.previousX, l.controlY,
                             W(g_skin.backward), H(g_skin.backward), a);

        const Surface& barOn = g_skin.barOn;
        DrawSurface(g_skin.barOff, screen, x + l.volumeX, l.volumeY, 0, 0, 0, 0, BlitKeyed,
                    std::min<uint32_t>(a, 20));
        const int32_t fill = VolumeFill(g_settings.musicVolume, barOn.width);
        if (fill != 0) {
            DrawSurface(barOn, screen, x + l.volumeX, l.volumeY, fill, 0, 0, 0, BlitKeyed,
                        std::min<uint32_t>(a, 30));
        }
        const Surface& knob = g_skin.barButton;
        np.volumeKnobX = l.volumeX - W(knob) / 2 + fill;
        DrawSurface(knob, screen, x + np.volumeKnobX, l.volumeKnobY, 0, 0, 0, 0, BlitKeyed, a);
        DrawPressedHighlight(screen, Pressed(kAreaVolumeKnob), x + np.volumeKnobX, l.volumeKnobY,
                             W(knob), H(knob), 30);
    }

    if (np.barsShown) {
        np.barsAlpha = uint8_t(std::min(np.barsAlpha + 8, 32));
    } else {
        np.barsAlpha = uint8_t(std::max(np.barsAlpha - 8, 0));
    }
}

void DrawSecondaryBar(Screen& screen, int32_t x) {
    NowPlaying& np = g_nowPlaying;
    const NowPlayingLayout& l = np.layout;
    const uint32_t s = np.secondaryAlpha;
    if (!np.secondaryShown && s == 0) return;
    if (s != 0) {
        const int32_t g = l.songBarHeight;
        FillBlack(screen, x, l.statusHeight + g, x + l.width, l.statusHeight + 2 * g,
                  std::min<uint32_t>(s, 14));
        const Surface& repeat = g_skin.repeat;
        const Surface& shuffle = g_skin.shuffle;
        const int32_t repeatCell = W(repeat) / 4, shuffleCell = W(shuffle) / 3;
        const int32_t repeatMode = g_settings.repeatAlbum <= 3 ? g_settings.repeatAlbum : 0;
        const int32_t shuffleMode = g_settings.playShuffle <= 2 ? g_settings.playShuffle : 0;
        DrawSurface(repeat, screen, x + l.repeatX, l.modeRowY, repeatCell, 0,
                    repeatMode * repeatCell, 0, BlitKeyed, s);
        DrawSurface(shuffle, screen, x + l.shuffleX, l.modeRowY, shuffleCell, 0,
                    shuffleMode * shuffleCell, 0, BlitKeyed, s);
        const Surface& barOn = g_skin.sliderOn;
        DrawSurface(g_skin.sliderOff, screen, x + l.sliderX, l.sliderY, 0, 0, 0, 0, BlitKeyed,
                    std::min<uint32_t>(s, 20));
        DrawPressedHighlight(screen, Pressed(kAreaRepeat), x + l.repeatX, l.modeRowY, repeatCell,
                             H(repeat), 30);
        DrawPressedHighlight(screen, Pressed(kAreaShuffle), x + l.shuffleX, l.modeRowY, shuffleCell,
                             H(shuffle), 30);

        const Surface& knob = g_skin.sliderButton;
        int32_t fill;
        if (g_gesture.seeking) {
            // The knob was placed by the touch or the keys; the fill reaches
            // its centre.
            fill = std::clamp(np.sliderKnobX + W(knob) / 2 - l.sliderX, 0, W(barOn));
        } else {
            fill = SliderFill(np.position, np.length, barOn.width);
            np.sliderKnobX = l.sliderX - W(knob) / 2 + fill;
        }
        if (fill != 0)
            DrawSurface(barOn, screen, x + l.sliderX, l.sliderY, fill, 0, 0, 0, BlitKeyed, s);
        DrawSurface(knob, screen, x + np.sliderKnobX, l.sliderKnobY, 0, 0, 0, 0, BlitKeyed, s);
        if (g_gesture.seeking) {
            const Surface& img = g_skin.pressed;
            DrawSurface(img, screen, x + np.sliderKnobX + (W(knob) - W(img)) / 2,
                        l.sliderKnobY + (H(knob) - H(img)) / 2, 0, 0, 0, 0, BlitCopy, 32);
        }
        const Surface& label = np.positionLabel;
        DrawSurface(label, screen, x + (l.width - W(label)) / 2, 2 * g + 10 * l.scale - H(label), 0,
                    0, 0, 0, BlitKeyed, s);
        DrawSurface(np.elapsed, screen, x + np.elapsedX, l.timesY, 0, 0, 0, 0, BlitKeyed, s);
        DrawSurface(np.remaining, screen, x + np.remainingX, l.timesY, 0, 0, 0, 0, BlitKeyed, s);
    }
    if (np.secondaryShown) {
        np.secondaryAlpha = uint8_t(std::min<uint32_t>(s + 5, 30));
    } else {
        np.secondaryAlpha = uint8_t(s - 5);
    }
}

namespace {

void DrawTrackList(Screen& screen, int32_t x) {
    NowPlaying& np = g_nowPlaying;
    const NowPlayingLayout& l = np.layout;
    const int32_t top = TrackListTop(), bottom = TrackListBottom();
    const int32_t rowH = np.trackRowHeight;
    if (rowH <= 0) return;
    const int32_t u = l.scale;
    const int32_t current =
        FolderPart(g_queue.currentPath) == np.trackFolder ? g_queue.cursor.folderIndex : -1;
    const int32_t first = std::max(np.trackScroll, 0) / rowH;
    for (int32_t i = first; i < int32_t(np.tracks.size()); ++i) {
        const int32_t y = top + i * rowH - np.trackScroll;
        if (y >= bottom) break;
        const TrackRow& row = np.tracks[size_t(i)];
        if (i == current || i == np.markedRow) {
            const Brush* previous = SelectBrush(screen, &g_skin.highlightBlue);
            FillRect(screen, x, std::max(y, top), x + l.width, std::min(y + rowH, bottom),
                     i == np.markedRow ? 32 : 20, screen.orientation);
            if (previous) SelectBrush(screen, previous);
        }
        const int32_t ty = y + (rowH - H(row.label)) / 2;
        if (ty >= top && ty + H(row.label) <= bottom) {
            const int32_t lengthX = l.width - 8 * u - W(row.length);
            DrawSurface(row.label, screen, x + 8 * u, ty, std::max(lengthX - 16 * u, 0), 0, 0, 0,
                        BlitKeyed, 32);
            DrawSurface(row.length, screen, x + lengthX, ty, 0, 0, 0, 0, BlitKeyed, 32);
        }
        if (y + rowH - 1 < bottom && y + rowH - 1 >= top) {
            const Brush* previous = SelectBrush(screen, &g_skin.lightGrey);
            FillRect(screen, x + 8 * u, y + rowH - 1, x + l.width - 8 * u, y + rowH, 6,
                     screen.orientation);
            if (previous) SelectBrush(screen, previous);
        }
    }
}

// The bars over the cover area: control bar, secondary bar and status bar.
void DrawBars(Screen& screen, uint32_t now) {
    DrawControlBar(screen, 0, now);
    DrawSecondaryBar(screen, 0);
    if (g_screenActions.drawStatusBar) {
        g_screenActions.drawStatusBar(screen, 0);
    } else {
        DrawStrip(g_skin.statusStrip, screen, 0, 0, int32_t(screen.width), 0, BlitCopy, 32);
    }
}

}  // namespace

void DrawCoverArea(Screen& screen, int32_t x) {
    NowPlaying& np = g_nowPlaying;
    if (np.trackListShown) {
        DrawTrackList(screen, x);
        return;
    }
    const Surface& cover = np.hasCover ? np.cover : g_skin.music;
    const NowPlayingLayout& l = np.layout;
    DrawSurface(cover, screen, x + l.coverX, l.coverY, 0, 0, 0, 0, BlitCopy, 32);
    DrawSurface(np.reflection, screen, x + l.coverX, l.coverY + H(cover), 0, 0, 0, 0, BlitCopy, 32);
}

void RenderTrackListImage(Screen& screen, Surface& image, int32_t& y) {
    const int32_t top = std::max(TrackListTop(), 0);
    const int32_t bottom = std::min(TrackListBottom(), int32_t(screen.height));
    y = top;
    ResetSurface(image, false);
    if (bottom <= top || screen.backBuffer == nullptr) return;
    ClearScreen(screen, 0);
    DrawTrackList(screen, 0);
    Surface whole;
    if (LoadImage(whole, screen, u"", kScaleNatural, 0, 0) != 1) return;
    CropSurface(image, whole, whole.width, uint32_t(bottom - top), 0, uint32_t(top), 0);
}

void TurnTrackList(Screen& screen, uint32_t now) {
    NowPlaying& np = g_nowPlaying;
    const bool showing = np.trackListShown;
    if (!showing) {
        // The rows are loaded and placed as for showing them, then the flag
        // waits for the middle of the turn.
        SetTrackListShown(screen, true);
        np.trackListShown = false;
    }
    np.markedRow = -1;
    Surface list;
    int32_t listY = 0;
    RenderTrackListImage(screen, list, listY);
    const Surface& cover = np.hasCover ? np.cover : g_skin.music;
    const int32_t coverY = np.layout.coverY;
    TurnHooks hooks;
    hooks.drawBars = [now](Screen& s) { DrawBars(s, now); };
    hooks.stopMotion = [] { platform::KillTimer(kTimerAnimation); };
    hooks.startMotion = [] { platform::SetTimer(kTimerAnimation, 60); };
    hooks.listShown = &np.trackListShown;
    const int turned =
        showing ? TurnOver(screen, list, cover, listY, coverY, false, true, 2, false, hooks)
                : TurnOver(screen, cover, list, coverY, listY, true, false, 1, false, hooks);
    if (turned != 1) np.trackListShown = !showing;
}

void ComposeNowPlaying(Screen& screen, uint32_t now) {
    ClearScreen(screen, 0);
    DrawCoverArea(screen, 0);
    DrawBars(screen, now);
}

bool NowPlayingAnimating() {
    const NowPlaying& np = g_nowPlaying;
    if (np.barsShown ? np.barsAlpha < 32 : np.barsAlpha > 0) return true;
    if (np.secondaryShown ? np.secondaryAlpha < 30 : np.secondaryAlpha > 0) return true;
    if (g_pressedHighlight.active) return true;
    if (np.barsShown) {
        for (const ScrollingLine& line : np.lines) {
            if (line.scrolling) return true;
        }
    }
    if (np.trackListShown && (g_gesture.verticalTravelTime != 0 || np.trackScroll < 0 ||
                              np.trackScroll > TrackListMaxScroll()))
        return true;
    return false;
}

}  // namespace kra
