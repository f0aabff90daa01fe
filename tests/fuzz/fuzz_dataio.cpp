// Fuzz target: core::DataIO's readers. Byte 0 chooses the budget against the
// bytes that follow (all, fewer, a few or many more, or unlimited), so both the
// budget and the stream's end stop reads, and counts far past the stream reach
// the pool. Then each step reads an opcode byte and calls the record reader it
// names (Records.h), until a read fails; each record read is round-tripped.
#include "FuzzEngine.h"
#include "core/DataIO.h"
#include "Records.h"
#include "core/Exceptions.h"
#include "core/MemoryStream.h"
#include <cstring>

namespace {

using core::DataIO;

const char* WHAT = "fuzz_dataio";

// A record as its writer puts it down.
template <typename T> core::Ref<core::MemoryStream> written(const T& value, void (DataIO::*write)(const T&)) {
    core::Ref<core::MemoryStream> out = M3D_NEW core::MemoryStream();
    core::Ref<DataIO> writer = M3D_NEW DataIO(out.get(), 0);
    ((*writer).*write)(value);
    if (writer->getCount() != (unsigned int)out->size())
        fuzzsupport::fault(WHAT, "a writer miscounted its bytes");
    return out;
}

// Reads a record and writes it, reads the copy back and writes it again: the
// copy must take as many bytes as the record, read back to its end and write
// the same bytes, so reader and writer agree field by field.
template <typename T, typename R> void roundTrip(DataIO& io, R read, void (DataIO::*write)(const T&)) {
    unsigned int start = io.getCount();
    T value;
    read(io, value);
    unsigned int consumed = start - io.getCount();
    core::Ref<core::MemoryStream> first = written(value, write);
    if ((unsigned int)first->size() != consumed)
        fuzzsupport::fault(WHAT, "a record written back takes another number of bytes than it was read from");
    core::Ref<core::MemoryStream> in = M3D_NEW core::MemoryStream(first->data(), first->size(), true);
    core::Ref<DataIO> reader = M3D_NEW DataIO(in.get(), consumed);
    T copy;
    read(*reader, copy);
    if (reader->getCount() != 0 || in->available() != 0)
        fuzzsupport::fault(WHAT, "a record written back does not read back to its end");
    core::Ref<core::MemoryStream> second = written(copy, write);
    if (second->size() != first->size() ||
        std::memcmp(first->data(), second->data(), (size_t)first->size()) != 0)
        fuzzsupport::fault(WHAT, "a record written back reads back different");
}

// For readers that fill a record, and for readers that return it.
template <typename T> void check(DataIO& io, void (DataIO::*read)(T&), void (DataIO::*write)(const T&)) {
    roundTrip(
        io, [read](DataIO& r, T& v) { (r.*read)(v); }, write);
}
template <typename T> void check(DataIO& io, T (DataIO::*read)(), void (DataIO::*write)(const T&)) {
    roundTrip(
        io, [read](DataIO& r, T& v) { v = (r.*read)(); }, write);
}

typedef void (*Step)(DataIO&);

#define STEP(Type, Name) [](DataIO& io) { check<core::Type>(io, &DataIO::read##Name, &DataIO::write##Name); },
const Step STEPS[] = {RECORDS(STEP)};
#undef STEP
const unsigned STEP_COUNT = sizeof STEPS / sizeof STEPS[0];

// The budget byte 0 asks for over `bytes` bytes of stream.
unsigned int budgetFor(unsigned char mode, unsigned int bytes) {
    unsigned int delta = mode >> 2;
    if ((mode & 3) == 1) return bytes > delta ? bytes - delta : 0;
    if ((mode & 3) == 2) return bytes + delta;
    if ((mode & 3) == 3) return delta == 63 ? 0xFFFFFFFFu : bytes + delta * 64;
    return bytes;
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
        core::Ref<DataIO> io = M3D_NEW DataIO(stream.get(), budgetFor(data[0], (unsigned int)size - 1));
        try {
            for (int i = 0; i < 4096; ++i) {
                unsigned int budget = io->getCount();
                int position = stream->getSeek();
                STEPS[io->readByte() % STEP_COUNT](*io);
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
