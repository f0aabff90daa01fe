#include "render/Text3D.h"
#include "render/Batcher.h"
#include "render/Font2DBitmap.h"
#include "render/Graphics3D.h"

namespace render {

Text3D::Text3D()
    : m_mode(MODE_TEXT_UNITS), m_scaleX(1.0f), m_scaleY(1.0f), m_layoutScaleX(1.0f), m_layoutScaleY(1.0f), m_color(0xFFFFFFFFu), m_hAlign(ALIGN_LEFT), m_vAlign(ALIGN_BOTTOM),
      m_dirty(true) {}

Text3D::Text3D(const core::String& text, Font2DBitmap* font) : Text3D() {
    m_text = text;
    m_font = font;
}

Text3D::Text3D(const Text3D& o)
    : Node(o), m_text(o.m_text), m_font(o.m_font), m_batch(o.m_batch), m_mode(o.m_mode), m_scaleX(o.m_scaleX),
      m_scaleY(o.m_scaleY), m_layoutScaleX(o.m_layoutScaleX), m_layoutScaleY(o.m_layoutScaleY), m_color(o.m_color), m_hAlign(o.m_hAlign), m_vAlign(o.m_vAlign), m_dirty(true) {}

Text3D::~Text3D() {}

Object3D* Text3D::duplicate() const { return M3D_NEW Text3D(*this); }

void Text3D::setFont(Font2DBitmap* font) {
    m_font = font;
    m_dirty = true;
}

void Text3D::setBatcher(Batcher* batcher) { m_batch = batcher; }

void Text3D::measure(float& width, float& height) const { measureAt(m_layoutScaleX, m_layoutScaleY, width, height); }

void Text3D::computeLayoutScale(int viewportWidth, float& sx, float& sy) const {
    sx = m_scaleX;
    sy = m_scaleY;
    if ((m_mode != MODE_GLYPH_WIDTH && m_mode != MODE_BLOCK_WIDTH) || !m_font || viewportWidth <= 0) return;
    float reference = 0.0f;
    if (m_mode == MODE_GLYPH_WIDTH) {
        reference = (float)m_font->getLineHeight();
    } else {
        float h;
        measureAt(1.0f, 1.0f, reference, h);
    }
    if (reference <= 0.0f) return;
    float perUnit = (float)viewportWidth / reference;
    sx = m_scaleX * perUnit;
    sy = m_scaleY * perUnit;
}

void Text3D::measureAt(float sx, float sy, float& width, float& height) const {
    width = height = 0.0f;
    if (m_font) m_font->measure(m_text, sx, sy, width, height);
}

void Text3D::render(Graphics3D& g, const slm::mat4& transform, int) {
    if (!m_font || !isRenderingEnabled()) return;
    Batcher* batcher = m_batch ? m_batch.get() : g.getTextBatcher();
    if (!batcher) return;
    int viewport[4];
    g.getViewport(viewport);
    updateLayoutScale(viewport[2]);
    m_font->renderNodeToBatcher(batcher, this, transform);
    m_dirty = false;
}

void Text3D::appendReferences(core::Vector<Object3D*>& out) const {
    if (m_font) out.append(m_font.get());
}

} // namespace render
