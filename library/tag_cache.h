// The per-album title cache "kra2.tag": the title and length of every song
// of a folder, so that an album opened a second time costs one small file
// read instead of opening every song.
//
// Layout (numbers big-endian, no magic, no version):
//   count  1 byte   number of music files when written, mod 256
//   then one record per file, in the folder's sorted order:
//   number 1 byte   1-based place in the sorted list, mod 256
//   L      1 byte   byte length of the title with its zero unit
//   title  L bytes  UTF-16LE, ending in a zero unit (at most 126 characters)
//   length 4 bytes  whole seconds, signed (0 when not measured)
//
// A cache is written once per folder and trusted from then on. A cache whose
// count does not match the folder's current number of files (files added or
// removed), or that is damaged or truncated, is measured and written again.
// Writes go to a temporary name and are renamed, so a crash never leaves a
// torn file.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "library/library.h"

namespace kra {

constexpr size_t kMaxCachedTitleUnits = 126;

// One cached song line of an album.
struct TitleEntry {
    std::u16string title;
    uint8_t number = 0;    // 1-based place in the sorted file list, wraps at 256
    int32_t duration = 0;  // whole seconds, 0 when not known
};

// Receives (path, title, number, duration) per song, in file order.
using TitleSink = std::function<void(std::u16string_view path, std::u16string_view title,
                                     uint8_t number, int32_t duration)>;

// What a song file tells about itself.
struct SongFacts {
    std::u16string title;  // the title tag; empty when there is none
    int32_t seconds = 0;   // 0 when the length cannot be measured
};
// Measures one song file (opens it). The default uses the media file probe;
// tests install their own. Passing null restores the default.
using SongMeasurer = SongFacts (*)(const std::u16string& path);
void SetSongMeasurer(SongMeasurer measurer);

// "%s\kra2.tag" for the folder, "\kra2.tag" for the root.
std::u16string TagCachePath(std::u16string_view folder);

// Lists the folder's songs through its cache: `files` is the folder's file
// list in library order. Reads the cache when it is valid for `files`;
// otherwise measures every file, passes it on and writes the cache.
void LoadAlbumTitles(std::u16string_view folder, const TextList& files, const TitleSink& sink);
// The same into a TitleEntry list, listing the folder first.
std::vector<TitleEntry> LoadAlbumTitleEntries(std::u16string_view folder);

// The file's bytes for the given records.
std::vector<uint8_t> EncodeTagCache(const std::vector<TitleEntry>& records);
// Reads `expected` records (the folder's number of files). False when the
// count byte is not expected mod 256 (stale) or the records are damaged or
// fewer than expected; `out` then holds nothing useful.
bool DecodeTagCache(const uint8_t* data, size_t size, size_t expected,
                    std::vector<TitleEntry>& out);

// Forgets the titles kept in memory for folders whose cache could not be
// written (read-only media).
void ClearUnwritableTitleCache();

}  // namespace kra
