// render::VertexBuffer: the vertex arrays of one mesh (positions with their
// scale and bias, normals, colours, texture coordinates per unit with scale
// and bias, named custom attributes) and the one GL buffer they are packed
// into, one region after another. The buffer is packed by the first draw
// (the drawing Graphics3D becomes its owner). A static buffer then drops its
// CPU copy; a dynamic one keeps it, reserves spare vertex capacity, and
// re-uploads only the regions whose arrays changed. Replacing an array makes
// the next draw re-create the GL buffer.
#pragma once
#include "render/VBOHandle.h"
#include "render/VertexArray.h"

namespace render {

class Graphics3D;

class VertexBuffer : public Object3D {
public:
    enum { STATIC = 0, DYNAMIC = 1 };

    // Where one array lives inside the packed buffer.
    struct Region {
        int offset = 0;    // bytes from the buffer start
        int size = 0;      // bytes in use
        int version = -1;  // the array's modification counter when packed
        int reserved = 0;  // bytes kept for the region (capacity × vertex size)
    };

    class TexCoordContainer : public core::Object {
    public:
        core::Ref<VertexArray> array;
        float scale = 1.0f;
        float bias[3] = {0.0f, 0.0f, 0.0f};
        Region region;
    };

    class AttributeStorage : public core::Object {
    public:
        core::String name; // the GLSL attribute it feeds
        core::Ref<VertexArray> array;
        Region region;
    };

    explicit VertexBuffer(int mode = STATIC);
    virtual ~VertexBuffer();
    virtual Object3D* duplicate() const;

    // Byte positions are converted to shorts first; a null bias is (0, 0, 0).
    void setPositions(VertexArray* array, float scale, const float* bias);
    void setNormals(VertexArray* array);
    void setColors(VertexArray* array);
    // Grows the unit list to unit + 1 when needed; negative units are ignored.
    void setTexCoords(int unit, VertexArray* array, float scale, const float* bias);
    void addAttribute(const core::String& name, VertexArray* array);
    void setDefaultColor(unsigned argb) { m_defaultColor = argb; }
    // Changes how the positions are decoded without touching the array (the
    // packed buffer stays as it is).
    void setPositionScaleBias(float scale, const float* bias);
    // STATIC or DYNAMIC; a change lays the GL buffer out again on the next draw.
    void setBufferMode(int mode);

    VertexArray* getPositions() const { return m_positions.get(); }
    VertexArray* getNormals() const { return m_normals.get(); }
    VertexArray* getColors() const { return m_colors.get(); }
    float getPositionScale() const { return m_positionScale; }
    const float* getPositionBias() const { return m_positionBias; }
    int getTexCoordUnitCount() const { return m_texCoords.size(); }
    TexCoordContainer* getTexCoords(int unit) const;
    int getAttributeCount() const { return m_attributes.size(); }
    AttributeStorage* getAttribute(int i) const { return m_attributes[i].get(); }
    unsigned getDefaultColor() const { return m_defaultColor; }
    int getBufferMode() const { return m_mode; }

    // The vertex count of the first array among positions, normals, colours
    // and texture coordinates; 0 when there is none.
    int getVertexCount() const;

    // Packs the arrays into the GL buffer (see the class comment).
    void prepare(Graphics3D& g);
    const VBOHandle& getVBO() const { return m_vbo; }
    const Region& getPositionRegion() const { return m_positionRegion; }
    const Region& getNormalRegion() const { return m_normalRegion; }
    const Region& getColorRegion() const { return m_colorRegion; }
    int getCapacity() const { return m_capacity; }
    bool hasPackedCopy() const { return m_packed.size() > 0; }
    void freePackedCopy();

    // Device reset: drops the GL buffer (deleting it when `deleteGL`) and
    // leaves the registry; the next draw packs again.
    void releaseVBO(bool deleteGL);
    // The owning Graphics3D is going away: forget it and the buffer name.
    void detachGraphics();

protected:
    virtual void appendReferences(core::Vector<Object3D*>& out) const;

private:
    VertexBuffer(const VertexBuffer& other);
    void layout();
    bool packRegion(VertexArray* array, Region& region, bool force);
    void structureChanged() { m_structureChanged = true; }

    core::Ref<VertexArray> m_positions;
    core::Ref<VertexArray> m_normals;
    core::Ref<VertexArray> m_colors;
    core::Vector<core::Ref<TexCoordContainer>> m_texCoords;
    core::Vector<core::Ref<AttributeStorage>> m_attributes;
    unsigned m_defaultColor;
    float m_positionScale;
    float m_positionBias[3];
    Region m_positionRegion, m_normalRegion, m_colorRegion;
    core::Vector<char> m_packed;
    VBOHandle m_vbo;
    Graphics3D* m_owner;
    int m_capacity;
    int m_mode;
    bool m_contentChanged;
    bool m_structureChanged;
};

} // namespace render
