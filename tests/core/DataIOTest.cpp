// core::DataIO: round trips of every value, the budget, the float and boolean
// checks, and the failure routine's line and exception.
#include "core/DataIO.h"
#include "core/FileStream.h"
#include "core/IOException.h"
#include "core/M3GRecords.h"
#include "core/MemoryStream.h"
#include "support/EngineFixture.h"
#include "support/TempDir.h"
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <string>

using testsupport::StderrCapture;

namespace {

class DataIOTest : public testsupport::CoreTest {
protected:
    core::Ref<core::MemoryStream> out{M3D_NEW core::MemoryStream()};
    core::Ref<core::DataIO> writer{M3D_NEW core::DataIO(out.get(), 0)};

    std::string written() const { return std::string((const char*)out->data(), (size_t)out->size()); }

    // A reader over bytes with the given budget (all of them by default).
    core::Ref<core::DataIO> reader(const std::string& bytes, long budget = -1) {
        input = M3D_NEW core::MemoryStream(bytes.data(), (int)bytes.size(), false);
        return core::Ref<core::DataIO>(
            M3D_NEW core::DataIO(input.get(), budget < 0 ? (unsigned)bytes.size() : (unsigned)budget));
    }
    core::Ref<core::MemoryStream> input;
};

template <typename F> std::string messageOf(F f) {
    try {
        f();
    } catch (const core::IOException& e) {
        return e.getMessage();
    }
    return "<no exception>";
}
std::string ioText(const std::string& message) { return "IO Name: . Message: " + message; }

std::string floatBytes(uint32_t bits) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[(size_t)i] = (char)(bits >> (8 * i));
    return s;
}

TEST_F(DataIOTest, EveryPrimitiveRoundTripsLittleEndian) {
    writer->writeByte(0xAB);
    writer->writeBoolean(true);
    writer->writeBoolean(false);
    writer->writeInt16(-2);
    writer->writeUInt16(0xBEEF);
    writer->writeInt32(-123456789);
    writer->writeUInt32(0x11223344u);
    writer->writeFloat32(-1.5f);
    writer->writeFloat32(core::DataIO::FLOAT_LIMIT);
    writer->writeString("abc");
    writer->writeString("");
    writer->writeColorRGB({1, 2, 3});
    writer->writeColorRGBA({4, 5, 6, 7});
    writer->writeVector3D({0.25f, -8.0f, 1e-30f});
    core::Matrix m;
    for (int i = 0; i < 16; ++i) m.m[i] = (float)i * 0.5f - 3.0f;
    writer->writeMatrix(m);
    core::Vector<unsigned char> bytes;
    for (int i = 0; i < 5; ++i) bytes.append((unsigned char)(200 + i));
    writer->writeByteArray(bytes);
    core::Vector<unsigned short> shorts;
    shorts.append(1);
    shorts.append(65535);
    writer->writeUInt16Array(shorts);
    core::Vector<unsigned int> ints;
    ints.append(7);
    ints.append(0xFFFFFFFFu);
    ints.append(0);
    writer->writeObjectIndexArray(ints);

    std::string data = written();
    EXPECT_EQ(out->size(), (int)writer->getCount());
    EXPECT_EQ(std::string("\x44\x33\x22\x11", 4), data.substr(11, 4)) << "little-endian";

    core::Ref<core::DataIO> r = reader(data);
    EXPECT_EQ(0xAB, r->readByte());
    EXPECT_TRUE(r->readBoolean());
    EXPECT_FALSE(r->readBoolean());
    EXPECT_EQ(-2, r->readInt16());
    EXPECT_EQ(0xBEEF, r->readUInt16());
    EXPECT_EQ(-123456789, r->readInt32());
    EXPECT_EQ(0x11223344u, r->readUInt32());
    EXPECT_EQ(-1.5f, r->readFloat32());
    EXPECT_EQ(core::DataIO::FLOAT_LIMIT, r->readFloat32()) << "the largest finite float passes";
    EXPECT_STREQ("abc", r->readString().c_str());
    EXPECT_TRUE(r->readString().isEmpty());
    core::ColorRGB rgb = r->readColorRGB();
    EXPECT_EQ(3, rgb.b);
    core::ColorRGBA rgba = r->readColorRGBA();
    EXPECT_EQ(4, rgba.r);
    EXPECT_EQ(7, rgba.a);
    core::Vector3D v = r->readVector3D();
    EXPECT_EQ(0.25f, v.x);
    EXPECT_EQ(-8.0f, v.y);
    EXPECT_EQ(1e-30f, v.z);
    core::Matrix m2 = r->readMatrix();
    EXPECT_EQ(0, std::memcmp(m.m, m2.m, sizeof m.m));
    core::Vector<unsigned char> bytes2;
    r->readByteArray(bytes2);
    ASSERT_EQ(5, bytes2.size());
    EXPECT_EQ(204, bytes2[4]);
    core::Vector<unsigned short> shorts2;
    r->readUInt16Array(shorts2);
    ASSERT_EQ(2, shorts2.size());
    EXPECT_EQ(65535, shorts2[1]);
    core::Vector<unsigned int> ints2;
    r->readUInt32Array(ints2);
    ASSERT_EQ(3, ints2.size());
    EXPECT_EQ(0xFFFFFFFFu, ints2[1]);
    EXPECT_EQ(0u, r->getCount()) << "the budget is used up exactly";
    EXPECT_EQ(ioText("Small stream buffer"), messageOf([&] { r->readByte(); }));
}

