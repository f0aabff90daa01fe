// The GL state caches of OGLES2_Graphics3D, checked by counting the calls
// that reach the driver.
#include "RenderFixture.h"
#include "render/Fog.h"

using namespace render;
using testsupport::FlatTest;
using testsupport::near;

namespace {

const unsigned CLEAR = 0xFF000000u, RED = 0xFFFF0000u, GREEN = 0xFF00FF00u;

// The second identical draw reaches GL with the draw call alone, for the
// default appearance, one with every state the renderer sets changed, and
// point sprites.
TEST_F(FlatTest, SecondIdenticalDrawMakesTheDrawCallAloneAndChangesReachGLOnce) {
    core::Ref<VertexBuffer> vb(quad(-0.5f, -0.5f, 0.5f, 0.5f, 0.0f, RED));
    const short uv[8] = {0, 1, 1, 1, 1, 0, 0, 0};
    VertexArray* uvs = M3D_NEW VertexArray(4, 2, 2);
    uvs->set(0, 4, uv);
    vb->setTexCoords(0, uvs, 1.0f, nullptr);
    const unsigned short corners[4] = {0, 1, 2, 3};
    core::Ref<IndexBuffer> sprites(M3D_NEW IndexBuffer(IndexBuffer::POINT_SPRITES, corners, 4));
    core::Ref<Image2D> image(testsupport::argbImage(1, 1, [](int, int) { return 0xFFFFFFFFu; }));
    core::Ref<Texture2D> t(texture(image.get()));
    core::Ref<Appearance> plain(flatAppearance()), changed(flatAppearance()), sprite(flatAppearance());
    // The default program reads m3g_featuresFlags, so the feature table is part of the check.
    changed->setShaderProgram(nullptr);
    CompositingMode* cm = changed->getCompositingMode();
    cm->setDepthOffset(1.0f, 2.0f);
    cm->setBlending(CompositingMode::ALPHA_ADD);
    cm->setColorWriteEnable(false);
    cm->setDepthWriteEnable(false);
    cm->setDepthTestEnable(false);
    changed->getPolygonMode()->setCulling(PolygonMode::CULL_FRONT);
    changed->getPolygonMode()->setWinding(PolygonMode::WINDING_CW);
    changed->getPolygonMode()->setLineWidth(3.0f);
    changed->setFog(M3D_NEW Fog());
    changed->setTexture(0, t.get());
    sprite->setTexture(0, t.get());
    slm::mat4 m = slm::translation(slm::vec3(0.1f, 0.0f, 0.0f));
    Appearance* cases[] = {plain.get(), changed.get(), sprite.get(), plain.get()};
    for (int k = 0; k < 4; ++k) {
        IndexBuffer* list = k == 2 ? sprites.get() : ib.get();
        draw(vb.get(), list, cases[k], m);
        glCallCounters().reset();
        draw(vb.get(), list, cases[k], m);
        EXPECT_EQ(1, glCallCounters()[GLCallCounters::Draw]) << "case " << k;
        EXPECT_EQ(1, glCallCounters().total()) << "case " << k;
    }
    // A new transform is one matrix upload and nothing else.
    glCallCounters().reset();
    draw(vb.get(), ib.get(), plain.get());
    EXPECT_EQ(0, glCallCounters().stateCalls());
    EXPECT_EQ(1, glCallCounters()[GLCallCounters::Uniform]);

    flat->getCompositingMode()->setDepthOffset(1.0f, 1.0f);
    drawFlat(vb.get());
    // Changed state reaches GL once: a new offset pair while offset stays on.
    flat->getCompositingMode()->setDepthOffset(2.0f, 3.0f);
    glCallCounters().reset();
    drawFlat(vb.get());
    drawFlat(vb.get());
    EXPECT_EQ(1, glCallCounters()[GLCallCounters::PolygonOffset]);
    GLfloat units = 0;
    glGetFloatv(GL_POLYGON_OFFSET_UNITS, &units);
    EXPECT_EQ(3.0f, units);

    // Stencil: function and operations once each, then only what changed.
    glCallCounters().reset();
    for (int ref : {1, 1, 2, 2})
        g->setStencil(true, GL_EQUAL, ref, 0xFF, GL_KEEP, GL_KEEP, GL_REPLACE);
    EXPECT_EQ(3, glCallCounters()[GLCallCounters::Stencil]);
    EXPECT_EQ(1, glCallCounters()[GLCallCounters::Enable]);
    GLint ref = 0;
    glGetIntegerv(GL_STENCIL_REF, &ref);
    EXPECT_EQ(2, ref);
    g->setStencil(false, 0, 0, 0, 0, 0, 0);

    glCallCounters().reset();
    g->setViewport(32, 48);
    g->setViewport(32, 48);
    EXPECT_EQ(1, glCallCounters()[GLCallCounters::Viewport]);
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(48, vp[3]);
    // The reset after a window resize follows the display's size.
    g->resetGraphics3D(0);
    g->getViewport(vp);
    EXPECT_EQ(SIZE, vp[3]);
}

TEST_F(FlatTest, ComponentChangesAreAppliedAndDepthClearsRestoreTheMask) {
    core::Ref<VertexBuffer> vb(quad(-1, -1, 1, 1, 0, RED));
    g->clearBuffers(CLEAR, true, true);
    drawFlat(vb.get());
    flat->getCompositingMode()->setColorWriteEnable(false);
    vb->setDefaultColor(GREEN);
    glCallCounters().reset();
    drawFlat(vb.get());
    EXPECT_EQ(1, glCallCounters()[GLCallCounters::ColorMask]);
    EXPECT_TRUE(near(pixel(32, 32), rgba(RED))) << "colour writes are off";

    // An appearance lacking components draws with the default ones (colour
    // writes on, back faces culled).
    core::Ref<Appearance> bare(M3D_NEW Appearance());
    bare->setShaderProgram(flat->getShaderProgram());
    draw(vb.get(), ib.get(), bare.get());
    EXPECT_TRUE(near(pixel(32, 32), rgba(GREEN)));
    core::Ref<IndexBuffer> cw(quadIndices(true));
    g->clearBuffers(CLEAR, true, true);
    draw(vb.get(), cw.get(), bare.get());
    EXPECT_TRUE(near(pixel(32, 32), rgba(CLEAR)));

    // Clearing depth while depth writes are off clears it and turns writes off again.
    core::Ref<VertexBuffer> nearQuad(quad(-1, -1, 1, 1, -0.5f, RED));
    core::Ref<VertexBuffer> farQuad(quad(-1, -1, 1, 1, 0.5f, GREEN));
    core::Ref<Appearance> writes(flatAppearance());
    core::Ref<Appearance> noWrites(flatAppearance());
    noWrites->getCompositingMode()->setDepthWriteEnable(false);
    g->clearBuffers(CLEAR, true, true);
    draw(nearQuad.get(), ib.get(), writes.get()); // depth 0.25
    draw(nearQuad.get(), ib.get(), noWrites.get());

    glCallCounters().reset();
    g->clearBuffers(CLEAR, true, false);
    EXPECT_EQ(2, glCallCounters()[GLCallCounters::DepthMask]);
    GLboolean mask = GL_TRUE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
    EXPECT_FALSE(mask) << "depth writes are off again after the clear";
    // The depth buffer really was cleared: the far quad now passes the test.
    draw(farQuad.get(), ib.get(), noWrites.get());
    EXPECT_TRUE(near(pixel(32, 32), rgba(GREEN)));

    // With writes on, the clear touches no mask; colour-only clears never do.
    draw(farQuad.get(), ib.get(), writes.get());
    glCallCounters().reset();
    g->clearBuffers(CLEAR, true, true);
    g->clearBuffers(RED, false, true);
    EXPECT_EQ(0, glCallCounters()[GLCallCounters::DepthMask]);
    EXPECT_EQ(1, glCallCounters()[GLCallCounters::ClearColor]) << "the clear colour is cached";
}

TEST_F(FlatTest, UniformsAreSentOnceAndProgramSwitchesKeepTextureBindings) {
    core::Ref<ShaderProgram> p(program(testsupport::flatVertexShader(), testsupport::flatFragmentShader()));
    int location = p->getLocation(ShaderProgram::VERTEX_COLOR);
    glCallCounters().reset();
    p->setUniform(location, slm::vec4(0.0f, 0.0f, 0.0f, 0.0f)); // equal to GL's initial value, still sent
    p->setUniform(location, slm::vec4(0.0f, 0.0f, 0.0f, 0.0f));
    EXPECT_EQ(1, glCallCounters()[GLCallCounters::Uniform]);
    p->setUniform(location, slm::vec4(1.0f, 0.0f, 0.0f, 1.0f));
    EXPECT_EQ(2, glCallCounters()[GLCallCounters::Uniform]);
    // The program was not in use: it was made current once, through the cache.
    EXPECT_EQ(1, glCallCounters()[GLCallCounters::UseProgram]);
    // Identity is a matrix GL has never received at a new location.
    p->setUniform(p->getLocation(ShaderProgram::MODEL_VIEW_PROJECTION), slm::mat4());
    p->setUniform(-1, 1.0f);
    EXPECT_EQ(3, glCallCounters()[GLCallCounters::Uniform]);

    // Texture bindings belong to the units: switching between two programs
    // that sample the same texture binds it once.
    core::Ref<VertexBuffer> vb(quad(-0.5f, -0.5f, 0.5f, 0.5f, 0.0f, RED));
    core::Ref<Image2D> image(testsupport::argbImage(1, 1, [](int, int) { return 0xFFFFFFFFu; }));
    core::Ref<Texture2D> t(texture(image.get()));
    core::Ref<Appearance> a(M3D_NEW Appearance()), b(M3D_NEW Appearance());
    a->setTexture(0, t.get());
    b->setTexture(0, t.get());
    b->setShaderProgram(p.get());
    draw(vb.get(), ib.get(), a.get());
    for (Appearance* next : {b.get(), a.get()}) {
        glCallCounters().reset();
        draw(vb.get(), ib.get(), next);
        EXPECT_EQ(1, glCallCounters()[GLCallCounters::UseProgram]);
        EXPECT_EQ(0, glCallCounters()[GLCallCounters::BindTexture]);
    }
}

TEST_F(FlatTest, DeletedNamesAndAnOldContextAreForgottenByTheCaches) {
    {
        core::Ref<VertexBuffer> first(quad(-1, -1, 1, 1, 0, RED));
        drawFlat(first.get());
    }
    // GL hands the freed buffer name to the next buffer: its attribute
    // pointer must be set again, not assumed from the cache.
    core::Ref<VertexBuffer> second(quad(-0.5f, -0.5f, 0.5f, 0.5f, 0, GREEN));
    g->clearBuffers(CLEAR, true, true);
    glCallCounters().reset();
    drawFlat(second.get());
    EXPECT_EQ(1, glCallCounters()[GLCallCounters::AttribPointer]);
    expectPixels({{32, 32, GREEN}, {4, 4, CLEAR}});

    // The program in use stays alive while the renderer uses it; once it is
    // replaced and deleted, a new program that gets its name is still made current.
    unsigned name = flat->getShaderProgram()->getGLName();
    flat.release();
    EXPECT_EQ(name, g->getProgramInUse());
    core::Ref<Appearance> b(flatAppearance());
    draw(second.get(), ib.get(), b.get());
    core::Ref<Appearance> c(flatAppearance());
    second->setDefaultColor(RED);
    glCallCounters().reset();
    draw(second.get(), ib.get(), c.get());
    EXPECT_EQ(1, glCallCounters()[GLCallCounters::UseProgram]);
    EXPECT_TRUE(near(pixel(32, 32), rgba(RED)));

    core::Ref<VertexBuffer> vb(quad(-1, -1, 1, 1, 0, RED));
    g->clearBuffers(CLEAR, true, true);
    g->resetDevice(true);
    // Everything GL-side is rebuilt on the new context (programs by their
    // owner, as the application does on a device reset); the caches start over.
    g->resetGraphics3D(1);
    g->bindTarget(nullptr);
    core::Ref<Appearance> a(flatAppearance());
    glCallCounters().reset();
    g->clearBuffers(CLEAR, true, true);
    EXPECT_EQ(1, glCallCounters()[GLCallCounters::ClearColor]) << "the clear colour cache was forgotten";
    draw(vb.get(), ib.get(), a.get());
    EXPECT_TRUE(near(pixel(32, 32), rgba(RED)));
    EXPECT_EQ(0u, (unsigned)glGetError()) << "no GL object of the old context was used in the new one";
}

} // namespace
