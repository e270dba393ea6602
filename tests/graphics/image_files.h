// Small image files built byte by byte for the decoding tests.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "support/bytes.h"

namespace kra::test {

inline uint32_t Crc32(const uint8_t* p, size_t n) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}

inline void PngChunk(Bytes& out, const char* type, const Bytes& data) {
    const Bytes body = Text(type) + data;
    out += Be32(uint32_t(data.size())) + body + Be32(Crc32(body.data(), body.size()));
}

// A PNG with the given IHDR fields; rows are the raw scanlines without
// filter bytes (filter 0 is added), stored in uncompressed deflate blocks.
inline std::vector<uint8_t> PngBytes(uint32_t w, uint32_t h, uint8_t bitDepth, uint8_t colourType,
                                     const std::vector<uint8_t>& rows, size_t rowBytes,
                                     const std::vector<uint8_t>& palette = {},
                                     const std::vector<uint8_t>& trns = {}) {
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    PngChunk(out, "IHDR", Be32(w) + Be32(h) + Bytes{bitDepth, colourType, 0, 0, 0});
    if (!palette.empty()) PngChunk(out, "PLTE", palette);
    if (!trns.empty()) PngChunk(out, "tRNS", trns);
    std::vector<uint8_t> raw;
    for (uint32_t y = 0; y < h; ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), rows.begin() + long(y * rowBytes),
                   rows.begin() + long((y + 1) * rowBytes));
    }
    std::vector<uint8_t> z = {0x78, 0x01};
    size_t pos = 0;
    do {
        size_t n = std::min<size_t>(65535, raw.size() - pos);
        z += Bytes{uint8_t(pos + n == raw.size() ? 1 : 0)} + Le16(uint32_t(n)) + Le16(uint16_t(~n));
        z.insert(z.end(), raw.begin() + long(pos), raw.begin() + long(pos + n));
        pos += n;
    } while (pos < raw.size());
    uint32_t a = 1, b = 0;
    for (uint8_t v : raw) a = (a + v) % 65521, b = (b + a) % 65521;
    z += Be32((b << 16) | a);
    PngChunk(out, "IDAT", z);
    PngChunk(out, "IEND", {});
    return out;
}

// 8-bit RGBA PNG from R, G, B, A bytes.
inline std::vector<uint8_t> PngRgba(uint32_t w, uint32_t h, const std::vector<uint8_t>& rgba) {
    return PngBytes(w, h, 8, 6, rgba, size_t(w) * 4);
}

// A JPEG of R, G, B bytes (components 3) or grey bytes (1), or CMYK (4).
inline std::vector<uint8_t> JpegBytes(uint32_t w, uint32_t h, const std::vector<uint8_t>& pixels,
                                      int components, bool progressive = false, int quality = 95) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = w;
    c.image_height = h;
    c.input_components = components;
    c.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 4 ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    if (progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < h) {
        JSAMPROW row =
            const_cast<uint8_t*>(pixels.data()) + size_t(c.next_scanline) * w * components;
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&c);
    free(buffer);
    return out;
}

// An uncompressed BMP of B, G, R (24) or B, G, R, X (32) rows, top row first.
inline std::vector<uint8_t> BmpBytes(int32_t w, int32_t h, int bits,
                                     const std::vector<uint8_t>& bgr, bool topDown = false) {
    const uint32_t bpp = uint32_t(bits / 8);
    const uint32_t stride = ((uint32_t(w) * uint32_t(bits) + 31) / 32) * 4;
    Bytes out = Text("BM") + Le32(54 + stride * uint32_t(h)) + Le32(0) + Le32(54) + Le32(40) +
                Le32(uint32_t(w)) + Le32(uint32_t(topDown ? -h : h)) + Le16(1) +
                Le16(uint16_t(bits)) + Zeros(24);
    for (int32_t r = 0; r < h; ++r) {
        int32_t y = topDown ? r : h - 1 - r;
        size_t start = out.size();
        out.insert(out.end(), bgr.begin() + long(size_t(y) * w * bpp),
                   bgr.begin() + long(size_t(y + 1) * w * bpp));
        while (out.size() < start + stride) out.push_back(0xEE);  // padding bytes carry junk
    }
    return out;
}

}  // namespace kra::test
