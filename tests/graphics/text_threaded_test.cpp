// Labels may be rendered on a worker thread (generated covers) while the main
// thread renders list rows: the shared font caches must hold.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "graphics/text.h"

namespace kra {
namespace {

std::vector<uint16_t> Render(const Screen& screen, int height, const std::u16string& text) {
    Surface s;
    if (!RenderText(s, screen, height, 500, kTextNearBlack, text, kTextWordEllipsis, 300, 40, 0,
                    0xFFFFFF)) {
        return {};
    }
    return std::vector<uint16_t>(s.pixels, s.pixels + size_t(s.width) * s.height);
}

TEST(TextThreadedTest, ConcurrentRenderingGivesTheSamePixels) {
    Screen screen;
    screen.layout = kLayout565;
    const std::u16string texts[2] = {u"Caf\u00E9 del Mar \u6D77\u306E\u58F0 volume two",
                                     u"\u041F\u0435\u0441\u043D\u0438 & \u03A9\u03B4\u03AE"};
    // Reference pixels, rendered one after the other.
    std::vector<uint16_t> expected[2] = {Render(screen, 26, texts[0]),
                                         Render(screen, 28, texts[1])};
    ASSERT_FALSE(expected[0].empty());
    bool same[2] = {true, true};
    std::thread workers[2];
    for (int t = 0; t < 2; ++t) {
        workers[t] = std::thread([&, t] {
            for (int i = 0; i < 40; ++i) {
                // A fresh height now and then makes new font instances meanwhile.
                Render(screen, 14 + i, texts[t]);
                same[t] = same[t] && Render(screen, 26 + 2 * t, texts[t]) == expected[t];
            }
        });
    }
    for (std::thread& worker : workers) worker.join();
    EXPECT_TRUE(same[0]);
    EXPECT_TRUE(same[1]);
}

}  // namespace
}  // namespace kra
