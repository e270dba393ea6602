// The real kra binary, headless on the virtual clock, in a private set of
// folders (program folder, settings, runtime, data).
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "app_test_util.h"
#include "library/list_files.h"
#include "platform/image-decode.h"
#include "platform/instance.h"
#include "support/bytes.h"
#include "support/spawn.h"

#ifndef KRA_BINARY
#error "KRA_BINARY must name the kra executable"
#endif

namespace kra {
namespace {

namespace fs = std::filesystem;

// Lines of `log` that equal `wanted`, in this order (others may come between).
testing::AssertionResult InOrder(const std::vector<std::string>& log,
                                 const std::vector<std::string>& wanted) {
    size_t at = 0;
    for (const std::string& line : log) {
        if (at < wanted.size() && line == wanted[at]) ++at;
    }
    if (at == wanted.size()) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "missing in order: " << wanted[at];
}

// A settings file that turns the debug log on.
const std::string kDebugOn =
    "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Movo\\KRA]\n\"DebugOn\"=hex:01\n";

class EndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = test::MakeTempFolder("e2e");
        for (const char* dir : {"home", "config", "run", "data"})
            fs::create_directories(root_ / dir);
        fs::permissions(root_ / "run", fs::perms::owner_all, fs::perm_options::replace);
    }
    void TearDown() override { fs::remove_all(root_); }

    fs::path Log() const { return root_ / "home" / "kra.log"; }
    fs::path Registry() const { return root_ / "config" / "kra" / "registry.reg"; }
    std::string RegistryText() const {
        const std::vector<uint8_t> bytes = test::ReadBytes(Registry());
        return std::string(bytes.begin(), bytes.end());
    }
    void WriteRegistry(const std::string& text) {
        fs::create_directories(Registry().parent_path());
        test::WriteText(Registry(), text);
    }
    fs::path Script(const std::string& text) {
        const fs::path path = root_ / "script.txt";
        test::WriteText(path, text);
        return path;
    }

    // Starts kra with the private folders; returns its process id.
    pid_t Start(std::vector<std::string> args) {
        args.insert(args.begin(), KRA_BINARY);
        std::vector<std::string> env = {
            "PATH=/usr/bin:/bin",
            "HOME=" + root_.string(),
            "KRA_HOME=" + (root_ / "home").string(),
            "XDG_CONFIG_HOME=" + (root_ / "config").string(),
            "XDG_RUNTIME_DIR=" + (root_ / "run").string(),
            "XDG_DATA_HOME=" + (root_ / "data").string(),
            "KRA_AUDIO_SINK=fakesink",
        };
        // Sanitizer settings of the test run apply to the player too. The
        // system libraries (GLib, GStreamer, fontconfig, SDL) keep one-time
        // allocations until exit; only those are not reported as leaks.
        for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS"}) {
            if (const char* value = std::getenv(name))
                env.push_back(std::string(name) + "=" + value);
        }
        const fs::path suppressions = root_ / "lsan.supp";
        test::WriteText(suppressions,
                        "leak:libglib-2.0.so\nleak:libgobject-2.0.so\nleak:libgstreamer-1.0.so\n"
                        "leak:libfontconfig.so\nleak:libSDL2\n");
        const char* lsan = std::getenv("LSAN_OPTIONS");
        env.push_back("LSAN_OPTIONS=" + std::string(lsan && *lsan ? std::string(lsan) + ":" : "") +
                      "suppressions=" + suppressions.string());
        const pid_t pid = test::SpawnProgram(std::move(args), std::move(env));
        EXPECT_GE(pid, 0);
        return pid;
    }
    static int Wait(pid_t pid) { return test::ExitCode(pid); }
    int Run(std::vector<std::string> args) { return Wait(Start(std::move(args))); }

    // Waits until the instance started in these folders answers on its
    // control socket (it posts a message nobody handles).
    bool WaitUntilServing() {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        const std::string dir = (root_ / "run" / "kra").string();
        while (std::chrono::steady_clock::now() < limit) {
            std::string reply;
            if (platform::SendControlRequest(dir, "post 0 0 0", &reply) ==
                platform::ControlResult::kOk)
                return true;
            std::this_thread::yield();
        }
        return false;
    }

    fs::path root_;
};

