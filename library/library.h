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

// An ordered list of strings stored back to back in one buffer: appending
// costs no allocation per entry, and entries are read as views that stay
// valid until the list changes.
class TextList {
  public:
    size_t size() const { return ends_.size(); }
    bool empty() const { return ends_.empty(); }
    std::u16string_view operator[](size_t i) const {
        const uint32_t begin = i == 0 ? 0 : ends_[i - 1];
        return std::u16string_view(units_).substr(begin, ends_[i] - begin);
    }
    std::u16string_view back() const { return (*this)[size() - 1]; }
    void push_back(std::u16string_view text) {
        units_.append(text);
        ends_.push_back(static_cast<uint32_t>(units_.size()));
    }
    // Appends `units` UTF-16LE code units read from `bytes`.
    void PushUtf16Le(const uint8_t* bytes, size_t units) {
        const size_t at = units_.size();
        units_.resize(at + units);
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(units_.data() + at, bytes, units * 2);
        } else {
            for (size_t k = 0; k < units; ++k)
                units_[at + k] = char16_t(bytes[2 * k] | bytes[2 * k + 1] << 8);
        }
        ends_.push_back(static_cast<uint32_t>(units_.size()));
    }
    // Appends ChildPath(folder, name) without a temporary string.
    void PushChildPath(std::u16string_view folder, std::u16string_view name) {
        if (folder.size() != 1) units_.append(folder);
        units_.push_back(u'\\');
        units_.append(name);
        ends_.push_back(static_cast<uint32_t>(units_.size()));
    }
    void clear() {
        units_.clear();
        ends_.clear();
    }
    void reserve(size_t entries, size_t units) {
        ends_.reserve(entries);
        units_.reserve(units);
    }
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
    std::u16string units_;
    std::vector<uint32_t> ends_;
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
    void clear() {
        paths.clear();
        entries.clear();
    }
    // A copy of a song list with plays and identities 0.
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
