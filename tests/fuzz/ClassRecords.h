// The M3G class records DataIO reads and writes, as an X-macro list
// X(record type, reader/writer name), in the order of fuzz_dataio's opcodes
// from FIRST_CLASS_RECORD on (make_seeds writes its seeds in the same order).
#pragma once
#include "core/M3GRecords.h"

#define CLASS_RECORDS(X)                                                                                       \
    X(NodeBlock, Node) X(AnimationControllerRecord, AnimationController) X(AnimationTrackRecord, AnimationTrack) \
    X(AppearanceRecord, Appearance) X(BackgroundRecord, Background) X(CameraRecord, Camera)                    \
    X(CompositingModeRecord, CompositingMode) X(FogRecord, Fog) X(PolygonModeRecord, PolygonMode)              \
    X(GroupRecord, Group) X(Image2DRecord, Image2D) X(TriangleStripArrayRecord, TriangleStripArray)            \
    X(LightRecord, Light) X(MaterialRecord, Material) X(MeshRecord, Mesh) X(MorphingMeshRecord, MorphingMesh)  \
    X(SkinnedMeshRecord, SkinnedMesh) X(Texture2DRecord, Texture2D) X(KeyframeSequenceRecord, KeyframeSequence) \
    X(VertexArrayRecord, VertexArray) X(VertexBufferRecord, VertexBuffer) X(WorldRecord, World)


const int FIRST_CLASS_RECORD = 17;
const int CLASS_RECORD_COUNT = 22;
