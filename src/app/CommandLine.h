// The application's reading of its command-line tokens.
#pragma once

namespace framework {

struct CommandLine {
    int width = 1024;
    int height = 768;
    bool windowed = false; // the last of -windowed / -fullscreen wins
    bool console = false;  // -console: the log shows start-up lines and script output
};

// Tokens beginning with '-' are switches (-windowed, -fullscreen, -console;
// others are ignored). Any other token's leading decimal integer, when > 0,
// is the width, then the height; further numbers and values <= 0 are ignored.
// At most 10 tokens are read.
CommandLine parseCommandLine(const char* const* tokens, int count);

} // namespace framework
