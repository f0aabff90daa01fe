#include "app/Framework.h"
#include "app/CommandLine.h"
#include "app/EngineClasses.h"
#include "app/Main_Application_Impl.h"
#include "core/DebugLog.h"
#include "core/Exceptions.h"
#include "hal/Time.h"
#include "hal/sdl/Display.h"
#include "hal/sdl/Platform.h"
#include <cstdio>
#include <exception>

Framework::Framework(const EngineConfig* config)
    : m_config(*config),
      m_fixedStepMs((unsigned)(config->engine.fixedUpdateStep * 1000.0f + 0.5f)),
      m_minFrameMs((unsigned)(config->engine.minimumFrameTime * 1000.0f + 0.5f)) {
    try {
        initEngineClasses(&m_config);
    } catch (const Morva3DException& e) {
        std::printf("INIT ERROR : %s FILE : %s LINE : %d\n", e.getMessage(), e.getFile(), e.getLine());
        std::fflush(stdout);
        deInitEngineClasses();
        throw;
    } catch (...) {
        std::printf("FATAL UNKNOWN INIT ERROR\n");
        std::fflush(stdout);
        deInitEngineClasses();
        throw;
    }
    try {
        if (m_config.display.width > 0 && m_config.display.height > 0) {
            m_display = HAL::Display::createDisplayHandle(&m_config.display);
            m_display->getEvents().resize(0);
        }
    } catch (...) {
        m_display.release();
        deInitEngineClasses();
        throw;
    }
    m_lastUpdate = HAL::getTimeMs();
    m_sleepTime = m_config.engine.sleepTimeMs;
    m_engineStarted = true;
}

Framework::~Framework() {
    if (!m_engineStarted) return;
    try {
        m_app.release();
        m_display.release();
        deInitEngineClasses();
    } catch (...) {
        std::printf("FATAL UNKNOWN DEINIT ERROR\n");
        std::fflush(stdout);
    }
}

void Framework::gameLoop() {
    core::log(0x10000, "Framework: win32GameLoop started\n");
    try {
        for (;;) {
            int r = frameStep(-1.0f);
            if (r == STEP_UPDATED && m_app && m_renderer) m_app->render(m_renderer);
            if (r == STEP_STOP) break;
        }
    } catch (const core::MemoryManagerException& e) {
        core::log(0x1, "Memory manager error (%s)\n", e.getMessage());
        throw;
    }
    core::log(0x10000, "Framework: stopped\n");
}

int Framework::frameStep(float seconds) {
    if (!HAL::pumpMessages()) return STEP_STOP;
    if (!processOSEvents()) return STEP_IDLE;
    if (!m_app) {
        m_accumulated = 0;
        return STEP_UPDATED;
    }
    unsigned now;
    if (seconds < 0.0f) {
        now = HAL::getTimeMs();
    } else {
        now = m_lastUpdate + (unsigned)(seconds * 1000.0f + 0.5f);
    }
    m_currentTime = now;
    m_accumulated = now - m_lastUpdate;
    if (m_accumulated == 0) return STEP_IDLE;
    if (m_minFrameMs != 0 && m_accumulated < m_minFrameMs) return STEP_IDLE;
    m_lastUpdate = now;
    if (m_skipNextFrame) {
        // The time spent while the loop was blocked is dropped.
        m_skipNextFrame = false;
        return STEP_IDLE;
    }
    if (m_sleeping && m_sleepTime != 0) {
        core::log(0x100, "HAL::sleep %d ms\n", m_sleepTime);
        HAL::sleep(m_sleepTime);
        return HAL::pumpMessages() ? STEP_IDLE : STEP_STOP;
    }
    if (m_quitRequested) return STEP_STOP;
    if (m_fixedStepMs != 0 && m_accumulated > m_fixedStepMs) {
        do {
            if (HAL::pumpMessages() && !m_app->update((float)m_fixedStepMs * 0.001f)) return STEP_STOP;
            m_accumulated -= m_fixedStepMs;
        } while (m_accumulated > m_fixedStepMs);
        if (m_accumulated <= 10) {
            m_accumulated = 0;
            return STEP_UPDATED;
        }
    }
    if (!m_app->update((float)m_accumulated * 0.001f)) return STEP_STOP;
    m_accumulated = 0;
    return STEP_UPDATED;
}

