// The geometry layer: modelling operations and capacity refusals, smoothing against the linear
// edge-point search and OpenSubdiv, the command log, the point cloud against brute force.
#include "core/Exceptions.h"
#include "geometry/Command_Log.h"
#include "geometry/Modelling.h"
#include "geometry/Point_Cloud_Impl.h"
#include "geometry/Supershape.h"
#include "hal/MessageBox.h"
#include "support/EngineFixture.h"
#include "support/LinearSubdivision.h"
#include "support/OsdPoint.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <opensubdiv/far/primvarRefiner.h>
#include <opensubdiv/far/topologyDescriptor.h>

namespace {

// A builder on the heap (14 MB), empty, with its arrays zeroed.
inline std::unique_ptr<Mesh_Builder> newBuilder() {
    std::unique_ptr<Mesh_Builder> mb(new Mesh_Builder);
    std::memset(mb.get(), 0, sizeof(Mesh_Builder));
    return mb;
}

// A builder holding the given vertices and no quads.
template <size_t N> std::unique_ptr<Mesh_Builder> builderOf(const float (&points)[N][3]) {
    auto mb = newBuilder();
    mb->nv = N;
    std::memcpy(mb->verts, points, sizeof points);
    return mb;
}

typedef std::array<float, 3> Vec3;
typedef std::vector<uint32_t> Flags;

Vec3 vert(const Mesh_Builder& mb, uint32_t i) {
    return {mb.verts[i][0], mb.verts[i][1], mb.verts[i][2]};
}
std::vector<uint32_t> quads(const Mesh_Builder& mb, uint32_t from, uint32_t to) {
    return std::vector<uint32_t>(mb.quads[from], mb.quads[to]);
}
// The selection flags of quads [from, to), or of all.
Flags flags(const Mesh_Builder& mb, uint32_t from = 0, uint32_t to = ~0u) {
    return Flags(mb.sel + from, mb.sel + std::min(to, mb.nq));
}
// Index of the vertex at exactly p, or -1.
int findVertex(const Mesh_Builder& mb, Vec3 p) {
    for (uint32_t i = 0; i < mb.nv; ++i)
        if (vert(mb, i) == p) return (int)i;
    return -1;
}

const Superformula UNIT = {1, 1, 0, 1, 1, 1};

typedef std::vector<std::pair<std::string, std::string>> Boxes;
Boxes g_boxes; // the message boxes shown
void recordBox(const char* title, const char* body) {
    g_boxes.emplace_back(title, body);
}

class ModellingTest : public ::testing::Test {
protected:
    void SetUp() override {
        picked_quad = -1;
        commandLog() = Command_Log();
        g_boxes.clear();
        previous = HAL::setMessageBoxHandler(recordBox);
    }
    void TearDown() override {
        HAL::setMessageBoxHandler(previous);
        picked_quad = -1;
        commandLog() = Command_Log();
    }
    HAL::MessageBoxHandler previous = nullptr;
    std::unique_ptr<Mesh_Builder> mb = newBuilder();
};

TEST_F(ModellingTest, SubdivideSplitsAtMidpointsAndCentroids) {
    addcube(mb.get(), 0);
    subd(mb.get(), 0);
    EXPECT_EQ(26u, mb->nv);
    // Face points follow the old vertices; edge points at the midpoints.
    EXPECT_EQ(8, findVertex(*mb, {0, 0, -1}));
    EXPECT_GE(findVertex(*mb, {1, 0, 1}), 9);
    // New quad k of old quad q is (c_k, e_k, f, e_{k-1}).
    EXPECT_EQ(0u, mb->quads[0][0]);
    EXPECT_EQ(8u, mb->quads[0][2]);
    EXPECT_EQ(mb->quads[0][1], mb->quads[1][3]);
    EXPECT_EQ(1u, mb->quads[1][0]);
    // Selection flags follow their old quad.
    mb->sel[5] = 0;
    subd(mb.get(), 0);
    EXPECT_EQ(96u, mb->nq);
    EXPECT_EQ((Flags{1, 0, 0, 0, 0, 1}), flags(*mb, 19, 25));
    // The shared edge sums to (0, 0, 0) from one quad and (-0, 0, 0) from
    // the other: vertices 6 and 7 repeat 0 and 1 with y = -0.0.
    const float p[8][3] = {{-1, 0, 0},  {1, 0, 0},  {1, 1, 0},      {-1, 1, 0},
                           {-1, -1, 0}, {1, -1, 0}, {-1, -0.0f, 0}, {1, -0.0f, 0}};
    auto z = builderOf(p);
    addQ(z.get(), 0, 1, 2, 3, 1);
    addQ(z.get(), 7, 6, 4, 5, 1);
    subd(z.get(), 0);
    EXPECT_EQ(8u + 2 + 7, z->nv); // 2 face points, 7 distinct edge positions
    EXPECT_EQ(z->quads[0][1], z->quads[4][1]) << "the edge point is shared";
}

TEST_F(ModellingTest, SmoothingOpenEdgesUnusedVerticesAndRepeatedCorners) {
    // One lone quad: its edges have one neighbour each (count 3). Vertex 4
    // is named by no quad and stays where it is.
    const float p[5][3] = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}, {3.5f, -2.0f, 7.0f}};
    mb = builderOf(p);
    addQ(mb.get(), 0, 1, 2, 3, 1);
    smoooth(mb.get(), 0);
    EXPECT_EQ(10u, mb->nv);
    EXPECT_EQ((Vec3{3.5f, -2.0f, 7.0f}), vert(*mb, 4));
    // Edge (0,0)-(2,0): (p_a + p_b + F) / 3 = ((0+2+1)/3, (0+0+1)/3).
    EXPECT_GE(findVertex(*mb, {1.0f, 1.0f / 3.0f, 0}), 5);
    // A supershape of one row is two poles and N2 quads naming both twice.
    auto sphere = newBuilder();
    addSupershape(sphere.get(), 3, 1, UNIT, UNIT);
    EXPECT_EQ(2u, sphere->nv);
    EXPECT_EQ((std::vector<uint32_t>{0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1}), quads(*sphere, 0, sphere->nq));
}

