// HeadlessCore: the engine core (globals, debug log, memory pool) for the
// programs that run engine code without the application: benchmarks and the
// asset generators under tools/. One per program; it must outlive every
// engine object the program makes, and it tears the file system down first
// because the file system's archives live in the pool.
#pragma once
#include "core/DebugLog.h"
#include "core/EngineGlobals.h"
#include "core/FileSystem.h"
#include "core/MemoryManager.h"

namespace tools {

class HeadlessCore {
public:
    explicit HeadlessCore(int poolSize = MemoryManagerConfig().poolSize, bool indexedFreeList = true) {
        core::setEngineGlobals(&m_globals);
        m_globals.log = new core::DebugLog();
        MemoryManagerConfig config;
        config.poolSize = poolSize;
        config.indexedFreeList = indexedFreeList;
        m_globals.memoryManager = new MemoryManager(config);
    }
    ~HeadlessCore() {
        core::FileSystem::destroy();
        delete m_globals.memoryManager;
        delete m_globals.log;
        core::setEngineGlobals(nullptr);
    }
    HeadlessCore(const HeadlessCore&) = delete;
    HeadlessCore& operator=(const HeadlessCore&) = delete;

    MemoryManager& pool() { return *m_globals.memoryManager; }

private:
    core::EngineGlobals m_globals;
};

} // namespace tools
