// Writes shown frames as PNG files (libpng).
#include <png.h>
#include <unistd.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "platform/window_internal.h"

namespace kra::platform {

namespace {

// Everything libpng touches between setjmp and longjmp lives here, so no
// local variable is left indeterminate by the jump.
struct PngWrite {
    FILE* file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::string failure;
};

void OnPngError(png_structp png, png_const_charp message) {
    auto* w = static_cast<PngWrite*>(png_get_error_ptr(png));
    w->failure = message;
    std::longjmp(png_jmpbuf(png), 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

bool WriteRows(PngWrite* w, const std::vector<uint8_t>& rgb, int width, int height) {
    w->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, w, OnPngError, OnPngWarning);
    if (!w->png) return false;
    w->info = png_create_info_struct(w->png);
    if (!w->info) return false;
    if (setjmp(png_jmpbuf(w->png))) return false;
    png_init_io(w->png, w->file);
    png_set_IHDR(w->png, w->info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(w->png, w->info);
    for (int y = 0; y < height; ++y)
        png_write_row(w->png, rgb.data() + size_t(y) * size_t(width) * 3);
    png_write_end(w->png, nullptr);
    return true;
}

}  // namespace

bool WritePng(const std::string& path, const std::vector<uint8_t>& rgb, int width, int height,
              std::string* error) {
    if (width <= 0 || height <= 0 || rgb.size() != size_t(width) * size_t(height) * 3) {
        *error = "no pixels";
        return false;
    }
    const std::string temp = path + ".tmp" + std::to_string(getpid());
    PngWrite w;
    w.file = std::fopen(temp.c_str(), "wb");
    if (!w.file) {
        *error = std::strerror(errno);
        return false;
    }
    bool ok = WriteRows(&w, rgb, width, height);
    png_destroy_write_struct(w.png ? &w.png : nullptr, w.info ? &w.info : nullptr);
    if (std::fclose(w.file) != 0 && ok) {
        ok = false;
        w.failure = std::strerror(errno);
    }
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        w.failure = std::strerror(errno);
    }
    if (!ok) {
        std::remove(temp.c_str());
        *error = w.failure.empty() ? "cannot write PNG" : w.failure;
    }
    return ok;
}

}  // namespace kra::platform
