// render::AnimationController: maps world time to sequence time and gives
// the tracks it drives a blending weight and an active interval.
//
// sequence time = (world time - reference world time) x speed
//                 + reference sequence time, rounded half up to an integer.
// The controller is active at world time w when its interval is empty
// (start = end) or start <= w < end.
#pragma once
#include "render/Object3D.h"

namespace render {

class AnimationController : public Object3D {
public:
    // Speed 1, weight 1, reference times 0, interval empty (always active).
    AnimationController();
    virtual Object3D* duplicate() const;

    void setSpeed(float speed) { m_speed = speed; }
    float getSpeed() const { return m_speed; }
    // Weights are summed as given (no normalisation); 0 contributes nothing.
    void setWeight(float weight) { m_weight = weight; }
    float getWeight() const { return m_weight; }
    void setActiveInterval(int start, int end) {
        m_activeIntervalStart = start;
        m_activeIntervalEnd = end;
    }
    int getActiveIntervalStart() const { return m_activeIntervalStart; }
    int getActiveIntervalEnd() const { return m_activeIntervalEnd; }
    // The pair of reference times: `sequenceTime` is reached at `worldTime`.
    void setPosition(float sequenceTime, int worldTime) {
        m_referenceSequenceTime = sequenceTime;
        m_referenceWorldTime = worldTime;
    }
    float getReferenceSequenceTime() const { return m_referenceSequenceTime; }
    int getReferenceWorldTime() const { return m_referenceWorldTime; }

    bool isActive(int worldTime) const;
    // The sequence time at `worldTime` before the repeat mode is applied;
    // saturates at the int range instead of overflowing.
    int sequenceTime(int worldTime) const;

private:
    AnimationController(const AnimationController& other);

    float m_speed;
    float m_weight;
    float m_referenceSequenceTime;
    int m_activeIntervalStart;
    int m_activeIntervalEnd;
    int m_referenceWorldTime;
};

} // namespace render
