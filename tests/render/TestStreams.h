// Test streams over std::vector bytes: a plain one, and one that can fail a
// read after a given number of bytes or trace each read at level 0x4.
#pragma once
#include "core/DebugLog.h"
#include "core/IOException.h"
#include "core/Stream.h"
#include "support/Text.h"
#include <algorithm>
#include <cstring>
#include <vector>

namespace teststreams {

inline std::vector<unsigned char> readFile(const std::string& path) {
    std::string bytes = testsupport::readFile(path);
    return std::vector<unsigned char>(bytes.begin(), bytes.end());
}

class BytesStream : public core::Stream {
public:
    explicit BytesStream(std::vector<unsigned char> bytes, const char* name = "")
        : m_bytes(std::move(bytes)), m_name(name) {}
    int write(const void*, int) override { throw core::IOException("BytesStream::write: read-only", m_name); }
    int read(void* buffer, int count) override {
        if (traceReads) core::log(0x4, "BytesStream: read %d\n", count);
        if (failAfter >= 0 && m_pos + count > failAfter)
            throw core::IOException("BytesStream::read: injected failure", m_name);
        int n = std::min(count, available());
        std::memcpy(buffer, m_bytes.data() + m_pos, (size_t)n);
        m_pos += n;
        return n;
    }
    int peek(void* buffer, int count) override {
        int n = std::min(count, available());
        std::memcpy(buffer, m_bytes.data() + m_pos, (size_t)n);
        return n;
    }
    int setSeek(int position) override {
        int old = m_pos;
        m_pos = position;
        return m_pos - old;
    }
    void close() override {}
    int getSeek() override { return m_pos; }
    int available() override { return (int)m_bytes.size() - m_pos; }
    core::String getName() override { return m_name; }

    int failAfter = -1; // a read past this many bytes throws
    bool traceReads = false;

private:
    std::vector<unsigned char> m_bytes;
    core::String m_name;
    int m_pos = 0;
};

} // namespace teststreams
