#include "media/mp4_reader.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace kra {
namespace {

constexpr uint32_t FourCc(const char (&s)[5]) {
    return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) |
           (uint32_t(uint8_t(s[2])) << 8) | uint32_t(uint8_t(s[3]));
}

constexpr int kMaxDepth = 12;
constexpr size_t kMaxTracks = 256;
constexpr size_t kMaxBoxRead = 64 * 1024;  // for the small boxes read whole
constexpr size_t kMaxItemValue = 1024;     // callers use at most 255 bytes

uint32_t Be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
uint64_t Be64(const uint8_t* p) {
    return (uint64_t(Be32(p)) << 32) | Be32(p + 4);
}

// Bounded reading of descriptor bytes.
struct Cursor {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;

    size_t Left() const { return size - pos; }
    bool Skip(size_t n) {
        if (n > Left()) return false;
        pos += n;
        return true;
    }
    bool Byte(uint8_t& value) {
        if (Left() < 1) return false;
        value = data[pos++];
        return true;
    }
    // An MPEG-4 descriptor header: tag and a length of up to four 7-bit
    // groups; the length is cut to what remains.
    bool Descriptor(uint8_t& tag, size_t& length) {
        if (!Byte(tag)) return false;
        length = 0;
        for (int i = 0; i < 4; ++i) {
            uint8_t b = 0;
            if (!Byte(b)) return false;
            length = (length << 7) | (b & 0x7F);
            if ((b & 0x80) == 0) break;
        }
        length = std::min(length, Left());
        return true;
    }
};

// The DecoderConfigDescriptor and its DecoderSpecificInfo.
void ParseDecoderConfig(Cursor c, Mp4Track& track) {
    if (c.Left() < 13) return;
    track.averageBitrate = Be32(c.data + c.pos + 9);
    c.Skip(13);
    uint8_t tag = 0;
    size_t length = 0;
    while (c.Descriptor(tag, length)) {
        if (tag == 0x05) {
            track.decoderConfig.assign(c.data + c.pos, c.data + c.pos + length);
            return;
        }
        c.Skip(length);
    }
}

void ParseEsds(const std::vector<uint8_t>& esds, Mp4Track& track) {
    Cursor c{esds.data(), esds.size()};
    if (!c.Skip(4)) return;  // version and flags
    uint8_t tag = 0;
    size_t length = 0;
    while (c.Descriptor(tag, length)) {
        Cursor body{c.data + c.pos, length};
        c.Skip(length);
        if (tag == 0x04) {
            ParseDecoderConfig(body, track);
            return;
        }
        if (tag != 0x03) continue;
        // ES_Descriptor: ES_ID, flags and their optional fields, then
        // the DecoderConfigDescriptor.
        uint8_t flags = 0;
        if (!body.Skip(2) || !body.Byte(flags)) return;
        if ((flags & 0x80) != 0 && !body.Skip(2)) return;
        if ((flags & 0x40) != 0) {
            uint8_t urlLength = 0;
            if (!body.Byte(urlLength) || !body.Skip(urlLength)) return;
        }
        if ((flags & 0x20) != 0 && !body.Skip(2)) return;
        while (body.Descriptor(tag, length)) {
            if (tag == 0x04) {
                ParseDecoderConfig(Cursor{body.data + body.pos, length}, track);
                return;
            }
            body.Skip(length);
        }
        return;
    }
}

