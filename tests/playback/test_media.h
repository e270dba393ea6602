// Test helpers of the playback tests: a temporary folder and WAV files made
// in memory.
#pragma once
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/files.h"

namespace kra::test {

class TempFolder {
  public:
    TempFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kra-playback-XXXXXX").string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (mkdtemp(buffer.data()) != nullptr) posix_ = buffer.data();
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!posix_.empty()) std::filesystem::remove_all(posix_, ignored);
    }
    const std::string& Posix() const { return posix_; }
    std::u16string Core() const { return platform::FromPosixPath(posix_); }
    // Writes a file and returns its core path.
    std::u16string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        const std::string path = posix_ + "/" + name;
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return platform::FromPosixPath(path);
    }

  private:
    std::string posix_;
};

struct WavTags {
    std::string title, artist, album;
};

// 8-bit mono PCM at `rate`, a square wave of `ms` milliseconds, with an
// optional LIST INFO chunk (INAM title, IART artist, IPRD album) before the
// data.
inline std::vector<uint8_t> MakeWav(uint32_t rate, uint32_t ms, const WavTags& tags = {}) {
    std::vector<uint8_t> out;
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
    };
    auto put16 = [&](uint16_t v) {
        out.push_back(uint8_t(v));
        out.push_back(uint8_t(v >> 8));
    };
    auto putText = [&](const char* id) { out.insert(out.end(), id, id + 4); };
    std::vector<uint8_t> info;
    auto addInfo = [&](const char* id, const std::string& text) {
        if (text.empty()) return;
        info.insert(info.end(), id, id + 4);
        const uint32_t size = uint32_t(text.size() + 1);
        for (int i = 0; i < 4; ++i) info.push_back(uint8_t(size >> (8 * i)));
        info.insert(info.end(), text.begin(), text.end());
        info.push_back(0);
        if (size & 1) info.push_back(0);
    };
    addInfo("INAM", tags.title);
    addInfo("IART", tags.artist);
    addInfo("IPRD", tags.album);

    const uint32_t samples = uint32_t(uint64_t(rate) * ms / 1000);
    const uint32_t listSize = info.empty() ? 0 : uint32_t(12 + info.size());
    putText("RIFF");
    put32(4 + 24 + listSize + 8 + samples + (samples & 1));
    putText("WAVE");
    putText("fmt ");
    put32(16);
    put16(1);     // PCM
    put16(1);     // mono
    put32(rate);  // sample rate
    put32(rate);  // bytes per second
    put16(1);     // block align
    put16(8);     // bits
    if (!info.empty()) {
        putText("LIST");
        put32(uint32_t(4 + info.size()));
        putText("INFO");
        out.insert(out.end(), info.begin(), info.end());
    }
    putText("data");
    put32(samples);
    for (uint32_t i = 0; i < samples; ++i) out.push_back((i / 20) % 2 ? 0xA0 : 0x60);
    if (samples & 1) out.push_back(0);
    return out;
}

}  // namespace kra::test
