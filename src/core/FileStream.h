// core::FileStream: a stream over one platform file (HAL::File).
//
// The file is opened by the constructor; a file that cannot be opened throws
// HAL::HALException out of it. Every other failure is a core::IOException
// naming the stream; after one the stream keeps its position. The position
// counts the bytes read or written since the last setSeek.
#pragma once
#include "core/Ref.h"
#include "core/Stream.h"
#include "core/String.h"

namespace HAL {
class File;
}

namespace core {

class FileStream : public Stream {
public:
    // mode is the C runtime's mode text ("rb", "wb").
    FileStream(const String& path, const String& mode);
    // Closes an open file.
    virtual ~FileStream();

    // Writes all count bytes (a failure throws HAL::HALException); answers count.
    virtual int write(const void* buffer, int count);
    // Reads exactly count bytes or throws (then the position is unchanged);
    // count <= 0 reads nothing and answers count.
    virtual int read(void* buffer, int count);
    // Copies count bytes without moving; fewer than count available throws.
    virtual int peek(void* buffer, int count);
    // Answers 0.
    virtual int setSeek(int position);
    // Never throws.
    virtual void close();
    virtual int getSeek();
    virtual int available();
    virtual String getName();

    void setName(const String& name) { m_name = name; }

private:
    bool isOpen() const;
    [[noreturn]] void fail(const char* message);

    String m_name;
    Ref<HAL::File> m_file;
    int m_position;
};

} // namespace core
