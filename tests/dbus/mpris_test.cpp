// The real player on a private session bus (run under dbus-run-session):
// playerctl and busctl as clients, and `kra --post` with the remote
// controls' messages.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#ifndef KRA_BINARY
#error "KRA_BINARY must name the kra executable"
#endif

extern char** environ;

namespace {

namespace fs = std::filesystem;

// A silent mono 8 kHz 8-bit WAV of `seconds`.
void WriteWav(const fs::path& path, uint32_t seconds) {
    const uint32_t data = 8000 * seconds;
    std::ofstream out(path, std::ios::binary);
    auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) out.put(char(v >> (8 * i)));
    };
    auto u16 = [&](uint16_t v) {
        out.put(char(v));
        out.put(char(v >> 8));
    };
    out << "RIFF";
    u32(36 + data);
    out << "WAVEfmt ";
    u32(16);
    u16(1);
    u16(1);
    u32(8000);
    u32(8000);
    u16(1);
    u16(8);
    out << "data";
    u32(data);
    for (uint32_t i = 0; i < data; ++i) out.put(char(0x80));
}

std::string CorePath(const fs::path& path) {
    std::string core = path.string();
    for (char& c : core) {
        if (c == '/') c = '\\';
    }
    return core;
}

std::string RegEscape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

class MprisEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::getenv("DBUS_SESSION_BUS_ADDRESS")) GTEST_SKIP() << "needs a session bus";
        std::random_device rd;
        root_ = fs::temp_directory_path() / ("kra-mpris-" + std::to_string(rd()));
        for (const char* dir : {"home", "config/kra", "run", "data", "music/Zed/Long"})
            fs::create_directories(root_ / dir);
        fs::permissions(root_ / "run", fs::perms::owner_all, fs::perm_options::replace);
        fs::copy(fs::path(KRA_SOURCE_ASSETS) / "demo-music", root_ / "music",
                 fs::copy_options::recursive);
        song_ = root_ / "music" / "Zed" / "Long" / "long.wav";
        WriteWav(song_, 60);
        std::ofstream(root_ / "config" / "kra" / "registry.reg")
            << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Movo\\KRA]\n\"DebugOn\"=hex:01\n"
            << "\"LastFolder\"=\"" << RegEscape(CorePath(root_ / "music")) << "\"\n"
            << "\"LastMusic\"=\"" << RegEscape(CorePath(song_)) << "\"\n"
            << "\"LastPaused\"=hex:01\n\"LastDuration\"=dword:00000000\n";
    }
    void TearDown() override {
        if (pid_ > 0) {
            Shell(
                "busctl --user call org.mpris.MediaPlayer2.kra /org/mpris/MediaPlayer2 "
                "org.mpris.MediaPlayer2 Quit");
            Wait();
        }
        if (!root_.empty()) fs::remove_all(root_);
    }

    std::vector<std::string> Env() const {
        std::vector<std::string> env = {
            "PATH=/usr/bin:/bin",
            "HOME=" + root_.string(),
            "KRA_HOME=" + (root_ / "home").string(),
            "XDG_CONFIG_HOME=" + (root_ / "config").string(),
            "XDG_RUNTIME_DIR=" + (root_ / "run").string(),
            "XDG_DATA_HOME=" + (root_ / "data").string(),
            "DBUS_SESSION_BUS_ADDRESS=" +
                (busAddress_.empty() ? std::getenv("DBUS_SESSION_BUS_ADDRESS") : busAddress_),
        };
        for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "TSAN_OPTIONS"}) {
            if (const char* value = std::getenv(name))
                env.push_back(std::string(name) + "=" + value);
        }
        return env;
    }

    pid_t Spawn(std::vector<std::string> args) {
        args.insert(args.begin(), KRA_BINARY);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<std::string> env = Env();
        std::vector<char*> envp;
        for (std::string& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid = -1;
        EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
        return pid;
    }
    static int WaitFor(pid_t pid) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0) {
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    int Wait() {
        const int code = WaitFor(pid_);
        pid_ = -1;
        return code;
    }
    void Start() { pid_ = Spawn({"--headless", "--audio-sink", "fakesink"}); }

    // Runs a shell command; its output without the final line end.
    static std::string Shell(const std::string& command, int* code = nullptr) {
        std::string output;
        FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
        if (!pipe) return output;
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
        const int status = pclose(pipe);
        if (code) *code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        while (!output.empty() && output.back() == '\n') output.pop_back();
        return output;
    }
    static std::string Ctl(const std::string& args) { return Shell("playerctl -p kra " + args); }

    // Waits (up to 20 s) until playerctl's answer to `args` satisfies `ok`.
    template <typename Ok>
    static bool Until(const std::string& args, Ok ok) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < limit) {
            if (ok(Ctl(args))) return true;
            std::this_thread::yield();
        }
        return false;
    }
    static bool UntilIs(const std::string& args, const std::string& value) {
        return Until(args, [&](const std::string& out) { return out == value; });
    }
    static double Number(const std::string& text) { return std::atof(text.c_str()); }

    std::string LogText() const {
        std::ifstream in(root_ / "home" / "kra.log", std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        std::string text;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            if (bytes[i + 1] == 0) text.push_back(bytes[i]);
        }
        return text;
    }

    fs::path root_, song_;
    pid_t pid_ = -1;
    std::string busAddress_;  // empty: the test's own bus
};

