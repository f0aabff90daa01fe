// render::OGLES_Graphics3D: the fixed-function-era layer of the renderer:
// capability defaults and the per-draw operations every GL back end
// implements (attribute binding, matrices, appearance state). Abstract; the
// programmable back end OGLES2_Graphics3D is the one in use.
#pragma once
#include "render/Graphics3D.h"

namespace render {

class Material;
class VertexArray;

class OGLES_Graphics3D : public Graphics3D {
public:
    virtual ~OGLES_Graphics3D();
    virtual void configClass();

    virtual void bindVBO(const VBOHandle& handle, bool bind) = 0;
    virtual void setPositions(VertexArray* array, int offset) = 0;
    virtual void setColors(VertexArray* array, unsigned defaultColor, int offset) = 0;
    virtual void setNormals(VertexArray* array, int offset) = 0;
    virtual void setTexCoords(int unit, VertexArray* array, int offset) = 0;
    virtual void drawIndexed(IndexBuffer* ib) = 0;
    virtual void uploadMatrices() = 0;
    virtual void resetDrawState() = 0;
    virtual int glTypeForComponentSize(int bytes) = 0;
    virtual void setMaterial(Material* material) = 0;
    virtual void setAlphaThreshold(float threshold) = 0;
    virtual void setShading(int mode) = 0;
    virtual void setCulling(int mode) = 0;
    virtual void setTwoSidedLighting(bool on) = 0;
    virtual void setPerspectiveCorrection(bool on) = 0;
    virtual void setWinding(int mode) = 0;
    virtual void setLineWidth(float width) = 0;
    virtual void setBlending(int mode) = 0;
    virtual void setColorMaskAndOffset(float factor, float units, bool colorWrite, bool alphaWrite) = 0;
    virtual void setDepth(bool write, bool test, int func) = 0;
    virtual void setStencil(bool enable, int func, int ref, unsigned mask, int sfail, int zfail, int zpass) = 0;
    // Binds GL texture `name` (0 = none) on `unit`.
    virtual void bindTexture(int unit, unsigned name) = 0;
    virtual void setVertexColor(unsigned argb) = 0;

protected:
    explicit OGLES_Graphics3D(int type);
    // Writes the capability defaults, queries the real ones, applies the GL
    // defaults and the viewport. Without a display only the defaults are written.
    virtual void setGraphics3DDefaults();
};

} // namespace render
