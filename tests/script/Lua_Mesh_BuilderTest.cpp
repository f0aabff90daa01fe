// The mesh builder's script functions through real LuaJIT, checked against
// the builder's contents.
#include "ScriptTestSupport.h"
#include "geometry/Mesh_Builder.h"
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

// The builder userdata as the family lays it out.
struct Builder_Block {
    int32_t type;
    Mesh_Builder mb;
};

class LuaMeshBuilderTest : public LuaTest {
protected:
    void SetUp() override {
        LuaTest::SetUp();
        ASSERT_EQ("", runLua(L, "b = mesh_builder_create()\n"
                                "P = {a = 1, b = 1, m = 0, n1 = 1, n2 = 1, n3 = 1}\n"));
    }
    Mesh_Builder& builder() { return handle<Builder_Block>("b")->mb; }
};

// The kernel itself is tested in the geometry tests; here each function must
// reach it with its arguments.
TEST_F(LuaMeshBuilderTest, FunctionsReachTheKernelWithTheirArguments) {
    EXPECT_EQ("", runLua(L, "mesh_builder_add_cube(b) mesh_builder_add_cube(b) mesh_builder_clear(b)\n"
                            "mesh_builder_add_cube(b) mesh_builder_scale(b, 2)\n"
                            "mesh_builder_scale(b, vec3(1, 3, 1))"));
    EXPECT_EQ(8u, builder().nv);
    EXPECT_EQ(6.0f, builder().verts[6][1]);
    EXPECT_EQ("", runLua(L, "local turn = mat4_rot_z(math.pi / 2)\n"
                            "mesh_builder_transform(b, mat4_translation(vec3(1, 2, 3)) * turn)"));
    // (2, 6, 2) turned 90 degrees about Z is (-6, 2, 2), then moved by (1, 2, 3).
    EXPECT_NEAR(-5.0f, builder().verts[6][0], 1e-5f);
    EXPECT_NEAR(4.0f, builder().verts[6][1], 1e-5f);
    EXPECT_EQ("", runLua(L, "mesh_builder_smooth(b)\n"
                            "local other = mesh_builder_create() mesh_builder_add_cube(other)"));
    EXPECT_EQ(26u, builder().nv) << "smoothed, and two builders are independent";
}

TEST_F(LuaMeshBuilderTest, SupershapeReadsBothTablesFirst) {
    EXPECT_EQ("", runLua(L, "mesh_builder_add_supershape(b, 4, 2, P, P)"));
    EXPECT_EQ(6u, builder().nv);
    EXPECT_NEAR(1.0f, builder().verts[5][2], 1e-6f);
    // Counts below 1 add nothing, but the tables are still read.
    EXPECT_EQ("", runLua(L, "mesh_builder_add_supershape(b, 0, 5, P, P)\n"
                            "mesh_builder_add_supershape(b, 5, -1, P, P)"));
    expectErrors(L,
                 {{"mesh_builder_add_supershape(b, 0, 5, P, {a = 1, b = 1, m = 0, n1 = 1, n2 = 1})",
                   "#5 to 'mesh_builder_add_supershape' (number expected under key 'n3', got nil)"},
                  {"mesh_builder_add_supershape(b, 4, 4, {a = 1, b = 'x', m = 0, n1 = 1, n2 = 1, n3 = 1}, P)",
                   "bad argument #4"},
                  {"mesh_builder_add_supershape(b, 4, 4, 7, P)", "table expected"},
                  {"mesh_builder_add_supershape(b, 'many', 4, P, P)", "number expected"}});
    EXPECT_EQ(6u, builder().nv);
    // Too many points: the capacity assertion becomes a script error.
    EXPECT_TRUE(failsWith(L, "mesh_builder_add_supershape(b, 300000, 2, P, P)", "too many vertices!"));
    EXPECT_TRUE(failsWith(L, "mesh_builder_add_supershape(b, 1, 1e12, P, P)", "too many vertices!"));
}

TEST_F(LuaMeshBuilderTest, FullBuilderRefusesCubesAndSmoothing) {
    EXPECT_EQ("", runLua(L, "mesh_builder_add_cube(b)"));
    builder().nv = MAXSIZE - 7;
    EXPECT_TRUE(failsWith(L, "mesh_builder_add_cube(b)", "Mesh builder full"));
    EXPECT_TRUE(failsWith(L, "mesh_builder_smooth(b)", "Mesh builder full"));
    EXPECT_EQ(MAXSIZE - 7, builder().nv);
    EXPECT_EQ(6u, builder().nq);
    // Quads: 62501 quads cannot become 250004.
    builder().nv = 8;
    builder().sel[0] = 0;
    for (uint32_t q = 6; q < 62501; ++q) {
        for (int k = 0; k < 4; ++k)
            builder().quads[q][k] = builder().quads[q % 6][k];
        builder().sel[q] = 1;
    }
    builder().nq = 62501;
    EXPECT_TRUE(failsWith(L, "mesh_builder_smooth(b)", "Mesh builder full"));
    EXPECT_EQ(0u, builder().sel[0]) << "nothing changed, not even the selection";
    EXPECT_EQ(8u, builder().nv);
}

} // namespace
