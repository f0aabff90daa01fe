// render::M3G_Writer: the write side of the type table. Each engine class
// fills its record (core/M3GRecords.h) and core::DataIO writes it, the twin of
// what the loader reads.
#include "render/M3G_Writer.h"
#include "core/DebugLog.h"
#include "core/FileSystem.h"
#include "core/IOException.h"
#include "core/MemoryStream.h"
#include "core/Stream.h"
#include "render/AnimationTrack.h"
#include "render/Appearance.h"
#include "render/Background.h"
#include "render/Camera.h"
#include "render/Group.h"
#include "render/IndexBuffer.h"
#include "render/Light.h"
#include "render/Loader.h"
#include "render/M3G_Loader.h"
#include "render/Mesh.h"
#include "render/MorphingMesh.h"
#include "render/SkinnedMesh.h"
#include "render/World.h"
#include <cmath>
#include <cstdint>
#include <cstring>
#include <typeinfo>
#include <zlib.h>

namespace render {

namespace {

core::ColorRGB toRGB(unsigned c) {
    core::ColorRGB v = {(unsigned char)(c >> 16), (unsigned char)(c >> 8), (unsigned char)c};
    return v;
}
core::ColorRGBA toRGBA(unsigned c) {
    core::ColorRGBA v = {(unsigned char)(c >> 16), (unsigned char)(c >> 8), (unsigned char)c, (unsigned char)(c >> 24)};
    return v;
}
unsigned char unitByte(float f) {
    float v = std::floor(f * 255.0f + 0.5f);
    return (unsigned char)(v < 0.0f ? 0.0f : v > 255.0f ? 255.0f : v);
}
core::Matrix toRowMajor(const slm::mat4& m) {
    core::Matrix out;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) out.m[4 * r + c] = m(r, c);
    return out;
}

[[noreturn]] void refuse(const char* text) {
    core::log(core::LOG_ERROR, "M3G write error: \"%s\"\n", text);
    throw core::IOException(text, core::String());
}

// Section framing: compression byte, total length, uncompressed length, data, Adler-32.
void writeSection(core::DataIO& out, const unsigned char* data, unsigned int size, bool compress) {
    core::Vector<unsigned char> packed;
    const unsigned char* stored = data;
    unsigned int storedSize = size;
    if (compress) {
        uLongf n = compressBound(size);
        packed.resize((int)n);
        if (compress2(packed.data(), &n, data, size, Z_BEST_SPEED) != Z_OK) refuse("zlib could not compress a section.");
        stored = packed.data();
        storedSize = (unsigned int)n;
    }
    unsigned char head[9] = {(unsigned char)(compress ? 1 : 0)};
    const unsigned int total = storedSize + 13;
    for (int i = 0; i < 4; ++i) {
        head[1 + i] = (unsigned char)(total >> (8 * i));
        head[5 + i] = (unsigned char)(size >> (8 * i));
    }
    uLong adler = adler32(1, head, 9);
    if (storedSize) adler = adler32(adler, stored, storedSize);
    for (int i = 0; i < 9; ++i) out.writeByte(head[i]);
    out.writeBytes(stored, storedSize);
    out.writeUInt32((unsigned int)adler);
}

} // namespace

M3G_Writer::M3G_Writer() {}

