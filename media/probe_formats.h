// The format attempts of the media file probe. Each reads only through the
// ByteSource, fills `info` and returns true on success; on failure `info` is
// left for the caller to reset.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "media/byte_source.h"
#include "media/media_probe.h"

namespace kra {

// One MPEG audio frame header, decoded from 4 bytes, most significant first.
struct FrameHeader {
    uint32_t version = 0;   // 1 MPEG-1, 2 MPEG-2, 3 MPEG-2.5
    uint32_t layer = 0;     // 1, 2, 3
    uint32_t channels = 0;  // 1 when the channel mode is mono, else 2
    uint32_t sampleRate = 0;
    uint32_t bitrate = 0;      // kbit/s
    uint32_t frameLength = 0;  // bytes, padding included
    uint32_t samplesPerFrame = 0;
};

// False for free format, reserved fields and anything not a header.
bool DecodeFrameHeader(const uint8_t* bytes, FrameHeader& header);

// The cheap test on the first bytes of a file (up to 4096) that decides
// whether the MPEG measurement is tried at all.
bool LooksLikeMpegAudio(const uint8_t* data, size_t size);

bool ProbeMpegAudio(ByteSource& source, ProbeInfo& info);
bool ProbeWav(ByteSource& source, ProbeInfo& info);
// Only tried for names ending in ".mp4", ".m4a", ".aac" or ".3gp".
bool ProbeAac(ByteSource& source, const std::u16string& path, ProbeInfo& info);
bool HasAacExtension(const std::u16string& path);

// The WAVE format tags the player can decode, with the PCM format a decoder
// turns them into (the platform's audio compression manager on the original
// device). False for format tags it cannot decode or unusable fields.
struct WaveFormat {
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t samplesPerSecond = 0;
    uint32_t averageBytesPerSecond = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
};
bool SuggestPcmFormat(const WaveFormat& source, WaveFormat& destination);

inline uint32_t ReadBigEndian32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
inline uint32_t ReadLittleEndian32(const uint8_t* p) {
    return (uint32_t(p[3]) << 24) | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
}
inline uint16_t ReadLittleEndian16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}

}  // namespace kra
