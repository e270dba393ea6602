#include "media/byte_source.h"

#include <algorithm>
#include <cstring>

namespace kra {
namespace {

constexpr size_t kFirstHead = 16 * 1024;
// The head grows (doubling) up to this size; big enough for the ID3v2 tags
// with covers of almost every file, small enough to stay cheap.
constexpr size_t kMaxHead = 4 * 1024 * 1024;
constexpr size_t kWindow = 64 * 1024;

size_t CopyOut(const std::vector<uint8_t>& from, uint64_t fromStart, uint64_t offset, void* buffer,
               size_t bytes) {
    if (offset < fromStart || offset - fromStart >= from.size()) return 0;
    size_t pos = size_t(offset - fromStart);
    size_t n = std::min(bytes, from.size() - pos);
    std::memcpy(buffer, from.data() + pos, n);
    return n;
}

}  // namespace

size_t MemorySource::ReadAt(uint64_t offset, void* buffer, size_t bytes) {
    if (offset >= bytes_.size()) return 0;
    size_t n = std::min<uint64_t>(bytes, bytes_.size() - offset);
    std::memcpy(buffer, bytes_.data() + offset, n);
    return n;
}

std::unique_ptr<FileSource> FileSource::Open(const std::u16string& path) {
    std::unique_ptr<FileSource> source(new FileSource());
    if (!source->file_.OpenRead(path)) return nullptr;
    source->size_ = source->file_.Size();
    return source;
}

size_t FileSource::ReadRaw(uint64_t offset, size_t bytes, uint8_t* out) {
    size_t got = 0;
    if (file_.Seek(offset)) {
        while (got < bytes) {
            size_t n = file_.Read(out + got, bytes - got);
            if (n == 0) break;
            got += n;
        }
    }
    return got;
}

size_t FileSource::ReadAt(uint64_t offset, void* buffer, size_t bytes) {
    if (offset >= size_ || bytes == 0) return 0;
    bytes = size_t(std::min<uint64_t>(bytes, size_ - offset));
    uint64_t end = offset + bytes;

    // Inside the head, or close enough after it to grow it.
    if (end <= kMaxHead && offset <= head_.size() + kWindow) {
        if (end > head_.size()) {
            size_t want = std::max(kFirstHead, head_.size() * 2);
            while (want < end) want *= 2;
            want = size_t(std::min<uint64_t>({want, kMaxHead, size_}));
            size_t had = head_.size();
            head_.resize(want);
            head_.resize(had + ReadRaw(had, want - had, head_.data() + had));
        }
        return CopyOut(head_, 0, offset, buffer, bytes);
    }

    // Large reads go straight to the buffer.
    if (bytes >= kWindow) return ReadRaw(offset, bytes, static_cast<uint8_t*>(buffer));
    if (offset < windowStart_ || end > windowStart_ + window_.size()) {
        windowStart_ = offset;
        window_.resize(size_t(std::min<uint64_t>(kWindow, size_ - offset)));
        window_.resize(ReadRaw(offset, window_.size(), window_.data()));
    }
    return CopyOut(window_, windowStart_, offset, buffer, bytes);
}

}  // namespace kra
