// render::OGLES2_Texture2D: a Texture2D as a GL texture object of the
// OGLES2_Graphics3D that created it. A render-target texture (kind 1) also
// owns a framebuffer object and a depth renderbuffer, made on first use.
#pragma once
#include "render/Texture2D.h"

namespace render {

class OGLES2_Graphics3D;

class OGLES2_Texture2D : public Texture2D {
public:
    OGLES2_Texture2D(OGLES2_Graphics3D* owner, int kind, int format);
    virtual ~OGLES2_Texture2D();
    virtual Object3D* duplicate() const;

    virtual void updateRegion(Image2D* image, int x, int y);
    virtual unsigned getGLName() const { return m_name; }
    virtual void applyWrapping();
    virtual void applyFiltering();
    virtual void uploadImage(Image2D* image);
    virtual void bindAsRenderTarget();
    virtual void releaseGL(bool deleteGL);
    virtual void restore();

    void generateMipmaps();
    void bind();
    // A GL texture of `width` x `height` (padded to powers of two) with no pixels.
    void allocate(int width, int height);
    // The GL format of an image format code; throws Morva3DException for others.
    static unsigned glFormat(int format);

private:
    void createGLTexture(const unsigned char* pixels, int width, int height);

    OGLES2_Graphics3D* g3d() const;
    unsigned m_name;
};

} // namespace render
