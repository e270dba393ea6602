// The media file probe over arbitrary bytes: the first byte picks the file
// name's extension (the AAC attempt depends on it), the rest is the file.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "media/media_probe.h"
#include "media/tag_info.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static const char16_t* const kNames[] = {u"\\m\\a.mp3", u"\\m\\a.wav", u"\\m\\a.m4a",
                                             u"\\m\\a.aac"};
    std::vector<uint8_t> file(data + 1, data + size);
    kra::MediaFileProbe probe;
    probe.OpenSource(kNames[data[0] % 4], std::make_unique<kra::MemorySource>(std::move(file)));
    probe.DurationSeconds();
    kra::TagInfo tags{};
    probe.ReadTags(tags, (data[0] & 4) != 0, u"");
    probe.Close();
    return 0;
}
