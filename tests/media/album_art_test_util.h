// Album folders and tagged songs with pictures for the album art tests.
#pragma once
#include <string>
#include <vector>

#include "graphics/image_files.h"
#include "media/album_art.h"
#include "media/album_art_cache.h"
#include "media_test_util.h"
#include "platform/files.h"
#include "support/temp_tree.h"

namespace kra::test {

// A temporary tree that is also the program folder while it lives.
struct ArtTree : TempTree {
    ArtTree() {
        Folder("prog");
        platform::SetProgramFolder(Core("prog"));
    }
};

// A w x h JPEG of one colour.
inline Bytes SolidJpeg(uint32_t w, uint32_t h, uint8_t r, uint8_t g, uint8_t b) {
    std::vector<uint8_t> rgb;
    for (uint32_t i = 0; i < w * h; ++i) rgb.insert(rgb.end(), {r, g, b});
    return JpegBytes(w, h, rgb, 3);
}

// An ID3v2.3 text frame in Latin-1; empty text gives no frame.
inline Bytes TextFrame(std::string_view id, std::string_view text) {
    if (text.empty()) return {};
    return Frame23(id, Bytes{0} + Text(text));
}

// An MP3 file: an ID3v2.3 tag with title, artist, album and, when given, an
// APIC frame with the picture, then a few MPEG frames.
inline Bytes TaggedSong(std::string_view title, std::string_view artist, std::string_view album,
                        const Bytes& picture = {}, std::string_view mime = "image/jpeg") {
    Bytes body = TextFrame("TIT2", title) + TextFrame("TPE1", artist) + TextFrame("TALB", album);
    if (!picture.empty()) {
        // encoding, MIME type, its zero, picture type 3, empty description.
        body += Frame23("APIC", Bytes{0} + Text(mime) + Bytes{0, 3, 0} + picture);
    }
    Bytes song = Id3v2(3, 0, body);
    for (int i = 0; i < 4; ++i) song += MpegFrame({0xFF, 0xFB, 0x90, 0x64}, 417);
    return song;
}

inline ArtOptions TestArtOptions() {
    ArtOptions options;
    options.coverSize = 64;
    options.thumbnailSize = 32;
    options.fastAlbumPic = true;
    return options;
}

}  // namespace kra::test
