// render::PNG_Loader on libpng 1.6.
//
// libpng reports errors by longjmp. Every step that calls into libpng runs in
// a small function that holds no C++ object with a destructor (its state is
// the plain PngReader record), returns false after a longjmp, and leaves the
// C++ side (strings, exceptions, the pool) to its caller. The read callback
// catches whatever the stream throws before it raises the libpng error, so no
// C++ exception ever crosses libpng's C frames.
#include "render/PNG_Loader.h"
#include "core/DebugLog.h"
#include "core/FileSystem.h"
#include "core/Stream.h"
#include "render/Image2D.h"
#include "render/Loader.h"
#include <png.h>
#include <csetjmp>
#include <cstring>

namespace render {

namespace {

const int SIGNATURE_BYTES = 8;
const int MESSAGE_SIZE = 512;

// The state one decode shares with the libpng callbacks. Plain data only.
struct PngReader {
    core::Stream* stream;
    const char* name; // for warnings; owned by the PngSession
    png_structp png;
    png_infop info;
    png_uint_32 width;
    png_uint_32 height;
    int bitDepth;
    int colorType;
    int channels;
    size_t rowBytes;
    char message[MESSAGE_SIZE];
};

void setMessage(PngReader* r, const char* text) {
    std::strncpy(r->message, text ? text : "", MESSAGE_SIZE - 1);
    r->message[MESSAGE_SIZE - 1] = 0;
}

void onPngError(png_structp png, png_const_charp text) {
    setMessage(static_cast<PngReader*>(png_get_error_ptr(png)), text);
    png_longjmp(png, 1);
}

// libpng 1.6 warns about things older decoders took silently (colour-profile
// chunks, for one); the image is still good, so the load goes on.
void onPngWarning(png_structp png, png_const_charp text) {
    PngReader* r = static_cast<PngReader*>(png_get_error_ptr(png));
    try {
        core::log(core::LOG_WARNING, "PNG_Loader: warning in \"%s\": %s\n", r->name, text ? text : "");
    } catch (...) {
    }
}

void onPngRead(png_structp png, png_bytep data, size_t length) {
    PngReader* r = static_cast<PngReader*>(png_get_io_ptr(png));
    int got = -1;
    try {
        got = r->stream->read(data, (int)length);
    } catch (...) {
        // The stream's own exception has logged itself; libpng gets the short read.
        got = -1;
    }
    if (got < 0 || (size_t)got != length) png_error(png, "Could not read enought stream data");
}

// Creates the libpng structures, reads the header and sets the transformations.
bool beginRead(PngReader* r) {
    r->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, r, onPngError, onPngWarning);
    if (!r->png) {
        setMessage(r, "Couldn't create PNG read struct.");
        return false;
    }
    r->info = png_create_info_struct(r->png);
    if (!r->info) {
        setMessage(r, "Couldn't create info struct");
        return false;
    }
    if (setjmp(png_jmpbuf(r->png))) return false;
    png_set_read_fn(r->png, r, onPngRead);
    png_set_sig_bytes(r->png, SIGNATURE_BYTES);
    png_read_info(r->png, r->info);
    if (!png_get_IHDR(r->png, r->info, &r->width, &r->height, &r->bitDepth, &r->colorType, nullptr, nullptr,
                      nullptr)) {
        setMessage(r, "Couldn't get IHDR.");
        return false;
    }
    // No alpha channel in the file: a transparency chunk does not add one.
    if (!(r->colorType & PNG_COLOR_MASK_ALPHA)) png_set_strip_alpha(r->png);
    if (r->bitDepth > 8) png_set_strip_16(r->png);
    if (r->colorType == PNG_COLOR_TYPE_GRAY || r->colorType == PNG_COLOR_TYPE_GRAY_ALPHA ||
        r->colorType == PNG_COLOR_TYPE_PALETTE)
        png_set_expand(r->png);
    // Grey becomes RGB(A), so that every image is 3 or 4 bytes a pixel.
    if (r->colorType == PNG_COLOR_TYPE_GRAY || r->colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(r->png);
    png_set_interlace_handling(r->png);
    png_read_update_info(r->png, r->info);
    r->channels = png_get_channels(r->png, r->info);
    r->rowBytes = png_get_rowbytes(r->png, r->info);
    return true;
}

// Decodes every row (all interlace passes) and checks the rest of the file.
bool readRows(PngReader* r, png_bytepp rows) {
    if (setjmp(png_jmpbuf(r->png))) return false;
    png_read_image(r->png, rows);
    png_read_end(r->png, r->info);
    return true;
}

// One decode: owns the libpng structures, turns failures into parse errors.
class PngSession {
public:
    PngSession(core::Stream* stream, const core::String& name) : m_name(name) {
        std::memset(&m_reader, 0, sizeof m_reader);
        m_reader.stream = stream;
        m_reader.name = m_name.c_str();
    }
    ~PngSession() {
        if (m_reader.png) png_destroy_read_struct(&m_reader.png, m_reader.info ? &m_reader.info : nullptr, nullptr);
    }
    PngSession(const PngSession&) = delete;
    PngSession& operator=(const PngSession&) = delete;

