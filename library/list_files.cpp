#include "library/list_files.h"

#include <cstring>

#include "app/base/debug_log.h"
#include "app/base/text.h"
#include "library/indexes.h"
#include "platform/files.h"

namespace kra {

namespace {

constexpr size_t kMaxPathBytes = 2 * kMaxPathUnits;  // 518
// The largest file worth reading: the most records with the longest paths.
constexpr uint64_t kMaxListFileBytes = 2 + kMaxListSongs * (4 + kMaxPathBytes);

std::string U8(std::u16string_view text) {
    return Utf16ToUtf8(text);
}

uint16_t Get16(const uint8_t* p) {
    return uint16_t(p[0] << 8 | p[1]);
}

void Put16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(uint8_t((value >> 8) & 0xFF));
    out.push_back(uint8_t(value & 0xFF));
}

bool HasZeroUnit(const uint8_t* p, size_t units) {
    unsigned zero = 0;  // no early exit, so the loop vectorises
    for (size_t k = 0; k < units; ++k) {
        uint16_t unit;
        std::memcpy(&unit, p + 2 * k, 2);
        zero |= unit == 0;
    }
    return zero != 0;
}

// Walks the records; `onRecord(identity, bytes, units)` gets each sound one
// as its UTF-16LE bytes.
template <typename OnRecord>
ListFileRead DecodeRecords(const uint8_t* data, size_t size, bool withIdentity, OnRecord onRecord) {
    ListFileRead result;
    if (size < 2) {
        result.damaged = size != 0;
        return result;
    }
    result.count = Get16(data);
    size_t pos = 2;
    const size_t head = withIdentity ? 4 : 2;
    for (int32_t i = 0; i < result.count; ++i) {
        if (size - pos < head) break;
        const uint16_t identity = withIdentity ? Get16(data + pos) : 0;
        const size_t length = Get16(data + pos + head - 2);
        if (length == 0 || length % 2 != 0 || length > kMaxPathBytes || length > size - pos - head)
            break;
        const uint8_t* p = data + pos + head;
        if (p[0] != '\\' || p[1] != 0) break;
        if (HasZeroUnit(p, length / 2)) break;
        onRecord(identity, p, length / 2);
        pos += head + length;
        ++result.records;
    }
    result.damaged = result.records != result.count;
    return result;
}

// Appends the folder of each song when it differs from the previous one. The
// folder is the front of the song's path and shares its text.
struct FolderTracker {
    TextList* folders;
    void Add(const TextList& songs) {
        const std::u16string_view folder = FolderPart(songs.back());
        if (!folders->empty()) {
            const std::u16string_view last = folders->back();
            if (last.size() == folder.size() &&
                std::memcmp(last.data(), folder.data(), folder.size() * 2) == 0)
                return;
        }
        folders->AppendSharedPart(songs, folder);
    }
};

void LogDamaged(const std::u16string& path, const ListFileRead& read) {
    if (read.damaged) {
        KRA_LOG("%s damaged after %d of %d records", U8(path).c_str(), read.records, read.count);
    }
}

bool ReadListFile(const std::u16string& path, std::vector<uint8_t>& bytes) {
    return platform::ReadFileBytes(path, bytes, kMaxListFileBytes);
}

// Only paths the format can hold are ever written.
bool Writable(std::u16string_view path) {
    return !path.empty() && path.size() <= kMaxPathUnits && path[0] == u'\\';
}

void PutPath(std::vector<uint8_t>& out, std::u16string_view path) {
    Put16(out, uint32_t(path.size() * 2));
    for (char16_t c : path) {
        out.push_back(uint8_t(c & 0xFF));
        out.push_back(uint8_t(c >> 8));
    }
}

size_t UnitsOf(const TextList& list) {
    size_t units = 0;
    for (std::u16string_view path : list) units += path.size();
    return units;
}

bool FitsFormat(const TextList& paths) {
    if (paths.size() > kMaxListSongs) return false;
    for (std::u16string_view path : paths) {
        if (!Writable(path)) return false;
    }
    return true;
}

bool Exists(const std::u16string& path) {
    const bool exists = platform::FileExists(path);
    KRA_LOG("%s (%d)", U8(path).c_str(), exists ? 1 : 0);
    return exists;
}

}  // namespace

ListFileRead DecodeBrowseList(const uint8_t* data, size_t size, TextList& songs,
                              TextList& folders) {
    songs.reserve(size / 64, size / 2);
    FolderTracker tracker{&folders};
    return DecodeRecords(data, size, false, [&](uint16_t, const uint8_t* path, size_t units) {
        songs.PushUtf16Le(path, units);
        tracker.Add(songs);
    });
}

ListFileRead DecodePlayList(const uint8_t* data, size_t size, PlayList& play, TextList* songs,
                            TextList* folders) {
    const size_t first = play.paths.size();
    play.paths.reserve(size / 64, size / 2);
    play.entries.reserve(size / 64);
    FolderTracker tracker{folders};
    const ListFileRead read =
        DecodeRecords(data, size, true, [&](uint16_t identity, const uint8_t* path, size_t units) {
            play.paths.PushUtf16Le(path, units);
            play.entries.push_back(PlayEntry{0, identity});
            if (folders != nullptr) tracker.Add(play.paths);
        });
    // The library is the play list itself: the paths are held once.
    if (songs != nullptr) songs->AppendShared(play.paths, first, play.paths.size());
    return read;
}

