// core::DataIO: the class records of the M3G file format, one reader and its
// writing twin per class, fields in file order. Every array checks its whole
// size against the budget before anything is allocated for it, so a hostile
// count fails with "Small stream buffer" instead of draining the pool.
#include "core/DataIO.h"
#include "core/M3GRecords.h"

namespace core {

void DataIO::readNode(NodeBlock& out) {
    out.enableRendering = readBoolean();
    out.enablePicking = readBoolean();
    out.alphaFactor = readByte();
    out.scope = readUInt32();
    out.hasAlignment = readBoolean();
    if (out.hasAlignment) {
        out.zTarget = readByte();
        out.yTarget = readByte();
        out.zReference = readUInt32();
        out.yReference = readUInt32();
    }
}

void DataIO::writeNode(const NodeBlock& v) {
    writeBoolean(v.enableRendering);
    writeBoolean(v.enablePicking);
    writeByte(v.alphaFactor);
    writeUInt32(v.scope);
    writeBoolean(v.hasAlignment);
    if (v.hasAlignment) {
        writeByte(v.zTarget);
        writeByte(v.yTarget);
        writeUInt32(v.zReference);
        writeUInt32(v.yReference);
    }
}

void DataIO::readAnimationController(AnimationControllerRecord& out) {
    out.speed = readFloat32();
    out.weight = readFloat32();
    out.activeIntervalStart = readInt32();
    out.activeIntervalEnd = readInt32();
    out.referenceSequenceTime = readFloat32();
    out.referenceWorldTime = readInt32();
}

void DataIO::writeAnimationController(const AnimationControllerRecord& v) {
    writeFloat32(v.speed);
    writeFloat32(v.weight);
    writeInt32(v.activeIntervalStart);
    writeInt32(v.activeIntervalEnd);
    writeFloat32(v.referenceSequenceTime);
    writeInt32(v.referenceWorldTime);
}

void DataIO::readAnimationTrack(AnimationTrackRecord& out) {
    out.keyframeSequence = readUInt32();
    out.animationController = readUInt32();
    out.propertyID = readUInt32();
}

void DataIO::writeAnimationTrack(const AnimationTrackRecord& v) {
    writeUInt32(v.keyframeSequence);
    writeUInt32(v.animationController);
    writeUInt32(v.propertyID);
}

void DataIO::readAppearance(AppearanceRecord& out) {
    out.layer = readByte();
    out.compositingMode = readUInt32();
    out.fog = readUInt32();
    out.polygonMode = readUInt32();
    out.material = readUInt32();
    readObjectIndexArray(out.textures);
}

void DataIO::writeAppearance(const AppearanceRecord& v) {
    writeByte(v.layer);
    writeUInt32(v.compositingMode);
    writeUInt32(v.fog);
    writeUInt32(v.polygonMode);
    writeUInt32(v.material);
    writeObjectIndexArray(v.textures);
}

void DataIO::readBackground(BackgroundRecord& out) {
    out.color = readColorRGBA();
    out.image = readUInt32();
    out.imageModeX = readByte();
    out.imageModeY = readByte();
    out.cropX = readInt32();
    out.cropY = readInt32();
    out.cropWidth = readInt32();
    out.cropHeight = readInt32();
    out.depthClearEnabled = readBoolean();
    out.colorClearEnabled = readBoolean();
}

void DataIO::writeBackground(const BackgroundRecord& v) {
    writeColorRGBA(v.color);
    writeUInt32(v.image);
    writeByte(v.imageModeX);
    writeByte(v.imageModeY);
    writeInt32(v.cropX);
    writeInt32(v.cropY);
    writeInt32(v.cropWidth);
    writeInt32(v.cropHeight);
    writeBoolean(v.depthClearEnabled);
    writeBoolean(v.colorClearEnabled);
}

void DataIO::readCamera(CameraRecord& out) {
    out.projectionType = readByte();
    if (out.projectionType == 48) {
        out.projection = readMatrix();
    } else {
        out.fovy = readFloat32();
        out.aspectRatio = readFloat32();
        out.nearDistance = readFloat32();
        out.farDistance = readFloat32();
    }
}

void DataIO::writeCamera(const CameraRecord& v) {
    writeByte(v.projectionType);
    if (v.projectionType == 48) {
        writeMatrix(v.projection);
    } else {
        writeFloat32(v.fovy);
        writeFloat32(v.aspectRatio);
        writeFloat32(v.nearDistance);
        writeFloat32(v.farDistance);
    }
}

void DataIO::readCompositingMode(CompositingModeRecord& out) {
    out.depthTestEnabled = readBoolean();
    out.depthWriteEnabled = readBoolean();
    out.colorWriteEnabled = readBoolean();
    out.alphaWriteEnabled = readBoolean();
    out.blending = readByte();
    out.alphaThreshold = readByte();
    out.depthOffsetFactor = readFloat32();
    out.depthOffsetUnits = readFloat32();
}

void DataIO::writeCompositingMode(const CompositingModeRecord& v) {
    writeBoolean(v.depthTestEnabled);
    writeBoolean(v.depthWriteEnabled);
    writeBoolean(v.colorWriteEnabled);
    writeBoolean(v.alphaWriteEnabled);
    writeByte(v.blending);
    writeByte(v.alphaThreshold);
    writeFloat32(v.depthOffsetFactor);
    writeFloat32(v.depthOffsetUnits);
}

void DataIO::readFog(FogRecord& out) {
    out.color = readColorRGB();
    out.mode = readByte();
    if (out.mode == 80) {
        out.density = readFloat32();
    } else if (out.mode == 81) {
        out.nearDistance = readFloat32();
        out.farDistance = readFloat32();
    }
}

void DataIO::writeFog(const FogRecord& v) {
    writeColorRGB(v.color);
    writeByte(v.mode);
    if (v.mode == 80) {
        writeFloat32(v.density);
    } else if (v.mode == 81) {
        writeFloat32(v.nearDistance);
        writeFloat32(v.farDistance);
    }
}

void DataIO::readPolygonMode(PolygonModeRecord& out) {
    out.culling = readByte();
    out.shading = readByte();
    out.winding = readByte();
    out.twoSidedLightingEnabled = readBoolean();
    out.localCameraLightingEnabled = readBoolean();
    out.perspectiveCorrectionEnabled = readBoolean();
}

void DataIO::writePolygonMode(const PolygonModeRecord& v) {
    writeByte(v.culling);
    writeByte(v.shading);
    writeByte(v.winding);
    writeBoolean(v.twoSidedLightingEnabled);
    writeBoolean(v.localCameraLightingEnabled);
    writeBoolean(v.perspectiveCorrectionEnabled);
}

void DataIO::readGroup(GroupRecord& out) { readObjectIndexArray(out.children); }

void DataIO::writeGroup(const GroupRecord& v) { writeObjectIndexArray(v.children); }

void DataIO::readImage2D(Image2DRecord& out) {
    out.format = readByte();
    out.isMutable = readBoolean();
    out.width = readUInt32();
    out.height = readUInt32();
    out.palette.clear();
    out.pixels.clear();
    if (!out.isMutable) {
        readByteArray(out.palette);
        readByteArray(out.pixels);
    }
}

void DataIO::writeImage2D(const Image2DRecord& v) {
    writeByte(v.format);
    writeBoolean(v.isMutable);
    writeUInt32(v.width);
    writeUInt32(v.height);
    if (!v.isMutable) {
        writeByteArray(v.palette);
        writeByteArray(v.pixels);
    }
}

void DataIO::readTriangleStripArray(TriangleStripArrayRecord& out) {
    out.encoding = readByte();
    out.startIndex = 0;
    out.indices.clear();
    switch (out.encoding) {
    case 0: out.startIndex = readUInt32(); break;
    case 1: out.startIndex = readByte(); break;
    case 2: out.startIndex = readUInt16(); break;
    case 128: readUInt32Array(out.indices); break;
    case 129: {
        Vector<unsigned char> bytes;
        readByteArray(bytes);
        out.indices.resize(bytes.size());
        for (int i = 0; i < bytes.size(); ++i) out.indices[i] = bytes[i];
        break;
    }
    case 130: {
        Vector<unsigned short> shorts;
        readUInt16Array(shorts);
        out.indices.resize(shorts.size());
        for (int i = 0; i < shorts.size(); ++i) out.indices[i] = shorts[i];
        break;
    }
    default: break; // unknown encodings carry nothing the reader understands
    }
    readUInt32Array(out.stripLengths);
}

void DataIO::writeTriangleStripArray(const TriangleStripArrayRecord& v) {
    writeByte(v.encoding);
    switch (v.encoding) {
    case 0: writeUInt32(v.startIndex); break;
    case 1: writeByte((unsigned char)v.startIndex); break;
    case 2: writeUInt16((unsigned short)v.startIndex); break;
    case 128: writeUInt32Array(v.indices); break;
    case 129:
        writeUInt32((unsigned int)v.indices.size());
        for (int i = 0; i < v.indices.size(); ++i) writeByte((unsigned char)v.indices[i]);
        break;
    case 130:
        writeUInt32((unsigned int)v.indices.size());
        for (int i = 0; i < v.indices.size(); ++i) writeUInt16((unsigned short)v.indices[i]);
        break;
    default: break;
    }
    writeUInt32Array(v.stripLengths);
}

void DataIO::readLight(LightRecord& out) {
    out.attenuationConstant = readFloat32();
    out.attenuationLinear = readFloat32();
    out.attenuationQuadratic = readFloat32();
    out.color = readColorRGB();
    out.mode = readByte();
    out.intensity = readFloat32();
    out.spotAngle = readFloat32();
    out.spotExponent = readFloat32();
}

void DataIO::writeLight(const LightRecord& v) {
    writeFloat32(v.attenuationConstant);
    writeFloat32(v.attenuationLinear);
    writeFloat32(v.attenuationQuadratic);
    writeColorRGB(v.color);
    writeByte(v.mode);
    writeFloat32(v.intensity);
    writeFloat32(v.spotAngle);
    writeFloat32(v.spotExponent);
}

void DataIO::readMaterial(MaterialRecord& out) {
    out.ambientColor = readColorRGB();
    out.diffuseColor = readColorRGBA();
    out.emissiveColor = readColorRGB();
    out.specularColor = readColorRGB();
    out.shininess = readFloat32();
    out.vertexColorTrackingEnabled = readBoolean();
}

void DataIO::writeMaterial(const MaterialRecord& v) {
    writeColorRGB(v.ambientColor);
    writeColorRGBA(v.diffuseColor);
    writeColorRGB(v.emissiveColor);
    writeColorRGB(v.specularColor);
    writeFloat32(v.shininess);
    writeBoolean(v.vertexColorTrackingEnabled);
}

void DataIO::readMesh(MeshRecord& out) {
    out.vertexBuffer = readUInt32();
    out.submeshCount = readUInt32();
    requireBudget(out.submeshCount, 8);
    out.indexBuffers.resize((int)out.submeshCount);
    out.appearances.resize((int)out.submeshCount);
    for (unsigned int i = 0; i < out.submeshCount; ++i) {
        out.indexBuffers[(int)i] = readUInt32();
        out.appearances[(int)i] = readUInt32();
    }
}

void DataIO::writeMesh(const MeshRecord& v) {
    writeUInt32(v.vertexBuffer);
    writeUInt32(v.submeshCount);
    for (int i = 0; i < v.indexBuffers.size(); ++i) {
        writeUInt32(v.indexBuffers[i]);
        writeUInt32(i < v.appearances.size() ? v.appearances[i] : 0);
    }
}

void DataIO::readMorphingMesh(MorphingMeshRecord& out) {
    unsigned int n = readUInt32();
    requireBudget(n, 8);
    out.morphTargets.resize((int)n);
    out.initialWeights.resize((int)n);
    for (unsigned int i = 0; i < n; ++i) {
        out.morphTargets[(int)i] = readUInt32();
        out.initialWeights[(int)i] = readFloat32();
    }
}

void DataIO::writeMorphingMesh(const MorphingMeshRecord& v) {
    writeUInt32((unsigned int)v.morphTargets.size());
    for (int i = 0; i < v.morphTargets.size(); ++i) {
        writeUInt32(v.morphTargets[i]);
        writeFloat32(v.initialWeights[i]);
    }
}

void DataIO::readSkinnedMesh(SkinnedMeshRecord& out) {
    out.skeleton = readUInt32();
    out.transformReferenceCount = readUInt32();
    requireBudget(out.transformReferenceCount, 16);
    out.bones.resize((int)out.transformReferenceCount);
    for (unsigned int i = 0; i < out.transformReferenceCount; ++i) {
        BoneReference& b = out.bones[(int)i];
        b.transformNode = readUInt32();
        b.firstVertex = readUInt32();
        b.vertexCount = readUInt32();
        b.weight = readInt32();
    }
}

void DataIO::writeSkinnedMesh(const SkinnedMeshRecord& v) {
    writeUInt32(v.skeleton);
    writeUInt32((unsigned int)v.bones.size());
    for (int i = 0; i < v.bones.size(); ++i) {
        writeUInt32(v.bones[i].transformNode);
        writeUInt32(v.bones[i].firstVertex);
        writeUInt32(v.bones[i].vertexCount);
        writeInt32(v.bones[i].weight);
    }
}

void DataIO::readTexture2D(Texture2DRecord& out) {
    out.image = readUInt32();
    out.blendColor = readColorRGB();
    out.blending = readByte();
    out.wrappingS = readByte();
    out.wrappingT = readByte();
    out.levelFilter = readByte();
    out.imageFilter = readByte();
}

void DataIO::writeTexture2D(const Texture2DRecord& v) {
    writeUInt32(v.image);
    writeColorRGB(v.blendColor);
    writeByte(v.blending);
    writeByte(v.wrappingS);
    writeByte(v.wrappingT);
    writeByte(v.levelFilter);
    writeByte(v.imageFilter);
}

void DataIO::readKeyframeSequence(KeyframeSequenceRecord& out) {
    out.interpolation = readByte();
    out.repeatMode = readByte();
    out.encoding = readByte();
    out.duration = readUInt32();
    out.validRangeFirst = readUInt32();
    out.validRangeLast = readUInt32();
    out.componentCount = readUInt32();
    out.keyframeCount = readUInt32();
    out.vectorBias.clear();
    out.vectorScale.clear();
    out.floatValues.clear();
    out.byteValues.clear();
    out.shortValues.clear();
    const unsigned int n = out.componentCount, k = out.keyframeCount;
    if (out.encoding > 2) return; // refused by the loader; nothing more can be read
    if (out.encoding != 0) {
        requireBudget(n, 8);
        out.vectorBias.resize((int)n);
        out.vectorScale.resize((int)n);
        readFloats(out.vectorBias.data(), n);
        readFloats(out.vectorScale.data(), n);
    }
    const unsigned int valueSize = out.encoding == 0 ? 4 : out.encoding == 1 ? 1 : 2;
    // One keyframe: its time and its components.
    unsigned long long frameBytes = 4ull + (unsigned long long)n * valueSize;
    if (k != 0 && frameBytes > getCount() / k) fail("Small stream buffer");
    out.times.resize((int)k);
    if (out.encoding == 0)
        out.floatValues.resize((int)(n * k));
    else if (out.encoding == 1)
        out.byteValues.resize((int)(n * k));
    else
        out.shortValues.resize((int)(n * k));
    for (unsigned int i = 0; i < k; ++i) {
        out.times[(int)i] = readUInt32();
        if (out.encoding == 0)
            readFloats(out.floatValues.data() + (size_t)i * n, n);
        else if (out.encoding == 1)
            readBlock(out.byteValues.data() + (size_t)i * n, n, 1);
        else
            readBlock(out.shortValues.data() + (size_t)i * n, n, 2);
    }
}

void DataIO::writeKeyframeSequence(const KeyframeSequenceRecord& v) {
    // The values come from the arrays as the counts declare them: a record
    // whose arrays hold less (one read with an encoding that has no layout
    // keeps its counts and no values) is refused before anything is written.
    const unsigned long long values = (unsigned long long)v.componentCount * v.keyframeCount;
    const int held = v.encoding == 0 ? v.floatValues.size() : v.encoding == 1 ? v.byteValues.size() : v.shortValues.size();
    if (v.encoding > 2 || (unsigned int)v.times.size() < v.keyframeCount || (unsigned long long)held < values ||
        (v.encoding != 0 && ((unsigned int)v.vectorBias.size() < v.componentCount ||
                             (unsigned int)v.vectorScale.size() < v.componentCount)))
        fail("Keyframe sequence holds fewer values than its counts declare");
    writeByte(v.interpolation);
    writeByte(v.repeatMode);
    writeByte(v.encoding);
    writeUInt32(v.duration);
    writeUInt32(v.validRangeFirst);
    writeUInt32(v.validRangeLast);
    writeUInt32(v.componentCount);
    writeUInt32(v.keyframeCount);
    const unsigned int n = v.componentCount;
    if (v.encoding != 0) {
        writeFloats(v.vectorBias.data(), n);
        writeFloats(v.vectorScale.data(), n);
    }
    for (unsigned int i = 0; i < v.keyframeCount; ++i) {
        writeUInt32(v.times[(int)i]);
        if (v.encoding == 0)
            writeFloats(v.floatValues.data() + (size_t)i * n, n);
        else if (v.encoding == 1)
            writeBlock(v.byteValues.data() + (size_t)i * n, n, 1);
        else
            writeBlock(v.shortValues.data() + (size_t)i * n, n, 2);
    }
}

void DataIO::readVertexArray(VertexArrayRecord& out) {
    out.componentSize = readByte();
    out.componentCount = readByte();
    out.encoding = readByte();
    out.vertexCount = readUInt16();
    out.byteValues.clear();
    out.shortValues.clear();
    unsigned int values = (unsigned int)out.componentCount * out.vertexCount;
    if (out.componentSize == 1) {
        requireBudget(values, 1);
        out.byteValues.resize((int)values);
        if (values) readBlock(out.byteValues.data(), values, 1);
    } else {
        requireBudget(values, 2);
        out.shortValues.resize((int)values);
        if (values) readBlock(out.shortValues.data(), values, 2);
    }
}

void DataIO::writeVertexArray(const VertexArrayRecord& v) {
    writeByte(v.componentSize);
    writeByte(v.componentCount);
    writeByte(v.encoding);
    writeUInt16(v.vertexCount);
    if (v.componentSize == 1)
        writeBlock(v.byteValues.data(), (unsigned int)v.byteValues.size(), 1);
    else
        writeBlock(v.shortValues.data(), (unsigned int)v.shortValues.size(), 2);
}

void DataIO::readVertexBuffer(VertexBufferRecord& out) {
    out.defaultColor = readColorRGBA();
    out.positions = readUInt32();
    readFloats(out.positionBias, 3);
    out.positionScale = readFloat32();
    out.normals = readUInt32();
    out.colors = readUInt32();
    unsigned int n = readUInt32();
    requireBudget(n, 20);
    out.texCoords.resize((int)n);
    for (unsigned int i = 0; i < n; ++i) {
        TexCoordRecord& t = out.texCoords[(int)i];
        t.array = readUInt32();
        readFloats(t.bias, 3);
        t.scale = readFloat32();
    }
}

void DataIO::writeVertexBuffer(const VertexBufferRecord& v) {
    writeColorRGBA(v.defaultColor);
    writeUInt32(v.positions);
    writeFloats(v.positionBias, 3);
    writeFloat32(v.positionScale);
    writeUInt32(v.normals);
    writeUInt32(v.colors);
    writeUInt32((unsigned int)v.texCoords.size());
    for (int i = 0; i < v.texCoords.size(); ++i) {
        writeUInt32(v.texCoords[i].array);
        writeFloats(v.texCoords[i].bias, 3);
        writeFloat32(v.texCoords[i].scale);
    }
}

void DataIO::readWorld(WorldRecord& out) {
    out.activeCamera = readUInt32();
    out.background = readUInt32();
}

void DataIO::writeWorld(const WorldRecord& v) {
    writeUInt32(v.activeCamera);
    writeUInt32(v.background);
}

} // namespace core
