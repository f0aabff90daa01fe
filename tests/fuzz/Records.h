// The records DataIO reads and writes, X(record type, reader/writer name):
// fuzz_dataio's opcodes in order, with a seed each from make_seeds.
#pragma once
#include "core/DataIO.h"
#include "core/M3GRecords.h"

// clang-format off
#define RECORDS(X)                                                                                      \
    X(String, String) X(ColorRGB, ColorRGB) X(ColorRGBA, ColorRGBA) X(Vector3D, Vector3D)               \
    X(Matrix, Matrix) X(Vector<unsigned char>, ByteArray) X(Vector<unsigned short>, UInt16Array)        \
    X(Vector<unsigned int>, UInt32Array) X(M3GHeader, Header) X(Object3DBlock, Object3D)                \
    X(TransformableBlock, Transformable) X(ComponentTransform, ComponentTransform)                      \
    X(NodeBlock, Node) X(AnimationControllerRecord, AnimationController)                                \
    X(AnimationTrackRecord, AnimationTrack) X(AppearanceRecord, Appearance)                             \
    X(BackgroundRecord, Background) X(CameraRecord, Camera)                                             \
    X(CompositingModeRecord, CompositingMode) X(FogRecord, Fog) X(PolygonModeRecord, PolygonMode)       \
    X(GroupRecord, Group) X(Image2DRecord, Image2D) X(TriangleStripArrayRecord, TriangleStripArray)     \
    X(LightRecord, Light) X(MaterialRecord, Material) X(MeshRecord, Mesh)                               \
    X(MorphingMeshRecord, MorphingMesh) X(SkinnedMeshRecord, SkinnedMesh)                               \
    X(Texture2DRecord, Texture2D) X(KeyframeSequenceRecord, KeyframeSequence)                           \
    X(VertexArrayRecord, VertexArray) X(VertexBufferRecord, VertexBuffer) X(WorldRecord, World)
// clang-format on
