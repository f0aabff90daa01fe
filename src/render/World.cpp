#include "render/World.h"
#include "render/Graphics3D.h"
#include "render/Light.h"

namespace render {

World::World() {}

World::World(const World& other) : Group(other) {
    if (other.m_background) m_background = static_cast<Background*>(other.m_background->duplicate());
    if (other.m_activeCamera) m_activeCamera = static_cast<Camera*>(other.m_activeCamera->duplicate());
}

Object3D* World::duplicate() const { return M3D_NEW World(*this); }

slm::mat4 World::worldTransformOf(Node* node) {
    slm::mat4 m = node->getCompositeTransform();
    for (Node* p = node->getParent(); p; p = p->getParent()) m = p->getCompositeTransform() * m;
    return m;
}

void World::render(Graphics3D& g, const slm::mat4& transform, int flags) {
    Camera* camera = m_activeCamera.get();
    // The camera may hang anywhere in the tree: its world transform is the
    // product of its own and every parent's.
    if (camera) g.setCamera(camera, worldTransformOf(camera));
    g.resetLights();
    if (flags & CLEAR_WITH_BACKGROUND)
        g.clear(m_background.get());
    else
        g.clearBuffers(0, true, false);
    m_visitedScopes.clear();
    collectLights(g, this, transform);
    Group::render(g, transform, flags);
}

void World::collectLights(Graphics3D& g, Group* group, const slm::mat4& transform) {
    for (int i = 0; i < group->getChildCount(); ++i) {
        Node* child = group->getChild(i);
        if (!child) continue;
        m_visitedScopes.append(child->getScope());
        slm::mat4 world = transform * child->getCompositeTransform();
        if (Light* light = dynamic_cast<Light*>(child)) g.addLight(light, world);
        // A switched-off group switches off the lights inside it, as it hides its meshes.
        Group* sub = dynamic_cast<Group*>(child);
        if (sub && sub->isRenderingEnabled()) collectLights(g, sub, world);
    }
}

void World::appendReferences(core::Vector<Object3D*>& out) const {
    Group::appendReferences(out);
    if (m_background) out.append(m_background.get());
    if (m_activeCamera) out.append(m_activeCamera.get());
}

} // namespace render
