// The real player on a private session bus (run under dbus-run-session):
// playerctl and busctl as clients, and `kra --post` with the remote
// controls' messages.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "dbus/dbus_mock.h"
#include "support/bytes.h"

#ifndef KRA_BINARY
#error "KRA_BINARY must name the kra executable"
#endif

namespace kra {
namespace {

namespace fs = std::filesystem;
using test::ExitCode;
using test::WaitFor;

// A silent mono 8 kHz 8-bit WAV of `seconds`.
void WriteWav(const fs::path& path, uint32_t seconds) {
    using namespace test;
    const uint32_t data = 8000 * seconds;
    const Bytes wav = Text("RIFF") + Le32(36 + data) + Text("WAVEfmt ") + Le32(16) + Le16(1) +
                      Le16(1) + Le32(8000) + Le32(8000) + Le16(1) + Le16(8) + Text("data") +
                      Le32(data) + Bytes(data, 0x80);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(wav.data()), std::streamsize(wav.size()));
}

// A path as a quoted string value of the registry file: '\' separators,
// each doubled.
std::string RegPath(const fs::path& path) {
    std::string text = "\"";
    for (char c : path.string()) text += c == '/' ? "\\\\" : std::string(1, c);
    return text + "\"";
}

const std::string kBusctl =
    "busctl --user call org.mpris.MediaPlayer2.kra /org/mpris/MediaPlayer2 ";

class MprisEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* session = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        if (!session || !*session) GTEST_SKIP() << "needs a session bus";
        bus_ = session;
        home_.emplace("mpris");
        const fs::path music = home_->root / "music";
        fs::create_directories(music / "Zed" / "Long");
        fs::copy(fs::path(KRA_SOURCE_ASSETS) / "demo-music", music, fs::copy_options::recursive);
        const fs::path song = music / "Zed" / "Long" / "long.wav";
        WriteWav(song, 60);
        home_->WriteSettings("\"DebugOn\"=hex:01\n\"LastFolder\"=" + RegPath(music) +
                             "\n\"LastMusic\"=" + RegPath(song) +
                             "\n\"LastPaused\"=hex:01\n\"LastDuration\"=dword:00000000\n");
    }
    void TearDown() override {
        if (pid_ > 0) {
            Shell(kBusctl + "org.mpris.MediaPlayer2 Quit");
            Wait();
        }
        home_.reset();
    }

    // The player or `kra --post`; without a system bus.
    pid_t Spawn(const std::vector<std::string>& args) {
        return home_->Spawn(args, bus_, "unix:path=" + (home_->root / "no-bus").string());
    }
    void Start() { pid_ = Spawn({"--headless", "--audio-sink", "fakesink"}); }
    int Wait() {
        const int code = ExitCode(pid_);
        pid_ = -1;
        return code;
    }

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
        return WaitFor([&] { return ok(Ctl(args)); }, 20000);
    }
    static bool UntilIs(const std::string& args, const std::string& value) {
        return Until(args, [&](const std::string& out) { return out == value; });
    }
    static bool Between(const std::string& text, double low, double high) {
        const double v = std::atof(text.c_str());
        return v >= low && v < high;
    }

    std::string bus_;
    std::optional<test::PlayerHome> home_;
    pid_t pid_ = -1;
};

