// render::Group: a node with an ordered list of child nodes. The group holds
// a reference to each child and is the child's parent; destroying the group
// leaves surviving children without a parent.
#pragma once
#include "render/Node.h"

namespace render {

class Group : public Node {
public:
    Group();
    virtual ~Group();
    virtual Object3D* duplicate() const;

    // Appends `child` (taking a reference). A child that has another parent
    // is first removed from it; adding the group to itself or to one of its
    // descendants is refused (false), since the tree would hold itself.
    bool addChild(Node* child);
    // Removes `child` when it is a child of this group; false otherwise.
    bool removeChild(Node* child);
    int getChildCount() const { return m_children.size(); }
    Node* getChild(int index) const;

    // Renders every child whose scope shares a bit with the group's scope,
    // with `transform` × the child's composite transform.
    virtual void render(Graphics3D& g, const slm::mat4& transform, int flags);
    virtual void releaseResources();
    virtual bool pick(int scopeMask, const slm::vec3& origin, const slm::vec3& direction, Graphics3D* g,
                      const slm::mat4& transform, PickResult* result, int flags);

protected:
    virtual void appendReferences(core::Vector<Object3D*>& out) const;
    // Duplicates every child; each copy's parent is the new group.
    Group(const Group& other);

    core::Vector<core::Ref<Node>> m_children;
};

} // namespace render
