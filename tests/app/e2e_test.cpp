// The real kra binary, headless on the virtual clock, in a private set of
// folders (program folder, settings, runtime, data).
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "app_test_util.h"
#include "platform/instance.h"

#ifndef KRA_BINARY
#error "KRA_BINARY must name the kra executable"
#endif

namespace kra {
namespace {

namespace fs = std::filesystem;

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
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
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
        std::vector<char*> envp;
        for (std::string& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid = -1;
        const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_EQ(rc, 0);
        return pid;
    }
    static int Wait(pid_t pid) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0) {
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
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
    for (const char* line : {"\"LastFolder\"=\"",
                             "\"LastMusic\"=\"\"",
                             "\"MusicVolume\"=dword:00000050",
                             "\"OffLCD\"=hex:19",
                             "\"ACOffLCD\"=hex:00",
                             "\"RepeatAlbum\"=hex:00",
                             "\"PlayShuffle\"=hex:00",
                             "\"AlwaysLoadEmbedAlbumPic\"=hex:00",
                             "\"SaveLastMusic\"=hex:01",
                             "\"LastDuration\"=dword:00000000",
                             "\"SafeMode\"=hex:00",
                             "\"ResumeAfterCall\"=hex:01",
                             "\"FullScreenAlbum\"=hex:01",
                             "\"FastAlbumPic\"=hex:01",
                             "\"NoSoftKey\"=hex:00",
                             "\"AlbumLayout\"=hex:02",
                             "\"ShakeAction\"=hex:00",
                             "\"ShakeThreshold\"=dword:00000064",
                             "\"LastShowSlide\"=hex:00",
                             "\"DisplayMode\"=hex:01",
                             "\"NoSpeakerPowerDown\"=hex:00",
                             "\"AlwaysResumeOnStart\"=hex:00"}) {
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
    WriteRegistry("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Movo\\KRA]\n\"DebugOn\"=hex:01\n");
    EXPECT_EQ(Run({"--headless", "--virtual-clock", "--script",
                   Script("post 0x111 403 0\nquit\n").string()}),
              0);
    const std::vector<std::string> log = test::LogMessages(Log());
    const std::vector<std::string> expected = {
        "KRA v0.70 by Movo", "BT=0 BTHd=0", "WM_COMMAND 403", "Unlock",
        "KillAllTimer",      "Closing 1",   "Closing 2",      "Closing 3",
        "Closing 4",         "Closing 5",   "Closing 6",      "Closing 7",
        "Closing 8",         "Closing 9",   "Closing 10",     "quit"};
    // In this order; other lines may come between.
    size_t at = 0;
    for (const std::string& line : log) {
        if (at < expected.size() && line == expected[at]) ++at;
    }
    EXPECT_EQ(at, expected.size()) << "missing: " << (at < expected.size() ? expected[at] : "");
    EXPECT_EQ(log.back(), "quit");
    EXPECT_NE(RegistryText().find("\"MusicVolume\"=dword:00000055"), std::string::npos);
}

TEST_F(EndToEnd, SecondInstanceActivatesTheFirstAndPostsReachIt) {
    WriteRegistry("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Movo\\KRA]\n\"DebugOn\"=hex:01\n");
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

}  // namespace
}  // namespace kra
