// Album folders, tagged songs with pictures and log capture for the album art
// tests.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/base/debug_log.h"
#include "app/base/text.h"
#include "graphics/image_files.h"
#include "media/album_art.h"
#include "media/album_art_cache.h"
#include "media_test_util.h"
#include "platform/files.h"

namespace kra::test {

// A fresh temporary tree; also the program folder while it lives.
class ArtTree {
  public:
    ArtTree() {
        std::error_code error;
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", error)
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        std::string pattern = (base / "kra-art-XXXXXX").string();
        root_ = mkdtemp(pattern.data());
        std::filesystem::create_directories(root_ / "prog");
        platform::SetProgramFolder(Core("prog"));
    }
    ~ArtTree() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    ArtTree(const ArtTree&) = delete;
    ArtTree& operator=(const ArtTree&) = delete;

    std::filesystem::path Posix(const std::string& relative) const { return root_ / relative; }
    std::u16string Core(const std::string& relative) const {
        return platform::FromPosixPath((root_ / relative).string());
    }
    void Write(const std::string& relative, const Bytes& bytes) const {
        const std::filesystem::path path = root_ / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    void Folder(const std::string& relative) const {
        std::filesystem::create_directories(root_ / relative);
    }
    bool Exists(const std::string& relative) const {
        return std::filesystem::exists(root_ / relative);
    }
    Bytes Read(const std::string& relative) const {
        std::vector<uint8_t> bytes;
        platform::ReadFileBytes(Core(relative), bytes);
        return bytes;
    }

  private:
    std::filesystem::path root_;
};

// The debug log on, into a file, for the capture's lifetime.
class ArtLog {
  public:
    explicit ArtLog(const ArtTree& tree) : path_(tree.Core("kra.log")) {
        g_debugOn = true;
        LogOpen(path_);
    }
    ~ArtLog() {
        LogClose();
        g_debugOn = false;
    }
    // The messages so far, without the time and memory columns.
    std::vector<std::string> Messages() {
        LogClose();
        std::vector<uint8_t> bytes;
        platform::ReadFileBytes(path_, bytes);
        std::u16string text;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            text.push_back(char16_t(bytes[i] | bytes[i + 1] << 8));
        std::vector<std::string> lines;
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find(u"\r\n", start);
            if (end == std::u16string::npos) end = text.size();
            const std::u16string line = text.substr(start, end - start);
            const size_t tab = line.find(u'\t', line.find(u'\t') + 1);
            if (tab != std::u16string::npos) lines.push_back(Utf16ToUtf8(line.substr(tab + 1)));
            start = end + 2;
        }
        if (!lines.empty() && lines.back() == "quit") lines.pop_back();  // the close line
        return lines;
    }

  private:
    std::u16string path_;
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
