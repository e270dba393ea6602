// The SDL2 window: SDL's events are read on the main thread while the
// message loop is idle, and a post from another thread wakes that wait with
// a user event. Frames go into a streaming texture of their own pixel
// format (one copy) and are drawn turned by the display orientation.
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>

#include "platform/clock.h"
#include "platform/message_loop_internal.h"
#include "platform/window_internal.h"

namespace kra::platform {

namespace {

struct Sdl {
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    int textureWidth = 0, textureHeight = 0;
    PixelFormat textureFormat = PixelFormat::kRgb565;
    bool fullscreen = false;
    double scale = 1.0;  // window pixels per panel pixel
    uint32_t wakeEvent = 0;
    std::atomic<bool> wakePending{false};
    // Where the frame is drawn in the window (after turning).
    SDL_Rect shown{};
};

Sdl* g_sdl = nullptr;

}  // namespace

// Media keys as SDL 2 has them: SDLK_AUDIOPLAY comes from both the play/pause
// key and a headset's play key (KEY_PLAYPAUSE, and KEY_PLAYCD under X11),
// so it is the toggle; a headset's pause key (KEY_PAUSECD) has no SDL 2 key
// at all and reaches the player through the MPRIS server instead.
uint32_t SdlKeyToVirtualKey(int32_t key) {
    if (key >= SDLK_a && key <= SDLK_z) return uint32_t('A' + (key - SDLK_a));
    if (key >= SDLK_0 && key <= SDLK_9) return uint32_t('0' + (key - SDLK_0));
    if (key >= SDLK_F1 && key <= SDLK_F12) return uint32_t(0x70 + (key - SDLK_F1));
    switch (key) {
        case SDLK_LEFT:
            return 0x25;
        case SDLK_UP:
            return 0x26;
        case SDLK_RIGHT:
            return 0x27;
        case SDLK_DOWN:
            return 0x28;
        case SDLK_RETURN:
        case SDLK_KP_ENTER:
            return 0x0D;
        case SDLK_ESCAPE:
            return 0x1B;
        case SDLK_BACKSPACE:
            return 0x08;
        case SDLK_TAB:
            return 0x09;
        case SDLK_SPACE:
            return 0x20;
        case SDLK_PAGEUP:
            return 0x21;
        case SDLK_PAGEDOWN:
            return 0x22;
        case SDLK_END:
            return 0x23;
        case SDLK_HOME:
            return 0x24;
        case SDLK_INSERT:
            return 0x2D;
        case SDLK_DELETE:
            return 0x2E;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT:
            return 0x10;
        case SDLK_LCTRL:
        case SDLK_RCTRL:
            return 0x11;
        case SDLK_LALT:
        case SDLK_RALT:
            return 0x12;
        case SDLK_LGUI:
            return 0x5B;
        case SDLK_RGUI:
            return 0x5C;
        case SDLK_APPLICATION:
        case SDLK_MENU:
            return 0xC3;  // the phone's App key
        case SDLK_AUDIOPLAY:
            return 0xB3;
        case SDLK_AUDIONEXT:
            return 0xB0;
        case SDLK_AUDIOPREV:
            return 0xB1;
        case SDLK_AUDIOSTOP:
            return 0xB2;
        case SDLK_VOLUMEUP:
            return 0xAF;
        case SDLK_VOLUMEDOWN:
            return 0xAE;
        case SDLK_AUDIOMUTE:
        case SDLK_MUTE:
            return 0xAD;
        default:
            return 0;
    }
}

namespace {

void LayOut() {
    int ow = 0, oh = 0;
    SDL_GetRendererOutputSize(g_sdl->renderer, &ow, &oh);
    int lw, lh;
    LogicalSize(&lw, &lh);
    const double scale = std::min(double(ow) / lw, double(oh) / lh);
    const int sw = std::max(1, int(std::lround(lw * scale)));
    const int sh = std::max(1, int(std::lround(lh * scale)));
    g_sdl->shown = {(ow - sw) / 2, (oh - sh) / 2, sw, sh};
}

void Redraw() {
    SDL_SetRenderDrawColor(g_sdl->renderer, 0, 0, 0, 255);
    SDL_RenderClear(g_sdl->renderer);
    if (g_sdl->texture) {
        const SDL_Rect& s = g_sdl->shown;
        const int turns = QuarterTurns(GetDisplayOrientation());
        // RenderCopyEx turns the target rectangle about its centre, so a
        // quarter turn needs the rectangle with its sides exchanged.
        SDL_Rect target = s;
        if (turns % 2 == 1) {
            target = {s.x + (s.w - s.h) / 2, s.y + (s.h - s.w) / 2, s.h, s.w};
        }
        SDL_RenderCopyEx(g_sdl->renderer, g_sdl->texture, nullptr, &target, 90.0 * turns, nullptr,
                         SDL_FLIP_NONE);
    }
    SDL_RenderPresent(g_sdl->renderer);
}

void SizeWindowForOrientation() {
    if (g_sdl->fullscreen) return;
    int lw, lh;
    LogicalSize(&lw, &lh);
    SDL_SetWindowSize(g_sdl->window, int(lw * g_sdl->scale), int(lh * g_sdl->scale));
}

void OnPointer(PenAction action, int wx, int wy) {
    const SDL_Rect& s = g_sdl->shown;
    int lw, lh;
    LogicalSize(&lw, &lh);
    const int x = int(int64_t(wx - s.x) * lw / std::max(1, s.w));
    const int y = int(int64_t(wy - s.y) * lh / std::max(1, s.h));
    ReportPen(action, x, y);
}

void OnWindowEvent(const SDL_WindowEvent& e) {
    switch (e.event) {
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            ReportFocus(true);
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            ReportFocus(false);
            break;
        case SDL_WINDOWEVENT_CLOSE:
            ReportClose();
            break;
        case SDL_WINDOWEVENT_SIZE_CHANGED: {
            // Pulling the window into landscape (or back) turns the display.
            int lw, lh;
            LogicalSize(&lw, &lh);
            const bool turned = GetDisplayOrientation() == 1 || GetDisplayOrientation() == 4;
            if (!g_sdl->fullscreen && lw != lh && e.data1 != e.data2 &&
                (e.data1 > e.data2) != (lw > lh)) {
                ReportRotation(turned ? 0 : 1);
            }
            LayOut();
            Redraw();
            break;
        }
        case SDL_WINDOWEVENT_EXPOSED:
            Redraw();
            break;
        default:
            break;
    }
}

void OnEvent(const SDL_Event& e) {
    switch (e.type) {
        case SDL_QUIT:
            ReportClose();
            break;  // SIGINT, SIGTERM
        case SDL_WINDOWEVENT:
            OnWindowEvent(e.window);
            break;
        case SDL_MOUSEBUTTONDOWN:
            if (e.button.button == SDL_BUTTON_LEFT)
                OnPointer(PenAction::kDown, e.button.x, e.button.y);
            break;
        case SDL_MOUSEMOTION:
            if (e.motion.state & SDL_BUTTON_LMASK)
                OnPointer(PenAction::kMove, e.motion.x, e.motion.y);
            break;
        case SDL_MOUSEBUTTONUP:
            if (e.button.button == SDL_BUTTON_LEFT)
                OnPointer(PenAction::kUp, e.button.x, e.button.y);
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            const SDL_Keycode key = e.key.keysym.sym;
            const bool ctrl = (e.key.keysym.mod & KMOD_CTRL) != 0;
            if (key == SDLK_F5 || (key == SDLK_r && ctrl)) {
                if (e.type == SDL_KEYDOWN && !e.key.repeat) {
                    const bool back = (e.key.keysym.mod & KMOD_SHIFT) != 0;
                    ReportRotation(TurnOrientation(GetDisplayOrientation(), back ? -1 : 1));
                }
                break;
            }
            const uint32_t vk = SdlKeyToVirtualKey(key);
            // A held transport key is one press, not a stream of toggles.
            const bool transport = vk >= 0xB0 && vk <= 0xB3;
            if (vk && !(transport && e.key.repeat))
                ReportKey(e.type == SDL_KEYDOWN, vk, e.key.repeat != 0);
            break;
        }
        default:
            if (e.type == g_sdl->wakeEvent) g_sdl->wakePending.store(false);
            break;
    }
}

void Idle(void*, int32_t timeoutMs) {
    SDL_Event e;
    int got;
    if (IsVirtualClock()) {
        // Virtual time does not pass while waiting: take what is there, and
        // only when nothing is, jump to the next timer.
        got = SDL_PollEvent(&e);
        if (!got) {
            if (timeoutMs >= 0) {
                AdvanceVirtualClock(uint32_t(timeoutMs));
                return;
            }
            got = SDL_WaitEvent(&e);
        }
    } else {
        got = timeoutMs < 0 ? SDL_WaitEvent(&e) : SDL_WaitEventTimeout(&e, timeoutMs);
    }
    while (got) {
        OnEvent(e);
        got = SDL_PollEvent(&e);
    }
}

void Wake(void*) {
    // Called under the loop's lock from any thread; one pending wake event
    // is enough, since the idle wait drains the loop's queue after it.
    if (g_sdl && !g_sdl->wakePending.exchange(true)) {
        SDL_Event e{};
        e.type = g_sdl->wakeEvent;
        if (SDL_PushEvent(&e) <= 0) g_sdl->wakePending.store(false);
    }
}

void Close();

bool Open(const PlatformOptions& options, DisplayProfile* panel, std::string* error) {
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");  // closing is WM_CLOSE only
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        *error = SDL_GetError();
        return false;
    }
    g_sdl = new Sdl;
    g_sdl->fullscreen = options.fullscreen;
    g_sdl->wakeEvent = SDL_RegisterEvents(1);
    if (options.fullscreen) {
        SDL_DisplayMode mode{};
        float hdpi = 0;
        if (SDL_GetDesktopDisplayMode(0, &mode) == 0) {
            panel->width = mode.w;
            panel->height = mode.h;
        }
        panel->dpi = SDL_GetDisplayDPI(0, nullptr, &hdpi, nullptr) == 0 && hdpi > 0
                         ? int(std::lround(hdpi))
                         : 96;
    } else {
        // Shrink the window when the panel is larger than the desktop.
        SDL_Rect usable{};
        if (SDL_GetDisplayUsableBounds(0, &usable) == 0 && usable.w > 0 && usable.h > 0) {
            g_sdl->scale =
                std::min({1.0, double(usable.w) / panel->width, double(usable.h) / panel->height});
        }
    }
    const uint32_t flags = SDL_WINDOW_HIDDEN | (options.fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP
                                                                   : SDL_WINDOW_RESIZABLE);
    g_sdl->window = SDL_CreateWindow("KRA", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                     int(panel->width * g_sdl->scale),
                                     int(panel->height * g_sdl->scale), flags);
    if (g_sdl->window) g_sdl->renderer = SDL_CreateRenderer(g_sdl->window, -1, 0);
    if (!g_sdl->renderer) {
        *error = SDL_GetError();
        Close();
        return false;
    }
    static const LoopBackend backend{Idle, Wake, nullptr};
    SetLoopBackend(&backend);
    return true;
}

