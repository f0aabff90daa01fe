// The class-specific records of the M3G file format, as core::DataIO reads and
// writes them: plain values in file order, object references as file indices
// (0 = none). The M3G loader turns them into scene objects and the writer
// fills them from scene objects; neither validates here beyond what the
// layout needs (array counts are checked against the budget while reading).
#pragma once
#include "core/DataIO.h"

namespace core {

struct NodeBlock {
    bool enableRendering = true;
    bool enablePicking = true;
    unsigned char alphaFactor = 255;
    unsigned int scope = 0xFFFFFFFFu;
    bool hasAlignment = false;
    unsigned char zTarget = 144;
    unsigned char yTarget = 144;
    unsigned int zReference = 0;
    unsigned int yReference = 0;
};

struct AnimationControllerRecord {
    float speed = 1.0f;
    float weight = 1.0f;
    int activeIntervalStart = 0;
    int activeIntervalEnd = 0;
    float referenceSequenceTime = 0.0f;
    int referenceWorldTime = 0;
};

struct AnimationTrackRecord {
    unsigned int keyframeSequence = 0;
    unsigned int animationController = 0;
    unsigned int propertyID = 0;
};

struct AppearanceRecord {
    unsigned char layer = 0; // two's complement of the signed layer
    unsigned int compositingMode = 0;
    unsigned int fog = 0;
    unsigned int polygonMode = 0;
    unsigned int material = 0;
    Vector<unsigned int> textures;
};

struct BackgroundRecord {
    ColorRGBA color = {0, 0, 0, 0};
    unsigned int image = 0;
    unsigned char imageModeX = 32;
    unsigned char imageModeY = 32;
    int cropX = 0, cropY = 0, cropWidth = 0, cropHeight = 0;
    bool depthClearEnabled = true;
    bool colorClearEnabled = true;
};

// GENERIC (48) stores the matrix; the other types the four parameters.
struct CameraRecord {
    unsigned char projectionType = 48;
    Matrix projection = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
    float fovy = 0.0f, aspectRatio = 0.0f, nearDistance = 0.0f, farDistance = 0.0f;
};

struct CompositingModeRecord {
    bool depthTestEnabled = true;
    bool depthWriteEnabled = true;
    bool colorWriteEnabled = true;
    bool alphaWriteEnabled = true;
    unsigned char blending = 68;
    unsigned char alphaThreshold = 0;
    float depthOffsetFactor = 0.0f;
    float depthOffsetUnits = 0.0f;
};

// EXPONENTIAL (80) stores the density, LINEAR (81) near and far.
struct FogRecord {
    ColorRGB color = {0, 0, 0};
    unsigned char mode = 81;
    float density = 1.0f;
    float nearDistance = 0.0f, farDistance = 1.0f;
};

struct PolygonModeRecord {
    unsigned char culling = 160;
    unsigned char shading = 165;
    unsigned char winding = 168;
    bool twoSidedLightingEnabled = false;
    bool localCameraLightingEnabled = false;
    bool perspectiveCorrectionEnabled = false;
};

struct GroupRecord {
    Vector<unsigned int> children;
};

// A mutable image stores neither palette nor pixels.
struct Image2DRecord {
    unsigned char format = 99;
    bool isMutable = false;
    unsigned int width = 0, height = 0;
    Vector<unsigned char> palette;
    Vector<unsigned char> pixels;
};

// Encodings 0-2 store a start index, 128-130 explicit indices (widened here
// to 32 bits whatever their stored width).
struct TriangleStripArrayRecord {
    unsigned char encoding = 130;
    unsigned int startIndex = 0;
    Vector<unsigned int> indices;
    Vector<unsigned int> stripLengths;
};

struct LightRecord {
    float attenuationConstant = 1.0f, attenuationLinear = 0.0f, attenuationQuadratic = 0.0f;
    ColorRGB color = {255, 255, 255};
    unsigned char mode = 129;
    float intensity = 1.0f;
    float spotAngle = 45.0f;
    float spotExponent = 0.0f;
};

struct MaterialRecord {
    ColorRGB ambientColor = {0x33, 0x33, 0x33};
    ColorRGBA diffuseColor = {0xCC, 0xCC, 0xCC, 0xFF};
    ColorRGB emissiveColor = {0, 0, 0};
    ColorRGB specularColor = {0, 0, 0};
    float shininess = 0.0f;
    bool vertexColorTrackingEnabled = false;
};

// Submesh i is (indexBuffers[i], appearances[i]); submeshCount as stored.
struct MeshRecord {
    unsigned int vertexBuffer = 0;
    unsigned int submeshCount = 0;
    Vector<unsigned int> indexBuffers;
    Vector<unsigned int> appearances;
};

struct MorphingMeshRecord {
    Vector<unsigned int> morphTargets;
    Vector<float> initialWeights;
};

struct BoneReference {
    unsigned int transformNode = 0;
    unsigned int firstVertex = 0;
    unsigned int vertexCount = 0;
    int weight = 0;
};

struct SkinnedMeshRecord {
    unsigned int skeleton = 0;
    unsigned int transformReferenceCount = 0;
    Vector<BoneReference> bones;
};

struct Texture2DRecord {
    unsigned int image = 0;
    ColorRGB blendColor = {0, 0, 0};
    unsigned char blending = 227;
    unsigned char wrappingS = 241, wrappingT = 241;
    unsigned char levelFilter = 209;
    unsigned char imageFilter = 209;
};

// Exactly one value array is filled, the one of the encoding: floats (0),
// bytes (1) or 16-bit values (2), keyframeCount x componentCount each.
// Encodings 1 and 2 also store a bias and a scale per component.
struct KeyframeSequenceRecord {
    unsigned char interpolation = 176;
    unsigned char repeatMode = 192;
    unsigned char encoding = 0;
    unsigned int duration = 0;
    unsigned int validRangeFirst = 0, validRangeLast = 0;
    unsigned int componentCount = 0;
    unsigned int keyframeCount = 0;
    Vector<float> vectorBias;
    Vector<float> vectorScale;
    Vector<unsigned int> times;
    Vector<float> floatValues;
    Vector<unsigned char> byteValues;
    Vector<unsigned short> shortValues;
};

// vertexCount x componentCount values: bytes when componentSize is 1,
// 16-bit values otherwise; as stored (deltas when encoding is 1).
struct VertexArrayRecord {
    unsigned char componentSize = 2;
    unsigned char componentCount = 3;
    unsigned char encoding = 0;
    unsigned short vertexCount = 0;
    Vector<unsigned char> byteValues;
    Vector<short> shortValues;
};

struct TexCoordRecord {
    unsigned int array = 0;
    float bias[3] = {0.0f, 0.0f, 0.0f};
    float scale = 1.0f;
};

struct VertexBufferRecord {
    ColorRGBA defaultColor = {255, 255, 255, 255};
    unsigned int positions = 0;
    float positionBias[3] = {0.0f, 0.0f, 0.0f};
    float positionScale = 1.0f;
    unsigned int normals = 0;
    unsigned int colors = 0;
    Vector<TexCoordRecord> texCoords;
};

struct WorldRecord {
    unsigned int activeCamera = 0;
    unsigned int background = 0;
};

} // namespace core
