// The MP4 box reader over arbitrary bytes, with every track and item read.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "media/mp4_reader.h"

namespace {

struct Input {
    const uint8_t* data;
    size_t size;
    uint64_t pos;
};

size_t Read(void* user, void* buffer, size_t bytes) {
    auto* in = static_cast<Input*>(user);
    if (in->pos >= in->size) return 0;
    size_t n = bytes < in->size - in->pos ? bytes : size_t(in->size - in->pos);
    std::memcpy(buffer, in->data + in->pos, n);
    in->pos += n;
    return n;
}

bool Seek(void* user, uint64_t position) {
    static_cast<Input*>(user)->pos = position;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input input{data, size, 0};
    kra::Mp4Reader reader;
    if (!reader.Open(kra::Mp4Callbacks{Read, Seek, &input, size})) return 0;
    volatile size_t sink = 0;
    for (int i = 0; i < reader.TrackCount(); ++i) {
        const kra::Mp4Track& track = reader.Track(i);
        sink = sink + track.decoderConfig.size() + track.timeScale + track.sampleCount;
    }
    for (const char* name : {"title", "artist", "album", "comment", "genre", "track", "date"}) {
        if (auto value = reader.Metadata(name)) sink = sink + value->size();
    }
    return 0;
}
