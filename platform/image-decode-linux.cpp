// PNG through libpng's simplified interface, JPEG through libjpeg-turbo, and a
// small reader of uncompressed 24- and 32-bit BMP files.
#include <png.h>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "platform/image-decode.h"

namespace kra::platform {
namespace {

bool SizeAllowed(uint64_t width, uint64_t height) {
    return width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide &&
           width * height <= kMaxImagePixels;
}

uint32_t ReadLe32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t ReadLe16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}

// ---- PNG ----

bool PngHeader(const uint8_t* data, size_t size, ImageHeader& header) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data, size)) return false;
    header.format = ImageFormat::Png;
    header.width = image.width;
    header.height = image.height;
    header.hasAlpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    png_image_free(&image);
    return true;
}

bool PngDecode(const uint8_t* data, size_t size, ImagePixels& out, std::string& reason) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data, size)) {
        reason = image.message;
        return false;
    }
    if (!SizeAllowed(image.width, image.height)) {
        png_image_free(&image);
        reason = "picture too large";
        return false;
    }
    image.format = PNG_FORMAT_BGRA;
    out.width = image.width;
    out.height = image.height;
    out.bgra.resize(size_t(image.width) * image.height * 4);
    if (!png_image_finish_read(&image, nullptr, out.bgra.data(), int32_t(image.width * 4),
                               nullptr)) {
        reason = image.message;
        png_image_free(&image);
        out = ImagePixels{};
        return false;
    }
    png_image_free(&image);
    return true;
}

// ---- JPEG ----

struct JpegErrorManager {
    jpeg_error_mgr mgr;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

// Everything the decoder touches lives here, on the heap, so that nothing
// local changes between setjmp and a longjmp back to it.
struct JpegJob {
    jpeg_decompress_struct cinfo{};
    JpegErrorManager error{};
    jpeg_progress_mgr progress{};
    std::vector<uint8_t> row;
};

void JpegErrorExit(j_common_ptr cinfo) {
    auto* error = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, error->message);
    std::longjmp(error->jump, 1);
}

void JpegQuiet(j_common_ptr) {}

// A progressive file can hold thousands of tiny scans that each cost a pass
// over the whole coefficient buffer; real files have a few dozen.
void JpegProgress(j_common_ptr cinfo) {
    if (cinfo->is_decompressor &&
        reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > 500) {
        std::snprintf(reinterpret_cast<JpegErrorManager*>(cinfo->err)->message, JMSG_LENGTH_MAX,
                      "too many scans");
        std::longjmp(reinterpret_cast<JpegErrorManager*>(cinfo->err)->jump, 2);
    }
}

