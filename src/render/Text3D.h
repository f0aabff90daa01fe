// render::Text3D: a scene node holding a string that its font turns into
// textured quads in a batcher. Layout: characters left to right, a line feed
// starts the next line one line height lower; glyph size = glyph pixels x
// the text scale. The block's local space is y-up with its top-left corner at
// the origin before alignment.
//
// Size modes: 2 (the default) lays glyphs out at their pixel size x the
// text scale. Modes 0 and 1 follow the viewport's width (in pixels, which
// are the text units of screen-mode text): in mode 0 a glyph one line height
// wide spans scale x viewport width (the scale is a fraction of the width
// per glyph), in mode 1 the block's widest line spans scale x viewport width
// (scale y stretches the glyph height the same way). The layout scale is
// worked out again each time the text is rendered.
//
// Alignment: horizontal 0 left (origin at the left edge), 1 centred, 2 right
// edge at the origin; vertical 8 bottom line at the origin (the block sits
// on it), 1 centred, anything else top at the origin.
#pragma once
#include "core/String.h"
#include "render/Node.h"

namespace render {

class Batcher;
class Font2DBitmap;

class Text3D : public Node {
public:
    enum { ALIGN_LEFT = 0, ALIGN_CENTER = 1, ALIGN_RIGHT = 2, ALIGN_BOTTOM = 8 };
    enum { MODE_GLYPH_WIDTH = 0, MODE_BLOCK_WIDTH = 1, MODE_TEXT_UNITS = 2 };

    Text3D();
    Text3D(const core::String& text, Font2DBitmap* font);
    virtual ~Text3D();
    virtual Object3D* duplicate() const;

    void setText(const core::String& text) {
        m_text = text;
        m_dirty = true;
    }
    const core::String& getText() const { return m_text; }
    void setFont(Font2DBitmap* font);
    Font2DBitmap* getFont() const { return m_font.get(); }
    // The batcher it draws into; null = the renderer's text batcher.
    void setBatcher(Batcher* batcher);
    Batcher* getBatcher() const { return m_batch.get(); }
    void setColor(unsigned argb) { m_color = argb; }
    unsigned getColor() const { return m_color; }
    void setTextScale(float x, float y) {
        m_scaleX = m_layoutScaleX = x;
        m_scaleY = m_layoutScaleY = y;
    }
    float getTextScaleX() const { return m_scaleX; }
    float getTextScaleY() const { return m_scaleY; }
    void setAlignment(int horizontal, int vertical) {
        m_hAlign = horizontal;
        m_vAlign = vertical;
    }
    int getHorizontalAlignment() const { return m_hAlign; }
    int getVerticalAlignment() const { return m_vAlign; }
    void setMode(int mode) {
        m_mode = mode;
        m_dirty = true;
    }
    int getMode() const { return m_mode; }
    bool isDirty() const { return m_dirty; }

    // Measured block size in text units (widest line, lines x line height)
    // at the scale of the last layout.
    void measure(float& width, float& height) const;
    // The same with glyphs scaled by (sx, sy).
    void measureAt(float sx, float sy, float& width, float& height) const;
    // The scale the mode gives for a viewport `viewportWidth` pixels wide.
    void computeLayoutScale(int viewportWidth, float& sx, float& sy) const;
    // Takes the mode's scale for that viewport as the layout scale.
    void updateLayoutScale(int viewportWidth) { computeLayoutScale(viewportWidth, m_layoutScaleX, m_layoutScaleY); }
    // The scale glyphs were last laid out with (the text scale in mode 2).
    float getLayoutScaleX() const { return m_layoutScaleX; }
    float getLayoutScaleY() const { return m_layoutScaleY; }

    // Adds the text's quads (with `transform` applied) to its batcher.
    virtual void render(Graphics3D& g, const slm::mat4& transform, int flags);

protected:
    virtual void appendReferences(core::Vector<Object3D*>& out) const;

private:
    Text3D(const Text3D& o);
    friend class Font2DBitmap;

    core::String m_text;
    core::Ref<Font2DBitmap> m_font;
    core::Ref<Batcher> m_batch;
    int m_mode;
    float m_scaleX, m_scaleY;
    float m_layoutScaleX, m_layoutScaleY;
    unsigned m_color;
    int m_hAlign, m_vAlign;
    bool m_dirty;
};

} // namespace render
