// Byte builders for the media tests: every test file is assembled here field
// by field, so the tests pin the formats with golden bytes.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "media/byte_source.h"
#include "media/media_probe.h"
#include "platform/files.h"
#include "support/bytes.h"

namespace kra::test {

inline Bytes Syncsafe(uint32_t v) {
    return {uint8_t((v >> 21) & 0x7F), uint8_t((v >> 14) & 0x7F), uint8_t((v >> 7) & 0x7F),
            uint8_t(v & 0x7F)};
}

// An MPEG audio frame: its 4 header bytes, zeros up to `length`.
inline Bytes MpegFrame(std::initializer_list<uint8_t> header, size_t length) {
    Bytes frame(header);
    frame.resize(length, 0);
    return frame;
}

// ID3v2 tag: "ID3", version, revision 0, flags, syncsafe size, body.
inline Bytes Id3v2(uint8_t major, uint8_t flags, const Bytes& body) {
    return Text("ID3") + Bytes{major, 0, flags} + Syncsafe(uint32_t(body.size())) + body;
}
// 2.3 frame: identifier, plain 32-bit size, two flag bytes, data.
inline Bytes Frame23(std::string_view id, const Bytes& data) {
    return Text(id) + Be32(uint32_t(data.size())) + Bytes{0, 0} + data;
}
// 2.4 frame with a syncsafe size.
inline Bytes Frame24(std::string_view id, const Bytes& data) {
    return Text(id) + Syncsafe(uint32_t(data.size())) + Bytes{0, 0} + data;
}
// 2.2 frame: identifier, 24-bit size, data.
inline Bytes Frame22(std::string_view id, const Bytes& data) {
    uint32_t n = uint32_t(data.size());
    return Text(id) + Bytes{uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)} + data;
}
// ID3v1: "TAG", title, artist, album (30 bytes each), year (4), comment
// (28), zero, track, genre.
inline Bytes Id3v1(std::string_view title, std::string_view artist, std::string_view album,
                   std::string_view year, uint8_t track) {
    auto field = [](std::string_view s, size_t n) {
        Bytes b = Text(s.substr(0, n));
        b.resize(n, 0);
        return b;
    };
    return Text("TAG") + field(title, 30) + field(artist, 30) + field(album, 30) + field(year, 4) +
           field("", 28) + Bytes{0, track, 12};
}

// MP4 box: 32-bit size, type, content.
inline Bytes Box(std::string_view type, const Bytes& content) {
    return Be32(uint32_t(8 + content.size())) + Text(type) + content;
}
inline Bytes Boxes(std::initializer_list<Bytes> children) {
    Bytes all;
    for (const Bytes& b : children) all += b;
    return all;
}

inline int ProbeBytes(MediaFileProbe& probe, const std::u16string& name, Bytes bytes) {
    return probe.OpenSource(name, std::make_unique<MemorySource>(std::move(bytes)));
}

inline Bytes ReadData(const std::string& name) {
    std::vector<uint8_t> bytes;
    std::string root = KRA_TEST_DATA;  // ".../tests/data"
    root.resize(root.size() - 4);
    platform::ReadFileBytes(platform::FromPosixPath(root + "media/data/" + name), bytes);
    return bytes;
}

}  // namespace kra::test
