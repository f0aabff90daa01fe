// The application's reading of its command-line tokens.
#pragma once

namespace framework {

struct CommandLine {
    int width = 1024;
    int height = 768;
    bool windowed = false; // the last of -windowed / -fullscreen wins
    bool console = false;  // -console: the log shows start-up lines and script output
    // -capture=DIR: every presented frame is saved as DIR/frame_NNNNN.png and
    // the scripts advance exactly one 1/60 s step per frame (points into the token).
    const char* captureDir = nullptr;
    // -frames=N (N > 0): the program ends after N presented frames; 0 = no limit.
    int frames = 0;
    bool watch = false; // -watch: a saved file under Data/ reloads the scripts
    bool help = false;  // -help or --help: print the switches and exit
};

// The switches, one line each, as -help prints them.
extern const char* const COMMAND_LINE_HELP;

// Tokens beginning with '-' are switches (-windowed, -fullscreen, -console,
// -capture=DIR, -frames=N, -watch, -help / --help; others are ignored). Any other token's leading decimal
// integer, when > 0, is the width, then the height; further numbers and values <= 0 are ignored. At most 10
// tokens are read.
CommandLine parseCommandLine(const char* const* tokens, int count);

} // namespace framework
