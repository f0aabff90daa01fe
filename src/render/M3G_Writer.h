// render::M3G_Writer: encodes scene objects as an M3G (JSR-184) file that
// render::M3G_Loader reads back to equal objects.
//
// Objects are added with everything they refer to; each object is written
// once, after every object it refers to (the file format only refers
// backwards). The file has the identifier, the header section and one object
// section, raw or zlib-compressed, with correct lengths and checksums.
//
// What the file format cannot hold is refused with core::IOException: float
// vertex arrays, line lists, external references, shader programs are not
// written (a shader program of an appearance is left out). Triangle lists are
// written as strips of one triangle each; a mesh submesh without an appearance
// gets a default one, since the loader requires one per submesh.
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

class Mesh;
class MorphingMesh;
class Node;
class SkinnedMesh;
class Transformable;
class VertexBuffer;

class M3G_Writer : public core::Object {
public:
    M3G_Writer();
    virtual ~M3G_Writer() {}

    // Adds `object` and, first, everything it refers to. Adding an object
    // twice writes it once.
    void add(Object3D* object);
    // The file index of an added object (the header is 1); an object not
    // added fails with "Object reference 0x%X not yet added to index table.".
    unsigned int indexOf(const Object3D* object) const;
    int getObjectCount() const { return m_objects.size(); }

    // Writes the whole file to the stream.
    void write(core::Stream* stream, bool compress);

    // Writes `roots` (and what they refer to) to the named file through the
    // file system.
    static void save(const core::String& name, const core::Vector<core::Ref<Object3D>>& roots, bool compress);

    // The type table's instance test: the object type an engine object is
    // written as, 0 when the format has none for it.
    static int typeOf(const Object3D* object);

private:
    void addReferences(Object3D* object);
    void writeObject(core::DataIO& out, Object3D* object, int type);
    void writeObject3D(core::DataIO& out, const Object3D* object);
    void writeTransformable(core::DataIO& out, Transformable* object);
    void writeNode(core::DataIO& out, Transformable* object);
    static VertexBuffer* meshVertices(Mesh* mesh);
    void writeMorphing(core::DataIO& out, MorphingMesh* mesh);
    void writeSkinning(core::DataIO& out, SkinnedMesh* mesh);
    unsigned int indexOrZero(const Object3D* object) const { return object ? indexOf(object) : 0; }

    core::Vector<core::Ref<Object3D>> m_objects; // file order; index = position + 2
    core::Vector<core::Ref<Object3D>> m_defaults; // appearances made for submeshes without one
};

} // namespace render
