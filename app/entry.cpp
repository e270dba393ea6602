#include "app/entry.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/base/app_state.h"
#include "app/base/debug_log.h"
#include "app/base/hooks.h"
#include "app/base/settings.h"
#include "app/base/text.h"
#include "app/base/worker_pair.h"
#include "app/power.h"
#include "app/shell.h"
#include "device/mpris.h"
#include "device/shake.h"
#include "device/telephony.h"
#include "library/scan.h"
#include "media/album_art_cache.h"
#include "media/media_probe.h"
#include "media/probe_report.h"
#include "platform/files.h"
#include "platform/message_loop.h"
#include "platform/player.h"
#include "platform/registry.h"
#include "platform/user_dirs.h"
#include "platform/window.h"
#include "playback/play_queue.h"
#include "screens/album_flow.h"
#include "screens/screen_router.h"

#ifndef KRA_VERSION
#define KRA_VERSION "0.70"
#endif
#ifndef KRA_DATADIR
#define KRA_DATADIR "/usr/local/share/kra"
#endif
#ifndef KRA_SOURCE_ASSETS
#define KRA_SOURCE_ASSETS "assets"
#endif

namespace kra {

namespace {

constexpr const char* kMprisName = "org.mpris.MediaPlayer2.kra";

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    }
    return text;
}

// "RegServer", "-RegServer", "--regserver", "/RegServer" ...
std::string SwitchWord(const std::string& arg) {
    size_t start = 0;
    while (start < arg.size() && start < 2 && (arg[start] == '-' || arg[start] == '/')) ++start;
    return Lower(arg.substr(start));
}

