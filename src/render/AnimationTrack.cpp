#include "render/AnimationTrack.h"
#include "core/DebugLog.h"
#include "core/Exceptions.h"
#include "render/Background.h"
#include "render/Camera.h"
#include "render/Fog.h"
#include "render/Light.h"
#include "render/Material.h"
#include "render/MorphingMesh.h"
#include "render/Texture2D.h"
#include "render/VertexBuffer.h"
#include <cmath>

namespace render {

namespace {

const float SMALLEST = 1.1754944e-38f;

void checkProperty(int property) {
    if (property < AnimationTrack::ALPHA || property > AnimationTrack::VISIBILITY)
        throw Graphics3DException("UNKNOWN", "UNKNOWN", 0, "AnimationTrack: unknown target property");
}

// The upper clamps leave negative values alone.
float clampAbove(float v, float limit) { return v >= 0.0f && v > limit ? limit : v; }

// A colour channel in [0, 1] as a byte, rounded to the nearest integer.
// Negative and NaN values become 0: they would spill into the next byte.
unsigned channelByte(float c) {
    if (!(c > 0.0f)) return 0;
    if (c > 1.0f) c = 1.0f;
    return (unsigned)(c * 255.0f + 0.5f);
}

// 0x00RRGGBB: the colour placement of every target class (0xAARRGGBB).
unsigned packRGB(const float* v) { return channelByte(v[0]) << 16 | channelByte(v[1]) << 8 | channelByte(v[2]); }

unsigned withRGB(unsigned argb, unsigned rgb) { return (argb & 0xFF000000u) | rgb; }
unsigned withAlpha(unsigned argb, float a) { return (argb & 0x00FFFFFFu) | channelByte(a) << 24; }

// A float truncated to int, saturating instead of overflowing.
int truncated(float v) {
    if (!(v == v)) return 0;
    if (v >= 2147483520.0f) return 2147483647;
    if (v <= -2147483648.0f) return (-2147483647 - 1);
    return (int)v;
}

// The camera's projection again with one parameter replaced (1 = fovy or
// height, 3 = near, 4 = far): a perspective fovy is at most 180, and a
// perspective camera's distances and a parallel camera's height stay
// positive. near = far would make it singular, and the camera then keeps its
// projection.
void reproject(Camera* camera, int which, float value) {
    float p[4];
    int type = camera->getProjection(p);
    if (type != Camera::PERSPECTIVE && type != Camera::PARALLEL) return;
    bool perspective = type == Camera::PERSPECTIVE;
    if (perspective && which == 1) value = clampAbove(value, 180.0f);
    if (perspective != (which == 1) && value <= 0.0f) value = SMALLEST;
    p[which - 1] = value;
    if (std::fabs(p[3] - p[2]) < SMALLEST) {
        core::log(core::LOG_WARNING, "AnimationTrack: near and far distance would be equal, the projection is kept\n");
        return;
    }
    if (type == Camera::PERSPECTIVE)
        camera->setPerspective(p[0], p[1], p[2], p[3]);
    else
        camera->setParallel(p[0], p[1], p[2], p[3]);
}

void applyDistance(Object3D* target, int which, float d) {
    if (Camera* camera = dynamic_cast<Camera*>(target)) {
        reproject(camera, which, d);
    } else if (Fog* fog = dynamic_cast<Fog*>(target)) {
        if (which == 3)
            fog->setLinear(d, fog->getFarDistance());
        else
            fog->setLinear(fog->getNearDistance(), d);
    }
}

void applyOrientation(Transformable* t, const float* v) {
    slm::quat q(v[0], v[1], v[2], v[3]);
    float n = slm::length(q);
    if (!(n > 0.0f) || !std::isfinite(n)) return; // no rotation can be read from it
    slm::angle_axis aa = slm::to_axis_angle(slm::unit(q));
    slm::vec3 axis = aa.axis;
    if (std::fabs(axis.x) < SMALLEST && std::fabs(axis.y) < SMALLEST && std::fabs(axis.z) < SMALLEST)
        axis = slm::vec3(1.0f, 0.0f, 0.0f);
    t->setOrientation(slm::axis_angle_quat(axis, aa.angle));
}

} // namespace

AnimationTrack::AnimationTrack(KeyframeSequence* sequence, int property)
    : m_sequence(sequence), m_targetProperty(property) {
    checkProperty(property);
}

AnimationTrack::AnimationTrack(const AnimationTrack& o) : Object3D(o), m_targetProperty(o.m_targetProperty) {
    if (o.m_controller) m_controller = static_cast<AnimationController*>(o.m_controller->duplicate());
    if (o.m_sequence) m_sequence = static_cast<KeyframeSequence*>(o.m_sequence->duplicate());
}

Object3D* AnimationTrack::duplicate() const { return M3D_NEW AnimationTrack(*this); }

void AnimationTrack::setTargetProperty(int property) {
    checkProperty(property);
    m_targetProperty = property;
}

void AnimationTrack::appendReferences(core::Vector<Object3D*>& out) const {
    if (m_controller) out.append(m_controller.get());
    if (m_sequence) out.append(m_sequence.get());
}

void AnimationTrack::applyProperty(Object3D* target, int property, const float* values, int count) {
    if (!target) return;
    float v[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    for (int i = 0; i < 4 && i < count; ++i) v[i] = values[i];
    Node* node = dynamic_cast<Node*>(target);
    Material* material = dynamic_cast<Material*>(target);

    switch (property) {
    case ALPHA: {
        float a = clampAbove(v[0], 1.0f);
        if (node) node->setAlphaFactor(a);
        else if (Background* b = dynamic_cast<Background*>(target)) b->setColor(withAlpha(b->getColor(), a));
        else if (material) material->setDiffuse(withAlpha(material->getDiffuse(), a));
        else if (VertexBuffer* vb = dynamic_cast<VertexBuffer*>(target)) vb->setDefaultColor(withAlpha(vb->getDefaultColor(), a));
        break;
    }
    case AMBIENT_COLOR:
        if (material) material->setAmbient(withRGB(material->getAmbient(), packRGB(v)));
        break;
    case DIFFUSE_COLOR:
        if (material) material->setDiffuse(withRGB(material->getDiffuse(), packRGB(v)));
        break;
    case EMISSIVE_COLOR:
        if (material) material->setEmissive(withRGB(material->getEmissive(), packRGB(v)));
        break;
    case SPECULAR_COLOR:
        if (material) material->setSpecular(withRGB(material->getSpecular(), packRGB(v)));
        break;
    case COLOR: {
        unsigned rgb = packRGB(v);
        if (Light* l = dynamic_cast<Light*>(target)) l->setColor(rgb);
        else if (Background* b = dynamic_cast<Background*>(target)) b->setColor(withRGB(b->getColor(), rgb));
        else if (Fog* f = dynamic_cast<Fog*>(target)) f->setColor(rgb);
        else if (Texture2D* t = dynamic_cast<Texture2D*>(target)) t->setBlendColor(withRGB(t->getBlendColor(), rgb));
        else if (VertexBuffer* vb = dynamic_cast<VertexBuffer*>(target)) vb->setDefaultColor(withRGB(vb->getDefaultColor(), rgb));
        break;
    }
    case CROP:
        if (Background* b = dynamic_cast<Background*>(target)) {
            int w = b->getCropWidth(), h = b->getCropHeight();
            if (count >= 4) {
                // A negative size cannot be shown: it becomes empty.
                w = truncated(v[2]) > 0 ? truncated(v[2]) : 0;
                h = truncated(v[3]) > 0 ? truncated(v[3]) : 0;
            }
            b->setCrop(truncated(v[0]), truncated(v[1]), w, h);
        }
        break;
    case DENSITY:
        if (Fog* f = dynamic_cast<Fog*>(target)) f->setDensity(v[0] < 0.0f ? 0.0f : v[0]);
        break;
    case FAR_DISTANCE:
        applyDistance(target, 4, v[0]);
        break;
    case NEAR_DISTANCE:
        applyDistance(target, 3, v[0]);
        break;
    case FIELD_OF_VIEW:
        if (Camera* camera = dynamic_cast<Camera*>(target)) reproject(camera, 1, v[0]);
        break;
    case INTENSITY:
        if (Light* l = dynamic_cast<Light*>(target)) l->setIntensity(v[0]);
        break;
    case MORPH_WEIGHTS:
        if (MorphingMesh* m = dynamic_cast<MorphingMesh*>(target)) m->setWeights(values, count);
        break;
    case ORIENTATION:
        if (Transformable* t = dynamic_cast<Transformable*>(target)) applyOrientation(t, v);
        break;
    case PICKABILITY:
        if (node) node->setPickingEnable(v[0] > 0.5f);
        break;
    case SCALE:
        if (Transformable* t = dynamic_cast<Transformable*>(target))
            t->setScale(count >= 3 ? slm::vec3(v[0], v[1], v[2]) : slm::vec3(v[0], v[0], v[0]));
        break;
    case SHININESS:
        if (material) material->setShininess(clampAbove(v[0], 128.0f));
        break;
    case SPOT_ANGLE:
        if (Light* l = dynamic_cast<Light*>(target)) l->setSpotAngle(clampAbove(v[0], 90.0f));
        break;
    case SPOT_EXPONENT:
        if (Light* l = dynamic_cast<Light*>(target)) l->setSpotExponent(clampAbove(v[0], 128.0f));
        break;
    case TRANSLATION:
        if (Transformable* t = dynamic_cast<Transformable*>(target)) t->setTranslation(slm::vec3(v[0], v[1], v[2]));
        break;
    case VISIBILITY:
        if (node) node->setRenderingEnable(v[0] > 0.5f);
        break;
    default:
        break;
    }
}

} // namespace render
