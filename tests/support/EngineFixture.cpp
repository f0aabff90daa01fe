#include "support/EngineFixture.h"
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
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

StderrCapture::StderrCapture() : m_saved(-1), m_fd(-1), m_done(false) {
    char tmpl[] = "/tmp/pelloran-stderr-XXXXXX";
    m_fd = mkstemp(tmpl);
    m_path = tmpl;
    std::fflush(stderr);
    m_saved = dup(2);
    dup2(m_fd, 2);
}

StderrCapture::~StderrCapture() { finish(); }

std::string StderrCapture::finish() {
    if (m_done) return m_text;
    m_done = true;
    std::fflush(stderr);
    dup2(m_saved, 2);
    close(m_saved);
    lseek(m_fd, 0, SEEK_SET);
    char buf[4096];
    ssize_t n;
    while ((n = read(m_fd, buf, sizeof buf)) > 0) m_text.append(buf, (size_t)n);
    close(m_fd);
    unlink(m_path.c_str());
    return m_text;
}

} // namespace testsupport