TEST_F(DataIOTest, CompoundRecordsRoundTripInFieldOrder) {
    core::M3GHeader h;
    h.versionMajor = 1;
    h.versionMinor = 0;
    h.hasExternalReferences = true;
    h.totalFileSize = 123456;
    h.approximateContentSize = 654321;
    h.authoringField = "Blender export";
    writer->writeHeader(h);

    core::Object3DBlock o;
    o.userID = 77;
    o.animationTracks.append(3);
    o.animationTracks.append(9);
    core::UserParameter p;
    p.parameterID = 5;
    p.value.append('x');
    p.value.append('y');
    o.parameters.append(p);
    core::UserParameter empty;
    empty.parameterID = 6;
    o.parameters.append(empty);
    writer->writeObject3D(o);

    core::TransformableBlock t;
    t.hasComponentTransform = true;
    t.component.translation = {1, 2, 3};
    t.component.scale = {4, 5, 6};
    t.component.orientationAngle = 90.0f;
    t.component.orientationAxis = {0, 1, 0};
    t.hasGeneralTransform = false;
    writer->writeTransformable(t);
    core::TransformableBlock g;
    g.hasGeneralTransform = true;
    g.general.m[12] = 42.0f;
    writer->writeTransformable(g);
    writer->writeComponentTransform(t.component);

    core::Ref<core::DataIO> r = reader(written());
    core::M3GHeader h2;
    r->readHeader(h2);
    EXPECT_TRUE(h2.hasExternalReferences);
    EXPECT_EQ(654321u, h2.approximateContentSize);
    EXPECT_STREQ("Blender export", h2.authoringField.c_str());
    core::Object3DBlock o2;
    r->readObject3D(o2);
    EXPECT_EQ(77u, o2.userID);
    ASSERT_EQ(2, o2.animationTracks.size());
    EXPECT_EQ(9u, o2.animationTracks[1]);
    ASSERT_EQ(2, o2.parameters.size());
    EXPECT_EQ(5u, o2.parameters[0].parameterID);
    ASSERT_EQ(2, o2.parameters[0].value.size());
    EXPECT_EQ('y', o2.parameters[0].value[1]);
    EXPECT_EQ(0, o2.parameters[1].value.size());
    core::TransformableBlock t2;
    r->readTransformable(t2);
    EXPECT_TRUE(t2.hasComponentTransform);
    EXPECT_FALSE(t2.hasGeneralTransform);
    EXPECT_EQ(5.0f, t2.component.scale.y);
    EXPECT_EQ(1.0f, t2.component.orientationAxis.y);
    core::TransformableBlock g2;
    r->readTransformable(g2);
    EXPECT_FALSE(g2.hasComponentTransform);
    EXPECT_TRUE(g2.hasGeneralTransform);
    EXPECT_EQ(42.0f, g2.general.m[12]);
    core::ComponentTransform c2;
    r->readComponentTransform(c2);
    EXPECT_EQ(2.0f, c2.translation.y);
    EXPECT_EQ(0u, r->getCount());
}

