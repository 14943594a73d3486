// PNG encoding and decoding of pictures through libpng.
#include <png.h>

#include <cstring>

#include "cell_palette.h"
#include "grid_image.h"

namespace talvane {
namespace {

extern "C" {
static void renderAppendBytes(png_structp png, png_bytep data, png_size_t length) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}

static void renderFlushNothing(png_structp) {}
}

// Reads from a byte string during decoding.
struct ByteReader {
    const std::string& bytes;  // the whole PNG
    std::size_t at = 0;        // next byte to hand out
};

extern "C" {
static void renderReadBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* reader = static_cast<ByteReader*>(png_get_io_ptr(png));
    if (reader->bytes.size() - reader->at < length) png_error(png, "truncated PNG");
    std::memcpy(data, reader->bytes.data() + reader->at, length);
    reader->at += length;
}
}

// libpng's messages stay quiet: the caller reports failures in its own words.
extern "C" {
[[noreturn]] static void renderPngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
static void renderPngWarning(png_structp, png_const_charp) {}
}

}  // namespace

std::string encodePng(const IndexedImage& image) {
    std::string bytes;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return {};
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &bytes, renderAppendBytes, renderFlushNothing);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
                 PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color palette[kCellColors.size()];
    for (std::size_t i = 0; i < kCellColors.size(); ++i) {
        palette[i] = {toByte(kCellColors[i][0]), toByte(kCellColors[i][1]), toByte(kCellColors[i][2])};
    }
    png_set_PLTE(png, info, palette, static_cast<int>(kCellColors.size()));
    // Flat areas of few colours: no filter and fast deflate give small files quickly.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(png, 3);
    png_write_info(png, info);
    for (int y = 0; y < image.height; ++y) {
        png_write_row(png, &image.index[static_cast<std::size_t>(y) * image.width]);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return bytes;
}

bool decodePngRgb(const std::string& bytes, int& width, int& height, std::vector<std::uint8_t>& rgb,
                  std::string& error) {
    if (bytes.size() < 8 || png_sig_cmp(reinterpret_cast<png_const_bytep>(bytes.data()), 0, 8) != 0) {
        error = "not a PNG";
        return false;
    }
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, renderPngError, renderPngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        error = "out of memory";
        return false;
    }
    ByteReader reader{bytes};
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        error = "cannot decode the PNG";
        return false;
    }
    png_set_read_fn(png, &reader, renderReadBytes);
    png_read_info(png, info);
    png_set_palette_to_rgb(png);
    png_set_strip_16(png);
    png_set_strip_alpha(png);
    png_set_gray_to_rgb(png);
    png_set_expand_gray_1_2_4_to_8(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    width = static_cast<int>(png_get_image_width(png, info));
    height = static_cast<int>(png_get_image_height(png, info));
    rgb.assign(static_cast<std::size_t>(width) * height * 3, 0);
    std::vector<png_bytep> rows(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) rows[static_cast<std::size_t>(y)] = &rgb[static_cast<std::size_t>(y) * width * 3];
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

}  // namespace talvane
