#include "library/scan.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "app/base/debug_log.h"
#include "app/base/text.h"
#include "library/indexes.h"
#include "library/tag_cache.h"
#include "platform/files.h"
#include "platform/folder_listing.h"
#include "platform/special_folders.h"

namespace kra {

namespace {

std::string U8(std::u16string_view text) {
    return Utf16ToUtf8(text);
}

bool IsFolder(const platform::FolderEntry& entry) {
    return (entry.attributes & platform::kAttrDirectory) != 0;
}
bool IsHidden(const platform::FolderEntry& entry) {
    return (entry.attributes & platform::kAttrHidden) != 0;
}
bool IsMusicEntry(const platform::FolderEntry& entry) {
    return !IsFolder(entry) && IsMusicFileName(entry.name);
}

void LogTooLong(std::u16string_view folder, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        KRA_LOG("path too long, skipped:%s\\%s", U8(folder).c_str(), name.c_str());
    }
}

// Lists a folder; false when it cannot be listed.
bool ListQuick(std::u16string_view folder, platform::QuickListing& listing) {
    if (!platform::ListFolderQuick(std::u16string(folder), listing)) return false;
    LogTooLong(folder, listing.tooLong);
    return true;
}

// One scan: the album folders in the order found and, per album, its music
// file names in listing order, so that no folder has to be listed twice.
struct FolderCollector {
    TextList folders;
    TextList names;                  // every album's song names, album after album
    std::vector<uint32_t> nameEnds;  // per album: end of its names in `names`
    std::set<std::pair<uint64_t, uint64_t>> entered;
    const ScanProgressFn* progress = nullptr;
    ScanProgress found;
    platform::QuickListing listing;  // reused to spare allocations

    int32_t Collect(std::u16string_view path) {
        KRA_LOG("ds:%s", U8(ListingPattern(path)).c_str());
        if (!ListQuick(path, listing)) return 0;
        if (!entered.insert(listing.identity).second) return 0;  // a loop or a second way in
        std::vector<platform::FolderEntry> entries = std::move(listing.entries);
        int32_t count = 0;
        std::vector<std::u16string> subfolders;
        for (const platform::FolderEntry& entry : entries) {
            if (IsMusicEntry(entry)) {
                if (count == 0) {
                    folders.push_back(path);
                    KRA_LOG("sf:%s", U8(path).c_str());
                    count = 1;
                }
                names.push_back(entry.name);
                ++found.songs;
            }
        }
        if (count == 1) {
            nameEnds.push_back(static_cast<uint32_t>(names.size()));
            ++found.folders;
        }
        if (progress != nullptr && *progress) (*progress)(found);
        for (const platform::FolderEntry& entry : entries) {
            if (!IsFolder(entry) || IsHidden(entry)) continue;
            const std::u16string child = ChildPath(path, entry.name);
            KRA_LOG("s:%s", U8(child).c_str());
            count += Collect(child);
        }
        return count;
    }
};

}  // namespace

int32_t CollectMusicFolders(std::u16string_view path, TextList& folders) {
    FolderCollector collector;
    const int32_t count = collector.Collect(path);
    for (std::u16string_view folder : collector.folders) folders.push_back(folder);
    return count;
}

int32_t ScanLibrary(std::u16string_view root, TextList& folders, TextList& songs,
                    const ScanProgressFn& progress) {
    folders.clear();
    FolderCollector collector;
    collector.progress = &progress;
    collector.Collect(root);

    // Albums in library order; stable, so equal keys keep the order found.
    const std::vector<uint32_t> order =
        LibraryOrder(collector.folders, 0, collector.folders.size());
    for (uint32_t i : order) folders.push_back(collector.folders[i]);

    int32_t appended = 0;
    for (uint32_t i : order) {
        const std::u16string_view folder = collector.folders[i];
        KRA_LOG("search:%s", U8(ListingPattern(folder)).c_str());
        const uint32_t begin = i == 0 ? 0 : collector.nameEnds[i - 1];
        const uint32_t end = collector.nameEnds[i];
        if (g_debugOn) {
            for (uint32_t n = begin; n < end; ++n) {
                KRA_LOG("mf:%s", U8(ChildPath(folder, collector.names[n])).c_str());
            }
        }
        // Paths of one folder share their prefix: sorting the names gives
        // the order of the paths.
        for (uint32_t n : LibraryOrder(collector.names, begin, end)) {
            songs.PushChildPath(folder, collector.names[n]);
        }
        appended += static_cast<int32_t>(end - begin);
    }
    return appended;
}

int32_t ListFolderSongs(std::u16string_view folder, TextList& list) {
    platform::QuickListing listing;
    if (!ListQuick(folder, listing)) return 0;
    int32_t count = 0;
    for (const platform::FolderEntry& entry : listing.entries) {
        if (!IsMusicEntry(entry)) continue;
        list.PushChildPath(folder, entry.name);
        ++count;
    }
    return count;
}