bool EncodeBrowseList(const TextList& songs, std::vector<uint8_t>& out) {
    if (!FitsFormat(songs)) return false;
    out.clear();
    out.reserve(2 + songs.size() * 2 + UnitsOf(songs) * 2);
    Put16(out, uint32_t(songs.size()));
    for (std::u16string_view path : songs) PutPath(out, path);
    return true;
}

bool EncodePlayList(const PlayList& play, std::vector<uint8_t>& out) {
    if (!FitsFormat(play.paths) || play.entries.size() != play.paths.size()) return false;
    out.clear();
    out.reserve(2 + play.size() * 4 + UnitsOf(play.paths) * 2);
    Put16(out, uint32_t(play.size()));
    for (size_t i = 0; i < play.size(); ++i) {
        Put16(out, play.entries[i].identity & 0xFFFF);
        PutPath(out, play.Path(i));
    }
    return true;
}

bool EncodeSongsAsPlayList(const TextList& songs, std::vector<uint8_t>& out) {
    if (!FitsFormat(songs)) return false;
    out.clear();
    out.reserve(2 + songs.size() * 4 + UnitsOf(songs) * 2);
    Put16(out, uint32_t(songs.size()));
    for (std::u16string_view path : songs) {
        Put16(out, 0);
        PutPath(out, path);
    }
    return true;
}

std::u16string BrowseListPath(const std::u16string& programFolder) {
    return ChildPath(programFolder, u"kra.blt");
}

std::u16string PlayListPath(const std::u16string& programFolder) {
    return ChildPath(programFolder, u"kra.plt");
}

void ReadBrowseList(Library& library, const std::u16string& programFolder) {
    library.browse.clear();
    library.folders.clear();
    const std::u16string path = BrowseListPath(programFolder);
    std::vector<uint8_t> bytes;
    if (ReadListFile(path, bytes)) {
        LogDamaged(path,
                   DecodeBrowseList(bytes.data(), bytes.size(), library.browse, library.folders));
    }
    KRA_LOG("ReadBrowseList %d %d", library.SongCount(), library.FolderCount());
}

void ReadPlayList(Library& library, const std::u16string& programFolder) {
    library.play.clear();
    const std::u16string path = PlayListPath(programFolder);
    std::vector<uint8_t> bytes;
    if (ReadListFile(path, bytes)) {
        LogDamaged(path,
                   DecodePlayList(bytes.data(), bytes.size(), library.play, nullptr, nullptr));
    }
    KRA_LOG("ReadPlayList %d", static_cast<int>(library.play.size()));
}

void ReadMasterPlayList(Library& library, const std::u16string& programFolder) {
    library.browse.clear();
    library.folders.clear();
    library.play.clear();
    const std::u16string path = PlayListPath(programFolder);
    std::vector<uint8_t> bytes;
    if (ReadListFile(path, bytes)) {
        LogDamaged(path, DecodePlayList(bytes.data(), bytes.size(), library.play, &library.browse,
                                        &library.folders));
    }
    KRA_LOG("ReadMasterPlayList %d %d", library.SongCount(), library.FolderCount());
}

LibrarySource LoadLibraryLists(Library& library, const std::u16string& programFolder,
                               const ScanProgressFn& progress) {
    LibrarySource source;
    if (Exists(BrowseListPath(programFolder))) {
        library.playSubList = true;
        ReadBrowseList(library, programFolder);
        ReadPlayList(library, programFolder);
        source = LibrarySource::kBrowseAndPlayList;
    } else {
        library.playSubList = false;
        if (Exists(PlayListPath(programFolder))) {
            ReadMasterPlayList(library, programFolder);
            source = LibrarySource::kMasterPlayList;
        } else {
            library.browse.clear();
            ScanLibrary(library.root, library.folders, library.browse, progress);
            source = LibrarySource::kScan;
        }
    }
    BuildAllSongsList(library, library.views.allSongs);
    return source;
}

void SavePlayLists(const Library& library, const std::u16string& programFolder, bool songLoaded) {
    const std::u16string browsePath = BrowseListPath(programFolder);
    const std::u16string playPath = PlayListPath(programFolder);
    platform::DeleteFile(browsePath);

    // A "kra.plt" left alone would be taken for the whole library at the
    // next start: whenever the lists cannot be written whole, remove it too,
    // so that the next start scans.
    const auto giveUp = [&](const char* why) {
        KRA_LOG("list files not written: %s", why);
        platform::DeleteFile(playPath);
    };
    std::vector<uint8_t> bytes;
    if (songLoaded) {
        if (!library.play.empty() && library.playSubList) {
            if (!EncodeBrowseList(library.browse, bytes)) return giveUp("too many songs");
            if (!platform::WriteFileAtomic(browsePath, bytes)) return giveUp("kra.blt failed");
        }
        if (!EncodePlayList(library.play, bytes)) {
            platform::DeleteFile(browsePath);
            return giveUp("too many songs");
        }
        if (!platform::WriteFileAtomic(playPath, bytes)) {
            platform::DeleteFile(browsePath);
            return giveUp("kra.plt failed");
        }
        return;
    }
    if (library.browse.empty()) return giveUp("empty library");
    if (!EncodeSongsAsPlayList(library.browse, bytes)) return giveUp("too many songs");
    if (!platform::WriteFileAtomic(playPath, bytes)) giveUp("kra.plt failed");
}

}  // namespace kra
