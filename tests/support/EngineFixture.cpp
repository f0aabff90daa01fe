#include "support/EngineFixture.h"
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace testsupport {

EngineCore::EngineCore(int poolSize, unsigned levelMask) : m_globals(new core::EngineGlobals()) {
    core::setEngineGlobals(m_globals);
    m_globals->log = new core::DebugLog();
    m_globals->log->setLevelMask(levelMask);
    MemoryManagerConfig mc;
    mc.poolSize = poolSize;
    m_globals->memoryManager = new MemoryManager(mc);
}

EngineCore::~EngineCore() {
    EXPECT_TRUE(m_globals->memoryManager->validate()) << "pool damaged";
    delete m_globals->memoryManager;
    delete m_globals->log;
    core::setEngineGlobals(nullptr);
    delete m_globals;
}

StderrCapture::StderrCapture() : m_file(std::tmpfile()) {
    std::fflush(stderr);
    m_saved = dup(2);
    if (m_file) dup2(fileno(m_file), 2);
}

StderrCapture::~StderrCapture() {
    finish();
}

std::string StderrCapture::finish() {
    if (m_saved < 0) return m_text;
    std::fflush(stderr);
    dup2(m_saved, 2);
    close(m_saved);
    m_saved = -1;
    if (!m_file) return m_text;
    std::rewind(m_file);
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, m_file)) > 0;)
        m_text.append(buf, n);
    std::fclose(m_file);
    return m_text;
}

} // namespace testsupport