int M3G_Writer::typeOf(const Object3D* o) {
    if (dynamic_cast<const World*>(o)) return M3G_Loader::WORLD;
    if (dynamic_cast<const Group*>(o)) return M3G_Loader::GROUP;
    if (dynamic_cast<const Camera*>(o)) return M3G_Loader::CAMERA;
    if (dynamic_cast<const Light*>(o)) return M3G_Loader::LIGHT;
    if (dynamic_cast<const SkinnedMesh*>(o)) return M3G_Loader::SKINNED_MESH;
    if (dynamic_cast<const MorphingMesh*>(o)) return M3G_Loader::MORPHING_MESH;
    // Mesh subclasses have rows of their own; a plain Mesh is exactly a Mesh.
    if (o && typeid(*o) == typeid(Mesh)) return M3G_Loader::MESH;
    if (dynamic_cast<const KeyframeSequence*>(o)) return M3G_Loader::KEYFRAME_SEQUENCE;
    if (dynamic_cast<const AnimationTrack*>(o)) return M3G_Loader::ANIMATION_TRACK;
    if (dynamic_cast<const AnimationController*>(o)) return M3G_Loader::ANIMATION_CONTROLLER;
    if (dynamic_cast<const Appearance*>(o)) return M3G_Loader::APPEARANCE;
    if (dynamic_cast<const Background*>(o)) return M3G_Loader::BACKGROUND;
    if (dynamic_cast<const CompositingMode*>(o)) return M3G_Loader::COMPOSITING_MODE;
    if (dynamic_cast<const Fog*>(o)) return M3G_Loader::FOG;
    if (dynamic_cast<const PolygonMode*>(o)) return M3G_Loader::POLYGON_MODE;
    if (dynamic_cast<const Material*>(o)) return M3G_Loader::MATERIAL;
    if (dynamic_cast<const Image2D*>(o)) return M3G_Loader::IMAGE2D;
    if (dynamic_cast<const Texture2D*>(o)) return M3G_Loader::TEXTURE2D;
    if (dynamic_cast<const TriangleStripArray*>(o) || dynamic_cast<const TriangleListArray*>(o))
        return M3G_Loader::TRIANGLE_STRIP_ARRAY;
    if (dynamic_cast<const VertexArray*>(o)) return M3G_Loader::VERTEX_ARRAY;
    if (dynamic_cast<const VertexBuffer*>(o)) return M3G_Loader::VERTEX_BUFFER;
    return 0;
}

unsigned int M3G_Writer::indexOf(const Object3D* object) const {
    for (int i = 0; i < m_objects.size(); ++i)
        if (m_objects[i].get() == object) return (unsigned int)i + 2;
    core::String text;
    text.format("Object reference 0x%X not yet added to index table.", (unsigned)(uintptr_t)object);
    refuse(text.c_str());
}

void M3G_Writer::add(Object3D* object) {
    if (!object) return;
    for (int i = 0; i < m_objects.size(); ++i)
        if (m_objects[i].get() == object) return;
    if (typeOf(object) == 0) refuse("The object has no M3G object type.");
    addReferences(object);
    m_objects.append(object);
}

void M3G_Writer::addReferences(Object3D* o) {
    for (int i = 0; i < o->getAnimationTrackCount(); ++i) add(o->getAnimationTrack(i));
    if (Node* n = dynamic_cast<Node*>(o)) {
        add(n->getZReference());
        add(n->getYReference());
    }
    if (AnimationTrack* t = dynamic_cast<AnimationTrack*>(o)) {
        if (!t->getKeyframeSequence()) refuse("An animation track without a keyframe sequence cannot be written.");
        add(t->getKeyframeSequence());
        add(t->getController());
    } else if (Appearance* a = dynamic_cast<Appearance*>(o)) {
        add(a->getCompositingMode());
        add(a->getFog());
        add(a->getPolygonMode());
        add(a->getMaterial());
        for (int i = 0; i < a->getTextureCount(); ++i) add(a->getTexture(i));
    } else if (Background* b = dynamic_cast<Background*>(o)) {
        add(b->getImage());
    } else if (Texture2D* t = dynamic_cast<Texture2D*>(o)) {
        if (!t->getImage()) refuse("A texture without an image cannot be written.");
        add(t->getImage());
    } else if (VertexBuffer* vb = dynamic_cast<VertexBuffer*>(o)) {
        add(vb->getPositions());
        add(vb->getNormals());
        add(vb->getColors());
        for (int i = 0; i < vb->getTexCoordUnitCount(); ++i)
            if (vb->getTexCoords(i)) add(vb->getTexCoords(i)->array.get());
    } else if (Mesh* m = dynamic_cast<Mesh*>(o)) {
        add(meshVertices(m));
        if (MorphingMesh* morph = dynamic_cast<MorphingMesh*>(o))
            for (int i = 0; i < morph->getMorphTargetCount(); ++i) add(morph->getMorphTarget(i));
        if (SkinnedMesh* skin = dynamic_cast<SkinnedMesh*>(o)) add(skin->getSkeleton());
        for (int i = 0; i < m->getSubmeshCount(); ++i) {
            add(m->getIndexBuffer(i));
            if (m->getAppearance(i)) {
                add(m->getAppearance(i));
            } else if (m_defaults.size() == 0) {
                m_defaults.append(M3D_NEW Appearance());
                add(m_defaults[0].get());
            }
        }
    } else if (Group* g = dynamic_cast<Group*>(o)) {
        for (int i = 0; i < g->getChildCount(); ++i) add(g->getChild(i));
        if (World* w = dynamic_cast<World*>(o)) {
            add(w->getActiveCamera());
            add(w->getBackground());
        }
    }
}

