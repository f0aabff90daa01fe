#include "render/Scene.h"
#include "core/Exceptions.h"
#include "render/AnimationController.h"
#include "render/AnimationTrack.h"
#include "render/Background.h"
#include "render/Camera.h"
#include "render/Fog.h"
#include "render/Graphics3D.h"
#include "render/IndexBuffer.h"
#include "render/KeyframeSequence.h"
#include "render/Light.h"
#include "render/Loader.h"
#include "render/Material.h"
#include "render/MorphingMesh.h"
#include "render/PolygonMode.h"
#include "render/SkinnedMesh.h"
#include "render/Texture2D.h"
#include "render/VertexArray.h"
#include "render/VertexBuffer.h"
#include "render/World.h"

namespace render {

core::Ref<Scene> Scene::load(const core::String& path) {
    core::String failure;
    try {
        core::Vector<core::Ref<Object3D>> roots;
        Loader::load(path, nullptr, roots);
        return core::Ref<Scene>(M3D_NEW Scene(roots));
    } catch (const core::MemoryManagerException&) {
        throw;
    } catch (const Morva3DException& e) {
        failure.format("Can not load \"%s\": %s", path.c_str(), e.getMessage());
    }
    throw Morva3DException("UNKNOWN", "UNKNOWN", 0, failure.c_str());
}

Scene::Scene(const core::Vector<core::Ref<Object3D>>& roots) {
    for (int i = 0; i < roots.size(); ++i)
        if (roots[i]) m_roots.append(roots[i]);
}

void Scene::collect(core::Vector<Object3D*>& out) const {
    out.clear();
    // The objects seen so far, sorted by address: a binary search answers
    // "seen?" and shared or cyclic references are visited once.
    core::Vector<Object3D*> seen;
    auto visit = [&](Object3D* o) {
        if (!o) return;
        int lo = 0, hi = seen.size();
        while (lo < hi) {
            int mid = (lo + hi) / 2;
            if (seen[mid] < o)
                lo = mid + 1;
            else
                hi = mid;
        }
        if (lo < seen.size() && seen[lo] == o) return;
        seen.resize(seen.size() + 1);
        for (int k = seen.size() - 1; k > lo; --k) seen[k] = seen[k - 1];
        seen[lo] = o;
        out.append(o);
    };
    for (int i = 0; i < m_roots.size(); ++i) visit(m_roots[i].get());
    core::Vector<Object3D*> refs;
    for (int next = 0; next < out.size(); ++next) {
        refs.clear();
        out[next]->getReferences(refs);
        for (int k = 0; k < refs.size(); ++k) visit(refs[k]);
    }
}

const char* Scene::className(const Object3D* o) {
    // Most derived first: a SkinnedMesh is a Mesh, a World a Group.
    if (dynamic_cast<const World*>(o)) return "World";
    if (dynamic_cast<const SkinnedMesh*>(o)) return "SkinnedMesh";
    if (dynamic_cast<const MorphingMesh*>(o)) return "MorphingMesh";
    if (dynamic_cast<const Mesh*>(o)) return "Mesh";
    if (dynamic_cast<const Camera*>(o)) return "Camera";
    if (dynamic_cast<const Light*>(o)) return "Light";
    if (dynamic_cast<const Group*>(o)) return "Group";
    if (dynamic_cast<const Background*>(o)) return "Background";
    if (dynamic_cast<const Fog*>(o)) return "Fog";
    if (dynamic_cast<const Appearance*>(o)) return "Appearance";
    if (dynamic_cast<const Material*>(o)) return "Material";
    if (dynamic_cast<const CompositingMode*>(o)) return "CompositingMode";
    if (dynamic_cast<const PolygonMode*>(o)) return "PolygonMode";
    if (dynamic_cast<const Texture2D*>(o)) return "Texture2D";
    if (dynamic_cast<const Image2D*>(o)) return "Image2D";
    if (dynamic_cast<const VertexBuffer*>(o)) return "VertexBuffer";
    if (dynamic_cast<const VertexArray*>(o)) return "VertexArray";
    if (dynamic_cast<const TriangleStripArray*>(o)) return "TriangleStripArray";
    if (dynamic_cast<const KeyframeSequence*>(o)) return "KeyframeSequence";
    if (dynamic_cast<const AnimationTrack*>(o)) return "AnimationTrack";
    if (dynamic_cast<const AnimationController*>(o)) return "AnimationController";
    return nullptr;
}

int Scene::getLongestDuration() const {
    core::Vector<Object3D*> all;
    collect(all);
    int longest = 0;
    for (int i = 0; i < all.size(); ++i)
        if (const KeyframeSequence* k = dynamic_cast<const KeyframeSequence*>(all[i]))
            if (k->getDuration() > longest) longest = k->getDuration();
    return longest;
}

void Scene::animate(int time) {
    for (int i = 0; i < m_roots.size(); ++i) m_roots[i]->animate(time);
}

namespace {

// Lights of a tree that is not a World, in its own space under `transform`.
void addLights(Graphics3D& g, Node* node, const slm::mat4& world) {
    if (!node->isRenderingEnabled()) return;
    if (Light* light = dynamic_cast<Light*>(node)) g.addLight(light, world);
    if (Group* group = dynamic_cast<Group*>(node))
        for (int i = 0; i < group->getChildCount(); ++i)
            if (Node* child = group->getChild(i)) addLights(g, child, world * child->getCompositeTransform());
}

} // namespace

void Scene::render(Graphics3D& g, const slm::mat4& transform) {
    for (int i = 0; i < m_roots.size(); ++i) {
        Node* node = dynamic_cast<Node*>(m_roots[i].get());
        if (!node) continue;
        if (World* world = dynamic_cast<World*>(node)) {
            world->render(g, slm::mat4(), World::CLEAR_WITH_BACKGROUND);
            continue;
        }
        slm::mat4 model = transform * node->getCompositeTransform();
        g.resetLights();
        addLights(g, node, model);
        node->render(g, model, 0);
    }
}

Object3D* Scene::find(int userID) const {
    core::Vector<Object3D*> all;
    collect(all);
    for (int i = 0; i < all.size(); ++i)
        if (all[i]->getUserID() == userID) return all[i];
    return nullptr;
}

} // namespace render
