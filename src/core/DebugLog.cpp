#include "core/DebugLog.h"
#include "core/EngineGlobals.h"
#include "core/Exceptions.h"
#include "core/Stream.h"
#include "hal/Console.h"
#include <cstdio>
#include <cstring>

namespace core {

DebugLog::DebugLog()
    : m_errorCount(0), m_warningCount(0), m_messageCount(1), m_levelMask(0), m_echo(true), m_writing(0) {
    m_buffer[0] = 0;
}

DebugLog::~DebugLog() {}

void DebugLog::write(const char* text, int length) {
    if (m_echo) HAL::writeDebugOutput(text, length);
    // Lines the stream itself logs while writing go to the echo only: feeding
    // them back into the stream could recurse without end.
    if (m_output && m_writing == 0) {
        // Whatever the stream logs while writing shows only errors and warnings.
        unsigned saved = m_levelMask;
        m_levelMask = 0;
        ++m_writing;
        try {
            m_output->write(text, length);
        } catch (...) {
            --m_writing;
            m_levelMask = saved;
            throw;
        }
        --m_writing;
        m_levelMask = saved;
    }
}

void DebugLog::log(unsigned level, const char* format, va_list args) {
    if (!enabled(level)) return;
    if (level & LOG_ERROR) {
        write(" ERROR  |", 9);
        ++m_errorCount;
    } else if (level & LOG_WARNING) {
        write("WARNING |", 9);
        ++m_warningCount;
    }
    va_list measure;
    va_copy(measure, args);
    int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    // A message logged by the output stream while it writes this log's buffer
    // is formatted on the side, so the line being written stays intact.
    char nested[BUFFER_SIZE];
    char* buffer = m_writing > 0 ? nested : m_buffer;
    if (length >= 0 && length <= MAX_MESSAGE) {
        std::vsnprintf(buffer, BUFFER_SIZE, format, args);
    } else {
        std::strcpy(buffer, "<too long debug string>\n");
    }
    write(buffer, (int)std::strlen(buffer));
    ++m_messageCount;
}

void DebugLog::setOutputFile() {
    const char* msg = "Debug: setOutputFile: debug disabled\n";
    if (enabled(0x100000)) {
        write(msg, (int)std::strlen(msg));
        ++m_messageCount;
    }
    m_output.release();
    m_echo = true;
}

void DebugLog::setOutputStream(Stream* s) { m_output = s; }

void log(unsigned level, const char* format, ...) {
    EngineGlobals* g = engineGlobals();
    va_list args;
    va_start(args, format);
    if (g && g->log) {
        g->log->log(level, format, args);
    } else if (level & LOG_ALWAYS) {
        char buf[DebugLog::BUFFER_SIZE];
        const char* prefix = (level & LOG_ERROR) ? " ERROR  |" : "WARNING |";
        HAL::writeDebugOutput(prefix, 9);
        int n = std::vsnprintf(buf, sizeof buf, format, args);
        if (n > 0) HAL::writeDebugOutput(buf, n < (int)sizeof buf ? n : (int)sizeof buf - 1);
    }
    va_end(args);
}

bool logEnabled(unsigned level) {
    EngineGlobals* g = engineGlobals();
    if (g && g->log) return g->log->enabled(level);
    return (level & LOG_ALWAYS) != 0;
}

void assertFailure(const char* expression, const char* message, const char* file, int line) {
    const char* base = file ? std::strrchr(file, '/') : nullptr;
    base = base ? base + 1 : (file ? file : "");
    log(LOG_ERROR, "ASSERT FAILURE!\n");
    log(LOG_ERROR, "Expr: %s\n", expression);
    log(LOG_ERROR, "Msg: %s\n", message);
    log(LOG_ERROR, "File: %s\n", base);
    log(LOG_ERROR, "Line: %d\n", line);
    throw Assert_Exception(message);
}

} // namespace core
