// The clock and sleep: CLOCK_MONOTONIC as the high-resolution counter (in
// nanoseconds), CLOCK_MONOTONIC_COARSE as the millisecond tick count.
#include "hal/Time.h"
#include "core/DebugLog.h"
#include <cerrno>
#include <cmath>
#include <ctime>

namespace HAL {
namespace {
bool readMonotonic(uint64_t* ticks) {
    struct timespec ts;
    if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) return false;
    *ticks = (uint64_t)ts.tv_sec * 1000000000ull + (uint64_t)ts.tv_nsec;
    return true;
}

float g_secondsPerTick = 1e-9f;
CounterReader g_counter = readMonotonic;

unsigned int tickCountMs() {
    struct timespec ts = {0, 0};
    if (clock_gettime(CLOCK_MONOTONIC_COARSE, &ts) != 0) clock_gettime(CLOCK_REALTIME, &ts);
    return (unsigned int)((uint64_t)ts.tv_sec * 1000u + (uint64_t)ts.tv_nsec / 1000000u);
}
} // namespace

void setSecondsPerTick(float s) { g_secondsPerTick = s; }
float getSecondsPerTick() { return g_secondsPerTick; }
void setCounterReader(CounterReader reader) { g_counter = reader ? reader : readMonotonic; }

void initTimer() {
    struct timespec res;
    g_secondsPerTick = clock_getres(CLOCK_MONOTONIC, &res) == 0 ? 1e-9f : -1.0f;
}

unsigned int getTimeMs() {
    if (g_secondsPerTick > 0.0f) {
        uint64_t ticks = 0;
        if (g_counter(&ticks) && ticks != 0) {
            // Counters tick a whole number of times per millisecond; divide by
            // that. Scaling by the float seconds-per-tick instead is off by its
            // rounding (1e-9f is 3e-8 too small): after 200 days of uptime the
            // clock would run half a second behind the tick count.
            double perMs = 1.0 / (1000.0 * (double)g_secondsPerTick);
            double whole = std::round(perMs);
            if (whole >= 1.0 && std::fabs(perMs - whole) <= 1e-6 * whole)
                return (unsigned int)(ticks / (uint64_t)whole); // wraps with the 32-bit range
            // In double, not 64-bit integers: a nanosecond count times 1000
            // overflows 64 bits after about 213 days of uptime.
            double ms = std::fmod((double)ticks * 1000.0 * (double)g_secondsPerTick, 4294967296.0);
            if (ms >= 0.0) return (unsigned int)ms;
        }
        g_secondsPerTick = -1.0f;
    }
    return tickCountMs();
}

void sleep(int ms) {
    core::log(0x100, "HAL::sleep %d ms\n", ms);
    if (ms <= 0) return;
    struct timespec ts;
    ts.tv_sec = ms / 1000;
    ts.tv_nsec = (long)(ms % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

} // namespace HAL
