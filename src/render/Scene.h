// render::Scene: the root objects of one loaded M3G file, and what a script
// does with them: walk everything they reach, animate, draw, find by user ID.
//
// "Reached" means the roots and every object they refer to (children, parts,
// buffers, appearances and their components, images, animation tracks with
// their sequences and controllers, a World's active camera and background),
// each counted once even when shared or referred to in a cycle.
#pragma once
#include "core/Object.h"
#include "core/Ref.h"
#include "core/String.h"
#include "core/Vector.h"
#include "render/Object3D.h"
#include "slm/mat4.h"

namespace render {

class Graphics3D;
class Node;

class Scene : public core::Object {
public:
    // The file's root objects through the file system and the generic loader.
    // Any failure throws Morva3DException "Can not load \"<path>\": " followed
    // by the loader's own message; nothing is kept. A full pool fails as
    // core::MemoryManagerException unchanged.
    static core::Ref<Scene> load(const core::String& path);
    explicit Scene(const core::Vector<core::Ref<Object3D>>& roots);

    int getRootCount() const { return m_roots.size(); }
    Object3D* getRoot(int i) const { return m_roots[i].get(); }

    // Every reached object once, roots first, then in the order their
    // references list them (breadth first).
    void collect(core::Vector<Object3D*>& out) const;

    // The M3G class name of an engine object ("World", "SkinnedMesh", ...),
    // or null for engine classes that have none.
    static const char* className(const Object3D* object);
    // The largest duration of any keyframe sequence reached (0 when none).
    int getLongestDuration() const;

    // animate(time) on every root (time in milliseconds of world time).
    void animate(int time);
    // Draws every root that is a node. A World is drawn with its own active
    // camera, background, lights and fog; any other node under the renderer's
    // current camera with `transform` as the model matrix under its own
    // transform, lit by the lights in its tree (or the default light).
    void render(Graphics3D& g, const slm::mat4& transform);
    // The first reached object with this user ID, in collect() order; null
    // when there is none.
    Object3D* find(int userID) const;

private:
    core::Vector<core::Ref<Object3D>> m_roots;
};

} // namespace render