TEST_F(EndToEnd, FirstStartWritesTheSettingsAndAQuietLog) {
    EXPECT_EQ(Run({"--headless", "--virtual-clock", "--script", Script("quit\n").string()}), 0);
    const std::string reg = RegistryText();
    // LastPaused is stored again at exit with the paused flag (nothing was
    // playing); every other value still holds its first-start default.
    EXPECT_NE(reg.find("\n\"LastPaused\"=hex:01"), std::string::npos);
    // One value of each kind (the whole first-start table is checked in the
    // settings tests).
    for (const char* line :
         {"\"LastFolder\"=\"", "\"LastMusic\"=\"\"", "\"MusicVolume\"=dword:00000050",
          "\"OffLCD\"=hex:19", "\"ShakeThreshold\"=dword:00000064", "\"AlbumLayout\"=hex:02"}) {
        EXPECT_NE(reg.find(std::string("\n") + line), std::string::npos) << line << "\n" << reg;
    }
    // FF FE and a single "quit" line.
    const std::vector<uint8_t> log = test::ReadBytes(Log());
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0], 0xFF);
    EXPECT_EQ(log[1], 0xFE);
    EXPECT_EQ(test::LogMessages(Log()), std::vector<std::string>{"quit"});
}

TEST_F(EndToEnd, DebugLogTracesStartAndShutdownInOrder) {
    WriteRegistry(kDebugOn);
    EXPECT_EQ(Run({"--headless", "--virtual-clock", "--script",
                   Script("post 0x111 403 0\nquit\n").string()}),
              0);
    const std::vector<std::string> log = test::LogMessages(Log());
    std::vector<std::string> expected = {"KRA v0.70 by Movo", "BT=0 BTHd=0", "WM_COMMAND 403",
                                         "Unlock", "KillAllTimer"};
    for (int i = 1; i <= 10; ++i) expected.push_back("Closing " + std::to_string(i));
    EXPECT_TRUE(InOrder(log, expected));
    EXPECT_EQ(log.back(), "quit");
    EXPECT_NE(RegistryText().find("\"MusicVolume\"=dword:00000055"), std::string::npos);
}

TEST_F(EndToEnd, SecondInstanceActivatesTheFirstAndPostsReachIt) {
    WriteRegistry(kDebugOn);
    const pid_t first = Start({"--headless", "--virtual-clock"});
    ASSERT_TRUE(WaitUntilServing());
    EXPECT_EQ(Run({"--headless", "--virtual-clock"}), 0);
    EXPECT_EQ(Run({"--post", "0x111", "404", "0"}), 0);
    EXPECT_EQ(Run({"--post", "0x10", "0", "0"}), 0);  // WM_CLOSE
    EXPECT_EQ(Wait(first), 0);
    const std::vector<std::string> log = test::LogMessages(Log());
    EXPECT_NE(std::find(log.begin(), log.end(), "Activate"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "WM_COMMAND 404"), log.end());
    EXPECT_EQ(log.back(), "quit");
    EXPECT_NE(RegistryText().find("\"MusicVolume\"=dword:0000004b"), std::string::npos);
    // Nothing runs any more.
    EXPECT_EQ(Run({"--post", "0x10", "0", "0"}), 1);
}

