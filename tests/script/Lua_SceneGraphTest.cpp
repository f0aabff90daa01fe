// The scene family (scene_*, node_*) on a real GL renderer, over a World
// built from engine objects.
#include "ScriptTestSupport.h"
#include "render/Light.h"
#include "render/Mesh.h"
#include "render/OGLES2_Graphics3D.h"
#include "render/World.h"
#include "script/Lua_Handles.h"
#include "support/SceneBuilders.h"
#include <fstream>
#include <gtest/gtest.h>

using namespace render;
using namespace testsupport;

namespace {

class LuaSceneGraphTest : public GLLuaTest {
protected:
    core::Ref<World> world;
    core::Ref<Mesh> box;

    // The script's scene `s`: a square (user ID 9) in front of a camera that
    // hangs in a group (user ID 3), a light, and a track that moves the square
    // 1.5 units to the right over one second. A second, hidden square
    // (user ID 10) shares the first one's vertices, triangles and material.
    void SetUp() override {
        GLLuaTest::SetUp();
        world = M3D_NEW World();
        Group* rig = M3D_NEW Group();
        rig->setUserID(3);
        rig->setTranslation(slm::vec3(0.0f, 0.0f, 3.0f));
        world->addChild(rig);
        Camera* camera = M3D_NEW Camera();
        camera->setPerspective(60.0f, 1.0f, 0.5f, 50.0f);
        camera->setTranslation(slm::vec3(0.0f, 0.0f, 3.0f));
        rig->addChild(camera);
        world->setActiveCamera(camera);
        world->addChild(M3D_NEW Light());

        const float p[12] = {-1.5f, -1.5f, 1.5f, 1.5f, -1.5f, 1.5f, 1.5f, 1.5f, 1.5f, -1.5f, 1.5f, 1.5f};
        VertexArray* positions = M3D_NEW VertexArray(4, 3, 4);
        positions->set(0, 4, p);
        core::Ref<VertexBuffer> vb(M3D_NEW VertexBuffer());
        vb->setPositions(positions, 1.0f, nullptr);
        static const unsigned short strip[4] = {0, 1, 3, 2};
        core::Ref<IndexBuffer> ib(M3D_NEW TriangleStripArray(strip, 4));
        core::Ref<Material> shared(M3D_NEW Material());
        for (int id : {9, 10}) {
            Appearance* a = M3D_NEW Appearance();
            a->setMaterial(shared.get());
            Mesh* m = M3D_NEW Mesh(vb.get(), ib.get(), a);
            m->setUserID(id);
            m->setRenderingEnable(id == 9);
            world->addChild(m);
            if (id == 9) box = m;
        }

        KeyframeSequence* seq = sequence(KeyframeSequence::LINEAR, KeyframeSequence::CONSTANT, 1000,
                                         {{0, {0.0f, 0.0f, 0.0f}}, {1000, {1.5f, 0.0f, 0.0f}}});
        box->addAnimationTrack(track(seq, AnimationTrack::TRANSLATION));
        core::Vector<core::Ref<Object3D>> roots;
        roots.append(core::Ref<Object3D>(world.get()));
        luaPushUserData<Lua_Scene>(L, SCRIPT_TYPE_SCENE)->scene = M3D_NEW Scene(roots);
        lua_setglobal(L, "s");
    }
    // Triangles drawn by scene_render(s) in a frame of its own.
    int drawn() {
        EXPECT_EQ("", runLua(L, "render_bind_target() scene_render(s)"));
        int triangles = g->getStatistics().triangles;
        EXPECT_EQ("", runLua(L, "render_release_target()"));
        return triangles;
    }
};

TEST_F(LuaSceneGraphTest, InfoCountsEveryReachedObjectOnce) {
    ASSERT_EQ("", runLua(L, R"(
        info = scene_info(s)
        local sum = 0
        for k, v in pairs(info) do
            if k ~= 'roots' and k ~= 'objects' and k ~= 'duration' then sum = sum + v end
        end
        assert(sum == info.objects, 'every object has its class: ' .. sum .. ' of ' .. info.objects)
        assert(info.roots == 1 and info.duration == 1000 and info.objects == 15)
        assert(info.World == 1 and info.Group == 1 and info.Camera == 1 and info.Light == 1)
        assert(info.Mesh == 2 and info.Appearance == 2 and info.VertexArray == 1)
        assert(info.Material == 1 and info.VertexBuffer == 1 and info.TriangleStripArray == 1, 'shared once')
        assert(info.KeyframeSequence == 1 and info.AnimationTrack == 1 and info.AnimationController == 1)
    )"));
}

TEST_F(LuaSceneGraphTest, AnimateRenderWithTheWorldsCameraFindAndMoveNodes) {
    // How a world looks drawn is in the golden images of a loaded world.
    ASSERT_EQ("", runLua(L, "scene_animate(s, 500) box = scene_find(s, 9) rig = scene_find(s, 3)\n"
                            "assert(scene_find(s, 12345) == nil)"));
    EXPECT_NEAR(0.75f, box->getTranslation().x, 1e-4f) << "half of the track's second";
    EXPECT_EQ(2, drawn()) << "the shown square, with the world's camera";
    EXPECT_EQ(nullptr, g->getShaderProgram()) << "no program stays forced";
    EXPECT_EQ(0, g->getLightCount()) << "the scene's lights leave with it";

    // node_get_transform is the node's own composite; node_set_transform
    // makes the matrix the whole transform.
    ASSERT_EQ("", runLua(L, R"(
        local function same(a, b) return tostring(a) == tostring(b) end
        local m = node_get_transform(rig)
        assert(same(m, mat4_translation(vec3(0, 0, 3))), 'the rig alone, not its parents')
        local t = mat4_translation(vec3(-1, 0, 0)) * mat4_scale(0.5)
        node_set_transform(box, t)
        assert(same(node_get_transform(box), t))
    )"));
    EXPECT_EQ(0.0f, box->getTranslation().x);
    EXPECT_EQ(1.0f, box->getScale().x);

    // Hidden, the square draws nothing; shown again, it is back.
    ASSERT_EQ("", runLua(L, "node_set_visible(box, false) assert(not node_get_visible(box))"));
    EXPECT_EQ(0, drawn());
    ASSERT_EQ("", runLua(L, "node_set_visible(box, true) assert(node_get_visible(box))"));
    EXPECT_EQ(2, drawn());

    // An object handle keeps its node after the scene's handle is gone.
    EXPECT_EQ("", runLua(L, "s = nil collectgarbage() collectgarbage()\n"
                            "node_set_transform(box, mat4_idn())"));
    world.release();
    EXPECT_EQ(2, box->getReferenceCount()) << "the fixture and the script's handle";
    EXPECT_EQ("", runLua(L, "box = nil rig = nil collectgarbage() collectgarbage()"));
    EXPECT_EQ(1, box->getReferenceCount());
}

TEST_F(LuaSceneGraphTest, WrongArgumentsAndFilesAreScriptErrors) {
    std::ofstream("Data/broken.m3g", std::ios::binary) << "\xABJSR184\xBB\r\n\x1A\nnot a scene at all";
    // A keyframe sequence is an object but not a node.
    static_cast<AnimationTrack*>(box->getAnimationTrack(0))->getKeyframeSequence()->setUserID(77);
    StderrCapture quiet;
    expectErrors(L, {{"scene_load('Data/none.m3g')", "Can not load \"Data/none.m3g\": "},
                     {"scene_load('Data/none.m3g')", "file system does not have access"},
                     {"scene_load('Data/broken.m3g')", "Can not load \"Data/broken.m3g\": "},
                     {"scene_info(camera_create())", "Lua user data is of wrong type!"},
                     {"scene_animate(s, 'soon')", "number expected"},
                     {"scene_render(s)", "scene_render outside a frame"},
                     {"node_get_transform(s)", "Lua user data is of wrong type!"},
                     {"node_set_visible(scene_find(s, 77), true)", "the object is not a node"}});
    quiet.finish();

    // A reload closes the state: every handle lets go of what it held.
    ASSERT_EQ("", runLua(L, "collectgarbage() collectgarbage() keep = scene_find(s, 9) also = s"));
    int held = box->getReferenceCount();
    Script_Instance::closeState(script.getHolder());
    Script_Instance::createState(script.getHolder());
    L = script.getState();
    EXPECT_EQ(held - 1, box->getReferenceCount());
    EXPECT_EQ(1, world->getReferenceCount()) << "only the fixture holds the world";
}

} // namespace
