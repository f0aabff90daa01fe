// The console side of the platform layer: where debug text is shown.
// Standard error is the program's console; there is no window to create.
#pragma once

namespace HAL {
// Shows `length` bytes of debug text (Latin-1) on standard error. Any length;
// an empty text writes nothing.
void writeDebugOutput(const char* text, int length);
// Answers whether a console is available for the debug output (always: standard error).
bool createConsoleWindow();
} // namespace HAL