TEST_F(EndToEnd, DamagedSettingsFilesNeverStopThePlayer) {
    std::string noise = "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Other]\n\"Keep\"=dword:00000007\n";
    for (int i = 0; i < 3000; ++i) noise.push_back(char((i * 131 + 7) & 0xFF));
    noise += "\n[HKEY_CURRENT_USER\\Software\\Movo\\KRA]\n\"MusicVolume\"=dword:0000\n\"Off";
    WriteRegistry(noise);
    EXPECT_EQ(Run({"--headless", "--virtual-clock", "--script", Script("quit\n").string()}), 0);
    const std::string reg = RegistryText();
    EXPECT_EQ(reg.rfind("REGEDIT4\n", 0), 0u);
    EXPECT_NE(reg.find("\"Keep\"=dword:00000007"), std::string::npos) << reg;
    EXPECT_NE(reg.find("\"OffLCD\"=hex:19"), std::string::npos) << reg;
    for (char c : reg) EXPECT_NE(c, '\0');
}

TEST_F(EndToEnd, DesktopRegistrationWithoutWindowOrLog) {
    EXPECT_EQ(Run({"RegServer"}), 0);
    const fs::path desktop = root_ / "data" / "applications" / "kra.desktop";
    const fs::path service =
        root_ / "data" / "dbus-1" / "services" / "org.mpris.MediaPlayer2.kra.service";
    EXPECT_TRUE(fs::exists(desktop));
    EXPECT_TRUE(fs::exists(service));
    const std::vector<uint8_t> text = test::ReadBytes(desktop);
    EXPECT_NE(std::string(text.begin(), text.end()).find(fs::path(KRA_BINARY).filename().string()),
              std::string::npos);
    EXPECT_FALSE(fs::exists(Log()));
    EXPECT_FALSE(fs::exists(Registry()));
    EXPECT_EQ(Run({"UnregServer"}), 0);
    EXPECT_FALSE(fs::exists(desktop));
    EXPECT_FALSE(fs::exists(service));
}

TEST_F(EndToEnd, CommandLineMistakes) {
    EXPECT_EQ(Run({"--help"}), 0);
    EXPECT_EQ(Run({"--version"}), 0);
    EXPECT_EQ(Run({"--no-such-switch"}), 2);
    EXPECT_EQ(Run({"--post", "0x111"}), 2);
    EXPECT_EQ(Run({"--post", "0x111", "403", "0"}), 1);  // nobody to post to
    EXPECT_FALSE(fs::exists(Log()));
}

// --- A user's session through the lists ---------------------------------------

// 8 kHz 8-bit mono silence: a RIFF header, a PCM "fmt " chunk and the data.
void WriteSilentWav(const fs::path& path, uint32_t seconds) {
    using test::Le16, test::Le32, test::Text;
    const uint32_t rate = 8000, data = rate * seconds;
    const test::Bytes bytes = Text("RIFF") + Le32(36 + data) + Text("WAVEfmt ") + Le32(16) +
                              Le16(1) + Le16(1) + Le32(rate) + Le32(rate) + Le16(1) + Le16(8) +
                              Text("data") + Le32(data) + test::Bytes(data, 0x80);
    fs::create_directories(path.parent_path());
    test::WriteText(path, std::string(bytes.begin(), bytes.end()));
}

std::string CorePath(const fs::path& path) {
    return Utf16ToUtf8(platform::FromPosixPath(path.string()));
}
// A core path as a REGEDIT4 string value holds it.
std::string RegString(const fs::path& path) {
    std::string out;
    for (char c : CorePath(path)) {
        if (c == '\\') out += '\\';
        out += c;
    }
    return out;
}

// What a shot shows, told by its pixels: the list screens and the folder
// browser are white between the bars, the now-playing screen is dark; the
// highlighted tab of the bottom bar names the list screen.
enum class Shown { kUnreadable, kNowPlaying, kSongs, kArtists, kAlbums, kFolders };

