// UTF-16 text helpers shared by the core.
#pragma once
#include <cstdarg>
#include <cstdint>
#include <string>
#include <string_view>

namespace kra {

// UTF-8 -> UTF-16. Invalid bytes become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
// UTF-16 -> UTF-8. Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
// Latin-1 (the ANSI code page of the tag reader) -> UTF-16.
std::u16string Latin1ToUtf16(std::string_view text);

// The runtime library's tolower on one code unit: ASCII letters fold,
// everything else is returned unchanged.
inline char16_t FoldUnit(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? char16_t(c - u'A' + u'a') : c;
}

// printf into UTF-8; %s takes const char* (UTF-8). Never fails.
std::string FormatV(const char* format, va_list args);
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Length of a zero-terminated UTF-16 buffer, bounded by capacity.
size_t BoundedLength(const char16_t* text, size_t capacity);

}  // namespace kra
