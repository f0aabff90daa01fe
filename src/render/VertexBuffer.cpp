#include "render/VertexBuffer.h"
#include "render/Graphics3D.h"
#include <cstring>

namespace render {

VertexBuffer::VertexBuffer(int mode)
    : m_defaultColor(0xFFFFFFFFu), m_positionScale(1.0f), m_owner(nullptr), m_capacity(-1),
      m_mode(mode == DYNAMIC ? DYNAMIC : STATIC), m_contentChanged(false), m_structureChanged(true) {
    m_positionBias[0] = m_positionBias[1] = m_positionBias[2] = 0.0f;
}

VertexBuffer::VertexBuffer(const VertexBuffer& o)
    : Object3D(o), m_defaultColor(o.m_defaultColor), m_positionScale(1.0f), m_owner(nullptr), m_capacity(-1),
      m_mode(o.m_mode), m_contentChanged(false), m_structureChanged(true) {
    m_positionBias[0] = m_positionBias[1] = m_positionBias[2] = 0.0f;
    if (o.m_positions)
        setPositions(static_cast<VertexArray*>(o.m_positions->duplicate()), o.m_positionScale, o.m_positionBias);
    if (o.m_normals) setNormals(static_cast<VertexArray*>(o.m_normals->duplicate()));
    if (o.m_colors) setColors(static_cast<VertexArray*>(o.m_colors->duplicate()));
    for (int i = 0; i < o.m_texCoords.size(); ++i) {
        TexCoordContainer* t = o.m_texCoords[i].get();
        if (t && t->array) setTexCoords(i, static_cast<VertexArray*>(t->array->duplicate()), t->scale, t->bias);
    }
    for (int i = 0; i < o.m_attributes.size(); ++i) {
        AttributeStorage* a = o.m_attributes[i].get();
        addAttribute(a->name, a->array ? static_cast<VertexArray*>(a->array->duplicate()) : nullptr);
    }
}

VertexBuffer::~VertexBuffer() {
    if (m_owner) m_owner->unregisterVertexBuffer(this, m_vbo, true);
}

Object3D* VertexBuffer::duplicate() const { return M3D_NEW VertexBuffer(*this); }

void VertexBuffer::setPositions(VertexArray* array, float scale, const float* bias) {
    if (array && array->getComponentSize() == 1) array->convertBytesToShorts();
    m_positions = array;
    m_positionScale = scale;
    for (int i = 0; i < 3; ++i) m_positionBias[i] = bias ? bias[i] : 0.0f;
    structureChanged();
}

void VertexBuffer::setPositionScaleBias(float scale, const float* bias) {
    m_positionScale = scale;
    for (int i = 0; i < 3; ++i) m_positionBias[i] = bias ? bias[i] : 0.0f;
}

void VertexBuffer::setBufferMode(int mode) {
    mode = mode == DYNAMIC ? DYNAMIC : STATIC;
    if (mode == m_mode) return;
    m_mode = mode;
    structureChanged();
}

void VertexBuffer::setNormals(VertexArray* array) {
    m_normals = array;
    structureChanged();
}

void VertexBuffer::setColors(VertexArray* array) {
    m_colors = array;
    structureChanged();
}

void VertexBuffer::setTexCoords(int unit, VertexArray* array, float scale, const float* bias) {
    if (unit < 0) return;
    if (unit >= m_texCoords.size()) m_texCoords.resize(unit + 1);
    TexCoordContainer* t = M3D_NEW TexCoordContainer();
    m_texCoords[unit] = t;
    t->array = array;
    t->scale = scale;
    for (int i = 0; i < 3; ++i) t->bias[i] = bias ? bias[i] : 0.0f;
    structureChanged();
}

void VertexBuffer::addAttribute(const core::String& name, VertexArray* array) {
    AttributeStorage* a = M3D_NEW AttributeStorage();
    m_attributes.append(core::Ref<AttributeStorage>(a));
    a->name = name;
    a->array = array;
    structureChanged();
}

VertexBuffer::TexCoordContainer* VertexBuffer::getTexCoords(int unit) const {
    return unit >= 0 && unit < m_texCoords.size() ? m_texCoords[unit].get() : nullptr;
}

int VertexBuffer::getVertexCount() const {
    if (m_positions) return m_positions->getVertexCount();
    if (m_normals) return m_normals->getVertexCount();
    if (m_colors) return m_colors->getVertexCount();
    for (int i = 0; i < m_texCoords.size(); ++i)
        if (m_texCoords[i] && m_texCoords[i]->array) return m_texCoords[i]->array->getVertexCount();
    return 0;
}

// Regions follow one another, each reserving room for `capacity` vertices
// and starting on a 4-byte boundary so float arrays stay aligned.
void VertexBuffer::layout() {
    int offset = 0;
    auto place = [&](VertexArray* a, Region& r) {
        r.offset = offset;
        r.version = -1;
        r.size = 0;
        r.reserved = a ? (m_capacity * a->getComponentCount() * a->getComponentSize() + 3) & ~3 : 0;
        offset += r.reserved;
    };
    place(m_positions.get(), m_positionRegion);
    place(m_normals.get(), m_normalRegion);
    place(m_colors.get(), m_colorRegion);
    for (int i = 0; i < m_texCoords.size(); ++i)
        if (m_texCoords[i]) place(m_texCoords[i]->array.get(), m_texCoords[i]->region);
    for (int i = 0; i < m_attributes.size(); ++i) place(m_attributes[i]->array.get(), m_attributes[i]->region);
    m_packed.resize(offset);
    if (offset > 0) std::memset(m_packed.data(), 0, (size_t)offset);
}

// Copies the array into its region when its version changed (or `force`);
// true when something was copied. An array longer than the capacity is cut
// at the region's end (the caller grows the capacity first).
bool VertexBuffer::packRegion(VertexArray* array, Region& region, bool force) {
    if (!array) return false;
    if (!force && region.version == array->getModificationCounter()) return false;
    int bytes = array->byteSize();
    if (bytes > region.reserved) bytes = region.reserved;
    if (bytes > 0) std::memcpy(m_packed.data() + region.offset, array->data(), (size_t)bytes);
    region.size = bytes;
    region.version = array->getModificationCounter();
    return true;
}

void VertexBuffer::prepare(Graphics3D& g) {
    if (m_structureChanged) {
        if (m_owner) m_owner->unregisterVertexBuffer(this, m_vbo, true);
        m_owner = nullptr;
        m_structureChanged = false;
        m_capacity = -1;
    }
    bool full = false;
    if (!m_owner) {
        m_owner = &g;
        full = true;
    }
    int vertices = getVertexCount();
    if (vertices > m_capacity) {
        // Growth past the reserved capacity lays the buffer out anew.
        m_capacity = vertices + (m_mode == DYNAMIC ? g.getSpareAmount() : 0);
        full = true;
    }
    if (full) {
        layout();
    } else if (m_mode != DYNAMIC) {
        return;
    } else if (m_packed.size() == 0) {
        // The CPU copy was released: rebuild it before updating regions.
        layout();
        full = true;
    }

    int low = 0x7fffffff, high = 0;
    auto pack = [&](VertexArray* a, Region& r) {
        if (packRegion(a, r, full)) {
            if (r.offset < low) low = r.offset;
            int end = r.offset + (r.size > 0 ? r.size : 0);
            if (end > high) high = end;
        }
    };
    pack(m_positions.get(), m_positionRegion);
    pack(m_normals.get(), m_normalRegion);
    pack(m_colors.get(), m_colorRegion);
    for (int i = 0; i < m_texCoords.size(); ++i)
        if (m_texCoords[i]) pack(m_texCoords[i]->array.get(), m_texCoords[i]->region);
    for (int i = 0; i < m_attributes.size(); ++i) pack(m_attributes[i]->array.get(), m_attributes[i]->region);

    int kind = m_mode == DYNAMIC ? VBOHandle::DYNAMIC_VERTEX : VBOHandle::STATIC_VERTEX;
    if (full) {
        if (m_vbo.name == -1)
            g.registerVertexBuffer(this, kind, m_packed.data(), m_packed.size(), m_vbo);
        else
            g.updateVBO(m_vbo, 0, m_packed.data(), m_packed.size());
    } else if (high > low) {
        // One update spanning every changed region (unchanged ones between
        // them are re-sent as they are).
        g.updateVBO(m_vbo, low, m_packed.data(), high - low);
    }
    m_contentChanged = false;
    if (m_mode != DYNAMIC) freePackedCopy();
}

void VertexBuffer::freePackedCopy() { m_packed.clear(); }

void VertexBuffer::releaseVBO(bool deleteGL) {
    if (m_owner) m_owner->unregisterVertexBuffer(this, m_vbo, deleteGL);
    m_vbo = VBOHandle();
    m_owner = nullptr;
    structureChanged();
}

void VertexBuffer::detachGraphics() {
    m_vbo = VBOHandle();
    m_owner = nullptr;
    structureChanged();
}

void VertexBuffer::appendReferences(core::Vector<Object3D*>& out) const {
    if (m_positions) out.append(m_positions.get());
    if (m_normals) out.append(m_normals.get());
    if (m_colors) out.append(m_colors.get());
    for (int i = 0; i < m_texCoords.size(); ++i)
        if (m_texCoords[i] && m_texCoords[i]->array) out.append(m_texCoords[i]->array.get());
    for (int i = 0; i < m_attributes.size(); ++i)
        if (m_attributes[i]->array) out.append(m_attributes[i]->array.get());
}

} // namespace render
