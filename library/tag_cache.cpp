#include "library/tag_cache.h"

#include <map>
#include <mutex>

#include "app/base/debug_log.h"
#include "app/base/text.h"
#include "library/scan.h"
#include "media/media_probe.h"
#include "media/tag_info.h"
#include "platform/files.h"

namespace kra {

namespace {

// Titles of folders whose cache file could not be written, so that an album
// on read-only media is measured once per run, not on every opening.
std::mutex g_unwritableMutex;
std::map<std::u16string, std::vector<uint8_t>, std::less<>> g_unwritable;

bool FindUnwritable(std::u16string_view folder, std::vector<uint8_t>& bytes) {
    std::lock_guard lock(g_unwritableMutex);
    const auto kept = g_unwritable.find(folder);
    if (kept == g_unwritable.end()) return false;
    bytes = kept->second;
    return true;
}

SongFacts MeasureWithProbe(const std::u16string& path);
SongMeasurer g_measurer = &MeasureWithProbe;

// The largest cache a folder can have: 4 bytes of head per record plus the
// longest title; folders never hold anywhere near 65,536 songs.
constexpr size_t kMaxCacheBytes = 1 + 65536 * (2 + 254 + 4);

void PutTitleRecord(std::vector<uint8_t>& out, const TitleEntry& entry) {
    const std::u16string_view title =
        std::u16string_view(entry.title).substr(0, kMaxCachedTitleUnits);
    out.push_back(entry.number);
    out.push_back(uint8_t(2 * (title.size() + 1)));
    for (char16_t c : title) {
        out.push_back(uint8_t(c & 0xFF));
        out.push_back(uint8_t(c >> 8));
    }
    out.push_back(0);
    out.push_back(0);
    const uint32_t seconds = static_cast<uint32_t>(entry.duration);
    out.push_back(uint8_t(seconds >> 24));
    out.push_back(uint8_t(seconds >> 16));
    out.push_back(uint8_t(seconds >> 8));
    out.push_back(uint8_t(seconds));
}

}  // namespace

void SetSongMeasurer(SongMeasurer measurer) {
    g_measurer = measurer != nullptr ? measurer : &MeasureWithProbe;
}

std::u16string TagCachePath(std::u16string_view folder) {
    return ChildPath(folder, u"kra2.tag");
}

std::vector<uint8_t> EncodeTagCache(const std::vector<TitleEntry>& records) {
    std::vector<uint8_t> out;
    out.reserve(1 + records.size() * 40);
    out.push_back(uint8_t(records.size()));
    for (const TitleEntry& entry : records) PutTitleRecord(out, entry);
    return out;
}

bool DecodeTagCache(const uint8_t* data, size_t size, size_t expected,
                    std::vector<TitleEntry>& out) {
    out.clear();
    if (size < 1 || data[0] != uint8_t(expected)) return false;
    size_t pos = 1;
    out.reserve(expected);
    for (size_t i = 0; i < expected; ++i) {
        if (size - pos < 2) return false;
        TitleEntry entry;
        entry.number = data[pos];
        const size_t length = data[pos + 1];
        pos += 2;
        // A title holds at least its zero unit, in whole units.
        if (length < 2 || length % 2 != 0 || length > size - pos || size - pos - length < 4)
            return false;
        // The last unit is the terminator's place: a damaged file without
        // one still gives at most 126 characters.
        for (size_t k = 0; k + 2 < length; k += 2) {
            const char16_t c = char16_t(data[pos + k] | (data[pos + k + 1] << 8));
            if (c == 0) break;
            entry.title.push_back(c);
        }
        pos += length;
        entry.duration =
            static_cast<int32_t>(uint32_t(data[pos]) << 24 | uint32_t(data[pos + 1]) << 16 |
                                 uint32_t(data[pos + 2]) << 8 | uint32_t(data[pos + 3]));
        pos += 4;
        out.push_back(std::move(entry));
    }
    return true;
}

void LoadAlbumTitles(std::u16string_view folder, const TextList& files, const TitleSink& sink) {
    const std::u16string path = TagCachePath(folder);
    const bool exists = platform::GetFileAttributes(path) != platform::kAttrInvalid;
    KRA_LOG("%s (%d)", Utf16ToUtf8(path).c_str(), exists ? 1 : 0);

    std::vector<uint8_t> bytes;
    std::vector<TitleEntry> records;
    bool haveBytes = exists && platform::ReadFileBytes(path, bytes, kMaxCacheBytes);
    if (!haveBytes) haveBytes = FindUnwritable(folder, bytes);
    if (haveBytes) {
        if (DecodeTagCache(bytes.data(), bytes.size(), files.size(), records)) {
            for (size_t i = 0; i < records.size(); ++i) {
                sink(files[i], records[i].title, records[i].number, records[i].duration);
            }
            return;
        }
        KRA_LOG("%s is stale or damaged, rebuilt", Utf16ToUtf8(path).c_str());
    }

    // Measure every song, hand it on and write the cache.
    records.clear();
    records.reserve(files.size());
    uint8_t number = 1;
    for (std::u16string_view file : files) {
        const std::u16string filePath(file);
        SongFacts facts = g_measurer(filePath);
        if (facts.title.empty()) facts.title = std::u16string(UntaggedTitle(file));
        if (facts.title.size() > kMaxCachedTitleUnits) facts.title.resize(kMaxCachedTitleUnits);
        sink(file, facts.title, number, facts.seconds);
        records.push_back(TitleEntry{std::move(facts.title), number, facts.seconds});
        ++number;
    }
    bytes = EncodeTagCache(records);
    const bool written = platform::WriteFileAtomic(path, bytes);
    if (!written) KRA_LOG("cannot write %s", Utf16ToUtf8(path).c_str());
    std::lock_guard lock(g_unwritableMutex);
    if (written) {
        g_unwritable.erase(std::u16string(folder));
    } else {
        g_unwritable[std::u16string(folder)] = std::move(bytes);
    }
}

std::vector<TitleEntry> LoadAlbumTitleEntries(std::u16string_view folder) {
    std::vector<TitleEntry> entries;
    const TextList files = SortedFolderSongs(folder);
    LoadAlbumTitles(folder, files,
                    [&entries](std::u16string_view, std::u16string_view title, uint8_t number,
                               int32_t duration) {
                        entries.push_back(TitleEntry{std::u16string(title), number, duration});
                    });
    return entries;
}

void ClearUnwritableTitleCache() {
    g_unwritable.clear();
}

namespace {

// Open, length, tags (no picture), close: one sequence on the shared probe.
SongFacts MeasureWithProbe(const std::u16string& path) {
    MediaFileProbe& probe = SharedMediaFileProbe();
    SongFacts facts;
    ProbeSession session(probe, path);
    facts.seconds = probe.DurationSeconds();
    TagInfo tags;
    probe.ReadTags(tags, true, std::u16string());
    facts.title = TagText(tags.title);
    return facts;
}

}  // namespace

}  // namespace kra
