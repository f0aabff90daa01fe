// core::FileStream on real files in a temporary directory.
#include "core/FileStream.h"
#include "support/EngineFixture.h"
#include "support/ErrorText.h"
#include "support/TempDir.h"
#include <string>

using namespace testsupport;

namespace {

class FileStreamTest : public CoreTest {
protected:
    TempDir dir;
    core::Ref<core::FileStream> open(const std::string& name, const char* mode) {
        return core::Ref<core::FileStream>(M3D_NEW core::FileStream(dir.file(name).c_str(), mode));
    }
};

TEST_F(FileStreamTest, ReadsPeeksSeeksAndRefusesToReadPastTheEnd) {
    dir.write("data.bin", countingBytes(300));
    core::Ref<core::FileStream> s = open("data.bin", "rb");
    EXPECT_STREQ(dir.file("data.bin").c_str(), s->getName().c_str());
    unsigned char buf[400];
    EXPECT_EQ(10, s->read(buf, 10));
    EXPECT_EQ(9, buf[9]);
    EXPECT_EQ(290, s->available());
    EXPECT_EQ(4, s->peek(buf, 4));
    EXPECT_EQ(10, buf[0]);
    EXPECT_EQ(10, s->getSeek()) << "peek moved the position";
    EXPECT_EQ(0, s->read(buf, 0));
    EXPECT_EQ(-3, s->read(buf, -3));

    // Past the end: the exception, and the position stays.
    const struct {
        bool peek;
        const char* message;
    } cases[] = {
        {false, "FileStream::peek: Failed to read correct ammount from native file"},
        {true, "FileStream::peek: Too small file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        s->setSeek(290);
        EXPECT_EQ(ioText(c.message, dir.file("data.bin")),
                  messageOf([&] { c.peek ? s->peek(buf, 11) : s->read(buf, 11); }));
        EXPECT_EQ(290, s->getSeek());
        EXPECT_EQ(10, s->read(buf, 10));
        EXPECT_EQ((unsigned char)(299 & 0xFF), buf[9]);
    }
}

TEST_F(FileStreamTest, BackslashPathReadsTheSameFileAndAMissingOneThrows) {
    dir.write("Data/a.txt", "forward");
    std::string path = dir.path() + "\\Data\\a.txt";
    core::Ref<core::FileStream> s(M3D_NEW core::FileStream(path.c_str(), "rb"));
    char buf[8] = {};
    EXPECT_EQ(7, s->read(buf, 7));
    EXPECT_STREQ("forward", buf);
    // The platform's error leaves the constructor as it is.
    EXPECT_THROW(open("nothing.lua", "rb"), HAL::HALException);
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
    auto closed = [&](const std::string& op) {
        return ioText("FileStream::" + op + ": Stream is closed", dir.file("out.bin"));
    };
    EXPECT_EQ(closed("write"), messageOf([&] { s->write(buf, 1); }));
    EXPECT_EQ(closed("read"), messageOf([&] { s->read(buf, 1); }));
    EXPECT_EQ(closed("peek"), messageOf([&] { s->peek(buf, 1); }));
    EXPECT_EQ(closed("setSeek"), messageOf([&] { s->setSeek(0); }));
    EXPECT_EQ(closed("getSeek"), messageOf([&] { s->getSeek(); }));
    EXPECT_EQ(closed("write"), messageOf([&] { s->available(); }));
}

} // namespace
