// The status bar's values, its labels and the strip drawn on each frame.
#include "screens/status_bar.h"

#include <algorithm>

#include "app/base/app_state.h"
#include "app/base/debug_log.h"
#include "app/base/text.h"
#include "graphics/blit.h"
#include "graphics/image.h"
#include "graphics/lang.h"
#include "graphics/skin.h"
#include "graphics/text.h"
#include "platform/files.h"
#include "platform/registry.h"

namespace kra {

StatusBar g_statusBar;

const SystemIconRect kSystemIcons[kSystemIconCount] = {
    {0, 21},   {23, 18},  {45, 18},  {66, 18},  {89, 13},
    {110, 21}, {152, 17}, {170, 18}, {188, 17}, {206, 17},
};

namespace {

using platform::RegRoot;

const std::u16string kHardwareKey = u"System\\State\\Hardware";
const std::u16string kPhoneKey = u"System\\State\\Phone";
const std::u16string kConnectionsKey = u"System\\State\\Connections";
const std::u16string kWidcommKey = u"SOFTWARE\\WIDCOMM\\BTConfig\\Platform\\PowerMode";
const std::u16string kShellOverridesKey = u"ControlPanel\\Notifications\\ShellOverrides";

// Bits of the Bluetooth state value and of the phone's status.
constexpr uint32_t kBluetoothPowerOn = 0x01;
constexpr uint32_t kBluetoothStereo = 0x04;
constexpr uint32_t kBluetoothHandsFree = 0x10;
constexpr uint32_t kWifiPowerOn = 0x02;
constexpr uint32_t kPhoneRadioOff = 0x10;

constexpr uint32_t kOperatorNameBytes = 260;
constexpr int kTextHeight = 13;   // base pixels
constexpr int kStripHeight = 16;  // base pixels
constexpr uint8_t kMaxBars = 5;
constexpr int kConnectionIcons = 7;

// A DWORD state value; missing (or not four bytes) counts as 0.
uint32_t ReadDword(RegRoot root, const std::u16string& key, const std::u16string& name) {
    platform::RegValue value;
    if (!platform::RegQueryValue(root, key, name, 4, value) || value.data.size() != 4) return 0;
    return uint32_t(value.data[0]) | uint32_t(value.data[1]) << 8 | uint32_t(value.data[2]) << 16 |
           uint32_t(value.data[3]) << 24;
}

// A string value of at most maxBytes bytes, up to its first zero unit.
bool ReadString(RegRoot root, const std::u16string& key, const std::u16string& name,
                uint32_t maxBytes, std::u16string& out) {
    platform::RegValue value;
    if (!platform::RegQueryValue(root, key, name, maxBytes, value)) return false;
    out.clear();
    for (size_t i = 0; i + 1 < value.data.size(); i += 2) {
        const char16_t c = char16_t(value.data[i] | (value.data[i + 1] << 8));
        if (c == 0) break;
        out += c;
    }
    return true;
}

Brush BrushOf(const Screen& screen, uint32_t rgb) {
    return MakeBrush(MakeColour(screen.layout, (rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF));
}

void RenderLabel(Surface& label, const Screen& screen, std::u16string_view text) {
    const int u = UiScale();
    if (RenderText(label, screen, kTextHeight * u, 400, kTextWhite, text, kTextSingleLine, 0, 0, 0,
                   kTextBlack) != 1) {
        ResetSurface(label, false);  // no font: the label is left out
    }
}

void DrawSystemIcon(Screen& screen, int k, int32_t x, int32_t y, uint32_t alpha) {
    const int u = UiScale();
    DrawSurface(g_skin.system, screen, x, y, kSystemIcons[k].width * u, 0, kSystemIcons[k].x * u, 0,
                BlitKeyed, alpha);
}

}  // namespace

void ResetStatusBar() {
    ResetSurface(g_statusBar.operatorLabel, false);
    ResetSurface(g_statusBar.clockLabel, false);
    g_statusBar.shown = true;
    g_statusBar.fade = 0;
    g_statusBar.batteryState = kBatteryOnBattery;
    g_statusBar.batteryLevel = 0;
    g_statusBar.chargePulse = 29;
    g_statusBar.signalBars = 0;
    g_statusBar.networkType = 0;
    g_statusBar.operatorX = UiScale();
    g_statusBar.operatorLogo = false;
    g_statusBar.operatorText.clear();
    g_statusBar.clockText.clear();
    g_statusBar.gaugeColour = 0xE6E6E6;
}

// ---- Indicators ----

void ReadSoundProfile() {
    const uint32_t mode = ReadDword(RegRoot::CurrentUser, kShellOverridesKey, u"Mode");
    g_app.status[0] = mode == 0 ? kIconRing : mode == 1 ? kIconVibrate : kIconSilent;
}

uint8_t NetworkTypeFromBits(uint32_t bits) {
    for (uint8_t icon = 7; icon >= 1; --icon) {
        if (bits & (1u << (icon - 1))) return icon;
    }
    return 0;
}

void SetNetworkType(uint8_t type) {
    g_statusBar.networkType = type <= kConnectionIcons ? type : 0;
}

void ReadIndicators() {
    ReadSoundProfile();
    const uint32_t bluetooth = ReadDword(RegRoot::LocalMachine, kHardwareKey, u"Bluetooth");
    const uint32_t wifi = ReadDword(RegRoot::LocalMachine, kHardwareKey, u"Wifi");
    g_app.status[kSlotBluetooth] = (bluetooth & kBluetoothPowerOn) ? kIconBluetooth : 0;
    g_app.status[kSlotTwo] = (wifi & kWifiPowerOn) ? kIconWifi : 0;
    uint8_t headset = 0;
    if (platform::RegKeyExists(RegRoot::LocalMachine, kWidcommKey)) {
        // The Broadcom stack keeps its own record of connected profiles.
        headset = ReadDword(RegRoot::LocalMachine, kWidcommKey, u"ActiveProfileMask") != 0
                      ? kIconHeadset
                      : 0;
    } else if (bluetooth & kBluetoothStereo) {
        headset = kIconStereo;
    } else if (bluetooth & kBluetoothHandsFree) {
        headset = kIconHandsFree;
    } else if (ReadDword(RegRoot::LocalMachine, kHardwareKey, u"Headset") != 0) {
        headset = kIconHeadset;
    }
    g_app.status[kSlotHeadset] = headset;
    g_app.status[kSlotFour] =
        ReadDword(RegRoot::LocalMachine, kConnectionsKey, u"Count") != 0 ? kIconData : 0;
    SetNetworkType(NetworkTypeFromBits(
        ReadDword(RegRoot::LocalMachine, kPhoneKey, u"Cellular System Connected")));
}

// ---- Battery and signal ----

void BatteryChanged(uint8_t level, uint8_t externalPower) {
    KRA_LOG("Battery:%d %d", level, externalPower);
    g_statusBar.batteryLevel = level;
    g_statusBar.batteryState = externalPower;
    g_statusBar.gaugeColour = level < 21 ? 0xE60000 : 0xE6E6E6;
    if (externalPower == 1) {
        g_statusBar.gaugeColour = 0x00E614;
        g_statusBar.chargePulse = 32;
        if (level == 100) g_statusBar.batteryState = kBatteryFull;
    } else {
        g_statusBar.chargePulse = 29;
    }
}

void SignalChanged(uint8_t raw) {
    // The raw value is a percentage; anything above 100 still means full.
    g_statusBar.signalBars = uint8_t(std::min<int>((raw + 5) / 20, kMaxBars));
    KRA_LOG("Phone Signal: %d(%d)", g_statusBar.signalBars, raw);
}

void ReadSignal() {
    SignalChanged(uint8_t(ReadDword(RegRoot::LocalMachine, kPhoneKey, u"Signal Strength Raw")));
}

// ---- Operator ----

std::u16string ShortenOperatorName(std::u16string_view name, size_t limit) {
    if (name.size() <= limit || limit < 2) return std::u16string(name);
    size_t keep = limit - 2;
    // Never keep half of a surrogate pair.
    if (keep > 0 && name[keep - 1] >= 0xD800 && name[keep - 1] <= 0xDBFF) --keep;
    return std::u16string(name.substr(0, keep)) + u"...";
}

bool OperatorLogoPath(std::u16string_view programFolder, std::u16string_view name,
                      std::u16string& path) {
    if (name.empty() || name.find(u"..") != std::u16string_view::npos) return false;
    for (char16_t c : name) {
        // U+F05C is how a '\' inside a file name is carried.
        if (c == u'\\' || c == u'/' || c == 0xF05C || c < 0x20) return false;
    }
    std::u16string folder(programFolder);
    if (!folder.empty() && folder.back() == u'\\') folder.pop_back();
    path = folder + u"\\gfx\\operator\\" + std::u16string(name) + u".png";
    return path.size() <= platform::kMaxCorePath;
}

void RefreshOperator(const Screen& screen) {
    StatusBar& s = g_statusBar;
    const int u = UiScale();
    s.operatorX = u;
    s.operatorLogo = false;
    std::u16string text = u" ";
    std::u16string name;
    if (ReadDword(RegRoot::LocalMachine, kPhoneKey, u"Status") & kPhoneRadioOff) {
        text = g_lang.flightMode;
    } else if (!ReadString(RegRoot::LocalMachine, kPhoneKey, u"Current Operator Name",
                           kOperatorNameBytes, name)) {
        text = g_lang.noService;
    } else {
        s.operatorX = 22 * u;  // room for the signal bars
        std::u16string path;
        if (OperatorLogoPath(platform::ProgramFolder(), name, path)) {
            const bool exists = platform::FileExists(path);
            KRA_LOG("%s (%d)", Utf16ToUtf8(path).c_str(), exists ? 1 : 0);
            if (exists && LoadImage(s.operatorLabel, screen, path, kScaleNatural, 0, 0) == 1) {
                s.operatorLogo = true;
                s.operatorText.clear();
                return;
            }
        }
        const bool iconBeside = s.networkType != 0 || g_app.status[kSlotFour] != 0;
        text = ShortenOperatorName(name, iconBeside ? 9 : 12);
    }
    s.operatorText = text;
    RenderLabel(s.operatorLabel, screen, text);
}

// ---- Clock ----

bool RefreshClock(const Screen& screen) {
    return RefreshClockAt(screen, platform::NowLocal());
}

// ---- Drawing ----

void SetStatusBarShown(bool shown) {
    g_statusBar.shown = shown;
}

bool StatusBarAnimating() {
    return g_statusBar.shown ? g_statusBar.fade != 32 : g_statusBar.fade != 0;
}

void DrawStatusBar(Screen& screen, int32_t x0) {
    StatusBar& s = g_statusBar;
    if (!s.shown && s.fade == 0) return;
    const int u = UiScale();
    const int32_t w = int32_t(screen.width);
    const int32_t h = kStripHeight * u;
    const int32_t m = u;
    const uint32_t a = std::min<uint32_t>(s.fade, 29);
    const Brush* previous = screen.brush;

    SelectBrush(screen, &g_skin.black);
    FillRect(screen, x0, 0, x0 + w, h, std::min<uint32_t>(s.fade, 20), screen.orientation);
    DrawSystemIcon(screen, kIconBatteryFrame, x0 + w - 21 * u, 0, a);

    const Surface& label = s.operatorLabel;
    DrawSurface(label, screen, x0 + s.operatorX, (h - int32_t(label.height)) / 2, 0, 0, 0, 0,
                BlitKeyed, s.fade);
    const int32_t besideOperator = x0 + m + int32_t(label.width) + s.operatorX;
    if (s.operatorX != m) {
        if (s.networkType != 0) {
            const Surface& icons = g_skin.connection;
            const int32_t iconWidth = int32_t(icons.width) / kConnectionIcons;
            if (iconWidth > 0) {
                DrawSurface(icons, screen, besideOperator, m, iconWidth, 0,
                            (s.networkType - 1) * iconWidth, 0, BlitKeyed, a);
            }
        } else if (g_app.status[kSlotFour] != 0) {
            DrawSystemIcon(screen, kIconData, besideOperator, 0, a);
        }
        SelectBrush(screen, &g_skin.lightGrey);
        for (int i = 0; i < kMaxBars; ++i) {
            const int32_t top = i < s.signalBars ? 10 - 2 * i : 11;
            FillRect(screen, x0 + (1 + 4 * i) * u, top * u, x0 + (4 + 4 * i) * u, 12 * u, a,
                     screen.orientation);
        }
    } else if (g_app.status[kSlotFour] != 0) {
        DrawSystemIcon(screen, kIconData, x0 + m + int32_t(label.width) + m, 0, a);
    }

    const Surface& clock = s.clockLabel;
    DrawSurface(clock, screen, x0 + w / 2 - int32_t(clock.width) / 2,
                (h - int32_t(clock.height)) / 2, 0, 0, 0, 0, BlitKeyed, s.fade);

    if (s.batteryLevel <= 100) {
        const Brush gauge = BrushOf(screen, s.gaugeColour);
        SelectBrush(screen, &gauge);
        const int32_t left = x0 + w - 18 * u;
        FillRect(screen, left, 5 * u, left + ((s.batteryLevel + 2) * 7 * u) / 50, 11 * u,
                 std::min<uint32_t>({s.fade, s.chargePulse, 32}), screen.orientation);
        screen.brush = nullptr;  // the local brush dies here
    }

    // Indicators right to left, one base pixel apart, left of the battery.
    int32_t x = w - 21 * u + m;
    for (int slot = 0; slot < 4; ++slot) {
        const uint8_t k = g_app.status[slot];
        if (k == 0 || k >= kSystemIconCount) continue;
        x -= m + kSystemIcons[k].width * u;
        DrawSystemIcon(screen, k, x0 + x, 0, a);
    }

    if (previous != nullptr) SelectBrush(screen, previous);

    if (s.shown && s.fade != 32) {
        s.fade = uint8_t(std::min(s.fade + 4, 32));
    } else if (!s.shown && s.fade != 0) {
        s.fade = uint8_t(std::max(s.fade - 4, 0));
    }
    if (s.batteryState == kBatteryCharging && ++s.chargePulse >= 46) s.chargePulse = 3;
}

}  // namespace kra
