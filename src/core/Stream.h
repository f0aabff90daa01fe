// core::Stream: the engine's abstract byte stream. Every file the engine reads
// or writes goes through one (file streams, memory streams).
// Failures are core::IOException naming the stream.
#pragma once
#include "core/Object.h"
#include "core/String.h"

namespace core {

class Stream : public Object {
public:
    virtual ~Stream() {}
    // Bytes written.
    virtual int write(const void* buffer, int count) = 0;
    // Bytes read; the position advances by that many.
    virtual int read(void* buffer, int count) = 0;
    // Bytes copied; the position does not move.
    virtual int peek(void* buffer, int count) = 0;
    // Moves to position. Memory streams answer the change of position; file streams 0.
    virtual int setSeek(int position) = 0;
    virtual void close() = 0;
    virtual int getSeek() = 0;
    // Bytes from the position to the end.
    virtual int available() = 0;
    virtual String getName() = 0;
};

// Closes a stream when the scope ends, however it ends; a failing close is
// already logged by the stream and is not thrown from here.
class StreamCloser {
public:
    explicit StreamCloser(Stream* s) : m_stream(s) {}
    ~StreamCloser() {
        try {
            if (m_stream) m_stream->close();
        } catch (...) {
        }
    }
    StreamCloser(const StreamCloser&) = delete;
    StreamCloser& operator=(const StreamCloser&) = delete;

private:
    Stream* m_stream;
};

} // namespace core
