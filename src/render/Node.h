// render::Node: a member of the scene tree. A node does not hold its parent
// (the parent's child list holds the node). The drawable classes give the
// bounds, render, releaseResources, pick and isVisible operations their
// behaviour; here they do nothing.
#pragma once
#include "render/Transformable.h"

namespace render {

class Graphics3D;

// What a successful pick reports: the nearest hit along the ray.
struct PickResult {
    float distance = 3.4028235e38f; // in units of the ray direction (0 = origin, 1 = origin + direction)
    slm::vec3 point;                // hit point in world space
    class Node* node = nullptr;     // the node that was hit (not referenced)
    int submesh = -1;               // index of the submesh hit, -1 for a box hit
};

class Node : public Transformable {
public:
    static constexpr int NONE = 144; // alignment target "none"

    // Axis-aligned bounds in local space, or transformed by `transform` when given.
    virtual void getBounds(float min[3], float max[3], const slm::mat4* transform);
    // Draws the node with `transform` as its world transform.
    virtual void render(Graphics3D& g, const slm::mat4& transform, int flags);
    // Prepares GPU-side resources and drops CPU-side copies that are no longer needed.
    virtual void releaseResources();
    // Intersects the ray origin + t·direction (world space, t in [0, 1)) with
    // the node under `transform`; fills `result` when a nearer hit is found.
    virtual bool pick(int scopeMask, const slm::vec3& origin, const slm::vec3& direction, Graphics3D* g,
                      const slm::mat4& transform, PickResult* result, int flags);
    virtual bool isVisible(Graphics3D* g, const slm::mat4& transform, int flags);

    Node* getParent() const { return m_parent; }
    // Used by Group only: the parent is a plain pointer, never owned.
    void setParent(Node* parent) { m_parent = parent; }

    int getScope() const { return m_scope; }
    void setScope(int scope) { m_scope = scope; }
    float getAlphaFactor() const { return m_alphaFactor; }
    void setAlphaFactor(float a) { m_alphaFactor = a; }
    bool isRenderingEnabled() const { return m_renderingEnabled; }
    void setRenderingEnable(bool on) { m_renderingEnabled = on; }
    bool isPickingEnabled() const { return m_pickingEnabled; }
    void setPickingEnable(bool on) { m_pickingEnabled = on; }
    int getRenderFlags() const { return m_renderFlags; }

    void setAlignment(Node* zReference, int zTarget, Node* yReference, int yTarget);
    Node* getZReference() const { return m_zReference; }
    Node* getYReference() const { return m_yReference; }
    int getZTarget() const { return m_zTarget; }
    int getYTarget() const { return m_yTarget; }

    // True when this node or any ancestor has a changed transform.
    bool isChanged() const;

protected:
    Node();
    // Copies the node state; the copy has no parent.
    Node(const Node& other);

private:
    int m_renderFlags;
    slm::mat4 m_worldMatrix;
    Node* m_zReference;
    Node* m_yReference;
    Node* m_parent;
    float m_alphaFactor;
    int m_zTarget;
    int m_yTarget;
    int m_scope;
    bool m_renderingEnabled;
    bool m_pickingEnabled;
};

} // namespace render
