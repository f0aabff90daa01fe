#include "render/KeyframeSequence.h"
#include "core/Exceptions.h"
#include "slm/quat.h"
#include <cmath>

namespace render {

namespace {

void fail(const char* message) { throw Graphics3DException("UNKNOWN", "UNKNOWN", 0, message); }

slm::quat load(const float* v) { return slm::quat(v[0], v[1], v[2], v[3]); }

void store(const slm::quat& q, float* out) {
    out[0] = q.x;
    out[1] = q.y;
    out[2] = q.z;
    out[3] = q.w;
}

slm::quat conjugate(const slm::quat& q) { return slm::quat(-q.x, -q.y, -q.z, q.w); }

// log of a unit quaternion: (θ · axis, 0) where q = (sin θ · axis, cos θ).
slm::quat logUnit(const slm::quat& q) {
    float v = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z);
    if (v < 1e-7f) return slm::quat(0.0f, 0.0f, 0.0f, 0.0f);
    float k = std::atan2(v, q.w) / v;
    return slm::quat(q.x * k, q.y * k, q.z * k, 0.0f);
}

// exp of a pure quaternion (θ · axis, 0): (sin θ · axis, cos θ).
slm::quat expPure(const slm::quat& q) {
    float a = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z);
    if (a < 1e-7f) return slm::quat();
    float k = std::sin(a) / a;
    return slm::quat(q.x * k, q.y * k, q.z * k, std::cos(a));
}

} // namespace

KeyframeSequence::KeyframeSequence(int keyframeCount, int componentCount, int interpolation)
    : m_interpolation(interpolation), m_repeatMode(CONSTANT), m_duration(0), m_validFirst(0),
      m_validLast(keyframeCount - 1), m_componentCount(componentCount) {
    if (keyframeCount < 1 || componentCount < 1)
        fail("KeyframeSequence: the keyframe and component counts must be at least 1");
    // The value storage is keyframeCount × componentCount floats.
    if ((long long)keyframeCount * componentCount > 0x1FFFFFFF) fail("KeyframeSequence: too many keyframe values");
    checkInterpolation(interpolation, componentCount);
    m_values.resize(keyframeCount * componentCount, 0.0f);
    m_keyframes.resize(keyframeCount, Keyframe());
}

KeyframeSequence::KeyframeSequence(const KeyframeSequence& o)
    : Object3D(o), m_interpolation(o.m_interpolation), m_repeatMode(o.m_repeatMode), m_duration(o.m_duration),
      m_validFirst(o.m_validFirst), m_validLast(o.m_validLast), m_componentCount(o.m_componentCount),
      m_values(o.m_values), m_keyframes(o.m_keyframes) {}

Object3D* KeyframeSequence::duplicate() const { return M3D_NEW KeyframeSequence(*this); }

void KeyframeSequence::checkInterpolation(int interpolation, int componentCount) {
    if (interpolation < LINEAR || interpolation > STEP) fail("KeyframeSequence: unknown interpolation type");
    if ((interpolation == SLERP || interpolation == SQUAD) && componentCount != 4)
        fail("KeyframeSequence: SLERP and SQUAD sequences need 4 components");
}

void KeyframeSequence::setInterpolationType(int interpolation) {
    checkInterpolation(interpolation, m_componentCount);
    m_interpolation = interpolation;
    if (interpolation == SLERP || interpolation == SQUAD)
        for (int i = 0; i < m_keyframes.size(); ++i) normalise(i);
}

void KeyframeSequence::normalise(int index) {
    float* v = m_values.data() + index * 4;
    float n = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2] + v[3] * v[3]);
    if (!(n > 0.0f) || !std::isfinite(n)) {
        // No rotation can be read from it; the identity keeps slerp finite.
        v[0] = v[1] = v[2] = 0.0f;
        v[3] = 1.0f;
        return;
    }
    float k = 1.0f / n;
    for (int i = 0; i < 4; ++i) v[i] *= k;
}

void KeyframeSequence::setKeyframe(int index, int time, const float* values) {
    if (index < 0 || index >= m_keyframes.size()) fail("KeyframeSequence: keyframe index out of range");
    if (time < 0) fail("KeyframeSequence: a keyframe time must not be negative");
    m_keyframes[index].time = time;
    float* v = m_values.data() + index * m_componentCount;
    for (int i = 0; i < m_componentCount; ++i) v[i] = values ? values[i] : 0.0f;
    if (m_interpolation == SLERP || m_interpolation == SQUAD) normalise(index);
}

int KeyframeSequence::getKeyframe(int index, float* values) const {
    if (index < 0 || index >= m_keyframes.size()) return -1;
    if (values) {
        const float* v = getKeyframeValues(index);
        for (int i = 0; i < m_componentCount; ++i) values[i] = v[i];
    }
    return m_keyframes[index].time;
}

void KeyframeSequence::setRepeatMode(int mode) {
    if (mode != CONSTANT && mode != LOOP) fail("KeyframeSequence: the repeat mode must be CONSTANT or LOOP");
    m_repeatMode = mode;
}

void KeyframeSequence::setDuration(int duration) {
    if (duration < 0) fail("KeyframeSequence: the duration must not be negative");
    m_duration = duration;
}