void M3G_Writer::writeObject3D(core::DataIO& out, const Object3D* o) {
    core::Object3DBlock b;
    b.userID = (unsigned int)o->getUserID();
    for (int i = 0; i < o->getAnimationTrackCount(); ++i) b.animationTracks.append(indexOf(o->getAnimationTrack(i)));
    if (UserParameters* table = o->getUserParameters()) {
        // Key k sits in bucket k % count: walking the buckets by their own
        // numbers visits every chain once.
        for (unsigned int bucket = 0; bucket < table->getBucketCount(); ++bucket)
            for (UserParameters::Node* n = table->chain((int)bucket); n; n = n->next.get()) {
                core::UserParameter p;
                p.parameterID = (unsigned int)n->key;
                p.value.resize(n->value.size());
                for (int k = 0; k < n->value.size(); ++k) p.value[k] = (unsigned char)n->value[k];
                b.parameters.append(p);
            }
    }
    out.writeObject3D(b);
}

void M3G_Writer::writeTransformable(core::DataIO& out, Transformable* t) {
    core::TransformableBlock b;
    const slm::vec3& tr = t->getTranslation();
    const slm::vec3& sc = t->getScale();
    const slm::quat& q = t->getOrientation();
    b.hasComponentTransform = !(tr == slm::vec3(0, 0, 0) && sc == slm::vec3(1, 1, 1) && q == slm::quat());
    if (b.hasComponentTransform) {
        b.component.translation = {tr.x, tr.y, tr.z};
        b.component.scale = {sc.x, sc.y, sc.z};
        slm::angle_axis aa = slm::to_axis_angle(q);
        b.component.orientationAngle = aa.angle * 57.29577951f;
        b.component.orientationAxis = {aa.axis.x, aa.axis.y, aa.axis.z};
        if (aa.angle == 0.0f) b.component.orientationAxis = {0.0f, 0.0f, 1.0f};
    }
    b.hasGeneralTransform = !slm::equal(t->getTransform(), slm::mat4());
    if (b.hasGeneralTransform) b.general = toRowMajor(t->getTransform());
    out.writeTransformable(b);
}

void M3G_Writer::writeNode(core::DataIO& out, Transformable* t) {
    writeObject3D(out, t);
    writeTransformable(out, t);
    Node* n = static_cast<Node*>(t);
    core::NodeBlock b;
    b.enableRendering = n->isRenderingEnabled();
    b.enablePicking = n->isPickingEnabled();
    b.alphaFactor = unitByte(n->getAlphaFactor());
    b.scope = (unsigned int)n->getScope();
    b.hasAlignment = n->getZTarget() != Node::NONE || n->getYTarget() != Node::NONE;
    b.zTarget = (unsigned char)n->getZTarget();
    b.yTarget = (unsigned char)n->getYTarget();
    b.zReference = indexOrZero(n->getZReference());
    b.yReference = indexOrZero(n->getYReference());
    out.writeNode(b);
}

