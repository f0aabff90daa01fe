// core::DataIO's budget, float and boolean checks and failures. The byte layout is checked by the
// M3G loader tests on files built byte by byte, every record's round trip by the dataio fuzz target.
#include "core/DataIO.h"
#include "core/M3GRecords.h"
#include "core/MemoryStream.h"
#include "support/EngineFixture.h"
#include "support/ErrorText.h"
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>

using namespace testsupport;

namespace {

const std::string SMALL_BUFFER = ioText("Small stream buffer");
const std::string SHORT_READ = ioText("failed to read correct amount of bytes from stream");

class DataIOTest : public CoreTest {
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

std::string floatBytes(uint32_t bits) {
    return std::string{(char)bits, (char)(bits >> 8), (char)(bits >> 16), (char)(bits >> 24)};
}

TEST_F(DataIOTest, CountsPastTheBudgetOrTheStreamFailBeforeAnythingIsStoredOrAllocated) {
    // Counts of about 4 MB with a budget far past the stream's end (an object claiming more than
    // its section holds): the stream's end refuses them before the pool is asked for the elements.
    const std::string huge = std::string("\x00\x00\x10\x00", 4) + "abcdefgh";
    const std::string noTracks(8, '\0'); // userID and track count before the parameter count
    core::Vector<unsigned char> bytes;
    bytes.append(1);
    core::Vector<unsigned short> shorts;
    core::Vector<unsigned int> ints;
    core::Object3DBlock object;
    auto readBytes = [&](core::DataIO& r) { r.readByteArray(bytes); };
    auto readInts = [&](core::DataIO& r) { r.readUInt32Array(ints); };
    auto readObject = [&](core::DataIO& r) { r.readObject3D(object); };
    const struct {
        std::string data;
        long budget;
        const std::string& message;
        int seek; // where the stream stands after a budget failure
        std::function<void(core::DataIO&)> read;
    } cases[] = {
        {"\x01\x02\x03\x04\x05", 3, SMALL_BUFFER, 0, [](core::DataIO& r) { r.readUInt32(); }},
        // A Byte[] whose count exceeds the budget fails after the count, before any element.
        {std::string("\x10\x00\x00\x00", 4) + "abcdefgh", -1, SMALL_BUFFER, 4, readBytes},
        // Arrays of wider elements and parameter lists check their whole size up front.
        {std::string("\xFF\xFF\xFF\x7F", 4) + "abcd", -1, SMALL_BUFFER, 4, readInts},
        {noTracks + "\xFF\xFF\xFF\xFF" + "abcdefgh", -1, SMALL_BUFFER, 12, readObject},
        {huge, 0xFFFFFFFFu, SHORT_READ, -1, readBytes},
        {huge, 0xFFFFFFFFu, SHORT_READ, -1, [&](core::DataIO& r) { r.readUInt16Array(shorts); }},
        {huge, 0xFFFFFFFFu, SHORT_READ, -1, readInts},
        {noTracks + huge, 0xFFFFFFFFu, SHORT_READ, -1, readObject},
    };
    StderrCapture quiet;
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        core::Ref<core::DataIO> r = reader(c.data, c.budget);
        EXPECT_EQ(c.message, messageOf([&] { c.read(*r); }));
        if (c.seek >= 0) {
            EXPECT_EQ(c.seek, input->getSeek());
        }
    }
    EXPECT_LT(core.pool().getPeakUsedBytes(), 64 * 1024) << "the elements were allocated";
    EXPECT_EQ(1, bytes.size()) << "nothing was stored";
    EXPECT_EQ(0, object.parameters.size());
}

TEST_F(DataIOTest, StringUsesOneBudgetUnitPerByteAndNeedsItsTerminator) {
    std::string noTerminator = ioText("Small stream buffer or string does not contain terminating NULL");
    core::Ref<core::DataIO> r = reader(std::string("abc\0", 4), 3);
    EXPECT_EQ(noTerminator, messageOf([&] { r->readString(); }));
    r = reader("abcdef");
    EXPECT_EQ(noTerminator, messageOf([&] { r->readString(); }));

    // Bytes above 127 come back as they went in.
    writer->writeString("caf\xE9");
    EXPECT_STREQ("caf\xE9", reader(written())->readString().c_str());
}

TEST_F(DataIOTest, NonFiniteFloatsAndOtherBooleansAreRefused) {
    std::string invalid = ioText("Invalid floating point number");
    for (uint32_t bits : {0x7F800000u, 0xFF800000u, 0x7FC00000u, 0xFFFFFFFFu, 0x7F800001u}) {
        core::Ref<core::DataIO> r = reader(floatBytes(bits));
        EXPECT_EQ(invalid, messageOf([&] { r->readFloat32(); })) << std::hex << bits;
    }
    EXPECT_EQ(-core::DataIO::FLOAT_LIMIT, reader(floatBytes(0xFF7FFFFFu))->readFloat32());

    // One bad float in a vector fails the vector.
    core::Ref<core::DataIO> r = reader(floatBytes(0x3F800000u) + floatBytes(0x7FC00000u) + floatBytes(0));
    EXPECT_EQ(invalid, messageOf([&] { r->readVector3D(); }));

    for (float f :
         {std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(), std::nanf("")})
        EXPECT_EQ(invalid, messageOf([&] { writer->writeFloat32(f); })) << f;
    EXPECT_EQ(0, out->size()) << "nothing was written for a refused float";
    writer->writeFloat32(-0.0f);
    writer->writeFloat32(core::DataIO::FLOAT_LIMIT);
    EXPECT_EQ(std::string(4, '\0') + floatBytes(0x7F7FFFFFu), written()) << "-0.0 is written as +0.0";
    writer->writeInt16(-2);
    EXPECT_EQ(-2, reader(written().substr(8))->readInt16()) << "16-bit values keep their sign";

    r = reader(std::string("\x00\x02", 2));
    EXPECT_FALSE(r->readBoolean());
    EXPECT_EQ(ioText("Deserialized boolean data not '1' or '0'."), messageOf([&] { r->readBoolean(); }));
}

// A stream that accepts only part of each write: a full disk, say.
class HalfWriteStream : public core::MemoryStream {
public:
    int write(const void* buffer, int count) override { return core::MemoryStream::write(buffer, count / 2); }
    core::String getName() override { return "half"; }
};

TEST_F(DataIOTest, ShortReadOrWriteFailsAndNothingIsRolledBack) {
    core::Ref<core::DataIO> r = reader(std::string("\x01\x02", 2), 100);
    StderrCapture capture;
    EXPECT_EQ(SHORT_READ, messageOf([&] { r->readUInt32(); }));
    std::string line = " ERROR  |IO error (): \"failed to read correct amount of bytes from stream\"\n";
    EXPECT_NE(capture.finish().find(line), std::string::npos);
    EXPECT_EQ(96u, r->getCount());

    core::Ref<core::DataIO> w(M3D_NEW core::DataIO(M3D_NEW HalfWriteStream(), 0));
    EXPECT_EQ(ioText("failed to write correct amount of bytes to stream", "half"),
              messageOf([&] { w->writeUInt32(1); }));
    EXPECT_EQ(2u, w->getCount());
}

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
        EXPECT_EQ(ioText("Keyframe sequence holds fewer values than its counts declare"),
                  messageOf([&] { writer->writeKeyframeSequence(*r); }));
        EXPECT_EQ(0, out->size()) << "written in part";
    }
    shortValues.floatValues.resize(8);
    writer->writeKeyframeSequence(shortValues);
    EXPECT_EQ(23 + 2 * (4 + 16), out->size());
}

} // namespace
