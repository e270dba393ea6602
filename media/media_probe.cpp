#include "media/media_probe.h"

#include <algorithm>
#include <climits>

#include "media/probe_formats.h"
#include "media/tag_reader.h"

namespace kra {

// Takes the sequence lock for one call unless this thread runs a sequence.
class MediaFileProbe::CallGuard {
  public:
    explicit CallGuard(MediaFileProbe& probe) : probe_(probe), locked_(!probe.HeldByThisThread()) {
        if (locked_) probe_.lock_.lock();
    }
    ~CallGuard() {
        if (locked_) probe_.lock_.unlock();
    }
    CallGuard(const CallGuard&) = delete;
    CallGuard& operator=(const CallGuard&) = delete;

  private:
    MediaFileProbe& probe_;
    bool locked_;
};

MediaFileProbe::~MediaFileProbe() {
    if (HeldByThisThread()) {
        Close();
    } else {
        std::lock_guard<std::mutex> guard(lock_);
        CloseLocked();
    }
}

bool MediaFileProbe::HeldByThisThread() const {
    return owner_.load(std::memory_order_relaxed) == std::this_thread::get_id();
}

void MediaFileProbe::Acquire() {
    if (HeldByThisThread()) return;
    lock_.lock();
    owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    depth_ = 1;
}

void MediaFileProbe::Release() {
    if (!HeldByThisThread()) return;
    depth_ = 0;
    owner_.store(std::thread::id(), std::memory_order_relaxed);
    lock_.unlock();
}

int MediaFileProbe::Open(const std::u16string& path) {
    Acquire();
    return OpenLocked(path, FileSource::Open(path));
}

int MediaFileProbe::OpenSource(const std::u16string& path, std::unique_ptr<ByteSource> source) {
    Acquire();
    return OpenLocked(path, std::move(source));
}

int MediaFileProbe::OpenLocked(const std::u16string& path, std::unique_ptr<ByteSource> source) {
    CloseLocked();
    path_ = path;
    source_ = std::move(source);
    if (!source_) return 0;

    // Each attempt starts from clean fields; the first that succeeds wins.
    info_ = ProbeInfo{};
    if (ProbeMpegAudio(*source_, info_)) return 1;
    info_ = ProbeInfo{};
    if (ProbeWav(*source_, info_)) return 1;
    info_ = ProbeInfo{};
    if (ProbeAac(*source_, path_, info_)) return 1;
    info_ = ProbeInfo{};
    return 0;
}

int32_t MediaFileProbe::DurationSeconds() {
    CallGuard guard(*this);
    switch (info_.type) {
        case kMediaAac:
            return int32_t(info_.length / 1000);
        case kMediaMpeg:
        case kMediaWav:
            if (info_.sampleRate == 0) return 0;
            return int32_t(std::min<uint32_t>(info_.length / info_.sampleRate, INT32_MAX));
        default:
            return 0;
    }
}

int MediaFileProbe::ReadTags(TagInfo& tags, bool fastAlbumPic, const std::u16string& picturePath) {
    CallGuard guard(*this);
    if (!source_) return 0;
    return ReadTagsFromSource(*source_, info_.type, tags, fastAlbumPic, picturePath);
}

ProbeInfo MediaFileProbe::Info() {
    CallGuard guard(*this);
    return info_;
}

bool MediaFileProbe::HasFile() {
    CallGuard guard(*this);
    return source_ != nullptr;
}

void MediaFileProbe::CloseLocked() {
    source_.reset();
    info_ = ProbeInfo{};
}

void MediaFileProbe::Close() {
    {
        CallGuard guard(*this);
        CloseLocked();
    }
    Release();
}

MediaFileProbe& SharedMediaFileProbe() {
    // Never destroyed: a worker left running at exit may still hold it.
    static MediaFileProbe* probe = new MediaFileProbe();
    return *probe;
}

}  // namespace kra
