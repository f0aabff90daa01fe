#include "render/PNG_Writer.h"
#include "core/IOException.h"
#include "core/Ref.h"
#include "core/Vector.h"
#include "hal/File.h"
#include <png.h>
#include <csetjmp>

namespace render {

namespace {

// libpng writes into a growing pool buffer; the file gets it in one write.
void appendBytes(png_structp png, png_bytep data, png_size_t length) {
    core::Vector<unsigned char>* out = static_cast<core::Vector<unsigned char>*>(png_get_io_ptr(png));
    int at = out->size();
    out->resize(at + (int)length);
    for (png_size_t i = 0; i < length; ++i)
        (*out)[at + (int)i] = data[i];
}

void flushNothing(png_structp) {}

// Encodes into `out`; false when libpng fails. No C++ object with a
// destructor lives in this frame, so libpng's longjmp skips nothing.
bool encode(core::Vector<unsigned char>* out, int width, int height, png_bytep* rows) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_set_write_fn(png, out, appendBytes, flushNothing);
    png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, 8, PNG_COLOR_TYPE_RGBA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 3); // capture speed matters more than size
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

void writePNG(const core::String& path, int width, int height, const unsigned char* rgba, bool bottomUp) {
    if (width <= 0 || height <= 0 || !rgba) throw core::IOException("writePNG: empty image", path);
    core::Vector<png_bytep> rows;
    rows.resize(height);
    for (int y = 0; y < height; ++y) {
        int source = bottomUp ? height - 1 - y : y;
        rows[y] = const_cast<png_bytep>(rgba + (size_t)source * (size_t)width * 4);
    }
    core::Vector<unsigned char> bytes;
    if (!encode(&bytes, width, height, rows.data()))
        throw core::IOException("writePNG: encoding failed", path);
    core::Ref<HAL::File> file(HAL::File::createFileHandle(path, core::String("wb")));
    file->fopen();
    file->fwrite(bytes.data(), bytes.size());
    file->fclose();
}

} // namespace render
