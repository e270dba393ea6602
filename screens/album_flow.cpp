#include "screens/album_flow.h"

#include <algorithm>
#include <cmath>

#include "app/base/app_state.h"
#include "app/base/debug_log.h"
#include "app/base/hooks.h"
#include "app/base/settings.h"
#include "app/base/text.h"
#include "app/base/worker_pair.h"
#include "graphics/blit.h"
#include "graphics/skin.h"
#include "graphics/text.h"
#include "library/indexes.h"
#include "library/library.h"
#include "library/tag_cache.h"
#include "media/album_art_cache.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/message_loop.h"
#include "platform/window.h"
#include "playback/play_queue.h"
#include "screens/cover_turn.h"
#include "screens/gestures.h"
#include "screens/now_playing.h"
#include "screens/screen_router.h"
#include "screens/status_bar.h"

namespace kra {

AlbumFlow g_albumFlow;

namespace {

// The album's cached cover, else the default cover.
const Surface& CoverOf(const AlbumFlow& flow, int album) {
    static const Surface none;
    const Surface* own = flow.cache.Find(album);
    if (own && own->HasPixels()) return *own;
    if (flow.defaultCover) return *flow.defaultCover;
    return g_skin.music.HasPixels() ? g_skin.music : none;
}

bool Valid(const AlbumFlow& flow, int album) {
    return album >= 1 && album <= flow.count && size_t(album) < flow.albums.size();
}

struct FramePacer {
    uint32_t last = platform::TickCount();
    void Show(Screen& screen) {
        const uint32_t elapsed = platform::TickCount() - last;
        if (elapsed < kFlowFramePeriodMs) platform::Sleep(kFlowFramePeriodMs - elapsed);
        Present(screen);
        last = platform::TickCount();
    }
};

int SideOfSlot(int slot) {
    return slot < kFlowCentre ? 0 : 1;
}

void PlaceAt(AlbumFlow& flow, const Screen& screen, int album, int slot) {
    FlowAlbum& a = flow.albums[size_t(album)];
    a.x = SlotX(flow, int32_t(screen.width), slot, int32_t(a.flowImage.width));
}

void Blit(Screen& screen, const FlowAlbum& a, float offset) {
    if (!a.flowImage.HasPixels()) return;
    DrawSurface(a.flowImage, screen, a.x + int32_t(offset), a.y, int32_t(a.flowImage.width),
                int32_t(a.flowImage.height), 0, 0, BlitKeyed, 32);
}

// Draws the row far to near, every album at its stored x plus the offset
// except the two that take part in a turn; then the overlay. The centre is
// left out when `withCentre` is false (the background of a turn); the track
// list stands in its place while shown.
void Compose(Screen& screen, float offset, int turningA = -1, int turningB = -1,
             bool withCentre = true) {
    AlbumFlow& flow = g_albumFlow;
    ClearScreen(screen, 0);
    for (int slot : {0, 6, 1, 5, 2, 4, 3}) {
        const int album = flow.slots[size_t(slot)];
        if (!Valid(flow, album)) continue;
        if (slot == kFlowCentre && (!withCentre || flow.listShown)) continue;
        const bool turning = album == turningA || album == turningB;
        Blit(screen, flow.albums[size_t(album)], turning ? 0.0f : offset);
    }
    if (withCentre && flow.listShown) DrawFlowList(screen);
    if (flow.hooks.drawOverlay)
        flow.hooks.drawOverlay(screen);
    else
        DrawFlowOverlay(screen);
}

// Makes sure the album's cover is in the cache. Decoding here happens only
// at rest, and with the worker on only for the centre album; the worker
// brings the others. Until then the default cover stands in.
void EnsureLoaded(AlbumFlow& flow, int album) {
    FlowAlbum& a = flow.albums[size_t(album)];
    if (flow.cache.Has(album)) {
        if (a.coverState == 0) a.coverState = 1;
        return;
    }
    const bool worker = FlowCoversTable() != nullptr;
    if (flow.fast || (worker && album != flow.current) || !flow.hooks.loadCover) return;
    if (!ClaimFlowCover(album)) return;  // the worker has it in hand
    Surface loaded;
    flow.hooks.loadCover(album, loaded);
    int evicted = -1;
    Surface& slot = flow.cache.Store(album, flow.current, evicted);
    slot = std::move(loaded);
    if (evicted >= 0 && Valid(flow, evicted)) {
        flow.albums[size_t(evicted)].coverState = 0;
        ReleaseFlowCover(evicted);
    }
    a.coverState = 1;  // prepared again with the real cover
}

void Stop(uint32_t id) {
    if (g_albumFlow.hooks.stopTimer) g_albumFlow.hooks.stopTimer(id);
}
void Start(uint32_t id, uint32_t ms) {
    if (g_albumFlow.hooks.startTimer) g_albumFlow.hooks.startTimer(id, ms);
}

// One animated step: dir +1 toward the next album, -1 toward the previous.
void Step(Screen& screen, int dir, bool fast) {
    AlbumFlow& flow = g_albumFlow;
    const int target = flow.current + dir;
    if (flow.count < 2 || !Valid(flow, flow.current) || !Valid(flow, target)) {
        if (Valid(flow, flow.current)) {
            PrepareCover(flow, screen, flow.current, 0, 0);
            PlaceAt(flow, screen, flow.current, kFlowCentre);
        }
        flow.offset = 0;
        return;
    }
    Stop(kFlowMotionTimer);
    const bool wasFast = flow.fast;
    flow.fast = wasFast || fast;
    const int32_t W = int32_t(screen.width);
    const int inSlot = kFlowCentre + dir;  // the incoming cover's slot
    const int outSlot = kFlowCentre - dir;
    const int outSide = dir > 0 ? 0 : 1;
    const int inSide = dir > 0 ? 1 : 0;
    std::array<int32_t, kFlowSlots> startX{};
    for (int s = 0; s < kFlowSlots; ++s)
        if (Valid(flow, flow.slots[size_t(s)]))
            startX[size_t(s)] = flow.albums[size_t(flow.slots[size_t(s)])].x;
    FramePacer pacer;
    for (int n = 0; n < 5; ++n) {
        const int centre = flow.slots[kFlowCentre];
        const int incoming = flow.slots[size_t(inSlot)];
        PrepareCover(flow, screen, centre, n, outSide);
        PrepareCover(flow, screen, incoming, kFlowMaxStep - n, inSide);
        FlowAlbum& c = flow.albums[size_t(centre)];
        FlowAlbum& i = flow.albums[size_t(incoming)];
        const int32_t cFrom = SlotX(flow, W, kFlowCentre, int32_t(c.flowImage.width));
        const int32_t cTo = SlotX(flow, W, outSlot, int32_t(c.flowImage.width));
        c.x = cFrom + (cTo - cFrom) * (n + 1) / 5;
        const int32_t iFrom = SlotX(flow, W, inSlot, int32_t(i.flowImage.width));
        const int32_t iTo = SlotX(flow, W, kFlowCentre, int32_t(i.flowImage.width));
        i.x = iFrom + (iTo - iFrom) * (n + 1) / 5;
        for (int s = 0; s < kFlowSlots; ++s) {
            if (s == kFlowCentre || s == inSlot) continue;
            const int album = flow.slots[size_t(s)];
            if (!Valid(flow, album)) continue;
            flow.albums[size_t(album)].x = startX[size_t(s)] - dir * (flow.spacing / 8) * (n + 1);
        }
        if (fast && n != 2 && n != 3) continue;
        Compose(screen, 0);
        pacer.Show(screen);
        if (flow.hooks.onFrame) flow.hooks.onFrame(n);
    }
    flow.current = target;
    flow.offset = 0;
    SetFlowCoversCurrent(target);
    FillSlots(flow, screen);
    flow.fast = wasFast;
    flow.pageTicks = 0;
    Start(kFlowPageTimer, 45);
    Start(kFlowMotionTimer, 60);
}

// The zoom into now playing: the centre cover shrinks toward the middle
// of the screen while the row around it fades, five frames at the step's pace.
void ZoomCentre(Screen& screen) {
    AlbumFlow& flow = g_albumFlow;
    const int centre = flow.slots[kFlowCentre];
    if (!Valid(flow, centre)) return;
    const FlowAlbum& c = flow.albums[size_t(centre)];
    if (!c.flowImage.HasPixels()) return;
    const int32_t W = int32_t(screen.width), H = int32_t(screen.height);
    const int32_t fromX = c.x + int32_t(c.flowImage.width) / 2;
    const int32_t fromY = c.y + int32_t(c.flowImage.height) / 2;
    Surface scaled;
    FramePacer pacer;
    for (int n = 1; n <= 5; ++n) {
        Compose(screen, 0, -1, -1, false);
        DimScreen(screen, uint32_t(32 - 5 * n));
        const uint32_t w = std::max<uint32_t>(1, c.flowImage.width * uint32_t(10 - n) / 10);
        const uint32_t h = std::max<uint32_t>(1, c.flowImage.height * uint32_t(10 - n) / 10);
        if (ScaleSurface(scaled, screen, c.flowImage, w, h, false, false) == 1) {
            const int32_t cx = fromX + (W / 2 - fromX) * n / 5;
            const int32_t cy = fromY + (H / 2 - fromY) * n / 5;
            DrawSurface(scaled, screen, cx - int32_t(w) / 2, cy - int32_t(h) / 2, int32_t(w),
                        int32_t(h), 0, 0, BlitKeyed, 32);
        }
        pacer.Show(screen);
        if (flow.hooks.onFrame) flow.hooks.onFrame(n - 1);
    }
}

}  // namespace

int32_t FlowSpacing(int32_t coverSize, int uiScale) {
    const int32_t u = std::max(uiScale, 1);
    return std::max<int32_t>(10, 20 * u + (coverSize - 78 * u) / 2);
}

WarpCorners CoverCorners(int32_t w, int32_t h, int step, int side) {
    const int32_t d = h / 32, q = w / 10;
    if (step <= 0) {
        const int32_t r = std::max(w - q / 2, 0);
        return {0, 0, r, 0, 0, h, r, h};
    }
    const int n = std::min(step, kFlowMaxStep);
    const int32_t width = std::max(w - q - n * q, 0);
    const int32_t bottom = h - 2 * d;
    const int32_t top = n * d, low = bottom - n * d;
    if (side == 1)  // far edge on the left
        return {0, top, width, 0, 0, low, width, bottom};
    return {0, 0, width, top, 0, bottom, width, low};
}

int DragStep(float offset, int32_t spacing) {
    const int32_t unit = std::max(spacing / 10, 1);
    const float n = std::trunc(std::fabs(offset) / float(unit));
    return int(std::clamp(n, 0.0f, float(kFlowMaxStep)));
}

float RelaxOffset(float offset) {
    return std::fabs(offset) < 0.6f ? 0.0f : offset * 0.8f;
}

void SetupAlbumFlow(AlbumFlow& flow, int32_t w, int32_t h, int32_t topBar, int32_t bottomBar,
                    int uiScale, int count) {
    flow.count = std::max(count, 0);
    flow.albums.clear();
    flow.albums.resize(size_t(flow.count) + 1);
    flow.current = 1;
    flow.slots.fill(-1);
    flow.offset = 0;
    flow.velocity = 0;
    flow.divisor = 0;
    flow.topBar = topBar;
    flow.cache.Clear();
    flow.labelAlbum = -1;
    flow.listShown = false;
    flow.listAlbum = -1;
    flow.tracks.clear();
    flow.fast = false;
    flow.baseline = std::max(h - bottomBar, topBar + 1);
    // The covers stand between the top bar and the baseline; the reflections
    // fall into the bottom bar.
    const int32_t room = flow.baseline - topBar - 4 * std::max(uiScale, 1);
    flow.coverSize = std::max<int32_t>(std::min(room, w / 2), 1);
    flow.spacing = FlowSpacing(flow.coverSize, uiScale);
}

int32_t SlotX(const AlbumFlow& flow, int32_t W, int slot, int32_t iw) {
    const int32_t s = flow.spacing;
    // The near covers tuck a quarter of their width under the centre cover
    // (never nearer the edge than their edge column); the outer ones stand
    // half a spacing and a spacing further out.
    const int32_t cs = std::max(flow.coverSize, 1);
    const int32_t centreLeft = (W - (cs - cs / 20)) / 2;
    const int32_t nearLeft = std::max((s - iw) / 2, centreLeft - iw * 3 / 4);
    const int32_t nearRight = std::min(W - s + (s - iw) / 2, W - centreLeft - iw / 4);
    switch (slot) {
        case kFlowCentre:
            return (W - iw) / 2;
        case 2:
            return nearLeft;
        case 1:
            return nearLeft - s / 2;
        case 0:
            return nearLeft - s;
        case 4:
            return nearRight;
        case 5:
            return nearRight + s / 2;
        default:
            return nearRight + s;
    }
}

void PrepareCover(AlbumFlow& flow, const Screen& screen, int album, int step, int side) {
    if (!Valid(flow, album)) return;
    EnsureLoaded(flow, album);
    FlowAlbum& a = flow.albums[size_t(album)];
    step = std::clamp(step, 0, kFlowMaxStep);
    if (a.coverState == 2 && a.step == step && (step == 0 || a.side == side)) return;
    a.step = step;
    a.side = side;
    const Surface& cover = CoverOf(flow, album);
    ResetSurface(a.flowImage, false);
    // A cover of another size than the flow's is fitted first.
    const Surface* source = &cover;
    static Surface fitted;
    const uint32_t size = uint32_t(std::max(flow.coverSize, 1));
    if (cover.HasPixels() && (cover.width > size || cover.height > size)) {
        if (ScaleSurface(fitted, screen, cover, size, size, true, true) == 1) source = &fitted;
    }
    if (source->HasPixels() && source->width >= 10 && source->height >= 32) {
        const WarpCorners c =
            CoverCorners(int32_t(source->width), int32_t(source->height), step, side);
        WarpSurface(a.flowImage, screen, *source, c, kFlowFill, true, false);
    }
    a.y = flow.baseline - int32_t(source->HasPixels() ? source->height : 0);
    a.coverState = 2;
}

void FillSlots(AlbumFlow& flow, const Screen& screen) {
    // The warped images belong to the slots: an album that leaves them
    // gives its image back.
    for (int old : flow.slots) {
        if (!Valid(flow, old) || std::abs(old - flow.current) <= kFlowCentre) continue;
        FlowAlbum& a = flow.albums[size_t(old)];
        ResetSurface(a.flowImage, true);
        a.step = -1;
        if (a.coverState == 2) a.coverState = 1;
    }
    for (int s = 0; s < kFlowSlots; ++s) {
        const int album = flow.current - kFlowCentre + s;
        flow.slots[size_t(s)] = Valid(flow, album) ? album : -1;
        if (flow.slots[size_t(s)] < 0) continue;
        PrepareCover(flow, screen, album, s == kFlowCentre ? 0 : kFlowMaxStep, SideOfSlot(s));
        PlaceAt(flow, screen, album, s);
    }
}

void ComposeFlow(Screen& screen, float offset) {
    AlbumFlow& flow = g_albumFlow;
    const int32_t W = int32_t(screen.width);
    for (int s = 0; s < kFlowSlots; ++s) {
        const int album = flow.slots[size_t(s)];
        if (!Valid(flow, album) || s == kFlowCentre || s == 2 || s == 4) continue;
        PrepareCover(flow, screen, album, kFlowMaxStep, SideOfSlot(s));
        PlaceAt(flow, screen, album, s);
    }
    const int centre = flow.slots[kFlowCentre];
    const int step = DragStep(offset, flow.spacing);
    const int32_t unit = std::max(flow.spacing / 10, 1);
    const float frac = std::min(std::fabs(offset) / float(unit) / 5.0f, 1.0f);
    // The centre turns toward the side it moves to, the neighbour it moves
    // away from turns to face the user.
    const int toSlot = offset > 0 ? 4 : 2;
    const int fromSlot = offset > 0 ? 2 : 4;
    const int neighbour = flow.slots[size_t(fromSlot)];
    if (Valid(flow, centre)) {
        PrepareCover(flow, screen, centre, offset == 0 ? 0 : step, offset > 0 ? 1 : 0);
        FlowAlbum& c = flow.albums[size_t(centre)];
        const int32_t from = SlotX(flow, W, kFlowCentre, int32_t(c.flowImage.width));
        const int32_t to = SlotX(flow, W, toSlot, int32_t(c.flowImage.width));
        c.x = from + int32_t(float(to - from) * frac);
    }
    for (int s : {2, 4}) {
        const int album = flow.slots[size_t(s)];
        if (!Valid(flow, album)) continue;
        const bool turning = offset != 0 && album == neighbour;
        PrepareCover(flow, screen, album, turning ? kFlowMaxStep - step : kFlowMaxStep,
                     SideOfSlot(s));
        FlowAlbum& a = flow.albums[size_t(album)];
        const int32_t from = SlotX(flow, W, s, int32_t(a.flowImage.width));
        const int32_t to = SlotX(flow, W, kFlowCentre, int32_t(a.flowImage.width));
        a.x = turning ? from + int32_t(float(to - from) * frac) : from;
    }
    Compose(screen, offset, centre, offset != 0 ? neighbour : -1);
}

void DrawFlow(Screen& screen, float offset) {
    ComposeFlow(screen, offset);
    Present(screen);
}

void MoveToNextAlbum(Screen& screen, bool fast) {
    Step(screen, +1, fast);
}

void MoveToPrevAlbum(Screen& screen, bool fast) {
    KRA_LOG("Move2PrevAlbumFlow C=%d M=%d", g_albumFlow.current, g_albumFlow.count);
    Step(screen, -1, fast);
}

namespace {

void ScrollList(const Screen& screen, int32_t by);

// A flicked track list glides on, slowing by a fifth per tick, and stops at its ends.
void GlideFlowList(const Screen& screen) {
    AlbumFlow& flow = g_albumFlow;
    if (flow.listVelocity == 0) return;
    const int32_t before = flow.listScroll;
    ScrollList(screen, int32_t(std::lround(flow.listVelocity * 60.0)));
    flow.listVelocity *= 0.8;
    if (flow.listScroll == before || std::fabs(flow.listVelocity) < 0.05) flow.listVelocity = 0;
}

}  // namespace

bool FlowMotion(Screen& screen) {
    AlbumFlow& flow = g_albumFlow;
    if (flow.listShown) GlideFlowList(screen);
    KRA_LOG("AF CAF=%d D=%f P=%d M=%d", flow.current, double(flow.offset), flow.divisor,
            flow.count);
    flow.offset = RelaxOffset(flow.offset);
    if (flow.divisor != 0) {
        const double delta = std::trunc(flow.velocity * 90.0 / flow.divisor);
        if (delta == 0) {
            flow.divisor = 0;
            flow.velocity = 0;
        } else {
            flow.offset += float(delta);
            flow.velocity *= 0.5;
        }
    }
    flow.fast = flow.divisor != 0 || flow.dragging;
    // A row pulled past half a spacing steps; at the ends it springs back.
    const float half = float(flow.spacing) / 2;
    if (flow.offset > half && Valid(flow, flow.current - 1)) {
        MoveToPrevAlbum(screen, flow.fast);
        return false;
    }
    if (flow.offset < -half && Valid(flow, flow.current + 1)) {
        MoveToNextAlbum(screen, flow.fast);
        return false;
    }
    return true;
}

void OnFlowTimer(Screen& screen) {
    if (FlowMotion(screen)) DrawFlow(screen, g_albumFlow.offset);
}

void OnFlowPageTimer() {
    AlbumFlow& flow = g_albumFlow;
    if (++flow.pageTicks < 2) return;
    Stop(kFlowPageTimer);
    if (flow.hooks.wakeWorker) flow.hooks.wakeWorker();
}

void SnapFlow(Screen& screen, int direction) {
    AlbumFlow& flow = g_albumFlow;
    if (direction == 1)
        Step(screen, -1, false);
    else if (direction == 2)
        Step(screen, +1, false);
    flow.offset = 0;
    flow.velocity = 0;
    flow.divisor = 0;
    flow.dragging = false;
    flow.fast = false;
}

namespace {

// The entry turn: the current cover turns by 15 degrees a frame toward the
// new orientation and grows or shrinks toward the flow's cover size.
void EntryTurn(Screen& screen, int orientation) {
    AlbumFlow& flow = g_albumFlow;
    const NowPlaying& np = g_nowPlaying;
    const Surface& start =
        np.hasCover && np.cover.HasPixels()
            ? np.cover
            : (Valid(flow, flow.current) ? CoverOf(flow, flow.current) : g_skin.music);
    const bool clockwise = orientation == kOrientation270;
    const float target = float(std::max(flow.coverSize, 1));
    Surface scaled, turned;
    for (int k = 1; k <= 6; ++k) {
        const float degrees = clockwise ? 15.0f * float(k) : 360.0f - 15.0f * float(k);
        ClearScreen(screen, 0);
        // A start image under a pixel is left out of the frame; the frame still counts.
        if (start.width >= 1 && start.height >= 1) {
            const float fw = float(start.width), fh = float(start.height);
            const float w = fw + float(k) * 0.2f * (target / fw - 1.0f) * fw;
            const float h = fh + float(k) * 0.2f * (target / fh - 1.0f) * fh;
            if (w >= 1 && h >= 1 &&
                ScaleSurface(scaled, screen, start, uint32_t(w), uint32_t(h), false, false) == 1 &&
                RotateSurface(turned, scaled, degrees, 0) == 1) {
                DrawSurface(turned, screen, (int32_t(screen.width) - int32_t(turned.width)) / 2,
                            (int32_t(screen.height) - int32_t(turned.height)) / 2, 0, 0, 0, 0,
                            BlitCopy, 32);
            }
        }
        if (g_screenActions.drawStatusBar) g_screenActions.drawStatusBar(screen, 0);
        if (np.layout.width == int32_t(screen.width))
            DrawControlBar(screen, 0, platform::TickCount());
        Present(screen);
        platform::Sleep(10);
    }
}

}  // namespace

bool EnterAlbumFlow(Screen& screen, int orientation) {
    if (g_settings.noAlbumFlow) return false;
    AlbumFlow& flow = g_albumFlow;
    Stop(kFlowMotionTimer);
    flow.offset = 0;
    flow.velocity = 0;
    flow.divisor = 0;
    flow.down = flow.dragging = flow.fast = false;
    flow.pressed = 0;
    flow.listShown = false;
    flow.current = std::clamp(flow.current, 1, std::max(flow.count, 1));
    SetFlowCoversCurrent(flow.current);
    FillSlots(flow, screen);
    if (orientation != kOrientation90 && orientation != kOrientation270)
        orientation = kOrientation90;
    if (screen.orientation != orientation) {
        EntryTurn(screen, orientation);
        if (flow.hooks.turnDisplay) flow.hooks.turnDisplay(orientation);
        SetOrientation(screen, orientation);
    }
    flow.pageTicks = 0;
    Start(kFlowMotionTimer, 60);
    Start(kFlowPageTimer, 45);
    flow.labelAlbum = -1;
    RenderFlowLabels(screen);
    return true;
}

void FlowTap(Screen& screen, int32_t x, int32_t y) {
    AlbumFlow& flow = g_albumFlow;
    const int centre = flow.slots[kFlowCentre];
    if (!Valid(flow, centre)) return;
    const FlowAlbum& c = flow.albums[size_t(centre)];
    const int32_t left = c.x, right = int32_t(screen.width) - c.x;
    if (flow.listShown) {
        int32_t lx, ly, lw, lh;
        FlowListRect(screen, lx, ly, lw, lh);
        if (x >= lx && x < lx + lw && y >= ly && y < ly + lh) {
            const int32_t row =
                flow.rowHeight > 0 ? (y - ly + flow.listScroll) / flow.rowHeight : -1;
            if (row >= 0 && row < int32_t(flow.tracks.size()) && flow.hooks.playSong)
                flow.hooks.playSong(centre, flow.tracks[size_t(row)].path);
            return;
        }
        // A side tap while the list shows turns it back first.
        TurnFlowList(screen);
        return;
    }
    if (x >= left && x < right) {
        if (y >= c.y && y < flow.baseline && flow.hooks.playAlbum) {
            ZoomCentre(screen);
            flow.hooks.playAlbum(centre);
        }
        return;
    }
    if (x < left)
        MoveToPrevAlbum(screen, false);
    else
        MoveToNextAlbum(screen, false);
}

// ---- Labels, header and buttons ----

namespace {

int32_t U() {
    return std::max(UiScale(), 1);
}

void Label(Surface& label, const Screen& screen, uint32_t colour, std::u16string_view text) {
    if (text.empty() || !RenderText(label, screen, 13 * U(), 400, colour, text,
                                    kTextSingleLine | kTextNoPrefix, 0, 0, 0, kTextBlack))
        ResetSurface(label, false);
}

// Bottom-left play/pause and bottom-right track-list buttons.
void ButtonRects(const Screen& screen, int32_t& playX, int32_t& y, int32_t& playW, int32_t& infoX) {
    const int32_t u = U();
    const Surface& play = g_skin.playFlow;
    playW = int32_t(play.width);
    y = int32_t(screen.height) - 6 * u - int32_t(play.height);
    playX = 6 * u;
    infoX = int32_t(screen.width) - 6 * u - int32_t(g_skin.infoFlow.width);
}

enum Area { kNone = 0, kPlayPause = 1, kInfo = 2, kBar = 3, kBody = 4 };

Area AreaAt(const Screen& screen, int32_t x, int32_t y) {
    int32_t playX, by, playW, infoX;
    ButtonRects(screen, playX, by, playW, infoX);
    const AlbumFlow& flow = g_albumFlow;
    if (g_skin.playFlow.HasPixels() && y >= by && x < playW + 6 * U()) return kPlayPause;
    if (g_skin.infoFlow.HasPixels() && y >= by && x >= infoX) return kInfo;
    if (y >= flow.baseline + int32_t(flow.coverSize) / 4) return kBar;
    return kBody;
}

}  // namespace

void RenderFlowLabels(Screen& screen) {
    AlbumFlow& flow = g_albumFlow;
    const int centre = flow.slots[kFlowCentre];
    if (centre == flow.labelAlbum) return;
    flow.labelAlbum = centre;
    std::u16string name, artist;
    if (Valid(flow, centre) && flow.hooks.caption) flow.hooks.caption(centre, name, artist);
    Label(flow.albumLabel, screen, kTextWhite, name);
    Label(flow.artistLabel, screen, kTextLightGrey, artist);
}

void DrawFlowOverlay(Screen& screen) {
    AlbumFlow& flow = g_albumFlow;
    RenderFlowLabels(screen);
    const int32_t W = int32_t(screen.width), u = U();
    if (g_screenActions.drawStatusBar) g_screenActions.drawStatusBar(screen, 0);
    // The captions stand centred under the row, over the reflections.
    int32_t playX, by, playW, infoX;
    ButtonRects(screen, playX, by, playW, infoX);
    const int32_t ah = int32_t(flow.albumLabel.height), rh = int32_t(flow.artistLabel.height);
    const int32_t top = std::max(flow.baseline + 4 * u, int32_t(screen.height) - 8 * u - ah - rh);
    const int32_t room = std::max(infoX - playW - playX - 8 * u, 0);
    for (const auto& [label, y] : {std::pair<const Surface*, int32_t>{&flow.albumLabel, top},
                                   {&flow.artistLabel, top + ah}}) {
        if (!label->HasPixels()) continue;
        const int32_t w = std::min(int32_t(label->width), room);
        DrawSurface(*label, screen, (W - w) / 2, y, w, 0, 0, 0, BlitKeyed, 32);
    }
    const uint32_t alpha = std::max<uint32_t>(g_statusBar.fade, 1);
    const Surface& play = g_app.paused ? g_skin.playFlow : g_skin.pauseFlow;
    DrawSurface(play, screen, playX, by, 0, 0, 0, 0, BlitCopy, alpha);
    DrawPressedHighlight(screen, flow.pressed == kPlayPause, playX, by, int32_t(play.width),
                         int32_t(play.height), alpha);
    DrawSurface(g_skin.infoFlow, screen, infoX, by, 0, 0, 0, 0, BlitCopy, alpha);
    DrawPressedHighlight(screen, flow.pressed == kInfo, infoX, by, int32_t(g_skin.infoFlow.width),
                         int32_t(g_skin.infoFlow.height), alpha);
}

// ---- The centre track list ----

void FlowListRect(const Screen& screen, int32_t& x, int32_t& y, int32_t& w, int32_t& h) {
    const AlbumFlow& flow = g_albumFlow;
    w = std::min(flow.coverSize, int32_t(screen.width));
    h = flow.coverSize;
    x = (int32_t(screen.width) - w) / 2;
    y = flow.baseline - h;
}

void LoadAlbumTitles(Screen& screen) {
    AlbumFlow& flow = g_albumFlow;
    const int centre = flow.slots[kFlowCentre];
    KRA_LOG("start load af af");
    flow.tracks.clear();
    flow.listScroll = 0;
    flow.listVelocity = 0;
    flow.markedRow = -1;
    flow.listAlbum = centre;
    if (Valid(flow, centre) && flow.hooks.loadTracks) flow.hooks.loadTracks(centre, flow.tracks);
    int n = 0;
    for (FlowTrack& t : flow.tracks) {
        ++n;
        const std::u16string text = Utf8ToUtf16(std::to_string(n) + ". ") + t.title;
        Label(t.label, screen, kTextWhite, text);
        if (t.seconds > 0)
            Label(t.length, screen, kTextLightGrey, FormatDuration(t.seconds));
        else
            ResetSurface(t.length, false);
    }
    flow.rowHeight = 26 * U();
    KRA_LOG("end load af af");
}

namespace {

int32_t MaxListScroll(const Screen& screen) {
    const AlbumFlow& flow = g_albumFlow;
    int32_t x, y, w, h;
    FlowListRect(screen, x, y, w, h);
    return std::max(int32_t(flow.tracks.size()) * flow.rowHeight - h, 0);
}

void ScrollList(const Screen& screen, int32_t by) {
    AlbumFlow& flow = g_albumFlow;
    flow.listScroll = std::clamp(flow.listScroll + by, 0, MaxListScroll(screen));
}

}  // namespace

void DrawFlowList(Screen& screen) {
    AlbumFlow& flow = g_albumFlow;
    int32_t x, y, w, h;
    FlowListRect(screen, x, y, w, h);
    const Brush* previous = SelectBrush(screen, &g_skin.black);
    FillRect(screen, x, y, x + w, y + h, 32, screen.orientation);
    if (previous) SelectBrush(screen, previous);
    const int32_t rowH = flow.rowHeight, u = U();
    if (rowH <= 0) return;
    for (int32_t i = flow.listScroll / rowH; i < int32_t(flow.tracks.size()); ++i) {
        const int32_t top = y + i * rowH - flow.listScroll;
        if (top >= y + h) break;
        const FlowTrack& t = flow.tracks[size_t(i)];
        if (i == flow.markedRow) {
            const Brush* p = SelectBrush(screen, &g_skin.highlightBlue);
            FillRect(screen, x, std::max(top, y), x + w, std::min(top + rowH, y + h), 32,
                     screen.orientation);
            if (p) SelectBrush(screen, p);
        }
        const int32_t ty = top + (rowH - int32_t(t.label.height)) / 2;
        if (ty < y || ty + int32_t(t.label.height) > y + h) continue;
        const int32_t lengthX = x + w - 4 * u - int32_t(t.length.width);
        DrawSurface(t.label, screen, x + 4 * u, ty, std::max(lengthX - x - 10 * u, 0), 0, 0, 0,
                    BlitKeyed, 32);
        DrawSurface(t.length, screen, lengthX, ty, 0, 0, 0, 0, BlitKeyed, 32);
    }
}

void TurnFlowList(Screen& screen) {
    AlbumFlow& flow = g_albumFlow;
    const int centre = flow.slots[kFlowCentre];
    if (!Valid(flow, centre)) return;  // nothing to turn with no albums
    const bool showing = flow.listShown;
    if (!showing && flow.listAlbum != centre) LoadAlbumTitles(screen);
    int32_t lx, ly, lw, lh;
    FlowListRect(screen, lx, ly, lw, lh);
    // The list as an image: its rectangle drawn alone.
    Surface list, whole;
    ClearScreen(screen, 0);
    DrawFlowList(screen);
    if (LoadImage(whole, screen, u"", kScaleNatural, 0, 0) == 1)
        CropSurface(list, whole, uint32_t(lw), uint32_t(lh), uint32_t(lx), uint32_t(ly), 0);
    const Surface& cover = CoverOf(flow, centre);
    const int32_t coverY = flow.albums[size_t(centre)].y;
    TurnHooks hooks;
    // The row without its centre: the turning card stands alone.
    hooks.drawBackground = [](Screen& s) { Compose(s, 0, -1, -1, false); };
    hooks.drawBars = [](Screen& s) {
        if (g_albumFlow.hooks.drawOverlay)
            g_albumFlow.hooks.drawOverlay(s);
        else
            DrawFlowOverlay(s);
    };
    hooks.stopMotion = [] { Stop(kFlowMotionTimer); };
    hooks.startMotion = [] { Start(kFlowMotionTimer, 60); };
    if (showing)
        TurnOver(screen, list, cover, ly, coverY, false, false, 2, true, hooks);
    else
        TurnOver(screen, cover, list, coverY, ly, false, false, 1, true, hooks);
    flow.listShown = !showing;
    flow.markedRow = -1;
    flow.listVelocity = 0;
}

// ---- Covers from the worker ----

int InstallFlowCovers() {
    AlbumFlow& flow = g_albumFlow;
    std::vector<FlowCoverResult> results = TakeFlowCoverResults();
    const std::shared_ptr<AlbumTable> table = FlowCoversTable();
    int installed = 0;
    for (FlowCoverResult& r : results) {
        if (!Valid(flow, r.album) || std::abs(r.album - flow.current) > kFlowCacheRadius) {
            ReleaseFlowCover(r.album);
            continue;
        }
        if (table && size_t(r.album) < table->entries.size()) {
            AlbumEntry& e = table->entries[size_t(r.album)];
            e.albumName = std::move(r.art.album);
            e.artistName = std::move(r.art.artist);
        }
        int evicted = -1;
        Surface& slot = flow.cache.Store(r.album, flow.current, evicted);
        if (r.art.coverLoaded) slot = std::move(r.art.cover);
        if (evicted >= 0 && Valid(flow, evicted)) {
            flow.albums[size_t(evicted)].coverState = 0;
            ReleaseFlowCover(evicted);
        }
        flow.albums[size_t(r.album)].coverState = 1;  // a visible one is warped again
        if (r.album == flow.labelAlbum) flow.labelAlbum = -1;
        ++installed;
    }
    return installed;
}

// ---- Jumps by letter ----

namespace {

char16_t Initial(const std::u16string& text) {
    for (char16_t c : text) {
        if (c == u' ') continue;
        return (c >= u'a' && c <= u'z') ? char16_t(c - u'a' + u'A') : c;
    }
    return 0;
}

}  // namespace

bool JumpToLetter(Screen& screen, char16_t letter) {
    AlbumFlow& flow = g_albumFlow;
    if (flow.count < 1 || !flow.hooks.artistOf) return false;
    if (letter >= u'a' && letter <= u'z') letter = char16_t(letter - u'a' + u'A');
    const std::u16string currentArtist =
        Valid(flow, flow.current) ? flow.hooks.artistOf(flow.current) : std::u16string();
    int target = -1;
    if (Initial(currentArtist) == letter) {
        // On such an artist already: the next artist with the letter, round.
        for (int i = 1; i < flow.count && target < 0; ++i) {
            const int album = (flow.current - 1 + i) % flow.count + 1;
            const std::u16string artist = flow.hooks.artistOf(album);
            if (Initial(artist) == letter && artist != currentArtist) target = album;
        }
    } else {
        // The first album of the letter, else of the nearest letter after it.
        char16_t best = 0;
        for (int album = 1; album <= flow.count; ++album) {
            const char16_t c = Initial(flow.hooks.artistOf(album));
            if (c < letter) continue;
            if (target < 0 || c < best) {
                target = album;
                best = c;
                if (c == letter) break;
            }
        }
    }
    if (target < 0 || target == flow.current) return false;
    flow.current = target;
    flow.offset = 0;
    flow.divisor = 0;
    flow.velocity = 0;
    flow.listShown = false;
    SetFlowCoversCurrent(target);
    FillSlots(flow, screen);
    flow.pageTicks = 0;
    Start(kFlowPageTimer, 45);
    return true;
}

bool FlowKeyDown(uint32_t key) {
    if (key < 'A' || key > 'Z') return false;
    return JumpToLetter(g_screen, char16_t(key));
}

}  // namespace kra

