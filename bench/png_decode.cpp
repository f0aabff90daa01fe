// PNG decode of a 1024 x 1024 RGBA image from memory: through render::Loader
// (signature test, quiet log, PNG_Loader over a core::MemoryStream, pool-backed
// Image2D) against libpng used directly with the same transformations into a
// plain buffer. The target is a ratio within 1.1.
#include "core/DebugLog.h"
#include "core/EngineGlobals.h"
#include "core/MemoryManager.h"
#include "core/MemoryStream.h"
#include "render/Image2D.h"
#include "render/Loader.h"
#include <benchmark/benchmark.h>
#include <png.h>
#include <cstring>
#include <vector>

namespace {

const int SIDE = 1024;

void appendBytes(png_structp png, png_bytep data, size_t length) {
    auto* out = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
void noFlush(png_structp) {}

// A photo-like test image: smooth gradients with some fine noise, so the
// filters and the inflater both have work to do.
const std::vector<unsigned char>& testPng() {
    static std::vector<unsigned char> file;
    if (!file.empty()) return file;
    std::vector<unsigned char> pixels((size_t)SIDE * SIDE * 4);
    unsigned seed = 12345;
    for (int y = 0; y < SIDE; ++y)
        for (int x = 0; x < SIDE; ++x) {
            seed = seed * 1664525u + 1013904223u;
            unsigned char* p = &pixels[((size_t)y * SIDE + x) * 4];
            p[0] = (unsigned char)(x / 4 + (seed >> 29));
            p[1] = (unsigned char)(y / 4 + (seed >> 30));
            p[2] = (unsigned char)((x + y) / 8);
            p[3] = (unsigned char)(255 - (x ^ y) % 64);
        }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) std::abort();
    png_set_write_fn(png, &file, appendBytes, noFlush);
    png_set_IHDR(png, info, SIDE, SIDE, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < SIDE; ++y) png_write_row(png, &pixels[(size_t)y * SIDE * 4]);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return file;
}

struct MemoryReader {
    const unsigned char* data;
    size_t size;
    size_t pos;
};

void readMemory(png_structp png, png_bytep out, size_t length) {
    auto* r = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (r->pos + length > r->size) png_error(png, "short read");
    std::memcpy(out, r->data + r->pos, length);
    r->pos += length;
}

void BM_LibpngDirect(benchmark::State& state) {
    const std::vector<unsigned char>& file = testPng();
    std::vector<unsigned char> pixels;
    std::vector<png_bytep> rows(SIDE);
    for (auto _ : state) {
        MemoryReader reader = {file.data(), file.size(), 0};
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        if (setjmp(png_jmpbuf(png))) std::abort();
        png_set_read_fn(png, &reader, readMemory);
        png_read_info(png, info);
        png_uint_32 w, h;
        int depth, type;
        png_get_IHDR(png, info, &w, &h, &depth, &type, nullptr, nullptr, nullptr);
        if (!(type & PNG_COLOR_MASK_ALPHA)) png_set_strip_alpha(png);
        if (depth > 8) png_set_strip_16(png);
        png_set_interlace_handling(png);
        png_read_update_info(png, info);
        pixels.resize(png_get_rowbytes(png, info) * h);
        for (png_uint_32 i = 0; i < h; ++i) rows[i] = &pixels[i * png_get_rowbytes(png, info)];
        png_read_image(png, rows.data());
        png_read_end(png, info);
        png_destroy_read_struct(&png, &info, nullptr);
        benchmark::DoNotOptimize(pixels.data());
    }
    state.SetBytesProcessed((int64_t)state.iterations() * SIDE * SIDE * 4);
}

void BM_Loader(benchmark::State& state) {
    const std::vector<unsigned char>& file = testPng();
    core::EngineGlobals* g = new core::EngineGlobals();
    core::setEngineGlobals(g);
    g->log = new core::DebugLog();
    g->log->setLevelMask(0);
    MemoryManagerConfig mc;
    mc.poolSize = 16 * 1024 * 1024;
    g->memoryManager = new MemoryManager(mc);
    {
        core::Vector<core::Ref<render::Object3D>> result;
        for (auto _ : state) {
            core::Ref<core::MemoryStream> stream = M3D_NEW core::MemoryStream(file.data(), (int)file.size(), true);
            render::Loader::load(stream.get(), result, nullptr, core::String());
            benchmark::DoNotOptimize(static_cast<render::Image2D*>(result[0].get())->getLoadedPixels());
        }
        state.SetBytesProcessed((int64_t)state.iterations() * SIDE * SIDE * 4);
    }
    delete g->memoryManager;
    delete g->log;
    core::setEngineGlobals(nullptr);
    delete g;
}

} // namespace

BENCHMARK(BM_LibpngDirect)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Loader)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
