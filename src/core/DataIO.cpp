// core::DataIO: M3G values, little-endian, one primitive per stream call.
#include "core/DataIO.h"
#include "core/DebugLog.h"
#include "core/IOException.h"
#include <cstdint>
#include <cstring>

namespace core {
namespace {
const char* SMALL_BUFFER = "Small stream buffer";
const char* SHORT_READ = "failed to read correct amount of bytes from stream";
const char* SHORT_WRITE = "failed to write correct amount of bytes to stream";
const char* NO_TERMINATOR = "Small stream buffer or string does not contain terminating NULL";
const char* BAD_FLOAT = "Invalid floating point number";
const char* BAD_BOOLEAN = "Deserialized boolean data not '1' or '0'.";

// The most one stream call can move.
const unsigned int MAX_CALL = 0x7FFFFFFFu;

uint32_t le32(const unsigned char* b) {
    return (uint32_t)b[0] | ((uint32_t)b[1] << 8) | ((uint32_t)b[2] << 16) | ((uint32_t)b[3] << 24);
}
void put32(unsigned char* b, uint32_t v) {
    b[0] = (unsigned char)v;
    b[1] = (unsigned char)(v >> 8);
    b[2] = (unsigned char)(v >> 16);
    b[3] = (unsigned char)(v >> 24);
}
} // namespace

DataIO::DataIO(Stream* stream, unsigned int count) : m_stream(stream), m_count(count) { M3D_ASSERT(stream != nullptr); }

void DataIO::fail(const char* message) {
    String name = m_stream ? m_stream->getName() : String();
    log(0x1, "IO error (%s): \"%s\"\n", name.c_str(), message);
    throw IOException(message, name);
}

void DataIO::readRaw(void* buffer, unsigned int size) {
    if (m_count < size) fail(SMALL_BUFFER);
    if (size > MAX_CALL) fail(SMALL_BUFFER);
    m_count -= size;
    if (size == 0) return;
    if (m_stream->read(buffer, (int)size) != (int)size) fail(SHORT_READ);
}

void DataIO::requireBudget(unsigned int count, unsigned int elementSize) {
    unsigned long long bytes = (unsigned long long)count * elementSize;
    if (bytes > m_count) fail(SMALL_BUFFER);
    // The budget may reach past the stream's end (an object that claims more
    // bytes than its section holds). The stream's end then stops the array
    // before anything is allocated for it, with the message its first short
    // read would give: a count in a few hostile bytes never fills the pool.
    int available = m_stream->available();
    if (available >= 0 && bytes > (unsigned long long)available) fail(SHORT_READ);
}

float DataIO::checkedFloat(float v) {
    // Written so that NaN fails both comparisons.
    if (!(v >= -FLOAT_LIMIT && v <= FLOAT_LIMIT)) fail(BAD_FLOAT);
    return v;
}

unsigned char DataIO::readByte() {
    unsigned char b;
    readRaw(&b, 1);
    return b;
}

bool DataIO::readBoolean() {
    unsigned char b = readByte();
    if (b > 1) fail(BAD_BOOLEAN);
    return b == 1;
}

short DataIO::readInt16() { return (short)readUInt16(); }

unsigned short DataIO::readUInt16() {
    unsigned char b[2];
    readRaw(b, 2);
    return (unsigned short)(b[0] | (b[1] << 8));
}

int DataIO::readInt32() { return (int)readUInt32(); }

unsigned int DataIO::readUInt32() {
    unsigned char b[4];
    readRaw(b, 4);
    return le32(b);
}

float DataIO::readFloat32() {
    uint32_t bits = readUInt32();
    float v;
    std::memcpy(&v, &bits, 4);
    return checkedFloat(v);
}

String DataIO::readString() {
    Vector<char> text;
    for (;;) {
        if (m_count < 1) fail(NO_TERMINATOR);
        unsigned char c;
        readRaw(&c, 1);
        if (c == 0) break;
        text.append((char)c);
    }
    if (text.size() == 0) return String();
    text.append(0);
    return String(text.data());
}

ColorRGB DataIO::readColorRGB() {
    unsigned char b[3];
    readRaw(b, 3);
    ColorRGB c = {b[0], b[1], b[2]};
    return c;
}

ColorRGBA DataIO::readColorRGBA() {
    unsigned char b[4];
    readRaw(b, 4);
    ColorRGBA c = {b[0], b[1], b[2], b[3]};
    return c;
}

Vector3D DataIO::readVector3D() {
    Vector3D v;
    v.x = readFloat32();
    v.y = readFloat32();
    v.z = readFloat32();
    return v;
}

Matrix DataIO::readMatrix() {
    Matrix m;
    for (int i = 0; i < 16; ++i) m.m[i] = readFloat32();
    return m;
}

void DataIO::readByteArray(Vector<unsigned char>& out) {
    unsigned int n = readUInt32();
    requireBudget(n, 1);
    if (n > MAX_CALL) fail(SMALL_BUFFER);
    out.resize((int)n);
    readRaw(out.data(), n);
}

void DataIO::readBlock(void* out, unsigned int count, unsigned int elementSize) {
    unsigned long long bytes = (unsigned long long)count * elementSize;
    if (bytes > m_count || bytes > MAX_CALL) fail(SMALL_BUFFER);
    readRaw(out, (unsigned int)bytes);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    unsigned char* b = static_cast<unsigned char*>(out);
    for (unsigned int i = 0; i < count; ++i, b += elementSize)
        for (unsigned int j = 0; j < elementSize / 2; ++j) {
            unsigned char t = b[j];
            b[j] = b[elementSize - 1 - j];
            b[elementSize - 1 - j] = t;
        }
#endif
}

void DataIO::readFloats(float* out, unsigned int count) {
    readBlock(out, count, 4);
    for (unsigned int i = 0; i < count; ++i) checkedFloat(out[i]);
}

// Large arrays come in one stream call: a vertex or index array of a file read
// value by value would cost one virtual call per element.
void DataIO::readUInt16Array(Vector<unsigned short>& out) {
    unsigned int n = readUInt32();
    requireBudget(n, 2);
    out.resize((int)n);
    if (n) readBlock(out.data(), n, 2);
}

void DataIO::readUInt32Array(Vector<unsigned int>& out) {
    unsigned int n = readUInt32();
    requireBudget(n, 4);
    out.resize((int)n);
    if (n) readBlock(out.data(), n, 4);
}

void DataIO::readHeader(M3GHeader& out) {
    out.versionMajor = readByte();
    out.versionMinor = readByte();
    out.hasExternalReferences = readBoolean();
    out.totalFileSize = readUInt32();
    out.approximateContentSize = readUInt32();
    out.authoringField = readString();
}

void DataIO::readObject3D(Object3DBlock& out) {
    out.userID = readUInt32();
    readObjectIndexArray(out.animationTracks);
    unsigned int n = readUInt32();
    // Each parameter takes at least its ID and its value's count.
    requireBudget(n, 8);
    out.parameters.resize((int)n);
    for (unsigned int i = 0; i < n; ++i) {
        UserParameter& p = out.parameters[(int)i];
        p.parameterID = readUInt32();
        readByteArray(p.value);
    }
}

void DataIO::readComponentTransform(ComponentTransform& out) {
    out.translation = readVector3D();
    out.scale = readVector3D();
    out.orientationAngle = readFloat32();
    out.orientationAxis = readVector3D();
}

void DataIO::readTransformable(TransformableBlock& out) {
    out.hasComponentTransform = readBoolean();
    if (out.hasComponentTransform) readComponentTransform(out.component);
    out.hasGeneralTransform = readBoolean();
    if (out.hasGeneralTransform) out.general = readMatrix();
}

void DataIO::writeRaw(const void* buffer, unsigned int size) {
    if (size == 0) return;
    if (size > MAX_CALL) fail(SHORT_WRITE);
    int written = m_stream->write(buffer, (int)size);
    if (written > 0) m_count += (unsigned int)written;
    if (written != (int)size) fail(SHORT_WRITE);
}

void DataIO::writeByte(unsigned char v) { writeRaw(&v, 1); }

void DataIO::writeBoolean(bool v) { writeByte(v ? 1 : 0); }

void DataIO::writeInt16(short v) { writeUInt16((unsigned short)v); }

void DataIO::writeUInt16(unsigned short v) {
    unsigned char b[2] = {(unsigned char)v, (unsigned char)(v >> 8)};
    writeRaw(b, 2);
}

void DataIO::writeInt32(int v) { writeUInt32((unsigned int)v); }

void DataIO::writeUInt32(unsigned int v) {
    unsigned char b[4];
    put32(b, v);
    writeRaw(b, 4);
}

void DataIO::writeFloat32(float v) {
    checkedFloat(v);
    if (v == 0.0f) v = 0.0f; // -0.0 compares equal and is written as +0.0
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    writeUInt32(bits);
}

void DataIO::writeString(const String& v) {
    const char* text = v.c_str();
    writeRaw(text, (unsigned int)std::strlen(text) + 1);
}

void DataIO::writeColorRGB(const ColorRGB& v) {
    unsigned char b[3] = {v.r, v.g, v.b};
    writeRaw(b, 3);
}

void DataIO::writeColorRGBA(const ColorRGBA& v) {
    unsigned char b[4] = {v.r, v.g, v.b, v.a};
    writeRaw(b, 4);
}

void DataIO::writeVector3D(const Vector3D& v) {
    writeFloat32(v.x);
    writeFloat32(v.y);
    writeFloat32(v.z);
}

void DataIO::writeMatrix(const Matrix& v) {
    for (int i = 0; i < 16; ++i) writeFloat32(v.m[i]);
}

void DataIO::writeByteArray(const unsigned char* bytes, unsigned int count) {
    writeUInt32(count);
    writeRaw(bytes, count);
}

void DataIO::writeBlock(const void* v, unsigned int count, unsigned int elementSize) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    const unsigned char* b = static_cast<const unsigned char*>(v);
    for (unsigned int i = 0; i < count; ++i, b += elementSize)
        for (unsigned int j = elementSize; j-- > 0;) writeByte(b[j]);
#else
    writeRaw(v, count * elementSize);
#endif
}

