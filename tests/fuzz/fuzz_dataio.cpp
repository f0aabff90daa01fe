// Fuzz target: core::DataIO's readers, driven by the input itself.
//
// Byte 0 chooses the budget against the bytes that follow (all of them, fewer,
// a few or many more than the stream holds, or unlimited), so the budget check
// and the stream's end both get to stop a read, and declared counts far past
// the stream reach the pool. Then each step reads an opcode byte
// through the reader and calls the reader it names, until a read fails.
// Every record that reads is written with its writer, read again and written
// again: the copy must take as many bytes as the original, and both writes
// must give the same bytes.
#include "FuzzEngine.h"
#include "core/DataIO.h"
#include "ClassRecords.h"
#include "core/Exceptions.h"
#include "core/MemoryStream.h"
#include <cstring>

namespace {

const char* WHAT = "fuzz_dataio";

// A record as its writer puts it down.
template <typename T, typename W> core::Ref<core::MemoryStream> written(const T& value, W write) {
    core::Ref<core::MemoryStream> out = M3D_NEW core::MemoryStream();
    core::Ref<core::DataIO> writer = M3D_NEW core::DataIO(out.get(), 0);
    write(*writer, value);
    if (writer->getCount() != (unsigned int)out->size()) fuzzsupport::fault(WHAT, "a writer miscounted its bytes");
    return out;
}

// Writes `value` (read from `consumed` bytes), reads the copy back and writes
// it again: the copy must take exactly `consumed` bytes, read back to its end,
// and write the same bytes once more, so reader and writer agree field by field.
template <typename T, typename W, typename R> void roundTrip(const T& value, unsigned int consumed, W write, R read) {
    core::Ref<core::MemoryStream> first = written(value, write);
    if ((unsigned int)first->size() != consumed)
        fuzzsupport::fault(WHAT, "a record written back takes another number of bytes than it was read from");
    core::Ref<core::MemoryStream> in = M3D_NEW core::MemoryStream(first->data(), first->size(), true);
    core::Ref<core::DataIO> reader = M3D_NEW core::DataIO(in.get(), consumed);
    T copy;
    read(*reader, copy);
    if (reader->getCount() != 0 || in->available() != 0)
        fuzzsupport::fault(WHAT, "a record written back does not read back to its end");
    core::Ref<core::MemoryStream> second = written(copy, write);
    if (second->size() != first->size() || std::memcmp(first->data(), second->data(), (size_t)first->size()) != 0)
        fuzzsupport::fault(WHAT, "a record written back reads back different");
}

// Reads one record with `reader` and round-trips it through `writer`.
#define ROUND_TRIP(Type, reader, writer)                                                                       \
    do {                                                                                                       \
        unsigned int start = io.getCount();                                                                    \
        Type v;                                                                                                \
        io.reader(v);                                                                                          \
        roundTrip(v, start - io.getCount(), [](core::DataIO& w, const Type& x) { w.writer(x); },               \
                  [](core::DataIO& r, Type& x) { r.reader(x); });                                              \
    } while (0)

// The same for readers that return their value.
#define ROUND_TRIP_VALUE(Type, reader, writer)                                                                 \
    do {                                                                                                       \
        unsigned int start = io.getCount();                                                                    \
        Type v = io.reader();                                                                                  \
        roundTrip(v, start - io.getCount(), [](core::DataIO& w, const Type& x) { w.writer(x); },               \
                  [](core::DataIO& r, Type& x) { x = r.reader(); });                                           \
    } while (0)

const int OPCODES = FIRST_CLASS_RECORD + CLASS_RECORD_COUNT;

void step(core::DataIO& io, unsigned char op) {
    switch (op % OPCODES) {
    case 0: io.readByte(); break;
    case 1: io.readBoolean(); break;
    case 2: io.readInt16(); break;
    case 3: io.readUInt32(); break;
    case 4: io.readFloat32(); break;
    case 5: ROUND_TRIP_VALUE(core::String, readString, writeString); break;
    case 6: io.readColorRGB(); break;
    case 7: io.readColorRGBA(); break;
    case 8: ROUND_TRIP_VALUE(core::Vector3D, readVector3D, writeVector3D); break;
    case 9: ROUND_TRIP_VALUE(core::Matrix, readMatrix, writeMatrix); break;
    case 10: ROUND_TRIP(core::Vector<unsigned char>, readByteArray, writeByteArray); break;
    case 11: ROUND_TRIP(core::Vector<unsigned short>, readUInt16Array, writeUInt16Array); break;
    case 12: ROUND_TRIP(core::Vector<unsigned int>, readUInt32Array, writeUInt32Array); break;
    case 13: ROUND_TRIP(core::M3GHeader, readHeader, writeHeader); break;
    case 14: ROUND_TRIP(core::Object3DBlock, readObject3D, writeObject3D); break;
    case 15: ROUND_TRIP(core::TransformableBlock, readTransformable, writeTransformable); break;
    case 16: ROUND_TRIP(core::ComponentTransform, readComponentTransform, writeComponentTransform); break;
    default: {
        int record = op % OPCODES - FIRST_CLASS_RECORD;
        int n = 0;
#define CLASS_CASE(Type, Name)                                                                                 \
    if (record == n++) {                                                                                       \
        ROUND_TRIP(core::Type, read##Name, write##Name);                                                       \
        return;                                                                                                \
    }
        CLASS_RECORDS(CLASS_CASE)
#undef CLASS_CASE
    }
    }
}

// The budget byte 0 asks for over `bytes` bytes of stream.
unsigned int budgetFor(unsigned char mode, unsigned int bytes) {
    unsigned int delta = mode >> 2;
    switch (mode & 3) {
    case 0: return bytes;
    case 1: return bytes > delta ? bytes - delta : 0;
    case 2: return bytes + delta;
    default: return delta == 63 ? 0xFFFFFFFFu : bytes + delta * 64;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::startEngine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::startEngine();
    if (size < 1 || size > 0x7FFFFFF) return -1;
    fuzzsupport::PoolState before = fuzzsupport::poolState();
    {
        core::Ref<core::MemoryStream> stream = M3D_NEW core::MemoryStream(data + 1, (int)size - 1, true);
        core::Ref<core::DataIO> io = M3D_NEW core::DataIO(stream.get(), budgetFor(data[0], (unsigned int)size - 1));
        try {
            for (int i = 0; i < 4096; ++i) {
                unsigned int budget = io->getCount();
                int position = stream->getSeek();
                unsigned char op = io->readByte();
                step(*io, op);
                // A read takes from the budget exactly what it takes from the stream.
                if (budget - io->getCount() != (unsigned int)(stream->getSeek() - position))
                    fuzzsupport::fault(WHAT, "the budget and the stream moved apart");
            }
        } catch (const Morva3DException&) {
        }
    }
    fuzzsupport::requireSamePool(before, WHAT);
    return 0;
}
