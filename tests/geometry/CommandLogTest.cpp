// The modelling command log: the value byte, recording on and off, and the
// two overflow notices.
#include "geometry/Command_Log.h"
#include "geometry/Modelling.h"
#include "GeometryTestUtil.h"
#include "hal/MessageBox.h"
#include "support/EngineFixture.h"
#include <gtest/gtest.h>
#include <cmath>
#include <string>
#include <vector>

namespace {

typedef std::vector<std::pair<std::string, std::string>> Boxes;
Boxes g_boxes;
void recordBox(const char* title, const char* body) {
    g_boxes.emplace_back(title, body);
}

class CommandLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        commandLog() = Command_Log();
        g_boxes.clear();
        previous = HAL::setMessageBoxHandler(recordBox);
    }
    void TearDown() override {
        HAL::setMessageBoxHandler(previous);
        commandLog() = Command_Log();
    }
    HAL::MessageBoxHandler previous = nullptr;
};

TEST_F(CommandLogTest, ValueByteRoundsHalfToEvenAndWraps) {
    // (value + 8) · 15.9375, halves to even, modulo 256: 0 -> 127.5 -> 128,
    // 16 -> 382.5 -> 382 -> 126, -32 -> -382.5 -> -382 -> 130; 1e30 is a
    // multiple of 256 after rounding; NaN records 0.
    const float values[] = {-8, 0, 8, -1, 16, -32, -7.0625f, 24, 1e30f, std::nanf("")};
    const int bytes[] = {0, 128, 255, 112, 126, 130, 15, 254, 0, 0};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(bytes[i], encodeCommandValue(values[i])) << values[i];
}

TEST_F(CommandLogTest, RecordsCommandsAndPicks) {
    Command_Log& log = commandLog();
    log.recording = 1;
    auto mb = geomtest::newBuilder();
    addcube(mb.get(), 0);
    scale4(mb.get(), -8.0f);
    rotate3(mb.get(), 8.0f);
    // A pick entry stores the current pick at pick_count, which the picking
    // tool advances itself.
    log.pick_count = 3;
    log.current_pick = 42;
    unpacko(Command_Log::PICK_CODE, 0.0f);
    EXPECT_EQ(42u, log.pick_log[3]);
    EXPECT_EQ(3u, log.pick_count);
    ASSERT_EQ(4u, log.cmd_count);
    EXPECT_EQ((std::vector<int>{31, 3, 18, 50}), std::vector<int>(log.cmd_codes, log.cmd_codes + 4));
    EXPECT_EQ((std::vector<int>{128, 0, 255}), std::vector<int>(log.cmd_values, log.cmd_values + 3));
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(CommandLogTest, OverflowsShowTheirNoticesAndDropTheEntry) {
    Command_Log& log = commandLog();
    log.recording = 1;
    log.pick_count = 256;
    unpacko(Command_Log::PICK_CODE, 1.0f);
    EXPECT_EQ(255u, log.pick_count);
    EXPECT_EQ(0u, log.cmd_count);

    for (int i = 0; i < 256; ++i)
        unpacko(19, 0.0f);
    auto mb = geomtest::newBuilder();
    addcube(mb.get(), 0);
    EXPECT_EQ(8u, mb->nv) << "the operation itself still runs";
    unpacko(Command_Log::PICK_CODE, 0.0f);
    const std::string tooMany = "Exceeded max number of modelling commands";
    EXPECT_EQ((Boxes{{"Too Many Picks=model will not save properly", "ERROR"},
                     {tooMany, "ERROR"},
                     {tooMany, "ERROR"}}),
              g_boxes);
    EXPECT_EQ(256u, log.cmd_count);
    EXPECT_EQ(19, log.cmd_codes[255]) << "the 257th command was not stored";
}

TEST_F(CommandLogTest, WithoutAHandlerTheNoticeGoesToTheLog) {
    HAL::setMessageBoxHandler(nullptr);
    testsupport::EngineCore engine;
    testsupport::StderrCapture err;
    commandLog().recording = 1;
    commandLog().cmd_count = 256;
    unpacko(3, 1.0f);
    std::string text = err.finish();
    EXPECT_NE(std::string::npos, text.find("Exceeded max number of modelling commands")) << text;
    EXPECT_NE(std::string::npos, text.find("ERROR")) << text;
    EXPECT_EQ(1, engine.log().getErrorCount());
}

} // namespace