// Quotes an argument for a desktop entry's Exec key: inside double quotes
// '"', '`', '$' and '\' are escaped, and every '\' is doubled again by the
// string escaping of the file format.
std::string DesktopQuote(const std::string& arg) {
    std::string quoted = "\"";
    for (char c : arg) {
        if (c == '"' || c == '`' || c == '$') {
            quoted += "\\\\";
            quoted += c;
        } else if (c == '\\') {
            quoted += "\\\\\\\\";
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

// Single quotes for the D-Bus service Exec line (shell-like splitting).
std::string DbusQuote(const std::string& arg) {
    std::string quoted = "'";
    for (char c : arg) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

std::string DesktopEntryPath() {
    return platform::UserDataHome() + "/applications/kra.desktop";
}
std::string DbusServicePath() {
    return platform::UserDataHome() + "/dbus-1/services/" + kMprisName + ".service";
}

bool FolderExistsPosix(const std::string& path) {
    return platform::FolderExists(platform::FromPosixPath(path));
}

// The window covers the real display (--fullscreen, not headless).
bool g_fullScreenWindow = false;

// The player instance's own start, after the single-instance check: the
// settings file, the log, the demo library, the platform's part of the
// shell's hooks.
void StartPlayerInstance(const AppOptions& options) {
    platform::RegistryOpenFile(platform::DefaultRegistryPath());
    LogOpen(platform::ProgramFolder() + u"\\kra.log");
    // The demo library is used when asked for, and on a first start that
    // finds no music folder at all.
    if (options.demo || (!platform::RegKeyExists(platform::RegRoot::CurrentUser, kSettingsKey) &&
                         !platform::FolderExists(DefaultMusicFolder()))) {
        PrepareDemoLibrary();
    }
    const platform::DisplayProfile display = platform::GetDisplayProfile();
    g_app.displayWidth = display.width;
    g_app.displayHeight = display.height;
    g_app.displayDpi = display.dpi;
    g_app.uiScale = UiScaleForDpi(display.dpi);
    g_hooks.showWindow = [] { platform::ShowMainWindow(true); };
    g_hooks.bringToFront = [] { platform::BringMainWindowToFront(); };
    g_hooks.minimizeWindow = [] { platform::MinimiseMainWindow(); };
    g_hooks.readDisplayOrientation = [] { return uint8_t(platform::GetDisplayOrientation()); };
    g_hooks.showFailure = [](const std::u16string& text) {
        platform::ShowNotice(Utf16ToUtf8(text));
    };
    // The modules that are built fill in their parts of the sequences.
    InstallPlaybackHooks(&RegisterMessageHandler);
    InstallAlbumArtWorkers();
    // The art workers report finished albums and list passes through the window.
    RegisterMessageHandler(kMsgAlbumArtLoaded, [](uintptr_t wParam, intptr_t lParam) -> intptr_t {
        HandleAlbumArtMessage(kMsgAlbumArtLoaded, wParam, lParam);
        return 0;
    });
    RegisterMessageHandler(kMsgListArtBuilt, [](uintptr_t wParam, intptr_t lParam) -> intptr_t {
        HandleAlbumArtMessage(kMsgListArtBuilt, wParam, lParam);
        return 0;
    });
    // The album flow's worker finished a cover: installed, and the view redrawn.
    RegisterMessageHandler(kMsgFlowCoverLoaded, [](uintptr_t, intptr_t) -> intptr_t {
        if (InstallFlowCovers() > 0 && g_app.screen == kScreenAlbumFlow) RedrawCurrentScreen();
        return 0;
    });
    InstallScreenHooks();
    // Power and calls wrap the screens' input hooks, so they come after them.
    InstallPowerHooks(PowerConfig{g_fullScreenWindow});
    InstallTelephonyHooks(&RegisterMessageHandler);
    // Sensors and remote controls; the media keys go in front of the key hook.
    InstallShakeHooks(&RegisterMessageHandler);
    g_shakeHost.screenOff = [] { return g_power.screenOff; };
    InstallRemoteHooks(&RegisterMessageHandler);
}

AppOptions g_options;

intptr_t MainWindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message == platform::kWmCreate) StartPlayerInstance(g_options);
    const intptr_t result = WindowProc(message, wParam, lParam);
    // What the shake poller and remote controls see follows every event.
    SyncShakeFlags();
    PublishRemoteState();
    return result;
}

}  // namespace

bool ParseAppArgs(const std::vector<std::string>& args, AppOptions* options, std::string* error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const std::string word = SwitchWord(arg);
        auto value = [&](std::string* out) {
            if (i + 1 >= args.size()) {
                *error = arg + " needs a value";
                return false;
            }
            *out = args[++i];
            return true;
        };
        if (word == "regserver") {
            options->registerDesktop = true;
        } else if (word == "unregserver") {
            options->unregisterDesktop = true;
        } else if (arg == "--help" || arg == "-h") {
            options->help = true;
        } else if (arg == "--version") {
            options->version = true;
        } else if (arg == "--demo") {
            options->demo = true;
        } else if (arg == "--home") {
            if (!value(&options->home)) return false;
        } else if (arg == "--audio-sink") {
            if (!value(&options->audioSink)) return false;
        } else if (arg == "--probe") {
            if (i + 1 >= args.size()) {
                *error = arg + " needs a file";
                return false;
            }
            options->probePaths.assign(args.begin() + long(i) + 1, args.end());
            break;
        } else if (arg == "--scan") {
            if (!value(&options->scanPath)) return false;
        } else {
            *error = "unknown argument: " + arg;
            return false;
        }
    }
    return true;
}

std::string UsageText() {
    return "Usage: kra [options]\n"
           "A full-screen, finger-operated music player.\n"
           "\n"
           "  --display WxH[@DPI]  panel size and density (default 480x800@192)\n"
           "  --fullscreen         use the whole real display\n"
           "  --headless           run without a display\n"
           "  --script FILE        drive the headless window from FILE\n"
           "  --virtual-clock      run on a virtual clock (scripts, tests)\n"
           "  --home DIR           program folder (default $KRA_HOME, else\n"
           "                       $XDG_DATA_HOME/kra)\n"
           "  --demo               play the bundled demo library when no music\n"
           "                       folder is set\n"
           "  --audio-sink NAME    GStreamer audio sink (also KRA_AUDIO_SINK)\n"
           "  --post MSG WPARAM LPARAM\n"
           "                       post a message to the running player\n"
           "  --probe FILE...      print what the media probe reads from files\n"
           "  --scan DIR           print the albums and songs a scan of DIR finds\n"
           "  RegServer            install the desktop entry and D-Bus service\n"
           "  UnregServer          remove them again\n"
           "  --help, --version\n";
}