// ---- Touches ----

namespace kra {

namespace {

constexpr int32_t kTapDistance = 12;  // px at base size

int32_t TapDistance() {
    return kTapDistance * std::max(UiScale(), 1);
}

}  // namespace

void FlowPenDown(Screen& screen, int32_t x, int32_t y, uint32_t now) {
    AlbumFlow& flow = g_albumFlow;
    flow.pressed = AreaAt(screen, x, y);
    flow.down = true;
    flow.dragging = false;
    flow.pressX = flow.lastX = x;
    flow.pressY = flow.lastY = y;
    flow.lastTime = now;
    flow.lastSpeed = 0;
    flow.divisor = 0;  // a touch stops a running flick
    flow.velocity = 0;
    flow.listVelocity = 0;
    flow.fast = false;
    if (flow.listShown && flow.rowHeight > 0) {
        int32_t lx, ly, lw, lh;
        FlowListRect(screen, lx, ly, lw, lh);
        flow.markedRow = (x >= lx && x < lx + lw && y >= ly && y < ly + lh)
                             ? (y - ly + flow.listScroll) / flow.rowHeight
                             : -1;
    }
}

void FlowPenMove(Screen& screen, int32_t x, int32_t y, uint32_t now) {
    AlbumFlow& flow = g_albumFlow;
    if (!flow.down || flow.pressed == kPlayPause || flow.pressed == kInfo) return;
    if (flow.listShown) {
        // The list scrolls with the finger; the row stays marked only near the press.
        if (std::abs(flow.pressY - y) >= 5 * std::max(UiScale(), 1)) flow.markedRow = -1;
        ScrollList(screen, flow.lastY - y);
        flow.lastSpeed =
            double(flow.lastY - y) / double(std::max<uint32_t>(now - flow.lastTime, 1));
        flow.lastY = y;
        flow.lastTime = now;
        return;
    }
    if (!flow.dragging && std::abs(x - flow.pressX) < TapDistance()) return;
    flow.dragging = true;
    flow.fast = true;
    const uint32_t dt = std::max<uint32_t>(now - flow.lastTime, 1);
    flow.lastSpeed = double(x - flow.lastX) / double(dt);
    flow.offset += float(x - flow.lastX);
    flow.lastX = x;
    flow.lastTime = now;
    // Past half a spacing the row steps and the finger keeps the rest.
    const float half = float(flow.spacing) / 2;
    if (flow.offset > half && flow.current > 1) {
        MoveToPrevAlbum(screen, true);
        flow.offset = 0;
    } else if (flow.offset < -half && flow.current < flow.count) {
        MoveToNextAlbum(screen, true);
        flow.offset = 0;
    }
    DrawFlow(screen, flow.offset);
}

void FlowPenUp(Screen& screen, int32_t x, int32_t y, uint32_t now) {
    AlbumFlow& flow = g_albumFlow;
    if (!flow.down) return;
    flow.down = false;
    const int pressed = flow.pressed;
    flow.pressed = 0;
    const int32_t marked = flow.markedRow;
    flow.markedRow = -1;
    if (InMinimizeCorner(x, y, int32_t(screen.width), std::max(UiScale(), 1))) {
        if (g_screenActions.minimize) g_screenActions.minimize();
        flow.dragging = false;
        return;
    }
    const bool near =
        std::abs(x - flow.pressX) < TapDistance() && std::abs(y - flow.pressY) < TapDistance();
    const Area at = AreaAt(screen, x, y);
    if (pressed == kPlayPause || pressed == kInfo) {
        if (at == pressed) {
            if (pressed == kPlayPause) {
                if (g_screenActions.togglePause) g_screenActions.togglePause();
            } else {
                TurnFlowList(screen);
            }
        }
        return;
    }
    if (pressed == kBar && near) {
        // A double tap on the bottom bar leaves the view.
        const int32_t d = 40 * std::max(UiScale(), 1);
        if (flow.hasBarTap && now - flow.lastBarTap < 500 && std::abs(x - flow.pressX) < d) {
            flow.hasBarTap = false;
            if (flow.hooks.leave) flow.hooks.leave();
            return;
        }
        flow.hasBarTap = true;
        flow.lastBarTap = now;
        return;
    }
    if (flow.listShown) {
        if (near) {
            int32_t lx, ly, lw, lh;
            FlowListRect(screen, lx, ly, lw, lh);
            const bool inList = x >= lx && x < lx + lw && y >= ly && y < ly + lh;
            if (inList && marked >= 0 && marked < int32_t(flow.tracks.size())) {
                if (flow.hooks.playSong)
                    flow.hooks.playSong(flow.listAlbum, flow.tracks[size_t(marked)].path);
            } else if (!inList) {
                FlowTap(screen, x, y);
            }
        } else if (now - flow.lastTime < 100 && std::fabs(flow.lastSpeed) >= 0.2) {
            flow.listVelocity = flow.lastSpeed;  // the motion tick carries it on
        }
        return;
    }
    if (!flow.dragging) {
        KRA_LOG("reset X %f %f %d", double(flow.offset), flow.lastSpeed, flow.current);
        FlowTap(screen, x, y);
        return;
    }
    flow.dragging = false;
    const bool moving = now - flow.lastTime < 100 && std::fabs(flow.lastSpeed) >= 0.2;
    if (moving) {
        flow.velocity = flow.lastSpeed;
        flow.divisor = 1;
        flow.fast = true;
        return;  // the motion tick carries it on
    }
    // At rest: no momentum.
    KRA_LOG("reset X %f %f %d", double(flow.offset), flow.lastSpeed, flow.current);
    flow.fast = false;
    const float quarter = float(flow.spacing) / 4;
    if (flow.offset > quarter && flow.current > 1)
        SnapFlow(screen, 1);
    else if (flow.offset < -quarter && flow.current < flow.count)
        SnapFlow(screen, 2);
    // Otherwise the motion tick relaxes the offset back to rest.
}

}  // namespace kra

