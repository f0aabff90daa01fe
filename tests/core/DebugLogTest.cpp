// The debug log: filtering, prefixes, counters, the 2040-character rule, the
// output-stream path and the assertion reporter.
#include "core/DebugLog.h"
#include "core/Exceptions.h"
#include "core/MemoryStream.h"
#include "support/EngineFixture.h"
#include <string>

using namespace testsupport;

namespace {
// A stream that keeps what it is given and logs while writing, as a file
// stream reporting a problem would.
class RecordingStream : public core::MemoryStream {
public:
    bool logWhileWriting = false;
    int write(const void* buffer, int count) override {
        if (logWhileWriting) {
            core::log(0x4, "stream chatter\n");
            core::log(0x1, "stream trouble %d\n", 7);
        }
        return core::MemoryStream::write(buffer, count);
    }
    std::string text() { return std::string((const char*)data(), (size_t)size()); }
};
} // namespace

using DebugLogTest = CoreTest;

TEST_F(DebugLogTest, ErrorsAndWarningsAlwaysPassWithPrefixesOthersNeedABitOfTheMask) {
    core::DebugLog& log = core.log();
    int messages = log.getMessageCount();
    StderrCapture cap;
    core::log(0x1, "disk %s\n", "gone");
    core::log(0x2, "slow frame %d ms\n", 40);
    core::log(0x4, "script says hi\n");
    core::log(0x3, "both\n"); // an error that also carries the warning bit counts as an error only
    EXPECT_EQ(" ERROR  |disk gone\nWARNING |slow frame 40 ms\n ERROR  |both\n", cap.finish());
    EXPECT_EQ(2, log.getErrorCount());
    EXPECT_EQ(1, log.getWarningCount());
    EXPECT_EQ(messages + 3, log.getMessageCount()); // the dropped one is not counted

    log.setLevelMask(0xF);
    StderrCapture cap2;
    core::log(0x4, "script says hi\n");
    core::log(0x100, "display\n");
    core::log(0xE00000, "merge\n"); // a level of several bits passes when any of them is enabled
    log.setLevelMask(0x800000);
    core::log(0xE00000, "merge\n");
    EXPECT_EQ("script says hi\nmerge\n", cap2.finish());
    EXPECT_TRUE(core::logEnabled(0xE00000));
}

TEST_F(DebugLogTest, MessagesOver2040CharactersAreReplaced) {
    std::string exact(2039, 'x');
    exact += "\n"; // 2040 characters
    std::string over(2041, 'y');
    StderrCapture cap;
    core::log(0x2, "%s", exact.c_str());
    core::log(0x2, "%s", over.c_str());
    core::log(0x1, "%s%s", exact.c_str(), "z");
    EXPECT_EQ("WARNING |" + exact + "WARNING |<too long debug string>\n ERROR  |<too long debug string>\n",
              cap.finish());
}

TEST_F(DebugLogTest, OutputStreamIsWrittenWithMaskZero) {
    int live = core.pool().getLiveAllocations();
    core::Ref<RecordingStream> stream = M3D_NEW RecordingStream();
    core.log().setLevelMask(0xF);
    core.log().setOutputStream(stream.get());
    stream->logWhileWriting = true;
    StderrCapture cap;
    core::log(0x4, "frame %d\n", 1);
    std::string out = cap.finish();
    // The outer line reaches the stream whole; the stream's own error shows on
    // the console (not fed back into the stream), its 0x4 chatter is filtered
    // by the zero mask.
    EXPECT_EQ("frame 1\n ERROR  |stream trouble 7\n", out);
    EXPECT_EQ("frame 1\n", stream->text());
    EXPECT_EQ(0xFu, core.log().getLevelMask());

    // Disabling: the message goes out once more, then the stream is released.
    core.log().setLevelMask(0x100000);
    stream->logWhileWriting = false;
    stream.release();
    StderrCapture cap2;
    core.log().setOutputFile();
    EXPECT_EQ("Debug: setOutputFile: debug disabled\n", cap2.finish());
    EXPECT_EQ(live, core.pool().getLiveAllocations());
}

TEST_F(DebugLogTest, AssertionReporterLogsFiveErrorLinesAndThrows) {
    StderrCapture cap;
    int value = 3;
    int line = __LINE__ + 1;
    EXPECT_THROW(M3D_ASSERT(value == 4), Assert_Exception);
    EXPECT_EQ(" ERROR  |ASSERT FAILURE!\n ERROR  |Expr: value == 4\n ERROR  |Msg: value == 4\n"
              " ERROR  |File: DebugLogTest.cpp\n ERROR  |Line: " +
                  std::to_string(line) + "\n",
              cap.finish());
    EXPECT_NO_THROW(M3D_ASSERT(value == 3));
}

TEST(DebugLogWithoutEngine, ErrorsStillReachStandardError) {
    ASSERT_EQ(nullptr, core::engineGlobals());
    StderrCapture cap;
    core::log(0x1, "no engine %d\n", 1);
    core::log(0x4, "dropped\n");
    EXPECT_EQ(" ERROR  |no engine 1\n", cap.finish());
}