TEST_F(ModellingTest, Selections) {
    addcube(mb.get(), 0);
    // Faces 1, 3, 4, 5 share two corners with face 0 (z = -1); face 2 none.
    select2(mb.get(), 0);
    mb->sel[0] = 1;
    select5(mb.get(), 0);
    EXPECT_EQ((Flags{0, 1, 0, 1, 1, 1}), flags(*mb)) << "ring";
    select2(mb.get(), 0);
    mb->sel[0] = 1;
    select4(mb.get(), 0);
    EXPECT_EQ((Flags{1, 1, 0, 1, 1, 1}), flags(*mb)) << "grown";
    select3(mb.get(), 0);
    EXPECT_EQ((Flags{0, 0, 1, 0, 0, 0}), flags(*mb)) << "inverted";
    // By axis, through the picked quad; none picked selects nothing.
    select2(mb.get(), 0);
    select8(mb.get(), 0);
    EXPECT_EQ(Flags(6, 0), flags(*mb));
    picked_quad = 0; // x range [-1, 1], z range [-1, -1]
    select6(mb.get(), 0);
    EXPECT_EQ(Flags(6, 1), flags(*mb));
    select2(mb.get(), 0);
    picked_quad = 0;
    select8(mb.get(), 0);
    EXPECT_EQ((Flags{1, 0, 0, 0, 0, 0}), flags(*mb));
    select3(mb.get(), 0);
    EXPECT_EQ(-1, picked_quad);
    picked_quad = 99; // out of range: ignored
    select7(mb.get(), 0);
    EXPECT_EQ((Flags{0, 1, 1, 1, 1, 1}), flags(*mb));
    // Sharing is by index: a second cube, though it overlaps, is not reached.
    addcube(mb.get(), 0);
    selrang(mb.get(), 6, 11, 0);
    select4(mb.get(), 0);
    EXPECT_EQ(Flags(6, 0), flags(*mb, 6, 12));
}