    // The signature, the header and the transformations.
    void begin() {
        unsigned char signature[SIGNATURE_BYTES];
        if (m_reader.stream->available() < SIGNATURE_BYTES ||
            m_reader.stream->read(signature, SIGNATURE_BYTES) < SIGNATURE_BYTES)
            Loader::parseError("Too small file!");
        if (png_sig_cmp(signature, 0, SIGNATURE_BYTES) != 0) Loader::parseError("Unsupported file format\n");
        if (!beginRead(&m_reader)) Loader::parseError(m_reader.message);
        if (m_reader.channels != 3 && m_reader.channels != 4)
            Loader::parseError("PNG_Loader: unsupported pixel layout after the transformations");
        if ((unsigned long long)m_reader.rowBytes * m_reader.height > 0x7FFFFFF0ULL ||
            m_reader.rowBytes != (size_t)m_reader.width * (size_t)m_reader.channels)
            Loader::parseError("PNG_Loader: image is too large");
    }

    int format() const { return m_reader.channels == 3 ? Image2D::RGB : Image2D::RGBA; }
    int width() const { return (int)m_reader.width; }
    int height() const { return (int)m_reader.height; }

    // Decodes into `pixels`: height rows of width x channels bytes, top row first.
    void readInto(unsigned char* pixels) {
        core::Vector<unsigned char*> rows;
        rows.resize(height());
        for (int i = 0; i < height(); ++i) rows[i] = pixels + (size_t)i * m_reader.rowBytes;
        if (!readRows(&m_reader, rows.data())) Loader::parseError(m_reader.message);
    }

private:
    PngReader m_reader;
    core::String m_name;
};

} // namespace

PNG_Loader::PNG_Loader(core::Vector<core::Ref<Object3D>>* result, const core::String& streamName)
    : m_result(result), m_name(streamName) {}

PNG_Loader::~PNG_Loader() {}

void PNG_Loader::load(core::Stream* stream) {
    PngSession png(stream, m_name);
    png.begin();
    core::Ref<Image2D> image = M3D_NEW Image2D(png.format(), png.width(), png.height());
    png.readInto(image->getLoadedPixels());
    m_result->append(core::Ref<Object3D>(image.get()));
}

void PNG_Loader::load(const core::String& name) {
    core::Ref<core::Stream> stream = core::FileSystem::get()->openFile(name, 0);
    core::StreamCloser closer(stream.get());
    PngSession png(stream.get(), name);
    png.begin();
    core::Ref<Image2D> image = M3D_NEW Image2D(name, png.format(), png.width(), png.height());
    m_result->append(core::Ref<Object3D>(image.get()));
}

void PNG_Loader::restore(Image2D* image) {
    const core::String& name = image->getPath();
    core::Ref<core::Stream> stream = core::FileSystem::get()->openFile(name, 0);
    core::StreamCloser closer(stream.get());
    PngSession png(stream.get(), name);
    png.begin();
    // The buffer was sized from the header read at load time; a file that has
    // changed since must not be decoded into it.
    if (png.width() != image->getWidth() || png.height() != image->getHeight() || png.format() != image->getFormat()) {
        core::String text;
        text.format("PNG_Loader: \"%s\" has changed since it was loaded (%d x %d, format %d; now %d x %d, format %d)",
                    name.c_str(), image->getWidth(), image->getHeight(), image->getFormat(), png.width(),
                    png.height(), png.format());
        Loader::parseError(text.c_str());
    }
    if (!image->getLoadedPixels()) Loader::parseError("PNG_Loader: the image has no pixel buffer to restore into");
    png.readInto(image->getLoadedPixels());
}

} // namespace render
