// render::World: the root group of a scene, with the active camera and the
// background. Rendering a world sets its camera, takes the lights of its tree
// into the renderer's slots, clears (fully with flags bit
// CLEAR_WITH_BACKGROUND, depth only otherwise) and draws the tree.
#pragma once
#include "render/Background.h"
#include "render/Camera.h"
#include "render/Group.h"

namespace render {

class World : public Group {
public:
    static constexpr int CLEAR_WITH_BACKGROUND = 0x20;

    World();
    virtual Object3D* duplicate() const;
    virtual void render(Graphics3D& g, const slm::mat4& transform, int flags);

    Camera* getActiveCamera() const { return m_activeCamera.get(); }
    void setActiveCamera(Camera* camera) { m_activeCamera = camera; }
    Background* getBackground() const { return m_background.get(); }
    void setBackground(Background* background) { m_background = background; }

    // The node's transform in its tree's root space: its own composite
    // transform under every parent's.
    static slm::mat4 worldTransformOf(Node* node);

    // Scopes of the nodes the last light collection visited, in walk order.
    const core::Vector<int>& getVisitedScopes() const { return m_visitedScopes; }

protected:
    virtual void appendReferences(core::Vector<Object3D*>& out) const;

private:
    World(const World& other);
    void collectLights(Graphics3D& g, Group* group, const slm::mat4& transform);

    core::Vector<int> m_visitedScopes;
    core::Ref<Camera> m_activeCamera;
    core::Ref<Background> m_background;
};

} // namespace render
