// Framework: owns the display, the renderer and the application, and runs
// the frame loop. One instance, created by createFramework and deleted by the
// entry point; its constructor starts the engine and its destructor stops it.
//
// Time is kept in integer milliseconds. frameStep(-1) measures the elapsed
// time on the engine clock; frameStep(seconds >= 0) takes the given time
// instead, so the loop can be driven without a real clock.
#pragma once
#include "app/App.h"
#include "app/EngineConfig.h"
#include "core/Ref.h"

class Framework {
public:
    enum StepResult { STEP_UPDATED = 0, STEP_IDLE = 1, STEP_STOP = 2 };

    // Starts the engine (initEngineClasses) and opens the display when the
    // configured size is positive. A failure after the engine started stops it
    // again before the exception leaves.
    explicit Framework(const EngineConfig* config);
    ~Framework();
    Framework(const Framework&) = delete;
    Framework& operator=(const Framework&) = delete;

    // Runs frame steps, rendering after each one that updated, until one says stop.
    void gameLoop();
    // One pass: pump, events, time, update. 0 = updated (render now), 1 = nothing to do, 2 = stop.
    int frameStep(float seconds);
    // Handles and empties the display's event queue; answers the device-valid flag.
    bool processOSEvents();

    void setApplication(framework::App* app) { m_app = app; }
    framework::App* getApplication() const { return m_app.get(); }
    HAL::Display* getDisplay() const { return m_display.get(); }
    render::Graphics3D* getRenderer() const { return m_renderer.get(); }
    // Takes the renderer and makes it the engine's current one.
    void setRenderer(render::Graphics3D* renderer);
    const EngineConfig& getConfig() const { return m_config; }
    bool isQuitRequested() const { return m_quitRequested; }

    // Frame capture and frame limit (-capture=DIR, -frames=N). With a
    // directory every frame presented on the window is saved as
    // DIR/frame_NNNNN.png (from 00000) and each loop pass advances the
    // application by exactly one fixed step, whatever the clock says, so a
    // script renders the same frames on every machine. With a limit > 0 the
    // loop ends after that many presented frames. Call after the renderer is set.
    void setFrameCapture(const char* directory, int frameLimit);
    int getPresentedFrames() const { return m_presentedFrames; }
    // One pass of the captured loop: pump, events, one fixed step.
    int fixedFrameStep();
    bool isSleeping() const { return m_sleeping; }

private:
    EngineConfig m_config;
    unsigned m_fixedStepMs;
    unsigned m_minFrameMs;
    unsigned m_lastUpdate = 0;
    unsigned m_currentTime = 0;
    unsigned m_accumulated = 0;
    int m_sleepTime = 0;
    bool m_sleeping = false;
    bool m_quitRequested = false;
    bool m_skipNextFrame = false;
    core::Ref<framework::App> m_app;
    core::Ref<HAL::Display> m_display;
    // Without a renderer the application is never asked to render.
    core::Ref<render::Graphics3D> m_renderer;
    bool m_engineStarted = false;
    bool m_deviceValid = true;
    const char* m_captureDir = nullptr;
    int m_frameLimit = 0;
    int m_presentedFrames = 0;
    bool m_captureFailed = false;

    static void framePresented(render::Graphics3D* g, void* self);
};

// Applies the application's settings (command line, title, cursor, sleep
// time, console) to a copy of `config`, then builds the framework and the
// application. Engine exceptions leave after the framework was deleted again.
Framework* createFramework(const EngineConfig& config);

// The whole program: desktop size, tokens (argv[1...], at most 10), framework,
// loop, shut-down. Answers the exit code: 0 after a normal run, 1 when the
// framework failed on a memory-manager error, 2 after any other failure.
// `base` replaces the engine defaults (null: the defaults).
int runPelloran(int argc, char** argv, const EngineConfig* base = nullptr);
