// core::MemoryStream: the copy and in-place read forms, write mode, close.
#include "core/IOException.h"
#include "core/MemoryStream.h"
#include "support/EngineFixture.h"
#include <cstring>
#include <string>

namespace {

class MemoryStreamTest : public testsupport::CoreTest {};

std::string ioText(const std::string& message) { return "IO Name: . Message: " + message; }

template <typename F> std::string messageOf(F f) {
    try {
        f();
    } catch (const core::IOException& e) {
        return e.getMessage();
    }
    return "<no exception>";
}

TEST_F(MemoryStreamTest, CopyFormOwnsItsBytes) {
    unsigned char source[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    core::Ref<core::MemoryStream> s(M3D_NEW core::MemoryStream(source, 8, false));
    std::memset(source, 0, sizeof source);
    unsigned char buf[16];
    EXPECT_EQ(8, s->available());
    EXPECT_EQ(3, s->read(buf, 3));
    EXPECT_EQ(3, buf[2]);
    // Past the end: only what is left.
    EXPECT_EQ(5, s->read(buf, 16));
    EXPECT_EQ(8, buf[4]);
    EXPECT_EQ(0, s->read(buf, 16));
    EXPECT_EQ(8, s->getSeek());
    EXPECT_STREQ("", s->getName().c_str());
}

TEST_F(MemoryStreamTest, InPlaceFormReadsTheCallersBytes) {
    unsigned char source[4] = {9, 8, 7, 6};
    core::Ref<core::MemoryStream> s(M3D_NEW core::MemoryStream(source, 4, true));
    source[1] = 42;
    unsigned char buf[4];
    EXPECT_EQ(2, s->peek(buf, 2));
    EXPECT_EQ(42, buf[1]);
    EXPECT_EQ(0, s->getSeek());
    EXPECT_EQ(ioText("MemoryStream::read: Too small buffer"), messageOf([&] { s->peek(buf, 5); }));
    EXPECT_EQ(0, s->getSeek());
    EXPECT_EQ(source, s->data());
}

TEST_F(MemoryStreamTest, SeekIsClampedToTheData) {
    unsigned char source[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    core::Ref<core::MemoryStream> s(M3D_NEW core::MemoryStream(source, 10, true));
    unsigned char buf[16] = {};
    EXPECT_EQ(6, s->setSeek(6));
    EXPECT_EQ(4, s->available());
    EXPECT_EQ(-2, s->setSeek(4));
    EXPECT_EQ(4, s->read(buf, 4));
    EXPECT_EQ(7, buf[3]);

    EXPECT_EQ(2, s->setSeek(1000)) << "the position stops at the end";
    EXPECT_EQ(10, s->getSeek());
    EXPECT_EQ(0, s->available());
    EXPECT_EQ(0, s->read(buf, 16));

    EXPECT_EQ(-10, s->setSeek(-5)) << "the position stops at the start";
    EXPECT_EQ(10, s->available());
    EXPECT_EQ(10, s->read(buf, 16));
    EXPECT_EQ(9, buf[9]);
}

TEST_F(MemoryStreamTest, ReadOnlyAndClosedStreamsRefuse) {
    unsigned char source[4] = {1, 2, 3, 4};
    core::Ref<core::MemoryStream> s(M3D_NEW core::MemoryStream(source, 4, false));
    unsigned char buf[4];
    EXPECT_EQ(ioText("MemoryStream::write: Opened stream is read-only"), messageOf([&] { s->write(buf, 1); }));
    s->close();
    EXPECT_EQ(core::MemoryStream::CLOSED, s->getMode());
    EXPECT_EQ(ioText("MemoryStream::write: Stream is closed"), messageOf([&] { s->write(buf, 1); }));
    EXPECT_EQ(ioText("MemoryStream::read: Stream is closed"), messageOf([&] { s->read(buf, 1); }));
    EXPECT_EQ(ioText("MemoryStream::read: Stream is closed"), messageOf([&] { s->peek(buf, 1); }));
}

TEST_F(MemoryStreamTest, WriteModeCollectsBytesAndCannotBeRead) {
    core::Ref<core::MemoryStream> s(M3D_NEW core::MemoryStream());
    EXPECT_EQ(3, s->write("abc", 3));
    EXPECT_EQ(2, s->write("de", 2));
    EXPECT_EQ(5, s->size());
    s->setSeek(1);
    EXPECT_EQ(1, s->write("X", 1)) << "overwrite inside the data";
    EXPECT_EQ(5, s->size());
    EXPECT_EQ("aXcde", std::string((const char*)s->data(), 5));
    unsigned char buf[4];
    std::string writeMode = ioText("MemoryStream::read: Opened stream is opened in write mode");
    EXPECT_EQ(writeMode, messageOf([&] { s->read(buf, 1); }));
    EXPECT_EQ(writeMode, messageOf([&] { s->peek(buf, 1); }));
    EXPECT_EQ(writeMode, messageOf([&] { s->available(); }));
    s->close();
    EXPECT_EQ(nullptr, s->data());
}

} // namespace
