// Random-access byte sources for the media parsers.
//
// Every parser in media/ reads through a ByteSource, so the same code runs on
// a file (FileSource) and on bytes in memory (MemorySource: tests, fuzzing).
// ReadAt never reads past Size(); it returns how many bytes it copied, which
// is fewer than asked only at the end of the data or on an I/O error.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/files.h"

namespace kra {

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    virtual size_t ReadAt(uint64_t offset, void* buffer, size_t bytes) = 0;
};

// Owns its bytes.
class MemorySource final : public ByteSource {
  public:
    explicit MemorySource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    uint64_t Size() const override { return bytes_.size(); }
    size_t ReadAt(uint64_t offset, void* buffer, size_t bytes) override;

  private:
    std::vector<uint8_t> bytes_;
};

// A file read through the platform. The head of the file is read once and
// grown as parsers walk forward through it (an MP3's ID3v2 tag, the first
// frames), so probing and tag reading cost one open and, for most files, one
// read; reads elsewhere go through a small read-ahead window.
class FileSource final : public ByteSource {
  public:
    // Null when the file cannot be opened.
    static std::unique_ptr<FileSource> Open(const std::u16string& path);

    uint64_t Size() const override { return size_; }
    size_t ReadAt(uint64_t offset, void* buffer, size_t bytes) override;

  private:
    FileSource() = default;
    // Reads [offset, offset + bytes) of the file into `out`; returns the
    // count read.
    size_t ReadRaw(uint64_t offset, size_t bytes, uint8_t* out);

    platform::File file_;
    uint64_t size_ = 0;
    std::vector<uint8_t> head_;  // bytes [0, head_.size())
    uint64_t windowStart_ = 0;   // bytes [windowStart_, + window_.size())
    std::vector<uint8_t> window_;
};

}  // namespace kra
