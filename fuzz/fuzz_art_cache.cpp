// The two per-folder caches on arbitrary bytes: "kra1.tag" texts stay within
// their length bytes, and a "kra3.tag" that reads encodes back to exactly the
// bytes it came from.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "graphics/surface.h"
#include "media/album_art_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::u16string album, artist;
    if (kra::DecodeFolderTag(data, size, album, artist)) {
        if (album.size() > 127 || artist.size() > 127) abort();
        // Written again, each text is kept up to the 126-unit cut.
        const std::vector<uint8_t> bytes = kra::EncodeFolderTag(album, artist);
        std::u16string a2, b2;
        if (!kra::DecodeFolderTag(bytes.data(), bytes.size(), a2, b2)) abort();
        if (a2 != album.substr(0, a2.size()) || b2 != artist.substr(0, b2.size())) abort();
    }

    kra::Surface surface;
    kra::ThumbnailHeader header;
    const bool headerOk = kra::ParseThumbnailHeader(data, size, header);
    if (kra::DecodeThumbnailCache(data, size, surface)) {
        if (!headerOk) abort();
        const std::vector<uint8_t> again = kra::EncodeThumbnailCache(surface, header.fileTime);
        if (again.size() > size || std::memcmp(again.data(), data, again.size()) != 0) abort();
    } else if (surface.width != 0 || surface.height != 0) {
        abort();
    }
    return 0;
}