std::string DesktopEntryText(const std::string& executable) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=KRA\n"
           "GenericName=Music Player\n"
           "Comment=Full-screen, finger-operated music player\n"
           "Exec=" +
           DesktopQuote(executable) +
           "\n"
           "Terminal=false\n"
           "Categories=AudioVideo;Audio;Player;\n"
           "StartupNotify=false\n";
}

std::string DbusServiceText(const std::string& executable) {
    return std::string("[D-BUS Service]\nName=") + kMprisName + "\nExec=" + DbusQuote(executable) +
           "\n";
}

bool RegisterDesktop(const std::string& executable) {
    const bool desktop = platform::WriteUserFile(DesktopEntryPath(), DesktopEntryText(executable));
    const bool service = platform::WriteUserFile(DbusServicePath(), DbusServiceText(executable));
    return desktop && service;
}

bool UnregisterDesktop() {
    const bool desktop = platform::RemoveUserFile(DesktopEntryPath());
    const bool service = platform::RemoveUserFile(DbusServicePath());
    return desktop && service;
}

bool PrepareDemoLibrary() {
    const std::u16string target = platform::ProgramFolder() + u"\\demo-music";
    if (!platform::FolderExists(target)) {
        std::string source = std::string(KRA_DATADIR) + "/demo-music";
        if (!FolderExistsPosix(source)) source = std::string(KRA_SOURCE_ASSETS) + "/demo-music";
        if (!FolderExistsPosix(source)) return false;
        // Copied under a temporary name, so an interrupted copy is redone.
        const std::u16string part = target + u".part";
        platform::CopyTree(source, platform::ToPosixPath(part));
        if (!platform::MoveFile(part, target)) return false;
    }
    SetDefaultMusicFolderOverride(target);
    return true;
}

int RunKra(int argc, const char* const* argv) {
    platform::PlatformOptions platformOptions;
    std::vector<std::string> rest;
    std::string error;
    if (!platform::ParsePlatformArgs(argc, argv, &platformOptions, &rest, &error) ||
        !ParseAppArgs(rest, &g_options, &error)) {
        std::fprintf(stderr, "kra: %s\n%s", error.c_str(), UsageText().c_str());
        return 2;
    }
    const AppOptions& options = g_options;
    if (options.help) {
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("kra %s\n", KRA_VERSION);
        return 0;
    }
    if (options.registerDesktop || options.unregisterDesktop) {
        const bool ok = options.registerDesktop ? RegisterDesktop(platform::ExecutablePath())
                                                : UnregisterDesktop();
        if (!ok) std::fprintf(stderr, "kra: could not update the desktop entry\n");
        return ok ? 0 : 1;
    }
    if (!options.audioSink.empty()) platform::SetAudioSinkName(options.audioSink);
    // Diagnostics: no window, no log, no settings.
    if (!options.scanPath.empty())
        return RunScanDiagnostic(options.scanPath, stdout, stderr, platform::StderrIsTerminal());
    if (!options.probePaths.empty()) {
        MediaFileProbe& probe = SharedMediaFileProbe();
        for (const std::string& path : options.probePaths) {
            std::error_code ec;
            const std::string absolute = std::filesystem::absolute(path, ec).lexically_normal();
            const std::string line =
                ProbeReportLine(probe, platform::FromPosixPath(ec ? path : absolute), path);
            std::printf("%s\n", line.c_str());
        }
        return 0;
    }
    if (!options.home.empty()) {
        std::error_code ec;
        const std::string home = std::filesystem::absolute(options.home, ec).lexically_normal();
        platform::SetProgramFolder(platform::FromPosixPath(ec ? options.home : home));
    }
    g_fullScreenWindow = platformOptions.fullscreen && !platformOptions.headless;
    const int code = platform::RunPlatform(platformOptions, MainWindowProc);
    LogClose();
    // A worker that outlived its grace may still be running: leave without
    // running static destructors under it.
    if (WorkersLeftRunning() > 0) {
        std::fflush(nullptr);
        std::quick_exit(code);
    }
    return code;
}

}  // namespace kra