TEST_F(MprisEndToEnd, PlayerctlActsAndReadsBack) {
    Start();
    ASSERT_TRUE(UntilIs("status", "Paused"));
    EXPECT_EQ(Ctl("metadata xesam:title").empty(), false);
    EXPECT_EQ(Ctl("metadata mpris:length"), "60000000");
    const std::string track = Ctl("metadata mpris:trackid");
    EXPECT_NE(track.find("/org/kra/track/"), std::string::npos) << track;

    // Signals seen by a client on the bus.
    const fs::path signals = root_ / "signals.txt";
    const std::string monitor =
        "dbus-monitor --session \"type='signal',path='/org/mpris/MediaPlayer2'\" > " +
        signals.string() + " 2>/dev/null & echo $!";
    const std::string monitorPid = Shell(monitor);
    ASSERT_FALSE(monitorPid.empty());
    // The monitor is listening once it has printed its own greeting.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (fs::file_size(signals) == 0 && std::chrono::steady_clock::now() < limit)
        std::this_thread::yield();

    Ctl("play");
    EXPECT_TRUE(UntilIs("status", "Playing"));
    Ctl("pause");
    EXPECT_TRUE(UntilIs("status", "Paused"));
    Ctl("play-pause");
    EXPECT_TRUE(UntilIs("status", "Playing"));
    Ctl("play");  // already playing: stays
    EXPECT_EQ(Ctl("status"), "Playing");

    Ctl("position 10");
    EXPECT_TRUE(
        Until("position", [](const std::string& p) { return Number(p) >= 10 && Number(p) < 14; }));
    Ctl("position 5+");
    EXPECT_TRUE(
        Until("position", [](const std::string& p) { return Number(p) >= 15 && Number(p) < 20; }));

    Ctl("loop Track");
    EXPECT_TRUE(UntilIs("loop", "Track"));
    Ctl("loop Playlist");
    EXPECT_TRUE(UntilIs("loop", "Playlist"));
    Ctl("shuffle On");
    EXPECT_TRUE(UntilIs("shuffle", "On"));
    Ctl("shuffle Off");
    EXPECT_TRUE(UntilIs("shuffle", "Off"));
    Ctl("volume 0.4");
    EXPECT_TRUE(
        Until("volume", [](const std::string& v) { return std::abs(Number(v) - 0.4) < 0.005; }));

    Ctl("next");
    EXPECT_TRUE(Until("metadata mpris:trackid", [&](const std::string& t) { return t != track; }));
    const std::string after = Ctl("metadata mpris:trackid");
    Ctl("previous");
    EXPECT_TRUE(Until("metadata mpris:trackid", [&](const std::string& t) { return t != after; }));

    Shell("kill " + monitorPid);
    std::ifstream in(signals);
    const std::string seen((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(seen.find("member=PropertiesChanged"), std::string::npos);
    EXPECT_NE(seen.find("member=Seeked"), std::string::npos);
    EXPECT_NE(seen.find("PlaybackStatus"), std::string::npos);

    Shell(
        "busctl --user call org.mpris.MediaPlayer2.kra /org/mpris/MediaPlayer2 "
        "org.mpris.MediaPlayer2 Quit");
    EXPECT_EQ(Wait(), 0);
    EXPECT_NE(LogText().find("Plugin 1 loaded"), std::string::npos);
}

TEST_F(MprisEndToEnd, MalformedCallsGetErrorsAndThePlayerKeepsAnswering) {
    Start();
    ASSERT_TRUE(UntilIs("status", "Paused"));
    const std::string call =
        "busctl --user call org.mpris.MediaPlayer2.kra /org/mpris/MediaPlayer2 ";
    const std::string set =
        "busctl --user set-property org.mpris.MediaPlayer2.kra /org/mpris/MediaPlayer2 ";
    int code = 0;
    for (const std::string& bad : {
             call + "org.mpris.MediaPlayer2.Player Seek s hello",
             call + "org.mpris.MediaPlayer2.Player SetPosition x 5",
             call + "org.mpris.MediaPlayer2.Player Dance",
             call + "org.mpris.MediaPlayer2.Player OpenUri s file:///x",
             set + "org.mpris.MediaPlayer2 Identity s Other",
             set + "org.mpris.MediaPlayer2.Player PlaybackStatus s Playing",
             set + "org.mpris.MediaPlayer2.Player Volume d nan",
             set + "org.mpris.MediaPlayer2.Player LoopStatus s Forever",
             set + "org.mpris.MediaPlayer2.Player Rate d 2",
         }) {
        Shell(bad, &code);
        EXPECT_NE(code, 0) << bad;
    }
    // Jumps to the ends and stale track ids are no-ops or Next, never a crash.
    const fs::path odd = root_ / "odd.py";
    std::ofstream(odd)
        << "import dbus\n"
           "b = dbus.SessionBus()\n"
           "p = b.get_object('org.mpris.MediaPlayer2.kra', '/org/mpris/MediaPlayer2')\n"
           "i = 'org.mpris.MediaPlayer2.Player'\n"
           "p.Seek(dbus.Int64(-2**63), dbus_interface=i)\n"
           "p.SetPosition(dbus.ObjectPath('/org/kra/track/999'), dbus.Int64(10**6), "
           "dbus_interface=i)\n"
           "p.SetPosition(dbus.ObjectPath('/org/kra/track/1'), dbus.Int64(-5), dbus_interface=i)\n"
           "print('ok')\n";
    EXPECT_EQ(Shell("/usr/bin/python3 " + odd.string()), "ok");
    // A 16 MB string.
    const fs::path big = root_ / "big.py";
    std::ofstream(big)
        << "import dbus\n"
           "b = dbus.SessionBus()\n"
           "p = b.get_object('org.mpris.MediaPlayer2.kra', '/org/mpris/MediaPlayer2')\n"
           "try:\n"
           "    p.OpenUri('x' * (16 << 20), dbus_interface='org.mpris.MediaPlayer2.Player')\n"
           "except dbus.exceptions.DBusException as e:\n"
           "    print(e.get_dbus_name())\n";
    const std::string name = Shell("/usr/bin/python3 " + big.string());
    EXPECT_FALSE(name.empty());
    EXPECT_EQ(Ctl("status"), "Paused");
    EXPECT_EQ(Ctl("metadata mpris:length"), "60000000");
    // A jump past any end is the next song; the player still answers.
    const std::string track = Ctl("metadata mpris:trackid");
    Shell(call + "org.mpris.MediaPlayer2.Player Seek x 9223372036854775807", &code);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(Until("metadata mpris:trackid", [&](const std::string& t) { return t != track; }));
}

TEST_F(MprisEndToEnd, RemoteMessagesThroughPost) {
    Start();
    ASSERT_TRUE(UntilIs("status", "Paused"));
    for (const char* message : {"49174", "49178", "49179"})
        EXPECT_EQ(WaitFor(Spawn({"--post", message, "0", "0"})), 0);
    EXPECT_EQ(WaitFor(Spawn({"--post", "32769", "197", "0"})), 0);
    EXPECT_EQ(WaitFor(Spawn({"--post", "0x10", "0", "0"})), 0);  // close
    EXPECT_EQ(Wait(), 0);
    const std::string log = LogText();
    const size_t next = log.find("WM_COMMAND 400");
    const size_t down = log.find("WM_COMMAND 404");
    EXPECT_NE(next, std::string::npos);
    EXPECT_NE(down, std::string::npos);
    EXPECT_EQ(log.find("HTC msg C01B"), std::string::npos);  // 49179 passed on
    const size_t swallowed = log.find("SCWMP:32769 197 0");
    ASSERT_NE(swallowed, std::string::npos);
    // No remote command followed the swallowed press.
    for (const char* command : {"WM_COMMAND 101", "WM_COMMAND 102", "WM_COMMAND 103"})
        EXPECT_EQ(log.find(command, swallowed), std::string::npos) << command;
}

TEST_F(MprisEndToEnd, ATakenNameGivesAnInstanceNameAndNoBusNoServer) {
    // Another owner of the name first.
    std::vector<std::string> args = {
        "/usr/bin/python3", "-c",
        "import dbus, time\nb = dbus.SessionBus()\n"
        "b.request_name('org.mpris.MediaPlayer2.kra', 4)\ntime.sleep(60)\n"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t holder = -1;
    ASSERT_EQ(posix_spawn(&holder, argv[0], nullptr, nullptr, argv.data(), environ), 0);
    EXPECT_TRUE(Until("-l", [](const std::string&) {
        return Shell("busctl --user status org.mpris.MediaPlayer2.kra | grep -c '^PID='") == "1";
    }));
    Start();
    const std::string instance = "org.mpris.MediaPlayer2.kra.instance" + std::to_string(pid_);
    EXPECT_TRUE(Until("-l", [&](const std::string&) {
        return Shell("busctl --user get-property " + instance +
                     " /org/mpris/MediaPlayer2 org.mpris.MediaPlayer2.Player PlaybackStatus") ==
               "s \"Paused\"";
    }));
    Shell("busctl --user call " + instance +
          " /org/mpris/MediaPlayer2 org.mpris.MediaPlayer2 Quit");
    EXPECT_EQ(Wait(), 0);
    kill(holder, SIGTERM);
    WaitFor(holder);
    fs::remove(root_ / "home" / "kra.log");

    // Without a session bus the player runs without the server.
    busAddress_ = "unix:path=" + (root_ / "no-bus").string();
    Start();
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (LogText().find("No Plugin loaded") == std::string::npos &&
           std::chrono::steady_clock::now() < limit)
        std::this_thread::yield();
    EXPECT_NE(LogText().find("No Plugin loaded"), std::string::npos);
    EXPECT_EQ(WaitFor(Spawn({"--post", "0x10", "0", "0"})), 0);  // close
    EXPECT_EQ(Wait(), 0);
}

}  // namespace