Shown ShownIn(const fs::path& png) {
    const std::vector<uint8_t> bytes = test::ReadBytes(png);
    platform::ImagePixels image;
    std::string reason;
    if (!platform::DecodeImage(bytes.data(), bytes.size(), 0, 0, image, reason) ||
        image.width != 480 || image.height != 800)
        return Shown::kUnreadable;
    auto pixel = [&image](int x, int y) { return &image.bgra[(size_t(y) * 480 + size_t(x)) * 4]; };
    int white = 0, total = 0;
    for (int y = 120; y < 700; y += 10) {
        for (int x = 0; x < 480; x += 10, ++total) {
            const uint8_t* p = pixel(x, y);
            if (p[0] > 230 && p[1] > 230 && p[2] > 230) ++white;
        }
    }
    if (white * 20 < total) return Shown::kNowPlaying;
    if (white * 2 < total) return Shown::kUnreadable;
    // The selected tab is blue: Songs, Artists and Albums at 141, 238, 335.
    const std::pair<int, Shown> tabs[] = {
        {141, Shown::kSongs}, {238, Shown::kArtists}, {335, Shown::kAlbums}};
    for (const auto& [x, shown] : tabs) {
        const uint8_t* p = pixel(x, 790);
        if (p[0] > p[2] + 40) return shown;
    }
    return Shown::kFolders;
}

class ListsEndToEnd : public EndToEnd {
  protected:
    void SetUp() override {
        EndToEnd::SetUp();
        const fs::path a = Music("A"), b = Music("B");
        for (const char* song :
             {"Artist One/Album X/01 Alpha.wav", "Artist One/Album X/02 Beta.wav",
              "Artist One/Album Y/01 Gamma.wav", "Artist Two/Album Z/01 Delta.wav"})
            WriteSilentWav(a / song, 20);
        for (const char* song : {"Band/Record/01 Xray.wav", "Band/Record/02 Yankee.wav"})
            WriteSilentWav(b / song, 20);
        WriteRegistry(kDebugOn + "\"LastFolder\"=\"" + RegString(a) + "\"\n");
    }
    fs::path Music(const std::string& name) const { return root_ / "music" / name; }
    fs::path Shot(const std::string& name) const { return root_ / (name + ".png"); }
    // Takes a shot that is to show `expected` (checked by CheckShots).
    std::string ShotLine(const std::string& name, Shown expected) {
        shots_.emplace_back(name, expected);
        return "shot " + Shot(name).string() + "\n";
    }
    void CheckShots() {
        for (const auto& [name, expected] : shots_)
            EXPECT_EQ(ShownIn(Shot(name)), expected) << name;
        shots_.clear();
    }
    std::vector<std::pair<std::string, Shown>> shots_;
    // A finger tap: held for 40 ms, then 400 ms for the screen to settle.
    static std::string Tap(int x, int y) {
        return "pen down " + std::to_string(x) + " " + std::to_string(y) + "\nwait 40\npen up " +
               std::to_string(x) + " " + std::to_string(y) + "\nwait 400\n";
    }
    std::vector<std::u16string> PlayListFile() const {
        const std::vector<uint8_t> bytes = test::ReadBytes(root_ / "home" / "kra.plt");
        PlayList play;
        DecodePlayList(bytes.data(), bytes.size(), play, nullptr, nullptr);
        return std::vector<std::u16string>(play.paths.begin(), play.paths.end());
    }
};

