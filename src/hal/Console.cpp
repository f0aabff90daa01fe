#include "hal/Console.h"
#include <cstdio>

namespace HAL {

void writeDebugOutput(const char* text, int length) {
    if (!text || length <= 0) return;
    // Written straight from the caller's text in one call: no intermediate
    // buffer that a long line could overrun.
    std::fwrite(text, 1, (size_t)length, stderr);
}

bool createConsoleWindow() { return true; }

} // namespace HAL
