// Catmull-Clark smoothing cross-checked against OpenSubdiv's uniform
// refinement: the same closed quad mesh refined one and two levels must give
// the same set of positions.
#include "GeometryTestUtil.h"
#include "geometry/Modelling.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <vector>

#include <opensubdiv/far/primvarRefiner.h>
#include <opensubdiv/far/topologyDescriptor.h>

namespace {

using namespace OpenSubdiv;

struct Point {
    float p[3];
    void Clear() { p[0] = p[1] = p[2] = 0; }
    void AddWithWeight(const Point& s, float w) {
        p[0] += w * s.p[0];
        p[1] += w * s.p[1];
        p[2] += w * s.p[2];
    }
};

// OpenSubdiv's positions of `mb` refined `levels` times.
std::vector<Point> refineWithOpenSubdiv(const Mesh_Builder& mb, int levels) {
    std::vector<int> perFace(mb.nq, 4);
    std::vector<int> indices;
    for (uint32_t q = 0; q < mb.nq; ++q)
        for (int k = 0; k < 4; ++k)
            indices.push_back((int)mb.quads[q][k]);
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
    for (uint32_t i = 0; i < mb.nv; ++i)
        for (int a = 0; a < 3; ++a)
            src[i].p[a] = mb.verts[i][a];
    Far::PrimvarRefiner primvar(*refiner);
    for (int level = 1; level <= levels; ++level) {
        std::vector<Point> dst(refiner->GetLevel(level).GetNumVertices());
        Point* in = src.data();
        Point* out = dst.data();
        primvar.Interpolate(level, in, out);
        src.swap(dst);
    }
    delete refiner;
    return src;
}

// Smooths a copy of `start` `levels` times: every refined position has its
// OpenSubdiv counterpart, one to one.
void expectSameRefinement(const Mesh_Builder& start, int levels, const char* what) {
    SCOPED_TRACE(what);
    auto mb = geomtest::newBuilder();
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
    auto cube = geomtest::newBuilder();
    addcube(cube.get(), 0);
    expectSameRefinement(*cube, 1, "cube");
    expectSameRefinement(*cube, 2, "cube");
    // Uneven edge lengths, and a third level from the cube.
    scale2(cube.get(), 3.0f);
    trans1(cube.get(), 0.5f);
    smoooth(cube.get(), 0);
    expectSameRefinement(*cube, 2, "stretched box, smoothed");
}

} // namespace
