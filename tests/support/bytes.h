// Byte builders for test files assembled field by field.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

namespace kra::test {

using Bytes = std::vector<uint8_t>;

inline Bytes& operator+=(Bytes& a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
inline Bytes operator+(Bytes a, const Bytes& b) {
    return a += b;
}
inline Bytes Text(std::string_view s) {
    return Bytes(s.begin(), s.end());
}
inline Bytes Be32(uint32_t v) {
    return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}
inline Bytes Be16(uint32_t v) {
    return {uint8_t(v >> 8), uint8_t(v)};
}
inline Bytes Le32(uint32_t v) {
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}
inline Bytes Le16(uint32_t v) {
    return {uint8_t(v), uint8_t(v >> 8)};
}
inline Bytes Zeros(size_t n) {
    return Bytes(n, 0);
}

}  // namespace kra::test

namespace kra {
using test::operator+;
using test::operator+=;
}  // namespace kra
