// core::MemoryStream: the copy and in-place read forms, write mode, close.
#include "core/MemoryStream.h"
#include "support/EngineFixture.h"
#include "support/ErrorText.h"
#include <cstring>
#include <string>

using namespace testsupport;

namespace {

using MemoryStreamTest = CoreTest;

TEST_F(MemoryStreamTest, CopyFormOwnsItsBytesInPlaceFormReadsTheCallersSeeksAreClamped) {
    unsigned char source[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    core::Ref<core::MemoryStream> s(M3D_NEW core::MemoryStream(source, 10, false));
    core::Ref<core::MemoryStream> inPlace(M3D_NEW core::MemoryStream(source, 4, true));
    std::memset(source, 0, sizeof source);
    source[1] = 42;
    unsigned char buf[16] = {};
    EXPECT_EQ(2, inPlace->peek(buf, 2));
    EXPECT_EQ(42, buf[1]);
    EXPECT_EQ(ioText("MemoryStream::read: Too small buffer"), messageOf([&] { inPlace->peek(buf, 5); }));
    EXPECT_EQ(0, inPlace->getSeek());

    EXPECT_EQ(6, s->setSeek(6));
    EXPECT_EQ(-2, s->setSeek(4));
    EXPECT_EQ(6, s->available());
    EXPECT_EQ(4, s->read(buf, 4));
    EXPECT_EQ(7, buf[3]);
    EXPECT_EQ(2, s->setSeek(1000)) << "the position stops at the end";
    EXPECT_EQ(10, s->getSeek());
    EXPECT_EQ(0, s->read(buf, 16));
    EXPECT_EQ(-10, s->setSeek(-5)) << "the position stops at the start";
    // Past the end: only what is left.
    EXPECT_EQ(10, s->read(buf, 16));
    EXPECT_EQ(9, buf[9]);
}

TEST_F(MemoryStreamTest, WriteModeCollectsBytesAndEachModeRefusesTheOthers) {
    core::Ref<core::MemoryStream> s(M3D_NEW core::MemoryStream());
    EXPECT_EQ(3, s->write("abc", 3));
    EXPECT_EQ(2, s->write("de", 2));
    s->setSeek(1);
    EXPECT_EQ(1, s->write("X", 1)) << "overwrite inside the data";
    EXPECT_EQ("aXcde", std::string((const char*)s->data(), (size_t)s->size()));
    unsigned char buf[4] = {};
    std::string writeMode = ioText("MemoryStream::read: Opened stream is opened in write mode");
    EXPECT_EQ(writeMode, messageOf([&] { s->read(buf, 1); }));
    EXPECT_EQ(writeMode, messageOf([&] { s->peek(buf, 1); }));
    EXPECT_EQ(writeMode, messageOf([&] { s->available(); }));
    s->close();
    EXPECT_EQ(nullptr, s->data());

    core::Ref<core::MemoryStream> r(M3D_NEW core::MemoryStream(buf, 4, false));
    EXPECT_EQ(ioText("MemoryStream::write: Opened stream is read-only"),
              messageOf([&] { r->write(buf, 1); }));
    r->close();
    EXPECT_EQ(ioText("MemoryStream::write: Stream is closed"), messageOf([&] { r->write(buf, 1); }));
    EXPECT_EQ(ioText("MemoryStream::read: Stream is closed"), messageOf([&] { r->read(buf, 1); }));
    EXPECT_EQ(ioText("MemoryStream::read: Stream is closed"), messageOf([&] { r->peek(buf, 1); }));
}

} // namespace
