#include "app/Framework.h"
#include "app/CommandLine.h"
#include "app/EngineClasses.h"
#include "app/Main_Application_Impl.h"
#include "core/DebugLog.h"
#include "core/EngineGlobals.h"
#include "core/Exceptions.h"
#include "hal/File.h"
#include "hal/Time.h"
#include "hal/sdl/Display.h"
#include "hal/sdl/Platform.h"
#include "render/OGLES2_Graphics3D.h"
#include "render/PNG_Writer.h"
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
        setRenderer(nullptr);
        m_display.release();
        deInitEngineClasses();
    } catch (...) {
        std::printf("FATAL UNKNOWN DEINIT ERROR\n");
        std::fflush(stdout);
    }
}

void Framework::setRenderer(render::Graphics3D* renderer) {
    m_renderer = renderer;
    core::EngineGlobals* g = core::engineGlobals();
    if (g) g->graphics = renderer;
}

void Framework::gameLoop() {
    core::log(0x10000, "Framework: win32GameLoop started\n");
    try {
        for (;;) {
            int r = m_captureDir ? fixedFrameStep() : frameStep(-1.0f);
            if (r == STEP_UPDATED && m_app && m_renderer) m_app->render(m_renderer.get());
            if (r == STEP_STOP) break;
            if (m_frameLimit > 0 && m_presentedFrames >= m_frameLimit) break;
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

void Framework::setFrameCapture(const char* directory, int frameLimit) {
    m_captureDir = directory;
    m_frameLimit = frameLimit > 0 ? frameLimit : 0;
    if (m_renderer) m_renderer->setPresentListener(framePresented, this);
}

int Framework::fixedFrameStep() {
    if (!HAL::pumpMessages()) return STEP_STOP;
    if (!processOSEvents()) return STEP_IDLE;
    if (m_quitRequested) return STEP_STOP;
    if (!m_app) return STEP_UPDATED;
    // The application's step is 1/60 s as a float: this runs exactly one.
    return m_app->update(1.0f / 60.0f) ? STEP_UPDATED : STEP_STOP;
}

void Framework::framePresented(render::Graphics3D* g, void* self) {
    Framework* fw = static_cast<Framework*>(self);
    int frame = fw->m_presentedFrames++;
    if (!fw->m_captureDir || fw->m_captureFailed || !fw->m_display) return;
    int width = fw->m_display->getWidth(), height = fw->m_display->getHeight();
    core::Vector<unsigned char> pixels;
    pixels.resize(width * height * 4);
    try {
        if (!g->readPixels(width, height, pixels.data())) {
            core::log(0x1, "Frame capture: the frame could not be read\n");
            fw->m_captureFailed = true;
            return;
        }
        // A window has no transparency: the saved frame is opaque.
        for (int i = 3; i < pixels.size(); i += 4) pixels[i] = 255;
        core::String path;
        path.format("%s/frame_%05d.png", fw->m_captureDir, frame);
        render::writePNG(path, width, height, pixels.data(), true);
    } catch (const Morva3DException& e) {
        // One report; the program goes on without capturing.
        core::log(0x1, "Frame capture stopped: %s\n", e.getMessage());
        fw->m_captureFailed = true;
    }
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
            if (m_renderer) m_renderer->resetGraphics3D(0);
            if (m_app) m_app->sizeChanged(m_display->getWidth(), m_display->getHeight());
            break;
        case HAL::OSEVENT_DEVICE_LOST:
            core::log(0x10000, "Framework : lostDevice");
            // A non-zero argument keeps the buffer counters.
            if (m_renderer) m_renderer->releaseDeviceResources(e.arg1 != 0);
            if (m_app) m_app->lostDevice();
            m_deviceValid = false;
            break;
        case HAL::OSEVENT_DEVICE_RESET:
            core::log(0x10000, "Framework : resetDevice");
            if (m_renderer) {
                m_renderer->resetGraphics3D(1);
                m_renderer->restoreDeviceResources();
            }
            if (m_app) m_app->resetDevice(m_renderer.get());
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
    config.graphics.flags[render::GraphicsConfig::STATISTICS_OVERLAY] = 0;

    Framework* fw = new Framework(&config);
    try {
        if (fw->getDisplay()) {
            render::OGLES2_Graphics3D* g = new ("morva3DMain", __LINE__) render::OGLES2_Graphics3D();
            core::log(0x1000, "createGraphics3D : GRAPHICS3D_TYPE_OPENGL_ES_2_0\n");
            fw->setRenderer(g);
            g->setDisplay(fw->getDisplay());
            g->setConfig(config.graphics);
            g->resetGraphics3D(1);
            // Without a context every GL entry point is missing: stop here
            // rather than at the first draw.
            if (!fw->getDisplay()->getGLContext()) {
                core::log(0x1, "createGraphics3D failed: no OpenGL context\n");
                throw HAL::HALException("UNKNOWN", "UNKNOWN", 0, "HAL: can not create an OpenGL context");
            }
        }
        if (c.captureDir && !HAL::File::makeDirectory(core::String(c.captureDir))) {
            core::log(0x1, "Frame capture: can not create the directory %s\n", c.captureDir);
            throw HAL::HALException("UNKNOWN", "UNKNOWN", 0, "Frame capture: no capture directory");
        }
        if (c.captureDir || c.frames > 0) fw->setFrameCapture(c.captureDir, c.frames);
        Main_Application_Impl* app = M3D_NEW Main_Application_Impl(c.width, c.height);
        fw->setApplication(app);
        if (c.watch) app->watchFolder(core::String("Data"));
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
    int count = argc - 1 < 10 ? argc - 1 : 10;
    for (int i = 0; i < count; ++i) config.engine.tokens[i] = argv[i + 1];
    config.engine.tokenCount = count < 0 ? 0 : count;
    // -help answers before anything starts (no window, no video driver).
    if (framework::parseCommandLine(config.engine.tokens, config.engine.tokenCount).help) {
        std::fputs(framework::COMMAND_LINE_HELP, stdout);
        std::fflush(stdout);
        return 0;
    }
    int width = 0, height = 0;
    HAL::getDesktopSize(width, height);
    config.desktopWidth = (short)width;
    config.desktopHeight = (short)height;

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
