// core::DataIO: the typed little-endian values of the M3G file format over a
// core::Stream, with a byte budget.
//
// Reading: `count` is the budget, the bytes the current object or section may
// still use. Every read takes its size from the budget before it touches the
// stream, so a parser cannot run past its object; arrays check their whole
// size, against the budget and the bytes left in the stream, before anything
// is allocated or read. Writing: `count` is the number
// of bytes written so far.
// Every failure logs `IO error (<stream name>): "<message>"` as an error and
// throws core::IOException; nothing is rolled back (budget and stream stay
// where the failure left them) and the loader abandons the load.
//
// The compound records are plain values the M3G loader fills or writes; the
// scene classes are built from them by the loader.
#pragma once
#include "core/Object.h"
#include "core/Ref.h"
#include "core/Stream.h"
#include "core/String.h"
#include "core/Vector.h"

namespace core {

struct NodeBlock;
struct AnimationControllerRecord;
struct AnimationTrackRecord;
struct AppearanceRecord;
struct BackgroundRecord;
struct CameraRecord;
struct CompositingModeRecord;
struct FogRecord;
struct PolygonModeRecord;
struct GroupRecord;
struct Image2DRecord;
struct TriangleStripArrayRecord;
struct LightRecord;
struct MaterialRecord;
struct MeshRecord;
struct MorphingMeshRecord;
struct SkinnedMeshRecord;
struct Texture2DRecord;
struct KeyframeSequenceRecord;
struct VertexArrayRecord;
struct VertexBufferRecord;
struct WorldRecord;

struct ColorRGB {
    unsigned char r, g, b;
};
struct ColorRGBA {
    unsigned char r, g, b, a;
};
struct Vector3D {
    float x, y, z;
};
// 16 floats in file order.
struct Matrix {
    float m[16];
};

// The header object that opens every M3G file.
struct M3GHeader {
    unsigned char versionMajor = 1;
    unsigned char versionMinor = 0;
    bool hasExternalReferences = false;
    unsigned int totalFileSize = 0;
    unsigned int approximateContentSize = 0;
    String authoringField;
};

struct UserParameter {
    unsigned int parameterID = 0;
    Vector<unsigned char> value;
};

// The fields every M3G object starts with.
struct Object3DBlock {
    unsigned int userID = 0;
    Vector<unsigned int> animationTracks; // object indices
    Vector<UserParameter> parameters;
};

struct ComponentTransform {
    Vector3D translation = {0.0f, 0.0f, 0.0f};
    Vector3D scale = {1.0f, 1.0f, 1.0f};
    float orientationAngle = 0.0f; // degrees
    Vector3D orientationAxis = {0.0f, 0.0f, 0.0f};
};

// The Transformable part of an object: each transform present or not.
struct TransformableBlock {
    bool hasComponentTransform = false;
    ComponentTransform component;
    bool hasGeneralTransform = false;
    Matrix general = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
};

class DataIO : public Object {
public:
    // The largest finite single-precision value; floats beyond it (and NaN) are refused.
    static constexpr float FLOAT_LIMIT = 3.4028235e38f;

    // count: the budget for reading; 0 for writing.
    DataIO(Stream* stream, unsigned int count);
    virtual ~DataIO() {}

    Stream* getStream() const { return m_stream.get(); }
    unsigned int getCount() const { return m_count; }
    void setCount(unsigned int count) { m_count = count; }

    unsigned char readByte();
    // 1 is true, 0 false; any other byte fails.
    bool readBoolean();
    short readInt16();
    unsigned short readUInt16();
    int readInt32();
    unsigned int readUInt32();
    // Finite values only.
    float readFloat32();
    // Bytes up to the 0 byte (which is consumed, not stored), one budget unit each.
    String readString();
    ColorRGB readColorRGB();
    ColorRGBA readColorRGBA();
    Vector3D readVector3D();
    Matrix readMatrix();
    // UInt32 count, then the elements; out is replaced.
    void readByteArray(Vector<unsigned char>& out);
    void readUInt16Array(Vector<unsigned short>& out);
    void readUInt32Array(Vector<unsigned int>& out);
    void readObjectIndexArray(Vector<unsigned int>& out) { readUInt32Array(out); }

    void readHeader(M3GHeader& out);
    void readObject3D(Object3DBlock& out);
    void readComponentTransform(ComponentTransform& out);
    void readTransformable(TransformableBlock& out);

