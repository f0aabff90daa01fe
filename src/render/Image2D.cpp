// render::Image2D: pool-backed pixel buffers, file-backed reload through the
// PNG loader. Builds on core::MemoryManager and render::PNG_Loader.
#include "render/Image2D.h"
#include "core/Exceptions.h"
#include "core/MemoryManager.h"
#include "render/PNG_Loader.h"
#include <cstring>

namespace render {

namespace {
const int PALETTE_ENTRIES = 256;

// Buffer size in bytes, or -1 when it does not fit a pool request. Format 0:
// one byte per pixel (palette indices).
long long bufferBytes(int format, int width, int height) {
    if (width <= 0 || height <= 0) return 0;
    long long perPixel = format == 0 ? 1 : Image2D::bytesPerPixel(format);
    long long bytes = (long long)width * (long long)height * perPixel;
    return bytes > 0x7FFFFFF0LL ? -1 : bytes;
}
} // namespace

Image2D::Image2D(int format, int width, int height)
    : m_width(0), m_height(0), m_format(format), m_palette(nullptr), m_pixels(nullptr), m_mutable(true),
      m_indexed(false) {
    allocNewRawImage(format, width, height, nullptr);
}

Image2D::Image2D(int format, int width, int height, const unsigned char* pixels)
    : m_width(0), m_height(0), m_format(format), m_palette(nullptr), m_pixels(nullptr), m_mutable(false),
      m_indexed(false) {
    allocNewRawImage(format, width, height, pixels);
}

Image2D::Image2D(int format, int width, int height, const unsigned char* indices, const unsigned char* palette)
    : m_width(width), m_height(height), m_format(format), m_palette(nullptr), m_pixels(nullptr), m_mutable(false),
      m_indexed(true) {
    int count = getBufferSize();
    if (count > 0) {
        m_pixels = static_cast<unsigned char*>(core::memoryManager().hwMemAlloc(count, M3D_HERE));
        if (indices)
            std::memcpy(m_pixels, indices, (size_t)count);
        else
            std::memset(m_pixels, 0, (size_t)count);
    }
    int paletteBytes = PALETTE_ENTRIES * bytesPerPixel(format);
    if (palette && paletteBytes > 0) {
        m_palette = static_cast<unsigned char*>(core::memoryManager().hwMemAlloc(paletteBytes, M3D_HERE));
        std::memcpy(m_palette, palette, (size_t)paletteBytes);
    }
}

Image2D::Image2D(const core::String& path, int format, int width, int height)
    : m_path(path), m_width(width), m_height(height), m_format(format), m_palette(nullptr), m_pixels(nullptr),
      m_mutable(false), m_indexed(false) {}

Image2D::Image2D(const Image2D& o)
    : Object3D(o), m_path(o.m_path), m_width(o.m_width), m_height(o.m_height), m_format(o.m_format),
      m_palette(nullptr), m_pixels(nullptr), m_mutable(true), m_indexed(o.m_indexed) {
    int paletteBytes = PALETTE_ENTRIES * bytesPerPixel(o.m_format);
    if (o.m_palette && paletteBytes > 0) {
        m_palette = static_cast<unsigned char*>(core::memoryManager().hwMemAlloc(paletteBytes, M3D_HERE));
        std::memcpy(m_palette, o.m_palette, (size_t)paletteBytes);
    }
}

Image2D::~Image2D() {
    freePixels();
    if (m_palette) core::memoryManager().hwMemFree(m_palette, M3D_HERE);
}

int Image2D::bytesPerPixel(int format) {
    switch (format) {
    case ALPHA:
    case LUMINANCE:
        return 1;
    case LUMINANCE_ALPHA:
        return 2;
    case RGB:
        return 3;
    case RGBA:
        return 4;
    default:
        return 0;
    }
}

int Image2D::getBufferSize() const {
    long long bytes = bufferBytes(m_indexed ? 0 : m_format, m_width, m_height);
    if (bytes < 0) throw core::MemoryManagerException("UNKNOWN", "UNKNOWN", 0, "Image2D: image is too large");
    return (int)bytes;
}

void Image2D::freePixels() {
    if (m_pixels) {
        unsigned char* p = m_pixels;
        m_pixels = nullptr;
        core::memoryManager().hwMemFree(p, M3D_HERE);
    }
}

void Image2D::allocNewRawImage(int format, int width, int height, const unsigned char* source) {
    long long bytes = bufferBytes(format, width, height);
    if (bytes < 0) throw core::MemoryManagerException("UNKNOWN", "UNKNOWN", 0, "Image2D: image is too large");
    // Allocate before touching the old state, so a full pool leaves the image as it was.
    unsigned char* fresh = nullptr;
    if (bytes > 0) fresh = static_cast<unsigned char*>(core::memoryManager().hwMemAlloc((int)bytes, M3D_HERE));
    freePixels();
    m_format = format;
    m_width = width;
    m_height = height;
    m_pixels = fresh;
    m_indexed = false;
    if (!fresh) return;
    if (source) {
        int rowBytes = width * bytesPerPixel(format);
        for (int y = 0; y < height; ++y)
            std::memcpy(fresh + (size_t)y * rowBytes, source + (size_t)y * rowBytes, (size_t)rowBytes);
    } else {
        std::memset(fresh, 0, (size_t)bytes);
    }
}

void Image2D::freeAllocatadBufferIfRestorable() {
    if (!m_path.isEmpty() && m_pixels) freePixels();
}

unsigned char* Image2D::getPixels() {
    if (!m_pixels && !m_path.isEmpty()) {
        allocNewRawImage(m_format, m_width, m_height, nullptr);
        try {
            PNG_Loader::restore(this);
        } catch (...) {
            // No half-decoded pixels: the next request tries the file again.
            freePixels();
            throw;
        }
    }
    return m_pixels;
}

Object3D* Image2D::duplicate() const {
    Image2D* copy = M3D_NEW Image2D(*this);
    try {
        if (m_pixels) {
            // In memory already (for a file-backed image, the same bytes its file decodes to).
            int bytes = getBufferSize();
            copy->m_pixels = static_cast<unsigned char*>(core::memoryManager().hwMemAlloc(bytes, M3D_HERE));
            std::memcpy(copy->m_pixels, m_pixels, (size_t)bytes);
        } else if (!m_path.isEmpty()) {
            copy->getPixels();
        }
    } catch (...) {
        delete copy;
        throw;
    }
    return copy;
}

} // namespace render
