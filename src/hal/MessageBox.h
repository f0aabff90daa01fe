// Modal notices for the user (an OK box with a title and a body text).
// The C-runtime half of the platform layer cannot open windows, so it only
// keeps the current handler: by default a notice is written to the debug log
// as an error; the SDL half installs a real message box at start-up
// (HAL::installSdlMessageBox), and tests install a recorder.
#pragma once

namespace HAL {

typedef void (*MessageBoxHandler)(const char* title, const char* body);

// Shows a notice through the current handler and returns when the user has
// dismissed it. Null texts are shown as empty texts.
void showMessageBox(const char* title, const char* body);

// Replaces the handler; null restores the default (log as an error). Returns
// the previous handler (null when the default was active).
MessageBoxHandler setMessageBoxHandler(MessageBoxHandler handler);

} // namespace HAL
