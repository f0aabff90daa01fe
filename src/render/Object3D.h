// render::Object3D: the base of every scene and resource object. Carries the
// user ID, the user object (the user-parameter table when it is one, holding
// the object's name under key 1), the attached animation tracks and the
// objects that `animate` passes on to. Copies are made with `duplicate`,
// which every concrete class implements with its own copy constructor.
#pragma once
#include "core/HashTable.h"
#include "core/Object.h"
#include "core/Ref.h"
#include "core/String.h"
#include "core/Vector.h"

namespace render {

// The user-parameter table: parameter ID -> bytes. Key 1 is the name as
// narrow characters with a terminating 0.
typedef core::HashTable<int, core::Vector<char>> UserParameters;

class Object3D : public core::Object {
public:
    static constexpr int NAME_KEY = 1;

    virtual ~Object3D();

    // Evaluates the attached animation tracks at `time` (world time units),
    // blends tracks of one property by their controllers' weights (summed,
    // not normalised), applies the result, then rebuilds the reference list
    // (the tracks, then the objects this class refers to) and animates every
    // object in it. Within one outermost call each object is animated once,
    // so graphs that share objects or refer to themselves end.
    virtual void animate(int time);
    // A new object of the same class; the caller takes the first reference.
    virtual Object3D* duplicate() const = 0;

    int getUserID() const { return m_userID; }
    void setUserID(int id) { m_userID = id; }

    // Stores `name` under key 1 of the user-parameter table, creating the
    // table (and releasing any other user object) when there is none.
    void setName(const core::String& name);
    // The stored name, or the empty string when there is none.
    core::String getName() const;

    // The user object, whichever way it is held (null when there is none).
    core::Object* getUserObject() const;
    // Holds `object` by a reference.
    void setUserObject(core::Object* object);
    // Points at an object the caller keeps alive; no reference is taken.
    void setExternalUserObject(core::Object* object);
    // The user object when it is a user-parameter table, else null.
    UserParameters* getUserParameters() const;

    // Attaches an animation track (taking a reference).
    void addAnimationTrack(Object3D* track);
    // Detaches every attachment of `track` (releasing its references).
    void removeAnimationTrack(Object3D* track);
    int getAnimationTrackCount() const { return m_animationTracks.size(); }
    Object3D* getAnimationTrack(int index) const;

    // Appends every object this one refers to: its animation tracks, then
    // what its class holds (children, parts, buffers, components, images).
    void getReferences(core::Vector<Object3D*>& out) const;

    // The objects the last `animate` was passed on to (not owned).
    const core::Vector<Object3D*>& getAnimateReferences() const { return m_references; }

protected:
    Object3D();
    // Shares the user object, copies the user ID, duplicates every animation
    // track; the reference list and working buffers start empty.
    Object3D(const Object3D& other);
    Object3D& operator=(const Object3D&) = delete;

    // Appends the objects this class refers to (children, parts, buffers)
    // that `animate` passes on to; the attached tracks come before them.
    virtual void appendReferences(core::Vector<Object3D*>& out) const;

private:
    // Evaluates and applies every active track of one property; the tracks
    // used are taken out of m_activeTracks.
    void animateProperty(int property, int time);

    core::Vector<Object3D*> m_references;
    core::Vector<Object3D*> m_activeTracks;
    core::Vector<core::Vector<float>> m_channelValues;
    core::Vector<float> m_sampleBuffer;
    core::Vector<float> m_weightBuffer;
    core::Ref<core::Object> m_userObject;
    core::Object* m_externalUserObject;
    core::Vector<core::Ref<Object3D>> m_animationTracks;
    int m_userID;
    int m_channelCount;
    unsigned m_animatePass; // the outermost animate call that last reached this object
    bool m_userObjectIsExternal;
};

} // namespace render
