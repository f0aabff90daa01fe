// HAL::Display: the engine's drawing surface — one window with an OpenGL
// context, its size and colour depth, its full-screen state, and the queue of
// platform events the framework drains once per frame.
//
// The renderer creates, binds, presents and deletes its GL context only
// through the context operations below, so no code outside hal/ touches SDL.
// Every live display is in the engine globals' display list.
#pragma once
#include "core/Object.h"
#include "core/Vector.h"

namespace HAL {

// The display parameters of the engine configuration, handed unchanged to the display.
struct DisplayConfig {
    void* windowHandle = nullptr; // an external window to draw into; null = create one
    void* deviceContext = nullptr;
    int x = 0;
    int y = 0;
    int width = -1;
    int height = -1;
    unsigned char colorDepth = 32; // bits; also the depth-buffer size asked for
    const char* title = "Morva3D application";
    int windowed = 1;              // 1 = window, 0 = full screen
    bool cursorVisible = true;
};

enum OSEventType {
    OSEVENT_SUSPEND = 1,
    OSEVENT_RESUME = 2,
    OSEVENT_MOVED = 3,
    OSEVENT_RESIZED = 4,
    OSEVENT_DEVICE_LOST = 5,
    OSEVENT_DEVICE_RESET = 6,
    OSEVENT_QUIT = 7,
    OSEVENT_SKIP_FRAME = 8,
};

struct OSEvent {
    int type;
    int arg1;
    int arg2;
};

class Display : public core::Object {
public:
    // Opens the platform's display for `config` (null: the engine defaults),
    // allocated from the pool; the caller takes the first reference. Failures
    // throw HAL::HALException (see SDLDisplay).
    static Display* createDisplayHandle(const DisplayConfig* config);

    virtual ~Display();

    // Switches the screen mode; the base display has no screen to switch.
    virtual void setFullscreen(bool on, int bits);

    // GL context operations used by the renderer. createGLContext makes the
    // context and binds it; false when the platform cannot make one.
    virtual bool createGLContext() = 0;
    virtual bool makeCurrent() = 0;
    virtual void swapBuffers() = 0;
    virtual void deleteGLContext() = 0;
    // Resolves the GL entry points (HAL::loadGLEntryPoints) for the bound context.
    virtual void loadGLFunctions() = 0;

    const DisplayConfig& getConfig() const { return m_config; }
    int getWidth() const { return m_config.width; }
    int getHeight() const { return m_config.height; }
    int getColorDepth() const { return m_config.colorDepth; }
    void* getGLContext() const { return m_glContext; }
    core::Vector<OSEvent>& getEvents() { return m_events; }
    void postEvent(int type, int arg1, int arg2);

protected:
    // Copies the configuration and joins the display list.
    explicit Display(const DisplayConfig& config);

    DisplayConfig m_config;
    void* m_glDeviceContext = nullptr;
    void* m_glWindow = nullptr;
    void* m_glContext = nullptr;
    core::Vector<OSEvent> m_events;
};

// The engine's list of live displays (null while no engine runs): every
// display enters it when made and leaves it when destroyed.
core::Vector<Display*>* displayList();

} // namespace HAL