void M3G_Writer::writeObject(core::DataIO& out, Object3D* o, int type) {
    switch (type) {
    case M3G_Loader::APPEARANCE: {
        Appearance* a = static_cast<Appearance*>(o);
        writeObject3D(out, o);
        core::AppearanceRecord r;
        r.layer = (unsigned char)(signed char)a->getLayer();
        r.compositingMode = indexOrZero(a->getCompositingMode());
        r.fog = indexOrZero(a->getFog());
        r.polygonMode = indexOrZero(a->getPolygonMode());
        r.material = indexOrZero(a->getMaterial());
        for (int i = 0; i < a->getTextureCount(); ++i) r.textures.append(indexOrZero(a->getTexture(i)));
        out.writeAppearance(r);
        break;
    }
    case M3G_Loader::BACKGROUND: {
        Background* b = static_cast<Background*>(o);
        writeObject3D(out, o);
        core::BackgroundRecord r;
        r.color = toRGBA(b->getColor());
        r.image = indexOrZero(b->getImage());
        r.imageModeX = (unsigned char)b->getImageModeX();
        r.imageModeY = (unsigned char)b->getImageModeY();
        r.cropX = b->getCropX();
        r.cropY = b->getCropY();
        r.cropWidth = b->getCropWidth();
        r.cropHeight = b->getCropHeight();
        r.depthClearEnabled = b->isDepthClearEnabled();
        r.colorClearEnabled = b->isColorClearEnabled();
        out.writeBackground(r);
        break;
    }
    case M3G_Loader::CAMERA: {
        Camera* c = static_cast<Camera*>(o);
        writeNode(out, c);
        core::CameraRecord r;
        float p[4];
        int projection = c->getProjection(p);
        if (projection == Camera::PERSPECTIVE || projection == Camera::PARALLEL) {
            r.projectionType = (unsigned char)projection;
            r.fovy = p[0];
            r.aspectRatio = p[1];
            r.nearDistance = p[2];
            r.farDistance = p[3];
        } else {
            // GENERIC, and SCREEN, which the format has no parameters for.
            r.projectionType = Camera::GENERIC;
            r.projection = toRowMajor(c->getProjectionMatrix());
        }
        out.writeCamera(r);
        break;
    }
    case M3G_Loader::COMPOSITING_MODE: {
        CompositingMode* c = static_cast<CompositingMode*>(o);
        writeObject3D(out, o);
        core::CompositingModeRecord r;
        r.depthTestEnabled = c->isDepthTestEnabled();
        r.depthWriteEnabled = c->isDepthWriteEnabled();
        r.colorWriteEnabled = c->isColorWriteEnabled();
        r.alphaWriteEnabled = c->isAlphaWriteEnabled();
        r.blending = (unsigned char)c->getBlending();
        r.alphaThreshold = unitByte(c->getAlphaThreshold());
        r.depthOffsetFactor = c->getDepthOffsetFactor();
        r.depthOffsetUnits = c->getDepthOffsetUnits();
        out.writeCompositingMode(r);
        break;
    }
    case M3G_Loader::FOG: {
        Fog* f = static_cast<Fog*>(o);
        writeObject3D(out, o);
        core::FogRecord r;
        r.color = toRGB(f->getColor());
        r.mode = (unsigned char)f->getMode();
        r.density = f->getDensity();
        r.nearDistance = f->getNearDistance();
        r.farDistance = f->getFarDistance();
        out.writeFog(r);
        break;
    }
    case M3G_Loader::POLYGON_MODE: {
        PolygonMode* p = static_cast<PolygonMode*>(o);
        writeObject3D(out, o);
        core::PolygonModeRecord r;
        r.culling = (unsigned char)p->getCulling();
        r.shading = (unsigned char)p->getShading();
        r.winding = (unsigned char)p->getWinding();
        r.twoSidedLightingEnabled = p->isTwoSidedLightingEnabled();
        r.localCameraLightingEnabled = p->isLocalCameraLightingEnabled();
        r.perspectiveCorrectionEnabled = p->isPerspectiveCorrectionEnabled();
        out.writePolygonMode(r);
        break;
    }
    case M3G_Loader::GROUP:
    case M3G_Loader::WORLD: {
        Group* g = static_cast<Group*>(o);
        writeNode(out, g);
        core::GroupRecord r;
        for (int i = 0; i < g->getChildCount(); ++i) r.children.append(indexOf(g->getChild(i)));
        out.writeGroup(r);
        if (type == M3G_Loader::WORLD) {
            World* w = static_cast<World*>(o);
            core::WorldRecord wr;
            wr.activeCamera = indexOrZero(w->getActiveCamera());
            wr.background = indexOrZero(w->getBackground());
            out.writeWorld(wr);
        }
        break;
    }
    case M3G_Loader::IMAGE2D: {
        Image2D* image = static_cast<Image2D*>(o);
        writeObject3D(out, o);
        core::Image2DRecord r;
        r.format = (unsigned char)image->getFormat();
        r.isMutable = image->isMutable();
        r.width = (unsigned int)image->getWidth();
        r.height = (unsigned int)image->getHeight();
        if (!r.isMutable) {
            const unsigned char* pixels = image->getPixels();
            int size = image->getBufferSize();
            if (!pixels || size <= 0) refuse("An immutable image without pixels cannot be written.");
            r.pixels.resize(size);
            for (int i = 0; i < size; ++i) r.pixels[i] = pixels[i];
            if (image->isPalettised() && image->getPalette()) {
                int entries = 256 * Image2D::bytesPerPixel(image->getFormat());
                r.palette.resize(entries);
                for (int i = 0; i < entries; ++i) r.palette[i] = image->getPalette()[i];
            }
        }
        out.writeImage2D(r);
        break;
    }
    case M3G_Loader::TEXTURE2D: {
        Texture2D* t = static_cast<Texture2D*>(o);
        writeObject3D(out, o);
        writeTransformable(out, t);
        core::Texture2DRecord r;
        r.image = indexOf(t->getImage());
        r.blendColor = toRGB(t->getBlendColor());
        r.blending = (unsigned char)t->getBlending();
        r.wrappingS = (unsigned char)t->getWrappingS();
        r.wrappingT = (unsigned char)t->getWrappingT();
        r.levelFilter = (unsigned char)t->getLevelFilter();
        r.imageFilter = (unsigned char)t->getImageFilter();
        out.writeTexture2D(r);
        break;
    }
    case M3G_Loader::TRIANGLE_STRIP_ARRAY: {
        IndexBuffer* ib = static_cast<IndexBuffer*>(o);
        writeObject3D(out, o);
        core::TriangleStripArrayRecord r;
        r.encoding = 130;
        const core::Vector<unsigned short>& indices = ib->getIndices();
        if (indices.size() == 0) refuse("An empty index buffer cannot be written.");
        r.indices.resize(indices.size());
        for (int i = 0; i < indices.size(); ++i) r.indices[i] = indices[i];
        if (ib->getPrimitiveType() == IndexBuffer::TRIANGLE_STRIP) {
            r.stripLengths.append((unsigned int)indices.size());
        } else {
            // One strip per triangle.
            r.indices.resize(indices.size() / 3 * 3);
            for (int i = 0; i + 2 < indices.size(); i += 3) r.stripLengths.append(3);
        }
        out.writeTriangleStripArray(r);
        break;
    }
    case M3G_Loader::LIGHT: {
        Light* l = static_cast<Light*>(o);
        writeNode(out, l);
        core::LightRecord r;
        r.attenuationConstant = l->getConstantAttenuation();
        r.attenuationLinear = l->getLinearAttenuation();
        r.attenuationQuadratic = l->getQuadraticAttenuation();
        r.color = toRGB(l->getColor());
        r.mode = (unsigned char)l->getMode();
        r.intensity = l->getIntensity();
        r.spotAngle = l->getSpotAngle();
        r.spotExponent = l->getSpotExponent();
        out.writeLight(r);
        break;
    }
    case M3G_Loader::MATERIAL: {
        Material* m = static_cast<Material*>(o);
        writeObject3D(out, o);
        core::MaterialRecord r;
        r.ambientColor = toRGB(m->getAmbient());
        r.diffuseColor = toRGBA(m->getDiffuse());
        r.emissiveColor = toRGB(m->getEmissive());
        r.specularColor = toRGB(m->getSpecular());
        r.shininess = m->getShininess();
        r.vertexColorTrackingEnabled = m->isVertexColorTrackingEnabled();
        out.writeMaterial(r);
        break;
    }
    case M3G_Loader::MESH:
    case M3G_Loader::MORPHING_MESH:
    case M3G_Loader::SKINNED_MESH: {
        Mesh* m = static_cast<Mesh*>(o);
        writeNode(out, m);
        core::MeshRecord r;
        r.vertexBuffer = indexOf(meshVertices(m));
        r.submeshCount = (unsigned int)m->getSubmeshCount();
        for (int i = 0; i < m->getSubmeshCount(); ++i) {
            r.indexBuffers.append(indexOf(m->getIndexBuffer(i)));
            Appearance* a = m->getAppearance(i);
            r.appearances.append(indexOf(a ? a : m_defaults[0].get()));
        }
        out.writeMesh(r);
        if (type == M3G_Loader::MORPHING_MESH) writeMorphing(out, static_cast<MorphingMesh*>(m));
        if (type == M3G_Loader::SKINNED_MESH) writeSkinning(out, static_cast<SkinnedMesh*>(m));
        break;
    }
    case M3G_Loader::ANIMATION_CONTROLLER: {
        AnimationController* c = static_cast<AnimationController*>(o);
        writeObject3D(out, o);
        core::AnimationControllerRecord r;
        r.speed = c->getSpeed();
        r.weight = c->getWeight();
        r.activeIntervalStart = c->getActiveIntervalStart();
        r.activeIntervalEnd = c->getActiveIntervalEnd();
        r.referenceSequenceTime = c->getReferenceSequenceTime();
        r.referenceWorldTime = c->getReferenceWorldTime();
        out.writeAnimationController(r);
        break;
    }
    case M3G_Loader::ANIMATION_TRACK: {
        AnimationTrack* t = static_cast<AnimationTrack*>(o);
        writeObject3D(out, o);
        core::AnimationTrackRecord r;
        r.keyframeSequence = indexOf(t->getKeyframeSequence());
        r.animationController = indexOrZero(t->getController());
        r.propertyID = (unsigned int)t->getTargetProperty();
        out.writeAnimationTrack(r);
        break;
    }
    case M3G_Loader::KEYFRAME_SEQUENCE: {
        KeyframeSequence* k = static_cast<KeyframeSequence*>(o);
        writeObject3D(out, o);
        core::KeyframeSequenceRecord r;
        r.interpolation = (unsigned char)k->getInterpolationType();
        r.repeatMode = (unsigned char)k->getRepeatMode();
        r.encoding = 0;
        r.duration = (unsigned int)k->getDuration();
        r.validRangeFirst = (unsigned int)k->getValidRangeFirst();
        r.validRangeLast = (unsigned int)k->getValidRangeLast();
        r.componentCount = (unsigned int)k->getComponentCount();
        r.keyframeCount = (unsigned int)k->getKeyframeCount();
        const int n = k->getComponentCount();
        r.floatValues.resize(k->getKeyframeCount() * n);
        for (int i = 0; i < k->getKeyframeCount(); ++i) {
            int time = k->getKeyframe(i, r.floatValues.data() + i * n);
            r.times.append((unsigned int)(time < 0 ? 0 : time));
        }
        out.writeKeyframeSequence(r);
        break;
    }
    case M3G_Loader::VERTEX_ARRAY: {
        VertexArray* a = static_cast<VertexArray*>(o);
        writeObject3D(out, o);
        core::VertexArrayRecord r;
        if (a->getComponentSize() == 4) refuse("Float vertex arrays cannot be written to an M3G file.");
        if (a->getVertexCount() < 1 || a->getVertexCount() > 65535)
            refuse("A vertex array of 1 to 65535 vertices is needed for an M3G file.");
        r.componentSize = (unsigned char)a->getComponentSize();
        r.componentCount = (unsigned char)a->getComponentCount();
        r.encoding = 0;
        r.vertexCount = (unsigned short)a->getVertexCount();
        int values = a->getVertexCount() * a->getComponentCount();
        if (r.componentSize == 1) {
            r.byteValues.resize(values);
            const unsigned char* src = static_cast<const unsigned char*>(a->data());
            for (int i = 0; i < values; ++i) r.byteValues[i] = src[i];
        } else {
            r.shortValues.resize(values);
            const short* src = static_cast<const short*>(a->data());
            for (int i = 0; i < values; ++i) r.shortValues[i] = src[i];
        }
        out.writeVertexArray(r);
        break;
    }
    case M3G_Loader::VERTEX_BUFFER: {
        VertexBuffer* vb = static_cast<VertexBuffer*>(o);
        writeObject3D(out, o);
        core::VertexBufferRecord r;
        r.defaultColor = toRGBA(vb->getDefaultColor());
        r.positions = indexOrZero(vb->getPositions());
        for (int i = 0; i < 3; ++i) r.positionBias[i] = vb->getPositionBias()[i];
        r.positionScale = vb->getPositionScale();
        r.normals = indexOrZero(vb->getNormals());
        r.colors = indexOrZero(vb->getColors());
        for (int i = 0; i < vb->getTexCoordUnitCount(); ++i) {
            VertexBuffer::TexCoordContainer* t = vb->getTexCoords(i);
            if (!t || !t->array) continue;
            core::TexCoordRecord tr;
            tr.array = indexOf(t->array.get());
            for (int k = 0; k < 3; ++k) tr.bias[k] = t->bias[k];
            tr.scale = t->scale;
            r.texCoords.append(tr);
        }
        out.writeVertexBuffer(r);
        break;
    }
    default: refuse("The object has no M3G object type.");
    }
}

