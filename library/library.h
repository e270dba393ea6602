// The folder-based music library: the shared types that hold the library and
// the list being played, the library order, and the path rules.
//
// An album is a folder that directly holds at least one music file; the first
// folder level below the library root is its artist. The library keeps only
// paths in memory; titles and lengths come from the per-folder title cache
// (tag_cache.h). Everything here is used on the main thread only, except
// where noted.
//
// Paths are core paths: absolute, beginning with '\', at most 259 units.
#pragma once
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kra {

constexpr size_t kMaxPathUnits = 259;    // a 260-unit buffer with its zero
constexpr size_t kMaxListSongs = 65535;  // the 16-bit count of the list files

// --- Path rules -------------------------------------------------------------

// True when the name ends in .mp2 .mp3 .mp4 .wma .wav .m4a .aac or .3gp
// (letters in either case; digits and the dot exactly).
bool IsMusicFileName(std::u16string_view name);

// Library order: unit by unit after folding ASCII letters to lower case; the
// first differing unit decides; a prefix sorts before the longer string.
// Returns <0, 0 or >0.
int CompareLibraryOrder(std::u16string_view a, std::u16string_view b);
inline bool LibraryLess(std::u16string_view a, std::u16string_view b) {
    return CompareLibraryOrder(a, b) < 0;
}

// The path up to its last separator; "\" when the only separator is the
// leading one. Works on the whole path (all 259 units).
std::u16string_view FolderPart(std::u16string_view path);
// The units after the last separator.
std::u16string_view FileNamePart(std::u16string_view path);
// A song's title when it has no title tag: the file name without its last
// four units (the extension with its dot).
std::u16string_view UntaggedTitle(std::u16string_view path);
// "\name" for the root folder, "folder\name" otherwise.
std::u16string ChildPath(std::u16string_view folder, std::u16string_view name);
// The listing pattern as it is logged: "\*" for the root, "folder\*" otherwise.
std::u16string ListingPattern(std::u16string_view folder);

// --- Containers -------------------------------------------------------------

// An ordered list of strings. The text lives in append-only chunks that
// never move, so entries are read as views that stay valid as long as the
// list (or any list sharing them) holds them. A copy shares the text instead
// of duplicating it, and AppendShared / AppendSharedPart take entries (or
// parts of entries) of another list the same way: the library's songs, the
// play list and the all-songs lines hold each path once. Only the list that
// made a chunk writes to it, and only past its used end; a list and its
// copies may therefore live on different threads.
class TextList {
  public:
    TextList() = default;
    TextList(const TextList& other);
    TextList& operator=(const TextList& other);
    TextList(TextList&& other) noexcept = default;
    TextList& operator=(TextList&& other) noexcept = default;

    size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    std::u16string_view operator[](size_t i) const {
        return std::u16string_view(entries_[i].text, entries_[i].size);
    }
    std::u16string_view back() const { return (*this)[size() - 1]; }
    void push_back(std::u16string_view text) {
        char16_t* at = Allocate(text.size());
        std::copy(text.begin(), text.end(), at);
        entries_.push_back(Entry{at, static_cast<uint32_t>(text.size())});
    }
    // Appends `units` UTF-16LE code units read from `bytes`.
    void PushUtf16Le(const uint8_t* bytes, size_t units) {
        char16_t* at = Allocate(units);
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(at, bytes, units * 2);
        } else {
            for (size_t k = 0; k < units; ++k)
                at[k] = char16_t(bytes[2 * k] | bytes[2 * k + 1] << 8);
        }
        entries_.push_back(Entry{at, static_cast<uint32_t>(units)});
    }
    // Appends ChildPath(folder, name) without a temporary string.
    void PushChildPath(std::u16string_view folder, std::u16string_view name) {
        const std::u16string_view head = folder.size() == 1 ? std::u16string_view() : folder;
        const size_t units = head.size() + 1 + name.size();
        char16_t* at = Allocate(units);
        char16_t* out = std::copy(head.begin(), head.end(), at);
        *out++ = u'\\';
        std::copy(name.begin(), name.end(), out);
        entries_.push_back(Entry{at, static_cast<uint32_t>(units)});
    }
    // Appends entries begin..end-1 of `other` without copying their text.
    void AppendShared(const TextList& other, size_t begin, size_t end);
    // Appends `part`, which must lie inside an entry of `other` (a path's
    // file name, say), without copying it.
    void AppendSharedPart(const TextList& other, std::u16string_view part);
    void clear() {
        entries_.clear();
        own_.reset();
        shared_.clear();
        chunkHint_ = 0;
    }
    // Room for `entries` more entries; the next chunk of text is made for
    // `units` units.
    void reserve(size_t entries, size_t units) {
        entries_.reserve(entries_.size() + entries);
        chunkHint_ = units;
    }
    // Puts entry order[k] at place k (order is a permutation of the indexes).
    void Reorder(const std::vector<uint32_t>& order);
    // Index of the first entry equal to text (exact, case-sensitive), or -1.
    int32_t Find(std::u16string_view text) const;

    class Iterator {
      public:
        using iterator_category = std::input_iterator_tag;
        using value_type = std::u16string_view;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = std::u16string_view;
        Iterator(const TextList* list, size_t i) : list_(list), i_(i) {}
        std::u16string_view operator*() const { return (*list_)[i_]; }
        Iterator& operator++() {
            ++i_;
            return *this;
        }
        Iterator operator++(int) {
            Iterator old = *this;
            ++i_;
            return old;
        }
        bool operator==(const Iterator& other) const { return i_ == other.i_; }
        bool operator!=(const Iterator& other) const { return i_ != other.i_; }

      private:
        const TextList* list_;
        size_t i_;
    };
    Iterator begin() const { return Iterator(this, 0); }
    Iterator end() const { return Iterator(this, size()); }

  private:
    struct Entry {
        const char16_t* text;
        uint32_t size;
    };
    // Chunks of text; only `used` units of the last one are written.
    struct Chunks {
        std::vector<std::unique_ptr<char16_t[]>> blocks;
        size_t used = 0;
        size_t capacity = 0;
    };
    char16_t* Allocate(size_t units);
    void Share(const std::shared_ptr<Chunks>& chunks);
    void ShareAllOf(const TextList& other);

    std::vector<Entry> entries_;
    std::shared_ptr<Chunks> own_;                  // written by this list only
    std::vector<std::shared_ptr<Chunks>> shared_;  // other lists' chunks it refers to
    size_t chunkHint_ = 0;
};

