// core::FileStream on real files in a temporary directory.
#include "core/Exceptions.h"
#include "core/FileStream.h"
#include "core/IOException.h"
#include "support/EngineFixture.h"
#include "support/TempDir.h"
#include <string>

using testsupport::countingBytes;
using testsupport::TempDir;

namespace {

class FileStreamTest : public testsupport::CoreTest {
protected:
    TempDir dir;
    core::Ref<core::FileStream> open(const std::string& name, const char* mode) {
        return core::Ref<core::FileStream>(M3D_NEW core::FileStream(dir.file(name).c_str(), mode));
    }
};

// The IOException's text for `message` on a stream named `name`.
std::string ioText(const std::string& name, const std::string& message) {
    return "IO Name: " + name + ". Message: " + message;
}

TEST_F(FileStreamTest, ReadsPeeksSeeksAndSizes) {
    dir.write("data.bin", countingBytes(300));
    core::Ref<core::FileStream> s = open("data.bin", "rb");
    EXPECT_STREQ(dir.file("data.bin").c_str(), s->getName().c_str());
    EXPECT_EQ(300, s->available());

    unsigned char buf[400];
    EXPECT_EQ(10, s->read(buf, 10));
    EXPECT_EQ(9, buf[9]);
    EXPECT_EQ(10, s->getSeek());
    EXPECT_EQ(290, s->available());

    EXPECT_EQ(4, s->peek(buf, 4));
    EXPECT_EQ(10, buf[0]);
    EXPECT_EQ(10, s->getSeek()) << "peek moved the position";

    EXPECT_EQ(0, s->setSeek(296));
    EXPECT_EQ(296, s->getSeek());
    EXPECT_EQ(4, s->available());
    EXPECT_EQ(4, s->read(buf, 4));
    EXPECT_EQ((unsigned char)(299 & 0xFF), buf[3]);
    EXPECT_EQ(0, s->available());
    EXPECT_EQ(0, s->read(buf, 0));
    EXPECT_EQ(-3, s->read(buf, -3));
}

TEST_F(FileStreamTest, ShortReadAtTheEndThrowsAndKeepsThePosition) {
    dir.write("data.bin", countingBytes(50));
    core::Ref<core::FileStream> s = open("data.bin", "rb");
    s->setSeek(40);
    unsigned char buf[64];
    try {
        s->read(buf, 20);
        FAIL() << "short read did not throw";
    } catch (const core::IOException& e) {
        EXPECT_EQ(ioText(dir.file("data.bin"),
                         "FileStream::peek: Failed to read correct ammount from native file"),
                  e.getMessage());
    }
    EXPECT_EQ(40, s->getSeek());
    EXPECT_EQ(10, s->available());
    EXPECT_EQ(10, s->read(buf, 10));
    EXPECT_EQ(40, buf[0]);
}

TEST_F(FileStreamTest, PeekPastTheEndThrowsTooSmallFileAndKeepsThePosition) {
    dir.write("data.bin", countingBytes(16));
    core::Ref<core::FileStream> s = open("data.bin", "rb");
    s->setSeek(10);
    unsigned char buf[16];
    try {
        s->peek(buf, 7);
        FAIL() << "peek past the end did not throw";
    } catch (const core::IOException& e) {
        EXPECT_EQ(ioText(dir.file("data.bin"), "FileStream::peek: Too small file"), e.getMessage());
    }
    EXPECT_EQ(10, s->getSeek());
    EXPECT_EQ(6, s->peek(buf, 6));
    EXPECT_EQ(15, buf[5]);
}

TEST_F(FileStreamTest, MissingFileLeavesTheConstructorWithThePlatformError) {
    std::string path = dir.file("nothing.lua");
    try {
        core::Ref<core::FileStream> s = open("nothing.lua", "rb");
        FAIL() << "opening a missing file did not throw";
    } catch (const HAL::HALException& e) {
        EXPECT_EQ("GeneralFile: can not open the file : " + path, e.getMessage());
    }
}

TEST_F(FileStreamTest, BackslashPathReadsTheSameFile) {
    dir.write("Data/a.txt", "forward");
    std::string path = dir.path() + "\\Data\\a.txt";
    core::Ref<core::FileStream> s(M3D_NEW core::FileStream(path.c_str(), "rb"));
    char buf[8] = {};
    EXPECT_EQ(7, s->read(buf, 7));
    EXPECT_STREQ("forward", buf);
}

TEST_F(FileStreamTest, WritesThenEveryOperationOnTheClosedStreamThrows) {
    core::Ref<core::FileStream> s = open("out.bin", "wb");
    EXPECT_EQ(5, s->write("hello", 5));
    EXPECT_EQ(5, s->getSeek());
    EXPECT_EQ(0, s->available()) << "the position follows written data";
    s->close();
    s->close(); // closing twice is harmless
    EXPECT_EQ("hello", dir.read("out.bin"));

    char buf[4];
    struct Case {
        const char* message;
        void (*op)(core::FileStream&, char*);
    } cases[] = {
        {"FileStream::write: Stream is closed", [](core::FileStream& f, char* b) { f.write(b, 1); }},
        {"FileStream::read: Stream is closed", [](core::FileStream& f, char* b) { f.read(b, 1); }},
        {"FileStream::peek: Stream is closed", [](core::FileStream& f, char* b) { f.peek(b, 1); }},
        {"FileStream::setSeek: Stream is closed", [](core::FileStream& f, char*) { f.setSeek(0); }},
        {"FileStream::getSeek: Stream is closed", [](core::FileStream& f, char*) { f.getSeek(); }},
        {"FileStream::write: Stream is closed", [](core::FileStream& f, char*) { f.available(); }},
    };
    for (const Case& c : cases) {
        try {
            c.op(*s, buf);
            ADD_FAILURE() << "no exception for " << c.message;
        } catch (const core::IOException& e) {
            EXPECT_EQ(ioText(dir.file("out.bin"), c.message), e.getMessage());
        }
    }
}

} // namespace
