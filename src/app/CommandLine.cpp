#include "app/CommandLine.h"
#include <cstdlib>
#include <cstring>

namespace framework {

const char* const COMMAND_LINE_HELP =
    "Usage: pelloran [WIDTH [HEIGHT]] [switches]\n"
    "  WIDTH HEIGHT    window or screen size in pixels (default 1024 768)\n"
    "  -windowed       run in a window\n"
    "  -fullscreen     run full screen (the default; the last of the two wins)\n"
    "  -console        show the log: start-up lines and script print output\n"
    "  -capture=DIR    save every frame as DIR/frame_NNNNN.png, scripts step 1/60 s per frame\n"
    "  -frames=N       end after N frames\n"
    "  -watch          reload the scripts when a file under Data/ changes\n"
    "  -help, --help   print these switches and exit\n";

CommandLine parseCommandLine(const char* const* tokens, int count) {
    CommandLine c;
    int numbers = 0;
    if (count > 10) count = 10;
    for (int i = 0; i < count; ++i) {
        const char* t = tokens[i];
        if (!t) continue;
        if (t[0] == '-') {
            if (std::strcmp(t, "-windowed") == 0) c.windowed = true;
            else if (std::strcmp(t, "-fullscreen") == 0) c.windowed = false;
            else if (std::strcmp(t, "-console") == 0) c.console = true;
            else if (std::strcmp(t, "-watch") == 0) c.watch = true;
            else if (std::strcmp(t, "-help") == 0 || std::strcmp(t, "--help") == 0) c.help = true;
            else if (std::strncmp(t, "-capture=", 9) == 0 && t[9] != 0) c.captureDir = t + 9;
            else if (std::strncmp(t, "-frames=", 8) == 0) {
                long n = std::strtol(t + 8, nullptr, 10);
                c.frames = n > 0 ? (n > 100000000 ? 100000000 : (int)n) : 0;
            }
            continue;
        }
        // The leading decimal integer, as atoi reads it, without its overflow.
        long v = std::strtol(t, nullptr, 10);
        if (v <= 0) continue;
        if (v > 32767) v = 32767;
        if (numbers == 0) c.width = (int)v;
        else if (numbers == 1) c.height = (int)v;
        ++numbers;
    }
    return c;
}

} // namespace framework
