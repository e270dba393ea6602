// WAV files made in memory for the playback tests.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "support/bytes.h"
#include "support/temp_tree.h"

namespace kra::test {

struct WavTags {
    std::string title, artist, album;
};

// 8-bit mono PCM at `rate`, a square wave of `ms` milliseconds, with an
// optional LIST INFO chunk (INAM title, IART artist, IPRD album) before the
// data.
inline Bytes MakeWav(uint32_t rate, uint32_t ms, const WavTags& tags = {}) {
    Bytes info;
    for (auto [id, text] : {std::pair{"INAM", &tags.title}, std::pair{"IART", &tags.artist},
                            std::pair{"IPRD", &tags.album}}) {
        if (text->empty()) continue;
        info += Text(id) + Le32(uint32_t(text->size() + 1)) + Text(*text) + Bytes{0};
        if (text->size() % 2 == 0) info.push_back(0);  // chunks are padded to even sizes
    }
    const uint32_t samples = uint32_t(uint64_t(rate) * ms / 1000);
    Bytes chunks = Text("fmt ") + Le32(16) + Le16(1) + Le16(1) + Le32(rate) + Le32(rate) + Le16(1) +
                   Le16(8);  // PCM, mono, rate, bytes per second, align, bits
    if (!info.empty())
        chunks += Text("LIST") + Le32(uint32_t(4 + info.size())) + Text("INFO") + info;
    chunks += Text("data") + Le32(samples);
    for (uint32_t i = 0; i < samples; ++i) chunks.push_back((i / 20) % 2 ? 0xA0 : 0x60);
    if (samples & 1) chunks.push_back(0);
    return Text("RIFF") + Le32(uint32_t(4 + chunks.size())) + Text("WAVE") + chunks;
}

}  // namespace kra::test