TEST_F(ModellingTest, TransformsOfObjectAndSelection) {
    addcube(mb.get(), 0);
    addcube(mb.get(), 0);
    selrang(mb.get(), 6, 11, 0); // only the first cube selected
    scale1(mb.get(), 2);         // x, all
    scale6(mb.get(), 3);         // y, selected vertices only
    trans3(mb.get(), 1);         // z, all
    trans5(mb.get(), -1);        // y, selected
    scale4(mb.get(), 0.5f);
    EXPECT_EQ((Vec3{-1, -2, 0}), vert(*mb, 0));
    EXPECT_EQ((Vec3{-1, -0.5f, 0}), vert(*mb, 8));
    // Rotations by 4 units (90 degrees) of the selected quad; vertex 3 is not in it.
    const float p[4][3] = {{0, 1, 0}, {1, 0, 0}, {0, 0, 5}, {0, 1, 0}};
    auto r = builderOf(p);
    addQ(r.get(), 0, 1, 2, 0, 1);
    addQ(r.get(), 3, 3, 3, 3, 0);
    rotate1(r.get(), 4);  // about X: (0, 1, 0) -> (0, 0, 1)
    rotate3(r.get(), -4); // about Z: (1, 0, 0) -> (0, -1, 0)
    rotate2(r.get(), 8);  // 180 degrees about Y
    const float want[3][3] = {{0, 0, -1}, {0, -1, 0}, {5, 0, 0}};
    for (int i = 0; i < 3; ++i)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(want[i][c], r->verts[i][c], 1e-4f) << "vertex " << i;
    EXPECT_EQ((Vec3{0, 1, 0}), vert(*r, 3));
}

TEST_F(ModellingTest, ScaleAboutCentreAndMoveAlongNormals) {
    addcube(mb.get(), 0);
    select2(mb.get(), 0);
    mb->sel[2] = 1; // face (7, 6, 5, 4) at z = +1, centre (0, 0, 1)
    scalece(mb.get(), 0.5f);
    EXPECT_EQ((Vec3{0.5f, 0.5f, 1}), vert(*mb, 6));
    EXPECT_EQ((Vec3{1, 1, -1}), vert(*mb, 2));
    setnorm(mb.get());
    float len = std::hypot(mb->qnorm[2][0], mb->qnorm[2][1], mb->qnorm[2][2]);
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
    // The untouched faces close ranks; the cap, on copies of the corners, then the walls.
    EXPECT_EQ((Flags{0, 0, 0, 0, 0, 1, 0, 0, 0, 0}), flags(*mb));
    EXPECT_EQ(3u, mb->quads[0][0]);
    EXPECT_EQ((std::vector<uint32_t>{8, 9, 10, 11, 8, 0, 1, 9}), quads(*mb, 5, 7));
    EXPECT_EQ(0, std::memcmp(mb->verts[0], mb->verts[8], sizeof mb->verts[0] * 4));
    // delQuad keeps the order of the others and every vertex.
    mb->sel[0] = mb->sel[3] = 1;
    std::vector<uint32_t> kept = quads(*mb, 4, 5);
    delQuad(mb.get(), 0);
    EXPECT_EQ(7u, mb->nq);
    EXPECT_EQ(kept, quads(*mb, 2, 3));
    EXPECT_EQ(12u, mb->nv);
}

