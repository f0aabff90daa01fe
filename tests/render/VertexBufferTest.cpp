// Vertex arrays, vertex and index buffers (GL packing, dynamic growth, device
// reset, strips) and the limits of the quad-mesh packing behind the mesh
// builder (its meshes on screen are in the cube_shader and supershape golden
// images).
#include "RenderFixture.h"
#include "core/Exceptions.h"
#include "render/MeshPacking.h"

using namespace render;
using testsupport::CoreTest;
using testsupport::FlatTest;
using testsupport::GLTest;
using testsupport::near;

namespace {

const unsigned CLEAR = 0xFF000000u, RED = 0xFFFF0000u;

TEST_F(CoreTest, StripsConvertToListsAndVertexArraysConvertBoundAndCount) {
    // Repeated indices (strip joins) drop their degenerate triangles; odd
    // triangles are reversed; the explicit count limits the strip.
    const unsigned short strip[8] = {0, 1, 2, 3, 3, 5, 6, 7};
    struct Case {
        int count, explicitCount;
        std::vector<unsigned short> list;
    } cases[] = {{4, -1, {0, 1, 2, 3, 2, 1}},
                 {8, -1, {0, 1, 2, 3, 2, 1, 3, 5, 6, 7, 6, 5}},
                 {8, 3, {0, 1, 2}},
                 {1, -1, {}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        core::Ref<TriangleStripArray> s(M3D_NEW TriangleStripArray(strip, c.count, IndexBuffer::DYNAMIC));
        if (c.explicitCount >= 0) s->setExplicitCount(c.explicitCount);
        core::Ref<TriangleListArray> list(
            TriangleListArray::convertTriangleStripArrayToTriangleListArray(s.get()));
        const core::Vector<unsigned short>& got = list->getIndices();
        EXPECT_EQ(c.list, std::vector<unsigned short>(got.begin(), got.end()));
        EXPECT_EQ(IndexBuffer::DYNAMIC, list->getBufferMode());
    }

    const signed char bytes[6] = {-128, 5, 127, -1, 0, 3};
    core::Ref<VertexArray> a(M3D_NEW VertexArray(2, 3, 1));
    a->set(0, 2, bytes);
    core::Ref<VertexBuffer> vb(M3D_NEW VertexBuffer());
    vb->setPositions(a.get(), 2.0f, nullptr);
    const short* s = static_cast<const short*>(a->data());
    EXPECT_EQ((std::vector<short>{-128, 5, 127, -1, 0, 3}), std::vector<short>(s, s + 6))
        << "bytes become shorts";
    float lo[3], hi[3];
    a->getBounds(lo, hi);
    EXPECT_EQ((std::vector<float>{-128, 0, 3, -1, 5, 127}),
              (std::vector<float>{lo[0], lo[1], lo[2], hi[0], hi[1], hi[2]}));

    // Writing past the end grows the array and bumps the version.
    int version = a->getModificationCounter();
    const short more[3] = {9, 9, 9};
    a->set(3, 1, more);
    EXPECT_EQ(4, a->getVertexCount());
    EXPECT_GT(a->getModificationCounter(), version);
    EXPECT_THROW(a->set(0, 1, bytes), Graphics3DException) << "element type must match";
    EXPECT_THROW(VertexArray(3, 5, 4), Graphics3DException);

    // The vertex count comes from the first array present.
    core::Ref<VertexBuffer> texOnly(M3D_NEW VertexBuffer());
    core::Ref<VertexArray> t(M3D_NEW VertexArray(7, 2, 4));
    texOnly->setTexCoords(2, t.get(), 1.0f, nullptr);
    EXPECT_EQ(7, texOnly->getVertexCount());
}

TEST_F(FlatTest, BuffersGrowInPlaceUploadOnlyChangesAndForgetARendererTheyOutlive) {
    core::Ref<VertexBuffer> vb(quad(-1, -1, 0, 0, 0, RED, VertexBuffer::DYNAMIC));
    const unsigned short first[6] = {0, 1, 2, 0, 2, 3};
    core::Ref<IndexBuffer> list(M3D_NEW TriangleListArray(first, 6, IndexBuffer::DYNAMIC));
    core::Ref<Appearance> a(flatAppearance());
    g->clearBuffers(CLEAR, true, true);
    draw(vb.get(), list.get(), a.get());
    const int spare = g->getSpareAmount();
    EXPECT_EQ(4 + spare, vb->getCapacity());
    int name = vb->getVBO().name;

    // Within its spare capacity a dynamic buffer grows in place: two more
    // vertices (a second quad in the top right) fit the spare capacity.
    const float more[12] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
    vb->getPositions()->set(4, 4, more);
    const unsigned short both[12] = {0, 1, 2, 0, 2, 3, 4, 5, 6, 4, 6, 7};
    list->setIndices(both, 12);
    int resizes = g->getStatistics().vboResizes;
    glCallCounters().reset();
    g->clearBuffers(CLEAR, true, true);
    draw(vb.get(), list.get(), a.get());
    EXPECT_EQ(name, vb->getVBO().name) << "updated in place";
    EXPECT_EQ(4, glCallCounters()[GLCallCounters::MapBuffer])
        << "map and unmap of the vertices and the indices";
    expectPixels({{16, 16, RED}, {48, 48, RED}, {48, 16, CLEAR}});

    // Past the capacity the buffer is laid out anew and re-created.
    std::vector<float> many((size_t)(spare + 10) * 3, 5.0f);
    vb->getPositions()->set(8, spare + 10, many.data());
    draw(vb.get(), list.get(), a.get());
    EXPECT_EQ(resizes + 1, g->getStatistics().vboResizes);
    EXPECT_EQ(2, g->getStatistics().dynamicVBOs) << "the old buffer was deleted";
    EXPECT_EQ(2, vb->getVBO().updates) << "the update count carries over";
    EXPECT_GE(vb->getVBO().size, (spare + 18) * 12);
    EXPECT_TRUE(near(pixel(48, 48), rgba(RED)));

    core::Ref<VertexBuffer> st(quad(-1, -1, 1, 1, 0, RED));
    drawFlat(st.get());
    EXPECT_FALSE(st->hasPackedCopy());
    EXPECT_EQ(2, g->getStatistics().staticVBOs) << "vertices and indices";

    core::Ref<VertexBuffer> dyn(quad(-1, -1, 1, 1, 0, RED, VertexBuffer::DYNAMIC));
    core::Ref<VertexArray> normals(M3D_NEW VertexArray(4, 3, 4));
    dyn->setNormals(normals.get());
    drawFlat(dyn.get());
    EXPECT_TRUE(dyn->hasPackedCopy());
    glCallCounters().reset();
    drawFlat(dyn.get());
    EXPECT_EQ(0, glCallCounters()[GLCallCounters::MapBuffer]) << "nothing changed, nothing sent";
    const float n[3] = {0, 0, 1};
    normals->set(0, 1, n);
    drawFlat(dyn.get());
    EXPECT_EQ(2, glCallCounters()[GLCallCounters::MapBuffer]);
    EXPECT_EQ(1, dyn->getVBO().updates);

    // Buffers outliving the renderer forget it: destroying them then must
    // not reach the freed renderer.
    flat.release();
    core.globals().graphics = nullptr;
    g.release();
    EXPECT_EQ(-1, st->getVBO().name);
    EXPECT_EQ(-1, ib->getVBO().name);
    st.release();
    dyn.release();
    ib.release();
}

TEST_F(GLTest, QuadMeshPackingLimits) {
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
    // 65536 vertices pass, one more does not.
    const int N = 65537;
    std::vector<float> row((size_t)N * 3), normals((size_t)N * 3, 1.0f);
    for (int i = 0; i < N; ++i)
        row[(size_t)i * 3] = (float)i;
    std::vector<int> wide = {0, 1, 65535, 2};
    PackedMesh ok = packQuadMesh(*g, row.data(), normals.data(), 65536, wide.data(), 1);
    EXPECT_EQ(65536, ok.vertices->getVertexCount());
    testsupport::StderrCapture capture;
    EXPECT_THROW(packQuadMesh(*g, row.data(), normals.data(), N, wide.data(), 1), Assert_Exception);
    EXPECT_NE(std::string::npos, capture.finish().find("Max 65536 vertices supported!"));
}

} // namespace
