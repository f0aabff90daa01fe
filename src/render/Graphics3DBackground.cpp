// Graphics3D: the background image, drawn over the cleared frame through the
// 2D polygon, tiled or stretched along each axis by the background's modes.
#include "render/Graphics3D.h"
#include "render/Background.h"
#include "render/Image2D.h"
#include "render/IndexBuffer.h"
#include "render/Mesh.h"
#include "render/Texture2D.h"
#include "render/VertexBuffer.h"
#include <cmath>
#include <cstring>

namespace render {

namespace {
// One stretch of the background along an axis: geometry from g0 to g1 in
// image pixels, texture coordinates t0 to t1 (0..1 = the image).
struct Span {
    float g0, g1, t0, t1;
};

bool isPowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

// The spans of one axis for an image `size` pixels long seen through the crop
// [from, from + length). BORDER shows the image once. REPEAT on a
// power-of-two size is one span whose texture coordinates run past 0..1
// (the texture repeats); other sizes would repeat the texture's padding, so
// they get one span per repetition, at most MAX_TILES. Sets `repeat` when
// the texture must wrap on this axis.
const int MAX_TILES = 128;
int backgroundSpans(int size, int from, int length, int mode, Span* out, bool& repeat) {
    float s = (float)size;
    repeat = false;
    if (mode != Background::REPEAT) {
        out[0] = {0.0f, s, 0.0f, 1.0f};
        return 1;
    }
    double first = std::floor((double)from / size), last = std::ceil(((double)from + length) / size);
    if (isPowerOfTwo(size) || last - first > MAX_TILES) {
        repeat = true;
        out[0] = {(float)from, (float)from + (float)length, (float)from / s, ((float)from + (float)length) / s};
        return 1;
    }
    int n = 0;
    for (double k = first; k < last; ++k) {
        double a = k * size, b = a + size;
        if (a < from) a = from;
        if (b > (double)from + length) b = (double)from + length;
        if (b <= a) continue;
        out[n++] = {(float)a, (float)b, (float)(a / size - k), (float)(b / size - k)};
    }
    return n;
}

// One quad per pair of spans, in image pixels, into the 2D polygon.
void fillBackgroundQuads(VertexBuffer* vb, IndexBuffer* ib, const Span* xs, int nx, const Span* ys, int ny) {
    core::Vector<float> p, t;
    core::Vector<unsigned short> idx;
    p.resize(nx * ny * 12);
    t.resize(nx * ny * 8);
    idx.resize(nx * ny * 6);
    int q = 0;
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i, ++q) {
            const Span& x = xs[i];
            const Span& y = ys[j];
            // Corners counter-clockwise on screen: image y grows downwards.
            const float corner[4][4] = {
                {x.g0, y.g1, x.t0, y.t1}, {x.g1, y.g1, x.t1, y.t1}, {x.g1, y.g0, x.t1, y.t0}, {x.g0, y.g0, x.t0, y.t0}};
            for (int k = 0; k < 4; ++k) {
                p[q * 12 + k * 3] = corner[k][0];
                p[q * 12 + k * 3 + 1] = corner[k][1];
                p[q * 12 + k * 3 + 2] = 0.0f;
                t[q * 8 + k * 2] = corner[k][2];
                t[q * 8 + k * 2 + 1] = corner[k][3];
            }
            static const int order[6] = {0, 1, 2, 0, 2, 3};
            for (int k = 0; k < 6; ++k) idx[q * 6 + k] = (unsigned short)(q * 4 + order[k]);
        }
    vb->getPositions()->set(0, nx * ny * 4, p.data());
    vb->getTexCoords(0)->array->set(0, nx * ny * 4, t.data());
    ib->setIndices(idx.data(), idx.size());
}
} // namespace

