// The quad-mesh conversion behind the mesh builder: packing and the triangle
// list (builder meshes on screen are in the cube_shader and supershape golden
// images).
#include "RenderFixture.h"
#include "core/Exceptions.h"
#include "render/MeshPacking.h"
#include <cmath>

using namespace render;
using testsupport::GLTest;
using testsupport::near;

namespace {

// The modelling kernel's cube template: 8 shared corners (±1) and 6 quads
// running clockwise seen from outside; corner normals are the sums of their
// face normals (the kernel leaves them unnormalised).
struct QuadCube {
    std::vector<float> p = {-1, -1, -1, 1, -1, -1, 1, 1, -1, -1, 1, -1,
                            -1, -1, 1,  1, -1, 1,  1, 1, 1,  -1, 1, 1};
    std::vector<float> n;
    std::vector<int> q = {0, 1, 2, 3, 3, 2, 6, 7, 7, 6, 5, 4, 1, 0, 4, 5, 0, 3, 7, 4, 2, 1, 5, 6};
    QuadCube() {
        for (size_t i = 0; i < p.size(); ++i)
            n.push_back(p[i] * 4.0f);
    }
};

TEST_F(GLTest, CubePacksToPlusMinus30000With36Indices) {
    QuadCube c;
    PackedMesh m = packQuadMesh(*g, c.p.data(), c.n.data(), 8, c.q.data(), 6);
    EXPECT_EQ(36, m.triangles->getIndexCount());
    EXPECT_FLOAT_EQ(2.0f * 0.5f / 30000.0f, m.vertices->getPositionScale());
    const short* s = static_cast<const short*>(m.vertices->getPositions()->data());
    EXPECT_EQ(-30000, s[0]);
    EXPECT_EQ(30000, s[6 * 3 + 2]);
    float nrm[3];
    m.vertices->getNormals()->get(6, 1, nrm);
    EXPECT_NEAR(1.0f / std::sqrt(3.0f), nrm[0], 1e-6f);
    EXPECT_EQ(-1, static_cast<const signed char*>(m.vertices->getColors()->data())[0]) << "white, 255";
    const core::Vector<unsigned short>& idx = m.triangles->getIndices();
    // (a, b, c, d) becomes (c, b, a) and (c, a, d): clockwise quads give counter-clockwise triangles.
    EXPECT_EQ((std::vector<unsigned short>{2, 1, 0, 2, 0, 3}),
              std::vector<unsigned short>(idx.begin(), idx.begin() + 6));
}

TEST_F(GLTest, CoincidingVerticesGetTheMinimumSizeAndEmptyMeshesNothing) {
    std::vector<float> p(12, 3.0f), n(12, 1.0f);
    std::vector<int> q = {0, 1, 2, 3};
    PackedMesh m = packQuadMesh(*g, p.data(), n.data(), 4, q.data(), 1);
    EXPECT_FLOAT_EQ(0.01f * 0.5f / 30000.0f, m.vertices->getPositionScale());
    EXPECT_EQ(3.0f, m.vertices->getPositionBias()[1]);
    PackedMesh empty = packQuadMesh(*g, p.data(), n.data(), 0, q.data(), 1);
    EXPECT_FALSE(empty.vertices);
    EXPECT_FALSE(empty.triangles);
    std::vector<int> bad = {0, 1, 2, 4};
    EXPECT_THROW(packQuadMesh(*g, p.data(), n.data(), 4, bad.data(), 1), Graphics3DException);
}

TEST_F(GLTest, SixtyFiveThousandFiveHundredThirtySixVerticesPassOneMoreDoesNot) {
    const int N = 65537;
    std::vector<float> p((size_t)N * 3), n((size_t)N * 3, 1.0f);
    for (int i = 0; i < N; ++i)
        p[(size_t)i * 3] = (float)i;
    std::vector<int> q = {0, 1, 65535, 2};
    PackedMesh ok = packQuadMesh(*g, p.data(), n.data(), 65536, q.data(), 1);
    EXPECT_EQ(65536, ok.vertices->getVertexCount());
    testsupport::StderrCapture capture;
    EXPECT_THROW(packQuadMesh(*g, p.data(), n.data(), N, q.data(), 1), Assert_Exception);
    EXPECT_NE(std::string::npos, capture.finish().find("Max 65536 vertices supported!"));
}

} // namespace
