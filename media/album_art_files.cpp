#include "media/album_art_files.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "app/base/debug_log.h"
#include "app/base/text.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/image-decode.h"

namespace kra {

namespace {

// Pictures copied into album folders are read whole; anything larger is no
// cover anyone would keep.
constexpr uint64_t kMaxPictureBytes = 32ull * 1024 * 1024;

std::string U8(std::u16string_view text) {
    return Utf16ToUtf8(text);
}

bool EndsWithNoCase(std::u16string_view name, std::u16string_view tail) {
    if (name.size() < tail.size()) return false;
    const size_t start = name.size() - tail.size();
    for (size_t i = 0; i < tail.size(); ++i) {
        if (FoldUnit(name[start + i]) != FoldUnit(tail[i])) return false;
    }
    return true;
}

bool StartsWithNoCase(std::u16string_view name, std::u16string_view head) {
    if (name.size() < head.size()) return false;
    for (size_t i = 0; i < head.size(); ++i) {
        if (FoldUnit(name[i]) != FoldUnit(head[i])) return false;
    }
    return true;
}

// "AlbumArt_*_<size>.jpg": the star may match nothing, but the two
// underscores are separate characters.
bool IsAlbumArtName(std::u16string_view name, std::u16string_view tail) {
    constexpr std::u16string_view kHead = u"AlbumArt_";
    return name.size() >= kHead.size() + tail.size() && StartsWithNoCase(name, kHead) &&
           EndsWithNoCase(name, tail);
}

void PutLe32(std::vector<uint8_t>& out, uint32_t v) {
    for (int s = 0; s < 32; s += 8) out.push_back(uint8_t(v >> s));
}

uint32_t GetLe32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// At most kCaptionMaxUnits units, not ending on the first half of a pair.
std::u16string_view CutCaption(std::u16string_view text) {
    const size_t zero = text.find(u'\0');
    if (zero != std::u16string_view::npos) text = text.substr(0, zero);
    if (text.size() <= kCaptionMaxUnits) return text;
    size_t n = kCaptionMaxUnits;
    if (text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
    return text.substr(0, n);
}

void PutCaptionField(std::vector<uint8_t>& out, std::u16string_view text) {
    text = CutCaption(text);
    out.push_back(uint8_t((text.size() + 1) * 2));
    for (char16_t c : text) {
        out.push_back(uint8_t(c));
        out.push_back(uint8_t(c >> 8));
    }
    out.push_back(0);
    out.push_back(0);
}

// One length-prefixed text at `pos`; false when the length byte is missing.
bool GetCaptionField(const uint8_t* data, size_t size, size_t& pos, std::u16string& text) {
    text.clear();
    if (pos >= size) return false;
    const size_t length = data[pos++];
    const size_t available = std::min(length, size - pos);
    for (size_t i = 0; i + 1 < available; i += 2) {
        const char16_t c = char16_t(data[pos + i] | data[pos + i + 1] << 8);
        if (c == 0) break;
        text.push_back(c);
    }
    pos += available;
    return true;
}

int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;  // days since 1970-01-01
}

}  // namespace

std::u16string ExtractionPath(ExtractSlot slot) {
    const char16_t* name = slot == ExtractSlot::kNowPlaying ? u"kra.bmp"
                           : slot == ExtractSlot::kOnDemand ? u"kraaf.bmp"
                                                            : u"kraafbg.bmp";
    return FolderFile(platform::ProgramFolder(), name);
}

std::u16string FolderFile(std::u16string_view folder, std::u16string_view name) {
    std::u16string path;
    path.reserve(folder.size() + 1 + name.size());
    if (folder.size() != 1 || folder[0] != u'\\') path.append(folder);
    path.push_back(u'\\');
    path.append(name);
    return path;
}

std::u16string_view PathFolder(std::u16string_view path) {
    const size_t last = path.rfind(u'\\');
    if (last == std::u16string_view::npos) return {};
    return last == 0 ? path.substr(0, 1) : path.substr(0, last);
}

std::u16string_view PathLastComponent(std::u16string_view path) {
    const size_t last = path.rfind(u'\\');
    return last == std::u16string_view::npos ? path : path.substr(last + 1);
}

bool IsMusicName(std::u16string_view name) {
    for (std::u16string_view ext :
         {u".mp2", u".mp3", u".mp4", u".wma", u".wav", u".m4a", u".aac", u".3gp"}) {
        if (EndsWithNoCase(name, ext)) return true;
    }
    return false;
}

bool FindCoverFile(std::u16string_view folder, std::u16string& result,
                   std::u16string_view fallback) {
    for (std::u16string_view name : {u"folder.jpg", u"cover.jpg", u"folder.jpeg"}) {
        std::u16string path = FolderFile(folder, name);
        const bool exists = platform::FileExists(path);
        KRA_LOG("%s (%d)", U8(path).c_str(), exists ? 1 : 0);
        if (exists) {
            result = std::move(path);
            return true;
        }
    }
    std::vector<platform::FolderEntry> entries;
    if (platform::ListFolder(std::u16string(folder), entries)) {
        for (std::u16string_view tail : {u"_Large.jpg", u"_Small.jpg"}) {
            for (const platform::FolderEntry& entry : entries) {
                if ((entry.attributes & platform::kAttrDirectory) == 0 &&
                    IsAlbumArtName(entry.name, tail)) {
                    result = FolderFile(folder, entry.name);
                    return true;
                }
            }
        }
    }
    result = std::u16string(fallback);
    return false;
}

bool FindFirstMusicFile(std::u16string_view folder, std::u16string& name) {
    std::vector<platform::FolderEntry> entries;
    if (!platform::ListFolder(std::u16string(folder), entries)) return false;
    for (platform::FolderEntry& entry : entries) {
        if ((entry.attributes & platform::kAttrDirectory) == 0 && IsMusicName(entry.name)) {
            name = std::move(entry.name);
            return true;
        }
    }
    return false;
}

// --- kra1.tag -------------------------------------------------------------------

std::vector<uint8_t> EncodeFolderTag(std::u16string_view album, std::u16string_view artist) {
    std::vector<uint8_t> out;
    out.reserve(2 + (kCaptionMaxUnits + 1) * 4);
    PutCaptionField(out, album);
    PutCaptionField(out, artist);
    return out;
}

bool DecodeFolderTag(const uint8_t* data, size_t size, std::u16string& album,
                     std::u16string& artist) {
    size_t pos = 0;
    std::u16string a, b;
    if (!GetCaptionField(data, size, pos, a) || !GetCaptionField(data, size, pos, b)) return false;
    album = std::move(a);
    artist = std::move(b);
    return true;
}

bool ReadFolderTag(const std::u16string& path, std::u16string& album, std::u16string& artist) {
    std::vector<uint8_t> bytes;
    if (!platform::ReadFileBytes(path, bytes, kCaptionFileMaxBytes)) return false;
    if (!DecodeFolderTag(bytes.data(), bytes.size(), album, artist)) {
        KRA_LOG("Damaged caption cache %s", U8(path).c_str());
        return false;
    }
    return true;
}

bool WriteFolderTag(const std::u16string& path, std::u16string_view album,
                    std::u16string_view artist) {
    return platform::WriteFileAtomic(path, EncodeFolderTag(album, artist));
}

// --- kra3.tag -------------------------------------------------------------------

std::vector<uint8_t> EncodeThumbnailCache(const Surface& surface, uint64_t fileTime) {
    std::vector<uint8_t> out;
    if (!surface.HasPixels()) return out;
    const uint32_t size = surface.width * surface.height * 2;
    out.reserve(kThumbnailHeaderBytes + size);
    PutLe32(out, surface.width);
    PutLe32(out, surface.height);
    PutLe32(out, size);
    PutLe32(out, uint32_t(fileTime));
    PutLe32(out, uint32_t(fileTime >> 32));
    const uint16_t* pixels = surface.pixels;
    for (uint32_t i = 0, n = surface.width * surface.height; i < n; ++i) {
        out.push_back(uint8_t(pixels[i]));
        out.push_back(uint8_t(pixels[i] >> 8));
    }
    return out;
}

bool ParseThumbnailHeader(const uint8_t* data, size_t size, ThumbnailHeader& header) {
    if (size < kThumbnailHeaderBytes) return false;
    header.width = GetLe32(data);
    header.height = GetLe32(data + 4);
    header.size = GetLe32(data + 8);
    header.fileTime = uint64_t(GetLe32(data + 12)) | uint64_t(GetLe32(data + 16)) << 32;
    if (header.width == 0 || header.height == 0 || header.width > kMaxThumbnailSide ||
        header.height > kMaxThumbnailSide)
        return false;
    return uint64_t(header.width) * header.height * 2 == header.size;
}

bool DecodeThumbnailCache(const uint8_t* data, size_t size, Surface& surface) {
    ThumbnailHeader header;
    surface.width = surface.height = 0;
    if (!ParseThumbnailHeader(data, size, header)) return false;
    if (header.size > size - kThumbnailHeaderBytes) return false;
    if (!SizeSurface(surface, header.width, header.height)) return false;
    DropSurfaceAlpha(surface);
    const uint8_t* p = data + kThumbnailHeaderBytes;
    for (uint32_t i = 0, n = header.width * header.height; i < n; ++i, p += 2) {
        surface.pixels[i] = uint16_t(p[0] | p[1] << 8);
    }
    return true;
}

bool WriteThumbnailCache(const Surface& surface, const std::u16string& path) {
    if (!surface.HasPixels()) return false;
    return platform::WriteFileAtomic(path, EncodeThumbnailCache(surface, LocalFileTimeNow()));
}

bool ReadThumbnailCache(Surface& surface, const std::u16string& path) {
    surface.width = surface.height = 0;
    platform::File file;
    if (!file.OpenRead(path)) return false;
    uint8_t head[kThumbnailHeaderBytes];
    ThumbnailHeader header;
    // The recorded size is checked against the sides and against the file
    // before anything is allocated for it.
    if (file.Read(head, sizeof head) != sizeof head ||
        !ParseThumbnailHeader(head, sizeof head, header) ||
        file.Size() < kThumbnailHeaderBytes + uint64_t(header.size)) {
        KRA_LOG("Damaged thumbnail cache %s", U8(path).c_str());
        return false;
    }
    std::vector<uint8_t> bytes(kThumbnailHeaderBytes + size_t(header.size));
    std::memcpy(bytes.data(), head, sizeof head);
    if (file.Read(bytes.data() + sizeof head, header.size) != header.size ||
        !DecodeThumbnailCache(bytes.data(), bytes.size(), surface)) {
        surface.width = surface.height = 0;
        KRA_LOG("Damaged thumbnail cache %s", U8(path).c_str());
        return false;
    }
    return true;
}

uint64_t FileTimeFromLocal(int year, int month, int day, int hour, int minute, int second) {
    // 1601-01-01 lies 134774 days before 1970-01-01.
    const int64_t days = DaysFromCivil(year, month, day) + 134774;
    const int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second;
    return seconds < 0 ? 0 : uint64_t(seconds) * 10000000ull;
}

uint64_t LocalFileTimeNow() {
    const platform::LocalTime t = platform::NowLocal();
    return FileTimeFromLocal(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

// --- Copies ---------------------------------------------------------------------

bool CopyPictureIfAbsent(const std::u16string& from, const std::u16string& to) {
    static std::atomic<uint32_t> counter{0};
    if (platform::FileExists(to)) return false;
    std::vector<uint8_t> bytes;
    if (!platform::ReadFileBytes(from, bytes, kMaxPictureBytes)) return false;
    platform::ImageHeader header;
    if (!platform::ReadImageHeader(bytes.data(), bytes.size(), header) || header.width == 0 ||
        header.height == 0) {
        KRA_LOG("Not a picture: %s", U8(from).c_str());
        return false;
    }
    // Written whole under a private name first, then moved without
    // replacing: a file that appears meanwhile wins.
    const std::u16string temp = FolderFile(
        PathFolder(to), u".kra-copy-" + Utf8ToUtf16(std::to_string(counter.fetch_add(1))));
    if (!platform::WriteFileAtomic(temp, bytes)) return false;
    if (platform::MoveFile(temp, to)) return true;
    platform::DeleteFile(temp);
    return false;
}

}  // namespace kra