TEST_F(DataIOTest, BudgetFailsBeforeTheStreamIsTouched) {
    core::Ref<core::DataIO> r = reader("\x01\x02\x03\x04\x05", 3);
    EXPECT_EQ(ioText("Small stream buffer"), messageOf([&] { r->readUInt32(); }));
    EXPECT_EQ(0, input->getSeek());
    EXPECT_EQ(3u, r->getCount());

    // A Byte[] whose count exceeds the budget fails after the count, before any element.
    std::string array = std::string("\x10\x00\x00\x00", 4) + "abcdefgh";
    r = reader(array);
    core::Vector<unsigned char> bytes;
    bytes.append(1);
    EXPECT_EQ(ioText("Small stream buffer"), messageOf([&] { r->readByteArray(bytes); }));
    EXPECT_EQ(4, input->getSeek());
    EXPECT_EQ(1, bytes.size()) << "nothing was stored";

    // Arrays of wider elements and parameter lists check their whole size up front.
    r = reader(std::string("\xFF\xFF\xFF\x7F", 4) + "abcd");
    core::Vector<unsigned int> ints;
    EXPECT_EQ(ioText("Small stream buffer"), messageOf([&] { r->readUInt32Array(ints); }));
    EXPECT_EQ(4, input->getSeek());
    r = reader(std::string("\x00\x00\x00\x00\x00\x00\x00\x00\xFF\xFF\xFF\xFF", 12) + "abcdefgh");
    core::Object3DBlock o;
    EXPECT_EQ(ioText("Small stream buffer"), messageOf([&] { r->readObject3D(o); }));
    EXPECT_EQ(0, o.parameters.size());
}

TEST_F(DataIOTest, StringUsesOneBudgetUnitPerByteAndNeedsItsTerminator) {
    core::Ref<core::DataIO> r = reader(std::string("abc\0rest", 8));
    EXPECT_STREQ("abc", r->readString().c_str());
    EXPECT_EQ(4u, r->getCount());

    std::string noTerminator = ioText("Small stream buffer or string does not contain terminating NULL");
    r = reader(std::string("abc\0", 4), 3);
    EXPECT_EQ(noTerminator, messageOf([&] { r->readString(); }));
    r = reader("abcdef");
    EXPECT_EQ(noTerminator, messageOf([&] { r->readString(); }));

    // Bytes above 127 come back as they went in.
    writer->writeString("caf\xE9");
    r = reader(written());
    EXPECT_STREQ("caf\xE9", r->readString().c_str());
}

TEST_F(DataIOTest, NonFiniteFloatsAreRefusedBothWays) {
    std::string invalid = ioText("Invalid floating point number");
    for (uint32_t bits : {0x7F800000u, 0xFF800000u, 0x7FC00000u, 0xFFFFFFFFu, 0x7F800001u}) {
        core::Ref<core::DataIO> r = reader(floatBytes(bits));
        EXPECT_EQ(invalid, messageOf([&] { r->readFloat32(); })) << std::hex << bits;
    }
    core::Ref<core::DataIO> r = reader(floatBytes(0xFF7FFFFFu));
    EXPECT_EQ(-core::DataIO::FLOAT_LIMIT, r->readFloat32());

    // One bad float in a vector fails the vector.
    r = reader(floatBytes(0x3F800000u) + floatBytes(0x7FC00000u) + floatBytes(0));
    EXPECT_EQ(invalid, messageOf([&] { r->readVector3D(); }));

    EXPECT_EQ(invalid, messageOf([&] { writer->writeFloat32(std::numeric_limits<float>::infinity()); }));
    EXPECT_EQ(invalid, messageOf([&] { writer->writeFloat32(-std::numeric_limits<float>::infinity()); }));
    EXPECT_EQ(invalid, messageOf([&] { writer->writeFloat32(std::nanf("")); }));
    EXPECT_EQ(0, out->size()) << "nothing was written for a refused float";

    writer->writeFloat32(-0.0f);
    EXPECT_EQ(std::string(4, '\0'), written()) << "-0.0 is written as +0.0";
}

TEST_F(DataIOTest, BooleanMustBeZeroOrOne) {
    core::Ref<core::DataIO> r = reader(std::string("\x01\x00\x02", 3));
    EXPECT_TRUE(r->readBoolean());
    EXPECT_FALSE(r->readBoolean());
    EXPECT_EQ(ioText("Deserialized boolean data not '1' or '0'."), messageOf([&] { r->readBoolean(); }));
}

