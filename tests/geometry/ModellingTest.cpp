// The modelling kernel on real meshes: the cube examples, selections,
// transforms, topology edits, capacity refusals and the two point searches.
#include "GeometryTestUtil.h"
#include "core/Exceptions.h"
#include "geometry/Command_Log.h"
#include "geometry/Modelling.h"
#include "support/LinearSubdivision.h"
#include "geometry/Supershape.h"
#include <gtest/gtest.h>
#include <random>

using geomtest::findVertex;
using geomtest::newBuilder;

namespace {

class ModellingTest : public ::testing::Test {
protected:
    void SetUp() override {
        mb = newBuilder();
        picked_quad = -1;
        commandLog() = Command_Log();
    }
    void TearDown() override {
        picked_quad = -1;
        commandLog() = Command_Log();
    }
    std::unique_ptr<Mesh_Builder> mb;
};

float dot3(const float* a, const float* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

TEST_F(ModellingTest, CubeHasOutwardNormalsAndSmoothCornerNormals) {
    addcube(mb.get(), 0);
    ASSERT_EQ(8u, mb->nv);
    ASSERT_EQ(6u, mb->nq);
    for (uint32_t q = 0; q < 6; ++q) EXPECT_EQ(1u, mb->sel[q]);
    setnorm(mb.get());
    for (uint32_t q = 0; q < 6; ++q) {
        float c[3];
        centroi(mb.get(), q, c);
        EXPECT_GT(dot3(c, mb->qnorm[q]), 0.0f) << "face " << q << " normal points inward";
    }
    // Face 0 lies at z = -1: its normal is along -z.
    EXPECT_FLOAT_EQ(0.0f, mb->qnorm[0][0]);
    EXPECT_LT(mb->qnorm[0][2], 0.0f);
    // Each corner sums three face normals: along the corner's diagonal.
    for (uint32_t i = 0; i < 8; ++i) {
        const float* n = mb->vnorm[i];
        const float* p = mb->verts[i];
        EXPECT_FLOAT_EQ(n[0] / p[0], n[1] / p[1]);
        EXPECT_FLOAT_EQ(n[1] / p[1], n[2] / p[2]);
        EXPECT_GT(n[0] / p[0], 0.0f);
    }
    // A second cube lands after the first; the earlier flags stay.
    mb->sel[0] = 0;
    addcube(mb.get(), 0);
    EXPECT_EQ(16u, mb->nv);
    EXPECT_EQ(12u, mb->nq);
    EXPECT_EQ(0u, mb->sel[0]);
    EXPECT_EQ(8u + 2, mb->quads[11][0]); // last face (2, 1, 5, 6) shifted by 8
}

TEST_F(ModellingTest, SubdivideSplitsAtMidpointsAndCentroids) {
    addcube(mb.get(), 0);
    select1(mb.get(), 0);
    subd(mb.get(), 0);
    EXPECT_EQ(26u, mb->nv);
    ASSERT_EQ(24u, mb->nq);
    for (uint32_t q = 0; q < 24; ++q) EXPECT_EQ(1u, mb->sel[q]);
    // Corners stay, face points at the face centres, edge points at midpoints.
    EXPECT_EQ(0, findVertex(*mb, -1, -1, -1));
    EXPECT_EQ(8, findVertex(*mb, 0, 0, -1)); // first face point follows the old vertices
    EXPECT_GE(findVertex(*mb, 0, -1, -1), 9);
    EXPECT_GE(findVertex(*mb, 1, 0, 1), 9);
    // New quad k of old quad q is (c_k, e_k, f, e_{k-1}).
    EXPECT_EQ(0u, mb->quads[0][0]);
    EXPECT_EQ(8u, mb->quads[0][2]);
    EXPECT_EQ(mb->quads[0][1], mb->quads[1][3]);
    EXPECT_EQ(1u, mb->quads[1][0]);
    // Selection flags follow their old quad.
    mb->sel[5] = 0;
    subd(mb.get(), 0);
    EXPECT_EQ(96u, mb->nq);
    EXPECT_EQ(0u, mb->sel[20]);
    EXPECT_EQ(0u, mb->sel[23]);
    EXPECT_EQ(1u, mb->sel[24]);
}

TEST_F(ModellingTest, SmoothLeavesUnusedVerticesWhereTheyAre) {
    addcube(mb.get(), 0);
    const float loose[3] = {3.5f, -2.0f, 7.0f};
    addvert(mb.get(), loose, mb->nv); // no quad names it
    select1(mb.get(), 0);
    smoooth(mb.get(), 0);
    EXPECT_EQ(3.5f, mb->verts[8][0]);
    EXPECT_EQ(-2.0f, mb->verts[8][1]);
    EXPECT_EQ(7.0f, mb->verts[8][2]);
    EXPECT_EQ(27u, mb->nv);
}

TEST_F(ModellingTest, OpenEdgesAndRepeatedCornersFollowTheirCounts) {
    // One lone quad: its edges have one neighbour each (count 3).
    const float p[4][3] = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}};
    for (auto& v : p) addvert(mb.get(), v, mb->nv);
    addQ(mb.get(), 0, 1, 2, 3, 1);
    smoooth(mb.get(), 0);
    EXPECT_EQ(9u, mb->nv);
    // Edge (0,0)-(2,0): (p_a + p_b + F) / 3 = ((0+2+1)/3, (0+0+1)/3).
    EXPECT_GE(findVertex(*mb, 1.0f, 1.0f / 3.0f, 0), 4);
    // Every position stays finite, also with a pole quad repeating a corner.
    auto sphere = newBuilder();
    Superformula unit = {1, 1, 0, 1, 1, 1};
    addSupershape(sphere.get(), 6, 4, unit, unit);
    select1(sphere.get(), 0);
    smoooth(sphere.get(), 0);
    smoooth(sphere.get(), 0);
    for (uint32_t i = 0; i < sphere->nv; ++i)
        for (int a = 0; a < 3; ++a) ASSERT_TRUE(std::isfinite(sphere->verts[i][a])) << i;
}

