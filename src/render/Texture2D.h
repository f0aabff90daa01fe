// render::Texture2D: an image as a texture layer of an appearance. The
// texture's own transform (Transformable) becomes its texture matrix. GL
// textures are power-of-two sized: an image that is not is uploaded into the
// corner of a padded texture and the texture scale maps 0..1 onto the image.
// Created only through Graphics3D::createNewTexture, which lists every
// texture so a lost device can release and restore them.
#pragma once
#include "core/Ref.h"
#include "render/Image2D.h"
#include "render/Transformable.h"

namespace render {

class Graphics3D;

class Texture2D : public Transformable {
public:
    enum { KIND_TEXTURE = 0, KIND_RENDER_TARGET = 1 };
    enum { FUNC_ADD = 224, FUNC_BLEND = 225, FUNC_DECAL = 226, FUNC_MODULATE = 227, FUNC_REPLACE = 228 };
    enum { WRAP_CLAMP = 240, WRAP_REPEAT = 241 };
    enum { FILTER_BASE_LEVEL = 208, FILTER_LINEAR = 209, FILTER_NEAREST = 210 };

    virtual ~Texture2D() {}

    // Uploads `image` at (x, y) into the GL texture.
    virtual void updateRegion(Image2D* image, int x, int y) = 0;
    virtual unsigned getGLName() const = 0;
    virtual void applyWrapping() {}
    virtual void applyFiltering() {}
    virtual void uploadImage(Image2D* image) = 0;
    virtual void bindAsRenderTarget() {}
    // Forgets the GL texture, deleting it when `deleteGL`.
    virtual void releaseGL(bool deleteGL) = 0;
    // Re-uploads from the image (after a device reset).
    virtual void restore() {}

    // Takes the image's size, pads to powers of two (setting the texture
    // scale when padding was needed) and uploads. Null drops the image when
    // images are released after upload.
    void setImage(Image2D* image);
    Image2D* getImage() const { return m_image.get(); }

    void setWrapping(int s, int t);
    int getWrappingS() const { return m_wrapS; }
    int getWrappingT() const { return m_wrapT; }
    void setFiltering(int levelFilter, int imageFilter);
    int getLevelFilter() const { return m_levelFilter; }
    int getImageFilter() const { return m_imageFilter; }
    void setBlending(int function) { m_blending = function; }
    int getBlending() const { return m_blending; }
    void setBlendColor(unsigned argb) { m_blendColor = argb; }
    unsigned getBlendColor() const { return m_blendColor; }

    int getKind() const { return m_kind; }
    int getFormat() const { return m_format; }
    int getWidth() const { return m_width; }
    int getHeight() const { return m_height; }
    int getAllocatedWidth() const { return m_allocWidth; }
    int getAllocatedHeight() const { return m_allocHeight; }
    Graphics3D* getOwner() const { return m_owner; }
    // The owning Graphics3D is going away.
    void detachGraphics() { m_owner = nullptr; }

    // The smallest power of two (1 .. 2^31) at least `n`; 0 when none is.
    static int nextPowerOfTwo(int n);

protected:
    virtual void appendReferences(core::Vector<Object3D*>& out) const;
    Texture2D(Graphics3D* owner, int kind, int format);
    Texture2D(const Texture2D& o);

    Graphics3D* m_owner;
    core::Ref<Image2D> m_image;
    unsigned m_blendColor;
    int m_width, m_height;
    int m_format;
    int m_allocWidth, m_allocHeight;
    int m_framebuffer, m_depthBuffer;
    int m_blending;
    int m_wrapS, m_wrapT;
    int m_levelFilter, m_imageFilter;
    int m_kind;
};

} // namespace render
