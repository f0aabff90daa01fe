#include "render/Object3D.h"
#include "core/DebugLog.h"
#include "render/AnimationTrack.h"
#include <cstring>

namespace render {

namespace {

// Numbers the outermost animate calls: an object reached again within the
// same call (a shared object, or a graph that refers back to itself) has
// already been animated and returns at once.
unsigned s_animatePass = 0;
int s_animateDepth = 0;

struct AnimateDepth {
    AnimateDepth() { ++s_animateDepth; }
    ~AnimateDepth() { --s_animateDepth; }
};

} // namespace

Object3D::Object3D()
    : m_externalUserObject(nullptr), m_userID(0), m_channelCount(0), m_animatePass(0),
      m_userObjectIsExternal(false) {}

Object3D::Object3D(const Object3D& other)
    : core::Object(), m_userObject(other.m_userObject), m_externalUserObject(other.m_externalUserObject),
      m_userID(0), m_channelCount(0), m_animatePass(0), m_userObjectIsExternal(other.m_userObjectIsExternal) {
    core::log(0x1000, "Object3D: getUserID = %d\n", other.m_userID);
    core::log(0x1000, "Object3D: setUserID = %d (old id = %d)\n", other.m_userID, m_userID);
    m_userID = other.m_userID;
    for (int i = 0; i < other.m_animationTracks.size(); ++i) {
        Object3D* track = other.m_animationTracks[i].get();
        m_animationTracks.append(core::Ref<Object3D>(track ? track->duplicate() : nullptr));
    }
}

Object3D::~Object3D() {}

void Object3D::animate(int time) {
    if (s_animateDepth == 0 && ++s_animatePass == 0) s_animatePass = 1;
    if (m_animatePass == s_animatePass) return;
    m_animatePass = s_animatePass;
    AnimateDepth depth;

    m_activeTracks.resize(0);
    for (int i = 0; i < m_animationTracks.size(); ++i)
        if (AnimationTrack* track = dynamic_cast<AnimationTrack*>(m_animationTracks[i].get()))
            m_activeTracks.append(track);
    // Each property is handled at its first track; animateProperty clears
    // the entries it consumed, so later tracks of it are not seen again.
    for (int i = 0; i < m_activeTracks.size(); ++i)
        if (m_activeTracks[i]) animateProperty(static_cast<AnimationTrack*>(m_activeTracks[i])->getTargetProperty(), time);

    // resize(0) keeps the storage, so a steady scene allocates nothing here.
    m_references.resize(0);
    for (int i = 0; i < m_animationTracks.size(); ++i) {
        core::log(0x1000, "Object3D: getAnimationTrack (%d)\n", i);
        if (m_animationTracks[i]) m_references.append(m_animationTracks[i].get());
    }
    appendReferences(m_references);
    for (int i = 0; i < m_references.size(); ++i)
        if (m_references[i]) m_references[i]->animate(time);
}

void Object3D::animateProperty(int property, int time) {
    m_weightBuffer.resize(0);
    m_channelCount = 0;
    int width = 0;
    for (int i = 0; i < m_activeTracks.size(); ++i) {
        AnimationTrack* track = static_cast<AnimationTrack*>(m_activeTracks[i]);
        if (!track || track->getTargetProperty() != property) continue;
        m_activeTracks[i] = nullptr;
        AnimationController* controller = track->getController();
        KeyframeSequence* sequence = track->getKeyframeSequence();
        if (!controller || !sequence || !controller->isActive(time)) continue;
        // Channel buffers are kept between calls; the count says how many are in use.
        if (m_channelCount == m_channelValues.size()) m_channelValues.resize(m_channelCount + 1);
        core::Vector<float>& channel = m_channelValues[m_channelCount++];
        int n = sequence->getComponentCount();
        channel.resize(n);
        sequence->sample(sequence->mapTime(controller->sequenceTime(time)), channel.data());
        m_weightBuffer.append(controller->getWeight());
        if (n > width) width = n;
    }
    if (m_channelCount == 0) return;
    m_sampleBuffer.resize(width);
    float* sum = m_sampleBuffer.data();
    for (int k = 0; k < width; ++k) sum[k] = 0.0f;
    for (int c = 0; c < m_channelCount; ++c) {
        const core::Vector<float>& channel = m_channelValues[c];
        float w = m_weightBuffer[c];
        for (int k = 0; k < channel.size(); ++k) sum[k] += w * channel[k];
    }
    AnimationTrack::applyProperty(this, property, sum, width);
}

void Object3D::appendReferences(core::Vector<Object3D*>&) const {}

void Object3D::getReferences(core::Vector<Object3D*>& out) const {
    for (int i = 0; i < m_animationTracks.size(); ++i)
        if (m_animationTracks[i]) out.append(m_animationTracks[i].get());
    appendReferences(out);
}

core::Object* Object3D::getUserObject() const {
    return m_userObjectIsExternal ? m_externalUserObject : m_userObject.get();
}

void Object3D::setUserObject(core::Object* object) {
    m_userObject = object;
    m_userObjectIsExternal = false;
}

void Object3D::setExternalUserObject(core::Object* object) {
    m_externalUserObject = object;
    m_userObjectIsExternal = true;
}

UserParameters* Object3D::getUserParameters() const { return dynamic_cast<UserParameters*>(getUserObject()); }

void Object3D::setName(const core::String& name) {
    UserParameters* table = getUserParameters();
    if (!table) {
        table = M3D_NEW UserParameters(1, 0.75f);
        m_userObject = table;
        m_userObjectIsExternal = false;
    }
    const char* text = name.c_str();
    int n = (int)std::strlen(text);
    core::Vector<char> bytes;
    bytes.resize(n + 1);
    std::memcpy(bytes.data(), text, (size_t)n);
    bytes[n] = 0;
    core::Vector<char> existing;
    if (table->get(NAME_KEY, existing))
        table->set(NAME_KEY, bytes);
    else
        table->insert(NAME_KEY, bytes);
}

core::String Object3D::getName() const {
    UserParameters* table = getUserParameters();
    core::Vector<char> bytes;
    if (!table || !table->get(NAME_KEY, bytes) || bytes.size() == 0) return core::String();
    bytes[bytes.size() - 1] = 0; // a parameter from a file need not end in 0
    return core::String(bytes.data());
}

void Object3D::addAnimationTrack(Object3D* track) {
    core::log(0x1000, "Object3D: addAnimationTrack = 0x%X\n", (unsigned)(size_t)track);
    m_animationTracks.append(core::Ref<Object3D>(track));
}

void Object3D::removeAnimationTrack(Object3D* track) {
    int kept = 0;
    for (int i = 0; i < m_animationTracks.size(); ++i)
        if (m_animationTracks[i].get() != track) m_animationTracks[kept++] = m_animationTracks[i];
    m_animationTracks.resize(kept);
}

Object3D* Object3D::getAnimationTrack(int index) const {
    if (index < 0 || index >= m_animationTracks.size()) return nullptr;
    core::log(0x1000, "Object3D: getAnimationTrack (%d)\n", index);
    return m_animationTracks[index].get();
}

} // namespace render