TEST_F(ModellingTest, GrowAndRingSelections) {
    addcube(mb.get(), 0);
    select2(mb.get(), 0);
    mb->sel[0] = 1; // the z = -1 face
    select5(mb.get(), 0);
    // Faces 1, 3, 4, 5 share two corners with face 0; face 2 (z = +1) none.
    const uint32_t ring[6] = {0, 1, 0, 1, 1, 1};
    for (int q = 0; q < 6; ++q) EXPECT_EQ(ring[q], mb->sel[q]) << "face " << q;
    select2(mb.get(), 0);
    mb->sel[0] = 1;
    select4(mb.get(), 0);
    const uint32_t grown[6] = {1, 1, 0, 1, 1, 1};
    for (int q = 0; q < 6; ++q) EXPECT_EQ(grown[q], mb->sel[q]) << "face " << q;
    select3(mb.get(), 0);
    const uint32_t inverted[6] = {0, 0, 1, 0, 0, 0};
    for (int q = 0; q < 6; ++q) EXPECT_EQ(inverted[q], mb->sel[q]) << "face " << q;
    // Sharing is by index: a second cube, though it overlaps, is not reached.
    addcube(mb.get(), 0);
    selrang(mb.get(), 6, 11, 0);
    select4(mb.get(), 0);
    for (int q = 6; q < 12; ++q) EXPECT_EQ(0u, mb->sel[q]);
}

TEST_F(ModellingTest, AxisSelectionUsesThePickedQuad) {
    addcube(mb.get(), 0);
    select2(mb.get(), 0);
    select8(mb.get(), 0); // no picked quad: nothing
    for (int q = 0; q < 6; ++q) EXPECT_EQ(0u, mb->sel[q]);
    picked_quad = 0; // z = -1 face: z range [-1, -1]
    select8(mb.get(), 0);
    EXPECT_EQ(1u, mb->sel[0]);
    for (int q = 1; q < 6; ++q) EXPECT_EQ(0u, mb->sel[q]) << q;
    select6(mb.get(), 0); // its x range [-1, 1] holds every centroid
    for (int q = 0; q < 6; ++q) EXPECT_EQ(1u, mb->sel[q]);
    select3(mb.get(), 0);
    EXPECT_EQ(-1, picked_quad);
    picked_quad = 99; // out of range: ignored
    select7(mb.get(), 0);
    for (int q = 0; q < 6; ++q) EXPECT_EQ(0u, mb->sel[q]);
}