TEST_F(DataIOTest, ShortReadFailsAndNothingIsRolledBack) {
    core::Ref<core::DataIO> r = reader(std::string("\x01\x02", 2), 100);
    StderrCapture capture;
    EXPECT_EQ(ioText("failed to read correct amount of bytes from stream"), messageOf([&] { r->readUInt32(); }));
    std::string log = capture.finish();
    EXPECT_NE(std::string::npos,
              log.find(" ERROR  |IO error (): \"failed to read correct amount of bytes from stream\"\n"))
        << log;
    EXPECT_EQ(96u, r->getCount());
}

TEST_F(DataIOTest, ArraysLongerThanTheStreamFailBeforeAnythingIsAllocated) {
    // A budget far past the stream's end (an object claiming more than its
    // section holds), and counts of about 4 MB: the stream's end refuses them
    // before the pool is asked for the elements.
    const std::string count = std::string("\x00\x00\x10\x00", 4);
    const std::function<void(core::DataIO&)> reads[] = {
        [](core::DataIO& r) { core::Vector<unsigned char> v; r.readByteArray(v); },
        [](core::DataIO& r) { core::Vector<unsigned short> v; r.readUInt16Array(v); },
        [](core::DataIO& r) { core::Vector<unsigned int> v; r.readUInt32Array(v); },
        [](core::DataIO& r) { core::Object3DBlock o; r.readObject3D(o); }, // userID, no tracks, the parameter count
    };
    int i = 0;
    for (const auto& read : reads) {
        SCOPED_TRACE(i++);
        std::string bytes = (i == 4 ? std::string(8, '\0') : std::string()) + count + "abcdefgh";
        core::Ref<core::DataIO> r = reader(bytes, 0xFFFFFFFFu);
        testsupport::StderrCapture quiet;
        EXPECT_EQ(ioText("failed to read correct amount of bytes from stream"), messageOf([&] { read(*r); }));
        EXPECT_LT(core.pool().getPeakUsedBytes(), 64 * 1024) << "the elements were allocated";
    }
}

// A stream that accepts only part of each write: a full disk, say.
class HalfWriteStream : public core::Stream {
public:
    int write(const void*, int count) override { return count / 2; }
    int read(void*, int) override { return 0; }
    int peek(void*, int) override { return 0; }
    int setSeek(int) override { return 0; }
    void close() override {}
    int getSeek() override { return 0; }
    int available() override { return 0; }
    core::String getName() override { return "half"; }
};

TEST_F(DataIOTest, KeyframeSequenceWithFewerValuesThanItsCountsIsNotWritten) {
    // As read with an encoding that has no layout: counts, no values.
    std::string bytes = std::string("\xB0\xC0\x09", 3) + std::string(12, '\0') +
                        std::string("\x00\x00\x00\x40\x00\x00\x01\x00", 8);
    core::KeyframeSequenceRecord unknown;
    reader(bytes)->readKeyframeSequence(unknown);
    ASSERT_EQ(9, unknown.encoding);
    core::KeyframeSequenceRecord noBias;
    noBias.encoding = 1;
    noBias.componentCount = 3;
    noBias.keyframeCount = 1;
    noBias.times.append(0);
    noBias.byteValues.resize(3);
    core::KeyframeSequenceRecord shortValues;
    shortValues.componentCount = 4;
    shortValues.keyframeCount = 2;
    shortValues.times.resize(2);
    shortValues.floatValues.resize(7);
    StderrCapture quiet;
    for (const core::KeyframeSequenceRecord* r : {&unknown, &noBias, &shortValues}) {
        int before = out->size();
        EXPECT_EQ(ioText("Keyframe sequence holds fewer values than its counts declare"),
                  messageOf([&] { writer->writeKeyframeSequence(*r); }));
        EXPECT_EQ(before, out->size()) << "written in part";
    }
    shortValues.floatValues.resize(8);
    writer->writeKeyframeSequence(shortValues);
    EXPECT_EQ(23 + 2 * (4 + 16), out->size());
}

TEST_F(DataIOTest, ShortWriteFails) {
    core::Ref<core::DataIO> w(M3D_NEW core::DataIO(M3D_NEW HalfWriteStream(), 0));
    EXPECT_EQ("IO Name: half. Message: failed to write correct amount of bytes to stream",
              messageOf([&] { w->writeUInt32(1); }));
    EXPECT_EQ(2u, w->getCount());
}

} // namespace