TextList SortedFolderSongs(std::u16string_view folder) {
    TextList list;
    ListFolderSongs(folder, list);
    SortLibraryOrder(list);
    return list;
}

bool HasSubfolders(std::u16string_view path) {
    if (path.size() == 8 && CompareLibraryOrder(path, u"\\windows") == 0) return true;
    const std::u16string pattern = ListingPattern(path);
    KRA_LOG("check subfolder:%s|%s", U8(path).c_str(), U8(pattern).c_str());
    platform::QuickListing listing;
    bool found = false;
    if (ListQuick(path, listing)) {
        for (const platform::FolderEntry& entry : listing.entries) {
            if (IsFolder(entry) && !IsHidden(entry)) {
                found = true;
                break;
            }
        }
    }
    KRA_LOG("%d", found ? 1 : 0);
    return found;
}

void BuildBrowseList(std::u16string_view folder, std::vector<BrowseEntry>& entries,
                     std::u16string& header) {
    entries.clear();
    platform::QuickListing listing;
    if (ListQuick(folder, listing)) {
        for (const platform::FolderEntry& entry : listing.entries) {
            if (!IsFolder(entry) || IsHidden(entry)) continue;
            BrowseEntry line;
            line.name = u"\\" + entry.name;
            const std::u16string full = ChildPath(folder, entry.name);
            line.hasSubfolders = HasSubfolders(full) ? 1 : 0;
            entries.push_back(std::move(line));
        }
    }
    std::stable_sort(
        entries.begin(), entries.end(),
        [](const BrowseEntry& a, const BrowseEntry& b) { return LibraryLess(a.name, b.name); });
    header = Utf8ToUtf16(Format("%s (%d)", U8(folder).c_str(), static_cast<int>(entries.size())));
    KRA_LOG("loaded folder");
}

std::u16string DefaultLibraryFolder() {
    for (const std::u16string& volume : platform::RemovableVolumes()) {
        std::vector<platform::FolderEntry> entries;
        if (platform::ListFolder(volume, entries) && !entries.empty()) return volume;
    }
    return platform::MyMusicFolder();
}

namespace {

// The rebuild that "Set Library" and "Refresh Library" share.
int32_t Rescan(Library& library, const ScanProgressFn& progress) {
    library.browse.clear();
    ScanLibrary(library.root, library.folders, library.browse, progress);
    library.views.allSongs.clear();
    if (!library.browse.empty()) BuildAllSongsList(library, library.views.allSongs);
    library.albumCount = library.FolderCount();
    AssignAF(library);
    library.views.artists.clear();
    library.views.albums.clear();
    library.views.artistAlbums.clear();
    library.views.albumSongs.clear();
    return library.SongCount();
}

}  // namespace

int32_t SetLibrary(Library& library, std::u16string_view folder, const ScanProgressFn& progress) {
    library.root = std::u16string(folder);
    return Rescan(library, progress);
}

int32_t RefreshLibrary(Library& library, const ScanProgressFn& progress) {
    if (library.albums) {
        for (int32_t i = 1; i <= library.albums->albumCount; ++i) {
            const std::u16string& folder = library.albums->entries[size_t(i)].folder;
            for (const char16_t* name : {u"kra1.tag", u"kra2.tag", u"kra3.tag"}) {
                platform::DeleteFile(ChildPath(folder, name));
            }
        }
    }
    ClearUnwritableTitleCache();
    library.play.clear();
    return Rescan(library, progress);
}

int RunScanDiagnostic(const std::string& posixFolder, std::FILE* out, std::FILE* err,
                      bool showProgress) {
    std::string posix = posixFolder;
    while (posix.size() > 1 && posix.back() == '/') posix.pop_back();
    const std::u16string root = platform::FromPosixPath(posix);
    if (root.empty() || root[0] != u'\\' || !platform::FolderExists(root)) {
        std::fprintf(err, "kra: cannot list %s\n", posixFolder.c_str());
        return 1;
    }
    ScanProgressFn progress;
    if (showProgress) {
        progress = [err](const ScanProgress& found) {
            std::fprintf(err, "\rscanning: %d folders, %d songs", found.folders, found.songs);
            std::fflush(err);
        };
    }
    TextList folders;
    TextList songs;
    ScanLibrary(root, folders, songs, progress);
    if (showProgress) std::fprintf(err, "\n");
    for (std::u16string_view folder : folders) {
        std::fprintf(out, "%s\n", platform::ToPosixPath(std::u16string(folder)).c_str());
    }
    for (std::u16string_view song : songs) {
        std::fprintf(out, "%s\n", platform::ToPosixPath(std::u16string(song)).c_str());
    }
    std::fprintf(out, "%d albums, %d songs\n", static_cast<int>(folders.size()),
                 static_cast<int>(songs.size()));
    return 0;
}

}  // namespace kra
