// Script functions of the mesh builder: a Mesh_Builder inside one userdata
// block (type 7, about 14 MB, no finaliser) edited through the modelling
// kernel. Growing operations that would not fit the builder's fixed
// capacity are refused with a script error before anything changes.
#include "core/EngineGlobals.h"
#include "geometry/Modelling.h"
#include "geometry/Supershape.h"
#include "render/MeshPacking.h"
#include "script/Lua_Handles.h"
#include "script/Lua_Library.h"
#include "script/Lua_Math.h"

namespace {

struct Lua_Mesh_Builder {
    int32_t type; // SCRIPT_TYPE_MESH_BUILDER
    Mesh_Builder mb;
};

Mesh_Builder* checkBuilder(lua_State* L) {
    return &luaCheckUserData<Lua_Mesh_Builder>(L, 1, SCRIPT_TYPE_MESH_BUILDER)->mb;
}

int mesh_builder_create(lua_State* L) {
    luaCheckArgCount(L, 0, 0);
    // Only the counts are set: clearing 14 MB per builder would be wasted
    // (no array entry is read before it is written).
    Lua_Mesh_Builder* b = static_cast<Lua_Mesh_Builder*>(lua_newuserdata(L, sizeof(Lua_Mesh_Builder)));
    b->type = SCRIPT_TYPE_MESH_BUILDER;
    b->mb.nv = 0;
    b->mb.nq = 0;
    luaSetTypeMetatable(L, SCRIPT_TYPE_MESH_BUILDER);
    return 1;
}

int mesh_builder_clear(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    Mesh_Builder* mb = checkBuilder(L);
    mb->nv = 0;
    mb->nq = 0;
    return 0;
}

int mesh_builder_add_cube(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    Mesh_Builder* mb = checkBuilder(L);
    if (!addcubeFits(mb)) {
        return luaL_error(
            L,
            "Mesh builder full: a cube needs 8 more vertices and 6 more quads (%d vertices, %d quads, "
            "capacity %d)",
            (int)mb->nv, (int)mb->nq, (int)MAXSIZE);
    }
    luaGuard(L, [&] { addcube(mb, 0.0f); });
    return 0;
}

// Reads the six superformula parameters of the table at `arg`, in the order
// a, b, m, n1, n2, n3; a missing or non-number entry is an argument error.
Superformula checkSuperformula(lua_State* L, int arg) {
    static const char* const KEYS[6] = {"a", "b", "m", "n1", "n2", "n3"};
    luaL_checktype(L, arg, LUA_TTABLE);
    float v[6];
    for (int i = 0; i < 6; ++i) {
        lua_getfield(L, arg, KEYS[i]);
        if (lua_type(L, -1) != LUA_TNUMBER) {
            const char* got = luaL_typename(L, -1);
            luaL_argerror(L, arg, lua_pushfstring(L, "number expected under key '%s', got %s", KEYS[i], got));
        }
        v[i] = (float)lua_tonumber(L, -1);
        lua_pop(L, 1);
    }
    Superformula f = {v[0], v[1], v[2], v[3], v[4], v[5]};
    return f;
}

int mesh_builder_add_supershape(lua_State* L) {
    luaCheckArgCount(L, 5, 5);
    Mesh_Builder* mb = checkBuilder(L);
    lua_Integer ptsLong = luaL_checkinteger(L, 2);
    lua_Integer ptsLat = luaL_checkinteger(L, 3);
    Superformula longitude = checkSuperformula(L, 4);
    Superformula latitude = checkSuperformula(L, 5);
    if (ptsLong < 1 || ptsLat < 1) return 0;
    // Counts beyond the capacity fail the per-row check at once.
    int n2 = ptsLong > (lua_Integer)MAXSIZE ? (int)MAXSIZE : (int)ptsLong;
    int n3 = ptsLat > (lua_Integer)MAXSIZE ? (int)MAXSIZE : (int)ptsLat;
    luaGuard(L, [&] { addSupershape(mb, n2, n3, longitude, latitude); });
    return 0;
}

int mesh_builder_scale(lua_State* L) {
    luaCheckArgCount(L, 2, 2);
    Mesh_Builder* mb = checkBuilder(L);
    if (lua_type(L, 2) == LUA_TNUMBER) {
        float v = (float)lua_tonumber(L, 2);
        luaGuard(L, [&] { scale4(mb, v); });
        return 0;
    }
    slm::vec3 s = luaCheckVector3(L, 2);
    luaGuard(L, [&] {
        if (s.x != 1.0f) scale1(mb, s.x);
        if (s.y != 1.0f) scale2(mb, s.y);
        if (s.z != 1.0f) scale3(mb, s.z);
    });
    return 0;
}

int mesh_builder_transform(lua_State* L) {
    luaCheckArgCount(L, 2, 2);
    Mesh_Builder* mb = checkBuilder(L);
    slm::mat4 m = luaCheckMatrix(L, 2);
    luaGuard(L, [&] { transformVertices(mb, m.m); });
    return 0;
}

int mesh_builder_smooth(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    Mesh_Builder* mb = checkBuilder(L);
    if (!smoothFits(mb, 1)) {
        return luaL_error(
            L, "Mesh builder full: smoothing %d vertices and %d quads would exceed the capacity of %d",
            (int)mb->nv, (int)mb->nq, (int)MAXSIZE);
    }
    luaGuard(L, [&] {
        select1(mb, 0.0f);
        smoooth(mb, 0.0f);
    });
    return 0;
}

// Converts the builder into a Mesh handle: 16-bit positions with the scale
// and bias of the bounding box, unit normals, white colours, the triangle
// list and a point cloud for contact tests. The builder keeps its contents
// (only its normals are recomputed). An empty builder gives an empty handle.
int mesh_builder_build_mesh(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    Mesh_Builder* mb = checkBuilder(L);
    Lua_Mesh* mesh = luaPushUserData<Lua_Mesh>(L, SCRIPT_TYPE_MESH);
    if (mb->nq == 0 || mb->nv == 0) return 1;
    luaAssert(L, mb->nv <= 65536, "mb->nv <= 65536", "Max 65536 vertices supported!", "Lua_Mesh_Builder",
              284);
    render::Graphics3D* g = luaCheckGraphics(L);
    render::PackedMesh packed;
    core::Ref<Point_Cloud_Impl> cloud;
    luaGuard(L, [&] {
        setnorm(mb);
        // The quad corners are unsigned indices below MAXSIZE: the same bits as int.
        packed = render::packQuadMesh(*g, &mb->verts[0][0], &mb->vnorm[0][0], (int)mb->nv,
                                      reinterpret_cast<const int*>(&mb->quads[0][0]), (int)mb->nq);
        cloud = M3D_NEW Point_Cloud_Impl(mb);
    });
    mesh->vertices = packed.vertices;
    mesh->triangles = packed.triangles;
    mesh->cloud = cloud;
    return 1;
}

const luaL_Reg MESH_BUILDER_FUNCTIONS[] = {{"mesh_builder_create", mesh_builder_create},
                                           {"mesh_builder_clear", mesh_builder_clear},
                                           {"mesh_builder_add_cube", mesh_builder_add_cube},
                                           {"mesh_builder_add_supershape", mesh_builder_add_supershape},
                                           {"mesh_builder_scale", mesh_builder_scale},
                                           {"mesh_builder_transform", mesh_builder_transform},
                                           {"mesh_builder_smooth", mesh_builder_smooth},
                                           {"mesh_builder_build_mesh", mesh_builder_build_mesh},
                                           {nullptr, nullptr}};

const LuaFamily MESH_BUILDER_FAMILY = {"META_Mesh_Builder", nullptr, nullptr, MESH_BUILDER_FUNCTIONS};

} // namespace

void registerLuaMeshBuilder(ScriptState* holder) {
    luaRegisterFamily(holder, MESH_BUILDER_FAMILY);
}
