// AAC in MP4 containers and as ADTS, ADIF or headerless streams. FAAD2 tells
// the sample rate and channel count; the length comes from the container,
// from a walk over the first ADTS frames, or from the bitrate.
#include <neaacdec.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "media/mp4_reader.h"
#include "media/probe_formats.h"

namespace kra {
namespace {

constexpr size_t kStreamBuffer = 4608;  // FAAD_MIN_STREAMSIZE for six channels
constexpr int kMaxAdtsFrames = 128;
// Frames decoded at most to find one that yields samples (a real stream
// yields them from its second frame on).
constexpr int kMaxProbeFrames = 8;
constexpr uint32_t kAdtsSampleRates[16] = {96000, 88200, 64000, 48000, 44100, 32000,
                                           24000, 22050, 16000, 12000, 11025, 8000};

struct DecoderCloser {
    void operator()(void* decoder) const { NeAACDecClose(NeAACDecHandle(decoder)); }
};
using Decoder = std::unique_ptr<void, DecoderCloser>;

// A decoder with 16-bit output and down-mixing.
Decoder OpenDecoder() {
    Decoder decoder(NeAACDecOpen());
    if (!decoder) return decoder;
    NeAACDecConfigurationPtr config = NeAACDecGetCurrentConfiguration(decoder.get());
    config->outputFormat = FAAD_FMT_16BIT;
    config->downMatrix = 1;
    NeAACDecSetConfiguration(decoder.get(), config);
    return decoder;
}

uint32_t StereoForSurround(uint32_t channels) {
    return channels == 5 || channels == 6 ? 2 : channels;
}

// The stream buffer of the raw attempt: `bytes` unconsumed bytes at the
// front; Fill moves them down and tops the buffer up from the file.
struct StreamBuffer {
    ByteSource& source;
    uint64_t next = 0;  // file offset of the next read
    uint8_t data[kStreamBuffer] = {};
    size_t bytes = 0;
    size_t consumed = 0;
    bool atEnd = false;

