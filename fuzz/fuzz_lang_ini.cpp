// The language-file reader on arbitrary bytes: every key of the table is
// looked up, and every value must respect its capacity.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "graphics/lang.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kra::LangFile file = kra::ParseLangFile(data, size);
    for (const auto& line : file.lines) {
        if (line.size() > kra::kLangLineUnits) abort();
    }
    kra::LanguageStrings strings;
    kra::ReadLanguageStrings(&file, true, strings);
    for (const kra::LangKey& key : kra::kLangKeys) {
        if ((strings.*key.field).size() >= key.capacity) abort();
    }
    kra::LowerCaseCountWords(strings);
    return 0;
}
