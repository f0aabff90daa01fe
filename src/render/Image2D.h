// render::Image2D: pixels in CPU memory (pool), tightly packed rows, top row
// first, unsigned byte components.
//
// An image made in memory owns its pixels for its whole life. An image made by
// the PNG loader from a named file (a "file-backed" image) remembers the name:
// its pixels are decoded on first use, and may be dropped after a texture
// upload (freeAllocatadBufferIfRestorable) and decoded again when needed.
#pragma once
#include "core/String.h"
#include "render/Object3D.h"

namespace render {

class Image2D : public Object3D {
public:
    // The image formats of the object model.
    enum Format { ALPHA = 96, LUMINANCE = 97, LUMINANCE_ALPHA = 98, RGB = 99, RGBA = 100 };

    // A mutable image with a zeroed buffer of width x height pixels.
    Image2D(int format, int width, int height);
    // An immutable image holding a copy of width x height pixels (null: zeroed).
    Image2D(int format, int width, int height, const unsigned char* pixels);
    // An immutable palettised image: width x height index bytes and 256 palette
    // entries of the format's size, both copied.
    Image2D(int format, int width, int height, const unsigned char* indices, const unsigned char* palette);
    // A file-backed image: no pixels until they are asked for, then decoded from
    // `path` through the file system. Made by the PNG loader.
    Image2D(const core::String& path, int format, int width, int height);
    virtual ~Image2D();

    // Bytes one pixel takes in the buffer, as GL reads the format: 1 for ALPHA
    // and LUMINANCE, 2 for LUMINANCE_ALPHA, 3 for RGB, 4 for RGBA, 0 for an
    // unknown format.
    static int bytesPerPixel(int format);

    // Replaces format and size, frees the old buffer and allocates
    // width x height x bytesPerPixel bytes (zeroed), copying `source` (the same
    // tightly packed layout) when given. A size that does not fit the pool's
    // 32-bit request throws core::MemoryManagerException.
    void allocNewRawImage(int format, int width, int height, const unsigned char* source);
    // Drops the pixels when they can be decoded again (file-backed image with
    // a buffer); images made in memory keep theirs.
    void freeAllocatadBufferIfRestorable();

    // The pixel buffer. A file-backed image without one allocates it and decodes
    // its file first; a failed decode leaves the image without pixels and
    // throws the loader's core::IOException. Null for an empty image.
    unsigned char* getPixels();
    // The buffer as it is now, without decoding (null when dropped).
    unsigned char* getLoadedPixels() const { return m_pixels; }
    bool hasPixels() const { return m_pixels != nullptr; }
    // 256 entries of bytesPerPixel(format) bytes, or null.
    const unsigned char* getPalette() const { return m_palette; }

    const core::String& getPath() const { return m_path; }
    bool isRestorable() const { return !m_path.isEmpty(); }
    int getFormat() const { return m_format; }
    int getWidth() const { return m_width; }
    int getHeight() const { return m_height; }
    bool isMutable() const { return m_mutable; }
    // Bytes of the pixel buffer for the current format and size (one byte per
    // pixel for a palettised image).
    int getBufferSize() const;
    bool isPalettised() const { return m_indexed; }

    // A mutable copy with the same path, size, format and palette and a buffer
    // of its own: decoded from the file when the image has a path, otherwise a
    // copy of this image's pixels.
    Object3D* duplicate() const override;

private:
    Image2D(const Image2D& o);
    Image2D& operator=(const Image2D&);
    void freePixels();

    core::String m_path;
    int m_width;
    int m_height;
    int m_format;
    unsigned char* m_palette;
    unsigned char* m_pixels;
    bool m_mutable;
    bool m_indexed; // the buffer holds one palette index per pixel
};

} // namespace render
