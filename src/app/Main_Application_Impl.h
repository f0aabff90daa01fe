// Main_Application_Impl: the application. It owns the script host (it is
// one), the audio system and the keyboard and mouse handles, and turns every
// frame into script calls: global_update(step) at a fixed 1/60 s step (at most
// three per frame) and global_render() once per frame. Escape quits, R reloads
// the scripts, M toggles mute (both on the press edge). With -watch a saved
// file under Data/ reloads the scripts too.
#pragma once
#include "app/App.h"
#include "core/Ref.h"
#include "hal/sdl/Input.h"
#include "app/Script_Watcher.h"
#include "script/Script_Instance.h"

class Audio_System;

class Main_Application_Impl : public Main_Application, public Script_Instance {
public:
    static const int KEY_RELOAD = 82; // 'R'
    static const int KEY_MUTE = 77;   // 'M'

    // Mounts the working directory as the file system's root, creates the
    // audio system and the input handles, and starts the script ("Bootstrap").
    Main_Application_Impl(int width, int height);
    ~Main_Application_Impl() override;

    // false ends the program: Escape held, a global_update that did not
    // return true, or an exception (logged).
    bool update(float seconds) override;
    void render(render::Graphics3D* g) override;
    void init(render::Graphics3D*) override {}

    // screen_width, screen_height and mouse_read.
    void registerFunctions() override;

    // Closes the Lua state, creates a new one and runs "Bootstrap"; the script runs again.
    void restartScript();

    // -watch: from now on a change to a file below `folder` reloads the
    // scripts as R does (see Script_Watcher). The watcher's clock is the
    // time given to update(), so a driven loop drives it too.
    void watchFolder(const core::String& folder);
    Script_Watcher* getWatcher() const { return m_watcher.get(); }

    bool isScriptRunning() const { return m_scriptRunning; }
    float getAccumulator() const { return m_accumulator; }
    Audio_System* getAudioSystem() const { return m_audio; }

private:
    int m_screenWidth;
    int m_screenHeight;
    float m_updateRate = 60.0f;
    float m_updateStep = 1.0f / 60.0f;
    float m_accumulator = 0.0f;
    Audio_System* m_audio = nullptr;
    core::Ref<HAL::Input> m_keyboard;
    core::Ref<HAL::Input> m_mouse;
    bool m_reloadWasDown = false;
    bool m_muteWasDown = false;
    bool m_scriptRunning = true;
    core::Ref<Script_Watcher> m_watcher;
    double m_watchClockMs = 0.0;
};
