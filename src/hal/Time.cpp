#include "hal/Time.h"
#include "core/DebugLog.h"
#include <cerrno>
#include <cstdint>
#include <ctime>

namespace HAL {
namespace {
float g_secondsPerTick = 1e-9f;

unsigned int tickCountMs() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return (unsigned int)((uint64_t)ts.tv_sec * 1000u + (uint64_t)ts.tv_nsec / 1000000u);
}
} // namespace

void setSecondsPerTick(float s) { g_secondsPerTick = s; }
float getSecondsPerTick() { return g_secondsPerTick; }

void initTimer() {
    struct timespec res;
    g_secondsPerTick = clock_getres(CLOCK_MONOTONIC, &res) == 0 ? 1e-9f : -1.0f;
}

unsigned int getTimeMs() {
    if (g_secondsPerTick > 0.0f) {
        struct timespec ts;
        if (clock_gettime(CLOCK_MONOTONIC, &ts) == 0) {
            uint64_t ticks = (uint64_t)ts.tv_sec * 1000000000ull + (uint64_t)ts.tv_nsec;
            if (ticks != 0) return (unsigned int)(ticks / 1000000ull);
        }
        // The counter failed: the tick count from now on, for good.
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
