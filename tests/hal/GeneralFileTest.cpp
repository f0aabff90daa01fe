// HAL::GeneralFile on real files in a temporary directory.
#include "core/Exceptions.h"
#include "hal/File.h"
#include "hal/GeneralFile.h"
#include "support/EngineFixture.h"
#include "support/TempDir.h"
#include <cstdio>
#include <string>
#include <unistd.h>

using testsupport::countingBytes;
using testsupport::StderrCapture;
using testsupport::TempDir;

namespace {

class GeneralFileTest : public ::testing::Test {
protected:
    // Informational file lines (0x200) pass, so their texts can be checked.
    testsupport::EngineCore core{10240000, 0x200};
    TempDir dir;

    core::Ref<HAL::File> open(const std::string& path, const char* mode) {
        core::Ref<HAL::File> f = HAL::File::createFileHandle(core::String(path.c_str()), core::String(mode));
        f->fopen();
        return f;
    }
};

TEST_F(GeneralFileTest, SplitsThePathAtTheLastSlashAfterTurningBackslashes) {
    core::Ref<HAL::File> f = HAL::File::createFileHandle("Data\\models\\ship.m3g", "rb");
    EXPECT_STREQ("Data/models/", f->getDirectory().c_str());
    EXPECT_STREQ("ship.m3g", f->getFileName().c_str());
    EXPECT_STREQ("Data/models/ship.m3g", f->getPath().c_str());
    EXPECT_FALSE(f->isOpen());
    EXPECT_EQ(nullptr, f->getHandle());

    core::Ref<HAL::File> bare = HAL::File::createFileHandle("Bootstrap.lua", "rb");
    EXPECT_STREQ("", bare->getDirectory().c_str());
    EXPECT_STREQ("Bootstrap.lua", bare->getFileName().c_str());
}

TEST_F(GeneralFileTest, MissingFileThrowsWithThePathAndStaysClosed) {
    std::string path = dir.file("missing.bin");
    core::Ref<HAL::File> f = HAL::File::createFileHandle(path.c_str(), "rb");
    try {
        f->fopen();
        FAIL() << "opening a missing file did not throw";
    } catch (const HAL::HALException& e) {
        EXPECT_EQ("GeneralFile: can not open the file : " + path, e.getMessage());
    }
    EXPECT_FALSE(f->isOpen());
}

TEST_F(GeneralFileTest, DirectoryIsNotAFile) {
    core::Ref<HAL::File> f = HAL::File::createFileHandle(dir.path().c_str(), "rb");
    EXPECT_THROW(f->fopen(), HAL::HALException);
    EXPECT_FALSE(f->isOpen());
}

TEST_F(GeneralFileTest, ReadsSizesAndSeeks) {
    dir.write("data.bin", countingBytes(100));
    core::Ref<HAL::File> f = open(dir.file("data.bin"), "rb");
    ASSERT_TRUE(f->isOpen());
    ASSERT_NE(nullptr, f->getHandle());

    unsigned char buf[1024];
    EXPECT_EQ(4, f->fread(buf, 4));
    EXPECT_EQ(3, buf[3]);
    EXPECT_EQ(4, f->fgetpos());

    // fsize leaves the position where it was.
    EXPECT_EQ(100, f->fsize());
    EXPECT_EQ(4, f->fgetpos());

    // A read near the end answers what was there.
    f->fsetpos(90);
    EXPECT_EQ(10, f->fread(buf, 1024));
    EXPECT_EQ(90, buf[0]);
    EXPECT_EQ(99, buf[9]);
    EXPECT_EQ(0, f->fread(buf, 1024));

    EXPECT_THROW(f->fsetpos(-1), HAL::HALException);
    f->fclose();
    EXPECT_FALSE(f->isOpen());
    f->fclose(); // closing twice is harmless
}

TEST_F(GeneralFileTest, BackslashPathOpensTheSameFileAndLogsForwardSlashes) {
    dir.write("sub/dir/f.txt", "hello");
    std::string backslashed = dir.path() + "\\sub\\dir\\f.txt";
    StderrCapture capture;
    core::Ref<HAL::File> f = open(backslashed, "rb");
    char buf[8] = {};
    EXPECT_EQ(5, f->fread(buf, 8));
    EXPECT_STREQ("hello", buf);
    std::string log = capture.finish();
    EXPECT_NE(std::string::npos, log.find("GeneralFile::fopen : " + dir.file("sub/dir/f.txt") + " ok\n")) << log;
    EXPECT_NE(std::string::npos, log.find("GeneralFile::fread 8 bytes\n")) << log;
}

TEST_F(GeneralFileTest, WritesAndLogsEachStep) {
    std::string path = dir.file("out.bin");
    core::Ref<HAL::File> f = open(path, "wb");
    StderrCapture capture;
    f->fwrite("abc", 0);
    EXPECT_EQ("", capture.finish()) << "a write of 0 bytes logs nothing";

    StderrCapture capture2;
    f->fwrite("abcdef", 6);
    EXPECT_EQ(6, f->fsize());
    f->fsetpos(2);
    EXPECT_EQ(2, f->fgetpos());
    f->fclose();
    std::string log = capture2.finish();
    EXPECT_NE(std::string::npos, log.find("GeneralFile::fwrite 6 bytes\n")) << log;
    EXPECT_NE(std::string::npos, log.find("GeneralFile::fsize = 6 bytes\n")) << log;
    EXPECT_NE(std::string::npos, log.find("GeneralFile::fsetpos ok\n")) << log;
    EXPECT_NE(std::string::npos, log.find("GeneralFile::fgetpos = 2 ok\n")) << log;
    EXPECT_NE(std::string::npos, log.find("GeneralFile::fclose ok\n")) << log;
    EXPECT_EQ("abcdef", dir.read("out.bin"));
}

TEST_F(GeneralFileTest, FailedWriteLogsAndThrows) {
    dir.write("ro.bin", "xyz");
    core::Ref<HAL::File> f = open(dir.file("ro.bin"), "rb");
    StderrCapture capture;
    try {
        f->fwrite("abc", 3);
        ADD_FAILURE() << "writing to a file opened for reading did not throw";
    } catch (const HAL::HALException& e) {
        EXPECT_STREQ("GeneralFile: file write failed", e.getMessage());
    }
    EXPECT_NE(std::string::npos, capture.finish().find(" ERROR  |GeneralFile::fwrite failed\n"));
}

TEST_F(GeneralFileTest, SlotsOnAClosedFileThrowInsteadOfTouchingTheHandle) {
    core::Ref<HAL::File> f = HAL::File::createFileHandle(dir.file("never.bin").c_str(), "rb");
    char buf[4];
    EXPECT_EQ(0, f->fread(buf, 4));
    EXPECT_THROW(f->fwrite(buf, 4), HAL::HALException);
    EXPECT_THROW(f->fsize(), HAL::HALException);
    EXPECT_THROW(f->fsetpos(0), HAL::HALException);
    EXPECT_THROW(f->fgetpos(), HAL::HALException);
    f->fclose();
}

TEST_F(GeneralFileTest, DestructorClosesAnOpenFile) {
    dir.write("a.bin", "1234");
    core::Ref<HAL::File> f = open(dir.file("a.bin"), "rb");
    StderrCapture capture;
    f.release();
    EXPECT_NE(std::string::npos, capture.finish().find("GeneralFile::fclose ok\n"));
}

TEST_F(GeneralFileTest, WritabilityProbeNeverCreatesOrTruncates) {
    dir.write("keep.txt", "precious");
    EXPECT_TRUE(HAL::File::canOpenForWriting(dir.file("keep.txt").c_str()));
    EXPECT_EQ("precious", dir.read("keep.txt"));

    EXPECT_TRUE(HAL::File::canOpenForWriting(dir.file("new.txt").c_str()));
    EXPECT_FALSE(dir.exists("new.txt"));

    EXPECT_FALSE(HAL::File::canOpenForWriting(dir.file("no/such/dir/x.txt").c_str()));
    EXPECT_FALSE(HAL::File::canOpenForWriting(dir.path().c_str()));
    EXPECT_FALSE(HAL::File::canOpenForWriting((dir.path() + "/").c_str()));
    EXPECT_FALSE(HAL::File::canOpenForWriting((dir.file("keep.txt") + "/x").c_str()));
}

} // namespace
