// The tag reader over arbitrary bytes: bit 0 of the first byte says whether
// the probe found AAC/MP4 (MP4 metadata first), bit 1 sets FastAlbumPic, bit
// 2 asks for the picture (written to a temporary file); the rest is the file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "media/byte_source.h"
#include "media/tag_reader.h"
#include "platform/files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static const std::u16string picture =
        kra::platform::FromPosixPath("/tmp/kra_fuzz_media_tags.bin");
    kra::MemorySource source(std::vector<uint8_t>(data + 1, data + size));
    kra::TagInfo tags{};
    kra::ReadTagsFromSource(source, (data[0] & 1) != 0 ? kra::kMediaAac : kra::kMediaMpeg, tags,
                            (data[0] & 2) != 0, (data[0] & 4) != 0 ? picture : u"");
    return 0;
}