TEST_F(ListsEndToEnd, BrowsePlayChangeLibraryQuitAndResumeFromTheListFiles) {
    const fs::path a = Music("A"), b = Music("B");
    const fs::path alpha = a / "Artist One/Album X/01 Alpha.wav";
    const fs::path xray = b / "Band/Record/01 Xray.wav";
    using enum Shown;
    std::string script = "wait 500\n";
    script += Tap(238, 760) + ShotLine("artists", kArtists);        // Artists tab
    script += Tap(200, 136) + ShotLine("artist", kArtists);         // Artist One: its two albums
    script += Tap(200, 291) + ShotLine("album", kArtists);          // Album X: Shuffle, its songs
    script += Tap(200, 196) + ShotLine("playing", kNowPlaying);     // 01 Alpha plays
    script += Tap(30, 70) + ShotLine("back", kArtists);             // back to the album
    script += Tap(440, 70) + ShotLine("now_playing", kNowPlaying);  // the Now Playing button
    script += Tap(30, 70) + Tap(335, 760);                          // back; Albums tab
    script += Tap(200, 143) + ShotLine("shuffled", kNowPlaying);    // Shuffle Albums
    script += Tap(30, 70);
    script += "key down 0x28\nkey up 0x28\n";  // volume 80 - 4
    script += "post 0x111 404 0\nwait 100\n";  // and one step down (- 5)
    script += Tap(432, 760) + Tap(240, 366) + ShotLine("browser", kFolders);  // More, Set Library
    script += Tap(200, 196) + ShotLine("library_b", kSongs);  // the second folder, B
    script += Tap(432, 760) + Tap(240, 270) + ShotLine("refreshed", kSongs);  // Refresh Library
    script += Tap(200, 226) + ShotLine("playing_b", kNowPlaying);             // 01 Xray plays
    script += "wait 5000\nkey down 0x72\n";                                   // Talk quits
    EXPECT_EQ(Run({"--headless", "--virtual-clock", "--script", Script(script).string()}), 0);

    CheckShots();

    const std::vector<std::string> log = test::LogMessages(Log());
    EXPECT_TRUE(InOrder(log, {"Play:" + CorePath(alpha) + " 0", "SetLibrary " + CorePath(b),
                              "ds:" + CorePath(b) + "\\*", "ds:" + CorePath(b) + "\\*",
                              "Play:" + CorePath(xray) + " 0", "Closing 10", "quit"}));
    // Shuffle Albums started a song of the first library between them.
    size_t plays = 0;
    for (const std::string& line : log) plays += line.rfind("Play:" + CorePath(a), 0) == 0;
    EXPECT_GE(plays, 2u);

    const std::string reg = RegistryText();
    for (const std::string& line :
         {"\"LastFolder\"=\"" + RegString(b) + "\"", "\"LastMusic\"=\"" + RegString(xray) + "\"",
          std::string("\"LastPaused\"=hex:00"), std::string("\"PlayShuffle\"=hex:02"),
          std::string("\"MusicVolume\"=dword:00000047")})
        EXPECT_NE(reg.find("\n" + line), std::string::npos) << line << "\n" << reg;
    // Played from the whole new library: only the play list is written.
    EXPECT_FALSE(fs::exists(root_ / "home" / "kra.blt"));
    EXPECT_EQ(PlayListFile(),
              (std::vector<std::u16string>{
                  platform::FromPosixPath(xray.string()),
                  platform::FromPosixPath((b / "Band/Record/02 Yankee.wav").string())}));

    // The sound plays in real time, which a run on the virtual clock does not
    // wait for: let the song have run 7 s before the next start.
    const size_t at = reg.find("\"LastDuration\"=dword:");
    ASSERT_NE(at, std::string::npos);
    std::string edited = reg;
    edited.replace(at, std::string("\"LastDuration\"=dword:00000000").size(),
                   "\"LastDuration\"=dword:00000007");
    WriteRegistry(edited);
    fs::remove(Log());

    EXPECT_EQ(Run({"--headless", "--virtual-clock", "--script",
                   Script("wait 500\n" + ShotLine("resumed", kNowPlaying) + "quit\n").string()}),
              0);
    CheckShots();
    const std::vector<std::string> again = test::LogMessages(Log());
    const std::string home = CorePath(root_ / "home");
    EXPECT_TRUE(InOrder(again, {home + "\\kra.blt (0)", home + "\\kra.plt (1)",
                                "ReadMasterPlayList 2 1", "Play:" + CorePath(xray) + " 7"}));
    for (const std::string& line : again) EXPECT_NE(line.rfind("ds:", 0), 0u) << "rescanned";
    const std::string after = RegistryText();
    EXPECT_NE(after.find("\n\"LastMusic\"=\"" + RegString(xray) + "\""), std::string::npos);
    EXPECT_NE(after.find("\n\"LastDuration\"=dword:00000007"), std::string::npos) << after;
    EXPECT_EQ(PlayListFile().size(), 2u);
}

}  // namespace
}  // namespace kra