TEST_F(ModellingTest, GrowingOperationsRefuseToOverflow) {
    // Smoothing a cube needs 18 more vertices: exactly enough fits even though
    // the quick bound (5 per quad) does not.
    mb->nv = MAXSIZE - 26;
    addcube(mb.get(), 0);
    smoooth(mb.get(), 0);
    EXPECT_EQ(MAXSIZE, mb->nv);
    EXPECT_EQ(24u, mb->nq);
    auto t = newBuilder();
    t->nv = MAXSIZE - 25;
    addcube(t.get(), 0);
    commandLog().recording = 1;
    smoooth(t.get(), 0);
    subd(t.get(), 0);
    EXPECT_EQ(MAXSIZE - 17, t->nv);
    EXPECT_EQ(6u, t->nq);
    EXPECT_EQ(0u, commandLog().cmd_count) << "a refused operation is not recorded";
    auto c = newBuilder(); // a cube needs 8 vertices
    c->nv = MAXSIZE - 7;
    addcube(c.get(), 0);
    EXPECT_EQ(0u, c->nq);
    // Extrusion: 4 vertices and 4 quads per selected quad.
    auto w = newBuilder();
    addcube(w.get(), 0);
    w->nv = MAXSIZE - 23;
    addquad(w.get(), 0);
    EXPECT_EQ(6u, w->nq);
    w->nv = MAXSIZE - 24;
    addquad(w.get(), 0);
    EXPECT_EQ(30u, w->nq);
    // A supershape asserts per row: the vertex rows fit, the second quad
    // row does not, and the first stays. (Vertex rows: the script tests.)
    auto q = newBuilder();
    q->nq = MAXSIZE - 8;
    EXPECT_THROW(addSupershape(q.get(), 4, 2, UNIT, UNIT), Assert_Exception);
    EXPECT_EQ(6u, q->nv);
    EXPECT_EQ(MAXSIZE - 4, q->nq);
}

// The hash search of a pass must reproduce the linear scan exactly, in both
// modes: the same vertices, bit for bit and in order, quads and flags; all finite.
void expectSameSmoothing(const Mesh_Builder& start, const char* what) {
    // Two builders for all: clearing 14 MB each time costs more than the passes.
    static std::unique_ptr<Mesh_Builder> a = newBuilder(), b = newBuilder();
    for (int mode = 0; mode < 2; ++mode) {
        for (Mesh_Builder* m : {a.get(), b.get()}) {
            m->nv = start.nv;
            m->nq = start.nq;
            std::memcpy(m->verts, start.verts, start.nv * sizeof start.verts[0]);
            std::memcpy(m->quads, start.quads, start.nq * sizeof start.quads[0]);
            std::memcpy(m->sel, start.sel, start.nq * sizeof start.sel[0]);
        }
        for (int pass = 1; pass <= 2; ++pass) {
            smooth(a.get(), mode);
            smoothLinearSearch(b.get(), mode);
            ASSERT_EQ(a->nv, b->nv) << what << ", mode " << mode << ", pass " << pass;
            ASSERT_EQ(0, std::memcmp(a->verts, b->verts, a->nv * sizeof a->verts[0])) << what;
            ASSERT_EQ(quads(*a, 0, a->nq), quads(*b, 0, b->nq)) << what;
            ASSERT_EQ(flags(*a), flags(*b)) << what;
            auto finite = [](float v) { return std::isfinite(v); };
            ASSERT_TRUE(std::all_of(a->verts[0], a->verts[a->nv], finite))
                << what << ": a position is not finite";
        }
    }
}

TEST_F(ModellingTest, HashSearchEqualsLinearScan) {
    // Random quads over a small grid with signed zeros and quads repeating a
    // corner: many exact coincidences between edge sums, midpoints and face points.
    std::mt19937 rng(1234);
    for (int round = 0; round < 20; ++round) {
        auto r = newBuilder();
        std::uniform_int_distribution<int> coord(-2, 2);
        for (r->nv = 0; r->nv < 40; ++r->nv)
            for (float& c : r->verts[r->nv]) {
                int v = coord(rng);
                c = v == 0 && (rng() & 1) ? -0.0f : (float)v;
            }
        std::uniform_int_distribution<int> vert(0, 39);
        for (int q = 0; q < 30; ++q)
            addQ(r.get(), vert(rng), vert(rng), vert(rng), vert(rng), rng() & 1);
        expectSameSmoothing(*r, "random grid mesh");
    }

    // The table (about five slots per quad) doubles when three quarters are
    // taken: every other quad of a strip, then loose quads past that mark,
    // then the other strip quads, whose edges must survive the doubling.
    auto loose = newBuilder();
    for (int i = 0; i <= 40; ++i) {
        const float bottom[3] = {(float)i, 0, 0}, top[3] = {(float)i, 1, 0};
        addvert(loose.get(), bottom, loose->nv); // vertex 2i
        addvert(loose.get(), top, loose->nv);    // vertex 2i + 1
    }
    auto stripQuad = [&](uint32_t i) { addQ(loose.get(), 2 * i, 2 * i + 2, 2 * i + 3, 2 * i + 1, 1); };
    for (uint32_t i = 1; i < 40; i += 2)
        stripQuad(i);
    std::uniform_real_distribution<float> u(-1, 1);
    for (int q = 0; q < 62; ++q) {
        uint32_t base = loose->nv;
        for (int k = 0; k < 4; ++k) {
            const float p[3] = {u(rng) + 100, u(rng), u(rng)};
            addvert(loose.get(), p, loose->nv);
        }
        addQ(loose.get(), base, base + 1, base + 2, base + 3, 1);
    }
    for (uint32_t i = 0; i < 40; i += 2)
        stripQuad(i);
    expectSameSmoothing(*loose, "loose quads");
}

