// The clock, sleep and the console writer.
#include "hal/Console.h"
#include "hal/Time.h"
#include "support/EngineFixture.h"
#include <string>

using testsupport::StderrCapture;

namespace {

bool zeroCounter(uint64_t* ticks) {
    *ticks = 0;
    return true;
}
bool brokenCounter(uint64_t*) { return false; }

class ClockTest : public ::testing::Test {
protected:
    ~ClockTest() override {
        HAL::setCounterReader(nullptr);
        HAL::initTimer();
    }
};

TEST_F(ClockTest, CounterReadingZeroFallsBackToTheTickCountForGood) {
    HAL::initTimer();
    unsigned int fine = HAL::getTimeMs();
    HAL::setCounterReader(zeroCounter);
    unsigned int coarse = HAL::getTimeMs();
    EXPECT_FLOAT_EQ(-1.0f, HAL::getSecondsPerTick());
    // Both clocks count from the same origin; the tick count is only coarser.
    EXPECT_LT(coarse - fine + 500u, 1000u) << fine << " vs " << coarse;

    // A working counter again does not bring the counter back.
    HAL::setCounterReader(nullptr);
    HAL::getTimeMs();
    EXPECT_FLOAT_EQ(-1.0f, HAL::getSecondsPerTick());
}

TEST_F(ClockTest, UnreadableCounterFallsBackToo) {
    HAL::setSecondsPerTick(1e-9f);
    HAL::setCounterReader(brokenCounter);
    unsigned int a = HAL::getTimeMs();
    HAL::sleep(20);
    unsigned int b = HAL::getTimeMs();
    EXPECT_FLOAT_EQ(-1.0f, HAL::getSecondsPerTick());
    EXPECT_GE(b - a, 10u); // the coarse clock ticks every few milliseconds
}

TEST_F(ClockTest, ScalesTheCounterBySecondsPerTick) {
    HAL::setCounterReader([](uint64_t* t) {
        *t = 123456789ull; // ticks of 1 microsecond: 123456.789 ms
        return true;
    });
    HAL::setSecondsPerTick(1e-6f);
    EXPECT_NEAR(123456.0, (double)HAL::getTimeMs(), 1.0);
    // A nanosecond counter past 213 days of uptime: ticks * 1000 would overflow 64 bits.
    HAL::setCounterReader([](uint64_t* t) {
        *t = 250ull * 86400ull * 1000000000ull;
        return true;
    });
    HAL::setSecondsPerTick(1e-9f);
    // Exact, not scaled by the float 1e-9 (which would be off by 0.6 s here).
    EXPECT_EQ((unsigned int)((250ull * 86400ull * 1000ull) & 0xFFFFFFFFull), HAL::getTimeMs());
    // A resolution that is no whole number of ticks per millisecond: scaled.
    HAL::setCounterReader([](uint64_t* t) {
        *t = 3000;
        return true;
    });
    HAL::setSecondsPerTick(1.0f / 3000.0f * 0.7f);
    EXPECT_NEAR(700.0, (double)HAL::getTimeMs(), 1.0);
}

TEST(ConsoleTest, WritesPiecesOfAnyLengthAndNothingForEmptyText) {
    EXPECT_TRUE(HAL::createConsoleWindow());
    StderrCapture empty;
    HAL::writeDebugOutput("ignored", 0);
    HAL::writeDebugOutput(nullptr, 5);
    EXPECT_EQ("", empty.finish());

    std::string text;
    for (int i = 0; i < 5000; ++i) text += (char)('a' + i % 26);
    text += "\xE9"; // Latin-1 passes through as it is
    StderrCapture capture;
    HAL::writeDebugOutput(text.c_str(), 3000);
    HAL::writeDebugOutput(text.c_str() + 3000, (int)text.size() - 3000);
    EXPECT_EQ(text, capture.finish());
}

} // namespace
