// core::FileStream over HAL::File.
#include "core/FileStream.h"
#include "core/Exceptions.h"
#include "core/IOException.h"
#include "hal/File.h"

namespace core {

FileStream::FileStream(const String& path, const String& mode) : m_name(path), m_position(0) {
    m_file = HAL::File::createFileHandle(path, mode);
    m_file->fopen();
}

FileStream::~FileStream() { close(); }

bool FileStream::isOpen() const { return m_file && m_file->isOpen(); }

void FileStream::fail(const char* message) { throw IOException(message, m_name); }

int FileStream::write(const void* buffer, int count) {
    if (!isOpen()) fail("FileStream::write: Stream is closed");
    if (count <= 0) return 0;
    m_file->fwrite(buffer, count);
    // The position follows the data, so available() stays right after writing.
    m_position += count;
    return count;
}

int FileStream::read(void* buffer, int count) {
    if (!isOpen()) fail("FileStream::read: Stream is closed");
    if (count <= 0) return count;
    int got = m_file->fread(buffer, count);
    if (got < count) {
        // Put the file back where the stream says it is.
        m_file->fsetpos(m_position);
        fail("FileStream::peek: Failed to read correct ammount from native file");
    }
    m_position += count;
    return count;
}

int FileStream::peek(void* buffer, int count) {
    if (!isOpen()) fail("FileStream::peek: Stream is closed");
    if (available() < count) fail("FileStream::peek: Too small file");
    if (count <= 0) return 0;
    int saved = m_file->fgetpos();
    int got = m_file->fread(buffer, count);
    m_file->fsetpos(saved);
    if (got < count) fail("FileStream::peek: Failed to read correct ammount from native file");
    return got;
}

int FileStream::setSeek(int position) {
    if (!isOpen()) fail("FileStream::setSeek: Stream is closed");
    m_file->fsetpos(position);
    m_position = position;
    return 0;
}

void FileStream::close() {
    if (isOpen()) {
        try {
            m_file->fclose();
        } catch (const HAL::HALException&) {
            // Logged by the platform file; closing never throws.
        }
    }
    m_position = 0;
}

int FileStream::getSeek() {
    if (!isOpen()) fail("FileStream::getSeek: Stream is closed");
    return m_file->fgetpos();
}

int FileStream::available() {
    if (!isOpen()) fail("FileStream::write: Stream is closed");
    return m_file->fsize() - m_position;
}

String FileStream::getName() { return m_name; }

} // namespace core
