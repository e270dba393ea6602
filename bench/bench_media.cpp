// Files per second for Open + DurationSeconds + ReadTags + Close over a
// generated folder of MP3 (CBR with a 30 KB cover, VBR with Xing and an
// ID3v2.4 tag), WAV, ADTS AAC and M4A files; with and without pulling out
// the cover; against opening and reading 4 KiB of each file; and, when
// TagLib is installed, against TagLib's FileRef with average properties on
// the files both read (TagLib does not open raw .aac files).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "media/media_probe.h"
#include "media/tag_info.h"
#include "platform/files.h"

#ifdef KRA_HAVE_TAGLIB
#include <taglib/audioproperties.h>
#include <taglib/fileref.h>
#include <taglib/tag.h>
#endif

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kCopies = 60;  // of each kind

void Append(Bytes& to, const Bytes& from) {
    to.insert(to.end(), from.begin(), from.end());
}
Bytes Str(const std::string& s) {
    return Bytes(s.begin(), s.end());
}
Bytes Be32(uint32_t v) {
    return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}
Bytes Syncsafe(uint32_t v) {
    return {uint8_t((v >> 21) & 0x7F), uint8_t((v >> 14) & 0x7F), uint8_t((v >> 7) & 0x7F),
            uint8_t(v & 0x7F)};
}
Bytes Frame(const std::string& id, const Bytes& data) {
    Bytes f = Str(id);
    Append(f, Be32(uint32_t(data.size())));
    Append(f, {0, 0});
    Append(f, data);
    return f;
}

// CBR 128 kbit/s MP3 with an ID3v2.3 tag holding texts and a 30 KB JPEG.
Bytes CbrMp3(int n) {
    Bytes body;
    Append(body, Frame("TIT2", Str(std::string(1, '\0') + "Song " + std::to_string(n))));
    Append(body, Frame("TPE1", Str(std::string(1, '\0') + "Some Artist")));
    Append(body, Frame("TALB", Str(std::string(1, '\0') + "Some Album")));
    Append(body, Frame("TRCK", Str(std::string(1, '\0') + std::to_string(n % 20 + 1) + "/20")));
    Bytes apic = Str(std::string(1, '\0') + "image/jpeg" + std::string(1, '\0') + "\x03" +
                     std::string(1, '\0'));
    Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xE0};
    uint32_t seed = uint32_t(n) * 2654435761u;
    for (int i = 0; i < 30000; ++i) {
        seed = seed * 1103515245 + 12345;
        uint8_t b = uint8_t(seed >> 16);
        jpeg.push_back(b == 0xFF ? 0xFE : b);
    }
    Append(jpeg, {0xFF, 0xD9});
    Append(apic, jpeg);
    Append(body, Frame("APIC", apic));
    Append(body, Bytes(512, 0));
    Bytes file = Str("ID3");
    Append(file, {3, 0, 0});
    Append(file, Syncsafe(uint32_t(body.size())));
    Append(file, body);
    for (int i = 0; i < 300; ++i) {
        Bytes frame(417, 0);
        frame[0] = 0xFF, frame[1] = 0xFB, frame[2] = 0x90, frame[3] = 0x40;
        Append(file, frame);
    }
    return file;
}