TEST_F(ModellingTest, TransformsOfObjectAndSelection) {
    addcube(mb.get(), 0);
    addcube(mb.get(), 0);
    selrang(mb.get(), 6, 11, 0); // only the first cube selected
    scale1(mb.get(), 2);
    EXPECT_EQ(-2.0f, mb->verts[0][0]);
    EXPECT_EQ(-2.0f, mb->verts[8][0]);
    scale6(mb.get(), 3); // selected vertices only
    EXPECT_EQ(-3.0f, mb->verts[0][1]);
    EXPECT_EQ(-1.0f, mb->verts[8][1]);
    trans3(mb.get(), 1);
    EXPECT_EQ(0.0f, mb->verts[0][2]);
    EXPECT_EQ(0.0f, mb->verts[8][2]);
    trans5(mb.get(), -1);
    EXPECT_EQ(-4.0f, mb->verts[0][1]);
    EXPECT_EQ(-1.0f, mb->verts[8][1]);
    scale4(mb.get(), 0.5f);
    EXPECT_EQ(-1.0f, mb->verts[0][0]);
    EXPECT_EQ(0.0f, mb->verts[8][2]);
    EXPECT_EQ(-0.5f, mb->verts[8][1]);
    // rotate1 by 4 units (90 degrees about X) turns (0, 1, 0) into (0, 0, 1).
    auto r = newBuilder();
    const float up[3] = {0, 1, 0}, a[3] = {1, 0, 0}, b[3] = {0, 0, 5};
    addvert(r.get(), up, 0);
    addvert(r.get(), a, 1);
    addvert(r.get(), b, 2);
    addvert(r.get(), up, 3); // not used by the selected quad
    addQ(r.get(), 0, 1, 2, 0, 1);
    addQ(r.get(), 3, 3, 3, 3, 0);
    rotate1(r.get(), 4);
    EXPECT_NEAR(0.0f, r->verts[0][1], 1e-5f);
    EXPECT_NEAR(1.0f, r->verts[0][2], 1e-5f);
    EXPECT_EQ(1.0f, r->verts[3][1]);
    rotate3(r.get(), -4); // -90 degrees about Z: (1, 0, 0) -> (0, -1, 0)
    EXPECT_NEAR(-1.0f, r->verts[1][1], 1e-5f);
    // (0, 0, 5) went to (0, -5, 0), then to (-5, 0, 0); 180 degrees about Y.
    EXPECT_NEAR(-5.0f, r->verts[2][0], 1e-4f);
    rotate2(r.get(), 8);
    EXPECT_NEAR(5.0f, r->verts[2][0], 1e-4f);
}

TEST_F(ModellingTest, ScaleAboutCentreAndMoveAlongNormals) {
    addcube(mb.get(), 0);
    select2(mb.get(), 0);
    mb->sel[2] = 1; // face (7, 6, 5, 4) at z = +1, centre (0, 0, 1)
    scalece(mb.get(), 0.5f);
    EXPECT_EQ(0.5f, mb->verts[6][0]);
    EXPECT_EQ(1.0f, mb->verts[6][2]);
    EXPECT_EQ(1.0f, mb->verts[2][0]);
    setnorm(mb.get());
    float len = std::sqrt(dot3(mb->qnorm[2], mb->qnorm[2]));
    transn(mb.get(), 0.25f);
    EXPECT_NEAR(1.0f + 0.25f * len, mb->verts[6][2], 1e-6f);
    EXPECT_EQ(-1.0f, mb->verts[2][2]);
}

