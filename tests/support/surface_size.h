// A surface's (or screen's) width and height as one value, for one comparison.
#pragma once
#include <cstdint>
#include <utility>

namespace kra::test {

template <class Sized>
std::pair<uint32_t, uint32_t> SizeOf(const Sized& s) {
    return {s.width, s.height};
}

}  // namespace kra::test
