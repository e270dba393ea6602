#include "library/library.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "app/base/text.h"

namespace kra {

Library g_library;
LibraryWords g_libraryWords;

namespace {

bool LastFourAre(std::u16string_view name, const char* ext) {
    // Letters compare in either case; digits and the dot exactly.
    if (name.size() < 4) return false;
    const std::u16string_view tail = name.substr(name.size() - 4);
    for (size_t i = 0; i < 4; ++i) {
        if (FoldUnit(tail[i]) != char16_t(ext[i])) return false;
    }
    return true;
}

std::u16string FoldAscii(std::u16string text) {
    for (char16_t& c : text) c = FoldUnit(c);
    return text;
}

// Sort keys in which memcmp gives the library order: each folded unit as two
// big-endian bytes. Building the keys is linear; every comparison is then a
// memcmp instead of a folding loop.
struct SortKeys {
    std::vector<uint8_t> bytes;
    std::vector<uint32_t> begins;
    std::vector<uint32_t> lengths;

    template <typename GetText>
    SortKeys(size_t count, GetText get) {
        begins.resize(count);
        lengths.resize(count);
        size_t total = 0;
        for (size_t i = 0; i < count; ++i) total += get(i).size() * 2;
        bytes.resize(total);
        uint8_t* out = bytes.data();
        for (size_t i = 0; i < count; ++i) {
            const std::u16string_view text = get(i);
            begins[i] = static_cast<uint32_t>(out - bytes.data());
            lengths[i] = static_cast<uint32_t>(text.size() * 2);
            for (char16_t c : text) {
                const char16_t f = FoldUnit(c);
                *out++ = uint8_t(f >> 8);
                *out++ = uint8_t(f & 0xFF);
            }
        }
    }
    bool Less(uint32_t a, uint32_t b) const {
        const uint32_t n = std::min(lengths[a], lengths[b]);
        const int r = std::memcmp(bytes.data() + begins[a], bytes.data() + begins[b], n);
        if (r != 0) return r < 0;
        return lengths[a] < lengths[b];
    }
};

template <typename GetText>
std::vector<uint32_t> SortedOrder(size_t count, GetText get) {
    std::vector<uint32_t> order(count);
    std::iota(order.begin(), order.end(), 0u);
    if (count < 2) return order;
    const SortKeys keys(count, get);
    std::stable_sort(order.begin(), order.end(),
                     [&keys](uint32_t a, uint32_t b) { return keys.Less(a, b); });
    return order;
}

}  // namespace

bool IsMusicFileName(std::u16string_view name) {
    static const char* const kExtensions[] = {".mp2", ".mp3", ".mp4", ".wma",
                                              ".wav", ".m4a", ".aac", ".3gp"};
    for (const char* ext : kExtensions) {
        if (LastFourAre(name, ext)) return true;
    }
    return false;
}

int CompareLibraryOrder(std::u16string_view a, std::u16string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        if (a[i] == b[i]) continue;
        const char16_t fa = FoldUnit(a[i]);
        const char16_t fb = FoldUnit(b[i]);
        if (fa != fb) return fa < fb ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::u16string_view FolderPart(std::u16string_view path) {
    const size_t last = path.rfind(u'\\');
    if (last == std::u16string_view::npos) return {};
    if (last == 0) return path.substr(0, 1);
    return path.substr(0, last);
}

std::u16string_view FileNamePart(std::u16string_view path) {
    const size_t last = path.rfind(u'\\');
    return last == std::u16string_view::npos ? path : path.substr(last + 1);
}

std::u16string_view UntaggedTitle(std::u16string_view path) {
    const std::u16string_view name = FileNamePart(path);
    return name.size() >= 4 ? name.substr(0, name.size() - 4) : std::u16string_view();
}

std::u16string ChildPath(std::u16string_view folder, std::u16string_view name) {
    std::u16string path;
    path.reserve(folder.size() + 1 + name.size());
    if (folder.size() != 1) path.append(folder);
    path.push_back(u'\\');
    path.append(name);
    return path;
}

std::u16string ListingPattern(std::u16string_view folder) {
    std::u16string pattern(folder.size() == 1 ? std::u16string_view() : folder);
    pattern.append(u"\\*");
    return pattern;
}

namespace {
constexpr size_t kFirstChunkUnits = 256;
constexpr size_t kMaxChunkUnits = size_t(1) << 16;  // 128 KiB
constexpr size_t kMaxHintUnits = size_t(1) << 23;   // a reserve hint gets at most 16 MiB
}  // namespace

TextList::TextList(const TextList& other) : entries_(other.entries_) {
    ShareAllOf(other);
}

TextList& TextList::operator=(const TextList& other) {
    if (this != &other) {
        TextList copy(other);
        *this = std::move(copy);
    }
    return *this;
}

char16_t* TextList::Allocate(size_t units) {
    if (!own_) own_ = std::make_shared<Chunks>();
    Chunks& c = *own_;
    if (c.blocks.empty() || units > c.capacity - c.used) {
        size_t size = c.capacity == 0 ? kFirstChunkUnits : std::min(c.capacity * 2, kMaxChunkUnits);
        if (chunkHint_ > 0) size = std::max(size, std::min(chunkHint_, kMaxHintUnits));
        chunkHint_ = 0;
        size = std::max(size, units);
        c.blocks.push_back(std::unique_ptr<char16_t[]>(new char16_t[size]));
        c.capacity = size;
        c.used = 0;
    }
    char16_t* at = c.blocks.back().get() + c.used;
    c.used += units;
    return at;
}

void TextList::Share(const std::shared_ptr<Chunks>& chunks) {
    if (!chunks || chunks == own_) return;
    for (const std::shared_ptr<Chunks>& held : shared_) {
        if (held == chunks) return;
    }
    shared_.push_back(chunks);
}

void TextList::ShareAllOf(const TextList& other) {
    Share(other.own_);
    for (const std::shared_ptr<Chunks>& chunks : other.shared_) Share(chunks);
}

void TextList::AppendShared(const TextList& other, size_t begin, size_t end) {
    end = std::min(end, other.size());
    if (begin >= end) return;
    ShareAllOf(other);
    entries_.reserve(entries_.size() + (end - begin));
    for (size_t i = begin; i < end; ++i) entries_.push_back(other.entries_[i]);
}

void TextList::AppendSharedPart(const TextList& other, std::u16string_view part) {
    ShareAllOf(other);
    entries_.push_back(Entry{part.data(), static_cast<uint32_t>(part.size())});
}

void TextList::Reorder(const std::vector<uint32_t>& order) {
    std::vector<Entry> sorted;
    sorted.reserve(order.size());
    for (uint32_t i : order) sorted.push_back(entries_[i]);
    entries_ = std::move(sorted);
}

int32_t TextList::Find(std::u16string_view text) const {
    for (const Entry& entry : entries_) {
        if (entry.size == text.size() &&
            std::equal(entry.text, entry.text + entry.size, text.begin()))
            return static_cast<int32_t>(&entry - entries_.data());
    }
    return -1;
}

void SortLibraryOrder(TextList& list) {
    list.Reorder(SortedOrder(list.size(), [&list](size_t i) { return list[i]; }));
}

std::vector<uint32_t> LibraryOrder(const TextList& list, size_t begin, size_t end) {
    std::vector<uint32_t> order =
        SortedOrder(end - begin, [&list, begin](size_t i) { return list[begin + i]; });
    for (uint32_t& i : order) i += static_cast<uint32_t>(begin);
    return order;
}

void SortLibraryOrder(std::vector<std::u16string>& list) {
    const std::vector<uint32_t> order =
        SortedOrder(list.size(), [&list](size_t i) { return std::u16string_view(list[i]); });
    std::vector<std::u16string> sorted;
    sorted.reserve(list.size());
    for (uint32_t i : order) sorted.push_back(std::move(list[i]));
    list = std::move(sorted);
}

void PlayList::AssignFrom(const TextList& songs) {
    paths = songs;
    entries.assign(songs.size(), PlayEntry{});
}

void SetLibraryWords(const LibraryWords& words) {
    g_libraryWords = words;
    g_libraryWords.songs = FoldAscii(words.songs);
    g_libraryWords.albums = FoldAscii(words.albums);
    g_libraryWords.artists = FoldAscii(words.artists);
}

}  // namespace kra
