#include "render/Object3D.h"
#include "core/DebugLog.h"
#include <cstring>

namespace render {

Object3D::Object3D() : m_externalUserObject(nullptr), m_userID(0), m_userObjectIsExternal(false) {}

Object3D::Object3D(const Object3D& other)
    : core::Object(), m_userObject(other.m_userObject), m_externalUserObject(other.m_externalUserObject),
      m_userID(0), m_userObjectIsExternal(other.m_userObjectIsExternal) {
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
    // Keyframe evaluation belongs to the animation classes; the tracks are
    // kept here so that they can be attached, listed and duplicated already.
    for (int i = 0; i < m_references.size(); ++i)
        if (m_references[i]) m_references[i]->animate(time);
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

Object3D* Object3D::getAnimationTrack(int index) const {
    if (index < 0 || index >= m_animationTracks.size()) return nullptr;
    core::log(0x1000, "Object3D: getAnimationTrack (%d)\n", index);
    return m_animationTracks[index].get();
}

} // namespace render
