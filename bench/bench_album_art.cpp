// The list-art pass over a folder of albums: cold (every album's tags read,
// its embedded picture extracted and copied, decoded to a thumbnail, both
// caches written) and with its caches (two existence tests per album), and
// the list rows' reads of the caches. Album-flow loads cold and cached.
//
// The albums live in a temporary folder on the system's temporary storage:
// 40 albums, each with a song that embeds a 500 x 500 JPEG, every fourth with
// a "cover.jpg" beside it instead.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "media/album_art.h"
#include "media/album_art_files.h"
#include "platform/files.h"
#include "tests/graphics/image_files.h"

namespace {

namespace fs = std::filesystem;
constexpr int kAlbums = 40;

using Bytes = std::vector<uint8_t>;

// Byte by byte: GCC 12's bounds check misreads vector inserts of short
// literals in optimised builds.
void Put(Bytes& out, const Bytes& more) {
    for (uint8_t b : more) out.push_back(b);
}
void Put(Bytes& out, const std::string& text) {
    for (char c : text) out.push_back(uint8_t(c));
}

Bytes Frame(const std::string& id, const Bytes& data) {
    Bytes f;
    Put(f, id);
    const uint32_t n = uint32_t(data.size());
    Put(f, Bytes{uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n), 0, 0});
    Put(f, data);
    return f;
}

Bytes TextData(const std::string& text) {
    Bytes d(1, 0);
    Put(d, text);
    return d;
}

Bytes Song(int album, const Bytes& picture) {
    Bytes body = Frame("TIT2", TextData("Song"));
    Put(body, Frame("TPE1", TextData("Artist " + std::to_string(album % 7))));
    Put(body, Frame("TALB", TextData("Album " + std::to_string(album))));
    if (!picture.empty()) {
        Bytes apic(1, 0);
        Put(apic, std::string("image/jpeg"));
        Put(apic, Bytes{0, 3, 0});
        Put(apic, picture);
        Put(body, Frame("APIC", apic));
    }
    const uint32_t n = uint32_t(body.size());
    Bytes song;
    Put(song, std::string("ID3"));
    Put(song, Bytes{3, 0, 0, uint8_t((n >> 21) & 0x7F), uint8_t((n >> 14) & 0x7F),
                    uint8_t((n >> 7) & 0x7F), uint8_t(n & 0x7F)});
    Put(song, body);
    for (int i = 0; i < 8; ++i) {
        Bytes frame(417, 0);
        frame[0] = 0xFF, frame[1] = 0xFB, frame[2] = 0x90, frame[3] = 0x64;
        Put(song, frame);
    }
    return song;
}

Bytes Picture(int seed) {
    const uint32_t side = 500;
    std::vector<uint8_t> rgb(size_t(side) * side * 3);
    for (uint32_t y = 0; y < side; ++y)
        for (uint32_t x = 0; x < side; ++x) {
            uint8_t* p = &rgb[(size_t(y) * side + x) * 3];
            p[0] = uint8_t(x + seed * 13), p[1] = uint8_t(y * 2), p[2] = uint8_t((x ^ y) + seed);
        }
    return kra::test::JpegBytes(side, side, rgb, 3, false, 85);
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

struct Library {
    fs::path root;
    std::vector<std::u16string> folders;

    Library() {
        std::string pattern = (fs::temp_directory_path() / "kra-bench-art-XXXXXX").string();
        root = mkdtemp(pattern.data());
        fs::create_directories(root / "prog");
        kra::platform::SetProgramFolder(kra::platform::FromPosixPath((root / "prog").string()));
        for (int i = 0; i < kAlbums; ++i) {
            const fs::path folder = root / ("Album " + std::to_string(i));
            const Bytes picture = Picture(i);
            if (i % 4 == 3) {
                WriteFile(folder / "cover.jpg", picture);
                WriteFile(folder / "01.mp3", Song(i, {}));
            } else {
                WriteFile(folder / "01.mp3", Song(i, picture));
            }
            WriteFile(folder / "02.mp3", Song(i, {}));
            folders.push_back(kra::platform::FromPosixPath(folder.string()));
        }
    }
    ~Library() {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    void ClearCaches() const {
        for (int i = 0; i < kAlbums; ++i) {
            const fs::path folder = root / ("Album " + std::to_string(i));
            fs::remove(folder / "kra1.tag");
            fs::remove(folder / "kra3.tag");
            if (i % 4 != 3) fs::remove(folder / "folder.jpg");
        }
    }
};

Library& Albums() {
    static Library library;
    return library;
}

kra::ArtOptions Options() {
    kra::ArtOptions options;
    options.coverSize = 304;     // a 480 x 800 double-density album flow
    options.thumbnailSize = 60;  // a list row's picture at double density
    return options;
}

void BM_BuildListArtCold(benchmark::State& state) {
    const Library& library = Albums();
    for (auto _ : state) {
        state.PauseTiming();
        library.ClearCaches();
        state.ResumeTiming();
        benchmark::DoNotOptimize(kra::BuildListArt(library.folders, Options()));
    }
    state.SetItemsProcessed(state.iterations() * kAlbums);
}
BENCHMARK(BM_BuildListArtCold)->Unit(benchmark::kMillisecond);

void BM_BuildListArtCached(benchmark::State& state) {
    const Library& library = Albums();
    library.ClearCaches();
    kra::BuildListArt(library.folders, Options());
    for (auto _ : state) {
        benchmark::DoNotOptimize(kra::BuildListArt(library.folders, Options()));
    }
    state.SetItemsProcessed(state.iterations() * kAlbums);
}
BENCHMARK(BM_BuildListArtCached)->Unit(benchmark::kMicrosecond);

// What scrolling a list of these albums costs per row: caption and
// thumbnail read from the caches (the caption is not drawn here).
void BM_LoadListSlots(benchmark::State& state) {
    const Library& library = Albums();
    library.ClearCaches();
    kra::BuildListArt(library.folders, Options());
    std::vector<kra::ListArtSlot> slots(kAlbums);
    for (auto _ : state) {
        for (int i = 0; i < kAlbums; ++i) {
            slots[size_t(i)].captionLoaded = slots[size_t(i)].thumbnailLoaded = 0;
            benchmark::DoNotOptimize(
                kra::LoadListSlot(slots[size_t(i)], library.folders[size_t(i)], nullptr));
        }
    }
    state.SetItemsProcessed(state.iterations() * kAlbums);
}
BENCHMARK(BM_LoadListSlots)->Unit(benchmark::kMicrosecond);

// One album-flow cover: cold (tags, extraction, decode, both copies) and
// with "kra1.tag" and "folder.jpg" in place (a decode to the cover size).
void BM_LoadAlbumArt(benchmark::State& state) {
    const Library& library = Albums();
    const bool cold = state.range(0) != 0;
    library.ClearCaches();
    kra::AlbumArt art;
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            library.ClearCaches();
            state.ResumeTiming();
        }
        for (const std::u16string& folder : library.folders)
            kra::LoadAlbumArt(folder, true, Options(), art);
    }
    state.SetItemsProcessed(state.iterations() * kAlbums);
}
BENCHMARK(BM_LoadAlbumArt)->Arg(1)->Arg(0)->ArgNames({"cold"})->Unit(benchmark::kMillisecond);

}  // namespace
