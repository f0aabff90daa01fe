// HAL::GeneralFile on real files in a temporary directory. Paths with
// backslashes are core::FileStream's test.
#include "hal/File.h"
#include "support/EngineFixture.h"
#include "support/ErrorText.h"
#include "support/TempDir.h"
#include <string>

using namespace testsupport;

namespace {

class GeneralFileTest : public ::testing::Test {
protected:
    // Informational file lines (0x200) pass, so their texts can be checked.
    EngineCore core{10240000, 0x200};
    TempDir dir;

    core::Ref<HAL::File> open(const std::string& path, const char* mode) {
        core::Ref<HAL::File> f = HAL::File::createFileHandle(core::String(path.c_str()), core::String(mode));
        f->fopen();
        return f;
    }
};

TEST_F(GeneralFileTest, MissingFileOrADirectoryThrowsWithThePathAndStaysClosed) {
    for (const std::string& path : {dir.file("missing.bin"), dir.path()}) {
        core::Ref<HAL::File> f = HAL::File::createFileHandle(path.c_str(), "rb");
        EXPECT_EQ("GeneralFile: can not open the file : " + path, messageOf([&] { f->fopen(); }));
        EXPECT_FALSE(f->isOpen());
    }
}

TEST_F(GeneralFileTest, WritesLogTheCloseAndAFailedWriteThrows) {
    core::Ref<HAL::File> f = open(dir.file("out.bin"), "wb");
    f->fwrite("abc", 0);
    f->fwrite("abcdef", 6);
    StderrCapture capture;
    f->fclose();
    EXPECT_EQ("GeneralFile::fclose ok\n", capture.finish());
    EXPECT_EQ("abcdef", dir.read("out.bin"));

    core::Ref<HAL::File> ro = open(dir.file("out.bin"), "rb");
    StderrCapture capture2;
    EXPECT_EQ("GeneralFile: file write failed", messageOf([&] { ro->fwrite("abc", 3); }));
    EXPECT_NE(std::string::npos, capture2.finish().find(" ERROR  |GeneralFile::fwrite failed\n"));
}

// Reading, seeking and sizing are what every core::FileStream test runs on.
TEST_F(GeneralFileTest, BadPositionsAndSlotsOnAClosedFileThrowInsteadOfTouchingTheHandle) {
    dir.write("data.bin", "abc");
    EXPECT_THROW(open(dir.file("data.bin"), "rb")->fsetpos(-1), HAL::HALException);
    core::Ref<HAL::File> f = HAL::File::createFileHandle(dir.file("never.bin").c_str(), "rb");
    char buf[4];
    EXPECT_EQ(0, f->fread(buf, 4));
    EXPECT_THROW(f->fwrite(buf, 4), HAL::HALException);
    EXPECT_THROW(f->fsize(), HAL::HALException);
    EXPECT_THROW(f->fsetpos(0), HAL::HALException);
    EXPECT_THROW(f->fgetpos(), HAL::HALException);
    f->fclose();
}

TEST_F(GeneralFileTest, WritabilityProbeNeverCreatesOrTruncates) {
    dir.write("keep.txt", "precious");
    EXPECT_TRUE(HAL::File::canOpenForWriting(dir.file("keep.txt").c_str()));
    EXPECT_EQ("precious", dir.read("keep.txt"));

    EXPECT_TRUE(HAL::File::canOpenForWriting(dir.file("new.txt").c_str()));
    EXPECT_FALSE(dir.exists("new.txt"));

    for (const std::string& path :
         {dir.file("no/such/dir/x.txt"), dir.path(), dir.path() + "/", dir.file("keep.txt/x")})
        EXPECT_FALSE(HAL::File::canOpenForWriting(path.c_str())) << path;
}

} // namespace
