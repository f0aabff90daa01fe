#include "hal/MessageBox.h"
#include "core/DebugLog.h"

namespace HAL {
namespace {
MessageBoxHandler g_handler = nullptr;
}

void showMessageBox(const char* title, const char* body) {
    if (!title) title = "";
    if (!body) body = "";
    if (g_handler) {
        g_handler(title, body);
        return;
    }
    core::log(core::LOG_ERROR, "%s: %s\n", title, body);
}

MessageBoxHandler setMessageBoxHandler(MessageBoxHandler handler) {
    MessageBoxHandler old = g_handler;
    g_handler = handler;
    return old;
}

} // namespace HAL