VertexBuffer* M3G_Writer::meshVertices(Mesh* m) {
    // A morphing mesh draws a blended buffer of its own; the file holds the base.
    if (MorphingMesh* morph = dynamic_cast<MorphingMesh*>(m)) return morph->getBaseVertexBuffer();
    return m->getVertexBuffer();
}

void M3G_Writer::writeMorphing(core::DataIO& out, MorphingMesh* m) {
    core::MorphingMeshRecord r;
    r.initialWeights.resize(m->getMorphTargetCount());
    m->getWeights(r.initialWeights.data(), m->getMorphTargetCount());
    for (int i = 0; i < m->getMorphTargetCount(); ++i) r.morphTargets.append(indexOf(m->getMorphTarget(i)));
    out.writeMorphingMesh(r);
}

void M3G_Writer::writeSkinning(core::DataIO& out, SkinnedMesh* m) {
    core::SkinnedMeshRecord r;
    r.skeleton = indexOf(m->getSkeleton());
    // The mesh keeps its bindings per vertex; runs of vertices bound to one
    // bone with one weight become one bone reference again.
    for (int b = 0; b < m->getBoneCount(); ++b) {
        core::Vector<SkinnedMesh::BoneVertex> vertices;
        m->getBoneVertices(m->getBone(b), vertices);
        for (int i = 0; i < vertices.size();) {
            int j = i + 1;
            while (j < vertices.size() && vertices[j].vertex == vertices[j - 1].vertex + 1 &&
                   vertices[j].weight == vertices[i].weight)
                ++j;
            core::BoneReference ref;
            ref.transformNode = indexOf(m->getBone(b));
            ref.firstVertex = (unsigned int)vertices[i].vertex;
            ref.vertexCount = (unsigned int)(j - i);
            ref.weight = vertices[i].weight;
            r.bones.append(ref);
            i = j;
        }
    }
    r.transformReferenceCount = (unsigned int)r.bones.size();
    out.writeSkinnedMesh(r);
}

