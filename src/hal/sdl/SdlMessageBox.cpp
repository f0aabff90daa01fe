#include "hal/sdl/SdlMessageBox.h"
#include "core/DebugLog.h"
#include "hal/MessageBox.h"
#include <SDL.h>

namespace HAL {
namespace {
void showSdlMessageBox(const char* title, const char* body) {
    // Without a display (headless runs) SDL cannot show the box; the notice
    // must not vanish, so it goes to the log instead.
    if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, title, body, nullptr) != 0) {
        core::log(core::LOG_ERROR, "%s: %s\n", title, body);
    }
}
} // namespace

void installSdlMessageBox() { setMessageBoxHandler(showSdlMessageBox); }

} // namespace HAL
