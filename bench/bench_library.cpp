// The library scan against a bare directory walk of the same tree, and the
// start-up read of a full "kra.blt".
//
// Goals: the scan within 1.5x of the bare walk (readdir with d_type, keeping
// the audio paths and the album folders and sorting them) at both sizes; the
// 65,535-song lists loaded into the ready library within 30 ms.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/base/text.h"
#include "library/indexes.h"
#include "library/list_files.h"
#include "library/scan.h"
#include "platform/files.h"

namespace {

namespace fs = std::filesystem;

fs::path BenchFolder() {
    // Never destroyed: the exit handler still needs it.
    static const fs::path& folder = *new fs::path([] {
        std::error_code error;
        const fs::path base =
            fs::is_directory("/dev/shm", error) ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string pattern = (base / "kra-bench-XXXXXX").string();
        const fs::path made = mkdtemp(pattern.data());
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(BenchFolder(), ignored);
        });
        return made;
    }());
    return folder;
}

// A tree of `songs` empty songs in `songs / 10` album folders: artists of ten
// albums of ten songs, with a cover and a text file beside the songs.
fs::path Tree(int songs) {
    static std::map<int, fs::path> made;
    const auto found = made.find(songs);
    if (found != made.end()) return found->second;
    const fs::path root = BenchFolder() / ("tree" + std::to_string(songs));
    const int albums = songs / 10;
    for (int a = 0; a < albums; ++a) {
        const fs::path album = root / ("Artist " + std::to_string(a / 10)) /
                               ("Album " + std::to_string(a % 10) + " (Deluxe Edition)");
        fs::create_directories(album);
        for (int s = 0; s < 10; ++s) {
            const fs::path song = album / ("0" + std::to_string(s) + " Song number " +
                                           std::to_string(s) + " of the album.mp3");
            close(open(song.c_str(), O_CREAT | O_WRONLY, 0644));
        }
        close(open((album / "folder.jpg").c_str(), O_CREAT | O_WRONLY, 0644));
        close(open((album / "notes.txt").c_str(), O_CREAT | O_WRONLY, 0644));
    }
    made[songs] = root;
    return root;
}

bool IsAudio(const char* name) {
    const size_t n = std::strlen(name);
    if (n < 4) return false;
    static const char* const kExtensions[] = {".mp2", ".mp3", ".mp4", ".wma",
                                              ".wav", ".m4a", ".aac", ".3gp"};
    for (const char* ext : kExtensions) {
        if (strncasecmp(name + n - 4, ext, 4) == 0) return true;
    }
    return false;
}

// The bare walk: readdir with d_type, audio paths and album folders kept and
// sorted.
void BareWalk(const std::string& folder, std::vector<std::string>& albums,
              std::vector<std::string>& songs) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return;
    bool album = false;
    std::vector<std::string> subfolders;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        if (entry->d_type == DT_DIR) {
            subfolders.push_back(folder + "/" + entry->d_name);
        } else if (IsAudio(entry->d_name)) {
            songs.push_back(folder + "/" + entry->d_name);
            album = true;
        }
    }
    closedir(dir);
    if (album) albums.push_back(folder);
    for (const std::string& sub : subfolders) BareWalk(sub, albums, songs);
}

void BM_BareWalk(benchmark::State& state) {
    const fs::path root = Tree(int(state.range(0)));
    for (auto _ : state) {
        std::vector<std::string> albums;
        std::vector<std::string> songs;
        BareWalk(root.string(), albums, songs);
        std::sort(albums.begin(), albums.end());
        std::sort(songs.begin(), songs.end());
        benchmark::DoNotOptimize(songs.data());
    }
}

void BM_ScanLibrary(benchmark::State& state) {
    const fs::path root = Tree(int(state.range(0)));
    const std::u16string core = kra::platform::FromPosixPath(root.string());
    for (auto _ : state) {
        kra::TextList folders;
        kra::TextList songs;
        kra::ScanLibrary(core, folders, songs);
        if (songs.size() != size_t(state.range(0))) state.SkipWithError("wrong song count");
        benchmark::DoNotOptimize(songs.size());
    }
}

BENCHMARK(BM_BareWalk)->Arg(10000)->Arg(60000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanLibrary)->Arg(10000)->Arg(60000)->Unit(benchmark::kMillisecond);

// Program folder with a 65,535-song "kra.blt" and an album's "kra.plt".
std::u16string FullListFolder() {
    static const std::u16string home = [] {
        const fs::path folder = BenchFolder() / "home";
        fs::create_directories(folder);
        const std::u16string core = kra::platform::FromPosixPath(folder.string());
        kra::Library library;
        for (int i = 0; i < 65535; ++i) {
            const std::u16string path =
                u"\\home\\ann\\Music\\Artist " + kra::Utf8ToUtf16(std::to_string(i / 100)) +
                u"\\Album " + kra::Utf8ToUtf16(std::to_string(i / 10 % 10)) +
                u" (Deluxe Edition)\\0" + kra::Utf8ToUtf16(std::to_string(i % 10)) +
                u" Song number of the album.mp3";
            library.browse.push_back(path);
        }
        for (int i = 0; i < 10; ++i) library.play.Append(library.browse[size_t(i)], uint32_t(i));
        library.playSubList = true;
        kra::SavePlayLists(library, core, true);
        return core;
    }();
    return home;
}

void BM_LoadFullLists(benchmark::State& state) {
    const std::u16string home = FullListFolder();
    for (auto _ : state) {
        kra::Library library;
        library.root = u"\\home\\ann\\Music";
        kra::LoadLibraryLists(library, home);
        library.albumCount = library.FolderCount();
        kra::AssignAF(library);
        if (library.SongCount() != 65535) state.SkipWithError("wrong song count");
        benchmark::DoNotOptimize(library.views.allSongs.size());
    }
}
BENCHMARK(BM_LoadFullLists)->Unit(benchmark::kMillisecond);

}  // namespace
