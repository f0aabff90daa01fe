#include "geometry/Command_Log.h"
#include "hal/MessageBox.h"
#include <cmath>

namespace {
Command_Log g_log = {};
}

Command_Log& commandLog() { return g_log; }

uint8_t encodeCommandValue(float value) {
    // nearbyint rounds in the current mode: to nearest, ties to even, so
    // 0.0 -> 127.5 -> 128. The value is reduced modulo 256 before it becomes
    // an integer so huge values wrap instead of overflowing; NaN records 0.
    double scaled = std::nearbyint(((double)value + 8.0) * 15.9375);
    if (!std::isfinite(scaled)) return 0;
    double wrapped = std::fmod(scaled, 256.0);
    if (wrapped < 0) wrapped += 256.0;
    return (uint8_t)(int)wrapped;
}

void unpacko(uint8_t code, float value) {
    Command_Log& log = g_log;
    if (log.recording == 0) return;
    if (log.cmd_count >= Command_Log::MAX_COMMANDS) {
        HAL::showMessageBox("Exceeded max number of modelling commands", "ERROR");
        return;
    }
    if (code == Command_Log::PICK_CODE) {
        if (log.pick_count >= Command_Log::MAX_PICKS) {
            HAL::showMessageBox("Too Many Picks=model will not save properly", "ERROR");
            log.pick_count -= 1;
            return;
        }
        log.pick_log[log.pick_count] = log.current_pick;
    }
    log.cmd_codes[log.cmd_count] = code;
    log.cmd_values[log.cmd_count] = encodeCommandValue(value);
    log.cmd_count += 1;
}
