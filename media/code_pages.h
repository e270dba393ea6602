// The single-byte "ANSI" code page of tag texts that carry no encoding of
// their own (ID3v1, ID3v2 encoding 0). Windows-1252 by default.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace kra {

// 1252 (Western), 1251 (Cyrillic) or 28591 (ISO-8859-1). False, and no
// change, for any other. Safe to call from any thread.
bool SetAnsiCodePage(uint32_t codePage);
uint32_t AnsiCodePage();

// One unit per byte; bytes the code page leaves undefined become U+FFFD.
// Zero bytes are converted like any other.
std::u16string AnsiToUtf16(std::string_view bytes);

}  // namespace kra
