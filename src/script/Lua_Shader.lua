-- shader_set: one uniform from a number, a vec3, a vec4 or a matrix, handed
-- to the entry point of Lua_Shader.cpp as floats in the scratch memory. The
-- program caches every uniform per location, so an unchanged value costs no
-- GL call. Run once per Lua state with the kit of Lua_Ffi.lua.
local kit = ...
local C, is3, is4, ism = kit.C, kit.is3, kit.is4, kit.ism
local select, type, getmetatable = select, type, getmetatable
local count_error, type_error, string_slow, fail, assert_at = kit.count_error, kit.type_error, kit.string_slow,
                                                              kit.fail, kit.assert_at
local SHADER = kit.handle_metatable(8)
local S = kit.scratch

function shader_set(...)
  if select("#", ...) ~= 3 then count_error(3, 3) end
  local shader, name, v = ...
  if type(shader) ~= "userdata" or getmetatable(shader) ~= SHADER then type_error(shader) end
  if type(name) ~= "string" then name = string_slow(name, 2) end
  local kind
  if type(v) == "number" then
    S[0] = v
    kind = 1
  elseif is4(v) then
    S[0], S[1], S[2], S[3] = v._x, v._y, v._z, v._w
    kind = 4
  elseif is3(v) then
    S[0], S[1], S[2] = v._x, v._y, v._z
    kind = 3
  elseif ism(v) then
    S[0], S[1], S[2], S[3] = v._m0, v._m1, v._m2, v._m3
    S[4], S[5], S[6], S[7] = v._m4, v._m5, v._m6, v._m7
    S[8], S[9], S[10], S[11] = v._m8, v._m9, v._m10, v._m11
    S[12], S[13], S[14], S[15] = v._m12, v._m13, v._m14, v._m15
    kind = 16
  else
    local t = type(v)
    if t ~= "userdata" and t ~= "cdata" then assert_at(3, "data != 0", "Expected a lua user data!", "Lua_Util", 45) end
    assert_at(3, "false", "Unsupported lua data type!", "Lua_Shader", 73)
  end
  local rc = C.pelloran_shader_set(shader, name, kind, S)
  if rc ~= 0 then fail(rc) end
end