using Point = testsupport::OsdPoint;

// OpenSubdiv's positions of `mb` refined `levels` times.
std::vector<Point> refineWithOpenSubdiv(const Mesh_Builder& mb, int levels) {
    using namespace OpenSubdiv;
    std::vector<int> perFace(mb.nq, 4);
    std::vector<int> indices(&mb.quads[0][0], &mb.quads[0][0] + 4 * mb.nq);
    Far::TopologyDescriptor desc;
    desc.numVertices = (int)mb.nv;
    desc.numFaces = (int)mb.nq;
    desc.numVertsPerFace = perFace.data();
    desc.vertIndicesPerFace = indices.data();
    Sdc::Options options;
    options.SetVtxBoundaryInterpolation(Sdc::Options::VTX_BOUNDARY_EDGE_ONLY);
    typedef Far::TopologyRefinerFactory<Far::TopologyDescriptor> Factory;
    Far::TopologyRefiner* refiner = Factory::Create(desc, Factory::Options(Sdc::SCHEME_CATMARK, options));
    refiner->RefineUniform(Far::TopologyRefiner::UniformOptions(levels));
    std::vector<Point> src(mb.nv);
    std::memcpy(src.data(), mb.verts, mb.nv * sizeof(Point));
    Far::PrimvarRefiner primvar(*refiner);
    for (int level = 1; level <= levels; ++level) {
        std::vector<Point> dst(refiner->GetLevel(level).GetNumVertices());
        Point* out = dst.data();
        primvar.Interpolate(level, src.data(), out);
        src.swap(dst);
    }
    delete refiner;
    return src;
}

// Smooths a copy of `start`: each refined position has its OpenSubdiv counterpart.
void expectSameRefinement(const Mesh_Builder& start, int levels, const char* what) {
    SCOPED_TRACE(what);
    auto mb = newBuilder();
    std::memcpy(mb.get(), &start, sizeof(Mesh_Builder));
    std::vector<Point> expected = refineWithOpenSubdiv(*mb, levels);
    for (int l = 0; l < levels; ++l)
        smoooth(mb.get(), 0);
    ASSERT_EQ(expected.size(), mb->nv);
    ASSERT_EQ(start.nq << (2 * levels), mb->nq);
    for (uint32_t i = 0; i < mb->nv; ++i) {
        const float* p = mb->verts[i];
        auto same = [p](const Point& e) {
            return std::fabs(p[0] - e.p[0]) < 1e-5f && std::fabs(p[1] - e.p[1]) < 1e-5f &&
                   std::fabs(p[2] - e.p[2]) < 1e-5f;
        };
        auto match = std::find_if(expected.begin(), expected.end(), same);
        ASSERT_NE(expected.end(), match)
            << "vertex " << i << " (" << p[0] << ", " << p[1] << ", " << p[2] << ") has no counterpart";
        expected.erase(match);
    }
}

