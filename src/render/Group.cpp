#include "render/Group.h"

namespace render {

Group::Group() {}

Group::Group(const Group& other) : Node(other) {
    for (int i = 0; i < other.m_children.size(); ++i) {
        Object3D* copy = other.m_children[i]->duplicate();
        Node* child = dynamic_cast<Node*>(copy);
        int n = m_children.size();
        m_children.resize(n + 1);
        m_children[n] = child;
        if (child) {
            child->setParent(this);
        } else if (copy) {
            core::Ref<Object3D> drop(copy); // not a node: the copy is released
        }
    }
}

Group::~Group() {
    for (int i = 0; i < m_children.size(); ++i)
        if (m_children[i] && m_children[i]->getParent() == this) m_children[i]->setParent(nullptr);
    m_children.clear();
}

Object3D* Group::duplicate() const { return M3D_NEW Group(*this); }

bool Group::addChild(Node* child) {
    if (!child) return false;
    for (Node* n = this; n; n = n->getParent())
        if (n == child) return false;
    if (child->getParent() == this) return true;
    int n = m_children.size();
    m_children.resize(n + 1);
    m_children[n] = child; // held before it leaves its old parent
    Group* old = dynamic_cast<Group*>(child->getParent());
    if (old) old->removeChild(child);
    child->setParent(this);
    return true;
}

bool Group::removeChild(Node* child) {
    for (int i = 0; i < m_children.size(); ++i) {
        if (m_children[i] != child) continue;
        core::Ref<Node> keep = m_children[i];
        for (int j = i + 1; j < m_children.size(); ++j) m_children[j - 1] = m_children[j];
        m_children.resize(m_children.size() - 1);
        if (child->getParent() == this) child->setParent(nullptr);
        return true;
    }
    return false;
}

Node* Group::getChild(int index) const {
    if (index < 0 || index >= m_children.size()) return nullptr;
    return m_children[index].get();
}

void Group::render(Graphics3D& g, const slm::mat4& transform, int flags) {
    if (!isRenderingEnabled()) return;
    for (int i = 0; i < m_children.size(); ++i) {
        Node* child = m_children[i].get();
        if (!child || (child->getScope() & getScope()) == 0) continue;
        child->render(g, transform * child->getCompositeTransform(), flags);
    }
}

void Group::releaseResources() {
    for (int i = 0; i < m_children.size(); ++i)
        if (m_children[i]) m_children[i]->releaseResources();
}

bool Group::pick(int scopeMask, const slm::vec3& origin, const slm::vec3& direction, Graphics3D* g,
                 const slm::mat4& transform, PickResult* result, int flags) {
    if ((getScope() & scopeMask) == 0) return false;
    bool hit = false;
    for (int i = 0; i < m_children.size(); ++i) {
        Node* child = m_children[i].get();
        if (!child || (child->getScope() & scopeMask) == 0) continue;
        if (child->pick(scopeMask, origin, direction, g, transform * child->getCompositeTransform(), result, flags))
            hit = true;
    }
    return hit;
}

void Group::appendReferences(core::Vector<Object3D*>& out) const {
    for (int i = 0; i < m_children.size(); ++i)
        if (m_children[i]) out.append(m_children[i].get());
}

} // namespace render
