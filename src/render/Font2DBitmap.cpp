// render::Font2DBitmap: the glyph table and the built-in ROM font. Builds on
// core::HashTable, the loader (for the embedded PNG) and RomFontImage.
#include "render/Font2DBitmap.h"
#include "core/MemoryStream.h"
#include "render/Batcher.h"
#include "render/Graphics3D.h"
#include "render/Loader.h"
#include "render/Text3D.h"
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
    // The copy draws from a texture of its own (made by the same renderer
    // from a copy of the texture's image); a texture whose renderer is gone
    // cannot be copied and leaves the copy without one.
    if (o.m_texture) m_texture = static_cast<Texture2D*>(o.m_texture->duplicate());
    m_textureShowsImage = o.m_textureShowsImage && m_texture;
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

Font2DBitmap* Font2DBitmap::createROMFont(Graphics3D* g) {
    Font2DBitmap* font = createROMFont();
    if (g && font->m_image) try {
        Image2D* image = font->m_image.get();
        core::Ref<Texture2D> texture(g->createNewTexture(Texture2D::KIND_RENDER_TARGET, Image2D::RGBA, -1, -1));
        // The ROM font keeps its pixels: the device-reset path re-uploads them.
        texture->setFiltering(Texture2D::FILTER_BASE_LEVEL, Texture2D::FILTER_NEAREST);
        texture->setWrapping(Texture2D::WRAP_CLAMP, Texture2D::WRAP_CLAMP);
        texture->setImage(image);
        font->m_texture = texture;
        font->m_textureShowsImage = true;
    } catch (...) {
        delete font;
        throw;
    }
    return font;
}

int Font2DBitmap::renderNodeToBatcher(Batcher* batcher, Text3D* text, const slm::mat4& transform) {
    const core::String& s = text->getText();
    int n = s.length();
    if (!batcher || n == 0) return 0;
    const char* chars = s.c_str();
    float sx = text->getLayoutScaleX(), sy = text->getLayoutScaleY();
    // The block's size for the alignment, and the quad count, in one pass.
    float width, height;
    int quads = measure(s, sx, sy, width, height);
    if (quads == 0 || !batcher->beginQuads(quads)) return 0;
    float dx = 0.0f, dy = 0.0f;
    if (text->getHorizontalAlignment() == Text3D::ALIGN_CENTER) dx = -width * 0.5f;
    if (text->getHorizontalAlignment() == Text3D::ALIGN_RIGHT) dx = -width;
    if (text->getVerticalAlignment() == Text3D::ALIGN_CENTER) dy = height * 0.5f;
    if (text->getVerticalAlignment() == Text3D::ALIGN_BOTTOM) dy = height;
    float lineStep = (float)m_lineHeight * sy;
    float v = m_aspect; // texel rows in units of the u texel size
    batcher->setTexture(m_texture.get());
    batcher->setTexCoordScale(m_texelU);
    // Blank glyphs (spaces) are known only for the font image's own texture
    // sampled texel by texel; the batcher decides at drawing time whether
    // their quads can be left out.
    Texture2D* t = m_texture.get();
    bool knowBlanks = m_textureShowsImage && t && t->getFormat() == Image2D::RGBA &&
                      t->getImageFilter() == Texture2D::FILTER_NEAREST &&
                      t->getLevelFilter() == Texture2D::FILTER_BASE_LEVEL;
    float penX = 0.0f, top = 0.0f;
    unsigned color = text->getColor();
    const float* m = transform.m;
    bool affine = m[3] == 0.0f && m[7] == 0.0f && m[15] == 1.0f;
    for (int i = 0; i < n; ++i) {
        unsigned char c = (unsigned char)chars[i];
        if (c == 10) {
            penX = 0.0f;
            top -= lineStep;
            continue;
        }
        int glyph = findGlyph(c);
        if (glyph < 0) continue;
        int gx = m_rects[glyph * 3], gy = m_rects[glyph * 3 + 1], gw = m_rects[glyph * 3 + 2], lh = m_lineHeight;
        float x0 = penX + dx, x1 = penX + dx + (float)gw * sx;
        float y1 = top + dy, y0 = top + dy - (float)lh * sy;
        const float local[4][2] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
        float corners[4][3];
        for (int k = 0; k < 4; ++k) {
            if (affine) {
                // w = 1: the same sums as the full product below, without the z and w terms.
                corners[k][0] = m[0] * local[k][0] + m[4] * local[k][1] + m[12];
                corners[k][1] = m[1] * local[k][0] + m[5] * local[k][1] + m[13];
                corners[k][2] = m[2] * local[k][0] + m[6] * local[k][1] + m[14];
                continue;
            }
            slm::vec4 p = transform * slm::vec4(local[k][0], local[k][1], 0.0f, 1.0f);
            float inv = p.w != 0.0f ? 1.0f / p.w : 1.0f;
            corners[k][0] = p.x * inv;
            corners[k][1] = p.y * inv;
            corners[k][2] = p.z * inv;
        }
        short u0 = (short)gx, u1 = (short)(gx + gw);
        short v0 = (short)((float)(gy + lh) * v + 0.5f), v1 = (short)((float)gy * v + 0.5f);
        const short uv[4][2] = {{u0, v0}, {u1, v0}, {u1, v1}, {u0, v1}};
        batcher->addQuad(corners, uv, color, knowBlanks && isGlyphBlank(glyph));
        penX += (float)gw * sx;
    }
    return quads;
}

