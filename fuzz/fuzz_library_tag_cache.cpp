// The title cache "kra2.tag": any bytes, for any number of files, are read
// without crashing; an accepted cache holds exactly that many records.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "library/tag_cache.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    // The first byte picks the folder's number of files; the rest is the file.
    const size_t files = data[0] + (data[0] & 1) * 256;
    std::vector<kra::TitleEntry> records;
    if (kra::DecodeTagCache(data + 1, size - 1, files, records)) {
        if (records.size() != files) std::abort();
        for (const kra::TitleEntry& record : records) {
            if (record.title.size() > 126) std::abort();
        }
    }
    return 0;
}
