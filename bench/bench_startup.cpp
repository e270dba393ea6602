// The player itself with a 65,535-song library: the real binary, headless,
// started on a program folder whose "kra.blt" holds 65,535 songs and whose
// "kra.plt" one album of them (argument 0), or whose "kra.plt" alone holds
// all of them (argument 1: the whole library was playing); argument 2 starts
// it on an empty program folder for comparison.
//
// Each iteration starts the player, posts it a volume step and times until
// the step reaches the settings file: start-up, the first frame and the
// first message handled. Then it reads the resident memory (rss_mb), closes
// the player and takes the most it ever held, its shutdown with the
// list-file write included (rss_peak_mb), and the processor time it used
// (player_cpu_ms).
//
// Goals: resident memory with that library under 60 MB. Start-up to the
// first presented frame (under 150 ms) is measured without process start
// and GStreamer set-up by BM_StartUpToFirstListFrame in bench_list.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "app/base/text.h"
#include "library/list_files.h"
#include "platform/instance.h"
#include "support/spawn.h"

#ifndef KRA_BINARY
#error "KRA_BINARY must name the kra executable"
#endif

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kSongs = 65535;

const fs::path& Base() {
    static const fs::path& base = *new fs::path([] {
        const fs::path tmp =
            fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string pattern = (tmp / "kra-bench-startup-XXXXXX").string();
        const fs::path made = mkdtemp(pattern.data());
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(Base(), ignored);
        });
        return made;
    }());
    return base;
}

void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// The list files for the argument (made once). The player rewrites its list
// files at exit, so every run gets a fresh copy.
fs::path Lists(int wholeLibrary) {
    const fs::path home = Base() / ("lists" + std::to_string(wholeLibrary));
    if (fs::exists(home)) return home;
    fs::create_directories(home);
    if (wholeLibrary == 2) return home;
    kra::TextList songs;
    for (int i = 0; i < kSongs; ++i) {
        songs.push_back(
            kra::Utf8ToUtf16(kra::Format("\\home\\user\\Music\\Artist %03d\\Album %04d\\%02d Song "
                                         "number %05d of the library.mp3",
                                         i / 128, i / 16, i % 16 + 1, i)));
    }
    std::vector<uint8_t> bytes;
    if (wholeLibrary == 1) {
        kra::EncodeSongsAsPlayList(songs, bytes);
        WriteBytes(home / "kra.plt", bytes);
    } else {
        kra::EncodeBrowseList(songs, bytes);
        WriteBytes(home / "kra.blt", bytes);
        kra::PlayList album;
        for (int i = 16; i < 32; ++i) album.Append(songs[size_t(i)], uint32_t(i));
        kra::EncodePlayList(album, bytes);
        WriteBytes(home / "kra.plt", bytes);
    }
    return home;
}

double StatusMb(pid_t pid, const char* field) {
    std::FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r");
    if (!f) return 0;
    char line[256];
    double mb = 0;
    const size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, field, n) == 0) mb = std::atof(line + n) / 1024.0;
    }
    std::fclose(f);
    return mb;
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Run {
    double seconds = 0;  // spawn until the volume step was stored
    double rssMb = 0;
    double peakMb = 0;
    double cpuMs = 0;  // the player's user and system time, its whole life
    bool ok = false;
};

Run RunPlayer(const fs::path& lists) {
    Run run;
    const fs::path home = Base() / "home";
    fs::remove_all(home);
    fs::copy(lists, home);
    const fs::path config = Base() / "config";
    const fs::path runtime = Base() / "run";
    fs::remove_all(config);
    fs::create_directories(config);
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all, fs::perm_options::replace);
    const fs::path registry = config / "kra" / "registry.reg";

    std::vector<std::string> args = {KRA_BINARY, "--headless", "--audio-sink", "fakesink"};
    std::vector<std::string> env = {
        "PATH=/usr/bin:/bin",
        "HOME=" + Base().string(),
        "KRA_HOME=" + home.string(),
        "XDG_CONFIG_HOME=" + config.string(),
        "XDG_RUNTIME_DIR=" + runtime.string(),
        "XDG_DATA_HOME=" + (Base() / "data").string(),
    };
    const Clock::time_point start = Clock::now();
    const pid_t pid = kra::test::SpawnProgram(std::move(args), std::move(env));
    if (pid < 0) return run;

    const std::string dir = (runtime / "kra").string();
    const Clock::time_point limit = start + std::chrono::seconds(30);
    bool posted = false;
    while (Clock::now() < limit) {
        std::string reply;
        if (!posted) {
            // Volume down one step (80 to 75): stored at once when handled.
            posted = kra::platform::SendControlRequest(dir, "post 0x111 404 0", &reply) ==
                     kra::platform::ControlResult::kOk;
        } else if (ReadText(registry).find("\"MusicVolume\"=dword:0000004b") != std::string::npos) {
            run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
            run.ok = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    run.rssMb = StatusMb(pid, "VmRSS:");
    std::string reply;
    kra::platform::SendControlRequest(dir, "post 0x10 0 0", &reply);  // WM_CLOSE
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0) {
    }
    run.peakMb = double(usage.ru_maxrss) / 1024.0;
    run.cpuMs = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    run.ok = run.ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

void BM_PlayerWithFullLibrary(benchmark::State& state) {
    const fs::path lists = Lists(int(state.range(0)));
    RunPlayer(lists);  // warm cache
    double rss = 0, peak = 0, cpu = 0;
    for (auto _ : state) {
        const Run run = RunPlayer(lists);
        if (!run.ok) {
            state.SkipWithError("the player did not start, answer or close");
            return;
        }
        state.SetIterationTime(run.seconds);
        rss = std::max(rss, run.rssMb);
        peak = std::max(peak, run.peakMb);
        cpu += run.cpuMs;
    }
    state.counters["rss_mb"] = rss;
    state.counters["rss_peak_mb"] = peak;
    state.counters["player_cpu_ms"] = cpu / double(state.iterations());
}
BENCHMARK(BM_PlayerWithFullLibrary)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

}  // namespace
