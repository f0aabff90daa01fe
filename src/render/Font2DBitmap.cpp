// render::Font2DBitmap: the glyph table and the built-in ROM font. Builds on
// core::HashTable, the loader (for the embedded PNG) and RomFontImage.
#include "render/Font2DBitmap.h"
#include "core/MemoryStream.h"
#include "render/Loader.h"
#include "render/RomFontImage.h"

namespace render {

namespace {
const int ROM_CELL = 8;
}

Font2DBitmap::Font2DBitmap()
    : m_glyphIndex(ROM_FONT_GLYPH_COUNT, 0.9f), m_texelU(1.0f), m_aspect(1.0f), m_lineHeight(0) {}

Font2DBitmap::Font2DBitmap(const Font2DBitmap& o)
    : Font2D(o), m_glyphIndex(o.getGlyphCount(), 0.9f), m_rects(o.m_rects), m_codes(o.m_codes),
      m_image(o.m_image), m_texelU(o.m_texelU), m_aspect(o.m_aspect), m_lineHeight(o.m_lineHeight) {
    for (int glyph = 0; glyph < m_codes.size(); ++glyph) m_glyphIndex.insert(m_codes[glyph], (short)glyph);
}

Font2DBitmap* Font2DBitmap::createROMFont() {
    Font2DBitmap* font = M3D_NEW Font2DBitmap();
    try {
        core::Vector<core::Ref<Object3D>> result;
        core::Ref<core::MemoryStream> stream =
            M3D_NEW core::MemoryStream(ROM_FONT_IMAGE, ROM_FONT_IMAGE_SIZE, true);
        Loader::load(stream.get(), result, nullptr, core::String());
        font->setImage(static_cast<Image2D*>(result[0].get()));
        font->buildGlyphTable(reinterpret_cast<const unsigned char*>(ROM_FONT_GLYPH_ORDER), ROM_FONT_GLYPH_COUNT,
                              ROM_CELL);
    } catch (...) {
        delete font;
        throw;
    }
    return font;
}

void Font2DBitmap::setImage(Image2D* image) {
    m_image = image;
    if (image && image->getWidth() > 0 && image->getHeight() > 0) {
        m_texelU = 1.0f / (float)image->getWidth();
        m_aspect = (float)image->getWidth() / (float)image->getHeight();
    } else {
        m_texelU = m_aspect = 1.0f;
    }
}

void Font2DBitmap::buildGlyphTable(const unsigned char* order, int count, int cell) {
    int width = m_image ? m_image->getWidth() : count * cell;
    int x = 0, y = 0;
    for (int k = 0; k < count; ++k) {
        if (x + cell > width) {
            x = 0;
            y += cell;
        }
        setGlyph(order[k], x, y, cell, cell);
        x += cell;
    }
}

void Font2DBitmap::setGlyph(unsigned short c, int x, int y, int width, int height) {
    short glyph;
    if (!m_glyphIndex.get(c, glyph)) {
        glyph = (short)getGlyphCount();
        m_rects.resize(m_rects.size() + 3);
        m_codes.append(c);
        m_glyphIndex.insert(c, glyph);
    }
    m_rects[glyph * 3] = (short)x;
    m_rects[glyph * 3 + 1] = (short)y;
    m_rects[glyph * 3 + 2] = (short)width;
    if (height > m_lineHeight) m_lineHeight = (short)height;
}

bool Font2DBitmap::getGlyph(unsigned short c, int& x, int& y, int& width, int& lineHeight) const {
    short glyph;
    if (!m_glyphIndex.get(c, glyph)) return false;
    x = m_rects[glyph * 3];
    y = m_rects[glyph * 3 + 1];
    width = m_rects[glyph * 3 + 2];
    lineHeight = m_lineHeight;
    return true;
}

Object3D* Font2DBitmap::duplicate() const { return M3D_NEW Font2DBitmap(*this); }

} // namespace render