// Returns 1 on success, 0 on a decoder error (reason set).
bool JpegRun(JpegJob& job, const uint8_t* data, size_t size, bool headerOnly, uint32_t minWidth,
             uint32_t minHeight, ImageHeader* header, ImagePixels* out, std::string& reason) {
    jpeg_decompress_struct& cinfo = job.cinfo;
    cinfo.err = jpeg_std_error(&job.error.mgr);
    job.error.mgr.error_exit = JpegErrorExit;
    job.error.mgr.output_message = JpegQuiet;
    if (setjmp(job.error.jump) != 0) {
        reason = job.error.message;
        jpeg_destroy_decompress(&cinfo);
        if (out) *out = ImagePixels{};
        return false;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = 256L * 1024 * 1024;
    job.progress.progress_monitor = JpegProgress;
    cinfo.progress = &job.progress;
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
        reason = "no JPEG header";
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    if (headerOnly) {
        header->format = ImageFormat::Jpeg;
        header->width = cinfo.image_width;
        header->height = cinfo.image_height;
        header->hasAlpha = false;
        jpeg_destroy_decompress(&cinfo);
        return true;
    }
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    // DCT-domain reduction: the smallest n/8 whose output still covers the
    // wanted size.
    if (minWidth != 0 && minHeight != 0) {
        for (unsigned n = 1; n <= 8; ++n) {
            uint64_t w = (uint64_t(cinfo.image_width) * n + 7) / 8;
            uint64_t h = (uint64_t(cinfo.image_height) * n + 7) / 8;
            if ((w >= minWidth && h >= minHeight) || n == 8) {
                cinfo.scale_num = n;
                cinfo.scale_denom = 8;
                break;
            }
        }
    }
    jpeg_calc_output_dimensions(&cinfo);
    if (!SizeAllowed(cinfo.output_width, cinfo.output_height) ||
        cinfo.image_width > 4 * kMaxImageSide || cinfo.image_height > 4 * kMaxImageSide) {
        reason = "picture too large";
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_start_decompress(&cinfo);
    const uint32_t w = cinfo.output_width, h = cinfo.output_height;
    out->width = w;
    out->height = h;
    out->bgra.resize(size_t(w) * h * 4);
    job.row.resize(size_t(w) * 4);
    // Adobe writes CMYK inverted (0 = full ink), as almost every CMYK JPEG is.
    const bool inverted = cinfo.saw_Adobe_marker;
    while (cinfo.output_scanline < h) {
        uint8_t* dest = out->bgra.data() + size_t(cinfo.output_scanline) * w * 4;
        JSAMPROW rowPointer = cmyk ? job.row.data() : dest;
        if (jpeg_read_scanlines(&cinfo, &rowPointer, 1) != 1) break;
        if (cmyk) {
            const uint8_t* s = job.row.data();
            for (uint32_t x = 0; x < w; ++x, s += 4, dest += 4) {
                uint32_t c = s[0], m = s[1], y = s[2], k = s[3];
                if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
                dest[0] = uint8_t(y * k / 255);
                dest[1] = uint8_t(m * k / 255);
                dest[2] = uint8_t(c * k / 255);
                dest[3] = 255;
            }
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

bool JpegHeader(const uint8_t* data, size_t size, ImageHeader& header) {
    auto job = std::make_unique<JpegJob>();
    std::string reason;
    return JpegRun(*job, data, size, true, 0, 0, &header, nullptr, reason);
}

bool JpegDecode(const uint8_t* data, size_t size, uint32_t minWidth, uint32_t minHeight,
                ImagePixels& out, std::string& reason) {
    auto job = std::make_unique<JpegJob>();
    return JpegRun(*job, data, size, false, minWidth, minHeight, nullptr, &out, reason);
}

// ---- BMP ----

struct BmpLayout {
    uint32_t width = 0, height = 0;
    bool topDown = false;
    uint32_t bitsPerPixel = 0;
    uint32_t dataOffset = 0;
    uint32_t stride = 0;
    uint32_t shift[3] = {16, 8, 0};  // red, green, blue of a 32-bit pixel
};

bool MaskShift(uint32_t mask, uint32_t& shift) {
    for (uint32_t s = 0; s <= 24; s += 8)
        if (mask == (0xFFu << s)) {
            shift = s;
            return true;
        }
    return false;
}

bool BmpParse(const uint8_t* data, size_t size, BmpLayout& bmp, std::string& reason) {
    if (size < 26 || data[0] != 'B' || data[1] != 'M') {
        reason = "not a BMP file";
        return false;
    }
    bmp.dataOffset = ReadLe32(data + 10);
    const uint32_t headerSize = ReadLe32(data + 14);
    uint32_t compression = 0;
    int64_t height = 0;
    if (headerSize == 12) {
        bmp.width = ReadLe16(data + 18);
        height = ReadLe16(data + 20);
        bmp.bitsPerPixel = ReadLe16(data + 24);
    } else if (headerSize >= 40 && headerSize <= 256 && size >= 14 + size_t(headerSize)) {
        int32_t width = int32_t(ReadLe32(data + 18));
        height = int32_t(ReadLe32(data + 22));
        if (width <= 0) {
            reason = "bad BMP width";
            return false;
        }
        bmp.width = uint32_t(width);
        bmp.bitsPerPixel = ReadLe16(data + 28);
        compression = ReadLe32(data + 30);
    } else {
        reason = "unsupported BMP header";
        return false;
    }
    if (height < 0) {
        bmp.topDown = true;
        height = -height;
    }
    bmp.height = uint32_t(height);
    if (bmp.bitsPerPixel == 24 && compression == 0) {
        // plain B, G, R
    } else if (bmp.bitsPerPixel == 32 && compression == 0) {
        // B, G, R, unused
    } else if (bmp.bitsPerPixel == 32 && compression == 3) {
        // Masks follow a 40-byte header or sit inside a longer one.
        if (size < 14 + 40 + 12) {
            reason = "truncated BMP masks";
            return false;
        }
        const uint8_t* masks = data + 14 + 40;
        for (int i = 0; i < 3; ++i)
            if (!MaskShift(ReadLe32(masks + 4 * i), bmp.shift[i])) {
                reason = "unsupported BMP masks";
                return false;
            }
    } else {
        reason = "unsupported BMP pixel format";
        return false;
    }
    if (!SizeAllowed(bmp.width, bmp.height)) {
        reason = "picture too large or empty";
        return false;
    }
    bmp.stride = ((bmp.width * bmp.bitsPerPixel + 31) / 32) * 4;
    if (bmp.dataOffset > size || uint64_t(bmp.stride) * bmp.height > size - bmp.dataOffset) {
        reason = "truncated BMP pixels";
        return false;
    }
    return true;
}

bool BmpDecode(const uint8_t* data, size_t size, ImagePixels& out, std::string& reason) {
    BmpLayout bmp;
    if (!BmpParse(data, size, bmp, reason)) return false;
    out.width = bmp.width;
    out.height = bmp.height;
    out.bgra.resize(size_t(bmp.width) * bmp.height * 4);
    for (uint32_t y = 0; y < bmp.height; ++y) {
        uint32_t fileRow = bmp.topDown ? y : bmp.height - 1 - y;
        const uint8_t* s = data + bmp.dataOffset + size_t(fileRow) * bmp.stride;
        uint8_t* d = out.bgra.data() + size_t(y) * bmp.width * 4;
        if (bmp.bitsPerPixel == 24) {
            for (uint32_t x = 0; x < bmp.width; ++x, s += 3, d += 4)
                d[0] = s[0], d[1] = s[1], d[2] = s[2], d[3] = 255;
        } else {
            for (uint32_t x = 0; x < bmp.width; ++x, s += 4, d += 4) {
                uint32_t p = ReadLe32(s);
                d[0] = uint8_t(p >> bmp.shift[2]);
                d[1] = uint8_t(p >> bmp.shift[1]);
                d[2] = uint8_t(p >> bmp.shift[0]);
                d[3] = 255;
            }
        }
    }
    return true;
}

}  // namespace

ImageFormat DetectImageFormat(const uint8_t* data, size_t size) {
    static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size >= 8 && std::memcmp(data, kPng, 8) == 0) return ImageFormat::Png;
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF)
        return ImageFormat::Jpeg;
    if (size >= 2 && data[0] == 'B' && data[1] == 'M') return ImageFormat::Bmp;
    return ImageFormat::Unknown;
}

bool ReadImageHeader(const uint8_t* data, size_t size, ImageHeader& header) {
    header = ImageHeader{};
    switch (DetectImageFormat(data, size)) {
        case ImageFormat::Png:
            return PngHeader(data, size, header);
        case ImageFormat::Jpeg:
            return JpegHeader(data, size, header);
        case ImageFormat::Bmp: {
            BmpLayout bmp;
            std::string reason;
            if (!BmpParse(data, size, bmp, reason)) return false;
            header.format = ImageFormat::Bmp;
            header.width = bmp.width;
            header.height = bmp.height;
            return true;
        }
        case ImageFormat::Unknown:
            break;
    }
    return false;
}

bool DecodeImage(const uint8_t* data, size_t size, uint32_t minWidth, uint32_t minHeight,
                 ImagePixels& out, std::string& reason) {
    out = ImagePixels{};
    switch (DetectImageFormat(data, size)) {
        case ImageFormat::Png:
            return PngDecode(data, size, out, reason);
        case ImageFormat::Jpeg:
            return JpegDecode(data, size, minWidth, minHeight, out, reason);
        case ImageFormat::Bmp:
            return BmpDecode(data, size, out, reason);
        case ImageFormat::Unknown:
            break;
    }
    reason = "unknown image format";
    return false;
}

bool WritePngRgb(const std::string& posixPath, const uint8_t* rgb, uint32_t width,
                 uint32_t height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = PNG_FORMAT_RGB;
    bool ok = png_image_write_to_file(&image, posixPath.c_str(), 0, rgb, int32_t(width * 3),
                                      nullptr) != 0;
    png_image_free(&image);
    return ok;
}

}  // namespace kra::platform
