// render::M3G_Loader: turns an M3G (JSR-184) file into scene objects. One
// instance per load; render::Loader makes it when it recognises the file
// identifier.
//
// The loader reads every value through core::DataIO with a budget bounded by
// the current object, keeps an index table of the objects read so far (later
// objects refer to earlier ones by index; entry 0 is "none", entry 1 the
// header) and returns the objects nobody refers to, the roots, in index order.
// Uncompressed sections are parsed straight from the stream; zlib sections
// are inflated into one buffer of the declared size.
//
// Failures: every fault of the file is a parse error (logged
// "Parse error: "<text>"" and thrown as core::IOException); nothing is
// appended to the output then, and every object made so far is released, so
// a failed load leaves the memory pool as it found it. A full pool throws
// core::MemoryManagerException the same way.
//
// External references are loaded through render::Loader relative to the
// folder of the referring file: a PNG becomes the Image2D of whatever refers
// to it, an M3G file gives its roots (the first one where a single object is
// expected). A reference that cannot be loaded logs one warning naming its
// path and the scene loads without it (a texture whose image is missing is
// left out of its appearance); a file that refers back to a file being loaded
// is refused.
//
// Textures are made by the current renderer (EngineGlobals::graphics), which
// must exist when the file holds a Texture2D.
#pragma once
#include "core/DataIO.h"
#include "core/M3GRecords.h"
#include "core/Ref.h"
#include "core/String.h"
#include "core/Vector.h"
#include "render/Object3D.h"

namespace core {
class Stream;
}

namespace render {

class Appearance;
class Group;
class IndexBuffer;
class Mesh;
class Node;
class Transformable;
class VertexBuffer;

class M3G_Loader : public core::Object {
public:
    // Object types of the file, as the type table numbers them.
    enum {
        HEADER = 0,
        ANIMATION_CONTROLLER = 1,
        ANIMATION_TRACK = 2,
        APPEARANCE = 3,
        BACKGROUND = 4,
        CAMERA = 5,
        COMPOSITING_MODE = 6,
        FOG = 7,
        POLYGON_MODE = 8,
        GROUP = 9,
        IMAGE2D = 10,
        TRIANGLE_STRIP_ARRAY = 11,
        LIGHT = 12,
        MATERIAL = 13,
        MESH = 14,
        MORPHING_MESH = 15,
        SKINNED_MESH = 16,
        TEXTURE2D = 17,
        SPRITE = 18,
        KEYFRAME_SEQUENCE = 19,
        VERTEX_ARRAY = 20,
        VERTEX_BUFFER = 21,
        WORLD = 22,
        EXTERNAL_REFERENCE = 255
    };

    // Stands in the index table for an external reference: the path it names
    // (relative to the referring file's folder) and what loading it gave.
    class ExternalReference : public Object3D {
    public:
        ExternalReference(const core::String& path, void* context) : m_path(path), m_context(context) {}
        virtual Object3D* duplicate() const;
        const core::String& getPath() const { return m_path; }
        void* getContext() const { return m_context; }
        // The loaded roots; empty when the file could not be loaded.
        const core::Vector<core::Ref<Object3D>>& getObjects() const { return m_objects; }
        bool isResolved() const { return m_objects.size() > 0; }
        // Loads the file through render::Loader. A file that cannot be loaded
        // logs a warning and leaves the reference unresolved; a file that is
        // being loaded already (a reference loop) fails as a parse error.
        void resolve();

    private:
        core::String m_path;
        void* m_context;
        core::Vector<core::Ref<Object3D>> m_objects;
    };

    explicit M3G_Loader(void* context);
    virtual ~M3G_Loader();

    // Reads the stream (positioned at the file identifier) as an M3G file and
    // appends the root objects to `out`; see the class comment for failures.
    void load(core::Stream* stream, core::Vector<core::Ref<Object3D>>& out);

