// M3G files: every refusal of the loader from a small file built here (fault
// -> message, nothing returned, the pool exactly as before), objects read as
// the file states them, warnings, scenes through the writer and back, and
// external references.
#include "M3GBytes.h"
#include "M3GHelpers.h"
#include "core/FileArchive.h"
#include "core/FileSystem.h"
#include "core/IOException.h"
#include "core/MemoryStream.h"
#include "render/Loader.h"
#include "render/Camera.h"
#include "render/Group.h"
#include "render/Mesh.h"
#include "render/OGLES2_Graphics3D.h"
#include "render/PNG_Writer.h"
#include "render/Light.h"
#include "support/EngineFixture.h"
#include "support/TempDir.h"
#include "support/Text.h"

using namespace m3gbytes;
using namespace render;
using m3gtest::Objects;

namespace {

class M3G_LoaderTest : public testsupport::CoreTest {
protected:
    core::Ref<OGLES2_Graphics3D> g;
    void SetUp() override {
        g = M3D_NEW OGLES2_Graphics3D(); // no GL context: textures keep their images
        core.globals().graphics = g.get();
        core::FileSystem::get(); // made on first use, and kept
    }
    void TearDown() override {
        core.globals().graphics = nullptr;
        g.release();
    }

    void load(const std::string& bytes, Objects& out) {
        core::Ref<core::MemoryStream> s = M3D_NEW core::MemoryStream(bytes.data(), (int)bytes.size(), false);
        Loader::load(s.get(), out, nullptr, core::String());
    }
    // The parse error's text, or "" when the load succeeds.
    std::string failure(const std::string& bytes) {
        Objects out;
        try {
            load(bytes, out);
        } catch (const core::IOException& e) {
            EXPECT_EQ(0, out.size());
            std::string m = e.getMessage();
            size_t at = m.find("Message: ");
            return at == std::string::npos ? m : m.substr(at + 9);
        }
        return "";
    }
};

std::string scene(const std::string& objects) {
    return file({rawSection(objects)});
}
std::string scene(unsigned type, const std::string& body) {
    return scene(chunk(type, body));
}
// The triangle scene followed by one more object.
std::string withTriangle(unsigned type, const std::string& body) {
    return scene(triangleObjects() + chunk(type, body));
}
std::string patched(std::string bytes, size_t at, unsigned char value) {
    bytes[at] = (char)value;
    return bytes;
}

TEST_F(M3G_LoaderTest, EveryFaultFailsWithItsMessageAndLeavesThePoolAsItWas) {
    const std::string good = scene(triangleObjects()), tri = triangleObjects();
    const std::string va = vertexArray(2, 3, 0, 3, {0, 0, 0, 1, 0, 0, 0, 1, 0});
    const std::string px = chunk(10, image(99, 1, 1, "", "abc"));
    std::string aligned = Bytes().raw(object3D()).raw(noTransform()).u8(1).u8(1).u8(255).u32(~0u).u8(1);
    auto align = [&](unsigned z, unsigned y) {
        return withTriangle(9, aligned + Bytes().u8(z).u8(y).u32(0).u32(0).u32(0).b);
    };
    auto compositing = [](unsigned blending) {
        return Bytes().u8(1).u8(1).u8(1).u8(1).u8(blending).u8(0).f32(0).f32(0).b;
    };
    auto polygon = [](unsigned c, unsigned s, unsigned w) {
        return scene(8, Bytes().raw(object3D()).u8(c).u8(s).u8(w).u8(0).u8(0).u8(0));
    };
    auto keys = [](unsigned interpolation, unsigned repeat, unsigned encoding, uint32_t duration,
                   uint32_t comps, uint32_t count, const std::vector<float>& values) {
        return scene(19, keyframes(interpolation, repeat, encoding, duration, comps, count, values));
    };
    auto external = [](const std::string& object) { return file({rawSection(object)}, true); };
    Bytes userParams;
    userParams.u32(0).u32(0).u32(2).u32(7).u32(1).u8(1).u32(7).u32(1).u8(2);

    struct Case {
        std::string bytes;
        const char* message;
    } cases[] = {
        {patched(good, 12, 1), "First section must be uncompressed."},
        {patched(good, 13, (unsigned char)(good[13] + 1)),
         "Section length error in section header for uncompressed data."},
        {patched(good, 21, 9), "First object is not header object."},
        {patched(good, 22, (unsigned char)(good[22] + 1)), "First object size mismatch."},
        {file({rawSection(tri)}, false, 0, 2), "Unsupported m3g version."},
        // The header object one byte longer than its authoring field needs:
        {std::string(IDENTIFIER, 12) +
             rawSection(chunk(0, Bytes().u8s({1, 0, 0}).u32(0).u32(0).str("test").u8(0))),
         "Size of header object not correct in first section."},
        {file({rawSection(tri)}, false, 1), "TotalFileSize did not matched or small data buf len."},
        {file({rawSection(tri).substr(0, 40)}), "Small section."},
        {file({zlibSection(tri, 20)}), "Too small \"uncompressed length\" field in m3g section header. "},
        {file({zlibSection(tri, (long)tri.size() + 5)}),
         "Too big \"uncompressed length\" field in m3g section header. "},
        {file({zlibSection(tri, 0x7FFFFFFF)}),
         "Too big \"uncompressed length\" field in m3g section header. "},
        {file({patched(zlibSection(tri), 9, 0xFF)}),
         "ZLib decompression failed: \"The input data was corrupted\""},
        {scene(23, ""), "Object type is not valid in object chunk."},
        {scene(Bytes().u8(20).u32(1000).raw(va)), "Object size too big."},
        {scene(20, va + "x"), "Object size mismatch."},
        {scene(Bytes().u8(20).u8(1)), "Small stream buffer"},
        {file({rawSection(chunk(9, group({}))), rawSection(tri)}, true),
         "Object type is not \"external reference\" in the object chunk of external references section."},
        {external(Bytes().u8(255).u32(99).str("a.png")), "\"External reference\" object size too big."},
        {external(chunk(255, Bytes().str("a.png").u8(1))), "\"External reference\" object size mismatch."},
        {scene(21, vertexBuffer(5)), "Reference to unloaded object detected."},
        {scene(21, vertexBuffer(1)), "Reference to unloaded object detected. Reference is nil."},
        {scene(chunk(20, vertexArray(2, 2, 0, 1, {1, 2})) + chunk(21, vertexBuffer(2))),
         "Component count is not 3 in positions data."},
        {scene(chunk(20, vertexArray(1, 2, 0, 1, {1, 2})) + chunk(21, vertexBuffer(0, 0, 2))),
         "Component count is not 3 or 4 in colors data."},
        {scene(chunk(20, vertexArray(2, 3, 0, 1, {1, 2, 3})) + chunk(21, vertexBuffer(0, 0, 2))),
         "Referenced colors object does not have correct component type. Should be 1."},
        {scene(20, vertexArray(2, 3, 0, 0, {})), "Zero vertex count in vertex array."},
        {scene(20, vertexArray(2, 5, 0, 1, {1, 2, 3, 4, 5})), "Component Count out of range."},
        {scene(20, vertexArray(3, 3, 0, 1, {1, 2, 3})), "Component size out of range."},
        {scene(20, vertexArray(2, 3, 2, 1, {1, 2, 3})), "Invalid component encoding"},
        {scene(11, stripArray(128, {}, {3})), "Raw indices length is 0 in TriangleStripArray."},
        {scene(11, stripArray(129, {}, {3})), "Byte indices length is 0 in TriangleStripArray."},
        {scene(11, stripArray(130, {}, {3})), "Uint16 indices length is 0 in TriangleStripArray."},
        {scene(11, Bytes().raw(object3D()).u8(0).u32(0).u32(1).u32(3)),
         "Unsupported encoding in TriangleStripArray."},
        {scene(11, stripArray(130, {0, 1, 2}, {})), "Strip Lengths are 0 in TriangleStripArray."},
        {scene(11, stripArray(128, {0, 1, 70000}, {3})),
         "Too big data in triangle strip. Values must be in range -32768 ... 32767"},
        {withTriangle(14, mesh(0, {{4, 5}})), "Vertex buffer not specified for mesh."},
        {withTriangle(14, mesh(3, {})), "Submeshes not specified for mesh."},
        {withTriangle(14, mesh(3, {{0, 5}})), "Not all index buffers are specified for mesh."},
        {withTriangle(14, mesh(3, {{4, 0}})), "Not all appearances are specified for mesh."},
        {align(149, 144), "Node aligment: Invalid z-target axis"},
        {align(144, 143), "Node aligment: Invalid y-target axis"},
        {scene(6, object3D() + compositing(69)), "CompositingMode blending mode is not correct."},
        {polygon(163, 165, 168), "Polygon mode culling not correct value."},
        {polygon(160, 166, 168), "Polygon mode shading not correct value."},
        {polygon(160, 165, 170), "Polygon mode winding not correct value."},
        {scene(12, Bytes().raw(nodeBlocks()).f32(1).f32(0).f32(0).u8s({1, 1, 1, 132}).f32(1).f32(45).f32(0)),
         "The Light mode field does not hold a valid enumerated value, as specified in the class "
         "definition."},
        {scene(10, image(101, 1, 1, "", "abc")), "Unsuported image format."},
        {scene(10, image(99, 1, 1, "", "")), "No pixels specified for immutable object"},
        {scene(17, texture(0)), "No image set for texture."},
        {scene(px + chunk(17, texture(2, 229))), "Unknown blending type."},
        {scene(px + chunk(17, texture(2, 228, 241, 241, 208, 208))), "Unknown image filter."},
        {scene(px + chunk(17, texture(2, 228, 241, 241, 211))), "Unknown level filter."},
        {scene(px + chunk(17, texture(2, 228, 242))), "Unknown s-wrapping type."},
        {scene(px + chunk(17, texture(2, 228, 241, 239))), "Unknown t-wrapping type."},
        {scene(6, userParams.raw(compositing(68))), "User parameters count mismatch."},
        {scene(px + chunk(18, Bytes().raw(nodeBlocks()).u32(0).u32(0).u8(0).u32(0).u32(0).u32(0).u32(0))),
         "No implementation yet."},
        // Faults mended beyond the letter of the format's reader:
        {scene(10, image(97, 2, 2, "", "abc")), "Too few pixels for the image size in Image2D."},
        {scene(10, image(99, 1, 1, "abcd", std::string(1, '\0'))),
         "Palette size does not match the image format in Image2D."},
        {scene(10, image(99, 2, 1, "abc", std::string(1, '\0'))),
         "Too few palette indices for the image size in Image2D."},
        {scene(10, image(99, 1, 1, "abc", "\x01")), "Palette index out of range in Image2D."},
        {scene(chunk(20, va) + chunk(21, vertexBuffer(2)) + chunk(11, stripArray(130, {0, 1, 3}, {3})) +
               chunk(3, appearance()) + chunk(14, mesh(3, {{4, 5}}))),
         "Index value outside the vertex buffer in mesh."},
        {scene(11, stripArray(130, {0, 1, 2}, {3, 3})),
         "Strip lengths add up to more indices than stored in TriangleStripArray."},
        {scene(20, vertexArray(2, 3, 0, 65535, {0, 0, 0, 1, 0, 0, 0, 1, 0})), "Small stream buffer"},
        {withTriangle(14, Bytes().raw(nodeBlocks()).u32(3).u32(~0u).u32(4).u32(5)), "Small stream buffer"},
        {scene(10, Bytes().raw(object3D()).u8(99).u8(1).u32(65535).u32(65535)),
         "Image size out of range in Image2D."},
        {withTriangle(14, mesh(3, {{4, 2}})),
         "Object reference 2 does not name an object of class Appearance."},
        {withTriangle(9, group({2})), "Object reference 2 does not name an object of class Node."},
        {scene(tri + chunk(9, group({6})) + chunk(9, group({6}))), "Node already has a parent group."},
        {keys(176, 192, 3, 10, 1, 1, {}), "Unknown KeyframeSequence encoding."},
        {keys(181, 192, 0, 10, 1, 1, {0, 1}), "Invalid interpolation type in KeyframeSequence."},
        {keys(176, 194, 0, 10, 1, 1, {0, 1}), "Invalid repeat mode in KeyframeSequence."},
        {keys(176, 192, 0, 0x80000000u, 1, 1, {0, 1}), "Duration less than zero in KeyframeSequence."},
        {keys(176, 192, 0, 10, 1, 0, {}),
         "Keyframe count is less than or equal to zero in KeyframeSequence."},
        {keys(176, 192, 0, 10, 0, 1, {0}),
         "Component count is less than or equal to zero in KeyframeSequence."},
        {scene(2, track(0, 0, 275)), "KeyframeSequence is 0 in AnimationTrack."},
        {scene(chunk(19, keyframes(176, 192, 0, 10, 1, 1, {0, 1})) + chunk(2, track(2, 0, 277))),
         "Invalid target property ID value in AnimationTrack."},
        {scene(chunk(13, Bytes().raw(object3D()).raw(std::string(13, '\0')).f32(0).u8(0)) +
               chunk(9, Bytes().u32(0).u32(1).u32(2).u32(0).raw(noTransform()).raw(node()).u32(0))),
         "Object reference 2 does not name an object of class AnimationTrack."},
        {withTriangle(16, mesh(3, {{4, 5}}) + Bytes().u32(0).u32(0).b), "No skeleton set for SkinnedMesh."},
        {scene(5, Bytes().raw(nodeBlocks()).u8(50).f32(60).f32(1).f32(5).f32(5)),
         "Transformation matrix cannot be computed due to illegal perspective or parallel projection "
         "parameters (near == far)"},
    };

    ASSERT_EQ("", failure(good));
    failure(scene(px + chunk(17, texture(2)))); // the first load grows the renderer's texture list
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(testing::Message() << "case " << i << ": " << c.message);
        int live = core.pool().getLiveAllocations();
        int used = core.pool().getUsedBytes();
        EXPECT_EQ(c.message, failure(c.bytes));
        EXPECT_EQ(live, core.pool().getLiveAllocations());
        EXPECT_EQ(used, core.pool().getUsedBytes());
    }
}

