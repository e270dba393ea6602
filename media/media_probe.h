// The media file probe: what kind of audio a file holds and how long it
// plays, without playing it, and the entry to the tag reader.
//
// One probe is shared by the whole process (SharedMediaFileProbe). A caller
// runs Open, then DurationSeconds and/or ReadTags, then Close, all on one
// thread. Open takes the probe's sequence lock and Close gives it back, so a
// whole sequence runs without another thread's sequence in between; a second
// thread calling Open waits until the first has closed. ProbeSession does the
// Close for scoped use.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/byte_source.h"
#include "media/tag_info.h"

namespace kra {

enum MediaType : int32_t {
    kMediaNone = 0,
    kMediaMpeg = 1,  // MPEG audio layers 1-3, also inside RIFF
    kMediaWav = 3,
    kMediaAac = 4,  // AAC in MP4 containers or as ADTS/ADIF/raw streams
};

// What Open learnt about the file. All zero while closed or after a failed
// Open.
struct ProbeInfo {
    MediaType type = kMediaNone;
    // Sample frames for MPEG audio and WAV, milliseconds for AAC/MP4.
    uint32_t length = 0;
    // The first MPEG frame header. For WAV only channels, sample rate and
    // bitrate are set; for AAC channels, sample rate and bitrate. For VBR
    // MPEG files the frame length is the average frame length.
    uint32_t version = 0;  // 1 MPEG-1, 2 MPEG-2, 3 MPEG-2.5
    uint32_t layer = 0;
    uint32_t channels = 0;
    uint32_t sampleRate = 0;   // Hz
    uint32_t bitrate = 0;      // kbit/s
    uint32_t frameLength = 0;  // bytes
    uint32_t samplesPerFrame = 0;
    // The WAV "data" chunk: offset of its first byte and its size, cut to
    // the bytes the file has.
    uint64_t dataOffset = 0;
    uint32_t dataSize = 0;
    uint16_t wavFormatTag = 0;
    // AAC: 0 raw (or MP4), 1 ADTS, 2 ADIF.
    uint32_t aacHeaderType = 0;
};

class MediaFileProbe {
  public:
    MediaFileProbe() = default;
    ~MediaFileProbe();
    MediaFileProbe(const MediaFileProbe&) = delete;
    MediaFileProbe& operator=(const MediaFileProbe&) = delete;

    // Closes whatever was open, then tries MPEG audio, WAV and AAC/MP4 in
    // that order. Non-zero when the file is one of them. The file stays
    // available to ReadTags until Close even when Open returns 0.
    int Open(const std::u16string& path);
    // The same over bytes already in memory; `path` supplies the name (the
    // AAC attempt looks at the extension) and is what ReadTags reports.
    int OpenSource(const std::u16string& path, std::unique_ptr<ByteSource> source);

    // Whole seconds, the fraction dropped; 0 when closed or unrecognised.
    int32_t DurationSeconds();

    // Reads the file's tags into `tags` (which the caller has cleared); see
    // tag_reader.h. Non-zero when a tag was found.
    int ReadTags(TagInfo& tags, bool fastAlbumPic, const std::u16string& picturePath);

    // Releases the file and every resource, resets the fields, and gives the
    // sequence lock back. Safe to call when closed.
    void Close();

    ProbeInfo Info();
    // True while a file (recognised or not) is open.
    bool HasFile();
    const std::u16string& Path() const { return path_; }

  private:
    // Held for the calls of a thread that runs no sequence of its own.
    class CallGuard;
    void Acquire();
    void Release();
    bool HeldByThisThread() const;
    void CloseLocked();
    int OpenLocked(const std::u16string& path, std::unique_ptr<ByteSource> source);

    std::mutex lock_;
    std::atomic<std::thread::id> owner_{};
    uint32_t depth_ = 0;  // how deep the owner holds the lock (0 or 1)

    std::u16string path_;
    std::unique_ptr<ByteSource> source_;
    ProbeInfo info_;
};

// The one probe of the process, created on first use.
MediaFileProbe& SharedMediaFileProbe();

// Open on construction, Close on destruction.
class ProbeSession {
  public:
    ProbeSession(MediaFileProbe& probe, const std::u16string& path)
        : probe_(probe), recognised_(probe.Open(path) != 0) {}
    ~ProbeSession() { probe_.Close(); }
    ProbeSession(const ProbeSession&) = delete;
    ProbeSession& operator=(const ProbeSession&) = delete;
    bool Recognised() const { return recognised_; }

  private:
    MediaFileProbe& probe_;
    bool recognised_;
};

}  // namespace kra