int Font2DBitmap::measure(const core::String& text, float sx, float sy, float& width, float& height) const {
    const char* chars = text.c_str();
    int n = text.length();
    int glyphs = 0, lines = 1;
    float line = 0.0f;
    width = 0.0f;
    for (int i = 0; i < n; ++i) {
        unsigned char c = (unsigned char)chars[i];
        if (c == 10) {
            ++lines;
            line = 0.0f;
            continue;
        }
        int glyph = findGlyph(c);
        if (glyph < 0) continue;
        ++glyphs;
        line += (float)m_rects[glyph * 3 + 2] * sx;
        if (line > width) width = line;
    }
    height = (float)lines * (float)m_lineHeight * sy;
    return glyphs;
}

void Font2DBitmap::setImage(Image2D* image) {
    if (image != m_image.get()) m_textureShowsImage = false;
    m_image = image;
    m_blankGlyphsValid = false;
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
    m_byteGlyphsValid = false;
    m_blankGlyphsValid = false;
}

void Font2DBitmap::fillByteGlyphs() const {
    for (int c = 0; c < 256; ++c) {
        short glyph;
        m_byteGlyphs[c] = m_glyphIndex.get((unsigned short)c, glyph) ? glyph : (short)-1;
    }
    m_byteGlyphsValid = true;
}

void Font2DBitmap::findBlankGlyphs() const {
    int count = getGlyphCount();
    m_blankGlyphs.resize(count);
    Image2D* image = m_image.get();
    const unsigned char* pixels = image && !image->isPalettised() && image->getFormat() == Image2D::RGBA
                                      ? image->getLoadedPixels()
                                      : nullptr;
    int width = image ? image->getWidth() : 0, height = image ? image->getHeight() : 0;
    for (int glyph = 0; glyph < count; ++glyph) {
        int x = m_rects[glyph * 3], y = m_rects[glyph * 3 + 1], w = m_rects[glyph * 3 + 2];
        bool blank = pixels && x >= 0 && y >= 0 && w >= 0 && x + w <= width && y + m_lineHeight <= height;
        for (int row = y; blank && row < y + m_lineHeight; ++row) {
            const unsigned char* p = pixels + ((size_t)row * (size_t)width + (size_t)x) * 4;
            for (int k = 0; k < w; ++k)
                if (p[k * 4 + 3] != 0) {
                    blank = false;
                    break;
                }
        }
        m_blankGlyphs[glyph] = blank ? 1 : 0;
    }
    m_blankGlyphsValid = true;
}

bool Font2DBitmap::isGlyphBlank(int glyph) const {
    if (glyph < 0 || glyph >= getGlyphCount()) return false;
    if (!m_blankGlyphsValid) findBlankGlyphs();
    return m_blankGlyphs[glyph] != 0;
}

bool Font2DBitmap::getGlyph(unsigned short c, int& x, int& y, int& width, int& lineHeight) const {
    int glyph = findGlyph(c);
    if (glyph < 0) return false;
    x = m_rects[glyph * 3];
    y = m_rects[glyph * 3 + 1];
    width = m_rects[glyph * 3 + 2];
    lineHeight = m_lineHeight;
    return true;
}

Object3D* Font2DBitmap::duplicate() const { return M3D_NEW Font2DBitmap(*this); }

} // namespace render