// Objects read as the file states them, in a zlib section; the roots are the
// objects nothing refers to (all but the vertex array), in index order.
TEST_F(M3G_LoaderTest, ObjectsAreReadAsStoredAndWarningsDoNotStopTheLoad) {
    Bytes transformed;
    transformed.raw(object3D()).u8(1).f32(1).f32(2).f32(3).f32(2).f32(2).f32(2).f32(90).f32(0).f32(0).f32(2);
    transformed.u8(1);
    for (float f : {1, 0, 0, 5, 0, 1, 0, 6, 0, 0, 1, 7, 0, 0, 0, 1})
        transformed.f32(f);
    transformed.raw(node()).u32(0);
    // Delta-encoded bytes: 0, 127, 126 decode to 0, 127, 253 (wrapping).
    std::string objects =
        chunk(9, transformed) + chunk(20, vertexArray(1, 3, 1, 3, {0, 1, 2, 127, 1, 1, 127, 1, 1})) +
        chunk(21, vertexBuffer(3)) + chunk(11, stripArray(130, {0, 1, 2, 2, 1, 0, 1}, {3, 4})) +
        chunk(10, image(97, 2, 2, "", "abcd")) + chunk(10, image(98, 1, 2, "", "abcd")) +
        chunk(10, image(99, 2, 1, "xyzXYZ", std::string("\x01\x00", 2))) +
        chunk(13, Bytes().raw(object3D(11)).u8s({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}).f32(2.0f).u8(1));
    // Warnings do not stop the load: a node aligned to Z_AXIS without a
    // reference and to ORIGIN with one, and a wrong ApproximateContentSize.
    Bytes aligned;
    aligned.raw(object3D()).raw(noTransform()).u8s({1, 1, 255}).u32(~0u).u8s({1, 148, 145}).u32(0).u32(2);
    std::string bytes = file({zlibSection(objects + chunk(9, aligned.u32(0)))});
    bytes[12 + 9 + 5 + 7] ^= 1;
    Objects out;
    testsupport::StderrCapture capture;
    load(bytes, out);
    std::string log = capture.finish();
    EXPECT_NE(std::string::npos,
              log.find("Parse warning: \"approximateContentSize different than totalFileSize"));
    EXPECT_NE(std::string::npos, log.find("z-axis reference object is 0 when z-target is Z_AXIS"));
    EXPECT_NE(std::string::npos, log.find("y-axis reference object is not 0 when y-target is ORIGIN"));
    ASSERT_EQ(8, out.size());
    Group* g0 = dynamic_cast<Group*>(out[0].get());
    VertexBuffer* vb = dynamic_cast<VertexBuffer*>(out[1].get());
    IndexBuffer* ib = dynamic_cast<IndexBuffer*>(out[2].get());
    ASSERT_TRUE(g0 && vb && ib);
    EXPECT_EQ(slm::vec3(1, 2, 3), g0->getTranslation());
    EXPECT_EQ(slm::vec3(2, 2, 2), g0->getScale());
    EXPECT_NEAR(0.70710678f, g0->getOrientation().z, 1e-6f);
    // Row-major in the file: the translation column (5, 6, 7) lands in m[12..14].
    EXPECT_EQ(5.0f, g0->getTransform()[12]);
    EXPECT_EQ(7.0f, g0->getTransform()[14]);
    std::vector<float> v(9);
    vb->getPositions()->get(0, 3, v.data());
    EXPECT_EQ(std::vector<float>({0, 1, 2, 127, 2, 3, -2, 3, 4}), v);
    // Two strips joined into one by degenerate triangles, the second strip
    // starting at an even position so its winding is kept.
    const unsigned short* indices = &ib->getIndices()[0];
    std::vector<unsigned short> joined(indices, indices + ib->getIndexCount());
    EXPECT_EQ(std::vector<unsigned short>({0, 1, 2, 2, 2, 2, 2, 1, 0, 1}), joined);
    // Images are sized by their format; palettes expand.
    auto img = [&](int i) { return static_cast<Image2D*>(out[i].get()); };
    EXPECT_EQ(4, img(3)->getBufferSize());
    EXPECT_EQ(4, img(4)->getBufferSize());
    EXPECT_EQ("XYZxyz", std::string((const char*)img(5)->getPixels(), 6));
    Material* mat = dynamic_cast<Material*>(out[6].get());
    ASSERT_TRUE(mat);
    EXPECT_EQ(11, mat->getUserID());
    EXPECT_EQ(0x07040506u, mat->getDiffuse()); // alpha from its own byte after the colours
    EXPECT_EQ(0x0008090Au, mat->getEmissive());
    EXPECT_TRUE(mat->isVertexColorTrackingEnabled());
}

