// render::M3G_Loader: file framing (identifier, sections, zlib, object
// chunks), the index table, object references and external references. The
// class parsers are in M3G_LoaderParsers.cpp.
#include "render/M3G_Loader.h"
#include "core/DebugLog.h"
#include "core/Exceptions.h"
#include "core/FileSystem.h"
#include "core/IOException.h"
#include "core/MemoryManager.h"
#include "core/MemoryStream.h"
#include "core/Stream.h"
#include "render/Loader.h"
#include <zlib.h>

namespace render {

const M3G_Loader::ParseOperation M3G_Loader::PARSERS[23] = {
    nullptr,
    &M3G_Loader::parseAnimationController,
    &M3G_Loader::parseAnimationTrack,
    &M3G_Loader::parseAppearance,
    &M3G_Loader::parseBackground,
    &M3G_Loader::parseCamera,
    &M3G_Loader::parseCompositingMode,
    &M3G_Loader::parseFog,
    &M3G_Loader::parsePolygonMode,
    &M3G_Loader::parseGroup,
    &M3G_Loader::parseImage2D,
    &M3G_Loader::parseTriangleStripArray,
    &M3G_Loader::parseLight,
    &M3G_Loader::parseMaterial,
    &M3G_Loader::parseMesh,
    &M3G_Loader::parseMorphingMesh,
    &M3G_Loader::parseSkinnedMesh,
    &M3G_Loader::parseTexture2D,
    &M3G_Loader::parseSprite3D,
    &M3G_Loader::parseKeyframeSequence,
    &M3G_Loader::parseVertexArray,
    &M3G_Loader::parseVertexBuffer,
    &M3G_Loader::parseWorld,
};

namespace {

const unsigned int SECTION_OVERHEAD = 13; // compression, two lengths, checksum
// Deflate cannot expand by more than about 1032 : 1, so a larger declared
// size is a lie that must not reach the pool.
const unsigned long long MAX_INFLATE_RATIO = 1032;
// External files referring to further files: deeper than this is a loop
// whose paths are spelled differently each time.
const int MAX_REFERENCE_DEPTH = 16;

// The files being loaded right now, outermost first (single-threaded engine).
core::String g_loading[MAX_REFERENCE_DEPTH];
int g_loadingDepth = 0;

// Marks the file as being loaded for the lifetime of the scope.
class LoadingFile {
public:
    explicit LoadingFile(const core::String& name) {
        if (g_loadingDepth >= MAX_REFERENCE_DEPTH) {
            core::String text;
            text.format("External references nest deeper than %d files at \"%s\".", MAX_REFERENCE_DEPTH,
                        name.c_str());
            M3G_Loader::parseError(text.c_str());
        }
        g_loading[g_loadingDepth++] = name;
    }
    ~LoadingFile() { g_loading[--g_loadingDepth] = core::String(); }
};

bool isBeingLoaded(const core::String& name) {
    for (int i = 0; i < g_loadingDepth; ++i)
        if (g_loading[i] == name) return true;
    return false;
}

// Raised for a reference loop: unlike other failures of a referenced file it
// fails the referring file too.
class ReferenceLoop : public core::IOException {
public:
    explicit ReferenceLoop(const char* message) : core::IOException(message, core::String()) {}
};

// A pool buffer released when the scope ends.
class PoolBuffer {
public:
    explicit PoolBuffer(unsigned int size)
        : m_data(size ? static_cast<unsigned char*>(core::memoryManager().hwMemAlloc(
                            (int)size, "render::M3G_Loader::getSectionObjectStream", __LINE__))
                      : nullptr) {}
    ~PoolBuffer() {
        if (m_data) core::memoryManager().hwMemFree(m_data, M3D_HERE);
    }
    unsigned char* data() { return m_data; }

private:
    unsigned char* m_data;
};

} // namespace

void M3G_Loader::parseError(const char* text) {
    core::log(core::LOG_ERROR, "Parse error: \"%s\"\n", text);
    throw core::IOException(text, core::String());
}

void M3G_Loader::parseWarning(const char* text) { core::log(core::LOG_WARNING, "Parse warning: \"%s\"\n", text); }

Object3D* M3G_Loader::ExternalReference::duplicate() const {
    ExternalReference* copy = M3D_NEW ExternalReference(m_path, m_context);
    copy->m_objects = m_objects;
    return copy;
}

void M3G_Loader::ExternalReference::resolve() {
    if (isBeingLoaded(m_path)) {
        core::String text;
        text.format("External reference \"%s\" refers back to a file that is being loaded.", m_path.c_str());
        core::log(core::LOG_ERROR, "Parse error: \"%s\"\n", text.c_str());
        throw ReferenceLoop(text.c_str());
    }
    core::String warning;
    if (core::FileSystem::get() && core::FileSystem::get()->exists(m_path, 0)) {
        try {
            core::Vector<core::Ref<Object3D>> loaded;
            Loader::load(m_path, m_context, loaded);
            m_objects = loaded;
            return;
        } catch (const ReferenceLoop&) {
            throw;
        } catch (const core::MemoryManagerException&) {
            throw;
        } catch (const Morva3DException& e) {
            warning.format("External reference \"%s\" could not be loaded: %s", m_path.c_str(), e.getMessage());
        }
    } else {
        warning.format("External reference \"%s\" could not be loaded: no such file", m_path.c_str());
    }
    parseWarning(warning.c_str());
}

M3G_Loader::M3G_Loader(void* context) : m_context(context) {}

M3G_Loader::~M3G_Loader() {}

void M3G_Loader::load(core::Stream* stream, core::Vector<core::Ref<Object3D>>& out) {
    core::String name = stream->getName();
    LoadingFile loading(name);
    // The folder of the file, last slash included: external references are relative to it.
    int slash = -1;
    for (int i = 0; i < name.length(); ++i)
        if (name.charAt(i) == '/') slash = i;
    m_basePath = slash >= 0 ? name.substring(0, slash) : core::String();

    m_objects.clear();
    m_referenced.clear();
    m_objects.append(core::Ref<Object3D>());
    m_referenced.append(0);
    core::Vector<core::Ref<Object3D>> roots;
    try {
        unsigned char identifier[12];
        if (stream->available() < 12 || stream->read(identifier, 12) != 12) parseError("Too small file!");
        readHeaderSection(stream, (unsigned int)stream->available() + 12u);
        while (stream->available() > 0) {
            core::Ref<core::DataIO> file = M3D_NEW core::DataIO(stream, (unsigned int)stream->available());
            unsigned int length = 0;
            if (openSection(*file, length)) readObjects();
            file->readUInt32(); // checksum, not verified
        }
        for (int i = 1; i < m_objects.size(); ++i) {
            Object3D* o = m_objects[i].get();
            if (!o || m_referenced[i]) continue;
            ExternalReference* ext = dynamic_cast<ExternalReference*>(o);
            if (!ext) {
                roots.append(m_objects[i]);
                continue;
            }
            for (int k = 0; k < ext->getObjects().size(); ++k) roots.append(ext->getObjects()[k]);
        }
    } catch (...) {
        // Release everything made so far before the failure leaves.
        m_io.release();
        m_sectionData.release();
        m_objects.clear();
        m_referenced.clear();
        throw;
    }
    m_io.release();
    m_objects.clear();
    m_referenced.clear();
    for (int i = 0; i < roots.size(); ++i) out.append(roots[i]);
}

void M3G_Loader::readHeaderSection(core::Stream* stream, unsigned int fileSize) {
    core::Ref<core::DataIO> file = M3D_NEW core::DataIO(stream, (unsigned int)stream->available());
    unsigned char compression = file->readByte();
    unsigned int total = file->readUInt32();
    unsigned int uncompressed = file->readUInt32();
    if (compression != 0) parseError("First section must be uncompressed.");
    if ((unsigned long long)total != (unsigned long long)uncompressed + SECTION_OVERHEAD)
        parseError("Section length error in section header for uncompressed data.");
    if (total - SECTION_OVERHEAD > file->getCount())
        parseError("Small section.");
    core::Ref<core::DataIO> objects = M3D_NEW core::DataIO(stream, uncompressed);
    if (objects->readByte() != HEADER) parseError("First object is not header object.");
    unsigned int length = objects->readUInt32();
    if ((unsigned long long)length + 18 != total) parseError("First object size mismatch.");
    core::M3GHeader header;
    objects->readHeader(header);
    if (header.versionMajor != 1 || header.versionMinor != 0) parseError("Unsupported m3g version.");
    if (uncompressed != (unsigned int)header.authoringField.length() + 17u)
        parseError("Size of header object not correct in first section.");
    if (!header.hasExternalReferences && header.approximateContentSize != header.totalFileSize)
        parseWarning("approximateContentSize different than totalFileSize when has no external references.");
    if (header.totalFileSize != fileSize) parseError("TotalFileSize did not matched or small data buf len.");
    file->setCount(file->getCount() - uncompressed);
    file->readUInt32(); // checksum, not verified
    m_objects.append(core::Ref<Object3D>()); // the header's entry holds no object
    m_referenced.append(0);
    if (header.hasExternalReferences) readExternalReferences(stream);
}

bool M3G_Loader::openSection(core::DataIO& file, unsigned int& dataLength) {
    unsigned char compression = file.readByte();
    unsigned int total = file.readUInt32();
    unsigned int uncompressed = file.readUInt32();
    // The budget now excludes the 9 header bytes; the checksum must still fit.
    if (total < SECTION_OVERHEAD || (unsigned long long)total > (unsigned long long)file.getCount() + 9)
        parseError("Small section.");
    dataLength = total - SECTION_OVERHEAD;
    if (compression == 0) {
        if ((unsigned long long)total != (unsigned long long)uncompressed + SECTION_OVERHEAD)
            parseError("Section length error in section header for uncompressed data.");
        m_io = M3D_NEW core::DataIO(file.getStream(), dataLength);
        file.setCount(file.getCount() - dataLength);
        return true;
    }
    if (compression != 1) {
        // Unknown schemes carry nothing the loader can read: skip the data.
        unsigned char scratch[256];
        for (unsigned int left = dataLength; left > 0;) {
            unsigned int n = left < sizeof scratch ? left : (unsigned int)sizeof scratch;
            if (file.getStream()->read(scratch, (int)n) != (int)n)
                parseError("Failed to read enought data from the stream");
            left -= n;
        }
        file.setCount(file.getCount() - dataLength);
        return false;
    }
    if ((unsigned long long)uncompressed > (unsigned long long)dataLength * MAX_INFLATE_RATIO + 64)
        parseError("Too big \"uncompressed length\" field in m3g section header. ");
    PoolBuffer packed(dataLength);
    if (dataLength && file.getStream()->read(packed.data(), (int)dataLength) != (int)dataLength)
        parseError("Failed to read enought data from the stream");
    file.setCount(file.getCount() - dataLength);
    if (uncompressed == 0) return false; // an empty section: nothing to inflate
    core::Ref<core::Vector<unsigned char>> inflated = M3D_NEW core::Vector<unsigned char>();
    inflated->resize((int)uncompressed);
    uLongf size = uncompressed;
    int z = uncompress(inflated->data(), &size, packed.data(), dataLength);
    if (z == Z_MEM_ERROR) parseError("ZLib decompression failed: \"There was not enough memory\"");
    if (z == Z_BUF_ERROR) parseError("Too small \"uncompressed length\" field in m3g section header. ");
    if (z != Z_OK) parseError("ZLib decompression failed: \"The input data was corrupted\"");
    if (size != uncompressed) parseError("Too big \"uncompressed length\" field in m3g section header. ");
    core::Ref<core::MemoryStream> memory = M3D_NEW core::MemoryStream(inflated->data(), (int)uncompressed, true);
    m_sectionData = inflated; // the memory stream reads it in place
    m_io = M3D_NEW core::DataIO(memory.get(), uncompressed);
    return true;
}

void M3G_Loader::readObjects() {
    while (io().getCount() > 0) {
        unsigned int type = io().readByte();
        unsigned int length = io().readUInt32();
        if (type < 1 || type > 22) parseError("Object type is not valid in object chunk.");
        if (length > io().getCount()) parseError("Object size too big.");
        // The parser sees only its own object's bytes, so a broken object
        // cannot read into the next one.
        unsigned int rest = io().getCount() - length;
        io().setCount(length);
        core::Ref<Object3D> object;
        try {
            (this->*PARSERS[type])(object);
        } catch (const core::IOException&) {
            throw;
        } catch (const core::MemoryManagerException&) {
            throw;
        } catch (const Morva3DException& e) {
            // A value a class setter refused: a fault of the file like any other.
            parseError(e.getMessage());
        }
        if (io().getCount() != 0) parseError("Object size mismatch.");
        io().setCount(rest);
        m_objects.append(object);
        m_referenced.append(0);
    }
}

void M3G_Loader::readExternalReferences(core::Stream* stream) {
    core::Ref<core::DataIO> file = M3D_NEW core::DataIO(stream, (unsigned int)stream->available());
    unsigned int length = 0;
    if (openSection(*file, length)) {
        while (io().getCount() > 0) {
            unsigned int type = io().readByte();
            unsigned int size = io().readUInt32();
            if (type != EXTERNAL_REFERENCE)
                parseError("Object type is not \"external reference\" in the object chunk of external references "
                           "section.");
            if (size > io().getCount()) parseError("\"External reference\" object size too big.");
            unsigned int rest = io().getCount() - size;
            io().setCount(size);
            core::log(core::LOG_SCRIPT, "\n  Loading external reference");
            core::String uri = io().readString();
            core::log(core::LOG_SCRIPT, " \"%s\"", uri.c_str());
            core::log(core::LOG_SCRIPT, " Relative to path: \"%s\"", m_basePath.c_str());
            core::String path = m_basePath;
            path += uri;
            core::Ref<ExternalReference> ext = M3D_NEW ExternalReference(path, m_context);
            ext->resolve();
            m_objects.append(ext.get());
            m_referenced.append(0);
            core::log(core::LOG_SCRIPT, "  Done!\n");
            if (io().getCount() != 0) parseError("\"External reference\" object size mismatch.");
            io().setCount(rest);
        }
    }
    file->readUInt32(); // checksum, not verified
}

Object3D* M3G_Loader::entry(unsigned int index) {
    if (index >= (unsigned int)m_objects.size()) parseError("Reference to unloaded object detected.");
    Object3D* o = m_objects[(int)index].get();
    if (!o) parseError("Reference to unloaded object detected. Reference is nil.");
    return o;
}

bool M3G_Loader::isMissingExternal(unsigned int index) {
    if (index == 0 || index >= (unsigned int)m_objects.size()) return false;
    ExternalReference* ext = dynamic_cast<ExternalReference*>(m_objects[(int)index].get());
    return ext && !ext->isResolved();
}

} // namespace render
