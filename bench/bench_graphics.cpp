// Blits, warps, scaling and decoding, each beside the physical limit of the
// same bytes (a cache-hot memcpy, or libjpeg-turbo decoding straight to
// RGB565).
#include <benchmark/benchmark.h>
#include <jpeglib.h>

#include <cstring>
#include <random>
#include <vector>

#include "graphics/blit.h"
#include "graphics/image.h"
#include "graphics/screen.h"
#include "platform/image-decode.h"
#include "platform/display.h"

namespace kra {
namespace {

constexpr uint32_t kW = 480, kH = 800;

struct BenchScreen {
    MemoryFrame frame;
    Screen screen;
    explicit BenchScreen(int orientation = 0) {
        platform::SetOemInfo("");
        frame.width = kW, frame.height = kH, frame.orientation = orientation;
        ScreenOutputs outputs;
        outputs.sink = MemoryFrameSink(frame);
        OpenScreen(screen, outputs, 2);
    }
    ~BenchScreen() { CloseScreen(screen); }
};

void Randomise(Surface& s, uint32_t w, uint32_t h, bool alpha) {
    std::mt19937 rng(1);
    SizeSurface(s, w, h);
    for (uint32_t i = 0; i < w * h; ++i) s.pixels[i] = uint16_t(rng());
    // A third of the pixels carry the key.
    for (uint32_t i = 0; i < w * h; i += 3) s.pixels[i] = s.pixels[0];
    if (alpha) {
        SetSurfaceAlpha(s);
        for (uint32_t i = 0; i < w * h; ++i) s.alpha[i] = uint8_t(rng() % 33);
    }
}

void BM_MemcpyFrame(benchmark::State& state) {
    std::vector<uint16_t> a(kW * kH, 1), b(kW * kH);
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), a.size() * 2);
        benchmark::DoNotOptimize(b.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kW * kH * 2);
}
BENCHMARK(BM_MemcpyFrame);

void BlitBench(benchmark::State& state, uint32_t mode, uint32_t alpha, bool withAlpha,
               int orientation) {
    BenchScreen b(orientation);
    Surface src;
    const bool swapped = orientation == 1 || orientation == 4;
    Randomise(src, swapped ? kH : kW, swapped ? kW : kH, withAlpha);
    for (auto _ : state) {
        DrawSurface(src, b.screen, 0, 0, 0, 0, 0, 0, mode, alpha);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kW * kH * 2);
}
BENCHMARK_CAPTURE(BlitBench, Copy, BlitCopy, 32, false, 0);
BENCHMARK_CAPTURE(BlitBench, Blend16, BlitBlend, 16, false, 0);
BENCHMARK_CAPTURE(BlitBench, Keyed, BlitKeyed, 32, false, 0);
BENCHMARK_CAPTURE(BlitBench, KeyedBlend16, BlitKeyed, 16, false, 0);
BENCHMARK_CAPTURE(BlitBench, PerPixelAlpha, BlitBlend, 32, true, 0);
BENCHMARK_CAPTURE(BlitBench, Blend16Turned90, BlitBlend, 16, false, 1);
BENCHMARK_CAPTURE(BlitBench, KeyedTurned90, BlitKeyed, 32, false, 1);

void BM_FillRectBlend(benchmark::State& state) {
    BenchScreen b;
    Brush brush = MakeBrush(0x1234);
    SelectBrush(b.screen, &brush);
    for (auto _ : state) FillRect(b.screen, 0, 0, kW, kH, 16, 0);
    state.SetBytesProcessed(int64_t(state.iterations()) * kW * kH * 2);
}
BENCHMARK(BM_FillRectBlend);

void BM_DimScreen(benchmark::State& state) {
    BenchScreen b;
    for (auto _ : state) DimScreen(b.screen, 25);
    state.SetBytesProcessed(int64_t(state.iterations()) * kW * kH * 2);
}
BENCHMARK(BM_DimScreen);

void BM_WarpCover(benchmark::State& state) {
    BenchScreen b;
    Surface cover, flow;
    Randomise(cover, 300, 300, false);
    const WarpCorners corners{0, 36, 150, 0, 0, 246, 150, 282};  // a step-4 side cover
    for (auto _ : state) WarpSurface(flow, b.screen, cover, corners, 0x10101010, true, false);
}
BENCHMARK(BM_WarpCover);

void BM_ScaleSmoothCover(benchmark::State& state) {
    BenchScreen b;
    Surface cover, out;
    Randomise(cover, 500, 500, false);
    for (auto _ : state) ScaleSurface(out, b.screen, cover, 300, 300, true, false);
}
BENCHMARK(BM_ScaleSmoothCover);

std::vector<uint8_t> MakeJpeg(uint32_t w, uint32_t h) {
    std::vector<uint8_t> rgb(size_t(w) * h * 3);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            uint8_t* p = &rgb[(size_t(y) * w + x) * 3];
            p[0] = uint8_t(x * 255 / w), p[1] = uint8_t(y * 255 / h), p[2] = uint8_t((x ^ y) & 255);
        }
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = w, c.image_height = h, c.input_components = 3, c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 85, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < h) {
        JSAMPROW row = &rgb[size_t(c.next_scanline) * w * 3];
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&c);
    free(buffer);
    return out;
}

const std::vector<uint8_t>& Jpeg1000() {
    static const std::vector<uint8_t> bytes = MakeJpeg(1000, 1000);
    return bytes;
}

// The limit: libjpeg-turbo alone, scale 1/4, straight to RGB565.
void BM_JpegQuarterRgb565Reference(benchmark::State& state) {
    const auto& bytes = Jpeg1000();
    std::vector<uint16_t> out(250 * 250);
    for (auto _ : state) {
        jpeg_decompress_struct d{};
        jpeg_error_mgr err{};
        d.err = jpeg_std_error(&err);
        jpeg_create_decompress(&d);
        jpeg_mem_src(&d, bytes.data(), bytes.size());
        jpeg_read_header(&d, TRUE);
        d.scale_num = 2, d.scale_denom = 8;
        d.out_color_space = JCS_RGB565;
        jpeg_start_decompress(&d);
        while (d.output_scanline < d.output_height) {
            JSAMPROW row = reinterpret_cast<JSAMPROW>(&out[size_t(d.output_scanline) * 250]);
            jpeg_read_scanlines(&d, &row, 1);
        }
        jpeg_finish_decompress(&d);
        jpeg_destroy_decompress(&d);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_JpegQuarterRgb565Reference);

void BM_LoadImageThumbnail(benchmark::State& state) {
    BenchScreen b;
    const auto& bytes = Jpeg1000();
    Surface s;
    const int mode = int(state.range(0));
    for (auto _ : state)
        LoadImageBytes(s, b.screen, bytes.data(), bytes.size(), false, mode, 240, 240);
}
BENCHMARK(BM_LoadImageThumbnail)->Arg(kScaleThumbnail)->Arg(kScaleFit);

}  // namespace
}  // namespace kra

namespace kra {
namespace {

// The decoding step alone: DCT-scaled to B, G, R, A, before resampling.
void BM_DecodeJpegQuarterBgra(benchmark::State& state) {
    const auto& bytes = Jpeg1000();
    platform::ImagePixels out;
    std::string reason;
    for (auto _ : state) platform::DecodeImage(bytes.data(), bytes.size(), 240, 240, out, reason);
}
BENCHMARK(BM_DecodeJpegQuarterBgra);

}  // namespace
}  // namespace kra