    void Reset(uint64_t at) {
        next = at;
        consumed = 0;
        bytes = source.ReadAt(at, data, kStreamBuffer);
        next += bytes;
        atEnd = bytes < kStreamBuffer;
    }
    void Advance(size_t n) {
        n = std::min(n, bytes);
        consumed += n;
        bytes -= n;
    }
    void Fill() {
        if (consumed == 0) return;
        std::memmove(data, data + consumed, bytes);
        if (!atEnd) {
            size_t got = source.ReadAt(next, data + bytes, consumed);
            next += got;
            atEnd = got < consumed;
            bytes += got;
        }
        consumed = 0;
        // Tags at the end of the file end the audio data.
        if ((bytes > 3 && std::memcmp(data, "TAG", 3) == 0) ||
            (bytes > 11 && std::memcmp(data, "LYRICSBEGIN", 11) == 0) ||
            (bytes > 8 && std::memcmp(data, "APETAGEX", 8) == 0)) {
            bytes = 0;
        }
    }
};

struct SourceCursor {
    ByteSource* source;
    uint64_t pos = 0;
};

size_t CursorRead(void* user, void* buffer, size_t bytes) {
    auto* cursor = static_cast<SourceCursor*>(user);
    size_t n = cursor->source->ReadAt(cursor->pos, buffer, bytes);
    cursor->pos += n;
    return n;
}

bool CursorSeek(void* user, uint64_t position) {
    static_cast<SourceCursor*>(user)->pos = position;
    return true;
}

bool ProbeMp4(ByteSource& source, ProbeInfo& info) {
    Decoder decoder = OpenDecoder();
    if (!decoder) return false;
    SourceCursor cursor{&source};
    Mp4Reader reader;
    if (!reader.Open(Mp4Callbacks{CursorRead, CursorSeek, &cursor, source.Size()})) return false;

    // The first track whose configuration FAAD2 takes for AAC.
    for (int i = 0; i < reader.TrackCount(); ++i) {
        const Mp4Track& track = reader.Track(i);
        if (track.decoderConfig.empty()) continue;
        std::vector<uint8_t> config = track.decoderConfig;
        mp4AudioSpecificConfig asc{};
        if (NeAACDecAudioSpecificConfig(config.data(), config.size(), &asc) != 0) continue;

        unsigned long sampleRate = 0;
        unsigned char channels = 0;
        if (NeAACDecInit2(decoder.get(), config.data(), config.size(), &sampleRate, &channels) != 0)
            return false;
        if (track.timeScale == 0) return false;
        uint64_t ms = track.duration == 0 ? 0 : track.duration * 1000 / track.timeScale;
        if (track.duration > UINT64_MAX / 1000) ms = track.duration / track.timeScale * 1000;
        info.length = uint32_t(std::min<uint64_t>(ms, UINT32_MAX));
        info.sampleRate = uint32_t(sampleRate);
        info.channels = StereoForSurround(channels);
        info.bitrate = track.averageBitrate / 1000;
        uint32_t frameSize = asc.frameLengthFlag ? 960 : 1024;
        info.samplesPerFrame = asc.sbr_present_flag == 1 ? frameSize * 2 : frameSize;
        info.aacHeaderType = 0;
        info.type = kMediaAac;
        return true;
    }
    return false;
}

bool ProbeRawAac(ByteSource& source, ProbeInfo& info) {
    // A leading ID3v2 tag is skipped.
    uint64_t start = 0;
    uint8_t id3[10];
    if (source.ReadAt(0, id3, 10) == 10 && std::memcmp(id3, "ID3", 3) == 0) {
        start = 10 + ((uint32_t(id3[6] & 0x7F) << 21) | (uint32_t(id3[7] & 0x7F) << 14) |
                      (uint32_t(id3[8] & 0x7F) << 7) | (id3[9] & 0x7F));
    }
    auto buffer = std::make_unique<StreamBuffer>(StreamBuffer{source});
    buffer->Reset(start);

    // Decode until a frame yields samples, to learn rate and channels.
    uint32_t sampleRate = 0, channels = 0;
    {
        Decoder decoder = OpenDecoder();
        if (!decoder) return false;
        unsigned long rate = 0;
        unsigned char chans = 0;
        long used = NeAACDecInit(decoder.get(), buffer->data, buffer->bytes, &rate, &chans);
        if (used < 0) return false;
        buffer->Advance(size_t(used));
        for (int frame = 0;; ++frame) {
            buffer->Fill();
            if (buffer->bytes == 0 || frame == kMaxProbeFrames) return false;
            NeAACDecFrameInfo frameInfo{};
            NeAACDecDecode(decoder.get(), &frameInfo, buffer->data, buffer->bytes);
            if (frameInfo.error != 0) return false;
            buffer->Advance(frameInfo.bytesconsumed);
            if (frameInfo.samples > 0) {
                sampleRate = uint32_t(frameInfo.samplerate);
                channels = frameInfo.channels;
                break;
            }
            if (frameInfo.bytesconsumed == 0) return false;
        }
    }

    buffer->Reset(start);
    const uint8_t* b = buffer->data;
    double fileSize = double(source.Size());
    double seconds = 0;
    if (buffer->bytes >= 2 && b[0] == 0xFF && (b[1] & 0xF6) == 0xF0) {
        uint32_t rate = 0;
        uint64_t total = 0;
        int frames = 0;
        for (; frames < kMaxAdtsFrames; ++frames) {
            buffer->Fill();
            if (buffer->bytes < 8) break;
            if (!(b[0] == 0xFF && (b[1] & 0xF6) == 0xF0)) break;
            if (frames == 0) rate = kAdtsSampleRates[(b[2] & 0x3C) >> 2];
            uint32_t length = (uint32_t(b[3] & 3) << 11) | (uint32_t(b[4]) << 3) | (b[5] >> 5);
            // A frame shorter than its header would make no progress.
            if (length < 7 || length > buffer->bytes) break;
            total += length;
            buffer->Advance(length);
        }
        if (frames == 0) return false;
        double bitrate = 8.0 * (double(total) / (double(frames) * 1000.0)) * rate / 1024.0;
        seconds = rate == 0 ? 1.0 : fileSize / (bitrate * 125.0);
        info.bitrate = uint32_t(bitrate);
        info.aacHeaderType = 1;
    } else if (buffer->bytes >= 4 && std::memcmp(b, "ADIF", 4) == 0) {
        size_t skip = buffer->bytes > 4 && (b[4] & 0x80) != 0 ? 9 : 0;
        if (buffer->bytes < 8 + skip) return false;
        uint32_t bitrate = (uint32_t(b[4 + skip] & 0x0F) << 19) | (uint32_t(b[5 + skip]) << 11) |
                           (uint32_t(b[6 + skip]) << 3) | (b[7 + skip] >> 5);
        if (bitrate == 0) return false;
        seconds = fileSize * 8.0 / bitrate + 0.5;
        info.bitrate = bitrate / 1000;
        info.aacHeaderType = 2;
    } else {
        // No header: taken to be 128 kbit/s.
        seconds = fileSize * 8.0 / (128.0 * 1000.0) + 0.5;
        info.bitrate = 128;
        info.aacHeaderType = 0;
    }
    double ms = seconds * 1000.0;
    info.length = ms >= double(UINT32_MAX) ? UINT32_MAX : uint32_t(ms);

    // The stream must also open at its start.
    buffer->Reset(start);
    Decoder decoder = OpenDecoder();
    if (!decoder) return false;
    unsigned long rate = 0;
    unsigned char chans = 0;
    if (NeAACDecInit(decoder.get(), buffer->data, buffer->bytes, &rate, &chans) < 0) return false;

    info.sampleRate = sampleRate;
    info.channels = StereoForSurround(channels);
    info.type = kMediaAac;
    return true;
}

}  // namespace

bool HasAacExtension(const std::u16string& path) {
    if (path.size() < 4) return false;
    std::u16string ext = path.substr(path.size() - 4);
    for (char16_t& c : ext) {
        if (c >= u'a' && c <= u'z') c = char16_t(c - u'a' + u'A');
    }
    return ext == u".MP4" || ext == u".M4A" || ext == u".AAC" || ext == u".3GP";
}

bool ProbeAac(ByteSource& source, const std::u16string& path, ProbeInfo& info) {
    if (!HasAacExtension(path)) return false;
    uint8_t head[8];
    if (source.ReadAt(0, head, 8) == 8 && std::memcmp(head + 4, "ftyp", 4) == 0) {
        if (ProbeMp4(source, info)) return true;
        info = ProbeInfo{};
    }
    return ProbeRawAac(source, info);
}

}  // namespace kra
