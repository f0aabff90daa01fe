// The clock and the console writer.
#include "hal/Console.h"
#include "hal/Time.h"
#include "support/EngineFixture.h"
#include <ctime>
#include <string>

using testsupport::StderrCapture;

namespace {

uint64_t g_ticks = 0;
bool fixedCounter(uint64_t* ticks) {
    *ticks = g_ticks;
    return true;
}
bool brokenCounter(uint64_t*) {
    return false;
}

unsigned int coarseMs() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return (unsigned int)((uint64_t)ts.tv_sec * 1000u + (uint64_t)ts.tv_nsec / 1000000u);
}

TEST(ClockTest, ScalesTheCounterAndFallsBackToTheTickCountForGood) {
    HAL::setCounterReader(fixedCounter);
    const struct {
        uint64_t ticks;
        float secondsPerTick;
        double ms, tolerance;
    } cases[] = {
        {123456789ull, 1e-6f, 123456, 0},
        // A nanosecond counter past 213 days of uptime: ticks * 1000 would
        // overflow 64 bits, and scaling by the float 1e-9 would be 0.6 s off.
        {250ull * 86400ull * 1000000000ull, 1e-9f, (double)((250ull * 86400ull * 1000ull) & 0xFFFFFFFFull),
         0},
        // No whole number of ticks per millisecond: scaled.
        {3000, 1.0f / 3000.0f * 0.7f, 700, 1},
    };
    for (const auto& c : cases) {
        g_ticks = c.ticks;
        HAL::setSecondsPerTick(c.secondsPerTick);
        EXPECT_NEAR(c.ms, (double)HAL::getTimeMs(), c.tolerance) << c.ticks;
    }

    // A counter that reads 0 or fails: the tick count, even once the counter works again.
    for (HAL::CounterReader reader : {fixedCounter, brokenCounter}) {
        HAL::initTimer();
        g_ticks = 0;
        HAL::setCounterReader(reader);
        unsigned int before = coarseMs();
        unsigned int ms = HAL::getTimeMs();
        EXPECT_LE(before, ms);
        EXPECT_LE(ms, coarseMs());
        g_ticks = 5000000;
        HAL::setCounterReader(fixedCounter);
        HAL::getTimeMs();
        EXPECT_FLOAT_EQ(-1.0f, HAL::getSecondsPerTick());
    }
    HAL::setCounterReader(nullptr);
    HAL::initTimer();
}

TEST(ConsoleTest, WritesTextOfAnyLengthAsItIsAndNothingForEmptyText) {
    EXPECT_TRUE(HAL::createConsoleWindow());
    StderrCapture capture;
    HAL::writeDebugOutput("ignored", 0);
    HAL::writeDebugOutput(nullptr, 5);
    std::string text = std::string(5000, 'x') + "\xE9"; // long, and Latin-1 passes through as it is
    HAL::writeDebugOutput(text.c_str(), (int)text.size());
    EXPECT_EQ(text, capture.finish());
}

} // namespace
