#include "library/indexes.h"

#include <algorithm>

#include "app/base/debug_log.h"
#include "app/base/text.h"
#include "library/scan.h"
#include "library/tag_cache.h"
#include "platform/files.h"

namespace kra {

namespace {

constexpr int32_t kMinAlbumEntries = 6;

std::string U8(std::u16string_view text) {
    return Utf16ToUtf8(text);
}

std::u16string MusicIcon() {
    return platform::ProgramFolder() + u"\\gfx\\pmusic.png";
}

int32_t TableAlbums(const Library& library) {
    return library.albums ? library.albums->albumCount : 0;
}

std::u16string_view TableFolder(const Library& library, int32_t index) {
    return library.albums->entries[size_t(index)].folder;
}

// Puts `lines` into `view` after the special lines.
void AppendLines(ListContent& view, const ListContent& lines) {
    view.data.AppendShared(lines.data, 0, lines.size());
    view.text.AppendShared(lines.text, 0, lines.size());
}

void SelectSong(ListContent& view, std::u16string_view currentSong) {
    view.selected = -1;
    if (currentSong.empty() || view.empty()) return;
    view.selected = view.data.Find(currentSong);
}

// The song lines of one album through its title cache.
void AddAlbumSongs(std::u16string_view folder, ListContent& songs) {
    const TextList files = SortedFolderSongs(folder);
    LoadAlbumTitles(folder, files,
                    [&songs](std::u16string_view path, std::u16string_view title, uint8_t,
                             int32_t) { songs.AddLine(path, title); });
}

// A song view: "Shuffle" before 2 or more songs, the header, the selection.
void FillSongView(ListContent& view, const ListContent& songs, std::u16string_view name,
                  std::u16string_view currentSong) {
    view.clear();
    if (songs.size() >= 2) view.AddLine(kDataShuffle, g_libraryWords.shuffle);
    AppendLines(view, songs);
    view.header = ListHeader(name, static_cast<int32_t>(songs.size()), g_libraryWords.song,
                             g_libraryWords.songs);
    if (!songs.empty()) SelectSong(view, currentSong);
}

}  // namespace

std::u16string ListHeader(std::u16string_view name, int32_t count, std::u16string_view singular,
                          std::u16string_view plural) {
    return Utf8ToUtf16(
        Format("%s (%d %s)", U8(name).c_str(), count, U8(count >= 2 ? plural : singular).c_str()));
}

std::u16string_view AlbumRelativePath(std::u16string_view root, std::u16string_view folder) {
    if (root.size() <= 1) return folder.empty() ? folder : folder.substr(1);
    if (folder == root) return {};
    if (folder.size() > root.size() && folder.substr(0, root.size()) == root &&
        folder[root.size()] == u'\\')
        return folder.substr(root.size() + 1);
    // A folder outside the root (lists read for another root): its whole path.
    return folder.empty() ? folder : folder.substr(1);
}

std::u16string_view AlbumArtist(std::u16string_view root, std::u16string_view folder) {
    const std::u16string_view relative = AlbumRelativePath(root, folder);
    return relative.substr(0, relative.find(u'\\'));
}

std::u16string_view AlbumLabel(const Library& library, int32_t index) {
    const std::u16string_view folder = TableFolder(library, index);
    // Only the library folder itself, which sorts first when it holds songs,
    // has no label of its own (its relative path is empty). Any other first
    // album is named like the rest: labelled with its whole relative path it
    // would read differently and sort out of place.
    if (index == 1 && AlbumRelativePath(library.root, folder).empty()) return {};
    return FileNamePart(folder);
}

void AssignAF(Library& library) {
    KRA_LOG("AssignAF %d", library.albumCount);
    auto table = std::make_shared<AlbumTable>();
    const int32_t count = std::clamp(library.albumCount, 0, library.FolderCount());
    table->albumCount = count;
    table->entries.resize(size_t(std::max(count + 1, kMinAlbumEntries)));
    for (int32_t i = 1; i <= count; ++i) {
        table->entries[size_t(i)].folder = std::u16string(library.folders[size_t(i - 1)]);
        KRA_LOG("%s", U8(table->entries[size_t(i)].folder).c_str());
    }
    library.albums = std::move(table);
}

void InitializeAlbumList(Library& library, ListContent& view) {
    KRA_LOG("InitializeAlbumList %d %s", static_cast<int>(view.size()), U8(library.root).c_str());
    if (!view.empty()) return;
    view.clear();
    view.icon = MusicIcon();
    const int32_t count = TableAlbums(library);
    if (library.albums) {
        TextList labels;
        for (int32_t i = 1; i <= count; ++i) labels.push_back(AlbumLabel(library, i));
        if (count >= 2) view.AddLine(kDataShuffleAlbums, g_libraryWords.shuffleAlbums);
        for (uint32_t i : LibraryOrder(labels, 0, labels.size())) {
            view.AddLine(TableFolder(library, int32_t(i) + 1), labels[i]);
        }
    }
    view.header =
        ListHeader(library.root, library.albumCount, g_libraryWords.album, g_libraryWords.albums);
}

void InitializeArtistList(Library& library, ListContent& view) {
    if (!view.empty() || !library.albums) return;
    view.clear();
    const int32_t count = TableAlbums(library);
    int32_t first = 1;
    if (count >= 1 && AlbumRelativePath(library.root, TableFolder(library, 1)).empty()) first = 2;
    std::u16string_view previous;
    bool any = false;
    for (int32_t i = first; i <= count; ++i) {
        const std::u16string_view artist = AlbumArtist(library.root, TableFolder(library, i));
        if (any && artist == previous) continue;
        view.AddLine(ChildPath(library.root, artist), artist);
        previous = artist;
        any = true;
    }
    view.header = ListHeader(library.root, static_cast<int32_t>(view.size()), g_libraryWords.artist,
                             g_libraryWords.artists);
}

bool ArtistListAlbum(Library& library, std::u16string_view artist, ListContent& view,
                     ListContent& songsView, std::u16string_view currentSong) {
    view.clear();
    view.icon = MusicIcon();
    ListContent albums;
    const int32_t count = TableAlbums(library);
    for (int32_t i = 1; i <= count; ++i) {
        const std::u16string_view folder = TableFolder(library, i);
        KRA_LOG("ArtistListAlbum %d %s", i, U8(folder).c_str());
        if (AlbumArtist(library.root, folder) == artist && !(i == 1 && folder == library.root))
            albums.AddLine(folder, AlbumLabel(library, i));
    }
    if (albums.size() == 1) {
        ShowAlbumSongs(albums.data[0], albums.text[0], songsView, currentSong);
        return true;
    }
    if (albums.size() >= 2) {
        view.AddLine(kDataShuffleAlbums, g_libraryWords.shuffleAlbums);
        view.AddLine(kDataAllSongs, g_libraryWords.allSongs);
    }
    AppendLines(view, albums);
    view.header = ListHeader(artist, static_cast<int32_t>(albums.size()), g_libraryWords.album,
                             g_libraryWords.albums);
    return false;
}

void ArtistSongs(Library& library, std::u16string_view artist, ListContent& view,
                 std::u16string_view currentSong) {
    // The whole table is walked: an artist's albums need not be adjacent in
    // library order ("\M\Bob" sorts before "\M\Bob Dylan\x", "\M\Bob\y" after).
    ListContent songs;
    const int32_t count = TableAlbums(library);
    for (int32_t i = 1; i <= count; ++i) {
        const std::u16string_view folder = TableFolder(library, i);
        if (i == 1 && folder == library.root) continue;
        if (AlbumArtist(library.root, folder) == artist) AddAlbumSongs(folder, songs);
    }
    FillSongView(view, songs, artist, currentSong);
}

void ShowAlbumSongs(std::u16string_view folder, std::u16string_view title, ListContent& view,
                    std::u16string_view currentSong) {
    ListContent songs;
    AddAlbumSongs(folder, songs);
    FillSongView(view, songs, title, currentSong);
}

void BuildAllSongsList(const Library& library, ListContent& view) {
    view.clear();
    const size_t count = library.browse.size();
    if (count >= 2) view.AddLine(kDataShuffle, g_libraryWords.shuffle);
    // The lines share the library's paths: each path is held once.
    view.data.AppendShared(library.browse, 0, count);
    for (std::u16string_view path : library.browse)
        view.text.AppendSharedPart(library.browse, FileNamePart(path));
    view.header = ListHeader(library.root, static_cast<int32_t>(count), g_libraryWords.song,
                             g_libraryWords.songs);
}

}  // namespace kra
