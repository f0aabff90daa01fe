// The debug log: one global sink with level bits, a mask and counters.
// Errors (0x1) and warnings (0x2) always pass, with their prefixes, and are
// counted; every other level passes only when its bits meet the mask. The level
// test comes before any formatting, so disabled trace levels cost one test.
// Lines go to the console writer (standard error) and, when set, to a stream.
#pragma once
#include "core/Ref.h"
#include <cstdarg>

namespace core {
class Stream;

class DebugLog {
public:
    static const int BUFFER_SIZE = 2048;
    static const int MAX_MESSAGE = 2040;

    DebugLog();
    ~DebugLog();

    void log(unsigned level, const char* format, va_list args);
    bool enabled(unsigned level) const { return (level & 0x3u) != 0 || (m_levelMask & level) != 0; }

    // Releases the output stream and switches the echo on (used at shutdown).
    void setOutputFile();
    // Sets the second sink; lines written through it are logged with mask 0, so
    // the stream's own logging shows only errors and warnings.
    void setOutputStream(Stream* s);

    unsigned getLevelMask() const { return m_levelMask; }
    void setLevelMask(unsigned mask) { m_levelMask = mask; }
    int getErrorCount() const { return m_errorCount; }
    int getWarningCount() const { return m_warningCount; }
    int getMessageCount() const { return m_messageCount; }
    void setEcho(bool on) { m_echo = on; }
    bool getEcho() const { return m_echo; }

private:
    void write(const char* text, int length);

    Ref<Stream> m_output;
    int m_errorCount;
    int m_warningCount;
    int m_messageCount;
    unsigned m_levelMask;
    char m_buffer[BUFFER_SIZE];
    bool m_echo;
    int m_writing; // > 0 while the output stream is written (it may log)
};

// Logs through the running engine's log. Without a running engine, errors and
// warnings still reach standard error; everything else is dropped.
void log(unsigned level, const char* format, ...) __attribute__((format(printf, 2, 3)));
bool logEnabled(unsigned level);

// The assertion reporter: logs "ASSERT FAILURE!", the expression, message, file
// and line as five error lines, then throws Assert_Exception.
// `file` may be a full path; only its last component is reported.
[[noreturn]] void assertFailure(const char* expression, const char* message, const char* file, int line);

} // namespace core

#define M3D_ASSERT(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) ::core::assertFailure(#cond, #cond, __FILE__, __LINE__);                 \
    } while (0)
