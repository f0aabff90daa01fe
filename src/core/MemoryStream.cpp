// core::MemoryStream over owned or borrowed bytes.
#include "core/MemoryStream.h"
#include "core/IOException.h"
#include <cstring>

namespace core {

MemoryStream::MemoryStream(const void* bytes, int size, bool inPlace)
    : m_position(0), m_reserved(0), m_mode(READ_ONLY), m_remaining(0), m_bytes(nullptr) {
    if (size < 0 || !bytes) size = 0;
    if (inPlace) {
        m_bytes = static_cast<const unsigned char*>(bytes);
    } else {
        m_owned = new ("core::MemoryStream::MemoryStream", 10) Vector<unsigned char>();
        m_owned->resize(size);
        if (size > 0) std::memcpy(m_owned->data(), bytes, (size_t)size);
        m_bytes = m_owned->data();
    }
    m_remaining = size;
}

MemoryStream::MemoryStream()
    : m_position(0), m_reserved(0), m_mode(WRITE), m_remaining(0), m_bytes(nullptr) {
    m_owned = new ("core::MemoryStream::MemoryStream", 10) Vector<unsigned char>();
}

void MemoryStream::fail(const char* message) { throw IOException(message, m_name); }

void MemoryStream::checkReadable() {
    if (m_mode == WRITE) fail("MemoryStream::read: Opened stream is opened in write mode");
    if (m_mode == CLOSED) fail("MemoryStream::read: Stream is closed");
}

const unsigned char* MemoryStream::data() const {
    if (m_mode == CLOSED) return nullptr;
    if (m_mode == WRITE) return m_owned->data();
    return m_bytes;
}

int MemoryStream::size() const {
    if (m_mode == CLOSED) return 0;
    if (m_mode == WRITE) return m_owned->size();
    return m_position + m_remaining;
}

int MemoryStream::write(const void* buffer, int count) {
    if (m_mode == READ_ONLY) fail("MemoryStream::write: Opened stream is read-only");
    if (m_mode == CLOSED) fail("MemoryStream::write: Stream is closed");
    if (count <= 0 || !buffer) return 0;
    long long end = (long long)m_position + count;
    if (end > 0x7FFFFFFFLL) fail("MemoryStream::write: Stream is too large");
    if (end > m_owned->size()) m_owned->resize((int)end);
    std::memcpy(m_owned->data() + m_position, buffer, (size_t)count);
    m_position = (int)end;
    return count;
}

int MemoryStream::read(void* buffer, int count) {
    checkReadable();
    int left = available();
    if (count > left) count = left;
    if (count <= 0) return 0;
    std::memcpy(buffer, m_bytes + m_position, (size_t)count);
    m_position += count;
    m_remaining -= count;
    return count;
}

int MemoryStream::peek(void* buffer, int count) {
    checkReadable();
    if (available() < count) fail("MemoryStream::read: Too small buffer");
    if (count <= 0) return 0;
    std::memcpy(buffer, m_bytes + m_position, (size_t)count);
    return count;
}

int MemoryStream::setSeek(int position) {
    // Clamped, so that no later read can copy from outside the data.
    int total = size();
    if (position < 0) position = 0;
    if (position > total) position = total;
    int old = m_position;
    m_position = position;
    m_remaining = total - position;
    return position - old;
}

void MemoryStream::close() {
    m_mode = CLOSED;
    m_owned.release();
    m_bytes = nullptr;
    m_position = 0;
    m_remaining = 0;
}

int MemoryStream::getSeek() { return m_position; }

int MemoryStream::available() {
    if (m_mode == WRITE) fail("MemoryStream::read: Opened stream is opened in write mode");
    if (m_bytes) return m_remaining;
    return m_owned ? m_owned->size() - m_position : 0;
}

String MemoryStream::getName() { return m_name; }

} // namespace core
