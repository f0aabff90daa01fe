// render::Font2DBitmap: a bitmap font, glyph rectangles in one font image.
//
// The built-in ROM font (createROMFont) is an 80 x 80 RGBA image of 8 x 8
// cells, ten to a row in the order of ROM_FONT_GLYPH_ORDER, decoded from the
// PNG embedded in the program through the loader.
#pragma once
#include "core/HashTable.h"
#include "core/Ref.h"
#include "core/Vector.h"
#include "render/Font2D.h"
#include "render/Image2D.h"
#include "render/Texture2D.h"
#include "slm/mat4.h"

namespace render {

class Batcher;
class Graphics3D;
class Text3D;

class Font2DBitmap : public Font2D {
public:
    Font2DBitmap();
    virtual ~Font2DBitmap() {}

    // The built-in ROM font; the caller takes the first reference. A damaged
    // embedded image would throw the loader's core::IOException.
    static Font2DBitmap* createROMFont();
    // The ROM font with its texture (kind 1, RGBA) made by `g`.
    static Font2DBitmap* createROMFont(Graphics3D* g);

    // Adds the quads of `text` with `transform` applied to `batcher` (whose
    // texture becomes the font's); characters without a glyph are skipped.
    // Returns the number of quads added.
    int renderNodeToBatcher(Batcher* batcher, Text3D* text, const slm::mat4& transform);
    Texture2D* getTexture() const { return m_texture.get(); }
    // A texture set here is not known to show the font image: every glyph
    // quad is then drawn, blank or not.
    void setTexture(Texture2D* texture) {
        m_texture = texture;
        m_textureShowsImage = false;
    }

    // Lays `count` glyphs of `order` out in cell x cell squares, left to right
    // in rows as wide as the image, starting at (0, 0), and maps each
    // character to its glyph. Glyphs already in the font keep their numbers
    // and get the new rectangle.
    void buildGlyphTable(const unsigned char* order, int count, int cell);

    void setGlyph(unsigned short c, int x, int y, int width, int height) override;
    bool getGlyph(unsigned short c, int& x, int& y, int& width, int& lineHeight) const override;
    // The glyph number of `c`, -1 when the font has none.
    int findGlyph(unsigned short c) const {
        if (c < 256) {
            if (!m_byteGlyphsValid) fillByteGlyphs();
            return m_byteGlyphs[c];
        }
        short glyph;
        return m_glyphIndex.get(c, glyph) ? glyph : -1;
    }
    // Lays `text` out at scale (sx, sy) without drawing it: the widest line
    // and the height of all its lines (line feeds start new ones). Returns
    // the number of characters the font has glyphs for.
    int measure(const core::String& text, float sx, float sy, float& width, float& height) const;
    // True when every texel under the glyph's quad (its rectangle, one line
    // height tall) is fully transparent in the font image. Only an RGBA
    // image with its pixels in memory can tell; anything else says false.
    // The answer is kept until the glyphs or the image change: code that
    // changes the image's pixels in place calls setImage again.
    bool isGlyphBlank(int glyph) const;

    // The font image (null until one is set); its size sets the texel scale.
    void setImage(Image2D* image);
    Image2D* getImage() const { return m_image.get(); }
    int getGlyphCount() const { return m_rects.size() / 3; }
    int getLineHeight() const { return m_lineHeight; }
    // 1 / image width, and image width / image height (1.0 without an image).
    float getTexelU() const { return m_texelU; }
    float getAspect() const { return m_aspect; }

    // A copy with its own glyph table and its own texture (a duplicate of
    // this font's); the font image is shared (images are not changed
    // through a font).
    Object3D* duplicate() const override;

private:
    Font2DBitmap(const Font2DBitmap& o);
    Font2DBitmap& operator=(const Font2DBitmap&);
    void fillByteGlyphs() const;
    void findBlankGlyphs() const;

    core::HashTable<unsigned short, short> m_glyphIndex;
    core::Vector<short> m_rects;          // x, y, width per glyph
    core::Vector<unsigned short> m_codes; // the character of each glyph
    core::Ref<Image2D> m_image;
    core::Ref<Texture2D> m_texture;
    float m_texelU;
    float m_aspect;
    short m_lineHeight;
    // Glyph numbers of the character codes below 256 (-1: none), filled on
    // the first look-up after a change; other codes use m_glyphIndex.
    mutable short m_byteGlyphs[256];
    mutable bool m_byteGlyphsValid = false;
    // One flag per glyph (1: blank), worked out on the first question after
    // a change of glyphs or image.
    mutable core::Vector<unsigned char> m_blankGlyphs;
    mutable bool m_blankGlyphsValid = false;
    // The texture was made from the font image (createROMFont, duplicate).
    bool m_textureShowsImage = false;
};

} // namespace render
