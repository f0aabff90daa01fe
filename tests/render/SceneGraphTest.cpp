// Object3D, Transformable, Node, Group, World and the appearance components
// without drawing.
#include "core/Exceptions.h"
#include "render/Appearance.h"
#include "render/Camera.h"
#include "render/Mesh.h"
#include "render/World.h"
#include "support/EngineFixture.h"
#include <cmath>
#include <cstring>

using namespace render;
using testsupport::CoreTest;

namespace {

TEST_F(CoreTest, NamesAndUserParametersLiveInTheParameterTable) {
    core::Ref<Group> n(M3D_NEW Group());
    EXPECT_STREQ("", n->getName().c_str());
    n->setName("first");
    UserParameters* table = n->getUserParameters();
    ASSERT_NE(nullptr, table);
    core::Vector<char> bytes;
    ASSERT_TRUE(table->get(1, bytes));
    EXPECT_EQ(6, bytes.size());
    EXPECT_EQ(0, bytes[5]);
    n->setName("second");
    EXPECT_STREQ("second", n->getName().c_str());
    EXPECT_EQ(1, table->getCount());

    // Other parameters sit beside the name; a duplicate shares the table.
    core::Vector<char> value;
    value.resize(2, 'x');
    table->insert(7, value);
    n->setUserID(42);
    core::Ref<Group> copy(static_cast<Group*>(n->duplicate()));
    EXPECT_EQ(42, copy->getUserID());
    EXPECT_EQ(table, copy->getUserParameters());
    EXPECT_STREQ("second", copy->getName().c_str());

    // A user object that is not a table is replaced by one on setName.
    core::Ref<Group> other(M3D_NEW Group());
    other->setUserObject(M3D_NEW Group());
    EXPECT_EQ(nullptr, other->getUserParameters());
    other->setName("named");
    EXPECT_STREQ("named", other->getName().c_str());
}

TEST_F(CoreTest, CompositeTransformIsTranslationRotationScale) {
    core::Ref<Group> n(M3D_NEW Group());
    n->setScale(slm::vec3(2, 2, 2));
    n->setOrientation(slm::axis_angle_quat(slm::vec3(0, 0, 1), 1.5707964f));
    n->setTranslation(slm::vec3(10, 0, 0));
    EXPECT_TRUE(n->isTransformChanged());
    slm::vec3 p = slm::transform_point(n->getCompositeTransform(), slm::vec3(1, 0, 0));
    EXPECT_NEAR(10.0f, p.x, 1e-5f);
    EXPECT_NEAR(2.0f, p.y, 1e-5f);
    // Equal values change nothing.
    n->clearTransformChanged();
    n->setTranslation(slm::vec3(10, 0, 0));
    EXPECT_FALSE(n->isTransformChanged());

    // The changed test looks at the ancestors.
    core::Ref<Group> parent(M3D_NEW Group());
    parent->addChild(n.get());
    parent->setTranslation(slm::vec3(0, 1, 0));
    EXPECT_TRUE(n->isChanged());
}

TEST_F(CoreTest, DuplicateCopiesTheWholeSubtreeWithParentsIntoTheCopy) {
    core::Ref<Group> root(M3D_NEW Group());
    core::Ref<Group> mid(M3D_NEW Group());
    core::Ref<Camera> leaf(M3D_NEW Camera());
    root->addChild(mid.get());
    mid->addChild(leaf.get());
    leaf->setScope(6);
    leaf->setTranslation(slm::vec3(1, 2, 3));
    leaf->setPerspective(45.0f, 1.5f, 1.0f, 50.0f);

    core::Ref<Group> copy(static_cast<Group*>(root->duplicate()));
    ASSERT_EQ(1, copy->getChildCount());
    Group* midCopy = dynamic_cast<Group*>(copy->getChild(0));
    ASSERT_NE(nullptr, midCopy);
    EXPECT_NE(mid.get(), midCopy);
    EXPECT_EQ(copy.get(), midCopy->getParent());
    Camera* leafCopy = dynamic_cast<Camera*>(midCopy->getChild(0));
    ASSERT_NE(nullptr, leafCopy);
    EXPECT_EQ(midCopy, leafCopy->getParent());
    EXPECT_EQ(6, leafCopy->getScope());
    EXPECT_EQ(slm::vec3(1, 2, 3), leafCopy->getTranslation());
    EXPECT_TRUE(slm::equal(leaf->getProjectionMatrix(), leafCopy->getProjectionMatrix()));
    // The sources keep their parents; the copy of the root has none.
    EXPECT_EQ(mid.get(), leaf->getParent());
    EXPECT_EQ(root.get(), mid->getParent());
    EXPECT_EQ(nullptr, copy->getParent());
}

TEST_F(CoreTest, GroupsOwnTheirChildrenAndLeaveThemParentlessWhenGone) {
    core::Ref<Group> child(M3D_NEW Group());
    {
        core::Ref<Group> group(M3D_NEW Group());
        group->addChild(child.get());
        EXPECT_EQ(2, child->getReferenceCount());
        EXPECT_EQ(group.get(), child->getParent());
        // Adding twice keeps one entry; a group cannot hold its ancestor or itself.
        EXPECT_TRUE(group->addChild(child.get()));
        EXPECT_EQ(1, group->getChildCount());
        EXPECT_FALSE(child->addChild(group.get()));
        EXPECT_FALSE(group->addChild(group.get()));
    }
    EXPECT_EQ(nullptr, child->getParent());
    EXPECT_EQ(1, child->getReferenceCount());

    // Moving a child to another group takes it out of the first.
    core::Ref<Group> a(M3D_NEW Group()), b(M3D_NEW Group());
    a->addChild(child.get());
    b->addChild(child.get());
    EXPECT_EQ(0, a->getChildCount());
    EXPECT_EQ(b.get(), child->getParent());
    EXPECT_TRUE(b->removeChild(child.get()));
    EXPECT_FALSE(b->removeChild(child.get()));
    EXPECT_EQ(nullptr, child->getParent());
}

TEST_F(CoreTest, CameraRefusesEqualNearAndFarAndKeepsItsProjection) {
    core::Ref<Camera> c(M3D_NEW Camera());
    c->setPerspective(90.0f, 1.0f, 1.0f, 10.0f);
    slm::mat4 before = c->getProjectionMatrix();
    try {
        c->setPerspective(60.0f, 1.0f, 5.0f, 5.0f);
        FAIL();
    } catch (const ArithmeticException& e) {
        EXPECT_NE(nullptr, std::strstr(e.getMessage(), "(near == far)"));
    }
    EXPECT_TRUE(slm::equal(before, c->getProjectionMatrix()));
    float params[4];
    EXPECT_EQ(Camera::PERSPECTIVE, c->getProjection(params));
    EXPECT_EQ(90.0f, params[0]);
    c->setScreen(0, 64, 0, 32, -1, 1);
    slm::vec4 p = c->getProjectionMatrix() * slm::vec4(64, 32, 0, 1);
    EXPECT_NEAR(1.0f, p.x, 1e-6f);
    EXPECT_NEAR(1.0f, p.y, 1e-6f);
    EXPECT_EQ(Camera::SCREEN, c->getProjection(params));
    EXPECT_EQ(32.0f, params[0]);
}

TEST_F(CoreTest, ComponentCountersMoveOnlyOnChangesAndDuplicatesCountDifferences) {
    core::Ref<CompositingMode> cm(M3D_NEW CompositingMode());
    cm->setBlending(CompositingMode::REPLACE);
    EXPECT_EQ(0, cm->getModificationCounter());
    cm->setBlending(CompositingMode::ALPHA);
    cm->setDepthWriteEnable(false);
    cm->setDepthWriteEnable(false);
    EXPECT_EQ(2, cm->getModificationCounter());
    cm->setBlending(CompositingMode::REPLACE);
    EXPECT_EQ(3, cm->getModificationCounter());
    core::Ref<CompositingMode> copy(static_cast<CompositingMode*>(cm->duplicate()));
    EXPECT_EQ(1, copy->getModificationCounter()) << "one field differs from the defaults";
    EXPECT_FALSE(copy->isDepthWriteEnabled());

    core::Ref<PolygonMode> pm(M3D_NEW PolygonMode());
    pm->setCulling(PolygonMode::CULL_BACK);
    EXPECT_EQ(0, pm->getModificationCounter());
    pm->setCulling(PolygonMode::CULL_NONE);
    EXPECT_EQ(1, pm->getModificationCounter());

    core::Ref<Appearance> a(M3D_NEW Appearance());
    a->setCompositingMode(cm.get());
    a->setPolygonMode(pm.get());
    core::Ref<Appearance> ac(static_cast<Appearance*>(a->duplicate()));
    EXPECT_NE(cm.get(), ac->getCompositingMode());
    EXPECT_EQ(PolygonMode::CULL_NONE, ac->getPolygonMode()->getCulling());
    EXPECT_EQ(nullptr, ac->getMaterial());
}

TEST_F(CoreTest, MeshBoundsAndPicking) {
    const short p[12] = {-100, -100, 0, 100, -100, 0, 100, 100, 0, -100, 100, 0};
    core::Ref<VertexArray> a(M3D_NEW VertexArray(4, 3, 2));
    a->set(0, 4, p);
    core::Ref<VertexBuffer> vb(M3D_NEW VertexBuffer());
    const float bias[3] = {0, 0, -5};
    vb->setPositions(a.get(), 0.01f, bias);
    const unsigned short idx[6] = {0, 1, 2, 0, 2, 3};
    core::Ref<IndexBuffer> ib(M3D_NEW TriangleListArray(idx, 6));
    core::Ref<Mesh> mesh(M3D_NEW Mesh(vb.get(), ib.get(), nullptr));
    float lo[3], hi[3];
    mesh->getBounds(lo, hi, nullptr);
    EXPECT_FLOAT_EQ(-1.0f, lo[0]);
    EXPECT_FLOAT_EQ(1.0f, hi[1]);
    EXPECT_FLOAT_EQ(-5.0f, lo[2]);

    core::Ref<Group> root(M3D_NEW Group());
    root->addChild(mesh.get());
    mesh->setTranslation(slm::vec3(2, 0, 0));
    PickResult r;
    // A ray down -Z through x = 2.5 hits the quad at z = -5 (t = 0.5 of the segment).
    EXPECT_TRUE(root->pick(-1, slm::vec3(2.5f, 0, 0), slm::vec3(0, 0, -10), nullptr, slm::mat4(), &r, 0));
    EXPECT_NEAR(0.5f, r.distance, 1e-5f);
    EXPECT_EQ(mesh.get(), r.node);
    EXPECT_NEAR(-5.0f, r.point.z, 1e-4f);
    PickResult miss;
    EXPECT_FALSE(root->pick(-1, slm::vec3(0.5f, 0, 0), slm::vec3(0, 0, -10), nullptr, slm::mat4(), &miss, 0));
    // Scope 0 is never picked.
    mesh->setScope(0);
    PickResult none;
    EXPECT_FALSE(root->pick(-1, slm::vec3(2.5f, 0, 0), slm::vec3(0, 0, -10), nullptr, slm::mat4(), &none, 0));
}

} // namespace