constexpr std::array<std::string_view, 148> kGenres = {"Blues",
                                                       "Classic Rock",
                                                       "Country",
                                                       "Dance",
                                                       "Disco",
                                                       "Funk",
                                                       "Grunge",
                                                       "Hip-Hop",
                                                       "Jazz",
                                                       "Metal",
                                                       "New Age",
                                                       "Oldies",
                                                       "Other",
                                                       "Pop",
                                                       "R&B",
                                                       "Rap",
                                                       "Reggae",
                                                       "Rock",
                                                       "Techno",
                                                       "Industrial",
                                                       "Alternative",
                                                       "Ska",
                                                       "Death Metal",
                                                       "Pranks",
                                                       "Soundtrack",
                                                       "Euro-Techno",
                                                       "Ambient",
                                                       "Trip-Hop",
                                                       "Vocal",
                                                       "Jazz+Funk",
                                                       "Fusion",
                                                       "Trance",
                                                       "Classical",
                                                       "Instrumental",
                                                       "Acid",
                                                       "House",
                                                       "Game",
                                                       "Sound Clip",
                                                       "Gospel",
                                                       "Noise",
                                                       "AlternRock",
                                                       "Bass",
                                                       "Soul",
                                                       "Punk",
                                                       "Space",
                                                       "Meditative",
                                                       "Instrumental Pop",
                                                       "Instrumental Rock",
                                                       "Ethnic",
                                                       "Gothic",
                                                       "Darkwave",
                                                       "Techno-Industrial",
                                                       "Electronic",
                                                       "Pop-Folk",
                                                       "Eurodance",
                                                       "Dream",
                                                       "Southern Rock",
                                                       "Comedy",
                                                       "Cult",
                                                       "Gangsta",
                                                       "Top 40",
                                                       "Christian Rap",
                                                       "Pop/Funk",
                                                       "Jungle",
                                                       "Native American",
                                                       "Cabaret",
                                                       "New Wave",
                                                       "Psychadelic",
                                                       "Rave",
                                                       "Showtunes",
                                                       "Trailer",
                                                       "Lo-Fi",
                                                       "Tribal",
                                                       "Acid Punk",
                                                       "Acid Jazz",
                                                       "Polka",
                                                       "Retro",
                                                       "Musical",
                                                       "Rock & Roll",
                                                       "Hard Rock",
                                                       "Folk",
                                                       "Folk-Rock",
                                                       "National Folk",
                                                       "Swing",
                                                       "Fast Fusion",
                                                       "Bebob",
                                                       "Latin",
                                                       "Revival",
                                                       "Celtic",
                                                       "Bluegrass",
                                                       "Avantgarde",
                                                       "Gothic Rock",
                                                       "Progressive Rock",
                                                       "Psychedelic Rock",
                                                       "Symphonic Rock",
                                                       "Slow Rock",
                                                       "Big Band",
                                                       "Chorus",
                                                       "Easy Listening",
                                                       "Acoustic",
                                                       "Humour",
                                                       "Speech",
                                                       "Chanson",
                                                       "Opera",
                                                       "Chamber Music",
                                                       "Sonata",
                                                       "Symphony",
                                                       "Booty Bass",
                                                       "Primus",
                                                       "Porn Groove",
                                                       "Satire",
                                                       "Slow Jam",
                                                       "Club",
                                                       "Tango",
                                                       "Samba",
                                                       "Folklore",
                                                       "Ballad",
                                                       "Power Ballad",
                                                       "Rhythmic Soul",
                                                       "Freestyle",
                                                       "Duet",
                                                       "Punk Rock",
                                                       "Drum Solo",
                                                       "A capella",
                                                       "Euro-House",
                                                       "Dance Hall",
                                                       "Goa",
                                                       "Drum & Bass",
                                                       "Club-House",
                                                       "Hardcore",
                                                       "Terror",
                                                       "Indie",
                                                       "BritPop",
                                                       "Afro-Punk",
                                                       "Polsk Punk",
                                                       "Beat",
                                                       "Christian Gangsta Rap",
                                                       "Heavy Metal",
                                                       "Black Metal",
                                                       "Crossover",
                                                       "Contemporary Christian",
                                                       "Christian Rock",
                                                       "Merengue",
                                                       "Salsa",
                                                       "Thrash Metal",
                                                       "Anime",
                                                       "JPop",
                                                       "Synthpop"};

const char* ItemName(uint32_t type) {
    switch (type) {
        case FourCc("\xA9nam"):
            return "title";
        case FourCc(
            "\xA9"
            "ART"):
            return "artist";
        case FourCc(
            "\xA9"
            "alb"):
            return "album";
        case FourCc(
            "\xA9"
            "cmt"):
            return "comment";
        case FourCc("\xA9gen"):
        case FourCc("gnre"):
            return "genre";
        case FourCc("trkn"):
            return "track";
        case FourCc(
            "\xA9"
            "day"):
            return "date";
        default:
            return nullptr;
    }
}

}  // namespace

std::string_view Id3v1GenreName(uint32_t number) {
    return number < kGenres.size() ? kGenres[number] : std::string_view();
}

