// The album table and the lists the user browses: albums, artists, one
// artist's albums, one artist's songs, one album's songs and all songs.
//
// Albums and artists come from folder paths only: an album is a music folder,
// its artist the first folder level below the library root, its label its
// folder name. Tags play no part in grouping or sorting. Headers read
// "%s (%d %s)": a name, a count and the word (plural for 2 or more).
#pragma once
#include <string>
#include <string_view>

#include "library/library.h"

namespace kra {

// The album's path below the library root, without the separator after the
// root; empty for the root itself.
std::u16string_view AlbumRelativePath(std::u16string_view root, std::u16string_view folder);
// The first component of the relative path; empty for the root itself.
std::u16string_view AlbumArtist(std::u16string_view root, std::u16string_view folder);
// The label of album `index` (1-based) of the table: the folder's last
// component; empty for the library folder itself.
std::u16string_view AlbumLabel(const Library& library, int32_t index);

// Rebuilds the album table from the folder list (album count + 1 entries, at
// least 6; cover states 0).
void AssignAF(Library& library);

// The album list, when the view is empty: "Shuffle Albums" (with 2 or more
// albums), then one line per album sorted by label.
void InitializeAlbumList(Library& library, ListContent& view);
// The artist list, when the view is empty: one line per change of artist
// along the table.
void InitializeArtistList(Library& library, ListContent& view);

// One artist's albums: "Shuffle Albums" and "All Songs" (with 2 or more
// albums), then the albums in table order. With exactly one album that
// album's songs are put into `songsView` instead and true is returned.
bool ArtistListAlbum(Library& library, std::u16string_view artist, ListContent& view,
                     ListContent& songsView, std::u16string_view currentSong);
// Every song of the artist's albums, through the title caches. The current
// song's line is selected (pass an empty path while paused).
void ArtistSongs(Library& library, std::u16string_view artist, ListContent& view,
                 std::u16string_view currentSong);
// One album's songs with their titles, under the header `title`.
void ShowAlbumSongs(std::u16string_view folder, std::u16string_view title, ListContent& view,
                    std::u16string_view currentSong);
// Every song of the library by file name.
void BuildAllSongsList(const Library& library, ListContent& view);

// "%s (%d %s)" with the singular word when count is below 2.
std::u16string ListHeader(std::u16string_view name, int32_t count, std::u16string_view singular,
                          std::u16string_view plural);

}  // namespace kra