TEST(SmoothOpenSubdivTest, CubeAndStretchedBoxMatchOneAndTwoLevels) {
    auto cube = newBuilder();
    addcube(cube.get(), 0);
    expectSameRefinement(*cube, 1, "cube");
    expectSameRefinement(*cube, 2, "cube");
    // Uneven edge lengths, and a third level from the cube.
    scale2(cube.get(), 3.0f);
    trans1(cube.get(), 0.5f);
    smoooth(cube.get(), 0);
    expectSameRefinement(*cube, 2, "stretched box, smoothed");
}

using CommandLogTest = ModellingTest;

TEST_F(CommandLogTest, ValueByteRoundsHalfToEvenAndWraps) {
    // (value + 8) · 15.9375, halves to even, modulo 256: 0 -> 127.5 -> 128, 16 -> 382.5
    // -> 382 -> 126, -32 -> -382.5 -> -382 -> 130; 1e30 rounds to 256·k; NaN records 0.
    const float values[] = {-8, 0, 8, -1, 16, -32, -7.0625f, 24, 1e30f, std::nanf("")};
    const int bytes[] = {0, 128, 255, 112, 126, 130, 15, 254, 0, 0};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(bytes[i], encodeCommandValue(values[i])) << values[i];
}

TEST_F(CommandLogTest, RecordsCommandsAndPicks) {
    Command_Log& log = commandLog();
    log.recording = 1;
    addcube(mb.get(), 0);
    scale4(mb.get(), -8.0f);
    rotate3(mb.get(), 8.0f);
    // A pick entry stores the current pick at pick_count; the picking tool advances it.
    log.pick_count = 3;
    log.current_pick = 42;
    unpacko(Command_Log::PICK_CODE, 0.0f);
    EXPECT_EQ(42u, log.pick_log[3]);
    EXPECT_EQ(3u, log.pick_count);
    ASSERT_EQ(4u, log.cmd_count);
    EXPECT_EQ((std::vector<int>{31, 3, 18, 50}), std::vector<int>(log.cmd_codes, log.cmd_codes + 4));
    EXPECT_EQ((std::vector<int>{128, 0, 255}), std::vector<int>(log.cmd_values, log.cmd_values + 3));
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(CommandLogTest, OverflowsShowTheirNoticesAndDropTheEntry) {
    Command_Log& log = commandLog();
    log.recording = 1;
    log.pick_count = 256;
    unpacko(Command_Log::PICK_CODE, 1.0f);
    EXPECT_EQ(255u, log.pick_count);
    EXPECT_EQ(0u, log.cmd_count);

    for (int i = 0; i < 256; ++i)
        unpacko(19, 0.0f);
    addcube(mb.get(), 0);
    EXPECT_EQ(8u, mb->nv) << "the operation itself still runs";
    unpacko(Command_Log::PICK_CODE, 0.0f);
    const std::string tooMany = "Exceeded max number of modelling commands";
    EXPECT_EQ((Boxes{{"Too Many Picks=model will not save properly", "ERROR"},
                     {tooMany, "ERROR"},
                     {tooMany, "ERROR"}}),
              g_boxes);
    EXPECT_EQ(256u, log.cmd_count);
    EXPECT_EQ(19, log.cmd_codes[255]) << "the 257th command was not stored";
}

TEST_F(CommandLogTest, WithoutAHandlerTheNoticeGoesToTheLog) {
    HAL::setMessageBoxHandler(nullptr);
    testsupport::EngineCore engine;
    testsupport::StderrCapture err;
    commandLog().recording = 1;
    commandLog().cmd_count = 256;
    unpacko(3, 1.0f);
    std::string text = err.finish();
    EXPECT_NE(std::string::npos, text.find("Exceeded max number of modelling commands")) << text;
    EXPECT_NE(std::string::npos, text.find("ERROR")) << text;
    EXPECT_EQ(1, engine.log().getErrorCount());
}

using PointCloudTest = testsupport::CoreTest;

float distance(const float* p, const float* q) {
    float dx = p[0] - q[0], dy = p[1] - q[1], dz = p[2] - q[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

TEST_F(PointCloudTest, EmptySingleAndLimitedClouds) {
    core::Ref<Point_Cloud_Impl> none = M3D_NEW Point_Cloud_Impl(nullptr);
    auto empty = newBuilder();
    core::Ref<Point_Cloud_Impl> zero = M3D_NEW Point_Cloud_Impl(empty.get());
    const float origin[3] = {0, 0, 0};
    for (Point_Cloud_Impl* c : {none.get(), zero.get()}) {
        EXPECT_EQ(0, c->size());
        EXPECT_EQ(0.0f, c->getRadius());
        EXPECT_EQ(nullptr, c->nearest(origin));
    }
    const float point[1][3] = {{3, 4, 0}};
    auto one = builderOf(point);
    core::Ref<Point_Cloud_Impl> single = M3D_NEW Point_Cloud_Impl(one.get());
    EXPECT_FLOAT_EQ(5.0f, single->getRadius());
    // Nothing is nearer than the search's starting distance of 1e8.
    const float beyond[3] = {3e8f, 0, 0};
    EXPECT_EQ(nullptr, single->nearest(beyond));

    // Only the first 65534 of 70000 vertices become points: not the far 69999th.
    auto big = newBuilder();
    big->nv = 70000;
    for (uint32_t i = 0; i < big->nv; ++i) {
        big->verts[i][0] = (float)(i % 100);
        big->verts[i][1] = (float)(i / 100 % 100);
        big->verts[i][2] = (float)(i / 10000);
    }
    big->verts[69999][0] = 5000;
    core::Ref<Point_Cloud_Impl> limited = M3D_NEW Point_Cloud_Impl(big.get());
    EXPECT_EQ(65534, limited->size());
    const float q[3] = {5000, 0, 6};
    EXPECT_NE(5000.0f, limited->nearest(q)->x);
}

// The search as first written, recursive, over the cloud's own tree: the cloud
// must answer the very same entry, ties included (the first one met wins).
void referenceSearch(const Kd_Entry* e, uint32_t node, int axis, const float* q, uint32_t& best,
                     float& bestD) {
    while (node < Kd_Entry::NONE) {
        const Kd_Entry& n = e[node];
        const float p[3] = {n.x, n.y, n.z};
        float d = p[axis] - q[axis];
        int next = (axis + 1) % 3;
        referenceSearch(e, d > 0 ? n.first : n.second, next, q, best, bestD);
        if (distance(p, q) < bestD) {
            best = node;
            bestD = distance(p, q);
        }
        if (!(std::fabs(d) <= bestD)) return;
        node = d > 0 ? n.second : n.first;
        axis = next;
    }
}

TEST_F(PointCloudTest, NearestMatchesBruteForceAndTheRecursiveSearch) {
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> u(-10, 10);
    const char* shapes[] = {"random", "a flat sheet: ties on z", "a grid with duplicates, half-way queries"};
    for (int shape = 0; shape < 3; ++shape) {
        SCOPED_TRACE(shapes[shape]);
        auto mb = newBuilder();
        for (mb->nv = 0; mb->nv < 2000; ++mb->nv)
            for (int a = 0; a < 3; ++a)
                mb->verts[mb->nv][a] = shape == 2 ? std::round(u(rng)) : shape == 1 && a == 2 ? 0 : u(rng);
        core::Ref<Point_Cloud_Impl> cloud = M3D_NEW Point_Cloud_Impl(mb.get());
        for (int t = 0; t < 3000; ++t) {
            float q[3];
            for (float& c : q)
                c = shape == 2 ? std::round(u(rng) * 2.4f) / 2 : u(rng) * 1.2f;
            float best = 1e30f;
            for (uint32_t i = 0; i < mb->nv; ++i)
                best = std::min(best, distance(mb->verts[i], q));
            const Kd_Entry* e = cloud->nearest(q);
            ASSERT_NE(nullptr, e);
            const float found[3] = {e->x, e->y, e->z};
            ASSERT_EQ(best, distance(found, q)) << "query " << t;
            uint32_t first = Kd_Entry::NONE;
            float firstD = 1e8f;
            referenceSearch(&cloud->entry(0), 0, 0, q, first, firstD);
            ASSERT_EQ(&cloud->entry((int)first), e) << "query " << t;
        }
    }
}

} // namespace