Bytes Wav() {
    auto le32 = [](uint32_t v) {
        return Bytes{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    };
    Bytes file = Str("RIFF");
    Append(file, le32(36 + 176400));
    Append(file, Str("WAVEfmt "));
    Append(file, le32(16));
    Append(file, {1, 0, 2, 0});
    Append(file, le32(44100));
    Append(file, le32(176400));
    Append(file, {4, 0, 16, 0});
    Append(file, Str("data"));
    Append(file, le32(176400));
    file.resize(file.size() + 176400, 0);
    return file;
}

struct Corpus {
    std::vector<std::u16string> common;  // files TagLib reads too
    std::vector<std::u16string> all;
    std::u16string picture;
};

const Corpus& Files() {
    static const Corpus corpus = [] {
        Corpus c;
        std::string root = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") +
                           "/kra_bench_media";
        std::u16string folder = kra::platform::FromPosixPath(root);
        kra::platform::CreateFolder(folder);
        std::vector<uint8_t> vbr, aac, m4a;
        std::string data = std::string(KRA_SOURCE_DIR) + "/tests/media/data/";
        kra::platform::ReadFileBytes(kra::platform::FromPosixPath(data + "vbr.mp3"), vbr);
        kra::platform::ReadFileBytes(kra::platform::FromPosixPath(data + "tone.aac"), aac);
        kra::platform::ReadFileBytes(kra::platform::FromPosixPath(data + "tone.m4a"), m4a);
        Bytes wav = Wav();
        for (int i = 0; i < kCopies; ++i) {
            auto add = [&](const std::string& name, const Bytes& bytes, bool common) {
                std::u16string path = folder + u"\\" + kra::platform::NameFromPosix(name);
                kra::platform::WriteFileAtomic(path, bytes);
                c.all.push_back(path);
                if (common) c.common.push_back(path);
            };
            std::string n = std::to_string(i);
            add("cbr" + n + ".mp3", CbrMp3(i), true);
            add("vbr" + n + ".mp3", vbr, true);
            add("pcm" + n + ".wav", wav, true);
            add("tone" + n + ".m4a", m4a, true);
            add("tone" + n + ".aac", aac, false);
        }
        c.picture = folder + u"\\picture.bin";
        return c;
    }();
    return corpus;
}

void RunProbe(benchmark::State& state, const std::vector<std::u16string>& files,
              const std::u16string& picture) {
    kra::MediaFileProbe& probe = kra::SharedMediaFileProbe();
    int64_t seconds = 0;
    for (auto _ : state) {
        for (const std::u16string& path : files) {
            probe.Open(path);
            seconds += probe.DurationSeconds();
            kra::TagInfo tags{};
            probe.ReadTags(tags, false, picture);
            probe.Close();
        }
    }
    benchmark::DoNotOptimize(seconds);
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(files.size()));
}

void BM_ProbeAndTags(benchmark::State& state) {
    RunProbe(state, Files().common, u"");
}
void BM_ProbeAndTagsWithPicture(benchmark::State& state) {
    RunProbe(state, Files().common, Files().picture);
}
void BM_ProbeAndTagsAllFormats(benchmark::State& state) {
    RunProbe(state, Files().all, u"");
}

// The floor: open each file and read its first 4 KiB.
void BM_OpenAndRead4K(benchmark::State& state) {
    const std::vector<std::u16string>& files = Files().common;
    uint8_t buffer[4096];
    size_t total = 0;
    for (auto _ : state) {
        for (const std::u16string& path : files) {
            kra::platform::File file;
            if (file.OpenRead(path)) total += file.Read(buffer, sizeof buffer);
        }
    }
    benchmark::DoNotOptimize(total);
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(files.size()));
}

BENCHMARK(BM_ProbeAndTags)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProbeAndTagsWithPicture)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProbeAndTagsAllFormats)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenAndRead4K)->Unit(benchmark::kMillisecond);

#ifdef KRA_HAVE_TAGLIB
void BM_TagLib(benchmark::State& state) {
    std::vector<std::string> files;
    for (const std::u16string& path : Files().common)
        files.push_back(kra::platform::ToPosixPath(path));
    int64_t seconds = 0;
    for (auto _ : state) {
        for (const std::string& path : files) {
            TagLib::FileRef ref(path.c_str(), true, TagLib::AudioProperties::Average);
            if (ref.isNull()) continue;
            if (ref.audioProperties()) seconds += ref.audioProperties()->length();
            if (ref.tag()) seconds += ref.tag()->title().size() + ref.tag()->track();
        }
    }
    benchmark::DoNotOptimize(seconds);
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(files.size()));
}
BENCHMARK(BM_TagLib)->Unit(benchmark::kMillisecond);
#endif

}  // namespace