// Sorts the list in library order; equal keys keep their order.
void SortLibraryOrder(TextList& list);
// The indexes begin..end-1 of the list, put in library order (stable).
std::vector<uint32_t> LibraryOrder(const TextList& list, size_t begin, size_t end);
void SortLibraryOrder(std::vector<std::u16string>& list);

// One entry of the play list besides its path.
struct PlayEntry {
    uint8_t plays = 0;      // starts since the last history reset; wraps
    uint32_t identity = 0;  // shuffle-history number it was last played under, 0 for none
};

// The songs the player walks through.
struct PlayList {
    TextList paths;
    std::vector<PlayEntry> entries;  // parallel to paths

    size_t size() const { return entries.size(); }
    bool empty() const { return entries.empty(); }
    std::u16string_view Path(size_t i) const { return paths[i]; }
    void Append(std::u16string_view path, uint32_t identity = 0) {
        paths.push_back(path);
        entries.push_back(PlayEntry{0, identity});
    }
    // Appends entry i of `songs`, sharing its text.
    void AppendFrom(const TextList& songs, size_t i) {
        paths.AppendShared(songs, i, i + 1);
        entries.push_back(PlayEntry{});
    }
    void clear() {
        paths.clear();
        entries.clear();
    }
    // The songs of a list (sharing their text) with plays and identities 0.
    void AssignFrom(const TextList& songs);
};

// One album of the album table. Cover surfaces belong to the album flow and
// the art cache, which keep them in arrays parallel to the table.
struct AlbumEntry {
    std::u16string folder;      // folder path
    std::u16string albumName;   // filled by the album art cache
    std::u16string artistName;  // filled by the album art cache
    int32_t x = 0;              // drawing coordinates kept by the album flow
    int32_t y = 0;
    uint8_t coverState = 0;  // 0 none, 1 loaded in the background, 2 in the foreground
    uint8_t viewFlag = 0;
    float widthFactor = 1.0f;  // 1.0 when the cover is square
    float heightFactor = 1.0f;
};

// Entry 0 is the default entry; entry i (1..album count) is the i-th folder.
// Never fewer than 6 entries. A new table is made on every rebuild, so a
// worker that holds a shared_ptr to the old one can finish its walk safely.
struct AlbumTable {
    std::vector<AlbumEntry> entries;
    int32_t albumCount = 0;
};

// The reserved data strings of the list lines, never paths.
inline constexpr std::u16string_view kDataShuffle = u"shuffle";
inline constexpr std::u16string_view kDataShuffleAlbums = u"ashuffle";
inline constexpr std::u16string_view kDataAllSongs = u"all songs";

// The content of one list view: lines of (data string, display text), the
// header, the icon file and the selected line. Drawing is the list screens'.
struct ListContent {
    TextList data;
    TextList text;
    std::u16string header;
    std::u16string icon;
    int32_t selected = -1;

    size_t size() const { return data.size(); }
    bool empty() const { return data.empty(); }
    void AddLine(std::u16string_view lineData, std::u16string_view lineText) {
        data.push_back(lineData);
        text.push_back(lineText);
    }
    void clear() {
        data.clear();
        text.clear();
        header.clear();
        icon.clear();
        selected = -1;
    }
};

// The list views that the library fills.
struct LibraryViews {
    ListContent allSongs;      // every song of the library
    ListContent albums;        // every album, by label
    ListContent artists;       // every artist
    ListContent artistAlbums;  // one artist's albums
    ListContent albumSongs;    // one album's or one artist's songs
};

// The process-wide library.
struct Library {
    std::u16string root;  // the music folder ("LastFolder"); may be "\"
    TextList browse;      // every song: albums in folder order, files in library order
    TextList folders;     // one folder per album, in library order
    PlayList play;
    bool playSubList = false;            // play list is an album's, artist's or list's songs
    int32_t albumCount = 0;              // set from the folder count when the table is rebuilt
    std::shared_ptr<AlbumTable> albums;  // null until first built
    LibraryViews views;

    int32_t SongCount() const { return static_cast<int32_t>(browse.size()); }
    int32_t FolderCount() const { return static_cast<int32_t>(folders.size()); }
};

// The one library of the running player.
extern Library g_library;

// Words of the lists, from the language file. Plural words are stored lower
// case (SetLibraryWords folds them).
struct LibraryWords {
    std::u16string shuffle = u"Shuffle";
    std::u16string shuffleAlbums = u"Shuffle Albums";
    std::u16string allSongs = u"All Songs";
    std::u16string songs = u"songs";
    std::u16string albums = u"albums";
    std::u16string artists = u"artists";
    std::u16string song = u"song";
    std::u16string album = u"album";
    std::u16string artist = u"artist";
};
extern LibraryWords g_libraryWords;
// Takes the words as the language file gives them; folds the plural words to
// lower case.
void SetLibraryWords(const LibraryWords& words);

}  // namespace kra