    // The parse operations of the type table: each reads one object from the
    // current object data, validates it and returns it with one reference.
    void parseAnimationController(core::Ref<Object3D>& out);
    void parseAnimationTrack(core::Ref<Object3D>& out);
    void parseAppearance(core::Ref<Object3D>& out);
    void parseBackground(core::Ref<Object3D>& out);
    void parseCamera(core::Ref<Object3D>& out);
    void parseCompositingMode(core::Ref<Object3D>& out);
    void parseFog(core::Ref<Object3D>& out);
    void parsePolygonMode(core::Ref<Object3D>& out);
    void parseGroup(core::Ref<Object3D>& out);
    void parseImage2D(core::Ref<Object3D>& out);
    void parseTriangleStripArray(core::Ref<Object3D>& out);
    void parseLight(core::Ref<Object3D>& out);
    void parseMaterial(core::Ref<Object3D>& out);
    void parseMesh(core::Ref<Object3D>& out);
    void parseMorphingMesh(core::Ref<Object3D>& out);
    void parseSkinnedMesh(core::Ref<Object3D>& out);
    void parseTexture2D(core::Ref<Object3D>& out);
    void parseSprite3D(core::Ref<Object3D>& out);
    void parseKeyframeSequence(core::Ref<Object3D>& out);
    void parseVertexArray(core::Ref<Object3D>& out);
    void parseVertexBuffer(core::Ref<Object3D>& out);
    void parseWorld(core::Ref<Object3D>& out);

    // Logs "Parse error: "<text>"" and throws core::IOException.
    [[noreturn]] static void parseError(const char* text);
    // Logs "Parse warning: "<text>"" as a warning.
    static void parseWarning(const char* text);

    // Largest image side the loader accepts (a hostile header must not be
    // able to ask the pool for gigabytes).
    static const unsigned int MAX_IMAGE_SIZE = 4096;

private:
    typedef void (M3G_Loader::*ParseOperation)(core::Ref<Object3D>& out);
    static const ParseOperation PARSERS[23];

    // The node blocks every Node class starts with.
    struct NodeBlocks {
        core::Object3DBlock object3D;
        core::TransformableBlock transformable;
        core::NodeBlock node;
    };

    void readHeaderSection(core::Stream* stream, unsigned int fileSize);
    // Reads one section header from `file` and makes m_io the object data of
    // the section (false: a compression scheme without objects).
    bool openSection(core::DataIO& file, unsigned int& dataLength);
    void readObjects();
    void readExternalReferences(core::Stream* stream);

    core::DataIO& io() { return *m_io; }
    int currentIndex() const { return m_objects.size(); }

    // The object at `index` as a T (0 and a missing external file give null
    // when `optional`; otherwise they are parse errors), marked referenced.
    template <typename T> T* reference(unsigned int index, const char* className, bool optional);
    // True when `index` names an external reference whose file could not be loaded.
    bool isMissingExternal(unsigned int index);
    Object3D* entry(unsigned int index);
    void markReferenced(unsigned int index) { m_referenced[(int)index] = 1; }

    void readNodeBlocks(NodeBlocks& out);
    void applyObject3D(Object3D* object, const core::Object3DBlock& block);
    void applyTransformable(Transformable* object, const core::TransformableBlock& block);
    void applyNode(Node* node, const NodeBlocks& blocks);
    void applyGroup(Group* group, const core::GroupRecord& record);
    // The mesh parts of a Mesh record, checked: the vertex buffer, the index
    // buffers (every index inside the vertex buffer) and the appearances. The
    // loader's object table keeps them alive.
    void resolveMesh(const core::MeshRecord& record, VertexBuffer*& vertices,
                     core::Vector<IndexBuffer*>& indexBuffers, core::Vector<Appearance*>& appearances);
    // Finishes a vertex buffer from its record (arrays resolved and checked).
    void setToClass(VertexBuffer* buffer, const core::VertexBufferRecord& record);

    core::Vector<core::Ref<Object3D>> m_objects;
    core::Vector<unsigned char> m_referenced;
    core::Ref<core::DataIO> m_io;
    core::Ref<core::Vector<unsigned char>> m_sectionData; // inflated bytes under m_io
    core::String m_basePath;
    void* m_context;
};

} // namespace render