bool Framework::processOSEvents() {
    if (!m_display) return m_deviceValid;
    core::Vector<HAL::OSEvent>& events = m_display->getEvents();
    for (int i = 0; i < events.size(); ++i) {
        const HAL::OSEvent e = events[i];
        switch (e.type) {
        case HAL::OSEVENT_SUSPEND:
            if (m_sleepTime != 0) {
                core::log(0x10000, "* sleep mode activated (sleep time = %d ms) *\n", m_sleepTime);
                m_sleeping = true;
            }
            if (m_app) m_app->setActive(false);
            break;
        case HAL::OSEVENT_RESUME:
            if (m_sleepTime != 0) {
                if (m_sleeping) {
                    core::log(0x10000, "* sleep mode deactivated *\n");
                    unsigned now = HAL::getTimeMs();
                    m_currentTime = now;
                    m_accumulated = now - m_lastUpdate;
                    m_lastUpdate = now;
                }
                m_sleeping = false;
                if (m_app) m_app->setActive(true);
            }
            break;
        case HAL::OSEVENT_RESIZED:
            core::log(0x10000, "* windows size changed");
            // The renderer resets its viewport here (resetGraphics3D(0)) once it is built in.
            if (m_app) m_app->sizeChanged(m_display->getWidth(), m_display->getHeight());
            break;
        case HAL::OSEVENT_DEVICE_LOST:
            core::log(0x10000, "Framework : lostDevice");
            if (m_app) m_app->lostDevice();
            m_deviceValid = false;
            break;
        case HAL::OSEVENT_DEVICE_RESET:
            core::log(0x10000, "Framework : resetDevice");
            if (m_app) m_app->resetDevice(m_renderer);
            m_deviceValid = true;
            break;
        case HAL::OSEVENT_QUIT: m_quitRequested = true; break;
        case HAL::OSEVENT_SKIP_FRAME: m_skipNextFrame = true; break;
        default: break; // moves and unknown types change nothing
        }
    }
    if (events.size() > 0) events.resize(0);
    return m_deviceValid;
}

Framework* createFramework(const EngineConfig& input) {
    EngineConfig config = input;
    framework::CommandLine c = framework::parseCommandLine(config.engine.tokens, config.engine.tokenCount);
    config.display.width = c.width;
    config.display.height = c.height;
    config.display.title = "Pelloran";
    config.display.cursorVisible = false;
    config.display.windowed = c.windowed ? 1 : 0;
    config.engine.sleepTimeMs = 0;
    config.engine.consoleWindowWanted = c.console;

    Framework* fw = new Framework(&config);
    try {
        // The renderer is created here (before the application) once it is built in.
        fw->setApplication(M3D_NEW Main_Application_Impl(c.width, c.height));
        framework::App* app = fw->getApplication();
        if (fw->getRenderer() && !app->initialized) {
            app->init(fw->getRenderer());
            app->initialized = true;
        }
    } catch (...) {
        delete fw;
        throw;
    }
    return fw;
}

int runPelloran(int argc, char** argv, const EngineConfig* base) {
    EngineConfig config;
    if (base) config = *base;
    int width = 0, height = 0;
    HAL::getDesktopSize(width, height);
    config.desktopWidth = (short)width;
    config.desktopHeight = (short)height;
    int count = argc - 1 < 10 ? argc - 1 : 10;
    for (int i = 0; i < count; ++i) config.engine.tokens[i] = argv[i + 1];
    config.engine.tokenCount = count < 0 ? 0 : count;

    Framework* fw = nullptr;
    int rc = 0;
    try {
        fw = createFramework(config);
    } catch (const core::MemoryManagerException& e) {
        core::log(0x1, "createFramework failed : Memory manager error (%s)\n", e.getMessage());
        HAL::shutdownPlatform();
        return 1;
    } catch (const Morva3DException& e) {
        core::log(0x1, "createFramework failed : %s\n", e.getMessage());
        HAL::shutdownPlatform();
        return 2;
    } catch (...) {
        core::log(0x1, "createFramework failed\n");
        HAL::shutdownPlatform();
        return 2;
    }
    try {
        fw->gameLoop();
    } catch (const Morva3DException& e) {
        core::log(0x1, "Frame loop stopped by an exception: %s\n", e.getMessage());
        rc = 2;
    } catch (...) {
        core::log(0x1, "Frame loop stopped by an exception\n");
        rc = 2;
    }
    delete fw;
    HAL::shutdownPlatform();
    return rc;
}
