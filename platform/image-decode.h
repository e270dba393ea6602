// Image decoding and encoding for the core: PNG (libpng), JPEG
// (libjpeg-turbo) and uncompressed 24/32-bit BMP, chosen by the bytes'
// signature, never by a file name.
//
// Decoders work on bytes in memory and are bounded by them; damaged data
// fails cleanly (false and a reason), never crashes or leaks. Pictures larger
// than kMaxImageSide on a side or kMaxImagePixels in all (after JPEG
// reduction) are refused before any pixel buffer is allocated.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kra::platform {

inline constexpr uint32_t kMaxImageSide = 16384;
inline constexpr uint64_t kMaxImagePixels = 16ull * 1024 * 1024;

enum class ImageFormat { Unknown, Png, Jpeg, Bmp };

struct ImageHeader {
    ImageFormat format = ImageFormat::Unknown;
    uint32_t width = 0, height = 0;
    // The decoded picture carries alpha (a PNG with an alpha channel or a
    // transparency chunk).
    bool hasAlpha = false;
};

// Four bytes per pixel in B, G, R, A order, rows packed, top row first.
// Alpha is straight (not premultiplied); opaque pictures have A = 255.
struct ImagePixels {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> bgra;
};

ImageFormat DetectImageFormat(const uint8_t* data, size_t size);
bool ReadImageHeader(const uint8_t* data, size_t size, ImageHeader& header);

// Decodes the picture. minWidth x minHeight (0 x 0 = full size) lets a JPEG be
// reduced in the DCT domain to the smallest scale n/8 whose output is at least
// that large; other formats always decode at full size.
bool DecodeImage(const uint8_t* data, size_t size, uint32_t minWidth, uint32_t minHeight,
                 ImagePixels& out, std::string& reason);

// Writes 8-bit RGB pixels (3 bytes per pixel, rows packed) as a PNG file at a
// POSIX path.
bool WritePngRgb(const std::string& posixPath, const uint8_t* rgb, uint32_t width, uint32_t height);

}  // namespace kra::platform
