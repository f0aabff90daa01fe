// render::KeyframeSequence: timed keyframes of a fixed number of float
// components and the interpolation between them. Times are integers in the
// sequence's own time units; keyframes whose time was never set read -1.
//
// The sequence maps a local time to values (`sample`): the keyframe search
// covers only the valid range [first, last] (first > last wraps past the
// last keyframe to keyframe 0); a LOOP sequence wraps from the
// last valid keyframe back to the first one at `duration`, a CONSTANT one
// holds the last keyframe's values after it, and a time before the first
// keyframe gives the first keyframe's values.
//
// Interpolation types: LINEAR per component; SLERP and SQUAD treat the four
// components as a quaternion (x, y, z, w) and normalise keyframes as they
// are stored; SPLINE is a cubic Hermite segment per component; STEP switches
// to the next keyframe half-way through an interval.
#pragma once
#include "render/Object3D.h"

namespace render {

class KeyframeSequence : public Object3D {
public:
    enum { LINEAR = 176, SLERP = 177, SPLINE = 178, SQUAD = 179, STEP = 180 };
    enum { CONSTANT = 192, LOOP = 193 };

    struct Keyframe {
        int time = -1;
    };

    // `keyframeCount` >= 1 keyframes of `componentCount` >= 1 floats (4 for
    // SLERP and SQUAD), all values 0 and times unset; the valid range covers
    // every keyframe, the duration is 0 and the repeat mode CONSTANT.
    // Throws Morva3DException for counts below 1, an unknown interpolation
    // type, or a quaternion type whose component count is not 4.
    KeyframeSequence(int keyframeCount, int componentCount, int interpolation);
    virtual Object3D* duplicate() const;

    int getKeyframeCount() const { return m_keyframes.size(); }
    int getComponentCount() const { return m_componentCount; }
    int getInterpolationType() const { return m_interpolation; }
    // Same checks as the constructor; switching to SLERP or SQUAD normalises
    // the stored keyframes.
    void setInterpolationType(int interpolation);

    // Stores the keyframe's time and its componentCount values (normalised
    // for SLERP and SQUAD; a zero quaternion is stored as the identity).
    // Throws Morva3DException for an index out of range or a negative time.
    void setKeyframe(int index, int time, const float* values);
    // The keyframe's time (-1 when unset); copies its values into `values`
    // when not null. -1 and nothing copied for an index out of range.
    int getKeyframe(int index, float* values) const;
    const float* getKeyframeValues(int index) const { return m_values.data() + index * m_componentCount; }

    // CONSTANT or LOOP; anything else throws Morva3DException.
    void setRepeatMode(int mode);
    int getRepeatMode() const { return m_repeatMode; }
    // A negative duration throws Morva3DException.
    void setDuration(int duration);
    int getDuration() const { return m_duration; }
    // Both within the keyframes, else Morva3DException; first > last makes
    // the range run from first to the last keyframe and on from keyframe 0.
    void setValidRange(int first, int last);
    int getValidRangeFirst() const { return m_validFirst; }
    int getValidRangeLast() const { return m_validLast; }

    // The repeat mode applied to a local time: LOOP wraps into [0, duration)
    // (0 when the duration is 0), CONSTANT clamps into [0, duration - 1].
    int mapTime(int time) const;
    // The interpolated values at the already mapped sequence time `time`,
    // componentCount floats into `out`. Never writes a non-finite value
    // that the keyframes did not hold.
    void sample(int time, float* out) const;

private:
    KeyframeSequence(const KeyframeSequence& other);
    static void checkInterpolation(int interpolation, int componentCount);
    void normalise(int index);
    int validCount() const;
    // The keyframe index of position `position` (0 … validCount - 1) of the valid range.
    int validIndex(int position) const;
    // The control quaternion of the keyframe at valid-range position
    // `position` for SQUAD (its neighbours in the range, wrapping for LOOP;
    // at an open end the key itself).
    void squadControl(int position, float out[4]) const;

    int m_interpolation;
    int m_repeatMode;
    int m_duration;
    int m_validFirst;
    int m_validLast;
    int m_componentCount;
    core::Vector<float> m_values;
    core::Vector<Keyframe> m_keyframes;
};

} // namespace render