TEST_F(ModellingTest, ExtrudeAndDelete) {
    addcube(mb.get(), 0);
    select2(mb.get(), 0);
    mb->sel[0] = 1;
    addquad(mb.get(), 0);
    EXPECT_EQ(12u, mb->nv);
    ASSERT_EQ(10u, mb->nq);
    // The five untouched faces close ranks; the cap follows, then the walls.
    EXPECT_EQ(3u, mb->quads[0][0]);
    for (uint32_t q = 0; q < 10; ++q) EXPECT_EQ(q == 5 ? 1u : 0u, mb->sel[q]) << q;
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(8u + k, mb->quads[5][k]);
        EXPECT_EQ(0, std::memcmp(mb->verts[8 + k], mb->verts[k], sizeof mb->verts[0]));
    }
    EXPECT_EQ(8u, mb->quads[6][0]);
    EXPECT_EQ(0u, mb->quads[6][1]);
    EXPECT_EQ(1u, mb->quads[6][2]);
    EXPECT_EQ(9u, mb->quads[6][3]);
    // Extruding two quads at once.
    select1(mb.get(), 0);
    selrang(mb.get(), 2, 9, 0);
    addquad(mb.get(), 0);
    EXPECT_EQ(20u, mb->nv);
    EXPECT_EQ(18u, mb->nq);
    // delQuad keeps the order of the others and every vertex.
    select2(mb.get(), 0);
    mb->sel[0] = mb->sel[3] = 1;
    uint32_t q4 = mb->quads[4][0];
    delQuad(mb.get(), 0);
    EXPECT_EQ(16u, mb->nq);
    EXPECT_EQ(q4, mb->quads[2][0]);
    select1(mb.get(), 0);
    delQuad(mb.get(), 0);
    EXPECT_EQ(0u, mb->nq);
    EXPECT_EQ(20u, mb->nv);
}

TEST_F(ModellingTest, GrowingOperationsRefuseToOverflow) {
    // Room for one cube only.
    mb->nv = MAXSIZE - 16;
    addcube(mb.get(), 0);
    EXPECT_TRUE(addcubeFits(mb.get()));
    addcube(mb.get(), 0);
    EXPECT_FALSE(addcubeFits(mb.get()));
    addcube(mb.get(), 0); // refused
    EXPECT_EQ(MAXSIZE, mb->nv);
    EXPECT_EQ(12u, mb->nq);

    // Smoothing a cube needs 18 more vertices: exactly enough fits even though
    // the quick bound (5 per quad) does not.
    auto s = newBuilder();
    s->nv = MAXSIZE - 26;
    addcube(s.get(), 0);
    EXPECT_TRUE(smoothFits(s.get(), 1));
    smoooth(s.get(), 0);
    EXPECT_EQ(MAXSIZE, s->nv);
    EXPECT_EQ(24u, s->nq);
    auto t = newBuilder();
    t->nv = MAXSIZE - 25;
    addcube(t.get(), 0);
    EXPECT_FALSE(smoothFits(t.get(), 1));
    commandLog().recording = 1;
    smoooth(t.get(), 0);
    subd(t.get(), 0);
    EXPECT_EQ(MAXSIZE - 17, t->nv);
    EXPECT_EQ(6u, t->nq);
    EXPECT_EQ(0u, commandLog().cmd_count) << "a refused operation is not recorded";
    commandLog().recording = 0;
    // Quads: 4 nq must fit.
    auto u = newBuilder();
    for (int i = 0; i < 10417; ++i) addcube(u.get(), 0); // 62502 quads
    EXPECT_FALSE(smoothFits(u.get(), 0));
    u->nq -= 2;
    EXPECT_TRUE(smoothFits(u.get(), 0));
    // Extrusion: 4 vertices and 4 quads per selected quad.
    auto w = newBuilder();
    addcube(w.get(), 0);
    w->nv = MAXSIZE - 23;
    EXPECT_FALSE(addquadFits(w.get()));
    addquad(w.get(), 0);
    EXPECT_EQ(6u, w->nq);
    w->nv = MAXSIZE - 24;
    addquad(w.get(), 0);
    EXPECT_EQ(30u, w->nq);
}

