// render::M3G_Loader: one parser per object type. Each reads its blocks and
// record through core::DataIO, validates what it read, resolves its object
// references by class and only then builds the scene object through the
// class's own setters.
#include "core/DebugLog.h"
#include "core/EngineGlobals.h"
#include "core/Exceptions.h"
#include "core/IOException.h"
#include "render/AnimationTrack.h"
#include "render/Appearance.h"
#include "render/Background.h"
#include "render/Camera.h"
#include "render/Graphics3D.h"
#include "render/Group.h"
#include "render/Image2D.h"
#include "render/IndexBuffer.h"
#include "render/Light.h"
#include "render/M3G_Loader.h"
#include "render/Mesh.h"
#include "render/MorphingMesh.h"
#include "render/SkinnedMesh.h"
#include "render/Texture2D.h"
#include "render/VertexArray.h"
#include "render/VertexBuffer.h"
#include "render/World.h"
#include "slm/mat4.h"
#include <cmath>

namespace render {

namespace {

unsigned rgb(const core::ColorRGB& c) { return ((unsigned)c.r << 16) | ((unsigned)c.g << 8) | c.b; }
unsigned argb(const core::ColorRGBA& c) { return ((unsigned)c.a << 24) | ((unsigned)c.r << 16) | ((unsigned)c.g << 8) | c.b; }

// The file stores matrices row by row; slm keeps them column by column.
slm::mat4 fromRowMajor(const core::Matrix& m) { return slm::transpose(slm::mat4(m.m)); }

// Degrees about an axis of any length; a zero axis is no rotation.
slm::quat orientation(float degrees, const core::Vector3D& axis) {
    float len = std::sqrt(axis.x * axis.x + axis.y * axis.y + axis.z * axis.z);
    if (len == 0.0f || degrees == 0.0f) return slm::quat();
    float half = degrees * 0.017453292f * 0.5f;
    float s = std::sin(half) / len;
    return slm::quat(axis.x * s, axis.y * s, axis.z * s, std::cos(half));
}

[[noreturn]] void wrongClass(unsigned int index, const char* className) {
    core::String text;
    text.format("Object reference %u does not name an object of class %s.", index, className);
    M3G_Loader::parseError(text.c_str());
}

} // namespace

template <typename T> T* M3G_Loader::reference(unsigned int index, const char* className, bool optional) {
    if (index == 0) {
        if (optional) return nullptr;
        wrongClass(index, className);
    }
    Object3D* o = entry(index);
    markReferenced(index);
    if (ExternalReference* ext = dynamic_cast<ExternalReference*>(o)) {
        if (!ext->isResolved()) {
            if (optional) return nullptr;
            wrongClass(index, className);
        }
        o = ext->getObjects()[0].get();
    }
    T* typed = dynamic_cast<T*>(o);
    if (!typed) wrongClass(index, className);
    return typed;
}

// ---- blocks shared by several classes ----

void M3G_Loader::readNodeBlocks(NodeBlocks& out) {
    io().readObject3D(out.object3D);
    io().readTransformable(out.transformable);
    io().readNode(out.node);
}

void M3G_Loader::applyObject3D(Object3D* object, const core::Object3DBlock& block) {
    core::log(core::LOG_RENDERER, "Object3D: setUserID = %d (old id = %d)\n", (int)block.userID, object->getUserID());
    object->setUserID((int)block.userID);
    for (int i = 0; i < block.animationTracks.size(); ++i)
        object->addAnimationTrack(reference<AnimationTrack>(block.animationTracks[i], "AnimationTrack", false));
    if (block.parameters.size() == 0) return;
    core::Ref<UserParameters> table = M3D_NEW UserParameters(block.parameters.size(), 0.75f);
    for (int i = 0; i < block.parameters.size(); ++i) {
        const core::UserParameter& p = block.parameters[i];
        core::Vector<char> value;
        value.resize(p.value.size());
        for (int k = 0; k < p.value.size(); ++k) value[k] = (char)p.value[k];
        if (!table->insert((int)p.parameterID, value)) break;
        core::Vector<char> stored;
        if (!table->get((int)p.parameterID, stored) || stored.size() != value.size())
            parseError("User parameters size mismatch.");
    }
    // A repeated parameter ID leaves the table short of the stored count.
    if (table->getCount() != block.parameters.size()) parseError("User parameters count mismatch.");
    object->setUserObject(table.get());
}

void M3G_Loader::applyTransformable(Transformable* object, const core::TransformableBlock& block) {
    if (block.hasComponentTransform) {
        const core::ComponentTransform& c = block.component;
        object->setTranslation(slm::vec3(c.translation.x, c.translation.y, c.translation.z));
        object->setScale(slm::vec3(c.scale.x, c.scale.y, c.scale.z));
        object->setOrientation(orientation(c.orientationAngle, c.orientationAxis));
    }
    if (block.hasGeneralTransform) object->setTransform(fromRowMajor(block.general));
}

void M3G_Loader::applyNode(Node* node, const NodeBlocks& blocks) {
    applyObject3D(node, blocks.object3D);
    applyTransformable(node, blocks.transformable);
    const core::NodeBlock& n = blocks.node;
    node->setRenderingEnable(n.enableRendering);
    node->setPickingEnable(n.enablePicking);
    node->setAlphaFactor((float)n.alphaFactor / 255.0f);
    node->setScope((int)n.scope);
    if (!n.hasAlignment) return;
    // Any target of the object model (NONE, ORIGIN, X_AXIS, Y_AXIS, Z_AXIS) is
    // taken: real exporters align the y axis with a Z_AXIS target.
    if (n.zTarget < 144 || n.zTarget > 148) parseError("Node aligment: Invalid z-target axis");
    if (n.yTarget < 144 || n.yTarget > 148) parseError("Node aligment: Invalid y-target axis");
    if (n.zTarget == 148 && n.zReference == 0)
        parseWarning("Node aligment: z-axis reference object is 0 when z-target is Z_AXIS");
    if (n.yTarget == 147 && n.yReference == 0)
        parseWarning("Node aligment: y-axis reference object is 0 when y-target is Y_AXIS");
    if (n.zTarget == 145 && n.zReference != 0)
        parseWarning("Node aligment: z-axis reference object is not 0 when z-target is ORIGIN");
    if (n.yTarget == 145 && n.yReference != 0)
        parseWarning("Node aligment: y-axis reference object is not 0 when y-target is ORIGIN");
    // Alignment references are not owned by the node, so they are not marked
    // referenced: a reference node outside the tree stays alive as a root.
    Node* zRef = nullptr;
    Node* yRef = nullptr;
    if (n.zReference) {
        zRef = dynamic_cast<Node*>(entry(n.zReference));
        if (!zRef) wrongClass(n.zReference, "Node");
    }
    if (n.yReference) {
        yRef = dynamic_cast<Node*>(entry(n.yReference));
        if (!yRef) wrongClass(n.yReference, "Node");
    }
    node->setAlignment(zRef, n.zTarget, yRef, n.yTarget);
}

void M3G_Loader::applyGroup(Group* group, const core::GroupRecord& record) {
    for (int i = 0; i < record.children.size(); ++i) {
        Node* child = reference<Node>(record.children[i], "Node", false);
        if (dynamic_cast<World*>(child)) parseError("A World cannot be the child of a Group.");
        if (child->getParent()) parseError("Node already has a parent group.");
        if (!group->addChild(child)) parseError("Group cannot hold itself or its ancestor.");
    }
}

// ---- resources ----

void M3G_Loader::parseAppearance(core::Ref<Object3D>& out) {
    core::Object3DBlock base;
    io().readObject3D(base);
    core::AppearanceRecord r;
    io().readAppearance(r);
    if (r.textures.size() > 4) parseError("Too many textures in Appearance.");
    core::Ref<Appearance> a = M3D_NEW Appearance();
    applyObject3D(a.get(), base);
    a->setLayer((int)(signed char)r.layer);
    a->setCompositingMode(reference<CompositingMode>(r.compositingMode, "CompositingMode", true));
    a->setFog(reference<Fog>(r.fog, "Fog", true));
    a->setPolygonMode(reference<PolygonMode>(r.polygonMode, "PolygonMode", true));
    a->setMaterial(reference<Material>(r.material, "Material", true));
    for (int i = 0; i < r.textures.size(); ++i) {
        // A texture whose image file is missing was left out when it was read.
        if (isMissingExternal(r.textures[i])) {
            markReferenced(r.textures[i]);
            continue;
        }
        Texture2D* t = reference<Texture2D>(r.textures[i], "Texture2D", true);
        if (t) a->setTexture(i, t);
    }
    out = a.get();
}

void M3G_Loader::parseBackground(core::Ref<Object3D>& out) {
    core::Object3DBlock base;
    io().readObject3D(base);
    core::BackgroundRecord r;
    io().readBackground(r);
    if ((r.imageModeX != 32 && r.imageModeX != 33) || (r.imageModeY != 32 && r.imageModeY != 33))
        parseError("Unknown image mode in Background.");
    if (r.cropWidth < 0 || r.cropHeight < 0) parseError("Negative crop size in Background.");
    core::Ref<Background> b = M3D_NEW Background();
    applyObject3D(b.get(), base);
    b->setColor(argb(r.color));
    Image2D* image = reference<Image2D>(r.image, "Image2D", true);
    if (image) {
        if (image->getFormat() != Image2D::RGB && image->getFormat() != Image2D::RGBA)
            parseError("Background image must be RGB or RGBA.");
        b->setImage(image);
    }
    b->setImageMode(r.imageModeX, r.imageModeY);
    b->setCrop(r.cropX, r.cropY, r.cropWidth, r.cropHeight);
    b->setDepthClearEnable(r.depthClearEnabled);
    b->setColorClearEnable(r.colorClearEnabled);
    out = b.get();
}

void M3G_Loader::parseCompositingMode(core::Ref<Object3D>& out) {
    core::Object3DBlock base;
    io().readObject3D(base);
    core::CompositingModeRecord r;
    io().readCompositingMode(r);
    if (r.blending < CompositingMode::ALPHA || r.blending > CompositingMode::REPLACE)
        parseError("CompositingMode blending mode is not correct.");
    core::Ref<CompositingMode> c = M3D_NEW CompositingMode();
    applyObject3D(c.get(), base);
    c->setDepthTestEnable(r.depthTestEnabled);
    c->setDepthWriteEnable(r.depthWriteEnabled);
    c->setColorWriteEnable(r.colorWriteEnabled);
    c->setAlphaWriteEnable(r.alphaWriteEnabled);
    c->setBlending(r.blending);
    c->setAlphaThreshold((float)r.alphaThreshold / 255.0f);
    c->setDepthOffset(r.depthOffsetFactor, r.depthOffsetUnits);
    out = c.get();
}

void M3G_Loader::parseFog(core::Ref<Object3D>& out) {
    core::Object3DBlock base;
    io().readObject3D(base);
    core::FogRecord r;
    io().readFog(r);
    if (r.mode != Fog::EXPONENTIAL && r.mode != Fog::LINEAR) parseError("Unknown fog mode.");
    if (r.density < 0.0f) parseError("Negative fog density.");
    core::Ref<Fog> f = M3D_NEW Fog();
    applyObject3D(f.get(), base);
    f->setColor(rgb(r.color));
    f->setMode(r.mode);
    if (r.mode == Fog::EXPONENTIAL)
        f->setDensity(r.density);
    else
        f->setLinear(r.nearDistance, r.farDistance);
    out = f.get();
}

void M3G_Loader::parsePolygonMode(core::Ref<Object3D>& out) {
    core::Object3DBlock base;
    io().readObject3D(base);
    core::PolygonModeRecord r;
    io().readPolygonMode(r);
    if (r.culling < PolygonMode::CULL_BACK || r.culling > PolygonMode::CULL_NONE)
        parseError("Polygon mode culling not correct value.");
    if (r.shading != PolygonMode::SHADE_FLAT && r.shading != PolygonMode::SHADE_SMOOTH)
        parseError("Polygon mode shading not correct value.");
    if (r.winding != PolygonMode::WINDING_CCW && r.winding != PolygonMode::WINDING_CW)
        parseError("Polygon mode winding not correct value.");
    core::Ref<PolygonMode> p = M3D_NEW PolygonMode();
    applyObject3D(p.get(), base);
    p->setCulling(r.culling);
    p->setShading(r.shading);
    p->setWinding(r.winding);
    p->setTwoSidedLightingEnable(r.twoSidedLightingEnabled);
    p->setLocalCameraLightingEnable(r.localCameraLightingEnabled);
    p->setPerspectiveCorrectionEnable(r.perspectiveCorrectionEnabled);
    out = p.get();
}

void M3G_Loader::parseMaterial(core::Ref<Object3D>& out) {
    core::Object3DBlock base;
    io().readObject3D(base);
    core::MaterialRecord r;
    io().readMaterial(r);
    if (r.shininess < 0.0f || r.shininess > 128.0f) parseError("Material shininess out of range.");
    core::Ref<Material> m = M3D_NEW Material();
    applyObject3D(m.get(), base);
    m->setAmbient(rgb(r.ambientColor));
    m->setDiffuse(argb(r.diffuseColor));
    m->setEmissive(rgb(r.emissiveColor));
    m->setSpecular(rgb(r.specularColor));
    m->setShininess(r.shininess);
    m->setVertexColorTrackingEnable(r.vertexColorTrackingEnabled);
    out = m.get();
}

void M3G_Loader::parseImage2D(core::Ref<Object3D>& out) {
    core::Object3DBlock base;
    io().readObject3D(base);
    core::Image2DRecord r;
    io().readImage2D(r);
    if (r.format < Image2D::ALPHA || r.format > Image2D::RGBA) parseError("Unsuported image format.");
    if (r.width == 0 || r.height == 0 || r.width > MAX_IMAGE_SIZE || r.height > MAX_IMAGE_SIZE)
        parseError("Image size out of range in Image2D.");
    const unsigned int bpp = (unsigned int)Image2D::bytesPerPixel(r.format);
    const unsigned int pixels = r.width * r.height; // at most 2^24
    core::Ref<Image2D> image;
    if (r.isMutable) {
        image = M3D_NEW Image2D(r.format, (int)r.width, (int)r.height);
    } else if (r.pixels.size() == 0) {
        parseError("No pixels specified for immutable object");
    } else if (r.palette.size() == 0) {
        if ((unsigned int)r.pixels.size() < pixels * bpp) parseError("Too few pixels for the image size in Image2D.");
        image = M3D_NEW Image2D(r.format, (int)r.width, (int)r.height, r.pixels.data());
    } else {
        // Palettised: one index per pixel into entries of the format's size,
        // expanded here into direct colour, which is what textures upload.
        unsigned int entries = (unsigned int)r.palette.size() / bpp;
        if ((unsigned int)r.palette.size() % bpp != 0 || entries > 256)
            parseError("Palette size does not match the image format in Image2D.");
        if ((unsigned int)r.pixels.size() < pixels) parseError("Too few palette indices for the image size in Image2D.");
        for (unsigned int i = 0; i < pixels; ++i)
            if (r.pixels[(int)i] >= entries) parseError("Palette index out of range in Image2D.");
        core::Vector<unsigned char> direct;
        direct.resize((int)(pixels * bpp));
        unsigned char* dst = direct.data();
        for (unsigned int i = 0; i < pixels; ++i) {
            const unsigned char* src = r.palette.data() + (size_t)r.pixels[(int)i] * bpp;
            for (unsigned int k = 0; k < bpp; ++k) *dst++ = src[k];
        }
        r.pixels.clear();
        image = M3D_NEW Image2D(r.format, (int)r.width, (int)r.height, direct.data());
    }
    applyObject3D(image.get(), base);
    out = image.get();
}

void M3G_Loader::parseTexture2D(core::Ref<Object3D>& out) {
    core::Object3DBlock base;
    io().readObject3D(base);
    core::TransformableBlock transform;
    io().readTransformable(transform);
    core::Texture2DRecord r;
    io().readTexture2D(r);
    if (r.image == 0) parseError("No image set for texture.");
    if (r.blending < Texture2D::FUNC_ADD || r.blending > Texture2D::FUNC_REPLACE) parseError("Unknown blending type.");
    if (r.imageFilter != Texture2D::FILTER_LINEAR && r.imageFilter != Texture2D::FILTER_NEAREST)
        parseError("Unknown image filter.");
    if (r.levelFilter < Texture2D::FILTER_BASE_LEVEL || r.levelFilter > Texture2D::FILTER_NEAREST)
        parseError("Unknown level filter.");
    if (r.wrappingS != Texture2D::WRAP_CLAMP && r.wrappingS != Texture2D::WRAP_REPEAT)
        parseError("Unknown s-wrapping type.");
    if (r.wrappingT != Texture2D::WRAP_CLAMP && r.wrappingT != Texture2D::WRAP_REPEAT)
        parseError("Unknown t-wrapping type.");
    if (isMissingExternal(r.image)) {
        // The image file is missing: the texture stands for it as the same
        // unresolved reference, and appearances leave it out.
        markReferenced(r.image);
        out = m_objects[(int)r.image];
        return;
    }
    Image2D* image = reference<Image2D>(r.image, "Image2D", false);
    Graphics3D* g = currentGraphics();
    if (!g) parseError("Texture2D needs a renderer: no Graphics3D exists.");
    core::Ref<Texture2D> t = g->createNewTexture(Texture2D::KIND_TEXTURE, image->getFormat(), 0, 0);
    applyObject3D(t.get(), base);
    applyTransformable(t.get(), transform);
    t->setBlendColor(rgb(r.blendColor));
    t->setBlending(r.blending);
    t->setWrapping(r.wrappingS, r.wrappingT);
    t->setFiltering(r.levelFilter, r.imageFilter);
    t->setImage(image);
    out = t.get();
}

// ---- geometry ----

void M3G_Loader::parseVertexArray(core::Ref<Object3D>& out) {
    core::Object3DBlock base;
    io().readObject3D(base);
    core::VertexArrayRecord r;
    io().readVertexArray(r);
    if (r.vertexCount == 0) parseError("Zero vertex count in vertex array.");
    if (r.componentCount < 2 || r.componentCount > 4) parseError("Component Count out of range.");
    if (r.componentSize < 1 || r.componentSize > 2) parseError("Component size out of range.");
    if (r.encoding > 1) parseError("Invalid component encoding");
    const int values = r.vertexCount * r.componentCount;
    core::Ref<VertexArray> a = M3D_NEW VertexArray(r.vertexCount, r.componentCount, r.componentSize);
    if (r.componentSize == 1) {
        if (r.byteValues.size() != values) parseError("Byte vertex array data count did not match vertex count.");
        // Delta encoding: one running sum per component, wrapping at 8 bits.
        if (r.encoding == 1)
            for (int i = r.componentCount; i < values; ++i)
                r.byteValues[i] = (unsigned char)(r.byteValues[i] + r.byteValues[i - r.componentCount]);
        a->set(0, r.vertexCount, reinterpret_cast<const signed char*>(r.byteValues.data()));
    } else {
        if (r.shortValues.size() != values) parseError("Uint16 vertex array data count did not match vertex count.");
        if (r.encoding == 1)
            for (int i = r.componentCount; i < values; ++i)
                r.shortValues[i] =
                    (short)(unsigned short)((unsigned short)r.shortValues[i] +
                                            (unsigned short)r.shortValues[i - r.componentCount]);
        a->set(0, r.vertexCount, r.shortValues.data());
    }
    applyObject3D(a.get(), base);
    out = a.get();
}

void M3G_Loader::parseVertexBuffer(core::Ref<Object3D>& out) {
    core::Object3DBlock base;
    io().readObject3D(base);
    core::VertexBufferRecord r;
    io().readVertexBuffer(r);
    Graphics3D* g = currentGraphics();
    core::Ref<VertexBuffer> vb = g ? g->createNewVertexBuffer(VertexBuffer::STATIC) : M3D_NEW VertexBuffer();
    applyObject3D(vb.get(), base);
    setToClass(vb.get(), r);
    out = vb.get();
}

void M3G_Loader::setToClass(VertexBuffer* vb, const core::VertexBufferRecord& r) {
    VertexArray* positions = reference<VertexArray>(r.positions, "VertexArray", true);
    VertexArray* normals = reference<VertexArray>(r.normals, "VertexArray", true);
    VertexArray* colors = reference<VertexArray>(r.colors, "VertexArray", true);
    int vertexCount = -1;
    auto sameCount = [&vertexCount](VertexArray* a) {
        if (!a) return;
        if (vertexCount >= 0 && a->getVertexCount() != vertexCount)
            parseError("Vertex arrays of a vertex buffer differ in vertex count.");
        vertexCount = a->getVertexCount();
    };
    if (positions && positions->getComponentCount() != 3) parseError("Component count is not 3 in positions data.");
    if (normals && normals->getComponentCount() != 3) parseError("Component count is not 3 in normals data.");
    if (colors) {
        if (colors->getComponentCount() != 3 && colors->getComponentCount() != 4)
            parseError("Component count is not 3 or 4 in colors data.");
        if (colors->getComponentSize() != 1)
            parseError("Referenced colors object does not have correct component type. Should be 1.");
    }
    if (r.texCoords.size() > 4) parseError("Too many texture coordinate arrays in VertexBuffer.");
    sameCount(positions);
    sameCount(normals);
    sameCount(colors);
    core::Vector<VertexArray*> texCoords;
    for (int i = 0; i < r.texCoords.size(); ++i) {
        VertexArray* t = reference<VertexArray>(r.texCoords[i].array, "VertexArray", false);
        if (t->getComponentCount() != 2 && t->getComponentCount() != 3)
            parseError("Component count is not 2 or 3 in texture coordinate data.");
        sameCount(t);
        texCoords.append(t);
    }
    vb->setDefaultColor(argb(r.defaultColor));
    if (positions) vb->setPositions(positions, r.positionScale, r.positionBias);
    if (normals) vb->setNormals(normals);
    if (colors) vb->setColors(colors);
    for (int i = 0; i < texCoords.size(); ++i)
        vb->setTexCoords(i, texCoords[i], r.texCoords[i].scale, r.texCoords[i].bias);
}

void M3G_Loader::parseTriangleStripArray(core::Ref<Object3D>& out) {
    core::Object3DBlock base;
    io().readObject3D(base);
    core::TriangleStripArrayRecord r;
    io().readTriangleStripArray(r);
    switch (r.encoding) {
    case 128:
        if (r.indices.size() == 0) parseError("Raw indices length is 0 in TriangleStripArray.");
        break;
    case 129:
        if (r.indices.size() == 0) parseError("Byte indices length is 0 in TriangleStripArray.");
        break;
    case 130:
        if (r.indices.size() == 0) parseError("Uint16 indices length is 0 in TriangleStripArray.");
        break;
    default: parseError("Unsupported encoding in TriangleStripArray.");
    }
    if (r.stripLengths.size() == 0) parseError("Strip Lengths are 0 in TriangleStripArray.");
    for (int i = 0; i < r.indices.size(); ++i)
        if (r.indices[i] > 65535u) parseError("Too big data in triangle strip. Values must be in range -32768 ... 32767");
    unsigned long long needed = 0;
    for (int i = 0; i < r.stripLengths.size(); ++i) needed += r.stripLengths[i];
    if (needed > (unsigned long long)r.indices.size())
        parseError("Strip lengths add up to more indices than stored in TriangleStripArray.");
    // The engine draws one strip: the file's strips are joined by repeating
    // the last index of one and the first of the next (degenerate triangles),
    // plus one more where needed to keep the next strip's winding.
    core::Vector<unsigned short> joined;
    int at = 0;
    for (int s = 0; s < r.stripLengths.size(); ++s) {
        int n = (int)r.stripLengths[s];
        if (n == 0) continue;
        if (joined.size() > 0) {
            joined.append(joined[joined.size() - 1]);
            joined.append((unsigned short)r.indices[at]);
            if (joined.size() % 2 != 0) joined.append((unsigned short)r.indices[at]);
        }
        for (int i = 0; i < n; ++i) joined.append((unsigned short)r.indices[at + i]);
        at += n;
    }
    core::Ref<TriangleStripArray> t = M3D_NEW TriangleStripArray(joined.data(), joined.size());
    applyObject3D(t.get(), base);
    out = t.get();
}

void M3G_Loader::resolveMesh(const core::MeshRecord& r, VertexBuffer*& vertices,
                             core::Vector<IndexBuffer*>& indexBuffers, core::Vector<Appearance*>& appearances) {
    if (r.vertexBuffer == 0) parseError("Vertex buffer not specified for mesh.");
    if (r.submeshCount == 0) parseError("Submeshes not specified for mesh.");
    if (r.indexBuffers.size() != (int)r.submeshCount || r.appearances.size() != (int)r.submeshCount)
        parseError("Submesh cout did not match to array size.");
    vertices = reference<VertexBuffer>(r.vertexBuffer, "VertexBuffer", false);
    const unsigned int vertexCount = (unsigned int)vertices->getVertexCount();
    for (unsigned int i = 0; i < r.submeshCount; ++i) {
        if (r.indexBuffers[(int)i] == 0) parseError("Not all index buffers are specified for mesh.");
        if (r.appearances[(int)i] == 0) parseError("Not all appearances are specified for mesh.");
        IndexBuffer* ib = reference<IndexBuffer>(r.indexBuffers[(int)i], "TriangleStripArray", false);
        const core::Vector<unsigned short>& indices = ib->getIndices();
        for (int k = 0; k < indices.size(); ++k)
            if (indices[k] >= vertexCount) parseError("Index value outside the vertex buffer in mesh.");
        indexBuffers.append(ib);
        appearances.append(reference<Appearance>(r.appearances[(int)i], "Appearance", false));
    }
}

void M3G_Loader::parseMesh(core::Ref<Object3D>& out) {
    NodeBlocks blocks;
    readNodeBlocks(blocks);
    core::MeshRecord r;
    io().readMesh(r);
    VertexBuffer* vb = nullptr;
    core::Vector<IndexBuffer*> ibs;
    core::Vector<Appearance*> apps;
    resolveMesh(r, vb, ibs, apps);
    core::Ref<Mesh> mesh = M3D_NEW Mesh(vb, ibs.data(), apps.data(), ibs.size());
    applyNode(mesh.get(), blocks);
    out = mesh.get();
}

void M3G_Loader::parseMorphingMesh(core::Ref<Object3D>& out) {
    NodeBlocks blocks;
    readNodeBlocks(blocks);
    core::MeshRecord r;
    io().readMesh(r);
    core::MorphingMeshRecord morph;
    io().readMorphingMesh(morph);
    VertexBuffer* vb = nullptr;
    core::Vector<IndexBuffer*> ibs;
    core::Vector<Appearance*> apps;
    resolveMesh(r, vb, ibs, apps);
    core::Vector<VertexBuffer*> targets;
    for (int i = 0; i < morph.morphTargets.size(); ++i)
        targets.append(reference<VertexBuffer>(morph.morphTargets[i], "VertexBuffer", false));
    core::Ref<MorphingMesh> mesh =
        M3D_NEW MorphingMesh(vb, targets.data(), targets.size(), ibs.data(), apps.data(), ibs.size());
    applyNode(mesh.get(), blocks);
    mesh->setWeights(morph.initialWeights.data(), morph.initialWeights.size());
    out = mesh.get();
}

void M3G_Loader::parseSkinnedMesh(core::Ref<Object3D>& out) {
    NodeBlocks blocks;
    readNodeBlocks(blocks);
    core::MeshRecord r;
    io().readMesh(r);
    core::SkinnedMeshRecord skin;
    io().readSkinnedMesh(skin);
    core::log(core::LOG_SCRIPT, "SkinnedMesh:\n");
    core::log(core::LOG_SCRIPT, "Skeleton: %d\n", (int)skin.skeleton);
    if (skin.skeleton == 0) parseError("No skeleton set for SkinnedMesh.");
    if (skin.bones.size() != (int)skin.transformReferenceCount)
        parseError("Size mismatch in SkinnedMesh transform reference count.");
    VertexBuffer* vb = nullptr;
    core::Vector<IndexBuffer*> ibs;
    core::Vector<Appearance*> apps;
    resolveMesh(r, vb, ibs, apps);
    Group* skeleton = reference<Group>(skin.skeleton, "Group", false);
    if (dynamic_cast<World*>(skeleton)) parseError("A World cannot be the skeleton of a SkinnedMesh.");
    if (skeleton->getParent()) parseError("Node already has a parent group.");
    core::Ref<SkinnedMesh> mesh = M3D_NEW SkinnedMesh(vb, ibs.data(), apps.data(), ibs.size(), skeleton);
    applyNode(mesh.get(), blocks);
    for (int i = 0; i < skin.bones.size(); ++i) {
        const core::BoneReference& b = skin.bones[i];
        core::log(core::LOG_SCRIPT, "transformNode:%d, weight:%d, firstVertex:%d, vertexCount:%d\n", (int)b.transformNode, b.weight,
                  (int)b.firstVertex, (int)b.vertexCount);
        Node* bone = reference<Node>(b.transformNode, "Node", false);
        if (b.firstVertex > 65535u || b.vertexCount > 65535u) parseError("Bone vertex range out of range in SkinnedMesh.");
        mesh->addTransform(bone, b.weight, (int)b.firstVertex, (int)b.vertexCount);
    }
    out = mesh.get();
}

void M3G_Loader::parseSprite3D(core::Ref<Object3D>&) { parseError("No implementation yet."); }

// ---- scene nodes ----

void M3G_Loader::parseCamera(core::Ref<Object3D>& out) {
    NodeBlocks blocks;
    readNodeBlocks(blocks);
    core::CameraRecord r;
    io().readCamera(r);
    core::Ref<Camera> c = M3D_NEW Camera();
    applyNode(c.get(), blocks);
    try {
        switch (r.projectionType) {
        case Camera::GENERIC: c->setGeneric(fromRowMajor(r.projection)); break;
        case Camera::PARALLEL: c->setParallel(r.fovy, r.aspectRatio, r.nearDistance, r.farDistance); break;
        case Camera::PERSPECTIVE: c->setPerspective(r.fovy, r.aspectRatio, r.nearDistance, r.farDistance); break;
        default: parseError("Unknown projection type in Camera.");
        }
    } catch (const ArithmeticException& e) {
        parseError(e.getMessage());
    }
    out = c.get();
}

void M3G_Loader::parseLight(core::Ref<Object3D>& out) {
    NodeBlocks blocks;
    readNodeBlocks(blocks);
    core::LightRecord r;
    io().readLight(r);
    if (r.mode < Light::AMBIENT || r.mode > Light::SPOT)
        parseError("The Light mode field does not hold a valid enumerated value, as specified in the class definition.");
    core::Ref<Light> l = M3D_NEW Light();
    applyNode(l.get(), blocks);
    l->setAttenuation(r.attenuationConstant, r.attenuationLinear, r.attenuationQuadratic);
    l->setColor(rgb(r.color));
    l->setMode(r.mode);
    l->setIntensity(r.intensity);
    l->setSpotAngle(r.spotAngle);
    l->setSpotExponent(r.spotExponent);
    out = l.get();
}

void M3G_Loader::parseGroup(core::Ref<Object3D>& out) {
    NodeBlocks blocks;
    readNodeBlocks(blocks);
    core::GroupRecord r;
    io().readGroup(r);
    core::Ref<Group> g = M3D_NEW Group();
    applyNode(g.get(), blocks);
    applyGroup(g.get(), r);
    out = g.get();
}

void M3G_Loader::parseWorld(core::Ref<Object3D>& out) {
    NodeBlocks blocks;
    readNodeBlocks(blocks);
    core::GroupRecord group;
    io().readGroup(group);
    core::WorldRecord r;
    io().readWorld(r);
    core::Ref<World> w = M3D_NEW World();
    applyNode(w.get(), blocks);
    applyGroup(w.get(), group);
    w->setActiveCamera(reference<Camera>(r.activeCamera, "Camera", true));
    w->setBackground(reference<Background>(r.background, "Background", true));
    out = w.get();
}

// ---- animation ----

void M3G_Loader::parseAnimationController(core::Ref<Object3D>& out) {
    core::Object3DBlock base;
    io().readObject3D(base);
    core::AnimationControllerRecord r;
    io().readAnimationController(r);
    core::Ref<AnimationController> c = M3D_NEW AnimationController();
    applyObject3D(c.get(), base);
    c->setSpeed(r.speed);
    c->setWeight(r.weight);
    c->setActiveInterval(r.activeIntervalStart, r.activeIntervalEnd);
    c->setPosition(r.referenceSequenceTime, r.referenceWorldTime);
    out = c.get();
}

void M3G_Loader::parseAnimationTrack(core::Ref<Object3D>& out) {
    core::Object3DBlock base;
    io().readObject3D(base);
    core::AnimationTrackRecord r;
    io().readAnimationTrack(r);
    if (r.keyframeSequence == 0) parseError("KeyframeSequence is 0 in AnimationTrack.");
    if (r.propertyID < AnimationTrack::ALPHA || r.propertyID > AnimationTrack::VISIBILITY)
        parseError("Invalid target property ID value in AnimationTrack.");
    KeyframeSequence* sequence = reference<KeyframeSequence>(r.keyframeSequence, "KeyframeSequence", false);
    AnimationController* controller =
        reference<AnimationController>(r.animationController, "AnimationController", true);
    core::Ref<AnimationTrack> t = M3D_NEW AnimationTrack(sequence, (int)r.propertyID);
    t->setController(controller);
    applyObject3D(t.get(), base);
    out = t.get();
}

void M3G_Loader::parseKeyframeSequence(core::Ref<Object3D>& out) {
    core::Object3DBlock base;
    io().readObject3D(base);
    core::KeyframeSequenceRecord r;
    io().readKeyframeSequence(r);
    if (r.encoding > 2) parseError("Unknown KeyframeSequence encoding.");
    if (r.interpolation < KeyframeSequence::LINEAR || r.interpolation > KeyframeSequence::STEP)
        parseError("Invalid interpolation type in KeyframeSequence.");
    if (r.repeatMode != KeyframeSequence::CONSTANT && r.repeatMode != KeyframeSequence::LOOP)
        parseError("Invalid repeat mode in KeyframeSequence.");
    if ((int)r.duration < 0) parseError("Duration less than zero in KeyframeSequence.");
    if ((int)r.keyframeCount <= 0) parseError("Keyframe count is less than or equal to zero in KeyframeSequence.");
    if ((int)r.componentCount <= 0) parseError("Component count is less than or equal to zero in KeyframeSequence.");
    const int k = (int)r.keyframeCount, n = (int)r.componentCount;
    static const char* const OTHER_ARRAYS[3] = {
        "Other encoding arrays have values when encoding is 0 in KeyframeSequence.",
        "Other encoding arrays have values when encoding is 1 in KeyframeSequence.",
        "Other encoding arrays have values when encoding is 2 in KeyframeSequence."};
    static const char* const KEYFRAME_COUNT[3] = {
        "Keyframe count did not matched in Keyframe sequence (encoding 0). Possible bug in Morva3D.",
        "Keyframe count did not matched in Keyframe sequence (encoding 1). Possible bug in Morva3D.",
        "Keyframe count did not matched in Keyframe sequence (encoding 2). Possible bug in Morva3D."};
    static const char* const COMPONENT_COUNT[3] = {
        "Component count did not matched in keyframe sequence values array (encoding 0). Possible bug in Morva3D.",
        "Component count did not matched in keyframe sequence values array (encoding 1). Possible bug in Morva3D.",
        "Component count did not matched in keyframe sequence values array (encoding 2). Possible bug in Morva3D."};
    const int e = r.encoding;
    const int sizes[3] = {r.floatValues.size(), r.byteValues.size(), r.shortValues.size()};
    for (int other = 0; other < 3; ++other)
        if (other != e && sizes[other] != 0) parseError(OTHER_ARRAYS[e]);
    if (r.times.size() != k) parseError(KEYFRAME_COUNT[e]);
    if (sizes[e] != k * n) parseError(COMPONENT_COUNT[e]);
    core::Ref<KeyframeSequence> seq = M3D_NEW KeyframeSequence(k, n, r.interpolation);
    applyObject3D(seq.get(), base);
    seq->setRepeatMode(r.repeatMode);
    seq->setDuration((int)r.duration);
    seq->setValidRange((int)r.validRangeFirst, (int)r.validRangeLast);
    core::Vector<float> values;
    values.resize(n);
    for (int i = 0; i < k; ++i) {
        for (int c = 0; c < n; ++c) {
            int at = i * n + c;
            // Quantised values span bias .. bias + scale.
            if (e == 0)
                values[c] = r.floatValues[at];
            else if (e == 1)
                values[c] = r.vectorBias[c] + r.vectorScale[c] * (float)r.byteValues[at] / 255.0f;
            else
                values[c] = r.vectorBias[c] + r.vectorScale[c] * (float)r.shortValues[at] / 65535.0f;
        }
        seq->setKeyframe(i, (int)r.times[i], values.data());
    }
    out = seq.get();
}

} // namespace render
