// MPEG audio (layers 1-3): the pre-check, frame headers, the sync search and
// the length from a Xing/VBRI frame or from the first frame's length.
#include <algorithm>
#include <cstring>
#include <vector>

#include "media/probe_formats.h"

namespace kra {
namespace {

// kbit/s by [MPEG-1 or not][layer - 1][bitrate index]; index 0 (free
// format) and 15 are refused before the table is read.
constexpr uint16_t kBitrates[2][3][16] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}},
};
// Hz by [version - 1][sample-rate index].
constexpr uint32_t kSampleRates[3][3] = {
    {44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

constexpr size_t kPrecheckBytes = 4096;
constexpr size_t kSyncBlock = 16 * 1024;

// Byte 0 is 0xFF, byte 1 completes the 11 sync bits and has layer bits,
// byte 2 has a usable bitrate and sample-rate index.
bool IsSyncCandidate(const uint8_t* p) {
    return p[0] == 0xFF && (p[1] & 0xE0) == 0xE0 && (p[1] & 0x06) != 0 && (p[2] & 0xF0) != 0xF0 &&
           (p[2] & 0xF0) != 0 && (p[2] & 0x0C) != 0x0C;
}

bool SameStream(const FrameHeader& a, const FrameHeader& b) {
    return a.version == b.version && a.layer == b.layer && a.sampleRate == b.sampleRate;
}

// The sync search over the file from a position on, keeping its block so
// that restarting one byte further on costs nothing.
class SyncScanner {
  public:
    explicit SyncScanner(ByteSource& source) : source_(source) {}

    // The offset of the first sync candidate at or after `from` with at
    // least 4 bytes of the file behind it; false when there is none.
    bool Next(uint64_t from, uint64_t& found) {
        uint64_t pos = from;
        for (;;) {
            if (pos < blockStart_ || pos >= blockStart_ + block_.size() ||
                block_.size() - (pos - blockStart_) < 4) {
                if (!Fill(pos)) return false;
            }
            size_t i = size_t(pos - blockStart_);
            for (; i + 4 <= block_.size(); ++i) {
                if (IsSyncCandidate(&block_[i])) {
                    found = blockStart_ + i;
                    return true;
                }
            }
            // The last three bytes start the next block.
            pos = blockStart_ + block_.size() - 3;
            if (blockStart_ + block_.size() >= source_.Size()) return false;
        }
    }

  private:
    bool Fill(uint64_t pos) {
        block_.resize(kSyncBlock);
        blockStart_ = pos;
        block_.resize(source_.ReadAt(pos, block_.data(), kSyncBlock));
        return block_.size() >= 4;
    }

    ByteSource& source_;
    std::vector<uint8_t> block_;
    uint64_t blockStart_ = 0;
};

bool ReadHeaderAt(ByteSource& source, uint64_t offset, FrameHeader& header, bool& readAll) {
    uint8_t bytes[4];
    readAll = source.ReadAt(offset, bytes, 4) == 4;
    return readAll && DecodeFrameHeader(bytes, header);
}

}  // namespace

bool DecodeFrameHeader(const uint8_t* p, FrameHeader& h) {
    uint32_t word = ReadBigEndian32(p);
    if ((word >> 21) != 0x7FF) return false;
    uint32_t layerBits = (word >> 17) & 3;
    uint32_t bitrateIndex = (word >> 12) & 15;
    uint32_t rateIndex = (word >> 10) & 3;
    if (layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) return false;

    h.version = (word & (1u << 20)) == 0 ? 3 : ((word & (1u << 19)) != 0 ? 1 : 2);
    h.layer = 4 - layerBits;
    h.channels = ((word >> 6) & 3) == 3 ? 1 : 2;
    h.bitrate = kBitrates[h.version == 1 ? 0 : 1][h.layer - 1][bitrateIndex];
    h.sampleRate = kSampleRates[h.version - 1][rateIndex];
    if (h.bitrate == 0 || h.sampleRate == 0) return false;

    uint32_t padding = (word >> 9) & 1;
    if (h.layer == 1) {
        h.frameLength = (12000 * h.bitrate / h.sampleRate + padding) * 4;
        h.samplesPerFrame = 384;
    } else if (h.layer == 3 && h.version != 1) {
        h.frameLength = 72000 * h.bitrate / h.sampleRate + padding;
        h.samplesPerFrame = 576;
    } else {
        h.frameLength = 144000 * h.bitrate / h.sampleRate + padding;
        h.samplesPerFrame = 1152;
    }
    return true;
}

bool LooksLikeMpegAudio(const uint8_t* d, size_t n) {
    if (n < 4) return false;
    if (std::memcmp(d, "ID3", 3) == 0) return true;
    if (std::memcmp(d, "RIFF", 4) == 0) {
        if (n >= 12 && std::memcmp(d + 8, "RMP3", 4) == 0) return true;
        return n >= 21 && std::memcmp(d + 8, "WAVE", 4) == 0 &&
               std::memcmp(d + 12, "fmt ", 4) == 0 && (d[20] == 0x55 || d[20] == 0x50);
    }
    FrameHeader first, second;
    for (size_t i = 0; i + 4 < n; ++i) {
        if (!DecodeFrameHeader(d + i, first)) continue;
        if (first.frameLength + 4 >= n - i) continue;
        if (DecodeFrameHeader(d + i + first.frameLength, second) && SameStream(first, second))
            return true;
    }
    return false;
}

bool ProbeMpegAudio(ByteSource& source, ProbeInfo& info) {
    uint8_t head[kPrecheckBytes];
    size_t got = source.ReadAt(0, head, sizeof head);
    if (!LooksLikeMpegAudio(head, got)) return false;

    // The first frame: a sync candidate whose header is followed, one frame
    // on, by a header of the same version, layer and sample rate.
    SyncScanner scanner(source);
    FrameHeader header, next;
    uint64_t first = 0;
    for (uint64_t from = 0;; from = first + 1) {
        if (!scanner.Next(from, first)) return false;
        bool readAll = false;
        bool valid = ReadHeaderAt(source, first, header, readAll);
        if (!readAll) return false;
        if (!valid) continue;
        valid = ReadHeaderAt(source, first + header.frameLength, next, readAll);
        if (!readAll) return false;
        if (valid && SameStream(header, next)) break;
    }

    info.version = header.version;
    info.layer = header.layer;
    info.channels = header.channels;
    info.sampleRate = header.sampleRate;
    info.bitrate = header.bitrate;
    info.frameLength = header.frameLength;
    info.samplesPerFrame = header.samplesPerFrame;

    // A Xing or VBRI frame sits behind the side information of the first
    // frame. MPEG-2.5 lays out its side information like MPEG-2.
    bool mono = header.channels == 1;
    uint32_t sideInfo = header.version == 1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    uint64_t tagAt = first + 4 + sideInfo;
    uint8_t id[4];
    if (source.ReadAt(tagAt, id, 4) != 4) return false;

    uint64_t fileSize = source.Size();
    uint64_t countAt = 0;
    if (std::memcmp(id, "Xing", 4) == 0) countAt = tagAt + 8;
    if (std::memcmp(id, "VBRI", 4) == 0) countAt = tagAt + 14;
    if (countAt != 0) {
        uint8_t countBytes[4];
        if (source.ReadAt(countAt, countBytes, 4) != 4) return false;
        uint32_t frames = ReadBigEndian32(countBytes);
        if (frames == 0) return false;  // no length to be had from it
        uint64_t length = uint64_t(frames) * header.samplesPerFrame;
        info.length = uint32_t(std::min<uint64_t>(length, UINT32_MAX));
        info.frameLength = uint32_t(std::min<uint64_t>(fileSize / frames, UINT32_MAX));
        uint64_t seconds = info.length / header.sampleRate;
        // Shorter than a second: no meaningful average.
        info.bitrate = seconds == 0 ? 0 : uint32_t((fileSize * 8 / seconds + 500) / 1000);
    } else {
        uint64_t length = fileSize / header.frameLength * header.samplesPerFrame;
        info.length = uint32_t(std::min<uint64_t>(length, UINT32_MAX));
    }
    info.type = kMediaMpeg;
    return true;
}

}  // namespace kra
