// The modelling command log: the value byte, recording on and off, and the
// two overflow notices.
#include "geometry/Command_Log.h"
#include "geometry/Modelling.h"
#include "GeometryTestUtil.h"
#include "hal/MessageBox.h"
#include "support/EngineFixture.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::vector<std::pair<std::string, std::string>> g_boxes;
void recordBox(const char* title, const char* body) { g_boxes.emplace_back(title, body); }

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
    EXPECT_EQ(0, encodeCommandValue(-8.0f));
    EXPECT_EQ(128, encodeCommandValue(0.0f));  // 127.5 -> 128 (even)
    EXPECT_EQ(255, encodeCommandValue(8.0f));
    EXPECT_EQ(112, encodeCommandValue(-1.0f)); // 111.5625
    EXPECT_EQ(143, encodeCommandValue(1.0f));  // 143.4375
    EXPECT_EQ(126, encodeCommandValue(16.0f)); // 382.5 -> 382 (even), wraps to 126
    EXPECT_EQ(130, encodeCommandValue(-32.0f)); // -382.5 -> -382, wraps to 130
    EXPECT_EQ(15, encodeCommandValue(-7.0625f)); // 14.94140625
    EXPECT_EQ(0, encodeCommandValue(std::nanf("")));
    EXPECT_EQ(254, encodeCommandValue(24.0f)); // 510 wraps to 254
    EXPECT_EQ(0, encodeCommandValue(1e30f));   // a multiple of 256 after rounding
}

TEST_F(CommandLogTest, RecordsCommandsAndPicks) {
    Command_Log& log = commandLog();
    log.recording = 1;
    auto mb = geomtest::newBuilder();
    addcube(mb.get(), 0);
    scale4(mb.get(), -8.0f);
    rotate3(mb.get(), 8.0f);
    ASSERT_EQ(3u, log.cmd_count);
    EXPECT_EQ(31, log.cmd_codes[0]);
    EXPECT_EQ(128, log.cmd_values[0]);
    EXPECT_EQ(3, log.cmd_codes[1]);
    EXPECT_EQ(0, log.cmd_values[1]);
    EXPECT_EQ(18, log.cmd_codes[2]);
    EXPECT_EQ(255, log.cmd_values[2]);
    // A pick entry stores the current pick at pick_count, which the picking
    // tool advances itself.
    log.pick_count = 3;
    log.current_pick = 42;
    unpacko(Command_Log::PICK_CODE, 0.0f);
    EXPECT_EQ(42u, log.pick_log[3]);
    EXPECT_EQ(3u, log.pick_count);
    EXPECT_EQ(4u, log.cmd_count);
    EXPECT_EQ(50, log.cmd_codes[3]);
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(CommandLogTest, OverflowsShowTheirNoticesAndDropTheEntry) {
    Command_Log& log = commandLog();
    log.recording = 1;
    log.pick_count = 256;
    unpacko(Command_Log::PICK_CODE, 1.0f);
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_EQ("Too Many Picks=model will not save properly", g_boxes[0].first);
    EXPECT_EQ("ERROR", g_boxes[0].second);
    EXPECT_EQ(255u, log.pick_count);
    EXPECT_EQ(0u, log.cmd_count);

    for (int i = 0; i < 256; ++i) unpacko(19, 0.0f);
    EXPECT_EQ(256u, log.cmd_count);
    EXPECT_EQ(1u, g_boxes.size());
    auto mb = geomtest::newBuilder();
    addcube(mb.get(), 0);
    EXPECT_EQ(8u, mb->nv) << "the operation itself still runs";
    unpacko(Command_Log::PICK_CODE, 0.0f);
    ASSERT_EQ(3u, g_boxes.size());
    EXPECT_EQ("Exceeded max number of modelling commands", g_boxes[1].first);
    EXPECT_EQ("ERROR", g_boxes[1].second);
    EXPECT_EQ("Exceeded max number of modelling commands", g_boxes[2].first);
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
