#include "media/album_art.h"

#include <algorithm>
#include <condition_variable>

#include "app/base/debug_log.h"
#include "app/base/settings.h"
#include "app/base/text.h"
#include "graphics/image.h"
#include "graphics/screen.h"
#include "platform/files.h"
#include "platform/image-decode.h"

namespace kra {

namespace {

std::string U8(std::u16string_view text) {
    return Utf16ToUtf8(text);
}

struct FolderWork {
    std::mutex mutex;
    std::condition_variable released;
    std::vector<std::u16string> active;
};

// The folder whose song's embedded picture "kra.bmp" holds (empty when it
// holds none), and which of the two export names comes next. Guarded by the
// now-playing extraction lock.
std::u16string g_extractedFolder;
uint32_t g_exportTurn = 0;
constexpr uint64_t kMaxExportBytes = 32ull * 1024 * 1024;

FolderWork& Work() {
    static FolderWork* work = new FolderWork;  // lives past workers left running at exit
    return *work;
}

// Decoding needs only the pixel layout: the boxes are always given.
Screen DecodeScreen(const ArtOptions& options) {
    Screen screen;
    screen.layout = options.layout;
    return screen;
}

// Album and artist from the tags of the folder's first music file; with a
// picture path the embedded picture is extracted there. An empty album
// becomes the folder's name.
void ReadFolderCaption(std::u16string_view folder, const std::u16string& picturePath,
                       const ArtOptions& options, std::u16string& album, std::u16string& artist) {
    album.clear();
    artist.clear();
    std::u16string name;
    if (FindFirstMusicFile(folder, name)) {
        const std::u16string path = FolderFile(folder, name);
        if (picturePath.empty()) {
            KRA_LOG("GetAFNPInfo: %s", U8(path).c_str());
        } else {
            KRA_LOG("GetAFInfo: %s", U8(path).c_str());
        }
        MediaFileProbe& probe = SharedMediaFileProbe();
        TagInfo tags{};
        {
            ProbeSession session(probe, path);
            probe.ReadTags(tags, options.fastAlbumPic, picturePath);
        }
        album = TagText(tags.album);
        artist = TagText(tags.artist);
    }
    if (album.empty()) album = std::u16string(PathLastComponent(folder));
}

void ReadSongTags(MediaFileProbe& probe, const std::u16string& song, TagInfo& tags,
                  const ArtOptions& options, const std::u16string& picturePath) {
    ProbeSession session(probe, song);
    probe.ReadTags(tags, options.fastAlbumPic, picturePath);
}

void CopyText(std::u16string_view text, char16_t (&field)[kTagTextCapacity]) {
    const size_t n = std::min(text.size(), kTagTextCapacity - 1);
    std::copy_n(text.data(), n, field);
    field[n] = 0;
}

void BuildFolderListArt(const std::u16string& folder, const ArtOptions& options,
                        const Screen& screen, Surface& scratch) {
    FolderWorkGuard guard(folder);
    const std::u16string captionPath = FolderFile(folder, kCaptionCacheName);
    const std::u16string thumbnailPath = FolderFile(folder, kThumbnailCacheName);
    const bool haveThumbnail = platform::FileExists(thumbnailPath);
    std::u16string cover;
    // Held while the cover may still be the extraction file.
    std::unique_lock<std::mutex> extractionLock;
    if (!platform::FileExists(captionPath)) {
        extractionLock = std::unique_lock(ExtractionLock(ExtractSlot::kOnDemand));
        const std::u16string extraction = ExtractionPath(ExtractSlot::kOnDemand);
        const bool found = FindCoverFile(folder, cover, extraction);
        if (!found) platform::DeleteFile(extraction);
        std::u16string album, artist;
        ReadFolderCaption(folder, found ? std::u16string() : extraction, options, album, artist);
        WriteFolderTag(captionPath, album, artist);
        if (!found) {
            cover.clear();
            if (platform::FileExists(extraction)) {
                const std::u16string copy = FolderFile(folder, kFolderPictureName);
                CopyPictureIfAbsent(extraction, copy);
                cover = platform::FileExists(copy) ? copy : extraction;
            }
        }
    } else if (!haveThumbnail) {
        // A caption without a thumbnail (the thumbnail was deleted or damaged):
        // an embedded picture became "folder.jpg" when the caption was made,
        // so the cover search alone finds the picture.
        if (!FindCoverFile(folder, cover, u"")) cover.clear();
    }
    if (haveThumbnail || cover.empty() || !platform::FileExists(cover)) return;
    if (LoadImage(scratch, screen, cover, kScaleThumbnail, options.thumbnailSize,
                  options.thumbnailSize)) {
        WriteThumbnailCache(scratch, thumbnailPath);
    }
}

}  // namespace

void ApplyArtSettings(ArtOptions& options) {
    options.fastAlbumPic = g_settings.fastAlbumPic != 0;
    options.alwaysLoadEmbedAlbumPic = g_settings.alwaysLoadEmbedAlbumPic != 0;
}

FolderWorkGuard::FolderWorkGuard(std::u16string_view folder) : folder_(folder) {
    FolderWork& work = Work();
    std::unique_lock lock(work.mutex);
    work.released.wait(lock, [&] {
        return std::find(work.active.begin(), work.active.end(), folder_) == work.active.end();
    });
    work.active.push_back(folder_);
}

FolderWorkGuard::~FolderWorkGuard() {
    FolderWork& work = Work();
    {
        std::lock_guard lock(work.mutex);
        work.active.erase(std::find(work.active.begin(), work.active.end(), folder_));
    }
    work.released.notify_all();
}

std::mutex& ExtractionLock(ExtractSlot slot) {
    static std::mutex* locks = new std::mutex[3];
    return locks[static_cast<int>(slot)];
}

void LoadAlbumArt(std::u16string_view folder, bool background, const ArtOptions& options,
                  AlbumArt& art) {
    FolderWorkGuard guard(folder);
    LoadAlbumArtHeld(folder, background, options, art);
}

void LoadAlbumArtHeld(std::u16string_view folder, bool background, const ArtOptions& options,
                      AlbumArt& art) {
    art.album.clear();
    art.artist.clear();
    art.coverLoaded = false;
    art.widthFactor = art.heightFactor = 1.0f;
    art.cover.width = art.cover.height = 0;

    const ExtractSlot slot = background ? ExtractSlot::kBackground : ExtractSlot::kOnDemand;
    std::lock_guard extractionLock(ExtractionLock(slot));
    const std::u16string extraction = ExtractionPath(slot);
    std::u16string picture;
    const bool found = FindCoverFile(folder, picture, extraction);
    if (!background) KRA_LOG("AF Pic: %s", U8(picture).c_str());
    // Whatever another folder left in the extraction file must never be
    // shown for this one, nor copied into it.
    if (!found) platform::DeleteFile(extraction);

    const std::u16string captionPath = FolderFile(folder, kCaptionCacheName);
    const bool haveCaption = platform::FileExists(captionPath);
    KRA_LOG("%s (%d)", U8(captionPath).c_str(), haveCaption ? 1 : 0);
    if (!haveCaption || !ReadFolderTag(captionPath, art.album, art.artist)) {
        ReadFolderCaption(folder, found ? std::u16string() : extraction, options, art.album,
                          art.artist);
        WriteFolderTag(captionPath, art.album, art.artist);
    }

    const uint32_t side = options.coverSize;
    if (side == 0 || !LoadImage(art.cover, DecodeScreen(options), picture, kScaleFit, side, side))
        return;
    art.coverLoaded = true;
    if (options.keepAspect) {
        art.widthFactor = float(art.cover.width) / float(side);
        art.heightFactor = float(art.cover.height) / float(side);
    }
    if (!found) CopyPictureIfAbsent(extraction, FolderFile(folder, kFolderPictureName));
}

bool GetNowPlayingInfo(MediaFileProbe* probe, const std::u16string& songPath, TagInfo& tags,
                       const ArtOptions& options, std::u16string* picture) {
    KRA_LOG("GetMInfo: %s", U8(songPath).c_str());
    if (probe == nullptr) return false;
    tags = TagInfo{};
    const std::u16string_view folder = PathFolder(songPath);
    FolderWorkGuard guard(folder);
    std::lock_guard extractionLock(ExtractionLock(ExtractSlot::kNowPlaying));
    const std::u16string extraction = ExtractionPath(ExtractSlot::kNowPlaying);
    std::u16string cover;
    const bool found = !options.alwaysLoadEmbedAlbumPic && FindCoverFile(folder, cover, extraction);
    if (found) {
        ReadSongTags(*probe, songPath, tags, options, std::u16string());
    } else {
        platform::DeleteFile(extraction);
        ReadSongTags(*probe, songPath, tags, options, extraction);
        const bool extracted = platform::FileExists(extraction);
        KRA_LOG("%s (%d)", U8(extraction).c_str(), extracted ? 1 : 0);
        if (extracted) CopyPictureIfAbsent(extraction, FolderFile(folder, kFolderPictureName));
        g_extractedFolder = extracted ? std::u16string(folder) : std::u16string();
    }
    if (picture != nullptr) *picture = found ? cover : extraction;
    if (tags.title[0] != 0) return true;
    const std::u16string_view name = PathLastComponent(songPath);
    CopyText(name.size() >= 4 ? name.substr(0, name.size() - 4) : std::u16string_view(),
             tags.title);
    return tags.artist[0] != 0 || tags.album[0] != 0;
}

std::u16string ExportNowPlayingPicture(const std::u16string& songPath) {
    const std::u16string_view folder = PathFolder(songPath);
    std::u16string picture;
    if (FindCoverFile(folder, picture, u"")) return picture;
    std::lock_guard lock(ExtractionLock(ExtractSlot::kNowPlaying));
    if (g_extractedFolder.empty() || g_extractedFolder != folder) return {};
    std::vector<uint8_t> bytes;
    platform::ImageHeader header;
    if (!platform::ReadFileBytes(ExtractionPath(ExtractSlot::kNowPlaying), bytes,
                                 kMaxExportBytes) ||
        !platform::ReadImageHeader(bytes.data(), bytes.size(), header))
        return {};
    const char16_t* ext = header.format == platform::ImageFormat::Png    ? u".png"
                          : header.format == platform::ImageFormat::Jpeg ? u".jpg"
                                                                         : u".bmp";
    const std::u16string stem =
        FolderFile(platform::ProgramFolder(), g_exportTurn ? u"kraart1" : u"kraart0");
    g_exportTurn ^= 1;
    for (const char16_t* other : {u".png", u".jpg", u".bmp"}) platform::DeleteFile(stem + other);
    picture = stem + ext;
    return platform::WriteFileAtomic(picture, bytes) ? picture : std::u16string();
}

int BuildListArt(const std::vector<std::u16string>& folders, const ArtOptions& options,
                 const std::function<bool()>& cancelled) {
    const Screen screen = DecodeScreen(options);
    Surface scratch;
    int visited = 0;
    for (const std::u16string& folder : folders) {
        if (cancelled && cancelled()) break;
        if (folder.empty() || folder[0] != u'\\') continue;  // "ashuffle", "all songs"
        ++visited;
        BuildFolderListArt(folder, options, screen, scratch);
    }
    return visited;
}

bool LoadListSlot(ListArtSlot& slot, std::u16string_view folder, const CaptionPainter& paint) {
    if (!slot.captionLoaded) {
        std::u16string album, artist;
        if (ReadFolderTag(FolderFile(folder, kCaptionCacheName), album, artist)) {
            if (paint) paint(slot.caption, album, artist);
            slot.captionLoaded = 1;
        }
    }
    if (!slot.thumbnailLoaded &&
        ReadThumbnailCache(slot.thumbnail, FolderFile(folder, kThumbnailCacheName))) {
        slot.thumbnailLoaded = 1;
    }
    return slot.captionLoaded && slot.thumbnailLoaded;
}

bool ReadFolderAlbumName(std::u16string_view folder, std::u16string& album) {
    std::u16string artist;
    return ReadFolderTag(FolderFile(folder, kCaptionCacheName), album, artist);
}

}  // namespace kra
