// The tags of one song as the tag reader fills them.
#pragma once
#include <cstdint>
#include <string>

namespace kra {

constexpr size_t kTagTextCapacity = 255;  // units, terminator included

// Each text holds at most 254 units plus a terminating zero; longer texts are
// cut. A field no tag provides stays empty (or 0). The caller clears the
// record (TagInfo{}) before ReadTags.
struct TagInfo {
    char16_t title[kTagTextCapacity] = {};
    char16_t artist[kTagTextCapacity] = {};
    char16_t album[kTagTextCapacity] = {};
    char16_t comment[kTagTextCapacity] = {};  // MP4 files only
    char16_t genre[kTagTextCapacity] = {};    // MP4 files only
    int32_t year = 0;
    int32_t track = 0;
};

// The text of a field up to its terminator.
std::u16string TagText(const char16_t (&field)[kTagTextCapacity]);

}  // namespace kra