// ---- Screen 5 in the player ----

namespace kra {

namespace {

void ScreenCompose(Screen& screen, uint32_t) {
    ComposeFlow(screen, g_albumFlow.offset);
}
void ScreenPenDown(int32_t x, int32_t y, uint32_t now) {
    FlowPenDown(g_screen, x, y, now);
}
void ScreenPenMove(int32_t x, int32_t y, uint32_t now) {
    FlowPenMove(g_screen, x, y, now);
}
void ScreenPenUp(int32_t x, int32_t y, uint32_t now) {
    FlowPenUp(g_screen, x, y, now);
}
void RebindLibrary();
void ScreenTick(uint32_t) {
    // A rebuilt album table (a scan, a shuffle of all songs) while shown.
    if (g_library.albums != FlowCoversTable()) RebindLibrary();
    InstallFlowCovers();
    if (!g_albumFlow.down) FlowMotion(g_screen);
}
// The row stays on the motion tick while the view is shown.
bool ScreenAnimating() {
    return g_app.screen == kScreenAlbumFlow;
}

std::u16string_view Folder(int album) {
    const std::shared_ptr<AlbumTable>& table = g_library.albums;
    if (!table || album < 1 || size_t(album) >= table->entries.size()) return {};
    return table->entries[size_t(album)].folder;
}

// The cover of an album in the foreground, at the flow's size.
void LoadCover(int album, Surface& cover) {
    const std::u16string folder(Folder(album));
    if (folder.empty()) return;
    ArtOptions options = AlbumArtOptions();
    options.coverSize = uint32_t(std::max(g_albumFlow.coverSize, 1));
    options.layout = g_screen.layout;
    AlbumArt art;
    LoadAlbumArt(folder, false, options, art);
    if (g_library.albums && size_t(album) < g_library.albums->entries.size()) {
        AlbumEntry& e = g_library.albums->entries[size_t(album)];
        e.albumName = std::move(art.album);
        e.artistName = std::move(art.artist);
    }
    if (art.coverLoaded) cover = std::move(art.cover);
}

// The artist is the first folder level below the music folder.
std::u16string ArtistOf(int album) {
    std::u16string_view rel = AlbumRelativePath(g_library.root, Folder(album));
    while (!rel.empty() && rel.front() == u'\\') rel.remove_prefix(1);
    const size_t cut = rel.find(u'\\');
    return std::u16string(cut == std::u16string_view::npos ? rel : rel.substr(0, cut));
}

void Caption(int album, std::u16string& name, std::u16string& artist) {
    const std::shared_ptr<AlbumTable>& table = g_library.albums;
    if (table && size_t(album) < table->entries.size()) {
        name = table->entries[size_t(album)].albumName;
        artist = table->entries[size_t(album)].artistName;
    }
    if (name.empty()) name = std::u16string(FileNamePart(Folder(album)));
    if (artist.empty()) artist = ArtistOf(album);
}

// The album's songs, in library order, with their titles from the folder's
// title cache.
void LoadTracks(int album, std::vector<FlowTrack>& tracks) {
    const std::u16string folder(Folder(album));
    if (folder.empty()) return;
    if (!platform::FileExists(TagCachePath(folder))) KRA_LOG("no af cache");
    for (size_t i = 0; i < g_library.browse.size(); ++i) {
        const std::u16string_view path = g_library.browse[i];
        if (FolderPart(path) == folder)
            tracks.push_back(FlowTrack{std::u16string(path), {}, 0, {}, {}});
    }
    const std::vector<TitleEntry> titles = LoadAlbumTitleEntries(folder);
    for (size_t i = 0; i < tracks.size(); ++i) {
        if (i < titles.size() && !titles[i].title.empty()) {
            tracks[i].title = titles[i].title;
            tracks[i].seconds = titles[i].duration;
        } else {
            tracks[i].title = std::u16string(FileNamePart(tracks[i].path));
        }
    }
}

// The album's songs become the play list and `path` (or the first) plays.
void PlayAlbumSong(int album, const std::u16string& path) {
    const std::u16string folder(Folder(album));
    if (folder.empty()) return;
    ListContent view;
    size_t line = 0;
    for (size_t i = 0; i < g_library.browse.size(); ++i) {
        const std::u16string_view p = g_library.browse[i];
        if (FolderPart(p) != folder) continue;
        if (p == path) line = view.size();
        view.AddLine(p, FileNamePart(p));
    }
    if (view.empty()) return;
    LeaveAlbumFlowScreen();
    TapAlbumSongsLine(view, line);
}

void ArtOptionsForFlow(ArtOptions& options) {
    options = AlbumArtOptions();
    options.coverSize = uint32_t(std::max(g_albumFlow.coverSize, 1));
    options.layout = g_screen.layout;
}

void ScreenEnter(uint32_t) {
    AlbumFlow& flow = g_albumFlow;
    if (g_settings.noAlbumFlow) {
        // Switched off: the screen stays what it was.
        ShowScreen(kScreenNowPlaying, false);
        return;
    }
    const std::shared_ptr<AlbumTable> table = g_library.albums;
    const int count = table ? std::clamp<int>(table->albumCount, 0,
                                              std::max<int>(int(table->entries.size()) - 1, 0))
                            : 0;
    const int u = std::max(UiScale(), 1);
    // The row is laid out for the landscape screen it will stand on.
    const int32_t w = int32_t(std::max(g_screen.width, g_screen.height));
    const int32_t h = int32_t(std::min(g_screen.width, g_screen.height));
    const int32_t bottom = std::max<int32_t>(g_skin.playFlow.height + 12 * u, 56 * u);
    const int keep = flow.current;
    if (FlowCoversTable() != table || flow.count != count ||
        flow.albums.size() != size_t(count) + 1 || flow.topBar != 20 * u) {
        SetupAlbumFlow(flow, w, h, 20 * u, bottom, u, count);
    }
    // The album on entry: the playing song's, else the one shown before.
    flow.current = keep;
    const std::u16string_view playingFolder = FolderPart(g_queue.currentPath);
    if (table && !playingFolder.empty()) {
        for (int i = 1; i <= count; ++i)
            if (table->entries[size_t(i)].folder == playingFolder) flow.current = i;
    }
    ArtOptions options;
    ArtOptionsForFlow(options);
    AttachFlowCovers(table, count, options);
    flow.hooks.loadCover = &LoadCover;
    flow.hooks.caption = &Caption;
    flow.hooks.artistOf = &ArtistOf;
    flow.hooks.loadTracks = &LoadTracks;
    flow.hooks.playAlbum = [](int album) { PlayAlbumSong(album, {}); };
    flow.hooks.playSong = &PlayAlbumSong;
    flow.hooks.leave = [] { LeaveAlbumFlowScreen(); };
    flow.hooks.turnDisplay = [](int orientation) {
        platform::SetDisplayOrientation(orientation);
        g_app.deviceOrientation = uint8_t(orientation);
        g_app.drawingOrientation = uint8_t(orientation);
    };
    flow.hooks.startTimer = [](uint32_t id, uint32_t ms) { platform::SetTimer(id, ms); };
    flow.hooks.stopTimer = [](uint32_t id) { platform::KillTimer(id); };
    flow.hooks.wakeWorker = [] { WakeFlowCovers(); };
    int orientation = g_app.deviceOrientation;
    if (orientation != kOrientation90 && orientation != kOrientation270)
        orientation = kOrientation90;
    EnterAlbumFlow(g_screen, orientation);
    g_app.drawingOrientation = uint8_t(orientation);
}

// A new table: the row starts again on it, the covers of the old one gone.
void RebindLibrary() {
    AlbumFlow& flow = g_albumFlow;
    const std::shared_ptr<AlbumTable> table = g_library.albums;
    const int count = table ? std::clamp<int>(table->albumCount, 0,
                                              std::max<int>(int(table->entries.size()) - 1, 0))
                            : 0;
    const int u = std::max(UiScale(), 1);
    const int keep = flow.current;
    SetupAlbumFlow(flow, int32_t(g_screen.width), int32_t(g_screen.height), flow.topBar,
                   int32_t(g_screen.height) - flow.baseline, u, count);
    flow.current = std::clamp(keep, 1, std::max(count, 1));
    ArtOptions options;
    ArtOptionsForFlow(options);
    AttachFlowCovers(table, count, options);
    SetFlowCoversCurrent(flow.current);
    FillSlots(flow, g_screen);
    WakeFlowCovers();
}

// Every 45 ms after entry and after each step: the second tick wakes the
// worker, so it follows the row.
void PageTick() {
    InstallFlowCovers();
    OnFlowPageTimer();
}

// Turning the display: landscape on the now-playing screen enters the view,
// portrait in the view leaves it.
void (*g_previousLayoutForOrientation)(uint8_t) = nullptr;
void LayoutForOrientation(uint8_t orientation) {
    const uint8_t device = g_app.deviceOrientation;
    const bool landscape = device == kOrientation90 || device == kOrientation270;
    if (g_app.screen == kScreenAlbumFlow && !landscape) {
        LeaveAlbumFlowScreen();
        return;
    }
    if (g_app.screen == kScreenNowPlaying && landscape && !g_settings.noAlbumFlow) {
        ShowScreen(kScreenAlbumFlow, true);
        return;
    }
    if (g_previousLayoutForOrientation) g_previousLayoutForOrientation(orientation);
}

bool KeyDown(uint32_t key) {
    return FlowKeyDown(key);
}

}  // namespace

void LeaveAlbumFlowScreen() {
    AlbumFlow& flow = g_albumFlow;
    platform::KillTimer(kFlowPageTimer);
    flow.down = flow.dragging = flow.fast = false;
    flow.divisor = 0;
    flow.listShown = false;
    if (g_screen.orientation != kOrientation0) {
        SetOrientation(g_screen, kOrientation0);
        platform::SetDisplayOrientation(kOrientation0);
    }
    g_app.deviceOrientation = 0;
    g_app.drawingOrientation = 0;
    if (g_hooks.layoutScreens) g_hooks.layoutScreens();
    if (g_app.screen == kScreenAlbumFlow) ShowScreen(kScreenNowPlaying, false);
}

void InstallAlbumFlowScreen() {
    ScreenHandlers h;
    h.compose = &ScreenCompose;
    h.penDown = &ScreenPenDown;
    h.penMove = &ScreenPenMove;
    h.penUp = &ScreenPenUp;
    h.tick = &ScreenTick;
    h.animating = &ScreenAnimating;
    h.enter = &ScreenEnter;
    h.keyDown = &KeyDown;
    RegisterScreen(kScreenAlbumFlow, h);
    g_hooks.albumFlowTick = &PageTick;
    // The worker keeps a bounded cache around the row instead of every cover.
    g_hooks.artCacheWork = &FlowCoverWork;
    if (g_hooks.layoutForOrientation != &LayoutForOrientation) {
        g_previousLayoutForOrientation = g_hooks.layoutForOrientation;
        g_hooks.layoutForOrientation = &LayoutForOrientation;
    }
}

}  // namespace kra
