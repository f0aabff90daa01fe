#include "hal/sdl/Display.h"
#include "core/EngineGlobals.h"

namespace HAL {

core::Vector<Display*>* displayList() {
    core::EngineGlobals* g = core::engineGlobals();
    return g ? static_cast<core::Vector<Display*>*>(g->displays) : nullptr;
}

Display::Display(const DisplayConfig& config) : m_config(config) {
    if (core::Vector<Display*>* list = displayList()) list->append(this);
}

Display::~Display() {
    // Leave the display list: the first matching entry goes, later ones move down.
    if (core::Vector<Display*>* displays = displayList()) {
        core::Vector<Display*>& list = *displays;
        for (int i = 0; i < list.size(); ++i) {
            if (list[i] == this) {
                for (int j = i + 1; j < list.size(); ++j) list[j - 1] = list[j];
                list.resize(list.size() - 1);
                break;
            }
        }
    }
}

void Display::setFullscreen(bool, int) {}

void Display::postEvent(int type, int arg1, int arg2) {
    OSEvent e = {type, arg1, arg2};
    m_events.append(e);
}

} // namespace HAL