    // The class records (core/M3GRecords.h), fields in file order. A class
    // record holds only the class's own fields: the loader reads the Object3D,
    // Transformable, Node, Group and Mesh blocks before it as the class needs.
    void readNode(NodeBlock& out);
    void readAnimationController(AnimationControllerRecord& out);
    void readAnimationTrack(AnimationTrackRecord& out);
    void readAppearance(AppearanceRecord& out);
    void readBackground(BackgroundRecord& out);
    void readCamera(CameraRecord& out);
    void readCompositingMode(CompositingModeRecord& out);
    void readFog(FogRecord& out);
    void readPolygonMode(PolygonModeRecord& out);
    void readGroup(GroupRecord& out);
    void readImage2D(Image2DRecord& out);
    void readTriangleStripArray(TriangleStripArrayRecord& out);
    void readLight(LightRecord& out);
    void readMaterial(MaterialRecord& out);
    void readMesh(MeshRecord& out);
    void readMorphingMesh(MorphingMeshRecord& out);
    void readSkinnedMesh(SkinnedMeshRecord& out);
    void readTexture2D(Texture2DRecord& out);
    void readKeyframeSequence(KeyframeSequenceRecord& out);
    void readVertexArray(VertexArrayRecord& out);
    void readVertexBuffer(VertexBufferRecord& out);
    void readWorld(WorldRecord& out);

    void writeByte(unsigned char v);
    void writeBoolean(bool v);
    void writeInt16(short v);
    void writeUInt16(unsigned short v);
    void writeInt32(int v);
    void writeUInt32(unsigned int v);
    // Refuses non-finite values; -0.0 is written as +0.0.
    void writeFloat32(float v);
    // The string's 8-bit text and a 0 byte.
    void writeString(const String& v);
    void writeColorRGB(const ColorRGB& v);
    void writeColorRGBA(const ColorRGBA& v);
    void writeVector3D(const Vector3D& v);
    void writeMatrix(const Matrix& v);
    void writeByteArray(const unsigned char* bytes, unsigned int count);
    // count bytes as they are, without a count (section data).
    void writeBytes(const unsigned char* bytes, unsigned int count) { writeRaw(bytes, count); }
    void writeByteArray(const Vector<unsigned char>& v) { writeByteArray(v.data(), (unsigned int)v.size()); }
    void writeUInt16Array(const Vector<unsigned short>& v);
    void writeUInt32Array(const Vector<unsigned int>& v);
    void writeObjectIndexArray(const Vector<unsigned int>& v) { writeUInt32Array(v); }

    void writeHeader(const M3GHeader& v);
    void writeObject3D(const Object3DBlock& v);
    void writeComponentTransform(const ComponentTransform& v);
    void writeTransformable(const TransformableBlock& v);

    void writeNode(const NodeBlock& v);
    void writeAnimationController(const AnimationControllerRecord& v);
    void writeAnimationTrack(const AnimationTrackRecord& v);
    void writeAppearance(const AppearanceRecord& v);
    void writeBackground(const BackgroundRecord& v);
    void writeCamera(const CameraRecord& v);
    void writeCompositingMode(const CompositingModeRecord& v);
    void writeFog(const FogRecord& v);
    void writePolygonMode(const PolygonModeRecord& v);
    void writeGroup(const GroupRecord& v);
    void writeImage2D(const Image2DRecord& v);
    void writeTriangleStripArray(const TriangleStripArrayRecord& v);
    void writeLight(const LightRecord& v);
    void writeMaterial(const MaterialRecord& v);
    void writeMesh(const MeshRecord& v);
    void writeMorphingMesh(const MorphingMeshRecord& v);
    void writeSkinnedMesh(const SkinnedMeshRecord& v);
    void writeTexture2D(const Texture2DRecord& v);
    void writeKeyframeSequence(const KeyframeSequenceRecord& v);
    void writeVertexArray(const VertexArrayRecord& v);
    void writeVertexBuffer(const VertexBufferRecord& v);
    void writeWorld(const WorldRecord& v);

    // The one failure routine: logs the diagnostic line, throws core::IOException.
    [[noreturn]] void fail(const char* message);

    // Fails with "Small stream buffer" unless the budget holds count elements
    // of elementSize bytes, and as a short read would unless the stream still
    // holds them; record readers call it before they allocate.
    void requireBudget(unsigned int count, unsigned int elementSize);

private:
    // Takes size bytes from the budget, then reads exactly size bytes.
    void readRaw(void* buffer, unsigned int size);
    // count little-endian values of elementSize bytes in one stream call
    // (the budget was checked by the caller).
    void readBlock(void* out, unsigned int count, unsigned int elementSize);
    void readFloats(float* out, unsigned int count);
    void writeFloats(const float* v, unsigned int count);
    void writeBlock(const void* v, unsigned int count, unsigned int elementSize);
    void writeRaw(const void* buffer, unsigned int size);
    float checkedFloat(float v);

    Ref<Stream> m_stream;
    unsigned int m_count;
};

} // namespace core
