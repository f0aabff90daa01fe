// Lua_Handles: the script handles that hold engine objects (appearances,
// cameras, meshes, shader programs, textures, scenes and their objects). Each payload follows the 32-bit type id
// and keeps one reference of every object it names; its destructor (run by
// the "__gc" metamethod, luaGcUserData) drops them.
#pragma once
#include "core/Ref.h"
#include "geometry/Point_Cloud_Impl.h"
#include "render/Appearance.h"
#include "render/Camera.h"
#include "render/IndexBuffer.h"
#include "render/RenderTarget.h"
#include "render/Scene.h"
#include "render/ShaderProgram.h"
#include "render/Texture2D.h"
#include "render/VertexBuffer.h"
#include "script/Lua_Util.h"

namespace render {
class Graphics3D;
}

struct Lua_Appearance {
    int32_t type; // SCRIPT_TYPE_APPEARANCE
    core::Ref<render::Appearance> appearance;
    render::CompositingMode* compositing; // held by the appearance
};

struct Lua_Camera {
    int32_t type; // SCRIPT_TYPE_CAMERA
    core::Ref<render::Camera> camera;
};

// Filled by mesh_builder_build_mesh; all null for an empty mesh.
struct Lua_Mesh {
    int32_t type; // SCRIPT_TYPE_MESH
    core::Ref<render::VertexBuffer> vertices;
    core::Ref<render::TriangleListArray> triangles;
    core::Ref<Point_Cloud_Impl> cloud; // the handle's own
};

struct Lua_Shader {
    int32_t type; // SCRIPT_TYPE_SHADER
    core::Ref<render::ShaderProgram> program;
};

struct Lua_Texture {
    int32_t type; // SCRIPT_TYPE_TEXTURE
    core::Ref<render::Texture2D> texture;
    core::Ref<render::RenderTarget> target; // null without a render target
};

// The root objects of a loaded file (scene_load).
struct Lua_Scene {
    int32_t type; // SCRIPT_TYPE_SCENE
    core::Ref<render::Scene> scene;
};

// One object of a scene (scene_find); it keeps the object alive after the
// scene's handle is gone.
struct Lua_Object {
    int32_t type; // SCRIPT_TYPE_OBJECT
    core::Ref<render::Object3D> object;
};

// The engine's current renderer; a script error when there is none.
render::Graphics3D* luaCheckGraphics(lua_State* L);