void M3G_Writer::write(core::Stream* stream, bool compress) {
    // Objects first, into memory: the header needs the file's size.
    core::Ref<core::MemoryStream> objects = M3D_NEW core::MemoryStream();
    core::Ref<core::DataIO> objectIO = M3D_NEW core::DataIO(objects.get(), 0);
    for (int i = 0; i < m_objects.size(); ++i) {
        Object3D* o = m_objects[i].get();
        int type = typeOf(o);
        core::Ref<core::MemoryStream> body = M3D_NEW core::MemoryStream();
        core::Ref<core::DataIO> bodyIO = M3D_NEW core::DataIO(body.get(), 0);
        writeObject(*bodyIO, o, type);
        objectIO->writeByte((unsigned char)type);
        objectIO->writeByteArray(body->data(), (unsigned int)body->size());
    }
    core::Vector<unsigned char> section;
    {
        core::Ref<core::MemoryStream> packed = M3D_NEW core::MemoryStream();
        core::Ref<core::DataIO> io = M3D_NEW core::DataIO(packed.get(), 0);
        writeSection(*io, objects->data(), (unsigned int)objects->size(), compress);
        section.resize(packed->size());
        std::memcpy(section.data(), packed->data(), (size_t)packed->size());
    }
    core::M3GHeader header;
    header.authoringField = core::String("Pelloran");
    const unsigned int headerObject = 11 + (unsigned int)header.authoringField.length() + 1;
    const unsigned int headerSection = headerObject + 5 + 13;
    header.totalFileSize = 12 + headerSection + (unsigned int)section.size();
    header.approximateContentSize = header.totalFileSize;
    core::Ref<core::MemoryStream> headerBytes = M3D_NEW core::MemoryStream();
    {
        core::Ref<core::DataIO> io = M3D_NEW core::DataIO(headerBytes.get(), 0);
        io->writeByte(M3G_Loader::HEADER);
        io->writeUInt32(headerObject);
        io->writeHeader(header);
    }
    core::Ref<core::DataIO> out = M3D_NEW core::DataIO(stream, 0);
    for (int i = 0; i < 12; ++i) out->writeByte(Loader::M3G_IDENTIFIER[i]);
    writeSection(*out, headerBytes->data(), (unsigned int)headerBytes->size(), false);
    out->writeBytes(section.data(), (unsigned int)section.size());
}

void M3G_Writer::save(const core::String& name, const core::Vector<core::Ref<Object3D>>& roots, bool compress) {
    core::Ref<M3G_Writer> writer = M3D_NEW M3G_Writer();
    for (int i = 0; i < roots.size(); ++i) writer->add(roots[i].get());
    core::Ref<core::Stream> stream = core::FileSystem::get()->openFile(name, core::Archive::OPEN_WRITE);
    core::StreamCloser closer(stream.get());
    writer->write(stream.get(), compress);
}

} // namespace render
