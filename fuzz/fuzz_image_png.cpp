// LoadImage on arbitrary bytes: natural size, thumbnail and fit, with and
// without the ".png" name, in both pixel layouts.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_image_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kra::fuzz::LoadImageAllWays(data, size);
    return 0;
}
