#include "screens/album_flow.h"

#include <algorithm>
#include <cmath>

#include "app/base/app_state.h"
#include "app/base/debug_log.h"
#include "app/base/hooks.h"
#include "app/base/settings.h"
#include "graphics/blit.h"
#include "library/library.h"
#include "media/album_art_cache.h"
#include "platform/clock.h"
#include "platform/message_loop.h"
#include "screens/screen_router.h"

namespace kra {

AlbumFlow g_albumFlow;

namespace {

// The album's own cover, else the default cover.
const Surface& CoverOf(const AlbumFlow& flow, int album) {
    static const Surface none;
    const Surface& own = flow.albums[size_t(album)].cover;
    if (own.HasPixels()) return own;
    return flow.defaultCover ? *flow.defaultCover : none;
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
// except the two that take part in a turn; then the overlay.
void Compose(Screen& screen, float offset, int turningA = -1, int turningB = -1) {
    AlbumFlow& flow = g_albumFlow;
    ClearScreen(screen, 0);
    for (int slot : {0, 6, 1, 5, 2, 4, 3}) {
        const int album = flow.slots[size_t(slot)];
        if (!Valid(flow, album)) continue;
        const bool turning = album == turningA || album == turningB;
        Blit(screen, flow.albums[size_t(album)], turning ? 0.0f : offset);
    }
    if (flow.hooks.drawOverlay) flow.hooks.drawOverlay(screen);
}

void EnsureLoaded(AlbumFlow& flow, int album) {
    FlowAlbum& a = flow.albums[size_t(album)];
    if (a.coverState != 0) return;
    if (flow.hooks.loadCover) flow.hooks.loadCover(album, a.cover);
    a.coverState = 1;
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
    FillSlots(flow, screen);
    flow.pageTicks = 0;
    Start(kFlowPageTimer, 45);
    Start(kFlowMotionTimer, 60);
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
    flow.baseline = std::max(h - bottomBar, topBar + 1);
    // The covers stand between the top bar and the baseline; the reflections
    // fall into the bottom bar.
    const int32_t room = flow.baseline - topBar - 4 * std::max(uiScale, 1);
    flow.coverSize = std::max<int32_t>(std::min(room, w / 2), 1);
    flow.spacing = FlowSpacing(flow.coverSize, uiScale);
}

int32_t SlotX(const AlbumFlow& flow, int32_t W, int slot, int32_t iw) {
    const int32_t s = flow.spacing;
    switch (slot) {
        case kFlowCentre:
            return (W - iw) / 2;
        case 2:
            return (s - iw) / 2;
        case 1:
            return (s - iw) / 2 - s / 2;
        case 0:
            return (s - iw) / 2 - s;
        case 4:
            return W - s + (s - iw) / 2;
        case 5:
            return W - s + (s - iw) / 2 + s / 2;
        default:
            return W - s + (s - iw) / 2 + s;
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
    if (cover.HasPixels() && cover.width >= 10 && cover.height >= 32) {
        const WarpCorners c = CoverCorners(int32_t(cover.width), int32_t(cover.height), step, side);
        WarpSurface(a.flowImage, screen, cover, c, kFlowFill, true, false);
    }
    a.y = flow.baseline - int32_t(cover.height);
    a.coverState = 2;
}

void FillSlots(AlbumFlow& flow, const Screen& screen) {
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

bool FlowMotion(Screen& screen) {
    AlbumFlow& flow = g_albumFlow;
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
    // A row pulled past half a spacing steps; at the ends it springs back.
    const float half = float(flow.spacing) / 2;
    if (flow.offset > half && Valid(flow, flow.current - 1)) {
        const bool flicking = flow.divisor != 0;
        MoveToPrevAlbum(screen, flicking);
        return false;
    }
    if (flow.offset < -half && Valid(flow, flow.current + 1)) {
        const bool flicking = flow.divisor != 0;
        MoveToNextAlbum(screen, flicking);
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
}

bool EnterAlbumFlow(Screen& screen, int orientation) {
    (void)orientation;
    if (g_settings.noAlbumFlow) return false;
    AlbumFlow& flow = g_albumFlow;
    Stop(kFlowMotionTimer);
    flow.offset = 0;
    flow.velocity = 0;
    flow.divisor = 0;
    flow.current = std::clamp(flow.current, 1, std::max(flow.count, 1));
    FillSlots(flow, screen);
    flow.pageTicks = 0;
    Start(kFlowMotionTimer, 60);
    Start(kFlowPageTimer, 45);
    return true;
}

void FlowTap(Screen& screen, int32_t x, int32_t y) {
    AlbumFlow& flow = g_albumFlow;
    const int centre = flow.slots[kFlowCentre];
    if (!Valid(flow, centre)) return;
    const FlowAlbum& c = flow.albums[size_t(centre)];
    const int32_t left = c.x, right = int32_t(screen.width) - c.x;
    if (x >= left && x < right) {
        if (y >= c.y && y < flow.baseline && flow.hooks.playAlbum) flow.hooks.playAlbum(centre);
        return;
    }
    if (x < left)
        MoveToPrevAlbum(screen, false);
    else
        MoveToNextAlbum(screen, false);
}

}  // namespace kra

namespace kra {

namespace {

constexpr int32_t kTapDistance = 12;  // px at base size

int32_t TapDistance() {
    return kTapDistance * std::max(UiScale(), 1);
}

}  // namespace

void FlowPenDown(Screen&, int32_t x, int32_t y, uint32_t now) {
    AlbumFlow& flow = g_albumFlow;
    flow.down = true;
    flow.dragging = false;
    flow.pressX = flow.lastX = x;
    flow.pressY = y;
    flow.lastTime = now;
    flow.lastSpeed = 0;
    flow.divisor = 0;  // a touch stops a running flick
    flow.velocity = 0;
}

void FlowPenMove(Screen& screen, int32_t x, int32_t, uint32_t now) {
    AlbumFlow& flow = g_albumFlow;
    if (!flow.down) return;
    if (!flow.dragging && std::abs(x - flow.pressX) < TapDistance()) return;
    flow.dragging = true;
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
    KRA_LOG("reset X %f %f %d", double(flow.offset), flow.lastSpeed, flow.current);
    DrawFlow(screen, flow.offset);
}

void FlowPenUp(Screen& screen, int32_t x, int32_t y, uint32_t now) {
    AlbumFlow& flow = g_albumFlow;
    if (!flow.down) return;
    flow.down = false;
    if (!flow.dragging) {
        FlowTap(screen, x, y);
        return;
    }
    flow.dragging = false;
    const bool moving = now - flow.lastTime < 100 && std::fabs(flow.lastSpeed) >= 0.2;
    if (moving) {
        flow.velocity = flow.lastSpeed;
        flow.divisor = 1;
        return;  // the motion tick carries it on
    }
    const float half = float(flow.spacing) / 4;
    if (flow.offset > half && flow.current > 1)
        SnapFlow(screen, 1);
    else if (flow.offset < -half && flow.current < flow.count)
        SnapFlow(screen, 2);
    // Otherwise the motion tick relaxes the offset back to rest.
}

}  // namespace kra

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
void ScreenTick(uint32_t) {
    if (!g_albumFlow.down) FlowMotion(g_screen);
}
// The row stays on the motion tick while the view is shown.
bool ScreenAnimating() {
    return g_app.screen == kScreenAlbumFlow;
}

void LoadCover(int album, Surface& cover) {
    const std::shared_ptr<AlbumTable> table = g_library.albums;
    if (!table) return;
    AttachAlbumTable(table);
    LoadAlbumEntry(table, album);
    const Surface* loaded = AlbumCover(album);
    if (loaded && loaded->HasPixels())
        CropSurface(cover, *loaded, loaded->width, loaded->height, 0, 0, 0);
}

void ScreenEnter(uint32_t) {
    AlbumFlow& flow = g_albumFlow;
    const std::shared_ptr<AlbumTable> table = g_library.albums;
    const int count = table ? std::clamp<int>(table->albumCount, 0,
                                              std::max<int>(int(table->entries.size()) - 1, 0))
                            : 0;
    const int keep = flow.current;
    const int u = std::max(UiScale(), 1);
    SetupAlbumFlow(flow, int32_t(g_screen.width), int32_t(g_screen.height), 32 * u,
                   std::max(g_app.controlBarHeight, 0), u, count);
    flow.current = keep;
    flow.hooks.loadCover = &LoadCover;
    flow.hooks.startTimer = [](uint32_t id, uint32_t ms) { platform::SetTimer(id, ms); };
    flow.hooks.stopTimer = [](uint32_t id) { platform::KillTimer(id); };
    flow.hooks.wakeWorker = [] {
        if (g_library.albums) WakeArtCacheWorker(g_library.albums);
    };
    EnterAlbumFlow(g_screen, g_screen.orientation);
}

void PageTick() {
    OnFlowPageTimer();
}

}  // namespace

void InstallAlbumFlowScreen() {
    ScreenHandlers h;
    h.compose = &ScreenCompose;
    h.penDown = &ScreenPenDown;
    h.penMove = &ScreenPenMove;
    h.penUp = &ScreenPenUp;
    h.tick = &ScreenTick;
    h.animating = &ScreenAnimating;
    h.enter = &ScreenEnter;
    RegisterScreen(kScreenAlbumFlow, h);
    g_hooks.albumFlowTick = &PageTick;
}

}  // namespace kra
