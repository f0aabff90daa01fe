// render::AnimationTrack: binds a keyframe sequence and a controller to one
// animatable property of the object the track is attached to
// (Object3D::addAnimationTrack). Holds references to both.
//
// `applyProperty` writes a blended value into an object: each property has
// one apply rule per target class (clamps included); an object of a class
// without the property is left unchanged.
//
// Colours: every target class holds colours as 0xAARRGGBB. The colour
// properties write the red, green and blue bytes into bits 16-23, 8-15 and
// 0-7 and keep the target's alpha byte; ALPHA writes bits 24-31 only.
#pragma once
#include "render/AnimationController.h"
#include "render/KeyframeSequence.h"

namespace render {

class AnimationTrack : public Object3D {
public:
    enum {
        ALPHA = 256,
        AMBIENT_COLOR = 257,
        COLOR = 258,
        CROP = 259,
        DENSITY = 260,
        DIFFUSE_COLOR = 261,
        EMISSIVE_COLOR = 262,
        FAR_DISTANCE = 263,
        FIELD_OF_VIEW = 264,
        INTENSITY = 265,
        MORPH_WEIGHTS = 266,
        NEAR_DISTANCE = 267,
        ORIENTATION = 268,
        PICKABILITY = 269,
        SCALE = 270,
        SHININESS = 271,
        SPECULAR_COLOR = 272,
        SPOT_ANGLE = 273,
        SPOT_EXPONENT = 274,
        TRANSLATION = 275,
        VISIBILITY = 276
    };

    // Throws Morva3DException for a property outside ALPHA ... VISIBILITY.
    // The sequence may be null (the track then contributes nothing).
    AnimationTrack(KeyframeSequence* sequence, int property);
    virtual Object3D* duplicate() const;

    KeyframeSequence* getKeyframeSequence() const { return m_sequence.get(); }
    void setKeyframeSequence(KeyframeSequence* sequence) { m_sequence = sequence; }
    AnimationController* getController() const { return m_controller.get(); }
    void setController(AnimationController* controller) { m_controller = controller; }
    int getTargetProperty() const { return m_targetProperty; }
    // Same check as the constructor.
    void setTargetProperty(int property);

    // Writes `count` blended components `v` of `property` into `target`
    // (see the class comment). Missing components read as 0.
    static void applyProperty(Object3D* target, int property, const float* v, int count);

protected:
    virtual void appendReferences(core::Vector<Object3D*>& out) const;

private:
    AnimationTrack(const AnimationTrack& other);

    core::Ref<AnimationController> m_controller;
    core::Ref<KeyframeSequence> m_sequence;
    int m_targetProperty;
};

} // namespace render
