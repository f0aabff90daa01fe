// core::FileArchive over platform files.
#include "core/FileArchive.h"
#include "core/FileStream.h"
#include "core/IOException.h"
#include "hal/File.h"

namespace core {

FileArchive::FileArchive(const String& rootPath, bool writable) : m_rootPath(rootPath), m_writable(writable) {}

Ref<Stream> FileArchive::openFile(const String& name, int openFlags) {
    const char* mode;
    if (openFlags == OPEN_READ) {
        mode = "rb";
    } else if (openFlags == OPEN_WRITE) {
        mode = "wb";
    } else {
        throw IOException("FileArchive::openFile: Unsupported openFlags", m_rootPath);
    }
    FileStream* stream = new ("core::FileArchive::openFile", 48) FileStream(m_rootPath + name, String(mode));
    Ref<Stream> result(stream);
    stream->setName(name);
    return result;
}

bool FileArchive::exists(const String& name, int openFlags) {
    if (openFlags == OPEN_READ) {
        try {
            Ref<HAL::File> file = HAL::File::createFileHandle(m_rootPath + name, String("rb"));
            file->fopen();
            return true;
        } catch (...) {
            // A probe answers; whatever stopped the open means "no".
            return false;
        }
    }
    if (openFlags == OPEN_WRITE) {
        // Asked without opening: opening for writing would truncate the file.
        return m_writable && HAL::File::canOpenForWriting(m_rootPath + name);
    }
    throw IOException("FileArchive::exists: Unsupported openFlags", m_rootPath);
}

String FileArchive::getName() { return m_rootPath; }

} // namespace core