Mesh* Graphics3D::create2DPolygonWithDefaultAppearance() {
    core::Ref<VertexBuffer> vb(createNewVertexBuffer(VertexBuffer::DYNAMIC));
    vb->setPositions(M3D_NEW VertexArray(4, 3, 4), 1.0f, nullptr);
    vb->setTexCoords(0, M3D_NEW VertexArray(4, 2, 4), 1.0f, nullptr);
    vb->setDefaultColor(0xFFFFFFFFu);
    static const unsigned short quad[6] = {0, 1, 2, 0, 2, 3};
    core::Ref<IndexBuffer> ib(M3D_NEW IndexBuffer(IndexBuffer::TRIANGLES, quad, 6, IndexBuffer::DYNAMIC));
    core::Ref<Appearance> a(M3D_NEW Appearance());
    PolygonMode* p = M3D_NEW PolygonMode();
    p->setCulling(PolygonMode::CULL_NONE);
    a->setPolygonMode(p);
    CompositingMode* c = M3D_NEW CompositingMode();
    c->setBlending(CompositingMode::ALPHA);
    c->setDepthTestEnable(false);
    c->setDepthWriteEnable(false);
    a->setCompositingMode(c);
    for (int i = 0; i < 8; ++i) m_polygonKey[i] = -1;
    return createMesh(vb.get(), ib.get(), a.get());
}

void Graphics3D::drawBackgroundImage(Background* background) {
    Image2D* image = background->getImage();
    int cw = background->getCropWidth(), ch = background->getCropHeight();
    if (!m_default2DPolygon || !image || cw <= 0 || ch <= 0 || image->getWidth() <= 0 || image->getHeight() <= 0)
        return;
    // An image that cannot be uploaded (a file-backed one whose file went
    // away) throws to the caller of clear.
    Texture2D* texture = background->getImageTexture(*this);
    if (!texture || texture->getGLName() == 0) return;
    int w = image->getWidth(), h = image->getHeight();
    int cx = background->getCropX(), cy = background->getCropY();
    int mx = background->getImageModeX(), my = background->getImageModeY();
    Span xs[MAX_TILES + 1], ys[MAX_TILES + 1];
    bool repeatX, repeatY;
    int nx = backgroundSpans(w, cx, cw, mx, xs, repeatX);
    int ny = backgroundSpans(h, cy, ch, my, ys, repeatY);
    if (nx == 0 || ny == 0) return;
    int wrapS = repeatX ? Texture2D::WRAP_REPEAT : Texture2D::WRAP_CLAMP;
    int wrapT = repeatY ? Texture2D::WRAP_REPEAT : Texture2D::WRAP_CLAMP;
    if (texture->getWrappingS() != wrapS || texture->getWrappingT() != wrapT) texture->setWrapping(wrapS, wrapT);

    VertexBuffer* vb = m_default2DPolygon->getVertexBuffer();
    IndexBuffer* ib = m_default2DPolygon->getIndexBuffer(0);
    // The vertices only change with the image size, the crop or the modes.
    const int key[8] = {w, h, cx, cy, cw, ch, mx, my};
    if (std::memcmp(key, m_polygonKey, sizeof key) != 0) {
        std::memcpy(m_polygonKey, key, sizeof key);
        fillBackgroundQuads(vb, ib, xs, nx, ys, ny);
    }

    // Image pixels to clip space: the crop rectangle fills the viewport, the
    // image's first row at the top.
    slm::mat4 place;
    place.m[0] = 2.0f / (float)cw;
    place.m[5] = -2.0f / (float)ch;
    place.m[12] = -1.0f - 2.0f * (float)cx / (float)cw;
    place.m[13] = 1.0f + 2.0f * (float)cy / (float)ch;

    // Drawn under an identity camera with lighting off; the scene's camera
    // comes back untouched (and is not counted as set again).
    core::Ref<Camera> savedCamera = m_camera;
    slm::mat4 savedTransform = m_cameraTransform, savedView = m_view, savedProjection = m_projection;
    bool lighting = m_lightingEnabled;
    m_cameraTransform = m_view = m_projection = slm::mat4();
    m_lightingEnabled = false;
    Appearance* a = m_default2DPolygon->getAppearance(0);
    a->setTexture(0, texture);
    renderSubmesh(vb, ib, a, place, 0xFFFF);
    a->setTexture(0, nullptr);
    m_lightingEnabled = lighting;
    m_camera = savedCamera;
    m_cameraTransform = savedTransform;
    m_view = savedView;
    m_projection = savedProjection;
}

} // namespace render
