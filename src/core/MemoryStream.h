// core::MemoryStream: a stream over bytes in memory.
//
// Read forms: a copy of the caller's bytes (owned by the stream), or the
// caller's bytes used in place (they must outlive the stream; the M3G loader
// hands its decompressed buffers over this way). A stream made with the
// default constructor is in write mode: it collects what is written in its
// own buffer (data()/size()), and cannot be read.
// Modes: 0 read-only, 1 write, 2 closed. Failures are core::IOException.
#pragma once
#include "core/Ref.h"
#include "core/Stream.h"
#include "core/String.h"
#include "core/Vector.h"

namespace core {

class MemoryStream : public Stream {
public:
    enum Mode { READ_ONLY = 0, WRITE = 1, CLOSED = 2 };

    // A read-only stream over size bytes: copied when inPlace is false.
    MemoryStream(const void* bytes, int size, bool inPlace);
    // An empty stream in write mode.
    MemoryStream();
    virtual ~MemoryStream() {}

    // Write mode only: stores count bytes at the position (the data grows as
    // needed) and advances.
    virtual int write(const void* buffer, int count);
    // Copies up to count bytes (fewer at the end) and advances.
    virtual int read(void* buffer, int count);
    // Copies exactly count bytes without moving; fewer available throws.
    virtual int peek(void* buffer, int count);
    // Moves to position, clamped to 0 ... size; answers the change of position.
    virtual int setSeek(int position);
    // Releases the owned data; every later read or write throws.
    virtual void close();
    virtual int getSeek();
    virtual int available();
    virtual String getName();

    int getMode() const { return m_mode; }
    // The bytes of the stream (read or write mode); null once closed.
    const unsigned char* data() const;
    // Total bytes in the stream.
    int size() const;

private:
    void checkReadable();
    [[noreturn]] void fail(const char* message);

    Ref<Vector<unsigned char>> m_owned;
    String m_name;
    int m_position;
    int m_reserved;
    int m_mode;
    int m_remaining;
    const unsigned char* m_bytes;
};

} // namespace core