TEST_F(MprisEndToEnd, PlayerctlActsAndReadsBack) {
    Start();
    ASSERT_TRUE(UntilIs("status", "Paused"));
    EXPECT_EQ(Ctl("metadata xesam:title").empty(), false);
    EXPECT_EQ(Ctl("metadata mpris:length"), "60000000");
    const std::string track = Ctl("metadata mpris:trackid");
    EXPECT_NE(track.find("/org/kra/track/"), std::string::npos) << track;

    // Signals seen by a client on the bus.
    const fs::path signals = home_->root / "signals.txt";
    const std::string monitorPid =
        Shell("dbus-monitor --session \"type='signal',path='/org/mpris/MediaPlayer2'\" > " +
              signals.string() + " 2>/dev/null & echo $!");
    ASSERT_FALSE(monitorPid.empty());
    // The monitor is listening once it has printed its own greeting.
    WaitFor([&] { return fs::file_size(signals) > 0; }, 10000);

    Ctl("play");
    EXPECT_TRUE(UntilIs("status", "Playing"));
    Ctl("pause");
    EXPECT_TRUE(UntilIs("status", "Paused"));
    Ctl("play-pause");
    EXPECT_TRUE(UntilIs("status", "Playing"));

    Ctl("position 10");
    EXPECT_TRUE(Until("position", [](const std::string& p) { return Between(p, 10, 14); }));
    Ctl("position 5+");
    EXPECT_TRUE(Until("position", [](const std::string& p) { return Between(p, 15, 20); }));

    // Both back to plain play order, so that Next moves on.
    Ctl("loop Track");
    EXPECT_TRUE(UntilIs("loop", "Track"));
    Ctl("loop Playlist");
    EXPECT_TRUE(UntilIs("loop", "Playlist"));
    Ctl("shuffle On");
    EXPECT_TRUE(UntilIs("shuffle", "On"));
    Ctl("shuffle Off");
    EXPECT_TRUE(UntilIs("shuffle", "Off"));
    Ctl("volume 0.4");
    EXPECT_TRUE(Until("volume", [](const std::string& v) { return Between(v, 0.395, 0.405); }));
    Ctl("next");
    EXPECT_TRUE(Until("metadata mpris:trackid", [&](const std::string& t) { return t != track; }));

    Shell("kill " + monitorPid);
    std::ifstream in(signals);
    const std::string seen((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(seen.find("member=PropertiesChanged"), std::string::npos);
    EXPECT_NE(seen.find("member=Seeked"), std::string::npos);
    EXPECT_NE(seen.find("PlaybackStatus"), std::string::npos);

    Shell(kBusctl + "org.mpris.MediaPlayer2 Quit");
    EXPECT_EQ(Wait(), 0);
    EXPECT_GE(home_->Find("Plugin 1 loaded"), 0);
}

TEST_F(MprisEndToEnd, MalformedCallsGetErrorsAndThePlayerKeepsAnswering) {
    Start();
    ASSERT_TRUE(UntilIs("status", "Paused"));
    const std::string player = kBusctl + "org.mpris.MediaPlayer2.Player ";
    const std::string set =
        "busctl --user set-property org.mpris.MediaPlayer2.kra /org/mpris/MediaPlayer2 ";
    int code = 0;
    for (const std::string& bad : {
             player + "Seek s hello",
             player + "SetPosition x 5",
             player + "Dance",
             player + "OpenUri s file:///x",
             set + "org.mpris.MediaPlayer2 Identity s Other",
             set + "org.mpris.MediaPlayer2.Player PlaybackStatus s Playing",
             set + "org.mpris.MediaPlayer2.Player Volume d nan",
             set + "org.mpris.MediaPlayer2.Player LoopStatus s Forever",
             set + "org.mpris.MediaPlayer2.Player Rate d 2",
         }) {
        Shell(bad, &code);
        EXPECT_NE(code, 0) << bad;
    }
    // Jumps to the ends and stale track ids are no-ops, never a crash; a
    // 16 MB string gets an error.
    const fs::path odd = home_->root / "odd.py";
    std::ofstream(odd)
        << "import dbus\n"
           "b = dbus.SessionBus()\n"
           "p = b.get_object('org.mpris.MediaPlayer2.kra', '/org/mpris/MediaPlayer2')\n"
           "i = 'org.mpris.MediaPlayer2.Player'\n"
           "p.Seek(dbus.Int64(-2**63), dbus_interface=i)\n"
           "p.SetPosition(dbus.ObjectPath('/org/kra/track/999'), dbus.Int64(10**6), "
           "dbus_interface=i)\n"
           "p.SetPosition(dbus.ObjectPath('/org/kra/track/1'), dbus.Int64(-5), dbus_interface=i)\n"
           "try:\n"
           "    p.OpenUri('x' * (16 << 20), dbus_interface=i)\n"
           "except dbus.exceptions.DBusException as e:\n"
           "    print(e.get_dbus_name())\n";
    EXPECT_NE(Shell("/usr/bin/python3 " + odd.string()), "");
    EXPECT_EQ(Ctl("status"), "Paused");
    EXPECT_EQ(Ctl("metadata mpris:length"), "60000000");
    // A jump past any end is the next song; the player still answers.
    const std::string track = Ctl("metadata mpris:trackid");
    Shell(player + "Seek x 9223372036854775807", &code);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(Until("metadata mpris:trackid", [&](const std::string& t) { return t != track; }));
}

TEST_F(MprisEndToEnd, RemoteMessagesThroughPost) {
    Start();
    ASSERT_TRUE(UntilIs("status", "Paused"));
    for (const char* message : {"49174", "49178", "49179"})
        EXPECT_EQ(ExitCode(Spawn({"--post", message, "0", "0"})), 0);
    EXPECT_EQ(ExitCode(Spawn({"--post", "32769", "197", "0"})), 0);
    EXPECT_EQ(ExitCode(Spawn({"--post", "0x10", "0", "0"})), 0);  // close
    EXPECT_EQ(Wait(), 0);
    const std::vector<std::string> log = home_->Log();
    EXPECT_GE(home_->Find("WM_COMMAND 400"), 0);
    EXPECT_GE(home_->Find("WM_COMMAND 404"), 0);
    for (const std::string& line : log)  // 49179 passed on
        EXPECT_NE(line.rfind("HTC msg C01B", 0), 0u) << line;
    const int swallowed = home_->Find("SCWMP:32769 197 0");
    ASSERT_GE(swallowed, 0);
    // No remote command followed the swallowed press.
    for (const char* command : {"WM_COMMAND 101", "WM_COMMAND 102", "WM_COMMAND 103"})
        EXPECT_EQ(home_->Find(command, swallowed), -1) << command;
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
    EXPECT_TRUE(WaitFor(
        [] {
            return Shell("busctl --user status org.mpris.MediaPlayer2.kra | grep -c '^PID='") ==
                   "1";
        },
        20000));
    Start();
    const std::string instance = "org.mpris.MediaPlayer2.kra.instance" + std::to_string(pid_);
    EXPECT_TRUE(WaitFor(
        [&] {
            return Shell("busctl --user get-property " + instance +
                         " /org/mpris/MediaPlayer2 org.mpris.MediaPlayer2.Player "
                         "PlaybackStatus") == "s \"Paused\"";
        },
        20000));
    Shell("busctl --user call " + instance +
          " /org/mpris/MediaPlayer2 org.mpris.MediaPlayer2 Quit");
    EXPECT_EQ(Wait(), 0);
    kill(holder, SIGTERM);
    ExitCode(holder);

    // Without a session bus the player runs without the server.
    bus_ = "unix:path=" + (home_->root / "no-bus").string();
    Start();
    EXPECT_TRUE(home_->Logged("No Plugin loaded"));
    EXPECT_EQ(ExitCode(Spawn({"--post", "0x10", "0", "0"})), 0);  // close
    EXPECT_EQ(Wait(), 0);
}

}  // namespace
}  // namespace kra
