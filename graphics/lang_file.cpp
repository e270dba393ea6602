#include "graphics/lang.h"
#include "platform/files.h"

namespace kra {

bool ReadLangFile(const std::u16string& path, LangFile& out) {
    out.lines.clear();
    std::vector<uint8_t> bytes;
    if (!platform::ReadFileBytes(path, bytes, kLangFileMaxBytes)) return false;
    out = ParseLangFile(bytes.data(), bytes.size());
    return true;
}

}  // namespace kra
