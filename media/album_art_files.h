// The files behind album art: the cover search in an album folder, the first
// music file of a folder, the two per-folder caches "kra1.tag" (album and
// artist caption) and "kra3.tag" (the list thumbnail's pixels), the pictures
// extracted into the program folder, and the "folder.jpg" copies.
//
// Folder paths are core paths; for the root folder "\" the files are "\name",
// never "\\name". Every writer goes through a temporary file and a rename, so
// a reader on another thread sees the old file or the new one, never a torn
// one. Readers are bounded by the bytes the file has: a damaged cache is
// logged and reads as missing.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "graphics/surface.h"

namespace kra {

inline constexpr std::u16string_view kCaptionCacheName = u"kra1.tag";
inline constexpr std::u16string_view kThumbnailCacheName = u"kra3.tag";
inline constexpr std::u16string_view kFolderPictureName = u"folder.jpg";

// The three extraction files of the program folder. Each has one writer at a
// time (see ExtractionLock in album_art.h).
enum class ExtractSlot {
    kNowPlaying,  // "kra.bmp": the playing song's embedded picture
    kOnDemand,    // "kraaf.bmp": album flow on demand and the list thumbnails
    kBackground,  // "kraafbg.bmp": the album-flow cache worker
};
std::u16string ExtractionPath(ExtractSlot slot);

// "folder\name", or "\name" for the root folder.
std::u16string FolderFile(std::u16string_view folder, std::u16string_view name);
// The path up to its last '\' ("\" when that is the leading one).
std::u16string_view PathFolder(std::u16string_view path);
// The units after the last '\' (the album display name of a folder).
std::u16string_view PathLastComponent(std::u16string_view path);
// A music file by name: .mp2 .mp3 .mp4 .wma .wav .m4a .aac .3gp, letters in
// either case.
bool IsMusicName(std::u16string_view name);

// Tests "folder.jpg", "cover.jpg", "folder.jpeg" in that order, then the first
// "AlbumArt_*_Large.jpg", then the first "AlbumArt_*_Small.jpg" (in listing
// order, names matched without regard to letter case; folders never match).
// True and the full path in `result` when one exists; otherwise `result` is
// the fallback and the answer false. Logs "%s (%d)" for each fixed name.
bool FindCoverFile(std::u16string_view folder, std::u16string& result,
                   std::u16string_view fallback);

// The name (no path) of the first music file in the folder's listing order;
// false when there is none or the folder cannot be listed.
bool FindFirstMusicFile(std::u16string_view folder, std::u16string& name);

// --- "kra1.tag" ---------------------------------------------------------------
// No header: album length (1 byte, bytes of the field that follows, its zero
// unit included), album (UTF-16LE, zero-terminated), artist length, artist.
// Texts are cut to 126 units on writing (length byte at most 254), never in
// the middle of a surrogate pair.
inline constexpr size_t kCaptionMaxUnits = 126;
inline constexpr size_t kCaptionFileMaxBytes = 1 + 255 + 1 + 255;

std::vector<uint8_t> EncodeFolderTag(std::u16string_view album, std::u16string_view artist);
// Valid when both length bytes are present; a field shorter than its length
// byte says (only possible for the artist) gives what is there. Each text
// ends at its first zero unit; an odd last byte is ignored.
bool DecodeFolderTag(const uint8_t* data, size_t size, std::u16string& album,
                     std::u16string& artist);
bool ReadFolderTag(const std::u16string& path, std::u16string& album, std::u16string& artist);
bool WriteFolderTag(const std::u16string& path, std::u16string_view album,
                    std::u16string_view artist);

// --- "kra3.tag" ---------------------------------------------------------------
// Little-endian: width (u32), height (u32), pixel bytes (u32), the local time
// of writing as a FILETIME (u64, low half first), then the surface's 16-bit
// pixels, rows packed. A header whose size is not width x height x 2, or
// whose sides are 0 or above kMaxThumbnailSide, is damaged: nothing is
// allocated from it.
inline constexpr size_t kThumbnailHeaderBytes = 20;
inline constexpr uint32_t kMaxThumbnailSide = 1024;

struct ThumbnailHeader {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t size = 0;
    uint64_t fileTime = 0;
};

std::vector<uint8_t> EncodeThumbnailCache(const Surface& surface, uint64_t fileTime);
// Reads and checks the 20 header bytes; false on a short or damaged header.
bool ParseThumbnailHeader(const uint8_t* data, size_t size, ThumbnailHeader& header);
// Header and pixels from bytes in memory into the surface (made opaque). A
// damaged header or short pixel data leaves width and height 0 and gives
// false.
bool DecodeThumbnailCache(const uint8_t* data, size_t size, Surface& surface);
// False when the surface has no pixels or the file cannot be written.
bool WriteThumbnailCache(const Surface& surface, const std::u16string& path);
// Damaged files are logged ("Damaged thumbnail cache %s").
bool ReadThumbnailCache(Surface& surface, const std::u16string& path);

// 100-ns intervals since 1601-01-01 of a local date and time.
uint64_t FileTimeFromLocal(int year, int month, int day, int hour, int minute, int second);
uint64_t LocalFileTimeNow();

// Copies the picture `from` to `to` unless `to` exists (it is never
// replaced). False, and nothing written, when `to` exists or appears
// meanwhile, the source is missing or is no PNG, JPEG or BMP with a size
// (a damaged extraction never becomes a folder's "folder.jpg"), or the folder
// cannot be written.
bool CopyPictureIfAbsent(const std::u16string& from, const std::u16string& to);

}  // namespace kra
