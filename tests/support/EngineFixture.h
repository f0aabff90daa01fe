// Test support: a running engine core (globals, debug log, memory pool) for
// the duration of a test, and a capture of what the log writes.
#pragma once
#include "core/DebugLog.h"
#include "core/EngineGlobals.h"
#include "core/MemoryManager.h"
#include <gtest/gtest.h>
#include <cstdio>
#include <string>

namespace testsupport {

// Brings up the engine core; takes it down (and checks that the pool is
// undamaged) when destroyed. Only one may exist at a time.
class EngineCore {
public:
    explicit EngineCore(int poolSize = 10240000, unsigned levelMask = 0);
    ~EngineCore();
    MemoryManager& pool() { return *m_globals->memoryManager; }
    core::DebugLog& log() { return *m_globals->log; }
    core::EngineGlobals& globals() { return *m_globals; }

private:
    core::EngineGlobals* m_globals;
};

// Captures standard error (where the debug log writes) while alive.
class StderrCapture {
public:
    StderrCapture();
    ~StderrCapture();
    // Everything written so far; stops capturing.
    std::string finish();

private:
    std::FILE* m_file;
    int m_saved = -1;
    std::string m_text;
};

// A gtest fixture with an engine core up.
class CoreTest : public ::testing::Test {
protected:
    EngineCore core;
};

} // namespace testsupport
