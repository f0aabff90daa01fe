#include "render/AnimationController.h"
#include <cmath>

namespace render {

AnimationController::AnimationController()
    : m_speed(1.0f), m_weight(1.0f), m_referenceSequenceTime(0.0f), m_activeIntervalStart(0), m_activeIntervalEnd(0),
      m_referenceWorldTime(0) {}

AnimationController::AnimationController(const AnimationController& o)
    : Object3D(o), m_speed(o.m_speed), m_weight(o.m_weight), m_referenceSequenceTime(o.m_referenceSequenceTime),
      m_activeIntervalStart(o.m_activeIntervalStart), m_activeIntervalEnd(o.m_activeIntervalEnd),
      m_referenceWorldTime(o.m_referenceWorldTime) {}

Object3D* AnimationController::duplicate() const { return M3D_NEW AnimationController(*this); }

bool AnimationController::isActive(int worldTime) const {
    if (m_activeIntervalStart == m_activeIntervalEnd) return true;
    return m_activeIntervalStart <= worldTime && worldTime < m_activeIntervalEnd;
}

int AnimationController::sequenceTime(int worldTime) const {
    // The world-time difference can exceed the int range, and converting a
    // float outside it to int is undefined: work in double and saturate.
    double elapsed = (double)((long long)worldTime - (long long)m_referenceWorldTime);
    double t = (double)(float)((float)elapsed * m_speed + m_referenceSequenceTime + 0.5f);
    if (!(t == t)) return 0; // NaN speed or reference time
    if (t >= 2147483647.0) return 2147483647;
    if (t <= -2147483648.0) return (-2147483647 - 1);
    return (int)t;
}

} // namespace render
