-- The binding kit shared by the script families bound through LuaJIT's FFI
-- (Lua_Math.lua, Lua_Render.lua, Lua_Shader.lua): the C declarations, the
-- math value types, and the checks that give the same messages as the
-- classic C bindings of Lua_Util.cpp.
--
-- Every error helper here is called directly (never as a tail call) by the
-- script-visible function whose arguments it judges, so stack level 2 is that
-- function and level 3 its caller: names and positions in the messages come
-- out as luaL_argerror and luaL_error put them for a C function.
--
-- Run once per Lua state with: the C declarations (Lua_Ffi.h), a C function
-- telling whether a full userdata is a genuine handle of a type id, and the
-- registry. Answers the kit table.
local cdecl, is_handle, REG = ...
local ffi = require("ffi")
local C = ffi.C
local type, select, error, tostring, tonumber = type, select, error, tostring, tonumber
local getmetatable, getinfo, format = getmetatable, debug.getinfo, string.format

ffi.cdef(cdecl)

local kit = {ffi = ffi, C = C}

-- The math value types. Their metatables are filled by Lua_Math.lua; the
-- registry keeps them under the names the userdata metatables had.
local mt3, mt4, mtm = {}, {}, {}
kit.V3 = ffi.metatype("pelloran_vec3", mt3)
kit.V4 = ffi.metatype("pelloran_vec4", mt4)
kit.M4 = ffi.metatype("pelloran_mat4", mtm)
kit.mt3, kit.mt4, kit.mtm = mt3, mt4, mtm
REG.META_Vector3, REG.META_Vector4, REG.META_Matrix = mt3, mt4, mtm

-- The C side of the classic bindings reads and makes values through these
-- (Lua_Util.cpp): the type id of a value of ours (-1 for anything else) with
-- its floats copied to `out`, and a new value from floats at `src`.
-- is3(v), is4(v), ism(v): whether v is a value of ours. ffi.istype alone
-- also accepts a pointer to the struct (which may point anywhere); compiled,
-- both tests are one guard on the value's C type.
local istype, V3, V4, M4 = ffi.istype, kit.V3, kit.V4, kit.M4
local P3, P4, PM = ffi.typeof("const pelloran_vec3 *"), ffi.typeof("const pelloran_vec4 *"),
                   ffi.typeof("const pelloran_mat4 *")
function kit.is3(v) return istype(V3, v) and not istype(P3, v) end
function kit.is4(v) return istype(V4, v) and not istype(P4, v) end
function kit.ism(v) return istype(M4, v) and not istype(PM, v) end
local is3, is4, ism = kit.is3, kit.is4, kit.ism
local SIZES = {[0] = 12, [1] = 16, [2] = 64}
function kit.read(v, out)
  local t = is3(v) and 0 or is4(v) and 1 or ism(v) and 2 or -1
  if t >= 0 then ffi.copy(out, v, SIZES[t]) end
  return t
end
function kit.make(t, src)
  local p = ffi.cast("const float*", src)
  if t == 0 then return V3(p[0], p[1], p[2]) end
  if t == 1 then return V4(p[0], p[1], p[2], p[3]) end
  return M4(p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], p[8], p[9], p[10], p[11], p[12], p[13], p[14], p[15])
end

-- f32(x): x rounded to the nearest float, as C stores a float. Arithmetic on
-- floats read from values and rounded after each operation gives the very
-- bits the engine's float math gives.
local BOX = ffi.new("float[1]")
function kit.f32(x)
  BOX[0] = x
  return BOX[0]
end

-- Scratch floats for handing values to C without making a value: filled
-- right before an entry point reads them, never kept by C.
kit.scratch = ffi.new("float[16]")

-- "bad argument #n to 'name' (message)" at the caller of level 2.
local function argerror(n, message)
  local ar = getinfo(3, "n")
  local name = ar and ar.name or "?"
  if ar and ar.namewhat == "method" then
    n = n - 1
    if n == 0 then error(format("calling '%s' on bad self (%s)", name, message), 4) end
  end
  error(format("bad argument #%d to '%s' (%s)", n, name, message), 4)
end

function kit.count_error(min, max)
  argerror(max, format("Expected %d - %d arguments!", min, max))
end

-- luaL_checknumber's conversion for a value that is not a number: a string
-- that reads as a number is that number; anything else is an argument error.
function kit.number_slow(v, n)
  local x = type(v) == "string" and tonumber(v) or nil
  if x == nil then argerror(n, "number expected, got " .. (v == nil and "nil" or type(v))) end
  return x
end

-- luaL_checklstring's: numbers become their text.
function kit.string_slow(v, n)
  if type(v) == "number" then return tostring(v) end
  argerror(n, "string expected, got " .. (v == nil and "nil" or type(v)))
end

-- A failed check through the assertion reporter, raised as a script error
-- carrying the reporter's message.
local function assert_at(level, expression, message, source, line)
  C.pelloran_report_assert(expression, message, source, line)
  error(ffi.string(C.pelloran_error()), level)
end
kit.assert_at = assert_at

-- A value that is not of the expected type: "Expected a lua user data!" for
-- anything that is neither a userdata nor a cdata (the values scripts hold
-- are one or the other), "Lua user data is of wrong type!" for the rest.
function kit.type_error(v)
  local t = type(v)
  if t ~= "userdata" and t ~= "cdata" then
    assert_at(4, "data != 0", "Expected a lua user data!", "Lua_Util", 33)
  end
  assert_at(4, "data->type == type", "Lua user data is of wrong type!", "Lua_Util", 34)
end

-- A failed entry point: its engine message, or the handle at position rc
-- that was not of its type.
function kit.fail(rc)
  if rc > 0 then assert_at(4, "data->type == type", "Lua user data is of wrong type!", "Lua_Util", 34) end
  error(ffi.string(C.pelloran_error()), 3)
end

-- The handle metatables by type id, made here when their family has not
-- registered yet (luaL_newmetatable then finds and fills the same table).
local HANDLE_NAMES = {[4] = "META_Appearance", [5] = "META_Camera", [6] = "META_Mesh", [8] = "META_Shader",
                      [9] = "META_Texture"}
local handle_types = {}
function kit.handle_metatable(type_id)
  local name = HANDLE_NAMES[type_id]
  local mt = REG[name]
  if mt == nil then
    mt = {}
    REG[name] = mt
  end
  handle_types[mt] = type_id
  return mt
end

-- The fast handle check is type(v) == "userdata" and getmetatable(v) == mt.
-- It holds only while no other userdata carries a handle metatable, and the
-- one way a script can attach one is debug.setmetatable: that now refuses a
-- handle metatable for anything but a genuine handle of its type (a light or
-- short userdata, another library's block). It also refuses a cdata value,
-- whose metatable is the one all cdata share: replacing it would take every
-- operator and field of every math value away. Everything else passes.
local raw_setmetatable = debug.setmetatable
debug.setmetatable = function(o, mt)
  local type_id = mt ~= nil and handle_types[mt]
  if type_id and not is_handle(o, type_id) then
    error("bad argument #2 to 'setmetatable' (a handle metatable belongs to handles of its type)", 2)
  end
  if type(o) == "cdata" then error("bad argument #1 to 'setmetatable' (the metatable of cdata is fixed)", 2) end
  local r = raw_setmetatable(o, mt)
  return r
end

return kit
