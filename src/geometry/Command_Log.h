// The modelling command log: every modelling operation reports itself here
// as (command code, value byte); picking tools add entries with code 50 and
// their pick index. Recording is off at start and nothing in the engine
// switches it on; a modelling tool sets `recording`.
//
// The value byte encodes [-8, 8] in 255 steps: byte = (value + 8) * 15.9375
// rounded to the nearest integer, ties to even, keeping the low 8 bits (so
// -8 -> 0, 0 -> 128, 8 -> 255; values outside the range wrap modulo 256).
// The log is module-wide, holds at most 256 commands and 256 picks and never
// shrinks; an overflow is reported to the user with a message box
// (HAL::showMessageBox) and the entry is dropped.
#pragma once
#include <cstdint>

struct Command_Log {
    static constexpr uint32_t MAX_COMMANDS = 256;
    static constexpr uint32_t MAX_PICKS = 256;
    static constexpr uint8_t PICK_CODE = 50;

    uint32_t recording;    // 0 = off
    uint32_t cmd_count;
    uint8_t cmd_codes[MAX_COMMANDS];
    uint8_t cmd_values[MAX_COMMANDS];
    uint32_t pick_count;   // advanced by the picking tool, not by unpacko
    uint32_t current_pick;
    uint32_t pick_log[MAX_PICKS];
};

// The one log of the program.
Command_Log& commandLog();

// Records one command (see above).
void unpacko(uint8_t code, float value);

// The byte that `value` is recorded as.
uint8_t encodeCommandValue(float value);