bool Mp4Reader::ReadAt(uint64_t at, void* buffer, size_t bytes) {
    if (at > io_.size || bytes > io_.size - at) return false;
    if (!io_.seek(io_.user, at)) return false;
    size_t got = 0;
    while (got < bytes) {
        size_t n = io_.read(io_.user, static_cast<uint8_t*>(buffer) + got, bytes - got);
        if (n == 0) return false;
        got += n;
    }
    return true;
}

bool Mp4Reader::ReadBox(uint64_t at, uint64_t limit, Box& box) {
    if (at >= limit || limit - at < 8) return false;
    uint8_t header[16];
    if (!ReadAt(at, header, 8)) return false;
    uint64_t size = Be32(header);
    uint64_t headerSize = 8;
    if (size == 1) {
        if (limit - at < 16 || !ReadAt(at + 8, header + 8, 8)) return false;
        size = Be64(header + 8);
        headerSize = 16;
    } else if (size == 0) {
        size = limit - at;  // runs to the end of its parent
    }
    if (size < headerSize) return false;
    box.type = Be32(header + 4);
    box.start = at;
    box.content = at + headerSize;
    box.end = size > limit - at ? limit : at + size;
    return true;
}

std::vector<uint8_t> Mp4Reader::ReadContent(const Box& box, uint64_t from, size_t maxBytes) {
    std::vector<uint8_t> bytes;
    if (from >= box.end) return bytes;
    bytes.resize(size_t(std::min<uint64_t>(box.end - from, maxBytes)));
    if (!ReadAt(from, bytes.data(), bytes.size())) bytes.clear();
    return bytes;
}

bool Mp4Reader::Open(const Mp4Callbacks& callbacks) {
    io_ = callbacks;
    tracks_.clear();
    items_.clear();
    trackItems_.clear();
    if (!io_.read || !io_.seek) return false;
    Box first;
    if (!ReadBox(0, io_.size, first)) return false;
    WalkChildren(0, io_.size, 0, 0);
    return true;
}

void Mp4Reader::WalkChildren(uint64_t from, uint64_t end, int depth, int parentType) {
    if (depth > kMaxDepth) return;
    Box box;
    for (uint64_t at = from; ReadBox(at, end, box); at = box.end) {
        switch (box.type) {
            case FourCc("moov"):
            case FourCc("udta"):
                WalkChildren(box.content, box.end, depth + 1, int(box.type));
                break;
            case FourCc("trak"):
                if (parentType == int(FourCc("moov")) && tracks_.size() < kMaxTracks) {
                    tracks_.emplace_back();
                    WalkTrackBox(box, depth + 1, tracks_.back());
                }
                break;
            case FourCc("meta"):
                ParseMeta(box, depth + 1, items_);
                break;
            default:
                break;
        }
    }
}

void Mp4Reader::WalkTrackBox(const Box& parent, int depth, Mp4Track& track) {
    if (depth > kMaxDepth) return;
    Box box;
    for (uint64_t at = parent.content; ReadBox(at, parent.end, box); at = box.end) {
        switch (box.type) {
            case FourCc("mdia"):
            case FourCc("minf"):
            case FourCc("stbl"):
                WalkTrackBox(box, depth + 1, track);
                break;
            case FourCc("mdhd"): {
                std::vector<uint8_t> b = ReadContent(box, box.content, 32);
                if (b.size() >= 32 && b[0] == 1) {
                    track.timeScale = Be32(&b[20]);
                    uint64_t duration = Be64(&b[24]);
                    track.duration = duration == UINT64_MAX ? 0 : duration;
                } else if (b.size() >= 20 && b[0] == 0) {
                    track.timeScale = Be32(&b[12]);
                    uint32_t duration = Be32(&b[16]);
                    track.duration = duration == UINT32_MAX ? 0 : duration;
                }
                break;
            }
            case FourCc("udta"): {
                // Some muxers keep the tags with the track.
                Box meta;
                for (uint64_t m = box.content; ReadBox(m, box.end, meta); m = meta.end) {
                    if (meta.type == FourCc("meta")) ParseMeta(meta, depth + 1, trackItems_);
                }
                break;
            }
            case FourCc("stsd"):
                ParseSampleDescription(box, track);
                break;
            case FourCc("stsz"): {
                std::vector<uint8_t> b = ReadContent(box, box.content, 12);
                if (b.size() == 12) track.sampleCount = Be32(&b[8]);
                break;
            }
            case FourCc("stco"):
            case FourCc("co64"): {
                std::vector<uint8_t> b = ReadContent(box, box.content, 8);
                if (b.size() == 8) track.chunkCount = Be32(&b[4]);
                break;
            }
            default:
                break;
        }
    }
}