void Close() {
    if (!g_sdl) return;
    SetLoopBackend(nullptr);  // no wake can reach SDL after this
    if (g_sdl->texture) SDL_DestroyTexture(g_sdl->texture);
    if (g_sdl->renderer) SDL_DestroyRenderer(g_sdl->renderer);
    if (g_sdl->window) SDL_DestroyWindow(g_sdl->window);
    delete g_sdl;
    g_sdl = nullptr;
    SDL_Quit();
}

void Show(bool visible) {
    if (visible) {
        SDL_ShowWindow(g_sdl->window);
        LayOut();
        Redraw();
    } else {
        SDL_HideWindow(g_sdl->window);
    }
}

void Raise() {
    if (SDL_GetWindowFlags(g_sdl->window) & SDL_WINDOW_MINIMIZED) SDL_RestoreWindow(g_sdl->window);
    SDL_RaiseWindow(g_sdl->window);
}

void Minimise() {
    SDL_MinimizeWindow(g_sdl->window);
}

void OrientationChanged(int) {
    SizeWindowForOrientation();
    LayOut();
    Redraw();
}

void Present(const uint16_t* pixels, int width, int height, int pitchBytes, PixelFormat format) {
    if (!g_sdl->texture || g_sdl->textureWidth != width || g_sdl->textureHeight != height ||
        g_sdl->textureFormat != format) {
        if (g_sdl->texture) SDL_DestroyTexture(g_sdl->texture);
        g_sdl->texture = SDL_CreateTexture(
            g_sdl->renderer,
            format == PixelFormat::kRgb565 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_RGB555,
            SDL_TEXTUREACCESS_STREAMING, width, height);
        if (!g_sdl->texture) return;
        g_sdl->textureWidth = width;
        g_sdl->textureHeight = height;
        g_sdl->textureFormat = format;
        LayOut();
    }
    SDL_UpdateTexture(g_sdl->texture, nullptr, pixels, pitchBytes);
    Redraw();
}

void Notice(const std::string& text) {
    std::fprintf(stderr, "kra: %s\n", text.c_str());
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "KRA", text.c_str(), g_sdl->window);
}

}  // namespace

const WindowBackend& SdlWindowBackend() {
    static const WindowBackend backend{Open,    Close,   Show,  Raise, Minimise, OrientationChanged,
                                       Present, nullptr, Notice};
    return backend;
}

}  // namespace kra::platform