void KeyframeSequence::setValidRange(int first, int last) {
    int n = m_keyframes.size();
    if (first < 0 || first >= n || last < 0 || last >= n)
        fail("KeyframeSequence: the valid range must lie within the keyframes");
    m_validFirst = first;
    m_validLast = last;
}

int KeyframeSequence::validCount() const {
    int n = m_keyframes.size();
    return (m_validLast - m_validFirst + n) % n + 1;
}

int KeyframeSequence::validIndex(int position) const { return (m_validFirst + position) % m_keyframes.size(); }

int KeyframeSequence::mapTime(int time) const {
    if (m_repeatMode == LOOP) {
        // A zero duration has no period to wrap into: the start.
        if (m_duration <= 0) return 0;
        int r = time % m_duration;
        return r < 0 ? r + m_duration : r;
    }
    if (m_duration <= 0 || time < 0) return 0;
    return time >= m_duration ? m_duration - 1 : time;
}

void KeyframeSequence::squadControl(int position, float out[4]) const {
    bool loop = m_repeatMode == LOOP;
    int n = validCount();
    int before = position > 0 ? position - 1 : loop ? n - 1 : -1;
    int after = position < n - 1 ? position + 1 : loop ? 0 : -1;
    const float* key = getKeyframeValues(validIndex(position));
    if (before < 0 || after < 0 || before == position) {
        for (int k = 0; k < 4; ++k) out[k] = key[k];
        return;
    }
    // a = exp(-(log(next · q⁻¹) + log(prev · q⁻¹)) / 4) · q
    slm::quat q = load(key);
    slm::quat inverse = conjugate(q);
    slm::quat ln = logUnit(load(getKeyframeValues(validIndex(after))) * inverse);
    slm::quat lp = logUnit(load(getKeyframeValues(validIndex(before))) * inverse);
    slm::quat e(-(ln.x + lp.x) * 0.25f, -(ln.y + lp.y) * 0.25f, -(ln.z + lp.z) * 0.25f, 0.0f);
    store(expPure(e) * q, out);
}

void KeyframeSequence::sample(int time, float* out) const {
    const int n = m_componentCount;
    const int count = validCount();
    // Positions within the valid range, which wraps past the last keyframe
    // when first > last. The last one at or before `time` (keyframes never
    // set are skipped).
    int prevAt = -1;
    for (int j = 0; j < count; ++j) {
        int t = m_keyframes[validIndex(j)].time;
        if (t >= 0 && t <= time) prevAt = j;
    }
    if (prevAt < 0) {
        const float* first = getKeyframeValues(m_validFirst);
        for (int k = 0; k < n; ++k) out[k] = first[k];
        return;
    }
    int nextAt;
    int prev = validIndex(prevAt);
    long long t1;
    if (prevAt < count - 1) {
        nextAt = prevAt + 1;
        t1 = m_keyframes[validIndex(nextAt)].time;
    } else if (m_repeatMode == LOOP) {
        nextAt = 0;
        t1 = (long long)m_keyframes[m_validFirst].time + m_duration;
    } else {
        // CONSTANT holds the last keyframe rather than heading back to the first.
        nextAt = prevAt;
        t1 = m_keyframes[prev].time;
    }
    int next = validIndex(nextAt);
    long long t0 = m_keyframes[prev].time;
    if (t1 <= time && next != prev && m_keyframes[next].time >= 0) t1 += m_duration;
    // An empty or inverted interval (equal neighbouring times, one valid
    // keyframe, a keyframe never set) gives the earlier keyframe's values.
    float s = 0.0f;
    if (t1 > t0 && m_keyframes[next].time >= 0) {
        s = (float)((double)(time - t0) / (double)(t1 - t0));
        if (s < 0.0f) s = 0.0f;
        if (s > 1.0f) s = 1.0f;
    }
    const float* p = getKeyframeValues(prev);
    const float* q = getKeyframeValues(next);
    switch (m_interpolation) {
    case LINEAR:
        for (int k = 0; k < n; ++k) out[k] = p[k] * (1.0f - s) + q[k] * s;
        break;
    case SLERP:
        store(slm::slerp(load(p), load(q), s), out);
        break;
    case SPLINE:
        // Hermite segment with both tangents m = (q - p) / 2.
        for (int k = 0; k < n; ++k) {
            float m = (q[k] - p[k]) * 0.5f;
            out[k] = p[k] + m * s + (3.0f * (q[k] - p[k]) - 3.0f * m) * s * s + (2.0f * m + 2.0f * (p[k] - q[k])) * s * s * s;
        }
        break;
    case SQUAD: {
        float a[4], b[4];
        squadControl(prevAt, a);
        squadControl(nextAt, b);
        slm::quat outer = slm::slerp(load(p), load(q), s);
        slm::quat inner = slm::slerp(load(a), load(b), s);
        store(slm::slerp(outer, inner, 2.0f * s * (1.0f - s)), out);
        break;
    }
    default: // STEP
        for (int k = 0; k < n; ++k) out[k] = s >= 0.5f ? q[k] : p[k];
        break;
    }
}

} // namespace render
