// The debug log: one global sink with level bits, a mask and counters.
// Errors and warnings always pass, with their prefixes, and are counted;
// every other level passes only when its bits meet the mask (LogLevel). The level
// test comes before any formatting, so disabled trace levels cost one test.
// Lines go to the console writer (standard error) and, when set, to a stream.
#pragma once
#include "core/AssertionSites.h"
#include "core/Ref.h"
#include <cstdarg>

namespace core {
class Stream;

// Log levels: the bits a log line carries, tested against the log's mask.
// Errors and warnings always pass (with their prefixes, and counted); the
// others are trace channels that pass when the mask enables them. The values
// are fixed: configurations name channels by these bits.
enum LogLevel : unsigned {
    LOG_ERROR = 0x1,
    LOG_WARNING = 0x2,
    LOG_SCRIPT = 0x4,          // application, scripts and the file system
    LOG_STARTUP = 0x8,         // start-up and shut-down steps
    LOG_MEMORY = 0x10,         // the memory manager's start-up
    LOG_PLATFORM = 0x100,      // window, input, clock, message boxes
    LOG_FILES = 0x200,         // platform file operations
    LOG_RENDERER = 0x1000,     // renderer creation, textures, buffers
    LOG_SHADERS = 0x2000,      // shader compiling and linking
    LOG_FRAMEWORK = 0x10000,   // the frame loop
    LOG_DEBUG_CONTROL = 0x100000,
    LOG_POOL_ALLOCATE = 0x400000,
    LOG_POOL_FREE = 0x800000,
    LOG_POOL_MERGE = 0xE00000, // any of three bits: a merge is traced with allocation or freeing
    LOG_MEMORY_MONITOR = 0xF00000,
    LOG_ALWAYS = LOG_ERROR | LOG_WARNING
};

class DebugLog {
public:
    static const int BUFFER_SIZE = 2048;
    static const int MAX_MESSAGE = 2040;

    DebugLog();
    ~DebugLog();

    void log(unsigned level, const char* format, va_list args);
    bool enabled(unsigned level) const { return (level & LOG_ALWAYS) != 0 || (m_levelMask & level) != 0; }

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
// The same for one of the fixed reports of AssertionSites.h.
[[noreturn]] inline void assertFailure(const AssertionSite& site) {
    assertFailure(site.expression, site.message, site.source, site.line);
}

} // namespace core

#define M3D_ASSERT(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) ::core::assertFailure(#cond, #cond, __FILE__, __LINE__);                 \
    } while (0)
