// The scene graph: duplicates, parents, change flags, bounds and picking.
#include "M3GHelpers.h"
#include "RenderFixture.h"
#include "core/Exceptions.h"
#include "support/SceneBuilders.h"

using namespace render;
using m3gtest::positions;
using testsupport::child;
using testsupport::CoreTest;

namespace {

TEST_F(CoreTest, DuplicateCopiesTheWholeSubtreeWithParentsIntoTheCopy) {
    // A name lives in the user parameter table, which replaces a user object
    // of another kind, and which a duplicate shares.
    core::Ref<Group> root(M3D_NEW Group());
    root->setUserObject(M3D_NEW Group());
    root->setName("a name replaced");
    root->setName("root");
    root->setUserID(42);
    Group* mid = child(root.get());
    Camera* leaf = M3D_NEW Camera();
    mid->addChild(leaf);
    leaf->setScope(6);
    leaf->setPerspective(45.0f, 1.5f, 1.0f, 50.0f);
    core::Ref<Group> copy(static_cast<Group*>(root->duplicate()));
    EXPECT_EQ(42, copy->getUserID());
    EXPECT_STREQ("root", copy->getName().c_str());
    EXPECT_EQ(root->getUserParameters(), copy->getUserParameters()) << "the parameter table is shared";
    Group* midCopy = dynamic_cast<Group*>(copy->getChild(0));
    Camera* leafCopy = midCopy ? dynamic_cast<Camera*>(midCopy->getChild(0)) : nullptr;
    ASSERT_TRUE(leafCopy && midCopy != mid);
    EXPECT_EQ(copy.get(), midCopy->getParent());
    EXPECT_EQ(midCopy, leafCopy->getParent());
    EXPECT_EQ(6, leafCopy->getScope());
    EXPECT_TRUE(slm::equal(leaf->getProjectionMatrix(), leafCopy->getProjectionMatrix()));
    EXPECT_EQ(mid, leaf->getParent()) << "the sources keep their parents";
    // A camera refuses near = far and keeps its projection.
    EXPECT_THROW(leaf->setPerspective(60.0f, 1.0f, 5.0f, 5.0f), ArithmeticException);
    EXPECT_TRUE(slm::equal(leafCopy->getProjectionMatrix(), leaf->getProjectionMatrix()));
    core::Ref<Background> background(M3D_NEW Background());
    background->setCrop(1, 2, 3, 4);
    core::Ref<Background> backgroundCopy(static_cast<Background*>(background->duplicate()));
    EXPECT_EQ(4, backgroundCopy->getCropHeight());

    // Appearance components are copied; a copy's change counter counts its
    // differences from the defaults, not the changes made to the original.
    core::Ref<Appearance> a(M3D_NEW Appearance());
    a->setCompositingMode(M3D_NEW CompositingMode());
    a->getCompositingMode()->setBlending(CompositingMode::ALPHA);
    a->getCompositingMode()->setBlending(CompositingMode::REPLACE);
    a->getCompositingMode()->setDepthWriteEnable(false);
    core::Ref<Appearance> ac(static_cast<Appearance*>(a->duplicate()));
    CompositingMode* cm = ac->getCompositingMode();
    ASSERT_TRUE(cm && cm != a->getCompositingMode());
    EXPECT_FALSE(cm->isDepthWriteEnabled());
    EXPECT_EQ(1, cm->getModificationCounter());
}

TEST_F(CoreTest, GroupsOwnTheirChildrenAndLeaveThemParentlessWhenGone) {
    core::Ref<Group> child(M3D_NEW Group());
    {
        core::Ref<Group> group(M3D_NEW Group());
        group->addChild(child.get());
        EXPECT_EQ(2, child->getReferenceCount());
        // Adding twice keeps one entry; a group cannot hold its ancestor or itself.
        EXPECT_TRUE(group->addChild(child.get()));
        EXPECT_EQ(1, group->getChildCount());
        EXPECT_FALSE(child->addChild(group.get()));
        EXPECT_FALSE(group->addChild(group.get()));
    }
    EXPECT_EQ(nullptr, child->getParent());
    EXPECT_EQ(1, child->getReferenceCount());

    // Whether a node changed looks at its ancestors; an equal value changes nothing.
    core::Ref<Group> parent(M3D_NEW Group());
    parent->addChild(child.get());
    child->clearTransformChanged();
    child->setTranslation(child->getTranslation());
    parent->setTranslation(slm::vec3(0, 1, 0));
    EXPECT_FALSE(child->isTransformChanged());
    EXPECT_TRUE(child->isChanged());

    // Moving a child to another group takes it out of the first.
    core::Ref<Group> b(M3D_NEW Group());
    b->addChild(child.get());
    EXPECT_EQ(0, parent->getChildCount());
    EXPECT_TRUE(b->removeChild(child.get()));
    EXPECT_FALSE(b->removeChild(child.get()));
    EXPECT_EQ(nullptr, child->getParent());
}

TEST_F(CoreTest, MeshBoundsAndPicking) {
    const float bias[3] = {0, 0, -5};
    core::Ref<VertexBuffer> vb(
        m3gtest::positions({-100, -100, 0, 100, -100, 0, 100, 100, 0, -100, 100, 0}, 0.01f, bias));
    const unsigned short idx[6] = {0, 1, 2, 0, 2, 3};
    core::Ref<Mesh> mesh(M3D_NEW Mesh(vb.get(), M3D_NEW TriangleListArray(idx, 6), nullptr));
    float lo[3], hi[3];
    mesh->getBounds(lo, hi, nullptr);
    EXPECT_FLOAT_EQ(-1.0f, lo[0]);
    EXPECT_FLOAT_EQ(1.0f, hi[1]);
    EXPECT_FLOAT_EQ(-5.0f, lo[2]);

    core::Ref<Group> root(M3D_NEW Group());
    root->addChild(mesh.get());
    mesh->setTranslation(slm::vec3(2, 0, 0));
    auto pick = [&](float x, PickResult* r) {
        return root->pick(-1, slm::vec3(x, 0, 0), slm::vec3(0, 0, -10), nullptr, slm::mat4(), r, 0);
    };
    // A ray down -Z through x = 2.5 hits the quad at z = -5 (t = 0.5 of the segment).
    PickResult r, miss, none;
    EXPECT_TRUE(pick(2.5f, &r));
    EXPECT_NEAR(0.5f, r.distance, 1e-5f);
    EXPECT_EQ(mesh.get(), r.node);
    EXPECT_NEAR(-5.0f, r.point.z, 1e-4f);
    EXPECT_FALSE(pick(0.5f, &miss));
    mesh->setScope(0); // scope 0 is never picked
    EXPECT_FALSE(pick(2.5f, &none));
}

} // namespace
