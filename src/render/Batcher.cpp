#include "render/Batcher.h"
#include "render/Graphics3D.h"
#include <cstdint>
#include <cstring>

namespace render {

namespace {
const float NO_BIAS[3] = {0.0f, 0.0f, 0.0f};
} // namespace

Batcher::Batcher(Graphics3D* owner, int flags)
    : m_owner(owner), m_item(M3D_NEW BatcherItem()), m_flags(flags),
      m_fixedShift(fixedPointShift(owner ? owner->getConfig().batcherShift : -1)), m_shift(0), m_drawnIndices(0),
      m_drawnPattern(false), m_blankTextureChanged(false), m_lineMode(false), m_meshKnown(false) {
    m_defaultAppearance = createDefaultAppearance(flags);
    if (owner) ++owner->statistics().batchersCreated;
}

Batcher::Batcher(const Batcher& o)
    : Node(o), m_owner(o.m_owner), m_item(M3D_NEW BatcherItem()), m_override(o.m_override), m_flags(o.m_flags),
      m_fixedShift(o.m_fixedShift), m_shift(0), m_drawnIndices(0), m_drawnPattern(false), m_blankTextureChanged(false),
      m_lineMode(false), m_meshKnown(false) {
    m_defaultAppearance = createDefaultAppearance(m_flags);
}

Batcher::~Batcher() {}

Object3D* Batcher::duplicate() const { return M3D_NEW Batcher(*this); }

Appearance* Batcher::createDefaultAppearance(int flags) {
    Appearance* a = M3D_NEW Appearance();
    PolygonMode* p = M3D_NEW PolygonMode();
    p->setCulling(PolygonMode::CULL_NONE);
    a->setPolygonMode(p);
    CompositingMode* c = M3D_NEW CompositingMode();
    c->setBlending(CompositingMode::ALPHA);
    c->setDepthWriteEnable((flags & DEPTH_WRITE) != 0);
    c->setDepthTestEnable((flags & DEPTH_TEST) != 0);
    a->setCompositingMode(c);
    return a;
}

// A batch mesh of the current primitive: positions always, colours and
// texture coordinates (not for lines) when the flags ask for them.
void Batcher::createMesh() {
    VertexBuffer* vb = m_owner ? m_owner->createNewVertexBuffer(VertexBuffer::DYNAMIC) : M3D_NEW VertexBuffer(VertexBuffer::DYNAMIC);
    core::Ref<VertexBuffer> vbRef(vb);
    m_positionArray = M3D_NEW VertexArray(0, 3, 2);
    vb->setPositions(m_positionArray.get(), 1.0f, NO_BIAS);
    m_colorArray = nullptr;
    m_texCoordArray = nullptr;
    if (m_flags & COLORS) {
        m_colorArray = M3D_NEW VertexArray(0, 4, 1);
        vb->setColors(m_colorArray.get());
    }
    if ((m_flags & TEXCOORDS) && !m_lineMode) {
        m_texCoordArray = M3D_NEW VertexArray(0, 2, 2);
        vb->setTexCoords(0, m_texCoordArray.get(), 1.0f, NO_BIAS);
    }
    vb->setDefaultColor(0xFFFFFFFFu);
    static const unsigned short none[1] = {0};
    core::Ref<IndexBuffer> ib(M3D_NEW IndexBuffer(m_lineMode ? IndexBuffer::LINES : IndexBuffer::TRIANGLES, none, 0,
                                                  IndexBuffer::DYNAMIC));
    Appearance* a = m_defaultAppearance.get();
    m_mesh = m_owner ? m_owner->createMesh(vb, ib.get(), a) : M3D_NEW Mesh(vb, ib.get(), a);
    m_meshKnown = true;
    m_drawnIndices = -1;
    m_drawnPattern = false;
    m_pattern.clear(); // the other primitive's pattern
}

void Batcher::setLineMode(bool lines) {
    if (m_meshKnown && m_lineMode == lines) return;
    // A batch holds one primitive: what was collected in the other is drawn first.
    if (hasItems() && m_owner) {
        render(*m_owner, slm::mat4(), 0);
        core::Ref<Texture2D> keepTexture = m_texture;
        core::Ref<Appearance> keepOverride = m_override;
        clear();
        m_texture = keepTexture;
        m_override = keepOverride;
    }
    m_lineMode = lines;
    createMesh();
    clear();
}

void Batcher::makeRoom(int vertices) {
    if (getVertexCount() + vertices <= MAX_VERTICES) return;
    if (m_owner) render(*m_owner, slm::mat4(), 0);
    core::Ref<Texture2D> keepTexture = m_texture;
    core::Ref<Appearance> keepOverride = m_override;
    clear();
    m_texture = keepTexture;
    m_override = keepOverride;
}

namespace {
// Coordinate x 2^S rounded to the nearest integer; values beyond the int
// range are clamped rather than wrapped (NaN goes to the low end).
inline int toFixed(float v, float unit) {
    double d = (double)v * unit + 0.5;
    if (!(d > -2147483647.0)) return -2147483647;
    if (d >= 2147483647.0) return 2147483647;
    // floor() without a library call: truncation, one down for negatives.
    int i = (int)d;
    return (double)i > d ? i - 1 : i;
}

// One vertex's x, y, z in fixed point.
inline void writeFixed(int* out, float x, float y, float z, float unit) {
    out[0] = toFixed(x, unit);
    out[1] = toFixed(y, unit);
    out[2] = toFixed(z, unit);
}

// Makes room for `extra` more elements without changing the size, so that
// the appends that follow do not grow the storage one step at a time.
template <typename T> void reserveMore(core::Vector<T>& v, int extra) {
    int n = v.size();
    if (n + extra <= v.capacity()) return;
    v.resize(n + extra);
    v.resize(n);
}

// Grows `v` by `count` elements and returns where they start.
template <typename T> T* grow(core::Vector<T>& v, int count) {
    int n = v.size();
    v.resize(n + count);
    return v.data() + n;
}

// The two triangles of quad q (vertices 4q ... 4q + 3) as six indices.
inline void writeQuadIndices(unsigned short* out, int q) {
    unsigned short n = (unsigned short)(q * 4);
    out[0] = n;
    out[1] = (unsigned short)(n + 1);
    out[2] = (unsigned short)(n + 2);
    out[3] = n;
    out[4] = (unsigned short)(n + 2);
    out[5] = (unsigned short)(n + 3);
}

// Colours go to the vertex array as r, g, b, a: the shader reads the
// attribute in that order.
inline void writeColor(unsigned char* out, unsigned argb) {
    out[0] = (unsigned char)(argb >> 16);
    out[1] = (unsigned char)(argb >> 8);
    out[2] = (unsigned char)argb;
    out[3] = (unsigned char)(argb >> 24);
}

// The colour of two vertices, r, g, b, a twice, as one 8-byte value: written
// byte by byte and read back as one vector, a copy stalls on store forwarding.
inline std::uint64_t colorTwice(unsigned argb) {
    unsigned char rgba[8];
    writeColor(rgba, argb);
    writeColor(rgba + 4, argb);
    std::uint64_t twice;
    std::memcpy(&twice, rgba, 8);
    return twice;
}
} // namespace

void Batcher::pushPosition(float x, float y, float z) {
    writeFixed(grow(m_item->positions, 3), x, y, z, (float)(1 << m_fixedShift));
}

void Batcher::addLine(const slm::vec3& from, const slm::vec3& to, unsigned argb) {
    setLineMode(true);
    makeRoom(2);
    pushPosition(from.x, from.y, from.z);
    pushPosition(to.x, to.y, to.z);
    if (m_flags & COLORS) {
        std::uint64_t twice = colorTwice(argb);
        std::memcpy(grow(m_item->colors, 8), &twice, 8);
    } else if (m_mesh) {
        m_mesh->getVertexBuffer()->setDefaultColor(argb);
    }
    ++m_item->lines;
    m_item->nextIndex += 2;
}

bool Batcher::beginQuads(int count) {
    if (count <= 0 || count * 4 > MAX_VERTICES) return false;
    setLineMode(false);
    makeRoom(count * 4);
    BatcherItem& it = *m_item;
    reserveMore(it.positions, count * 12);
    reserveMore(it.blank, count);
    if (m_flags & TEXCOORDS) reserveMore(it.texCoords, count * 8);
    if (m_flags & COLORS) reserveMore(it.colors, count * 16);
    return true;
}

void Batcher::addQuad(const float corners[4][3], const short uv[4][2], unsigned argb, bool blank) {
    BatcherItem& it = *m_item;
    int n = it.nextIndex;
    float unit = (float)(1 << m_fixedShift);
    int* p = grow(it.positions, 12);
    for (int k = 0; k < 4; ++k) writeFixed(p + k * 3, corners[k][0], corners[k][1], corners[k][2], unit);
    if (m_flags & TEXCOORDS) {
        short* t = grow(it.texCoords, 8);
        for (int k = 0; k < 4; ++k) {
            t[k * 2] = uv[k][0];
            t[k * 2 + 1] = uv[k][1];
        }
    }
    if (m_flags & COLORS) {
        std::uint64_t twice = colorTwice(argb);
        unsigned char* c = grow(it.colors, 16);
        std::memcpy(c, &twice, 8);
        std::memcpy(c + 8, &twice, 8);
    } else if (m_mesh) {
        m_mesh->getVertexBuffer()->setDefaultColor(argb);
    }
    it.blank.append(blank ? 1 : 0);
    if (blank) ++it.blankQuads;
    it.nextIndex = n + 4;
}

bool Batcher::drawsBlankQuads(const Graphics3D& g) const {
    if (m_item->blankQuads == 0) return false;
    if (m_override || m_blankTextureChanged || !m_texture || g.getShaderProgram()) return true;
    const Appearance* a = m_defaultAppearance.get();
    if (a->getShaderProgram()) return true;
    const CompositingMode* c = a->getCompositingMode();
    if (!c || c->isDepthWriteEnabled()) return true;
    // A texel of alpha 0 adds 0 x source and keeps 1 x destination.
    return c->getBlending() != CompositingMode::ALPHA && c->getBlending() != CompositingMode::ALPHA_ADD;
}

void Batcher::commit(bool hideBlankQuads) {
    if (!m_mesh) return;
    BatcherItem& it = *m_item;
    int total = it.positions.size();
    if (total > it.committed) {
        // The smallest shift that brings every new value into the short
        // range, at most S - 1 (one unit of the step stays below 2 units).
        // Only the extremes matter: a shift that brings them into range
        // brings every value between them too.
        const int* values = it.positions.data();
        int low = 0, high = 0;
        for (int i = it.committed; i < total; ++i) {
            low = values[i] < low ? values[i] : low;
            high = values[i] > high ? values[i] : high;
        }
        int s = 0;
        while (s < m_fixedShift - 1 && ((high >> s) > 32767 || (low >> s) < -32767)) ++s;
        int from = it.committed;
        if (s > m_shift) {
            // A coarser step for the whole batch: convert everything again.
            m_shift = s;
            from = 0;
        }
        it.converted.resize(total);
        for (int i = from; i < total; ++i) {
            int v = it.positions[i] >> m_shift;
            it.converted[i] = (short)(v > 32767 ? 32767 : (v < -32767 ? -32767 : v));
        }
        int vertices = total / 3;
        int first = from / 3;
        m_positionArray->set(first, vertices - first, it.converted.data() + first * 3);
        if (m_colorArray && it.colors.size() >= vertices * 4) {
            int firstColor = it.committed / 3;
            m_colorArray->set(firstColor, vertices - firstColor,
                              reinterpret_cast<const signed char*>(it.colors.data()) + firstColor * 4);
        }
        if (m_texCoordArray && it.texCoords.size() >= vertices * 2) {
            int firstUV = it.committed / 3;
            m_texCoordArray->set(firstUV, vertices - firstUV, it.texCoords.data() + firstUV * 2);
        }
        it.committed = total;
        it.nextIndex = vertices;
    }
    VertexBuffer* vb = m_mesh->getVertexBuffer();
    float scale = 1.0f / (float)(1 << (m_fixedShift - m_shift));
    if (vb->getPositionScale() != scale) vb->setPositions(m_positionArray.get(), scale, NO_BIAS);
    if (m_texCoordArray && it.texCoordScale > 0.0f) {
        VertexBuffer::TexCoordContainer* t = vb->getTexCoords(0);
        if (!t || t->scale != it.texCoordScale) vb->setTexCoords(0, m_texCoordArray.get(), it.texCoordScale, NO_BIAS);
    }
    IndexBuffer* ib = m_mesh->getIndexBuffer(0);
    const unsigned short* list = m_pattern.data();
    int count = 0;
    bool shown = !m_lineMode && hideBlankQuads && it.blankQuads > 0;
    if (shown) {
        // Which quads are blank changes with the text: built for every draw.
        int quads = it.quadCount();
        it.shownIndices.resize((quads - it.blankQuads) * 6);
        unsigned short* out = it.shownIndices.data();
        for (int q = 0; q < quads; ++q) {
            if (it.blank[q]) continue;
            writeQuadIndices(out, q);
            out += 6;
        }
        list = it.shownIndices.data();
        count = it.shownIndices.size();
    } else if (m_lineMode) {
        // Lines: 0, 1, 2, 3, ...
        count = it.lines * 2;
        for (int i = m_pattern.size(); i < count; ++i) m_pattern.append((unsigned short)i);
        list = m_pattern.data();
    } else {
        int quads = it.quadCount();
        count = quads * 6;
        for (int q = m_pattern.size() / 6; q < quads; ++q) writeQuadIndices(grow(m_pattern, 6), q);
        list = m_pattern.data();
    }
    // The pattern is the same for the same count, frame after frame: it
    // goes to the index buffer only when the count changes.
    bool pattern = !shown;
    if (!pattern || !m_drawnPattern || m_drawnIndices != count || ib->getIndexCount() != count) {
        ib->setIndices(list, count);
        m_drawnIndices = count;
        m_drawnPattern = pattern;
    }
}

void Batcher::render(Graphics3D& g, const slm::mat4& transform, int) {
    if (!m_mesh || !hasItems()) return;
    bool hideBlanks = !drawsBlankQuads(g);
    commit(hideBlanks);
    // Nothing but blank quads: nothing to draw.
    if (hideBlanks && m_item->blankQuads > 0 && m_item->blankQuads == m_item->quadCount()) return;
    Appearance* appearance = m_override ? m_override.get() : m_defaultAppearance.get();
    // The batch's texture (white for untextured batches) rides on the
    // default appearance's unit 0 while drawing.
    Appearance* a = m_mesh->getAppearance(0);
    if (a != appearance) m_mesh->setAppearance(0, appearance);
    core::Ref<Texture2D> previous;
    Texture2D* texture = m_texture ? m_texture.get() : g.getWhiteTexture();
    bool setTexture = texture && !m_override;
    if (setTexture) {
        previous = m_defaultAppearance->getTexture(0);
        m_defaultAppearance->setTexture(0, texture);
    }
    bool lighting = g.isLightingEnabled();
    if (!m_override || !m_override->getMaterial()) g.setLightingEnabled(false);
    m_mesh->render(g, transform, -1);
    g.setLightingEnabled(lighting);
    if (setTexture) m_defaultAppearance->setTexture(0, previous.get());
}

void Batcher::clear() {
    // Emptied, not freed: the next frame's batch reuses the storage.
    BatcherItem& it = *m_item;
    it.positions.resize(0);
    it.texCoords.resize(0);
    it.converted.resize(0);
    it.lines = 0;
    it.shownIndices.resize(0);
    it.colors.resize(0);
    it.blank.resize(0);
    it.blankQuads = 0;
    it.committed = 0;
    it.nextIndex = 0;
    m_texture = nullptr;
    m_override = nullptr;
    m_shift = 0;
    if (!m_drawnPattern) m_drawnIndices = -1;
    m_blankTextureChanged = false;
}

} // namespace render
