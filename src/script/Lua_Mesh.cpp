// Lua_Mesh: the mesh family. A Mesh handle holds the vertex buffer, the
// triangle list and the point cloud that mesh_builder_build_mesh made; an
// empty handle (mesh_create, or an empty builder) holds none and draws nothing.
#include "core/EngineGlobals.h"
#include "render/Graphics3D.h"
#include "script/Lua_Handles.h"
#include "script/Lua_Library.h"
#include "script/Lua_Math.h"
#include <cmath>

render::Graphics3D* luaCheckGraphics(lua_State* L) {
    render::Graphics3D* g = render::currentGraphics();
    if (!g) luaL_error(L, "No renderer: the engine has no current Graphics3D");
    return g;
}

namespace {

int mesh_create(lua_State* L) {
    luaCheckArgCount(L, 0, 0);
    luaPushUserData<Lua_Mesh>(L, SCRIPT_TYPE_MESH);
    return 1;
}

// Contact of a sphere with the mesh's points. Only spheres inside the cloud's
// origin-centred bounding sphere can touch: the cloud's radius is measured
// from the origin of the mesh, not from its centre.
int mesh_test_sphere(lua_State* L) {
    int n = luaCheckArgCount(L, 3, 4);
    Lua_Mesh* mesh = luaCheckUserData<Lua_Mesh>(L, 1, SCRIPT_TYPE_MESH);
    slm::vec3 c = luaCheckVector3(L, 2);
    float r = (float)luaL_checknumber(L, 3);
    if (n == 4) {
        slm::mat4 m = luaCheckMatrix(L, 4);
        const float* a = m.m;
        c = slm::vec3(a[0] * c.x + a[4] * c.y + a[8] * c.z + a[12],
                      a[1] * c.x + a[5] * c.y + a[9] * c.z + a[13],
                      a[2] * c.x + a[6] * c.y + a[10] * c.z + a[14]);
    }
    Point_Cloud_Impl* cloud = mesh->cloud.get();
    bool hit = false;
    if (cloud) {
        float distance = std::sqrt(c.x * c.x + c.y * c.y + c.z * c.z);
        if (distance + r <= cloud->getRadius()) {
            const Kd_Entry* p = cloud->nearest(c);
            if (p) {
                float dx = p->x - c.x, dy = p->y - c.y, dz = p->z - c.z;
                hit = std::sqrt(dx * dx + dy * dy + dz * dz) <= r;
            }
        }
    }
    lua_pushboolean(L, hit);
    return 1;
}

int mesh_get_radius(lua_State* L) {
    luaCheckArgCount(L, 1, 1);
    Lua_Mesh* mesh = luaCheckUserData<Lua_Mesh>(L, 1, SCRIPT_TYPE_MESH);
    lua_pushnumber(L, mesh->cloud ? mesh->cloud->getRadius() : 0.0f);
    return 1;
}

const luaL_Reg MESH_METHODS[] = {{"__gc", luaGcUserData<Lua_Mesh>}, {nullptr, nullptr}};
const luaL_Reg MESH_FUNCTIONS[] = {{"mesh_create", mesh_create},
                                   {"mesh_test_sphere", mesh_test_sphere},
                                   {"mesh_get_radius", mesh_get_radius},
                                   {nullptr, nullptr}};
const LuaFamily MESH_FAMILY = {"META_Mesh", MESH_METHODS, nullptr, MESH_FUNCTIONS};

} // namespace

void registerLuaMesh(ScriptState* holder) {
    luaRegisterFamily(holder, MESH_FAMILY);
}
