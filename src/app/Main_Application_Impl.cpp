#include "app/Main_Application_Impl.h"
#include "audio/Audio_System_Impl.h"
#include "core/DebugLog.h"
#include "core/Exceptions.h"
#include "core/FileArchive.h"
#include "core/FileSystem.h"
#include "hal/sdl/InputState.h"
#include "hal/sdl/Platform.h"
#include "render/Graphics3D.h"
#include "script/Lua_Library.h"

namespace {

// The application's sound: OpenAL output, or silence where no device opens.
Audio_System* createAudioSystem() { return M3D_NEW Audio_System_Impl(); }

// Makes the working directory the root of the engine's file system, so
// scripts and assets resolve relative to it.
void mountWorkingDirectory() {
    core::FileSystem::get()->addArchive(M3D_NEW core::FileArchive(core::String(""), false), core::String(""));
}

} // namespace

Main_Application_Impl::Main_Application_Impl(int width, int height)
    : m_screenWidth(width), m_screenHeight(height) {
    mountWorkingDirectory();
    m_audio = createAudioSystem();
    m_keyboard = HAL::Input::createInputHandle(HAL::Input::KEYBOARD);
    m_mouse = HAL::Input::createInputHandle(HAL::Input::MOUSE);
    restartScript();
}

Main_Application_Impl::~Main_Application_Impl() {
    m_watcher.release();
    delete m_audio;
    m_audio = nullptr;
    m_mouse.release();
    m_keyboard.release();
    closeState(getHolder());
}

void Main_Application_Impl::restartScript() {
    closeState(getHolder());
    createState(getHolder());
    runBootstrap(getHolder());
    m_scriptRunning = true;
}

void Main_Application_Impl::watchFolder(const core::String& folder) {
    m_watcher = M3D_NEW Script_Watcher(folder);
}

void Main_Application_Impl::registerFunctions() {
    registerLuaApplication(getHolder(), m_screenWidth, m_screenHeight, m_mouse.get());
}

bool Main_Application_Impl::update(float seconds) {
    try {
        if (HAL::isEscapeKeyDown()) return false;

        bool reloadDown = m_keyboard->getAxisState(KEY_RELOAD) > 0.0f;
        m_watchClockMs += (double)seconds * 1000.0;
        unsigned watchNow = (unsigned)(unsigned long long)m_watchClockMs;
        if (reloadDown && !m_reloadWasDown) {
            restartScript();
            if (m_watcher) m_watcher->rebase(watchNow);
        } else if (m_watcher && m_watcher->poll(watchNow)) {
            core::log(0x4, "Data changed: reloading the scripts\n");
            restartScript();
        }
        m_reloadWasDown = reloadDown;

        bool muteDown = m_keyboard->getAxisState(KEY_MUTE) > 0.0f;
        if (muteDown && !m_muteWasDown) m_audio->setMuted(!m_audio->isMuted());
        m_muteWasDown = muteDown;

        m_accumulator += seconds;
        int count = 0;
        while (m_updateStep <= m_accumulator) {
            ++count;
            m_accumulator -= m_updateStep;
            // A long frame runs at most three steps; the rest of its time is
            // dropped step by step so the script never has to catch up.
            if (count > 3) return true;
            m_audio->update(m_updateStep);
            if (m_scriptRunning) {
                bool keepRunning = false;
                if (!call(this, "global_update", "f>b", (double)m_updateStep, &keepRunning)) {
                    m_scriptRunning = false;
                } else if (!keepRunning) {
                    core::log(0x4, "Exit requested..\n");
                    return false;
                }
            }
        }
        return true;
    } catch (...) {
        core::log(0x4, "Caught an exception in update()!\n");
        return false;
    }
}

void Main_Application_Impl::render(render::Graphics3D* g) {
    try {
        if (m_scriptRunning && !call(this, "global_render", "")) m_scriptRunning = false;
        if (g) {
            if (!m_scriptRunning) {
                // The script is off: present an empty frame on the window.
                g->bindTarget(nullptr);
                g->clear(nullptr);
                g->releaseTarget();
            }
            g->setCamera(nullptr, slm::mat4());
            g->setShaderProgram(nullptr);
        }
    } catch (const Morva3DException& e) {
        core::log(0x4, "Exception in render():\nMsg: %s\n", e.getMessage());
    } catch (...) {
        core::log(0x4, "Caught an exception in render()!\n");
    }
}
