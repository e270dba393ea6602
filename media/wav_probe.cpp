// RIFF WAVE files: the "fmt " chunk, an optional "fact" sample count and the
// "data" chunk, found byte by byte when other chunks stand before it.
#include <algorithm>
#include <cstring>
#include <vector>

#include "media/probe_formats.h"

namespace kra {
namespace {

constexpr uint16_t kWavePcm = 0x0001;
constexpr uint32_t kMaxBlockAlign = 4096;
constexpr size_t kSearchBlock = 16 * 1024;

// Cursor over the source: a read that comes back short fails the attempt.
struct Reader {
    ByteSource& source;
    uint64_t pos = 0;

    bool Read(void* buffer, size_t bytes) {
        if (source.ReadAt(pos, buffer, bytes) != bytes) return false;
        pos += bytes;
        return true;
    }
    bool Read32(uint32_t& value) {
        uint8_t b[4];
        if (!Read(b, 4)) return false;
        value = ReadLittleEndian32(b);
        return true;
    }
};

// Finds the next "data" starting at `from` or later; leaves the reader
// behind it.
bool FindDataId(Reader& reader, uint64_t from) {
    std::vector<uint8_t> block(kSearchBlock);
    for (uint64_t pos = from;;) {
        size_t got = reader.source.ReadAt(pos, block.data(), block.size());
        if (got < 4) return false;
        for (size_t i = 0; i + 4 <= got; ++i) {
            if (std::memcmp(&block[i], "data", 4) == 0) {
                reader.pos = pos + i + 4;
                return true;
            }
        }
        if (got < block.size()) return false;
        pos += got - 3;
    }
}

}  // namespace

bool SuggestPcmFormat(const WaveFormat& source, WaveFormat& destination) {
    switch (source.formatTag) {
        case 0x0001:  // PCM
        case 0x0002:  // Microsoft ADPCM
        case 0x0003:  // IEEE float
        case 0x0006:  // A-law
        case 0x0007:  // mu-law
        case 0x0011:  // IMA ADPCM
        case 0x0055:  // MPEG layer 3
            break;
        default:
            return false;
    }
    if (source.channels == 0 || source.samplesPerSecond == 0) return false;
    if (source.formatTag == kWavePcm && (source.bitsPerSample == 0 || source.bitsPerSample > 32))
        return false;
    destination = WaveFormat{};
    destination.formatTag = kWavePcm;
    destination.channels = source.channels;
    destination.samplesPerSecond = source.samplesPerSecond;
    destination.bitsPerSample = source.formatTag == kWavePcm ? source.bitsPerSample : 16;
    destination.blockAlign = uint16_t(destination.channels * destination.bitsPerSample / 8);
    destination.averageBytesPerSecond = destination.samplesPerSecond * destination.blockAlign;
    return true;
}

bool ProbeWav(ByteSource& source, ProbeInfo& info) {
    Reader reader{source};
    uint8_t riff[12];
    if (!reader.Read(riff, 12)) return false;
    if (std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0) return false;

    // Chunks before "fmt " are skipped by their sizes.
    uint8_t id[4];
    for (;;) {
        if (!reader.Read(id, 4)) return false;
        if (std::memcmp(id, "fmt ", 4) == 0) break;
        uint32_t size = 0;
        if (!reader.Read32(size)) return false;
        reader.pos += size;
    }
    uint32_t fmtSize = 0;
    if (!reader.Read32(fmtSize)) return false;
    if (fmtSize < 16 || fmtSize > source.Size() - std::min(reader.pos, source.Size())) return false;
    std::vector<uint8_t> fmt(fmtSize);
    if (!reader.Read(fmt.data(), fmt.size())) return false;

    WaveFormat wave;
    wave.formatTag = ReadLittleEndian16(&fmt[0]);
    wave.channels = ReadLittleEndian16(&fmt[2]);
    wave.samplesPerSecond = ReadLittleEndian32(&fmt[4]);
    wave.averageBytesPerSecond = ReadLittleEndian32(&fmt[8]);
    wave.blockAlign = ReadLittleEndian16(&fmt[12]);
    wave.bitsPerSample = ReadLittleEndian16(&fmt[14]);
    if (wave.blockAlign > kMaxBlockAlign) return false;

    WaveFormat pcm;
    if (!SuggestPcmFormat(wave, pcm)) return false;

    if (!reader.Read(id, 4)) return false;
    bool haveFact = false;
    uint32_t factSamples = 0;
    if (std::memcmp(id, "fact", 4) == 0) {
        uint32_t size = 0;
        if (!reader.Read32(size) || size != 4) return false;
        if (!reader.Read32(factSamples)) return false;
        haveFact = true;
        if (!reader.Read(id, 4)) return false;
    }
    if (std::memcmp(id, "data", 4) != 0 && !FindDataId(reader, reader.pos - 3)) return false;
    uint32_t dataSize = 0;
    if (!reader.Read32(dataSize)) return false;
    while (dataSize == 0) {
        if (!FindDataId(reader, reader.pos) || !reader.Read32(dataSize)) return false;
    }
    uint64_t dataOffset = reader.pos;
    if (source.Size() - dataOffset < dataSize) dataSize = uint32_t(source.Size() - dataOffset);

    uint64_t frames = 0;
    if (wave.formatTag == kWavePcm) {
        uint32_t bytesPerFrame = uint32_t(wave.bitsPerSample) * wave.channels / 8;
        if (bytesPerFrame == 0) return false;
        frames = dataSize / bytesPerFrame;
        pcm = wave;  // PCM needs no conversion
    } else if (haveFact) {
        frames = factSamples;
    } else {
        if (wave.averageBytesPerSecond == 0) return false;
        frames = uint64_t(dataSize / wave.averageBytesPerSecond) * wave.samplesPerSecond;
    }
    if (pcm.samplesPerSecond == 0) return false;

    info.length = uint32_t(std::min<uint64_t>(frames, UINT32_MAX));
    info.channels = pcm.channels;
    info.sampleRate = pcm.samplesPerSecond;
    info.bitrate = uint32_t(uint64_t(wave.averageBytesPerSecond) * 8 / 1000);
    info.dataOffset = dataOffset;
    info.dataSize = dataSize;
    info.wavFormatTag = wave.formatTag;
    info.type = kMediaWav;
    return true;
}

}  // namespace kra
