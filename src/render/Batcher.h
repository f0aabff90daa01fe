// render::Batcher: immediate-style lines and textured quads collected into
// one dynamic mesh per batch and drawn with one draw call.
//
// Positions are kept as fixed-point integers (coordinate x 2^S, S from the
// renderer's configuration, 5 by default) and converted to 16-bit shorts at
// commit time with a per-batch shift chosen so that every value fits; the
// vertex buffer's position scale undoes both. A batch with far-away
// coordinates therefore gets a coarser step for all its vertices.
#pragma once
#include "core/Ref.h"
#include "core/Vector.h"
#include "render/Appearance.h"
#include "render/Mesh.h"
#include "render/Texture2D.h"
#include "slm/vec3.h"

namespace render {

class Graphics3D;

// The accumulation buffers of a batcher.
class BatcherItem : public core::Object {
public:
    core::Vector<int> positions;           // x, y, z per vertex, fixed point
    core::Vector<short> texCoords;         // u, v per vertex
    core::Vector<short> converted;         // the positions as shorts after commit
    core::Vector<unsigned char> colors;    // r, g, b, a per vertex
    int lines = 0;
    // Lines and quads take their indices from the batcher's pattern; only
    // which of them are blank (all texels transparent) is kept, one flag per
    // quad, and the indices without the blank ones are built when drawn.
    core::Vector<unsigned char> blank;
    core::Vector<unsigned short> shownIndices;
    int blankQuads = 0;
    int quadCount() const { return blank.size(); }
    float texCoordScale = 1.0f;
    int committed = 0; // position values already converted
    int nextIndex = 0;
};

class Batcher : public Node {
public:
    enum { DEPTH_WRITE = 1, DEPTH_TEST = 2, TEXCOORDS = 4, COLORS = 8 };
    // Vertex indices are 16-bit: a batch holds at most this many vertices.
    enum { MAX_VERTICES = 65536 };

    Batcher(Graphics3D* owner, int flags);
    virtual ~Batcher();
    virtual Object3D* duplicate() const;

    static Appearance* createDefaultAppearance(int flags);
    // The process-wide fixed-point shift S (a negative configured value means 5).
    static int fixedPointShift(int configured) { return configured < 0 ? 5 : (configured > 15 ? 15 : configured); }

    // Adds a line in the ARGB colour; the batch switches to lines first.
    void addLine(const slm::vec3& from, const slm::vec3& to, unsigned argb);
    // Quads (two triangles each) for the text classes: reserves room for
    // `count` quads and switches the batch to triangles. Returns false when
    // the batch cannot take them.
    bool beginQuads(int count);
    // One quad: corners (counter-clockwise) in local coordinates, texture
    // coordinates in texels (scaled by the texture-coordinate scale).
    // `blank`: every texel of the quad's rectangle in the batch's current
    // texture is fully transparent. Such quads stay in the batch but are
    // left out of the draw when the batch would blend them away anyway (see
    // drawsBlankQuads); drawn, they could only show a neighbouring texel
    // where a pixel centre lies exactly on their edge.
    void addQuad(const float corners[4][3], const short uv[4][2], unsigned argb, bool blank = false);

    void setTexture(Texture2D* texture) {
        if (texture != m_texture.get() && m_item->blankQuads > 0) m_blankTextureChanged = true;
        m_texture = texture;
    }
    Texture2D* getTexture() const { return m_texture.get(); }
    void setAppearanceOverride(Appearance* a) { m_override = a; }
    Appearance* getAppearanceOverride() const { return m_override.get(); }
    Appearance* getDefaultAppearance() const { return m_defaultAppearance.get(); }
    void setTexCoordScale(float s) { m_item->texCoordScale = s; }

    // Converts the new positions into the batch mesh (see the class comment).
    // With `hideBlankQuads` the mesh draws only the quads that are not blank.
    void commit(bool hideBlankQuads = false);
    // True when drawing the batch now with `g` must include its blank quads:
    // anything but the default appearance with alpha blending (ALPHA or
    // ALPHA_ADD), no depth writes, the default program and the texture the
    // quads were found blank in could make a transparent texel show.
    bool drawsBlankQuads(const Graphics3D& g) const;
    // Commits and draws the batch with `transform` as its world transform.
    virtual void render(Graphics3D& g, const slm::mat4& transform, int flags);
    // Empties the batch and drops the texture and appearance references.
    void clear();

    bool hasItems() const { return m_item->lines > 0 || m_item->quadCount() > 0; }
    bool hasReferences() const { return m_texture || m_override; }
    int getShift() const { return m_shift; }
    int getVertexCount() const { return m_item->positions.size() / 3; }
    int getIndexCount() const { return m_item->lines * 2 + m_item->quadCount() * 6; }
    bool isLineMode() const { return m_lineMode; }
    Mesh* getMesh() const { return m_mesh.get(); }
    const BatcherItem& getItem() const { return *m_item; }

private:
    Batcher(const Batcher& o);
    void setLineMode(bool lines);
    void createMesh();
    void pushPosition(float x, float y, float z);
    // Draws and empties a full batch so that more can follow.
    void makeRoom(int vertices);

    Graphics3D* m_owner;
    core::Ref<BatcherItem> m_item;
    core::Ref<Texture2D> m_texture;
    core::Ref<Appearance> m_override;
    core::Ref<Appearance> m_defaultAppearance;
    core::Ref<Mesh> m_mesh;
    core::Ref<VertexArray> m_positionArray, m_colorArray, m_texCoordArray;
    // The indices of the current primitive, kept from frame to frame: 0, 1
    // for every line, or 0, 1, 2, 0, 2, 3 for every quad, counted on.
    core::Vector<unsigned short> m_pattern;
    int m_flags;
    int m_fixedShift; // S
    int m_shift;      // this batch's extra shift
    int m_drawnIndices;
    bool m_drawnPattern;        // the index buffer holds the pattern
    bool m_blankTextureChanged; // the texture changed after a blank quad
    bool m_lineMode;
    bool m_meshKnown;
};

} // namespace render