void Mp4Reader::ParseSampleDescription(const Box& stsd, Mp4Track& track) {
    // Version, flags and entry count, then the entries.
    Box entry;
    for (uint64_t at = stsd.content + 8; ReadBox(at, stsd.end, entry); at = entry.end) {
        if (entry.type != FourCc("mp4a")) continue;
        // The sound sample entry: 28 bytes, 16 more in version 1, 36 more
        // in version 2; then its boxes.
        std::vector<uint8_t> fields = ReadContent(entry, entry.content, 28);
        if (fields.size() < 28) return;
        uint16_t version = uint16_t((fields[8] << 8) | fields[9]);
        uint64_t children = entry.content + 28 + (version == 1 ? 16 : version == 2 ? 36 : 0);
        Box child;
        for (uint64_t c = children; ReadBox(c, entry.end, child); c = child.end) {
            Box esds = child;
            if (child.type == FourCc("wave")) {
                // QuickTime keeps the esds one level down.
                Box inner;
                bool found = false;
                for (uint64_t w = child.content; ReadBox(w, child.end, inner); w = inner.end) {
                    if (inner.type == FourCc("esds")) {
                        esds = inner;
                        found = true;
                        break;
                    }
                }
                if (!found) continue;
            } else if (child.type != FourCc("esds")) {
                continue;
            }
            ParseEsds(ReadContent(esds, esds.content, kMaxBoxRead), track);
            if (!track.decoderConfig.empty()) return;
        }
    }
}

void Mp4Reader::ParseMeta(const Box& meta, int depth, std::vector<Item>& items) {
    if (depth > kMaxDepth) return;
    // "meta" is a full box in MP4 files but not in some QuickTime files,
    // where a "hdlr" box follows the header at once.
    std::vector<uint8_t> head = ReadContent(meta, meta.content, 8);
    uint64_t children = meta.content + 4;
    if (head.size() == 8 && std::memcmp(&head[4], "hdlr", 4) == 0) children = meta.content;
    Box box;
    for (uint64_t at = children; ReadBox(at, meta.end, box); at = box.end) {
        if (box.type == FourCc("ilst")) ParseMetaList(box, depth + 1, items);
    }
}

void Mp4Reader::ParseMetaList(const Box& ilst, int depth, std::vector<Item>& items) {
    if (depth > kMaxDepth) return;
    Box item;
    for (uint64_t at = ilst.content; ReadBox(at, ilst.end, item); at = item.end) {
        const char* name = ItemName(item.type);
        if (name == nullptr) continue;
        Box data;
        bool found = false;
        for (uint64_t d = item.content; ReadBox(d, item.end, data); d = data.end) {
            if (data.type == FourCc("data")) {
                found = true;
                break;
            }
        }
        if (!found) continue;
        // Type indicator and locale, then the value.
        std::vector<uint8_t> value = ReadContent(data, data.content, 8 + kMaxItemValue);
        if (value.size() < 8) continue;
        value.erase(value.begin(), value.begin() + 8);

        std::string text;
        if (item.type == FourCc("gnre")) {
            if (value.size() < 2) continue;
            uint32_t number = uint32_t((value[0] << 8) | value[1]);
            if (number == 0) continue;
            text = std::string(Id3v1GenreName(number - 1));
            if (text.empty()) continue;
        } else if (item.type == FourCc("trkn")) {
            if (value.size() < 4) continue;
            text = std::to_string((value[2] << 8) | value[3]);
        } else {
            text.assign(value.begin(), value.end());
        }
        auto it =
            std::find_if(items.begin(), items.end(), [&](const Item& i) { return i.name == name; });
        if (it != items.end()) {
            it->value = std::move(text);
        } else {
            items.push_back({name, std::move(text)});
        }
    }
}

std::optional<std::string> Mp4Reader::Metadata(std::string_view name) const {
    for (const std::vector<Item>* items : {&items_, &trackItems_}) {
        for (const Item& item : *items) {
            if (item.name == name) return item.value;
        }
    }
    return std::nullopt;
}

}  // namespace kra
