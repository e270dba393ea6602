#include "media/tag_reader.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "app/base/debug_log.h"
#include "app/base/text.h"
#include "media/code_pages.h"
#include "media/mp4_reader.h"
#include "platform/files.h"

namespace kra {
namespace {

constexpr size_t kFieldUnits = kTagTextCapacity - 1;  // without the terminator
constexpr size_t kMaxUtf16Bytes = 2 * kFieldUnits;    // 508

uint32_t Syncsafe(const uint8_t* p) {
    return (uint32_t(p[0] & 0x7F) << 21) | (uint32_t(p[1] & 0x7F) << 14) |
           (uint32_t(p[2] & 0x7F) << 7) | (p[3] & 0x7F);
}
uint32_t Be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

void SetField(char16_t* field, std::u16string_view text) {
    size_t n = std::min(text.size(), kFieldUnits);
    std::copy_n(text.data(), n, field);
    field[n] = 0;
}

// UTF-16 code units from bytes, up to the first zero unit.
void CopyUtf16(const uint8_t* data, size_t bytes, bool bigEndian, char16_t* field) {
    size_t units = std::min(bytes, kMaxUtf16Bytes) / 2;
    size_t n = 0;
    for (; n < units; ++n) {
        const uint8_t* p = data + 2 * n;
        char16_t unit = bigEndian ? char16_t((p[0] << 8) | p[1]) : char16_t(p[0] | (p[1] << 8));
        if (unit == 0) break;
        field[n] = unit;
    }
    field[n] = 0;
}

void CopyAnsi(const uint8_t* data, size_t size, char16_t* field) {
    const uint8_t* end = std::find(data, data + std::min(size, kFieldUnits), uint8_t(0));
    SetField(field, AnsiToUtf16(
                        std::string_view(reinterpret_cast<const char*>(data), size_t(end - data))));
}

struct TagWalk {
    TagInfo& tags;
    bool wantPicture;
    bool fastAlbumPic;
    std::optional<std::vector<uint8_t>> picture;  // the last picture frame's bytes
};

// The image bytes of an "APIC" frame (encoding byte first).
std::vector<uint8_t> ApicImage(const uint8_t* data, size_t size, bool fastAlbumPic) {
    // The "/" of the MIME type, at most up to the frame's last four bytes.
    size_t slash = 0;
    while (size - slash > 4 && data[slash] != '/') ++slash;
    bool png = slash + 3 < size && std::memcmp(data + slash + 1, "png", 3) == 0;
    uint8_t first = png ? 0x89 : 0xFF;
    size_t start = std::min(slash + 4, size);
    while (start < size && data[start] != first) ++start;
    const uint8_t* image = data + start;
    size_t length = size - start;

    // A JPEG whose fourth byte is 0 was unsynchronised: every 0 after an
    // 0xFF was inserted. Undo that, up to the end-of-image marker.
    if (!png && !fastAlbumPic && length >= 4 && image[3] == 0x00) {
        std::vector<uint8_t> out;
        out.reserve(length);
        bool afterFF = false;
        for (size_t i = 0; i < length; ++i) {
            uint8_t b = image[i];
            if (afterFF && b == 0x00) {
                afterFF = false;
                continue;
            }
            out.push_back(b);
            if (afterFF && b == 0xD9) break;
            afterFF = b == 0xFF;
        }
        return out;
    }
    return std::vector<uint8_t>(image, image + length);
}

// The image bytes of a "PIC" frame: from the first 0xFF or 0x89 on.
std::vector<uint8_t> PicImage(const uint8_t* data, size_t size) {
    size_t start = 0;
    while (start < size && data[start] != 0xFF && data[start] != 0x89) ++start;
    return std::vector<uint8_t>(data + start, data + size);
}

enum class FrameKind { kOther, kTitle, kArtist, kAlbum, kTrack, kPicture };

void UseFrame(TagWalk& walk, FrameKind kind, const uint8_t* data, size_t size, bool version22) {
    switch (kind) {
        case FrameKind::kTitle:
            DecodeId3Text(data, size, walk.tags.title);
            break;
        case FrameKind::kArtist:
            DecodeId3Text(data, size, walk.tags.artist);
            break;
        case FrameKind::kAlbum:
            DecodeId3Text(data, size, walk.tags.album);
            break;
        case FrameKind::kTrack: {
            char16_t scratch[kTagTextCapacity] = {};
            if (!DecodeId3Text(data, size, scratch)) break;
            std::u16string_view text(scratch, BoundedLength(scratch, kTagTextCapacity));
            walk.tags.track = ParseDecimal(text.substr(0, text.find(u'/')));
            break;
        }
        case FrameKind::kPicture:
            if (walk.wantPicture)
                walk.picture =
                    version22 ? PicImage(data, size) : ApicImage(data, size, walk.fastAlbumPic);
            break;
        case FrameKind::kOther:
            break;
    }
}

FrameKind Kind22(const uint8_t* id) {
    if (std::memcmp(id, "TT2", 3) == 0) return FrameKind::kTitle;
    if (std::memcmp(id, "TP1", 3) == 0) return FrameKind::kArtist;
    if (std::memcmp(id, "TAL", 3) == 0) return FrameKind::kAlbum;
    if (std::memcmp(id, "TRK", 3) == 0) return FrameKind::kTrack;
    if (std::memcmp(id, "PIC", 3) == 0) return FrameKind::kPicture;
    return FrameKind::kOther;
}

FrameKind Kind23(const uint8_t* id) {
    if (std::memcmp(id, "TIT2", 4) == 0) return FrameKind::kTitle;
    if (std::memcmp(id, "TPE1", 4) == 0) return FrameKind::kArtist;
    if (std::memcmp(id, "TALB", 4) == 0) return FrameKind::kAlbum;
    if (std::memcmp(id, "TRCK", 4) == 0) return FrameKind::kTrack;
    if (std::memcmp(id, "APIC", 4) == 0) return FrameKind::kPicture;
    return FrameKind::kOther;
}

bool IsFrameId(const uint8_t* p) {
    for (int i = 0; i < 4; ++i) {
        if (!((p[i] >= 'A' && p[i] <= 'Z') || (p[i] >= '0' && p[i] <= '9'))) return false;
    }
    return true;
}

// Frames of 2.2: 3-character identifier, 24-bit size.
void Walk22(TagWalk& walk, const uint8_t* tag, size_t end) {
    for (size_t pos = 10; end - pos > 6;) {
        uint32_t size =
            (uint32_t(tag[pos + 3]) << 16) | (uint32_t(tag[pos + 4]) << 8) | tag[pos + 5];
        if (size == 0 || size > end - pos - 6) break;
        UseFrame(walk, Kind22(tag + pos), tag + pos + 6, size, true);
        pos += 6 + size;
    }
}

// Frames of 2.3 and 2.4: 4-character identifier, 32-bit size, two flag
// bytes. 2.4 sizes are syncsafe, but some encoders wrote plain sizes into
// 2.4 tags: the reading that lands on a frame, padding or the tag's end
// wins; sizes below 128 read the same either way.
void Walk23(TagWalk& walk, const uint8_t* tag, size_t start, size_t end, bool version24) {
    for (size_t pos = start; end > pos && end - pos > 10;) {
        size_t remaining = end - pos - 10;
        uint32_t plain = Be32(tag + pos + 4) & 0x7FFFFFFF;
        uint32_t size = plain;
        if (version24) {
            uint32_t syncsafe = Syncsafe(tag + pos + 4);
            auto fits = [&](uint32_t s) {
                if (s == 0 || s > remaining) return false;
                size_t next = pos + 10 + s;
                return next == end || tag[next] == 0 || (end - next >= 10 && IsFrameId(tag + next));
            };
            if (fits(syncsafe)) {
                size = syncsafe;
            } else if (fits(plain)) {
                size = plain;
            } else if (syncsafe != plain) {
                break;
            }
        }
        if (size == 0 || size > remaining) break;
        UseFrame(walk, Kind23(tag + pos), tag + pos + 10, size, false);
        pos += 10 + size;
    }
}

// True when an ID3v2 tag is present and long enough to walk.
bool ReadId3v2(ByteSource& source, TagWalk& walk) {
    uint8_t header[10];
    if (source.ReadAt(0, header, 10) != 10) return false;
    if (std::memcmp(header, "ID3", 3) != 0 || header[3] >= 5) return false;
    uint32_t size = Syncsafe(header + 6);
    // A damaged size must not allocate what the file does not have.
    if (size > source.Size() - 10) {
        KRA_LOG("Tags: ID3v2 tag of %u bytes is longer than the file", size);
        return false;
    }
    std::vector<uint8_t> tag(size_t(size) + 10);
    std::memcpy(tag.data(), header, 10);
    if (source.ReadAt(10, tag.data() + 10, size) != size) return false;
    size_t end = 10 + size_t(size);

    uint8_t major = header[3];
    if (major >= 3) {
        if (tag.size() < 20) return false;
        size_t start = 10;
        if ((header[5] & 0x40) != 0) {
            // The extended header: its size excludes itself in 2.3 and
            // includes itself (syncsafe) in 2.4.
            uint64_t extended = major == 3 ? 4 + uint64_t(Be32(&tag[10])) : Syncsafe(&tag[10]);
            start = extended > end - 10 ? end : 10 + size_t(extended);
        }
        Walk23(walk, tag.data(), start, end, major == 4);
    } else {
        if (tag.size() < 16) return false;
        Walk22(walk, tag.data(), end);
    }
    return true;
}

bool ReadId3v1(ByteSource& source, TagInfo& tags) {
    if (source.Size() < 128) return false;
    uint8_t tag[128];
    if (source.ReadAt(source.Size() - 128, tag, 128) != 128) return false;
    if (std::memcmp(tag, "TAG", 3) != 0) return false;
    auto text = [&](size_t offset, char16_t* field) {
        const uint8_t* p = tag + offset;
        size_t n = size_t(std::find(p, p + 30, uint8_t(0)) - p);
        while (n > 0 && p[n - 1] == ' ') --n;
        CopyAnsi(p, n, field);
    };
    text(3, tags.title);
    text(33, tags.artist);
    text(63, tags.album);
    char16_t year[5] = {tag[93], tag[94], tag[95], tag[96], 0};
    tags.year = ParseDecimal(std::u16string_view(year, BoundedLength(year, 5)));
    if (tag[125] == 0) tags.track = tag[126];
    return true;
}

struct SourceCursor {
    ByteSource* source;
    uint64_t pos = 0;
};

size_t ReadSource(void* user, void* buffer, size_t bytes) {
    auto* cursor = static_cast<SourceCursor*>(user);
    size_t n = cursor->source->ReadAt(cursor->pos, buffer, bytes);
    cursor->pos += n;
    return n;
}

bool SeekSource(void* user, uint64_t position) {
    static_cast<SourceCursor*>(user)->pos = position;
    return true;
}

int ReadMp4Tags(ByteSource& source, TagInfo& tags) {
    SourceCursor cursor{&source};
    Mp4Reader reader;
    if (!reader.Open(Mp4Callbacks{ReadSource, SeekSource, &cursor, source.Size()})) return 0;
    tags = TagInfo{};
    auto text = [&](const char* name, char16_t* field) {
        std::optional<std::string> value = reader.Metadata(name);
        if (!value) return;
        DecodeMp4Utf8(reinterpret_cast<const uint8_t*>(value->data()),
                      std::min<size_t>(value->size(), 255), field);
    };
    text("title", tags.title);
    text("artist", tags.artist);
    text("album", tags.album);
    text("comment", tags.comment);
    text("genre", tags.genre);
    if (std::optional<std::string> track = reader.Metadata("track"))
        tags.track = ParseDecimal(Utf8ToUtf16(*track));
    if (std::optional<std::string> date = reader.Metadata("date"))
        tags.year = ParseDecimal(Utf8ToUtf16(date->substr(0, 4)));
    return 1;
}

}  // namespace

std::u16string TagText(const char16_t (&field)[kTagTextCapacity]) {
    return std::u16string(field, BoundedLength(field, kTagTextCapacity));
}

int32_t ParseDecimal(std::u16string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    int64_t value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = std::min<int64_t>(value * 10 + (text[i] - u'0'), int64_t(INT32_MAX) + 1);
    }
    if (negative) value = -value;
    return int32_t(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

void DecodeId3Utf8(const uint8_t* data, size_t size, char16_t* field) {
    size_t n = 0;
    for (size_t i = 0; i < size && n < kFieldUnits && data[i] != 0;) {
        uint8_t lead = data[i];
        uint32_t unit;
        if (lead < 0x80) {
            unit = lead;
            i += 1;
        } else if ((lead & 0xE0) == 0xC0) {
            if (size - i < 2) break;
            unit = (uint32_t(lead & 0x1F) << 6) | (data[i + 1] & 0x3F);
            i += 2;
        } else if ((lead & 0xE0) == 0xE0) {
            if (size - i < 3) break;
            unit = (uint32_t(lead & 0x0F) << 12) | (uint32_t(data[i + 1] & 0x3F) << 6) |
                   (data[i + 2] & 0x3F);
            i += 3;
        } else {
            break;  // a continuation byte where a lead byte belongs
        }
        field[n++] = char16_t(unit & 0xFFFF);
    }
    field[n] = 0;
}

void DecodeMp4Utf8(const uint8_t* data, size_t size, char16_t* field) {
    size_t n = 0;
    for (size_t i = 0; i < size && n < kFieldUnits;) {
        uint8_t lead = data[i++];
        int ones = 0;
        while (ones < 8 && (lead & (0x80 >> ones)) != 0) ++ones;
        if (ones == 1 || ones >= 7) continue;
        uint32_t code = ones == 0 ? lead : lead & (0x7F >> ones);
        bool broken = false;
        for (int k = 1; k < ones; ++k) {
            if (i >= size || (data[i] & 0xC0) != 0x80) {
                broken = true;
                break;
            }
            code = (code << 6) | (data[i++] & 0x3F);
        }
        if (broken || code == 0) break;
        field[n++] = code > 0xFFFF ? u'?' : char16_t(code);
    }
    field[n] = 0;
}

bool DecodeId3Text(const uint8_t* data, size_t size, char16_t* field) {
    if (size == 0) return false;
    uint8_t encoding = data[0];
    if (encoding != 0 && size >= 3 && data[1] == 0xFF && data[2] == 0xFE) {
        CopyUtf16(data + 3, size - 3, false, field);
    } else if (encoding != 0 && size >= 3 && data[1] == 0xFE && data[2] == 0xFF) {
        CopyUtf16(data + 3, size - 3, true, field);
    } else if (encoding == 0) {
        CopyAnsi(data + 1, size - 1, field);
    } else if (encoding == 2) {
        CopyUtf16(data + 1, size - 1, true, field);
    } else if (encoding == 3) {
        DecodeId3Utf8(data + 1, size - 1, field);
    } else {
        return false;
    }
    return true;
}

int ReadTagsFromSource(ByteSource& source, MediaType type, TagInfo& tags, bool fastAlbumPic,
                       const std::u16string& picturePath) {
    uint8_t head[8];
    if (type == kMediaAac && source.ReadAt(0, head, 8) == 8 &&
        std::memcmp(head + 4, "ftyp", 4) == 0)
        return ReadMp4Tags(source, tags);

    TagWalk walk{tags, !picturePath.empty(), fastAlbumPic, std::nullopt};
    if (ReadId3v2(source, walk)) {
        // Only the last picture frame would survive its rewrites, so only
        // it is written. The picture file is a scratch copy rewritten on
        // every use, so it is replaced in place, without a sync.
        if (walk.picture) {
            platform::File out;
            if (out.OpenWrite(picturePath)) out.Write(walk.picture->data(), walk.picture->size());
        }
        return 1;
    }
    return ReadId3v1(source, tags) ? 1 : 0;
}

}  // namespace kra
