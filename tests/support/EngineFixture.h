// Test support: a running engine core (globals, debug log, memory pool) for
// the duration of a test, and a capture of what the log writes.
#pragma once
#include "core/DebugLog.h"
#include "core/EngineGlobals.h"
#include "core/MemoryManager.h"
#include <gtest/gtest.h>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace testsupport {

// Brings up the engine core; takes it down (and checks that the pool is
// undamaged) when destroyed. Only one may exist at a time.
class EngineCore {
public:
    explicit EngineCore(int poolSize = 10240000, unsigned levelMask = 0)
        : m_globals(new core::EngineGlobals()) {
        core::setEngineGlobals(m_globals);
        m_globals->log = new core::DebugLog();
        m_globals->log->setLevelMask(levelMask);
        MemoryManagerConfig mc;
        mc.poolSize = poolSize;
        m_globals->memoryManager = new MemoryManager(mc);
    }
    ~EngineCore() {
        EXPECT_TRUE(m_globals->memoryManager->validate()) << "pool damaged";
        delete m_globals->memoryManager;
        delete m_globals->log;
        core::setEngineGlobals(nullptr);
        delete m_globals;
    }
    MemoryManager& pool() { return *m_globals->memoryManager; }
    core::DebugLog& log() { return *m_globals->log; }
    core::EngineGlobals& globals() { return *m_globals; }

private:
    core::EngineGlobals* m_globals;
};

// Captures standard error (where the debug log writes) while alive.
class StderrCapture {
public:
    StderrCapture() : m_file(std::tmpfile()) {
        std::fflush(stderr);
        m_saved = dup(2);
        dup2(fileno(m_file), 2);
    }
    ~StderrCapture() { finish(); }
    // Everything written so far; stops capturing.
    std::string finish() {
        if (m_saved < 0) return m_text;
        std::fflush(stderr);
        dup2(m_saved, 2);
        close(m_saved);
        m_saved = -1;
        std::rewind(m_file);
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, m_file)) > 0;)
            m_text.append(buf, n);
        std::fclose(m_file);
        return m_text;
    }

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