void DataIO::writeFloats(const float* v, unsigned int count) {
    for (unsigned int i = 0; i < count; ++i) writeFloat32(v[i]);
}

void DataIO::writeUInt16Array(const Vector<unsigned short>& v) {
    writeUInt32((unsigned int)v.size());
    writeBlock(v.data(), (unsigned int)v.size(), 2);
}

void DataIO::writeUInt32Array(const Vector<unsigned int>& v) {
    writeUInt32((unsigned int)v.size());
    writeBlock(v.data(), (unsigned int)v.size(), 4);
}

void DataIO::writeHeader(const M3GHeader& v) {
    writeByte(v.versionMajor);
    writeByte(v.versionMinor);
    writeBoolean(v.hasExternalReferences);
    writeUInt32(v.totalFileSize);
    writeUInt32(v.approximateContentSize);
    writeString(v.authoringField);
}

void DataIO::writeObject3D(const Object3DBlock& v) {
    writeUInt32(v.userID);
    writeObjectIndexArray(v.animationTracks);
    writeUInt32((unsigned int)v.parameters.size());
    for (int i = 0; i < v.parameters.size(); ++i) {
        writeUInt32(v.parameters[i].parameterID);
        writeByteArray(v.parameters[i].value);
    }
}

void DataIO::writeComponentTransform(const ComponentTransform& v) {
    writeVector3D(v.translation);
    writeVector3D(v.scale);
    writeFloat32(v.orientationAngle);
    writeVector3D(v.orientationAxis);
}

void DataIO::writeTransformable(const TransformableBlock& v) {
    writeBoolean(v.hasComponentTransform);
    if (v.hasComponentTransform) writeComponentTransform(v.component);
    writeBoolean(v.hasGeneralTransform);
    if (v.hasGeneralTransform) writeMatrix(v.general);
}

} // namespace core
