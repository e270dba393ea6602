// Switching the display panel: FBIOBLANK on the frame buffer; for a window
// that covers the real display, a backlight device through logind, else X11
// DPMS (libXext loaded when needed, so the program does not depend on X11).
#include <dlfcn.h>
#include <linux/fb.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/power-bus.h"
#include "platform/power-internal.h"

namespace kra::platform::linux_power {

namespace {

enum class Panel { kNone, kFrameBuffer, kBacklight, kDpms };

struct Dpms {
    void* x11 = nullptr;
    void* xext = nullptr;
    void* display = nullptr;
    void* (*openDisplay)(const char*) = nullptr;
    int (*closeDisplay)(void*) = nullptr;
    int (*flush)(void*) = nullptr;
    int (*capable)(void*) = nullptr;
    int (*forceLevel)(void*, unsigned short) = nullptr;
    int (*enable)(void*) = nullptr;
};

struct PanelState {
    Panel kind = Panel::kNone;
    int fd = -1;
    std::string backlight;  // device name under class/backlight
    std::string backlightFolder;
    uint32_t savedLevel = 0;
    bool off = false;
    Dpms dpms;
};

PanelState g_panel;

bool ReadNumber(const std::string& path, uint32_t* out) {
    std::ifstream in(path);
    long long value = -1;
    if (!(in >> value) || value < 0 || value > 0xFFFFFFFFLL) return false;
    *out = uint32_t(value);
    return true;
}

// The first backlight device (by name) that reports a maximum level.
bool FindBacklight(const std::string& sysfsRoot, std::string* name, std::string* folder) {
    std::error_code ec;
    std::vector<std::string> names;
    const std::filesystem::path root = std::filesystem::path(sysfsRoot) / "class" / "backlight";
    for (const auto& entry : std::filesystem::directory_iterator(root, ec))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
        uint32_t max = 0;
        if (ReadNumber((root / n / "max_brightness").string(), &max) && max > 0) {
            *name = n;
            *folder = (root / n).string();
            return true;
        }
    }
    return false;
}

bool SetBacklight(uint32_t level) {
    std::string why;
    sd_bus* bus = bus::MainThreadBus(&why);
    if (!bus) return false;
    const std::string session = bus::SessionPath(bus);
    sd_bus_error error = SD_BUS_ERROR_NULL;
    const int r = sd_bus_call_method(bus, "org.freedesktop.login1", session.c_str(),
                                     "org.freedesktop.login1.Session", "SetBrightness", &error,
                                     nullptr, "ssu", "backlight", g_panel.backlight.c_str(), level);
    sd_bus_error_free(&error);
    return r >= 0;
}

template <typename F>
bool Load(void* library, const char* name, F* out) {
    *out = reinterpret_cast<F>(dlsym(library, name));
    return *out != nullptr;
}

bool OpenDpms() {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) return false;
    Dpms& d = g_panel.dpms;
    d.x11 = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    d.xext = d.x11 ? dlopen("libXext.so.6", RTLD_NOW | RTLD_LOCAL) : nullptr;
    bool ok = d.xext && Load(d.x11, "XOpenDisplay", &d.openDisplay) &&
              Load(d.x11, "XCloseDisplay", &d.closeDisplay) && Load(d.x11, "XFlush", &d.flush) &&
              Load(d.xext, "DPMSCapable", &d.capable) &&
              Load(d.xext, "DPMSForceLevel", &d.forceLevel) &&
              Load(d.xext, "DPMSEnable", &d.enable);
    if (ok) {
        d.display = d.openDisplay(nullptr);
        ok = d.display && d.capable(d.display);
    }
    if (!ok) {
        if (d.display) d.closeDisplay(d.display);
        if (d.xext) dlclose(d.xext);
        if (d.x11) dlclose(d.x11);
        d = Dpms{};
    }
    return ok;
}

void CloseDpms() {
    Dpms& d = g_panel.dpms;
    if (d.display) d.closeDisplay(d.display);
    if (d.xext) dlclose(d.xext);
    if (d.x11) dlclose(d.x11);
    d = Dpms{};
}

}  // namespace

bool OpenPanel(const PanelOptions& options, std::string* how) {
    ClosePanel();
    if (options.frameBufferFd >= 0) {
        g_panel.kind = Panel::kFrameBuffer;
        g_panel.fd = options.frameBufferFd;
        if (how) *how = "fbdev";
        return true;
    }
    if (!options.fullScreenWindow) {
        if (how) *how = "a desktop window";
        return false;
    }
    std::string name, folder, why;
    if (FindBacklight(options.sysfsRoot, &name, &folder) && bus::MainThreadBus(&why)) {
        g_panel.kind = Panel::kBacklight;
        g_panel.backlight = name;
        g_panel.backlightFolder = folder;
        if (how) *how = "backlight " + name;
        return true;
    }
    if (OpenDpms()) {
        g_panel.kind = Panel::kDpms;
        if (how) *how = "DPMS";
        return true;
    }
    if (how) *how = "no backlight or DPMS";
    return false;
}

bool SetPanel(bool on) {
    bool ok = false;
    switch (g_panel.kind) {
        case Panel::kNone:
            return false;
        case Panel::kFrameBuffer:
            ok = ioctl(g_panel.fd, FBIOBLANK, on ? FB_BLANK_UNBLANK : FB_BLANK_POWERDOWN) == 0;
            break;
        case Panel::kBacklight: {
            if (on) {
                if (!g_panel.off) return true;
                ok = SetBacklight(g_panel.savedLevel);
            } else {
                uint32_t level = 0;
                if (!g_panel.off && ReadNumber(g_panel.backlightFolder + "/brightness", &level))
                    g_panel.savedLevel = level;
                if (g_panel.savedLevel == 0 &&
                    !ReadNumber(g_panel.backlightFolder + "/max_brightness", &g_panel.savedLevel))
                    return false;
                ok = SetBacklight(0);
            }
            break;
        }
        case Panel::kDpms: {
            Dpms& d = g_panel.dpms;
            d.enable(d.display);
            // DPMSModeOn 0, DPMSModeOff 3.
            ok = d.forceLevel(d.display, on ? 0 : 3) != 0;
            d.flush(d.display);
            break;
        }
    }
    if (ok) g_panel.off = !on;
    return ok;
}

void ClosePanel() {
    if (g_panel.off) SetPanel(true);
    if (g_panel.kind == Panel::kDpms) CloseDpms();
    g_panel = PanelState{};
}

}  // namespace kra::platform::linux_power
