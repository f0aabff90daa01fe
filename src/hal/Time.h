// The engine clock and sleep, on the monotonic clock.
#pragma once
#include <cstdint>

namespace HAL {
// Milliseconds on a clock that never goes back; wraps with the 32-bit range,
// so only differences are meaningful. Reads the high-resolution counter while
// seconds-per-tick is positive; a counter that fails or reads 0 switches the
// clock to the millisecond tick count for good (seconds-per-tick -1.0).
unsigned int getTimeMs();
// Suspends the thread; 0 or less returns at once.
void sleep(int ms);
// Seconds per tick of the high-resolution counter (1e-9 for the monotonic
// clock); -1.0 means the fall-back millisecond tick count is used.
void setSecondsPerTick(float secondsPerTick);
float getSecondsPerTick();
// Reads the high-resolution counter's resolution and sets seconds-per-tick.
void initTimer();

// The high-resolution counter: false when it cannot be read. Replaceable so
// that the fall-back can be exercised; null restores the monotonic clock.
typedef bool (*CounterReader)(uint64_t* ticks);
void setCounterReader(CounterReader reader);
} // namespace HAL