// The writer: scenes built here are written, loaded back and compared with
// what was built; writing the loaded scene again gives the same bytes (every
// field the format holds survived the trip).
class M3G_WriterTest : public M3G_LoaderTest {};

// A lit, textured, transformed group of two submeshes. (A world's camera and
// background go through a file in the golden tests.)
TEST_F(M3G_WriterTest, SceneRoundTripsThroughBothSectionKinds) {
    const float bias[3] = {0.5f, -0.25f, 2.0f};
    VertexBuffer* vb =
        m3gtest::positions({-100, -100, 0, 100, -100, 0, -100, 100, 0, 100, 100, 7}, 0.01f, bias);
    vb->setNormals(m3gtest::array<signed char>(3, {0, 0, 127, 0, 0, 127, 0, 0, 127, 0, -128, 0}));
    vb->setColors(m3gtest::array<signed char>(4, {1, 2, 3, 4, -1, -2, -3, -4, 5, 6, 7, 8, 9, 10, 11, 12}));
    VertexArray* uv = m3gtest::array<short>(2, {0, 0, 1, 0, 0, 1, 1, 1});
    vb->setTexCoords(0, uv, 1.0f, nullptr);
    vb->setTexCoords(1, uv, 0.5f, bias);
    vb->setDefaultColor(0xFF00FF00u);

    Appearance* look = M3D_NEW Appearance();
    look->setMaterial(M3D_NEW Material());
    look->getMaterial()->setDiffuse(0x40506070u);
    look->getMaterial()->setShininess(12.5f);
    look->setCompositingMode(M3D_NEW CompositingMode());
    look->getCompositingMode()->setBlending(CompositingMode::ALPHA);
    look->getCompositingMode()->setAlphaThreshold(128 / 255.0f);
    look->setPolygonMode(M3D_NEW PolygonMode());
    look->getPolygonMode()->setCulling(PolygonMode::CULL_NONE);
    look->setFog(M3D_NEW Fog());
    look->getFog()->setMode(Fog::EXPONENTIAL);
    look->getFog()->setDensity(0.25f);
    const unsigned char rgb[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    Texture2D* texture = g->createNewTexture(Texture2D::KIND_TEXTURE, Image2D::RGB, 0, 0);
    texture->setImage(M3D_NEW Image2D(Image2D::RGB, 2, 2, rgb));
    texture->setBlending(Texture2D::FUNC_DECAL);
    texture->setTranslation(slm::vec3(0.5f, 0, 0));
    look->setTexture(1, texture);
    look->setLayer(-3);

    const unsigned short strip[5] = {0, 1, 2, 3, 0};
    IndexBuffer* ibs[2] = {M3D_NEW TriangleStripArray(strip, 5), M3D_NEW TriangleStripArray(strip + 1, 3)};
    Appearance* looks[2] = {look, nullptr};
    Mesh* mesh = M3D_NEW Mesh(vb, ibs, looks, 2);
    mesh->setUserID(42);
    mesh->setName(core::String("quad"));
    Light* light = M3D_NEW Light();
    light->setMode(Light::SPOT);
    light->setColor(0x123456u);
    light->setSpotAngle(30.0f);
    light->setAttenuation(1.0f, 0.5f, 0.25f);
    light->setOrientation(slm::quat(0.0f, 0.70710677f, 0.0f, 0.70710677f));
    Group* group = M3D_NEW Group();
    group->setScale(slm::vec3(2, 3, 4));
    slm::mat4 m;
    m(0, 3) = 9.0f;
    m(1, 0) = 0.5f;
    group->setTransform(m);
    group->setAlphaFactor(128 / 255.0f);
    group->setScope(6);
    group->addChild(mesh);
    group->addChild(light);
    Camera* camera = M3D_NEW Camera();
    slm::mat4 projection;
    projection(0, 1) = 3.0f; // off the diagonal, so a transposed matrix shows
    camera->setGeneric(projection);
    group->addChild(camera);

    Objects roots;
    roots.append(group);
    for (bool compress : {false, true}) {
        SCOPED_TRACE(compress ? "zlib" : "raw");
        std::string first = m3gtest::write(roots, compress);
        Objects loaded = m3gtest::load(first);
        ASSERT_EQ(1, loaded.size());
        EXPECT_EQ(first, m3gtest::write(loaded, compress));

        // The same bytes again could hide a field that the writer and the
        // loader both put in the wrong place: compare what no golden image
        // draws with what was built.
        Group* g2 = dynamic_cast<Group*>(loaded[0].get());
        Mesh* m2 = g2 ? dynamic_cast<Mesh*>(g2->getChild(0)) : nullptr;
        Light* l2 = g2 ? dynamic_cast<Light*>(g2->getChild(1)) : nullptr;
        Camera* c2 = g2 ? dynamic_cast<Camera*>(g2->getChild(2)) : nullptr;
        ASSERT_TRUE(m2 && l2 && c2);
        EXPECT_TRUE(slm::equal(projection, c2->getProjectionMatrix()));
        EXPECT_EQ(9.0f, g2->getTransform()(0, 3));
        EXPECT_EQ(0.5f, g2->getTransform()(1, 0));
        EXPECT_EQ(6, g2->getScope());
        EXPECT_EQ("quad", std::string(m2->getName().c_str()));
        ASSERT_EQ(2, m2->getSubmeshCount());
        EXPECT_TRUE(m2->getAppearance(1)); // a default one stands in for none
        Appearance* a2 = m2->getAppearance(0);
        EXPECT_EQ(-3, a2->getLayer());
        EXPECT_EQ(0.25f, a2->getFog()->getDensity());
        EXPECT_EQ(nullptr, a2->getTexture(0));
        EXPECT_TRUE(a2->getTexture(1));
        float v[16]; // four colours of four components
        m2->getVertexBuffer()->getColors()->get(0, 4, v);
        EXPECT_EQ(-4.0f, v[7]);
        EXPECT_EQ(0.5f, m2->getVertexBuffer()->getTexCoords(1)->scale);
        EXPECT_NEAR(0.70710677f, l2->getOrientation().y, 1e-6f);
    }
}

TEST_F(M3G_WriterTest, ReferencesMustBeAddedAndUnwritableObjectsAreRefused) {
    core::Ref<M3G_Writer> w = M3D_NEW M3G_Writer();
    core::Ref<Material> m = M3D_NEW Material();
    char expected[80];
    std::snprintf(expected, sizeof expected, "Object reference 0x%X not yet added to index table.",
                  (unsigned)(uintptr_t)m.get());
    try {
        w->indexOf(m.get());
        ADD_FAILURE();
    } catch (const core::IOException& e) {
        EXPECT_NE(std::string::npos, std::string(e.getMessage()).find(expected)) << e.getMessage();
    }
    core::Ref<VertexArray> floats = M3D_NEW VertexArray(3, 3, 4);
    w->add(floats.get());
    core::Ref<core::MemoryStream> out = M3D_NEW core::MemoryStream();
    EXPECT_THROW(w->write(out.get(), false), core::IOException);
}

// Files in a temporary folder mounted as the file system's root.
class M3G_ExternalReferenceTest : public M3G_LoaderTest {
protected:
    testsupport::TempDir dir;
    void SetUp() override {
        M3G_LoaderTest::SetUp();
        core::FileSystem::get()->addArchive(
            M3D_NEW core::FileArchive(core::String((dir.path() + "/").c_str()), false), core::String());
    }
    Objects loadFile(const std::string& name) {
        Objects out;
        Loader::load(core::String(name.c_str()), nullptr, out);
        return out;
    }
    void write(const std::string& name, const std::vector<std::string>& uris, const std::string& objects) {
        std::string refs;
        for (const std::string& u : uris)
            refs += chunk(255, Bytes().str(u));
        dir.write(name, file({rawSection(refs), rawSection(objects)}, true));
    }
};

// References resolve relative to the referring file. A PNG becomes the image
// of its texture; a missing one warns once and its texture is left out. An M3G
// file gives its first root where one object is expected (the mesh joins the
// group), and all its roots when nothing refers to it.
TEST_F(M3G_ExternalReferenceTest, PngsAndM3GFilesLoadAndAMissingFileWarnsOnce) {
    const unsigned char rgba[4 * 4] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 9, 9, 9, 255};
    dir.write("scenes/tex/skin.png", ""); // the folders
    writePNG(core::String(dir.file("scenes/tex/skin.png").c_str()), 2, 2, rgba, false);
    dir.write("scenes/parts.m3g", scene(triangleObjects() + chunk(9, group({}))));
    // 2, 3: the images, 4, 5: parts.m3g, 6, 7: the textures, 8: the appearance, 9: the group.
    write("scenes/a.m3g", {"tex/skin.png", "gone.png", "parts.m3g", "parts.m3g"},
          chunk(17, texture(2)) + chunk(17, texture(3)) + chunk(3, appearance(0, {6, 7})) +
              chunk(9, group({4})));
    testsupport::StderrCapture capture;
    Objects out = loadFile("scenes/a.m3g");
    std::string log = capture.finish();
    ASSERT_EQ(4, out.size());
    EXPECT_TRUE(dynamic_cast<Mesh*>(out[0].get()) && dynamic_cast<Group*>(out[1].get()));
    Appearance* a = dynamic_cast<Appearance*>(out[2].get());
    Group* holder = dynamic_cast<Group*>(out[3].get());
    ASSERT_TRUE(a && a->getTexture(0) && a->getTexture(0)->getImage() && holder);
    EXPECT_TRUE(dynamic_cast<Mesh*>(holder->getChild(0)));
    EXPECT_EQ("scenes/tex/skin.png", std::string(a->getTexture(0)->getImage()->getPath().c_str()));
    EXPECT_EQ(2, a->getTexture(0)->getImage()->getWidth());
    EXPECT_EQ(nullptr, a->getTexture(1));
    EXPECT_EQ(1, testsupport::countOf(log, "gone.png")) << log;
    EXPECT_EQ(std::string::npos, log.find("ERROR")) << log;
}

TEST_F(M3G_ExternalReferenceTest, ReferenceLoopsAreRefused) {
    write("self.m3g", {"self.m3g"}, chunk(9, group({})));
    write("a.m3g", {"b.m3g"}, chunk(9, group({})));
    write("b.m3g", {"a.m3g"}, chunk(9, group({})));
    for (const char* name : {"self.m3g", "a.m3g"}) {
        int live = core.pool().getLiveAllocations();
        std::string message;
        try {
            loadFile(name);
        } catch (const core::IOException& e) {
            message = e.getMessage();
        }
        EXPECT_NE(std::string::npos, message.find("refers back to a file that is being loaded")) << message;
        EXPECT_EQ(live, core.pool().getLiveAllocations()) << name;
    }
}

} // namespace
