#include "render/Node.h"
#include "core/EngineGlobals.h"

namespace render {

Node::Node()
    : m_renderFlags(0), m_zReference(nullptr), m_yReference(nullptr), m_parent(nullptr), m_alphaFactor(1.0f),
      m_zTarget(NONE), m_yTarget(NONE), m_scope(-1), m_renderingEnabled(true), m_pickingEnabled(true) {
    core::EngineGlobals* g = core::engineGlobals();
    if (g && g->config.newNodesRenderFlag4) m_renderFlags = 4;
}

Node::Node(const Node& other)
    : Transformable(other), m_renderFlags(other.m_renderFlags), m_zReference(other.m_zReference),
      m_yReference(other.m_yReference), m_parent(nullptr), m_alphaFactor(other.m_alphaFactor),
      m_zTarget(other.m_zTarget), m_yTarget(other.m_yTarget), m_scope(other.m_scope),
      m_renderingEnabled(other.m_renderingEnabled), m_pickingEnabled(other.m_pickingEnabled) {}

void Node::getBounds(float*, float*, const slm::mat4*) {}
void Node::render(Graphics3D&, const slm::mat4&, int) {}
void Node::releaseResources() {}
bool Node::pick(int, const slm::vec3&, const slm::vec3&, Graphics3D*, const slm::mat4&, PickResult*, int) {
    return false;
}
bool Node::isVisible(Graphics3D*, const slm::mat4&, int) { return false; }

void Node::setAlignment(Node* zReference, int zTarget, Node* yReference, int yTarget) {
    m_zReference = zReference;
    m_zTarget = zTarget;
    m_yReference = yReference;
    m_yTarget = yTarget;
}

bool Node::isChanged() const {
    for (const Node* n = this; n; n = n->m_parent)
        if (n->isTransformChanged()) return true;
    return false;
}

} // namespace render
