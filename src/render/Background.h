// render::Background: what a frame is cleared with: a colour, the two clear
// switches and an optional image drawn over the cleared colour.
//
// The image is shown through a crop rectangle in image pixels (x, y from the
// image's top-left corner, any position, non-negative size); the crop fills
// the viewport. Outside the image each axis either shows the clear colour
// (BORDER) or the image again, tiled (REPEAT).
#pragma once
#include "core/Ref.h"
#include "render/Image2D.h"
#include "render/Object3D.h"
#include "render/Texture2D.h"

namespace render {

class Graphics3D;

class Background : public Object3D {
public:
    enum { BORDER = 32, REPEAT = 33 };

    Background();
    virtual ~Background();
    virtual Object3D* duplicate() const;

    unsigned getColor() const { return m_color; }
    void setColor(unsigned argb) { m_color = argb; }
    bool isDepthClearEnabled() const { return m_depthClearEnabled; }
    void setDepthClearEnable(bool on) { m_depthClearEnabled = on; }
    bool isColorClearEnabled() const { return m_colorClearEnabled; }
    void setColorClearEnable(bool on) { m_colorClearEnabled = on; }

    // Sets the image (null = none) and the crop to the whole image. Throws
    // Morva3DException for an image of a format a texture cannot hold.
    void setImage(Image2D* image);
    Image2D* getImage() const { return m_image.get(); }
    // BORDER or REPEAT per axis; other values throw Morva3DException.
    void setImageMode(int modeX, int modeY);
    int getImageModeX() const { return m_modeX; }
    int getImageModeY() const { return m_modeY; }
    // A negative width or height throws Morva3DException.
    void setCrop(int x, int y, int width, int height);
    int getCropX() const { return m_cropX; }
    int getCropY() const { return m_cropY; }
    int getCropWidth() const { return m_cropWidth; }
    int getCropHeight() const { return m_cropHeight; }

    // The texture the image is drawn with, made by `g` on first use (and
    // again after the image changed or `g` was replaced); null without an
    // image. Upload failures throw what the texture throws.
    Texture2D* getImageTexture(Graphics3D& g);

protected:
    virtual void appendReferences(core::Vector<Object3D*>& out) const;

private:
    Background(const Background& o);
    Background& operator=(const Background&);

    core::Ref<Image2D> m_image;
    core::Ref<Texture2D> m_texture;
    unsigned m_color;
    int m_modeX, m_modeY;
    int m_cropX, m_cropY, m_cropWidth, m_cropHeight;
    bool m_depthClearEnabled;
    bool m_colorClearEnabled;
};

} // namespace render
