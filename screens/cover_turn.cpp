#include "screens/cover_turn.h"

#include <algorithm>

#include "graphics/blit.h"
#include "platform/clock.h"

namespace kra {

std::function<void(Screen&, int frame)> g_turnFrameObserver;

namespace {

constexpr uint32_t kReflectionAlpha = 20;
constexpr uint32_t kFlowFill = 0x10101010;

struct Pacer {
    uint32_t last = platform::TickCount();
    void Show(Screen& screen, bool paced) {
        if (paced) {
            const uint32_t elapsed = platform::TickCount() - last;
            if (elapsed < kTurnFramePeriodMs) platform::Sleep(kTurnFramePeriodMs - elapsed);
        }
        Present(screen);
        last = platform::TickCount();
    }
};

// Copies the part of `image` that takes part in the turn.
int32_t PrepareCopy(Surface& copy, const Screen& screen, const Surface& image, int32_t y) {
    ResetSurface(copy, true);
    if (!image.HasPixels()) return y;
    const TurnCut cut = TurnCutRows(image.height, y, screen.height);
    if (cut.count == 0) return cut.drawY;
    CropSurface(copy, image, image.width, cut.count, 0, cut.start, 0);
    return cut.drawY;
}

void DrawScaled(Screen& screen, const Surface& image, uint32_t w, uint32_t h, int32_t y,
                bool reflection, Surface& scratch, Surface& mirror) {
    if (!image.HasPixels() || w == 0 || h == 0) return;
    if (!ScaleSurface(scratch, screen, image, w, h, false, false) || !scratch.HasPixels()) return;
    const int32_t x = (int32_t(screen.width) - int32_t(scratch.width)) / 2;
    DrawSurface(scratch, screen, x, y, int32_t(scratch.width), int32_t(scratch.height), 0, 0,
                BlitCopy, 32);
    if (reflection && MakeReflection(mirror, scratch, scratch.height / 2) && mirror.HasPixels())
        DrawSurface(mirror, screen, x, y + int32_t(scratch.height), int32_t(mirror.width),
                    int32_t(mirror.height), 0, 0, BlitBlend, kReflectionAlpha);
}

}  // namespace

TurnCut TurnCutRows(uint32_t height, int32_t y, uint32_t screenHeight) {
    TurnCut cut;
    const uint32_t most = screenHeight + screenHeight / 8;
    if (y < 0) {
        const uint32_t start = uint32_t(-int64_t(y) > 0xFFFFFFFFll ? 0xFFFFFFFFu : uint32_t(-y));
        cut.start = std::min(start, height);
        cut.count = std::min(height - cut.start, most);
        cut.drawY = 0;
    } else {
        cut.count = std::min(height, most);
        cut.drawY = y;
    }
    return cut;
}

WarpCorners TurnCorners(uint32_t w, uint32_t h, int frame, int side, bool turningIn,
                        int32_t& width) {
    const int32_t W = int32_t(w), H = int32_t(h), k = std::clamp(frame, 0, kTurnFrames - 1);
    int32_t inset;
    if (turningIn) {
        width = (k + 1) * (W / 8);
        inset = H / 4 - k * (H / 32);
    } else {
        width = W - (k + 1) * (W / 8);
        inset = (k + 1) * (H / 32);
    }
    width = std::clamp(width, 0, W);
    inset = std::clamp(inset, 0, H / 2);
    WarpCorners c{};
    if (side == 2) {  // right edge fixed, the moving edge is the left one
        c = {0, inset, width, 0, 0, H - inset, width, H};
    } else {  // left edge fixed
        c = {0, 0, width, inset, 0, H, width, H - inset};
    }
    return c;
}

int TurnOver(Screen& screen, const Surface& front, const Surface& back, int32_t frontY,
             int32_t backY, bool frontReflection, bool backReflection, int side, bool flowMode,
             const TurnHooks& hooks) {
    if (screen.backBuffer == nullptr) return 0;
    if (side != 2) side = 1;
    const int32_t W = int32_t(screen.width);

    // 1. Scratch copies, cut to the visible part.
    Surface frontCopy, backCopy, scratch, mirror, warped, background;
    int32_t fy = PrepareCopy(frontCopy, screen, front, frontY);
    int32_t by = PrepareCopy(backCopy, screen, back, backY);

    // 2. Background.
    if (flowMode && hooks.drawBackground)
        hooks.drawBackground(screen);
    else
        ClearScreen(screen, 0);
    LoadImage(background, screen, u"", kScaleNatural, 0, 0);
    if (hooks.stopMotion) hooks.stopMotion();

    Pacer pacer;
    int frame = 0;
    auto finish = [&](bool paced) {
        if (hooks.drawBars) hooks.drawBars(screen);
        ++frame;
        if (hooks.onFrame) hooks.onFrame(screen, frame);
        if (g_turnFrameObserver) g_turnFrameObserver(screen, frame);
        pacer.Show(screen, paced);
    };
    auto putBackground = [&] {
        if (flowMode)
            CopyDimmed(background, screen, 32);
        else
            ClearScreen(screen, 0);
    };

    // 3. Lift.
    const uint32_t fw0 = frontCopy.width, fh0 = frontCopy.height;
    for (int k = 1; k <= kTurnLiftFrames; ++k) {
        CopyDimmed(background, screen, 32);
        DrawScaled(screen, frontCopy, fw0 - k * (fw0 / 32), fh0 - k * (fh0 / 32),
                   fy + k * int32_t(fh0 / 64), frontReflection, scratch, mirror);
        finish(false);
    }
    const uint32_t fw = fw0 - kTurnLiftFrames * (fw0 / 32);
    const uint32_t fh = fh0 - kTurnLiftFrames * (fh0 / 32);
    fy += kTurnLiftFrames * int32_t(fh0 / 64);
    if (frontCopy.HasPixels() && fw > 0 && fh > 0)
        ScaleSurface(scratch, screen, frontCopy, fw, fh, false, false);
    else
        ResetSurface(scratch, false);

    const uint32_t warpFill = flowMode ? kFlowFill : 0;
    auto drawTurn = [&](const Surface& image, uint32_t w, uint32_t h, int32_t y, int k,
                        bool turningIn) {
        if (!image.HasPixels() || w == 0 || h == 0) return;
        int32_t width = 0;
        const WarpCorners c = TurnCorners(w, h, k, side, turningIn, width);
        if (width <= 0) return;
        if (!WarpSurface(warped, screen, image, c, warpFill, false, false) || !warped.HasPixels())
            return;
        const int32_t left = (W - int32_t(w)) / 2;
        const int32_t x = side == 2 ? left + int32_t(w) - int32_t(warped.width) : left;
        DrawSurface(warped, screen, x, y, int32_t(warped.width), int32_t(warped.height), 0, 0,
                    flowMode ? BlitKeyed : BlitCopy, 32);
    };

    // 4. Turn away.
    for (int k = 0; k < kTurnFrames; ++k) {
        putBackground();
        drawTurn(scratch, fw, fh, fy, k, false);
        finish(true);
    }

    // 5. The screen's flag flips half way.
    if (!flowMode && hooks.listShown) *hooks.listShown = !*hooks.listShown;

    // 6. Turn in, from 15/16 of the back's size.
    const uint32_t bw0 = backCopy.width, bh0 = backCopy.height;
    const uint32_t bw = bw0 * 15 / 16, bh = bh0 * 15 / 16;
    const int32_t settleRise = int32_t(bh0 / 64);
    if (backCopy.HasPixels() && bw > 0 && bh > 0)
        ScaleSurface(scratch, screen, backCopy, bw, bh, false, false);
    else
        ResetSurface(scratch, false);
    for (int k = 0; k < kTurnFrames; ++k) {
        putBackground();
        drawTurn(scratch, bw, bh, by + kTurnSettleFrames * settleRise, k, true);
        finish(true);
    }

    // 7. Settle: grow by 1/32 a frame up to the full size at its place.
    for (int k = 1; k <= kTurnSettleFrames; ++k) {
        CopyDimmed(background, screen, 32);
        const bool last = k == kTurnSettleFrames;
        DrawScaled(screen, backCopy, last ? bw0 : bw + k * (bw0 / 32),
                   last ? bh0 : bh + k * (bh0 / 32), by + (kTurnSettleFrames - k) * settleRise,
                   backReflection, scratch, mirror);
        finish(false);
    }

    // 8.
    if (hooks.startMotion) hooks.startMotion();
    return 1;
}

}  // namespace kra
