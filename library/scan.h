// The library folder scan and the folder browser.
//
// The scan reads directory listings only; it opens no music file. Each folder
// is listed once. Hidden folders (name beginning with ".") are never entered;
// hidden music files are listed. A link to a folder is followed, but a folder
// already entered in this scan (a loop, or a second way to the same folder)
// is not entered again. A name whose path would be longer than 259 units is
// skipped and logged.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "library/library.h"

namespace kra {

// Folders (albums) and songs found so far, reported while a scan runs.
struct ScanProgress {
    int32_t folders = 0;
    int32_t songs = 0;
};
using ScanProgressFn = std::function<void(const ScanProgress&)>;

// Appends every album folder at and below `path` to `folders`, in the order
// they are found; returns how many were appended.
int32_t CollectMusicFolders(std::u16string_view path, TextList& folders);

// Empties `folders`, collects the album folders below `root`, puts them in
// library order, and appends each album's songs (in library order) to
// `songs`. Returns the number of songs appended. `progress` (optional) is
// called after each folder listed.
int32_t ScanLibrary(std::u16string_view root, TextList& folders, TextList& songs,
                    const ScanProgressFn& progress = {});

// Appends the full path of every music file directly in `folder` to `list`,
// unsorted; returns the number appended.
int32_t ListFolderSongs(std::u16string_view folder, TextList& list);
// The folder's songs in library order.
TextList SortedFolderSongs(std::u16string_view folder);

// True when the folder has a subfolder that is not hidden. "\windows" answers
// true without being listed.
bool HasSubfolders(std::u16string_view path);

// One line of the folder browser.
struct BrowseEntry {
    std::u16string name;  // "\" and the subfolder's name
    uint8_t hasSubfolders = 0;
};
// The subfolders of `folder` (not hidden), sorted by name in library order;
// the header is "%s (%d)" with the folder and the number of entries.
void BuildBrowseList(std::u16string_view folder, std::vector<BrowseEntry>& entries,
                     std::u16string& header);

// The music folder used when none is set: the first removable volume that
// holds at least one entry, else the user's music folder.
std::u16string DefaultLibraryFolder();

// "Set Library": makes `folder` the library root, rescans and rebuilds the
// album table and the views (the all-songs view when there are songs; the
// album, artist and album-song views are emptied). Returns the song count.
// Stopping playback and switching screens are the caller's.
int32_t SetLibrary(Library& library, std::u16string_view folder,
                   const ScanProgressFn& progress = {});

// "Refresh Library": deletes kra1.tag, kra2.tag and kra3.tag of every album
// of the current table, empties the play list and the song list, rescans the
// root and rebuilds as SetLibrary does. The caller has stopped playback and
// rebuilds the view on screen afterwards. Returns the song count.
int32_t RefreshLibrary(Library& library, const ScanProgressFn& progress = {});

// The scan diagnostic: scans the folder (a POSIX path) without writing any
// file and prints the album folders, then the songs, one POSIX path per line
// in library order, then a line "%d albums, %d songs". With `showProgress`
// the folders and songs found so far are written to `err` while it runs.
// Returns the process exit code (0, or 1 when the folder cannot be listed).
int RunScanDiagnostic(const std::string& posixFolder, std::FILE* out, std::FILE* err,
                      bool showProgress);

}  // namespace kra
