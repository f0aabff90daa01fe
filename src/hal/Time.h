// The engine clock and sleep, on the monotonic clock.
#pragma once

namespace HAL {
// Milliseconds on a clock that never goes back; wraps with the 32-bit range,
// so only differences are meaningful.
unsigned int getTimeMs();
void sleep(int ms);
// Seconds per tick of the high-resolution counter (1e-9 for the monotonic
// clock); -1.0 means the fall-back millisecond tick count is used.
void setSecondsPerTick(float secondsPerTick);
float getSecondsPerTick();
// Reads the high-resolution counter's resolution and sets seconds-per-tick.
void initTimer();
} // namespace HAL
