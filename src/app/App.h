// framework::App: the application interface the framework drives. update runs
// once per frame step (false stops the loop), render after every step that
// updated; the rest react to platform events and default to nothing.
#pragma once
#include "core/Object.h"

namespace render {
class Graphics3D;
}

namespace framework {

class App : public core::Object {
public:
    virtual ~App() {}
    virtual bool update(float seconds) = 0;
    virtual void render(render::Graphics3D* g) = 0;
    // Once, when both the application and the renderer exist.
    virtual void init(render::Graphics3D* g) = 0;
    virtual void lostDevice() {}
    virtual void resetDevice(render::Graphics3D*) {}
    virtual void setActive(bool) {}
    virtual void sizeChanged(int, int) {}

    bool initialized = false;
};

} // namespace framework

// The application's interface; Main_Application_Impl implements it.
class Main_Application : public framework::App {};
