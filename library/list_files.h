// The list files in the program folder, which carry the library and the play
// list from one run to the next so that start-up needs no folder scan:
//
//   "kra.blt": the library's songs, written only while a part of the library
//              is being played;
//   "kra.plt": the play list with its shuffle-history identities (the whole
//              library when "kra.blt" is absent).
//
// Layout (numbers unsigned 16-bit big-endian, paths UTF-16LE without a zero):
//   kra.blt: count, then per song:  L (byte length of the path), path
//   kra.plt: count, then per entry: identity (low 16 bits), L, path
//
// Reading stops at the first damaged record (L of 0, odd or above 518, past
// the end of the file, or a path that does not begin with "\" or holds a
// zero unit): the records read so far are kept and the counts are the
// numbers actually read. Files are written to a temporary name and renamed.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "library/library.h"
#include "library/scan.h"

namespace kra {

// What a decoder found.
struct ListFileRead {
    int32_t count = 0;    // the count field
    int32_t records = 0;  // records actually read
    bool damaged = false;
};

// kra.blt: songs, and the folder list rebuilt from them (a folder is added
// whenever a song's folder part differs exactly from the previous one).
ListFileRead DecodeBrowseList(const uint8_t* data, size_t size, TextList& songs, TextList& folders);
// kra.plt: the play list (plays 0); with `songs`/`folders` also the library.
ListFileRead DecodePlayList(const uint8_t* data, size_t size, PlayList& play, TextList* songs,
                            TextList* folders);

// Encoders; false (and nothing written to `out`) when there are more than
// 65,535 entries or a path that the format cannot hold.
bool EncodeBrowseList(const TextList& songs, std::vector<uint8_t>& out);
bool EncodePlayList(const PlayList& play, std::vector<uint8_t>& out);
// A play list of the songs with every identity 0.
bool EncodeSongsAsPlayList(const TextList& songs, std::vector<uint8_t>& out);

std::u16string BrowseListPath(const std::u16string& programFolder);  // "%s\kra.blt"
std::u16string PlayListPath(const std::u16string& programFolder);    // "%s\kra.plt"

// Start-up readers (the file names are in the program folder).
void ReadBrowseList(Library& library, const std::u16string& programFolder);
void ReadPlayList(Library& library, const std::u16string& programFolder);
void ReadMasterPlayList(Library& library, const std::u16string& programFolder);

enum class LibrarySource {
    kBrowseAndPlayList,  // "kra.blt" and "kra.plt": the play list is a part
    kMasterPlayList,     // "kra.plt" alone: the play list is the library
    kScan,               // neither file: the root was scanned
};
// The start-up choice: loads the lists from the files, or scans the library
// root when neither exists; then builds the all-songs view.
LibrarySource LoadLibraryLists(Library& library, const std::u16string& programFolder,
                               const ScanProgressFn& progress = {});

// Shutdown: writes "kra.blt" (only while a part of the library is played) and
// "kra.plt". `songLoaded`: a track is loaded in the player. When the lists
// cannot be written whole (more than 65,535 songs, a failed write), neither
// file is left behind, so that the next start scans.
void SavePlayLists(const Library& library, const std::u16string& programFolder, bool songLoaded);

}  // namespace kra
