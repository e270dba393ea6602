// Rendering one list row of text, beside a memcpy of the row's bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "graphics/text.h"

namespace {

constexpr int kRowWidth = 440;  // a list row at UiScale 2
constexpr int kRowHeight = 60;

void BM_RenderTextListRow(benchmark::State& state) {
    kra::Screen screen;
    screen.layout = kra::kLayout565;
    kra::Font* font = kra::MakeFont(32, 600);
    kra::Surface row;
    const std::u16string text = u"The Köln Concert (Part II c) \u2014 Keith Jarrett";
    for (auto _ : state) {
        kra::RenderTextWithFont(row, screen, font, kra::kTextNearBlack, text,
                                kra::kTextWordEllipsis, kRowWidth, kRowHeight, 0, 0xFFFFFF);
        benchmark::DoNotOptimize(row.pixels);
    }
    kra::DeleteFont(font);
    state.SetBytesProcessed(int64_t(state.iterations()) * row.width * row.height * 2);
}
BENCHMARK(BM_RenderTextListRow);

void BM_MemcpyListRow(benchmark::State& state) {
    std::vector<uint16_t> from(size_t(kRowWidth) * 32, 0x1234), to(from.size());
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size() * 2);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * from.size() * 2);
}
BENCHMARK(BM_MemcpyListRow);

}  // namespace
