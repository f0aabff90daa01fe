// The point cloud: its tree layout, radius, limits and nearest-point queries.
#include "GeometryTestUtil.h"
#include "core/Ref.h"
#include "geometry/Modelling.h"
#include "geometry/Point_Cloud_Impl.h"
#include "support/EngineFixture.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>
#include <cmath>
#include <random>
#include <vector>

namespace {

using PointCloudTest = testsupport::CoreTest;

float distance(const float* p, const float* q) {
    float dx = p[0] - q[0], dy = p[1] - q[1], dz = p[2] - q[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

TEST_F(PointCloudTest, EmptySingleAndLimitedClouds) {
    core::Ref<Point_Cloud_Impl> none = M3D_NEW Point_Cloud_Impl(nullptr);
    auto empty = geomtest::newBuilder();
    core::Ref<Point_Cloud_Impl> zero = M3D_NEW Point_Cloud_Impl(empty.get());
    const float origin[3] = {0, 0, 0};
    for (Point_Cloud_Impl* c : {none.get(), zero.get()}) {
        EXPECT_EQ(0, c->size());
        EXPECT_EQ(0.0f, c->getRadius());
        EXPECT_EQ(nullptr, c->nearest(origin));
    }
    const float point[1][3] = {{3, 4, 0}};
    auto one = geomtest::builderOf(point);
    core::Ref<Point_Cloud_Impl> single = M3D_NEW Point_Cloud_Impl(one.get());
    EXPECT_FLOAT_EQ(5.0f, single->getRadius());
    const float far1[3] = {-1000, 50, 7};
    EXPECT_EQ(&single->entry(0), single->nearest(far1));
    // Nothing is nearer than the search's starting distance of 1e8.
    const float beyond[3] = {3e8f, 0, 0};
    EXPECT_EQ(nullptr, single->nearest(beyond));

    // 70000 vertices: only the first 65534 become points, so the far vertex
    // at index 69999 is not in the cloud.
    auto big = geomtest::newBuilder();
    big->nv = 70000;
    for (uint32_t i = 0; i < big->nv; ++i) {
        big->verts[i][0] = (float)(i % 100);
        big->verts[i][1] = (float)(i / 100 % 100);
        big->verts[i][2] = (float)(i / 10000);
    }
    big->verts[69999][0] = 5000;
    core::Ref<Point_Cloud_Impl> limited = M3D_NEW Point_Cloud_Impl(big.get());
    EXPECT_EQ(65534, limited->size());
    EXPECT_LT(limited->getRadius(), 200.0f);
    const float q[3] = {5000, 0, 6};
    EXPECT_NE(5000.0f, limited->nearest(q)->x);
}

// The search as first written, recursive, over the cloud's own tree: the
// cloud's search must answer the very same entry, ties included (the first
// one met wins).
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
        auto mb = geomtest::newBuilder();
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