// The hash search of a pass must reproduce the linear scan exactly: same
// vertices in the same order with the same bits, same quads, same flags.
void expectSameSmoothing(const Mesh_Builder& start, int mode, int passes, const char* what) {
    // Two builders for every comparison: allocating and clearing 14 MB each
    // time would cost more than the passes.
    static std::unique_ptr<Mesh_Builder> a = newBuilder(), b = newBuilder();
    geomtest::copyUsed(start, *a);
    geomtest::copyUsed(start, *b);
    for (int p = 0; p < passes; ++p) {
        smooth(a.get(), mode);
        smoothLinearSearch(b.get(), mode);
        ASSERT_TRUE(geomtest::sameMesh(*a, *b)) << what << ", mode " << mode << ", pass " << p + 1;
    }
}

TEST_F(ModellingTest, HashSearchEqualsLinearScan) {
    addcube(mb.get(), 0);
    expectSameSmoothing(*mb, 0, 3, "cube");
    expectSameSmoothing(*mb, 1, 3, "cube");

    // Two coinciding cubes: every face point position appears twice.
    auto twin = newBuilder();
    addcube(twin.get(), 0);
    addcube(twin.get(), 0);
    expectSameSmoothing(*twin, 0, 2, "two coinciding cubes");
    expectSameSmoothing(*twin, 1, 2, "two coinciding cubes");

    // A supershape: repeated corners at the poles and -0.0 next to +0.0.
    auto shape = newBuilder();
    Superformula unit = {1, 1, 0, 1, 1, 1};
    Superformula star = {1, 1, 6, 1, 1, 1};
    addSupershape(shape.get(), 8, 6, star, unit);
    select1(shape.get(), 0);
    expectSameSmoothing(*shape, 0, 2, "supershape");
    expectSameSmoothing(*shape, 1, 2, "supershape");

    // Random quads over a small grid with signed zeros: many exact
    // coincidences between edge sums, midpoints and face points.
    std::mt19937 rng(1234);
    for (int round = 0; round < 20; ++round) {
        auto r = newBuilder();
        std::uniform_int_distribution<int> coord(-2, 2);
        for (int i = 0; i < 40; ++i) {
            float p[3];
            for (float& c : p) {
                int v = coord(rng);
                c = v == 0 && (rng() & 1) ? -0.0f : (float)v;
            }
            addvert(r.get(), p, r->nv);
        }
        std::uniform_int_distribution<int> vert(0, 39);
        for (int q = 0; q < 30; ++q) addQ(r.get(), vert(rng), vert(rng), vert(rng), vert(rng), rng() & 1);
        expectSameSmoothing(*r, round & 1, 2, "random grid mesh");
    }

    // The table starts at about five slots per quad and doubles when three
    // quarters are taken. Here every other quad of a strip comes first, then
    // loose quads (five points each) fill the table past that mark, then the
    // remaining strip quads look up the edges the first ones made: they must
    // survive the doubling.
    auto loose = newBuilder();
    for (int i = 0; i <= 40; ++i) {
        const float bottom[3] = {(float)i, 0, 0}, top[3] = {(float)i, 1, 0};
        addvert(loose.get(), bottom, loose->nv); // vertex 2i
        addvert(loose.get(), top, loose->nv);    // vertex 2i + 1
    }
    auto stripQuad = [&](uint32_t i) { addQ(loose.get(), 2 * i, 2 * i + 2, 2 * i + 3, 2 * i + 1, 1); };
    for (uint32_t i = 1; i < 40; i += 2) stripQuad(i);
    std::uniform_real_distribution<float> u(-1, 1);
    for (int q = 0; q < 62; ++q) {
        uint32_t base = loose->nv;
        for (int k = 0; k < 4; ++k) {
            const float p[3] = {u(rng) + 100, u(rng), u(rng)};
            addvert(loose.get(), p, loose->nv);
        }
        addQ(loose.get(), base, base + 1, base + 2, base + 3, 1);
    }
    for (uint32_t i = 0; i < 40; i += 2) stripQuad(i);
    expectSameSmoothing(*loose, 1, 2, "loose quads");
}

