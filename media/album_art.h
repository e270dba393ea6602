// Album art: every album folder gets a cover picture and an album/artist
// caption. The cover is a picture file in the folder (album_art_files.h), else
// the picture embedded in the folder's first music file, which is extracted
// into the program folder and kept in the album folder as "folder.jpg". The
// caption comes from "kra1.tag", else from the first music file's tags (and is
// cached there); the list thumbnail from "kra3.tag".
//
// Threads: the operations here run on the main thread and on the two art
// workers (album_art_cache.h). Work on one album folder is exclusive
// (FolderWorkGuard), and each extraction file has one writer at a time; the
// shared media probe runs one open-read-close sequence at a time by itself.
// Lock order: folder guard, then extraction lock, then the probe.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "graphics/surface.h"
#include "media/album_art_files.h"
#include "media/media_probe.h"
#include "media/tag_info.h"

namespace kra {

// What the screens and settings give the art code. Copied by value into each
// worker pass, so a change on the main thread never races a pass.
struct ArtOptions {
    uint32_t coverSize = 0;      // album-flow cover side (both dimensions)
    uint32_t thumbnailSize = 0;  // list thumbnail side (both dimensions)
    bool keepAspect = false;     // covers keep their aspect ratio in album flow
    bool fastAlbumPic = true;    // "FastAlbumPic": no repair of unsynchronised JPEGs
    bool alwaysLoadEmbedAlbumPic = false;
    PixelLayout layout = kLayout565;  // the screen's pixel layout
};
// The settings half of the options, from the loaded settings (main thread).
void ApplyArtSettings(ArtOptions& options);

// Exclusive work on one album folder: waits while another thread holds the
// same folder (exact path comparison).
class FolderWorkGuard {
  public:
    explicit FolderWorkGuard(std::u16string_view folder);
    ~FolderWorkGuard();
    FolderWorkGuard(const FolderWorkGuard&) = delete;
    FolderWorkGuard& operator=(const FolderWorkGuard&) = delete;

  private:
    std::u16string folder_;
};

// The lock of one extraction file: held from deleting it, through the tag
// read that writes it, to the last use of the picture.
std::mutex& ExtractionLock(ExtractSlot slot);

// What one album load produces.
struct AlbumArt {
    std::u16string album;
    std::u16string artist;
    Surface cover;             // at the cover size; empty when no picture loaded
    bool coverLoaded = false;  // false: the caller uses the default cover
    float widthFactor = 1.0f;  // keepAspect: picture width / cover size
    float heightFactor = 1.0f;
};

// Fills `art` for one album folder: the cover search with the extraction file
// as fallback, the caption from "kra1.tag" or from the first music file's tags
// (then written to "kra1.tag"; an empty album becomes the folder's name), the
// picture loaded to the cover size (fit rule), and an extracted picture that
// loaded copied to "folder.jpg" when there is none. `background` picks the
// extraction file ("kraafbg.bmp" for the cache worker, "kraaf.bmp" otherwise)
// and the log lines ("AF Pic: %s" only in the foreground). Takes the folder
// guard itself.
void LoadAlbumArt(std::u16string_view folder, bool background, const ArtOptions& options,
                  AlbumArt& art);
// The same for a caller that holds the folder's FolderWorkGuard already.
void LoadAlbumArtHeld(std::u16string_view folder, bool background, const ArtOptions& options,
                      AlbumArt& art);

// Tag reading for the now-playing screen ("GetMInfo: %s"). Without a cover
// file in the song's folder (or with alwaysLoadEmbedAlbumPic) the embedded
// picture is extracted to "kra.bmp" (deleted first, so a song without one
// leaves none) and copied to the folder's "folder.jpg" when absent. A song
// without a title tag gets its file name without the extension. True when the
// title came from a tag, or else when the artist or the album is known.
// `picture` (optional) receives the picture to show: "kra.bmp" with
// alwaysLoadEmbedAlbumPic, else the cover file, else "kra.bmp".
bool GetNowPlayingInfo(MediaFileProbe* probe, const std::u16string& songPath, TagInfo& tags,
                       const ArtOptions& options, std::u16string* picture = nullptr);

// The playing song's picture as a file other programs may read: the cover
// file of its folder, else the embedded picture GetNowPlayingInfo extracted
// for its folder, written to "kraart0" or "kraart1" (".jpg", ".png" or
// ".bmp" by its content) in the program folder, the two names taken in turn
// so that each song's picture gets a new name (viewers cache pictures by
// name). Empty when there is none. Main thread.
std::u16string ExportNowPlayingPicture(const std::u16string& songPath);

// The caption and thumbnail caches of the folders of a list, in order (lines
// whose data is no path are passed over). For a folder without "kra1.tag" the
// caption is made as in LoadAlbumArt (extraction file "kraaf.bmp"); a folder
// without "kra3.tag" whose cover picture exists gets one, loaded as a
// thumbnail (scale mode 2) into the thumbnail size. Stops early, between two
// folders, once `cancelled` (optional) answers true. Returns the number of
// folders visited.
int BuildListArt(const std::vector<std::u16string>& folders, const ArtOptions& options,
                 const std::function<bool()>& cancelled = {});

// One visible row of an album or artist list.
struct ListArtSlot {
    Surface caption;    // the album and artist lines, drawn by the list
    Surface thumbnail;  // the folder's "kra3.tag"
    uint8_t captionLoaded = 0;
    uint8_t thumbnailLoaded = 0;
};
// Draws album and artist into the slot's caption surface.
using CaptionPainter =
    std::function<void(Surface& caption, std::u16string_view album, std::u16string_view artist)>;

// Loads what is still missing in the slot from the folder's caches; true when
// both caption and thumbnail are loaded.
bool LoadListSlot(ListArtSlot& slot, std::u16string_view folder, const CaptionPainter& paint);
// The album name of a folder from its "kra1.tag".
bool ReadFolderAlbumName(std::u16string_view folder, std::u16string& album);

}  // namespace kra
