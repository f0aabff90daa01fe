// The engine pieces a renderer benchmark stands on: engine globals with a
// silent log and a 64 MiB pool, a 64 x 64 GL display and the GL renderer,
// reset and bound to the window. Left running until the process ends.
#pragma once
#include "../tests/support/GLTestDisplay.h"
#include "core/DebugLog.h"
#include "core/EngineGlobals.h"
#include "core/MemoryManager.h"
#include "render/OGLES2_Graphics3D.h"
#include <memory>

struct GLBench {
    core::EngineGlobals* globals = nullptr;
    std::unique_ptr<testsupport::GLTestDisplay> display;
    core::Ref<render::OGLES2_Graphics3D> g;

    GLBench() {
        globals = new core::EngineGlobals();
        core::setEngineGlobals(globals);
        globals->log = new core::DebugLog();
        globals->log->setLevelMask(0);
        MemoryManagerConfig mc;
        mc.poolSize = 64 * 1024 * 1024;
        globals->memoryManager = new MemoryManager(mc);
        display.reset(new testsupport::GLTestDisplay(64, 64));
        g = M3D_NEW render::OGLES2_Graphics3D();
        globals->graphics = g.get();
        g->setDisplay(display.get());
        g->resetGraphics3D(1);
        g->bindTarget(nullptr);
    }
};
