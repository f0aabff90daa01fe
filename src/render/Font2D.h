// render::Font2D: a font as the text classes see it, a map from character
// codes (ISO 8859-1 / UTF-16 units) to glyph rectangles in a font image.
#pragma once
#include "render/Object3D.h"

namespace render {

class Font2D : public Object3D {
public:
    virtual ~Font2D() {}

    // Sets the rectangle of character `c` (pixels in the font image), adding
    // the glyph when the font has none for it; a taller glyph raises the line height.
    virtual void setGlyph(unsigned short c, int x, int y, int width, int height) = 0;
    // The rectangle of `c` and the font's line height; false (outputs
    // untouched) when the font has no glyph for it.
    virtual bool getGlyph(unsigned short c, int& x, int& y, int& width, int& lineHeight) const = 0;

protected:
    Font2D() {}
    Font2D(const Font2D& o) : Object3D(o) {}
};

} // namespace render