TEST_F(ModellingTest, NegativeZeroMatchesPositiveZero) {
    // Two quads whose shared edge sums to (0, 0, 0) from one side and
    // (-0, 0, 0) from the other must share one edge point.
    // Vertices 6 and 7 repeat 0 and 1 with y = -0.0.
    const float p[8][3] = {{-1, 0, 0},  {1, 0, 0},  {1, 1, 0},     {-1, 1, 0},
                           {-1, -1, 0}, {1, -1, 0}, {-1, -0.0f, 0}, {1, -0.0f, 0}};
    for (auto& v : p) addvert(mb.get(), v, mb->nv);
    ASSERT_EQ(8u, mb->nv);
    addQ(mb.get(), 0, 1, 2, 3, 1);
    addQ(mb.get(), 7, 6, 4, 5, 1);
    subd(mb.get(), 0);
    EXPECT_EQ(8u + 2 + 7, mb->nv); // 2 face points, 7 distinct edge positions
    EXPECT_EQ(mb->quads[0][1], mb->quads[4][1]) << "the edge point is shared";
}

TEST_F(ModellingTest, SupershapeUnitExample) {
    Superformula unit = {1, 1, 0, 1, 1, 1};
    EXPECT_FLOAT_EQ(1.0f, unit.radius(0.7f));
    addcube(mb.get(), 0);
    addSupershape(mb.get(), 4, 2, unit, unit);
    ASSERT_EQ(8u + 6, mb->nv);
    ASSERT_EQ(6u + 8, mb->nq);
    EXPECT_NEAR(-1.0f, mb->verts[8][2], 1e-6f);  // south pole
    EXPECT_NEAR(1.0f, mb->verts[13][2], 1e-6f);  // north pole
    EXPECT_NEAR(-1.0f, mb->verts[9][0], 1e-6f);  // ring starts at theta = -pi
    EXPECT_NEAR(-1.0f, mb->verts[10][1], 1e-6f);
    for (uint32_t q = 6; q < 10; ++q) EXPECT_EQ(mb->quads[q][0], mb->quads[q][1]) << q;
    for (uint32_t q = 10; q < 14; ++q) EXPECT_EQ(mb->quads[q][2], mb->quads[q][3]) << q;
    EXPECT_EQ(8u, mb->quads[6][0]);
    EXPECT_EQ(13u, mb->quads[13][3]);
    setnorm(mb.get());
    for (uint32_t q = 6; q < 14; ++q) {
        float c[3];
        centroi(mb.get(), q, c);
        EXPECT_GT(dot3(c, mb->qnorm[q]), 0.0f) << "quad " << q << " faces inward";
    }
    // One row: two poles, N2 quads each naming both twice.
    auto one = newBuilder();
    addSupershape(one.get(), 3, 1, unit, unit);
    EXPECT_EQ(2u, one->nv);
    EXPECT_EQ(3u, one->nq);
    addSupershape(one.get(), 0, 5, unit, unit);
    addSupershape(one.get(), 5, 0, unit, unit);
    EXPECT_EQ(2u, one->nv);
}

TEST_F(ModellingTest, SupershapeAssertsPerRow) {
    Superformula unit = {1, 1, 0, 1, 1, 1};
    mb->nv = MAXSIZE - 4;
    EXPECT_THROW(addSupershape(mb.get(), 4, 2, unit, unit), Assert_Exception);
    EXPECT_EQ(MAXSIZE - 4, mb->nv);
    // The vertex rows fit, the second quad row does not: the first stays.
    auto q = newBuilder();
    q->nq = MAXSIZE - 8;
    EXPECT_THROW(addSupershape(q.get(), 4, 2, unit, unit), Assert_Exception);
    EXPECT_EQ(6u, q->nv);
    EXPECT_EQ(MAXSIZE - 4, q->nq);
}

} // namespace
